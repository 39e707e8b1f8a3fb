// UI benchmarks, engine against a common baseline with the same work:
// - UILoad: loading a screen set of about 2,000 widgets into its widget tree (checks, relocation, widgets,
//   property tables, child lists, the load walk; the UI started and ended around it), against parsing the JSON
//   description of the same screen set with a widely used JSON library.
// - EventDispatch: 100,000 events fired by name on a widget, each running its procedures through the registry,
//   against a std::unordered_map from event names to procedure names and one from names to the same procedures.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClUI.h"
#include "Tools/kuic/KuiJson.h"
#include "Tools/kuic/KuiSource.h"

namespace {

// A front end of 40 screens, each a panel with a grid of 6 x 8 buttons, about 2,000 widgets.
std::string makeDescription() {
  std::string screens;
  std::vector<std::string> names;
  for (int s = 0; s < 40; ++s) {
    const std::string screen = "Screen" + std::to_string(s);
    names.push_back("\"" + screen + "\"");
    std::string buttons;
    for (int b = 0; b < 48; ++b) {
      const std::string id = screen + "_Button" + std::to_string(b);
      buttons += std::string(b ? "," : "") + R"({"name": ")" + id + R"(", "properties": {
          "canvas": {"id": "FULL"}, "fontName": {"id": "FontAcknowledge"}, "pointSize": 21.0,
          "localizedID": {"id": ")" + id + R"(_text"}, "gridPos": {"gridxy": [)" + std::to_string(b % 6) + ", " +
                 std::to_string(b / 6) + R"(]},
          "widgetLayout": {"layout": {"screenAnchor": 4, "x": 10.0, "y": 20.0, "widgetAnchor": 4}},
          "onRender": {"event": {"single": "systemButtonRender"}},
          "onClick": {"event": {"calls": [{"call": "systemPlayOneShotSound", "params": ["UI_Accept"]},
                                          {"call": "systemSwitch", "params": [{"id": "TopLevelSwitcher"}, {"id": "Screen0"}]}]}}}})";
    }
    screens += std::string(s ? "," : "") + R"({"name": ")" + screen + R"(", "properties": {
        "onTransitionIn": {"event": {"calls": [{"call": "systemChildrenTransitionIn"}]}}},
        "children": [{"name": ")" + screen + R"(_Grid", "properties": {"onLoad": {"event": {"calls": [{"call": "systemGridRegisterChildren"}]}}},
                      "children": [)" + buttons + "]}]}";
  }
  std::string switched;
  for (size_t i = 0; i < names.size(); ++i) {
    switched += (i ? "," : "") + names[i];
  }
  return R"({"root": {"name": "TopLevelSwitcher", "children": [)" + screens + R"(], "switched": [)" + switched + "]}}";
}

struct SScreenSet {
  std::vector<uint8_t> image;
  std::string json;
  size_t uiWidgets = 0;
};

const SScreenSet& screenSet() {
  static const SScreenSet s = [] {
    SScreenSet d;
    SKuiScreenSet set;
    std::string error;
    if (!KuiParseDescription(makeDescription(), "bench.json", &set, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    d.uiWidgets = set.widgets.size();
    d.image = KuiWriteImage(set);
    if (!KuiDumpImage(d.image, "bench.kui", {}, &d.json, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    std::fprintf(stderr, "screen set: %zu widgets, %zu bytes of .kui, %zu bytes of JSON\n", d.uiWidgets,
                 d.image.size(), d.json.size());
    return d;
  }();
  return s;
}

void BM_Engine_UILoad(benchmark::State& state) {
  const SScreenSet& d = screenSet();
  for (auto _ : state) {
    ClUI::initialise();
    const bool bLoaded = ClUI::loadUIDataFromImage("Bench", d.image.data(), static_cast<u32>(d.image.size()));
    benchmark::DoNotOptimize(bLoaded);
    ClUI::terminate();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiWidgets));
}
BENCHMARK(BM_Engine_UILoad)->Unit(benchmark::kMillisecond);

void BM_Baseline_UILoad(benchmark::State& state) {
  const SScreenSet& d = screenSet();
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::parse(d.json);
    benchmark::DoNotOptimize(tree);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiWidgets));
}
BENCHMARK(BM_Baseline_UILoad)->Unit(benchmark::kMillisecond);

// --- Dispatch ---

constexpr int gc_iEVENTS = 16;
constexpr int gc_iDISPATCHES = 100000;
uint64_t g_uiProcedureRuns = 0;

template <int N>
void procedure(ClWidget*, WidgetEventProcedureCall*) {
  g_uiProcedureRuns += N + 1;
}
const WidgetEventProcedure gc_apProcedures[] = {&procedure<0>, &procedure<1>, &procedure<2>, &procedure<3>};

std::string eventName(int i) { return "onEvent" + std::to_string(i); }
std::string procedureName(int i) { return "systemBenchProcedure" + std::to_string(i); }

// Event i runs procedure i % 4 as its single procedure, then procedures (i + 1) % 4 and (i + 2) % 4.
std::string dispatchDescription() {
  std::string properties;
  for (int i = 0; i < gc_iEVENTS; ++i) {
    properties += std::string(i ? "," : "") + "\"" + eventName(i) + R"(": {"event": {"single": ")" +
                  procedureName(i % 4) + R"(", "calls": [{"call": ")" + procedureName((i + 1) % 4) +
                  R"("}, {"call": ")" + procedureName((i + 2) % 4) + "\"}]}}";
  }
  return R"({"root": {"name": "Dispatcher", "properties": {)" + properties + "}}}";
}

class ClBenchHooks : public ClUIHooks {
 public:
  void registerGameUIFunctions() override {
    for (int i = 0; i < 4; ++i) {
      ClUIEventSystemFunctions::registerFunction(KvStrHash(procedureName(i).c_str()), gc_apProcedures[i]);
    }
  }
};

void BM_Engine_EventDispatch(benchmark::State& state) {
  ClBenchHooks hooks;
  ClUI::setHooks(&hooks);
  ClUI::initialise();
  SKuiScreenSet set;
  std::string error;
  KuiParseDescription(dispatchDescription(), "dispatch.json", &set, &error);
  const std::vector<uint8_t> image = KuiWriteImage(set);
  ClUI::loadUIDataFromImage("Dispatch", image.data(), static_cast<u32>(image.size()));
  ClWidget* pWidget = ClUI::getWidget("Dispatcher");
  std::vector<std::string> names;
  for (int i = 0; i < gc_iEVENTS; ++i) {
    names.push_back(eventName(i));
  }
  for (auto _ : state) {
    for (int i = 0; i < gc_iDISPATCHES; ++i) {
      pWidget->callEvent(KvStrHash(names[static_cast<size_t>(i % gc_iEVENTS)].c_str()));
    }
  }
  benchmark::DoNotOptimize(g_uiProcedureRuns);
  ClUI::terminate();
  ClUI::setHooks(nullptr);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iDISPATCHES);
}
BENCHMARK(BM_Engine_EventDispatch)->Unit(benchmark::kMillisecond);

void BM_Baseline_EventDispatch(benchmark::State& state) {
  struct SEvent {
    std::string single;
    std::vector<std::string> calls;
  };
  std::unordered_map<std::string, WidgetEventProcedure> procedures;
  for (int i = 0; i < 4; ++i) {
    procedures.emplace(procedureName(i), gc_apProcedures[i]);
  }
  std::unordered_map<std::string, SEvent> events;
  std::vector<std::string> names;
  for (int i = 0; i < gc_iEVENTS; ++i) {
    events.emplace(eventName(i), SEvent{procedureName(i % 4), {procedureName((i + 1) % 4), procedureName((i + 2) % 4)}});
    names.push_back(eventName(i));
  }
  for (auto _ : state) {
    for (int i = 0; i < gc_iDISPATCHES; ++i) {
      const auto event = events.find(names[static_cast<size_t>(i % gc_iEVENTS)]);
      if (event == events.end()) {
        continue;
      }
      const auto single = procedures.find(event->second.single);
      if (single != procedures.end()) {
        single->second(nullptr, nullptr);
      }
      for (const std::string& call : event->second.calls) {
        const auto found = procedures.find(call);
        if (found != procedures.end()) {
          found->second(nullptr, nullptr);
        }
      }
    }
  }
  benchmark::DoNotOptimize(g_uiProcedureRuns);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iDISPATCHES);
}
BENCHMARK(BM_Baseline_EventDispatch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

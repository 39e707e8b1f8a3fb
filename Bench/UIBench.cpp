// UI benchmarks, engine against a common baseline with the same work:
// - UILoad: loading a screen set of about 2,000 widgets into its widget tree (checks, relocation, widgets,
//   property tables, child lists, the load walk; the UI started and ended around it), against the least a binary
//   loader does with the same file: copying the bytes into a block and turning its offsets into pointers, with
//   no checks and no widgets (UILoadJson: against parsing the JSON description of the same screen set with a
//   widely used JSON library instead).
// - EventDispatch: 100,000 events fired by name on a widget, each running its procedures through the registry,
//   against a std::unordered_map from event names to the event's procedures, resolved once when it is built, as
//   the engine resolves them when it loads.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/KvUIDataFile.h"
#include "Tools/kuic/KuiJson.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

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
    const bool bBuilt = bLoaded && ClUI::getWidget("TopLevelSwitcher") != nullptr;
    ClUI::terminate();
    if (!bBuilt) {
      state.SkipWithError("the screen set did not load");
      return;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiWidgets));
}
BENCHMARK(BM_Engine_UILoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Engine_UILoad)->Name("BM_Engine_UILoadJson")->Unit(benchmark::kMillisecond);

// The plain binary loader: the offsets of a slot become pointers in place, an offset array becomes an array of
// pointers taken from one pool (a file of N bytes holds at most N / 4 offsets).
u32 slotOffset(const void* pSlot) {
  u32 uiOffset;
  std::memcpy(&uiOffset, pSlot, sizeof(uiOffset));
  return uiOffset;
}

template <typename T>
T** pointerArray(u8* pBlock, const void* pSlot, i32 iCount, void**& ppPool) {
  void** ppArray = ppPool;
  const u8* pOffsets = pBlock + slotOffset(pSlot);
  for (i32 i = 0; i < iCount; ++i) {
    ppArray[i] = pBlock + slotOffset(pOffsets + 4 * i);
  }
  ppPool += iCount;
  return reinterpret_cast<T**>(ppArray);
}

// Copies the file into a block and relocates it; the number of widgets it holds.
i32 plainLoad(const std::vector<uint8_t>& image, u8* pBlock, void** ppPool) {
  std::memcpy(pBlock, image.data(), image.size());
  SUIDataHeader* pHeader = reinterpret_cast<SUIDataHeader*>(pBlock);
  pHeader->mp_pRoot = reinterpret_cast<SRawWidgetInstance*>(pBlock + slotOffset(&pHeader->mp_pRoot));
  pHeader->mp_ppWidgetTable =
      pointerArray<SRawWidgetInstance>(pBlock, &pHeader->mp_ppWidgetTable, pHeader->mp_iNumWidgets, ppPool);
  for (i32 i = 0; i < pHeader->mp_iNumWidgets; ++i) {
    SRawWidgetInstance* pRaw = pHeader->mp_ppWidgetTable[i];
    pRaw->mp_ppSwitchedChildren =
        pointerArray<SRawWidgetInstance>(pBlock, &pRaw->mp_ppSwitchedChildren, pRaw->mp_iNumSwitchedChildren, ppPool);
    pRaw->mp_ppChildren = pointerArray<SRawWidgetInstance>(pBlock, &pRaw->mp_ppChildren, pRaw->mp_iNumChildren, ppPool);
    pRaw->mp_ppProperties =
        pointerArray<SRawWidgetProperty>(pBlock, &pRaw->mp_ppProperties, pRaw->mp_iNumProperties, ppPool);
    for (i32 j = 0; j < pRaw->mp_iNumProperties; ++j) {
      SRawWidgetProperty* pProperty = pRaw->mp_ppProperties[j];
      if (pProperty->mp_uiType != E_BASE_TYPE_EVENTCALLBACK) continue;
      SWidgetEventCallback* pCallback = reinterpret_cast<SWidgetEventCallback*>(pProperty->mp_aucValue);
      pCallback->mp_ppCalls =
          pointerArray<WidgetEventProcedureCall>(pBlock, &pCallback->mp_ppCalls, pCallback->mp_iNumberCalls, ppPool);
      for (i32 k = 0; k < pCallback->mp_iNumberCalls; ++k) {
        WidgetEventProcedureCall* pCall = pCallback->mp_ppCalls[k];
        pCall->mp_ppWidgetEventProcedureCallDatas = pointerArray<WidgetEventProcedureCallData>(
            pBlock, &pCall->mp_ppWidgetEventProcedureCallDatas, pCall->mp_iNumberWidgetEventProcedureCallDatas,
            ppPool);
      }
    }
  }
  return pHeader->mp_iNumWidgets;
}

void BM_Baseline_UILoad(benchmark::State& state) {
  const SScreenSet& d = screenSet();
  for (auto _ : state) {
    u8* pBlock = static_cast<u8*>(KvAlignedAlloc(d.image.size(), 16));
    void** ppPool = static_cast<void**>(KvAlignedAlloc(sizeof(void*) * (d.image.size() / 4 + 1), 16));
    const i32 iWidgets = plainLoad(d.image, pBlock, ppPool);
    KvAlignedFree(ppPool);
    KvAlignedFree(pBlock);
    if (static_cast<size_t>(iWidgets) != d.uiWidgets) {
      state.SkipWithError("the plain loader found another number of widgets");
      return;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiWidgets));
}
BENCHMARK(BM_Baseline_UILoad)->Unit(benchmark::kMillisecond);

void BM_Baseline_UILoadJson(benchmark::State& state) {
  const SScreenSet& d = screenSet();
  for (auto _ : state) {
    nlohmann::json tree = nlohmann::json::parse(d.json);
    if (tree.is_discarded() || tree.empty()) {
      state.SkipWithError("the JSON did not parse");
      return;
    }
    benchmark::DoNotOptimize(tree);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * d.uiWidgets));
}
BENCHMARK(BM_Baseline_UILoadJson)->Unit(benchmark::kMillisecond);

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

// What g_uiProcedureRuns grows by over iIterations rounds of dispatches: event i runs procedures i % 4,
// (i + 1) % 4 and (i + 2) % 4, and procedure N adds N + 1.
uint64_t expectedRuns(benchmark::IterationCount iIterations) {
  uint64_t uiPerRound = 0;
  for (int i = 0; i < gc_iDISPATCHES; ++i) {
    const int iEvent = i % gc_iEVENTS;
    uiPerRound += static_cast<uint64_t>(iEvent % 4 + 1 + (iEvent + 1) % 4 + 1 + (iEvent + 2) % 4 + 1);
  }
  return uiPerRound * static_cast<uint64_t>(iIterations);
}
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

class ClBenchHooks : public ClTestUIHooks {
 public:
  void registerGameUIFunctions() override {
    for (int i = 0; i < 4; ++i) {
      ClUIEventSystemFunctions::registerFunction(KvStrHash(procedureName(i).c_str()), gc_apProcedures[i]);
    }
  }
};

void BM_Engine_EventDispatch(benchmark::State& state) {
  ClBenchHooks hooks;
  KvTestSetUIHooks(&hooks);
  ClUI::initialise();
  SKuiScreenSet set;
  std::string error;
  ClWidget* pWidget = nullptr;
  if (KuiParseDescription(dispatchDescription(), "dispatch.json", &set, &error)) {
    const std::vector<uint8_t> image = KuiWriteImage(set);
    if (ClUI::loadUIDataFromImage("Dispatch", image.data(), static_cast<u32>(image.size()))) {
      pWidget = ClUI::getWidget("Dispatcher");
    }
  }
  std::vector<std::string> names;
  for (int i = 0; i < gc_iEVENTS; ++i) {
    names.push_back(eventName(i));
  }
  const uint64_t uiRunsBefore = g_uiProcedureRuns;
  for (auto _ : state) {
    if (pWidget == nullptr) break;
    for (int i = 0; i < gc_iDISPATCHES; ++i) {
      pWidget->callEvent(KvStrHash(names[static_cast<size_t>(i % gc_iEVENTS)].c_str()));
    }
  }
  const bool bRan = g_uiProcedureRuns - uiRunsBefore == expectedRuns(state.iterations());
  ClUI::terminate();
  KvTestSetUIHooks(nullptr);
  if (pWidget == nullptr) {
    state.SkipWithError(("the dispatch widget did not load: " + error).c_str());
  } else if (!bRan) {
    state.SkipWithError("the events did not run their procedures");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iDISPATCHES);
}
BENCHMARK(BM_Engine_EventDispatch)->Unit(benchmark::kMillisecond);

void BM_Baseline_EventDispatch(benchmark::State& state) {
  // Procedure names are resolved to functions once, when the table is built.
  std::unordered_map<std::string, WidgetEventProcedure> procedures;
  for (int i = 0; i < 4; ++i) {
    procedures.emplace(procedureName(i), gc_apProcedures[i]);
  }
  std::unordered_map<std::string, std::vector<WidgetEventProcedure>> events;
  std::vector<std::string> names;
  for (int i = 0; i < gc_iEVENTS; ++i) {
    std::vector<WidgetEventProcedure>& resolved = events[eventName(i)];
    for (int iCall : {i % 4, (i + 1) % 4, (i + 2) % 4}) {
      resolved.push_back(procedures.at(procedureName(iCall)));
    }
    names.push_back(eventName(i));
  }
  const uint64_t uiRunsBefore = g_uiProcedureRuns;
  for (auto _ : state) {
    for (int i = 0; i < gc_iDISPATCHES; ++i) {
      const auto event = events.find(names[static_cast<size_t>(i % gc_iEVENTS)]);
      if (event == events.end()) {
        continue;
      }
      for (WidgetEventProcedure pProcedure : event->second) {
        pProcedure(nullptr, nullptr);
      }
    }
  }
  if (g_uiProcedureRuns - uiRunsBefore != expectedRuns(state.iterations())) {
    state.SkipWithError("the events did not run their procedures");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iDISPATCHES);
}
BENCHMARK(BM_Baseline_EventDispatch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

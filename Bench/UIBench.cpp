// UI benchmarks, engine against a common baseline with the same work:
// - UILoad: loading a screen set of about 2,000 widgets into its widget tree (checks, relocation, widgets,
//   property tables, child lists, the load walk) and freeing it again (the UI's end), against the least a binary
//   loader does with the same file: copying the bytes into a block and turning its offsets into pointers, with
//   no checks and no widgets, and freeing the block (UILoadJson: against parsing the JSON description of the same
//   screen set with a widely used JSON library instead). The UI's start before each load is not timed: the baseline
//   has nothing to start. The screen set comes in four versions (the last button's point size differs), loaded in
//   turn from one buffer (the few bytes that differ written into it before each load, untimed on both sides), so
//   that no iteration loads what the last one did. Each side checks, untimed, what its last iteration loaded
//   against the screen set compiled (every widget in tree order with its name, instance ID, children, switched
//   children and properties: types, values, event calls and their parameters; the JSON as parsed written out and
//   compiled again), and that the heap holds no more blocks after the run than before; every iteration folds two of
//   the widgets it loaded (the last and one that moves on from iteration to iteration) into a running hash, which
//   must be that of the same widgets as compiled (as parsed before the loop, for the JSON). The plain loader's
//   every iteration is checked whole, untimed: a hash of every word of its block and pointer pool (a pointer as its
//   offset into the block or the pool) against that of a relocation of the same version made before the loop; and
//   the JSON's every parse against a parse of the same version made before the loop. GRINDLOW_BENCH_SKIP "<case>.engine.load"
//   leaves out the engine's load, "UILoad.baseline.properties" the plain loader's relocation of the property
//   arrays, "UILoad.baseline.free" its free, "UILoadJson.baseline.floats" the parsed floats (the parser drops
//   them); "<case>.<side>.everysecond" the load, the relocation of the property arrays or the floats in every
//   second iteration; "<case>.<side>.partial" the last widget's properties (the engine loads a file without them,
//   the plain loader leaves its arrays unrelocated, the parse drops it), ".repeat" every third iteration's load
//   (the last one's kept), ".replay" every load (the last version's, loaded before the loop, kept), ".middle" one
//   change in the middle iteration (the engine loads the next version, the plain loader leaves a widget's arrays
//   unrelocated, the parse's root gets another name).
// - EventDispatch: 100,000 events fired by name on a widget, each running its procedures through the registry,
//   against a std::unordered_map from event names to the event's procedures, resolved once when it is built, as
//   the engine resolves them when it loads. Iteration k starts at event k (of 16), so that no iteration dispatches
//   what the last one did. Every procedure folds its number into a trace, started afresh each iteration; each
//   iteration's trace (every procedure run, in order: event i runs its own three) must be the one worked out after
//   the loop for its events. "EventDispatch.<side>.events" leaves out every second dispatch,
//   "EventDispatch.baseline.calls" the procedures after an event's first, "EventDispatch.<side>.everysecond" every
//   second iteration's dispatches, ".<side>.partial" the last dispatch of each iteration, ".<side>.repeat" every
//   third iteration's (the last one's trace given again), ".<side>.replay" all of them (the trace of a round
//   dispatched before the loop given instead), ".<side>.middle" dispatches another event once in the middle
//   iteration.
// - MainMenuFrameOverQuadWrite: one UI frame of the game's main menu, the screen set loaded from the data root by the
//   game itself (started in-process on the archives the build makes, "SKIP_SPLASH 1", run into its front end and
//   switched to the main menu until its fades are over): the UI's update and render (every widget's tick and render
//   procedures, the texts laid out into glyph sprites), the queue's sort and the UI layers written into dynamic
//   geometry, over a floor: writing the same finished quads (taken once from the engine's own queue) straight into
//   dynamic geometry. A plain menu with its own text layout is not written; the ratio says what the UI costs on top
//   of its output, and no aim is set on it. Calling-thread CPU time, 5,000 frames a repetition. After every frame,
//   untimed, both sides check that it wrote the menu's quads (rectangles, texture coordinates, colours, depths,
//   signatures, in drawing order). The menu's logo fades, linearly over 60 of the UI's updates and again from the
//   start every 60 frames, from one colour to another (over three levels a channel an update): each frame's logo
//   quads must show the colour its updates have brought them to (within one level a channel), so that a frame shows
//   other quads than the last and one update left out shows; the floor writes each frame's quads with its logo's
//   colour. GRINDLOW_BENCH_SKIP "MainMenuFrameOverQuadWrite.engine.update" (".engine.sort", ".baseline.elements")
//   leaves a step out and fails it; ".engine.oneupdate" the UI's update of the middle frame alone;
//   ".engine.everysecond" leaves out the UI's render, ".baseline.everysecond" the last quad, of every second frame;
//   ".<side>.partial" the last quad of every frame, ".<side>.repeat" every third frame's work (the last frame's quads
//   written again), ".<side>.replay" all of it (the menu's quads taken before the loop written instead),
//   ".<side>.middle" changes one quad's colour in the middle frame.
#include <benchmark/benchmark.h>
#include <time.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Bench/BenchWrittenQuads.h"
#include "Code/System/GAMEGameHooks.h"
#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/KvUIDataFile.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/InProcessGameTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tools/kuic/KuiJson.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

// A front end of 40 screens, each a panel with a grid of 6 x 8 buttons, about 2,000 widgets; the buttons' point size
// is 21, the last one's 21 and the version.
constexpr int gc_iSET_VERSIONS = 4;
std::string makeDescription(int iVersion) {
  std::string screens;
  std::vector<std::string> names;
  for (int s = 0; s < 40; ++s) {
    const std::string screen = "Screen" + std::to_string(s);
    names.push_back("\"" + screen + "\"");
    std::string buttons;
    for (int b = 0; b < 48; ++b) {
      const std::string id = screen + "_Button" + std::to_string(b);
      buttons += std::string(b ? "," : "") + R"({"name": ")" + id + R"(", "properties": {
          "canvas": {"id": "FULL"}, "fontName": {"id": "FontAcknowledge"}, "pointSize": )" +
                 std::to_string(21 + (s == 39 && b == 47 ? iVersion : 0)) + R"(.0,
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
  SKuiScreenSet set;
  std::vector<uint8_t> image;
  std::string json;
  size_t uiWidgets = 0;
  std::vector<std::vector<size_t>> paths;  // each widget's place in the tree: its child positions from the root
};

// The places of the widget at iIndex and of its children and theirs.
void findPaths(const SKuiScreenSet& set, int iIndex, const std::vector<size_t>& path,
               std::vector<std::vector<size_t>>* pPaths) {
  (*pPaths)[static_cast<size_t>(iIndex)] = path;
  const std::vector<int>& children = set.widgets[static_cast<size_t>(iIndex)].children;
  for (size_t i = 0; i < children.size(); ++i) {
    std::vector<size_t> childPath = path;
    childPath.push_back(i);
    findPaths(set, children[i], childPath, pPaths);
  }
}

// Version iVersion of the screen set (see makeDescription), compiled once.
const SScreenSet& screenSet(int iVersion = 0) {
  static const std::vector<SScreenSet> s_sets = [] {
    std::vector<SScreenSet> sets(gc_iSET_VERSIONS);
    for (int v = 0; v < gc_iSET_VERSIONS; ++v) {
      SScreenSet& d = sets[static_cast<size_t>(v)];
      std::string error;
      if (!KuiParseDescription(makeDescription(v), "bench.json", &d.set, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
      }
      d.uiWidgets = d.set.widgets.size();
      d.paths.resize(d.uiWidgets);
      findPaths(d.set, 0, {}, &d.paths);
      d.image = KuiWriteImage(d.set);
      if (!KuiDumpImage(d.image, "bench.kui", {}, &d.json, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
      }
    }
    std::fprintf(stderr, "screen set: %zu widgets, %zu bytes of .kui, %zu bytes of JSON\n", sets[0].uiWidgets,
                 sets[0].image.size(), sets[0].json.size());
    return sets;
  }();
  return s_sets[static_cast<size_t>(iVersion)];
}

// The version iteration i loads.
int setVersion(benchmark::IterationCount i) { return static_cast<int>(i % gc_iSET_VERSIONS); }

// The file the loads read: one buffer that a version's bytes are written into before its load (they differ from
// each other in a few bytes only), so that the versions take no more room in the caches than one file.
class CVersionedImage {
 public:
  CVersionedImage() : m_image(screenSet(0).image) {
    m_uiFirst = m_image.size();
    for (int v = 1; v < gc_iSET_VERSIONS; ++v) {
      const std::vector<uint8_t>& other = screenSet(v).image;
      for (size_t i = 0; i < m_image.size() && i < other.size(); ++i) {
        if (m_image[i] == other[i]) continue;
        m_uiFirst = std::min(m_uiFirst, i);
        m_uiEnd = std::max(m_uiEnd, i + 1);
      }
    }
  }
  // The buffer holding version iVersion.
  const std::vector<uint8_t>& at(int iVersion) {
    if (m_uiFirst < m_uiEnd) {
      const std::vector<uint8_t>& version = screenSet(iVersion).image;
      std::memcpy(m_image.data() + m_uiFirst, version.data() + m_uiFirst, m_uiEnd - m_uiFirst);
    }
    return m_image;
  }

 private:
  std::vector<uint8_t> m_image;
  size_t m_uiFirst = 0;
  size_t m_uiEnd = 0;
};

// --- What a load made, in the compiler's form (KuiSource.h), for the checks ---

// The bytes of a property's value area that its type fills.
size_t valueBytes(u32 uiType) {
  switch (uiType) {
    case E_BASE_TYPE_ASCII_STRING:
      return gc_iMAX_UI_STRING_LEN;
    case E_BASE_TYPE_LAYOUT:
      return gc_iLAYOUT_SIZE;
    case E_BASE_TYPE_PERCENTXY:
    case E_BASE_TYPE_UNNAMED_9:
    case E_BASE_TYPE_GRIDXY:
    case E_BASE_TYPE_FLOATXY:
      return 8;
    case E_BASE_TYPE_UNNAMED_12:
    case E_BASE_TYPE_UNNAMED_13:
      return gc_iRAW_PROPERTY_VALUE_SIZE;
    default:
      return 4;
  }
}

// Where a plain load's records and pointer arrays may lie (both empty: anywhere, for the engine's own load).
struct SLoadedPlaces {
  const u8* pBlock = nullptr;
  size_t uiBlockBytes = 0;
  const u8* pPool = nullptr;
  size_t uiPoolBytes = 0;
  bool record(const void* p, size_t uiBytes) const {
    return pBlock == nullptr || benchInside(p, uiBytes, pBlock, uiBlockBytes);
  }
  bool array(const void* p, i32 iCount) const {
    return iCount == 0 || pPool == nullptr ||
           benchInside(p, sizeof(void*) * static_cast<size_t>(iCount), pPool, uiPoolBytes);
  }
};

// An event callback's calls and parameters, as loaded; false when a pointer leads outside the places.
bool readCallback(const SWidgetEventCallback& callback, const SLoadedPlaces& places, SKuiProperty* pProperty) {
  pProperty->uiSingleProcedureHash = callback.mp_uiSingleProcedureNameHash;
  if (callback.mp_iNumberCalls < 0 || !places.array(callback.mp_ppCalls, callback.mp_iNumberCalls)) return false;
  for (i32 k = 0; k < callback.mp_iNumberCalls; ++k) {
    const WidgetEventProcedureCall* pCall = callback.mp_ppCalls[k];
    const i32 iParams = pCall->mp_iNumberWidgetEventProcedureCallDatas;
    if (!places.record(pCall, sizeof(*pCall)) || iParams < 0 ||
        !places.array(pCall->mp_ppWidgetEventProcedureCallDatas, iParams)) {
      return false;
    }
    SKuiCall call;
    call.uiProcedureHash = pCall->mp_uiProcedureNameHash;
    for (i32 m = 0; m < iParams; ++m) {
      const WidgetEventProcedureCallData* pData = pCall->mp_ppWidgetEventProcedureCallDatas[m];
      if (!places.record(pData, sizeof(*pData))) return false;
      SKuiParam param;
      param.eType = static_cast<E_ESCP_TYPE>(pData->mp_eType);
      if (param.eType == E_ESCP_TYPE_STRING) {
        param.text = pData->mp_acString;
      } else {
        param.uiBits = pData->mp_uiID;
      }
      call.params.push_back(param);
    }
    pProperty->calls.push_back(call);
  }
  return true;
}

// A property as loaded (its value read from pValue).
bool readProperty(u32 uiNameHash, u32 uiType, const void* pValue, const SLoadedPlaces& places,
                  SKuiProperty* pProperty) {
  pProperty->uiNameHash = uiNameHash;
  pProperty->uiType = uiType;
  if (uiType == E_BASE_TYPE_EVENTCALLBACK) {
    return readCallback(*static_cast<const SWidgetEventCallback*>(pValue), places, pProperty);
  }
  std::memcpy(pProperty->value.data(), pValue, valueBytes(uiType));
  return true;
}

// The engine's widget alone: its name, instance ID and properties.
SKuiWidget engineWidget(const ClWidget* pWidget) {
  SKuiWidget widget;
  widget.name = pWidget->getName();
  widget.uiInstanceID = pWidget->mp_uiInstanceNameHash;
  for (i32 iSlot = 0; iSlot < pWidget->mp_Properties.getCapacity(); ++iSlot) {
    const u32 uiHash = pWidget->mp_Properties.getKeyAt(iSlot);
    const WidgetProperty* pProperty = uiHash != 0 ? pWidget->findProperty(uiHash) : nullptr;
    if (pProperty == nullptr) continue;
    widget.properties.emplace_back();
    readProperty(uiHash, static_cast<u32>(pProperty->mp_eType), pProperty->mp_pData, SLoadedPlaces(),
                 &widget.properties.back());
  }
  return widget;
}

// The engine's widget tree below and including pWidget, depth first, appended to pSet (children and switched
// children by index).
void readEngineWidget(const ClWidget* pWidget, SKuiScreenSet* pSet) {
  const int iIndex = static_cast<int>(pSet->widgets.size());
  pSet->widgets.push_back(engineWidget(pWidget));
  std::map<const ClWidget*, int> children;
  for (u32 i = 0; i < pWidget->mp_AllChildren.getSize(); ++i) {
    children[pWidget->mp_AllChildren[i]] = static_cast<int>(pSet->widgets.size());
    pSet->widgets[static_cast<size_t>(iIndex)].children.push_back(static_cast<int>(pSet->widgets.size()));
    readEngineWidget(pWidget->mp_AllChildren[i], pSet);
  }
  for (u32 i = 0; i < pWidget->mp_SwitchedChildren.getSize(); ++i) {
    const auto child = children.find(pWidget->mp_SwitchedChildren[i].mp_pChild);
    pSet->widgets[static_cast<size_t>(iIndex)].switched.push_back(child != children.end() ? child->second : -1);
  }
}

// A plain load's raw instance alone: its name, instance ID and properties; false when a pointer leads outside the
// block or the pool.
bool rawWidget(const SRawWidgetInstance* pRaw, const SLoadedPlaces& places, SKuiWidget* pWidget) {
  if (!places.record(pRaw, sizeof(*pRaw)) || pRaw->mp_iNumProperties < 0 || pRaw->mp_iNumChildren < 0 ||
      pRaw->mp_iNumSwitchedChildren < 0 || !places.array(pRaw->mp_ppProperties, pRaw->mp_iNumProperties) ||
      !places.array(pRaw->mp_ppChildren, pRaw->mp_iNumChildren) ||
      !places.array(pRaw->mp_ppSwitchedChildren, pRaw->mp_iNumSwitchedChildren)) {
    return false;
  }
  pWidget->name = std::string(pRaw->mp_acName, strnlen(pRaw->mp_acName, sizeof(pRaw->mp_acName)));
  pWidget->uiInstanceID = pRaw->mp_uiInstanceID;
  for (i32 j = 0; j < pRaw->mp_iNumProperties; ++j) {
    const SRawWidgetProperty* pProperty = pRaw->mp_ppProperties[j];
    pWidget->properties.emplace_back();
    if (!places.record(pProperty, sizeof(*pProperty)) ||
        !readProperty(pProperty->mp_uiNameHash, pProperty->mp_uiType, pProperty->mp_aucValue, places,
                      &pWidget->properties.back())) {
      return false;
    }
  }
  return true;
}

// The same of a plain load's raw instances below and including pRaw; false when a pointer leads outside the block or
// the pool.
bool readRawWidget(const SRawWidgetInstance* pRaw, const SLoadedPlaces& places, SKuiScreenSet* pSet) {
  SKuiWidget widget;
  if (!rawWidget(pRaw, places, &widget)) return false;
  const int iIndex = static_cast<int>(pSet->widgets.size());
  pSet->widgets.push_back(std::move(widget));
  std::map<const SRawWidgetInstance*, int> children;
  for (i32 i = 0; i < pRaw->mp_iNumChildren; ++i) {
    children[pRaw->mp_ppChildren[i]] = static_cast<int>(pSet->widgets.size());
    pSet->widgets[static_cast<size_t>(iIndex)].children.push_back(static_cast<int>(pSet->widgets.size()));
    if (!readRawWidget(pRaw->mp_ppChildren[i], places, pSet)) return false;
  }
  for (i32 i = 0; i < pRaw->mp_iNumSwitchedChildren; ++i) {
    const auto child = children.find(pRaw->mp_ppSwitchedChildren[i]);
    pSet->widgets[static_cast<size_t>(iIndex)].switched.push_back(child != children.end() ? child->second : -1);
  }
  return true;
}

bool sameProperty(const SKuiProperty& a, const SKuiProperty& b) {
  if (a.uiNameHash != b.uiNameHash || a.uiType != b.uiType || a.uiSingleProcedureHash != b.uiSingleProcedureHash ||
      a.calls.size() != b.calls.size()) {
    return false;
  }
  for (size_t k = 0; k < a.calls.size(); ++k) {
    const SKuiCall& callA = a.calls[k];
    const SKuiCall& callB = b.calls[k];
    if (callA.uiProcedureHash != callB.uiProcedureHash || callA.params.size() != callB.params.size()) return false;
    for (size_t m = 0; m < callA.params.size(); ++m) {
      const SKuiParam& paramA = callA.params[m];
      const SKuiParam& paramB = callB.params[m];
      if (paramA.eType != paramB.eType || paramA.text != paramB.text ||
          (paramA.eType != E_ESCP_TYPE_STRING && paramA.uiBits != paramB.uiBits)) {
        return false;
      }
    }
  }
  return a.uiType == E_BASE_TYPE_EVENTCALLBACK ||
         std::memcmp(a.value.data(), b.value.data(), valueBytes(a.uiType)) == 0;
}

// Empty when the loaded screen set is the one compiled (the properties of a widget in any order); else the first
// widget that differs.
std::string compareScreenSets(const SKuiScreenSet& loaded, const SKuiScreenSet& wanted) {
  if (loaded.widgets.size() != wanted.widgets.size()) {
    return "the load holds " + std::to_string(loaded.widgets.size()) + " widgets, the screen set " +
           std::to_string(wanted.widgets.size());
  }
  const auto byName = [](const SKuiProperty& a, const SKuiProperty& b) { return a.uiNameHash < b.uiNameHash; };
  for (size_t i = 0; i < wanted.widgets.size(); ++i) {
    const SKuiWidget& a = loaded.widgets[i];
    const SKuiWidget& b = wanted.widgets[i];
    std::vector<SKuiProperty> propertiesA = a.properties;
    std::vector<SKuiProperty> propertiesB = b.properties;
    std::sort(propertiesA.begin(), propertiesA.end(), byName);
    std::sort(propertiesB.begin(), propertiesB.end(), byName);
    bool bSame = a.name == b.name && a.uiInstanceID == b.uiInstanceID && a.children == b.children &&
                 a.switched == b.switched && propertiesA.size() == propertiesB.size();
    for (size_t j = 0; bSame && j < propertiesA.size(); ++j) bSame = sameProperty(propertiesA[j], propertiesB[j]);
    if (!bSame) return "widget " + std::to_string(i) + " (" + b.name + ") was not loaded as compiled";
  }
  return std::string();
}

// The loads' running check: iteration k folds two widgets as they loaded, the screen set's last one and its widget k
// (in the set's order, round again after the last): each one's name, instance ID, numbers of children and switched
// children, and properties in name order (types, values, event calls and parameters), or 0 when it did not load.
std::array<size_t, 2> sampledWidgets(benchmark::IterationCount iIteration) {
  const size_t uiWidgets = screenSet().uiWidgets;
  return {uiWidgets - 1, static_cast<size_t>(iIteration) % uiWidgets};
}

void foldWidget(CBenchHash* pHash, SKuiWidget widget, size_t uiChildren, size_t uiSwitched) {
  std::sort(widget.properties.begin(), widget.properties.end(),
            [](const SKuiProperty& a, const SKuiProperty& b) { return a.uiNameHash < b.uiNameHash; });
  pHash->add(std::hash<std::string>{}(widget.name));
  pHash->add(static_cast<u64>(widget.uiInstanceID) << 32 | widget.properties.size());
  pHash->add(static_cast<u64>(uiChildren) << 32 | uiSwitched);
  for (const SKuiProperty& property : widget.properties) {
    pHash->add(static_cast<u64>(property.uiNameHash) << 32 | property.uiType);
    if (property.uiType == E_BASE_TYPE_EVENTCALLBACK) {
      pHash->add(static_cast<u64>(property.uiSingleProcedureHash) << 32 | property.calls.size());
      for (const SKuiCall& call : property.calls) {
        pHash->add(static_cast<u64>(call.uiProcedureHash) << 32 | call.params.size());
        for (const SKuiParam& param : call.params) {
          pHash->add(static_cast<u64>(param.eType) << 32 |
                     (param.eType == E_ESCP_TYPE_STRING ? KvStrHash(param.text.c_str()) : param.uiBits));
        }
      }
      continue;
    }
    for (size_t i = 0; i < valueBytes(property.uiType); i += sizeof(u64)) {
      u64 ulWord = 0;
      std::memcpy(&ulWord, property.value.data() + i, std::min(sizeof(u64), valueBytes(property.uiType) - i));
      pHash->add(ulWord);
    }
  }
}

// The hash of iIterations loads that loaded the screen set's versions as compiled.
CBenchHash compiledLoads(benchmark::IterationCount iIterations) {
  CBenchHash record;
  for (benchmark::IterationCount i = 0; i < iIterations; ++i) {
    const SKuiScreenSet& set = screenSet(setVersion(i)).set;
    for (const size_t uiSampled : sampledWidgets(i)) {
      const SKuiWidget& widget = set.widgets[uiSampled];
      foldWidget(&record, widget, widget.children.size(), widget.switched.size());
    }
  }
  return record;
}

// The image of a version without its last widget's properties: what a load that leaves them out holds.
std::vector<uint8_t> imageWithoutLastProperties(int iVersion) {
  SKuiScreenSet set = screenSet(iVersion).set;
  set.widgets.back().properties.clear();
  return KuiWriteImage(set);
}

// The UI starts untimed, as the baseline has nothing to start; its end, where the engine frees the widgets and the
// file it loaded, is timed as the baseline's free is.
void engineLoad(benchmark::State& state, const std::string& name) {
  const bool bLoad = !benchSkips(name + ".engine.load");
  CBenchEverySecond everySecond(state, name + ".engine.everysecond");
  const CBenchCheat cheat(name + ".engine");
  // A load that leaves out the last widget's properties ("partial") reads files without them.
  std::vector<std::vector<uint8_t>> partialImages;
  for (int v = 0; v < gc_iSET_VERSIONS && cheat.partial(); ++v) partialImages.push_back(imageWithoutLastProperties(v));
  CVersionedImage versioned;
  const auto image = [&](int iVersion) -> const std::vector<uint8_t>& {
    return cheat.partial() ? partialImages[static_cast<size_t>(iVersion)] : versioned.at(iVersion);
  };
  const i64 iBlocks = KvAllocLiveBlocks();
  // The first load in a process takes ten to forty times as long as the next ones: it is made before the loop (of
  // the last version, the one before the first iteration's), so that a short run's iterations are like a long
  // run's. "replay" keeps it.
  ClUI::initialise();
  const std::vector<uint8_t>& first = image(gc_iSET_VERSIONS - 1);
  ClUI::loadUIDataFromImage("Bench", first.data(), static_cast<u32>(first.size()));
  if (!cheat.replays()) ClUI::terminate();
  CBenchLastIteration last(state);
  CBenchHash hash;
  benchmark::IterationCount iIteration = 0;
  bool bLoaded = cheat.replays();
  std::string problem;
  for (auto _ : state) {
    const int iVersion = setVersion(iIteration);
    const SScreenSet& d = screenSet(iVersion);
    const bool bKept = cheat.replays() || cheat.repeats(iIteration);
    if (!bKept) {
      state.PauseTiming();
      ClUI::initialise();
      const std::vector<uint8_t>& loaded = image(
          cheat.changes(iIteration, state.max_iterations) ? (iVersion + 1) % gc_iSET_VERSIONS : iVersion);
      state.ResumeTiming();
      bLoaded = !everySecond.leavesOut() && bLoad &&
                ClUI::loadUIDataFromImage("Bench", loaded.data(), static_cast<u32>(loaded.size()));
    }
    for (const size_t uiSampled : sampledWidgets(iIteration)) {
      const ClWidget* pSampled = bLoaded ? ClUI::findWidget(d.set.widgets[uiSampled].uiInstanceID) : nullptr;
      if (pSampled != nullptr) {
        foldWidget(&hash, engineWidget(pSampled), pSampled->mp_AllChildren.getSize(),
                   pSampled->mp_SwitchedChildren.getSize());
      } else {
        hash.add(0);
      }
    }
    if (last.next()) {
      state.PauseTiming();
      const ClWidget* pRoot = bLoaded ? ClUI::getWidget("TopLevelSwitcher") : nullptr;
      SKuiScreenSet loaded;
      if (pRoot != nullptr) readEngineWidget(pRoot, &loaded);
      problem = pRoot == nullptr ? "the screen set did not load" : compareScreenSets(loaded, d.set);
      state.ResumeTiming();
    }
    // A load that the next iteration keeps stays.
    if (!cheat.replays() && !cheat.repeats(iIteration + 1)) ClUI::terminate();
    ++iIteration;
  }
  if (cheat.replays() || cheat.repeats(iIteration)) ClUI::terminate();
  if (problem.empty() && !(hash == compiledLoads(state.iterations()))) {
    problem = "an earlier iteration's load differs from the screen set";
  }
  if (problem.empty()) problem = benchHeapLeftOver(iBlocks);
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * screenSet().uiWidgets));
}

void BM_Engine_UILoad(benchmark::State& state) { engineLoad(state, "UILoad"); }
BENCHMARK(BM_Engine_UILoad)->Unit(benchmark::kMillisecond);
void BM_Engine_UILoadJson(benchmark::State& state) { engineLoad(state, "UILoadJson"); }
BENCHMARK(BM_Engine_UILoadJson)->Unit(benchmark::kMillisecond);

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

// Copies the file into a block and relocates it (the property arrays only when bProperties; none of widget
// iUnrelocated's arrays, a step that cheats); the end of the pool's pointers it took.
void** plainLoad(const std::vector<uint8_t>& image, u8* pBlock, void** ppPool, bool bProperties, i32 iUnrelocated = -1) {
  std::memcpy(pBlock, image.data(), image.size());
  SUIDataHeader* pHeader = reinterpret_cast<SUIDataHeader*>(pBlock);
  pHeader->mp_pRoot = reinterpret_cast<SRawWidgetInstance*>(pBlock + slotOffset(&pHeader->mp_pRoot));
  pHeader->mp_ppWidgetTable =
      pointerArray<SRawWidgetInstance>(pBlock, &pHeader->mp_ppWidgetTable, pHeader->mp_iNumWidgets, ppPool);
  for (i32 i = 0; i < pHeader->mp_iNumWidgets; ++i) {
    if (i == iUnrelocated) continue;
    SRawWidgetInstance* pRaw = pHeader->mp_ppWidgetTable[i];
    pRaw->mp_ppSwitchedChildren =
        pointerArray<SRawWidgetInstance>(pBlock, &pRaw->mp_ppSwitchedChildren, pRaw->mp_iNumSwitchedChildren, ppPool);
    pRaw->mp_ppChildren = pointerArray<SRawWidgetInstance>(pBlock, &pRaw->mp_ppChildren, pRaw->mp_iNumChildren, ppPool);
    if (!bProperties) continue;
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
  return ppPool;
}

// A hash of a plain load's block (uiBytes at pBlock) and its pool's pointers (up to ppEnd), word by word, each
// pointer into the block or the pool as its offset there: the same for two loads of one version wherever they lie,
// taken from the load's own (just written) memory only.
u64 relocationHash(const u8* pBlock, size_t uiBytes, void* const* ppPool, void* const* ppEnd) {
  const u64 ulBlock = static_cast<u64>(reinterpret_cast<uintptr_t>(pBlock));
  const u64 ulPool = static_cast<u64>(reinterpret_cast<uintptr_t>(ppPool));
  const u64 ulPoolBytes = static_cast<u64>(ppEnd - ppPool) * sizeof(void*);
  u64 ulHash = 0xCBF29CE484222325ull;
  const auto add = [&ulHash](u64 ulWord) {
    ulHash = (ulHash ^ ulWord) * 0x100000001B3ull;
    ulHash ^= ulHash >> 29;
  };
  const auto addWord = [&](u64 w) {
    if (w - ulBlock < uiBytes) {
      add(1);
      add(w - ulBlock);
    } else if (w - ulPool < ulPoolBytes) {
      add(2);
      add(w - ulPool);
    } else {
      add(w);
    }
  };
  add(ulPoolBytes);
  for (void* const* pp = ppPool; pp < ppEnd; ++pp) addWord(static_cast<u64>(reinterpret_cast<uintptr_t>(*pp)));
  for (size_t i = 0; i + 8 <= uiBytes; i += 8) {
    u64 w = 0;
    std::memcpy(&w, pBlock + i, sizeof(w));
    addWord(w);
  }
  return ulHash;
}

// The relocation hash of a plain load of a file, made before the loop.
u64 plainRelocationHash(const std::vector<uint8_t>& image) {
  std::vector<u64> block((image.size() + 7) / 8);
  std::vector<void*> pool(image.size() / 4 + 1);
  void** ppEnd = plainLoad(image, reinterpret_cast<u8*>(block.data()), pool.data(), true);
  return relocationHash(reinterpret_cast<const u8*>(block.data()), image.size(), pool.data(), ppEnd);
}

// "UILoad.baseline.everysecond" leaves the property arrays unrelocated in every second iteration.
void BM_Baseline_UILoad(benchmark::State& state) {
  const bool bProperties = !benchSkips("UILoad.baseline.properties");
  const bool bFree = !benchSkips("UILoad.baseline.free");
  CBenchEverySecond everySecond(state, "UILoad.baseline.everysecond");
  const CBenchCheat cheat("UILoad.baseline");
  std::vector<u64> relocations;
  for (int v = 0; v < gc_iSET_VERSIONS; ++v) relocations.push_back(plainRelocationHash(screenSet(v).image));
  const size_t uiImageBytes = screenSet().image.size();
  CVersionedImage versioned;
  // What "replay" gives: a load of the last version made before the loop.
  std::vector<u64> replayedBlock((uiImageBytes + 7) / 8);
  std::vector<void*> replayedPool(uiImageBytes / 4 + 1);
  void** const ppReplayedEnd = plainLoad(screenSet(gc_iSET_VERSIONS - 1).image,
                                         reinterpret_cast<u8*>(replayedBlock.data()), replayedPool.data(), true);
  const size_t uiPoolBytes = sizeof(void*) * (uiImageBytes / 4 + 1);
  const i64 iBlocks = KvAllocLiveBlocks();
  // One load before the loop, as the engine's side makes one: the first touches of the heap's fresh pages are not
  // an iteration's.
  {
    u8* pFirstBlock = static_cast<u8*>(KvAlignedAlloc(uiImageBytes, 16));
    void** ppFirstPool = static_cast<void**>(KvAlignedAlloc(uiPoolBytes, 16));
    plainLoad(screenSet().image, pFirstBlock, ppFirstPool, true);
    KvAlignedFree(ppFirstPool);
    KvAlignedFree(pFirstBlock);
  }
  CBenchLastIteration last(state);
  CBenchHash hash;
  benchmark::IterationCount iIteration = 0;
  std::string problem;
  u8* pBlock = nullptr;
  void** ppPool = nullptr;
  void** ppEnd = nullptr;
  for (auto _ : state) {
    const int iVersion = setVersion(iIteration);
    const SScreenSet& d = screenSet(iVersion);
    state.PauseTiming();
    const std::vector<uint8_t>& image = versioned.at(iVersion);
    state.ResumeTiming();
    if (cheat.replays()) {
      pBlock = reinterpret_cast<u8*>(replayedBlock.data());
      ppPool = replayedPool.data();
      ppEnd = ppReplayedEnd;
    } else if (!cheat.repeats(iIteration) || pBlock == nullptr) {
      pBlock = static_cast<u8*>(KvAlignedAlloc(uiImageBytes, 16));
      ppPool = static_cast<void**>(KvAlignedAlloc(uiPoolBytes, 16));
      const i32 iUnrelocated = cheat.partial() ? static_cast<i32>(d.uiWidgets) - 1
                               : cheat.changes(iIteration, state.max_iterations) ? static_cast<i32>(d.uiWidgets) / 2
                                                                                 : -1;
      ppEnd = plainLoad(image, pBlock, ppPool, !everySecond.leavesOut() && bProperties, iUnrelocated);
    }
    const SLoadedPlaces places{pBlock, d.image.size(), reinterpret_cast<const u8*>(ppPool), uiPoolBytes};
    const SUIDataHeader* pHeader = reinterpret_cast<const SUIDataHeader*>(pBlock);
    for (const size_t uiSampled : sampledWidgets(iIteration)) {
      SKuiWidget sampled;
      const SRawWidgetInstance* pSampled = nullptr;
      if (static_cast<size_t>(pHeader->mp_iNumWidgets) > uiSampled &&
          places.array(pHeader->mp_ppWidgetTable, pHeader->mp_iNumWidgets) &&
          rawWidget(pHeader->mp_ppWidgetTable[uiSampled], places, &sampled)) {
        pSampled = pHeader->mp_ppWidgetTable[uiSampled];
      }
      if (pSampled != nullptr) {
        foldWidget(&hash, std::move(sampled), static_cast<size_t>(pSampled->mp_iNumChildren),
                   static_cast<size_t>(pSampled->mp_iNumSwitchedChildren));
      } else {
        hash.add(0);
      }
    }
    state.PauseTiming();
    if (problem.empty() &&
        relocationHash(pBlock, d.image.size(), ppPool, ppEnd) != relocations[static_cast<size_t>(iVersion)]) {
      problem = "iteration " + std::to_string(iIteration) + ": the load's block or pointer arrays are not those of a "
                "relocation of its file";
    }
    if (last.next() && problem.empty()) {
      SKuiScreenSet loaded;
      problem = readRawWidget(pHeader->mp_pRoot, places, &loaded)
                    ? compareScreenSets(loaded, d.set)
                    : "a pointer of the plain load leads outside its block";
    }
    state.ResumeTiming();
    // A load that the next iteration keeps stays.
    if (bFree && !cheat.replays() && !cheat.repeats(iIteration + 1)) {
      KvAlignedFree(ppPool);
      KvAlignedFree(pBlock);
      pBlock = nullptr;
    }
    ++iIteration;
  }
  if (bFree && pBlock != nullptr && !cheat.replays()) {
    KvAlignedFree(ppPool);
    KvAlignedFree(pBlock);
  }
  if (problem.empty() && !(hash == compiledLoads(state.iterations()))) {
    problem = "an earlier iteration's load differs from the screen set";
  }
  if (problem.empty()) problem = benchHeapLeftOver(iBlocks);
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * screenSet().uiWidgets));
}
BENCHMARK(BM_Baseline_UILoad)->Unit(benchmark::kMillisecond);

// The JSON side's running check: iteration k folds the names and properties of its two widgets (sampledWidgets) as
// parsed (0 for one the tree lacks); the record is the same of a parse made before the loop, which the last
// iteration's check vouches for.
u64 parsedWidgetWord(const nlohmann::json& tree, size_t uiWidget) {
  const auto root = tree.find("root");
  if (root == tree.end()) return 0;
  const nlohmann::json* pNode = &*root;
  for (size_t i : screenSet().paths[uiWidget]) {
    const auto children = pNode->find("children");
    if (children == pNode->end() || !children->is_array() || i >= children->size()) return 0;
    pNode = &(*children)[i];
  }
  const auto name = pNode->find("name");
  const auto properties = pNode->find("properties");
  return std::hash<std::string>{}((name != pNode->end() ? name->dump() : "") +
                                  (properties != pNode->end() ? properties->dump() : ""));
}

// "UILoadJson.baseline.floats" drops the floats in every iteration, ".everysecond" in every second one.
void BM_Baseline_UILoadJson(benchmark::State& state) {
  const nlohmann::json::parser_callback_t dropFloats = [](int, nlohmann::json::parse_event_t event,
                                                          nlohmann::json& parsed) {
    return event != nlohmann::json::parse_event_t::value || !parsed.is_number_float();
  };
  const bool bFloats = !benchSkips("UILoadJson.baseline.floats");
  CBenchEverySecond everySecond(state, "UILoadJson.baseline.everysecond");
  const CBenchCheat cheat("UILoadJson.baseline");
  // Each version parsed before the loop: what every iteration's parse of it must equal.
  std::vector<nlohmann::json> references;
  for (int v = 0; v < gc_iSET_VERSIONS; ++v) references.push_back(nlohmann::json::parse(screenSet(v).json));
  CBenchLastIteration last(state);
  CBenchHash hash;
  benchmark::IterationCount iIteration = 0;
  std::string problem;
  nlohmann::json tree;
  for (auto _ : state) {
    const int iVersion = setVersion(iIteration);
    const SScreenSet& d = screenSet(iVersion);
    if (cheat.replays()) {
      tree = references.back();
    } else if (!cheat.repeats(iIteration) || tree.is_null()) {
      const bool bDrop = everySecond.leavesOut() || !bFloats;
      tree = nlohmann::json::parse(d.json, bDrop ? dropFloats : nullptr, false);
      if (tree.is_discarded() || tree.empty()) {
        state.SkipWithError("the JSON did not parse");
        return;
      }
    }
    if (cheat.partial()) tree["root"]["children"].back()["children"].back()["children"].erase(47);
    if (cheat.changes(iIteration, state.max_iterations)) tree["root"]["name"] = "Changed";
    for (const size_t uiSampled : sampledWidgets(iIteration)) hash.add(parsedWidgetWord(tree, uiSampled));
    state.PauseTiming();
    if (problem.empty() && tree != references[static_cast<size_t>(iVersion)]) {
      problem = "iteration " + std::to_string(iIteration) + "'s parse differs from the JSON";
    }
    if (last.next() && problem.empty()) {
      SKuiScreenSet parsed;
      std::string error;
      problem = KuiParseDescription(tree.dump(), "parsed.json", &parsed, &error) ? compareScreenSets(parsed, d.set)
                                                                                   : "the JSON as parsed: " + error;
    }
    state.ResumeTiming();
    benchmark::DoNotOptimize(tree);
    ++iIteration;
  }
  if (problem.empty()) {
    CBenchHash record;
    for (benchmark::IterationCount i = 0; i < state.iterations(); ++i) {
      for (const size_t uiSampled : sampledWidgets(i)) {
        record.add(parsedWidgetWord(references[static_cast<size_t>(setVersion(i))], uiSampled));
      }
    }
    if (!(hash == record)) problem = "an earlier iteration's parse differs from the JSON";
  }
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * screenSet().uiWidgets));
}
BENCHMARK(BM_Baseline_UILoadJson)->Unit(benchmark::kMillisecond);

// --- Dispatch ---

constexpr int gc_iEVENTS = 16;
constexpr int gc_iDISPATCHES = 100000;
// The procedures' trace: each run folds its procedure's number in, so the trace tells the runs and their order.
constexpr uint64_t gc_uiTRACE_START = 0xCBF29CE484222325ull;
uint64_t g_uiProcedureTrace = gc_uiTRACE_START;

uint64_t traceStep(uint64_t uiTrace, int iProcedure) {
  return (uiTrace ^ static_cast<uint64_t>(iProcedure + 1)) * 0x100000001B3ull;
}
template <int N>
void procedure(ClWidget*, WidgetEventProcedureCall*) {
  g_uiProcedureTrace = traceStep(g_uiProcedureTrace, N);
}
const WidgetEventProcedure gc_apProcedures[] = {&procedure<0>, &procedure<1>, &procedure<2>, &procedure<3>};

std::string eventName(int i) { return "onEvent" + std::to_string(i); }

// The procedures event i runs, in order: i % 4 as its single procedure, then (i / 4) % 4 and (i + 1) % 4; no two
// events run the same three, so the trace tells every event.
std::array<int, 3> eventProcedures(int i) { return {i % 4, (i / 4) % 4, (i + 1) % 4}; }

// The event of dispatch i in an iteration that starts at event iFirst.
int dispatchedEvent(int iFirst, int i) { return (iFirst + i) % gc_iEVENTS; }
int firstEvent(benchmark::IterationCount iIteration) { return static_cast<int>(iIteration % gc_iEVENTS); }

// The trace of an iteration that starts at event iFirst and runs every event's procedures.
uint64_t expectedTrace(int iFirst) {
  uint64_t uiTrace = gc_uiTRACE_START;
  for (int i = 0; i < gc_iDISPATCHES; ++i) {
    for (int iProcedure : eventProcedures(dispatchedEvent(iFirst, i))) uiTrace = traceStep(uiTrace, iProcedure);
  }
  return uiTrace;
}

// Empty when every iteration's trace is the one of its events, worked out now; else the first that is not.
std::string checkTraces(benchmark::State& state, const CBenchFrameRecord<uint64_t>& traces) {
  std::array<uint64_t, gc_iEVENTS> wanted{};
  for (int i = 0; i < gc_iEVENTS; ++i) wanted[static_cast<size_t>(i)] = expectedTrace(i);
  return traces.check(state.iterations(), [&wanted](int64_t iIteration, const uint64_t* puiTrace) {
    return *puiTrace == wanted[static_cast<size_t>(firstEvent(iIteration))]
               ? std::string()
               : "the events did not run their procedures in order";
  });
}

// What a side's dispatches do in an iteration, with the steps of CBenchCheat: the trace it leaves in the record.
class CDispatchRound {
 public:
  CDispatchRound(benchmark::State& state, const std::string& sSide, uint64_t uiReplayed)
      : m_cheat(sSide), m_traces(state, 1), m_uiReplayed(uiReplayed), m_iCount(state.max_iterations) {}
  // The dispatches to run this iteration (none when the step gives a trace instead), and the first event.
  int dispatches() const {
    return m_cheat.repeats(m_iIteration) || m_cheat.replays() ? 0 : gc_iDISPATCHES - (m_cheat.partial() ? 1 : 0);
  }
  int first() const { return firstEvent(m_iIteration); }
  // The event of dispatch i: the middle iteration's first dispatch takes the next event when asked.
  int event(int i) const {
    return dispatchedEvent(first(), i) + (i == 0 && m_cheat.changes(m_iIteration, m_iCount) ? 1 : 0);
  }
  void begin() { g_uiProcedureTrace = gc_uiTRACE_START; }
  void end() {
    if (m_cheat.replays()) g_uiProcedureTrace = m_uiReplayed;
    if (m_cheat.repeats(m_iIteration)) g_uiProcedureTrace = m_uiLast;
    m_uiLast = g_uiProcedureTrace;
    m_traces.add(g_uiProcedureTrace);
    ++m_iIteration;
  }
  const CBenchFrameRecord<uint64_t>& traces() const { return m_traces; }

 private:
  CBenchCheat m_cheat;
  CBenchFrameRecord<uint64_t> m_traces;
  uint64_t m_uiReplayed;
  uint64_t m_uiLast = gc_uiTRACE_START;
  int64_t m_iIteration = 0;
  int64_t m_iCount;
};

std::string procedureName(int i) { return "systemBenchProcedure" + std::to_string(i); }

std::string dispatchDescription() {
  std::string properties;
  for (int i = 0; i < gc_iEVENTS; ++i) {
    const std::array<int, 3> calls = eventProcedures(i);
    properties += std::string(i ? "," : "") + "\"" + eventName(i) + R"(": {"event": {"single": ")" +
                  procedureName(calls[0]) + R"(", "calls": [{"call": ")" + procedureName(calls[1]) +
                  R"("}, {"call": ")" + procedureName(calls[2]) + "\"}]}}";
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
  for (int i = 0; i <= gc_iEVENTS; ++i) {
    names.push_back(eventName(i % gc_iEVENTS));
  }
  const int iStride = benchSkips("EventDispatch.engine.events") ? 2 : 1;
  CBenchEverySecond everySecond(state, "EventDispatch.engine.everysecond");
  // A round dispatched before the loop, from event 0: the trace "replay" gives.
  g_uiProcedureTrace = gc_uiTRACE_START;
  for (int i = 0; i < gc_iDISPATCHES && pWidget != nullptr; ++i) {
    pWidget->callEvent(KvStrHash(names[static_cast<size_t>(dispatchedEvent(0, i))].c_str()));
  }
  CDispatchRound round(state, "EventDispatch.engine", g_uiProcedureTrace);
  for (auto _ : state) {
    if (pWidget == nullptr) break;
    round.begin();
    const int iDispatches = round.dispatches();
    for (int i = everySecond.leavesOut() ? iDispatches : 0; i < iDispatches; i += iStride) {
      pWidget->callEvent(KvStrHash(names[static_cast<size_t>(round.event(i))].c_str()));
    }
    round.end();
  }
  ClUI::terminate();
  KvTestSetUIHooks(nullptr);
  if (pWidget == nullptr) {
    state.SkipWithError(("the dispatch widget did not load: " + error).c_str());
  } else if (const std::string problem = checkTraces(state, round.traces()); !problem.empty()) {
    state.SkipWithError(problem.c_str());
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
  for (int i = 0; i <= gc_iEVENTS; ++i) {
    std::vector<WidgetEventProcedure>& resolved = events[eventName(i % gc_iEVENTS)];
    if (i < gc_iEVENTS) {
      for (int iCall : eventProcedures(i)) resolved.push_back(procedures.at(procedureName(iCall)));
    }
    names.push_back(eventName(i % gc_iEVENTS));
  }
  if (benchSkips("EventDispatch.baseline.calls")) {
    for (auto& event : events) event.second.resize(1);
  }
  const int iStride = benchSkips("EventDispatch.baseline.events") ? 2 : 1;
  CBenchEverySecond everySecond(state, "EventDispatch.baseline.everysecond");
  const auto dispatch = [&events, &names](int iEvent) {
    const auto event = events.find(names[static_cast<size_t>(iEvent)]);
    if (event == events.end()) return;
    for (WidgetEventProcedure pProcedure : event->second) pProcedure(nullptr, nullptr);
  };
  g_uiProcedureTrace = gc_uiTRACE_START;
  for (int i = 0; i < gc_iDISPATCHES; ++i) dispatch(dispatchedEvent(0, i));
  CDispatchRound round(state, "EventDispatch.baseline", g_uiProcedureTrace);
  for (auto _ : state) {
    round.begin();
    const int iDispatches = round.dispatches();
    for (int i = everySecond.leavesOut() ? iDispatches : 0; i < iDispatches; i += iStride) dispatch(round.event(i));
    round.end();
  }
  if (const std::string problem = checkTraces(state, round.traces()); !problem.empty()) {
    state.SkipWithError(problem.c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * gc_iDISPATCHES);
}
BENCHMARK(BM_Baseline_EventDispatch)->Unit(benchmark::kMillisecond);

// --- The main menu ---

// The layer ranges of the queue and their batches, written as the game's graphics hooks write them: the scene's 2D
// layers (where the menus' widgets are), the UI's and the pointer's.
struct SMenuLayerRange {
  u32 uiBatchMask;
  u16 uFirst;
  u16 uLast;
};
const SMenuLayerRange gc_aMENU_LAYER_RANGES[] = {{gc_uiDYNGEO_FLAG_2D, 0, 2600},
                                                 {gc_uiDYNGEO_FLAG_UI, 2600, 2800},
                                                 {gc_uiDYNGEO_FLAG_UI, gc_uiPOINTER_LAYER, gc_uiPOINTER_LAYER}};

// The frames a repetition of the main menu's pair runs, on one start of the game (a start takes seconds: a fixed
// count spares the runner's trial runs their own starts).
constexpr i32 gc_iMENU_FRAMES = 5000;

f64 threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<f64>(now.tv_sec) + static_cast<f64>(now.tv_nsec) * 1e-9;
}

// The game started in a fresh data root on the build's archives, on its main menu with the fades over; shut down
// when it goes.
class CMainMenuRun {
 public:
  bool start(std::string* pError) {
    const std::string dir = KvTestTempDir("UIBenchMainMenu");
    if (!KvTestCopyGameArchives(KV_DATA_DIR, dir + "/Data", pError)) return false;
    // Offscreen: no desktop pointer over the window (a pointer shown while the load mode runs asks for its image
    // before the load has queued it).
    const char* pDriver = std::getenv("SDL_VIDEODRIVER");
    m_previousDriver = pDriver != nullptr ? pDriver : "";
    m_bDriverSet = true;
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // A 960 x 540 desktop mode, which the game picks for its window (it fits any virtual X server's screen).
    SInProcessGameStart how;
    how.dataRoot = dir + "/Data";
    how.storeDir = dir + "/store";
    how.settings = "SKIP_SPLASH 1\n";
    how.modes = {{D3DFMT_X8R8G8B8, {640, 480, 60, D3DFMT_X8R8G8B8}}, {D3DFMT_X8R8G8B8, {960, 540, 60, D3DFMT_X8R8G8B8}}};
    if (!m_game.start(how, pError)) return false;
    m_bStarted = true;
    // The profile's load ends on its own thread: frames until the front end runs.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (g_eCurrentGameMode != E_GAME_MODE_FRONTEND && std::chrono::steady_clock::now() < giveUp) {
      ClGame::tickFrame(0.016f);
    }
    if (g_eCurrentGameMode != E_GAME_MODE_FRONTEND || ClUI::getWidget("MainMenu") == nullptr) {
      *pError = "the game did not reach its front end (mode " + std::to_string(g_eCurrentGameMode) + ")";
      return false;
    }
    // The title comes in, a start press would switch to the main menu; then its fades run out.
    ClWidget* pTop = ClUI::getWidget("TopLevelSwitcher");
    ClWidget* pTitle = ClUI::getWidget("TitleScreen");
    ClWidget* pMenu = ClUI::getWidget("MainMenu");
    for (int i = 0; i < 300 && pTop->getActiveSwitchedChild() != pTitle; ++i) ClGame::tickFrame(0.016f);
    ClUI::switchTo("TopLevelSwitcher", "MainMenu");
    for (int i = 0; i < 300 && pTop->getActiveSwitchedChild() != pMenu; ++i) ClGame::tickFrame(0.016f);
    for (int i = 0; i < 60; ++i) ClGame::tickFrame(0.016f);
    if (pTop->getActiveSwitchedChild() != pMenu) {
      *pError = "the main menu did not come in";
      return false;
    }
    return true;
  }
  ~CMainMenuRun() {
    if (m_bStarted) {
      ClDynamicGeometry::unlockBuffers();
      Cl2d::clearSprites();
    }
    m_game.stop();
    restoreDriver();
  }

 private:
  void restoreDriver() {
    if (!m_bDriverSet) {
      return;
    }
    if (m_previousDriver.empty()) {
      unsetenv("SDL_VIDEODRIVER");
    } else {
      setenv("SDL_VIDEODRIVER", m_previousDriver.c_str(), 1);
    }
  }
  CInProcessGame m_game;
  std::string m_previousDriver;
  bool m_bDriverSet = false;
  bool m_bStarted = false;
};

void writeMenuLayers() {
  for (const SMenuLayerRange& range : gc_aMENU_LAYER_RANGES) {
    Cl2d::renderSprites(range.uiBatchMask, range.uFirst, range.uLast, 0.0f);
  }
}

// The quads the queue holds now, range by range in drawing order.
struct SMenuQuad {
  f32 fLeft, fTop, fRight, fBottom, fU0, fV0, fU1, fV1;
  u32 uiColor;
  const SRenderSignature* pSignature;
  f32 fDepth;
  u32 uiBatchMask;
  i32 iColorSlack = 0;  // how far each channel of the written colour may be from uiColor
};
std::vector<SMenuQuad> queuedMenuQuads() {
  std::vector<SMenuQuad> quads;
  const S2dSpriteQueue& queue = Cl2d::mp_spriteQueue;
  for (const SMenuLayerRange& range : gc_aMENU_LAYER_RANGES) {
    for (u16 uOrder = 0; uOrder < queue.mp_uCount; ++uOrder) {
      const u16 i = queue.mp_bSorted ? queue.mp_auSortedIndex[uOrder] : uOrder;
      const u16 uLayer = queue.mp_auLayer[i];
      if (uLayer < range.uFirst || uLayer > range.uLast) continue;
      const f32 fLeft = queue.mp_afX[i] - 0.5f;
      const f32 fTop = queue.mp_afY[i] - 0.5f;
      quads.push_back({fLeft, fTop, fLeft + queue.mp_afWidth[i], fTop + queue.mp_afHeight[i], queue.mp_afLeftU[i],
                       queue.mp_afTopV[i], queue.mp_afRightU[i], queue.mp_afBottomV[i], queue.mp_auiColor[i],
                       queue.mp_apSignature[i], -static_cast<f32>(uLayer), range.uiBatchMask});
    }
  }
  return quads;
}

// The menu's quads, as the engine's frame makes them; empty (with the reason) when the menu did not come in.
std::vector<SMenuQuad> menuQuads(CMainMenuRun* pRun, std::string* pError) {
  if (!pRun->start(pError)) return {};
  Cl2d::clearSprites();
  ClUI::render();
  Cl2d::sortSprites();
  std::vector<SMenuQuad> quads = queuedMenuQuads();
  Cl2d::clearSprites();
  if (quads.empty()) *pError = "the main menu drew nothing";
  return quads;
}

// Whether two A8R8G8B8 colours are within iSlack of each other in every channel.
bool colorsMatch(u32 uiA, u32 uiB, i32 iSlack) {
  for (int iShift = 0; iShift < 32; iShift += 8) {
    if (std::abs(static_cast<i32>((uiA >> iShift) & 0xFF) - static_cast<i32>((uiB >> iShift) & 0xFF)) > iSlack) {
      return false;
    }
  }
  return true;
}

// An empty answer when the frame wrote the menu's quads: the queue's, in its drawing order, each with its rectangle
// (Direct3D 9's pixel centres), texture coordinates, colour, depth and signature; else the first difference.
std::string checkMenuQuads(const std::vector<SMenuQuad>& menu) {
  const std::vector<SWrittenQuad> written = writtenQuads();
  if (written.size() != menu.size()) {
    return "the frame wrote " + std::to_string(written.size()) + " quads, the menu has " + std::to_string(menu.size());
  }
  for (size_t i = 0; i < menu.size(); ++i) {
    const SMenuQuad& m = menu[i];
    const SWrittenQuad& w = written[i];
    if (w.fLeft != m.fLeft || w.fTop != m.fTop || w.fRight != m.fRight || w.fBottom != m.fBottom ||
        w.fU0 != std::min(m.fU0, m.fU1) || w.fU1 != std::max(m.fU0, m.fU1) || w.fV0 != std::min(m.fV0, m.fV1) ||
        w.fV1 != std::max(m.fV0, m.fV1) || !colorsMatch(w.uiColor, m.uiColor, m.iColorSlack) || w.fDepth != m.fDepth ||
        w.pSignature != m.pSignature) {
      char acError[256];
      std::snprintf(acError, sizeof(acError), "quad %zu is not the menu's: at (%g, %g), colour %08X, depth %g against "
                    "(%g, %g), %08X, %g", i, w.fLeft, w.fTop, w.uiColor, w.fDepth, m.fLeft, m.fTop, m.uiColor, m.fDepth);
      return acError;
    }
  }
  return std::string();
}

// Runs the frames on the calling thread's CPU time; after each one, untimed, what it wrote must be the quads quadsOf
// gives for that frame (0 for the first; asked before the frame), checkMenuQuads. frame(quads, iFrame) runs it.
template <typename FQuads, typename FFrame>
void runMenuFrames(benchmark::State& state, FQuads quadsOf, FFrame frame) {
  i32 iFrame = 0;
  size_t uiQuads = 0;
  for (auto _ : state) {
    ClDynamicGeometry::unlockBuffers();
    ClDynamicGeometry::beginFrame();
    const std::vector<SMenuQuad>& quads = quadsOf(iFrame);
    const f64 dStart = threadSeconds();
    frame(quads, iFrame);
    state.SetIterationTime(threadSeconds() - dStart);
    const std::string error = checkMenuQuads(quads);
    if (!error.empty()) {
      state.SkipWithError(("frame " + std::to_string(iFrame + 1) + ": " + error).c_str());
      return;
    }
    uiQuads = quads.size();
    ++iFrame;
  }
  state.counters["quads"] = static_cast<double>(uiQuads);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * uiQuads));
}

// Writes the first uiCount of the quads straight into dynamic geometry (with their element records when
// bElements), as the floor does.
void writeQuads(const std::vector<SMenuQuad>& quads, size_t uiCount, bool bElements) {
  for (size_t i = 0; i < uiCount; ++i) {
    const SMenuQuad& q = quads[i];
    SDynamicGeometryAlloc alloc;
    ClDynamicGeometry::reserve(1, 4, 6, &alloc);
    const auto vertex = [&q](f32 fX, f32 fY, f32 fU, f32 fV) {
      return SDynamicGeometryVertex{fX, fY, 0.0f, q.uiColor, 0.0f, 0.0f, 0.0f, fU, fV};
    };
    alloc.mp_pVerts[0] = vertex(q.fLeft, q.fTop, q.fU0, q.fV0);
    alloc.mp_pVerts[1] = vertex(q.fRight, q.fTop, q.fU1, q.fV0);
    alloc.mp_pVerts[2] = vertex(q.fLeft, q.fBottom, q.fU0, q.fV1);
    alloc.mp_pVerts[3] = vertex(q.fRight, q.fBottom, q.fU1, q.fV1);
    ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes, alloc.mp_uiFirstVertex, true);
    if (bElements) {
      ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, 6, q.uiBatchMask, q.pSignature, q.fDepth, 0);
    }
  }
}

// The logo's fade: its colours at the start and the end, and the colour a fraction of the way, a channel at a time.
constexpr u32 gc_uiFADE_FROM = 0xFF204080u;
constexpr u32 gc_uiFADE_TO = 0x40E0C000u;
u32 fadeColor(u32 uiFrom, u32 uiTo, f64 dWay) {
  u32 uiColor = 0;
  for (int iShift = 0; iShift < 32; iShift += 8) {
    const f64 dFrom = static_cast<f64>((uiFrom >> iShift) & 0xFF);
    const f64 dTo = static_cast<f64>((uiTo >> iShift) & 0xFF);
    uiColor |= static_cast<u32>(std::lround(dFrom + (dTo - dFrom) * dWay)) << iShift;
  }
  return uiColor;
}

// The logo's fade, linear over a number of the UI's updates and started again after as many frames, and the quads
// each frame of it must write: the menu's, the logo's in the colour the frame's updates have brought it to (within
// one level a channel).
class CLogoFade {
 public:
  // Starts the fade over iUpdates updates; false (with the reason) when the logo does not show it.
  bool start(const std::vector<SMenuQuad>& menu, i32 iUpdates, std::string* pError) {
    m_pLogo = ClUI::getWidget("MainMenuLogo");
    const f32 fDT = ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;
    if (m_pLogo == nullptr || !(fDT > 0.0f)) {
      *pError = "the menu has no logo, or the UI's clock stands still";
      return false;
    }
    m_fade.mp_iKind = gc_iANIM_PLAY_ONCE;
    m_fade.mp_iMethod = gc_iANIM_EASE_LINEAR;
    m_fade.mp_uiStartColor = gc_uiFADE_FROM;
    m_fade.mp_uiEndColor = gc_uiFADE_TO;
    m_fade.mp_fDuration = static_cast<f32>(iUpdates) * fDT;
    m_pLogo->mp_aColorAnimators[0].play(m_fade);
    m_iUpdates = iUpdates;
    Cl2d::clearSprites();
    ClUI::render();
    Cl2d::sortSprites();
    m_quads = queuedMenuQuads();
    Cl2d::clearSprites();
    for (size_t i = 0; i < m_quads.size() && m_quads.size() == menu.size(); ++i) {
      if (m_quads[i].uiColor == gc_uiFADE_FROM && menu[i].uiColor != gc_uiFADE_FROM) {
        m_quads[i].iColorSlack = 1;
        m_logo.push_back(i);
      }
    }
    if (m_logo.empty()) *pError = "the logo's fade did not show in the menu's quads";
    return !m_logo.empty();
  }
  // The quads of frame iFrame (0 for the first), whose updates of the fade's round are iFrame % its length + 1.
  const std::vector<SMenuQuad>& at(i32 iFrame) {
    const u32 uiColor =
        fadeColor(gc_uiFADE_FROM, gc_uiFADE_TO, static_cast<f64>(iFrame % m_iUpdates + 1) / m_iUpdates);
    for (size_t i : m_logo) m_quads[i].uiColor = uiColor;
    return m_quads;
  }
  // Before frame iFrame: the fade starts again where a round of it begins (not before the first, started already).
  void restart(i32 iFrame) {
    if (iFrame > 0 && iFrame % m_iUpdates == 0) m_pLogo->mp_aColorAnimators[0].play(m_fade);
  }

 private:
  ClWidget* m_pLogo = nullptr;
  SAnimatorParams m_fade{};
  std::vector<SMenuQuad> m_quads;
  std::vector<size_t> m_logo;
  i32 m_iUpdates = 1;
};

// The fade's length in updates: three levels and more a channel an update, so that one update left out shows.
constexpr i32 gc_iFADE_UPDATES = 60;

// The menu's frame through the UI. "MainMenuFrameOverQuadWrite.engine.update" leaves out the UI's update,
// ".engine.oneupdate" that of the middle frame, ".engine.sort" the queue's sort, ".engine.everysecond" the UI's
// render in every second frame.
void BM_Engine_MainMenuFrameOverQuadWrite(benchmark::State& state) {
  CMainMenuRun run;
  std::string error;
  const std::vector<SMenuQuad> menu = menuQuads(&run, &error);
  CLogoFade fade;
  if (menu.empty() || !fade.start(menu, gc_iFADE_UPDATES, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const bool bUpdate = !benchSkips("MainMenuFrameOverQuadWrite.engine.update");
  const bool bMiddleUpdate = !benchSkips("MainMenuFrameOverQuadWrite.engine.oneupdate");
  const bool bSort = !benchSkips("MainMenuFrameOverQuadWrite.engine.sort");
  CBenchEverySecond everySecond(state, "MainMenuFrameOverQuadWrite.engine.everysecond");
  const CBenchCheat cheat("MainMenuFrameOverQuadWrite.engine");
  const i64 iFrames = state.max_iterations;
  runMenuFrames(
      state,
      [&fade](i32 iFrame) -> const std::vector<SMenuQuad>& {
        fade.restart(iFrame);
        return fade.at(iFrame);
      },
      [&](const std::vector<SMenuQuad>&, i32 iFrame) {
        if (cheat.replays()) {
          writeQuads(menu, menu.size(), true);
          return;
        }
        if (!cheat.repeats(iFrame)) {
          if (bUpdate && (bMiddleUpdate || iFrame != iFrames / 2)) ClUI::update();
          if (!everySecond.leavesOut()) ClUI::render();
          if (cheat.partial() && Cl2d::mp_spriteQueue.mp_uCount > 0) --Cl2d::mp_spriteQueue.mp_uCount;
          if (cheat.changes(iFrame, iFrames)) Cl2d::mp_spriteQueue.mp_auiColor[0] ^= 0x00800000u;
          if (bSort) Cl2d::sortSprites();
        }
        writeMenuLayers();
        // A frame that gives this one's quads again finds them in the queue.
        if (!cheat.repeats(iFrame + 1)) Cl2d::clearSprites();
      });
  Cl2d::clearSprites();
}
BENCHMARK(BM_Engine_MainMenuFrameOverQuadWrite)->UseManualTime()->Iterations(gc_iMENU_FRAMES)->Unit(benchmark::kMicrosecond);

// The floor: each frame's finished quads (the menu's, its logo in the frame's colour) written straight into dynamic
// geometry; "MainMenuFrameOverQuadWrite.baseline.elements" leaves out their element records,
// ".baseline.everysecond" the last quad of every second frame.
void BM_Baseline_MainMenuFrameOverQuadWrite(benchmark::State& state) {
  CMainMenuRun run;
  std::string error;
  const std::vector<SMenuQuad> menu = menuQuads(&run, &error);
  CLogoFade fade;
  if (menu.empty() || !fade.start(menu, gc_iFADE_UPDATES, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const bool bElements = !benchSkips("MainMenuFrameOverQuadWrite.baseline.elements");
  CBenchEverySecond everySecond(state, "MainMenuFrameOverQuadWrite.baseline.everysecond");
  const CBenchCheat cheat("MainMenuFrameOverQuadWrite.baseline");
  const i64 iFrames = state.max_iterations;
  std::vector<SMenuQuad> last;
  runMenuFrames(
      state, [&fade](i32 iFrame) -> const std::vector<SMenuQuad>& { return fade.at(iFrame); },
      [&](const std::vector<SMenuQuad>& quads, i32 iFrame) {
        const std::vector<SMenuQuad>& written = cheat.replays() ? menu : (cheat.repeats(iFrame) ? last : quads);
        size_t uiWritten = everySecond.leavesOut() ? written.size() - 1 : written.size();
        if (cheat.partial()) uiWritten = written.size() - 1;
        if (cheat.changes(iFrame, iFrames)) {
          std::vector<SMenuQuad> changed = written;
          changed[0].uiColor ^= 0x00800000u;
          writeQuads(changed, uiWritten, bElements);
        } else {
          writeQuads(written, uiWritten, bElements);
        }
        if (cheat.any()) last = quads;
      });
}
BENCHMARK(BM_Baseline_MainMenuFrameOverQuadWrite)->UseManualTime()->Iterations(gc_iMENU_FRAMES)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

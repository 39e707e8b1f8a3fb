// Fuzzes the UI data loader (".kui") with arbitrary file images: every image is either refused with a
// message or gives widget trees that can be ticked, rendered, read property by property and whose events
// can be fired and their parameters read, and that the UI frees again. Any stop of the program is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClUI.h"
#include "Fuzz/FuzzMaxLen.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

uint64_t g_uiSink = 0;

// Reads every parameter of the call by its type, as procedures do.
void readParameters(ClWidget*, WidgetEventProcedureCall* pData) {
  if (pData == nullptr) {
    return;
  }
  for (int32_t i = 0; i < pData->mp_iNumberWidgetEventProcedureCallDatas; ++i) {
    switch (pData->mp_ppWidgetEventProcedureCallDatas[i]->mp_eType) {
      case E_ESCP_TYPE_INT:
        g_uiSink += static_cast<uint32_t>(getParamInt(pData, i));
        break;
      case E_ESCP_TYPE_FLOAT:
        g_uiSink += getParamFloat(pData, i) > 0.0f;
        break;
      case E_ESCP_TYPE_ID:
        g_uiSink += getParamID(pData, i);
        break;
      default:
        g_uiSink += i == 0 ? std::strlen(getParamString(pData)) : 1;
        break;
    }
  }
}

// Reads each property the way the accessors of its type do, and fires the events.
void readWidget(ClWidget* pWidget) {
  for (int32_t iSlot = 0; iSlot < pWidget->mp_Properties.getCapacity(); ++iSlot) {
    const WidgetProperty* pProp = reinterpret_cast<const WidgetProperty*>(pWidget->mp_Properties.getValueAt(iSlot));
    const uint32_t uiName = pWidget->mp_Properties.getKeyAt(iSlot);
    if (pProp == nullptr) {
      continue;
    }
    switch (pProp->mp_eType) {
      case E_BASE_TYPE_ASCII_STRING:
        g_uiSink += std::strlen(static_cast<const char*>(pProp->mp_pData));
        break;
      case E_BASE_TYPE_LAYOUT:
        g_uiSink += static_cast<const uint8_t*>(pProp->mp_pData)[gc_iLAYOUT_SIZE - 1];
        break;
      case E_BASE_TYPE_EVENTCALLBACK:
        pWidget->callEvent(uiName);
        break;
      default:
        g_uiSink += static_cast<const uint32_t*>(pProp->mp_pData)[0] + static_cast<const uint32_t*>(pProp->mp_pData)[1];
        break;
    }
  }
}

}  // namespace

// Screen sets of up to 1 MiB: room for a thousand widgets with their properties.
constexpr std::size_t gc_uiMAX_INPUT = 1u << 20;
KV_FUZZ_MAX_LEN(gc_uiMAX_INPUT)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  KvTestUIHooks().m_register = [] {
    ClUIEventSystemFunctions::registerFunction(KvStrHash("fuzzRead"), &readParameters);
  };
  ClUI::initialise();
  if (uiSize <= UINT32_MAX &&
      ClUI::loadUIDataFromImage("fuzz", pData, static_cast<uint32_t>(uiSize))) {
    ClWidget* pRoot = ClUI::getUIDataEntry(0)->mp_pRootWidget;
    pRoot->setVisibleRecursively(1);
    pRoot->tick();
    pRoot->render();
    ClUI::mp_MasterWidgetList.forEachValue(
        [](uintptr_t uiValue, int32_t) { readWidget(reinterpret_cast<ClWidget*>(uiValue)); });
  }
  ClUI::terminate();
  // Keeps the reads.
  asm volatile("" : : "r"(g_uiSink));
  return 0;
}

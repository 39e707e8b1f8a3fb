#include "Corvane/UI/ClUIEventSystemFunctions.h"

#include "Corvane/System/KvDebug.h"

ClVarArray<UIEventFunctionEntry, gc_iMAX_EVENT_PROCEDURES> ClUIEventSystemFunctions::mp_entries;
ClDynamicHashTable ClUIEventSystemFunctions::mp_table;
u32 ClUIEventSystemFunctions::mp_uiVersion = 1;

void ClUIEventSystemFunctions::createTable() { mp_table.initialize(gc_iMAX_EVENT_PROCEDURES); }

u32 ClUIEventSystemFunctions::addEntry(u32 uiNameHash, WidgetEventProcedure pfnFunction) {
  return mp_entries.append({uiNameHash, pfnFunction});
}

void ClUIEventSystemFunctions::registerFunction(u32 uiNameHash, WidgetEventProcedure pfnFunction) {
  WidgetEventProcedure callback = pfnFunction;
  KV_ASSERT(callback);
  KV_ASSERT_MSG(mp_entries.getSize() < static_cast<u32>(gc_iMAX_EVENT_PROCEDURES),
                "ClUIEventSystemFunctions::registerFunction() -> more than 1024 procedures registered!");
  KV_ASSERT_MSG(mp_table.find(uiNameHash) == 0, "Dynamic Hash Table COLLISION/DUPLICATE KEY!");
  addEntry(uiNameHash, callback);
  mp_table.insert(uiNameHash, reinterpret_cast<uintptr_t>(callback));
  ++mp_uiVersion;
}

void ClUIEventSystemFunctions::terminate() {
  mp_table.terminate();
  mp_entries.terminate();
  ++mp_uiVersion;
}

namespace {

const WidgetEventProcedureCallData* param(const WidgetEventProcedureCall* pData, i32 iIndex, E_ESCP_TYPE eType) {
  KV_ASSERT(pData);
  KV_ASSERT(iIndex >= 0 && iIndex < pData->mp_iNumberWidgetEventProcedureCallDatas);
  const WidgetEventProcedureCallData* pParam = pData->mp_ppWidgetEventProcedureCallDatas[iIndex];
  switch (eType) {
    case E_ESCP_TYPE_INT:
      KV_ASSERT(pParam->mp_eType == E_ESCP_TYPE_INT);
      break;
    case E_ESCP_TYPE_FLOAT:
      KV_ASSERT(pParam->mp_eType == E_ESCP_TYPE_FLOAT);
      break;
    case E_ESCP_TYPE_STRING:
      KV_ASSERT(pParam->mp_eType == E_ESCP_TYPE_STRING);
      break;
    default:
      KV_ASSERT(pParam->mp_eType == E_ESCP_TYPE_ID);
      break;
  }
  return pParam;
}

}  // namespace

i32 getParamInt(const WidgetEventProcedureCall* pData, i32 iIndex) {
  return param(pData, iIndex, E_ESCP_TYPE_INT)->mp_iValue;
}

f32 getParamFloat(const WidgetEventProcedureCall* pData, i32 iIndex) {
  return param(pData, iIndex, E_ESCP_TYPE_FLOAT)->mp_fValue;
}

u32 getParamID(const WidgetEventProcedureCall* pData, i32 iIndex) {
  return param(pData, iIndex, E_ESCP_TYPE_ID)->mp_uiID;
}

const char* getParamString(const WidgetEventProcedureCall* pData) {
  KV_ASSERT(pData);
  KV_ASSERT(pData->mp_iNumberWidgetEventProcedureCallDatas >= 1);
  return param(pData, 0, E_ESCP_TYPE_STRING)->mp_acString;
}

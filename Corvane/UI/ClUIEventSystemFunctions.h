// Event procedures: the registry of named procedures and the records through which UI data calls them.
//
// A widget's event (its "onClick", "onTick", ...) is an E_BASE_TYPE_EVENTCALLBACK property whose value is an
// SWidgetEventCallback: an optional single procedure and a list of calls, each naming a procedure by name hash
// and giving it typed parameters. Firing the event (ClWidget::callEvent) runs the single procedure with no
// call record, then each call with its record, in data order; names that nothing registered are skipped.
//
// The records below are also the in-memory form of the UI data file's records (KvUIDataFile.h): a pointer
// slot of the file is 8 bytes, and the loader stores a pointer into it. Procedures receive the records as
// they lie in the loaded data and must treat them as read-only.
//
// The registry is filled once at UI start-up (ClUI::initialise creates its table, then the registration
// functions call registerFunction) and released by ClUI::terminate. It holds at most
// gc_iMAX_EVENT_PROCEDURES procedures, in registration order; its table maps each name hash straight to the
// procedure, so a lookup is one probe with no further load. A null procedure, a name registered twice and a
// 1025th procedure are assertions. Main thread only.
#pragma once

#include <cstddef>

#include "Corvane/ADT/ClDynamicHashTable.h"
#include "Corvane/ADT/ClVarArray.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/System/KvTypes.h"

class ClWidget;

static_assert(sizeof(void*) == 8, "pointer slots of the UI data hold 64-bit pointers");

enum E_ESCP_TYPE : i32 {
  E_ESCP_TYPE_INT = 0,
  E_ESCP_TYPE_FLOAT = 1,
  E_ESCP_TYPE_STRING = 2,
  E_ESCP_TYPE_ID = 3,
  NUM_E_ESCP_TYPE = 4
};

// One typed parameter: the type word, then the value (a string's characters continue in place past the
// four bytes named here, up to their terminator).
struct WidgetEventProcedureCallData {
  i32 mp_eType;  // E_ESCP_TYPE
  union {
    i32 mp_iValue;
    f32 mp_fValue;
    u32 mp_uiID;  // a name hash
    char mp_acString[4];
  };
};
static_assert(sizeof(WidgetEventProcedureCallData) == 8);
static_assert(offsetof(WidgetEventProcedureCallData, mp_iValue) == 4);

// One call of a procedure with its parameters.
struct WidgetEventProcedureCall {
  WidgetEventProcedureCallData** mp_ppWidgetEventProcedureCallDatas;
  i32 mp_iNumberWidgetEventProcedureCallDatas;
  u32 mp_uiProcedureNameHash;
};
static_assert(sizeof(WidgetEventProcedureCall) == 16);
static_assert(offsetof(WidgetEventProcedureCall, mp_iNumberWidgetEventProcedureCallDatas) == 8);
static_assert(offsetof(WidgetEventProcedureCall, mp_uiProcedureNameHash) == 12);

// The value of an EVENTCALLBACK property.
struct SWidgetEventCallback {
  WidgetEventProcedureCall** mp_ppCalls;
  i32 mp_iNumberCalls;
  u32 mp_uiUnused;
  u32 mp_uiSingleProcedureNameHash;  // 0: none
  u32 mp_uiUnused2;
};
static_assert(sizeof(SWidgetEventCallback) == 24);
static_assert(offsetof(SWidgetEventCallback, mp_iNumberCalls) == 8);
static_assert(offsetof(SWidgetEventCallback, mp_uiSingleProcedureNameHash) == 16);

// pData is null when the procedure runs as an event's single procedure.
typedef void (*WidgetEventProcedure)(ClWidget* pThis, WidgetEventProcedureCall* pData);

struct UIEventFunctionEntry {
  u32 mp_uiNameHash;
  WidgetEventProcedure mp_pfnFunction;
};

inline constexpr i32 gc_iMAX_EVENT_PROCEDURES = 1024;

class ClUIEventSystemFunctions {
 public:
  // Creates the empty name table (1024 slots). ClUI::initialise calls it before the registration functions.
  static void createTable();
  // Registers a procedure under a name hash (assertions "callback", duplicate name, more than 1024).
  static void registerFunction(u32 uiNameHash, WidgetEventProcedure pfnFunction);
  // Registers a group's procedures by name, in the table's order.
  struct SNamedProcedure {
    const char* mp_pName;
    WidgetEventProcedure mp_pfnFunction;
  };
  template <u32 N>
  static void registerFunctions(const SNamedProcedure (&aProcedures)[N]) {
    for (const SNamedProcedure& procedure : aProcedures) {
      registerFunction(KvStrHash(procedure.mp_pName), procedure.mp_pfnFunction);
    }
  }
  // Appends a row and answers the new number of rows.
  static u32 addEntry(u32 uiNameHash, WidgetEventProcedure pfnFunction);
  // The procedure registered under the hash, or null: one probe of the table.
  static WidgetEventProcedure findFunction(u32 uiNameHash) {
    return reinterpret_cast<WidgetEventProcedure>(mp_table.find(uiNameHash));
  }
  static u32 getCount() { return mp_entries.getSize(); }
  // Changes whenever a procedure is registered or the registry ends: procedures found before are looked up again.
  static u32 getVersion() { return mp_uiVersion; }
  // Frees the table and the rows; the registry may be created again.
  static void terminate();

  static ClVarArray<UIEventFunctionEntry, gc_iMAX_EVENT_PROCEDURES> mp_entries;
  static ClDynamicHashTable mp_table;  // name hash -> the row's procedure
  static u32 mp_uiVersion;
};

// Parameters of a call record. Each asserts "pData", an index below the count and the parameter's type.
i32 getParamInt(const WidgetEventProcedureCall* pData, i32 iIndex);
f32 getParamFloat(const WidgetEventProcedureCall* pData, i32 iIndex);
u32 getParamID(const WidgetEventProcedureCall* pData, i32 iIndex);
// The characters of parameter 0, which must be a STRING.
const char* getParamString(const WidgetEventProcedureCall* pData);

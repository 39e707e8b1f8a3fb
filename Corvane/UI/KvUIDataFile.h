// The UI data file (".kui"): one screen set, a tree of raw widget instances with their typed properties and
// the event-procedure calls of their EVENTCALLBACK properties. Written by the UI-screen compiler (Tools/kuic),
// read whole by ClUI's loader, which keeps the block for as long as the UI runs: widgets read and write their
// data properties in place.
//
// Little-endian; every offset counts bytes from the start of the file. A pointer slot is 8 bytes: a u32
// offset and 4 bytes the loader ignores; the loader overwrites the whole slot with a pointer. An offset array
// is a packed array of u32 offsets, found through a pointer slot; the loader leaves it alone and makes a new
// array of pointers in its place.
//
// | record                        | size | fields (offset: field)                                              |
// |-------------------------------|------|---------------------------------------------------------------------|
// | header (at 0)                 | 20   | 0 slot: widget table (offset array, one entry per raw instance);    |
// |                               |      | 8 slot: root instance; 16 i32 number of table entries               |
// | SRawWidgetInstance            | 72   | 0 slot: property array; 8 slot: child array (all children);         |
// |                               |      | 16 slot: switched-child array; 24 i32 property count; 28 u32        |
// |                               |      | instance ID (KvStrHash of the name); 32 i32 child count; 36 i32     |
// |                               |      | switched-child count; 40 char[32] name (byte 71 is made 0 on load)  |
// | SRawWidgetProperty            | 520  | 0 value area (512 bytes); 512 u32 type (E_BASE_TYPE); 516 u32 name  |
// |                               |      | hash                                                                |
// | event-callback value          | 20   | in a type-14 value area: 0 slot: call array; 8 i32 call count;      |
// |                               |      | 16 u32 single procedure's name hash (0: none)                       |
// | WidgetEventProcedureCall      | 16   | 0 slot: parameter array; 8 i32 parameter count; 12 u32 procedure    |
// | WidgetEventProcedureCallData  | 5+   | 0 u32 type (E_ESCP_TYPE); 4 i32, f32, u32 hash (8 bytes in all), or |
// |                               |      | characters to a zero byte in place (5 bytes for an empty text)      |
//
// Every switched child must also be among the instance's children (matched by instance ID). Types 0-4 and
// 6-14 are accepted in a file; type 5 (UTF-16 text) exists only at run time.
//
// What the loader demands of a file beyond the table above (KvValidateUIData), so that nothing it reads,
// relocates or later writes in place lies outside the block or overlaps another record:
// - header, instances, property records and call records start on 8-byte boundaries, offset arrays and
//   parameter records on 4-byte boundaries; counts are not negative; every record and array lies in the file;
// - the widget table lists every instance reachable from the root, and none twice; instance IDs and property
//   name hashes are non-zero, and the property names of one instance differ;
// - property types are 0-4 or 6-14; an ASCII text ends within its 256 bytes; a parameter's type is 0-3 and
//   a string parameter ends inside the file;
// - every record and every offset array belongs to one owner and overlaps no other (records are relocated
//   and written in place, and the arrays' counts then bound what the loader allocates); only parameter
//   records, which nothing writes, may be shared;
// - no widget lists one of its ancestors as a child (the tree is built by instance ID, and a link back up
//   would make the walks endless); the tree is at most gc_iMAX_UI_TREE_DEPTH deep and its walk (a shared
//   child counts once per parent) visits at most gc_iMAX_UI_TREE_VISITS widgets.
#pragma once

#include <cstddef>

#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/System/KvTypes.h"

struct SRawWidgetProperty;

struct SRawWidgetInstance {
  SRawWidgetProperty** mp_ppProperties;
  SRawWidgetInstance** mp_ppChildren;
  SRawWidgetInstance** mp_ppSwitchedChildren;
  i32 mp_iNumProperties;
  u32 mp_uiInstanceID;
  i32 mp_iNumChildren;
  i32 mp_iNumSwitchedChildren;
  char mp_acName[32];
};
static_assert(sizeof(SRawWidgetInstance) == 72);
static_assert(offsetof(SRawWidgetInstance, mp_iNumProperties) == 24);
static_assert(offsetof(SRawWidgetInstance, mp_uiInstanceID) == 28);
static_assert(offsetof(SRawWidgetInstance, mp_iNumSwitchedChildren) == 36);
static_assert(offsetof(SRawWidgetInstance, mp_acName) == 40);

inline constexpr i32 gc_iRAW_PROPERTY_VALUE_SIZE = 512;

struct SRawWidgetProperty {
  alignas(8) u8 mp_aucValue[gc_iRAW_PROPERTY_VALUE_SIZE];
  u32 mp_uiType;
  u32 mp_uiNameHash;
};
static_assert(sizeof(SRawWidgetProperty) == 520);
static_assert(offsetof(SRawWidgetProperty, mp_uiType) == 512);
static_assert(offsetof(SRawWidgetProperty, mp_uiNameHash) == 516);

struct SUIDataHeader {
  SRawWidgetInstance** mp_ppWidgetTable;
  SRawWidgetInstance* mp_pRoot;
  i32 mp_iNumWidgets;
};
static_assert(offsetof(SUIDataHeader, mp_pRoot) == 8);
static_assert(offsetof(SUIDataHeader, mp_iNumWidgets) == 16);
inline constexpr u32 gc_uiUI_DATA_HEADER_SIZE = 20;

inline constexpr i32 gc_iMAX_UI_TREE_DEPTH = 128;
inline constexpr i64 gc_iMAX_UI_TREE_VISITS = 1 << 20;
// Room for the one-line message of a refused file.
inline constexpr u32 gc_uiUI_DATA_ERROR_SIZE = 512;

// Whether an instance ID already names a widget of the UI (built from another file): such a child is linked,
// not built, so it takes no part in this file's tree walk.
typedef bool (*KvUIDataKnownID)(u32 uiInstanceID);

// Checks a file image (the bytes as read, before relocation) against the rules above. False with a one-line
// message naming pFileName and the fault in pError (at most uiErrorSize bytes, terminated) when it breaks one.
// The image is not changed.
bool KvValidateUIData(const u8* pImage, u32 uiSize, const char* pFileName, KvUIDataKnownID pfnKnownID,
                      char* pError, u32 uiErrorSize);

// The UI's one element class: every screen is a tree of ClWidget built from a UI data file (ClUI's loader),
// and the root widget of the UI manager holds the UI-wide values. A widget is a bag of typed properties keyed
// by name hash (KvStrHash, which folds case) plus the tree walk: its looks and behaviour live in the event
// procedures that its EVENTCALLBACK properties name (ClUIEventSystemFunctions.h).
//
// Properties come from the raw record of the data (their values stay in the loaded block and are read and
// written there in place) or are created at run time by the first setter that names them (owned by the
// widget, freed by destroy). Readers answer a default for a missing property unless they say otherwise; a
// setter whose property exists with another type is an assertion ("pProp->mp_eType == E_BASE_TYPE_...").
// An EVENTCALLBACK value is always borrowed: the widget never frees it.
//
// Switched children (a switcher shows one at a time) have a state: 0 inactive (neither ticked nor
// rendered), 1 active, 2 transitioning in, 3 transitioning out. switchTo brings a child in; the outgoing
// child's "onTransitionOut" procedures decide when its transition is done (mp_bTransitionDone), and the tick
// finishes a pending switch. Drawn children are always ticked and rendered.
//
// Clones (clone) are deep copies named "Clone#<n>", kept in the UI's master list and its list of clones;
// destroyChildren destroys the cloned children and only detaches the others.
//
// Times are seconds of the system clock (clock 0). Every check stops the program through the assertion or
// fatal-error path; events and procedures that do not exist are skipped. Main thread only.
#pragma once

#include <cstddef>
#include <cstring>

#include "Corvane/ADT/ClDynamicHashTable.h"
#include "Corvane/ADT/ClVarArray.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/Animation/ClColor.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/KvUIDataFile.h"

// The property types, with the names their assertions print. Types 9, 12 and 13 come from data and have no
// accessor.
#define KV_BASE_TYPES(X)  \
  X(INT, 0)               \
  X(FLOAT, 1)             \
  X(BOOL, 2)              \
  X(ID, 3)                \
  X(ASCII_STRING, 4)      \
  X(UNICODE_STRING, 5)    \
  X(COLOR, 6)             \
  X(LAYOUT, 7)            \
  X(PERCENTXY, 8)         \
  X(UNNAMED_9, 9)         \
  X(GRIDXY, 10)           \
  X(FLOATXY, 11)          \
  X(UNNAMED_12, 12)       \
  X(UNNAMED_13, 13)       \
  X(EVENTCALLBACK, 14)

enum E_BASE_TYPE : i32 {
#define KV_BASE_TYPE_ENUM(name, value) E_BASE_TYPE_##name = value,
  KV_BASE_TYPES(KV_BASE_TYPE_ENUM)
#undef KV_BASE_TYPE_ENUM
  NUM_E_BASE_TYPE
};

// Texts keep at most 255 characters (8-bit) or 255 UTF-16 units, and a terminator.
inline constexpr i32 gc_iMAX_UI_STRING_LEN = 256;
// A LAYOUT value: 18 words (3 screen anchor, 4 x offset, 5 y offset, 6 widget anchor).
inline constexpr i32 gc_iLAYOUT_WORDS = 18;
inline constexpr i32 gc_iLAYOUT_SIZE = gc_iLAYOUT_WORDS * 4;

// Pads in focus entries: 0-3 one logical pad, 4 any pad.
inline constexpr u32 gc_uiANY_PAD = 4;

// Which pad events reach a widget (mp_uiInputMask).
inline constexpr u32 gc_uiINPUT_CLICK = 1;
inline constexpr u32 gc_uiINPUT_BACK = 2;
inline constexpr u32 gc_uiINPUT_UP = 4;
inline constexpr u32 gc_uiINPUT_DOWN = 8;
inline constexpr u32 gc_uiINPUT_LEFT = 16;
inline constexpr u32 gc_uiINPUT_RIGHT = 32;

enum E_SWITCH_STATE : u32 {
  E_SWITCH_STATE_INACTIVE = 0,
  E_SWITCH_STATE_ACTIVE = 1,
  E_SWITCH_STATE_IN = 2,
  E_SWITCH_STATE_OUT = 3,
};

struct WidgetProperty {
  i32 mp_eType;  // E_BASE_TYPE
  void* mp_pData;
};

// A property name with its hash, made once (a procedure's constants, at start-up) so that readers that run every
// frame do not hash the name again; the name is kept for messages.
struct SWidgetPropertyName {
  explicit SWidgetPropertyName(const char* pName) : mp_pName(pName), mp_uiHash(KvStrHash(pName)) {}
  const char* mp_pName;
  u32 mp_uiHash;
};

class ClWidget;
struct STextLayoutCache;

struct SWidgetSwitchedChild {
  u32 mp_uiState;  // E_SWITCH_STATE
  ClWidget* mp_pChild;
};

// The focus grid of a grid widget: one zero-filled 16-byte-aligned block that the widget owns.
inline constexpr i32 gc_iWIDGET_GRID_SIZE = 32;
struct SWidgetGrid {
  ClWidget* mp_apCells[gc_iWIDGET_GRID_SIZE * gc_iWIDGET_GRID_SIZE];  // cell (x, y) at x * 32 + y
  u32 mp_uiWidth;
  u32 mp_uiHeight;
};

// What the UI frame reads by name every frame, kept with the widget so that a frame does not look it up again: the
// callbacks of "onTick" and "onRender" with their single procedures, and one render procedure's own record of values
// it derives from the properties (ClWidget::frameRecord). Every writer of a property bumps the widget's property
// version; a part of the cache is only used while it was made at the version the widget has now (the procedures
// also at the registry's version, ClUIEventSystemFunctions::getVersion), and is made again on the spot otherwise.
inline constexpr u32 gc_uiWIDGET_FRAME_RECORD_BYTES = 192;
enum E_WIDGET_FRAME_EVENT : u32 { E_WIDGET_FRAME_EVENT_TICK = 0, E_WIDGET_FRAME_EVENT_RENDER = 1 };
struct SWidgetFrameCache {
  u32 mp_uiEventsVersion;    // the property version the events were read at; 0: not read
  u32 mp_uiRegistryVersion;  // the registry's version the single procedures were found at
  const SWidgetEventCallback* mp_apEvents[2];  // by E_WIDGET_FRAME_EVENT; null when missing or no event
  WidgetEventProcedure mp_apfnSingle[2];       // their single procedures, null when none or not registered
  u32 mp_uiRecordVersion;      // the property version the record was made at; 0: none
  const void* mp_pRecordOwner;  // a tag of the procedure whose record it is
  alignas(16) u8 mp_aucRecord[gc_uiWIDGET_FRAME_RECORD_BYTES];
};

class ClWidget {
 public:
  ClWidget();
  // Asserts (leak) when the run-time properties or a child array still hold memory, and frees them.
  virtual ~ClWidget();
  // A widget owns memory (run-time properties, its text layout): it is cloned (clone), never copied.
  ClWidget(const ClWidget&) = delete;
  ClWidget& operator=(const ClWidget&) = delete;

  // Builds the property table from mp_pRawData (asserted) and sets the state of a data widget.
  virtual void initialiseFromRawData();
  // Back to a widget without data: empty property table, default masks, BOOL "transitionInDone",
  // "transitionOutDone" and "isVisible" 0.
  virtual void reset();
  // Fires "onDestroy", then frees the grid, the property containers and table, the run-time properties and
  // the child arrays. Children are not destroyed.
  virtual void destroy();
  // Loads every child first, then fires "onLoad".
  virtual void load();
  // Advances the animators, the switched children (finishing a pending switch) and the drawn children,
  // then fires "onTick".
  virtual void tick();
  // Visible widgets only: fires "onRender", then renders the switched children in states 1-3 and the drawn
  // children; pops a parent window and clears a clip rectangle that "onRender" set.
  virtual void render();

  // --- Tree ---
  bool isSwitchedChildByID(u32 uiInstanceNameHash) const;
  bool isSwitchedChild(const ClWidget* pWidget) const;
  // The first switched child in state 1, or null.
  ClWidget* getActiveSwitchedChild() const;
  // Whether a switched child other than the one of that instance ID is shown: active, or on its way in or out.
  bool showsSwitchedChildOtherThan(u32 uiInstanceNameHash) const;
  // Stores the flag when it changes and fires "onBecomeVisible" or "onBecomeInvisible".
  void setVisible(u32 bVisible);
  // setVisible on this widget and on every widget below it.
  void setVisibleRecursively(u32 bVisible);
  // Fires the event on the active switched children and on the drawn children (one level).
  void callEventOnChildren(const char* pEventName);
  void callTransitionInOnDrawnChildren();
  // False while a switched child is transitioning (asserts that there are switched children).
  bool areTransitionsCompleted() const;
  // False when an active switched child or a drawn child has not finished its transition.
  bool areChildrenTransitionsDone() const;

  // --- Switching ---
  // Brings a switched child in: the active child goes out; focus goes to the target (pad 4).
  void switchTo(ClWidget* pTarget);
  // The same without giving focus: a target whose transition is not done at once is marked
  // "doNotAutomaticallyFocus", so the tick does not focus it either.
  void switchToKeepFocus(ClWidget* pTarget);
  // To the switched child after / before the active one; nothing at the end / start.
  void switchToNext();
  void switchToPrev();
  // Focus (pad 4) to the active switched child; fatal "No selected child!" when none.
  void setFocusToSwitchedChild();

  // --- Copies and removal ---
  // A deep copy of this widget and its children, each named "Clone#<n>" and registered with the UI. The
  // argument is not used. A UNICODE_STRING or type-13 property cannot be copied (fatal).
  ClWidget* clone(ClWidget* pUnused = nullptr);
  // Detaches every child; cloned children are destroyed with their own children (and purged from the UI).
  void destroyChildren();
  // Makes the widget (a clone, typically) a drawn child of this one, ticked and rendered after the children it
  // already has; this widget becomes its parent. Ownership stays as it was: destroyChildren destroys a clone.
  void addDrawnChild(ClWidget* pChild);

  // --- Events ---
  // Fires an event: its single procedure (no call record), then its calls in order.
  void callEvent(u32 uiEventHash);
  // Fires an event on behalf of another widget; runSingle and runList choose the parts that run.
  void callEventFrom(u32 uiSourceHash, u32 uiEventHash, bool bRunSingle, bool bRunList);

  // --- Properties: readers (a missing property reads as stated) ---
  WidgetProperty* findProperty(u32 uiNameHash) const;
  i32 getInt(const char* pName) const;       // 0; the first word whatever the type
  u32 getID(const char* pName) const;        // 0; the first word whatever the type
  f32 getFloat(const char* pName) const;     // 0.0
  kv_vector2 getXY(const char* pName) const;  // (0, 0)
  void getGridXY(const char* pName, i32* pX, i32* pY) const;  // (-1, -1)
  bool hasString(const char* pName) const;   // present and not empty (the type is asserted)
  const char* getString(const char* pName) const;  // fatal when missing
  bool hasUnicodeString(const char* pName) const;
  const wchar16* getUnicodeString(const char* pName) const;  // fatal when missing
  const void* getLayout(const char* pName) const;            // 72 bytes; fatal when missing
  // The same readers by a name hashed once.
  i32 getInt(const SWidgetPropertyName& name) const;
  u32 getID(const SWidgetPropertyName& name) const;
  f32 getFloat(const SWidgetPropertyName& name) const;
  bool hasString(const SWidgetPropertyName& name) const;
  const char* getString(const SWidgetPropertyName& name) const;
  const void* getLayout(const SWidgetPropertyName& name) const;
  void getGridXY(const SWidgetPropertyName& name, i32* pX, i32* pY) const;
  bool hasAtlas() const;  // ID "atlas" present and non-zero
  // The property of that name; a missing one stops the program with "Widget [%s] does not specify [%s]
  // attribute ([0x%08X])!" (the widget's name, the property's name and its hash).
  WidgetProperty* requireProperty(const char* pName) const;
  WidgetProperty* requireProperty(const SWidgetPropertyName& name) const;

  // --- Properties: writers (create the property when missing, else overwrite it in place) ---
  void setInt(u32 uiNameHash, i32 iValue);
  void setFloat(u32 uiNameHash, f32 fValue);
  // setFloat for a countdown a tick procedure writes every frame and no frame record reads: an existing FLOAT is
  // overwritten in place without invalidating the frame cache (anything else goes through setFloat).
  void setCountdown(u32 uiNameHash, f32 fValue);
  void setBool(u32 uiNameHash, u32 bValue);
  void setID(u32 uiNameHash, u32 uiValue);
  void setColor(u32 uiNameHash, u32 uiColor);
  // Asserts a text shorter than 256 characters.
  void setString(u32 uiNameHash, const char* pValue);
  // Asserts a text shorter than 256 units; copies at most 255 units and a terminator.
  void setUnicodeString(u32 uiNameHash, const wchar16* pValue);
  void setLayout(u32 uiNameHash, const void* pLayout);
  void setPercentXY(u32 uiNameHash, const f32* pXY);
  void setPercentXYPair(u32 uiNameHash, f32 fX, f32 fY);
  void setGridXY(u32 uiNameHash, i32 iX, i32 iY);
  void setFloatXY(u32 uiNameHash, const f32* pXY);
  // Keeps the record by reference; the caller keeps it alive as long as the widget may fire the event.
  void setEventCallback(u32 uiNameHash, SWidgetEventCallback* pCallback);

  // --- Convenience writers ---
  void setLocalizedID(const char* pTextIDName);
  void setLocalizedIDFormatted(const char* pFormat, i32 iValue);
  void setLocalizedTextWithInt(const char* pTextIDName, i32 iValue);
  void setStageSelectLevelText(i32 iFirst, i32 iSecond);
  void setLocalizedTextWithString(const char* pTextIDName, const char* pArg);
  void setLocalizedTextWithUnicodeString(const char* pTextIDName, const wchar16* pArg);
  // Both colour animators show the colour at once; COLOR "textColor" and "textureColor" take it.
  void setTextAndTextureColor(u32 uiColor);

  // The name in messages: the data name, else a non-empty "dynamicText", else "CLONE/GLOBALDATA".
  const char* getName() const;

  // --- Frame cache (SWidgetFrameCache) ---
  // The record that the procedure tagged pOwner made while the properties were as they are now, else null.
  template <typename T>
  const T* frameRecord(const void* pOwner) const {
    static_assert(sizeof(T) <= gc_uiWIDGET_FRAME_RECORD_BYTES && alignof(T) <= 16, "the record fits the cache");
    const bool bTrue = mp_frameCache.mp_uiRecordVersion == mp_uiPropertyVersion && mp_frameCache.mp_pRecordOwner == pOwner;
    return bTrue ? reinterpret_cast<const T*>(mp_frameCache.mp_aucRecord) : nullptr;
  }
  // The same record for the procedure to keep what it works out from it (the record is zeroed with it).
  template <typename T>
  T* frameRecord(const void* pOwner) {
    return const_cast<T*>(static_cast<const ClWidget*>(this)->frameRecord<T>(pOwner));
  }
  // Stores the procedure's record, true for the properties as they are now.
  template <typename T>
  void setFrameRecord(const void* pOwner, const T& record) {
    static_assert(sizeof(T) <= gc_uiWIDGET_FRAME_RECORD_BYTES && alignof(T) <= 16, "the record fits the cache");
    std::memcpy(mp_frameCache.mp_aucRecord, &record, sizeof(T));
    mp_frameCache.mp_pRecordOwner = pOwner;
    mp_frameCache.mp_uiRecordVersion = mp_uiPropertyVersion;
  }
  // Every cached value is read again at its next use.
  void invalidateFrameCache();

  // --- State ---
  u32 mp_bInitialized;
  SRawWidgetInstance* mp_pRawData;  // null for clones and the root widget
  u32 mp_uiInstanceNameHash;
  ClWidget* mp_pParent;
  ClVarArray<ClWidget*, 2> mp_AllChildren;
  ClVarArray<SWidgetSwitchedChild, 2> mp_SwitchedChildren;
  ClVarArray<ClWidget*, 2> mp_DrawnChildren;
  SWidgetGrid* mp_pWidgetGrid;
  i32 mp_iGridX;
  i32 mp_iGridY;
  ClAnimator<ClColor> mp_aColorAnimators[2];
  ClAnimator<kv_vector2> mp_aVectorAnimators[2];
  u32 mp_bTransitioningOut;
  u32 mp_uiInputMask;
  u32 mp_uiSavedInputMask;
  u32 mp_bVisible;
  u32 mp_bTransitionDone;
  ClDynamicHashTable mp_Properties;
  WidgetProperty* mpr_pDefaultPropertyContainers;
  i32 mpr_iNumDefaultPropertyContainers;
  u32 mp_uiForwardSourceHash;
  u32 mp_uiCurrentEventHash;
  ClVarArray<WidgetProperty*, 8> mp_RuntimeProperties;
  u32 mp_uiSwitchTargetIndex;
  // Bumped by every property writer (never 0): the version the frame cache is checked against.
  u32 mp_uiPropertyVersion;
  SWidgetFrameCache mp_frameCache;
  // The laid-out text of the widget's text render (KvTextLayoutCache.h); made on first use, freed by destroy.
  STextLayoutCache* mp_pTextLayoutCache;

 private:
  // Fires one of the frame's events through the frame cache, as callEvent does.
  void callFrameEvent(E_WIDGET_FRAME_EVENT eEvent, u32 uiEventHash);
  void runEventCallback(const SWidgetEventCallback* pCallback, WidgetEventProcedure pfnSingle, bool bRunSingle,
                        bool bRunList);
  void propertiesChanged() {
    if (++mp_uiPropertyVersion == 0) {
      mp_uiPropertyVersion = 1;
    }
  }
  // The property under the hash when it has the type (asserted), or null; creates it (with a zeroed value
  // block of uiValueSize bytes) when bCreate is set.
  WidgetProperty* typedProperty(u32 uiNameHash, E_BASE_TYPE eType, u32 uiValueSize);
  void switchToImpl(ClWidget* pTarget, bool bFocus);
  void freeRuntimeProperties();
  void startTargetTransitionIn(u32 uiTargetIndex, bool bFocus);
};

// The assertion text of a property of the wrong type: "pProp->mp_eType == E_BASE_TYPE_<name>".
const char* KvWidgetTypeAssertText(E_BASE_TYPE eType);
// How many clone names ClWidget::clone has handed out ("Clone#0" onward); never reset.
i32 KvWidgetCloneCounter();

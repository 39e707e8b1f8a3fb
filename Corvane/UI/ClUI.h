// The UI manager: starts and ends the UI framework, loads the UI data files (screen sets) into widget trees,
// finds widgets by name, keeps which widget has the focus of which pad, switches screens through named
// switcher widgets and remembers the screens switched to, and queues deferred events.
//
// Everything is static (one UI) and runs on the main thread. Widgets live from their build until terminate;
// clones until ClWidget::destroyChildren of their parent, which also makes the UI forget them (focus,
// history, deferred events, the exclusive and forwarding lists, the pointer-exclusive slot, focus grids, the
// pointer detectors it owns and the scroll areas of it).
//
// Failures of programming are assertions or fatal errors (report and stop). A UI data file that cannot be
// trusted is refused instead: the load answers false with one line on stderr naming the file, and the UI
// keeps what it has (the file's record stays used, as after any failed load).
//
// The frame: each game mode calls update, then render, once per frame on the main thread. Update moves the
// pointer (ClPointerTracker), scrolls the drag-scrolled areas, turns the pads' newly pressed menu actions into
// events on the focused widgets, ticks every loaded tree and fires the deferred events that are due. A click of
// the pointer's button acts on the widget under the pointer or on nothing: it gives that widget the focus of the
// pad the mouse belongs to (hardware pad 0), so the accept press the click makes fires there; with no widget under
// the pointer that press fires nowhere. Times
// are seconds of the system clock (clock 0) or of the gameplay clock (clock 1, 0 while the game is paused).
//
// The game's registration of its procedures is reached through ClUIHooks (Corvane/UI/KvUIGameHooks.h).
#pragma once

class ClShader;
class ClTexture;
struct SAtlasEntry;
struct SRenderSignature;
struct STextLayoutCache;

#include "Corvane/ADT/ClDynamicHashTable.h"
#include "Corvane/ADT/ClDynamicPool.h"
#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/KvTypes.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIDataFile.h"
#include "Corvane/UI/KvUIGameHooks.h"

inline constexpr i32 gc_iMAX_UI_DATA_ENTRIES = 16;
inline constexpr i32 gc_iMAX_FOCUS_ENTRIES = 8;
inline constexpr i32 NUM_OF_WIDGETS_SWITCHED_IN_HISTORY = 8;
inline constexpr i32 gc_iMAX_DEFERRED_EVENTS = 16;
inline constexpr i32 gc_iMAX_EXCLUSIVE_WIDGETS = 254;
inline constexpr i32 gc_iNUM_UI_PADS = 4;

// --- UI textures ---
// A UI image comes in one version per asset height of the default canvas ("Images/UI/" + name + "_216" ...); a
// draw picks the version whose height is closest to the canvas's resolution height and scales it by the ratio.
inline constexpr i32 KV_MAX_VERSIONS_PER_UI_TEXTURE = 8;
// The layer of every ClUI::renderShaderQuad.
inline constexpr u16 gc_uUI_SHADER_QUAD_LAYER = 2700;

struct SUITextureVersion {
  ClTexture* mp_pTex;
  f32 mp_fHeight;  // the asset height it was made for
};

// One record per UI texture name, in ClUI::mp_UITextureTable by the name's hash.
struct alignas(16) SUITexture {
  ClTexture* mp_pBestTexture;  // of the last best-fit call
  f32 mp_fBestScale;           // target height / the chosen version's height
  SUITextureVersion mp_versions[KV_MAX_VERSIONS_PER_UI_TEXTURE];
  i32 mp_iNumVersions;
  char mp_szName[128];  // as loadUITexture was asked for it (cut), for the line of one that has no version
  bool mp_bLocalized;
};

// A UI texture's sprite as ClUI::renderUITextureKept queued it last, with what it was worked out from: while the
// record's versions, the canvas's record, scale and resolution height, the rectangle it was placed on (the parent
// window or the canvas), the shader, the second texture and the signature manager's generation are the same, the
// best fit, the box and the signature are too. The shader's hash and the shader manager's generation it was found
// at spare the lookup while neither changes. All zero: nothing kept.
struct SUITextureSprite {
  const SUITexture* mp_pUITex;
  i32 mp_iNumVersions;
  f32 mp_fCanvasScale;
  const Cl2dCanvas* mp_pCanvas;
  f32 mp_fResolutionHeight;
  u32 mp_uiSignatureGeneration;
  SParentWindow mp_rect;
  const ClShader* mp_pShader;
  u32 mp_uiShaderHash;
  u32 mp_uiShaderGeneration;
  const ClTexture* mp_pSecond;
  ClTexture* mp_pTexture;  // the best fit and its scale
  f32 mp_fBestScale;
  f32 mp_afBox[4];  // left, top, width, height in pixels
  const SRenderSignature* mp_pSignature;
};

// One loaded UI data file.
struct SUIDataEntry {
  u8* mp_pBlock;             // the file image, 16-byte aligned, owned; relocated in place
  u32 mp_uiBlockSize;
  u32 mp_uiNameHash;         // of the name the file was loaded by
  ClWidget* mp_pRootWidget;
  u32 mp_bOwnsData;          // the block is held (and relocated)
};

struct SWidgetFocus {
  u32 mp_uiPad;  // 0-3, or gc_uiANY_PAD
  ClWidget* mp_pWidget;
};

struct SDeferredWidgetEvent {
  ClWidget* mp_pWidget;
  u32 mp_uiEventHash;
  f32 mp_fTimeLeft;  // seconds
  u32 mp_uiClock;    // 0 system, 1 gameplay
  i32 mp_iPoolIndex;
};

// A drag-scrolled area: a widget whose children form a vertical list that the pointer drags, with momentum
// after a drag and a spring back at both ends. The record belongs to whoever registers it (the scroll-finger
// procedures), which also registers a pointer detector of kind E_POINTER_DETECTOR_SCROLL_AREA whose owner is
// the record. Pixels are screen pixels.
struct SScrollFingerArea {
  ClWidget* mp_pAreaWidget;  // owns the LAYOUTs "scrollAreaLayout" and "movingWidgetLayoutForChildren"
  f32 mp_fViewTop;           // pixels; the view height V = bottom - top
  f32 mp_fViewBottom;
  u32 mp_uiCanvasHash;  // the canvas whose scale turns pixels into canvas units
  f32 mp_fTopMargin;    // canvas units, added in the top visibility test
  f32 mp_fOffset;       // pixels: 0 at the start, negative when scrolled down; at rest in [V - L, 0]
  f32 mp_fListHeight;   // L, pixels
  f32 mp_fVelocity;     // pixels per second
  // Kept by the scroll-finger procedures, which register areas from data.
  u32 mp_uiAreaName;  // "scrollAreaName": a registration under the same name takes this record again
  f32 mp_fLeft;       // pixels; with the view's top and bottom, the area's rectangle on screen
  f32 mp_fRight;
};

// A text element: the canvas it is drawn on, a name hash the caller keeps with it (not read by the drawing) and
// the font family (the name hash of the family's key).
struct STextElement {
  u32 mp_uiCanvasHash;
  u32 mp_uiNameHash;
  u32 mp_uiFontFamilyHash;
};

// How a text element is drawn, handed unchanged to ClFont::drawText: shader and secondary texture hashes (0: none),
// layer (the shadow one lower), Cl2d alignment flags placing the text's box, the alignment of lines in it (1 left,
// 2 centre, 4 right), D3DCOLOR colours and the shadow offset in pixels ((0, 0): no shadow).
struct STextDrawArgs {
  u32 mp_uiShaderHash;
  u32 mp_uiSecondaryTextureHash;
  u16 mp_uLayer;
  u32 mp_uiScreenFlags;
  u32 mp_uiAnchorFlags;
  u32 mp_uiAlignment;
  u32 mp_uiColor;
  f32 mp_afShadowOffset[2];
  u32 mp_uiShadowColor;
};

// Menu actions: indices into a pad's action array.
inline constexpr i32 gc_iUI_ACTION_UP = 13;
inline constexpr i32 gc_iUI_ACTION_DOWN = 14;
inline constexpr i32 gc_iUI_ACTION_LEFT = 15;
inline constexpr i32 gc_iUI_ACTION_RIGHT = 16;
inline constexpr i32 gc_iUI_ACTION_ACCEPT = 19;
inline constexpr i32 gc_iUI_ACTION_ALT1 = 20;
inline constexpr i32 gc_iUI_ACTION_ALT2 = 21;
inline constexpr i32 gc_iUI_ACTION_BACK = 22;
inline constexpr i32 gc_iUI_ACTION_START = 23;

class ClUI {
 public:
  // --- Start and end ---
  static void initialise();
  // Frees every widget, file and table; nothing unless initialised.
  static void terminate();
  static bool isInitialised() { return mp_bInitialized != 0; }

  // --- UI data files ---
  // Loads "<language folder>UI/<name>.kui". True when the tree was built; false when the read buffer could
  // not be had or the file was refused. A name loaded before, a 17th file, a missing file and a failed read
  // are fatal.
  static bool loadLocalizedUIData(const char* pUIDataName);
  // Loads "<data root>UI/Switcher_Splash.kui", as loadLocalizedUIData.
  static bool loadUIData();
  // Loads a file image held in memory under a name (tools and tests): as loadLocalizedUIData from the
  // read on. The image is copied.
  static bool loadUIDataFromImage(const char* pUIDataName, const u8* pImage, u32 uiSize);
  // Turns the block's offsets into pointers (new pointer arrays for the offset arrays), builds the tree and
  // loads it. The block must have passed KvValidateUIData.
  static void relocateUIData(u8* pBlock, SUIDataEntry* pEntry);
  static void recursivelyCreateWidgetsFromParent(SRawWidgetInstance* pRawInstance, ClWidget** ppWidgetToCreate,
                                                 ClWidget* pParent);
  // Fill the switched- and drawn-children lists of every widget below pWidget that has none yet.
  static void buildSwitchedChildLists(ClWidget* pWidget);
  static void buildDrawnChildLists(ClWidget* pWidget);
  static i32 getNumUIDataEntries() { return mp_UIDataPool.getCount(); }
  static SUIDataEntry* getUIDataEntry(i32 iIndex) { return mp_UIDataPool.get(iIndex); }

  // --- Widgets ---
  // The widget of that name; a missing one is the assertion "Widget [%s] does not exist!!!".
  static ClWidget* getWidget(const char* pName);
  static ClWidget* getWidgetFormatted(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));
  // The widget of an instance ID, or null.
  static ClWidget* findWidget(u32 uiInstanceNameHash);
  // True when pWidget is null, is pRoot, or lies below pRoot.
  static bool isWidgetInSubtree(const ClWidget* pWidget, const ClWidget* pRoot);
  static ClWidget* getRootWidget();

  // --- Focus (pad 0-3, or 4 for any pad) ---
  static void setFocus(ClWidget* pWidget, u32 uiPad);
  static void removeFocus(ClWidget* pWidget, u32 uiPad);
  static ClWidget* getFocusedWidget(u32 uiPad);

  // --- Switching ---
  static void switchTo(const char* pSwitcherName, const char* pTargetName);
  static void switchToByHash(const char* pSwitcherName, u32 uiTargetID);
  // Back to the screen before the current one on "TopLevelSwitcher".
  static void switchBack();
  static void pushSwitchHistory(ClWidget* pWidget);
  // The switch history, newest first: one entry (null past the last), a copy of all of it, and a copy put back.
  static ClWidget* getSwitchHistory(i32 iIndex);
  static void copySwitchHistory(ClWidget* (&apOut)[NUM_OF_WIDGETS_SWITCHED_IN_HISTORY]);
  static void restoreSwitchHistory(ClWidget* const (&apSaved)[NUM_OF_WIDGETS_SWITCHED_IN_HISTORY]);

  // --- Deferred events ---
  // Queues an event to fire after fSeconds of a clock (0 system, 1 gameplay). False (dropped) when all 16
  // records are in use.
  static bool addDeferredEvent(ClWidget* pWidget, u32 uiClock, u32 uiEventHash, f32 fSeconds);

  // Drops every reference the UI keeps to a widget that is about to be freed, its pointer detectors and
  // scroll areas included.
  static void forgetWidget(ClWidget* pWidget);
  // Notes that a widget owns a focus grid now (bOwns) or no longer does (freed with the widget), so that
  // forgetWidget visits only the grids that exist instead of every widget.
  static void noteGridOwner(ClWidget* pWidget, bool bOwns);

  // --- The frame (main thread, update before render) ---
  static void update();
  static void render();

  // --- Drag-scrolled areas ---
  // Adds an area (not owned; it stays alive until unregistered) unless it is registered already, and marks the
  // scroll update to run once more at the end of this frame's update.
  static void registerScrollArea(SScrollFingerArea* pArea);
  // Removes an area; the captured area is let go. An area that is not registered is ignored.
  static void unregisterScrollArea(SScrollFingerArea* pArea);
  static bool isScrollAreaRegistered(const SScrollFingerArea* pArea);
  // Captures an area under the pointer, moves the captured one by the drag and the others by momentum or
  // springs, then places each area's children and shows or hides them. Nothing before the first
  // registration.
  static void updateScrollAreas();
  static bool isScrollAreaDragged() { return mp_bScrollDragging != 0; }

  // --- Drawing (render worker) ---
  // Copies a picture onto the bound target (or the back buffer) fitted to its aspect ratio and centred; the margins
  // are not drawn (ClUI_Win32.cpp).
  static void blitRenderTargetAspectFit(const ClTexture* pSource, const SRenderSignature* pSignature, u32 uiColor);
  // Whether that copy reaches every pixel of the bound target (no margins to clear).
  static bool aspectFitCoversTarget(const ClTexture* pSource);
  // Where that copy puts a picture of the source size on a target of the target size: x, y, width, height.
  static void aspectFitRect(f32 fSourceWidth, f32 fSourceHeight, f32 fTargetWidth, f32 fTargetHeight, f32 afRect[4]);

  // --- UI textures and sprite drawing (ClUI_Textures.cpp). Main thread. ---
  // Positions, sizes and offsets are canvas units of the canvas named by uiCanvasHash; a scale multiplies the
  // image's own size; colours are D3DCOLOR; flags are Cl2d's alignment flags; an out rectangle receives {left,
  // right, top, bottom} in pixels of the box placed. Each draw places its box with Cl2d::computePosition on the
  // current parent window (or the canvas) and queues one sprite on the layer.
  //
  // Loads every asset-height version of the default canvas that exists (a missing one is skipped silently); a name
  // with '_' asserts, as does a default canvas without asset heights or a ninth version.
  static void loadUITexture(const char* pName, bool bLocalized);
  // The texture "Images/UI/" + file, the registered one when there is one; null when no file exists.
  static ClTexture* loadUITextureVersion(const char* pFilenameWithSuffix, bool bLocalized);
  // Whether a version of a UI texture is the registered texture of that file name (the UI frees its textures
  // itself, so the texture manager must not destroy one of these).
  static bool hasUITextureBeenLoaded(const char* pFilename);
  // Queues the name once (plain and localized apart) for loadDeferredUITextures, which loads the plain names, then
  // the localized ones, and empties both queues.
  static void queueDeferredUITexture(const char* pName, bool bLocalized);
  static void loadDeferredUITextures();
  // The record with its best texture and scale set for the target height (on a tie the earlier version wins). An
  // unknown name is fatal, a record without versions an assertion.
  static SUITexture* getBestFitUITexture(u32 uiNameHash, f32 fTargetHeight);
  // The same on a record already found (null: null).
  static SUITexture* getBestFitUITexture(SUITexture* pUITex, f32 fTargetHeight);
  // The record of the name; an unknown name is fatal "ClUI::getBestFitUITexture() -> texture requested but not
  // loaded!". Records live until terminate.
  static SUITexture* findUITexture(u32 uiNameHash);

  // The image at its best-fit size x fScale, texture coordinates (0,0)-(1,1); with a second texture, the shader
  // gets both.
  static void renderUITexture(const char* pName, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash, u16 uiLayer,
                              f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fScale,
                              f32* pOutRect = nullptr, const ClTexture* pSecondTexture = nullptr);
  // The image (or, with a null name, the shader alone: a solid quad) at a size of fWidth x fHeight units.
  static void renderUITextureSized(const char* pName, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash, u16 uiLayer,
                                   f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fWidth, f32 fHeight,
                                   f32* pOutRect = nullptr);
  // renderUITexture of a record already found (findUITexture), for callers that keep it.
  static void renderUITextureOf(SUITexture* pUITex, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash, u16 uiLayer,
                                f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fScale,
                                f32* pOutRect = nullptr, const ClTexture* pSecondTexture = nullptr);
  // renderUITextureOf through the caller's kept sprite (SUITextureSprite): the same sprite, worked out again only when
  // what it came from changed. The caller zeroes *pKept whenever another argument than the colour may differ.
  static void renderUITextureKept(SUITextureSprite* pKept, SUITexture* pUITex, u32 uiShaderHash, u32 uiColor,
                                  u32 uiCanvasHash, u16 uiLayer, f32 fX, f32 fY, u32 uiScreenFlags,
                                  u32 uiAnchorFlags, f32 fScale, f32* pOutRect = nullptr,
                                  const ClTexture* pSecondTexture = nullptr);
  // An atlas image: the box is its untrimmed frame x canvas scale x fScale, the quad its trimmed part at its offset
  // in that frame. Zero hashes assert; an unknown atlas is fatal, an unknown image an assertion.
  static void renderAtlasEntry(u32 uiAtlasHash, u32 uiEntryHash, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash,
                               u16 uiLayer, f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fScale,
                               f32* pOutRect = nullptr);
  static void renderAtlasEntryData(const SAtlasEntry* pEntry, u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash,
                                   u16 uiLayer, f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags, f32 fScale,
                                   f32* pOutRect = nullptr);
  // An atlas image stretched over fWidth x fHeight units.
  static void renderAtlasEntrySized(u32 uiAtlasHash, u32 uiEntryHash, u32 uiShaderHash, u32 uiColor,
                                    u32 uiCanvasHash, u16 uiLayer, f32 fX, f32 fY, u32 uiScreenFlags,
                                    u32 uiAnchorFlags, f32 fWidth, f32 fHeight, f32* pOutRect = nullptr);
  // A quad drawn by the shader alone on layer 2700, its top-left at (fX, fY) from the top-left of the rectangle.
  // An unknown shader is fatal.
  static void renderShaderQuad(u32 uiShaderHash, u32 uiColor, u32 uiCanvasHash, f32 fX, f32 fY, f32 fWidth,
                               f32 fHeight);
  // The rectangle renderUITexture would cover; nothing is queued.
  static void getUITextureRect(f32* pOutRect, const char* pName, u32 uiCanvasHash, u32 uiScreenFlags,
                               u32 uiAnchorFlags, f32 fX, f32 fY, f32 fScale);

  // --- Text elements (ClUI_Text.cpp). Main thread. ---
  // The font is the element's family at the point size for the canvas's resolution height; positions, widths and
  // heights are canvas units. An element whose canvas does not exist asserts "Invalid canvas specified for text
  // element!", a family without a font for the size asserts "Could not get a font ...".
  //
  // Lays the text out wrapped at fMaxWidth (0: no wrapping) and queues its glyphs at afPosition. With bBestFit and
  // a non-zero fMaxHeight the point size shrinks, one size of the family at a time, while the text is higher than
  // fMaxHeight or wider than fMaxWidth; the smallest size the family gives is drawn even when it still overflows.
  // pOutRect, when given, receives the pixel box {left, right, top, bottom} of the text. With ppCache (a widget's
  // mp_pTextLayoutCache; made on first use) the layout is kept there and made again only when what it depends on
  // changes (KvTextLayoutCache.h); what is queued is the same.
  static void renderTextElement(const STextElement& crElement, const wchar16* puiText, u32 uiPointSize,
                                const STextDrawArgs& crArgs, bool bBestFit, f32 fMaxWidth, f32 fMaxHeight,
                                const f32 afPosition[2], f32* pOutRect = nullptr,
                                STextLayoutCache** ppCache = nullptr);
  // The pixel box {left, right, top, bottom} the text would cover, shrunk by height only (fMaxHeight 0: no
  // shrinking); nothing is queued.
  static void getTextElementRect(f32* pOutRect, const STextElement& crElement, const wchar16* puiText,
                                 u32 uiPointSize, f32 fX, f32 fY, u32 uiScreenFlags, u32 uiAnchorFlags,
                                 f32 fMaxWidth, f32 fMaxHeight);
  // An 8-bit text widened to UTF-16 and drawn as the element {"FULL", pName, pFamily} without best fit; an empty
  // text draws nothing.
  static void renderAsciiText(const char* pText, const char* pName, const char* pFamily, u32 uiPointSize,
                              const STextDrawArgs& crArgs, f32 fMaxWidth, f32 fMaxHeight, const f32 afPosition[2]);

  // Installs the hooks (not owned); null restores the defaults.

  // --- State ---
  static u32 mp_bInitialized;
  static ClWidget mp_RootWidget;
  static ClPool<SUIDataEntry, gc_iMAX_UI_DATA_ENTRIES> mp_UIDataPool;
  static ClDynamicHashTable mp_MasterWidgetList;  // instance ID -> ClWidget*
  static SWidgetFocus mp_aFocus[gc_iMAX_FOCUS_ENTRIES];
  static i32 mp_iNumFocus;
  static u32 mp_uiCurrentLogicalPad;
  static u32 mp_abPadEnabled[gc_iNUM_UI_PADS];
  static ClWidget* mp_pPointerExclusiveWidget;
  static ClDynamicVector<ClWidget*> mp_daClonedWidgets;
  static ClDynamicVector<ClWidget*> mp_daExclusiveAvailableWidgets;
  static ClDynamicVector<ClWidget*> mp_daEventForwardingStack;
  static ClDynamicPool<SDeferredWidgetEvent> mp_DeferredEventPool;
  // The UI textures (ClUI_Textures.cpp): those loaded so far by name hash, and the names of the UI textures whose
  // loading is deferred (plain, localized). Their values are single 16-byte-aligned blocks, freed by terminate.
  static ClDynamicHashTable mp_UITextureTable;
  static ClDynamicHashTable mp_aDeferredTextureNames[2];
  // Drag-scrolled areas in registration order, the captured one and the drag (pointer pixels).
  static ClDynamicVector<SScrollFingerArea*> mp_daScrollAreas;
  static SScrollFingerArea* mp_pCapturedScrollArea;
  static u32 mp_bScrollDragging;
  static f32 mp_afScrollCapturePosition[2];
  static f32 mp_afScrollLastPosition[2];
  static u32 mp_bScrollAreaRegisteredThisFrame;
  // The pointer's click of this frame found no widget to go to: hardware pad 0's accept press fires nothing.
  static u32 mp_bPointerClickMissed;

 private:
  static ClWidget* mp_apSwitchHistory[NUM_OF_WIDGETS_SWITCHED_IN_HISTORY];  // newest first
  static void updatePad(u32 uiPad);
  static void clickWithPointer();
  static void fireDeferredEvents();
  // The records being counted down by the update: those in the pool when the countdown began. A record
  // handed out while the countdown runs leaves this set (its frame may be one freed by the same countdown),
  // so an event queued by a fired procedure first counts down at the next update.
  static SDeferredWidgetEvent* mp_apDeferredDue[gc_iMAX_DEFERRED_EVENTS];
  static i32 mp_iNumDeferredDue;
  static bool loadFile(const char* pUIDataName, bool bSplash);
  static SUIDataEntry* takeEntry(const char* pUIDataName, bool bSplash);
  // bIsFile: pFileName is the path the block was read from, and a refusal names where that file lives on disk.
  static bool installBlock(SUIDataEntry* pEntry, u8* pBlock, u32 uiSize, const char* pFileName, bool bIsFile);
  static void freeRelocationArrays(SUIDataEntry* pEntry);
};

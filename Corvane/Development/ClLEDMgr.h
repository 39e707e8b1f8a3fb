// Development LEDs: named read-outs drawn as lines of text at the top left of the screen every frame, each
// either a plain label or a float value shown with its recent average and peak.
//
// Records come from a pool of 64, built with the engine's globals before the program body runs. A user
// takes one (mp_LEDPool.alloc()), fills name, colour and kind, and for a value writes it at the next write
// position (wrapping after 127), raises the held count up to 128 and sets the refreshed flag in every frame
// it feeds the LED. render draws every LED in use (pool order, rows of
// 26 pixels from y = 100) and then ages them: a label shows for one frame, a value for as long as it is fed.
//
// Text goes through a ClLEDTextRenderer (the UI's text drawing); without one nothing is drawn. Main thread
// only.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 MAX_LAST_LED_FLOAT_VALUES = 128;
inline constexpr i32 gc_iMAX_LEDS = 64;
inline constexpr i32 gc_iLED_NAME_LEN = 64;

enum E_LED_KIND : u32 {
  E_LED_KIND_LABEL = 0,
  E_LED_KIND_FLOAT = 1,
};

struct SLEDRecord {
  char mp_szName[gc_iLED_NAME_LEN];
  u32 mp_uiColour;  // ARGB
  u32 mp_uiKind;    // E_LED_KIND
  f32 mp_afHistory[MAX_LAST_LED_FLOAT_VALUES];  // ring of the latest values
  i32 mp_iNextWrite;  // the latest value is at next - 1 (127 when next is 0)
  i32 mp_iHeldCount;  // 0..128
  u32 mp_bRefreshed;  // set by whoever feeds the LED during a frame
};

// The text-element descriptor of the UI's text drawing: name hashes of the canvas, the shader and the font
// family.
struct STextElementDesc {
  u32 mp_uiCanvasHash;
  u32 mp_uiShaderHash;
  u32 mp_uiFontFamilyHash;
};

// The UI's drawing of one line of UTF-16 text (ClUI::renderTextElement): canvas-aligned position in pixels,
// alignment flags (1 left, 8 top), the text colour, and an offset pair with a second colour.
class ClLEDTextRenderer {
 public:
  virtual ~ClLEDTextRenderer() = default;
  virtual void renderTextElement(const STextElementDesc& desc, i32 iLayer, f32 fPointSize, u32 uiAlignFlags, f32 fX,
                                 f32 fY, u32 uiColour, const wchar16* pText, const kv_vector2& offsetPair,
                                 u32 uiSecondColour) = 0;
};

class ClLEDMgr {
 public:
  // Every record free (record i has pool index i).
  static void initialize();
  // Draws every LED in use, then releases labels and LEDs not refreshed this frame. Once per game frame.
  static void render();
  // Gives one record back; null is ignored.
  static void release(SLEDRecord* pRecord);
  // Releases every record in use.
  static void terminate();

  // Installs the text drawing (not owned); null draws nothing.
  static void setTextRenderer(ClLEDTextRenderer* pRenderer);

  static ClPool<SLEDRecord, gc_iMAX_LEDS> mp_LEDPool;
};

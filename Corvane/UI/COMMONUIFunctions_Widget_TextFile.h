// The engine's event procedures of text-file widgets: a long UTF-16LE text file (credits, legal text) shown as a
// page that scrolls one line at a time. Transition in reads the file ("textFilename", below the data root), lays
// it out once with the widget's font and width and keeps one string per laid-out line; render scrolls with the
// pads' up and down (auto-repeating while held) and draws the lines that fit "maxHeight"; transition out frees
// the page. "pointSize" is also the line pitch and the scroll step, in canvas units.
//
// The text ends at its first 0 unit or at the end of the file (a last odd byte is ignored); a file that is missing
// or cannot be read gives an empty page, with one line on stderr naming it. The page is kept by handle in the
// widget's INT "vars" (0: none); at most gc_iMAX_TEXT_FILE_PAGES pages exist at once (one more is fatal). A point
// size of 0 or less is an assertion naming the widget. Main thread, inside the UI's tick and render.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/KvTypes.h"

class ClWidget;
struct ClFontEntry;
struct SMagRef;
struct WidgetEventProcedureCall;

inline constexpr i32 gc_iMAX_TEXT_FILE_PAGES = 16;
// Auto-repeat of a held scroll: the timer starts at one frame, and once past the threshold is set back to the
// reset value, so the next repeat comes a frame or two later.
inline constexpr f64 gc_dTEXT_FILE_REPEAT_START = 1.0 / 60.0;
inline constexpr f64 gc_dTEXT_FILE_REPEAT_THRESHOLD = 0.2166666;
inline constexpr f64 gc_dTEXT_FILE_REPEAT_RESET = 0.2;

struct STextFilePage {
  SMagRef* mp_pFileRef;  // held while the file is read
  f32 mp_fScrollOffset;  // canvas units from the top
  f32 mp_fWidth;         // wrap width, pixels
  ClFontEntry* mp_pFont;
  ClDynamicVector<wchar16*> mp_daLines;  // owned, 0-terminated
  u32 mp_bFileLoaded;
  u32 mp_uiFileSize;  // bytes
};

// The page a widget's "vars" names, or null.
STextFilePage* KvTextFilePageOf(const ClWidget* pWidget);
// The auto-repeat timer (seconds), module-wide.
f64 KvTextFileRepeatTimer();
// Reads a UTF-16LE image into a new 0-terminated string of at most uiSize / 2 units (free with KvAlignedFree); the
// text stops at the first 0 unit. Never reads past uiSize bytes.
wchar16* KvTextFileToString(const u8* pImage, u32 uiSize);
// Lays the text out with the font wrapped at fWidth pixels (0: no wrapping) and appends one new 0-terminated
// string per laid-out line, its tokens' characters in order (free each with KvAlignedFree).
void KvSplitTextIntoLines(ClFontEntry* pFont, const wchar16* puiText, f32 fWidth, ClDynamicVector<wchar16*>* pLines);

// Registers the text-file procedures with the procedure registry, in their fixed order.
void registerTextFileUIFunctions();

void systemTextFileRender(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemTextFileTransitionIn(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemTextFileTransitionOut(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemTextFileScrollUp(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemTextFileScrollDown(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

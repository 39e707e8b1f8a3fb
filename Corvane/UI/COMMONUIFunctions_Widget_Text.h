// The engine's event procedures of text widgets: drawing a widget's text (from "dynamicUnicodeText", else
// "dynamicText", else the localized string of "localizedID") as a text element, seeding its colour, and fading it
// in from and out to transparent. A text widget keeps its colour in its first colour animator: what that animator
// shows is what the text is drawn with.
//
// Also the pieces every procedure group that draws text shares: the alignment hashes of "L", "C" and "R", the
// alignment they name, and the reading of the drawing properties of a text widget.
//
// Procedures read the widget properties they need by name; a missing required property stops the program with
// "Widget [%s] does not specify [%s] attribute ([0x%08X])!". Main thread, inside the UI's tick and render.
#pragma once

#include "Corvane/ADT/KvStrHashConst.h"
#include "Corvane/System/KvTypes.h"
#include "Corvane/UI/ClUI.h"

class ClWidget;
struct SWidgetPropertyName;
struct WidgetEventProcedureCall;

// The values of "textAlign": the name hashes of "L", "C" and "R".
inline constexpr u32 gc_uiTEXT_ALIGN_LEFT_HASH = KvStrHashConst("L");
inline constexpr u32 gc_uiTEXT_ALIGN_CENTRE_HASH = KvStrHashConst("C");
inline constexpr u32 gc_uiTEXT_ALIGN_RIGHT_HASH = KvStrHashConst("R");

// The line alignment (1 left, 2 centre, 4 right) a "textAlign" hash names; anything else is the fatal
// "Unspecified text align!" (left when the program goes on).
u32 KvTextAlignment(u32 uiAlignHash);

// The text a widget shows, first that applies: "dynamicUnicodeText" (under 256 units), "dynamicText" (under
// iMaxDynamicText characters) widened into pBuffer (at least iMaxDynamicText units), the localized string of
// "localizedID"; else null. Too long texts and unknown strings are assertions.
const wchar16* KvWidgetText(const ClWidget* pWidget, wchar16* pBuffer, i32 iMaxDynamicText);

// The same in two steps, for a render that keeps what it reads by name: the sources found by name once (the
// values' own blocks, which setters overwrite in place), the text taken from them every frame (a localized string
// follows the language).
struct SWidgetTextSource {
  const wchar16* mp_puiUnicode;  // "dynamicUnicodeText", or null
  const char* mp_pAscii;         // "dynamicText" when set, or null
  u32 mp_uiLocalizedKey;         // "localizedID", 0 when none
};
SWidgetTextSource KvWidgetTextSource(const ClWidget* pWidget);
const wchar16* KvWidgetTextFrom(const SWidgetTextSource& crSource, wchar16* pBuffer, i32 iMaxDynamicText);

// What a text widget is drawn with: element, drawing arguments (colour = the first colour animator's), point
// size, box and position, from its properties.
struct STextWidgetDraw {
  STextElement mp_element;
  STextDrawArgs mp_args;
  u32 mp_uiPointSize;
  f32 mp_fMaxWidth;
  f32 mp_fMaxHeight;
  f32 mp_afPosition[2];
};

// Checks the required properties in order ("canvas", "shader", "textLayer", "fontName", "pointSize", "maxHeight",
// pExtra when given, "maxWidth", "textLayout", "textAlign", "textColor") and reads them with the optional shadow
// ("shadowOffset", "shadowColor") and secondary texture ("textureName2").
STextWidgetDraw KvReadTextWidgetDraw(const ClWidget* pWidget, const SWidgetPropertyName* pExtra = nullptr);

// The colour the widget shows at once: "textColor", 0 when absent.
void KvSeedTextColor(ClWidget* pWidget);

// Registers the text procedures with the procedure registry, in their fixed order.
void registerTextUIFunctions();

void systemTextRender(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemTextLoad(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemTextTransitionInFromAlpha(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemTextTransitionOutToAlpha(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

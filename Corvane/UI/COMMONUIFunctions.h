// Small engine helpers that game procedures and game modes call directly (they are not event procedures):
// digit strings with thousands separators, reversing a string, and moving a widget's layout off screen. Text
// fitting with a trailing "..." needs the font layout and comes with it.
//
// Null pointers and results too long for the helpers' buffers stop the program (assertions). Main thread for
// the widget helpers; the string helpers have no state.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;

// The work buffer of addThousandsSeparators, terminator included.
inline constexpr i32 gc_iTHOUSANDS_WORK_LEN = 768;
// Where moveWidgetOffScreen puts a layout's x and y offsets (canvas units).
inline constexpr f32 gc_fOFF_SCREEN_OFFSET = -10000.0f;

// -1 when the text fits fWidthToFitArg canvas units of the widget's text layout, else the length of the longest
// prefix that fits with "..." after it (0 when none). Widths are of the text on one line, and a prefix never ends
// inside a surrogate pair.
i32 findTextCutIndex(ClWidget* pWidget, const wchar16* puiString, f32 fWidthToFitArg);
// "dynamicUnicodeText" = the text, or its fitting prefix followed by "...".
void setFittedDynamicUnicodeText(ClWidget* pWidget, const wchar16* puiString, f32 fWidth);

// Writes the characters of pStr1 in reverse order into pStr2, zero-terminated. The two must not overlap.
void reverseString(const char* pStr1, char* pStr2);
// Copies the digits with "," between groups of three counted from the right ("1234567" -> "1,234,567"). The
// destination holds at least gc_iTHOUSANDS_WORK_LEN characters; a longer result is an assertion.
void addThousandsSeparators(const char* pSource, char* pDest);
// Sets the x and y offsets of LAYOUT "widgetLayout" and "textLayout" (each when present) to -10000.
void moveWidgetOffScreen(ClWidget* pWidget);
// moveWidgetOffScreen of the widget "accept_7" (which must exist).
void resetAccept7Layout();
// Unregisters the pointer detector the widget's INT "PtrDetector" holds (a tracker handle), if any, and sets the
// property to 0.
void releaseWidgetPointerDetector(ClWidget* pWidget);

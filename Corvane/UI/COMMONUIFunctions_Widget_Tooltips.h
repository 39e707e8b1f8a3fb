// Tooltips that follow the UI pointer: a tooltip widget is an ordinary widget whose "widgetLayout" offset is moved
// each frame so that its own layout places it relative to the pointer. Used by the image and button procedures.
// Main thread, inside the UI's render.
#pragma once

class ClWidget;

// Moves the tooltip's "widgetLayout" offset (words 4 and 5) to its first offset plus the pointer's position on the
// tooltip's canvas, in canvas units. The first offset is kept in FLOATXY "originalTTPos", made on the first call.
// "canvas" is required ("Widget [%s] does not specify [%s] attribute ([0x%08X])!").
void positionTooltipAtPointer(ClWidget* pTooltip);

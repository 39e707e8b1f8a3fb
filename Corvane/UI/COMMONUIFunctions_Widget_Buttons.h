// The engine's event procedures of buttons, their drawing and their pointer hot spot.
//
// A button has an off and an on face (BOOL "isOn"), each with a normal look and a rollover look shown while it has
// focus, and a disabled look. A look is the properties "textureName_<look>", "textureShader_<look>",
// "textShader_<look>", "textureColor_<look>" and "textColor_<look>" with <look> one of off, on, rollover,
// rollover_on. The procedures never draw: they copy the current look into "curTexture", "curShader",
// "curTextShader", "curTextureLayer" and "curTextLayer", and move the two colour animators (first: image colour,
// second: text colour) towards its colours, at once or over "buttonTransitionInTime" / "buttonTransitionOutTime" /
// "buttonRolloverInTime" / "buttonRolloverOutTime" seconds (system clock; 0 when missing). systemButtonRender draws
// from those values only: one image (atlas entry or UI texture), then one text.
//
// An atlas image becomes the parent window of the button's text and children for the rest of its render; a
// UI-texture image does not. A button that is settled (transition done, not out) and not "disabled" keeps a pointer
// detector for its image's (or, without an image, its text's) rectangle in INT "PtrDetector"
// (ClPointerTracker::handleOf). Hot-spot rectangles follow exactly what is drawn, on any canvas scale.
//
// The held repeat counts down on the gameplay clock, so a pause stops it. A missing required property stops the
// program with "Widget [%s] does not specify [%s] attribute ([0x%08X])!"; unsupported alignments and a second
// texture on an atlas button are fatal. Main thread, inside the UI's tick and render.
#pragma once

#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/Animation/ClColor.h"
#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

// Registers the button procedures with the procedure registry, in their fixed order.
void registerButtonsUIFunctions();

void systemButtonRender(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonLoad(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonLocalizedLoad(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonImmediateTransitionIn(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonImmediateTransitionOut(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonTransitionInFromAlpha(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonTransitionOutToAlpha(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonGetFocus(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonLoseFocus(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// Call parameters: ID switcher, ID target. Only from 0.5 s after the fade in ended ("transitionTimer" <= -0.5);
// switches directly (no switch history, pointer hits kept).
void systemButtonClickSwitch(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// Call parameter: STRING, the name of the button to disable (for good: nothing enables it again).
void systemDisableButton(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonStartHeldEventTimer(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// At most one "onHeldButtonEvent" a call; overshoot below zero is dropped.
void systemButtonTickHeldEvent(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemButtonStopHeldEventTimer(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// The tooltip procedures are the image widgets' ones under button names; the hot-spot removal
// ("systemButtonUnregisterWithMouse") is systemWindowUnregisterWithPointer and the full focus grab
// ("systemButtonGrabFullFocus") is systemGrabFullFocus.

// Disables a button: hot spot removed, BOOL "disabled" and "gridDisabled" set, disabled colours shown at once.
void disableButton(ClWidget* pWidget);
// Creates the widget's hot spot, or moves it with "alwaysRecalcHotSpotPos"; also used by grid navigation.
void buttonRegisterWithPointer(ClWidget* pWidget);
// Removes the hot spot kept in "PtrDetector" (the window procedures' unregistration).
void buttonUnregisterWithPointer(ClWidget* pWidget);
// "textureName_off" when present and not empty, else "textureName_rollover" likewise, else null.
const char* getHotSpotTextureName(const ClWidget* pWidget);

// Shows the colour at once (play kind "set"); a running animation is not stopped and ends on this colour at its
// next update.
void KvSetColorAtOnce(ClAnimator<ClColor>& animator, u32 uiColor);
// Moves a running fade to a new end colour: it goes on from the colour shown now and ends when the replaced fade
// would have ended. A settled animator shows the colour at once.
void KvRetargetColor(ClAnimator<ClColor>& animator, u32 uiColor);

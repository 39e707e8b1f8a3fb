// The engine's event procedures of image widgets: loading an image's UI texture now or deferred, plain or from the
// language folder, seeding, pulsing and fading the image colour, hiding an image that has faded out, showing and
// placing a tooltip widget, and drawing the image from a UI texture, from an atlas entry or as a plain coloured
// rectangle. An image widget keeps its colour in its first colour animator; what that animator
// shows is what the image is drawn with.
//
// Fades last "imageTransitionInTime" / "imageTransitionOutTime" seconds (0 when missing) and set FLOAT
// "transitionTimer" to the same, which the system procedures count down to end the transition. An image that names
// a "tooltipWidgetID" registers a pointer detector for its texture's rectangle on its first render while visible
// and not transitioning; INT "PtrDetector" keeps its handle (ClPointerTracker::handleOf).
//
// Procedures read the widget properties they need by name; a missing required property stops the program with
// "Widget [%s] does not specify [%s] attribute ([0x%08X])!". Main thread, inside the UI's tick and render.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClTexture;
class ClWidget;
struct WidgetEventProcedureCall;

// Registers the image procedures with the procedure registry, in their fixed order.
void registerImagesUIFunctions();

void systemImageLoad(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageInitColor(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemDeferredImageLoad(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemDeferredImageLoadByName(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageLocalizedLoad(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemDeferredImageLocalizedLoad(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemDeferredImageLocalizedLoadByName(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageRender(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// Call parameters: INT colour A, INT colour B, FLOAT period in seconds; a sine pulse between the two.
void systemImagePulse(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageAutoHideOnZeroAlpha(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageTransitionInFromAlpha(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageTransitionOutToAlpha(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageTransitionOutNoFade(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageShowTooltipIfPresent(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemImageHideTooltipIfPresent(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// Gives a visible, settled image with a texture its pointer detector once; nothing when it has one.
void registerImagePointerDetector(ClWidget* pWidget);
// The second texture of a UI-texture image named pName ("" : none): the texture manager's texture of that name,
// else the best-fit UI texture for the canvas (assertions "pUITex" and "pSecondaryTex" when there is none).
const ClTexture* KvSecondUITexture(const char* pName, u32 uiCanvasHash);
// The shared procedure that does nothing: names that only hold parameters for the data.
void systemEmptyProcedure(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

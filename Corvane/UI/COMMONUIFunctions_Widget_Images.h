// The engine's event procedures of image widgets: loading an image's UI texture now or deferred, plain or from the
// language folder, seeding the image colour, and drawing the image from a UI texture, from an atlas entry or as a
// plain coloured rectangle. An image widget keeps its colour in its first colour animator; what that animator
// shows is what the image is drawn with.
//
// Procedures read the widget properties they need by name; a missing required property stops the program with
// "Widget [%s] does not specify [%s] attribute ([0x%08X])!". Main thread, inside the UI's tick and render.
#pragma once

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
// The shared procedure that does nothing: names that only hold parameters for the data.
void systemEmptyProcedure(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

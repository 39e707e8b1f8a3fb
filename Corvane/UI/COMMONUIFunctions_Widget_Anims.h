// The engine's event procedures of animated image widgets: a widget that shows a flip book through its own
// texture-animation object (ClTexAnimObj), made by systemCreateTexAnimObj (its load event) and freed by
// systemDeleteTexAnimObj (its destroy event); nothing else frees it. The render procedure draws the object's current
// frame, a chosen frame (INT "CurForceFrameKey", -1 or missing for the current one), or with BOOL "RenderCumulKey"
// every frame before the chosen one on top of each other. A chosen frame past the flip book's end is clamped to its
// last frame; the cumulative draw stops at the flip book's end.
//
// The object advances by the gameplay clock, so a paused game holds the frame. INT "AnimObjKey" keeps the object as
// a handle of a fixed table of gc_iMAX_WIDGET_ANIM_OBJS objects (0: none); a full table is the fatal error
// "Widget animation objects exhausted". Main thread, inside the UI's tick and render.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClTexAnimObj;
class ClWidget;
struct WidgetEventProcedureCall;

inline constexpr i32 gc_iMAX_WIDGET_ANIM_OBJS = 512;

// Registers the animated image procedures with the procedure registry, in their fixed order.
void registerAnimsUIFunctions();

void systemAnimInitColor(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemAnimRender(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemDeleteTexAnimObj(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// Makes the object and plays "flipbookName" on it, looping, at once.
void systemCreateTexAnimObj(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// Cumulative drawing on, with no frame yet ("CurForceFrameKey" 0).
void systemSetCumulRenderingOn(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

// For game code. Both stop the program with "Widget has no Animation object initialized" before the object exists;
// a flip book that is not loaded is the flip-book manager's assertion.
// Plays the flip book now (fDelaySeconds 0: the running play and the queue are replaced) or after the delay,
// looping or once.
void playAnimOnWidget(ClWidget* pWidget, const char* pFlipBookName, bool bLoop, f32 fDelaySeconds);
// Plays the flip book, looping, once the running play has ended.
void queueAnimOnWidget(ClWidget* pWidget, const char* pFlipBookName);
// The widget's object, or null.
ClTexAnimObj* getWidgetAnimObj(const ClWidget* pWidget);
// How many widget animation objects are alive.
i32 getNumWidgetAnimObjs();

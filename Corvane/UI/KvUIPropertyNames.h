// The widget property names that more than one UI procedure file reads or writes (the engine's common procedures,
// the widget and UI manager code, the game's screens), each made once with its hash. A name that only one file
// uses stays a constant of that file; a name used by a second file moves here. The hashes are the data's
// (KvStrHash of the name), so readers that run every frame do not hash again. Main thread, like the UI.
#pragma once

#include "Corvane/UI/ClWidget.h"

// Placement and drawing target.
inline const SWidgetPropertyName gc_WIDGET_LAYOUT("widgetLayout");
inline const SWidgetPropertyName gc_TEXT_LAYOUT("textLayout");
inline const SWidgetPropertyName gc_MOVING_WIDGET_LAYOUT_FOR_CHILDREN("movingWidgetLayoutForChildren");
inline const SWidgetPropertyName gc_SCROLL_AREA_LAYOUT("scrollAreaLayout");
inline const SWidgetPropertyName gc_CANVAS("canvas");
inline const SWidgetPropertyName gc_FORCED_WIDTH("forcedWidth");
inline const SWidgetPropertyName gc_FORCED_HEIGHT("forcedHeight");

// Images.
inline const SWidgetPropertyName gc_ATLAS("atlas");
inline const SWidgetPropertyName gc_TEXTURE_NAME("textureName");
inline const SWidgetPropertyName gc_TEXTURE_NAME_2("textureName2");
inline const SWidgetPropertyName gc_TEXTURE_SHADER("textureShader");
inline const SWidgetPropertyName gc_TEXTURE_COLOR("textureColor");
inline const SWidgetPropertyName gc_IMAGE_LAYER("imageLayer");

// Texts.
inline const SWidgetPropertyName gc_FONT_NAME("fontName");
inline const SWidgetPropertyName gc_POINT_SIZE("pointSize");
inline const SWidgetPropertyName gc_MAX_WIDTH("maxWidth");
inline const SWidgetPropertyName gc_MAX_HEIGHT("maxHeight");
inline const SWidgetPropertyName gc_TEXT_ALIGN("textAlign");
inline const SWidgetPropertyName gc_TEXT_COLOR("textColor");
inline const SWidgetPropertyName gc_TEXT_COLOR_OFF("textColor_off");
inline const SWidgetPropertyName gc_TEXT_COLOR_ROLLOVER("textColor_rollover");
inline const SWidgetPropertyName gc_TEXT_SHADOW_OFFSET("textShadowOffset");
inline const SWidgetPropertyName gc_TEXT_LAYER("textLayer");
inline const SWidgetPropertyName gc_LOCALIZED_ID("localizedID");
inline const SWidgetPropertyName gc_DYNAMIC_TEXT("dynamicText");
inline const SWidgetPropertyName gc_DYNAMIC_UNICODE_TEXT("dynamicUnicodeText");

// A button's current look, its disabled states and its tooltip.
inline const SWidgetPropertyName gc_CUR_TEXTURE("curTexture");
inline const SWidgetPropertyName gc_CUR_SHADER("curShader");
inline const SWidgetPropertyName gc_CUR_TEXT_SHADER("curTextShader");
inline const SWidgetPropertyName gc_CUR_TEXTURE_LAYER("curTextureLayer");
inline const SWidgetPropertyName gc_CUR_TEXT_LAYER("curTextLayer");
inline const SWidgetPropertyName gc_DISABLED("disabled");
inline const SWidgetPropertyName gc_GRID_DISABLED("gridDisabled");
inline const SWidgetPropertyName gc_TOOLTIP_WIDGET_ID("tooltipWidgetID");

// Run-time state: the pointer detector's handle, the running transition's time left, the root's menu-input delay
// after a click or back.
inline const SWidgetPropertyName gc_PTR_DETECTOR("PtrDetector");
inline const SWidgetPropertyName gc_TRANSITION_TIMER("transitionTimer");
inline const SWidgetPropertyName gc_DELAY_MENU_INPUT_CLICK_BACK("delayMenuInputClickBack");

// The game's own: a stage-select entry's chapter, a HUD pip's ticking flag.
inline const SWidgetPropertyName gc_CHAPTER_NUMBER("ChapterNumber");
inline const SWidgetPropertyName gc_TICK_ACTIVE("TickActive");

// Events (EVENTCALLBACK properties) that procedures fire on other widgets.
inline const SWidgetPropertyName gc_ON_TRANSITION_IN("onTransitionIn");
inline const SWidgetPropertyName gc_ON_TRANSITION_OUT("onTransitionOut");
inline const SWidgetPropertyName gc_ON_BECOME_VISIBLE("onBecomeVisible");

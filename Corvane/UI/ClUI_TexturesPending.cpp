// Stands in for the UI texture drawing until it lands: queues nothing.
#include "Corvane/UI/ClUI.h"

void ClUI::renderUITexture(const char*, u32, u32, u32, u16, f32, f32, u32, u32, f32, f32*, const ClTexture*) {}

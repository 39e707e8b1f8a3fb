// The floating score texts' share of the gore effects' frame (the requests are GoreFx::addFloatingText and
// GoreFx::addStackedFloatingText in GAMEGoreFx.h). The texts live in g_floatingTexts; main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

namespace FloatingTexts {
// Every text's age += dt (seconds of the gameplay clock).
void age(f32 dt);
// Frees the texts whose age exceeds their lifetime.
void removeExpired();
// Each text at its place on the screen, with "X<n>" under a text asked for n > 1 times.
void draw();
}  // namespace FloatingTexts

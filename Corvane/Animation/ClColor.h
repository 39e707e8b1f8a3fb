// A colour as four float channels, each 0 to 1, and its packed A8R8G8B8 form (a D3DCOLOR: bytes B, G, R, A in
// memory). Plain value type; any thread.
#pragma once

#include "Corvane/System/KvTypes.h"

struct ClColor {
  f32 r;
  f32 g;
  f32 b;
  f32 a;

  // Unpacks each byte as unsigned and divides it by 255.
  static ClColor fromARGB(u32 uiColor);
  // Packs (a x 255) << 24 | (r x 255) << 16 | (g x 255) << 8 | (b x 255), each product truncated toward zero
  // and kept within a byte.
  u32 toARGB() const;

  ClColor operator+(const ClColor& o) const { return {r + o.r, g + o.g, b + o.b, a + o.a}; }
  ClColor operator-(const ClColor& o) const { return {r - o.r, g - o.g, b - o.b, a - o.a}; }
  ClColor operator*(f32 f) const { return {r * f, g * f, b * f, a * f}; }
  bool operator==(const ClColor&) const = default;
};

#include "Corvane/Animation/ClColor.h"

namespace {

u32 channelByte(f32 fChannel) {
  const f32 fScaled = fChannel * 255.0f;
  if (!(fScaled > 0.0f)) {
    return 0;  // also NaN
  }
  return fScaled >= 255.0f ? 255u : static_cast<u32>(fScaled);
}

}  // namespace

ClColor ClColor::fromARGB(u32 uiColor) {
  return {static_cast<f32>((uiColor >> 16) & 0xFFu) / 255.0f, static_cast<f32>((uiColor >> 8) & 0xFFu) / 255.0f,
          static_cast<f32>(uiColor & 0xFFu) / 255.0f, static_cast<f32>((uiColor >> 24) & 0xFFu) / 255.0f};
}

u32 ClColor::toARGB() const {
  return (channelByte(a) << 24) | (channelByte(r) << 16) | (channelByte(g) << 8) | channelByte(b);
}

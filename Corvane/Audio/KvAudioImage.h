// Bounds of the sound layer's file images (sound banks, music-track data): where an array read from a file may
// lie before it is trusted.
#pragma once

#include "Corvane/System/KvTypes.h"

// True when iCount elements of uiElementSize bytes at uiOffset lie inside an image of uiImageSize bytes and
// start 4-byte aligned; a negative count never does.
inline bool KvAudioArrayInside(u64 uiOffset, i64 iCount, u64 uiElementSize, u64 uiImageSize) {
  return iCount >= 0 && uiOffset % 4 == 0 && uiOffset <= uiImageSize &&
         static_cast<u64>(iCount) * uiElementSize <= uiImageSize - uiOffset;
}

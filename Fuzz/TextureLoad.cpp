// Image files from outside data on their way to textures: any bytes are refused by the decoder (BMP, PNG, TGA
// through SDL2_image), or make a 2D texture (and, for strips of six faces, a cube texture) on the recording back
// end, whose level 0 can be locked, written and unlocked through the engine's texture.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Fuzz/FuzzQuiet.h"
#include "Fuzz/FuzzRecordingDevice.h"
#include "Platform/D3D9/D3DX9.h"
#include "Fuzz/FuzzMaxLen.h"

KV_FUZZ_MAX_LEN(1048576)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize) {
  KvFuzzSilenceProblemReports();
  if (uiSize == 0 || uiSize > (1u << 20)) {
    return 0;
  }
  ClGraphics::mp_pDevice = KvFuzzRecordingDevice();
  if (ClGraphics::mp_pDevice == nullptr) return 0;
  ClTexture texture;
  if (texture.createFromMemory(pData, static_cast<i32>(uiSize), "fuzz", 0, 0) == 0) {
    i32 iPitch = 0;
    u8* pBits = static_cast<u8*>(texture.lock(&iPitch));
    if (pBits == nullptr || iPitch < 4) __builtin_trap();
    const size_t uiBytes = static_cast<size_t>(iPitch) * static_cast<size_t>(texture.getHeight());
    std::memset(pBits, 0x5A, uiBytes);
    texture.unlock();
  }
  ClTexture cube;
  if (cube.createFromMemory(pData, static_cast<i32>(uiSize), "fuzz cube", 1, 1) == 0 && cube.getWidth() != 0.0f) {
    __builtin_trap();
  }
  return 0;
}

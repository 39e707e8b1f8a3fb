// Music-track data from outside data: any bytes are refused or loaded by the track-data manager, exactly as the
// engine's checks say; a loaded file's instances walk their events through times that jump, stand still and go
// back, and are given back with the file, all inside the image.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioTrackData.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClClock.h"
#include "Fuzz/FuzzDataRoot.h"
#include "Fuzz/FuzzMaxLen.h"

// Track data of up to 1 MiB: room for a thousand tracks and their events.
constexpr std::size_t gc_uiMAX_INPUT = 1u << 20;
KV_FUZZ_MAX_LEN(gc_uiMAX_INPUT)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize) {
  if (!KvFuzzWriteAudioInput(pData, uiSize, gc_uiMAX_INPUT, "grindlow_fuzz_trackdata", "Fuzzed.iAudioTD",
                             [] { ClAudioTrackDataMgr::initialize(); })) {
    return 0;
  }
  std::vector<u32> aligned((uiSize + 3) / 4 + 1);
  if (uiSize > 0) {
    std::memcpy(aligned.data(), pData, uiSize);
  }
  char szProblem[512];
  const bool bAccepted =
      ClAudioTrackData::check(reinterpret_cast<const u8*>(aligned.data()), uiSize, szProblem, sizeof(szProblem)) == 1;
  const u8* pLoaded = ClAudioTrackDataMgr::load("Fuzzed");
  if ((pLoaded != nullptr) != bAccepted) {
    __builtin_trap();
  }
  if (pLoaded != nullptr) {
    ClAudioTrackDataInstance* pFirst = ClAudioTrackDataMgr::createInstance(KvStrHash("Fuzzed"));
    ClAudioTrackDataInstance* pSecond = ClAudioTrackDataMgr::createInstance(KvStrHash("Fuzzed"));
    const u32 uiSecondGeneration = pSecond != nullptr ? pSecond->m_uiGeneration : 0;
    // Frame times drawn from the input's first bytes: forward, standing, huge.
    for (std::size_t i = 0; i < 8; ++i) {
      const std::uint8_t uiByte = uiSize > i ? pData[i] : 0;
      ClClock::m_aClockFrames[0].m_fFrameTime = uiByte == 0xFF ? 1.0e30f : static_cast<f32>(uiByte) * 0.01f;
      ClAudioTrackDataMgr::tick();
    }
    // A cue's resume can set a time that goes back; the walk only ever moves on.
    if (ClAudioTrackDataMgr::release(pFirst) == 1 && ClAudioTrackDataMgr::isLive(pSecond, uiSecondGeneration)) {
      pSecond->m_fTime = -1.0f;
      ClAudioTrackDataMgr::tick();
    }
    ClAudioTrackDataMgr::unload("Fuzzed");
    if (ClAudioTrackDataMgr::getFileCount() != 0 || ClAudioTrackDataMgr::getInstanceCount() != 0 ||
        ClMagFileIO::getOpenRefCount() != 0) {
      __builtin_trap();
    }
  }
  return 0;
}

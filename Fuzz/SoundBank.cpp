// Sound banks from outside data: any bytes are refused or loaded by the audio manager, whose containers are
// built, whose cues can be played and stopped, and which unloads again, all inside the image.
#include <cstddef>
#include <cstdint>

#include "Corvane/Audio/ClAudioManager.h"
#include "Fuzz/FuzzDataRoot.h"
#include "Fuzz/FuzzMaxLen.h"
#include "Platform/FMODEx/FMODExTest.h"

// A bank of up to 1 MiB: room for tens of thousands of index entries.
constexpr std::size_t gc_uiMAX_INPUT = 1u << 20;
KV_FUZZ_MAX_LEN(gc_uiMAX_INPUT)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize) {
  const auto start = [] {
    FMODExSetOutput(EFMODExOutput::Manual);
    ClAudioManager::initialize();
  };
  if (!KvFuzzWriteAudioInput(pData, uiSize, gc_uiMAX_INPUT, "grindlow_fuzz_soundbank", "VOSK_SFX.iAudioSB", start)) {
    return 0;
  }
  char szProblem[512];
  const bool bAccepted = ClSoundBank::check(pData, uiSize, szProblem, sizeof(szProblem)) == 1;
  const i32 iLoaded = ClAudioManager::loadSoundBank();
  if (iLoaded != (bAccepted ? 1 : 0)) {
    __builtin_trap();
  }
  if (iLoaded == 1) {
    const SSoundBankHeader* pHeader = reinterpret_cast<const SSoundBankHeader*>(pData);
    for (i32 i = 0; i < pHeader->m_iNumEntries && i < 64; ++i) {
      SCueHandle handle = ClAudioManager::createCueInstance(ClSoundBank::entry(pData, i)->m_uiCueNameHash);
      ClAudioManager::update();
      ClAudioManager::stopCue(&handle, 0.0f);
    }
    ClAudioManager::unloadSoundBank(pHeader->m_uiBankNameHash);
  }
  return 0;
}

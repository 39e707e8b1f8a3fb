// The stand-in's test controls: faults, call counts, the output choice; result texts and path translation.
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "Platform/Common/PlatformFaults.h"
#include "Platform/FMODEx/FMODExInternal.h"
#include "Platform/Win32/Win32Files.h"

namespace FMODExInternal {

namespace {

std::atomic<std::uint32_t> g_uiFaults{0};
std::atomic<std::uint64_t> g_auiCallCounts[static_cast<int>(EFMODExCall::Count)];

struct SOutputChoice {
  std::mutex lock;
  bool bSet = false;
  EFMODExOutput eOutput = EFMODExOutput::Device;
  std::string wavPath;
};

SOutputChoice& outputChoice() {
  static SOutputChoice s_choice;
  return s_choice;
}

const char* const gc_apFaultNames[] = {
#define FMODEX_FAULT_NAME(name, text, what) text,
    FMODEX_FAULT_LIST(FMODEX_FAULT_NAME)
#undef FMODEX_FAULT_NAME
};
static_assert(sizeof(gc_apFaultNames) / sizeof(gc_apFaultNames[0]) == NUM_E_FMODEX_FAULT);

}  // namespace

void countCall(EFMODExCall eCall) { g_auiCallCounts[static_cast<int>(eCall)].fetch_add(1); }

std::uint32_t environmentFaults() {
  return PlatformEnvironmentFaultBits("GRINDLOW_FMOD_FAULTS",
                                      std::vector<const char*>(std::begin(gc_apFaultNames), std::end(gc_apFaultNames)));
}

bool faultSet(std::uint32_t uiFault) { return (g_uiFaults.load() & uiFault) != 0; }

EFMODExOutput chosenOutput(std::string* pWavPath) {
  SOutputChoice& choice = outputChoice();
  std::lock_guard<std::mutex> guard(choice.lock);
  if (choice.bSet) {
    *pWavPath = choice.wavPath;
    return choice.eOutput;
  }
  const char* pWav = std::getenv("GRINDLOW_FMOD_WAV");
  *pWavPath = pWav != nullptr ? pWav : "";
  const char* pOutput = std::getenv("GRINDLOW_FMOD_OUTPUT");
  if (pOutput == nullptr || pOutput[0] == '\0' || std::strcmp(pOutput, "device") == 0) {
    return EFMODExOutput::Device;
  }
  if (std::strcmp(pOutput, "null") == 0) {
    return EFMODExOutput::Null;
  }
  if (std::strcmp(pOutput, "manual") == 0) {
    return EFMODExOutput::Manual;
  }
  std::fprintf(stderr, "FMODEx: GRINDLOW_FMOD_OUTPUT [%s] is not device, null or manual; using device\n", pOutput);
  return EFMODExOutput::Device;
}

void notifyObserver(SystemState& system, const float* pBlock, int iFrames) {
  const FMODExMixObserver pfnObserver = system.pfnObserver.load();
  if (pfnObserver != nullptr && iFrames > 0) {
    pfnObserver(system.pObserverUser.load(), pBlock, static_cast<unsigned int>(iFrames));
  }
}

std::string hostPath(const char* pPath) { return Win32ToHostPath(pPath); }

}  // namespace FMODExInternal

using namespace FMODExInternal;

const char* FMOD_ErrorString(FMOD_RESULT errcode) {
  static const char* const s_apTexts[] = {
#define FMOD_RESULT_TEXT(name, text) #name ": " text,
      FMOD_RESULT_LIST(FMOD_RESULT_TEXT)
#undef FMOD_RESULT_TEXT
  };
  static_assert(sizeof(s_apTexts) / sizeof(s_apTexts[0]) == FMOD_RESULT_COUNT);
  if (errcode < 0 || errcode >= FMOD_RESULT_COUNT) {
    return "unknown result";
  }
  return s_apTexts[errcode];
}

const char* FMODExGetLastProblem() { return lastProblem().c_str(); }

void FMODExSetOutput(EFMODExOutput eOutput, const std::string& wavPath) {
  SOutputChoice& choice = outputChoice();
  std::lock_guard<std::mutex> guard(choice.lock);
  choice.bSet = true;
  choice.eOutput = eOutput;
  choice.wavPath = wavPath;
}

void FMODExClearOutput() {
  SOutputChoice& choice = outputChoice();
  std::lock_guard<std::mutex> guard(choice.lock);
  choice.bSet = false;
  choice.wavPath.clear();
}

void FMODExSetFaults(std::uint32_t uiFaults) { g_uiFaults.store(uiFaults); }

std::uint32_t FMODExGetFaults() { return g_uiFaults.load(); }

bool FMODExParseFaults(const char* pText, std::uint32_t* puiFaults, std::string* pError) {
  std::uint32_t uiFaults = 0;
  std::string error;
  const std::vector<const char*> names(std::begin(gc_apFaultNames), std::end(gc_apFaultNames));
  if (!PlatformParseFaultBits(pText != nullptr ? pText : "", names, &uiFaults, &error)) {
    if (pError != nullptr) *pError = error;
    return false;
  }
  *puiFaults = uiFaults;
  return true;
}

FMOD_RESULT FMODExHoldStreamReads(FMOD::Sound* pStream, bool bHold) {
  SoundState* pSound = static_cast<SoundState*>(pStream);
  if (pSound == nullptr) {
    return FMOD_ERR_INVALID_PARAM;
  }
  std::lock_guard<std::mutex> guard(pSound->pSystem->lock);
  if (!pSound->pSystem->isSoundLocked(pSound) || !pSound->bStream) {
    return FMOD_ERR_INVALID_PARAM;
  }
  pSound->pStream->setReadsHeld(bHold);
  return FMOD_OK;
}

std::uint64_t FMODExGetCallCount(EFMODExCall eCall) { return g_auiCallCounts[static_cast<int>(eCall)].load(); }

void FMODExResetCallCounts() {
  for (std::atomic<std::uint64_t>& count : g_auiCallCounts) {
    count.store(0);
  }
}

// The game's job types. The game adds no job of these types: every routine stops the program, naming the
// user data (and the job) it was given.
#include "Code/System/GAMESystemHooks.h"
#include "Corvane/Program/KvProgram.h"
#include "Corvane/System/KvDebug.h"

namespace {

unsigned long long word(const void* pValue) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pValue));
}

void dispatchNotImplemented(void* pUserData, ClJob* hJob) {
  KV_FATALF("ENGINE JOB TYPE DISPATCH NOT IMPLEMENTED! (user data [0x%08llX], job [0x%08llX])!", word(pUserData),
            word(hJob));
}

void taskNotImplemented(void* pUserData) {
  KV_FATALF("GAME SPECIFIC JOB TYPE NOT IMPLEMENTED! (user data [0x%08llX])!", word(pUserData));
}

}  // namespace

ClJobType GameSpecificJobMgr_Win32[gc_iNUM_GAME_JOB_TYPES] = {
    {&dispatchNotImplemented, &taskNotImplemented, &taskNotImplemented},
    {&dispatchNotImplemented, &taskNotImplemented, &taskNotImplemented},
    {&dispatchNotImplemented, &taskNotImplemented, &taskNotImplemented},
    {&dispatchNotImplemented, &taskNotImplemented, &taskNotImplemented},
};

ClGAMESystemHooks g_GAMESystemHooks;

ClJobType* ClGAMESystemHooks::gameJobTypes(i32* piCount) {
  *piCount = gc_iNUM_GAME_JOB_TYPES;
  return GameSpecificJobMgr_Win32;
}

void ClGAMESystemHooks::stopping(u32 /*uiStopAddress*/) {}

void ClGAMESystemHooks::endForCondition(E_KV_STOP_CAUSE eCause) { ::endForCondition(eCause); }

#include "Code/System/GAMESystemHooks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Corvane/Memory/KvAlloc.h"
#include "Platform/Win32/Win32Threads.h"
#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

class GameJobRows : public KvRuntimeTest {};

// The game's job rows, as the job manager receives them: the game adds no job of these types, so each routine
// stops the program naming what it was given.
TEST_F(GameJobRows, TheGamesJobRowsStopNamingTheirUserData) {
  Win32SetProcessorTopology(2, 2);
  ClTestSystemHooks& hooks = KvTestSystemHooks();
  hooks.m_pJobTypes = g_GAMESystemHooks.gameJobTypes(&hooks.m_iNumJobTypes);
  EXPECT_EQ(hooks.m_iNumJobTypes, gc_iNUM_GAME_JOB_TYPES);
  ClJobMgr::initialize();

  // Type 4 reaches the first of the game's rows, whose dispatch stops naming the user data and the job.
  ClJob* hJob = nullptr;
  void* pUserData = reinterpret_cast<void*>(uintptr_t{0x1234ABCD});
  std::string message;
  try {
    ClJobMgr::addJob(gc_iNUM_BUILT_IN_JOB_TYPES, pUserData, &hJob);
  } catch (const KvStopped& stop) {
    message = stop.message;
  }
  char szExpected[160];
  std::snprintf(szExpected, sizeof(szExpected),
                "ENGINE JOB TYPE DISPATCH NOT IMPLEMENTED! (user data [0x1234ABCD], job [0x%08llX])!",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hJob)));
  EXPECT_NE(message.find(szExpected), std::string::npos) << message;
  ClJobMgr::waitForJob(hJob);
  KvAlignedFree(hJob);
  ClJobMgr::removeJob(hJob);
  for (i32 i = 0; i < hooks.m_iNumJobTypes; ++i) {
    EXPECT_KV_FATAL(GameSpecificJobMgr_Win32[i].mp_taskCallback(pUserData),
                    "GAME SPECIFIC JOB TYPE NOT IMPLEMENTED! (user data [0x1234ABCD])!");
  }
  ClJobMgr::shutdown();
  hooks.m_pJobTypes = nullptr;
  hooks.m_iNumJobTypes = 0;
}

}  // namespace

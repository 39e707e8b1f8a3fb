// Ten minutes of endless play: the game started in the test process with SKIP_UI, the survivor game type chosen
// before the front end starts play, a fixed seed and frame time, and the random-input tester at the controls; when
// the player's run ends on the results screen, two seconds later the level is restarted as the pause menu's
// restart does, and a pause the tester opens is resumed two seconds later by the pause menu's resume procedure
// (the in-game scheme does not steer the menu), so that play goes on for the whole ten minutes.
// Every frame the entity list and the gore vectors stay within their bounds; once a minute of game time the
// engine's live heap bytes and the process's resident size are sampled, and the last minute's may not be above
// the first's by more than the margins below (the first sample is taken after a minute, when the level's assets,
// the pools and the gore vectors have grown to their working sizes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "Code/Objects/ClEntity.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/UI/GAMEScreenPause.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"

namespace {

constexpr f32 gc_fFRAME = 1.0f / 60.0f;
constexpr int gc_iFRAMES_A_MINUTE = 60 * 60;
constexpr int gc_iMINUTES = 10;
// Live engine heap: growth from the first minute's sample to the last of at most 1 MiB plus 2 %: the floating texts,
// gore and entity vectors keep their largest capacity, and a leak of one small block a frame (36000 blocks over
// the run) is well above it.
constexpr i64 gc_iHEAP_MARGIN_BYTES = 1 << 20;
constexpr double gc_dHEAP_MARGIN_RATIO = 0.02;
// Resident size: 16 MiB of slack for the C library's and the GL driver's own arenas (and, under AddressSanitizer,
// its quarantine of freed blocks, which fills once and is then recycled).
constexpr i64 gc_iRESIDENT_MARGIN_BYTES = 16 << 20;
// Bounds every frame: entities (enemies of a few rows, pickups, the player, projectiles) and each gore vector.
constexpr i32 gc_iMAX_ENTITIES = 256;
constexpr i32 gc_iMAX_GORE_RECORDS = 2048;

i64 residentBytes() {
  std::ifstream statm("/proc/self/statm");
  i64 iPages = 0;
  i64 iResident = 0;
  statm >> iPages >> iResident;
  return iResident * 4096;
}

struct SMinute {
  i64 iHeapBytes;
  i64 iResident;
  i32 iMostEntities;
  i32 iMostGore;
  i32 iActionFrames;
  i32 iRowsSpawned;
  i32 iRestarts;
  i32 iResumes;
};

class EndlessSoak : public GameFrame {
 protected:
  void SetUp() override {
    m_settings += "SKIP_SPLASH 1\nSKIP_UI 1\nRANDOM_SEED 4321\nMONKEY_SCHEME Scheme_InGame\nDISABLE_VO 1\n";
    m_bUntilLoadEnds = true;
    GameFrame::SetUp();
  }
};

TEST_F(EndlessSoak, TenMinutesOfSurvivorStayBoundedAndFlat) {
  GAMESetRootValue("_mode_selected", 3);
  for (int i = 0; i < 10 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i) ClGame::tickFrame(gc_fFRAME);
  ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
  ASSERT_EQ(g_iGameType, 3) << "the survivor game";
  std::vector<SMinute> minutes;
  i32 iResultsFrames = 0;
  i32 iPausedFrames = 0;
  i32 iRowsBefore = g_iNextSpawnRow;
  for (int iMinute = 0; iMinute < gc_iMINUTES; ++iMinute) {
    SMinute m{};
    for (int i = 0; i < gc_iFRAMES_A_MINUTE; ++i) {
      iResultsFrames = g_bResultsShown != 0 ? iResultsFrames + 1 : 0;
      if (iResultsFrames == 120) {
        g_bRestartRequest = 1;
        ++m.iRestarts;
      }
      iPausedFrames = GAMEGetRootValue("PauseGame", 0) != 0 ? iPausedFrames + 1 : 0;
      if (iPausedFrames == 120) {
        systemUnpauseAndReturnToGame(nullptr, nullptr);
        ++m.iResumes;
      }
      ClGame::tickFrame(gc_fFRAME);
      // Rows spawned since the last frame (the count starts again with every level).
      m.iRowsSpawned += std::max(0, g_iNextSpawnRow - iRowsBefore);
      iRowsBefore = g_iNextSpawnRow;
      m.iActionFrames += g_eCurrentGameMode == E_GAME_MODE_ACTION ? 1 : 0;
      const i32 iEntities = g_entityList.getCount();
      const i32 iGore = std::max({g_gibs.getCount(), g_bloodSplats.getCount(), g_sparkAnims.getCount(),
                                  g_enemyActionFx.getCount(), g_floatingTexts.getCount()});
      m.iMostEntities = std::max(m.iMostEntities, iEntities);
      m.iMostGore = std::max(m.iMostGore, iGore);
      ASSERT_LE(iEntities, gc_iMAX_ENTITIES) << "minute " << iMinute << ", frame " << i;
      ASSERT_LE(iGore, gc_iMAX_GORE_RECORDS) << "minute " << iMinute << ", frame " << i;
    }
    m.iHeapBytes = KvAllocLiveBytes();
    m.iResident = residentBytes();
    minutes.push_back(m);
    std::printf("minute %d: heap %lld bytes, resident %lld bytes, at most %d entities and %d gore records, "
                "%d frames in play, %d rows spawned, %d restarts, %d resumes\n",
                iMinute + 1, static_cast<long long>(m.iHeapBytes), static_cast<long long>(m.iResident),
                m.iMostEntities, m.iMostGore, m.iActionFrames, m.iRowsSpawned, m.iRestarts, m.iResumes);
    std::fflush(stdout);
  }
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
  const SMinute& first = minutes.front();
  const SMinute& last = minutes.back();
  EXPECT_LE(last.iHeapBytes, first.iHeapBytes + gc_iHEAP_MARGIN_BYTES +
                                 static_cast<i64>(static_cast<double>(first.iHeapBytes) * gc_dHEAP_MARGIN_RATIO));
  EXPECT_LE(last.iResident, first.iResident + gc_iRESIDENT_MARGIN_BYTES);
  i32 iPlayed = 0;
  for (size_t i = 0; i < minutes.size(); ++i) {
    iPlayed += minutes[i].iActionFrames;
    EXPECT_GT(minutes[i].iRowsSpawned, 0) << "minute " << i + 1 << ": rows kept coming";
  }
  EXPECT_GT(iPlayed, gc_iMINUTES * gc_iFRAMES_A_MINUTE * 9 / 10) << "the game was in play, not in a menu";
}

}  // namespace

// Fuzzes the loading of "Levels": any ".kds" image is refused (by the file loader, or level by level by the
// spawn manager with a message), or its story levels and the endless levels made from its patterns spawn their
// rows in front of a moving camera, run and draw. Any stop of the program, or endless generation that does not
// end, is a finding.
#include <cstddef>
#include <cstdint>

#include "Code/Objects/ClSpawnMgr.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

// The camera runs through the level (at most 160 frames), the player with it; every frame updates and draws.
void runLevel(ClWorldHarness& world, ClTestPlayer& player) {
  for (i32 iFrame = 0; iFrame < 160 && g_entityList.getCount() < 400; ++iFrame) {
    g_fWorldCameraX += 90.0f;
    player.m_vPosition[0] = g_fWorldCameraX + 80.0f;
    ClClock::m_aClockFrames[0].m_fFrameTime = 0.05f;
    ClSpawnMgr::tick();
    world.step(0.05f);
    EntityList::drawPass();
    world.m_sink.m_quads.clear();
  }
}

// Everything but the player goes, and the camera comes back.
void clearLevel(ClWorldHarness& world) {
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    g_entityList[i]->m_bGone = g_entityList[i] == &world.m_player ? 0 : 1;
  }
  EntityList::removalPass();
  g_fWorldCameraX = 0.0f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(pData, uiSize, "Levels.kds", szError, sizeof(szError));
  if (pRoot == nullptr) {
    return 0;
  }
  if (pRoot->getType() == E_DSVT_ARRAY) {
    ClWorldHarness world(4321);
    for (const char* pName : {"PickupHealth", "PickupPoints", "PickupMachete", "PickupAxe", "PickupSledgehammer"}) {
      world.flipBook(pName);
    }
    for (const char* pName : {"IM-HUD-Bomb-1_216", "IM-HUD-Bomb-2_216", "IM-HUD-Bomb-3_216"}) {
      world.uiImage(pName, 18.0f, 18.0f);
    }
    std::vector<STestEnemyType> types;
    for (const char* pName : {"EnemyThug", "EnemyFast", "EnemyPistol", "EnemyRiot", "EnemyBarrel", "EnemyGrenadier",
                              "EnemyStomper", "EnemyLeft", "EnemyWeakA", "PickupWeaponCrate", "PickupSupportCrate"}) {
      types.push_back({pName, "HitPoints = 2.0\nInitialSound = \"Hello\""});
    }
    if (world.loadEnemies(KvTestEnemyScript(types)).empty()) {
      world.m_services.m_bLimitCues = true;
      ClTestPlayer& player = world.addPlayer(0.0f, 1);
      for (i32 i = 0; i < pRoot->getCount() && i < 8; ++i) {
        const ClDScriptData2* pLevel = pRoot->getChildAt(i);
        const ClDScriptData2* pSpawns = pLevel->getType() == E_DSVT_ARRAY ? pLevel->findChild("Spawns") : nullptr;
        if (pSpawns == nullptr) continue;
        ClSpawnMgr::initialize();
        if (ClSpawnMgr::loadLevelSpawns(pSpawns)) {
          runLevel(world, player);
        }
        ClSpawnMgr::terminate();
        clearLevel(world);
      }
      for (i32 iGameType : {3, 4, 5}) {
        ClSpawnMgr::initialize();
        g_iGameType = iGameType;
        g_iWave = iGameType - 3;
        g_fStarCooldown = iGameType == 4 ? -1.0f : 1500.0f;
        ClSpawnMgr::generateEndlessSpawns(pRoot);
        g_fTimeLeft = 30.0f;
        runLevel(world, player);
        ClSpawnMgr::terminate();
        clearLevel(world);
      }
    }
  }
  ClDScriptData2::destroyTree(pRoot);
  return 0;
}

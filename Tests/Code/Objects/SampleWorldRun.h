// A seeded run of the sample enemies over the sample background: the harness spawns a random type ahead of the
// camera every 1.2 s, a stand-in player walks with the camera, changes lane and punches what stands at its reach.
// Everything random comes from the engine's generator, so a seed fixes the run.
#pragma once

#include <string>
#include <vector>

#include "Code/Objects/Backgrounds.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"

struct SSampleWorldResult {
  std::vector<std::string> m_entities;  // type, state, lane, position of each live entity, in list order
  u32 m_uiDraws = 0;
  i32 m_iScore = 0;
  i32 m_iKills = 0;
  i32 m_iSpawned = 0;
  i32 m_iQuads = 0;
  i32 m_iCues = 0;
  i32 m_iPlayerHurt = 0;
  std::string m_error;

  bool operator==(const SSampleWorldResult& other) const {
    return m_entities == other.m_entities && m_uiDraws == other.m_uiDraws && m_iScore == other.m_iScore &&
           m_iKills == other.m_iKills && m_iSpawned == other.m_iSpawned && m_iQuads == other.m_iQuads &&
           m_iCues == other.m_iCues && m_iPlayerHurt == other.m_iPlayerHurt;
  }
};

inline std::string KvReadSourceFile(const std::string& relative) {
  return KvTestFileBytes(KvTestSourceDir() + "/" + relative);
}

// The background images and flip books of the sample "Backgrounds" in the harness's atlas.
inline void KvAddSampleBackgroundArt(ClWorldHarness& world) {
  world.image("BG-Skyline_216", 160.0f, 60.0f);
  world.image("BG-Tower_216", 48.0f, 90.0f);
  world.image("BG-Shop_216", 120.0f, 70.0f);
  world.image("BG-Sign_216", 28.0f, 16.0f);
  world.image("BG-Street_216", 128.0f, 80.0f);
  world.image("FG-Post_216", 12.0f, 120.0f);
  world.flipBook("SignFlicker", 2, 4.0f, 0.0f, 0.0f);
  world.flipBook("TowerSmoke", 3, 6.0f);
  world.flipBook("TowerLight", 3, 3.0f);
}

inline SSampleWorldResult KvRunSampleWorld(u32 uiSeed, f32 fSeconds) {
  SSampleWorldResult result;
  ClWorldHarness world(uiSeed);
  KvAddSampleBackgroundArt(world);
  result.m_error = world.loadEnemies(KvReadSourceFile("Content/Scripts/EntityEnemy.kdt"));
  if (!result.m_error.empty()) {
    return result;
  }
  ClDScriptData2* pBackgrounds =
      KvTestCompileScript(KvReadSourceFile("Content/Scripts/Backgrounds.kdt"), "Backgrounds", &result.m_error);
  if (pBackgrounds == nullptr) {
    return result;
  }
  Backgrounds::initializeWithScript(pBackgrounds);
  if (!Backgrounds::loadPattern("BackgroundPatternChapter1A")) {
    result.m_error = "the sample pattern was refused";
  }
  static const char* const s_apTypes[] = {"EnemyThug",  "EnemyFast",   "EnemyPistol",        "EnemyRiot",
                                          "EnemyBarrel", "EnemyGrenadier", "EnemyStomper",   "EnemyLeft",
                                          "PickupSupportCrate"};
  ClTestPlayer& player = world.addPlayer(150.0f, 1);
  player.m_fReach = 20.0f;
  const f32 dt = 1.0f / 60.0f;
  const i32 iFrames = static_cast<i32>(fSeconds * 60.0f + 0.5f);
  for (i32 iFrame = 0; iFrame < iFrames && result.m_error.empty(); ++iFrame) {
    g_fWorldCameraX += 80.0f * dt;
    player.m_vPosition[0] = g_fWorldCameraX + 150.0f;
    if (iFrame % 72 == 0) {
      const i32 iType = KvMath::randomIntBelow(static_cast<i32>(sizeof(s_apTypes) / sizeof(s_apTypes[0])));
      world.spawn(s_apTypes[iType], g_fWorldCameraX + 460.0f, KvMath::randomIntBelow(3));
      ++result.m_iSpawned;
    }
    if (iFrame % 180 == 90) {
      player.m_iLane = KvMath::randomIntBelow(3);
      player.m_vPosition[1] = KvLaneLine(player.m_iLane);
    }
    if (iFrame % 15 == 0) {
      const f32 fReachX = player.m_vPosition[0] + player.m_fReach;
      for (i32 i = 0; i < g_entityList.getCount(); ++i) {
        ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
        if (pEnemy != nullptr && pEnemy->m_iLane == player.m_iLane && std::fabs(pEnemy->m_vPosition[0] - fReachX) < 30.0f) {
          pEnemy->tryHit('H', std::fabs(pEnemy->m_vPosition[0] - fReachX), 0);
        }
      }
    }
    world.step(dt);
    world.m_sink.m_quads.clear();
    Backgrounds::tick();
    EntityList::drawPass();
    result.m_iQuads += static_cast<i32>(world.m_sink.m_quads.size());
  }
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pEnemy == nullptr) continue;
    char szLine[256];
    std::snprintf(szLine, sizeof(szLine), "%s %s %d %.4f %.4f %.4f", pEnemy->m_typeName.getCStr(),
                  pEnemy->m_stateName.getCStr(), pEnemy->m_iLane, pEnemy->m_vPosition[0], pEnemy->m_vPosition[1],
                  pEnemy->m_vPosition[2]);
    result.m_entities.push_back(szLine);
  }
  result.m_uiDraws = KvRandomGetDrawCount();
  result.m_iScore = g_iScore;
  result.m_iKills = g_iEnemiesKilled;
  result.m_iCues = static_cast<i32>(world.m_services.m_cues.size());
  result.m_iPlayerHurt = player.m_iDamageTaken + player.m_iQuietDamageTaken;
  Backgrounds::release();
  ClDScriptData2::destroyTree(pBackgrounds);
  return result;
}

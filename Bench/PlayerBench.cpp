// The busiest second of a magic special with everything drawn: the Dragon's last half second (its breath, the
// embers coming at 40 a second on top of the 30 of the breath's start, every part drawn) and the half second after
// it, when its hit-all frames beat 40 enemies at once and the gore effects take over: magic gibs (up to the cap),
// blood and score texts spawned by the hits through the world's services, moving and drawn every frame. One frame at
// a time into a recording sink, against a plain loop that updates and emits the same numbers of quads from arrays.
// The frame budget is 16.7 ms; the aim is under 2 ms on one core. The counters show the work was done: quads and
// live gibs a frame (the run stops with an error when no gib flew).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Bench/BenchSkip.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

constexpr f32 gc_fDT = 1.0f / 60.0f;
constexpr int gc_iENEMIES = 40;
constexpr int gc_iFRAMES = 60;           // one second
constexpr f32 gc_fDRAGON_SECONDS = 4.6f;  // the Dragon's length on the system clock
constexpr f32 gc_fWINDOW_START = gc_fDRAGON_SECONDS - 0.5f;

// The sample enemies' script text ("" when it cannot be read).
std::string sampleEnemies() {
  std::ifstream in(GRINDLOW_SAMPLE_ENEMIES, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// One world frame with its gore: the world's update (gameplay time stands still while the special plays, as the
// level holds it), the gore effects' update, then the entities and the gore drawn.
void worldFrame(ClPlayerTestWorld& world) {
  world.step(gc_fDT, g_bMagicFreeze != 0 ? 0.0f : gc_fDT);
  GoreFx::update();
  EntityList::drawPass();
  GoreFx::draw();
}

// What each frame of the second drew and the hits it resolved: the plain side's workload.
struct SDragonSecond {
  size_t m_auiQuads[gc_iFRAMES] = {};
  size_t m_auiTexts[gc_iFRAMES] = {};
  i32 m_aiGibs[gc_iFRAMES] = {};
  i32 m_iKills = 0;    // enemies beaten during the second
  i32 m_iScore = 0;    // score they gave
  std::string m_error;
};

// One Dragon second: the world made and played to the window untimed (paused on pState when given), then the 60
// frames, recorded into pOut.
void dragonSecond(const std::string& enemies, benchmark::State* pState, SDragonSecond* pOut) {
  static const char* const s_apTypes[] = {"EnemyThug", "EnemyFast", "EnemyPistol"};
  ClPlayerTestWorld world(7, enemies);
  if (!world.m_error.empty()) {
    pOut->m_error = world.m_error;
    return;
  }
  world.services().m_bSpawnGore = true;
  for (int i = 0; i < gc_iENEMIES; ++i) {
    world.spawn(s_apTypes[i % 3], 150.0f + static_cast<f32>(i) * 8.0f, i % 3);
  }
  g_iMagicKind = 2;
  world.press(E_GAME_ACTION_MAGIC);
  while (world.player().m_eState != E_PLAYER_STATE_DRAGON || world.player().m_fStateTime < gc_fWINDOW_START) {
    world.m_world.m_sink.m_quads.clear();
    worldFrame(world);
  }
  const i32 iKilledBefore = g_iEnemiesKilled;
  const i32 iScoreBefore = g_iScore;
  if (pState != nullptr) pState->ResumeTiming();
  for (int iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
    world.m_world.m_sink.m_quads.clear();
    world.m_world.m_sink.m_texts.clear();
    worldFrame(world);
    pOut->m_auiQuads[iFrame] = world.m_world.m_sink.m_quads.size();
    pOut->m_auiTexts[iFrame] = world.m_world.m_sink.m_texts.size();
    pOut->m_aiGibs[iFrame] = g_gibs.getCount();
  }
  if (pState != nullptr) pState->PauseTiming();
  pOut->m_iKills = g_iEnemiesKilled - iKilledBefore;
  pOut->m_iScore = g_iScore - iScoreBefore;
  GoreFx::releaseAll();
}

// The engine's second, once a process, for the plain side.
std::optional<SDragonSecond> s_dragonWork;

void BM_Engine_PlayerDragonBusiestSecond(benchmark::State& state) {
  size_t uiQuads = 0;
  size_t uiGibs = 0;
  size_t uiTexts = 0;
  i32 iMostGibs = 0;
  const std::string enemies = sampleEnemies();
  if (enemies.empty()) {
    state.SkipWithError("the sample enemies could not be read from " GRINDLOW_SAMPLE_ENEMIES);
    return;
  }
  SDragonSecond second;
  for (auto _ : state) {
    state.PauseTiming();
    second = SDragonSecond();
    dragonSecond(enemies, &state, &second);
    if (!second.m_error.empty()) {
      state.SkipWithError(second.m_error.c_str());
      return;
    }
    for (int iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
      uiQuads += second.m_auiQuads[iFrame];
      uiTexts += second.m_auiTexts[iFrame];
      uiGibs += static_cast<size_t>(second.m_aiGibs[iFrame]);
      iMostGibs = std::max(iMostGibs, second.m_aiGibs[iFrame]);
    }
    state.ResumeTiming();
  }
  if (iMostGibs == 0) {
    state.SkipWithError("no gib flew: the hits did not reach the gore effects");
    return;
  }
  s_dragonWork = second;
  const double dFrames = static_cast<double>(state.iterations() * gc_iFRAMES);
  state.counters["frame_us"] =
      benchmark::Counter(dFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["quads_per_frame"] = static_cast<double>(uiQuads) / dFrames;
  state.counters["gibs_per_frame"] = static_cast<double>(uiGibs) / dFrames;
  state.counters["texts_per_frame"] = static_cast<double>(uiTexts) / dFrames;
  state.counters["most_gibs"] = iMostGibs;
  state.counters["kills"] = second.m_iKills;
}
BENCHMARK(BM_Engine_PlayerDragonBusiestSecond)->Unit(benchmark::kMillisecond);

// The same second from arrays, drawing what the engine's second drew frame by frame (its counts, taken from the
// engine's case in this process, or from one untimed engine second when that has not run): the embers appear at the
// same rates for the first half and go with the special; the enemies the engine's second beat stand (body and
// shadow); when the special ends its hit resolution beats every enemy in reach (damage, a kill, its score with the multiplier, a floating text
// and its share of the gibs up to the cap: the engine's kills, checked); the gibs fly under gravity with their spin,
// bounce once on the ground; blood drops and sparks fly and land for the rest of the frame's quads. Every piece
// becomes a quad record of the engine's kind (image, snapped position, pivot, colour, shader, depth), as many as
// the engine's frame had (checked), and the texts as many as its frame drew.
void BM_Baseline_PlayerDragonBusiestSecond(benchmark::State& state) {
  if (!s_dragonWork) {
    const std::string enemies = sampleEnemies();
    SDragonSecond second;
    if (enemies.empty()) second.m_error = "the sample enemies could not be read from " GRINDLOW_SAMPLE_ENEMIES;
    if (second.m_error.empty()) dragonSecond(enemies, nullptr, &second);
    if (!second.m_error.empty()) {
      state.SkipWithError(second.m_error.c_str());
      return;
    }
    s_dragonWork = second;
  }
  const SDragonSecond& work = *s_dragonWork;
  struct SPiece {
    f32 x, y, z, vx, vy, vz, spin, angle;
  };
  struct SEnemy {
    f32 x, y, hp;
  };
  struct SText {
    std::string text;
    i32 iPoints;
    f32 x, y;
  };
  static const SAtlasEntry s_entry{};
  constexpr int iGIBS = gc_iGIB_CAP + 1;
  const auto snap = [](f32 v) { return static_cast<f32>(std::floor(static_cast<f64>(v) * 1.25 + 0.5)); };
  std::vector<SWorldQuad> quads;
  quads.reserve(8192);
  const auto quad = [&quads, &snap](f32 x, f32 y, f32 fDepth, u32 uiColor) {
    SWorldQuad q;
    q.mp_pEntry = &s_entry;
    q.m_vPosition = {snap(x), snap(y)};
    q.m_vPivot = {8.0f, 16.0f};
    q.m_uiColor = uiColor;
    q.m_uiShaderHash = 0x9E3779B9u;
    q.m_fDepth = fDepth;
    quads.push_back(q);
  };
  const auto fly = [](SPiece& g, f32 fBounce) {
    g.x += g.vx * gc_fDT;
    g.y += g.vy * gc_fDT;
    g.z += g.vz * gc_fDT;
    g.vz += gc_fGORE_GRAVITY * gc_fDT;
    g.angle += g.spin * gc_fDT;
    if (g.z > 0.0f && g.vz > 0.0f) {
      g.z = 0.0f;
      g.vz *= fBounce;
      g.spin = 0.0f;
    }
  };
  const auto randomPiece = [](f32 fX) {
    const f32 s = KvMath::randomUnitFloat() * 440.0f + 10.0f;
    const f32 a1 = KvMath::randomUnitFloat() * 6.283f;
    const f32 a2 = KvMath::randomUnitFloat() * 6.283f;
    return SPiece{fX, 157.0f, -20.0f, s * std::cos(a1) + 50.0f, std::cos(a2) * std::sin(a1) * s * 0.5f,
                  std::sin(a2) * std::sin(a1) * s - 100.0f, KvMath::randomUnitFloat() * 12.0f - 6.0f, 0.0f};
  };
  std::vector<SPiece> gibs;
  gibs.reserve(iGIBS);
  std::vector<SPiece> drops;
  std::vector<SEnemy> enemies;
  std::vector<SText> texts;
  bool bSameQuads = true;
  i32 iKills = 0;
  i64 iScore = 0;
  for (auto _ : state) {
    sfmtInitGenRand(7);
    gibs.clear();
    drops.clear();
    enemies.clear();
    for (int i = 0; i < work.m_iKills; ++i) {
      enemies.push_back({150.0f + static_cast<f32>(i) * 8.0f, KvLaneLine(i % 3), 3.0f});
    }
    // Embers live as long as their flip book plays once (four frames at 10 a second in this world).
    constexpr f32 fEMBER_LIFE = 0.4f;
    std::vector<f32> ex, ey, et;
    f32 t = gc_fWINDOW_START;
    iKills = 0;
    iScore = 0;
    for (int iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
      quads.clear();
      texts.clear();
      const size_t uiWanted = work.m_auiQuads[iFrame];
      if (t < gc_fDRAGON_SECONDS) {
        const int iNew =
            static_cast<int>(std::trunc(t * -40.0f)) - static_cast<int>(std::trunc((t + gc_fDT) * -40.0f));
        for (int i = 0; i < iNew; ++i) {
          ex.push_back(KvMath::randomUnitFloat() * 400.0f);
          ey.push_back(50.0f + KvMath::randomUnitFloat() * 166.0f);
          et.push_back(0.0f);
        }
        for (size_t i = 0; i < ex.size();) {
          if (quads.size() < uiWanted) quad(ex[i], ey[i], -990.0f, 0xFFFFFFFFu);
          et[i] += gc_fDT;
          if (et[i] > fEMBER_LIFE) {
            ex[i] = ex.back();
            ey[i] = ey.back();
            et[i] = et.back();
            ex.pop_back();
            ey.pop_back();
            et.pop_back();
          } else {
            ++i;
          }
        }
      } else if (iKills == 0) {
        // The hit resolution: every enemy in reach of the hit-all frames is beaten.
        for (SEnemy& enemy : enemies) {
          if (enemy.hp <= 0.0f || std::fabs(enemy.x - 100.0f) > 400.0f) continue;
          enemy.hp = 0.0f;
          ++iKills;
          const i32 iPoints = static_cast<i32>(100.0f * 1.0f);
          iScore += iPoints;
          texts.push_back({"enemy_score_hit", iPoints, enemy.x, enemy.y});
          for (int k = 0; k < iGIBS / gc_iENEMIES + 1 && static_cast<int>(gibs.size()) <= gc_iGIB_CAP; ++k) {
            gibs.push_back(randomPiece(enemy.x));
          }
        }
      }
      for (SPiece& g : gibs) {
        fly(g, -0.4f);
        if (quads.size() < uiWanted) quad(g.x, g.y + g.z, (100.0f - g.y) + std::cos(g.angle), 0xFFFFFFFFu);
      }
      for (size_t i = 0; i < enemies.size() && quads.size() + 2 <= uiWanted; ++i) {
        const SEnemy& enemy = enemies[i];
        if (enemy.hp <= 0.0f) continue;
        quad(enemy.x, enemy.y, (100.0f - enemy.y) + static_cast<f32>(i) * 0.1f, 0xFFFFFFFFu);
        quad(enemy.x, enemy.y, 100.0f, 0xFFFFFFFFu);
      }
      // Blood and sparks for the rest of the frame's quads: new drops when there are too few.
      while (quads.size() + drops.size() < uiWanted) drops.push_back(randomPiece(150.0f));
      for (size_t i = 0; i < drops.size() && quads.size() < uiWanted; ++i) {
        fly(drops[i], 0.0f);
        quad(drops[i].x, drops[i].y + drops[i].z, 100.0f - drops[i].y, 0xFF2020C0u);
      }
      for (size_t i = texts.size(); i < work.m_auiTexts[iFrame]; ++i) {
        texts.push_back({"enemy_score_hit", 100, 200.0f, 80.0f + static_cast<f32>(i)});
      }
      bSameQuads = bSameQuads && quads.size() == uiWanted;
      t += gc_fDT;
      benchmark::DoNotOptimize(quads.data());
      benchmark::DoNotOptimize(texts.data());
      benchmark::ClobberMemory();
    }
  }
  if (!bSameQuads) {
    state.SkipWithError("a frame drew another number of quads than the engine's");
  } else if (iKills != work.m_iKills || iScore <= 0) {
    state.SkipWithError(("the hits beat " + std::to_string(iKills) + " enemies; the engine's beat " +
                         std::to_string(work.m_iKills)).c_str());
  }
  state.counters["frame_us"] = benchmark::Counter(static_cast<double>(state.iterations() * gc_iFRAMES),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["kills"] = iKills;
}
BENCHMARK(BM_Baseline_PlayerDragonBusiestSecond)->Unit(benchmark::kMillisecond);

// A survivor wave that fills the street: the gore brought to its cap first by the Dragon beating 40 enemies, then
// the twentieth survivor wave the game generates from the levels' patterns ("Levels"), its rows placed across the
// screen at once (their distance steps shrunk to fit) so that they stand in the street with the Dragon's survivors,
// walking, reacting, knocking each other down (rolling barrels, thrown heads, bullets), attacking him and being
// drawn, while the 1,500 gibs lie and bounce. A street is the half second after the wave arrives (30 frames; the
// crowd thins as it fights: about 136 live enemies at the start, 89 half a second later); an iteration is one
// street, made untimed, and a repetition ten of them. Per frame only the sink's quads and texts are counted in the
// timing, on both sides. The game's street must end with at least 60 live enemies (in the list, not gone, with hit
// points, not projectiles) and the gibs at their cap, fewer live enemies than it began with, and its last frame must
// have drawn a shadow for every live enemy; GRINDLOW_BENCH_SKIP "PlayerStreetWave.engine.update" (no world update)
// or ".engine.draw" (no entity draw pass) fails that.
constexpr int gc_iWAVE_ROWS = 160;  // at most
constexpr int gc_iWAVE_MIN_LIVE = 60;
constexpr int gc_iWAVE_FRAMES = 30;   // the half second after the wave arrives
constexpr int gc_iWAVE_STREETS = 10;  // a repetition

// The levels' script text ("" when it cannot be read).
std::string sampleLevels() {
  std::ifstream in(GRINDLOW_SAMPLE_LEVELS, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

i32 liveEnemies() {
  i32 iLive = 0;
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    const ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pEnemy != nullptr && pEnemy->m_bGone == 0 && pEnemy->m_fHitPoints > 0.0f && !pEnemy->isProjectile()) {
      ++iLive;
    }
  }
  return iLive;
}

// The quads of a frame drawn with the shadows' shader: one under every entity the draw pass drew.
size_t shadowQuads(const std::vector<SWorldQuad>& quads) {
  static const u32 s_uiShadow = KvStrHash("vosk_shadow");
  return static_cast<size_t>(
      std::count_if(quads.begin(), quads.end(), [](const SWorldQuad& q) { return q.m_uiShaderHash == s_uiShadow; }));
}

// The street when the wave has arrived, as the game's world holds it: the plain side starts from it.
struct SStreetStart {
  struct SBody {
    f32 x, z, vx, vz, hp;
    i32 iLane;
    bool bProjectile;
  };
  struct SPiece {
    f32 x, y, z, vx, vy, vz, spin;
    i32 iBounces;  // -1: at rest
  };
  struct SDrop {
    f32 x, y, z, vx, vy, vz, fLife, fAge;
    i32 bLanded;
  };
  std::vector<SBody> bodies;
  std::vector<SPiece> gibs;
  std::vector<SDrop> blood;
  f32 fPlayerX = 0.0f;
  i32 iPlayerLane = 1;
  // The blood drops the game's street added for each enemy it beat (its hits bleed too): the plain side's rate.
  f32 fDropsPerBeating = 8.0f;
};

// One street's counts: the live enemies at its start and end, the gibs at its end, and per frame the quads and texts
// drawn; the last frame's shadows.
struct SStreetCounts {
  i32 iLiveAtStart = 0;
  i32 iLiveAtEnd = 0;
  i32 iGibsAtEnd = 0;
  size_t auiQuads[gc_iWAVE_FRAMES] = {};
  size_t auiTexts[gc_iWAVE_FRAMES] = {};
  size_t uiLastShadows = 0;
};

// The street ready for its timed frames: an empty answer, else what went wrong.
std::string prepareStreet(ClPlayerTestWorld& world, const ClDScriptData2* pLevels) {
  if (!world.m_error.empty()) return world.m_error;
  world.services().m_bSpawnGore = true;
  static const char* const s_apTypes[] = {"EnemyThug", "EnemyFast", "EnemyPistol"};
  for (int i = 0; i < gc_iENEMIES; ++i) {
    world.spawn(s_apTypes[i % 3], 150.0f + static_cast<f32>(i) * 8.0f, i % 3);
  }
  g_iMagicKind = 2;
  world.press(E_GAME_ACTION_MAGIC);
  for (int iFrame = 0; iFrame < 20 * 60 && (g_gibs.getCount() < gc_iGIB_CAP ||
                                            world.player().m_eState == E_PLAYER_STATE_DRAGON ||
                                            world.player().m_iHitAllFrames > 0);
       ++iFrame) {
    world.m_world.m_sink.m_quads.clear();
    world.m_world.m_sink.m_texts.clear();
    worldFrame(world);
  }
  if (g_gibs.getCount() < gc_iGIB_CAP) {
    return "the Dragon did not bring the gibs to their cap (" + std::to_string(g_gibs.getCount()) + ")";
  }
  // The twentieth survivor wave, as the game generates it (a wave's rows grow with its number).
  g_iGameType = 3;
  g_iWave = 19;
  g_fStarCooldown = 0.0f;
  ClSpawnMgr::initialize();
  ClSpawnMgr::generateEndlessSpawns(pLevels);
  const f32 fFirstX = 130.0f;
  const f32 fLastX = 370.0f;
  f32 fTotal = 0.0f;
  const i32 iRows = std::min(g_spawnRows.getCount(), gc_iWAVE_ROWS);
  for (i32 i = 1; i < iRows; ++i) fTotal += g_spawnRows[i].m_fDistance;
  f32 fAt = 0.0f;
  for (i32 i = 0; i < iRows; ++i) {
    if (i > 0) fAt += g_spawnRows[i].m_fDistance;
    const f32 fX = fTotal > 0.0f ? fFirstX + (fLastX - fFirstX) * fAt / fTotal : fFirstX;
    const SSpawnRow& row = g_spawnRows[i];
    if (std::strncmp(row.m_name.getCStr(), "Pickup", 6) == 0) {
      ClSpawnMgr::spawnCrate(row.m_iLane, row.m_name.getCStr(), fX);
    } else {
      ClSpawnMgr::spawnEnemy(row.m_iLane, row.m_name.getCStr(), fX);
    }
  }
  if (liveEnemies() < gc_iWAVE_MIN_LIVE) {
    return "the survivor wave gave " + std::to_string(iRows) + " rows and " + std::to_string(liveEnemies()) +
           " live enemies";
  }
  return std::string();
}

// What the game's world holds now, as the plain street's start.
SStreetStart snapshotStreet(ClPlayerTestWorld& world) {
  SStreetStart start;
  start.fPlayerX = world.player().m_vPosition[0];
  start.iPlayerLane = world.player().m_iLane;
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    const ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pEnemy == nullptr || pEnemy->m_bGone != 0 || (pEnemy->m_fHitPoints <= 0.0f && !pEnemy->isProjectile())) {
      continue;
    }
    start.bodies.push_back({pEnemy->m_vPosition[0], pEnemy->m_vPosition[2], pEnemy->m_vVelocity[0],
                            pEnemy->m_vVelocity[2], pEnemy->m_fHitPoints, pEnemy->m_iLane, pEnemy->isProjectile()});
  }
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    const SGib& gib = g_gibs[i];
    start.gibs.push_back({gib.m_vPosition[0], gib.m_vPosition[1], gib.m_vPosition[2], gib.m_vVelocity[0],
                          gib.m_vVelocity[1], gib.m_vVelocity[2], gib.m_fSpinRate,
                          gib.m_vAcceleration[2] == 0.0f ? -1 : gib.m_iBounces});
  }
  for (i32 i = 0; i < g_bloodSplats.getCount(); ++i) {
    const SBloodSplat& drop = g_bloodSplats[i];
    start.blood.push_back({drop.m_vPosition[0], drop.m_vPosition[1], drop.m_vPosition[2], drop.m_vVelocity[0],
                           drop.m_vVelocity[1], drop.m_vVelocity[2], drop.m_fLifetime, drop.m_fAge, drop.m_bLanded});
  }
  return start;
}

// One street of the game's world: made and played to the wave untimed, its frames timed on pState when given (the
// update or the entity draw pass left out as told); fills the counts and, when given, the start for the plain side.
// An empty answer, else what went wrong.
std::string playStreet(benchmark::State* pState, bool bUpdate, bool bDraw, SStreetCounts* pCounts,
                       SStreetStart* pStart) {
  const std::string enemies = sampleEnemies();
  ClDScriptData2* pLevels = nullptr;
  std::string error;
  if (!enemies.empty()) pLevels = KvTestCompileScript(sampleLevels(), "Levels", &error);
  if (enemies.empty() || pLevels == nullptr) return "the sample scripts could not be read: " + error;
  {
    ClPlayerTestWorld world(7, enemies);
    error = prepareStreet(world, pLevels);
    if (error.empty()) {
      pCounts->iLiveAtStart = liveEnemies();
      if (pStart != nullptr) *pStart = snapshotStreet(world);
      std::vector<SWorldQuad>& quads = world.m_world.m_sink.m_quads;
      std::vector<ClRecordingDrawSink::SText>& texts = world.m_world.m_sink.m_texts;
      if (pState != nullptr) pState->ResumeTiming();
      for (i32 iFrame = 0; iFrame < gc_iWAVE_FRAMES; ++iFrame) {
        quads.clear();
        texts.clear();
        if (bUpdate) world.step(gc_fDT, g_bMagicFreeze != 0 ? 0.0f : gc_fDT);
        GoreFx::update();
        if (bDraw) EntityList::drawPass();
        GoreFx::draw();
        pCounts->auiQuads[iFrame] = quads.size();
        pCounts->auiTexts[iFrame] = texts.size();
      }
      if (pState != nullptr) pState->PauseTiming();
      pCounts->iLiveAtEnd = liveEnemies();
      if (pStart != nullptr && pCounts->iLiveAtEnd < pCounts->iLiveAtStart) {
        pStart->fDropsPerBeating = static_cast<f32>(g_bloodSplats.getCount() - static_cast<i32>(pStart->blood.size())) /
                                   static_cast<f32>(pCounts->iLiveAtStart - pCounts->iLiveAtEnd);
      }
      pCounts->iGibsAtEnd = g_gibs.getCount();
      pCounts->uiLastShadows = shadowQuads(quads);
    }
    GoreFx::releaseAll();
    ClSpawnMgr::terminate();
  }
  ClDScriptData2::destroyTree(pLevels);
  g_iGameType = 0;
  g_iWave = 0;
  return error;
}

// The engine's street, counted as the plain side's start and workload, once a process.
std::optional<SStreetStart> s_streetStart;

void BM_Engine_PlayerStreetWave(benchmark::State& state) {
  const bool bUpdate = !benchSkips("PlayerStreetWave.engine.update");
  const bool bDraw = !benchSkips("PlayerStreetWave.engine.draw");
  f64 fQuads = 0.0;
  f64 fTexts = 0.0;
  i64 iBeaten = 0;
  i32 iFewestLive = 1 << 30;
  for (auto _ : state) {
    state.PauseTiming();
    SStreetCounts counts;
    SStreetStart start;
    const std::string error = playStreet(&state, bUpdate, bDraw, &counts, s_streetStart ? nullptr : &start);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    if (!s_streetStart) s_streetStart = start;
    for (i32 i = 0; i < gc_iWAVE_FRAMES; ++i) {
      fQuads += static_cast<f64>(counts.auiQuads[i]);
      fTexts += static_cast<f64>(counts.auiTexts[i]);
    }
    iFewestLive = std::min(iFewestLive, counts.iLiveAtEnd);
    iBeaten += counts.iLiveAtStart - counts.iLiveAtEnd;
    std::string problem;
    if (counts.iLiveAtEnd < gc_iWAVE_MIN_LIVE || counts.iGibsAtEnd < gc_iGIB_CAP) {
      problem = "the street ended with " + std::to_string(counts.iLiveAtEnd) + " live enemies and " +
                std::to_string(counts.iGibsAtEnd) + " gibs";
    } else if (counts.iLiveAtEnd >= counts.iLiveAtStart) {
      problem = "nobody was beaten: " + std::to_string(counts.iLiveAtStart) + " live enemies at the start, " +
                std::to_string(counts.iLiveAtEnd) + " at the end";
    } else if (counts.uiLastShadows < static_cast<size_t>(counts.iLiveAtEnd)) {
      problem = "the last frame drew " + std::to_string(counts.uiLastShadows) + " shadows for " +
                std::to_string(counts.iLiveAtEnd) + " live enemies";
    }
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
    state.ResumeTiming();
  }
  const f64 fFrames = static_cast<f64>(state.iterations()) * gc_iWAVE_FRAMES;
  state.counters["frame_us"] = benchmark::Counter(fFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["fewest_live"] = iFewestLive;
  state.counters["beaten"] = static_cast<f64>(iBeaten) / static_cast<f64>(state.iterations());
  state.counters["quads_per_frame"] = fQuads / fFrames;
  state.counters["texts_per_frame"] = fTexts / fFrames;
}
BENCHMARK(BM_Engine_PlayerStreetWave)->Iterations(gc_iWAVE_STREETS)->Unit(benchmark::kMillisecond);

// The same street written plainly, from the game's street as the wave arrives (its bodies with their lanes, hit
// points and speeds, its gibs and blood drops, the player's place): plain records and rules of its own. An enemy
// walks to the player along its lane, attacks him when it reaches him (a hit after 0.4 s if he is still there),
// and, walking, draws one random number a frame: one in 100 throws something at him. A thrown thing (or one
// already flying) knocks down the first standing enemy of its lane within reach: the enemy is beaten (the score
// with its multiplier, a floating text for a second, six gibs replacing the oldest at the cap, and as many blood
// drops as the game's street added for each enemy it beat),
// falls, lies a quarter of a second and is taken out of the street. Gibs and drops fly under gravity; a landing gib
// comes to rest or bounces leaving a splat (the game's odds), a drop stays where it lands for its lifetime. The draw pass: every enemy's body (its state's flip-book frame from
// its clock), shadow and target marker, every thrown thing, gib and drop as quad records of the engine's kind, and
// a text record per floating text. Its checks: enemies were beaten and taken out, a thrown thing hit, gibs landed,
// and the last frame drew a shadow for every enemy; ".baseline.fights" (no thrown thing hits) or ".baseline.draw"
// (no bodies drawn) fails them.
class CPlainStreet {
 public:
  explicit CPlainStreet(const SStreetStart& start)
      : m_fPlayerX(start.fPlayerX),
        m_iPlayerLane(start.iPlayerLane),
        m_iDropsPerBeating(std::max(1, static_cast<i32>(start.fDropsPerBeating + 0.5f))) {
    for (const SStreetStart::SBody& body : start.bodies) {
      if (body.bProjectile) {
        m_shots.push_back({body.x, body.vx != 0.0f ? body.vx : (body.x < m_fPlayerX ? 200.0f : -200.0f), 2.0f,
                           body.iLane});
      } else {
        m_enemies.push_back({body.x, KvLaneLine(body.iLane), body.z, body.vz, body.hp, 0.0f, 0.0f, body.iLane, WALK});
      }
    }
    for (const SStreetStart::SPiece& gib : start.gibs) {
      m_gibs.push_back({gib.x, gib.y, gib.z, gib.vx, gib.vy, gib.vz, gib.spin, 0.0f, gib.iBounces});
    }
    for (const SStreetStart::SDrop& drop : start.blood) {
      m_blood.push_back({drop.x, drop.y, drop.z, drop.vx, drop.vy, drop.vz, drop.fLife, drop.fAge, drop.bLanded});
    }
    m_quads.reserve(16384);
  }

  void frame(bool bFights, bool bDraw) {
    for (size_t i = 0; i < m_enemies.size();) {
      SEnemy& e = m_enemies[i];
      e.fClock += gc_fDT;
      e.fStateTime += gc_fDT;
      const f32 dx = m_fPlayerX - e.x;
      const bool bAtPlayer = std::fabs(dx) <= 24.0f && e.iLane == m_iPlayerLane;
      const f32 fStep = 400.0f * gc_fDT;
      const f32 fLine = KvLaneLine(e.iLane);
      e.y = e.y < fLine ? std::fmin(e.y + fStep, fLine) : std::fmax(e.y - fStep, fLine);
      if (e.eState == WALK) {
        const f32 r = KvMath::randomUnitFloat();
        if (bAtPlayer) {
          setState(e, ATTACK);
        } else {
          e.x += (dx > 0.0f ? 40.0f : -40.0f) * gc_fDT;
          if (r < 0.01f) m_shots.push_back({e.x, dx > 0.0f ? 200.0f : -200.0f, 2.0f, e.iLane});
        }
      } else if (e.eState == ATTACK && e.fStateTime > 0.4f) {
        m_iPlayerHits += bAtPlayer ? 1 : 0;
        setState(e, WALK);
      } else if (e.eState == DOWN) {
        e.z += e.vz * gc_fDT;
        e.vz += gc_fGORE_GRAVITY * gc_fDT;
        if (e.z > 0.0f) {
          e.z = 0.0f;
          e.vz = 0.0f;
        }
        if (e.fStateTime > 0.25f) {
          e = m_enemies.back();
          m_enemies.pop_back();
          ++m_iTakenOut;
          continue;
        }
      }
      ++i;
    }
    for (size_t s = 0; s < m_shots.size();) {
      SShot& shot = m_shots[s];
      shot.x += shot.vx * gc_fDT;
      shot.fLife -= gc_fDT;
      bool bHit = false;
      for (SEnemy& e : m_enemies) {
        if (!bFights || bHit || e.eState == DOWN || e.iLane != shot.iLane || std::fabs(e.x - shot.x) > 12.0f) continue;
        bHit = true;
        beat(e);
      }
      if (bHit || shot.fLife <= 0.0f) {
        shot = m_shots.back();
        m_shots.pop_back();
      } else {
        ++s;
      }
    }
    // A gib that lands comes to rest (more likely with every bounce) or bounces at three tenths of its speed,
    // leaving a splat.
    for (SPiece& g : m_gibs) {
      if (g.iBounces < 0) continue;
      fly(g);
      if (g.z <= 0.0f) continue;
      g.z = 0.0f;
      ++m_iLandings;
      if (KvMath::randomUnitFloat() <= static_cast<f32>(g.iBounces) * 0.1f + 0.2f) {
        g.vx = g.vy = g.vz = g.spin = 0.0f;
        g.iBounces = -1;
      } else {
        g.vx *= 0.3f;
        g.vy *= 0.3f;
        g.vz *= -0.3f;
        ++g.iBounces;
        m_blood.push_back({g.x, g.y, 0.0f, 0.0f, 0.0f, 0.0f, gc_fSPLAT_SECONDS, 0.0f, 1});
      }
    }
    for (size_t d = 0; d < m_blood.size();) {
      SPiece& drop = m_blood[d];
      drop.fAge += gc_fDT;
      if (drop.iBounces == 0) fly(drop);
      if (drop.iBounces == 0 && drop.z > 0.0f) {
        drop.z = 0.0f;
        drop.iBounces = 1;
      }
      if (drop.fAge > drop.spin) {
        drop = m_blood.back();
        m_blood.pop_back();
      } else {
        ++d;
      }
    }
    for (size_t t = 0; t < m_texts.size();) {
      m_texts[t].fAge += gc_fDT;
      m_texts[t].y -= 20.0f * gc_fDT;
      if (m_texts[t].fAge > 1.0f) {
        m_texts[t] = m_texts.back();
        m_texts.pop_back();
      } else {
        ++t;
      }
    }
    draw(bDraw);
  }

  const std::vector<SWorldQuad>& quads() const { return m_quads; }
  size_t texts() const { return m_texts.size(); }
  size_t enemies() const { return m_enemies.size(); }
  i64 beaten() const { return m_iBeaten; }
  i64 takenOut() const { return m_iTakenOut; }
  i64 landings() const { return m_iLandings; }
  i64 score() const { return m_iScore; }

 private:
  enum E_STATE { WALK, ATTACK, DOWN };
  static constexpr f32 gc_fSPLAT_SECONDS = 10.0f;
  struct SEnemy {
    f32 x, y, z, vz, hp, fClock, fStateTime;
    i32 iLane;
    E_STATE eState;
  };
  struct SShot {
    f32 x, vx, fLife;
    i32 iLane;
  };
  // A gib (spin: radians a second, fAge its angle, iBounces -1 at rest) or a blood drop (spin: its lifetime,
  // iBounces: landed).
  struct SPiece {
    f32 x, y, z, vx, vy, vz, spin, fAge;
    i32 iBounces;
  };
  struct SText {
    std::string text;
    i32 iPoints;
    f32 x, y, fAge;
  };

  static void setState(SEnemy& e, E_STATE eState) {
    e.eState = eState;
    e.fStateTime = 0.0f;
  }
  static void fly(SPiece& p) {
    p.x += p.vx * gc_fDT;
    p.y += p.vy * gc_fDT;
    p.z += p.vz * gc_fDT;
    p.vz += gc_fGORE_GRAVITY * gc_fDT;
    p.fAge += p.spin * gc_fDT;
  }
  SPiece piece(f32 x, f32 y, f32 fSpeed) {
    const f32 a = KvMath::randomUnitFloat() * 6.283f;
    return {x, y, -20.0f, fSpeed * std::cos(a), fSpeed * 0.3f * std::sin(a), -fSpeed, 6.0f, 0.0f, 0};
  }
  void beat(SEnemy& e) {
    e.hp = 0.0f;
    e.vz = -150.0f;
    setState(e, DOWN);
    ++m_iBeaten;
    const i32 iPoints = static_cast<i32>(100.0f * m_fMultiplier);
    m_iScore += iPoints;
    m_fMultiplier = std::min(m_fMultiplier + 0.1f, 4.0f);
    m_texts.push_back({"enemy_score_hit", iPoints, e.x, e.y - 40.0f, 0.0f});
    for (i32 k = 0; k < 6; ++k) {
      const SPiece gib = piece(e.x, e.y, 100.0f + 300.0f * KvMath::randomUnitFloat());
      if (static_cast<i32>(m_gibs.size()) < gc_iGIB_CAP) {
        m_gibs.push_back(gib);
      } else {
        m_gibs[m_iOldestGib] = gib;
        m_iOldestGib = (m_iOldestGib + 1) % gc_iGIB_CAP;
      }
    }
    for (i32 k = 0; k < m_iDropsPerBeating; ++k) {
      SPiece drop = piece(e.x, e.y, 50.0f + 100.0f * KvMath::randomUnitFloat());
      drop.spin = 4.0f;
      m_blood.push_back(drop);
    }
  }
  void quad(const SAtlasEntry* pEntry, f32 x, f32 y, f32 fDepth, u32 uiColor, u32 uiShader) {
    const auto snap = [](f32 v) { return static_cast<f32>(std::floor(static_cast<f64>(v) * 1.25 + 0.5)); };
    SWorldQuad q;
    q.mp_pEntry = pEntry;
    q.m_vPosition = {snap(x), snap(y)};
    q.m_vPivot = {8.0f, 16.0f};
    q.m_uiColor = uiColor;
    q.m_uiShaderHash = uiShader;
    q.m_fDepth = fDepth;
    m_quads.push_back(q);
  }
  void draw(bool bBodies) {
    static const u32 s_uiBody = KvStrHash("system_blend_premult");
    static const u32 s_uiShadow = KvStrHash("vosk_shadow");
    m_quads.clear();
    for (size_t i = 0; i < m_enemies.size() && bBodies; ++i) {
      const SEnemy& e = m_enemies[i];
      const i32 iFrame = static_cast<i32>(e.eState) * 8 + static_cast<i32>(e.fClock * 10.0f) % 8;
      const f32 fDepth = (100.0f - e.y) + static_cast<f32>(i) * 0.1f;
      quad(&m_aImages[iFrame], e.x, e.y + e.z, fDepth, 0xFFFFFFFFu, s_uiBody);
      quad(&m_shadowImage, e.x, e.y, 100.0f, 0xFFFFFFFFu, s_uiShadow);
      if (e.eState != DOWN) quad(&m_markerImage, e.x, e.y - 27.0f, fDepth - 1.0f, 0x80FFFFFFu, s_uiBody);
    }
    for (const SShot& shot : m_shots) quad(&m_shotImage, shot.x, KvLaneLine(shot.iLane) - 20.0f, 50.0f, 0xFFFFFFFFu, s_uiBody);
    for (const SPiece& g : m_gibs) quad(&m_gibImage, g.x, g.y + g.z, (100.0f - g.y) + std::cos(g.fAge), 0xFFFFFFFFu, s_uiBody);
    for (const SPiece& d : m_blood) quad(&m_dropImage, d.x, d.y + d.z, 100.0f - d.y, 0xFF2020C0u, s_uiBody);
  }

  f32 m_fPlayerX;
  i32 m_iPlayerLane;
  i32 m_iDropsPerBeating;
  std::vector<SEnemy> m_enemies;
  std::vector<SShot> m_shots;
  std::vector<SPiece> m_gibs;
  std::vector<SPiece> m_blood;
  std::vector<SText> m_texts;
  std::vector<SWorldQuad> m_quads;
  i32 m_iOldestGib = 0;
  f32 m_fMultiplier = 1.0f;
  i64 m_iScore = 0;
  i64 m_iBeaten = 0;
  i64 m_iTakenOut = 0;
  i64 m_iLandings = 0;
  i64 m_iPlayerHits = 0;
  SAtlasEntry m_aImages[24] = {};
  SAtlasEntry m_shadowImage{};
  SAtlasEntry m_markerImage{};
  SAtlasEntry m_shotImage{};
  SAtlasEntry m_gibImage{};
  SAtlasEntry m_dropImage{};
};

void BM_Baseline_PlayerStreetWave(benchmark::State& state) {
  if (!s_streetStart) {
    SStreetCounts counts;
    SStreetStart start;
    const std::string error = playStreet(nullptr, true, true, &counts, &start);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    s_streetStart = start;
  }
  const bool bFights = !benchSkips("PlayerStreetWave.baseline.fights");
  const bool bDraw = !benchSkips("PlayerStreetWave.baseline.draw");
  f64 fQuads = 0.0;
  f64 fTexts = 0.0;
  i64 iBeaten = 0;
  size_t auiQuads[gc_iWAVE_FRAMES] = {};
  size_t auiTexts[gc_iWAVE_FRAMES] = {};
  for (auto _ : state) {
    state.PauseTiming();
    sfmtInitGenRand(7);
    CPlainStreet street(*s_streetStart);
    state.ResumeTiming();
    for (i32 iFrame = 0; iFrame < gc_iWAVE_FRAMES; ++iFrame) {
      street.frame(bFights, bDraw);
      auiQuads[iFrame] = street.quads().size();
      auiTexts[iFrame] = street.texts();
    }
    state.PauseTiming();
    std::string problem;
    if (street.beaten() == 0 || street.takenOut() == 0 || street.landings() == 0 ||
        street.score() < 100 * street.beaten()) {
      problem = "the plain street's fights did not happen: " + std::to_string(street.beaten()) + " beaten, " +
                std::to_string(street.takenOut()) + " taken out, " + std::to_string(street.landings()) +
                " gibs landed";
    } else if (shadowQuads(street.quads()) != street.enemies()) {
      problem = "the last frame drew " + std::to_string(shadowQuads(street.quads())) + " shadows for " +
                std::to_string(street.enemies()) + " enemies";
    }
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
    for (i32 i = 0; i < gc_iWAVE_FRAMES; ++i) {
      fQuads += static_cast<f64>(auiQuads[i]);
      fTexts += static_cast<f64>(auiTexts[i]);
    }
    iBeaten += street.beaten();
    state.ResumeTiming();
  }
  const f64 fFrames = static_cast<f64>(state.iterations()) * gc_iWAVE_FRAMES;
  state.counters["frame_us"] = benchmark::Counter(fFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["beaten"] = static_cast<f64>(iBeaten) / static_cast<f64>(state.iterations());
  state.counters["quads_per_frame"] = fQuads / fFrames;
  state.counters["texts_per_frame"] = fTexts / fFrames;
}
BENCHMARK(BM_Baseline_PlayerStreetWave)->Iterations(gc_iWAVE_STREETS)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

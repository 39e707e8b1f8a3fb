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
  world.press(E_PLAYER_COMMAND_MAGIC);
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
// the twentieth survivor wave the game generates from the levels' patterns ("Levels"), its rows placed across the screen
// at once (their distance steps shrunk to fit) so that they stand in the street with the Dragon's survivors,
// walking, reacting, knocking each other down (rolling barrels, thrown heads, bullets), attacking him and being
// drawn, while the 1,500 gibs lie and bounce. Each iteration is one frame; a repetition is the half second after the
// wave arrives (the crowd thins as it fights: about 100 live enemies at the start, 74 half a second later). The run stops with an error unless every timed frame
// had at least 60 live enemies (in the list, not gone, with hit points, not projectiles) and the gibs at their cap.
constexpr int gc_iWAVE_ROWS = 160;  // at most
constexpr int gc_iWAVE_MIN_LIVE = 60;
constexpr int gc_iWAVE_FRAMES = 30;  // the half second after the wave arrives

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

// What one frame of the street held and drew, averaged over the timed frames (the plain side's workload).
struct SStreetWorkload {
  f64 m_fLive = 0.0;
  f64 m_fEnemies = 0.0;  // every entity but the player, projectiles included
  f64 m_fGibs = 0.0;
  f64 m_fBlood = 0.0;
  f64 m_fQuads = 0.0;
  f64 m_fTexts = 0.0;
};

// The street ready for its timed second: an empty answer, else what went wrong.
std::string prepareStreet(ClPlayerTestWorld& world, const ClDScriptData2* pLevels) {
  if (!world.m_error.empty()) return world.m_error;
  world.services().m_bSpawnGore = true;
  static const char* const s_apTypes[] = {"EnemyThug", "EnemyFast", "EnemyPistol"};
  for (int i = 0; i < gc_iENEMIES; ++i) {
    world.spawn(s_apTypes[i % 3], 150.0f + static_cast<f32>(i) * 8.0f, i % 3);
  }
  g_iMagicKind = 2;
  world.press(E_PLAYER_COMMAND_MAGIC);
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

// The timed frames' workload, once a process for the plain side (the run does not vary: fixed seed and frames).
std::optional<SStreetWorkload> s_streetWork;

// Plays the street to its timed half second and runs it: one frame an iteration of pState when given (the checks
// outside the timing), else gc_iWAVE_FRAMES frames. Fills the workload, the fewest live enemies and gibs of a
// frame; an empty answer, else what went wrong.
std::string runStreet(benchmark::State* pState, SStreetWorkload* pWork, i32* piFewestLive, i32* piFewestGibs) {
  const std::string enemies = sampleEnemies();
  ClDScriptData2* pLevels = nullptr;
  std::string error;
  if (!enemies.empty()) pLevels = KvTestCompileScript(sampleLevels(), "Levels", &error);
  if (enemies.empty() || pLevels == nullptr) return "the sample scripts could not be read: " + error;
  *piFewestLive = 1 << 30;
  *piFewestGibs = 1 << 30;
  i64 iFrames = 0;
  {
    ClPlayerTestWorld world(7, enemies);
    error = prepareStreet(world, pLevels);
    const auto frame = [&] {
      world.m_world.m_sink.m_quads.clear();
      world.m_world.m_sink.m_texts.clear();
      worldFrame(world);
    };
    const auto count = [&] {
      const i32 iLive = liveEnemies();
      *piFewestLive = std::min(*piFewestLive, iLive);
      *piFewestGibs = std::min(*piFewestGibs, g_gibs.getCount());
      pWork->m_fLive += iLive;
      pWork->m_fEnemies += g_entityList.getCount() - 1;
      pWork->m_fGibs += g_gibs.getCount();
      pWork->m_fBlood += g_bloodSplats.getCount();
      pWork->m_fQuads += static_cast<f64>(world.m_world.m_sink.m_quads.size());
      pWork->m_fTexts += static_cast<f64>(world.m_world.m_sink.m_texts.size());
      ++iFrames;
    };
    if (error.empty() && pState != nullptr) {
      for (auto _ : *pState) {
        frame();
        pState->PauseTiming();
        count();
        pState->ResumeTiming();
      }
    } else if (error.empty()) {
      for (i32 i = 0; i < gc_iWAVE_FRAMES; ++i) {
        frame();
        count();
      }
    }
    GoreFx::releaseAll();
    ClSpawnMgr::terminate();
  }
  ClDScriptData2::destroyTree(pLevels);
  g_iGameType = 0;
  g_iWave = 0;
  if (!error.empty()) return error;
  if (*piFewestLive < gc_iWAVE_MIN_LIVE || *piFewestGibs < gc_iGIB_CAP) {
    return "a timed frame had " + std::to_string(*piFewestLive) + " live enemies and " +
           std::to_string(*piFewestGibs) + " gibs";
  }
  for (f64* pValue : {&pWork->m_fLive, &pWork->m_fEnemies, &pWork->m_fGibs, &pWork->m_fBlood, &pWork->m_fQuads,
                      &pWork->m_fTexts}) {
    *pValue /= static_cast<f64>(std::max<i64>(1, iFrames));
  }
  return std::string();
}

void BM_Engine_PlayerStreetWave(benchmark::State& state) {
  SStreetWorkload work;
  i32 iFewestLive = 0;
  i32 iFewestGibs = 0;
  const std::string error = runStreet(&state, &work, &iFewestLive, &iFewestGibs);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  s_streetWork = work;
  state.counters["fewest_live"] = iFewestLive;
  state.counters["fewest_gibs"] = iFewestGibs;
  state.counters["live_per_frame"] = work.m_fLive;
  state.counters["blood_per_frame"] = work.m_fBlood;
  state.counters["quads_per_frame"] = work.m_fQuads;
  state.counters["texts_per_frame"] = work.m_fTexts;
}
BENCHMARK(BM_Engine_PlayerStreetWave)->Iterations(gc_iWAVE_FRAMES)->Unit(benchmark::kMicrosecond);

// The same half second from arrays, on the engine's measured workload (its live enemies, other entities, gibs,
// blood drops, quads and texts a frame, averaged; when the engine's case has not run in this process the street is
// played untimed first): every entity moves, follows its lane, draws one random number for its reactions, turns around at a
// distance, and the projectiles among them test every other entity for a hit within 40 units (knocking it down, a
// score added); contact with the player in his lane; then the blood and the gibs fly under gravity and land (the
// gibs bounce once), and the draw pass writes the same number of quads as the engine's frame (body, shadow and
// target marker an enemy, one a gib and a drop, the rest sparks and rings) into records of the engine's size, and
// the same number of texts. It checks the quads and texts of every frame and that hits were scored.
void BM_Baseline_PlayerStreetWave(benchmark::State& state) {
  if (!s_streetWork) {
    SStreetWorkload work;
    i32 iFewestLive = 0;
    i32 iFewestGibs = 0;
    const std::string error = runStreet(nullptr, &work, &iFewestLive, &iFewestGibs);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    s_streetWork = work;
  }
  const SStreetWorkload work = *s_streetWork;
  const i32 iEntities = static_cast<i32>(work.m_fEnemies + 0.5);
  const i32 iProjectiles = std::max(0, iEntities - static_cast<i32>(work.m_fLive + 0.5));
  const i32 iGibs = static_cast<i32>(work.m_fGibs + 0.5);
  const i32 iBlood = static_cast<i32>(work.m_fBlood + 0.5);
  const size_t uiQuads = static_cast<size_t>(work.m_fQuads + 0.5);
  const size_t uiTexts = static_cast<size_t>(work.m_fTexts + 0.5);
  struct SBody {
    f32 x, y, z, vx, vz, line, hp;
  };
  struct SPiece {
    f32 x, y, z, vx, vy, vz, spin, angle;
    i32 landed;
  };
  struct SText {
    std::string text;
    f32 x, y;
  };
  static const SAtlasEntry s_entry{};
  sfmtInitGenRand(7);
  std::vector<SBody> bodies(static_cast<size_t>(iEntities));
  for (i32 i = 0; i < iEntities; ++i) {
    const i32 iLane = i % 3;
    bodies[static_cast<size_t>(i)] = {130.0f + 240.0f * KvMath::randomUnitFloat(), KvLaneLine(iLane), 0.0f,
                                      i < iProjectiles ? -200.0f : -40.0f, 0.0f, KvLaneLine(iLane), 3.0f};
  }
  const auto piece = [] {
    const f32 s = KvMath::randomUnitFloat() * 440.0f + 10.0f;
    const f32 a = KvMath::randomUnitFloat() * 6.283f;
    return SPiece{100.0f + KvMath::randomUnitFloat() * 280.0f, 115.0f + KvMath::randomUnitFloat() * 85.0f,
                  -20.0f, s * std::cos(a) * 0.3f, 0.0f, -s * 0.5f, KvMath::randomUnitFloat() * 12.0f - 6.0f, 0.0f, 0};
  };
  std::vector<SPiece> gibs(static_cast<size_t>(iGibs)), blood(static_cast<size_t>(iBlood));
  for (SPiece& g : gibs) g = piece();
  for (SPiece& b : blood) b = piece();
  std::vector<SWorldQuad> quads;
  quads.reserve(uiQuads);
  std::vector<SText> texts;
  texts.reserve(uiTexts);
  const auto snap = [](f32 v) { return static_cast<f32>(std::floor(static_cast<f64>(v) * 1.25 + 0.5)); };
  const auto quad = [&](f32 x, f32 y, f32 fDepth, u32 uiColor) {
    SWorldQuad q;
    q.mp_pEntry = &s_entry;
    q.m_vPosition = {snap(x), snap(y)};
    q.m_vPivot = {8.0f, 16.0f};
    q.m_uiColor = uiColor;
    q.m_uiShaderHash = 0x9E3779B9u;
    q.m_fDepth = fDepth;
    quads.push_back(q);
  };
  const f32 fPlayerX = 100.0f;
  const f32 fPlayerY = KvLaneLine(1);
  i64 iHits = 0;
  i64 iScore = 0;
  i64 iContacts = 0;
  bool bAllDrawn = true;
  for (auto _ : state) {
    for (SBody& b : bodies) {
      b.x += b.vx * gc_fDT;
      b.z += b.vz * gc_fDT;
      const f32 fStep = 400.0f * gc_fDT;
      b.y = b.y < b.line ? std::fmin(b.y + fStep, b.line) : std::fmax(b.y - fStep, b.line);
      const f32 r = KvMath::randomUnitFloat();
      if (std::fabs(b.x - fPlayerX) > 300.0f || r < 0.002f) b.vx = -b.vx;
      if (b.line == fPlayerY && (b.x - fPlayerX) * (b.x - fPlayerX) <= 100.0f) ++iContacts;
    }
    for (i32 p = 0; p < iProjectiles; ++p) {
      const SBody& shot = bodies[static_cast<size_t>(p)];
      for (i32 i = 0; i < iEntities; ++i) {
        SBody& target = bodies[static_cast<size_t>(i)];
        if (i == p) continue;
        const f32 dx = target.x - shot.x;
        const f32 dy = target.y - shot.y;
        if (std::sqrt(dx * dx + dy * dy) < 40.0f && target.hp > 0.0f) {
          target.hp -= 1.0f;
          iScore += 100;
          ++iHits;
        }
      }
    }
    for (std::vector<SPiece>* pPieces : {&gibs, &blood}) {
      for (SPiece& g : *pPieces) {
        g.x += g.vx * gc_fDT;
        g.y += g.vy * gc_fDT;
        g.z += g.vz * gc_fDT;
        g.vz += gc_fGORE_GRAVITY * gc_fDT;
        g.angle += g.spin * gc_fDT;
        if (g.z > 0.0f && g.vz > 0.0f) {
          g.z = 0.0f;
          g.vz = g.landed == 0 && pPieces == &gibs ? g.vz * -0.4f : 0.0f;
          g.vx *= 0.5f;
          g.spin = 0.0f;
          g.landed = 1;
        }
      }
    }
    quads.clear();
    texts.clear();
    for (size_t i = 0; i < bodies.size(); ++i) {
      const SBody& b = bodies[i];
      const f32 fDepth = (100.0f - b.y) + static_cast<f32>(i) * 0.1f;
      quad(b.x, b.y + b.z, fDepth, 0xFFFFFFFFu);
      quad(b.x, b.y, 100.0f, 0xFFFFFFFFu);
      if (quads.size() < uiQuads) quad(b.x, b.y - 27.0f, fDepth - 1.0f, 0x80FFFFFFu);
    }
    for (const SPiece& g : gibs) {
      if (quads.size() < uiQuads) quad(g.x, g.y + g.z, (100.0f - g.y) + std::cos(g.angle), 0xFFFFFFFFu);
    }
    for (const SPiece& d : blood) {
      if (quads.size() < uiQuads) quad(d.x, d.y + d.z, 100.0f - d.y, 0xFF2020C0u);
    }
    for (size_t k = 0; quads.size() < uiQuads; ++k) {
      quad(static_cast<f32>(k % 384), 150.0f, 1.0f, 0xFFFFFFFFu);
    }
    for (size_t t = 0; t < uiTexts; ++t) {
      texts.push_back({"enemy_score_hit", 100.0f + static_cast<f32>(t), 80.0f});
    }
    bAllDrawn = bAllDrawn && quads.size() == uiQuads && texts.size() == uiTexts;
    benchmark::DoNotOptimize(quads.data());
    benchmark::DoNotOptimize(texts.data());
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(iContacts);
  if (!bAllDrawn) {
    state.SkipWithError("a frame did not write the engine's number of quads and texts");
  } else if (iProjectiles > 0 && (iHits == 0 || iScore != iHits * 100)) {
    state.SkipWithError("no hit was scored");
  }
}
BENCHMARK(BM_Baseline_PlayerStreetWave)->Iterations(gc_iWAVE_FRAMES)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

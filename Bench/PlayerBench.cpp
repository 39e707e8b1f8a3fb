// The busiest second of a magic special with everything drawn: the Dragon's last half second (its breath, the
// embers coming at 40 a second on top of the 30 of the breath's start, every part drawn) and the half second after
// it, when its hit-all frames beat 40 enemies at once and the gore effects take over: magic gibs (up to the cap),
// blood and score texts spawned by the hits through the world's services, moving and drawn every frame. One frame at
// a time into a recording sink, against a plain loop that updates and emits the same numbers of quads from arrays.
// The frame budget is 16.7 ms; the aim is under 2 ms on one core. The counters show the work was done: quads and
// live gibs a frame. The engine's side checks every frame (with the timing paused): it must end with a quad for
// every gib and trail the gore records hold and draw what the second played untimed with every step (once a
// process) drew, to the bit; the run stops with an error when no gib flew. GRINDLOW_BENCH_SKIP
// "PlayerDragonBusiestSecond.engine.<update|draw|gore|goreupdate>" leaves out the world's update, the entities' draw
// pass, the gore's draw or the gore's update; ".baseline.hits" the hit resolution, ".baseline.gibs" the gibs' flight
// and quads (the plain side's checks: every frame as many quads as the engine's, every gib it holds drawn, gibs
// flying in as many frames as the engine's, give or take two, and the engine's kills); ".engine.everysecond" the
// entities' draw pass of every second frame, ".baseline.everysecond" the last quad of every second frame;
// ".<side>.partial" the last quad of every frame; "<case>.engine.repeat" (of this case and PlayerStreetWave) every
// third frame of a second (the last frame's drawing kept), ".engine.middle" changes one quad of the middle frame.
// The plain sides' checks count quads: a changed quad does not show there. The Dragon's timed seconds each play a
// seed of their own, checked against the same second played untimed after it; ".engine.replay" gives the process's
// record (of another seed) instead. PlayerStreetWave's timed waves play the record's seed (another seed plays
// another wave, with other work than the plain side's, which follows the record): a side that gave the record's
// hashes there would pass.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Bench/BenchPlainStreet.h"
#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

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

// The steps of a game frame (the Dragon's second, the street).
struct SStreetSteps {
  bool bUpdate = true;      // the world's update
  bool bDraw = true;        // the entities' draw pass
  bool bGoreUpdate = true;  // the gore effects' update
  bool bGoreDraw = true;    // the gore effects drawn
  CBenchEverySecond everySecond{std::string()};  // the entities' draw pass left out of every second frame
  CBenchCheat cheat{std::string()};  // the steps that cheat: a frame's last quad, every third frame, the middle one
};

// Frame iFrame of iFrames as a side's cheating steps leave it: false when the frame is not to be played (every third
// frame of "repeat": the last frame's drawing stays); after it, cheated() leaves out the last quad ("partial") or
// changes one ("middle").
bool playsFrame(const SStreetSteps& steps, i32 iFrame) { return !steps.cheat.repeats(iFrame); }
void cheated(const SStreetSteps& steps, i32 iFrame, i32 iFrames, std::vector<SWorldQuad>* pQuads) {
  if (steps.cheat.partial() && !pQuads->empty()) pQuads->pop_back();
  if (steps.cheat.changes(iFrame, iFrames) && !pQuads->empty()) (*pQuads)[0].m_fDepth += 1.0f;
}

// A hash of every quad, ring and text a frame drew, in order (images by their place on their page).
u64 drawnHash(const std::vector<SWorldQuad>& quads, const std::vector<SWorldRing>& rings,
              const std::vector<ClRecordingDrawSink::SText>& texts) {
  u64 uiHash = 14695981039346656037ull;
  const auto add = [&uiHash](const void* pBytes, size_t uiSize) {
    for (size_t i = 0; i < uiSize; ++i) uiHash = (uiHash ^ static_cast<const u8*>(pBytes)[i]) * 1099511628211ull;
  };
  const auto addValues = [&add](auto... values) { (add(&values, sizeof(values)), ...); };
  for (const SWorldQuad& q : quads) {
    const SAtlasTexInfo* pInfo = q.mp_pEntry != nullptr ? q.mp_pEntry->mp_pAtlasTexInfo : nullptr;
    addValues(pInfo != nullptr ? pInfo->mp_fU0 : -1.0f, pInfo != nullptr ? pInfo->mp_fV0 : -1.0f, q.m_vPosition.x,
              q.m_vPosition.y, q.m_vPivot.x, q.m_vPivot.y, q.m_uiColor, q.m_uiShaderHash, q.m_fDepth, q.m_fScale,
              q.m_uiFlipFlags, q.m_bRotated, q.m_vDirection.x, q.m_vDirection.y);
  }
  for (const SWorldRing& r : rings) {
    addValues(r.m_vCentre.x, r.m_vCentre.y, r.m_fInnerRadius, r.m_fOuterRadius, r.m_uiInnerColor, r.m_uiOuterColor,
              r.m_uiShaderHash, r.m_fDepth);
  }
  for (const ClRecordingDrawSink::SText& t : texts) {
    add(t.m_text.data(), t.m_text.size());
    addValues(t.m_afPosition[0], t.m_afPosition[1]);
  }
  return uiHash;
}

// Whether the frame just drawn (iFrame) ended with a gib quad (drawn turned, premultiplied: the gore's last pass)
// for every gib the gore records hold and one more for every trail playing: an empty answer, else what it missed.
std::string gibsDrawnProblem(const std::vector<SWorldQuad>& quads, i32 iFrame) {
  static const u32 s_uiPremult = KvStrHash("system_blend_premult");
  size_t uiHeld = static_cast<size_t>(g_gibs.getCount());
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    uiHeld += g_gibs[i].m_trailAnim.mp_curAnimators.mp_flipBookAnimator.m_bPlaying != 0 ? 1 : 0;
  }
  size_t uiDrawn = 0;
  while (uiDrawn < quads.size() && quads[quads.size() - 1 - uiDrawn].m_bRotated != 0 &&
         quads[quads.size() - 1 - uiDrawn].m_uiShaderHash == s_uiPremult) {
    ++uiDrawn;
  }
  if (uiDrawn >= uiHeld) return std::string();
  return "frame " + std::to_string(iFrame) + " ended with " + std::to_string(uiDrawn) + " gib and trail quads for the " +
         std::to_string(uiHeld) + " the gore records hold";
}

// One world frame with its gore: the world's update (gameplay time stands still while the special plays, as the
// level holds it), the gore effects' update, then the entities and the gore drawn (those of the steps).
void worldFrame(ClPlayerTestWorld& world, const SStreetSteps& steps = SStreetSteps(), i32 iFrame = 0) {
  if (steps.bUpdate) world.step(gc_fDT, g_bMagicFreeze != 0 ? 0.0f : gc_fDT);
  if (steps.bGoreUpdate) GoreFx::update();
  if (steps.bDraw && !steps.everySecond.leavesOut(iFrame)) EntityList::drawPass();
  if (steps.bGoreDraw) GoreFx::draw();
}

// What each frame of the second drew and the hits it resolved: the plain side's workload.
struct SDragonSecond {
  size_t m_auiQuads[gc_iFRAMES] = {};
  size_t m_auiTexts[gc_iFRAMES] = {};
  u64 m_auiDrawnHashes[gc_iFRAMES] = {};  // of every quad, ring and text drawn
  i32 m_aiGibs[gc_iFRAMES] = {};
  i32 m_iKills = 0;    // enemies beaten during the second
  i32 m_iScore = 0;    // score they gave
  std::string m_error;
};

// One Dragon second: the world made and played to the window untimed (paused on pState when given), then the 60
// frames (the steps left out as told), recorded into pOut. Each frame's gibs are checked against the gore records
// and, given pRecord, what it drew against the record's, with the timing paused; a problem is pOut's error.
void dragonSecond(const std::string& enemies, benchmark::State* pState, const SStreetSteps& steps,
                  const SDragonSecond* pRecord, SDragonSecond* pOut, u32 uiSeed = 7) {
  static const char* const s_apTypes[] = {"EnemyThug", "EnemyFast", "EnemyPistol"};
  ClPlayerTestWorld world(uiSeed, enemies);
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
  world.m_world.m_sink.m_rings.clear();
  const i32 iKilledBefore = g_iEnemiesKilled;
  const i32 iScoreBefore = g_iScore;
  std::vector<SWorldQuad>& quads = world.m_world.m_sink.m_quads;
  std::vector<SWorldRing>& rings = world.m_world.m_sink.m_rings;
  std::vector<ClRecordingDrawSink::SText>& texts = world.m_world.m_sink.m_texts;
  if (pState != nullptr) pState->ResumeTiming();
  for (int iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
    if (playsFrame(steps, iFrame)) {
      quads.clear();
      rings.clear();
      texts.clear();
      worldFrame(world, steps, iFrame);
    }
    cheated(steps, iFrame, gc_iFRAMES, &quads);
    pOut->m_auiQuads[iFrame] = quads.size();
    pOut->m_auiTexts[iFrame] = texts.size();
    pOut->m_aiGibs[iFrame] = g_gibs.getCount();
    if (pState != nullptr) pState->PauseTiming();
    pOut->m_auiDrawnHashes[iFrame] = drawnHash(quads, rings, texts);
    if (pOut->m_error.empty()) pOut->m_error = gibsDrawnProblem(quads, iFrame);
    if (pOut->m_error.empty() && pRecord != nullptr &&
        pOut->m_auiDrawnHashes[iFrame] != pRecord->m_auiDrawnHashes[iFrame]) {
      pOut->m_error = "frame " + std::to_string(iFrame) + " drew other quads, rings or texts than the recorded second: " +
                      std::to_string(quads.size()) + " quads, " + std::to_string(texts.size()) + " texts; the record's " +
                      std::to_string(pRecord->m_auiQuads[iFrame]) + ", " + std::to_string(pRecord->m_auiTexts[iFrame]);
    }
    if (pState != nullptr) pState->ResumeTiming();
  }
  if (pState != nullptr) pState->PauseTiming();
  pOut->m_iKills = g_iEnemiesKilled - iKilledBefore;
  pOut->m_iScore = g_iScore - iScoreBefore;
  GoreFx::releaseAll();
}

// The Dragon's second played untimed with every step, once a process: the record the engine's timed seconds must
// draw and the plain side's workload; null with *pError set when it could not be played.
const SDragonSecond* dragonRecord(std::string* pError) {
  static std::optional<SDragonSecond> s_record;
  static std::string s_error;
  if (!s_record && s_error.empty()) {
    const std::string enemies = sampleEnemies();
    SDragonSecond second;
    if (enemies.empty()) second.m_error = "the sample enemies could not be read from " GRINDLOW_SAMPLE_ENEMIES;
    if (second.m_error.empty()) dragonSecond(enemies, nullptr, SStreetSteps(), nullptr, &second);
    s_error = second.m_error;
    if (s_error.empty()) s_record = second;
  }
  *pError = s_error;
  return s_record ? &*s_record : nullptr;
}

void BM_Engine_PlayerDragonBusiestSecond(benchmark::State& state) {
  size_t uiQuads = 0;
  size_t uiGibs = 0;
  size_t uiTexts = 0;
  i32 iMostGibs = 0;
  std::string error;
  const SDragonSecond* pRecord = dragonRecord(&error);
  if (pRecord == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string enemies = sampleEnemies();
  SStreetSteps steps;
  steps.bUpdate = !benchSkips("PlayerDragonBusiestSecond.engine.update");
  steps.bDraw = !benchSkips("PlayerDragonBusiestSecond.engine.draw");
  steps.bGoreUpdate = !benchSkips("PlayerDragonBusiestSecond.engine.goreupdate");
  steps.bGoreDraw = !benchSkips("PlayerDragonBusiestSecond.engine.gore");
  steps.everySecond = CBenchEverySecond("PlayerDragonBusiestSecond.engine");
  steps.cheat = CBenchCheat("PlayerDragonBusiestSecond.engine");
  SDragonSecond second;
  // Each timed second plays with a seed of its own (the gore's and the hits' draws differ), and is checked against
  // the same second played untimed after it: a second that gave an earlier record instead ("replay": the process's
  // record, seed 7) shows.
  static u32 s_uiSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const u32 uiSeed = 8 + s_uiSeconds++;
    second = SDragonSecond();
    if (steps.cheat.replays()) {
      second = *pRecord;
    } else {
      dragonSecond(enemies, &state, steps, nullptr, &second, uiSeed);
    }
    if (second.m_error.empty()) {
      SDragonSecond wanted;
      dragonSecond(enemies, nullptr, SStreetSteps(), nullptr, &wanted, uiSeed);
      second.m_error = wanted.m_error;
      for (int iFrame = 0; iFrame < gc_iFRAMES && second.m_error.empty(); ++iFrame) {
        if (second.m_auiDrawnHashes[iFrame] != wanted.m_auiDrawnHashes[iFrame]) {
          second.m_error = "frame " + std::to_string(iFrame) +
                           " drew other quads, rings or texts than the same second played untimed: " +
                           std::to_string(second.m_auiQuads[iFrame]) + " quads, " +
                           std::to_string(second.m_auiTexts[iFrame]) + " texts; the record's " +
                           std::to_string(wanted.m_auiQuads[iFrame]) + ", " + std::to_string(wanted.m_auiTexts[iFrame]);
        }
      }
    }
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
  std::string error;
  const SDragonSecond* pRecord = dragonRecord(&error);
  if (pRecord == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  const SDragonSecond& work = *pRecord;
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
  const bool bHits = !benchSkips("PlayerDragonBusiestSecond.baseline.hits");
  const bool bGibs = !benchSkips("PlayerDragonBusiestSecond.baseline.gibs");
  const CBenchEverySecond everySecond("PlayerDragonBusiestSecond.baseline");
  const CBenchCheat cheat("PlayerDragonBusiestSecond.baseline");
  bool bSameQuads = true;
  i64 iGibFramesOff = 0;
  i64 iGibFrames = 0;  // with gibs flying, over every second
  i64 iEngineGibFrames = 0;
  for (const i32 iGibs : work.m_aiGibs) iEngineGibFrames += iGibs > 0 ? 1 : 0;
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
      } else if (iKills == 0 && bHits) {
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
      const size_t uiBeforeGibs = quads.size();
      for (size_t i = 0; i < gibs.size() && bGibs; ++i) {
        SPiece& g = gibs[i];
        fly(g, -0.4f);
        if (quads.size() < uiWanted) quad(g.x, g.y + g.z, (100.0f - g.y) + std::cos(g.angle), 0xFFFFFFFFu);
      }
      // Every gib drawn, as far as the frame's quads go.
      iGibFramesOff += quads.size() - uiBeforeGibs != std::min(gibs.size(), uiWanted - uiBeforeGibs) ? 1 : 0;
      iGibFrames += gibs.empty() ? 0 : 1;
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
      if ((everySecond.leavesOut(iFrame) || cheat.partial()) && !quads.empty()) quads.pop_back();
      bSameQuads = bSameQuads && quads.size() == uiWanted;
      t += gc_fDT;
      benchmark::DoNotOptimize(quads.data());
      benchmark::DoNotOptimize(texts.data());
      benchmark::ClobberMemory();
    }
  }
  if (!bSameQuads) {
    state.SkipWithError("a frame drew another number of quads than the engine's");
  } else if (iGibFramesOff != 0) {
    state.SkipWithError((std::to_string(iGibFramesOff) + " frames did not draw every gib they held").c_str());
  } else if (std::abs(iGibFrames - iEngineGibFrames * state.iterations()) > 2 * state.iterations()) {
    state.SkipWithError(("gibs flew in " + std::to_string(iGibFrames / std::max<i64>(state.iterations(), 1)) +
                         " frames of a second, the engine's in " + std::to_string(iEngineGibFrames))
                            .c_str());
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
// drawn, while the 1,500 gibs fly, trail and bounce. A street is the half second after the wave arrives (30 frames;
// the knock-downs chain through the crowd in its first two frames: about 136 live enemies at the start, 89 after);
// an iteration is one street, made untimed, and a repetition ten of them. Per frame only the sink's quads, rings and
// texts are counted in the timing, on both sides; each side's per-frame checks run with the timing paused. The
// game's street must end with at least 60 live enemies (in the list, not gone, with hit points, not projectiles)
// and the gibs at their cap, fewer live enemies than it began with, and its last frame must have drawn a shadow for
// every live enemy; every frame must have drawn a gib quad for every gib the gore records hold and a trail quad for
// every trail playing, and every frame's quads, rings and texts must be the game's street's record (the street
// played untimed once a process with every step, the plain side's start) to the bit. GRINDLOW_BENCH_SKIP
// "PlayerStreetWave.engine.update" (no world update), ".engine.draw" (no entity draw pass), ".engine.gore" (no gore
// drawn), ".engine.goreupdate" (no gore update) or ".<side>.everysecond" (no entity draw pass in every second
// frame) fails that.
constexpr int gc_iWAVE_ROWS = 160;  // at most
constexpr int gc_iWAVE_MIN_LIVE = 60;
constexpr int gc_iWAVE_STREETS = 10;  // a repetition
// How far the plain street's quads, rings and texts of a frame may be from the game's, in parts of the game's.
constexpr f64 gc_dWAVE_QUADS_MARGIN = 0.02;
constexpr f64 gc_dWAVE_RINGS_MARGIN = 0.02;
constexpr f64 gc_dWAVE_TEXTS_MARGIN = 0.05;

// The levels' script text ("" when it cannot be read).
std::string sampleLevels() {
  std::ifstream in(GRINDLOW_SAMPLE_LEVELS, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool isLiveEnemy(const ClEntityEnemy* pEnemy) {
  return pEnemy != nullptr && pEnemy->m_bGone == 0 && pEnemy->m_fHitPoints > 0.0f && !pEnemy->isProjectile();
}

i32 liveEnemies() {
  i32 iLive = 0;
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    iLive += isLiveEnemy(ClEntityEnemy::hitTarget(g_entityList[i])) ? 1 : 0;
  }
  return iLive;
}

// The quads of a frame drawn with the shadows' shader: one under every entity the draw pass drew.
size_t shadowQuads(const std::vector<SWorldQuad>& quads) {
  static const u32 s_uiShadow = KvStrHash("vosk_shadow");
  return static_cast<size_t>(
      std::count_if(quads.begin(), quads.end(), [](const SWorldQuad& q) { return q.m_uiShaderHash == s_uiShadow; }));
}

// Seconds a flip book still plays once through from frame iFrom (a frame shows for its delay, else for one frame
// of its rate).
f32 playSeconds(const ClFlipBook& book, i32 iFrom) {
  f32 fSeconds = 0.0f;
  for (i32 i = iFrom; i < book.getNumFrames(); ++i) {
    const f32 fDelay = book.getFrameDelay(i);
    fSeconds += fDelay != 0.0f ? fDelay : (book.mp_fFramesPerSecond > 0.0f ? 1.0f / book.mp_fFramesPerSecond : 0.0f);
  }
  return fSeconds;
}

// Seconds an animation played once still shows; 0 when it has ended.
f32 secondsLeft(const ClTexAnimObj& anim) {
  const ClFlipBookAnimator& animator = anim.mp_curAnimators.mp_flipBookAnimator;
  if (animator.m_bPlaying == 0 || animator.getFlipBook() == nullptr) return 0.0f;
  return animator.m_fTimeLeft + playSeconds(*animator.getFlipBook(), animator.getCurrentFrameIndex() + 1);
}

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

// An enemy or a thrown thing as the plain side takes it.
SStreetStart::SBody bodyOf(const ClEntityEnemy& enemy) {
  return {enemy.m_vPosition[0], enemy.m_vPosition[2], enemy.m_vVelocity[0], enemy.m_vVelocity[2], enemy.m_fHitPoints,
          enemy.m_iLane, enemy.isProjectile()};
}

// What the game's world holds now, as the plain street's start; pEnemies gets the bodies' enemies (null for a
// projectile) in the same order.
SStreetStart snapshotStreet(ClPlayerTestWorld& world, std::vector<const ClEntityEnemy*>* pEnemies) {
  SStreetStart start;
  start.fPlayerX = world.player().m_vPosition[0];
  start.iPlayerLane = world.player().m_iLane;
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    const ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pEnemy == nullptr || pEnemy->m_bGone != 0 || (pEnemy->m_fHitPoints <= 0.0f && !pEnemy->isProjectile())) {
      continue;
    }
    start.bodies.push_back(bodyOf(*pEnemy));
    pEnemies->push_back(pEnemy->isProjectile() ? nullptr : pEnemy);
  }
  for (i32 i = 0; i < g_gibs.getCount(); ++i) {
    const SGib& gib = g_gibs[i];
    const bool bTrail = gib.m_trailAnim.mp_curAnimators.mp_flipBookAnimator.m_bPlaying != 0;
    const ClFlipBook* pBurst = ClFlipBookMgr::getFlipBook(gib.m_bMagic != 0 ? "GibMagicLand" : "GibFireLand");
    start.gibs.push_back({gib.m_vPosition[0], gib.m_vPosition[1], gib.m_vPosition[2], gib.m_vVelocity[0],
                          gib.m_vVelocity[1], gib.m_vVelocity[2], gib.m_fSpinRate,
                          gib.m_vAcceleration[2] == 0.0f ? -1 : gib.m_iBounces,
                          !bTrail ? 0 : (gib.m_bBurstPlayed == 0 ? 1 : 2),
                          bTrail && gib.m_bBurstPlayed != 0 ? secondsLeft(gib.m_trailAnim) : playSeconds(*pBurst, 0)});
  }
  for (i32 i = 0; i < g_bloodSplats.getCount(); ++i) {
    const SBloodSplat& drop = g_bloodSplats[i];
    start.blood.push_back({drop.m_vPosition[0], drop.m_vPosition[1], drop.m_vPosition[2], drop.m_vVelocity[0],
                           drop.m_vVelocity[1], drop.m_vVelocity[2], drop.m_fLifetime, drop.m_fAge, drop.m_bLanded});
  }
  for (i32 i = 0; i < g_sparkAnims.getCount(); ++i) {
    const SSparkAnim& spark = g_sparkAnims[i];
    start.sparks.push_back({spark.m_vPosition[0], spark.m_vPosition[1], 0.0f, secondsLeft(spark.m_anim)});
  }
  for (i32 i = 0; i < g_enemyActionFx.getCount(); ++i) {
    const SEnemyActionFx& ring = g_enemyActionFx[i];
    start.rings.push_back({ring.m_vPosition[0], ring.m_vPosition[1], ring.m_fAge, ring.m_fLifetime});
  }
  for (i32 i = 0; i < g_floatingTexts.getCount(); ++i) {
    const SFloatingText& text = g_floatingTexts[i];
    std::string shown;
    for (const wchar16* p = text.m_text.getCStr(); *p != 0; ++p) shown.push_back(static_cast<char>(*p));
    // The stacked kind hangs where it is; the plain kind rises.
    start.texts.push_back({shown, text.m_fAge, text.m_fLifetime, text.m_vVelocity[2] == 0.0f});
  }
  return start;
}

// The game's records that grow as its hits land, counted before a frame's world update.
struct SHitMarks {
  i32 iDrops, iSparks, iRings;
  size_t uiTexts;
};
SHitMarks hitMarks(ClPlayerTestWorld& world) {
  return {g_bloodSplats.getCount(), g_sparkAnims.getCount(), g_enemyActionFx.getCount(),
          world.services().m_texts.size()};
}

// What the frame's world update added to the records since the marks, the tracked enemies it beat or took out
// (their entries of pEnemies cleared) and the live enemies it brought in (added to pStart's bodies and pEnemies).
void recordHits(ClPlayerTestWorld& world, const SHitMarks& marks, std::vector<const ClEntityEnemy*>* pEnemies,
                SStreetStart* pStart, SStreetStart::SHits* pHits) {
  std::vector<const ClEntityEnemy*> live;
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    const ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (isLiveEnemy(pEnemy)) live.push_back(pEnemy);
  }
  for (size_t i = 0; i < pEnemies->size(); ++i) {
    const ClEntityEnemy*& pEnemy = (*pEnemies)[i];
    if (pEnemy != nullptr && std::find(live.begin(), live.end(), pEnemy) == live.end()) {
      pHits->beaten.push_back(static_cast<i32>(i));
      pEnemy = nullptr;
    }
  }
  for (const ClEntityEnemy* pEnemy : live) {
    if (std::find(pEnemies->begin(), pEnemies->end(), pEnemy) != pEnemies->end()) continue;
    pHits->arrived.push_back(static_cast<i32>(pStart->bodies.size()));
    pStart->bodies.push_back(bodyOf(*pEnemy));
    pEnemies->push_back(pEnemy);
  }
  pHits->iDrops = g_bloodSplats.getCount() - marks.iDrops;
  for (i32 i = marks.iSparks; i < g_sparkAnims.getCount(); ++i) pHits->sparks.push_back(secondsLeft(g_sparkAnims[i].m_anim));
  for (i32 i = marks.iRings; i < g_enemyActionFx.getCount(); ++i) pHits->rings.push_back(g_enemyActionFx[i].m_fLifetime);
  const std::vector<ClRecordingServices::SText>& texts = world.services().m_texts;
  for (size_t i = marks.uiTexts; i < texts.size(); ++i) pHits->texts.emplace_back(texts[i].m_text, texts[i].m_bStacked);
}

// One street of the game's world: made and played to the wave untimed, its frames timed on pState when given (the
// steps left out as told); fills the counts and, when given, the plain side's start with the street's hits
// (recorded between the timed steps, so only an untimed street records them). Each frame's gibs are checked against
// the gore records and, given pRecord, what it drew against the record's, with the timing paused. An empty answer,
// else what went wrong.
std::string playStreet(benchmark::State* pState, const SStreetSteps& steps, SStreetCounts* pCounts,
                       SStreetStart* pStart, const SStreetCounts* pRecord) {
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
      std::vector<const ClEntityEnemy*> tracked;
      if (pStart != nullptr) *pStart = snapshotStreet(world, &tracked);
      std::vector<SWorldQuad>& quads = world.m_world.m_sink.m_quads;
      std::vector<SWorldRing>& rings = world.m_world.m_sink.m_rings;
      std::vector<ClRecordingDrawSink::SText>& texts = world.m_world.m_sink.m_texts;
      if (pState != nullptr) pState->ResumeTiming();
      for (i32 iFrame = 0; iFrame < gc_iWAVE_FRAMES; ++iFrame) {
        if (playsFrame(steps, iFrame)) {
          quads.clear();
          rings.clear();
          texts.clear();
          const SHitMarks marks = pStart != nullptr ? hitMarks(world) : SHitMarks{};
          if (steps.bUpdate) world.step(gc_fDT, g_bMagicFreeze != 0 ? 0.0f : gc_fDT);
          if (pStart != nullptr) recordHits(world, marks, &tracked, pStart, &pStart->hits[iFrame]);
          if (steps.bGoreUpdate) GoreFx::update();
          if (steps.bDraw && !steps.everySecond.leavesOut(iFrame)) EntityList::drawPass();
          if (steps.bGoreDraw) GoreFx::draw();
        }
        cheated(steps, iFrame, gc_iWAVE_FRAMES, &quads);
        pCounts->auiQuads[iFrame] = quads.size();
        pCounts->auiRings[iFrame] = rings.size();
        pCounts->auiTexts[iFrame] = texts.size();
        if (pState != nullptr) pState->PauseTiming();
        pCounts->auiDrawnHashes[iFrame] = drawnHash(quads, rings, texts);
        if (error.empty()) error = gibsDrawnProblem(quads, iFrame);
        if (error.empty() && pRecord != nullptr && pCounts->auiDrawnHashes[iFrame] != pRecord->auiDrawnHashes[iFrame]) {
          error = "frame " + std::to_string(iFrame) + " drew other quads, rings or texts than the game's street: " +
                  std::to_string(quads.size()) + " quads, " + std::to_string(rings.size()) + " rings, " +
                  std::to_string(texts.size()) + " texts; the record's " + std::to_string(pRecord->auiQuads[iFrame]) +
                  ", " + std::to_string(pRecord->auiRings[iFrame]) + ", " + std::to_string(pRecord->auiTexts[iFrame]);
        }
        if (pState != nullptr) pState->ResumeTiming();
      }
      if (pState != nullptr) pState->PauseTiming();
      pCounts->iLiveAtEnd = liveEnemies();
      pCounts->iGibsAtEnd = g_gibs.getCount();
      pCounts->uiLastShadows = shadowQuads(quads);
      if (pStart != nullptr) pStart->game = *pCounts;
    }
    GoreFx::releaseAll();
    ClSpawnMgr::terminate();
  }
  ClDScriptData2::destroyTree(pLevels);
  g_iGameType = 0;
  g_iWave = 0;
  return error;
}

// The game's street with its hits, played untimed with every step once a process: the record the engine's timed
// streets must draw and the plain side's start; null with *pError set when it could not be played.
const SStreetStart* gameStreet(std::string* pError) {
  static std::optional<SStreetStart> s_start;
  static std::string s_error;
  if (!s_start && s_error.empty()) {
    SStreetCounts counts;
    SStreetStart start;
    s_error = playStreet(nullptr, SStreetSteps(), &counts, &start, nullptr);
    if (s_error.empty()) s_start = start;
  }
  *pError = s_error;
  return s_start ? &*s_start : nullptr;
}

void BM_Engine_PlayerStreetWave(benchmark::State& state) {
  SStreetSteps steps;
  steps.bUpdate = !benchSkips("PlayerStreetWave.engine.update");
  steps.bDraw = !benchSkips("PlayerStreetWave.engine.draw");
  steps.bGoreUpdate = !benchSkips("PlayerStreetWave.engine.goreupdate");
  steps.bGoreDraw = !benchSkips("PlayerStreetWave.engine.gore");
  steps.everySecond = CBenchEverySecond("PlayerStreetWave.engine");
  steps.cheat = CBenchCheat("PlayerStreetWave.engine");
  std::string recordError;
  const SStreetStart* pRecord = gameStreet(&recordError);
  if (pRecord == nullptr) {
    state.SkipWithError(recordError.c_str());
    return;
  }
  f64 fQuads = 0.0;
  f64 fRings = 0.0;
  f64 fTexts = 0.0;
  i64 iBeaten = 0;
  i32 iFewestLive = 1 << 30;
  for (auto _ : state) {
    state.PauseTiming();
    SStreetCounts counts;
    const std::string error = playStreet(&state, steps, &counts, nullptr, &pRecord->game);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    for (i32 i = 0; i < gc_iWAVE_FRAMES; ++i) {
      fQuads += static_cast<f64>(counts.auiQuads[i]);
      fRings += static_cast<f64>(counts.auiRings[i]);
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
  state.counters["rings_per_frame"] = fRings / fFrames;
  state.counters["texts_per_frame"] = fTexts / fFrames;
}
BENCHMARK(BM_Engine_PlayerStreetWave)->Iterations(gc_iWAVE_STREETS)->Unit(benchmark::kMillisecond);

// An empty answer when a frame's count of the plain street is within the margin of the game's.
std::string compareFrame(const char* pWhat, i32 iFrame, size_t uiPlain, size_t uiGame, f64 dMargin) {
  if (std::fabs(static_cast<f64>(uiPlain) - static_cast<f64>(uiGame)) <= dMargin * static_cast<f64>(uiGame)) {
    return std::string();
  }
  return "frame " + std::to_string(iFrame) + " drew " + std::to_string(uiPlain) + " " + pWhat + ", the game's " +
         std::to_string(uiGame);
}

// Whether the frame just drawn (iFrame) drew every gib, gib trail, blood drop and spark the street holds: as many as its
// records made and have not ended (an empty answer), or what it missed.
std::string goreProblem(const CPlainStreet& street, i32 iFrame) {
  const struct {
    const char* pWhat;
    size_t uiDrawn;
    i64 iMade;
  } gore[] = {{"gibs", street.drawn(street.gibImage()), street.gibsMade()},
              {"gib trails", street.drawn(street.trailImage()), street.trailsLeft()},
              {"blood drops", street.drawn(street.dropImage()), street.dropsLeft()},
              {"sparks", street.drawn(street.sparkImage()), street.sparksLeft()}};
  for (const auto& kind : gore) {
    if (static_cast<i64>(kind.uiDrawn) != kind.iMade) {
      return "frame " + std::to_string(iFrame) + " drew " + std::to_string(kind.uiDrawn) + " " + kind.pWhat + " of the " +
             std::to_string(kind.iMade) + " the street holds";
    }
  }
  return std::string();
}

// What a plain street did wrong, or an empty answer.
std::string checkPlainStreet(const CPlainStreet& street, const SStreetStart& start, const SStreetCounts& plain) {
  size_t uiGameBeaten = 0;
  for (const SStreetStart::SHits& frameHits : start.hits) uiGameBeaten += frameHits.beaten.size();
  if (street.beaten() != static_cast<i64>(uiGameBeaten) || street.standing() != start.game.iLiveAtEnd ||
      street.score() < 100 * street.beaten()) {
    return "the plain street beat " + std::to_string(street.beaten()) + " enemies for " +
           std::to_string(street.score()) + " points and left " + std::to_string(street.standing()) +
           " standing; the game's beat " + std::to_string(uiGameBeaten) + " and left " +
           std::to_string(start.game.iLiveAtEnd);
  }
  const std::string gore = goreProblem(street, gc_iWAVE_FRAMES - 1);
  if (!gore.empty()) return gore;
  if (shadowQuads(street.quads()) != street.bodies()) {
    return "the last frame drew " + std::to_string(shadowQuads(street.quads())) + " shadows for " +
           std::to_string(street.bodies()) + " bodies";
  }
  for (i32 i = 0; i < gc_iWAVE_FRAMES; ++i) {
    for (const std::string& problem :
         {compareFrame("quads", i, plain.auiQuads[i], start.game.auiQuads[i], gc_dWAVE_QUADS_MARGIN),
          compareFrame("rings", i, plain.auiRings[i], start.game.auiRings[i], gc_dWAVE_RINGS_MARGIN),
          compareFrame("texts", i, plain.auiTexts[i], start.game.auiTexts[i], gc_dWAVE_TEXTS_MARGIN)}) {
      if (!problem.empty()) return problem;
    }
  }
  return std::string();
}

void BM_Baseline_PlayerStreetWave(benchmark::State& state) {
  std::string error;
  const SStreetStart* pStart = gameStreet(&error);
  if (pStart == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  const bool bFights = !benchSkips("PlayerStreetWave.baseline.fights");
  const bool bDraw = !benchSkips("PlayerStreetWave.baseline.draw");
  const bool bGibs = !benchSkips("PlayerStreetWave.baseline.gibs");
  const bool bBlood = !benchSkips("PlayerStreetWave.baseline.blood");
  const CBenchEverySecond everySecond("PlayerStreetWave.baseline");
  f64 fQuads = 0.0;
  f64 fRings = 0.0;
  f64 fTexts = 0.0;
  i64 iBeaten = 0;
  SStreetCounts plain;
  for (auto _ : state) {
    state.PauseTiming();
    sfmtInitGenRand(7);
    CPlainStreet street(*pStart);
    state.ResumeTiming();
    std::string problem;
    for (i32 iFrame = 0; iFrame < gc_iWAVE_FRAMES; ++iFrame) {
      street.frame(bFights, bDraw && !everySecond.leavesOut(iFrame), bGibs, bBlood);
      plain.auiQuads[iFrame] = street.quads().size();
      plain.auiRings[iFrame] = street.rings();
      plain.auiTexts[iFrame] = street.texts();
      // Every frame's gore, as the game's side checks every frame.
      state.PauseTiming();
      if (problem.empty()) problem = goreProblem(street, iFrame);
      state.ResumeTiming();
    }
    state.PauseTiming();
    if (problem.empty()) problem = checkPlainStreet(street, *pStart, plain);
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
    for (i32 i = 0; i < gc_iWAVE_FRAMES; ++i) {
      fQuads += static_cast<f64>(plain.auiQuads[i]);
      fRings += static_cast<f64>(plain.auiRings[i]);
      fTexts += static_cast<f64>(plain.auiTexts[i]);
    }
    iBeaten += pStart->game.iLiveAtStart - street.standing();
    state.ResumeTiming();
  }
  const f64 fFrames = static_cast<f64>(state.iterations()) * gc_iWAVE_FRAMES;
  state.counters["frame_us"] = benchmark::Counter(fFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["beaten"] = static_cast<f64>(iBeaten) / static_cast<f64>(state.iterations());
  state.counters["quads_per_frame"] = fQuads / fFrames;
  state.counters["rings_per_frame"] = fRings / fFrames;
  state.counters["texts_per_frame"] = fTexts / fFrames;
}
BENCHMARK(BM_Baseline_PlayerStreetWave)->Iterations(gc_iWAVE_STREETS)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// One world frame with 200 active enemies (update pass with motion, reactions and actions, then the draw pass into
// a recording sink) against the same frame written plainly over arrays (motion, reactions, animation, quads). The
// frame budget is 16.7 ms; the aim for the world frame is under 1 ms on one core.
//
// A repetition is a minute of play (3,600 frames) from the same start, with a random seed of its own (so that no
// run's frames are an earlier run's). Each side checks what it drew in every frame: a hash of the frame's quads
// (image, snapped position, depth, shader, in order), taken in the timed loop, must be the one of the same frame of
// the other side's logic with the same seed, played untimed after the loop (and the last frame's quads are compared
// one by one, to name the first that differs); a step left out on either side (GRINDLOW_BENCH_SKIP,
// Bench/BenchSkip.h: "WorldFrame200.engine.update", ".engine.draw", ".baseline.reactions", ".baseline.draw", and
// ".<side>.everysecond", the draw of every second frame) moves or loses quads and fails it; so do
// ".<side>.partial" (the last quad of every frame left out), ".<side>.repeat" (every third frame not played, the
// last frame's quads given again), ".<side>.replay" (the hashes of the other side's minute with the first seed,
// played before the loop, given instead of playing) and ".<side>.middle" (one quad's depth changed in the middle
// frame).
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

constexpr int gc_iENEMIES = 200;
constexpr int gc_iFRAMES = 3600;
constexpr f32 gc_fDT = 1.0f / 60.0f;

// Walkers that pace between two points, check a few conditions a frame and now and then change lane.
const char* const gc_pScript = R"(
Pacer = {
  HitPoints = 3.0
  State = "Left"
  Animations = { Running = "PacerWalk" }
  States = {
    Left = { Velocity = [-40.0, 0.0, 0.0] }
    Right = { Velocity = [40.0, 0.0, 0.0] }
  }
  Reactions = [ "root"
    [ "HitReceived == 1", Action = "Hurt" ]
    [ [ "State == 'Left'", "and", "Duration > 1.0" ], Action = "TurnRight" ]
    [ [ "State == 'Right'", "and", "Duration > 1.0" ], [ "Random < 0.1", Action = "Swerve" ], Action = "TurnLeft" ]
  ]
  Actions = {
    Hurt = { Damage = 1.0 }
    TurnRight = { State = "Right" }
    TurnLeft = { State = "Left" }
    Swerve = { State = "Left", ChangeLane = 1 }
  }
}
)";

// A drawn quad in terms that do not depend on the harness it was drawn in: its image (the flip book's frame, -1
// the shadow), snapped position, depth and shader.
struct SDrawnQuad {
  i32 iImage;
  f32 x, y, fDepth;
  u32 uiShader;
};

// The pacers' images in a harness that has loaded the script.
struct SPacerImages {
  const ClFlipBook* pBook = nullptr;
  const SAtlasEntry* pShadow = nullptr;
  bool find() {
    pBook = ClFlipBookMgr::getFlipBook("PacerWalk");
    pShadow = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash("shad-tiny_216"));
    return pBook != nullptr && pBook->getNumFrames() > 0 && pShadow != nullptr;
  }
  std::vector<SDrawnQuad> describe(const std::vector<SWorldQuad>& quads) const {
    std::vector<SDrawnQuad> drawn;
    for (const SWorldQuad& quad : quads) {
      i32 iImage = quad.mp_pEntry == pShadow ? -1 : -2;
      for (i32 i = 0; iImage == -2 && i < pBook->getNumFrames(); ++i) {
        if (pBook->mp_daFrames[i].mp_pImage == quad.mp_pEntry) iImage = i;
      }
      drawn.push_back({iImage, quad.m_vPosition.x, quad.m_vPosition.y, quad.m_fDepth, quad.m_uiShaderHash});
    }
    return drawn;
  }
};

// A hash of a frame's quads in order (each quad's image by its place on its page, snapped position, depth and
// shader), cheap enough to take in the timed loop.
u64 frameHash(const std::vector<SWorldQuad>& quads) {
  u64 uiHash = quads.size();
  for (const SWorldQuad& q : quads) {
    const SAtlasTexInfo& info = *q.mp_pEntry->mp_pAtlasTexInfo;
    uiHash = benchFold(uiHash, info.mp_fU0, info.mp_fV0, q.m_vPosition.x, q.m_vPosition.y, q.m_fDepth,
                       q.m_uiShaderHash);
  }
  return uiHash;
}

// An empty answer when the two frames drew the same quads (depths within a hundredth), else the first difference.
std::string compareFrames(const std::vector<SDrawnQuad>& drawn, const std::vector<SDrawnQuad>& wanted) {
  if (drawn.size() != wanted.size()) {
    return "the last frame drew " + std::to_string(drawn.size()) + " quads, the other side's logic " +
           std::to_string(wanted.size());
  }
  for (size_t i = 0; i < drawn.size(); ++i) {
    const SDrawnQuad& a = drawn[i];
    const SDrawnQuad& b = wanted[i];
    if (a.iImage != b.iImage || a.x != b.x || a.y != b.y || std::fabs(a.fDepth - b.fDepth) > 0.01f ||
        a.uiShader != b.uiShader) {
      return "quad " + std::to_string(i) + " of the last frame: image " + std::to_string(a.iImage) + " at (" +
             std::to_string(a.x) + ", " + std::to_string(a.y) + ") depth " + std::to_string(a.fDepth) +
             ", the other side's logic draws image " + std::to_string(b.iImage) + " at (" + std::to_string(b.x) +
             ", " + std::to_string(b.y) + ") depth " + std::to_string(b.fDepth);
    }
  }
  return std::string();
}

// The engine's world of 200 pacers spread over three lanes; m_error says why it could not be made.
class CEngineWorld {
 public:
  explicit CEngineWorld(u32 uiSeed) : m_world(uiSeed) {
    m_error = m_world.loadEnemies(gc_pScript);
    if (m_error.empty() && !m_images.find()) m_error = "the pacers' images are missing";
    for (int i = 0; m_error.empty() && i < gc_iENEMIES; ++i) {
      m_world.spawn("Pacer", 50.0f + static_cast<f32>(i % 40) * 9.0f, i % 3);
    }
    g_fWorldCameraX = 0.0f;
  }
  void frame(bool bUpdate, bool bDraw) {
    m_world.m_sink.m_quads.clear();
    if (bUpdate) m_world.step(gc_fDT);
    if (bDraw) EntityList::drawPass();
  }
  std::vector<SDrawnQuad> lastFrame() const { return m_images.describe(m_world.m_sink.m_quads); }

  ClWorldHarness m_world;
  SPacerImages m_images;
  std::string m_error;
};

// The same frame written plainly over arrays: the motion, landing, lane following and the clock; the reactions as
// plain tests on a state number (the script's rows in their order, one random draw an enemy a frame for "Random"
// and one more when a swerve changes lane, as the engine's action does); the flip book's frame from its clock;
// then the draw pass writing the same quads into a vector of the same records (the body with its frame's image,
// snapped position, anchor, shader and depth, then the shadow). Made in a harness that has loaded the script (for
// the images and the lanes); the random generator is seeded as the engine's world with the same seed seeds it.
class CPlainWorld {
 public:
  CPlainWorld(const SPacerImages& images, u32 uiSeed)
      : m_images(images),
        m_iFrames(images.pBook->getNumFrames()),
        m_fFps(images.pBook->mp_fFramesPerSecond),
        m_uiBodyShader(KvStrHash("system_blend_premult")),
        m_uiShadowShader(KvStrHash("vosk_shadow")),
        m_vShadowPivot{images.pShadow->mp_pAtlasTexInfo->mp_fWidth * 0.5f,
                       images.pShadow->mp_pAtlasTexInfo->mp_fHeight * 0.5f},
        x(gc_iENEMIES), y(gc_iENEMIES), z(gc_iENEMIES, 0.0f), vx(gc_iENEMIES, -gc_fSPEED), vz(gc_iENEMIES, 0.0f),
        az(gc_iENEMIES, 0.0f), duration(gc_iENEMIES, 0.0f), anim(gc_iENEMIES, 0.0f), lane(gc_iENEMIES),
        right(gc_iENEMIES, 0) {
    sfmtInitGenRand(uiSeed);
    for (int i = 0; i < gc_iENEMIES; ++i) {
      x[i] = 50.0f + static_cast<f32>(i % 40) * 9.0f + images.pBook->mp_daFrames[0].mp_fAnchorX;
      lane[i] = i % 3;
      y[i] = KvLaneLine(lane[i]);
    }
    m_quads.reserve(2 * gc_iENEMIES);
  }

  void frame(bool bReactions, bool bDraw) {
    for (int i = 0; i < gc_iENEMIES; ++i) {
      x[i] += vx[i] * gc_fDT;
      z[i] += vz[i] * gc_fDT;
      vz[i] += az[i] * gc_fDT;
      duration[i] += gc_fDT;
      if (z[i] >= 0.0f && vz[i] > 0.0f) {
        z[i] = 0.0f;
        vz[i] = 0.0f;
        az[i] = 0.0f;
      }
      const f32 fLine = KvLaneLine(lane[i]);
      const f32 fStep = 400.0f * gc_fDT;
      y[i] = y[i] < fLine ? std::fmin(y[i] + fStep, fLine) : std::fmax(y[i] - fStep, fLine);
      anim[i] += gc_fDT;
      if (!bReactions) continue;
      const f32 r = KvMath::randomUnitFloat();
      if (duration[i] > 1.0f) {
        duration[i] = 0.0f;
        if (right[i] == 0) {
          right[i] = 1;
          vx[i] = gc_fSPEED;
        } else {
          right[i] = 0;
          vx[i] = -gc_fSPEED;
          if (r < 0.1f) lane[i] = lane[i] == 1 ? KvMath::randomIntRange(0, 1) * 2 : 1;
        }
      }
    }
    m_quads.clear();
    if (!bDraw) return;
    const auto snap = [](f32 v) { return static_cast<f32>(std::floor(static_cast<f64>(v) * 1.25 + 0.5)); };
    for (int i = 0; i < gc_iENEMIES; ++i) {
      const SFlipBookFrame& frame = m_images.pBook->mp_daFrames[static_cast<i32>(anim[i] * m_fFps) % m_iFrames];
      SWorldQuad body;
      body.mp_pEntry = frame.mp_pImage;
      body.m_vPosition = {snap(x[i]), snap(y[i] + z[i])};
      body.m_vPivot = {frame.mp_fAnchorX, frame.mp_fAnchorY};
      body.m_uiShaderHash = m_uiBodyShader;
      body.m_fDepth = (100.0f - y[i]) + static_cast<f32>(i) * 0.1f;
      m_quads.push_back(body);
      SWorldQuad shadow;
      shadow.mp_pEntry = m_images.pShadow;
      shadow.m_vPosition = {snap(x[i]), snap(y[i])};
      shadow.m_vPivot = m_vShadowPivot;
      shadow.m_uiShaderHash = m_uiShadowShader;
      shadow.m_fDepth = 100.0f;
      m_quads.push_back(shadow);
    }
  }
  std::vector<SDrawnQuad> lastFrame() const { return m_images.describe(m_quads); }
  std::vector<SWorldQuad>& quads() { return m_quads; }

 private:
  static constexpr f32 gc_fSPEED = 40.0f;
  SPacerImages m_images;
  i32 m_iFrames;
  f32 m_fFps;
  u32 m_uiBodyShader;
  u32 m_uiShadowShader;
  kv_vector2 m_vShadowPivot;
  std::vector<f32> x, y, z, vx, vz, az, duration, anim;
  std::vector<i32> lane, right;
  std::vector<SWorldQuad> m_quads;
};

// What one side's logic drew in a minute of play: every frame's hash and the last frame's quads.
struct SWorldMinute {
  std::vector<u64> frameHashes;
  std::vector<SDrawnQuad> lastFrame;
};

// The first seed (of the minute a replay gives), and each run's after it: one of its own.
constexpr u32 gc_uiFIRST_SEED = 99;
u32 nextSeed() {
  static u32 s_uiRuns = 0;
  return gc_uiFIRST_SEED + 1 + s_uiRuns++;
}

// A minute of either side's logic with the seed, played untimed; empty with *pError set when its world could not be
// made. No other world may live meanwhile.
SWorldMinute engineMinute(u32 uiSeed, std::string* pError) {
  SWorldMinute minute;
  CEngineWorld world(uiSeed);
  *pError = world.m_error;
  for (int i = 0; pError->empty() && i < gc_iFRAMES; ++i) {
    world.frame(true, true);
    minute.frameHashes.push_back(frameHash(world.m_world.m_sink.m_quads));
  }
  if (pError->empty()) minute.lastFrame = world.lastFrame();
  return minute;
}
SWorldMinute plainMinute(u32 uiSeed, std::string* pError) {
  SWorldMinute minute;
  ClWorldHarness world(uiSeed);
  *pError = world.loadEnemies(gc_pScript);
  SPacerImages images;
  if (pError->empty() && !images.find()) *pError = "the pacers' images are missing";
  if (pError->empty()) {
    CPlainWorld plain(images, uiSeed);
    for (int i = 0; i < gc_iFRAMES; ++i) {
      plain.frame(true, true);
      minute.frameHashes.push_back(frameHash(plain.quads()));
    }
    minute.lastFrame = plain.lastFrame();
  }
  return minute;
}

// An empty answer when every frame's hash is the one of the same frame of the other side's logic and the last
// frame drew its quads; else the first frame that differs (the last frame's first quad that does).
std::string compareMinute(benchmark::State& state, const CBenchFrameRecord<u64>& hashes,
                          const std::vector<SDrawnQuad>& lastFrame, const SWorldMinute& wanted) {
  const std::string error = hashes.check(state.iterations(), [&wanted](i64 i, const u64* puiHash) {
    return static_cast<size_t>(i) < wanted.frameHashes.size() && *puiHash == wanted.frameHashes[static_cast<size_t>(i)]
               ? std::string()
               : "other quads than the other side's logic drew";
  });
  return error.empty() ? compareFrames(lastFrame, wanted.lastFrame) : error;
}

// A side's frame as the steps of CBenchCheat leave it: the quads of the frame played (or of the last one, for a
// frame not played) with the last left out or one changed when asked; its hash goes into the record.
void recordFrame(const CBenchCheat& cheat, benchmark::State& state, i64 iFrame, std::vector<SWorldQuad>* pQuads,
                 CBenchFrameRecord<u64>* pHashes) {
  if (cheat.partial() && !pQuads->empty()) pQuads->pop_back();
  if (cheat.changes(iFrame, state.max_iterations) && !pQuads->empty()) (*pQuads)[0].m_fDepth += 1.0f;
  pHashes->add(frameHash(*pQuads));
}

void BM_Engine_WorldFrame200(benchmark::State& state) {
  const bool bUpdate = !benchSkips("WorldFrame200.engine.update");
  const bool bDraw = !benchSkips("WorldFrame200.engine.draw");
  const CBenchEverySecond everySecond("WorldFrame200.engine");
  const CBenchCheat cheat("WorldFrame200.engine");
  const u32 uiSeed = nextSeed();
  std::string error;
  const SWorldMinute replayed = cheat.replays() ? plainMinute(gc_uiFIRST_SEED, &error) : SWorldMinute();
  CBenchFrameRecord<u64> hashes(state, 1);
  std::vector<SDrawnQuad> lastFrame;
  {
    CEngineWorld world(uiSeed);
    if (error.empty()) error = world.m_error;
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    i64 iFrame = 0;
    for (auto _ : state) {
      if (cheat.replays()) {
        hashes.add(replayed.frameHashes[static_cast<size_t>(iFrame++) % replayed.frameHashes.size()]);
        continue;
      }
      if (!cheat.repeats(iFrame)) world.frame(bUpdate, bDraw && !everySecond.leavesOut(iFrame));
      recordFrame(cheat, state, iFrame++, &world.m_world.m_sink.m_quads, &hashes);
    }
    if (g_entityList.getCount() != gc_iENEMIES) error = "enemies left the world during the benchmark";
    lastFrame = world.lastFrame();
  }
  if (error.empty()) {
    const SWorldMinute wanted = plainMinute(uiSeed, &error);
    if (error.empty()) error = compareMinute(state, hashes, lastFrame, wanted);
  }
  if (!error.empty()) state.SkipWithError(error.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iENEMIES);
}
BENCHMARK(BM_Engine_WorldFrame200)->Iterations(gc_iFRAMES)->Unit(benchmark::kMicrosecond);

void BM_Baseline_WorldFrame200(benchmark::State& state) {
  const bool bReactions = !benchSkips("WorldFrame200.baseline.reactions");
  const bool bDraw = !benchSkips("WorldFrame200.baseline.draw");
  const CBenchEverySecond everySecond("WorldFrame200.baseline");
  const CBenchCheat cheat("WorldFrame200.baseline");
  const u32 uiSeed = nextSeed();
  std::string error;
  const SWorldMinute replayed = cheat.replays() ? engineMinute(gc_uiFIRST_SEED, &error) : SWorldMinute();
  CBenchFrameRecord<u64> hashes(state, 1);
  std::vector<SDrawnQuad> lastFrame;
  {
    ClWorldHarness world(uiSeed);
    if (error.empty()) error = world.loadEnemies(gc_pScript);
    SPacerImages images;
    if (error.empty() && !images.find()) error = "the pacers' images are missing";
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    CPlainWorld plain(images, uiSeed);
    i64 iFrame = 0;
    for (auto _ : state) {
      if (cheat.replays()) {
        hashes.add(replayed.frameHashes[static_cast<size_t>(iFrame++) % replayed.frameHashes.size()]);
        continue;
      }
      if (!cheat.repeats(iFrame)) plain.frame(bReactions, bDraw && !everySecond.leavesOut(iFrame));
      recordFrame(cheat, state, iFrame++, &plain.quads(), &hashes);
      benchmark::ClobberMemory();
    }
    lastFrame = plain.lastFrame();
  }
  const SWorldMinute wanted = engineMinute(uiSeed, &error);
  if (error.empty()) error = compareMinute(state, hashes, lastFrame, wanted);
  if (!error.empty()) state.SkipWithError(error.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iENEMIES);
}
BENCHMARK(BM_Baseline_WorldFrame200)->Iterations(gc_iFRAMES)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

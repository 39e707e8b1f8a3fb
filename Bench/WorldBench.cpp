// One world frame with 200 active enemies (update pass with motion, reactions and actions, then the draw pass into
// a recording sink) against the same frame written plainly over arrays (motion, reactions, animation, quads). The frame budget is 16.7 ms; the
// aim for the world frame is under 1 ms on one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Corvane/Animation/ClFlipBook.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

constexpr int gc_iENEMIES = 200;
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

void BM_Engine_WorldFrame200(benchmark::State& state) {
  ClWorldHarness world(99);
  if (!world.loadEnemies(gc_pScript).empty()) {
    state.SkipWithError("the benchmark's script was refused");
    return;
  }
  for (int i = 0; i < gc_iENEMIES; ++i) {
    world.spawn("Pacer", 50.0f + static_cast<f32>(i % 40) * 9.0f, i % 3);
  }
  g_fWorldCameraX = 0.0f;
  bool bAllDrawn = true;
  for (auto _ : state) {
    world.step(gc_fDT);
    EntityList::drawPass();
    bAllDrawn = bAllDrawn && world.m_sink.m_quads.size() == 2 * gc_iENEMIES;
    benchmark::DoNotOptimize(world.m_sink.m_quads.data());
    world.m_sink.m_quads.clear();
  }
  if (g_entityList.getCount() != gc_iENEMIES) {
    state.SkipWithError("enemies left the world during the benchmark");
  } else if (!bAllDrawn) {
    state.SkipWithError("a frame did not draw a body and a shadow for every enemy");
  }
  state.SetItemsProcessed(state.iterations() * gc_iENEMIES);
}
BENCHMARK(BM_Engine_WorldFrame200)->Unit(benchmark::kMicrosecond);

// The same frame written plainly over arrays: the motion, landing, lane following and the clock; the reactions as
// plain tests on a state number (the script's rows in their order, one random draw an enemy a frame for "Random"
// and one more when a swerve changes lane, as the engine's action does); the flip book's frame from its clock;
// then the draw pass writing the same quads into a vector of the same records (the body with its frame's image,
// snapped position, anchor, shader and depth, then the shadow). It checks that every frame wrote a body and a
// shadow for every enemy and that the pacers turned and swerved.
void BM_Baseline_WorldFrame200(benchmark::State& state) {
  ClWorldHarness world(99);
  if (!world.loadEnemies(gc_pScript).empty()) {
    state.SkipWithError("the benchmark's script was refused");
    return;
  }
  const ClFlipBook* pBook = ClFlipBookMgr::getFlipBook("PacerWalk");
  const SAtlasEntry* pShadow = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash("shad-tiny_216"));
  if (pBook == nullptr || pBook->getNumFrames() == 0 || pShadow == nullptr) {
    state.SkipWithError("the pacers' images are missing");
    return;
  }
  const i32 iFrames = pBook->getNumFrames();
  const f32 fFps = pBook->mp_fFramesPerSecond;
  const u32 uiBodyShader = KvStrHash("system_blend_premult");
  const u32 uiShadowShader = KvStrHash("vosk_shadow");
  const kv_vector2 vShadowPivot{pShadow->mp_pAtlasTexInfo->mp_fWidth * 0.5f,
                                pShadow->mp_pAtlasTexInfo->mp_fHeight * 0.5f};
  sfmtInitGenRand(99);
  constexpr f32 fSPEED = 40.0f;
  std::vector<f32> x(gc_iENEMIES), y(gc_iENEMIES), z(gc_iENEMIES, 0.0f), vx(gc_iENEMIES, -fSPEED),
      vz(gc_iENEMIES, 0.0f), az(gc_iENEMIES, 0.0f), duration(gc_iENEMIES, 0.0f), anim(gc_iENEMIES, 0.0f);
  std::vector<i32> lane(gc_iENEMIES), right(gc_iENEMIES, 0);
  for (int i = 0; i < gc_iENEMIES; ++i) {
    x[i] = 50.0f + static_cast<f32>(i % 40) * 9.0f + pBook->mp_daFrames[0].mp_fAnchorX;
    lane[i] = i % 3;
    y[i] = KvLaneLine(lane[i]);
  }
  std::vector<SWorldQuad> quads;
  quads.reserve(2 * gc_iENEMIES);
  i64 iTurns = 0;
  i64 iSwerves = 0;
  bool bAllDrawn = true;
  const auto snap = [](f32 v) { return static_cast<f32>(std::floor(static_cast<f64>(v) * 1.25 + 0.5)); };
  for (auto _ : state) {
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
      const f32 r = KvMath::randomUnitFloat();
      if (duration[i] > 1.0f) {
        ++iTurns;
        duration[i] = 0.0f;
        if (right[i] == 0) {
          right[i] = 1;
          vx[i] = fSPEED;
        } else {
          right[i] = 0;
          vx[i] = -fSPEED;
          if (r < 0.1f) {
            ++iSwerves;
            lane[i] = lane[i] == 1 ? KvMath::randomIntRange(0, 1) * 2 : 1;
          }
        }
      }
      anim[i] += gc_fDT;
    }
    quads.clear();
    for (int i = 0; i < gc_iENEMIES; ++i) {
      const SFlipBookFrame& frame =
          pBook->mp_daFrames[static_cast<i32>(anim[i] * fFps) % iFrames];
      SWorldQuad body;
      body.mp_pEntry = frame.mp_pImage;
      body.m_vPosition = {snap(x[i]), snap(y[i] + z[i])};
      body.m_vPivot = {frame.mp_fAnchorX, frame.mp_fAnchorY};
      body.m_uiShaderHash = uiBodyShader;
      body.m_fDepth = (100.0f - y[i]) + static_cast<f32>(i) * 0.1f;
      quads.push_back(body);
      SWorldQuad shadow;
      shadow.mp_pEntry = pShadow;
      shadow.m_vPosition = {snap(x[i]), snap(y[i])};
      shadow.m_vPivot = vShadowPivot;
      shadow.m_uiShaderHash = uiShadowShader;
      shadow.m_fDepth = 100.0f;
      quads.push_back(shadow);
    }
    bAllDrawn = bAllDrawn && quads.size() == 2 * gc_iENEMIES;
    benchmark::DoNotOptimize(quads.data());
    benchmark::ClobberMemory();
  }
  if (!bAllDrawn) {
    state.SkipWithError("a frame did not draw every enemy");
  } else if (state.iterations() > 120 && (iTurns == 0 || iSwerves == 0)) {
    state.SkipWithError("the pacers did not turn and swerve");
  }
  state.SetItemsProcessed(state.iterations() * gc_iENEMIES);
}
BENCHMARK(BM_Baseline_WorldFrame200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

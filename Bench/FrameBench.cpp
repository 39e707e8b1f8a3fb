// The game's composed frame at 1920 x 1080: the game started on the archives the build makes and run into its front
// end, the sample scene and the menus drawn through the render worker's composition, once copied plainly (as the
// pre-load mode composes) and once through the bloom and the CRT copy (the front end). Both are paired with the least
// a frame can cost: one textured full-screen quad from the 480 x 270 scene size, drawn with plain OpenGL into a window
// of the same size and swapped. FrameBloomCRTPasses measures the bloom and CRT passes alone, like for like: the
// game's composition of a frame whose scene is two solid quads and nothing else, against the same passes written in
// plain OpenGL; both read their picture back (see there). The counter "of_60Hz" is the frame's time over the 16.7 ms
// of a 60 Hz refresh; "cpu_ms" the CPU time of every thread of the process a frame (the game's, the render worker's
// and the software rasteriser's), which a shared machine disturbs less than the wall time.
//
// A level in play: one game frame of the busiest sample level as CPU time on the main thread (the render worker's
// GL work is on its own thread), paired with the same frame's main-thread work written plainly (struct-of-arrays
// entities with their reactions, collisions with the player, score and a spawner, quads in draw order, a double
// buffer to a plain OpenGL render thread). The baseline's workload is the
// game's own, measured from the engine's counters on the same run; both report it as counters (entities, quads per
// batch, draws).
//
// Runs on whatever SDL video driver is set (under Xvfb: x11; without a display: offscreen). Every frame checks that
// it reached the window: squares of the scene in colours of their own (the four of spread below, moved over the
// scene frame by frame, for FramePreLoadPlainCopy and FrameBloomCRT; the marker for FrameActionLevel;
// FrameBloomCRTPasses's stripe) must show in the window before the frame's swap. For FramePreLoadPlainCopy and
// FrameBloomCRT GRINDLOW_BENCH_SKIP "<case>.engine.frame" leaves out the game's frame (every frame must be presented)
// and "<case>.baseline.draw" the quad's draw (the picture must hold the texture); "<case>.<side>.everysecond"
// (FrameActionLevel's too) the frame in every second one (the engine's side only presents there);
// "<case>.<side>.<partial|repeat|middle>" the steps of CBenchCheat (see runGameFrames and runPlainQuadFrames).
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchConditionEnding.h"
#include "Bench/BenchGameRun.h"
#include "Bench/BenchPlainGLWindow.h"
#include "Bench/BenchSkip.h"
#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEScreenPause.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/UI/Cl2d.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/D3D9/D3D9GL.h"

namespace {

constexpr int gc_iWIDTH = gc_iGAME_WIDTH;
constexpr int gc_iHEIGHT = gc_iGAME_HEIGHT;
constexpr int gc_iSCENE_WIDTH = 480;
constexpr int gc_iSCENE_HEIGHT = 270;
constexpr double gc_fREFRESH_SECONDS = 1.0 / 60.0;

// The CPU time of every thread of the process so far, in seconds.
double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The process's CPU time a frame since fStart.
void reportProcessCpu(benchmark::State& state, double fStart) {
  if (state.iterations() == 0) return;
  state.counters["cpu_ms"] = (processCpuSeconds() - fStart) * 1000.0 / static_cast<double>(state.iterations());
}

void reportAgainstRefresh(benchmark::State& state) {
  state.counters["of_60Hz"] = benchmark::Counter(static_cast<double>(state.iterations()) * gc_fREFRESH_SECONDS,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The front end's bloom and CRT passes over one scene, through the game's frame composition and written plainly.
//
// The scene: the 480 x 270 target cleared, then two opaque quads of the UI's solid colour shader drawn over it, a
// dark grey over everything and a lighter grey stripe of 40 columns at column 200, full height, its grey one of
// seven in turn frame by frame; nothing else (no world, no menus, no UI). Then the passes: the bloom's two Gaussian
// passes (across, then down; the game's bloom has no threshold at its own size, so it reads the scene itself: 15
// taps of a Gaussian of sigma 0.9375 folded into 5 linearly filtered fetches), the scene plus its bloom halved into a
// target of the scene's size, and the CRT copy onto the 1920 x 1080 window (filtered, doubled and clamped, times the
// scanline mask and the phosphor triads worked out from the window pixel); the swap.
//
// Each side reads six pixels of every timed frame before its swap (three across the stripe's left edge, where the
// bloom spreads, and in the stripe on a scanline row, and three moved over the window frame by frame; the engine's
// through the device's probes at Present), and one more
// frame after the timed ones whole, at pixels across the stripe's left edge, in the dark grey and in the stripe, on
// a full and a scanline row; all are compared with the picture those passes make of that frame's stripe, worked
// out on the CPU (the 8-bit targets rounded): 4 levels a channel at most. GRINDLOW_BENCH_SKIP
// "FrameBloomCRTPasses.engine.scene" draws no scene quads and ".engine.crt" turns the game's CRT option off (its
// composition then copies the scene plainly); ".baseline.<blur|add|crt>" leaves out that plain pass;
// ".<side>.everysecond" the frame in every second one (the engine's side only presents there); ".<side>.repeat"
// gives every third frame the previous one's stripe, ".<side>.middle" the middle frame's stripe 32 levels of blue off,
// and ".engine.partial" leaves the stripe's quad out of every frame, ".baseline.partial" scissors the CRT copy to
// 200 x 200 pixels round the stripe's edge (BenchSkip.h).
namespace passes {

constexpr u32 gc_uiDARK = 0xFF202020u;
constexpr i32 gc_iSTRIPE_LEFT = 200;
constexpr i32 gc_iSTRIPE_WIDTH = 40;
constexpr f32 gc_fSCANLINE = 90.0f / 255.0f;
constexpr f32 gc_fPHOSPHOR = 160.0f / 255.0f;

// The Gaussian of the game's bloom (15 taps, sigma (15 x 0.5 / 2.8) x 0.35, weights adding up to 1) folded into
// linearly filtered fetches along one axis: the centre, then on each side the pairs of taps 1-2 and 3-4 texels away
// (further ones weigh less than a hundredth of an 8-bit level and are left out). x the offset in texels, w the weight.
struct SFetch {
  f32 x, w;
};
std::vector<SFetch> bloomFetches() {
  const f64 fSigma = 15.0 * 0.5 / 2.8 * 0.35;
  f64 afTap[8];
  f64 fSum = 0.0;
  for (i32 d = 0; d < 8; ++d) {
    afTap[d] = std::exp(-static_cast<f64>(d * d) / (2.0 * fSigma * fSigma));
    fSum += d == 0 ? afTap[d] : 2.0 * afTap[d];
  }
  std::vector<SFetch> fetches{{0.0f, static_cast<f32>(afTap[0] / fSum)}};
  for (i32 d = 1; d < 8; d += 2) {
    const f64 fWeight = (afTap[d] + (d + 1 < 8 ? afTap[d + 1] : 0.0)) / fSum;
    if (fWeight < 1.0 / (255.0 * 128.0)) continue;
    const f64 fAt = (d * afTap[d] + (d + 1) * (d + 1 < 8 ? afTap[d + 1] : 0.0)) / (fWeight * fSum);
    fetches.push_back({static_cast<f32>(fAt), static_cast<f32>(fWeight)});
    fetches.push_back({static_cast<f32>(-fAt), static_cast<f32>(fWeight)});
  }
  return fetches;
}

f64 level(u32 uiColor, i32 iShift) { return static_cast<f64>((uiColor >> iShift) & 0xFFu) / 255.0; }
f64 stored(f64 fValue) { return std::round(std::clamp(fValue, 0.0, 1.0) * 255.0) / 255.0; }

// The window's pixel (column x, row y from the top) as those passes make a scene whose every column is one colour
// down its height (sceneColor(c): column c's, 0xAARRGGBB), bytes R, G, B.
std::array<i32, 3> expectedPixel(const std::function<u32(i32)>& sceneColor, i32 x, i32 y) {
  const std::vector<SFetch> fetches = bloomFetches();
  // The scene is the same down every column, so the pass down only scales by its weights' sum.
  f64 fDownSum = 0.0;
  for (const SFetch& fetch : fetches) fDownSum += fetch.w;
  // The copy filters the 480-column target across 1920 columns: four window pixels a texel.
  const f64 fAt = (x + 0.5) * gc_iSCENE_WIDTH / gc_iWIDTH - 0.5;
  const i32 i0 = static_cast<i32>(std::floor(fAt));
  const f64 f = fAt - i0;
  const f64 fMask = y % 3 == 2 ? gc_fSCANLINE : 1.0;
  std::array<i32, 3> rgb{};
  for (i32 c = 0; c < 3; ++c) {
    const i32 iShift = 16 - 8 * c;
    const auto scene = [&](i32 iColumn) { return level(sceneColor(iColumn), iShift); };
    const auto lit = [&](i32 iColumn) {
      f64 fAcross = 0.0;
      for (const SFetch& fetch : fetches) {
        const f64 fFetchAt = iColumn + static_cast<f64>(fetch.x);
        const i32 j0 = static_cast<i32>(std::floor(fFetchAt));
        const f64 g = fFetchAt - j0;
        fAcross += fetch.w * (scene(j0) * (1.0 - g) + scene(j0 + 1) * g);
      }
      return stored((scene(iColumn) + stored(stored(fAcross) * fDownSum)) * 0.5);
    };
    const f64 fScene = std::min(2.0 * (lit(i0) * (1.0 - f) + lit(i0 + 1) * f), 1.0);
    rgb[static_cast<size_t>(c)] =
        static_cast<i32>(std::lround(fScene * fMask * (x % 3 == c ? 1.0 : gc_fPHOSPHOR) * 255.0));
  }
  return rgb;
}

// The scene's colour of column c with the stripe in uiLight.
u32 stripeScene(i32 c, u32 uiLight) {
  return c >= gc_iSTRIPE_LEFT && c < gc_iSTRIPE_LEFT + gc_iSTRIPE_WIDTH ? uiLight : gc_uiDARK;
}

// An empty answer when the colour (0xAARRGGBB) is the expected pixel within 4 levels a channel; else both, at (x, y).
std::string comparePixel(u32 uiGot, const std::array<i32, 3>& wanted, i32 x, i32 y) {
  const u32 uiWanted = 0xFF000000u | static_cast<u32>(wanted[0]) << 16 | static_cast<u32>(wanted[1]) << 8 |
                       static_cast<u32>(wanted[2]);
  if (benchNearColor(uiGot, uiWanted, 4)) return std::string();
  char acError[160];
  std::snprintf(acError, sizeof(acError), "the window's pixel (%d, %d) is %06X, the passes make %06X", x, y,
                uiGot & 0xFFFFFFu, uiWanted & 0xFFFFFFu);
  return acError;
}

// An empty answer when the picture (0xAARRGGBB, row 0 the top, gc_iWIDTH a row) of a frame whose stripe was uiLight
// holds the expected pixels across the stripe's left edge (columns 780 to 804), in the dark grey and in the stripe,
// on rows 540 to 542; else the first that does not.
std::string checkPicture(const std::function<u32(i32, i32)>& pixel, u32 uiLight) {
  for (i32 y = 540; y <= 542; ++y) {
    for (i32 x : {400, 780, 786, 790, 793, 796, 798, 799, 800, 801, 802, 804, 880}) {
      const std::string error =
          comparePixel(pixel(x, y), expectedPixel([uiLight](i32 c) { return stripeScene(c, uiLight); }, x, y), x, y);
      if (!error.empty()) return error;
    }
  }
  return std::string();
}

// Every frame's stripe is one of seven greys in turn, so that a frame not drawn, or showing an older frame's
// picture, shows another; each side reads these pixels of every frame (across the stripe's edge, where the bloom
// spreads, and in it on a scanline row) before its swap.
u32 stripeColor(i64 iFrame) {
  const u32 uiLevel = 0x50u + static_cast<u32>(iFrame % 7) * 0x0Cu;
  return 0xFF000000u | uiLevel * 0x010101u;
}
const std::vector<POINT> gc_aPROBES = {{796, 540}, {801, 541}, {820, 542}};
constexpr size_t gc_uiPROBES = 6;

// Frame iFrame's probes: gc_aPROBES, then three more moved over the window frame by frame (steps prime to its
// width and height), so that over a run they see every part of it, not only the stripe's edge.
std::vector<POINT> probesOf(i64 iFrame) {
  std::vector<POINT> points = gc_aPROBES;
  for (LONG k = 0; k < 3; ++k) {
    points.push_back({static_cast<LONG>((iFrame * 617 + k * gc_iWIDTH / 3) % gc_iWIDTH),
                      static_cast<LONG>((iFrame * 379 + k * gc_iHEIGHT / 3) % gc_iHEIGHT)});
  }
  return points;
}

// An empty answer when the probes of frame iFrame (0xAARRGGBB, probesOf(iFrame)'s order) are its picture's.
std::string checkProbes(i64 iFrame, const u32* puiProbed) {
  const u32 uiLight = stripeColor(iFrame);
  const std::vector<POINT> points = probesOf(iFrame);
  for (size_t i = 0; i < points.size(); ++i) {
    const i32 x = static_cast<i32>(points[i].x);
    const i32 y = static_cast<i32>(points[i].y);
    const std::string error =
        comparePixel(puiProbed[i], expectedPixel([uiLight](i32 c) { return stripeScene(c, uiLight); }, x, y), x, y);
    if (!error.empty()) return error;
  }
  return std::string();
}

// An empty answer when the colour uiGot at (x, y) is a flat uiColor copied plainly, or through the passes when bCRT.
std::string compareFlatPixel(u32 uiGot, u32 uiColor, i32 x, i32 y, bool bCRT) {
  const std::array<i32, 3> wanted =
      bCRT ? expectedPixel([uiColor](i32) { return uiColor; }, x, y)
           : std::array<i32, 3>{static_cast<i32>(uiColor >> 16 & 0xFFu), static_cast<i32>(uiColor >> 8 & 0xFFu),
                                static_cast<i32>(uiColor & 0xFFu)};
  return comparePixel(uiGot, wanted, x, y);
}

}  // namespace passes

// A game frame's witness: a 24 x 24 square in the scene's top-left corner, queued before the frame as a 2D sprite of
// the scene's last layer (over the scene's own, under the UI), in one of seven colours in turn frame by frame, so
// that a frame not drawn, or showing an older frame's picture, shows another. Each side reads two of its pixels in
// the window before every swap (the engine's through the device's probes at Present: two one-pixel reads, where the
// swap waits for the frame anyway); after the loop they must be the frame's colour as its composition shows it,
// copied plainly or through the bloom and the CRT copy (passes::expectedPixel), within 4 levels a channel.
namespace marker {

constexpr f32 gc_fLEFT = 8.0f;  // scene texels
constexpr f32 gc_fTOP = 8.0f;
constexpr i32 gc_iSIZE = 24;
// Window pixels in its middle, on a red and a green phosphor column; on rows the UI's scanline overlay, which
// darkens every third row of the front end and the level, leaves alone.
const std::vector<POINT> gc_aPROBES = {{78, 79}, {79, 81}};

u32 color(i64 iFrame) {
  const u32 k = static_cast<u32>(iFrame % 7);
  return 0xFF000000u | (0x20u + 0x10u * k) << 16 | (0x78u - 0x10u * k) << 8 | (0x28u + 0x08u * (3u * k % 7u));
}

// Queues frame iFrame's square (main thread, before the frame).
void queue(const SRenderSignature* pColor, i64 iFrame) {
  Cl2d::addSprite(2599, pColor, color(iFrame), gc_fLEFT, gc_fTOP, static_cast<f32>(gc_iSIZE),
                  static_cast<f32>(gc_iSIZE), {0.0f, 0.0f}, {1.0f, 1.0f});
}

// An empty answer when frame iFrame's probes (gc_aPROBES's order) show its square, through the CRT passes when bCRT.
std::string check(i64 iFrame, const u32* puiProbed, bool bCRT) {
  const u32 uiColor = color(iFrame);
  for (size_t i = 0; i < gc_aPROBES.size(); ++i) {
    const i32 x = static_cast<i32>(gc_aPROBES[i].x);
    const i32 y = static_cast<i32>(gc_aPROBES[i].y);
    const std::string error = passes::compareFlatPixel(puiProbed[i], uiColor, x, y, bCRT);
    if (!error.empty()) return error;
  }
  return std::string();
}

}  // namespace marker

// Untimed frames each side of the front end's and the pre-load's pairs draws before its timed ones (frames -2 and
// -1), so that the targets, the programs and the rasteriser's compiled shaders exist on both alike. The step
// "repeat" counts frames from the first of them: timed frame 0 is the third drawn, and gives frame -1's squares.
constexpr i32 gc_iWARM_UP_FRAMES = 2;

// The front end's and the pre-load frames' witnesses: four squares of 24 x 24 scene texels a frame, queued as the
// marker is (layer 2599) on cells of a 20 x 11 grid over the 480 x 270 scene, each frame's on cells of their own
// (a step prime to the cells' count, so that 55 frames go over every cell), each square in a colour of its own
// frame by frame. Each side reads the middle of every square in the window before the swap; after the loop each
// must be its square's colour as the frame's composition shows it. The squares lie over the menus and the scene:
// what those draw is not checked, only that the frame's composition showed every square of its own.
namespace spread {

constexpr i32 gc_iMARKS = 4;
constexpr i32 gc_iCOLUMNS = gc_iSCENE_WIDTH / marker::gc_iSIZE;
constexpr i32 gc_iROWS = gc_iSCENE_HEIGHT / marker::gc_iSIZE;
constexpr i32 gc_iTOP = (gc_iSCENE_HEIGHT - gc_iROWS * marker::gc_iSIZE) / 2;

// The cells (row x gc_iCOLUMNS + column) the squares go on, in the order they are taken: a step prime to their
// count, about a third of it, so that one frame's squares lie apart.
const std::vector<i32>& cells() {
  static const std::vector<i32> s_cells = [] {
    const size_t uiCells = static_cast<size_t>(gc_iCOLUMNS * gc_iROWS);
    size_t uiStep = uiCells / 3 + 1;
    while (std::gcd(uiStep, uiCells) != 1) ++uiStep;
    std::vector<i32> order;
    for (size_t i = 0; i < uiCells; ++i) order.push_back(static_cast<i32>(i * uiStep % uiCells));
    return order;
  }();
  return s_cells;
}

struct SSquare {
  i32 x, y;  // top-left, scene texels
  u32 uiColor;
};

// Square k of frame iFrame.
SSquare square(i64 iFrame, i32 k) {
  const std::vector<i32>& order = cells();
  const u64 uiAt = static_cast<u64>(iFrame) * gc_iMARKS + static_cast<u64>(k);
  const i32 iCell = order[uiAt % order.size()];
  // Each channel a level of its own from 0x20 to 0xDF, mixed from the frame and the square.
  u64 uiMix = (uiAt + 1) * 0x9E3779B97F4A7C15ull;
  uiMix ^= uiMix >> 31;
  const u32 uiColor = 0xFF000000u | (0x20u + static_cast<u32>(uiMix & 0xBFu)) << 16 |
                      (0x20u + static_cast<u32>(uiMix >> 8 & 0xBFu)) << 8 |
                      (0x20u + static_cast<u32>(uiMix >> 16 & 0xBFu));
  return {iCell % gc_iCOLUMNS * marker::gc_iSIZE, gc_iTOP + iCell / gc_iCOLUMNS * marker::gc_iSIZE, uiColor};
}

// The window pixel read for a square: its middle, on a row the scanlines leave alone.
POINT probe(const SSquare& square) {
  const i32 iScale = gc_iWIDTH / gc_iSCENE_WIDTH;
  const i32 y = (square.y + marker::gc_iSIZE / 2) * iScale;
  return {(square.x + marker::gc_iSIZE / 2) * iScale, y % 3 == 2 ? y - 1 : y};
}

std::vector<POINT> probes(i64 iFrame) {
  std::vector<POINT> points;
  for (i32 k = 0; k < gc_iMARKS; ++k) points.push_back(probe(square(iFrame, k)));
  return points;
}

// The colour a side's step "middle" gives square 0 of its middle frame instead of its own.
u32 changed(u32 uiColor) { return uiColor ^ 0x00400000u; }

// Queues frame iFrame's squares (main thread, before the frame), the last left out when bPartial, square 0 in
// another colour when bChanged.
void queue(const SRenderSignature* pColor, i64 iFrame, bool bPartial, bool bChanged) {
  for (i32 k = 0; k < gc_iMARKS - (bPartial ? 1 : 0); ++k) {
    const SSquare mark = square(iFrame, k);
    Cl2d::addSprite(2599, pColor, k == 0 && bChanged ? changed(mark.uiColor) : mark.uiColor, static_cast<f32>(mark.x),
                    static_cast<f32>(mark.y), static_cast<f32>(marker::gc_iSIZE), static_cast<f32>(marker::gc_iSIZE),
                    {0.0f, 0.0f}, {1.0f, 1.0f});
  }
}

// An empty answer when frame iFrame's probes (probes(iFrame)'s order) show its squares, through the CRT passes
// when bCRT.
std::string check(i64 iFrame, const u32* puiProbed, bool bCRT) {
  for (i32 k = 0; k < gc_iMARKS; ++k) {
    const SSquare mark = square(iFrame, k);
    const POINT point = probe(mark);
    const i32 x = static_cast<i32>(point.x);
    const i32 y = static_cast<i32>(point.y);
    const std::string error = passes::compareFlatPixel(puiProbed[k], mark.uiColor, x, y, bCRT);
    if (!error.empty()) return error;
  }
  return std::string();
}

}  // namespace spread

// The game's frames with their markers (the one marker, or the four squares of spread when bSpread): a frame that
// the step "everysecond" leaves out only presents; with spread's squares, the steps of CBenchCheat leave out the
// last square of every frame ("partial"), queue the previous frame's squares in every third ("repeat") or change
// square 0's colour in the middle one ("middle").
class CMarkedGameFrames {
 public:
  // From the next frame on; sSide "<case>.engine".
  CMarkedGameFrames(const std::string& sSide, bool bSpread = false)
      : m_pDevice(ClGraphics::mp_pDevice),
        m_pColor(ClSignatureMgr::getSignatureByHashNoTex(KvStrHash("system_blend_color"))),
        m_everySecond(sSide),
        m_cheat(sSide),
        m_bSpread(bSpread),
        m_uiPresentsBefore(D3D9TestPresentCount(m_pDevice)) {
    if (!m_bSpread) D3D9TestProbeAtPresent(m_pDevice, marker::gc_aPROBES);
  }
  ~CMarkedGameFrames() { D3D9TestProbeAtPresent(m_pDevice, {}); }
  // Frame m_iFrame of iFrames (the run's, for the step "middle").
  void frame(f32 fDT, i64 iFrames = 0) {
    if (m_bSpread) D3D9TestProbeAtPresent(m_pDevice, spread::probes(m_iFrame));
    // With the one marker, the step "repeat" presents the previous frame's picture again every third frame.
    if (m_everySecond.leavesOut(m_iFrame) || (!m_bSpread && m_cheat.repeats(m_iFrame))) {
      m_pDevice->Present(nullptr, nullptr, nullptr, nullptr);
    } else {
      if (!m_bSpread) {
        marker::queue(m_pColor, m_iFrame);
      } else {
        const bool bRepeat = m_cheat.repeats(m_iFrame + gc_iWARM_UP_FRAMES);
        spread::queue(m_pColor, bRepeat ? m_iFrame - 1 : m_iFrame, m_cheat.partial(),
                      m_cheat.changes(m_iFrame, iFrames));
      }
      ClGame::tickFrame(fDT);
    }
    ++m_iFrame;
  }
  // After the loop: an empty answer when each of the run's frames was presented, without a GL error, showing its
  // marker or squares (through the bloom and the CRT copy when bCRT); else what was wrong.
  std::string check(const benchmark::State& state, bool bCRT) {
    const UINT uiPresents = D3D9TestPresentCount(m_pDevice) - m_uiPresentsBefore;
    CBenchFrameRecord<u32> probes(state, m_bSpread ? spread::gc_iMARKS : marker::gc_aPROBES.size());
    for (DWORD uiPixel : D3D9TestTakeProbes(m_pDevice)) probes.add(uiPixel);
    if (uiPresents != state.iterations()) {
      return "frames presented: " + std::to_string(uiPresents) + " of " + std::to_string(state.iterations());
    }
    if (D3D9TestGLErrorCount(m_pDevice) != 0) return "OpenGL errors while drawing";
    if (m_bSpread) {
      return probes.check(state.iterations(),
                          [bCRT](i64 i, const u32* puiProbed) { return spread::check(i, puiProbed, bCRT); });
    }
    return probes.check(state.iterations(),
                        [bCRT](i64 i, const u32* puiProbed) { return marker::check(i, puiProbed, bCRT); });
  }

 private:
  IDirect3DDevice9* m_pDevice;
  const SRenderSignature* m_pColor;
  CBenchEverySecond m_everySecond;
  CBenchCheat m_cheat;
  bool m_bSpread;
  UINT m_uiPresentsBefore;
  i64 m_iFrame = 0;
};


// Game frames drawn as in eMode, composed through the bloom and the CRT copy when bCRT, with spread's squares
// (CMarkedGameFrames). sCase names the pair for GRINDLOW_BENCH_SKIP.
void runGameFrames(benchmark::State& state, E_GAME_MODE eMode, const std::string& sCase, bool bCRT) {
  CGameRun game;
  if (!game.startFor(state)) return;
  const E_GAME_MODE eSaved = g_eCurrentGameMode;
  g_eCurrentGameMode = eMode;
  const SRenderSignature* pColor = ClSignatureMgr::getSignatureByHashNoTex(KvStrHash("system_blend_color"));
  for (i32 i = -gc_iWARM_UP_FRAMES; i < 0; ++i) {
    spread::queue(pColor, i, false, false);
    ClGame::tickFrame(0.016f);
  }
  const bool bFrame = !benchSkips(sCase + ".engine.frame");
  CMarkedGameFrames frames(sCase + ".engine", true);
  const double fCpuStart = processCpuSeconds();
  for (auto _ : state) {
    if (bFrame) frames.frame(0.016f, state.max_iterations);
  }
  reportProcessCpu(state, fCpuStart);
  g_eCurrentGameMode = eSaved;
  const std::string error = frames.check(state, bCRT);
  if (!error.empty()) state.SkipWithError(error.c_str());
  reportAgainstRefresh(state);
}

void BM_Engine_FramePreLoadPlainCopy(benchmark::State& state) {
  runGameFrames(state, E_GAME_MODE_PRELOAD, "FramePreLoadPlainCopy", false);
}
void BM_Engine_FrameBloomCRT(benchmark::State& state) {
  runGameFrames(state, E_GAME_MODE_FRONTEND, "FrameBloomCRT", true);
}

// What the main thread of a level frame hands to the renderer, averaged over a few frames and read from the
// engine's own counters once each frame has been drawn: the live entities, and per batch (world, 2D, UI) the quads
// written (indices / 6: the odd circle counts as its triangles' worth) and the draws the batch took (runs of one
// render signature).
struct SFrameWorkload {
  f64 mp_fEntities = 0.0;
  f64 mp_afQuads[3] = {};
  f64 mp_afDraws[3] = {};
};

// Runs iFrames frames of 1/60 s and averages what each produced.
SFrameWorkload measureFrameWorkload(i32 iFrames) {
  constexpr u32 s_auiFLAGS[3] = {gc_uiDYNGEO_FLAG_WORLD, gc_uiDYNGEO_FLAG_2D, gc_uiDYNGEO_FLAG_UI};
  constexpr i32 s_aiBATCHES[3] = {gc_iGAME_BATCH_WORLD, gc_iGAME_BATCH_2D, gc_iGAME_BATCH_UI};
  SFrameWorkload work;
  for (i32 iFrame = 0; iFrame < iFrames; ++iFrame) {
    ClGame::tickFrame(1.0f / 60.0f);
    // The hand-over has waited for the render worker: the frame's elements and batches stand until the next one.
    work.mp_fEntities += g_entityList.getCount();
    for (i32 i = 0; i < ClDynamicGeometry::getNumElements(); ++i) {
      for (i32 b = 0; b < 3; ++b) {
        if ((ClDynamicGeometry::mp_auiFlags[i] & s_auiFLAGS[b]) != 0) {
          work.mp_afQuads[b] += ClDynamicGeometry::mp_aRanges[i].mp_uiNumIndices / 6.0;
        }
      }
    }
    for (i32 b = 0; b < 3; ++b) work.mp_afDraws[b] += ClDynamicGeometry::getBatch(s_aiBATCHES[b]).mp_uiNumDrawCalls;
  }
  work.mp_fEntities /= iFrames;
  for (i32 b = 0; b < 3; ++b) {
    work.mp_afQuads[b] /= iFrames;
    work.mp_afDraws[b] /= iFrames;
  }
  return work;
}

void reportFrameWorkload(benchmark::State& state, const SFrameWorkload& work) {
  state.counters["entities"] = work.mp_fEntities;
  state.counters["world_quads"] = work.mp_afQuads[0];
  state.counters["2d_quads"] = work.mp_afQuads[1];
  state.counters["ui_quads"] = work.mp_afQuads[2];
  state.counters["draws"] = work.mp_afDraws[0] + work.mp_afDraws[1] + work.mp_afDraws[2];
}

// Whether the level is being played: in the Action mode, not paused, its results not shown.
bool levelInPlay() {
  return g_eCurrentGameMode == E_GAME_MODE_ACTION && GAMEGetRootValue("PauseGame", 0) == 0 && g_bResultsShown == 0;
}

// The busiest sample level in play: the game started with SKIP_UI, a fixed seed and the random-input tester, the
// third level of the first chapter ("Chapter1_3", the most rows of the chapter) entered as the pause menu's restart
// does, and 20 s of it played so that its rows are on screen and fighting. The first level's how-to-play pages,
// which pause the first game a process starts, are left through their button's action first, and the random
// numbers are seeded again as the level starts, so that every game a process starts plays the same level. An empty
// answer when the level is in play with its rows (more than the player alive), else what went wrong.
std::string playBusiestLevel(CGameRun* pGame) {
  std::string error;
  if (!pGame->start(&error, true, "SKIP_UI 1\nRANDOM_SEED 1234\nMONKEY_SCHEME Scheme_InGame\nDISABLE_VO 1\n")) {
    return error;
  }
  for (i32 i = 0; i < 20 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i) ClGame::tickFrame(1.0f / 60.0f);
  if (GAMEGetRootValue("HowToPlayFromGame", 0) != 0) systemHowToPlayBackClick(nullptr, nullptr);
  ClGame::seedRandom();
  g_iSelectedChapter = 0;
  g_iSelectedLevel = 2;
  g_bRestartRequest = 1;
  ClGame::tickFrame(1.0f / 60.0f);
  if (g_eCurrentGameMode != E_GAME_MODE_ACTION || g_gameModeAction.m_iLevel != 2) {
    return "the game did not enter the third level of the first chapter";
  }
  for (i32 i = 0; i < 20 * 60; ++i) ClGame::tickFrame(1.0f / 60.0f);
  if (!levelInPlay()) {
    return "the level was not in play after 20 s (paused " + std::to_string(GAMEGetRootValue("PauseGame", 0)) + ")";
  }
  if (g_entityList.getCount() < 2) return "the level's rows did not come in: only the player after 20 s";
  return std::string();
}

// The frames measured for the workload after the 20 s of play (one more second), on both sides of the pair.
constexpr i32 gc_iWORKLOAD_FRAMES = 60;

// A whole game frame of the busiest level as CPU time on the main thread: the world's update and draw lists, the
// HUD, the UI and the composition's submission (the render worker's GL work is on its own thread). Each iteration
// is one 1/60 s frame; the run stops with an error if the level was not in play (not paused, no results) for every
// timed frame. GRINDLOW_BENCH_SKIP "FrameActionLevel.engine.update" leaves the world's update out of the frames (the
// game's pause does), ".repeat" presents the previous frame again every third frame. Only the marker is read back:
// what the game draws of the level is not checked.
void BM_Engine_FrameActionLevel(benchmark::State& state) {
  CGameRun game;
  const std::string error = playBusiestLevel(&game);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const SFrameWorkload work = measureFrameWorkload(gc_iWORKLOAD_FRAMES);
  if (benchSkips("FrameActionLevel.engine.update")) GAMESetRootValue("PauseGame", 1);
  CMarkedGameFrames frames("FrameActionLevel.engine");
  bool bInPlay = true;
  for (auto _ : state) {
    frames.frame(1.0f / 60.0f);
    bInPlay = bInPlay && levelInPlay();
  }
  const std::string problem = frames.check(state, g_bCRTEffectOption != 0);
  if (!bInPlay) {
    state.SkipWithError("the level was not in play for every timed frame (paused, ended or its results shown)");
  } else if (!problem.empty()) {
    state.SkipWithError(problem.c_str());
  }
  reportFrameWorkload(state, work);
  reportAgainstRefresh(state);
}

// The least a frame can cost: a 480 x 270 texture drawn over a 1920 x 1080 window by one quad (point sampling, no
// blending, no clear since the quad covers everything) and the swap; the frame's squares (spread) written into the
// texture first, their middles read before the swap. The same untimed frames first as the engine's side draws.
// sCase names the pair for GRINDLOW_BENCH_SKIP; its steps of CBenchCheat draw the quad scissored to the window's
// bottom-left 200 x 200 pixels ("partial"), write the previous frame's squares in every third frame ("repeat") or
// change square 0's colour in the middle one ("middle").
void runPlainQuadFrames(benchmark::State& state, const std::string& sCase) {
  CPlainGLWindow window;
  if (!window.openFor(state)) return;
  const SD3D9GLFunctions& gl = window.gl;
  const GLuint program = window.useProgram(R"(#version 330 core
out vec2 v_uv;
void main() {
  vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
  v_uv = vec2(corner.x, 1.0 - corner.y);
  gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
})",
                                           R"(#version 330 core
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_texture;
void main() { o_color = texture(u_texture, v_uv); })");
  if (program == 0) {
    state.SkipWithError("the quad's program did not build");
    return;
  }
  GLuint vao = 0;
  gl.GenVertexArrays(1, &vao);
  gl.BindVertexArray(vao);
  std::vector<uint32_t> texels(static_cast<size_t>(gc_iSCENE_WIDTH) * gc_iSCENE_HEIGHT);
  for (size_t i = 0; i < texels.size(); ++i) texels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
  const GLuint texture =
      window.makeTexture(gc_iSCENE_WIDTH, gc_iSCENE_HEIGHT, texels.data(), GL_NEAREST, GL_CLAMP_TO_EDGE);
  gl.Viewport(0, 0, gc_iWIDTH, gc_iHEIGHT);
  const bool bDraw = !benchSkips(sCase + ".baseline.draw");
  const CBenchEverySecond everySecond(sCase + ".baseline");
  const CBenchCheat cheat(sCase + ".baseline");
  CBenchFrameRecord<u32> probes(state, spread::gc_iMARKS);
  // A frame: its squares of texels in their colours (spread::square), then the quad and the probes.
  std::vector<uint32_t> square(static_cast<size_t>(marker::gc_iSIZE) * marker::gc_iSIZE);
  const auto frame = [&](i64 iFrame, bool bRecord) {
    const i64 iShown = cheat.repeats(iFrame + gc_iWARM_UP_FRAMES) ? iFrame - 1 : iFrame;
    if (!everySecond.leavesOut(iFrame)) {
      for (i32 k = 0; k < spread::gc_iMARKS; ++k) {
        const spread::SSquare mark = spread::square(iShown, k);
        std::fill(square.begin(), square.end(),
                  k == 0 && cheat.changes(iFrame, state.max_iterations) ? spread::changed(mark.uiColor) : mark.uiColor);
        gl.TexSubImage2D(GL_TEXTURE_2D, 0, mark.x, mark.y, marker::gc_iSIZE, marker::gc_iSIZE, GL_BGRA,
                         GL_UNSIGNED_BYTE, square.data());
      }
      if (cheat.partial()) {
        gl.Enable(GL_SCISSOR_TEST);
        gl.Scissor(0, 0, 200, 200);
      }
      if (bDraw) gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      if (cheat.partial()) gl.Disable(GL_SCISSOR_TEST);
    }
    for (i32 k = 0; k < spread::gc_iMARKS && bRecord; ++k) {
      const POINT point = spread::probe(spread::square(iFrame, k));
      uint32_t uiPixel = 0;
      gl.ReadPixels(point.x, gc_iHEIGHT - 1 - point.y, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &uiPixel);
      probes.add(uiPixel);
    }
    window.swap();
  };
  for (i32 i = -gc_iWARM_UP_FRAMES; i < 0; ++i) frame(i, false);
  const double fCpuStart = processCpuSeconds();
  i64 iFrame = 0;
  for (auto _ : state) frame(iFrame++, true);
  reportProcessCpu(state, fCpuStart);
  // The picture must hold the texture: the window's middle pixel comes from the texel under it (the texture as it
  // was before the squares).
  gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, gc_iSCENE_WIDTH, gc_iSCENE_HEIGHT, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
  gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  gl.Clear(GL_COLOR_BUFFER_BIT);
  if (bDraw) gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  uint32_t uiMiddle = 0;
  gl.ReadPixels(gc_iWIDTH / 2, gc_iHEIGHT / 2, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &uiMiddle);
  const size_t uiTexel = static_cast<size_t>(gc_iSCENE_HEIGHT - 1 - gc_iSCENE_HEIGHT / 2) * gc_iSCENE_WIDTH +
                         gc_iSCENE_WIDTH / 2;
  std::string error;
  if (gl.GetError() != GL_NO_ERROR) {
    error = "OpenGL errors while drawing";
  } else if (uiMiddle != texels[uiTexel]) {
    error = "the quad did not draw its texture";
  } else {
    error = probes.check(state.iterations(),
                         [](i64 i, const u32* puiProbed) { return spread::check(i, puiProbed, false); });
  }
  if (!error.empty()) state.SkipWithError(error.c_str());
  reportAgainstRefresh(state);
  gl.DeleteTextures(1, &texture);
  gl.DeleteVertexArrays(1, &vao);
  gl.DeleteProgram(program);
}

void BM_Baseline_FramePreLoadPlainCopy(benchmark::State& state) { runPlainQuadFrames(state, "FramePreLoadPlainCopy"); }
void BM_Baseline_FrameBloomCRT(benchmark::State& state) { runPlainQuadFrames(state, "FrameBloomCRT"); }


// The game's composition (its render function, called here on the main thread while the render worker waits for a
// frame that does not come) with the front end's CRT option on, a frame's 2D batch holding the two scene quads.
// Every Present reads the probe points (the device's probes).
void BM_Engine_FrameBloomCRTPasses(benchmark::State& state) {
  CGameRun game;
  if (!game.startFor(state)) return;
  std::string error;
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  const bool bScene = !benchSkips("FrameBloomCRTPasses.engine.scene");
  const CBenchEverySecond everySecond("FrameBloomCRTPasses.engine");
  const u32 uiSavedCRT = g_bCRTEffectOption;
  g_bCRTEffectOption = benchSkips("FrameBloomCRTPasses.engine.crt") ? 0 : 1;
  const SRenderSignature* pColor = ClSignatureMgr::getSignatureByHashNoTex(KvStrHash("system_blend_color"));
  const CBenchCheat cheat("FrameBloomCRTPasses.engine");
  bool bPartial = false;
  const auto frame = [bScene, pColor, &bPartial](u32 uiLight) {
    ClDynamicGeometry::beginFrame();
    for (const auto& [fLeft, fWidth, uiColor] :
         {std::tuple{0.0f, static_cast<f32>(gc_iSCENE_WIDTH), passes::gc_uiDARK},
          std::tuple{static_cast<f32>(passes::gc_iSTRIPE_LEFT), static_cast<f32>(passes::gc_iSTRIPE_WIDTH), uiLight}}) {
      SDynamicGeometryAlloc alloc;
      ClDynamicGeometry::reserve(1, 4, 6, &alloc);
      if (!bScene || alloc.mp_pVerts == nullptr || (bPartial && uiColor == uiLight)) continue;
      const f32 x0 = fLeft - 0.5f, x1 = fLeft + fWidth - 0.5f, y0 = -0.5f, y1 = gc_iSCENE_HEIGHT - 0.5f;
      alloc.mp_pVerts[0] = SDynamicGeometryVertex{x0, y0, 0.0f, uiColor, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
      alloc.mp_pVerts[1] = SDynamicGeometryVertex{x1, y0, 0.0f, uiColor, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
      alloc.mp_pVerts[2] = SDynamicGeometryVertex{x0, y1, 0.0f, uiColor, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
      alloc.mp_pVerts[3] = SDynamicGeometryVertex{x1, y1, 0.0f, uiColor, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
      ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes, alloc.mp_uiFirstVertex, true);
      ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, 6, gc_uiDYNGEO_FLAG_2D, pColor,
                                    fWidth == gc_iSCENE_WIDTH ? 2.0f : 1.0f);
    }
    g_GAMEGraphicsHooks.renderFrame();
  };
  // One frame first, so that the passes' programs and targets exist before timing.
  frame(passes::stripeColor(0));
  const UINT uiPresentsBefore = D3D9TestPresentCount(pDevice);
  const double fCpuStart = processCpuSeconds();
  bPartial = cheat.partial();
  i64 iFrame = 0;
  for (auto _ : state) {
    D3D9TestProbeAtPresent(pDevice, passes::probesOf(iFrame));
    if (everySecond.leavesOut(iFrame)) {
      pDevice->Present(nullptr, nullptr, nullptr, nullptr);
    } else {
      u32 uiLight = passes::stripeColor(cheat.repeats(iFrame) ? iFrame - 1 : iFrame);
      if (cheat.changes(iFrame, state.max_iterations)) uiLight ^= 0x20u;
      frame(uiLight);
    }
    ++iFrame;
  }
  bPartial = false;
  reportProcessCpu(state, fCpuStart);
  const UINT uiPresents = D3D9TestPresentCount(pDevice) - uiPresentsBefore;
  D3D9TestProbeAtPresent(pDevice, {});
  CBenchFrameRecord<u32> probes(state, passes::gc_uiPROBES);
  for (DWORD uiPixel : D3D9TestTakeProbes(pDevice)) probes.add(uiPixel);
  // The read-back keeps every picture presented after its first call (a copy at each Present): one more frame,
  // untimed, read whole.
  UINT uiW = 0;
  UINT uiH = 0;
  D3D9TestReadBackBuffer(pDevice, &uiW, &uiH);
  frame(passes::stripeColor(iFrame));
  const std::vector<DWORD> picture = D3D9TestReadBackBuffer(pDevice, &uiW, &uiH);
  g_bCRTEffectOption = uiSavedCRT;
  if (uiPresents != state.iterations()) {
    error = "frames presented: " + std::to_string(uiPresents) + " of " + std::to_string(state.iterations());
  } else if (D3D9TestGLErrorCount(pDevice) != 0) {
    error = "OpenGL errors while drawing";
  } else {
    error = probes.check(state.iterations(), &passes::checkProbes);
  }
  if (error.empty() && (uiW != gc_iWIDTH || uiH != gc_iHEIGHT || picture.size() != static_cast<size_t>(uiW) * uiH)) {
    error = "the back buffer could not be read";
  } else if (error.empty()) {
    error = passes::checkPicture([&picture](i32 x, i32 y) { return picture[static_cast<size_t>(y) * gc_iWIDTH + x]; },
                                 passes::stripeColor(iFrame));
  }
  if (!error.empty()) state.SkipWithError(error.c_str());
  reportAgainstRefresh(state);
}

// The same passes written in plain OpenGL: a program a pass, the targets made once, the scene's two quads from one
// vertex buffer. No clears but the scene's: every other pass covers its target.
void BM_Baseline_FrameBloomCRTPasses(benchmark::State& state) {
  CPlainGLWindow window;
  if (!window.openFor(state)) return;
  const SD3D9GLFunctions& gl = window.gl;
  // Texture coordinates over the target, from its bottom-left corner.
  const char* const pVertex = R"(#version 330 core
out vec2 v_uv;
void main() {
  vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
  v_uv = corner;
  gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
})";
  const std::vector<passes::SFetch> fetches = passes::bloomFetches();
  const std::string header =
      "#version 330 core\nin vec2 v_uv;\nout vec4 o_color;\nuniform sampler2D u_t0;\nuniform sampler2D u_t1;\n";
  enum { BLUR, ADD, CRT, NUM_PASSES };
  const std::string aFragment[NUM_PASSES] = {
      "const int FETCHES = " + std::to_string(fetches.size()) + ";\n"
      "uniform vec3 u_fetches[FETCHES];\n"
      "void main() {\n"
      "  vec3 sum = vec3(0.0);\n"
      "  for (int i = 0; i < FETCHES; ++i) sum += textureLod(u_t0, v_uv + u_fetches[i].xy, 0.0).rgb * u_fetches[i].z;\n"
      "  o_color = vec4(sum, 1.0);\n"
      "}",
      "void main() { o_color = vec4((textureLod(u_t0, v_uv, 0.0).rgb + textureLod(u_t1, v_uv, 0.0).rgb) * 0.5, 1.0); }",
      // The scanlines (two full rows, one at 0x5A) and the phosphor triads (one channel full, the others at 0xA0)
      // from the window pixel, rows counted from the top as the game's copy counts them.
      "void main() {\n"
      "  vec3 scene = min(textureLod(u_t0, v_uv, 0.0).rgb * 2.0, vec3(1.0));\n"
      "  vec2 cell = vec2(floor(gl_FragCoord.x), " + std::to_string(gc_iHEIGHT - 1) + ".0 - floor(gl_FragCoord.y));\n"
      "  vec2 phase = cell - 3.0 * floor((cell + 0.5) / 3.0);\n"
      "  float mask = phase.y > 1.5 ? 90.0 / 255.0 : 1.0;\n"
      "  vec3 phosphor = vec3(160.0 / 255.0);\n"
      "  phosphor[int(phase.x)] = 1.0;\n"
      "  o_color = vec4(scene * mask * phosphor, 1.0);\n"
      "}"};
  GLuint aPrograms[NUM_PASSES] = {};
  for (int i = 0; i < NUM_PASSES; ++i) {
    aPrograms[i] = window.useProgram(pVertex, (header + aFragment[i]).c_str());
    if (aPrograms[i] == 0) {
      state.SkipWithError("a pass's program did not build");
      return;
    }
    gl.Uniform1i(gl.GetUniformLocation(aPrograms[i], "u_t0"), 0);
    gl.Uniform1i(gl.GetUniformLocation(aPrograms[i], "u_t1"), 1);
  }
  // The scene's quads: positions in target pixels from the top-left corner, and a colour each.
  const GLuint colorProgram = window.useProgram(R"(#version 330 core
layout(location = 0) in vec2 a_position;
layout(location = 1) in vec4 a_color;
out vec4 v_color;
void main() {
  v_color = a_color;
  gl_Position = vec4(a_position * vec2(2.0 / 480.0, -2.0 / 270.0) + vec2(-1.0, 1.0), 0.0, 1.0);
})",
                                                R"(#version 330 core
in vec4 v_color;
out vec4 o_color;
void main() { o_color = v_color; })");
  if (colorProgram == 0) {
    state.SkipWithError("the scene's program did not build");
    return;
  }
  struct SVertex {
    f32 x, y;
    u32 color;  // bytes R, G, B, A
  };
  // The stripe's six vertices are the last; their colour changes every frame.
  const auto rgba = [](u32 uiColor) { return (uiColor & 0xFF00FF00u) | ((uiColor >> 16) & 0xFFu) | ((uiColor & 0xFFu) << 16); };
  std::vector<SVertex> quads;
  for (const auto& [fLeft, fWidth, uiColor] :
       {std::tuple{0.0f, static_cast<f32>(gc_iSCENE_WIDTH), passes::gc_uiDARK},
        std::tuple{static_cast<f32>(passes::gc_iSTRIPE_LEFT), static_cast<f32>(passes::gc_iSTRIPE_WIDTH),
                   passes::stripeColor(0)}}) {
    for (const auto& [fX, fY] : {std::pair{0.0f, 0.0f}, std::pair{1.0f, 0.0f}, std::pair{0.0f, 1.0f},
                                 std::pair{1.0f, 0.0f}, std::pair{1.0f, 1.0f}, std::pair{0.0f, 1.0f}}) {
      quads.push_back({fLeft + fX * fWidth, fY * gc_iSCENE_HEIGHT, rgba(uiColor)});
    }
  }
  const size_t uiStripe = quads.size() - 6;
  GLuint emptyVao = 0;
  GLuint sceneVao = 0;
  GLuint sceneBuffer = 0;
  gl.GenVertexArrays(1, &emptyVao);
  gl.GenVertexArrays(1, &sceneVao);
  gl.BindVertexArray(sceneVao);
  gl.GenBuffers(1, &sceneBuffer);
  gl.BindBuffer(GL_ARRAY_BUFFER, sceneBuffer);
  gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(quads.size() * sizeof(SVertex)), quads.data(), GL_STATIC_DRAW);
  gl.EnableVertexAttribArray(0);
  gl.EnableVertexAttribArray(1);
  gl.VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(SVertex), reinterpret_cast<void*>(offsetof(SVertex, x)));
  gl.VertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(SVertex),
                         reinterpret_cast<void*>(offsetof(SVertex, color)));
  // The targets at the scene's size: the scene, the bloom across, the bloom, the scene with its bloom.
  enum { SCENE, ACROSS, BLOOM, LIT, NUM_TARGETS };
  GLuint aTargets[NUM_TARGETS] = {};
  GLuint aFramebuffers[NUM_TARGETS] = {};
  gl.GenFramebuffers(NUM_TARGETS, aFramebuffers);
  for (int i = 0; i < NUM_TARGETS; ++i) {
    aTargets[i] = window.makeTexture(gc_iSCENE_WIDTH, gc_iSCENE_HEIGHT, nullptr, GL_LINEAR, GL_CLAMP_TO_EDGE);
    gl.BindFramebuffer(GL_FRAMEBUFFER, aFramebuffers[i]);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, aTargets[i], 0);
  }
  std::vector<f32> across;
  std::vector<f32> down;
  for (const passes::SFetch& fetch : fetches) {
    across.insert(across.end(), {fetch.x / gc_iSCENE_WIDTH, 0.0f, fetch.w});
    down.insert(down.end(), {0.0f, fetch.x / gc_iSCENE_HEIGHT, fetch.w});
  }
  const GLint iFetches = gl.GetUniformLocation(aPrograms[BLUR], "u_fetches");
  const bool bBlur = !benchSkips("FrameBloomCRTPasses.baseline.blur");
  const bool bAdd = !benchSkips("FrameBloomCRTPasses.baseline.add");
  const bool bCRT = !benchSkips("FrameBloomCRTPasses.baseline.crt");
  const auto pass = [&](int iProgram, GLuint framebuffer, std::initializer_list<GLuint> textures) {
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.Viewport(0, 0, framebuffer == 0 ? gc_iWIDTH : gc_iSCENE_WIDTH, framebuffer == 0 ? gc_iHEIGHT : gc_iSCENE_HEIGHT);
    gl.UseProgram(aPrograms[iProgram]);
    GLenum eUnit = GL_TEXTURE0;
    for (GLuint texture : textures) {
      gl.ActiveTexture(eUnit++);
      gl.BindTexture(GL_TEXTURE_2D, texture);
    }
  };
  bool bPartial = false;
  const auto frame = [&](u32 uiLight) {
    gl.BindFramebuffer(GL_FRAMEBUFFER, aFramebuffers[SCENE]);
    gl.Viewport(0, 0, gc_iSCENE_WIDTH, gc_iSCENE_HEIGHT);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.UseProgram(colorProgram);
    gl.BindVertexArray(sceneVao);
    for (size_t i = uiStripe; i < quads.size(); ++i) quads[i].color = rgba(uiLight);
    gl.BufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(uiStripe * sizeof(SVertex)), 6 * sizeof(SVertex),
                     &quads[uiStripe]);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(quads.size()));
    gl.Disable(GL_BLEND);
    gl.BindVertexArray(emptyVao);
    if (bBlur) {
      pass(BLUR, aFramebuffers[ACROSS], {aTargets[SCENE]});
      gl.Uniform3fv(iFetches, static_cast<GLsizei>(fetches.size()), across.data());
      gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      pass(BLUR, aFramebuffers[BLOOM], {aTargets[ACROSS]});
      gl.Uniform3fv(iFetches, static_cast<GLsizei>(fetches.size()), down.data());
      gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    if (bAdd) {
      pass(ADD, aFramebuffers[LIT], {aTargets[SCENE], aTargets[BLOOM]});
      gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    if (bCRT) {
      pass(CRT, 0, {aTargets[LIT]});
      if (bPartial) {
        gl.Enable(GL_SCISSOR_TEST);
        gl.Scissor(700, gc_iHEIGHT / 2 - 100, 200, 200);
      }
      gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      gl.Disable(GL_SCISSOR_TEST);
    }
  };
  // One frame first, so that the driver has compiled the passes' shaders before timing (as the engine's side does).
  frame(passes::stripeColor(0));
  window.swap();
  const CBenchEverySecond everySecond("FrameBloomCRTPasses.baseline");
  const CBenchCheat cheat("FrameBloomCRTPasses.baseline");
  CBenchFrameRecord<u32> probes(state, passes::gc_uiPROBES);
  const double fCpuStart = processCpuSeconds();
  bPartial = cheat.partial();
  i64 iFrame = 0;
  for (auto _ : state) {
    u32 uiLight = passes::stripeColor(cheat.repeats(iFrame) ? iFrame - 1 : iFrame);
    if (cheat.changes(iFrame, state.max_iterations)) uiLight ^= 0x20u;
    if (!everySecond.leavesOut(iFrame)) frame(uiLight);
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    for (const POINT& point : passes::probesOf(iFrame)) {
      u32 uiPixel = 0;
      gl.ReadPixels(point.x, gc_iHEIGHT - 1 - point.y, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &uiPixel);
      probes.add(uiPixel);
    }
    window.swap();
    ++iFrame;
  }
  bPartial = false;
  reportProcessCpu(state, fCpuStart);
  // The last frame once more, read back whole before its swap (the window's contents are undefined after one).
  frame(passes::stripeColor(iFrame));
  std::vector<u32> picture(static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT);
  gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
  gl.ReadPixels(0, 0, gc_iWIDTH, gc_iHEIGHT, GL_BGRA, GL_UNSIGNED_BYTE, picture.data());
  std::string error = gl.GetError() != GL_NO_ERROR ? "OpenGL errors while drawing" : "";
  if (error.empty()) error = probes.check(state.iterations(), &passes::checkProbes);
  if (error.empty()) {
    error = passes::checkPicture(
        [&picture](i32 x, i32 y) {
          return picture[static_cast<size_t>(gc_iHEIGHT - 1 - y) * gc_iWIDTH + static_cast<size_t>(x)];
        },
        passes::stripeColor(iFrame));
  }
  if (!error.empty()) state.SkipWithError(error.c_str());
  state.counters["fetches"] = static_cast<double>(fetches.size());
  reportAgainstRefresh(state);
  gl.DeleteFramebuffers(NUM_TARGETS, aFramebuffers);
  gl.DeleteTextures(NUM_TARGETS, aTargets);
  gl.DeleteBuffers(1, &sceneBuffer);
  gl.DeleteVertexArrays(1, &sceneVao);
  gl.DeleteVertexArrays(1, &emptyVao);
  for (GLuint program : aPrograms) gl.DeleteProgram(program);
  gl.DeleteProgram(colorProgram);
}

// The level's frame written plainly, without the engine: the same workload (measured from the game) as plain data.
//
// Main thread, per frame: the entities' struct-of-arrays update (position, velocity, animation clock; they bounce
// inside the level's strip), the camera following the first, then every quad of the frame written into a vertex
// array in draw order: each quad has a slot (its layer and texture), counted and placed by a counting sort, so one
// texture's quads are contiguous. The world is the entities' bodies and shadows and the background tiles of
// parallax layers; the 2D batch (HUD) and the UI are fixed layouts whose texture coordinates change each frame
// (counters, flashing). The finished array and its runs go to the render thread through a double buffer: the main
// thread fills one while the other is drawn.
//
// Render thread: one upload of the array, one draw per run: the world and 2D runs into a 480 x 270 target, that
// copied onto the 1920 x 1080 window (nearest, four times), the UI runs over it, the swap.
namespace plainframe {

constexpr i32 gc_iSLOT_TEXELS = 8;     // each slot's texture: 8 x 8 texels of one colour
constexpr i32 gc_iANIM_FRAMES = 8;     // an entity's flip book: 8 frames side by side in its texture
constexpr f32 gc_fANIM_FPS = 12.0f;
constexpr f32 gc_fLEVEL_WIDTH = 4.0f * gc_iSCENE_WIDTH;
constexpr f32 gc_fDT = 1.0f / 60.0f;

struct SVertex {
  f32 x, y;  // scene pixels, y down
  f32 u, v;
  u32 color;  // bytes R, G, B, A
};

// A run of quads drawn with one texture.
struct SRun {
  i32 mp_iFirstQuad;
  i32 mp_iNumQuads;
  i32 mp_iSlot;
};

struct SFrame {
  std::vector<SVertex> mp_vertices;
  std::vector<SRun> mp_runs;
  i32 mp_iFirstUIRun = 0;
  u32 mp_uiMarker = 0;     // the colour of the frame's marker (0xAARRGGBB)
  bool mp_bDraw = true;    // false: the frame is only swapped
  bool mp_bProbe = false;  // the render thread reads the window back at probeAt's place after drawing this frame
  // The window pixel (from the bottom) at the centre of the frame's last quad, read back after drawing it, and that
  // quad's texture's colour (bytes R, G, B, A); -1: not read.
  i32 mp_iLastX = -1;
  i32 mp_iLastY = -1;
  u32 mp_uiLast = 0;
};

// The opaque colour of slot k's texture, as bytes R, G, B, A.
u32 slotColor(i32 k) { return 0xFF000000u | ((static_cast<u32>(k) + 1u) * 2654435761u >> 8); }

// A quad before placement: where it goes in draw order and what it shows.
struct SQuad {
  i32 mp_iSlot;
  f32 x, y, w, h;
  f32 u0, u1;
  u32 color;
};

class CPlainLevelFrame {
 public:
  // The batches' draws are the number of slots each batch uses; world slot 0 holds the shadows and the far
  // background, the last one the entities' bodies.
  explicit CPlainLevelFrame(const SFrameWorkload& work, bool bFights) : m_bFights(bFights) {
    for (i32 b = 0; b < 3; ++b) {
      m_aiQuads[b] = static_cast<i32>(work.mp_afQuads[b] + 0.5);
      m_aiSlots[b] = std::max(1, static_cast<i32>(work.mp_afDraws[b] + 0.5));
    }
    m_iEntities = static_cast<i32>(work.mp_fEntities + 0.5);
    // Each entity draws a shadow and a body while the world has room for both, the rest are background tiles.
    m_iEntityQuadsEach = m_iEntities == 0 ? 0 : std::min(2, m_aiQuads[0] / m_iEntities);
    m_iTiles = m_aiQuads[0] - m_iEntities * m_iEntityQuadsEach;
    const size_t n = static_cast<size_t>(m_iEntities);
    m_x.resize(n);
    m_y.resize(n);
    m_vx.resize(n);
    m_vy.resize(n);
    m_anim.resize(n);
    m_duration.assign(n, 0.0f);
    m_hp.assign(n, 3.0f);
    m_state.assign(n, 0);
    u32 uiSeed = 1234u;
    const auto random = [&uiSeed] {
      uiSeed = uiSeed * 1664525u + 1013904223u;
      return static_cast<f32>(uiSeed >> 8) / 16777216.0f;
    };
    for (size_t i = 0; i < n; ++i) {
      m_x[i] = random() * gc_fLEVEL_WIDTH;
      m_y[i] = 150.0f + random() * 100.0f;
      m_vx[i] = (random() - 0.5f) * 160.0f;
      m_vy[i] = (random() - 0.5f) * 40.0f;
      m_anim[i] = random();
    }
    // The others start in the player's stretch of the street, as a level's rows come in around him; he wanders at
    // a quarter of their pace, so that they reach him.
    for (size_t i = 1; i < n; ++i) {
      m_x[i] = std::fmod(m_x[0] + 60.0f + 40.0f * static_cast<f32>(i), gc_fLEVEL_WIDTH);
    }
    if (n > 0) {
      m_vx[0] *= 0.25f;
      m_vy[0] *= 0.25f;
    }
    m_quads.resize(static_cast<size_t>(m_aiQuads[0] + m_aiQuads[1] + m_aiQuads[2]));
    m_slotCounts.resize(static_cast<size_t>(numSlots()) + 1);
  }

  i32 numSlots() const { return m_aiSlots[0] + m_aiSlots[1] + m_aiSlots[2]; }
  i32 numQuads() const { return static_cast<i32>(m_quads.size()); }
  // The last frame's last quad in draw order (the placement is stable: the last of the highest slot), so nothing is
  // drawn over it and the window shows its slot's colour. Only for a frame with quads.
  const SQuad& lastQuad() const {
    const SQuad* pLast = m_quads.data();
    for (const SQuad& quad : m_quads) {
      if (quad.mp_iSlot >= pLast->mp_iSlot) pLast = &quad;
    }
    return *pLast;
  }

  i64 score() const { return m_iScore; }
  i64 kills() const { return m_iKills; }
  i64 playerHits() const { return m_iPlayerHits; }

  // One frame of the main thread's work into frame: the entities' motion and reactions (walk, attack, hurt, down,
  // chosen from the state, its duration, the distance to the player and a random draw), the collisions (the
  // player's swing against every entity, every entity's attack against the player), the score with its
  // multiplier, the spawner putting a beaten entity back ahead of the camera, then the draw pass.
  void update(SFrame* pFrame) {
    const size_t n = static_cast<size_t>(m_iEntities);
    // The player: entity 0 when there is one, who swings every 0.75 s.
    const f32 fPlayerX = n == 0 ? 0.0f : m_x[0];
    const f32 fPlayerY = n == 0 ? 0.0f : m_y[0];
    const bool bSwing = m_iFrame % 45 == 0;
    for (size_t i = 0; i < n; ++i) {
      m_x[i] += m_vx[i] * gc_fDT;
      m_y[i] += m_vy[i] * gc_fDT;
      m_anim[i] += gc_fDT;
      m_duration[i] += gc_fDT;
      if (m_x[i] < 0.0f || m_x[i] > gc_fLEVEL_WIDTH) m_vx[i] = -m_vx[i];
      if (m_y[i] < 140.0f || m_y[i] > 260.0f) m_vy[i] = -m_vy[i];
      if (i == 0 || !m_bFights) continue;
      const f32 dx = m_x[i] - fPlayerX;
      const f32 dy = m_y[i] - fPlayerY;
      const bool bNear = std::fabs(dx) < 40.0f && std::fabs(dy) < 20.0f;
      // Walkers close in on the player; the others stand.
      m_vx[i] = m_state[i] != 0 || std::fabs(dx) < 30.0f ? 0.0f : (dx > 0.0f ? -80.0f : 80.0f);
      m_vy[i] = m_state[i] != 0 || std::fabs(dy) < 10.0f ? 0.0f : (dy > 0.0f ? -30.0f : 30.0f);
      const f32 r = random();
      if (bSwing && bNear && m_state[i] != 3) {
        m_hp[i] -= 1.0f;
        m_state[i] = m_hp[i] <= 0.0f ? 3 : 2;
        m_duration[i] = 0.0f;
        if (m_state[i] == 3) {
          ++m_iKills;
          m_iScore += static_cast<i64>(100.0f * m_fMultiplier);
          m_fMultiplier = std::min(m_fMultiplier + 0.1f, 4.0f);
        }
      } else if (m_state[i] == 0 && bNear) {
        m_state[i] = 1;
        m_duration[i] = 0.0f;
      } else if (m_state[i] == 1 && m_duration[i] > 0.4f) {
        if (bNear) ++m_iPlayerHits;
        m_state[i] = 0;
        m_duration[i] = 0.0f;
      } else if (m_state[i] == 2 && m_duration[i] > 0.3f) {
        m_state[i] = 0;
        m_duration[i] = 0.0f;
      } else if (m_state[i] == 3 && m_duration[i] > 1.0f) {
        // The spawner: the beaten entity comes back ahead of the camera.
        m_x[i] = std::fmod(fPlayerX + 0.5f * gc_iSCENE_WIDTH + 400.0f * r, gc_fLEVEL_WIDTH);
        m_hp[i] = 3.0f;
        m_state[i] = 0;
        m_duration[i] = 0.0f;
      } else if (m_state[i] == 0 && r < 0.01f) {
        m_y[i] += m_y[i] < 200.0f ? 40.0f : -40.0f;  // a lane change
      }
    }
    const f32 fCamera =
        n == 0 ? 0.0f : std::clamp(m_x[0] - 0.5f * gc_iSCENE_WIDTH, 0.0f, gc_fLEVEL_WIDTH - gc_iSCENE_WIDTH);
    ++m_iFrame;
    SQuad* pQuad = m_quads.data();
    const i32 iWorldSlots = m_aiSlots[0];
    // The background: tiles of 32 x 32 pixels in rows, the far rows (low slots) scrolling slower.
    for (i32 t = 0; t < m_iTiles; ++t) {
      const i32 iSlot = static_cast<i32>(static_cast<i64>(t) * iWorldSlots / m_iTiles);
      const f32 fParallax = 0.25f + 0.75f * static_cast<f32>(iSlot) / static_cast<f32>(iWorldSlots);
      const f32 fX = std::fmod(static_cast<f32>(t % 17) * 32.0f - fCamera * fParallax, 544.0f);
      *pQuad++ = SQuad{iSlot, fX < -32.0f ? fX + 544.0f : fX, static_cast<f32>(t / 17 % 8) * 32.0f, 32.0f, 32.0f,
                       0.0f, 1.0f, 0xFFFFFFFFu};
    }
    for (size_t i = 0; i < n; ++i) {
      const f32 fX = m_x[i] - fCamera - 16.0f;
      const f32 fFrame = static_cast<f32>(static_cast<i32>(m_anim[i] * gc_fANIM_FPS) % gc_iANIM_FRAMES);
      const f32 fU0 = fFrame / gc_iANIM_FRAMES;
      if (m_iEntityQuadsEach > 1) *pQuad++ = SQuad{0, fX, m_y[i] - 4.0f, 32.0f, 8.0f, 0.0f, 1.0f, 0x80000000u};
      if (m_iEntityQuadsEach > 0) {
        *pQuad++ = SQuad{iWorldSlots - 1, fX, m_y[i] - 48.0f, 32.0f, 48.0f, fU0, fU0 + 1.0f / gc_iANIM_FRAMES,
                         m_state[i] == 2 ? 0xFF8080FFu : (m_vx[i] < 0.0f ? 0xFFC0C0FFu : 0xFFFFFFFFu)};  // hurt, left
      }
    }
    // The HUD and the UI: a row-major layout of 8 x 8 cells, each quad 6 x 6; its texture coordinates step with
    // the frame (a counter's digits); the UI's lie over the 2D's in the bottom half.
    const u32 uiDigit = static_cast<u32>(m_iScore / 100 + m_iFrame) % 10u;  // the score's digits
    for (i32 b = 1; b < 3; ++b) {
      const i32 iFirstSlot = b == 1 ? iWorldSlots : iWorldSlots + m_aiSlots[1];
      const f32 fTop = b == 1 ? 4.0f : 140.0f;
      for (i32 h = 0; h < m_aiQuads[b]; ++h) {
        const i32 iSlot = iFirstSlot + static_cast<i32>(static_cast<i64>(h) * m_aiSlots[b] / m_aiQuads[b]);
        const f32 fU0 = static_cast<f32>((uiDigit + static_cast<u32>(h)) % 10u) * 0.1f;
        *pQuad++ = SQuad{iSlot, 4.0f + static_cast<f32>(h % 59) * 8.0f, fTop + static_cast<f32>(h / 59 % 16) * 8.0f,
                         6.0f, 6.0f, fU0, fU0 + 0.1f, 0xFFFFFFFFu};
      }
    }
    writeInDrawOrder(pFrame, iWorldSlots + m_aiSlots[1]);
  }

 private:
  // Counting sort by slot, then four vertices a quad at its place, and the runs.
  void writeInDrawOrder(SFrame* pFrame, i32 iFirstUISlot) {
    std::fill(m_slotCounts.begin(), m_slotCounts.end(), 0);
    for (const SQuad& quad : m_quads) ++m_slotCounts[static_cast<size_t>(quad.mp_iSlot) + 1];
    pFrame->mp_runs.clear();
    pFrame->mp_iFirstUIRun = -1;
    for (i32 k = 0; k < numSlots(); ++k) {
      const i32 iCount = m_slotCounts[static_cast<size_t>(k) + 1];
      if (iCount > 0) {
        if (k >= iFirstUISlot && pFrame->mp_iFirstUIRun < 0) {
          pFrame->mp_iFirstUIRun = static_cast<i32>(pFrame->mp_runs.size());
        }
        pFrame->mp_runs.push_back(SRun{m_slotCounts[static_cast<size_t>(k)], iCount, k});
      }
      m_slotCounts[static_cast<size_t>(k) + 1] += m_slotCounts[static_cast<size_t>(k)];
    }
    if (pFrame->mp_iFirstUIRun < 0) pFrame->mp_iFirstUIRun = static_cast<i32>(pFrame->mp_runs.size());
    pFrame->mp_vertices.resize(m_quads.size() * 4);
    for (const SQuad& quad : m_quads) {
      const i32 iPlace = m_slotCounts[static_cast<size_t>(quad.mp_iSlot)]++;
      SVertex* pV = &pFrame->mp_vertices[static_cast<size_t>(iPlace) * 4];
      pV[0] = SVertex{quad.x, quad.y, quad.u0, 0.0f, quad.color};
      pV[1] = SVertex{quad.x + quad.w, quad.y, quad.u1, 0.0f, quad.color};
      pV[2] = SVertex{quad.x + quad.w, quad.y + quad.h, quad.u1, 1.0f, quad.color};
      pV[3] = SVertex{quad.x, quad.y + quad.h, quad.u0, 1.0f, quad.color};
    }
  }

  bool m_bFights;
  i32 m_aiQuads[3] = {};
  i32 m_aiSlots[3] = {};
  i32 m_iEntities = 0;
  i32 m_iEntityQuadsEach = 0;
  i32 m_iTiles = 0;
  i32 m_iFrame = 0;
  f32 random() {
    m_uiSeed = m_uiSeed * 1664525u + 1013904223u;
    return static_cast<f32>(m_uiSeed >> 8) / 16777216.0f;
  }

  std::vector<f32> m_x, m_y, m_vx, m_vy, m_anim, m_duration, m_hp;
  std::vector<i32> m_state;  // 0 walk, 1 attack, 2 hurt, 3 down
  u32 m_uiSeed = 99u;
  i64 m_iScore = 0;
  i64 m_iKills = 0;
  i64 m_iPlayerHits = 0;
  f32 m_fMultiplier = 1.0f;
  std::vector<SQuad> m_quads;
  std::vector<i32> m_slotCounts;
};

// The render thread and the double buffer between it and the main thread.
class CPlainRenderer {
 public:
  // bDraw false leaves the runs' draws out (the scene is cleared, copied and swapped). Room for the markers' probes
  // of iFrames frames.
  CPlainRenderer(CPlainGLWindow* pWindow, i32 iNumSlots, i32 iMaxQuads, bool bDraw, i64 iFrames)
      : m_pWindow(pWindow), m_iNumSlots(iNumSlots), m_iMaxQuads(std::max(1, iMaxQuads)), m_bDraw(bDraw) {
    m_probes.reserve(static_cast<size_t>(iFrames) * marker::gc_aPROBES.size());
    m_lastQuads.reserve(static_cast<size_t>(iFrames));
    m_pWindow->release();
    m_thread = std::thread([this] { run(); });
  }
  ~CPlainRenderer() { stop(); }

  // The frame the main thread may write next: waits until the render thread is done with it.
  SFrame* beginFrame() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return (m_iDrawing != m_iWrite && m_iSubmitted != m_iWrite) || m_bFailed; });
    return &m_aFrames[m_iWrite];
  }
  // Hands it over once the previous one has been taken (nothing to hand over once the render thread has failed).
  void submitFrame() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_iSubmitted < 0 || m_bFailed; });
    if (m_bFailed) return;
    m_iSubmitted = m_iWrite;
    m_iWrite = 1 - m_iWrite;
    m_changed.notify_all();
  }
  // Waits for every frame handed over to be drawn, then ends the thread. An empty answer when it drew without a GL
  // error, else what failed.
  std::string stop() {
    if (m_thread.joinable()) {
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return (m_iSubmitted < 0 && m_iDrawing < 0) || m_bFailed; });
        m_bQuit = true;
      }
      m_changed.notify_all();
      m_thread.join();
      m_pWindow->acquire();
    }
    return m_error;
  }
  i64 framesDrawn() const { return m_iFramesDrawn; }
  // Every frame's marker pixels (marker::gc_aPROBES's order), read before its swap; after stop.
  const std::vector<u32>& probes() const { return m_probes; }
  // The pixel read at the centre of each frame's last quad (SFrame::mp_iLastX) and its quad's colour; after stop.
  const std::vector<std::array<u32, 2>>& lastQuads() const { return m_lastQuads; }
  // The window's pixel (bytes R, G, B, A) read after the last probe frame, at probeAt's place.
  u32 probedPixel() const { return m_uiProbed; }
  void probeAt(i32 iWindowX, i32 iWindowY) {
    m_iProbeX = iWindowX;
    m_iProbeY = iWindowY;
  }

 private:
  void run() {
    const SD3D9GLFunctions& gl = m_pWindow->gl;
    if (!m_pWindow->acquire()) {
      fail("the render thread cannot use the context");
      return;
    }
    if (!createObjects()) {
      m_pWindow->release();
      fail(m_error);
      return;
    }
    while (true) {
      i32 iFrame = -1;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_iSubmitted >= 0 || m_bQuit; });
        if (m_iSubmitted < 0) break;
        iFrame = m_iDrawing = m_iSubmitted;
        m_iSubmitted = -1;
      }
      m_changed.notify_all();
      draw(m_aFrames[iFrame]);
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_iDrawing = -1;
        ++m_iFramesDrawn;
      }
      m_changed.notify_all();
    }
    if (gl.GetError() != GL_NO_ERROR) m_error = "OpenGL errors while drawing";
    destroyObjects();
    m_pWindow->release();
  }

  void fail(const std::string& error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_error = error;
    m_bFailed = true;
    m_changed.notify_all();
  }

  bool createObjects() {
    const SD3D9GLFunctions& gl = m_pWindow->gl;
    m_program = m_pWindow->useProgram(R"(#version 330 core
layout(location = 0) in vec2 a_position;
layout(location = 1) in vec2 a_uv;
layout(location = 2) in vec4 a_color;
out vec2 v_uv;
out vec4 v_color;
void main() {
  v_uv = a_uv;
  v_color = a_color;
  gl_Position = vec4(a_position * vec2(2.0 / 480.0, -2.0 / 270.0) + vec2(-1.0, 1.0), 0.0, 1.0);
})",
                                      R"(#version 330 core
in vec2 v_uv;
in vec4 v_color;
out vec4 o_color;
uniform sampler2D u_texture;
void main() { o_color = texture(u_texture, v_uv) * v_color; })");
    if (m_program == 0) {
      m_error = "the quads' program did not build";
      return false;
    }
    gl.GenVertexArrays(1, &m_vao);
    gl.BindVertexArray(m_vao);
    gl.GenBuffers(1, &m_vertexBuffer);
    gl.BindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    gl.EnableVertexAttribArray(0);
    gl.EnableVertexAttribArray(1);
    gl.EnableVertexAttribArray(2);
    gl.VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(SVertex), reinterpret_cast<void*>(offsetof(SVertex, x)));
    gl.VertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(SVertex), reinterpret_cast<void*>(offsetof(SVertex, u)));
    gl.VertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(SVertex),
                           reinterpret_cast<void*>(offsetof(SVertex, color)));
    // Every quad's two triangles, once: a run draws from its first vertex.
    std::vector<u32> indices(static_cast<size_t>(m_iMaxQuads) * 6);
    for (u32 q = 0; q < static_cast<u32>(m_iMaxQuads); ++q) {
      const u32 auiQuad[6] = {0, 1, 2, 0, 2, 3};
      for (u32 i = 0; i < 6; ++i) indices[q * 6 + i] = q * 4 + auiQuad[i];
    }
    gl.GenBuffers(1, &m_indexBuffer);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(u32)), indices.data(),
                  GL_STATIC_DRAW);
    m_textures.resize(static_cast<size_t>(m_iNumSlots));
    gl.GenTextures(m_iNumSlots, m_textures.data());
    std::vector<u32> texels(gc_iSLOT_TEXELS * gc_iSLOT_TEXELS);
    for (i32 k = 0; k < m_iNumSlots; ++k) {
      std::fill(texels.begin(), texels.end(), slotColor(k));
      gl.BindTexture(GL_TEXTURE_2D, m_textures[static_cast<size_t>(k)]);
      gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, gc_iSLOT_TEXELS, gc_iSLOT_TEXELS, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                    texels.data());
    }
    gl.GenTextures(1, &m_sceneTexture);
    gl.BindTexture(GL_TEXTURE_2D, m_sceneTexture);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, gc_iSCENE_WIDTH, gc_iSCENE_HEIGHT, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    gl.GenFramebuffers(1, &m_sceneFramebuffer);
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_sceneFramebuffer);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_sceneTexture, 0);
    if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      m_error = "the scene target is not complete";
      return false;
    }
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    if (gl.GetError() != GL_NO_ERROR) {
      m_error = "OpenGL errors while setting up";
      return false;
    }
    return true;
  }

  void draw(const SFrame& frame) {
    const SD3D9GLFunctions& gl = m_pWindow->gl;
    if (frame.mp_bDraw) drawScene(frame);
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    for (const POINT& point : marker::gc_aPROBES) {
      u32 uiPixel = 0;
      gl.ReadPixels(point.x, gc_iHEIGHT - 1 - point.y, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &uiPixel);
      m_probes.push_back(uiPixel);
    }
    if (frame.mp_bProbe) gl.ReadPixels(m_iProbeX, m_iProbeY, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &m_uiProbed);
    if (frame.mp_iLastX >= 0) {
      u32 uiPixel = 0;
      gl.ReadPixels(frame.mp_iLastX, frame.mp_iLastY, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &uiPixel);
      m_lastQuads.push_back({uiPixel, frame.mp_uiLast});
    }
    m_pWindow->swap();
  }

  // The frame's runs and its marker, a scissored clear of its square in the scene, over the runs of the scene.
  void drawScene(const SFrame& frame) {
    const SD3D9GLFunctions& gl = m_pWindow->gl;
    gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(frame.mp_vertices.size() * sizeof(SVertex)),
                  frame.mp_vertices.data(), GL_STREAM_DRAW);
    const auto drawRuns = [&](i32 iFirst, i32 iEnd) {
      for (i32 r = iFirst; r < iEnd && m_bDraw; ++r) {
        const SRun& run = frame.mp_runs[static_cast<size_t>(r)];
        gl.BindTexture(GL_TEXTURE_2D, m_textures[static_cast<size_t>(run.mp_iSlot)]);
        gl.DrawElementsBaseVertex(GL_TRIANGLES, run.mp_iNumQuads * 6, GL_UNSIGNED_INT, nullptr, run.mp_iFirstQuad * 4);
      }
    };
    gl.BindFramebuffer(GL_FRAMEBUFFER, m_sceneFramebuffer);
    gl.Viewport(0, 0, gc_iSCENE_WIDTH, gc_iSCENE_HEIGHT);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    drawRuns(0, frame.mp_iFirstUIRun);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(static_cast<GLint>(marker::gc_fLEFT),
               gc_iSCENE_HEIGHT - static_cast<GLint>(marker::gc_fTOP) - marker::gc_iSIZE, marker::gc_iSIZE,
               marker::gc_iSIZE);
    gl.ClearColor(static_cast<f32>(frame.mp_uiMarker >> 16 & 0xFFu) / 255.0f,
                  static_cast<f32>(frame.mp_uiMarker >> 8 & 0xFFu) / 255.0f,
                  static_cast<f32>(frame.mp_uiMarker & 0xFFu) / 255.0f, 1.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    gl.Disable(GL_SCISSOR_TEST);
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_sceneFramebuffer);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.BlitFramebuffer(0, 0, gc_iSCENE_WIDTH, gc_iSCENE_HEIGHT, 0, 0, gc_iWIDTH, gc_iHEIGHT, GL_COLOR_BUFFER_BIT,
                       GL_NEAREST);
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.Viewport(0, 0, gc_iWIDTH, gc_iHEIGHT);
    drawRuns(frame.mp_iFirstUIRun, static_cast<i32>(frame.mp_runs.size()));
  }

  void destroyObjects() {
    const SD3D9GLFunctions& gl = m_pWindow->gl;
    gl.DeleteFramebuffers(1, &m_sceneFramebuffer);
    gl.DeleteTextures(1, &m_sceneTexture);
    gl.DeleteTextures(static_cast<GLsizei>(m_textures.size()), m_textures.data());
    gl.DeleteBuffers(1, &m_indexBuffer);
    gl.DeleteBuffers(1, &m_vertexBuffer);
    gl.DeleteVertexArrays(1, &m_vao);
    gl.DeleteProgram(m_program);
  }

  CPlainGLWindow* m_pWindow;
  i32 m_iNumSlots;
  i32 m_iMaxQuads;
  bool m_bDraw;
  std::thread m_thread;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  SFrame m_aFrames[2];
  i32 m_iWrite = 0;       // the frame the main thread writes
  i32 m_iSubmitted = -1;  // the frame handed over and not yet taken
  i32 m_iDrawing = -1;    // the frame being drawn
  bool m_bQuit = false;
  bool m_bFailed = false;
  i64 m_iFramesDrawn = 0;
  std::string m_error;
  i32 m_iProbeX = 0;
  i32 m_iProbeY = 0;
  u32 m_uiProbed = 0;
  std::vector<u32> m_probes;
  std::vector<std::array<u32, 2>> m_lastQuads;
  GLuint m_program = 0;
  GLuint m_vao = 0;
  GLuint m_vertexBuffer = 0;
  GLuint m_indexBuffer = 0;
  GLuint m_sceneTexture = 0;
  GLuint m_sceneFramebuffer = 0;
  std::vector<GLuint> m_textures;
};

}  // namespace plainframe

// The same main-thread work as the engine's level frame, plainly (above), on the main thread's CPU time. The
// workload comes from the game itself: the same run, the same 20 s and the same frames measured, then the game is
// shut down before the plain frame starts. The run checks that every frame was drawn and showed its marker (a
// scissored clear of its square in the scene, after the scene's runs), that the window shows every frame's last
// quad in its texture's colour at its centre (read back after the frame by the render thread; the quad's place is
// found untimed) and that the fights happened (kills, score, hits on the player). The rest of each frame's quads
// are not read back. GRINDLOW_BENCH_SKIP "FrameActionLevel.baseline.fights" leaves out the reactions and
// collisions, ".draw" the runs' draws, ".partial" the last quad of every frame, ".repeat" hands the buffer over
// again every third frame without writing it (the frame before last).
void BM_Baseline_FrameActionLevel(benchmark::State& state) {
  // The run does not vary (fixed seed, fixed frame time): it is played once a process, not once a call.
  static std::optional<SFrameWorkload> s_work;
  if (!s_work) {
    CGameRun game;
    const std::string error = playBusiestLevel(&game);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    s_work = measureFrameWorkload(gc_iWORKLOAD_FRAMES);
  }
  const SFrameWorkload work = *s_work;
  CPlainGLWindow window;
  if (!window.openFor(state)) return;
  plainframe::CPlainLevelFrame level(work, !benchSkips("FrameActionLevel.baseline.fights"));
  if (level.numQuads() == 0) {
    state.SkipWithError("the game's frames queued no quads");
    return;
  }
  plainframe::CPlainRenderer renderer(&window, level.numSlots(), level.numQuads(),
                                      !benchSkips("FrameActionLevel.baseline.draw"),
                                      gc_iWORKLOAD_FRAMES + state.max_iterations + 1);
  const CBenchEverySecond everySecond("FrameActionLevel.baseline");
  // Untimed frames first, as many as the engine's side draws for the workload after its 20 s and before its timed
  // ones, so that the render thread's programs, buffers and the rasteriser's compiled shaders exist alike.
  for (i32 i = 0; i < gc_iWORKLOAD_FRAMES; ++i) {
    plainframe::SFrame* pFrame = renderer.beginFrame();
    level.update(pFrame);
    pFrame->mp_uiMarker = marker::color(0);
    pFrame->mp_bDraw = true;
    renderer.submitFrame();
  }
  const CBenchCheat cheat("FrameActionLevel.baseline");
  const i32 iScale = gc_iWIDTH / gc_iSCENE_WIDTH;
  // The window pixel (from the bottom) at a quad's centre; x -1 when it is off the window.
  const auto centre = [iScale](const plainframe::SQuad& quad) {
    const i32 x = static_cast<i32>((quad.x + 0.5f * quad.w) * static_cast<f32>(iScale));
    const i32 y = gc_iHEIGHT - 1 - static_cast<i32>((quad.y + 0.5f * quad.h) * static_cast<f32>(iScale));
    return x >= 0 && x < gc_iWIDTH && y >= 0 && y < gc_iHEIGHT ? std::pair{x, y} : std::pair{-1, -1};
  };
  i64 iRuns = 0;
  i64 iFrame = 0;
  for (auto _ : state) {
    plainframe::SFrame* pFrame = renderer.beginFrame();
    // The step "repeat" hands over what the buffer holds (the frame before last) again every third frame.
    if (!cheat.repeats(iFrame)) {
      level.update(pFrame);
      pFrame->mp_uiMarker = marker::color(iFrame);
      if (cheat.partial() && !pFrame->mp_runs.empty() && pFrame->mp_runs.back().mp_iNumQuads > 0) {
        --pFrame->mp_runs.back().mp_iNumQuads;
      }
      // Where the frame's last quad shows, untimed: the render thread reads it back after drawing.
      state.PauseTiming();
      const plainframe::SQuad& last = level.lastQuad();
      std::tie(pFrame->mp_iLastX, pFrame->mp_iLastY) = centre(last);
      pFrame->mp_uiLast = plainframe::slotColor(last.mp_iSlot);
      state.ResumeTiming();
    }
    pFrame->mp_bDraw = !everySecond.leavesOut(iFrame++);
    iRuns += static_cast<i64>(pFrame->mp_runs.size());
    renderer.submitFrame();
  }
  // One more frame, read back at the centre of its last quad (the window is the scene four times over) unless that
  // is off the screen (a world quad, when there is no HUD or UI).
  plainframe::SFrame* pFrame = renderer.beginFrame();
  level.update(pFrame);
  pFrame->mp_uiMarker = marker::color(iFrame);
  pFrame->mp_bDraw = true;
  pFrame->mp_bProbe = true;
  pFrame->mp_iLastX = -1;
  const plainframe::SQuad& last = level.lastQuad();
  const i32 iProbeX = static_cast<i32>((last.x + 0.5f * last.w) * static_cast<f32>(iScale));
  const i32 iProbeY = gc_iHEIGHT - 1 - static_cast<i32>((last.y + 0.5f * last.h) * static_cast<f32>(iScale));
  const bool bProbeInWindow = iProbeX >= 0 && iProbeX < gc_iWIDTH && iProbeY >= 0 && iProbeY < gc_iHEIGHT;
  renderer.probeAt(iProbeX, iProbeY);
  renderer.submitFrame();
  std::string error = renderer.stop();
  if (error.empty()) {
    CBenchFrameRecord<u32> probes(state, marker::gc_aPROBES.size(), 2);
    const std::vector<u32>& probed = renderer.probes();
    const size_t uiWarmUp = static_cast<size_t>(gc_iWORKLOAD_FRAMES) * marker::gc_aPROBES.size();
    probes.add(std::vector<u32>(probed.begin() + static_cast<std::ptrdiff_t>(std::min(uiWarmUp, probed.size())),
                                probed.end()));
    error = probes.check(state.iterations() + 1,
                         [](i64 i, const u32* puiProbed) { return marker::check(i, puiProbed, false); });
  }
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
  } else if (renderer.framesDrawn() != gc_iWORKLOAD_FRAMES + state.iterations() + 1) {
    state.SkipWithError(("frames drawn: " + std::to_string(renderer.framesDrawn()) + " of " +
                         std::to_string(gc_iWORKLOAD_FRAMES + state.iterations() + 1)).c_str());
  } else if (bProbeInWindow && renderer.probedPixel() != plainframe::slotColor(last.mp_iSlot)) {
    state.SkipWithError("the frame's last quad is not in the window");
  } else if (const auto wrong = std::find_if(renderer.lastQuads().begin(), renderer.lastQuads().end(),
                                             [](const std::array<u32, 2>& read) { return read[0] != read[1]; });
             wrong != renderer.lastQuads().end()) {
    state.SkipWithError(("the last quad of timed frame " + std::to_string(wrong - renderer.lastQuads().begin()) +
                         " (of those in the window) is not in the window")
                            .c_str());
  } else if (level.kills() == 0 || level.score() < 100 * level.kills() || level.playerHits() == 0) {
    state.SkipWithError(("the plain frame's fights did not happen: kills " + std::to_string(level.kills()) +
                         ", score " + std::to_string(level.score()) + ", hits " + std::to_string(level.playerHits()))
                            .c_str());
  }
  // What the plain frame did, in the engine's terms: the quads written per batch are the workload's.
  SFrameWorkload done = work;
  done.mp_afDraws[0] = static_cast<f64>(iRuns) / static_cast<f64>(std::max<i64>(1, state.iterations()));
  done.mp_afDraws[1] = done.mp_afDraws[2] = 0.0;
  reportFrameWorkload(state, done);
  reportAgainstRefresh(state);
}

BENCHMARK(BM_Engine_FramePreLoadPlainCopy)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_FramePreLoadPlainCopy)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Engine_FrameBloomCRT)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_FrameBloomCRT)->UseRealTime()->Unit(benchmark::kMillisecond);
// 60 frames a repetition: a few frames of tens of milliseconds vary by a fifth from one repetition to the next.
BENCHMARK(BM_Engine_FrameBloomCRTPasses)->UseRealTime()->Iterations(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_FrameBloomCRTPasses)->UseRealTime()->Iterations(60)->Unit(benchmark::kMillisecond);
// CPU time of the main thread (not the wall clock): what the frame costs the game's own thread.
// A fixed 5 s of play per repetition: left to the minimum time, a fast machine runs enough frames on the CPU clock
// for the level to end while it is timed.
BENCHMARK(BM_Engine_FrameActionLevel)->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_FrameActionLevel)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

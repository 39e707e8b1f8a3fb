// Sprites through the engine against plain alternatives. Headless (SDL offscreen, Mesa llvmpipe).
//   TexturedQuads: 10,000 textured quads of one atlas page (four images at their own sizes, 8 x 8 to 64 x 8 texels)
//     on a 640 x 480 window, as eight frames of 1,250
//     (one frame of dynamic geometry holds at most 9,999 elements and a sprite buffer 1,999 quads): the game thread
//     queues quad sprites, the render worker turns them into dynamic geometry, builds the batch and draws it, and
//     presents; against SDL2's own renderer (OpenGL, batching on) copying the same rectangles of the same page with
//     SDL_RenderCopy in eight presented frames, blended as the engine blends its premultiplied images (one, one
//     minus source alpha). No vsync on either side; each frame is finished before the next (an event query on the
//     engine's side; on SDL's the pixel reads below: an offscreen swap would wait for nothing). Every frame both sides
//     read eight pixels before its swap (the engine's through the device's probes at Present), one for each frame of
//     a round that only one quad of that frame reaches and none of the frame before, and compare each with what that
//     frame shows there, composed on the CPU from the page's texels (under OpenGL's or Direct3D 9's pixel centres,
//     within 8 levels a channel, where at most one quad reaches). After the timed rounds both sides draw one more,
//     read its last frame back whole and compare it the same way: at least 99% of the pixels that at most one quad
//     reaches; the engine's worker also counts every frame's elements (1,250 each). "TexturedQuads.engine.sprites"
//     in GRINDLOW_BENCH_SKIP leaves out queuing the quad sprites, "TexturedQuads.baseline.copy" the SDL_RenderCopy
//     calls, ".<side>.everysecond" those of every second frame, ".<side>.partial" those of the quads outside the
//     frame's top-left 200 x 200 pixels, and fails them; ".<side>.repeat" draws every third frame of a round with the
//     frame before's quads, ".<side>.replay" every frame with the round's first frame's, and fails them. The probes see eight pixels a frame: a frame that leaves
//     out one quad shows only where a probe or the last frame's read-back meets it (the engine's worker's count of
//     a frame's elements sees it).
//   SpriteJobs: 10,000 camera-facing sprites (5,000 billboards and 5,000 capped lines, 50 rounds of 100 of each, the
//     most the sprite buffers hold) built into dynamic geometry by the sprite jobs (which run a job this small on
//     the calling thread), against the best plain build of the same records: the same routines on the calling
//     thread (a plain split between threads, PlainSplit_SpriteJobs, is slower at this size). Wall time of the
//     builds; every round's geometry is checked against a reference round (the recording device: no GPU work).
//     Each round's records have a colour of their own (one of four in turn, set untimed). "SpriteJobs.engine.build"
//     in GRINDLOW_BENCH_SKIP leaves out the jobs' build, "SpriteJobs.baseline.billboards" (".lines") that kind's
//     build, ".<side>.everysecond" every second round's build, ".<side>.partial" every round's last line,
//     ".<side>.repeat" builds every third round from the last round's records and ".<side>.replay" every round from
//     the last reference round's (that geometry again), ".<side>.middle" changes a vertex of the middle round, and
//     fails it.
//   UIFrame: one UI frame of a screen of 500 pulsing image widgets on the "UBER" canvas (the UI's update and
//     render: the tree's tick with every image's colour animator, each widget's render procedure reading its
//     properties, placement, the sprite queue, its sort and the quads written into dynamic geometry), against the
//     same screen as plain records (rectangles worked out once from the description, a pulse clock each, a counting
//     sort by layer, one reservation); calling-thread CPU time on the recording device. Both check every frame's
//     quads, outside its time, against the layout (places, size, layer order) and the pulse's colour on the side's
//     own clock; "UIFrame.<engine|baseline>.<tick|sort>" in GRINDLOW_BENCH_SKIP leaves a step out, ".everysecond"
//     the tick of every second frame, ".oneupdate" the middle frame's, ".partial" the last image of every frame,
//     ".repeat" every third frame's tick (the last frame's quads again); ".middle" changes one quad's colour in the
//     middle frame; each fails. The pulse changes every image's colour from frame to frame, so no frame's quads are
//     the last one's; there is no record to replay (the check works out each frame's colour from the clock).
//   AnimWidgets: one UI frame of a screen of 200 flip-book widgets (each advancing its own texture-animation object
//     on the gameplay clock and queuing its current frame through its render procedure, then the sort and the quads
//     written into dynamic geometry), against 200 texture-animation objects playing the same flip book from the
//     flip-book manager, advanced on the same clock and their current frames queued straight into the sprite queue
//     with the same placement, then the same sort and quads; calling-thread CPU time on the recording device. Both
//     check every frame's quads (outside its time): one per widget, in layer order (the widgets' layers are not in
//     their order on the screen, so the sort has work to do), each showing its widget's ember, which must be the
//     first one's shifted by the widget's start for every widget and move on one ember every five frames exactly
//     (the flip book's 12 a second on a 1/60 s clock, started half a frame in, so that no ember's end falls on a
//     frame), and each widget's quad with a given ember at the place, size, texture corner and colour it had the
//     first time it showed that ember. "AnimWidgets.engine.<render|sort>" and "AnimWidgets.baseline.<advance|sort>"
//     in GRINDLOW_BENCH_SKIP leave out the widgets' render procedures (the baseline's advance of the animations) or
//     the sort, ".<side>.everysecond" those procedures (that advance) in every second frame, ".baseline.oneupdate"
//     the advance of the middle frame (the engine's widgets advance in their render procedures: no update to leave
//     out alone), ".<side>.partial" the last widget's quad of every frame, ".<side>.repeat" every third frame's work,
//     giving the last frame's quads again; ".<side>.middle" changes one quad's colour in the middle frame; each
//     fails. As for UIFrame, there is no record to replay.
#include <SDL.h>
#include <SDL_image.h>
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <atomic>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchConditionEnding.h"
#include "Bench/BenchPlainPool.h"
#include "Bench/BenchSkip.h"
#include "Bench/BenchWrittenQuads.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClUI.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GraphicsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

constexpr i32 gc_iQUADS = 10000;
constexpr i32 gc_iFRAMES = 8;
constexpr i32 gc_iQUADS_PER_FRAME = gc_iQUADS / gc_iFRAMES;
constexpr i32 gc_iWIDTH = 640;
constexpr i32 gc_iHEIGHT = 480;
constexpr const char* gc_apIMAGES[] = {"Crate_216", "Spark-0000_216", "Ground_216", "SparkFX-0000_216"};

// Where quad i goes: the same positions on both sides.
void quadPosition(i32 i, f32* pX, f32* pY) {
  const u32 uiMixed = static_cast<u32>(i) * 2654435761u;
  *pX = static_cast<f32>(uiMixed % static_cast<u32>(gc_iWIDTH - 64));
  *pY = static_cast<f32>((uiMixed >> 12) % static_cast<u32>(gc_iHEIGHT - 32));
}

// The page rectangles of the images the engine draws, read from the sample atlas's table (records as the atlas
// manager reads them).
std::vector<SDL_Rect> atlasSourceRects(int iPageWidth, int iPageHeight) {
  std::ifstream in(std::string(KV_CONTENT_IMAGES_DIR) + "/TexturesGame/TexturesGame.atf", std::ios::binary);
  const std::vector<u8> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  char szReason[256];
  std::vector<SDL_Rect> rects;
  if (!ClAtlasMgr::checkAtlasImage(bytes.data(), static_cast<u32>(bytes.size()), szReason, sizeof(szReason))) {
    return rects;
  }
  SAtlasFileHeader header;
  std::memcpy(&header, bytes.data(), sizeof(header));
  for (const char* pImage : gc_apIMAGES) {
    for (i32 i = 0; i < header.mp_iNumEntries; ++i) {
      u32 uiOffset = 0;
      std::memcpy(&uiOffset, bytes.data() + header.mp_uiEntryTableOffset + 4 * static_cast<u32>(i), 4);
      SAtlasTexInfo info;
      std::memcpy(&info, bytes.data() + uiOffset, sizeof(info));
      if (info.mp_uiNameHash != KvStrHash(pImage)) continue;
      rects.push_back(SDL_Rect{static_cast<int>(info.mp_fU0 * static_cast<f32>(iPageWidth) + 0.5f),
                               static_cast<int>(info.mp_fV0 * static_cast<f32>(iPageHeight) + 0.5f),
                               static_cast<int>(info.mp_fWidth), static_cast<int>(info.mp_fHeight)});
    }
  }
  return rects;
}

// The last frame of a round composed on the CPU from the page (0xAARRGGBB texels, premultiplied) over black, where
// the picture does not depend on the quads' order (which the engine's batch sort leaves open for sprites of one
// depth and one signature): at pixels that at most one quad reaches (its rectangle grown by a pixel a side). Two
// pictures, one a pixel-centre convention: OpenGL's (pixel x of a quad at x0 shows texel x - x0) and Direct3D 9's,
// as the device stand-in draws it (pixel centres on whole coordinates, so the linear filter averages texels
// x - x0 - 1 and x - x0, reading the page's neighbours at the edges).
struct SReferenceFrame {
  std::vector<u32> glPixels;
  std::vector<u32> d3dPixels;
  std::vector<u8> reach;
};
SReferenceFrame referenceFrame(const std::vector<u32>& page, int iPageWidth, int iPageHeight,
                               const std::vector<SDL_Rect>& sources, i32 iFrame = gc_iFRAMES - 1) {
  SReferenceFrame reference;
  const size_t uiPixels = static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT;
  reference.glPixels.assign(uiPixels, 0xFF000000u);
  reference.d3dPixels.assign(uiPixels, 0xFF000000u);
  reference.reach.assign(uiPixels, 0);
  const auto texel = [&](int x, int y) {
    return page[static_cast<size_t>(std::clamp(y, 0, iPageHeight - 1)) * iPageWidth + std::clamp(x, 0, iPageWidth - 1)];
  };
  for (i32 i = 0; i < gc_iQUADS_PER_FRAME; ++i) {
    const i32 iQuad = iFrame * gc_iQUADS_PER_FRAME + i;
    f32 fX = 0.0f;
    f32 fY = 0.0f;
    quadPosition(iQuad, &fX, &fY);
    const int x0 = static_cast<int>(fX);
    const int y0 = static_cast<int>(fY);
    const SDL_Rect& source = sources[static_cast<size_t>(iQuad) % sources.size()];
    for (int v = -1; v <= source.h; ++v) {
      for (int u = -1; u <= source.w; ++u) {
        if (x0 + u < 0 || y0 + v < 0 || x0 + u >= gc_iWIDTH || y0 + v >= gc_iHEIGHT) continue;
        const size_t uiAt = static_cast<size_t>(y0 + v) * gc_iWIDTH + x0 + u;
        reference.reach[uiAt] = static_cast<u8>(std::min(reference.reach[uiAt] + 1, 2));
        if (u >= 0 && v >= 0 && u < source.w && v < source.h) {
          reference.glPixels[uiAt] = 0xFF000000u | texel(source.x + u, source.y + v);
        }
        if (u >= 0 && v >= 0) {
          u32 uiOut = 0xFF000000u;
          for (int iShift : {0, 8, 16}) {
            u32 uiSum = 0;
            for (int k = 0; k < 4; ++k) {
              uiSum += texel(source.x + u - 1 + (k & 1), source.y + v - 1 + (k >> 1)) >> iShift & 0xFFu;
            }
            uiOut |= (uiSum + 2) / 4 << iShift;
          }
          reference.d3dPixels[uiAt] = uiOut;
        }
      }
    }
  }
  return reference;
}

// Empty when at least 99% of the frame's pixels (0xAARRGGBB, row 0 at the top) that at most one quad reaches are
// within 8 levels a channel of one convention's reference, else how many are not.
std::string compareWithReference(const std::vector<u32>& frame, const SReferenceFrame& reference) {
  if (frame.size() != reference.glPixels.size()) return "the frame read back is not 640 x 480";
  const auto near = [](u32 uiA, u32 uiB) {
    for (int iShift : {0, 8, 16}) {
      const int iDiff = static_cast<int>(uiA >> iShift & 0xFFu) - static_cast<int>(uiB >> iShift & 0xFFu);
      if (iDiff > 8 || iDiff < -8) return false;
    }
    return true;
  };
  size_t uiOff = 0;
  size_t uiCompared = 0;
  for (size_t i = 0; i < frame.size(); ++i) {
    if (reference.reach[i] > 1) continue;
    ++uiCompared;
    uiOff += near(frame[i], reference.glPixels[i]) || near(frame[i], reference.d3dPixels[i]) ? 0 : 1;
  }
  if (uiCompared * 10 >= frame.size() && uiOff * 100 <= uiCompared) return std::string();
  return "the last frame differs from its reference in " + std::to_string(uiOff) + " of " +
         std::to_string(uiCompared) + " pixels compared";
}

// The sample page's texels as 0xAARRGGBB words and its width; empty when it does not load.
std::vector<u32> pageTexels(int* pWidth, int* pHeight) {
  const std::string page = std::string(KV_CONTENT_IMAGES_DIR) + "/TexturesGame/TexturesGame_0.png";
  SDL_Surface* pLoaded = IMG_Load(page.c_str());
  SDL_Surface* pSurface = pLoaded != nullptr ? SDL_ConvertSurfaceFormat(pLoaded, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
  std::vector<u32> texels;
  if (pSurface != nullptr) {
    *pWidth = pSurface->w;
    *pHeight = pSurface->h;
    for (int y = 0; y < pSurface->h; ++y) {
      const u32* pRow = reinterpret_cast<const u32*>(static_cast<const u8*>(pSurface->pixels) + y * pSurface->pitch);
      texels.insert(texels.end(), pRow, pRow + pSurface->w);
    }
    SDL_FreeSurface(pSurface);
  }
  if (pLoaded != nullptr) SDL_FreeSurface(pLoaded);
  return texels;
}

// The pixels both sides read in every frame before its swap (the engine's through the device's probes): one for
// each of a round's frames, reached by exactly one quad of that frame (not black there) and by none of the frame
// before it, so that a frame not drawn, or showing the frame before, shows another colour there; and what each
// frame of a round shows at each of them (as compareWithReference judges a pixel), where at most one quad reaches.
struct SProbePlan {
  std::vector<POINT> points;
  std::vector<SReferenceFrame> frames;  // at the points only: one entry a point
  std::string error;
};

const SProbePlan& probePlan() {
  static const SProbePlan s_plan = [] {
    SProbePlan plan;
    int iPageWidth = 0;
    int iPageHeight = 0;
    const std::vector<u32> page = pageTexels(&iPageWidth, &iPageHeight);
    const std::vector<SDL_Rect> sources = atlasSourceRects(iPageWidth, iPageHeight);
    if (sources.size() != std::size(gc_apIMAGES)) {
      plan.error = "the sample atlas page or its images did not load";
      return plan;
    }
    std::vector<SReferenceFrame> frames;
    for (i32 f = 0; f < gc_iFRAMES; ++f) frames.push_back(referenceFrame(page, iPageWidth, iPageHeight, sources, f));
    // Some channel 32 levels or more above black: far past the tolerance.
    const auto lit = [](u32 uiColor) { return (uiColor & 0xE0E0E0u) != 0; };
    for (i32 f = 0; f < gc_iFRAMES && plan.error.empty(); ++f) {
      const SReferenceFrame& now = frames[static_cast<size_t>(f)];
      const SReferenceFrame& before = frames[static_cast<size_t>((f + gc_iFRAMES - 1) % gc_iFRAMES)];
      size_t uiAt = now.reach.size();
      for (size_t i = static_cast<size_t>(f) * 4099u % now.reach.size(), n = 0; n < now.reach.size() && uiAt == now.reach.size();
           ++n, i = (i + 7919u) % now.reach.size()) {
        if (now.reach[i] == 1 && before.reach[i] == 0 && lit(now.glPixels[i]) && lit(now.d3dPixels[i])) uiAt = i;
      }
      if (uiAt == now.reach.size()) plan.error = "no pixel of frame " + std::to_string(f) + " tells it from the one before";
      plan.points.push_back({static_cast<LONG>(uiAt % gc_iWIDTH), static_cast<LONG>(uiAt / gc_iWIDTH)});
    }
    for (const SReferenceFrame& frame : frames) {
      SReferenceFrame atPoints;
      for (const POINT& point : plan.points) {
        const size_t uiAt = static_cast<size_t>(point.y) * gc_iWIDTH + static_cast<size_t>(point.x);
        atPoints.glPixels.push_back(frame.glPixels[uiAt]);
        atPoints.d3dPixels.push_back(frame.d3dPixels[uiAt]);
        atPoints.reach.push_back(frame.reach[uiAt]);
      }
      plan.frames.push_back(atPoints);
    }
    return plan;
  }();
  return s_plan;
}

// An empty answer when the pixels read at the plan's points in frame iFrame of a run (a round being gc_iFRAMES
// frames) are that frame's, within 8 levels a channel, where at most one quad reaches.
std::string checkProbes(i64 iFrame, const u32* puiProbed) {
  const SReferenceFrame& wanted = probePlan().frames[static_cast<size_t>(iFrame % gc_iFRAMES)];
  for (size_t i = 0; i < wanted.reach.size(); ++i) {
    if (wanted.reach[i] > 1 || benchNearColor(puiProbed[i], wanted.glPixels[i], 8) ||
        benchNearColor(puiProbed[i], wanted.d3dPixels[i], 8)) {
      continue;
    }
    char acError[128];
    std::snprintf(acError, sizeof(acError), "the pixel (%d, %d) is %06X, the frame's quads make %06X",
                  static_cast<int>(probePlan().points[i].x), static_cast<int>(probePlan().points[i].y),
                  puiProbed[i] & 0xFFFFFFu, wanted.glPixels[i] & 0xFFFFFFu);
    return acError;
  }
  return std::string();
}

// The render worker's frame: the quad sprites as dynamic geometry, drawn in one 2D pass, presented, and waited for
// (an event query: the software rasteriser finishes the frame's pixels before the next frame starts).
class CQuadHooks : public CTestGraphicsHooks {
 public:
  ~CQuadHooks() override {
    if (mp_pQuery != nullptr) mp_pQuery->Release();
  }
  void renderFrame() override {
    IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
    ClSpriteMgr::renderQuadSprites();
    if (ClDynamicGeometry::getNumElements() != gc_iQUADS_PER_FRAME) m_iShortFrames.fetch_add(1);
    ClDynamicGeometry::buildBatch(7, gc_uiDYNGEO_FLAG_WORLD);
    ClDynamicGeometry::unlockBuffers();
    pDevice->BeginScene();
    pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    ClGraphics::pushOrtho2D(static_cast<f32>(gc_iWIDTH), static_cast<f32>(gc_iHEIGHT));
    ClDynamicGeometry::drawBatch(7);
    ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
    ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
    pDevice->EndScene();
    ClGraphics::setLastPresentResult(pDevice->Present(nullptr, nullptr, nullptr, nullptr));
    if (mp_pQuery == nullptr) pDevice->CreateQuery(D3DQUERYTYPE_EVENT, &mp_pQuery);
    mp_pQuery->Issue(D3DISSUE_END);
    while (mp_pQuery->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
    }
    ClSpriteMgr::clearCurrentBuffer();
    // Asked for, the last frame of a round is read back (the picture that Present showed).
    if (m_bReadBack.load() && m_iFrames.load() % gc_iFRAMES == gc_iFRAMES - 1) {
      UINT uiW = 0;
      UINT uiH = 0;
      const std::vector<DWORD> pixels = D3D9TestReadBackBuffer(pDevice, &uiW, &uiH);
      m_lastFrame.assign(pixels.begin(), pixels.end());
      m_bReadBack.store(false);
      m_bReadDone.store(true);
    }
    m_iFrames.fetch_add(1);
  }
  // Frames the worker drew, and those of them whose geometry did not hold a frame's quads.
  std::atomic<i32> m_iFrames{0};
  std::atomic<i32> m_iShortFrames{0};
  // Set: the next last frame of a round is read back into m_lastFrame, then m_bReadDone is set.
  std::atomic<bool> m_bReadBack{false};
  std::atomic<bool> m_bReadDone{false};
  std::vector<u32> m_lastFrame;
  // Gives the query back before the device goes.
  void releaseQuery() {
    if (mp_pQuery != nullptr) mp_pQuery->Release();
    mp_pQuery = nullptr;
  }

 private:
  IDirect3DQuery9* mp_pQuery = nullptr;
};

// Graphics on a data root of its own holding the engine's premultiplied-blend effect and the sample game atlas,
// with the managers, dynamic geometry and the sprite job pools.
class CSpriteSession {
 public:
  explicit CSpriteSession(ClTestGraphicsHooks* pHooks, bool bRecording) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    m_root = std::filesystem::temp_directory_path() / ("grindlow_bench_sprites_" + std::to_string(getpid()));
    std::filesystem::create_directories(m_root / "Shaders");
    std::filesystem::create_directories(m_root / "TexturesGame");
    std::filesystem::copy_file(std::string(KV_CONTENT_EFFECTS_DIR) + "/system_blend_premult.fxo",
                               m_root / "Shaders/system_blend_premult.fxo",
                               std::filesystem::copy_options::overwrite_existing);
    // The atlas and every page it has.
    for (const auto& entry : std::filesystem::directory_iterator(std::string(KV_CONTENT_IMAGES_DIR) + "/TexturesGame")) {
      std::filesystem::copy_file(entry.path(), m_root / "TexturesGame" / entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
    }
    m_savedCwd = std::filesystem::current_path();
    std::filesystem::current_path(m_root);
    KvTestStartFileIO();
    D3D9TestUseRecordingBackend(bRecording);
    KvTestPrepareGraphics(pHooks, "", false, gc_iWIDTH, gc_iHEIGHT);
    if (bRecording) D3D9TestUseRecordingBackend(true);
    ClGraphics::initialize();
    KvTestStartShadersAndSignatures();
    ClTextureMgr::initObjectList();
    ClAtlasMgr::initialize();
    ClDynamicGeometry::platformInitialize(1);
    ClSpriteMgr::initLineSpriteJobPool();
    ClSpriteMgr::initSpriteJobPool();
    ClSpriteMgr::initLineSpriteExJobPool();
  }
  ~CSpriteSession() {
    ClGraphics::endSignature();
    ClSpriteMgr::termLineSpriteJobPool();
    ClSpriteMgr::termSpriteJobPool();
    ClSpriteMgr::termLineSpriteExJobPool();
    ClDynamicGeometry::platformTerminate();
    ClAtlasMgr::terminate();
    ClTextureMgr::terminate();
    KvTestStopShadersAndSignatures();
    KvTestStopGraphics();
    KvTestStopFileIO();
    std::filesystem::current_path(m_savedCwd);
    std::filesystem::remove_all(m_root);
  }
  // False when the atlas, an image or the signature is missing.
  bool loadAtlas() {
    ClShaderMgr::createShader("system_blend_premult");
    ClShaderMgr::mp_bAllShadersLoaded = 1;
    ClAtlasMgr::actualLoadAtlasSync("TexturesGame/TexturesGame", "TexturesGame/", "TexturesGameAtlas");
    for (const char* pImage : gc_apIMAGES) {
      const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pImage));
      if (pEntry == nullptr) return false;
      m_entries.push_back(pEntry);
    }
    m_pSignature = ClSignatureMgr::getSignatureByName("system_blend_premult", m_entries[0]->mp_pTexture);
    return m_pSignature != nullptr;
  }

  std::vector<const SAtlasEntry*> m_entries;
  const SRenderSignature* m_pSignature = nullptr;

 private:
  std::filesystem::path m_root;
  std::filesystem::path m_savedCwd;
};

// A recording sprite session with a screen of the UI benchmarks loaded on it (TScreen: its m_bLoaded says whether
// it loaded).
template <typename TScreen>
struct SScreenSession {
  // Whether the screen loaded; when it did not, the benchmark stops saying that the named screen did not load.
  bool loaded(benchmark::State& state, const char* pScreen) {
    if (screen.m_bLoaded) return true;
    state.SkipWithError((std::string(pScreen) + " did not load").c_str());
    return false;
  }
  CTestGraphicsHooks hooks;
  CSpriteSession session{&hooks, true};
  TScreen screen;
};

// Whether a quad at (x, y) lies in the frame's top-left 200 x 200: all a side that cheats with "partial" draws.
bool inCorner(f32 x, f32 y) { return x < 200.0f && y < 200.0f; }

// The frame of a round whose quads frame iFrame draws: its own, or with "repeat" every third frame the one before's,
// with "replay" the round's first frame's (as the untimed round before the loop drew it).
i32 drawnFrame(const CBenchCheat& cheat, i32 iFrame) {
  if (cheat.replays()) return 0;
  return cheat.repeats(iFrame) ? (iFrame + gc_iFRAMES - 1) % gc_iFRAMES : iFrame;
}

void BM_Engine_TexturedQuads(benchmark::State& state) {
  CQuadHooks hooks;
  CSpriteSession session(&hooks, false);
  if (!session.loadAtlas()) {
    state.SkipWithError("the sample atlas did not load");
    return;
  }
  const SProbePlan& plan = probePlan();
  if (!plan.error.empty()) {
    state.SkipWithError(plan.error.c_str());
    return;
  }
  const bool bSprites = !benchSkips("TexturedQuads.engine.sprites");
  const CBenchEverySecond everySecond("TexturedQuads.engine");
  const CBenchCheat cheat("TexturedQuads.engine");
  const auto drawFrames = [&session, bSprites, &everySecond, &cheat] {
    for (i32 iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
      ClDynamicGeometry::beginFrame();
      for (i32 i = 0; i < gc_iQUADS_PER_FRAME && bSprites && !everySecond.leavesOut(iFrame); ++i) {
        const i32 iQuad = drawnFrame(cheat, iFrame) * gc_iQUADS_PER_FRAME + i;
        f32 x = 0.0f;
        f32 y = 0.0f;
        quadPosition(iQuad, &x, &y);
        if (cheat.partial() && !inCorner(x, y)) continue;
        const SAtlasTexInfo& info = *session.m_entries[static_cast<size_t>(iQuad) % session.m_entries.size()]->mp_pAtlasTexInfo;
        kv_vector4 pQuad[8];
        pQuad[0] = {x, y, 0, 1};
        pQuad[1] = {x + info.mp_fWidth, y, 0, 1};
        pQuad[2] = {x, y + info.mp_fHeight, 0, 1};
        pQuad[3] = {x + info.mp_fWidth, y + info.mp_fHeight, 0, 1};
        pQuad[4] = {info.mp_fU0, info.mp_fV0, 0, 0};
        pQuad[5] = {info.mp_fU1, info.mp_fV0, 0, 0};
        pQuad[6] = {info.mp_fU0, info.mp_fV1, 0, 0};
        pQuad[7] = {info.mp_fU1, info.mp_fV1, 0, 0};
        ClSpriteMgr::setStagingQuad(pQuad);
        ClSpriteMgr::addQuadSprite(0xFFFFFFFFu, session.m_pSignature);
      }
      ClGraphics::endFrame();
    }
  };
  // Once untimed: the software rasterizer compiles its shader variants on first use.
  drawFrames();
  D3D9TestProbeAtPresent(ClGraphics::mp_pDevice, plan.points);
  for (auto _ : state) {
    drawFrames();
  }
  state.SetItemsProcessed(state.iterations() * gc_iQUADS);
  // The hand-over waits for the worker's frame: every frame handed over has been drawn and probed.
  D3D9TestProbeAtPresent(ClGraphics::mp_pDevice, {});
  CBenchFrameRecord<u32> probes(state, plan.points.size(), gc_iFRAMES);
  for (DWORD uiPixel : D3D9TestTakeProbes(ClGraphics::mp_pDevice)) probes.add(uiPixel);
  const std::string probed = probes.check(state.iterations() * gc_iFRAMES, &checkProbes);
  // The untimed round's frames too.
  if (hooks.m_iFrames.load() != (state.iterations() + 1) * gc_iFRAMES) {
    state.SkipWithError("frames were queued but not drawn");
  } else if (!probed.empty()) {
    state.SkipWithError(probed.c_str());
  } else if (hooks.m_iShortFrames.load() != 0) {
    state.SkipWithError((std::to_string(hooks.m_iShortFrames.load()) + " frames did not hold " +
                         std::to_string(gc_iQUADS_PER_FRAME) + " quads")
                            .c_str());
  } else {
    // One more round, its last frame read back and compared.
    hooks.m_bReadBack.store(true);
    drawFrames();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!hooks.m_bReadDone.load() && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    int iPageWidth = 0;
    int iPageHeight = 0;
    const std::vector<u32> page = pageTexels(&iPageWidth, &iPageHeight);
    const std::vector<SDL_Rect> sources = atlasSourceRects(iPageWidth, iPageHeight);
    const std::string problem =
        !hooks.m_bReadDone.load() ? "the last frame was not read back"
        : sources.size() != std::size(gc_apIMAGES)
            ? "the sample atlas page or its images did not load"
            : compareWithReference(hooks.m_lastFrame, referenceFrame(page, iPageWidth, iPageHeight, sources));
    if (!problem.empty()) state.SkipWithError(problem.c_str());
  }
  hooks.releaseQuery();
}
BENCHMARK(BM_Engine_TexturedQuads)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Baseline_TexturedQuads(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  SDL_InitSubSystem(SDL_INIT_VIDEO);
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
  SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");  // the engine filters its sprites linearly too
  SDL_Window* pWindow = SDL_CreateWindow("bench", 0, 0, gc_iWIDTH, gc_iHEIGHT, SDL_WINDOW_OPENGL);
  SDL_Renderer* pRenderer = SDL_CreateRenderer(pWindow, -1, SDL_RENDERER_ACCELERATED);
  if (pRenderer == nullptr) {
    state.SkipWithError(SDL_GetError());
    SDL_DestroyWindow(pWindow);
    return;
  }
  const std::string page = std::string(KV_CONTENT_IMAGES_DIR) + "/TexturesGame/TexturesGame_0.png";
  SDL_Surface* pSurface = IMG_Load(page.c_str());
  SDL_Texture* pTexture = SDL_CreateTextureFromSurface(pRenderer, pSurface);
  // The images are premultiplied: one / one minus source alpha, as the engine's effect blends them.
  SDL_SetTextureBlendMode(pTexture, SDL_ComposeCustomBlendMode(SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA,
                                                               SDL_BLENDOPERATION_ADD, SDL_BLENDFACTOR_ONE,
                                                               SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA,
                                                               SDL_BLENDOPERATION_ADD));
  const std::vector<SDL_Rect> sources =
      pTexture != nullptr ? atlasSourceRects(pSurface->w, pSurface->h) : std::vector<SDL_Rect>();
  if (sources.size() != std::size(gc_apIMAGES)) {
    state.SkipWithError("the sample atlas page or its images did not load");
    return;
  }
  const SProbePlan& plan = probePlan();
  if (!plan.error.empty()) {
    state.SkipWithError(plan.error.c_str());
    return;
  }
  const bool bCopy = !benchSkips("TexturedQuads.baseline.copy");
  const CBenchEverySecond everySecond("TexturedQuads.baseline");
  const CBenchCheat cheat("TexturedQuads.baseline");
  CBenchFrameRecord<u32> probes(state, plan.points.size(), gc_iFRAMES);
  // The probes' pixels are read before the swap (the window's contents are undefined after one); the reads also
  // finish the frame's pixels before the next frame starts, as the engine's side waits for its frame.
  const auto drawFrames = [&](bool bProbe) -> bool {
    for (i32 iFrame = 0; iFrame < gc_iFRAMES; ++iFrame) {
      SDL_SetRenderDrawColor(pRenderer, 0, 0, 0, 255);
      SDL_RenderClear(pRenderer);
      for (i32 i = 0; i < gc_iQUADS_PER_FRAME && !everySecond.leavesOut(iFrame); ++i) {
        const i32 iQuad = drawnFrame(cheat, iFrame) * gc_iQUADS_PER_FRAME + i;
        f32 x = 0.0f;
        f32 y = 0.0f;
        quadPosition(iQuad, &x, &y);
        if (cheat.partial() && !inCorner(x, y)) continue;
        const SDL_Rect& source = sources[static_cast<size_t>(iQuad) % sources.size()];
        const SDL_Rect destination{static_cast<int>(x), static_cast<int>(y), source.w, source.h};
        if (bCopy && SDL_RenderCopy(pRenderer, pTexture, &source, &destination) != 0) return false;
      }
      for (const POINT& point : plan.points) {
        Uint32 uiPixel = 0;
        const SDL_Rect one{static_cast<int>(point.x), static_cast<int>(point.y), 1, 1};
        if (SDL_RenderReadPixels(pRenderer, &one, SDL_PIXELFORMAT_ARGB8888, &uiPixel, 4) != 0) return false;
        if (bProbe) probes.add(uiPixel);
      }
      SDL_RenderPresent(pRenderer);
    }
    return true;
  };
  bool bDrawn = drawFrames(false);  // untimed, as on the engine's side
  for (auto _ : state) {
    if (!bDrawn) break;
    bDrawn = drawFrames(true);
  }
  const std::string probed = bDrawn ? probes.check(state.iterations() * gc_iFRAMES, &checkProbes) : std::string();
  if (!bDrawn) {
    state.SkipWithError(SDL_GetError());
  } else if (!probed.empty()) {
    state.SkipWithError(probed.c_str());
  } else {
    // One more round, its last frame read back and compared.
    std::vector<u32> frame(static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT);
    int iPageWidth = 0;
    int iPageHeight = 0;
    const std::vector<u32> page = pageTexels(&iPageWidth, &iPageHeight);
    const std::string problem =
        !drawFrames(false) || SDL_RenderReadPixels(pRenderer, nullptr, SDL_PIXELFORMAT_ARGB8888, frame.data(),
                                              gc_iWIDTH * 4) != 0
            ? std::string("the last frame could not be read back: ") + SDL_GetError()
            : compareWithReference(frame, referenceFrame(page, iPageWidth, iPageHeight, sources));
    if (!problem.empty()) state.SkipWithError(problem.c_str());
  }
  state.SetItemsProcessed(state.iterations() * gc_iQUADS);
  SDL_DestroyTexture(pTexture);
  SDL_FreeSurface(pSurface);
  SDL_DestroyRenderer(pRenderer);
  SDL_DestroyWindow(pWindow);
}
BENCHMARK(BM_Baseline_TexturedQuads)->UseRealTime()->Unit(benchmark::kMillisecond);

constexpr i32 gc_iJOB_ROUNDS = 50;
constexpr i32 gc_iRECORDS_PER_KIND = 100;
// Rounds that fit one frame of dynamic geometry (8 vertices a record).
constexpr i32 gc_iROUNDS_PER_FRAME = 18;

f64 threadSeconds() {  // the calling thread's CPU time
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<f64>(now.tv_sec) + static_cast<f64>(now.tv_nsec) * 1e-9;
}

// The colour of round r's records (its blue differs from the round before's), and all records recoloured.
constexpr i32 gc_iROUND_COLOURS = 4;
u32 roundColour(i64 iRound) { return 0xFFFFFF00u | static_cast<u32>(0xFF >> (iRound % gc_iROUND_COLOURS)); }
void colourRecords(u32 uiColour) {
  const i32 b = ClGraphics::getCurCPUBuffer();
  for (i32 i = 0; i < gc_iRECORDS_PER_KIND; ++i) {
    ClSpriteMgr::mp_aSprites[b][i].mp_uiColor = uiColour;
    ClSpriteMgr::mp_aLineSprites[b][i].mp_uiColor = uiColour;
  }
}

// 100 billboards and 100 capped lines in the buffer the worker reads, spread in front of the eye.
void fillRecords(const SRenderSignature* pSignature) {
  const i32 b = ClGraphics::getCurCPUBuffer();
  for (i32 i = 0; i < gc_iRECORDS_PER_KIND; ++i) {
    const f32 x = static_cast<f32>(i % 10) * 3.0f - 15.0f;
    const f32 y = static_cast<f32>(i / 10) * 3.0f - 15.0f;
    ClSpriteMgr::mp_aSprites[b][i] = SSprite{{x, y, 20, 1}, pSignature, 1.5f, 0xFFFFFFFFu, gc_uiSPRITE_FLAGS, nullptr, 0};
    ClSpriteMgr::mp_aLineSprites[b][i] =
        SLineSprite{{x, y, 20, 1}, {x + 2, y + 1, 25, 1}, 0xFFFFFFFFu, pSignature, 0.25f, gc_uiSPRITE_FLAGS, nullptr, 1};
  }
  ClSpriteMgr::mp_iNumSprites[b] = gc_iRECORDS_PER_KIND;
  ClSpriteMgr::mp_iNumLineSprites[b] = gc_iRECORDS_PER_KIND;
}

const kv_vector4 gc_vEYE{0, 0, 0, 1};
const kv_vector4 gc_vUP{0, 1, 0, 0};

// One thread builds every record of a kind with the job's task routine, as one task over one reservation.
void buildOnThisThread(i32 iCount, KvTaskCallback pfnTask) {
  SDynamicGeometryAlloc alloc;
  ClDynamicGeometry::reserve(iCount, 8 * iCount, 18 * iCount, &alloc);
  static u32 s_auiIndexList[gc_iRECORDS_PER_KIND];
  for (i32 i = 0; i < iCount; ++i) s_auiIndexList[i] = static_cast<u32>(i);
  SSpriteTask task{};
  task.mp_uiSelectFlags = gc_uiSPRITE_FLAGS;
  task.mp_uiFlagMask = 0xFFFFFFFFu;
  task.mp_vEye = gc_vEYE;
  task.mp_vUp = gc_vUP;
  task.mp_pVertexCursor = alloc.mp_pVerts;
  task.mp_pIndexCursor = alloc.mp_pIndexes;
  task.mp_uiNextIndexSlot = alloc.mp_uiFirstIndex;
  task.mp_uiNextVertex = alloc.mp_uiFirstVertex;
  task.mp_puiFlags = alloc.mp_puiFlags;
  task.mp_pRanges = alloc.mp_pRanges;
  task.mp_pfDepths = alloc.mp_pfDepths;
  task.mp_ppSignatures = alloc.mp_ppSignatures;
  task.mp_puiBatchIds = alloc.mp_puiUserWords;
  task.mp_iNumRecords = iCount;
  task.mp_puiIndexList = s_auiIndexList;
  pfnTask(&task);
}

f64 wallSeconds() {
  return std::chrono::duration<f64>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A sum over the elements [iFirst, iEnd) of the frame's geometry: every vertex their indices reach (position and
// texture coordinates), the colour and depth, in element order.
f64 geometrySum(i32 iFirst, i32 iEnd) {
  f64 dSum = 0.0;
  for (i32 e = iFirst; e < iEnd; ++e) {
    const SDynamicGeometryRange& range = ClDynamicGeometry::mp_aRanges[e];
    dSum += ClDynamicGeometry::mp_afDepths[e] * 0.001;
    for (u32 i = 0; i < range.mp_uiNumIndices; ++i) {
      const SDynamicGeometryVertex& v =
          ClDynamicGeometry::m_pLockedVerts[ClDynamicGeometry::mp_auiStagingIndexes[range.mp_uiFirstIndex + i]];
      dSum += v.x + 2.0 * v.y + 3.0 * v.z + 5.0 * v.u + 7.0 * v.v + static_cast<f64>(v.color & 0xFFu);
    }
  }
  return dSum;
}

// 50 rounds of 100 billboards and 100 lines, a fresh frame of geometry every 18 rounds; the wall time of the
// builds (every thread's work is inside it: the build returns once all of it is done). Each round's records get
// their round's colour first, untimed, so that no round builds what the last one did; each round's geometry is
// checked, outside the timed part, against the sum of one round of the same colour built first on this thread by
// the task routines. "<case>.<side>.partial" leaves the last line out of every round's records, ".repeat" builds
// every third round from the last round's records, ".replay" every round from the last reference round's, ".middle"
// changes one vertex of the middle round's geometry.
template <typename FBuild>
void runRounds(benchmark::State& state, const std::string& sSide, FBuild build) {
  const CBenchCheat cheat(sSide);
  ClDynamicGeometry::unlockBuffers();
  ClDynamicGeometry::beginFrame();
  std::vector<f64> expected;
  i32 iElementsPerRound = 0;
  for (i32 c = 0; c < gc_iROUND_COLOURS; ++c) {
    colourRecords(roundColour(c));
    const i32 iFirst = ClDynamicGeometry::getNumElements();
    buildOnThisThread(gc_iRECORDS_PER_KIND, &ClSpriteMgr::spriteTask);
    buildOnThisThread(gc_iRECORDS_PER_KIND, &ClSpriteMgr::lineSpriteTask);
    iElementsPerRound = ClDynamicGeometry::getNumElements() - iFirst;
    expected.push_back(geometrySum(iFirst, ClDynamicGeometry::getNumElements()));
  }
  ClDynamicGeometry::unlockBuffers();
  if (iElementsPerRound != 2 * gc_iRECORDS_PER_KIND) {
    state.SkipWithError("the reference round made no geometry");
    return;
  }
  const i32 b = ClGraphics::getCurCPUBuffer();
  if (cheat.partial()) ClSpriteMgr::mp_iNumLineSprites[b] = gc_iRECORDS_PER_KIND - 1;
  const i64 iMiddle = state.max_iterations * gc_iJOB_ROUNDS;
  i64 iRounds = 0;
  for (auto _ : state) {
    f64 dSeconds = 0.0;
    for (i32 iRound = 0; iRound < gc_iJOB_ROUNDS; ++iRound) {
      if (iRound % gc_iROUNDS_PER_FRAME == 0) {
        ClDynamicGeometry::unlockBuffers();
        ClDynamicGeometry::beginFrame();
      }
      // "repeat" builds every third round from the last round's records, "replay" every round from the last reference
      // round's: the geometry of that round again.
      if (!cheat.repeats(iRounds) && !cheat.replays()) colourRecords(roundColour(iRounds));
      const i32 iFirst = ClDynamicGeometry::getNumElements();
      const f64 dStart = wallSeconds();
      build(iRounds);
      dSeconds += wallSeconds() - dStart;
      const i32 iEnd = ClDynamicGeometry::getNumElements();
      if (cheat.changes(iRounds, iMiddle) && iEnd > iFirst) {
        const SDynamicGeometryRange& range = ClDynamicGeometry::mp_aRanges[iFirst];
        ClDynamicGeometry::m_pLockedVerts[ClDynamicGeometry::mp_auiStagingIndexes[range.mp_uiFirstIndex]].x += 1.0f;
      }
      if (iEnd - iFirst != iElementsPerRound ||
          geometrySum(iFirst, iEnd) != expected[static_cast<size_t>(iRounds % gc_iROUND_COLOURS)]) {
        state.SkipWithError(("round " + std::to_string(iRounds) + "'s geometry differs from the reference round")
                                .c_str());
        ClSpriteMgr::mp_iNumLineSprites[b] = gc_iRECORDS_PER_KIND;
        return;
      }
      ++iRounds;
    }
    ClDynamicGeometry::unlockBuffers();
    state.SetIterationTime(dSeconds);
  }
  ClSpriteMgr::mp_iNumLineSprites[b] = gc_iRECORDS_PER_KIND;
  state.SetItemsProcessed(state.iterations() * gc_iJOB_ROUNDS * 2 * gc_iRECORDS_PER_KIND);
}

// A recording sprite session with the records of fillRecords in the worker's buffer.
struct SJobSession {
  SJobSession() {
    static SRenderSignature s_signature{};
    fillRecords(&s_signature);
  }
  CTestGraphicsHooks hooks;
  CSpriteSession session{&hooks, true};
};

void BM_Engine_SpriteJobs(benchmark::State& state) {
  const SJobSession run;
  ClJobMgr::initialize();
  const bool bBuild = !benchSkips("SpriteJobs.engine.build");
  const CBenchEverySecond everySecond("SpriteJobs.engine");
  runRounds(state, "SpriteJobs.engine", [bBuild, &everySecond](i64 iRound) {
    if (bBuild && !everySecond.leavesOut(iRound)) ClSpriteMgr::runSpriteJobs(gc_vEYE, gc_vUP);
  });
  ClJobMgr::shutdown();
}
BENCHMARK(BM_Engine_SpriteJobs)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The best plain build of 100 records of each kind: both kinds on the calling thread, one reservation each.
void BM_Baseline_SpriteJobs(benchmark::State& state) {
  const SJobSession run;
  const bool bBillboards = !benchSkips("SpriteJobs.baseline.billboards");
  const bool bLines = !benchSkips("SpriteJobs.baseline.lines");
  const CBenchEverySecond everySecond("SpriteJobs.baseline");
  runRounds(state, "SpriteJobs.baseline", [bBillboards, bLines, &everySecond](i64 iRound) {
    if (everySecond.leavesOut(iRound)) return;
    const i32 b = ClGraphics::getCurCPUBuffer();
    if (bBillboards) buildOnThisThread(ClSpriteMgr::mp_iNumSprites[b], &ClSpriteMgr::spriteTask);
    if (bLines) buildOnThisThread(ClSpriteMgr::mp_iNumLineSprites[b], &ClSpriteMgr::lineSpriteTask);
  });
}
BENCHMARK(BM_Baseline_SpriteJobs)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same records split plainly between threads (BenchPlainPool.h: as many threads as logical processors, this
// thread among them, one chunk each, each kind's reservation made first): the split that the baseline does not
// make, measured to show that at 100 records a kind it costs more than it saves.
struct SSplitRound {
  SDynamicGeometryAlloc aAllocs[2];
};

void buildSplitChunk(void* pContext, i32 iFirst, i32 iCount) {
  const SSplitRound& round = *static_cast<const SSplitRound*>(pContext);
  static const std::vector<u32> s_indexList = [] {
    std::vector<u32> list(gc_iRECORDS_PER_KIND);
    for (i32 i = 0; i < gc_iRECORDS_PER_KIND; ++i) list[static_cast<size_t>(i)] = static_cast<u32>(i);
    return list;
  }();
  for (i32 iItem = iFirst; iItem < iFirst + iCount; ++iItem) {
    const i32 iKind = iItem / gc_iRECORDS_PER_KIND;
    const i32 iRecord = iItem % gc_iRECORDS_PER_KIND;
    const SDynamicGeometryAlloc& alloc = round.aAllocs[iKind];
    // One record at a time: chunks may cross from one kind into the other.
    SSpriteTask task{};
    task.mp_uiSelectFlags = gc_uiSPRITE_FLAGS;
    task.mp_uiFlagMask = 0xFFFFFFFFu;
    task.mp_vEye = gc_vEYE;
    task.mp_vUp = gc_vUP;
    task.mp_pVertexCursor = alloc.mp_pVerts + 8 * iRecord;
    task.mp_pIndexCursor = alloc.mp_pIndexes + 18 * iRecord;
    task.mp_uiNextIndexSlot = alloc.mp_uiFirstIndex + static_cast<u32>(18 * iRecord);
    task.mp_uiNextVertex = alloc.mp_uiFirstVertex + static_cast<u32>(8 * iRecord);
    task.mp_puiFlags = alloc.mp_puiFlags + iRecord;
    task.mp_pRanges = alloc.mp_pRanges + iRecord;
    task.mp_pfDepths = alloc.mp_pfDepths + iRecord;
    task.mp_ppSignatures = alloc.mp_ppSignatures + iRecord;
    task.mp_puiBatchIds = alloc.mp_puiUserWords + iRecord;
    task.mp_iNumRecords = 1;
    task.mp_puiIndexList = s_indexList.data() + iRecord;
    (iKind == 0 ? &ClSpriteMgr::spriteTask : &ClSpriteMgr::lineSpriteTask)(&task);
  }
}

void BM_PlainSplit_SpriteJobs(benchmark::State& state) {
  const SJobSession run;
  ClTaskMgr::countLogicalProcessors();
  const i32 iThreads = std::max(ClTaskMgr::getNumLogicalProcessors(), 1);
  CPlainPool pool(iThreads);
  runRounds(state, "PlainSplit_SpriteJobs", [&pool, iThreads](i64) {
    SSplitRound round;
    for (SDynamicGeometryAlloc& alloc : round.aAllocs) {
      ClDynamicGeometry::reserve(gc_iRECORDS_PER_KIND, 8 * gc_iRECORDS_PER_KIND, 18 * gc_iRECORDS_PER_KIND, &alloc);
    }
    const i32 iItems = 2 * gc_iRECORDS_PER_KIND;
    pool.run(iItems, (iItems + iThreads - 1) / iThreads, &buildSplitChunk, &round);
  });
  state.counters["threads"] = iThreads;
}
BENCHMARK(BM_PlainSplit_SpriteJobs)->UseManualTime()->Unit(benchmark::kMicrosecond);

constexpr i32 gc_iUI_IMAGES = 500;

class CImageUIHooks : public ClTestUIHooks {
 public:
  void registerGameUIFunctions() override { registerImagesUIFunctions(); }
};

// The widget layout that puts a widget's top-left corner at quad i's position (canvas units of a 216-unit height).
std::string quadLayout(i32 i) {
  f32 x = 0.0f;
  f32 y = 0.0f;
  quadPosition(i, &x, &y);
  return R"({"layout": {"screenAnchor": 0, "x": )" + std::to_string(x * 216.0f / gc_iHEIGHT) +
         R"(, "y": )" + std::to_string(y * 216.0f / gc_iHEIGHT) + R"(, "widgetAnchor": 0}})";
}

// The UI layer (from 2600) of the screens' widget i: the 200 layers in an order of their own, widget 200 back on the
// first widget's layer.
i32 quadLayer(i32 i) { return (i % 200) * 77 % 200; }

// Starts the UI with the hooks, compiles a screen "Screen" of iCount widgets, loads it under the name "Bench" and
// shows it. Widget i is named pPrefix and i, drawn on the canvas on layer 2600 + quadLayer(i) with "system_blend_premult"
// in white at its picture's size with its top-left corner at quad i's position; its picture is the JSON member
// source (a texture or flip book) and its events are the members of events. False when it does not compile or load.
bool loadQuadScreen(ClTestUIHooks* pHooks, i32 iCount, const char* pPrefix, const char* pCanvas,
                    const std::string& source, const std::string& events) {
  KvTestSetUIHooks(pHooks);
  ClUI::initialise();
  std::string children;
  for (i32 i = 0; i < iCount; ++i) {
    children += std::string(i ? "," : "") + R"({"name": ")" + pPrefix + std::to_string(i) + R"(", "properties": {
        "canvas": {"id": ")" + pCanvas + R"("}, "imageLayer": )" + std::to_string(2600 + quadLayer(i)) + ", " + source + R"(,
        "textureShader": {"id": "system_blend_premult"},
        "textureColor": {"color": "0xFFFFFFFF"}, "forcedWidth": 0.0, "forcedHeight": 0.0,
        "widgetLayout": )" + quadLayout(i) + ", " + events + "}}";
  }
  SKuiScreenSet set;
  std::string error;
  if (!KuiParseDescription(R"({"root": {"name": "Screen", "children": [)" + children + "]}}", "bench.json", &set,
                           &error)) {
    return false;
  }
  const std::vector<uint8_t> image = KuiWriteImage(set);
  if (!ClUI::loadUIDataFromImage("Bench", image.data(), static_cast<u32>(image.size()))) {
    return false;
  }
  ClUI::getWidget("Screen")->setVisibleRecursively(1);
  return true;
}

// The images' pulse: each swings between these two colours over a period, the colour animator's cosine pulse.
constexpr u32 gc_uiPULSE_FROM = 0xFFFFFFFFu;
constexpr u32 gc_uiPULSE_TO = 0x80C08040u;
constexpr f32 gc_fPULSE_PERIOD = 0.25f;
constexpr f32 gc_fUI_DT = 1.0f / 60.0f;
constexpr f32 gc_fUI_ASSET_HEIGHT = 216.0f;
constexpr i32 gc_iTILE_TEXELS = 16;

// The UI on the session's device: "UBER" over the whole window, the default canvas's asset height 216, a loose UI
// image of 16 x 16 texels and a screen of 500 images of it spread over the canvas, each pulsing from its load on,
// the system clock at 1/60 s a frame.
class CImageScreen {
 public:
  CImageScreen() {
    ClShaderMgr::createShader("system_blend_premult");
    ClShaderMgr::mp_bAllShadersLoaded = 1;
    Cl2d::initialise();
    Cl2dCanvas* pFull = Cl2d::getFullCanvas();
    pFull->mp_potentialAssetHeights.append(SCanvasAssetHeight{216, "_216"});
    Cl2d::createCanvas("UBER", gc_ui2D_ALIGN_CENTRE, gc_f2D_DESIGN_HEIGHT, gc_fUI_ASSET_HEIGHT, 0.0f, 0.0f,
                       static_cast<f32>(gc_iWIDTH), static_cast<f32>(gc_iHEIGHT), gc_ui2D_ALIGN_CENTRE);
    std::filesystem::create_directories("Images/UI");
    const std::vector<uint8_t> png = KvTestEncodeImage(
        std::vector<uint32_t>(gc_iTILE_TEXELS * gc_iTILE_TEXELS, 0xFFC08040u), gc_iTILE_TEXELS, gc_iTILE_TEXELS,
        ETestImageFormat::PNG);
    std::ofstream("Images/UI/Tile_216.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    m_bLoaded = loadQuadScreen(&m_hooks, gc_iUI_IMAGES, "Image", "UBER", R"("textureName": "Tile")",
                               R"("onLoad": {"event": {"calls": [{"call": "systemDeferredImageLoad"},
                                   {"call": "systemImagePulse", "params": [)" +
                                   std::to_string(gc_uiPULSE_FROM) + ", " + std::to_string(gc_uiPULSE_TO) + ", " +
                                   std::to_string(gc_fPULSE_PERIOD) + R"(]}]}},
                                 "onRender": {"event": {"single": "systemImageRender"}})");
    // The images share one texture: each queues it, and it loads once.
    ClUI::loadDeferredUITextures();
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = gc_fUI_DT;
  }
  ~CImageScreen() {
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    Cl2d::clearSprites();
    Cl2d::terminate();
  }
  bool m_bLoaded = false;

 private:
  CImageUIHooks m_hooks;
};

// Image i's top-left corner in window pixels: its description's canvas position ("UBER" is the window, one unit a
// pixel) rounded to a whole pixel.
void imagePlace(i32 i, f32* pLeft, f32* pTop) {
  f32 fX = 0.0f;
  f32 fY = 0.0f;
  quadPosition(i, &fX, &fY);
  *pLeft = std::floor(std::stof(std::to_string(fX * 216.0f / gc_iHEIGHT)) + 0.5f);
  *pTop = std::floor(std::stof(std::to_string(fY * 216.0f / gc_iHEIGHT)) + 0.5f);
}

// A quad's layer and top-left corner, ordered for comparing the quads of a frame with the images' places.
struct SImagePlace {
  f32 fLayer, fX, fY;
  bool operator<(const SImagePlace& o) const {
    return fLayer != o.fLayer ? fLayer < o.fLayer : (fX != o.fX ? fX < o.fX : fY < o.fY);
  }
  bool operator==(const SImagePlace& o) const { return fLayer == o.fLayer && fX == o.fX && fY == o.fY; }
};

// Where the images' quads go, sorted: each layer's at its images' places (Direct3D 9's pixel centres: half a pixel
// up and left).
const std::vector<SImagePlace>& imagePlaces() {
  static const std::vector<SImagePlace> s_places = [] {
    std::vector<SImagePlace> places;
    for (i32 i = 0; i < gc_iUI_IMAGES; ++i) {
      f32 fX = 0.0f;
      f32 fY = 0.0f;
      imagePlace(i, &fX, &fY);
      places.push_back({static_cast<f32>(2600 + quadLayer(i)), fX - 0.5f, fY - 0.5f});
    }
    std::sort(places.begin(), places.end());
    return places;
  }();
  return s_places;
}

// An empty answer when a frame's written quads are the screen's images as laid out: one per image, in layer order,
// each at its place (imagePlaces) with the tile's size (the canvas's resolution height is the asset height), the
// whole texture, all in the colour uiColor within 2 levels a channel; else what is wrong.
std::string checkImageQuads(const std::vector<SWrittenQuad>& quads, u32 uiColor) {
  if (quads.size() != static_cast<size_t>(gc_iUI_IMAGES)) {
    return "the frame wrote " + std::to_string(quads.size()) + " quads for " + std::to_string(gc_iUI_IMAGES) +
           " images";
  }
  std::vector<SImagePlace> got;
  for (size_t k = 0; k < quads.size(); ++k) {
    const SWrittenQuad& q = quads[k];
    if (k > 0 && q.fDepth > quads[k - 1].fDepth) return "quad " + std::to_string(k) + " is out of layer order";
    if (q.fRight - q.fLeft != gc_iTILE_TEXELS || q.fBottom - q.fTop != gc_iTILE_TEXELS || q.fU0 != 0.0f ||
        q.fV0 != 0.0f || q.fU1 != 1.0f || q.fV1 != 1.0f) {
      return "quad " + std::to_string(k) + " is not the whole tile at its size";
    }
    if (!benchNearColor(q.uiColor, uiColor, 2) ||
        std::abs(static_cast<i32>(q.uiColor >> 24) - static_cast<i32>(uiColor >> 24)) > 2) {
      char acError[96];
      std::snprintf(acError, sizeof(acError), "quad %zu's colour is %08X, the pulse's %08X", k, q.uiColor, uiColor);
      return acError;
    }
    got.push_back({-q.fDepth, q.fLeft, q.fTop});
  }
  std::sort(got.begin(), got.end());
  const std::vector<SImagePlace>& wanted = imagePlaces();
  for (size_t k = 0; k < got.size(); ++k) {
    if (!(got[k] == wanted[k])) {
      return "a quad of layer " + std::to_string(got[k].fLayer) + " is at (" + std::to_string(got[k].fX) + ", " +
             std::to_string(got[k].fY) + "), where no image of its layer is";
    }
  }
  return std::string();
}

// The pulse's colour at fPhase seconds into its period: from one colour to the other and back, along half a cosine.
u32 pulseColor(f64 fPhase) {
  const f64 t = (1.0 - std::cos(2.0 * 3.14159265358979 * fPhase / gc_fPULSE_PERIOD)) * 0.5;
  u32 uiColor = 0;
  for (u32 uiShift = 0; uiShift < 32; uiShift += 8) {
    const f64 fFrom = static_cast<f64>((gc_uiPULSE_FROM >> uiShift) & 0xFFu);
    const f64 fTo = static_cast<f64>((gc_uiPULSE_TO >> uiShift) & 0xFFu);
    uiColor |= static_cast<u32>(fFrom + (fTo - fFrom) * t + 0.5) << uiShift;
  }
  return uiColor;
}

// A pulse's clock as a side keeps it: from fStart seconds, 1/60 s added a frame in single precision (over many
// frames the sum drifts from the frames' count times 1/60, so the check follows the side's own sum); the pulse's
// phase is the clock plus fToPhase.
struct SPulseClock {
  f32 fClock;
  f32 fToPhase;
};

// One frame, timed on the calling thread's CPU time, into a fresh frame of dynamic geometry.
template <typename FFrame>
void timedFrame(benchmark::State& state, FFrame& frame, i64 iFrame) {
  ClDynamicGeometry::unlockBuffers();
  ClDynamicGeometry::beginFrame();
  const f64 dStart = threadSeconds();
  frame(iFrame);
  state.SetIterationTime(threadSeconds() - dStart);
}

// Runs the frames (frame(iFrame) one of them) on the calling thread's CPU time, each checked after its time
// (checkImageQuads): its quads in the colour of the pulse on the side's clock after that many frames.
template <typename FFrame>
void runUIFrames(benchmark::State& state, SPulseClock clock, FFrame frame) {
  std::string error;
  i64 iFrame = 0;
  for (auto _ : state) {
    timedFrame(state, frame, iFrame);
    clock.fClock += gc_fUI_DT;
    if (error.empty()) {
      error = checkImageQuads(writtenQuads(), pulseColor(static_cast<f64>(clock.fClock) + clock.fToPhase));
      if (!error.empty()) error = "frame " + std::to_string(iFrame) + ": " + error;
    }
    ++iFrame;
  }
  ClDynamicGeometry::unlockBuffers();
  if (!error.empty()) state.SkipWithError(error.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iUI_IMAGES);
}

// The UI's frame; "UIFrame.engine.tick" leaves out the UI's update (the widgets' animators), ".engine.oneupdate"
// that of the middle frame alone, "UIFrame.engine.sort" the queue's sort; ".engine.partial" the last queued image
// of every frame, ".engine.repeat" every third frame's update (its quads the last frame's again), ".engine.middle"
// changes one image's colour in the middle frame.
void BM_Engine_UIFrame(benchmark::State& state) {
  SScreenSession<CImageScreen> run;
  if (!run.loaded(state, "the screen of images")) return;
  const bool bTick = !benchSkips("UIFrame.engine.tick");
  const bool bMiddleTick = !benchSkips("UIFrame.engine.oneupdate");
  const bool bSort = !benchSkips("UIFrame.engine.sort");
  const CBenchEverySecond everySecond("UIFrame.engine");
  const CBenchCheat cheat("UIFrame.engine");
  const i64 iFrames = state.max_iterations;
  // The colour animator's clock starts a quarter period early, its phase a quarter period on.
  runUIFrames(state, SPulseClock{-0.25f * gc_fPULSE_PERIOD, 0.25f * gc_fPULSE_PERIOD}, [&](i64 iFrame) {
    if (bTick && !everySecond.leavesOut(iFrame) && !cheat.repeats(iFrame) && (bMiddleTick || iFrame != iFrames / 2)) {
      ClUI::update();
    }
    ClUI::render();
    if (cheat.partial() && Cl2d::mp_spriteQueue.mp_uCount > 0) --Cl2d::mp_spriteQueue.mp_uCount;
    if (cheat.changes(iFrame, iFrames)) Cl2d::mp_spriteQueue.mp_auiColor[0] ^= 0x00800000u;
    if (bSort) Cl2d::sortSprites();
    Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 2600, 2800, 0.0f);
    Cl2d::clearSprites();
  });
}
BENCHMARK(BM_Engine_UIFrame)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same screen as plain records: each image's rectangle in window pixels worked out once from its description
// (its canvas position, the tile's size), its layer, and its own pulse clock. A frame ticks
// every pulse (the colour from the cosine of its clock), queues the visible images into an array, sorts them by
// layer (a counting sort over the UI's 200 layers, stable) and writes them into dynamic geometry in one
// reservation. "UIFrame.baseline.tick" leaves out the pulses' tick, ".baseline.oneupdate" that of the middle frame
// alone, "UIFrame.baseline.sort" the sort; ".baseline.partial" the last image of every frame, ".baseline.repeat"
// every third frame's tick (its quads the last frame's again), ".baseline.middle" changes one image's colour in the
// middle frame.
class CPlainImageScreen {
 public:
  explicit CPlainImageScreen(const SRenderSignature* pSignature) : m_pSignature(pSignature) {
    for (i32 i = 0; i < gc_iUI_IMAGES; ++i) {
      f32 fLeft = 0.0f;
      f32 fTop = 0.0f;
      imagePlace(i, &fLeft, &fTop);
      m_images.push_back({fLeft, fTop, static_cast<f32>(gc_iTILE_TEXELS), static_cast<u16>(quadLayer(i)), 0.0f,
                          gc_uiPULSE_FROM, true});
    }
    m_queue.resize(m_images.size());
    m_sorted.resize(m_images.size());
  }

  // bAll: every image queued, else all but the last; bChange: the first image's colour changed.
  void frame(bool bTick, bool bSort, bool bAll = true, bool bChange = false) {
    if (bTick) {
      const f32 fRate = 2.0f * KV_PI / gc_fPULSE_PERIOD;
      for (SImage& image : m_images) {
        image.fClock += gc_fUI_DT;
        const f32 t = (1.0f - std::cos(fRate * image.fClock)) * 0.5f;
        u32 uiColor = 0;
        for (u32 uiShift = 0; uiShift < 32; uiShift += 8) {
          const f32 fFrom = static_cast<f32>((gc_uiPULSE_FROM >> uiShift) & 0xFFu);
          const f32 fTo = static_cast<f32>((gc_uiPULSE_TO >> uiShift) & 0xFFu);
          uiColor |= static_cast<u32>(fFrom + (fTo - fFrom) * t + 0.5f) << uiShift;
        }
        image.uiColor = uiColor;
      }
    }
    if (bChange) m_images[0].uiColor ^= 0x00800000u;
    u32 uiQueued = 0;
    for (const SImage& image : m_images) {
      if (image.bVisible) m_queue[uiQueued++] = &image;
    }
    if (!bAll && uiQueued > 0) --uiQueued;
    const SImage* const* ppOrder = m_queue.data();
    if (bSort) {
      std::fill(std::begin(m_auiLayerStart), std::end(m_auiLayerStart), 0u);
      for (u32 i = 0; i < uiQueued; ++i) ++m_auiLayerStart[m_queue[i]->uLayer + 1];
      for (size_t l = 1; l < std::size(m_auiLayerStart); ++l) m_auiLayerStart[l] += m_auiLayerStart[l - 1];
      for (u32 i = 0; i < uiQueued; ++i) m_sorted[m_auiLayerStart[m_queue[i]->uLayer]++] = m_queue[i];
      ppOrder = m_sorted.data();
    }
    SDynamicGeometryAlloc alloc;
    ClDynamicGeometry::reserve(static_cast<i32>(uiQueued), static_cast<i32>(4 * uiQueued),
                               static_cast<i32>(6 * uiQueued), &alloc);
    if (alloc.mp_pVerts == nullptr) return;
    for (u32 i = 0; i < uiQueued; ++i) {
      const SImage& q = *ppOrder[i];
      const f32 fLeft = q.fLeft - 0.5f;
      const f32 fTop = q.fTop - 0.5f;
      const f32 fRight = fLeft + q.fSize;
      const f32 fBottom = fTop + q.fSize;
      SDynamicGeometryVertex* pV = alloc.mp_pVerts + 4 * i;
      pV[0] = SDynamicGeometryVertex{fLeft, fTop, 0.0f, q.uiColor, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
      pV[1] = SDynamicGeometryVertex{fRight, fTop, 0.0f, q.uiColor, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f};
      pV[2] = SDynamicGeometryVertex{fLeft, fBottom, 0.0f, q.uiColor, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
      pV[3] = SDynamicGeometryVertex{fRight, fBottom, 0.0f, q.uiColor, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f};
      ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes + 6 * i, alloc.mp_uiFirstVertex + 4 * i, true);
      ClDynamicGeometry::setElement(alloc, static_cast<i32>(i), alloc.mp_uiFirstIndex + 6 * i, 6,
                                    gc_uiDYNGEO_FLAG_UI, m_pSignature, -static_cast<f32>(2600 + q.uLayer));
    }
  }

 private:
  struct SImage {
    f32 fLeft, fTop, fSize;
    u16 uLayer;  // from 2600
    f32 fClock;
    u32 uiColor;
    bool bVisible;
  };
  const SRenderSignature* m_pSignature;
  std::vector<SImage> m_images;
  std::vector<const SImage*> m_queue;
  std::vector<const SImage*> m_sorted;
  u32 m_auiLayerStart[201] = {};
};

void BM_Baseline_UIFrame(benchmark::State& state) {
  SScreenSession<CImageScreen> run;
  if (!run.loaded(state, "the screen of images")) return;
  // The tile's texture, loaded with the screen, drawn with the images' shader.
  ClTexture* pTile = ClTextureMgr::findTexture("Images/UI/Tile_216");
  const SRenderSignature* pSignature =
      pTile != nullptr ? ClSignatureMgr::getSignatureByName("system_blend_premult", pTile) : nullptr;
  if (pSignature == nullptr) {
    state.SkipWithError("the tile's texture is not loaded");
    return;
  }
  CPlainImageScreen plain(pSignature);
  const bool bTick = !benchSkips("UIFrame.baseline.tick");
  const bool bMiddleTick = !benchSkips("UIFrame.baseline.oneupdate");
  const bool bSort = !benchSkips("UIFrame.baseline.sort");
  const CBenchEverySecond everySecond("UIFrame.baseline");
  const CBenchCheat cheat("UIFrame.baseline");
  const i64 iFrames = state.max_iterations;
  runUIFrames(state, SPulseClock{0.0f, 0.0f}, [&](i64 iFrame) {
    plain.frame(bTick && !everySecond.leavesOut(iFrame) && !cheat.repeats(iFrame) &&
                    (bMiddleTick || iFrame != iFrames / 2),
                bSort, !cheat.partial(), cheat.changes(iFrame, iFrames));
  });
}
BENCHMARK(BM_Baseline_UIFrame)->UseManualTime()->Unit(benchmark::kMicrosecond);

constexpr i32 gc_iANIM_WIDGETS = 200;
constexpr i32 gc_iEMBER_FRAMES = 6;

class CAnimUIHooks : public ClTestUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerImagesUIFunctions();
    registerAnimsUIFunctions();
  }
};

// The UI on the session's device with the flip book "DragonEmber" (the sample atlas's six ember frames, 12 frames a
// second) in the flip-book manager, and a screen of 200 flip-book widgets playing it on "FULL", each started a
// frame later than the one before so that they show different frames.
class CAnimScreen {
 public:
  CAnimScreen() {
    ClShaderMgr::createShader("system_blend_premult");
    ClShaderMgr::mp_bAllShadersLoaded = 1;
    ClAtlasMgr::actualLoadAtlasSync("TexturesGame/TexturesGame", "TexturesGame/", "TexturesGameAtlas");
    ClFlipBookMgr::initialize();
    ClFlipBook* pFlipBook = new (KvAlignedAlloc(sizeof(ClFlipBook), 16)) ClFlipBook();
    pFlipBook->initialize();
    pFlipBook->mp_fFramesPerSecond = 12.0f;
    for (i32 i = 0; i < gc_iEMBER_FRAMES; ++i) {
      char acName[32];
      std::snprintf(acName, sizeof(acName), "DragonEmber-%04d_216", i + 1);
      SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(acName));
      if (pEntry == nullptr) return;
      pFlipBook->mp_daFrames.append(SFlipBookFrame{pEntry, nullptr, 0.0f, 0.0f});
    }
    ClFlipBookMgr::mp_flipBookTable.insertOrReplace(KvStrHash("DragonEmber"), pFlipBook);
    Cl2d::initialise();
    m_bLoaded = loadQuadScreen(&m_hooks, gc_iANIM_WIDGETS, "Anim", "FULL", R"("flipbookName": "DragonEmber")",
                               R"("onLoad": {"event": {"calls": [{"call": "systemAnimInitColor"},
                                   {"call": "systemCreateTexAnimObj"}]}},
                                 "onDestroy": {"event": {"calls": [{"call": "systemDeleteTexAnimObj"}]}},
                                 "onRender": {"event": {"single": "systemAnimRender"}})");
    if (!m_bLoaded) return;
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 1.0f / 12.0f;
    for (i32 i = 0; i < gc_iANIM_WIDGETS; ++i) {
      for (i32 j = 0; j < i % gc_iEMBER_FRAMES; ++j) {
        getWidgetAnimObj(ClUI::getWidgetFormatted("Anim%d", i))->update(static_cast<i32>(gc_uiCLOCK_GAMEPLAY));
      }
    }
    // Half a frame in: the frames' updates then end no ember on a frame's time.
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 1.0f / 120.0f;
    for (i32 i = 0; i < gc_iANIM_WIDGETS; ++i) {
      getWidgetAnimObj(ClUI::getWidgetFormatted("Anim%d", i))->update(static_cast<i32>(gc_uiCLOCK_GAMEPLAY));
    }
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 1.0f / 60.0f;
  }
  ~CAnimScreen() {
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    Cl2d::clearSprites();
    Cl2d::terminate();
    ClFlipBookMgr::terminate();
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
  }
  bool m_bLoaded = false;

 private:
  CAnimUIHooks m_hooks;
};

// What an anim frame wrote against the widgets (outside its time): one quad per widget in layer order, widget i (on
// layer quadLayer(i), so its quad's depth tells it) showing ember (i + iShift) % 6 of the flip book, the same shift
// for every widget. An empty answer when it holds, with *piShift set; else what is wrong.
// Each widget's quad for each ember, as it first showed (the whole quad: place, size, texture corners, colour).
using CAnimLooks = std::vector<std::optional<SWrittenQuad>>;  // at widget * 6 + ember

std::string checkAnimQuads(const std::vector<SWrittenQuad>& quads, const std::vector<const SAtlasTexInfo*>& embers,
                           CAnimLooks* pLooks, i32* piShift) {
  if (quads.size() != static_cast<size_t>(gc_iANIM_WIDGETS)) {
    return "the frame wrote " + std::to_string(quads.size()) + " quads for " + std::to_string(gc_iANIM_WIDGETS) +
           " flip books";
  }
  std::vector<i32> widgetOnLayer(200, -1);
  for (i32 i = 0; i < gc_iANIM_WIDGETS; ++i) widgetOnLayer[static_cast<size_t>(quadLayer(i))] = i;
  *piShift = -1;
  for (size_t k = 0; k < quads.size(); ++k) {
    const SWrittenQuad& q = quads[k];
    if (k > 0 && q.fDepth > quads[k - 1].fDepth) return "quad " + std::to_string(k) + " is out of layer order";
    const i32 iLayer = static_cast<i32>(-q.fDepth) - 2600;
    const i32 iWidget = iLayer >= 0 && iLayer < 200 ? widgetOnLayer[static_cast<size_t>(iLayer)] : -1;
    i32 iEmber = -1;
    for (size_t e = 0; e < embers.size(); ++e) {
      if (q.fU0 == std::min(embers[e]->mp_fU0, embers[e]->mp_fU1) &&
          q.fV0 == std::min(embers[e]->mp_fV0, embers[e]->mp_fV1)) {
        iEmber = static_cast<i32>(e);
      }
    }
    if (iWidget < 0 || iEmber < 0) return "quad " + std::to_string(k) + " is no widget's ember";
    std::optional<SWrittenQuad>& look = (*pLooks)[static_cast<size_t>(iWidget * gc_iEMBER_FRAMES + iEmber)];
    if (!look) look = q;
    if (std::memcmp(&*look, &q, sizeof(q)) != 0) {
      return "widget " + std::to_string(iWidget) + "'s quad of ember " + std::to_string(iEmber) +
             " is not where, or as big or in the colour, it was before";
    }
    const i32 iShift = (iEmber - iWidget % gc_iEMBER_FRAMES + gc_iEMBER_FRAMES) % gc_iEMBER_FRAMES;
    if (*piShift < 0) *piShift = iShift;
    if (iShift != *piShift) {
      return "widget " + std::to_string(iWidget) + " shows ember " + std::to_string(iEmber) + ", not " +
             std::to_string((iWidget + *piShift) % gc_iEMBER_FRAMES) + " as the others";
    }
  }
  return std::string();
}

// Runs frames and checks every frame's quads (checkAnimQuads) and that the embers move on one every five frames: frame
// n's updates have brought the clock (2n + 3) / 120 s past the first frame's ember's start, so its shift is the first
// frame's plus (2n + 3) / 10.
template <typename FFrame>
void runAnimFrames(benchmark::State& state, FFrame frame) {
  std::vector<const SAtlasTexInfo*> embers;
  const ClFlipBook* pFlipBook = ClFlipBookMgr::getFlipBook("DragonEmber");
  for (i32 i = 0; i < pFlipBook->mp_daFrames.getCount(); ++i) {
    embers.push_back(pFlipBook->mp_daFrames[i].mp_pImage->mp_pAtlasTexInfo);
  }
  i32 iFirstShift = -1;
  i64 iFrame = 0;
  std::string error;
  CAnimLooks looks(static_cast<size_t>(gc_iANIM_WIDGETS * gc_iEMBER_FRAMES));
  for (auto _ : state) {
    timedFrame(state, frame, iFrame);
    i32 iShift = 0;
    if (error.empty()) error = checkAnimQuads(writtenQuads(), embers, &looks, &iShift);
    if (iFirstShift < 0) iFirstShift = iShift;
    const i64 iMoved = (iShift - iFirstShift + gc_iEMBER_FRAMES) % gc_iEMBER_FRAMES;
    const i64 iWanted = (2 * iFrame + 3) / 10 % gc_iEMBER_FRAMES;
    if (error.empty() && iMoved != iWanted) {
      error = "frame " + std::to_string(iFrame) + " shows the embers moved on " + std::to_string(iMoved) +
              " (of six) from the first; the flip book's rate gives " + std::to_string(iWanted);
    }
    ++iFrame;
  }
  ClDynamicGeometry::unlockBuffers();
  if (!error.empty()) state.SkipWithError(error.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iANIM_WIDGETS);
}

void BM_Engine_AnimWidgets(benchmark::State& state) {
  SScreenSession<CAnimScreen> run;
  if (!run.loaded(state, "the screen of flip-book widgets")) return;
  const bool bRender = !benchSkips("AnimWidgets.engine.render");
  const bool bSort = !benchSkips("AnimWidgets.engine.sort");
  const CBenchEverySecond everySecond("AnimWidgets.engine");
  const CBenchCheat cheat("AnimWidgets.engine");
  const i64 iFrames = state.max_iterations;
  // One UI frame as the game runs it: the game thread's update and render queue the sprites (each widget's render
  // procedure advances its animation); the worker's 2D steps sort them and write the UI layers into dynamic
  // geometry, then empty the queue.
  runAnimFrames(state, [&](i64 iFrame) {
    if (!cheat.repeats(iFrame)) {
      ClUI::update();
      if (bRender && !everySecond.leavesOut(iFrame)) ClUI::render();
      if (cheat.partial() && Cl2d::mp_spriteQueue.mp_uCount > 0) --Cl2d::mp_spriteQueue.mp_uCount;
      if (cheat.changes(iFrame, iFrames)) Cl2d::mp_spriteQueue.mp_auiColor[0] ^= 0x00800000u;
      if (bSort) Cl2d::sortSprites();
    }
    Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 2600, 2800, 0.0f);
    // A frame that gives this one's quads again finds them in the queue.
    if (!cheat.repeats(iFrame + 1)) Cl2d::clearSprites();
  });
  Cl2d::clearSprites();
}
BENCHMARK(BM_Engine_AnimWidgets)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_AnimWidgets(benchmark::State& state) {
  SScreenSession<CAnimScreen> run;
  if (!run.loaded(state, "the screen of flip-book widgets")) return;
  // The same objects' state and placement, kept outside the UI.
  struct SAnim {
    ClTexAnimObj obj;
    SLayoutPlacement at;
    u16 uiLayer;
  };
  std::vector<SAnim> anims(gc_iANIM_WIDGETS);
  ClFlipBook* pFlipBook = ClFlipBookMgr::getFlipBook("DragonEmber");
  for (i32 i = 0; i < gc_iANIM_WIDGETS; ++i) {
    const ClWidget* pWidget = ClUI::getWidgetFormatted("Anim%d", i);
    anims[static_cast<size_t>(i)].obj.playFlipBook(pFlipBook, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    anims[static_cast<size_t>(i)].obj.mp_curAnimators.mp_flipBookAnimator =
        getWidgetAnimObj(pWidget)->mp_curAnimators.mp_flipBookAnimator;
    anims[static_cast<size_t>(i)].at = KvLayoutPlacement(pWidget->getLayout("widgetLayout"));
    anims[static_cast<size_t>(i)].uiLayer = static_cast<u16>(pWidget->getInt("imageLayer"));
  }
  const u32 uiShader = KvStrHash("system_blend_premult");
  const u32 uiCanvas = KvStrHash("FULL");
  const bool bAdvance = !benchSkips("AnimWidgets.baseline.advance");
  const bool bMiddleAdvance = !benchSkips("AnimWidgets.baseline.oneupdate");
  const bool bSort = !benchSkips("AnimWidgets.baseline.sort");
  const CBenchEverySecond everySecond("AnimWidgets.baseline");
  const CBenchCheat cheat("AnimWidgets.baseline");
  const i64 iFrames = state.max_iterations;
  const size_t uiDrawn = anims.size() - (cheat.partial() ? 1 : 0);
  runAnimFrames(state, [&](i64 iFrame) {
    const bool bAdvanceNow = bAdvance && !everySecond.leavesOut(iFrame) && !cheat.repeats(iFrame) &&
                             (bMiddleAdvance || iFrame != iFrames / 2);
    const u32 uiChanged = cheat.changes(iFrame, iFrames) ? 0xFF7FFFFFu : 0xFFFFFFFFu;
    for (size_t i = 0; i < anims.size(); ++i) {
      SAnim& anim = anims[i];
      if (bAdvanceNow) anim.obj.update(static_cast<i32>(gc_uiCLOCK_GAMEPLAY));
      if (i >= uiDrawn) continue;
      ClUI::renderAtlasEntryData(anim.obj.getCurFrame()->mp_pImage, uiShader, i == 0 ? uiChanged : 0xFFFFFFFFu,
                                 uiCanvas, anim.uiLayer, anim.at.mp_fX, anim.at.mp_fY, anim.at.mp_uiScreenFlags,
                                 anim.at.mp_uiAnchorFlags, 1.0f);
    }
    if (bSort) Cl2d::sortSprites();
    Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 2600, 2800, 0.0f);
    Cl2d::clearSprites();
  });
}
BENCHMARK(BM_Baseline_AnimWidgets)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

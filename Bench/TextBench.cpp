// Text through the engine against plain alternatives. Headless (SDL offscreen, Mesa llvmpipe).
//   ParagraphLayout: a 2,000-word paragraph laid out with the sample family "FontAcknowledge" (16 points at the
//     design height) wrapped at 600 pixels and its glyphs queued into the 2D sprite queue, then the package freed
//     and the queue emptied (the queue holds 3,072 sprites a frame: the glyphs past that are looked up and placed
//     but dropped, as in the game); against the least a layout can do: a loop over FreeType's advances and kerning
//     of the same characters in the font the family was built from (DejaVu Sans, unhinted, no rasterising) with
//     the same greedy wrapping by words. Calling-thread time. Each side checks, untimed, its last iteration: the
//     engine's package must hold the paragraph's 2,000 words in order in lines no wider than the wrap (a line of one
//     word excepted), the queue the glyphs it takes, and after the run the queue must be empty and the heap hold no
//     more blocks than before; the plain loop's line widths must be the ones the same wrapping gives with the
//     advances FreeType loads with each glyph. Every iteration folds its lines (widths, and the engine's token
//     counts and glyphs queued) into a witness in the loop, which must be that of the checked work.
//     Each iteration wraps at a width of its own (one of eight in turn), so that a witness given again shows.
//     GRINDLOW_BENCH_SKIP "ParagraphLayout.engine.queue" leaves out queuing the glyphs, ".engine.free" freeing the
//     package, ".engine.clear" emptying the queue, "ParagraphLayout.baseline.kerning" the kerning,
//     ".<side>.everysecond" the queuing (the kerning) in every second iteration, and the steps of CBenchCheat lay out
//     the text without its last word, give the previous witness every third iteration or the first wrap's record
//     without laying out, or change the first letter in the middle iteration.
//   GlyphFrames: 10,000 glyphs drawn as five presented frames of 2,000 (one frame of dynamic geometry holds at most
//     9,999 elements): the game thread queues a laid-out text's glyph sprites, the render worker sorts the queue,
//     writes it into dynamic geometry, draws and presents; against SDL2's renderer drawing the same 2,000 glyphs as
//     2,000 quads: SDL2_ttf renders each character of the text once into a glyph atlas and lays the text out (its
//     advances and kerning, wrapped by words at the window's width) untimed, as the engine's layout is; each frame
//     writes the glyphs' quads into one vertex array and draws it with one SDL_RenderGeometry call, then presents.
//     Each frame is finished before the next (an event query on the engine's side, the reads below on SDL's). Both
//     sides draw one untimed round of five frames first. Every frame's text is red, green or blue in turn, and both
//     sides read eight pixels of it before its swap (the engine's through the device's probes at Present), moved
//     frame by frame over the pixels the text lit in the untimed round's first frame (CGlyphProbes): each frame's
//     must show its colour lit and no other. A glyph changed in one frame alone is seen only where a probe falls. The
//     plain side checks that every frame drew all 2,000 glyphs, and after the timed frames reads its frame back:
//     every glyph with ink inside the window (the text runs past its foot; at least half of the glyphs, the counter
//     glyphs_seen) must have left lit pixels in its own box. The engine's side checks the same of a frame drawn after
//     the timed ones, read back on the render worker with the boxes of the sprites it drew. "GlyphFrames.engine.queue"
//     leaves out queuing the glyphs, "GlyphFrames.<side>.draw" the draw, ".<side>.everysecond" that of every second
//     frame, ".<side>.partial" scissors the draw to the top-left 200 x 200 pixels and ".<side>.repeat" draws every
//     third frame in the previous one's colour.
#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchConditionEnding.h"
#include "Bench/BenchSkip.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Tests/Support/GraphicsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

constexpr i32 gc_iWORDS = 2000;
constexpr f32 gc_fWRAP = 600.0f;
constexpr i32 gc_iWIDTH = 640;
constexpr i32 gc_iHEIGHT = 480;
constexpr i32 gc_iGLYPHS_PER_FRAME = 2000;
constexpr i32 gc_iGLYPH_FRAMES = 5;
constexpr u32 gc_uiPOINTS = 16;
constexpr const char* gc_pTTF = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A paragraph of words from a fixed list, picked by a fixed sequence.
std::u16string paragraph(i32 iWords) {
  static const char16_t* s_apWords[] = {u"grind",  u"low",   u"lane",   u"wave",  u"boss",  u"the",   u"of",
                                        u"crate", u"spark", u"menu",   u"score", u"level", u"stage", u"Quit",
                                        u"Play",  u"music", u"effect", u"Wo",    u"AV",    u"To",    u"keep"};
  std::u16string text;
  u32 uiState = 12345u;
  for (i32 i = 0; i < iWords; ++i) {
    uiState = uiState * 1664525u + 1013904223u;
    if (i > 0) text += u' ';
    text += s_apWords[(uiState >> 16) % std::size(s_apWords)];
  }
  return text;
}

// The characters of a text that draw a glyph (not blanks).
i32 visibleCharacters(const std::u16string& text) {
  i32 iCount = 0;
  for (char16_t c : text) iCount += c != u' ' ? 1 : 0;
  return iCount;
}

// Where a drawn glyph lies in the window, in pixels.
struct SGlyphBox {
  int iX, iY, iWidth, iHeight;
};

// Empty when every glyph inside the window (iWidth x iHeight words 0xAARRGGBB, row 0 the top; at least half of
// them) lit a pixel of its box; else how many did not. pfSeen: the glyphs inside the window.
std::string unlitGlyphs(const std::vector<SGlyphBox>& boxes, const u32* pPixels, int iWidth, int iHeight,
                        double* pfSeen) {
  size_t uiUnlit = 0;
  size_t uiSeen = 0;
  for (const SGlyphBox& box : boxes) {
    if (box.iX < 0 || box.iY < 0 || box.iX + box.iWidth > iWidth || box.iY + box.iHeight > iHeight) continue;
    bool bLit = false;
    for (int y = box.iY; y < box.iY + box.iHeight && !bLit; ++y) {
      for (int x = box.iX; x < box.iX + box.iWidth && !bLit; ++x) {
        const u32 uiPixel = pPixels[static_cast<size_t>(y) * static_cast<size_t>(iWidth) + static_cast<size_t>(x)];
        bLit = (uiPixel & 0xFFu) > 64 || (uiPixel >> 8 & 0xFFu) > 64 || (uiPixel >> 16 & 0xFFu) > 64;
      }
    }
    ++uiSeen;
    uiUnlit += bLit ? 0 : 1;
  }
  *pfSeen = static_cast<double>(uiSeen);
  if (uiUnlit == 0 && uiSeen * 2 >= boxes.size() && !boxes.empty()) return std::string();
  return std::to_string(uiUnlit) + " of the " + std::to_string(uiSeen) + " glyphs inside the window (of " +
         std::to_string(boxes.size()) + ") left no lit pixel in their boxes";
}

// Every frame's text is red, green or blue in turn, so that a frame not drawn again, or showing an older frame's
// picture, shows another colour. Each side reads eight pixels of every frame before its swap (the engine's through
// the device's probes at Present), chosen among the pixels its text lit in an untimed frame read back whole before
// the timed ones (CGlyphProbes): eight bands of them in reading order, each probe moved by a step prime to their
// count frame by frame, so that over a run they go over all the text in the window. After the run each frame's
// must show its colour lit and no other.
u32 glyphColor(i64 iFrame) { return 0xFF000000u | 0xFFu << (8 * (2 - iFrame % 3)); }
constexpr size_t gc_uiGLYPH_PROBES = 8;

class CGlyphProbes {
 public:
  // From a frame read back whole (0xAARRGGBB, row 0 the top, iWidth a row): its pixels lit above 160.
  CGlyphProbes(const DWORD* pPixels, int iWidth, int iHeight) {
    for (int y = 0; y < iHeight; ++y) {
      for (int x = 0; x < iWidth; ++x) {
        const DWORD uiPixel = pPixels[static_cast<size_t>(y) * static_cast<size_t>(iWidth) + static_cast<size_t>(x)];
        if ((uiPixel & 0xFFu) > 160 || (uiPixel >> 8 & 0xFFu) > 160 || (uiPixel >> 16 & 0xFFu) > 160) {
          m_lit.push_back({static_cast<LONG>(x), static_cast<LONG>(y)});
        }
      }
    }
    m_uiStep = m_lit.size() / (gc_uiGLYPH_PROBES * 13) + 1;
    while (!m_lit.empty() && std::gcd(m_uiStep, m_lit.size()) != 1) ++m_uiStep;
  }
  // Whether the text lit enough pixels to probe (a frame that drew nothing lit none).
  bool ready() const { return m_lit.size() >= gc_uiGLYPH_PROBES * 16; }
  // Frame iFrame's points.
  std::vector<POINT> at(i64 iFrame) const {
    std::vector<POINT> points;
    const size_t uiBand = m_lit.size() / gc_uiGLYPH_PROBES;
    for (size_t j = 0; j < gc_uiGLYPH_PROBES; ++j) {
      points.push_back(m_lit[(j * uiBand + static_cast<size_t>(iFrame) * m_uiStep) % m_lit.size()]);
    }
    return points;
  }
  // An empty answer when frame iFrame's probes (0xAARRGGBB, at(iFrame)'s order) show its colour lit (above 64) and
  // no other channel above 16.
  std::string check(i64 iFrame, const u32* puiProbed) const {
    const u32 uiColor = glyphColor(iFrame) & 0xFFFFFFu;
    const std::vector<POINT> points = at(iFrame);
    for (size_t i = 0; i < gc_uiGLYPH_PROBES; ++i) {
      for (int iShift : {0, 8, 16}) {
        const u32 uiLevel = puiProbed[i] >> iShift & 0xFFu;
        const bool bOwn = (uiColor >> iShift & 0xFFu) != 0;
        if (bOwn ? uiLevel <= 64 : uiLevel > 16) {
          return "the text's pixel (" + std::to_string(points[i].x) + ", " + std::to_string(points[i].y) +
                 ") is not lit in the frame's colour alone";
        }
      }
    }
    return std::string();
  }

 private:
  std::vector<POINT> m_lit;
  size_t m_uiStep = 1;
};

// The render worker's frame: the 2D queue sorted, written into dynamic geometry, drawn, presented, waited for and
// emptied.
class CTextHooks : public CTestGraphicsHooks {
 public:
  ~CTextHooks() override { releaseQuery(); }
  void renderFrame() override {
    IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
    if (Cl2d::getNumSprites() == gc_iGLYPHS_PER_FRAME) m_iFullFrames.fetch_add(1);
    Cl2d::sortSprites();
    Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 0, gc_u2D_MAX_LAYER, 0.0f);
    ClDynamicGeometry::buildBatch(9, gc_uiDYNGEO_FLAG_UI);
    ClDynamicGeometry::unlockBuffers();
    pDevice->BeginScene();
    pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    Cl2d::pushProjection();
    if (m_bPartial) {
      const RECT corner = {0, 0, 200, 200};
      pDevice->SetScissorRect(&corner);
      pDevice->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    }
    if (m_bDraw) ClDynamicGeometry::drawBatch(9);
    if (m_bPartial) pDevice->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    Cl2d::popProjection();
    pDevice->EndScene();
    if (m_bCapture.load() && !m_bCaptured.load()) capture(pDevice);
    ClGraphics::setLastPresentResult(pDevice->Present(nullptr, nullptr, nullptr, nullptr));
    if (mp_pQuery == nullptr) pDevice->CreateQuery(D3DQUERYTYPE_EVENT, &mp_pQuery);
    mp_pQuery->Issue(D3DISSUE_END);
    while (mp_pQuery->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE) {
    }
    Cl2d::clearSprites();
  }
  void releaseQuery() {
    if (mp_pQuery != nullptr) mp_pQuery->Release();
    mp_pQuery = nullptr;
  }
  // Frames that drew every glyph of the text.
  std::atomic<i32> m_iFullFrames{0};
  // False leaves the draw out ("GlyphFrames.engine.draw"); true scissors it to the top-left 200 x 200 pixels
  // ("GlyphFrames.engine.partial").
  bool m_bDraw = true;
  bool m_bPartial = false;
  // Set, the next frame reads its picture back with the boxes of the sprites it drew, and sets m_bCaptured.
  std::atomic<bool> m_bCapture{false};
  std::atomic<bool> m_bCaptured{false};
  std::vector<SGlyphBox> m_boxes;
  std::vector<DWORD> m_pixels;
  UINT m_uiWidth = 0;
  UINT m_uiHeight = 0;

 private:
  void capture(IDirect3DDevice9* pDevice) {
    const S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
    for (i32 i = 0; i < Cl2d::getNumSprites(); ++i) {
      m_boxes.push_back({static_cast<int>(std::lround(q.mp_afX[i])), static_cast<int>(std::lround(q.mp_afY[i])),
                         static_cast<int>(q.mp_afWidth[i]), static_cast<int>(q.mp_afHeight[i])});
    }
    m_pixels = D3D9TestReadBackBuffer(pDevice, &m_uiWidth, &m_uiHeight);
    m_bCaptured.store(true);
  }

  IDirect3DQuery9* mp_pQuery = nullptr;
};

// Graphics on a data root of its own holding the sample font families and the premultiplied-blend effect, with the
// 2D canvases and "FontAcknowledge" loaded for the design height.
class CTextSession {
 public:
  explicit CTextSession(ClTestGraphicsHooks* pHooks) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    m_root = std::filesystem::temp_directory_path() / ("grindlow_bench_text_" + std::to_string(getpid()));
    std::filesystem::create_directories(m_root / "Shaders");
    std::filesystem::copy(KV_CONTENT_FONTS_DIR, m_root, std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(std::string(KV_CONTENT_EFFECTS_DIR) + "/system_blend_premult.fxo",
                               m_root / "Shaders/system_blend_premult.fxo");
    m_savedCwd = std::filesystem::current_path();
    std::filesystem::current_path(m_root);
    KvTestStartFileIO();
    KvTestPrepareGraphics(pHooks, "", false, gc_iWIDTH, gc_iHEIGHT);
    ClGraphics::initialize();
    KvTestStartShadersAndSignatures();
    ClTextureMgr::initObjectList();
    ClDynamicGeometry::platformInitialize(1);
    ClShaderMgr::createShader("system_blend_premult");
    ClShaderMgr::mp_bAllShadersLoaded = 1;
    Cl2d::initialise();
    ClFontFamilyMgr::initialiseFamilyPool();
    ClFontFamilyMgr::initialiseFontPool();
    ClFontFamilyMgr::loadFontFamilyForHeight("FontAcknowledge", nullptr, 216);
    mp_pFont = ClFontFamilyMgr::getFont(KvStrHash("FontAcknowledge"), gc_uiPOINTS, 216, nullptr);
  }
  ~CTextSession() {
    ClGraphics::endSignature();
    ClFontFamilyMgr::terminate();
    Cl2d::clearSprites();
    Cl2d::terminate();
    ClDynamicGeometry::platformTerminate();
    ClTextureMgr::terminate();
    KvTestStopShadersAndSignatures();
    KvTestStopGraphics();
    KvTestStopFileIO();
    std::filesystem::current_path(m_savedCwd);
    std::filesystem::remove_all(m_root);
  }

  // Queues the package's glyphs in the colour (white unless told), at the top left of "FULL".
  static void queue(const STextPackage& crPackage, u32 uiColor = 0xFFFFFFFFu) {
    const f32 afNoShadow[2] = {0.0f, 0.0f};
    ClFont::drawText(crPackage, KvStrHash("system_blend_premult"), 0, KvStrHash("FULL"), 2700,
                     gc_ui2D_ALIGN_TOP_LEFT, 0.0f, 0.0f, gc_ui2D_ALIGN_TOP_LEFT, gc_uiTEXT_ALIGN_LEFT, &uiColor, nullptr,
                     afNoShadow, 0);
  }

  ClFontEntry* mp_pFont = nullptr;

 private:
  std::filesystem::path m_root;
  std::filesystem::path m_savedCwd;
};

// Empty when the package holds the text's words in order, each line no wider than fWrap unless it is one word;
// else what is wrong.
std::string checkPackage(const STextPackage& crPackage, const std::u16string& text, f32 fWrap) {
  std::u16string words;
  for (i32 l = 0; l < crPackage.mp_daLines.getCount(); ++l) {
    const STextLine& line = crPackage.mp_daLines[l];
    i32 iWords = 0;
    for (i32 t = 0; t < line.mp_daTokens.getCount(); ++t) {
      const STextToken& token = *line.mp_daTokens[t];
      if (token.mp_eKind != E_TEXT_TOKEN_WORD) continue;
      ++iWords;
      if (!words.empty()) words += u' ';
      words.append(reinterpret_cast<const char16_t*>(token.mp_pFirst), static_cast<size_t>(token.mp_iCount));
    }
    if (line.mp_fWidth > fWrap && iWords > 1) return "line " + std::to_string(l) + " is wider than the wrap";
  }
  return words == text ? std::string() : "the package's words are not the paragraph's";
}

// An iteration's witness, cheap enough for the timed loop: the package's lines (each one's width and token count)
// and the glyphs queued.
u64 layoutWitness(const STextPackage& crPackage) {
  u64 uiHash = static_cast<u64>(Cl2d::getNumSprites());
  for (i32 l = 0; l < crPackage.mp_daLines.getCount(); ++l) {
    const STextLine& line = crPackage.mp_daLines[l];
    uiHash = benchFold(uiHash, line.mp_fWidth, line.mp_daTokens.getCount());
  }
  return uiHash;
}

// Each iteration of ParagraphLayout wraps at a width of its own, one of eight in turn, so that an iteration that
// gives another's lines shows. The text a side's steps of CBenchCheat lay out: without its last word ("partial"),
// or, in the middle iteration, with its first letter another ("middle").
constexpr i32 gc_iWRAPS = 8;
f32 wrapOf(i64 iIteration) { return gc_fWRAP - 8.0f * static_cast<f32>(iIteration % gc_iWRAPS); }
std::u16string withoutLastWord(const std::u16string& text) { return text.substr(0, text.rfind(u' ')); }
std::u16string firstLetterChanged(std::u16string text) {
  text[0] = text[0] == u'W' ? u'i' : u'W';
  return text;
}

void BM_Engine_ParagraphLayout(benchmark::State& state) {
  CTestGraphicsHooks hooks;
  CTextSession session(&hooks);
  if (session.mp_pFont == nullptr) {
    state.SkipWithError("the sample font family did not load");
    return;
  }
  const std::u16string text = paragraph(gc_iWORDS);
  const CBenchCheat cheat("ParagraphLayout.engine");
  const std::u16string partial = withoutLastWord(text);
  const std::u16string changed = firstLetterChanged(text);
  const auto* puiText = reinterpret_cast<const wchar16*>((cheat.partial() ? partial : text).c_str());
  const auto* puiChanged = reinterpret_cast<const wchar16*>(changed.c_str());
  const bool bQueue = !benchSkips("ParagraphLayout.engine.queue");
  const bool bFree = !benchSkips("ParagraphLayout.engine.free");
  const bool bClear = !benchSkips("ParagraphLayout.engine.clear");
  const CBenchEverySecond everySecond("ParagraphLayout.engine");
  // What every iteration must leave at each wrap: laid out and queued untimed first, checked with the last
  // iteration's.
  std::vector<u64> wanted;
  for (i32 i = 0; i < gc_iWRAPS; ++i) {
    STextPackage* pFirst =
        ClFont::layoutText(session.mp_pFont, reinterpret_cast<const wchar16*>(text.c_str()), wrapOf(i));
    CTextSession::queue(*pFirst);
    wanted.push_back(layoutWitness(*pFirst));
    ClFont::freePackage(pFirst);
    Cl2d::clearSprites();
  }
  CBenchFrameRecord<u64> witnesses(state, 1);
  const i64 iBlocks = KvAllocLiveBlocks();
  CBenchLastIteration last(state);
  std::string problem;
  i64 iIteration = 0;
  u64 uiWitness = 0;
  for (auto _ : state) {
    const i64 i = iIteration++;
    const bool bLast = last.next();
    if (cheat.replays() || cheat.repeats(i)) {
      witnesses.add(cheat.replays() ? wanted[0] : uiWitness);
      continue;
    }
    STextPackage* pPackage = ClFont::layoutText(
        session.mp_pFont, cheat.changes(i, state.max_iterations) ? puiChanged : puiText, wrapOf(i));
    if (bQueue && !everySecond.leavesOut(i)) CTextSession::queue(*pPackage);
    uiWitness = layoutWitness(*pPackage);
    witnesses.add(uiWitness);
    if (bLast) {
      state.PauseTiming();
      problem = checkPackage(*pPackage, text, wrapOf(i));
      if (problem.empty() && Cl2d::getNumSprites() != std::min(gc_i2D_MAX_SPRITES, visibleCharacters(text))) {
        problem = std::to_string(Cl2d::getNumSprites()) + " glyphs queued";
      }
      state.ResumeTiming();
    }
    if (bFree) ClFont::freePackage(pPackage);
    if (bClear) Cl2d::clearSprites();
  }
  const std::string witnessed = witnesses.check(state.iterations(), [&wanted](i64 i, const u64* puiWitness) {
    return *puiWitness == wanted[static_cast<size_t>(i % gc_iWRAPS)] ? std::string()
                                                                      : "other lines or glyphs than the paragraph's";
  });
  if (!witnessed.empty()) problem = witnessed;
  if (problem.empty() && Cl2d::getNumSprites() != 0) problem = "the queue was not emptied";
  if (problem.empty()) problem = benchHeapLeftOver(iBlocks);
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iWORDS);
}
BENCHMARK(BM_Engine_ParagraphLayout)->Unit(benchmark::kMicrosecond);

// Greedy wrapping by words at fWrap (16.16): a word that would pass the width starts a new line; the blank before it
// is dropped. advance(glyph) is a glyph's advance in 16.16; with bKerning the pair's kerning is added. The width of
// each line goes to pLines; answers the words placed.
template <typename FAdvance>
i32 wrapWords(FT_Face face, const std::u16string& text, FT_Fixed fWrap, bool bKerning, FAdvance advance,
              std::vector<FT_Fixed>* pLines) {
  FT_Fixed fLine = 0;
  FT_Fixed fWord = 0;
  FT_Fixed fBlank = 0;
  FT_UInt uiPrevious = 0;
  i32 iWords = 0;
  pLines->clear();
  const auto endWord = [&] {
    if (fWord == 0) return;
    if (fLine > 0 && fLine + fBlank + fWord > fWrap) {
      pLines->push_back(fLine);
      fLine = fWord;
    } else {
      fLine += fBlank + fWord;
    }
    ++iWords;
    fWord = 0;
    fBlank = 0;
  };
  for (char16_t c : text) {
    const FT_UInt uiGlyph = FT_Get_Char_Index(face, c);
    FT_Vector kerning{0, 0};
    if (bKerning && uiPrevious != 0) FT_Get_Kerning(face, uiPrevious, uiGlyph, FT_KERNING_UNFITTED, &kerning);
    const FT_Fixed fStep = advance(uiGlyph) + kerning.x * 1024;  // kerning in 26.6, advances in 16.16
    if (c == u' ') {
      endWord();
      fBlank += fStep;
    } else {
      fWord += fStep;
    }
    uiPrevious = uiGlyph;
  }
  endWord();
  pLines->push_back(fLine);
  return iWords;
}

void BM_Baseline_ParagraphLayout(benchmark::State& state) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, gc_pTTF, 0, &face) != 0 ||
      FT_Set_Pixel_Sizes(face, 0, gc_uiPOINTS) != 0) {
    state.SkipWithError("FreeType could not open the font");
    if (library != nullptr) FT_Done_FreeType(library);
    return;
  }
  const std::u16string text = paragraph(gc_iWORDS);
  const CBenchCheat cheat("ParagraphLayout.baseline");
  const std::u16string input = cheat.partial() ? withoutLastWord(text) : text;
  const std::u16string changed = firstLetterChanged(text);
  const auto wrap = [](i64 iIteration) { return static_cast<FT_Fixed>(wrapOf(iIteration) * 65536.0f); };
  // The widths the check wants at each wrap: the same wrapping with the advances FreeType loads with each unhinted
  // glyph.
  std::vector<std::vector<FT_Fixed>> wanted(gc_iWRAPS);
  for (i32 i = 0; i < gc_iWRAPS; ++i) {
    wrapWords(face, text, wrap(i), true, [face](FT_UInt uiGlyph) {
      return FT_Load_Glyph(face, uiGlyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 ? face->glyph->linearHoriAdvance
                                                                                      : FT_Fixed(0);
    }, &wanted[static_cast<size_t>(i)]);
  }
  const bool bKerning = !benchSkips("ParagraphLayout.baseline.kerning");
  const auto fastAdvance = [face](FT_UInt uiGlyph) {
    FT_Fixed fAdvance = 0;
    FT_Get_Advance(face, uiGlyph, FT_LOAD_NO_HINTING, &fAdvance);
    return fAdvance;
  };
  const CBenchEverySecond everySecond("ParagraphLayout.baseline");
  const auto witness = [](const std::vector<FT_Fixed>& widths, i32 iWords) {
    u64 uiHash = static_cast<u64>(iWords);
    for (FT_Fixed fWidth : widths) uiHash = benchFold(uiHash, static_cast<u32>(fWidth), static_cast<u32>(fWidth >> 32));
    return uiHash;
  };
  std::vector<u64> wantedWitness;
  for (const std::vector<FT_Fixed>& widths : wanted) wantedWitness.push_back(witness(widths, gc_iWORDS));
  CBenchFrameRecord<u64> witnesses(state, 1);
  std::vector<FT_Fixed> lines;
  lines.reserve(wanted[0].size() * 2);
  i32 iWords = 0;
  i64 iIteration = 0;
  i64 iMeasured = 0;  // the iteration that measured lines
  u64 uiWitness = 0;
  for (auto _ : state) {
    const i64 i = iIteration++;
    if (cheat.replays() || cheat.repeats(i)) {
      witnesses.add(cheat.replays() ? wantedWitness[0] : uiWitness);
      continue;
    }
    iWords = wrapWords(face, cheat.changes(i, state.max_iterations) ? changed : input, wrap(i),
                       bKerning && !everySecond.leavesOut(i), fastAdvance, &lines);
    iMeasured = i;
    uiWitness = witness(lines, iWords);
    witnesses.add(uiWitness);
  }
  const std::vector<FT_Fixed>& lastWanted = wanted[static_cast<size_t>(iMeasured % gc_iWRAPS)];
  const std::string problem = witnesses.check(state.iterations(), [&wantedWitness](i64 i, const u64* puiWitness) {
    return *puiWitness == wantedWitness[static_cast<size_t>(i % gc_iWRAPS)]
               ? std::string()
               : "other line widths than the advances loaded give";
  });
  if (!problem.empty()) {
    state.SkipWithError(problem.c_str());
  } else if (iWords != gc_iWORDS || lines != lastWanted) {
    state.SkipWithError(("the paragraph was measured into " + std::to_string(lines.size()) + " lines of " +
                         std::to_string(iWords) + " words, not the " + std::to_string(lastWanted.size()) +
                         " lines of the advances loaded")
                            .c_str());
  }
  state.SetItemsProcessed(state.iterations() * gc_iWORDS);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}
BENCHMARK(BM_Baseline_ParagraphLayout)->Unit(benchmark::kMicrosecond);

// About 2,000 visible glyphs of the paragraph, wrapped to the window.
std::u16string frameText() {
  std::u16string text = paragraph(gc_iWORDS);
  i32 iVisible = 0;
  size_t uEnd = 0;
  while (uEnd < text.size() && iVisible < gc_iGLYPHS_PER_FRAME) iVisible += text[uEnd++] != u' ' ? 1 : 0;
  return text.substr(0, uEnd);
}

void BM_Engine_GlyphFrames(benchmark::State& state) {
  CTextHooks hooks;
  CTextSession session(&hooks);
  if (session.mp_pFont == nullptr) {
    state.SkipWithError("the sample font family did not load");
    return;
  }
  const std::u16string text = frameText();
  STextPackage* pPackage =
      ClFont::layoutText(session.mp_pFont, reinterpret_cast<const wchar16*>(text.c_str()), gc_iWIDTH);
  const bool bQueue = !benchSkips("GlyphFrames.engine.queue");
  hooks.m_bDraw = !benchSkips("GlyphFrames.engine.draw");
  const CBenchEverySecond everySecond("GlyphFrames.engine");
  const CBenchCheat cheat("GlyphFrames.engine");
  i64 iFrames = 0;
  const CGlyphProbes* pProbes = nullptr;
  const auto drawFrames = [&] {
    for (i32 iFrame = 0; iFrame < gc_iGLYPH_FRAMES; ++iFrame, ++iFrames) {
      if (pProbes != nullptr) D3D9TestProbeAtPresent(ClGraphics::mp_pDevice, pProbes->at(iFrames));
      ClDynamicGeometry::beginFrame();
      const u32 uiColor = glyphColor(cheat.repeats(iFrames) ? iFrames - 1 : iFrames);
      if (bQueue && !everySecond.leavesOut(iFrames)) CTextSession::queue(*pPackage, uiColor);
      ClGraphics::endFrame();
    }
  };
  // Untimed: the software rasteriser compiles its shader variants on first use; the first frame is read back
  // whole for the probes.
  hooks.m_bCapture.store(true);
  drawFrames();
  const CGlyphProbes glyphProbes(hooks.m_pixels.data(), static_cast<int>(hooks.m_uiWidth),
                                 static_cast<int>(hooks.m_uiHeight));
  hooks.m_bCapture.store(false);
  hooks.m_bCaptured.store(false);
  hooks.m_boxes.clear();
  pProbes = glyphProbes.ready() ? &glyphProbes : nullptr;
  hooks.m_bPartial = cheat.partial();
  iFrames = 0;
  for (auto _ : state) drawFrames();
  // The hand-over waits for the worker's frame: every frame handed over has been drawn and probed.
  D3D9TestProbeAtPresent(ClGraphics::mp_pDevice, {});
  CBenchFrameRecord<u32> probes(state, gc_uiGLYPH_PROBES, gc_iGLYPH_FRAMES);
  for (DWORD uiPixel : D3D9TestTakeProbes(ClGraphics::mp_pDevice)) probes.add(uiPixel);
  const std::string probed =
      pProbes == nullptr
          ? "the untimed frame lit too few pixels to probe"
          : probes.check(iFrames, [&glyphProbes](i64 i, const u32* p) { return glyphProbes.check(i, p); });
  pProbes = nullptr;
  // The untimed round's frames too; the last frame handed over may still be drawing.
  const bool bAllFull = hooks.m_iFullFrames.load() + 1 >= (state.iterations() + 1) * gc_iGLYPH_FRAMES;
  // One frame more, read back on the worker; empty frames follow until it has been.
  hooks.m_bCapture.store(true);
  drawFrames();
  for (i32 i = 0; i < 10 && !hooks.m_bCaptured.load(); ++i) {
    ClDynamicGeometry::beginFrame();
    ClGraphics::endFrame();
  }
  double fSeen = 0.0;
  const std::string unlit =
      !hooks.m_bCaptured.load() || hooks.m_pixels.size() != static_cast<size_t>(hooks.m_uiWidth) * hooks.m_uiHeight
          ? "the frame could not be read back"
          : unlitGlyphs(hooks.m_boxes, reinterpret_cast<const u32*>(hooks.m_pixels.data()),
                        static_cast<int>(hooks.m_uiWidth), static_cast<int>(hooks.m_uiHeight), &fSeen);
  state.counters["glyphs_seen"] = fSeen;
  if (!probed.empty()) {
    state.SkipWithError(probed.c_str());
  } else if (!bAllFull) {
    state.SkipWithError("the frames did not draw every glyph");
  } else if (!unlit.empty()) {
    state.SkipWithError(unlit.c_str());
  }
  state.SetItemsProcessed(state.iterations() * gc_iGLYPHS_PER_FRAME * gc_iGLYPH_FRAMES);
  ClFont::freePackage(pPackage);
  hooks.releaseQuery();
}
BENCHMARK(BM_Engine_GlyphFrames)->UseRealTime()->Unit(benchmark::kMillisecond);

// The plain side's text: SDL2_ttf's glyphs of the text's characters in one atlas, and where each visible glyph of
// the text goes (its window box and atlas box), laid out with the font's advances and kerning and wrapped by words
// at iWrap pixels.
struct SPlainGlyphs {
  SDL_Surface* pAtlas = nullptr;
  std::vector<SDL_Rect> windowBoxes;
  std::vector<SDL_Rect> atlasBoxes;
  std::vector<bool> inked;  // the glyph's image has a pixel with coverage
  ~SPlainGlyphs() {
    if (pAtlas != nullptr) SDL_FreeSurface(pAtlas);
  }
  bool build(TTF_Font* pFont, const std::u16string& text, int iWrap) {
    constexpr int iATLAS = 512;
    pAtlas = SDL_CreateRGBSurfaceWithFormat(0, iATLAS, iATLAS, 32, SDL_PIXELFORMAT_ARGB8888);
    if (pAtlas == nullptr) return false;
    SDL_FillRect(pAtlas, nullptr, 0);
    std::map<char16_t, SDL_Rect> cells;
    std::map<char16_t, bool> cellInked;
    int iPenX = 0;
    int iPenY = 0;
    int iRow = 0;
    for (char16_t c : text) {
      if (c == u' ' || cells.count(c) != 0) continue;
      SDL_Surface* pGlyph = TTF_RenderGlyph32_Blended(pFont, c, SDL_Color{255, 255, 255, 255});
      if (pGlyph == nullptr) return false;
      if (iPenX + pGlyph->w > iATLAS) {
        iPenX = 0;
        iPenY += iRow;
        iRow = 0;
      }
      SDL_Rect cell{iPenX, iPenY, pGlyph->w, pGlyph->h};
      SDL_SetSurfaceBlendMode(pGlyph, SDL_BLENDMODE_NONE);
      SDL_BlitSurface(pGlyph, nullptr, pAtlas, &cell);
      SDL_FreeSurface(pGlyph);
      cell.w = std::min(cell.w, iATLAS - cell.x);
      cell.h = std::min(cell.h, iATLAS - cell.y);
      if (cell.w <= 0 || cell.h <= 0) return false;
      bool bInk = false;
      for (int y = cell.y; y < cell.y + cell.h && !bInk; ++y) {
        const auto* pRow = reinterpret_cast<const u32*>(static_cast<const u8*>(pAtlas->pixels) + y * pAtlas->pitch);
        for (int x = cell.x; x < cell.x + cell.w && !bInk; ++x) bInk = (pRow[x] >> 24) > 64;
      }
      cells[c] = cell;
      cellInked[c] = bInk;
      iPenX += cell.w + 1;
      iRow = std::max(iRow, cell.h + 1);
    }
    // Greedy wrapping: a word that would pass the width starts the next line.
    const int iLineSkip = TTF_FontLineSkip(pFont);
    const auto advance = [&](char16_t c) {
      int iAdvance = 0;
      TTF_GlyphMetrics32(pFont, c, nullptr, nullptr, nullptr, nullptr, &iAdvance);
      return iAdvance;
    };
    int x = 0;
    int y = 0;
    size_t uiStart = 0;
    while (uiStart < text.size()) {
      size_t uiEnd = text.find(u' ', uiStart);
      if (uiEnd == std::u16string::npos) uiEnd = text.size();
      int iWidth = 0;
      for (size_t i = uiStart; i < uiEnd; ++i) {
        iWidth += advance(text[i]) + (i > uiStart ? TTF_GetFontKerningSizeGlyphs32(pFont, text[i - 1], text[i]) : 0);
      }
      if (x > 0 && x + iWidth > iWrap) {
        x = 0;
        y += iLineSkip;
      }
      for (size_t i = uiStart; i < uiEnd; ++i) {
        if (i > uiStart) x += TTF_GetFontKerningSizeGlyphs32(pFont, text[i - 1], text[i]);
        const SDL_Rect& cell = cells[text[i]];
        windowBoxes.push_back(SDL_Rect{x, y, cell.w, cell.h});
        atlasBoxes.push_back(cell);
        inked.push_back(cellInked[text[i]]);
        x += advance(text[i]);
      }
      x += advance(u' ');
      uiStart = uiEnd + 1;
    }
    return true;
  }
};

void BM_Baseline_GlyphFrames(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  SDL_InitSubSystem(SDL_INIT_VIDEO);
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
  SDL_Window* pWindow = SDL_CreateWindow("bench", 0, 0, gc_iWIDTH, gc_iHEIGHT, SDL_WINDOW_OPENGL);
  SDL_Renderer* pRenderer = SDL_CreateRenderer(pWindow, -1, SDL_RENDERER_ACCELERATED);
  TTF_Font* pFont = TTF_Init() == 0 ? TTF_OpenFont(gc_pTTF, static_cast<int>(gc_uiPOINTS)) : nullptr;
  if (pRenderer == nullptr || pFont == nullptr) {
    state.SkipWithError(SDL_GetError());
    if (pRenderer != nullptr) SDL_DestroyRenderer(pRenderer);
    SDL_DestroyWindow(pWindow);
    return;
  }
  const std::u16string text = frameText();
  SPlainGlyphs glyphs;
  const bool bBuilt = glyphs.build(pFont, text, gc_iWIDTH);
  SDL_Texture* pTexture = bBuilt ? SDL_CreateTextureFromSurface(pRenderer, glyphs.pAtlas) : nullptr;
  if (pTexture == nullptr || glyphs.windowBoxes.size() != static_cast<size_t>(visibleCharacters(text))) {
    state.SkipWithError("SDL2_ttf did not render and lay out the text");
  } else {
    SDL_SetTextureBlendMode(pTexture, SDL_BLENDMODE_BLEND);
    const float fU = 1.0f / static_cast<float>(glyphs.pAtlas->w);
    const float fV = 1.0f / static_cast<float>(glyphs.pAtlas->h);
    std::vector<SDL_Vertex> vertices;
    std::vector<int> indices;
    i32 iDrawn = 0;
    const bool bDraw = !benchSkips("GlyphFrames.baseline.draw");
    const CBenchEverySecond everySecond("GlyphFrames.baseline");
    const CBenchCheat cheat("GlyphFrames.baseline");
    bool bPartial = false;
    CBenchFrameRecord<u32> probes(state, gc_uiGLYPH_PROBES, gc_iGLYPH_FRAMES);
    std::vector<u32> whole(static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT);
    std::optional<CGlyphProbes> glyphProbes;
    i64 iFrames = 0;
    bool bProbe = false;
    bool bCaptureFirst = false;
    const auto drawFrames = [&]() -> bool {
      for (i32 iFrame = 0; iFrame < gc_iGLYPH_FRAMES; ++iFrame, ++iFrames) {
        SDL_SetRenderDrawColor(pRenderer, 0, 0, 0, 255);
        SDL_RenderClear(pRenderer);
        vertices.clear();
        indices.clear();
        const u32 uiColor = glyphColor(cheat.repeats(iFrames) ? iFrames - 1 : iFrames);
        const SDL_Color color{static_cast<Uint8>(uiColor >> 16), static_cast<Uint8>(uiColor >> 8),
                              static_cast<Uint8>(uiColor), 255};
        for (size_t i = 0; i < glyphs.windowBoxes.size(); ++i) {
          const SDL_Rect& w = glyphs.windowBoxes[i];
          const SDL_Rect& a = glyphs.atlasBoxes[i];
          const int iFirst = static_cast<int>(vertices.size());
          for (int k = 0; k < 4; ++k) {
            const int dx = k & 1;
            const int dy = k >> 1;
            vertices.push_back(SDL_Vertex{SDL_FPoint{static_cast<float>(w.x + dx * w.w), static_cast<float>(w.y + dy * w.h)},
                                          color,
                                          SDL_FPoint{static_cast<float>(a.x + dx * a.w) * fU,
                                                     static_cast<float>(a.y + dy * a.h) * fV}});
          }
          for (int k : {0, 1, 2, 1, 3, 2}) indices.push_back(iFirst + k);
        }
        const SDL_Rect corner{0, 0, 200, 200};
        if (bPartial) SDL_RenderSetClipRect(pRenderer, &corner);
        if (bDraw && !everySecond.leavesOut(iFrames) &&
            SDL_RenderGeometry(pRenderer, pTexture, vertices.data(), static_cast<int>(vertices.size()),
                               indices.data(), static_cast<int>(indices.size())) != 0) {
          return false;
        }
        if (bPartial) SDL_RenderSetClipRect(pRenderer, nullptr);
        iDrawn = static_cast<i32>(indices.size() / 6);
        // The frame's probes, read before the swap; the reads also finish the frame's pixels before the next frame
        // starts, as the engine's side waits for its frame. The untimed round's first frame is read whole.
        if (bCaptureFirst && iFrame == 0) {
          if (SDL_RenderReadPixels(pRenderer, nullptr, SDL_PIXELFORMAT_ARGB8888, whole.data(), gc_iWIDTH * 4) != 0) {
            return false;
          }
          glyphProbes.emplace(whole.data(), gc_iWIDTH, gc_iHEIGHT);
        }
        for (const POINT& point : bProbe ? glyphProbes->at(iFrames) : std::vector<POINT>()) {
          const SDL_Rect pixel{static_cast<int>(point.x), static_cast<int>(point.y), 1, 1};
          u32 uiPixel = 0;
          if (SDL_RenderReadPixels(pRenderer, &pixel, SDL_PIXELFORMAT_ARGB8888, &uiPixel, 4) != 0) return false;
          probes.add(uiPixel);
        }
        SDL_RenderPresent(pRenderer);
        if (iDrawn != gc_iGLYPHS_PER_FRAME) return false;
      }
      return true;
    };
    bCaptureFirst = true;
    bool bDrawn = drawFrames();
    bCaptureFirst = false;
    const bool bProbes = glyphProbes.has_value() && glyphProbes->ready();
    iFrames = 0;
    bProbe = bProbes;
    bPartial = cheat.partial();
    for (auto _ : state) {
      if (!bDrawn) break;
      bDrawn = drawFrames();
    }
    bProbe = false;
    bPartial = false;
    const std::string probed =
        !bDrawn    ? std::string()
        : !bProbes ? "the untimed frame lit too few pixels to probe"
                   : probes.check(iFrames, [&glyphProbes](i64 i, const u32* p) { return glyphProbes->check(i, p); });
    // The last frame again, read back whole: every glyph with ink lit pixels in its box.
    std::vector<u32> frame(static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT);
    bDrawn = bDrawn && drawFrames() &&
             SDL_RenderReadPixels(pRenderer, nullptr, SDL_PIXELFORMAT_ARGB8888, frame.data(), gc_iWIDTH * 4) == 0;
    // Only the glyphs whose images have ink.
    std::vector<SGlyphBox> boxes;
    for (size_t i = 0; i < glyphs.windowBoxes.size(); ++i) {
      const SDL_Rect& box = glyphs.windowBoxes[i];
      if (glyphs.inked[i]) boxes.push_back({box.x, box.y, box.w, box.h});
    }
    double fSeen = 0.0;
    const std::string unlit = bDrawn ? unlitGlyphs(boxes, frame.data(), gc_iWIDTH, gc_iHEIGHT, &fSeen) : "";
    state.counters["glyphs_seen"] = fSeen;
    if (!bDrawn) {
      state.SkipWithError(iDrawn != gc_iGLYPHS_PER_FRAME ? "a frame did not draw every glyph" : SDL_GetError());
    } else if (!probed.empty()) {
      state.SkipWithError(probed.c_str());
    } else if (!unlit.empty()) {
      state.SkipWithError(unlit.c_str());
    }
    state.SetItemsProcessed(state.iterations() * gc_iGLYPHS_PER_FRAME * gc_iGLYPH_FRAMES);
  }
  if (pTexture != nullptr) SDL_DestroyTexture(pTexture);
  TTF_CloseFont(pFont);
  TTF_Quit();
  SDL_DestroyRenderer(pRenderer);
  SDL_DestroyWindow(pWindow);
}
BENCHMARK(BM_Baseline_GlyphFrames)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Textures, atlases and signatures against plain alternatives. Headless (SDL offscreen, Mesa llvmpipe), 320 x 240.
//   AtlasTextures: the sample atlases' pages loaded by name through the texture manager from an archive in memory,
//     against decoding the same PNG bytes with SDL2_image and uploading them to a texture directly (one level on
//     both sides; each iteration unloads again). Both read every iteration's textures back, untimed, and each texel
//     must be the PNG's as decoded once before the run; the engine's pages must be gone after every iteration's
//     unload. GRINDLOW_BENCH_SKIP "AtlasTextures.engine.unload" leaves out the unload,
//     "AtlasTextures.baseline.upload" the copy of the decoded rows into the texture, ".<side>.everysecond" that in
//     every second iteration; ".baseline.partial" copies the top half of the rows only, ".engine.partial" clears the
//     bottom half of each loaded page, ".<side>.middle" changes one texel of the first page in the middle iteration.
//     Every iteration loads the same pages: one that gave the previous iteration's textures again would pass.
//   AtlasLookup: 1,000 look-ups by image name in an atlas of 1,000 images (the engine hashes the atlas key and the
//     image name with the bit-exact name hash), against a std::unordered_map from name to record; AtlasLookupByHash
//     the same with the hashes known, against a std::unordered_map from hash to record. Both keep every answer, and
//     the last iteration's must each be the record of the image looked up; every iteration folds its answers into a
//     hash in the loop, which must be that of those records. "<case>.<side>.lookups" leaves out every second
//     look-up, ".everysecond" every second iteration's.
//   SignatureFrame: a frame of 1,000 quads in 20 signatures (sorted, as batches are) with setSignature's filtering,
//     against the same frame drawn with OpenGL directly (a context of its own, two programs, ten textures, one
//     vertex buffer) through a plain state cache that skips binding what is already bound; both read every frame
//     back and compare the pixel at every quad's centre, untimed, with its texture's colour (each texture one colour
//     of its own; every vertex white at half alpha and the frame cleared to a grey of its own, one of seven in turn,
//     so that a quad of the blending effect shows half its texture's colour over half the frame's grey), two levels
//     a channel at most. "SignatureFrame.engine.signatures" leaves out every signature after the first,
//     "SignatureFrame.baseline.textures" the plain cache's texture binds, ".baseline.programs" its program changes,
//     ".<side>.everysecond" every second frame's draws, ".<side>.partial" the last quad of every frame,
//     ".<side>.repeat" every third frame (its read-back is the previous frame's) and ".<side>.middle" draws the middle
//     frame's first quad with the blending effect instead of the copy.
#include <benchmark/benchmark.h>

#include <GL/glcorearb.h>
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchSkip.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Tests/Support/GraphicsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"
#include "Tools/atlasc/AtlasBuilder.h"

namespace {

constexpr const char* gc_apPAGES[] = {"TexturesUI/TexturesUI_0", "TexturesGame/TexturesGame_0"};

std::vector<u8> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Graphics, the file layer on a data root of its own with the archive BEN (the sample pages and the engine's
// effects, in memory), and the managers.
class CAssetsSession {
 public:
  CAssetsSession() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    m_root = std::filesystem::temp_directory_path() / ("grindlow_bench_assets_" + std::to_string(getpid()));
    std::filesystem::create_directories(m_root);
    m_savedCwd = std::filesystem::current_path();
    std::filesystem::current_path(m_root);
    KvTestStartFileIO();
    std::vector<SMagPackInput> entries;
    for (const char* pPage : gc_apPAGES) {
      // Archive paths use the engine's separator; the sample files lie in folders of the same names.
      std::string path = std::string(pPage) + ".png";
      std::string archivePath = path;
      std::replace(archivePath.begin(), archivePath.end(), '/', '\\');
      entries.push_back(packInput(archivePath, fileBytes(std::string(KV_CONTENT_IMAGES_DIR) + "/" + path)));
    }
    for (const char* pEffect : {"system_copy_nofiltering", "system_blend_premult"}) {
      entries.push_back(packInput(std::string("Shaders\\") + pEffect + ".fxo",
                                  fileBytes(std::string(KV_CONTENT_EFFECTS_DIR) + "/" + pEffect + ".fxo")));
    }
    std::vector<SMagPackedEntry> packed;
    std::string error;
    if (!MagWriteArchive(m_root.string(), "BEN", "", entries, &packed, &error)) {
      m_problem = "cannot write the archive: " + error;
    } else if (!ClMagFileIO::loadTOC("BEN") || !ClMagFileIO::loadDataFile(KvStrHash("BEN"))) {
      m_problem = "cannot load the archive BEN";
    }
    KvTestStartGraphics(&m_hooks);
    KvTestStartShadersAndSignatures();
    ClTextureMgr::initObjectList();
    ClAtlasMgr::initialize();
  }
  ~CAssetsSession() {
    ClGraphics::endSignature();
    ClAtlasMgr::terminate();
    ClTextureMgr::terminate();
    KvTestStopShadersAndSignatures();
    KvTestStopGraphics();
    KvTestStopFileIO();
    std::filesystem::current_path(m_savedCwd);
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }
  const std::filesystem::path& root() const { return m_root; }
  // Empty, or what went wrong setting the session up.
  const std::string& problem() const { return m_problem; }

 private:
  CTestGraphicsHooks m_hooks;
  std::string m_problem;
  std::filesystem::path m_root;
  std::filesystem::path m_savedCwd;
};

// The engine names textures with its own separator.
std::string engineName(const char* pPage) {
  std::string name = pPage;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

// PNG bytes decoded with SDL2_image into a surface of 0xAARRGGBB words (the caller frees it); null when they do not
// decode.
SDL_Surface* decodeArgb(const std::vector<u8>& bytes) {
  SDL_RWops* pRw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  SDL_Surface* pDecoded = IMG_LoadPNG_RW(pRw);
  SDL_RWclose(pRw);
  SDL_Surface* pSurface =
      pDecoded != nullptr ? SDL_ConvertSurfaceFormat(pDecoded, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
  if (pDecoded != nullptr) SDL_FreeSurface(pDecoded);
  return pSurface;
}

// The pages decoded as 0xAARRGGBB words, row 0 the top; empty for a page that does not decode.
std::vector<std::vector<u32>> decodedPages() {
  std::vector<std::vector<u32>> pages;
  for (const char* pPage : gc_apPAGES) {
    SDL_Surface* pSurface = decodeArgb(fileBytes(std::string(KV_CONTENT_IMAGES_DIR) + "/" + pPage + ".png"));
    pages.emplace_back();
    for (int y = 0; pSurface != nullptr && y < pSurface->h; ++y) {
      const u32* pRow = reinterpret_cast<const u32*>(static_cast<const u8*>(pSurface->pixels) + y * pSurface->pitch);
      pages.back().insert(pages.back().end(), pRow, pRow + pSurface->w);
    }
    if (pSurface != nullptr) SDL_FreeSurface(pSurface);
  }
  return pages;
}

// Empty when the texture's level 0 holds the page's texels; else what differs.
std::string checkPage(IDirect3DTexture9* pTexture, const std::vector<u32>& page, const char* pName) {
  UINT uiWidth = 0;
  UINT uiHeight = 0;
  const std::vector<DWORD> texels = pTexture != nullptr ? D3D9TestReadTexture(pTexture, 0, &uiWidth, &uiHeight)
                                                        : std::vector<DWORD>();
  if (page.empty() || texels.size() != page.size()) {
    return std::string("the texture of ") + pName + " has " + std::to_string(texels.size()) + " texels, the page " +
           std::to_string(page.size());
  }
  const auto differ = std::mismatch(texels.begin(), texels.end(), page.begin());
  return differ.first == texels.end()
             ? std::string()
             : std::string("the texture of ") + pName + " differs from the page at texel " +
                   std::to_string(differ.first - texels.begin());
}

// What a side's steps of CBenchCheat leave in a loaded page (level 0), standing for a load that did less than its
// work: its bottom half cleared ("partial"; the pages' last rows are empty padding, so a load that left out only
// the last row would leave what the page holds), or one texel in its middle changed ("middle"); false when the
// texture could not be locked.
bool spoilPage(IDirect3DTexture9* pTexture, bool bBottomHalf) {
  D3DSURFACE_DESC desc{};
  D3DLOCKED_RECT locked{};
  if (pTexture == nullptr || pTexture->GetLevelDesc(0, &desc) != D3D_OK ||
      pTexture->LockRect(0, &locked, nullptr, 0) != D3D_OK) {
    return false;
  }
  u8* pBits = static_cast<u8*>(locked.pBits);
  if (bBottomHalf) {
    for (UINT y = desc.Height / 2; y < desc.Height; ++y) {
      u8* pRow = pBits + static_cast<size_t>(y) * static_cast<size_t>(locked.Pitch);
      std::memset(pRow, 0, static_cast<size_t>(desc.Width) * 4);
    }
  } else {
    u8* pRow = pBits + static_cast<size_t>(desc.Height / 2) * static_cast<size_t>(locked.Pitch);
    reinterpret_cast<u32*>(pRow)[desc.Width / 2] ^= 0x00808080u;
  }
  pTexture->UnlockRect(0);
  return true;
}

void BM_Engine_AtlasTextures(benchmark::State& state) {
  CAssetsSession session;
  if (!session.problem().empty()) {
    state.SkipWithError(session.problem().c_str());
    return;
  }
  const std::vector<std::vector<u32>> pages = decodedPages();
  std::vector<std::string> names;
  for (const char* pPage : gc_apPAGES) names.push_back(engineName(pPage));
  const bool bUnload = !benchSkips("AtlasTextures.engine.unload");
  const CBenchEverySecond everySecond("AtlasTextures.engine");
  const CBenchCheat cheat("AtlasTextures.engine");
  std::string problem;
  i64 iIteration = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < names.size(); ++i) {
      ClTexture* pTexture = ClTextureMgr::loadTexture(names[i].c_str(), 1);
      if (pTexture == nullptr || pTexture->getD3DTexture() == nullptr) {
        state.SkipWithError(("no texture loaded for " + names[i]).c_str());
        return;
      }
      IDirect3DBaseTexture9* pBase = pTexture->getD3DTexture();
      IDirect3DTexture9* pPage =
          pBase->GetType() == D3DRTYPE_TEXTURE ? static_cast<IDirect3DTexture9*>(pBase) : nullptr;
      if ((cheat.partial() || (i == 0 && cheat.changes(iIteration, state.max_iterations))) &&
          !spoilPage(pPage, cheat.partial())) {
        state.SkipWithError(("the texture of " + names[i] + " could not be locked").c_str());
        return;
      }
      if (problem.empty()) {
        state.PauseTiming();
        problem = checkPage(pPage, pages[i], gc_apPAGES[i]);
        state.ResumeTiming();
      }
    }
    for (const std::string& name : names) {
      if (bUnload && !everySecond.leavesOut(iIteration)) ClTextureMgr::unloadTexture(name.c_str());
      // A page that stayed would be found by the next iteration's load instead of loaded again.
      if (problem.empty() && ClTextureMgr::findTexture(name.c_str()) != nullptr) {
        problem = name + " stayed loaded after iteration " + std::to_string(iIteration);
      }
    }
    ++iIteration;
  }
  for (const std::string& name : names) {
    if (problem.empty() && ClTextureMgr::findTexture(name.c_str()) != nullptr) problem = name + " stayed loaded";
  }
  if (!problem.empty()) state.SkipWithError(problem.c_str());
}
// On the process's CPU time (the benchmark's thread and any the driver uses): a shared machine's other processes
// moved the wall time of these few, long iterations by a fifth and more between runs.
BENCHMARK(BM_Engine_AtlasTextures)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_AtlasTextures(benchmark::State& state) {
  CAssetsSession session;
  const std::vector<std::vector<u32>> pages = decodedPages();
  std::vector<std::vector<u8>> files;
  for (const char* pPage : gc_apPAGES) {
    files.push_back(fileBytes(std::string(KV_CONTENT_IMAGES_DIR) + "/" + pPage + ".png"));
  }
  const bool bUpload = !benchSkips("AtlasTextures.baseline.upload");
  const CBenchEverySecond everySecond("AtlasTextures.baseline");
  const CBenchCheat cheat("AtlasTextures.baseline");
  std::vector<IDirect3DTexture9*> textures(files.size());
  std::string problem;
  i64 iIteration = 0;
  for (auto _ : state) {
    const bool bChanges = cheat.changes(iIteration, state.max_iterations);
    const bool bCopy = bUpload && !everySecond.leavesOut(iIteration++);
    for (size_t i = 0; i < files.size(); ++i) {
      SDL_Surface* pSurface = decodeArgb(files[i]);
      D3DLOCKED_RECT locked{};
      if (pSurface == nullptr ||
          ClGraphics::mp_pDevice->CreateTexture(static_cast<UINT>(pSurface->w), static_cast<UINT>(pSurface->h), 1, 0,
                                                D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &textures[i], nullptr) != D3D_OK ||
          textures[i]->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD) != D3D_OK) {
        state.SkipWithError((std::string("cannot decode or upload ") + gc_apPAGES[i] + ".png").c_str());
        return;
      }
      for (int y = 0; bCopy && y < (cheat.partial() ? pSurface->h / 2 : pSurface->h); ++y) {
        std::memcpy(static_cast<u8*>(locked.pBits) + y * locked.Pitch,
                    static_cast<const u8*>(pSurface->pixels) + y * pSurface->pitch, static_cast<size_t>(pSurface->w) * 4);
      }
      textures[i]->UnlockRect(0);
      if (i == 0 && bChanges) spoilPage(textures[i], false);
      SDL_FreeSurface(pSurface);
    }
    if (problem.empty()) {
      state.PauseTiming();
      for (size_t i = 0; i < textures.size() && problem.empty(); ++i) {
        problem = checkPage(textures[i], pages[i], gc_apPAGES[i]);
      }
      state.ResumeTiming();
    }
    for (IDirect3DTexture9* pTexture : textures) pTexture->Release();
  }
  if (!problem.empty()) state.SkipWithError(problem.c_str());
}
BENCHMARK(BM_Baseline_AtlasTextures)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

constexpr int gc_iLOOKUP_IMAGES = 1000;

std::vector<std::string> lookupNames() {
  std::vector<std::string> names;
  for (int i = 0; i < gc_iLOOKUP_IMAGES; ++i) names.push_back("Image" + std::to_string(i * 7919 % 100003) + "_216");
  return names;
}

// An atlas of 1,000 8 x 8 images on one page, written as loose files into the session's data root and loaded as
// "LookupAtlas".
void loadLookupAtlas(const CAssetsSession& session) {
  SAtlasPacked packed;
  SAtlasImage page;
  page.name = "Lookup_0";
  page.iWidth = 8;
  page.iHeight = 8;
  page.texels.assign(64, 0xFFFFFFFFu);
  packed.pages.push_back(page);
  for (const std::string& name : lookupNames()) {
    SAtlasPlacedImage placed;
    placed.name = name;
    placed.uiHash = KvStrHash(name.c_str());
    placed.iWidth = 8;
    placed.iHeight = 8;
    packed.placed.push_back(placed);
  }
  std::sort(packed.placed.begin(), packed.placed.end(), [](const SAtlasPlacedImage& a, const SAtlasPlacedImage& b) {
    return static_cast<i32>(a.uiHash) > static_cast<i32>(b.uiHash);
  });
  const std::vector<u8> table = AtlasWriteTable(packed, "Lookup");
  std::ofstream((session.root() / "Lookup.atf").string(), std::ios::binary)
      .write(reinterpret_cast<const char*>(table.data()), static_cast<std::streamsize>(table.size()));
  std::string error;
  AtlasWriteImage((session.root() / "Lookup_0.png").string(), page, &error);
  ClAtlasMgr::actualLoadAtlasSync("Lookup", nullptr, "LookupAtlas");
}

// Where iteration iIteration starts its look-ups: each iteration goes through the keys from its own place on
// (wrapping round), so that every iteration's answers come in an order of their own.
size_t lookupStart(i64 iIteration, size_t uiKeys) { return static_cast<size_t>(iIteration + 1) * 389u % uiKeys; }

// Looks every key up in each iteration (find: the record found, or null), from the iteration's own start on
// (lookupStart), every second one only when pCase's side leaves its look-ups out, and folds the answers in that
// order into the iteration's witness in the loop; the last iteration's answers must each be the record of the image
// looked up, and every iteration's witness that of those answers in its order. "<side>.everysecond" leaves out every
// second iteration's look-ups; the steps of CBenchCheat leave out the last look-up ("partial"), give the previous
// iteration's answers in every third ("repeat"), the answers of a run of the look-ups made before the loop in the
// first iteration's order ("replay"), or another record for one look-up of the middle iteration ("middle").
template <typename TKey, typename FFind>
void runLookups(benchmark::State& state, const std::string& side, const std::vector<TKey>& keys, FFind find) {
  const size_t uiStride = benchSkips(side + ".lookups") ? 2 : 1;
  const CBenchEverySecond everySecond(side);
  const CBenchCheat cheat(side);
  const auto fold = [](u64 uiHash, const SAtlasEntry* pFound) {
    const auto uiBits = reinterpret_cast<std::uintptr_t>(pFound);
    return benchFold(uiHash, static_cast<u32>(uiBits), static_cast<u32>(static_cast<u64>(uiBits) >> 32));
  };
  const size_t uiKeys = keys.size();
  std::vector<const SAtlasEntry*> replayed;
  for (size_t i = 0, k = lookupStart(0, uiKeys); i < uiKeys; ++i, k = k + 1 == uiKeys ? 0 : k + 1) {
    replayed.push_back(find(keys[k]));
  }
  const size_t uiCount = uiKeys - (cheat.partial() ? 1 : 0);
  std::vector<const SAtlasEntry*> found(uiKeys, nullptr);
  CBenchFrameRecord<u64> witnesses(state, 1);
  i64 iIteration = 0;
  u64 uiWitness = 0;
  for (auto _ : state) {
    if (cheat.replays() || !cheat.repeats(iIteration)) uiWitness = 0;
    size_t k = lookupStart(iIteration, uiKeys);
    for (size_t i = 0; i < uiCount && !everySecond.leavesOut(iIteration) && !cheat.repeats(iIteration);
         i += uiStride) {
      found[k] = cheat.replays() ? replayed[i] : find(keys[k]);
      if (i == 0 && cheat.changes(iIteration, state.max_iterations)) {
        found[k] = found[k] == replayed[0] ? replayed[1] : replayed[0];
      }
      uiWitness = fold(uiWitness, found[k]);
      k += uiStride;
      if (k >= uiKeys) k -= uiKeys;
    }
    witnesses.add(uiWitness);
    ++iIteration;
  }
  const std::vector<std::string> names = lookupNames();
  for (size_t i = 0; i < found.size(); ++i) {
    if (found[i] == nullptr || found[i]->mp_pAtlasTexInfo->mp_uiNameHash != KvStrHash(names[i].c_str())) {
      const std::string problem =
          "the look-up of " + names[i] + (found[i] == nullptr ? " found nothing" : " found another image");
      state.SkipWithError(problem.c_str());
      return;
    }
  }
  const std::string problem = witnesses.check(state.iterations(), [&](i64 i, const u64* puiWitness) {
    u64 uiWanted = 0;
    for (size_t j = 0, k = lookupStart(i, uiKeys); j < uiKeys; ++j, k = k + 1 == uiKeys ? 0 : k + 1) {
      uiWanted = fold(uiWanted, found[k]);
    }
    return *puiWitness == uiWanted ? std::string() : "the look-ups did not answer every image's record in order";
  });
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  state.SetItemsProcessed(state.iterations() * gc_iLOOKUP_IMAGES);
}

void BM_Engine_AtlasLookup(benchmark::State& state) {
  CAssetsSession session;
  loadLookupAtlas(session);
  const std::vector<std::string> names = lookupNames();
  runLookups(state, "AtlasLookup.engine", names, [](const std::string& name) {
    return ClAtlasMgr::getAtlasEntry("LookupAtlas", KvStrHash(name.c_str()));
  });
}
BENCHMARK(BM_Engine_AtlasLookup)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_AtlasLookup(benchmark::State& state) {
  CAssetsSession session;
  loadLookupAtlas(session);
  std::unordered_map<std::string, const SAtlasEntry*> byName;
  const std::vector<std::string> names = lookupNames();
  for (const std::string& name : names) byName[name] = ClAtlasMgr::getAtlasEntry("LookupAtlas", KvStrHash(name.c_str()));
  runLookups(state, "AtlasLookup.baseline", names, [&byName](const std::string& name) {
    const auto found = byName.find(name);
    return found != byName.end() ? found->second : nullptr;
  });
}
BENCHMARK(BM_Baseline_AtlasLookup)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same with the hashes known beforehand, as callers that keep an image's hash look up: the engine's index
// against a std::unordered_map from hash to record.
void BM_Engine_AtlasLookupByHash(benchmark::State& state) {
  CAssetsSession session;
  loadLookupAtlas(session);
  std::vector<u32> hashes;
  for (const std::string& name : lookupNames()) hashes.push_back(KvStrHash(name.c_str()));
  const u32 uiAtlas = KvStrHash("LookupAtlas");
  runLookups(state, "AtlasLookupByHash.engine", hashes,
             [uiAtlas](u32 uiHash) { return ClAtlasMgr::getAtlasEntryByHash(uiAtlas, uiHash); });
}
BENCHMARK(BM_Engine_AtlasLookupByHash)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_AtlasLookupByHash(benchmark::State& state) {
  CAssetsSession session;
  loadLookupAtlas(session);
  std::unordered_map<u32, const SAtlasEntry*> byHash;
  std::vector<u32> hashes;
  for (const std::string& name : lookupNames()) {
    hashes.push_back(KvStrHash(name.c_str()));
    byHash[hashes.back()] = ClAtlasMgr::getAtlasEntry("LookupAtlas", hashes.back());
  }
  runLookups(state, "AtlasLookupByHash.baseline", hashes, [&byHash](u32 uiHash) {
    const auto found = byHash.find(uiHash);
    return found != byHash.end() ? found->second : nullptr;
  });
}
BENCHMARK(BM_Baseline_AtlasLookupByHash)->UseRealTime()->Unit(benchmark::kMicrosecond);

constexpr int gc_iFRAME_QUADS = 1000;
constexpr int gc_iFRAME_SIGNATURES = 20;

struct SQuadVertex {
  f32 x, y, z;
  f32 nx, ny, nz;
  u32 color;
  f32 u, v;
};

// 1,000 quads in 20 signatures (two textured engine effects x 10 textures), sorted by signature: quad i has
// signature i / 50, texture i / 100, the copy effect for an even signature and the premultiplied blend for an odd.
// Every vertex is white at half alpha, so the blend shows half of the texture over half of the frame's grey.
constexpr u32 gc_uiFRAME_VERTEX_COLOUR = 0x80FFFFFFu;

// Frame iFrame's grey, one of seven in turn: a frame not drawn again shows another frame's grey under its blends.
u32 frameClear(i64 iFrame) { return 0xFF000000u | (0x30u + 0x0Cu * static_cast<u32>(iFrame % 7)) * 0x010101u; }

// The signature frame's quads, both sides: an 8 x 8 quad per cell of a 40-wide grid, two triangles each.
std::vector<SQuadVertex> frameQuadVertices() {
  std::vector<SQuadVertex> vertices;
  constexpr u32 c = gc_uiFRAME_VERTEX_COLOUR;
  for (int i = 0; i < gc_iFRAME_QUADS; ++i) {
    const f32 x = static_cast<f32>(i % 40) * 8.0f;
    const f32 y = static_cast<f32>(i / 40) * 8.0f;
    const SQuadVertex quad[6] = {{x, y, 0, 0, 0, 1, c, 0, 0},         {x + 8, y, 0, 0, 0, 1, c, 1, 0},
                                 {x, y + 8, 0, 0, 0, 1, c, 0, 1},     {x + 8, y, 0, 0, 0, 1, c, 1, 0},
                                 {x + 8, y + 8, 0, 0, 0, 1, c, 1, 1}, {x, y + 8, 0, 0, 0, 1, c, 0, 1}};
    vertices.insert(vertices.end(), std::begin(quad), std::end(quad));
  }
  return vertices;
}

// Texture t's one colour (0xAARRGGBB, opaque), different in every channel from every other texture's.
u32 frameTextureColour(int iTexture) {
  const u32 uiRed = 40u + 20u * static_cast<u32>(iTexture);
  const u32 uiGreen = 220u - 18u * static_cast<u32>(iTexture);
  const u32 uiBlue = 30u + static_cast<u32>(iTexture * 97 % 200);
  return 0xFF000000u | uiRed << 16 | uiGreen << 8 | uiBlue;
}

// Empty when the pixel at every quad's centre (0xAARRGGBB words, iWidth a row, row 0 at the top unless bBottomUp)
// is its texture's colour (copied) or half of it over half of the grey uiClear (blended) within two levels a
// channel; else which quad is not.
std::string checkFrameQuads(const u32* pPixels, int iWidth, int iHeight, bool bBottomUp, u32 uiClear) {
  for (int i = 0; i < gc_iFRAME_QUADS; ++i) {
    const int x = i % 40 * 8 + 4;
    const int y = i / 40 * 8 + 4;
    const u32 uiPixel = pPixels[static_cast<size_t>(bBottomUp ? iHeight - 1 - y : y) * iWidth + x];
    const int iSignature = i * gc_iFRAME_SIGNATURES / gc_iFRAME_QUADS;
    const u32 uiTexel = frameTextureColour(iSignature / 2);
    for (int iShift : {0, 8, 16}) {
      const int iTexel = static_cast<int>(uiTexel >> iShift & 0xFFu);
      const int iGrey = static_cast<int>(uiClear >> iShift & 0xFFu);
      const int iWanted = iSignature % 2 == 0 ? iTexel : (iTexel + iGrey) / 2;
      const int iOff = static_cast<int>(uiPixel >> iShift & 0xFFu) - iWanted;
      if (iOff > 2 || iOff < -2) {
        return "quad " + std::to_string(i) + " is not its texture's colour " +
               (iSignature % 2 == 0 ? "copied" : "blended");
      }
    }
  }
  return std::string();
}

void BM_Engine_SignatureFrame(benchmark::State& state) {
  CAssetsSession session;
  ClShader* apShaders[2] = {ClShaderMgr::createShader("system_copy_nofiltering"),
                            ClShaderMgr::createShader("system_blend_premult")};
  if (!session.problem().empty() || apShaders[0] == nullptr || apShaders[1] == nullptr) {
    state.SkipWithError(("the effects did not load " + session.problem()).c_str());
    return;
  }
  std::vector<ClTexture*> textures;
  std::vector<const SRenderSignature*> signatures;
  for (int i = 0; i < gc_iFRAME_SIGNATURES / 2; ++i) {
    IDirect3DTexture9* pTexture = nullptr;
    ClGraphics::mp_pDevice->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pTexture, nullptr);
    D3DLOCKED_RECT locked{};
    if (pTexture == nullptr || pTexture->LockRect(0, &locked, nullptr, 0) != D3D_OK) {
      state.SkipWithError("a texture could not be filled");
      return;
    }
    for (int y = 0; y < 8; ++y) {
      u32* pRow = reinterpret_cast<u32*>(static_cast<u8*>(locked.pBits) + y * locked.Pitch);
      std::fill(pRow, pRow + 8, frameTextureColour(i));
    }
    pTexture->UnlockRect(0);
    ClTexture* pWrapped = new ClTexture();
    pWrapped->setD3DTexture(pTexture);
    for (ClShader* pShader : apShaders) {
      signatures.push_back(ClSignatureMgr::getSignature(pShader, ClSignatureMgr::getTexSet(pWrapped)));
      if (signatures.back() == nullptr) {
        state.SkipWithError("no signature");
        return;
      }
    }
    textures.push_back(pWrapped);
  }
  const std::vector<SQuadVertex> vertices = frameQuadVertices();
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  IDirect3DVertexBuffer9* pBuffer = nullptr;
  const UINT uiBytes = static_cast<UINT>(vertices.size() * sizeof(SQuadVertex));
  pDevice->CreateVertexBuffer(uiBytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &pBuffer, nullptr);
  void* pData = nullptr;
  pBuffer->Lock(0, 0, &pData, 0);
  std::memcpy(pData, vertices.data(), uiBytes);
  pBuffer->Unlock();
  ClGraphics::pushOrtho2D(320.0f, 240.0f);
  const bool bSignatures = !benchSkips("SignatureFrame.engine.signatures");
  const CBenchEverySecond everySecond("SignatureFrame.engine");
  const CBenchCheat cheat("SignatureFrame.engine");
  const int iQuads = gc_iFRAME_QUADS - (cheat.partial() ? 1 : 0);
  std::vector<DWORD> frame;
  UINT uiW = 0;
  UINT uiH = 0;
  const auto drawFrame = [&](i64 iFrame) -> const char* {
    if (cheat.repeats(iFrame)) return nullptr;
    pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, frameClear(iFrame), 1.0f, 0);
    pDevice->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    pDevice->SetStreamSource(0, pBuffer, 0, sizeof(SQuadVertex));
    for (int i = 0; i < iQuads && !everySecond.leavesOut(iFrame); ++i) {
      if (bSignatures || i == 0) {
        const bool bChanged = i == 0 && cheat.changes(iFrame, state.max_iterations);
        ClGraphics::setSignature(
            signatures[static_cast<size_t>(i * gc_iFRAME_SIGNATURES / gc_iFRAME_QUADS) + (bChanged ? 1 : 0)]);
      }
      if (pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, static_cast<UINT>(i) * 6, 2) != D3D_OK) {
        return "a quad was not drawn";
      }
    }
    ClGraphics::endSignature();
    // The frame reaches the GPU before the next one starts.
    frame = D3D9TestReadBackBuffer(pDevice, &uiW, &uiH);
    const bool bRead = frame.size() == static_cast<size_t>(uiW) * uiH && uiW >= 320 && uiH >= 200;
    return bRead ? nullptr : "the frame could not be read back";
  };
  // Once untimed: the software rasterizer compiles its shader variants on first use.
  const char* pProblem = drawFrame(0);
  std::string problem;
  i64 iFrame = 0;
  for (auto _ : state) {
    if (pProblem != nullptr) break;
    pProblem = drawFrame(iFrame);
    // Every frame's quads, untimed.
    state.PauseTiming();
    if (pProblem == nullptr && problem.empty()) {
      problem = checkFrameQuads(reinterpret_cast<const u32*>(frame.data()), static_cast<int>(uiW), static_cast<int>(uiH),
                                false, frameClear(iFrame));
      if (!problem.empty()) problem = "frame " + std::to_string(iFrame) + ": " + problem;
    }
    ++iFrame;
    state.ResumeTiming();
  }
  if (pProblem != nullptr) problem = pProblem;
  if (!problem.empty()) state.SkipWithError(problem.c_str());
  pDevice->SetStreamSource(0, nullptr, 0, 0);
  pBuffer->Release();
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
  for (ClTexture* pTexture : textures) delete pTexture;
}

BENCHMARK(BM_Engine_SignatureFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The OpenGL 3.3 core entry points the plain frame calls, through SDL_GL_GetProcAddress.
#define KV_BENCH_GL(X)                                                                                         \
  X(PFNGLGETERRORPROC, GetError) X(PFNGLCREATESHADERPROC, CreateShader) X(PFNGLSHADERSOURCEPROC, ShaderSource) \
  X(PFNGLCOMPILESHADERPROC, CompileShader) X(PFNGLGETSHADERIVPROC, GetShaderiv)                                \
  X(PFNGLCREATEPROGRAMPROC, CreateProgram) X(PFNGLATTACHSHADERPROC, AttachShader)                              \
  X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation) X(PFNGLLINKPROGRAMPROC, LinkProgram)                      \
  X(PFNGLGETPROGRAMIVPROC, GetProgramiv) X(PFNGLUSEPROGRAMPROC, UseProgram)                                    \
  X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation) X(PFNGLUNIFORM2FPROC, Uniform2f)                          \
  X(PFNGLUNIFORM1IPROC, Uniform1i) X(PFNGLDELETESHADERPROC, DeleteShader)                                      \
  X(PFNGLDELETEPROGRAMPROC, DeleteProgram) X(PFNGLGENTEXTURESPROC, GenTextures)                                \
  X(PFNGLBINDTEXTUREPROC, BindTexture) X(PFNGLTEXIMAGE2DPROC, TexImage2D) X(PFNGLTEXPARAMETERIPROC, TexParameteri) \
  X(PFNGLDELETETEXTURESPROC, DeleteTextures) X(PFNGLGENBUFFERSPROC, GenBuffers) X(PFNGLBINDBUFFERPROC, BindBuffer) \
  X(PFNGLBUFFERDATAPROC, BufferData) X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                  \
  X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays) X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                    \
  X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays) X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)      \
  X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray) X(PFNGLENABLEPROC, Enable)                      \
  X(PFNGLDISABLEPROC, Disable) X(PFNGLBLENDFUNCPROC, BlendFunc) X(PFNGLDRAWARRAYSPROC, DrawArrays)              \
  X(PFNGLVIEWPORTPROC, Viewport) X(PFNGLREADPIXELSPROC, ReadPixels) X(PFNGLPIXELSTOREIPROC, PixelStorei)          \
  X(PFNGLCLEARCOLORPROC, ClearColor) X(PFNGLCLEARPROC, Clear)

struct SPlainGL {
#define KV_BENCH_GL_MEMBER(type, name) type name = nullptr;
  KV_BENCH_GL(KV_BENCH_GL_MEMBER)
#undef KV_BENCH_GL_MEMBER
  bool load() {
    bool bAll = true;
#define KV_BENCH_GL_LOAD(type, name) \
  name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name)); \
  bAll = bAll && name != nullptr;
    KV_BENCH_GL(KV_BENCH_GL_LOAD)
#undef KV_BENCH_GL_LOAD
    return bAll;
  }
};

// One program of position, colour and texture coordinates in window pixels; bModulate multiplies the texel by the
// vertex colour premultiplied by its alpha (the premultiplied blend's effect), otherwise the texel is copied. 0 when
// it does not build.
GLuint plainProgram(const SPlainGL& gl, bool bModulate) {
  const char* pVertex =
      "#version 330 core\n"
      "in vec3 a_position; in vec4 a_color; in vec2 a_uv; uniform vec2 u_size; out vec4 v_color; out vec2 v_uv;\n"
      "void main() { gl_Position = vec4(a_position.x * 2.0 / u_size.x - 1.0, 1.0 - a_position.y * 2.0 / u_size.y,"
      " a_position.z, 1.0); v_color = a_color; v_uv = a_uv; }\n";
  const char* pFragment = bModulate ? "#version 330 core\n"
                                      "in vec4 v_color; in vec2 v_uv; uniform sampler2D u_texture; out vec4 o_color;\n"
                                      "void main() { o_color = texture(u_texture, v_uv) * vec4(v_color.rgb * v_color.a,"
                                      " v_color.a); }\n"
                                    : "#version 330 core\n"
                                      "in vec4 v_color; in vec2 v_uv; uniform sampler2D u_texture; out vec4 o_color;\n"
                                      "void main() { o_color = texture(u_texture, v_uv); }\n";
  const GLuint uiProgram = gl.CreateProgram();
  GLint iOk = 1;
  for (const auto& [eType, pSource] : {std::pair<GLenum, const char*>{GL_VERTEX_SHADER, pVertex},
                                       std::pair<GLenum, const char*>{GL_FRAGMENT_SHADER, pFragment}}) {
    const GLuint uiShader = gl.CreateShader(eType);
    gl.ShaderSource(uiShader, 1, &pSource, nullptr);
    gl.CompileShader(uiShader);
    GLint iCompiled = 0;
    gl.GetShaderiv(uiShader, GL_COMPILE_STATUS, &iCompiled);
    iOk = iOk && iCompiled;
    gl.AttachShader(uiProgram, uiShader);
    gl.DeleteShader(uiShader);
  }
  gl.BindAttribLocation(uiProgram, 0, "a_position");
  gl.BindAttribLocation(uiProgram, 1, "a_color");
  gl.BindAttribLocation(uiProgram, 2, "a_uv");
  gl.LinkProgram(uiProgram);
  GLint iLinked = 0;
  gl.GetProgramiv(uiProgram, GL_LINK_STATUS, &iLinked);
  if (!iOk || !iLinked) {
    gl.DeleteProgram(uiProgram);
    return 0;
  }
  gl.UseProgram(uiProgram);
  gl.Uniform2f(gl.GetUniformLocation(uiProgram, "u_size"), 320.0f, 240.0f);
  gl.Uniform1i(gl.GetUniformLocation(uiProgram, "u_texture"), 0);
  return uiProgram;
}

// What a draw needs bound; the cache binds only what differs from the last draw's.
struct SPlainState {
  GLuint uiProgram = 0;
  GLuint uiTexture = 0;
  bool bBlend = false;
};
struct SPlainStateCache {
  SPlainState current;
  bool bKnown = false;
  void apply(const SPlainGL& gl, const SPlainState& wanted) {
    if (!bKnown || wanted.uiProgram != current.uiProgram) gl.UseProgram(wanted.uiProgram);
    if (!bKnown || wanted.uiTexture != current.uiTexture) gl.BindTexture(GL_TEXTURE_2D, wanted.uiTexture);
    if (!bKnown || wanted.bBlend != current.bBlend) {
      if (wanted.bBlend) {
        gl.Enable(GL_BLEND);
        gl.BlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
      } else {
        gl.Disable(GL_BLEND);
      }
    }
    current = wanted;
    bKnown = true;
  }
};

void BM_Baseline_SignatureFrame(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  SDL_InitSubSystem(SDL_INIT_VIDEO);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_Window* pWindow = SDL_CreateWindow("bench", 0, 0, 320, 240, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  SDL_GLContext pContext = pWindow != nullptr ? SDL_GL_CreateContext(pWindow) : nullptr;
  SPlainGL gl;
  if (pContext == nullptr || !gl.load()) {
    state.SkipWithError((std::string("no OpenGL 3.3 context: ") + SDL_GetError()).c_str());
    if (pWindow != nullptr) SDL_DestroyWindow(pWindow);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return;
  }
  SDL_GL_SetSwapInterval(0);
  const GLuint auiPrograms[2] = {plainProgram(gl, false), plainProgram(gl, true)};
  GLuint auiTextures[gc_iFRAME_SIGNATURES / 2];
  gl.GenTextures(gc_iFRAME_SIGNATURES / 2, auiTextures);
  for (int i = 0; i < gc_iFRAME_SIGNATURES / 2; ++i) {
    const std::vector<u32> texels(64, frameTextureColour(i));
    gl.BindTexture(GL_TEXTURE_2D, auiTextures[i]);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }
  // The engine's order: texture i with the copy effect, then with the blend effect.
  std::vector<SPlainState> states;
  for (GLuint uiTexture : auiTextures) {
    states.push_back({auiPrograms[0], uiTexture, false});
    states.push_back({auiPrograms[1], uiTexture, true});
  }
  const std::vector<SQuadVertex> vertices = frameQuadVertices();
  GLuint uiArray = 0;
  GLuint uiBuffer = 0;
  gl.GenVertexArrays(1, &uiArray);
  gl.BindVertexArray(uiArray);
  gl.GenBuffers(1, &uiBuffer);
  gl.BindBuffer(GL_ARRAY_BUFFER, uiBuffer);
  gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(SQuadVertex)), vertices.data(),
                GL_STATIC_DRAW);
  gl.VertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(SQuadVertex), reinterpret_cast<void*>(0));
  gl.VertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(SQuadVertex),
                         reinterpret_cast<void*>(offsetof(SQuadVertex, color)));
  gl.VertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(SQuadVertex), reinterpret_cast<void*>(offsetof(SQuadVertex, u)));
  for (GLuint uiAttribute = 0; uiAttribute < 3; ++uiAttribute) gl.EnableVertexAttribArray(uiAttribute);
  gl.Viewport(0, 0, 320, 240);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  const bool bTextures = !benchSkips("SignatureFrame.baseline.textures");
  const bool bPrograms = !benchSkips("SignatureFrame.baseline.programs");
  const CBenchEverySecond everySecond("SignatureFrame.baseline");
  const CBenchCheat cheat("SignatureFrame.baseline");
  const int iQuads = gc_iFRAME_QUADS - (cheat.partial() ? 1 : 0);
  std::vector<u32> frame(320 * 240);
  const auto drawFrame = [&](i64 iFrame) {
    if (cheat.repeats(iFrame)) return true;
    const u32 uiClear = frameClear(iFrame);
    gl.ClearColor(static_cast<float>(uiClear >> 16 & 0xFFu) / 255.0f, static_cast<float>(uiClear >> 8 & 0xFFu) / 255.0f,
                  static_cast<float>(uiClear & 0xFFu) / 255.0f, 1.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    SPlainStateCache cache;
    for (int i = 0; i < iQuads && !everySecond.leavesOut(iFrame); ++i) {
      const bool bChanged = i == 0 && cheat.changes(iFrame, state.max_iterations);
      SPlainState wanted = states[static_cast<size_t>(i * gc_iFRAME_SIGNATURES / gc_iFRAME_QUADS) + (bChanged ? 1 : 0)];
      if (!bTextures) wanted.uiTexture = states[0].uiTexture;
      if (!bPrograms) wanted.uiProgram = states[0].uiProgram;
      cache.apply(gl, wanted);
      gl.DrawArrays(GL_TRIANGLES, i * 6, 6);
    }
    // The frame reaches the GPU before the next one starts, as on the engine's side.
    gl.ReadPixels(0, 0, 320, 240, GL_BGRA, GL_UNSIGNED_BYTE, frame.data());
    return gl.GetError() == GL_NO_ERROR;
  };
  // Once untimed, as on the engine's side.
  bool bOk = auiPrograms[0] != 0 && auiPrograms[1] != 0 && gl.GetError() == GL_NO_ERROR && drawFrame(0);
  std::string problem;
  i64 iFrame = 0;
  for (auto _ : state) {
    if (!bOk) break;
    bOk = drawFrame(iFrame);
    // Every frame's quads, untimed.
    state.PauseTiming();
    if (bOk && problem.empty()) {
      problem = checkFrameQuads(frame.data(), 320, 240, true, frameClear(iFrame));
      if (!problem.empty()) problem = "frame " + std::to_string(iFrame) + ": " + problem;
    }
    ++iFrame;
    state.ResumeTiming();
  }
  if (!bOk) problem = "OpenGL errors";
  if (!problem.empty()) state.SkipWithError(("the plain frame failed: " + problem).c_str());
  gl.DeleteBuffers(1, &uiBuffer);
  gl.DeleteVertexArrays(1, &uiArray);
  gl.DeleteTextures(gc_iFRAME_SIGNATURES / 2, auiTextures);
  for (GLuint uiProgram : auiPrograms) gl.DeleteProgram(uiProgram);
  SDL_GL_DeleteContext(pContext);
  SDL_DestroyWindow(pWindow);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
BENCHMARK(BM_Baseline_SignatureFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

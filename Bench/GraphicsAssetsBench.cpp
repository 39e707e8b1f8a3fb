// Textures, atlases and signatures against plain alternatives. Headless (SDL offscreen, Mesa llvmpipe), 320 x 240.
//   AtlasTextures: the sample atlases' pages loaded by name through the texture manager from an archive in memory,
//     against decoding the same PNG bytes with SDL2_image and uploading them to a texture directly (one level on
//     both sides; each iteration unloads again).
//   AtlasLookup: 1,000 look-ups by image name in an atlas of 1,000 images (the engine hashes the atlas key and the
//     image name with the bit-exact name hash), against a std::unordered_map from name to record; AtlasLookupByHash
//     the same with the hashes known, against a std::unordered_map from hash to record.
//   SignatureFrame: a frame of 1,000 quads in 20 signatures (sorted, as batches are) with setSignature's filtering,
//     against the same frame setting every quad's signature in full (endSignature before each).
#include <benchmark/benchmark.h>

#include <SDL_image.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

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
      std::string path = std::string(pPage) + ".png";
      entries.push_back(packInput(path, fileBytes(std::string(KV_CONTENT_IMAGES_DIR) + "/" + path)));
    }
    for (const char* pEffect : {"system_copy_nofiltering", "system_blend_premult"}) {
      entries.push_back(packInput(std::string("Shaders\\") + pEffect + ".fxo",
                                  fileBytes(std::string(KV_CONTENT_EFFECTS_DIR) + "/" + pEffect + ".fxo")));
    }
    std::vector<SMagPackedEntry> packed;
    std::string error;
    MagWriteArchive(m_root.string(), "BEN", "", entries, &packed, &error);
    ClMagFileIO::loadTOC("BEN");
    ClMagFileIO::loadDataFile(KvStrHash("BEN"));
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

 private:
  CTestGraphicsHooks m_hooks;
  std::filesystem::path m_root;
  std::filesystem::path m_savedCwd;
};

void BM_Engine_AtlasTextures(benchmark::State& state) {
  CAssetsSession session;
  for (auto _ : state) {
    for (const char* pPage : gc_apPAGES) {
      benchmark::DoNotOptimize(ClTextureMgr::loadTexture(pPage, 1));
    }
    for (const char* pPage : gc_apPAGES) {
      ClTextureMgr::unloadTexture(pPage);
    }
  }
}
BENCHMARK(BM_Engine_AtlasTextures)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_AtlasTextures(benchmark::State& state) {
  CAssetsSession session;
  std::vector<std::vector<u8>> files;
  for (const char* pPage : gc_apPAGES) {
    files.push_back(fileBytes(std::string(KV_CONTENT_IMAGES_DIR) + "/" + pPage + ".png"));
  }
  std::vector<IDirect3DTexture9*> textures(files.size());
  for (auto _ : state) {
    for (size_t i = 0; i < files.size(); ++i) {
      SDL_RWops* pRw = SDL_RWFromConstMem(files[i].data(), static_cast<int>(files[i].size()));
      SDL_Surface* pDecoded = IMG_LoadPNG_RW(pRw);
      SDL_RWclose(pRw);
      SDL_Surface* pSurface = SDL_ConvertSurfaceFormat(pDecoded, SDL_PIXELFORMAT_ARGB8888, 0);
      ClGraphics::mp_pDevice->CreateTexture(static_cast<UINT>(pSurface->w), static_cast<UINT>(pSurface->h), 1, 0,
                                            D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &textures[i], nullptr);
      D3DLOCKED_RECT locked{};
      textures[i]->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD);
      for (int y = 0; y < pSurface->h; ++y) {
        std::memcpy(static_cast<u8*>(locked.pBits) + y * locked.Pitch,
                    static_cast<const u8*>(pSurface->pixels) + y * pSurface->pitch, static_cast<size_t>(pSurface->w) * 4);
      }
      textures[i]->UnlockRect(0);
      SDL_FreeSurface(pSurface);
      SDL_FreeSurface(pDecoded);
    }
    for (IDirect3DTexture9* pTexture : textures) pTexture->Release();
  }
}
BENCHMARK(BM_Baseline_AtlasTextures)->UseRealTime()->Unit(benchmark::kMicrosecond);

constexpr int gc_iLOOKUP_IMAGES = 1000;

std::vector<std::string> lookupNames() {
  std::vector<std::string> names;
  for (int i = 0; i < gc_iLOOKUP_IMAGES; ++i) names.push_back("Image" + std::to_string(i * 7919 % 100003) + "_216");
  return names;
}

// An atlas of 1,000 8 x 8 images on one page, written as loose files into the session's data root.
void writeLookupAtlas(const CAssetsSession& session) {
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
}

void BM_Engine_AtlasLookup(benchmark::State& state) {
  CAssetsSession session;
  writeLookupAtlas(session);
  ClAtlasMgr::actualLoadAtlasSync("Lookup", nullptr, "LookupAtlas");
  const std::vector<std::string> names = lookupNames();
  for (auto _ : state) {
    i32 iFound = 0;
    for (const std::string& name : names) {
      const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("LookupAtlas", KvStrHash(name.c_str()));
      benchmark::DoNotOptimize(pEntry);
      iFound += pEntry != nullptr ? 1 : 0;
    }
    if (iFound != gc_iLOOKUP_IMAGES) {
      state.SkipWithError("an image was not found");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * gc_iLOOKUP_IMAGES);
}
BENCHMARK(BM_Engine_AtlasLookup)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_AtlasLookup(benchmark::State& state) {
  CAssetsSession session;
  writeLookupAtlas(session);
  ClAtlasMgr::actualLoadAtlasSync("Lookup", nullptr, "LookupAtlas");
  std::unordered_map<std::string, const SAtlasEntry*> byName;
  const std::vector<std::string> names = lookupNames();
  for (const std::string& name : names) byName[name] = ClAtlasMgr::getAtlasEntry("LookupAtlas", KvStrHash(name.c_str()));
  for (auto _ : state) {
    i32 iFound = 0;
    for (const std::string& name : names) {
      const auto found = byName.find(name);
      benchmark::DoNotOptimize(found);
      iFound += found != byName.end() && found->second != nullptr ? 1 : 0;
    }
    if (iFound != gc_iLOOKUP_IMAGES) {
      state.SkipWithError("an image was not found");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * gc_iLOOKUP_IMAGES);
}
BENCHMARK(BM_Baseline_AtlasLookup)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same with the hashes known beforehand, as callers that keep an image's hash look up: the engine's index
// against a std::unordered_map from hash to record.
void BM_Engine_AtlasLookupByHash(benchmark::State& state) {
  CAssetsSession session;
  writeLookupAtlas(session);
  ClAtlasMgr::actualLoadAtlasSync("Lookup", nullptr, "LookupAtlas");
  std::vector<u32> hashes;
  for (const std::string& name : lookupNames()) hashes.push_back(KvStrHash(name.c_str()));
  const u32 uiAtlas = KvStrHash("LookupAtlas");
  for (auto _ : state) {
    i32 iFound = 0;
    for (u32 uiHash : hashes) {
      const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntryByHash(uiAtlas, uiHash);
      benchmark::DoNotOptimize(pEntry);
      iFound += pEntry != nullptr ? 1 : 0;
    }
    if (iFound != gc_iLOOKUP_IMAGES) {
      state.SkipWithError("an image was not found");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * gc_iLOOKUP_IMAGES);
}
BENCHMARK(BM_Engine_AtlasLookupByHash)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_AtlasLookupByHash(benchmark::State& state) {
  CAssetsSession session;
  writeLookupAtlas(session);
  ClAtlasMgr::actualLoadAtlasSync("Lookup", nullptr, "LookupAtlas");
  std::unordered_map<u32, const SAtlasEntry*> byHash;
  std::vector<u32> hashes;
  for (const std::string& name : lookupNames()) {
    hashes.push_back(KvStrHash(name.c_str()));
    byHash[hashes.back()] = ClAtlasMgr::getAtlasEntry("LookupAtlas", hashes.back());
  }
  for (auto _ : state) {
    i32 iFound = 0;
    for (u32 uiHash : hashes) {
      const auto found = byHash.find(uiHash);
      benchmark::DoNotOptimize(found);
      iFound += found != byHash.end() && found->second != nullptr ? 1 : 0;
    }
    if (iFound != gc_iLOOKUP_IMAGES) {
      state.SkipWithError("an image was not found");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * gc_iLOOKUP_IMAGES);
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

// 1,000 quads in 20 signatures (two textured engine effects x 10 textures), sorted by signature.
void signatureFrame(benchmark::State& state, bool bFiltered) {
  CAssetsSession session;
  ClShader* apShaders[2] = {ClShaderMgr::createShader("system_copy_nofiltering"),
                            ClShaderMgr::createShader("system_blend_premult")};
  std::vector<ClTexture*> textures;
  std::vector<const SRenderSignature*> signatures;
  for (int i = 0; i < gc_iFRAME_SIGNATURES / 2; ++i) {
    IDirect3DTexture9* pTexture = nullptr;
    ClGraphics::mp_pDevice->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pTexture, nullptr);
    ClTexture* pWrapped = new ClTexture();
    pWrapped->setD3DTexture(pTexture);
    for (ClShader* pShader : apShaders) {
      signatures.push_back(ClSignatureMgr::getSignature(pShader, ClSignatureMgr::getTexSet(pWrapped)));
    }
    textures.push_back(pWrapped);
  }
  std::vector<SQuadVertex> vertices;
  for (int i = 0; i < gc_iFRAME_QUADS; ++i) {
    const f32 x = static_cast<f32>(i % 40) * 8.0f;
    const f32 y = static_cast<f32>(i / 40) * 8.0f;
    const SQuadVertex quad[6] = {{x, y, 0, 0, 0, 1, 0xFFFFFFFFu, 0, 0},     {x + 8, y, 0, 0, 0, 1, 0xFFFFFFFFu, 1, 0},
                                 {x, y + 8, 0, 0, 0, 1, 0xFFFFFFFFu, 0, 1}, {x + 8, y, 0, 0, 0, 1, 0xFFFFFFFFu, 1, 0},
                                 {x + 8, y + 8, 0, 0, 0, 1, 0xFFFFFFFFu, 1, 1}, {x, y + 8, 0, 0, 0, 1, 0xFFFFFFFFu, 0, 1}};
    vertices.insert(vertices.end(), std::begin(quad), std::end(quad));
  }
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  IDirect3DVertexBuffer9* pBuffer = nullptr;
  const UINT uiBytes = static_cast<UINT>(vertices.size() * sizeof(SQuadVertex));
  pDevice->CreateVertexBuffer(uiBytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &pBuffer, nullptr);
  void* pData = nullptr;
  pBuffer->Lock(0, 0, &pData, 0);
  std::memcpy(pData, vertices.data(), uiBytes);
  pBuffer->Unlock();
  ClGraphics::pushOrtho2D(320.0f, 240.0f);
  for (auto _ : state) {
    pDevice->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    pDevice->SetStreamSource(0, pBuffer, 0, sizeof(SQuadVertex));
    for (int i = 0; i < gc_iFRAME_QUADS; ++i) {
      if (!bFiltered) ClGraphics::endSignature();
      ClGraphics::setSignature(signatures[static_cast<size_t>(i * gc_iFRAME_SIGNATURES / gc_iFRAME_QUADS)]);
      pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, static_cast<UINT>(i) * 6, 2);
    }
    ClGraphics::endSignature();
    // The frame reaches the GPU before the next one starts.
    UINT uiW = 0;
    UINT uiH = 0;
    benchmark::DoNotOptimize(D3D9TestReadBackBuffer(pDevice, &uiW, &uiH));
  }
  pDevice->SetStreamSource(0, nullptr, 0, 0);
  pBuffer->Release();
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
  for (ClTexture* pTexture : textures) delete pTexture;
}

void BM_Engine_SignatureFrame(benchmark::State& state) { signatureFrame(state, true); }
BENCHMARK(BM_Engine_SignatureFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_SignatureFrame(benchmark::State& state) { signatureFrame(state, false); }
BENCHMARK(BM_Baseline_SignatureFrame)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// The fixture of the effect, texture, atlas and signature tests: graphics started on a 320 x 240 device with the
// render worker waiting, the file layer on a fresh data root (the current folder), the managers made as the
// graphics start-up makes them, and helpers that pack archives, write loose files and draw quads.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Platform/D3D9/D3D9.h"
#include "Tests/Support/GraphicsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"

inline std::vector<u8> KvReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void KvWriteFileBytes(const std::string& path, const std::vector<u8>& bytes) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A compiled effect of the test effects or of the engine's.
inline std::vector<u8> KvTestEffect(const std::string& name) {
  std::vector<u8> bytes = KvReadFileBytes(std::string(KV_TEST_EFFECTS_DIR) + "/" + name + ".fxo");
  if (bytes.empty()) bytes = KvReadFileBytes(std::string(KV_CONTENT_EFFECTS_DIR) + "/" + name + ".fxo");
  return bytes;
}

// The engine's vertex (position, normal, colour, texture coordinates) as a flexible vertex format.
struct SAssetVertex {
  f32 x, y, z;
  f32 nx, ny, nz;
  u32 color;
  f32 u, v;
};
inline constexpr u32 gc_uiASSET_FVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class GraphicsAssetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_savedCwd = KvTestChangeFolder(m_root);
    ASSERT_FALSE(m_savedCwd.empty());
    KvTestStartFileIO();
    ClAsyncAssetLoaderMgr::initialize();
    KvTestStartGraphics(&m_hooks);
    // The managers as the graphics start-up makes them.
    ClShaderMgr::initialize();
    ClSignatureMgr::initSignaturePool();
    ClSignatureMgr::initTexSetPool();
    ClSignatureMgr::initialize();
    ClTextureMgr::initObjectList();
    ClAtlasMgr::initialize();
  }

  void TearDown() override {
    ClGraphics::endSignature();
    ClAtlasMgr::terminate();
    ClTextureMgr::terminate();
    ClSignatureMgr::termSignaturePool();
    ClSignatureMgr::termTexSetPool();
    ClSignatureMgr::terminate();
    ClShaderMgr::terminate();
    ClAsyncAssetLoaderMgr::terminate();
    if (ClGraphics::mp_pDevice != nullptr) {
      EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
    }
    KvTestStopGraphics();
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
    KvTestStopFileIO();
    ASSERT_FALSE(KvTestChangeFolder(m_savedCwd).empty());
  }

  // Packs the entries into the archive NAME in the data root and loads its table of contents.
  void packArchive(const std::string& name, const std::vector<SMagPackInput>& entries, bool bInMemory = false) {
    std::string error;
    std::vector<SMagPackedEntry> packed;
    ASSERT_TRUE(MagWriteArchive(m_root, name, "assets-key-01", entries, &packed, &error)) << error;
    ClMagFileIO::setArchiveKey(name.c_str(), "assets-key-01");
    ASSERT_EQ(ClMagFileIO::loadTOC(name.c_str()), 1);
    if (bInMemory) {
      ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash(name.c_str())), 1);
    }
  }

  // A loose file below the data root ("/" separators).
  void writeLoose(const std::string& path, const std::vector<u8>& bytes) { KvWriteFileBytes(m_root + "/" + path, bytes); }

  // A quad covering x0..x1, y0..y1 in pixels (the 2D projection pushed), texture coordinates u0..u1, v0..v1 (0..1
  // unless given), through the current signature.
  void drawQuad(f32 x0, f32 y0, f32 x1, f32 y1, u32 uiColor, f32 u0 = 0, f32 v0 = 0, f32 u1 = 1, f32 v1 = 1) {
    const SAssetVertex quad[6] = {{x0, y0, 0, 0, 0, 1, uiColor, u0, v0}, {x1, y0, 0, 0, 0, 1, uiColor, u1, v0},
                                  {x0, y1, 0, 0, 0, 1, uiColor, u0, v1}, {x1, y0, 0, 0, 0, 1, uiColor, u1, v0},
                                  {x1, y1, 0, 0, 0, 1, uiColor, u1, v1}, {x0, y1, 0, 0, 0, 1, uiColor, u0, v1}};
    IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
    IDirect3DVertexBuffer9* pBuffer = nullptr;
    ASSERT_EQ(pDevice->CreateVertexBuffer(sizeof(quad), D3DUSAGE_WRITEONLY, gc_uiASSET_FVF, D3DPOOL_MANAGED, &pBuffer,
                                          nullptr),
              D3D_OK);
    void* pData = nullptr;
    pBuffer->Lock(0, 0, &pData, 0);
    std::memcpy(pData, quad, sizeof(quad));
    pBuffer->Unlock();
    pDevice->SetFVF(gc_uiASSET_FVF);
    pDevice->SetStreamSource(0, pBuffer, 0, sizeof(SAssetVertex));
    EXPECT_EQ(pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
    pDevice->SetStreamSource(0, nullptr, 0, 0);
    pBuffer->Release();
  }

  static void clear(u32 uiColor) {
    ClGraphics::mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, uiColor, 1.0f, 0);
  }

  static u32 pixel(UINT x, UINT y) {
    UINT uiW = 0;
    UINT uiH = 0;
    const std::vector<DWORD> pixels = D3D9TestReadBackBuffer(ClGraphics::mp_pDevice, &uiW, &uiH);
    return pixels.at(static_cast<size_t>(y) * uiW + x) | 0xFF000000u;
  }

  static bool near(u32 a, u32 b, int iTolerance) {
    for (int iShift = 0; iShift < 24; iShift += 8) {
      const int iDiff = static_cast<int>((a >> iShift) & 0xFF) - static_cast<int>((b >> iShift) & 0xFF);
      if (iDiff > iTolerance || iDiff < -iTolerance) return false;
    }
    return true;
  }

  CTestGraphicsHooks m_hooks;
  std::string m_root;
  std::string m_savedCwd;
};

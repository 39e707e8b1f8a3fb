// The texture manager and its textures: the extension probing order, names that end in an extension, the
// localized folder, the cache, files that give no texture, archives, cube textures, locking, saving and wrapping.
#include <gtest/gtest.h>

#include <filesystem>

#include "Corvane/ADT/KvSystem.h"
#include "Platform/D3D9/D3DX9.h"
#include "Tests/Corvane/GraphicsAssets/GraphicsAssetsTestSupport.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

std::vector<u8> image(u32 uiColor, ETestImageFormat eFormat, int iWidth = 4, int iHeight = 2) {
  return KvTestEncodeImage(std::vector<uint32_t>(static_cast<size_t>(iWidth) * iHeight, uiColor), iWidth, iHeight,
                           eFormat);
}

// The first texel of level 0.
u32 firstTexel(ClTexture* pTexture) {
  i32 iPitch = 0;
  const u32* pBits = static_cast<const u32*>(pTexture->lock(&iPitch));
  const u32 uiTexel = pBits != nullptr ? pBits[0] : 0;
  pTexture->unlock();
  return uiTexel;
}

class HooksWithUITextures : public CTestGraphicsHooks {
 public:
  bool hasUITextureBeenLoaded(const char* pName) override { return std::string(pName) == "Images/UI"; }
};

using TextureTest = GraphicsAssetsTest;

// ".bmp" before ".png" before ".tga" before the name as it stands, also for a name that ends in an extension.
TEST_F(TextureTest, ExtensionsAreProbedInTheirOrder) {
  writeLoose("Images/Both.png", image(0xFF00FF00u, ETestImageFormat::PNG));
  writeLoose("Images/Both.bmp", image(0xFFFF0000u, ETestImageFormat::BMP));
  writeLoose("Images/Both.tga", image(0xFF0000FFu, ETestImageFormat::TGA));
  ClTexture* pBoth = ClTextureMgr::loadTexture("Images/Both");
  ASSERT_NE(pBoth, nullptr);
  EXPECT_EQ(firstTexel(pBoth), 0xFFFF0000u) << "the .bmp";
  EXPECT_EQ(pBoth->getWidth(), 4.0f);
  EXPECT_EQ(pBoth->getHeight(), 2.0f);

  writeLoose("Images/Pic.png", image(0xFF00FF00u, ETestImageFormat::PNG));
  writeLoose("Images/Pic.png.tga", image(0xFF0000FFu, ETestImageFormat::TGA));
  EXPECT_EQ(firstTexel(ClTextureMgr::loadTexture("Images/Pic.png")), 0xFF0000FFu) << "\".png\" + \".tga\" comes first";
  writeLoose("Images/Only.png", image(0xFF123456u, ETestImageFormat::PNG_OPAQUE));
  ClTexture* pOnly = ClTextureMgr::loadTexture("Images/Only.png");
  ASSERT_NE(pOnly, nullptr) << "then the name as it stands";
  EXPECT_EQ(firstTexel(pOnly), 0xFF123456u);
  EXPECT_EQ(ClTextureMgr::loadTexture("Images/Missing"), nullptr);
  EXPECT_EQ(ClTextureMgr::findTexture("Images/Missing"), nullptr);
}

// A repeated load answers the cached texture without reading the file again; mip chains are made unless asked not to.
TEST_F(TextureTest, RepeatedLoadsAreCached) {
  writeLoose("Images/Cached.png", image(0xFF808080u, ETestImageFormat::PNG, 16, 8));
  ClTexture* pTexture = ClTextureMgr::loadTexture("Images/Cached");
  ASSERT_NE(pTexture, nullptr);
  EXPECT_EQ(static_cast<IDirect3DTexture9*>(pTexture->getD3DTexture())->GetLevelCount(), 5u);
  std::filesystem::remove(m_root + "/Images/Cached.png");
  EXPECT_EQ(ClTextureMgr::loadTexture("Images/Cached"), pTexture);
  EXPECT_EQ(ClTextureMgr::loadTexture("images/cached"), pTexture) << "names hash without case";
  EXPECT_EQ(ClTextureMgr::findTexture("Images/Cached"), pTexture);

  writeLoose("Images/Flat.png", image(0xFF808080u, ETestImageFormat::PNG, 16, 8));
  ClTexture* pFlat = ClTextureMgr::loadTexture("Images/Flat", 1);
  EXPECT_EQ(static_cast<IDirect3DTexture9*>(pFlat->getD3DTexture())->GetLevelCount(), 1u);
}

// A localized texture comes from the language folder, without mipmaps, cached under the name as given.
TEST_F(TextureTest, LocalizedTexturesComeFromTheLanguageFolder) {
  writeLoose("TexturesUI/Logo.png", image(0xFF00FF00u, ETestImageFormat::PNG));
  writeLoose("Lang/fra/TexturesUI/Logo.png", image(0xFFFF0000u, ETestImageFormat::PNG, 8, 8));
  KvStrLCpy(g_szLanguagePath, ".\\Lang\\fra\\", KV_MAX_PATH_LEN);
  ClTexture* pLogo = ClTextureMgr::loadLocalizedTexture("TexturesUI/Logo");
  ASSERT_NE(pLogo, nullptr);
  EXPECT_EQ(firstTexel(pLogo), 0xFFFF0000u);
  EXPECT_EQ(static_cast<IDirect3DTexture9*>(pLogo->getD3DTexture())->GetLevelCount(), 1u);
  EXPECT_EQ(ClTextureMgr::loadLocalizedTexture("TexturesUI/Logo"), pLogo);
  EXPECT_EQ(ClTextureMgr::loadTexture("TexturesUI/Logo"), pLogo) << "one table, one key: the name";
  EXPECT_EQ(ClTextureMgr::loadLocalizedTexture("TexturesUI/None"), nullptr);
}

// A file that exists but gives no texture (not an image) is reported and not kept: the name stays missing, and a
// good file later loads.
TEST_F(TextureTest, FilesThatGiveNoTextureAreNotKept) {
  writeLoose("Images/Broken.png", std::vector<u8>{0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(ClTextureMgr::loadTexture("Images/Broken"), nullptr);
  EXPECT_EQ(ClTextureMgr::findTexture("Images/Broken"), nullptr);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0) << "the reference of the failed load is closed";
  writeLoose("Images/Broken.png", image(0xFF0000FFu, ETestImageFormat::PNG));
  ASSERT_NE(ClTextureMgr::loadTexture("Images/Broken"), nullptr);

  // An empty file, loose or in an archive, is refused as data with a message naming it, as a damaged one is.
  writeLoose("Images/Empty.bmp", std::vector<u8>{});
  packArchive("EMP", {packInput("Packed\\Empty.png", {}, false, false)}, true);
  for (const char* pName : {"Images/Empty", "Packed/Empty"}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(ClTextureMgr::loadTexture(pName), nullptr) << pName;
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("Empty."), std::string::npos) << message;
    EXPECT_NE(message.find("] is empty"), std::string::npos) << message;
  }

  ClTexture texture;
  EXPECT_KV_FATAL(texture.load(".\\Images\\Nowhere.png", 0, 0), "Texture [.\\Images\\Nowhere.png] not found!");
}

// Textures come from archives too, encrypted and compressed entries included.
TEST_F(TextureTest, TexturesLoadFromArchives) {
  packArchive("TEX", {packInput("Packed\\Opaque.bmp", image(0xFF204060u, ETestImageFormat::BMP, 32, 32), true, true),
                      packInput("Packed\\Alpha.png", image(0x80402010u, ETestImageFormat::PNG))},
              true);
  ClTexture* pOpaque = ClTextureMgr::loadTexture("Packed/Opaque");
  ASSERT_NE(pOpaque, nullptr);
  EXPECT_EQ(firstTexel(pOpaque), 0xFF204060u);
  ClTexture* pAlpha = ClTextureMgr::loadTexture("Packed/Alpha");
  ASSERT_NE(pAlpha, nullptr);
  EXPECT_EQ(firstTexel(pAlpha), 0x80402010u);
}

// Locking hands out level 0, writes reach the texture at unlock; the lock rules are assertions; a cube texture is
// 0 x 0 and cannot be locked; saving writes PNG, and nothing without a Direct3D texture.
TEST_F(TextureTest, LockSaveCubeAndWrap) {
  writeLoose("Images/Lock.png", image(0xFF000000u, ETestImageFormat::PNG, 4, 4));
  ClTexture* pTexture = ClTextureMgr::loadTexture("Images/Lock", 1);
  i32 iPitch = 0;
  u32* pBits = static_cast<u32*>(pTexture->lock(&iPitch));
  ASSERT_NE(pBits, nullptr);
  EXPECT_EQ(iPitch, 16);
  EXPECT_KV_ASSERT(pTexture->lock(&iPitch), "m_pLockedSurface == KVNULL");
  pBits[5] = 0xFFABCDEFu;
  EXPECT_EQ(pTexture->unlock(), 1);
  EXPECT_KV_ASSERT(pTexture->unlock(), "m_pLockedSurface");
  pBits = static_cast<u32*>(pTexture->lock(&iPitch));
  EXPECT_EQ(pBits[5], 0xFFABCDEFu);
  pTexture->unlock();

  const std::string saved = m_root + "/saved.png";
  EXPECT_EQ(pTexture->save(saved.c_str()), 1);
  ClTexture reloaded;
  const std::vector<u8> bytes = KvReadFileBytes(saved);
  ASSERT_EQ(reloaded.createFromMemory(bytes.data(), static_cast<i32>(bytes.size()), "saved", 0, 1), 0);
  pBits = static_cast<u32*>(reloaded.lock(&iPitch));
  EXPECT_EQ(pBits[5], 0xFFABCDEFu);
  reloaded.unlock();

  ClTexture empty;
  EXPECT_EQ(empty.save((m_root + "/empty.png").c_str()), 0);
  EXPECT_EQ(empty.save(u"empty.png"), 0);
  EXPECT_FALSE(std::filesystem::exists(m_root + "/empty.png"));
  EXPECT_EQ(empty.lock(&iPitch), nullptr);
  EXPECT_EQ(iPitch, 0);
  EXPECT_KV_ASSERT(empty.reload("x"), "m_pD3DTex");

  std::vector<uint32_t> strip(6 * 8 * 8, 0xFF102030u);
  const std::vector<u8> cubeFile = KvTestEncodeImage(strip, 48, 8, ETestImageFormat::PNG);
  ClTexture cube;
  ASSERT_EQ(cube.createFromMemory(cubeFile.data(), static_cast<i32>(cubeFile.size()), "cube", 1, 0), 0);
  EXPECT_EQ(cube.mp_bIsCubeTexture, 1u);
  EXPECT_EQ(cube.getWidth(), 0.0f);
  EXPECT_EQ(cube.getHeight(), 0.0f);
  EXPECT_KV_ASSERT(cube.lock(&iPitch), "!mp_bIsCubeTexture");
  ClTexture notACube;
  EXPECT_EQ(notACube.createFromMemory(bytes.data(), static_cast<i32>(bytes.size()), "flat", 1, 0), gc_iTEXTURE_NOT_CREATED);

  IDirect3DTexture9* pMade = nullptr;
  ASSERT_EQ(D3DXCreateTexture(ClGraphics::mp_pDevice, 64, 32, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pMade), D3D_OK);
  ClTexture wrapped;
  wrapped.setD3DTexture(pMade);
  EXPECT_EQ(wrapped.getWidth(), 64.0f);
  EXPECT_EQ(wrapped.getHeight(), 32.0f);
}

// Unloading destroys the texture (an unknown name does nothing); textures the UI holds are the UI's to unload.
TEST_F(TextureTest, UnloadingKeepsToTheUIRule) {
  HooksWithUITextures hooks;
  KvTestSetGraphicsHooks(&hooks);
  writeLoose("Images/Game.png", image(0xFF0000FFu, ETestImageFormat::PNG));
  writeLoose("Images/UI.png", image(0xFF0000FFu, ETestImageFormat::PNG));
  ASSERT_NE(ClTextureMgr::loadTexture("Images/Game"), nullptr);
  ASSERT_NE(ClTextureMgr::loadTexture("Images/UI"), nullptr);
  ClTextureMgr::unloadTexture("Images/Game");
  EXPECT_EQ(ClTextureMgr::findTexture("Images/Game"), nullptr);
  ClTextureMgr::unloadTexture("Images/Unknown");
  EXPECT_KV_ASSERT(ClTextureMgr::unloadTexture("Images/UI"), "!ClUI::hasUITextureBeenLoaded(pcFilename)");
  KvTestSetGraphicsHooks(&m_hooks);
}

}  // namespace

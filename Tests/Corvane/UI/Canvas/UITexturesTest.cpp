// The UI's textures: versions per asset height and the best fit among them, the deferred queues, and the sprites
// the drawing operations queue (box sizes, placement, texture coordinates, signatures, layers).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"
#include "Tests/Support/ImageTestSupport.h"

namespace {

const u32 gc_uiFULL = KvStrHash("FULL");
const u32 gc_uiPREMULT = KvStrHash("system_blend_premult");
const u32 gc_uiCOLOR = KvStrHash("system_blend_color");

class UITexturesTest : public CanvasTest {
 protected:
  // "Images/UI/<file>.png" of w x h texels.
  void writeImage(const std::string& file, int iWidth, int iHeight) {
    writeLoose("Images/UI/" + file + ".png",
               KvTestEncodeImage(std::vector<uint32_t>(static_cast<size_t>(iWidth) * iHeight, 0xFFFFFFFFu), iWidth,
                                 iHeight, ETestImageFormat::PNG));
  }
  static SUITexture* record(const char* pName) {
    return ClUI::mp_UITextureTable.findPtr<SUITexture>(KvStrHash(pName));
  }
  static ClTexture* version(const char* pFile) {
    return ClTextureMgr::findTexture((std::string("Images/UI/") + pFile).c_str());
  }
};

// Versions of 216, 432 and 864: a target of 720 takes 864 (distance 144) at 720 / 864; the tie of 324 goes to the
// earlier 216. A version missing from the data is skipped without a word.
TEST_F(UITexturesTest, BestFitPicksTheClosestHeight) {
  fullCanvas(720.0f, {216, 300, 432, 864});
  writeImage("Frame_216", 10, 5);
  writeImage("Frame_432", 20, 10);
  writeImage("Frame_864", 40, 20);
  ClUI::loadUITexture("Frame", false);
  SUITexture* pRecord = record("Frame");
  ASSERT_NE(pRecord, nullptr);
  ASSERT_EQ(pRecord->mp_iNumVersions, 3) << "no version of height 300";
  struct SCase {
    f32 fTarget;
    const char* pChosen;
    f32 fChosenHeight;
  };
  const SCase aCases[] = {{720, "Frame_864", 864}, {324, "Frame_216", 216}, {400, "Frame_432", 432},
                          {100, "Frame_216", 216}, {2000, "Frame_864", 864}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.fTarget);
    const SUITexture* pBest = ClUI::getBestFitUITexture(KvStrHash("Frame"), c.fTarget);
    EXPECT_EQ(pBest, pRecord);
    EXPECT_EQ(pBest->mp_pBestTexture, version(c.pChosen));
    EXPECT_FLOAT_EQ(pBest->mp_fBestScale, c.fTarget / c.fChosenHeight);
  }
  EXPECT_KV_FATAL(ClUI::getBestFitUITexture(KvStrHash("Missing"), 720.0f),
                  "ClUI::getBestFitUITexture() -> texture requested but not loaded!");
  ClUI::loadUITexture("Nothing", false);
  EXPECT_KV_FATAL(ClUI::getBestFitUITexture(KvStrHash("Nothing"), 720.0f), "named by a screen is in no atlas");
  // A version that is there but refused (an empty file) is a damaged file, named.
  writeLoose("Images/UI/Empty_432.png", std::vector<u8>());
  EXPECT_KV_FATAL(ClUI::loadUITexture("Empty", false), "UI image [Images/UI/Empty_432] was refused: ");
}

// Loading is refused for names with '_' and for a default canvas without asset heights; loading a name again adds
// its versions again until the ninth asserts.
TEST_F(UITexturesTest, LoadingRules) {
  EXPECT_KV_ASSERT(ClUI::loadUITexture("Pic_2", false), "UI TEXTURE LOADED HAS A '_' IN NAME: [Pic_2]");
  EXPECT_KV_ASSERT(ClUI::loadUITexture("Pic", false),
                   "Canvases MUST define potential asset heights, so the game can look for a 'best fit'");
  fullCanvas(720.0f, {216, 240, 432, 720, 864});
  for (const char* pFile : {"Pic_216", "Pic_240", "Pic_432", "Pic_720", "Pic_864"}) {
    writeImage(pFile, 4, 4);
  }
  ClUI::loadUITexture("Pic", false);
  EXPECT_EQ(record("Pic")->mp_iNumVersions, 5);
  EXPECT_EQ(ClUI::loadUITextureVersion("Pic_432", false), record("Pic")->mp_versions[2].mp_pTex)
      << "the registered texture comes back";
  EXPECT_KV_ASSERT(ClUI::loadUITexture("Pic", false), "iNewIdx<KV_MAX_VERSIONS_PER_UI_TEXTURE");
  EXPECT_EQ(record("Pic")->mp_iNumVersions, 8);
  EXPECT_EQ(record("Pic")->mp_versions[5].mp_pTex, record("Pic")->mp_versions[0].mp_pTex);
}

// A name queued twice is kept once per table; loading the queues loads every name once and empties them.
TEST_F(UITexturesTest, DeferredQueuesKeepEachNameOnce) {
  fullCanvas(240.0f, {216});
  writeImage("Icon_216", 8, 8);
  writeImage("Badge_216", 8, 8);
  ClUI::queueDeferredUITexture("Icon", false);
  ClUI::queueDeferredUITexture("Icon", false);
  ClUI::queueDeferredUITexture("Badge", false);
  ClUI::queueDeferredUITexture("Icon", true);
  EXPECT_EQ(ClUI::mp_aDeferredTextureNames[0].getCount(), 2);
  EXPECT_EQ(ClUI::mp_aDeferredTextureNames[1].getCount(), 1);
  ClUI::loadDeferredUITextures();
  EXPECT_EQ(ClUI::mp_aDeferredTextureNames[0].getCount(), 0);
  EXPECT_EQ(ClUI::mp_aDeferredTextureNames[1].getCount(), 0);
  // "Icon" loaded once from each queue: the localized load meets the texture the plain one registered.
  ASSERT_NE(record("Icon"), nullptr);
  EXPECT_EQ(record("Icon")->mp_iNumVersions, 2);
  EXPECT_EQ(record("Icon")->mp_versions[1].mp_pTex, record("Icon")->mp_versions[0].mp_pTex);
  EXPECT_EQ(record("Badge")->mp_iNumVersions, 1);
  ClUI::queueDeferredUITexture("Badge", false);
  EXPECT_EQ(ClUI::mp_aDeferredTextureNames[0].getCount(), 1) << "queues work again after a load";
}

// A texture of 100 x 50 texels at best scale 720 / 864 is an 83 x 42 box (floor(83.33 + 0.5), floor(41.67 + 0.5)),
// placed on the canvas or a pushed parent window; the sprite uses the whole texture and the shader's signature.
TEST_F(UITexturesTest, UITextureBoxesAndSprites) {
  fullCanvas(720.0f, {864});  // scale 720 / 216
  writeImage("Panel_864", 100, 50);
  ClUI::loadUITexture("Panel", false);
  f32 afRect[4] = {};
  ClUI::getUITextureRect(afRect, "Panel", gc_uiFULL, 18, 18, 0.0f, 0.0f, 1.0f);
  EXPECT_EQ(std::vector<f32>(afRect, afRect + 4), (std::vector<f32>{119, 202, 99, 141}));  // 160 - 41.5 rounds up
  EXPECT_EQ(Cl2d::getNumSprites(), 0) << "the rectangle queues nothing";

  Cl2d::pushParentWindow({100, 300, 50, 150});
  ClUI::renderUITexture("Panel", gc_uiPREMULT, 0xFF808080u, gc_uiFULL, 1234, 3.0f, 6.0f, 9, 9, 2.0f, afRect);
  Cl2d::popParentWindow(Cl2d::getParentWindow());
  ASSERT_EQ(Cl2d::getNumSprites(), 1);
  const SQueuedSprite s = queued(0);
  EXPECT_EQ(s.fX, 110.0f) << "3 units = 10 pixels from the window's left";
  EXPECT_EQ(s.fY, 70.0f);
  EXPECT_EQ(s.fWidth, 167.0f) << "floor(166.67 + 0.5)";
  EXPECT_EQ(s.fHeight, 83.0f);
  EXPECT_EQ(std::vector<f32>(afRect, afRect + 4), (std::vector<f32>{110, 277, 70, 153}));
  EXPECT_EQ((std::vector<f32>{s.fU0, s.fV0, s.fU1, s.fV1}), (std::vector<f32>{0, 0, 1, 1}));
  EXPECT_EQ(s.uLayer, 1234);
  EXPECT_EQ(s.uiColor, 0xFF808080u);
  ClTexture* pPanel = version("Panel_864");
  EXPECT_EQ(s.pSignature, ClSignatureMgr::getSignatureByHash(gc_uiPREMULT, pPanel));

  // A second texture joins the signature; a sized draw stretches; a null name is the shader alone.
  ClUI::renderUITexture("Panel", gc_uiPREMULT, 0xFFFFFFFFu, gc_uiFULL, 1, 0, 0, 9, 9, 1.0f, nullptr, pPanel);
  EXPECT_EQ(queued(1).pSignature, ClSignatureMgr::getSignatureByHash2(gc_uiPREMULT, pPanel, pPanel));
  ClUI::renderUITextureSized("Panel", gc_uiPREMULT, 0xFFFFFFFFu, gc_uiFULL, 2, 0, 0, 9, 9, 3.0f, 6.0f, afRect);
  EXPECT_EQ((std::vector<f32>{queued(2).fWidth, queued(2).fHeight}), (std::vector<f32>{10, 20}));
  EXPECT_EQ(std::vector<f32>(afRect, afRect + 4), (std::vector<f32>{0, 10, 0, 20}));
  ClUI::renderUITextureSized(nullptr, gc_uiCOLOR, 0xFFFFFFFFu, gc_uiFULL, 3, 0, 0, 9, 9, 3.0f, 6.0f);
  EXPECT_EQ(queued(3).pSignature, colorSignature());
}

// An atlas image: the box is its untrimmed frame x canvas scale x scale, the quad its trimmed part moved by its
// offset x k (not rounded); a sized draw stretches the entry over the box. Zero hashes, an unknown atlas.
TEST_F(UITexturesTest, AtlasEntriesKeepTheirTrimmedPlace) {
  fullCanvas(432.0f);  // scale 2
  writeImage("Sheet_1", 64, 64);
  ClTexture* pSheet = ClTextureMgr::loadTexture("Images/UI/Sheet_1");
  ASSERT_NE(pSheet, nullptr);
  const SAtlasTexInfo info{0, 0, 0.25f, 0.5f, 0.75f, 0.625f, 30, 10, 40, 20, 4, 6};
  const SAtlasEntry entry{&info, pSheet};
  f32 afRect[4] = {};
  ClUI::renderAtlasEntryData(&entry, gc_uiPREMULT, 0xFFFFFFFFu, gc_uiFULL, 40, 10.0f, 5.0f, 9, 9, 1.5f, afRect);
  ASSERT_EQ(Cl2d::getNumSprites(), 1);
  const SQueuedSprite s = queued(0);
  EXPECT_EQ(std::vector<f32>(afRect, afRect + 4), (std::vector<f32>{20, 140, 10, 70})) << "a 120 x 60 frame";
  EXPECT_EQ((std::vector<f32>{s.fX, s.fY, s.fWidth, s.fHeight}), (std::vector<f32>{32, 28, 90, 30}));
  EXPECT_EQ((std::vector<f32>{s.fU0, s.fV0, s.fU1, s.fV1}), (std::vector<f32>{0.25f, 0.5f, 0.75f, 0.625f}));
  EXPECT_EQ(s.pSignature, ClSignatureMgr::getSignatureByHash(gc_uiPREMULT, pSheet));

  // k = 2 x 0.25 = 0.5: a frame of 20 x 10 placed at the centre; the offset moves by 2 x 3 without rounding.
  const SAtlasTexInfo odd{0, 0, 0, 0, 1, 1, 5, 3, 40, 20, 4.5f, 6.5f};
  const SAtlasEntry oddEntry{&odd, pSheet};
  ClUI::renderAtlasEntryData(&oddEntry, gc_uiPREMULT, 0xFFFFFFFFu, gc_uiFULL, 40, 0, 0, 18, 18, 0.25f, afRect);
  EXPECT_EQ((std::vector<f32>{queued(1).fX, queued(1).fY, queued(1).fWidth, queued(1).fHeight}),
            (std::vector<f32>{152.25f, 118.25f, 2.5f, 1.5f}));

  EXPECT_KV_ASSERT(ClUI::renderAtlasEntry(0, 1, gc_uiPREMULT, 0, gc_uiFULL, 1, 0, 0, 9, 9, 1.0f), "hAtlasName");
  EXPECT_KV_ASSERT(ClUI::renderAtlasEntry(1, 0, gc_uiPREMULT, 0, gc_uiFULL, 1, 0, 0, 9, 9, 1.0f), "hTextureName");
  EXPECT_KV_FATAL(ClUI::renderAtlasEntry(KvStrHash("TexturesUIAtlas"), 1, gc_uiPREMULT, 0, gc_uiFULL, 1, 0, 0, 9, 9,
                                         1.0f),
                  "Atlas file not found");
  EXPECT_EQ(Cl2d::getNumSprites(), 2);
}

// The shader quad sits on layer 2700, placed from the top-left; an unknown shader is fatal.
TEST_F(UITexturesTest, ShaderQuadsSitOnTheirLayer) {
  fullCanvas(432.0f);  // scale 2
  Cl2d::createCanvas("HUD", 36, 216.0f, 216.0f, 0.0f, 0.0f, 100.0f, 50.0f, 36);  // (220, 190)-(320, 240), scale 1
  ClUI::renderShaderQuad(gc_uiCOLOR, 0x40FFFFFFu, gc_uiFULL, 10.0f, 5.0f, 20.0f, 10.25f);
  ClUI::renderShaderQuad(gc_uiCOLOR, 0x40FFFFFFu, KvStrHash("HUD"), 10.0f, 5.0f, 20.0f, 10.0f);
  ASSERT_EQ(Cl2d::getNumSprites(), 2);
  const SQueuedSprite a = queued(0);
  EXPECT_EQ(a.uLayer, gc_uUI_SHADER_QUAD_LAYER);
  EXPECT_EQ((std::vector<f32>{a.fX, a.fY, a.fWidth, a.fHeight}), (std::vector<f32>{20, 10, 40, 21}));
  EXPECT_EQ(a.pSignature, colorSignature());
  EXPECT_EQ(a.uiColor, 0x40FFFFFFu);
  const SQueuedSprite b = queued(1);
  EXPECT_EQ((std::vector<f32>{b.fX, b.fY, b.fWidth, b.fHeight}), (std::vector<f32>{230, 195, 20, 10}));
  EXPECT_KV_FATAL(ClUI::renderShaderQuad(KvStrHash("no_such_shader"), 0, gc_uiFULL, 0, 0, 1, 1),
                  "Could not find shader");
}

}  // namespace

namespace {

// The pointer image: "PointerDefault" on "FULL" at layer 3999, centred where the pointer shows on the display: its
// fractions of the display's size are pixels of the UI's 2D picture, which may show scaled on the display; nothing
// while the pointer is not shown.
TEST_F(UITexturesTest, PointerImageIsCentredOnThePointer) {
  fullCanvas(432.0f, {216});  // scale 2 on the 320 x 240 screen
  writeImage("PointerDefault_216", 8, 6);
  ClUI::loadUITexture("PointerDefault", false);
  ClPointerTracker::setDefaultPointer(0xFF00FF00u);
  ClPointerTracker::m_afPosition[0] = 0.25f;
  ClPointerTracker::m_afPosition[1] = 0.5f;
  ClPointerTracker::setPointerShown(false);
  ClUI::render();
  EXPECT_EQ(Cl2d::getNumSprites(), 0);
  ClPointerTracker::setPointerShown(true);
  struct SRow {
    const char* pWhat;
    f32 afPicture[6];  // size, then where it shows; zeros: the display itself
    f32 afBox[4];      // the 16 x 12 box (8 x 6 at best scale 2) centred where the pointer shows
  };
  const SRow aRows[] = {
      // (320 x 0.25, 240 x 0.5) = (80, 120) pixels.
      {"the picture is the display", {}, {72, 114, 16, 12}},
      // Picture pixel (80, 120) shows at (40 + 80 x 1.5, 30 + 120 x 1.5) = (160, 210).
      {"a 160 x 120 picture shown 1.5 times as large at (40, 30)", {160, 120, 40, 30, 240, 180}, {152, 204, 16, 12}},
  };
  for (const SRow& row : aRows) {
    SCOPED_TRACE(row.pWhat);
    ClGraphics::set2DPicture(row.afPicture[0], row.afPicture[1], &row.afPicture[2]);
    Cl2d::clearSprites();
    ClUI::render();
    ASSERT_EQ(Cl2d::getNumSprites(), 1);
    const SQueuedSprite s = queued(0);
    EXPECT_EQ((std::vector<f32>{s.fX, s.fY, s.fWidth, s.fHeight}),
              (std::vector<f32>{row.afBox[0], row.afBox[1], row.afBox[2], row.afBox[3]}));
    EXPECT_EQ(s.uLayer, 3999);
    EXPECT_EQ(s.uiColor, 0xFF00FF00u);
    EXPECT_EQ(s.pSignature, ClSignatureMgr::getSignatureByHash(gc_uiPREMULT, version("PointerDefault_216")));
  }
  const f32 afNone[4] = {};
  ClGraphics::set2DPicture(0.0f, 0.0f, afNone);
  ClPointerTracker::setPointerShown(false);
}

}  // namespace

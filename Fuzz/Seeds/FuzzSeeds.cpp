// Writes the generated seeds of the fuzz targets: fuzz_seeds <folder> makes <folder>/<target>/ with valid files of
// each format, small ones and ones near the target's input limit, so the fuzzer starts from inputs that reach the
// loaders' large-file paths. Made by the fuzz build; nothing binary is kept in the tree.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Code/System/ClProfileMgr.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Platform/D3D9/D3DXEffectFile.h"
#include "Tools/atlasc/AtlasBuilder.h"
#include "Tools/fontc/FontFiles.h"
#include "Tools/kdsc/KdsSource.h"

namespace fs = std::filesystem;

namespace {

bool g_bFailed = false;

void writeSeed(const fs::path& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
  fs::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.good()) {
    std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", (folder / name).c_str());
    g_bFailed = true;
  }
}

// A table of iEntries images of base "A" spread over iPages pages (the atlas target's data root has A_0 to A_3).
std::vector<uint8_t> atlasTable(int iEntries, int iPages) {
  SAtlasPacked packed;
  for (int i = 0; i < iPages; ++i) {
    SAtlasImage page;
    page.iWidth = 1024;
    page.iHeight = 1024;
    packed.pages.push_back(page);
  }
  for (int i = 0; i < iEntries; ++i) {
    SAtlasPlacedImage placed;
    placed.name = "Image" + std::to_string(i);
    placed.uiHash = KvStrHash(placed.name.c_str());
    placed.uiPage = static_cast<uint32_t>(i % iPages);
    placed.iX = (i * 8) % 1024;
    placed.iY = (i * 8 / 1024 * 8) % 1024;
    placed.iWidth = 8;
    placed.iHeight = 8;
    placed.iFrameWidth = 10;
    placed.iFrameHeight = 10;
    placed.iAnchorX = 1;
    placed.iAnchorY = 1;
    packed.placed.push_back(placed);
  }
  std::sort(packed.placed.begin(), packed.placed.end(), [](const SAtlasPlacedImage& a, const SAtlasPlacedImage& b) {
    return static_cast<int32_t>(a.uiHash) > static_cast<int32_t>(b.uiHash);
  });
  return AtlasWriteTable(packed, "A");
}

// An effect of iParameters parameters (every fourth a texture-named float4 with an annotation) and one pass.
std::vector<uint8_t> effect(int iParameters) {
  SD3DXEffectDescription desc;
  for (int i = 0; i < iParameters; ++i) {
    SD3DXEffectParameter parameter;
    parameter.name = "g_v" + std::to_string(i);
    parameter.semantic = i % 2 == 0 ? "PEROBJ" : "";
    parameter.eClass = i % 4 == 0 ? D3DXPC_VECTOR : D3DXPC_SCALAR;
    parameter.uiColumns = i % 4 == 0 ? 4 : 1;
    if (i % 4 == 0) parameter.annotations.push_back({"Usage", "texture" + std::to_string(i)});
    desc.parameters.push_back(parameter);
  }
  desc.techniqueName = "Main";
  desc.shaders.push_back({D3DX_EFFECT_STAGE_VERTEX, "VS", "void main() { gl_Position = in_Position; }\n", "seed.fx", 1});
  desc.shaders.push_back({D3DX_EFFECT_STAGE_FRAGMENT, "PS", "void main() { out_Color = vec4(1.0); }\n", "seed.fx", 2});
  SD3DXEffectPass pass;
  pass.name = "P0";
  pass.uiVertexShader = 0;
  pass.uiFragmentShader = 1;
  pass.renderStates = {{D3DRS_ALPHABLENDENABLE, TRUE}, {D3DRS_SRCBLEND, D3DBLEND_ONE}};
  desc.passes.push_back(pass);
  std::string error;
  if (!D3DXEffectValidate(desc, &error)) {
    std::fprintf(stderr, "fuzz_seeds: the seed effect is not valid: %s\n", error.c_str());
    g_bFailed = true;
  }
  return D3DXEffectFileWrite(desc);
}

// A sample data script (Content/Scripts/<name>.kdt) compiled into its ".kds" image.
std::vector<uint8_t> sampleScript(const std::string& name) {
  std::vector<uint8_t> image;
  std::string error;
  if (!KdsCompileFile(std::string(GRINDLOW_CONTENT_DIR) + "/Scripts/" + name + ".kdt", &image, &error)) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", error.c_str());
    g_bFailed = true;
  }
  return image;
}

// A small script compiled from text.
std::vector<uint8_t> scriptText(const std::string& text) {
  SKdsSourceNode root;
  std::string error;
  if (!KdsParseSource(text, "seed.kdt", &root, &error)) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", error.c_str());
    g_bFailed = true;
  }
  return KdsWriteImage(root);
}

// An image of the given size with a pattern that compresses a little, written in the path's format.
void image(const fs::path& folder, const std::string& name, int iWidth, int iHeight) {
  SAtlasImage picture;
  picture.iWidth = iWidth;
  picture.iHeight = iHeight;
  for (int y = 0; y < iHeight; ++y) {
    for (int x = 0; x < iWidth; ++x) picture.texels.push_back(0xFF000000u | static_cast<uint32_t>((x * 7) ^ (y * 13)) * 0x010203u);
  }
  fs::create_directories(folder);
  std::string error;
  if (!AtlasWriteImage((folder / name).string(), picture, &error)) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", error.c_str());
    g_bFailed = true;
  }
}

// A family of iSizes sizes at three heights, and a font of iGlyphs glyphs on two pages, each glyph kerned against
// a few before it.
std::vector<uint8_t> fontFamily(int iSizes) {
  SFontFamilyDesc family{"Seed", {}, {}};
  for (int i = 0; i < iSizes; ++i) family.sizes.push_back(static_cast<uint32_t>(6 + 2 * i));
  int32_t iNumber = 0;
  for (uint32_t uiHeight : {216u, 720u, 1080u}) {
    SFontResolutionDesc resolution{uiHeight, {}};
    for (int i = 0; i < iSizes; ++i) resolution.fontNumbers.push_back(iNumber++);
    family.resolutions.push_back(resolution);
  }
  return FontWriteFamily(family);
}

std::vector<uint8_t> font(int iGlyphs) {
  SFontDesc font;
  font.name = "Seed_0";
  font.fLineHeight = 14.0f;
  font.fEmptyLineHeight = 14.0f;
  font.textures = {"Seed_0_0", "Seed_0_1"};
  for (int i = 0; i < iGlyphs; ++i) {
    SFontGlyphDesc glyph;
    glyph.uiCode = static_cast<uint32_t>(0x20 + i * 7);
    glyph.fAdvanceX = 8.0f;
    glyph.fWidth = 6.0f;
    glyph.fHeight = 10.0f;
    glyph.fU1 = 0.5f;
    glyph.fV1 = 0.5f;
    glyph.iTexture = i % 2;
    for (int k = 1; k <= 3 && k <= i; ++k) glyph.kerning.push_back({static_cast<uint32_t>(0x20 + (i - k) * 7), -1.0f, 0.0f});
    font.glyphs.push_back(glyph);
  }
  return FontWriteFont(font);
}

}  // namespace

// A stored profile: the block with the version, some progress and the default options, cut or padded to uiSize.
std::vector<uint8_t> profile(size_t uiSize) {
  SPlayerProfile block{};
  block.m_iVersion = gc_iPROFILE_VERSION;
  block.m_data.m_iStoryChapterReached = 1;
  block.m_data.m_aLevelRecords[2].m_iBestScore = 4000;
  block.m_data.m_iMusicVolume = 80;
  block.m_data.m_iSoundEffectVolume = 80;
  block.m_data.m_iMasterVolume = 80;
  block.m_data.m_bCRTEffect = 1;
  block.m_data.m_iDisplayWidth = -1;
  block.m_data.m_iDisplayHeight = -1;
  block.m_data.m_iDisplayRefreshRate = -1;
  block.m_data.m_iWindowMode = 2;
  std::vector<uint8_t> bytes(uiSize, 0);
  std::memcpy(bytes.data(), &block, std::min(uiSize, sizeof(block)));
  return bytes;
}

// A UTF-16LE text file as the text-file widgets read it: words, blanks, every kind of newline and break mark, a
// character outside the small font, and no terminator.
std::vector<uint8_t> textFile(int iLines) {
  std::u16string text;
  for (int i = 0; i < iLines; ++i) {
    text += u"Line " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u"\tWo rd##break\\n";
    text += i % 3 == 0 ? u"\r\n" : i % 3 == 1 ? u"\n" : u"\u00A0\u4E2D\r";
  }
  std::vector<uint8_t> bytes(text.size() * 2);
  std::memcpy(bytes.data(), text.data(), bytes.size());
  return bytes;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
    return 2;
  }
  const fs::path root = argv[1];
  writeSeed(root / "AtlasLoader", "small.atf", atlasTable(3, 2));
  writeSeed(root / "AtlasLoader", "large.atf", atlasTable(16000, 4));  // about 830 kB
  writeSeed(root / "FxoReader", "small.fxo", effect(4));
  writeSeed(root / "FxoReader", "large.fxo", effect(12000));  // about 590 kB
  writeSeed(root / "FontFamilyFile", "small.kff", fontFamily(3));
  writeSeed(root / "FontFamilyFile", "large.kff", fontFamily(60));
  writeSeed(root / "FontFile", "small.kcf", font(4));
  writeSeed(root / "FontFile", "large.kcf", font(300));
  writeSeed(root / "TextFile", "small.txt", textFile(4));
  writeSeed(root / "TextFile", "large.txt", textFile(400));
  writeSeed(root / "EnemyScript", "sample.kds", sampleScript("EntityEnemy"));
  writeSeed(root / "EnemyScript", "small.kds",
            scriptText("A = { Animations = { Running = \"R\" }\n States = { default = {} }\n"
                       " Reactions = [ \"r\", [ \"HitReceived == 1\", Action = \"Hit\" ] ]\n"
                       " Actions = { Hit = { Damage = 1.0, Remove = 1, SpawnPistolBullet = 1 } } }\n"));
  writeSeed(root / "PlayerScript", "sample.kds", sampleScript("EntityPlayer"));
  writeSeed(root / "PlayerScript", "small.kds",
            scriptText("Animations = { Running = \"R\", Hit = \"H\", Death = \"D\" }\nAxe = [ \"x\" ]\n"));
  writeSeed(root / "BackgroundsScript", "sample.kds", sampleScript("Backgrounds"));
  writeSeed(root / "BackgroundsScript", "small.kds",
            scriptText("P = [ { Bottom_Y = 100.0, ScrollingSpeed = 0.5, Images = [ \"A\", Space = 30, \"B\" ] } ]\n"
                       "ImageAnims = { A = [ { OffsetX = 1.0, OffsetY = 2.0, Flipbook = \"TowerSmoke\", #noLoop } ] }\n"));
  writeSeed(root / "LevelsScript", "sample.kds", sampleScript("Levels"));
  writeSeed(root / "LevelsScript", "small.kds",
            scriptText("Chapter1_1 = { TimeInSeconds = 30.0, Spawns = [ [10.0, 0, \"EnemyThug\"]\n"
                       " [#pattern], [100.0, 1, \"EnemyFast\", \"star\"], [0.0, 2, #EnemyThug, \"star_end\"], [#end]\n"
                       " [#pattern], [300.0, 2, \"PickupHealth\"], [20.0, 0, \"PickupSupportCrate_PickupMagic\"] ] }\n"));
  image(root / "TextureLoad", "small.png", 16, 8);
  image(root / "TextureLoad", "small.tga", 16, 8);
  image(root / "TextureLoad", "large.bmp", 480, 480);  // about 900 kB
  image(root / "TextureLoad", "large.tga", 500, 500);
  image(root / "TextureLoad", "large.png", 400, 400);
  writeSeed(root / "ProfileLoader", "profile.bin", profile(gc_uiPLAYER_PROFILE_SIZE));
  writeSeed(root / "ProfileLoader", "short.bin", profile(gc_uiPLAYER_PROFILE_SIZE - 1));
  writeSeed(root / "ProfileLoader", "long.bin", profile(gc_uiPLAYER_PROFILE_SIZE + 16));
  return g_bFailed ? 1 : 0;
}

// Atlases: the signed-descending search, unknown atlases and images, empty atlases, one read per key, texture names
// with and without a prefix, refused files, and the sample atlases the build makes, loaded from an archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Tests/Corvane/GraphicsAssets/GraphicsAssetsTestSupport.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tools/atlasc/AtlasBuilder.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// An atlas table whose entries have the given hashes (in that order, each on page index % pages).
std::vector<u8> table(const std::string& base, const std::vector<u32>& hashes, int iPages) {
  SAtlasPacked packed;
  for (int i = 0; i < iPages; ++i) {
    SAtlasImage page;
    page.iWidth = 64;
    page.iHeight = 32;
    packed.pages.push_back(page);
  }
  for (size_t i = 0; i < hashes.size(); ++i) {
    SAtlasPlacedImage placed;
    placed.uiHash = hashes[i];
    placed.uiPage = static_cast<u32>(i % static_cast<size_t>(std::max(iPages, 1)));
    placed.iX = static_cast<int>(i) * 8;
    placed.iWidth = 8;
    placed.iHeight = 8;
    placed.iFrameWidth = 10;
    placed.iFrameHeight = 12;
    placed.iAnchorX = 1;
    placed.iAnchorY = 2;
    packed.placed.push_back(placed);
  }
  return AtlasWriteTable(packed, base);
}

std::vector<u8> page(u32 uiColor) {
  return KvTestEncodeImage(std::vector<uint32_t>(64 * 32, uiColor), 64, 32, ETestImageFormat::PNG);
}

using AtlasTest = GraphicsAssetsTest;

// Hashes above and below 0x80000000 are ordered as signed values; the search finds each and nothing else.
TEST_F(AtlasTest, SignedDescendingSearchFindsEveryEntry) {
  writeLoose("Atlases/Signed.atf", table("Signed", {0x7FFFFFFFu, 0x00000001u, 0x80000000u}, 2));
  writeLoose("Atlases/Signed_0.png", page(0xFFFF0000u));
  writeLoose("Atlases/Signed_1.png", page(0xFF00FF00u));
  ClAtlasMgr::actualLoadAtlasSync("Atlases/Signed", "Atlases/", "SignedAtlas");
  for (u32 uiHash : {0x7FFFFFFFu, 0x00000001u, 0x80000000u}) {
    SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("SignedAtlas", uiHash);
    ASSERT_NE(pEntry, nullptr) << std::hex << uiHash;
    EXPECT_EQ(pEntry->mp_pAtlasTexInfo->mp_uiNameHash, uiHash);
    EXPECT_EQ(ClAtlasMgr::getAtlasEntryByHash(KvStrHash("SignedAtlas"), uiHash), pEntry);
  }
  SAtlasEntry* pSecond = ClAtlasMgr::getAtlasEntry("SignedAtlas", 0x00000001u);
  EXPECT_EQ(pSecond->mp_pTexture, ClTextureMgr::findTexture("Atlases/Signed_1"));
  EXPECT_EQ(pSecond->mp_pAtlasTexInfo->mp_fFrameHeight, 12.0f);
  EXPECT_EQ(pSecond->mp_pAtlasTexInfo->mp_fAnchorY, 2.0f);
  EXPECT_FLOAT_EQ(pSecond->mp_pAtlasTexInfo->mp_fU0, 8.0f / 64.0f);
  for (u32 uiHash : {0u, 2u, 0x7FFFFFFEu, 0x80000001u, 0xFFFFFFFFu}) {
    EXPECT_EQ(ClAtlasMgr::getAtlasEntry("SignedAtlas", uiHash), nullptr) << std::hex << uiHash;
  }
}

// The search as the atlas format defines it: larger signed hashes at lower indices, the first mid that matches.
i32 definedSearch(const SAtlasFileInfo* pAtlas, u32 uiHash) {
  i32 iLo = 0;
  i32 iHi = pAtlas->mp_daEntries.getCount() - 1;
  while (iLo <= iHi) {
    const i32 iMid = (iLo + iHi) / 2;
    const i32 iKey = static_cast<i32>(pAtlas->mp_daEntries[iMid].mp_pAtlasTexInfo->mp_uiNameHash);
    if (iKey == static_cast<i32>(uiHash)) return iMid;
    if (iKey > static_cast<i32>(uiHash)) {
      iLo = iMid + 1;
    } else {
      iHi = iMid - 1;
    }
  }
  return -1;
}

// Atlases whose images share hashes (names equal but for case, or colliding) load, and every look-up answers the
// very entry the search over the table answers, through the index by name and by hash alike.
TEST_F(AtlasTest, DuplicateHashesAnswerTheEntryTheSearchFinds) {
  struct SCase {
    const char* pWhat;
    std::vector<u32> hashes;  // descending as signed values
  };
  std::vector<SCase> cases = {
      {"pairs", {9u, 9u, 7u, 7u, 5u, 3u, 3u}},
      {"a run at the start", {8u, 8u, 8u, 8u, 8u, 6u, 4u, 2u}},
      {"a run at the end", {8u, 6u, 4u, 2u, 2u, 2u, 2u, 2u, 2u}},
      {"all equal", std::vector<u32>(17, 0x80000000u)},
      {"across the sign", {0x7FFFFFFFu, 0x7FFFFFFFu, 0u, 0u, 0u, 0xFFFFFFFFu, 0x80000000u, 0x80000000u}},
      {"a thousand with runs", {}},
  };
  for (u32 i = 0; cases.back().hashes.size() < 1000; ++i) {
    const u32 uiHash = KvStrHash(("Image" + std::to_string(i)).c_str());
    cases.back().hashes.insert(cases.back().hashes.end(), i % 5 == 0 ? 1 + i % 4 : 1, uiHash);
  }
  std::sort(cases.back().hashes.begin(), cases.back().hashes.end(),
            [](u32 a, u32 b) { return static_cast<i32>(a) > static_cast<i32>(b); });
  writeLoose("Dup_0.png", page(0xFF0000FFu));
  for (size_t iCase = 0; iCase < cases.size(); ++iCase) {
    const SCase& c = cases[iCase];
    SCOPED_TRACE(c.pWhat);
    const std::string key = "Dup" + std::to_string(iCase);
    writeLoose(key + ".atf", table("Dup", c.hashes, 1));
    ClAtlasMgr::actualLoadAtlasSync(key.c_str(), nullptr, nullptr);
    const SAtlasFileInfo* pAtlas = ClAtlasMgr::findAtlas(KvStrHash(key.c_str()));
    ASSERT_NE(pAtlas, nullptr);
    std::vector<u32> probes = c.hashes;
    for (u32 uiHash : c.hashes) {
      probes.push_back(uiHash + 1);
      probes.push_back(uiHash - 1);
    }
    for (u32 uiHash : probes) {
      const i32 iExpected = definedSearch(pAtlas, uiHash);
      ASSERT_EQ(ClAtlasMgr::findEntryIndex(pAtlas, uiHash), iExpected) << std::hex << uiHash;
      ASSERT_EQ(ClAtlasMgr::searchEntryIndex(pAtlas, uiHash), iExpected) << std::hex << uiHash;
      const SAtlasEntry* pExpected = iExpected >= 0 ? &pAtlas->mp_daEntries[iExpected] : nullptr;
      ASSERT_EQ(ClAtlasMgr::getAtlasEntry(key.c_str(), uiHash), pExpected) << std::hex << uiHash;
      ASSERT_EQ(ClAtlasMgr::getAtlasEntryByHash(KvStrHash(key.c_str()), uiHash), pExpected) << std::hex << uiHash;
    }
  }
}

// Look-ups that switch between atlases, and an atlas loaded again after terminate, answer from the right atlas.
TEST_F(AtlasTest, LookUpsFollowTheAtlasTheyName) {
  writeLoose("Sw_0.png", page(0xFF0000FFu));
  writeLoose("SwA.atf", table("Sw", {30u, 10u}, 1));
  writeLoose("SwB.atf", table("Sw", {20u}, 1));
  ClAtlasMgr::actualLoadAtlasSync("SwA", nullptr, nullptr);
  ClAtlasMgr::actualLoadAtlasSync("SwB", nullptr, nullptr);
  for (int iRound = 0; iRound < 2; ++iRound) {
    EXPECT_NE(ClAtlasMgr::getAtlasEntry("SwA", 10u), nullptr);
    EXPECT_EQ(ClAtlasMgr::getAtlasEntry("SwB", 10u), nullptr);
    EXPECT_EQ(ClAtlasMgr::getAtlasEntryByHash(KvStrHash("SwA"), 20u), nullptr);
    EXPECT_NE(ClAtlasMgr::getAtlasEntryByHash(KvStrHash("SwB"), 20u), nullptr);
    EXPECT_EQ(ClAtlasMgr::getAtlasEntry("swa", 20u), nullptr) << "a name equal but for case is the same key";
    EXPECT_NE(ClAtlasMgr::getAtlasEntry("swb", 20u), nullptr);
  }
  ASSERT_NE(ClAtlasMgr::getAtlasEntry("SwA", 10u), nullptr);
  ClAtlasMgr::terminate();
  EXPECT_KV_FATAL(ClAtlasMgr::getAtlasEntry("SwA", 10u), "Atlas file not found [SwA]\n");
  EXPECT_KV_FATAL(ClAtlasMgr::getAtlasEntryByHash(KvStrHash("SwA"), 10u), "Atlas file not found");
  writeLoose("SwA.atf", table("Sw", {40u}, 1));
  ClAtlasMgr::actualLoadAtlasSync("SwA", nullptr, nullptr);
  EXPECT_EQ(ClAtlasMgr::getAtlasEntry("SwA", 10u), nullptr);
  EXPECT_NE(ClAtlasMgr::getAtlasEntryByHash(KvStrHash("SwA"), 40u), nullptr);
}

// An unknown atlas is fatal (with the key's name, or without it by hash); an unknown image answers null.
TEST_F(AtlasTest, UnknownAtlasesAreFatalUnknownImagesNull) {
  EXPECT_KV_FATAL(ClAtlasMgr::getAtlasEntry("TexturesUIAtlas", 1u), "Atlas file not found [TexturesUIAtlas]\n");
  EXPECT_KV_FATAL(ClAtlasMgr::getAtlasEntryByHash(0x2781FFBDu, 1u), "Atlas file not found");
  writeLoose("Empty.atf", table("Empty", {}, 1));
  writeLoose("Empty_0.png", page(0xFF0000FFu));
  ClAtlasMgr::actualLoadAtlasSync("Empty", nullptr, nullptr);
  EXPECT_EQ(ClAtlasMgr::getAtlasEntry("Empty", 0x12345678u), nullptr);
  EXPECT_NE(ClTextureMgr::findTexture("Empty_0"), nullptr) << "no prefix: \"<base>_<i>\" at the data root";
  EXPECT_EQ(ClAtlasMgr::findAtlas(KvStrHash("Empty"))->mp_daTextures.getCount(), 1);
}

// A key already loaded is not read again; freeing an atlas unloads its pages.
TEST_F(AtlasTest, AKeyIsLoadedOnce) {
  writeLoose("Once.atf", table("Once", {5u}, 1));
  writeLoose("Pages/Once_0.png", page(0xFF0000FFu));
  ClAtlasMgr::actualLoadAtlasSync("Once", "Pages/", "OnceAtlas");
  std::filesystem::remove(m_root + "/Once.atf");
  ClAtlasMgr::actualLoadAtlasSync("Once", "Pages/", "OnceAtlas");
  EXPECT_NE(ClAtlasMgr::getAtlasEntry("OnceAtlas", 5u), nullptr);
  ClAtlasMgr::terminate();
  EXPECT_EQ(ClTextureMgr::findTexture("Pages/Once_0"), nullptr);
}

// Offsets, counts and indices are checked against the file before they are trusted: a bad file is reported and
// refused with the fatal error naming it. A missing page is fatal too.
TEST_F(AtlasTest, BadFilesAreRefusedNamingThem) {
  writeLoose("Bad_0.png", page(0xFF0000FFu));
  const std::vector<u8> good = table("Bad", {9u, 7u, 3u}, 1);
  const u32 uiTable = KvTestU32At(good, 0);
  const u32 uiFirstRecord = KvTestU32At(good, uiTable);
  struct SCase {
    const char* pWhat;
    std::vector<u8> bytes;
  };
  std::vector<SCase> cases;
  cases.push_back({"truncated", std::vector<u8>(good.begin(), good.begin() + 20)});
  cases.push_back({"cut in a record", std::vector<u8>(good.begin(), good.end() - 4)});
  std::vector<u8> bytes = good;
  KvTestPutU32At(&bytes, 0, 0xFFFFFFF0u);
  cases.push_back({"table offset", bytes});
  bytes = good;
  KvTestPutU32At(&bytes, 16, 0x40000000u);
  cases.push_back({"entry count", bytes});
  bytes = good;
  KvTestPutU32At(&bytes, uiTable + 4, static_cast<u32>(good.size()) - 8);
  cases.push_back({"record offset", bytes});
  bytes = good;
  KvTestPutU32At(&bytes, uiTable, uiFirstRecord + 2);
  cases.push_back({"misaligned record", bytes});
  bytes = good;
  KvTestPutU32At(&bytes, uiFirstRecord + 4, 1);
  cases.push_back({"texture index", bytes});
  bytes = good;
  KvTestPutU32At(&bytes, 24, 0xFFFFFFFFu);
  cases.push_back({"texture count", bytes});
  bytes = good;
  KvTestPutU32At(&bytes, uiFirstRecord, 1u);
  cases.push_back({"order", bytes});
  bytes = std::vector<u8>(good.begin(), good.begin() + 32);
  KvTestPutU32At(&bytes, 16, 0);
  std::fill(bytes.begin() + 28, bytes.end(), 'x');
  cases.push_back({"unterminated base name", bytes});
  // An all-zero file would be an atlas of no entries and no pages: its entry table lies in its header.
  cases.push_back({"all zero", std::vector<u8>(good.size(), 0)});
  bytes = table("Bad", {}, 1);
  KvTestPutU32At(&bytes, 0, 28);
  cases.push_back({"empty table over the base name", bytes});
  // Every float of a record is a finite number, of 0 or more but for the anchors (the last two).
  for (u32 uiField = 0; uiField < 10; ++uiField) {
    for (u32 uiBits : {0x7FC00000u, 0x7F800000u, 0xFF800000u, 0xBF800000u}) {
      if (uiField >= 8 && uiBits == 0xBF800000u) continue;
      bytes = good;
      KvTestPutU32At(&bytes, uiFirstRecord + 8 + 4 * uiField, uiBits);
      cases.push_back({"record float", bytes});
    }
  }
  // The base name stays below the data root.
  for (const char* pBase : {"../../../e", "Pages/../../e", "..\\e", "/etc/e", "\\e", "C:e", ".."}) {
    cases.push_back({pBase, table(pBase, {9u}, 1)});
  }
  for (const SCase& c : cases) {
    writeLoose("Bad.atf", c.bytes);
    EXPECT_KV_FATAL(ClAtlasMgr::actualLoadAtlasSync("Bad", nullptr, nullptr),
                    "ClAtlasMgr::actualLoadAtlasSync() -> Could not open Atlas file [Bad]!");
    EXPECT_EQ(ClAtlasMgr::findAtlas(KvStrHash("Bad")), nullptr) << c.pWhat;
  }
  EXPECT_KV_FATAL(ClAtlasMgr::actualLoadAtlasSync("Nowhere", nullptr, nullptr), "Could not open Atlas file [Nowhere]!");
  writeLoose("TwoPages.atf", table("TwoPages", {2u, 1u}, 2));
  writeLoose("TwoPages_0.png", page(0xFF0000FFu));
  EXPECT_KV_FATAL(ClAtlasMgr::actualLoadAtlasSync("TwoPages", nullptr, nullptr),
                  "Could NOT load texture [TwoPages_1]; texture indexing will be off!");
  EXPECT_EQ(ClTextureMgr::findTexture("TwoPages_0"), nullptr) << "pages of a refused atlas are unloaded";
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
}

// Anchors are pivots that may lie outside the frame: negative ones load as stored.
TEST_F(AtlasTest, NegativeAnchorsLoad) {
  writeLoose("Pivot_0.png", page(0xFF0000FFu));
  std::vector<u8> bytes = table("Pivot", {9u}, 1);
  const u32 uiRecord = KvTestU32At(bytes, KvTestU32At(bytes, 0));
  KvTestPutU32At(&bytes, uiRecord + 8 + 4 * 8, 0xC2C80000u);  // -100.0
  KvTestPutU32At(&bytes, uiRecord + 8 + 4 * 9, 0xBF000000u);  // -0.5
  writeLoose("Pivot.atf", bytes);
  ClAtlasMgr::actualLoadAtlasSync("Pivot", nullptr, nullptr);
  const SAtlasTexInfo* pInfo = ClAtlasMgr::getAtlasEntry("Pivot", 9u)->mp_pAtlasTexInfo;
  EXPECT_EQ(pInfo->mp_fAnchorX, -100.0f);
  EXPECT_EQ(pInfo->mp_fAnchorY, -0.5f);
}

// The header word at 8 is free: any value loads, also one that points past the end; base names may name subfolders
// and hold dots.
TEST_F(AtlasTest, TheFreeHeaderWordAndSubfolderNamesLoad) {
  writeLoose("Sub/Free.d_0.png", page(0xFF0000FFu));
  for (u32 uiWord : {0u, 12u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    std::vector<u8> bytes = table("Sub/Free.d", {9u, 7u}, 1);
    KvTestPutU32At(&bytes, 8, uiWord);
    writeLoose("Free.atf", bytes);
    ClAtlasMgr::actualLoadAtlasSync("Free", nullptr, nullptr);
    ASSERT_NE(ClAtlasMgr::getAtlasEntry("Free", 7u), nullptr) << uiWord;
    EXPECT_EQ(ClAtlasMgr::getAtlasEntry("Free", 7u)->mp_pTexture, ClTextureMgr::findTexture("Sub/Free.d_0"));
    ClAtlasMgr::terminate();
  }
}

// The sample atlases and images of the build, from an archive as the game loads them (the UI atlas's table and
// "rgb" are stored compressed and encrypted).
TEST_F(AtlasTest, SampleAtlasesLoadFromTheArchive) {
  std::vector<SMagPackInput> entries;
  for (const auto& file : std::filesystem::recursive_directory_iterator(KV_CONTENT_IMAGES_DIR)) {
    if (!file.is_regular_file() || file.path().extension() == ".txt") continue;
    std::string path = std::filesystem::relative(file.path(), KV_CONTENT_IMAGES_DIR).string();
    std::replace(path.begin(), path.end(), '/', '\\');
    const bool bEncrypt = path == "TexturesUI\\TexturesUI.atf" || path == "TexturesUI\\rgb.bmp";
    entries.push_back(packInput(path, KvReadFileBytes(file.path().string()), bEncrypt, bEncrypt));
  }
  packArchive("RWG", entries, true);
  ClAtlasMgr::actualLoadAtlasSync("TexturesUI/TexturesUI", "TexturesUI/", "TexturesUIAtlas");
  ClAtlasMgr::actualLoadAtlasSync("TexturesGame/TexturesGame", "TexturesGame/", "TexturesGameAtlas");
  SAtlasEntry* pTarget = ClAtlasMgr::getAtlasEntry("TexturesUIAtlas", KvStrHash("PlayerTarget_216"));
  ASSERT_NE(pTarget, nullptr);
  EXPECT_EQ(pTarget->mp_pAtlasTexInfo->mp_fFrameWidth, 24.0f);
  const ClTexture* pPage = pTarget->mp_pTexture;
  ASSERT_NE(pPage, nullptr);
  const SAtlasTexInfo& info = *pTarget->mp_pAtlasTexInfo;
  // The span of texture coordinates covers the image's texels (to a thousandth of a texel: the coordinates are
  // floats of a page up to 2048 wide).
  EXPECT_NEAR((info.mp_fU1 - info.mp_fU0) * pPage->mp_fWidth, info.mp_fWidth, 1e-3f);
  EXPECT_NE(ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash("Spark-0001_216")), nullptr);
  // Each atlas answers only for its own images: the game's target marker shares the UI's name, not its size.
  EXPECT_EQ(ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash("ButtonNormal")), nullptr);
  SAtlasEntry* pGameTarget = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash("PlayerTarget_216"));
  ASSERT_NE(pGameTarget, nullptr);
  EXPECT_EQ(pGameTarget->mp_pAtlasTexInfo->mp_fFrameWidth, 16.0f);
  EXPECT_NE(ClTextureMgr::loadTexture("TexturesUI/rgb"), nullptr);
  EXPECT_NE(ClTextureMgr::loadTexture("TexturesUI/screen_mask"), nullptr);
  KvStrLCpy(g_szLanguagePath, ".\\Lang\\eng\\", KV_MAX_PATH_LEN);
  EXPECT_NE(ClTextureMgr::loadLocalizedTexture("TexturesUI/Logo"), nullptr);
}

}  // namespace

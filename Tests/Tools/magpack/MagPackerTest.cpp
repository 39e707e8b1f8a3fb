#include "Tools/magpack/MagPacker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"
#include "Tools/Common/ToolText.h"

namespace {

std::vector<u8> text(const std::string& value) { return std::vector<u8>(value.begin(), value.end()); }

std::vector<u8> noise(size_t uiSize) {
  std::vector<u8> bytes(uiSize);
  u32 uiState = 12345;
  for (u8& byte : bytes) {
    uiState = uiState * 1664525u + 1013904223u;
    byte = static_cast<u8>(uiState >> 24);
  }
  return bytes;
}

void writePackerText(const std::string& path, const std::string& value) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << value;
}

std::vector<u8> readBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<u8>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const SMagPackedEntry* find(const std::vector<SMagPackedEntry>& packed, const std::string& path) {
  for (const SMagPackedEntry& entry : packed) {
    if (entry.archivePath == path) return &entry;
  }
  return nullptr;
}

TEST(MagPacker, EntriesAreStoredAsAskedWhereTheReaderAllowsIt) {
  const std::string dir = KvTestTempDir("StorageRules");
  const std::vector<u8> repeated = text(std::string(400, 'r'));
  std::vector<SMagPackedEntry> packed;
  std::string error;
  ASSERT_TRUE(MagWriteArchive(dir, "RUL", "key",
                              {packInput("Plain.txt", text("plain")), packInput("Packed.txt", repeated, true),
                               packInput("Noise.bin", noise(256), true),
                               packInput("Sealed.bin", noise(64), false, true),
                               packInput("Both.txt", repeated, true, true),
                               packInput("NoiseBoth.bin", noise(64), true, true),
                               packInput("Shaders\\Glow.FXO", repeated, true, true), packInput("Empty.txt", {})},
                              &packed, &error))
      << error;
  const SMagPackedEntry* pPacked = find(packed, "Packed.txt");
  ASSERT_NE(pPacked, nullptr);
  EXPECT_TRUE(pPacked->bCompressed);
  EXPECT_LT(pPacked->uiCompressedSize, 400u);
  // Compression that does not pay is dropped; encryption asked for is kept.
  EXPECT_FALSE(find(packed, "Noise.bin")->bCompressed);
  EXPECT_FALSE(find(packed, "NoiseBoth.bin")->bCompressed);
  EXPECT_TRUE(find(packed, "NoiseBoth.bin")->bEncrypted);
  EXPECT_EQ(find(packed, "Sealed.bin")->uiEncryptedSize, 64u);
  const SMagPackedEntry* pBoth = find(packed, "Both.txt");
  EXPECT_TRUE(pBoth->bCompressed && pBoth->bEncrypted);
  EXPECT_EQ(pBoth->uiEncryptedSize % 16, 0u);
  EXPECT_GE(pBoth->uiEncryptedSize, pBoth->uiCompressedSize);
  EXPECT_LE(pBoth->uiEncryptedSize, pBoth->uiFinalSize);
  // What the asynchronous loader reads stays plain.
  EXPECT_FALSE(find(packed, "Shaders\\Glow.FXO")->bCompressed);
  EXPECT_FALSE(find(packed, "Shaders\\Glow.FXO")->bEncrypted);
  for (const SMagPackedEntry& entry : packed) EXPECT_EQ(entry.uiDataOffset % 16, 0u) << entry.archivePath;

  // The table of contents: header, signed hash order, data-infos matching what was stored.
  const std::vector<u8> toc = readBytes(MagTOCFileName(dir, "RUL"));
  ASSERT_GE(toc.size(), 12u);
  const u32 uiTable = KvTestU32At(toc, 0);
  ASSERT_EQ(KvTestU32At(toc, 8), packed.size());
  i32 iPrevious = INT32_MIN;
  for (u32 i = 0; i < packed.size(); ++i) {
    const u32 uiRecord = KvTestU32At(toc, uiTable + 4 * i);
    const i32 iHash = static_cast<i32>(KvTestU32At(toc, uiRecord + 8));
    EXPECT_GE(iHash, iPrevious);
    iPrevious = iHash;
    const u32 uiInfo = KvTestU32At(toc, uiRecord);
    const SMagPackedEntry& entry = packed[i];
    EXPECT_EQ(iHash, static_cast<i32>(KvStrHash(entry.archivePath.c_str())));
    EXPECT_EQ(KvTestU32At(toc, uiInfo + offsetof(ClMagDataInfo, mp_uiCompressed)) != 0, entry.bCompressed);
    EXPECT_EQ(KvTestU32At(toc, uiInfo + offsetof(ClMagDataInfo, mp_uiEncrypted)) != 0, entry.bEncrypted);
    EXPECT_EQ(KvTestU32At(toc, uiInfo + offsetof(ClMagDataInfo, mp_uiDataOffset)), entry.uiDataOffset);
    EXPECT_EQ(KvTestU32At(toc, uiInfo + offsetof(ClMagDataInfo, mp_uiFinalSize)), entry.uiFinalSize);
  }
}

TEST(MagPacker, EntriesThatCannotBeStoredAsAskedFailThePack) {
  const std::string dir = KvTestTempDir("Refusals");
  std::vector<SMagPackedEntry> packed;
  std::string error;
  EXPECT_FALSE(MagWriteArchive(dir, "BAD", "key", {packInput("Odd.bin", noise(100), false, true)}, &packed, &error));
  EXPECT_NE(error.find("Odd.bin"), std::string::npos) << error;
  EXPECT_NE(error.find("16-byte blocks"), std::string::npos) << error;
  EXPECT_FALSE(MagWriteArchive(dir, "BAD", "key", {packInput("Tiny.txt", text("tiny"), true, true)}, &packed, &error));
  EXPECT_NE(error.find("Tiny.txt"), std::string::npos) << error;
  EXPECT_FALSE(MagWriteArchive(dir, "BAD", "", {packInput("Sealed.bin", noise(64), false, true)}, &packed, &error));
  EXPECT_NE(error.find("no key"), std::string::npos) << error;
  EXPECT_FALSE(MagWriteArchive(dir, "BAD", "a-key-longer-than-15", {packInput("A", text("a"))}, &packed, &error));
  // Names that differ only in case have one name hash.
  EXPECT_FALSE(MagWriteArchive(dir, "BAD", "",
                               {packInput("Text\\A.txt", text("a")), packInput("TEXT\\a.TXT", text("b"))}, &packed,
                               &error));
  EXPECT_NE(error.find("same name hash"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(MagTOCFileName(dir, "BAD")));
}

TEST(MagPacker, ManifestRulesChooseFlagsAndFileLinesAddEntries) {
  const std::string dir = KvTestTempDir("Manifest");
  writePackerText(dir + "/root/Text/A.txt", "a");
  writePackerText(dir + "/root/Text/Secret.txt", "s");
  writePackerText(dir + "/root/Big/Log.TXT", "l");
  writePackerText(dir + "/root/Skip/Me.txt", "x");
  writePackerText(dir + "/extra/Other.dat", "o");
  writePackerText(dir + "/pack.manifest",
            "# rules\n\n"
            "skip/* skip\n"
            "text/secret.txt compress encrypt\n"
            "*.txt compress\n"
            "file Extra\\Other.dat extra/Other.dat encrypt\n");
  SMagManifest manifest;
  std::string error;
  ASSERT_TRUE(MagReadManifest(dir + "/pack.manifest", &manifest, &error)) << error;
  ASSERT_EQ(manifest.rules.size(), 3u);
  std::vector<SMagPackInput> inputs;
  ASSERT_TRUE(MagGatherInputs(dir + "/root", manifest, &inputs, &error)) << error;
  ASSERT_EQ(inputs.size(), 4u);
  // Folder entries in path order with "\" separators, then the file lines.
  EXPECT_EQ(inputs[0].archivePath, "Big\\Log.TXT");
  EXPECT_TRUE(inputs[0].bCompress);
  EXPECT_FALSE(inputs[0].bEncrypt);
  EXPECT_EQ(inputs[1].archivePath, "Text\\A.txt");
  EXPECT_EQ(inputs[2].archivePath, "Text\\Secret.txt");
  EXPECT_TRUE(inputs[2].bCompress && inputs[2].bEncrypt);
  EXPECT_EQ(inputs[3].archivePath, "Extra\\Other.dat");
  EXPECT_TRUE(inputs[3].bEncrypt);
  EXPECT_EQ(inputs[3].bytes, text("o"));

  const auto refused = [&](const std::string& name, const std::string& contents) {
    writePackerText(dir + "/" + name, contents);
    SMagManifest ignored;
    EXPECT_FALSE(MagReadManifest(dir + "/" + name, &ignored, &error)) << name;
    return error;
  };
  EXPECT_NE(refused("bad.manifest", "*.txt compress\n*.bin zip\n").find("bad.manifest:2:7: error: unknown flag [zip]"),
            std::string::npos)
      << error;
  EXPECT_NE(refused("missing.manifest", "file A.txt nowhere.txt\n").find("missing.manifest:1:12: error: cannot read"),
            std::string::npos)
      << error;
  EXPECT_NE(refused("short.manifest", "file A.txt\n").find("short.manifest:1:11: error: a file line needs"),
            std::string::npos)
      << error;
  EXPECT_NE(refused("open.manifest", "file \"A.txt extra/Other.dat\n").find("open.manifest:1:6: error: a quoted word"),
            std::string::npos)
      << error;
  EXPECT_NE(refused("zero.manifest", std::string("*.txt comp\0ress\n", 17)).find("zero.manifest:1:11: error: the file holds a zero byte"),
            std::string::npos)
      << error;
}

// Paths with spaces, quotes and backslashes are written quoted, as the build writes the lines of generated
// files; a byte-order mark is skipped as in every text source of the tools.
TEST(MagPacker, QuotedWordsHoldSpaces) {
  const std::string dir = KvTestTempDir("Quoted manifest");
  writePackerText(dir + "/gen dir/Table one.lang", "one");
  writePackerText(dir + "/gen dir/say \"hi\".txt", "hi");
  writePackerText(dir + "/root/My Notes.txt", "n");
  writePackerText(dir + "/pack.manifest",
            std::string("\xEF\xBB\xBF\"my notes.txt\" encrypt\n") + "file " + ToolQuoteWord("Lang/eng/Strings/Table one.lang") + " " +
                ToolQuoteWord(dir + "/gen dir/Table one.lang") + " compress\n" + "file " +
                ToolQuoteWord("Text\\Say.txt") + " " + ToolQuoteWord(dir + "/gen dir/say \"hi\".txt") + " plain\n");
  SMagManifest manifest;
  std::string error;
  ASSERT_TRUE(MagReadManifest(dir + "/pack.manifest", &manifest, &error)) << error;
  ASSERT_EQ(manifest.rules.size(), 1u);
  EXPECT_EQ(manifest.rules[0].pattern, "my notes.txt");
  std::vector<SMagPackInput> inputs;
  ASSERT_TRUE(MagGatherInputs(dir + "/root", manifest, &inputs, &error)) << error;
  ASSERT_EQ(inputs.size(), 3u);
  EXPECT_EQ(inputs[0].archivePath, "My Notes.txt");
  EXPECT_TRUE(inputs[0].bEncrypt);
  EXPECT_EQ(inputs[1].archivePath, "Lang\\eng\\Strings\\Table one.lang");
  EXPECT_EQ(inputs[1].bytes, text("one"));
  EXPECT_TRUE(inputs[1].bCompress);
  EXPECT_EQ(inputs[2].archivePath, "Text\\Say.txt");
  EXPECT_EQ(inputs[2].bytes, text("hi"));
}

}  // namespace

#include "Corvane/Files/ClMagFileIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Tests/Corvane/Files/FilesTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"
#include "Tests/Support/OffsetTableTestSupport.h"
#include "Tools/magpack/MagPacker.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

const u32 gc_uiTST = KvStrHash("TST");

struct FixtureEntry {
  const char* pPath;
  bool bCompressed;
  bool bEncrypted;
};
const FixtureEntry gc_aFixtureEntries[] = {
    {"Text/Plain.txt", false, false},    {"Text/Packed.txt", true, false}, {"Text/Sealed.bin", false, true},
    {"Text/Both.txt", true, true},       {"Effects/Glow.fxo", false, false},
};

std::vector<u8> text(const std::string& value) { return std::vector<u8>(value.begin(), value.end()); }

class MagArchive : public DataRootTest {
 protected:
  // Packs an archive into the data root (or a folder below it) from (path, bytes, compress, encrypt) entries.
  void pack(const std::string& name, const std::vector<SMagPackInput>& inputs, const std::string& sub = ".") {
    std::vector<SMagPackedEntry> packed;
    std::string error;
    ASSERT_TRUE(MagWriteArchive(m_dir + "/" + sub, name, gc_pFIXTURE_KEY, inputs, &packed, &error)) << error;
  }
  // Offset in the fixture's table of contents of the data-info of an entry.
  static size_t dataInfoOffset(const std::vector<u8>& toc, const char* pPath) {
    const size_t uiInfo = KvTestTOCDataInfoOffset(toc, pPath);
    if (uiInfo != std::string::npos) return uiInfo;
    ADD_FAILURE() << pPath << " is not in the fixture";
    return 0;
  }
  static const ClMagDataInfo* info(const char* pPath) {
    std::string full = std::string(".\\") + pPath;
    std::replace(full.begin(), full.end(), '/', '\\');
    ClMagTOC* pOwner = nullptr;
    return ClMagFileIO::findOwningTOC(&pOwner, full.c_str());
  }
};

TEST_F(MagArchive, EntriesOfEveryKindRoundTripFromDiskAndFromMemory) {
  copyFixture();
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  ClMagTOC* pTOC = ClMagFileIO::findTOC(gc_uiTST);
  ASSERT_NE(pTOC, nullptr);
  EXPECT_EQ(ClMagFileIO::getEntryCount(pTOC), 5);
  EXPECT_FALSE(pTOC->mp_bUnderMagFolder);
  for (bool bInMemory : {false, true}) {
    if (bInMemory) {
      ASSERT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 1);
    }
    for (const FixtureEntry& entry : gc_aFixtureEntries) {
      SCOPED_TRACE(std::string(entry.pPath) + (bInMemory ? " in memory" : " on disk"));
      const ClMagDataInfo* pInfo = info(entry.pPath);
      ASSERT_NE(pInfo, nullptr);
      // Stored as the manifest asked; the effect stays plain although a rule asked to encode it.
      EXPECT_EQ(pInfo->mp_uiCompressed != 0, entry.bCompressed);
      EXPECT_EQ(pInfo->mp_uiEncrypted != 0, entry.bEncrypted);
      EXPECT_EQ(pInfo->mp_uiDataOffset % 16, 0u);
      std::vector<u8> bytes;
      ASSERT_EQ(readEntry(entry.pPath, &bytes), E_FILE_OK);
      EXPECT_EQ(bytes, fixtureSource(entry.pPath));
      // More than the final size: the rest is zero.
      ASSERT_EQ(readEntry(entry.pPath, &bytes, 40), E_FILE_OK);
      std::vector<u8> expected = fixtureSource(entry.pPath);
      expected.resize(expected.size() + 40, 0);
      EXPECT_EQ(bytes, expected);
    }
  }
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
}

TEST_F(MagArchive, PlainEntriesOfAnArchiveInMemoryAreServedWithoutACopy) {
  copyFixture();
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  ASSERT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 1);
  const ClMagTOC* pTOC = ClMagFileIO::findTOC(gc_uiTST);
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Text\\Plain.txt", &uiSize, &pRef), E_FILE_OK);
  EXPECT_EQ(pRef->mp_eKind, E_MAG_REF_IN_MEMORY);
  EXPECT_EQ(pRef->mp_FileHandle, nullptr);
  ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRef, uiSize, 16), 1);
  EXPECT_EQ(pRef->mp_pDestinationBuffer, pTOC->mp_pData + info("Text/Plain.txt")->mp_uiDataOffset);
  EXPECT_EQ(ClMagFileIO::read(pRef, uiSize), E_FILE_OK);
  EXPECT_EQ(std::vector<u8>(pRef->mp_pDestinationBuffer, pRef->mp_pDestinationBuffer + uiSize),
            fixtureSource("Text/Plain.txt"));
  // Close leaves the archive's bytes alone (a free of them would be caught by the sanitizer).
  EXPECT_EQ(ClMagFileIO::close(pRef), 1);

  // Asked with more than its size, the entry gets a buffer of its own.
  ASSERT_EQ(ClMagFileIO::open(".\\Text\\Plain.txt", &uiSize, &pRef), E_FILE_OK);
  ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRef, uiSize + 1, 16), 1);
  EXPECT_EQ(pRef->mp_eKind, E_MAG_REF_OWN_BUFFER);
  EXPECT_TRUE(pRef->mp_pDestinationBuffer < pTOC->mp_pData ||
              pRef->mp_pDestinationBuffer >= pTOC->mp_pData + pTOC->mp_uiDataSize);
  EXPECT_EQ(ClMagFileIO::close(pRef), 1);
}

TEST_F(MagArchive, OversizedReadsOfTheLastEntryStayInsideTheDataFile) {
  // One plain entry: its bytes end the data file, so a read of more would run past it.
  const std::vector<u8> bytes = patternBytes(1000);
  pack("ONE", {packInput("Last.bin", bytes)});
  ASSERT_EQ(ClMagFileIO::loadTOC("ONE"), 1);
  std::vector<u8> expected = bytes;
  expected.resize(bytes.size() + 5000, 0);
  for (bool bInMemory : {false, true}) {
    if (bInMemory) {
      ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash("ONE")), 1);
    }
    std::vector<u8> got;
    ASSERT_EQ(readEntry("Last.bin", &got, 5000), E_FILE_OK);
    EXPECT_EQ(got, expected);
  }
  // Loose files as well.
  writeBytes(m_dir + "/Loose.bin", bytes);
  std::vector<u8> got;
  ASSERT_EQ(readEntry("Loose.bin", &got, 5000), E_FILE_OK);
  EXPECT_EQ(got, expected);
}

TEST_F(MagArchive, TheMagFolderIsTheFallbackForBothFiles) {
  copyFixture("Mag/");
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  const ClMagTOC* pTOC = ClMagFileIO::findTOC(gc_uiTST);
  EXPECT_TRUE(pTOC->mp_bUnderMagFolder);
  EXPECT_STREQ(pTOC->mp_szDataFilePath, ".\\Mag\\TST_win32.mdf");
  EXPECT_STREQ(pTOC->mp_szTOCFilePath, ".\\Mag\\TST_win32.mtc");
  std::vector<u8> bytes;
  ASSERT_EQ(readEntry("Text/Both.txt", &bytes), E_FILE_OK);
  EXPECT_EQ(bytes, fixtureSource("Text/Both.txt"));
  ClMagFileIO::shutdown();

  // No data file anywhere: the table of contents still loads from Mag/, the entries do not open.
  std::filesystem::remove(m_dir + "/Mag/TST_win32.mdf");
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 0);
  EXPECT_EQ(readEntry("Text/Both.txt", &bytes), E_FILE_CANNOT_OPEN);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(".\\Mag\\TST_win32.mdf"), std::string::npos);
  EXPECT_EQ(ClMagFileIO::fileExists(".\\Text\\Both.txt", 0), 1);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);

  // The table of contents in the root and no data file anywhere: the table loads from the root and the
  // messages name the data file that is missing there, not a table of contents under Mag/.
  ClMagFileIO::shutdown();
  std::filesystem::rename(m_dir + "/Mag/TST_win32.mtc", m_dir + "/TST_win32.mtc");
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  EXPECT_FALSE(ClMagFileIO::findTOC(gc_uiTST)->mp_bUnderMagFolder);
  EXPECT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 0);
  EXPECT_EQ(readEntry("Text/Both.txt", &bytes), E_FILE_CANNOT_OPEN);
  std::string messages = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("Mag data file [.\\TST_win32.mdf] could not be opened"), std::string::npos) << messages;
  EXPECT_EQ(messages.find(".mtc"), std::string::npos) << messages;
  EXPECT_NE(std::string(ClMagFileIO::getLastProblem()).find(".\\TST_win32.mdf"), std::string::npos);

  // Neither file: nothing loads, the message names both places, and the slot is given back.
  ClMagFileIO::shutdown();
  std::filesystem::remove_all(m_dir + "/Mag");
  std::filesystem::remove(m_dir + "/TST_win32.mtc");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClMagFileIO::loadTOC("TST"), 0);
  messages = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(messages, "Mag archive [TST] not found: neither [.\\TST_win32.mtc] nor [.\\Mag\\TST_win32.mtc] exists\n");
  EXPECT_EQ(g_MagTOCPool.getCount(), 0);
}

// A loose file that is there but cannot be read (a folder in its place, which stops root as well) is told apart from
// one that is nowhere, which names the tables of contents that lack it; probes for loose files say nothing.
TEST_F(MagArchive, LooseFilesThatCannotBeOpenedAreToldApart) {
  copyFixture();
  pack("TWO", {packInput("Other.txt", text("other"))});
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  ASSERT_EQ(ClMagFileIO::loadTOC("TWO"), 1);
  std::filesystem::create_directory(m_dir + "/Folder.txt");
  std::vector<u8> bytes;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(readEntry("Nowhere.txt", &bytes), E_FILE_CANNOT_OPEN);
  EXPECT_STREQ(ClMagFileIO::getLastProblem(),
               "it is not in the archives [.\\TST_win32.mtc], [.\\TWO_win32.mtc] and not on disk");
  EXPECT_EQ(readEntry("Folder.txt", &bytes), E_FILE_CANNOT_OPEN);
  EXPECT_STREQ(ClMagFileIO::getLastProblem(),
               "[.\\Folder.txt] could not be opened: it is a folder");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Where a file lives on disk, as every loader's line about refused bytes names it: an entry by its path and its
// archive's data file, a loose file by the path the system opens (names matched without regard to case), a path found
// nowhere by the tables of contents that lack it.
TEST_F(MagArchive, LocationsNameTheFileOnDisk) {
  copyFixture();
  std::filesystem::create_directories(m_dir + "/Loose");
  writeBytes(m_dir + "/Loose/Mixed.txt", text("loose"));
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  const struct {
    const char* pPath;
    const char* pLocation;
  } aRows[] = {
      {".\\Text\\Packed.txt", "entry [Text\\Packed.txt] of Mag data file [.\\TST_win32.mdf]"},
      {".\\loose\\MIXED.txt", "loose file [./Loose/Mixed.txt]"},
      {".\\Nowhere.txt", "[.\\Nowhere.txt], which is not in the archive [.\\TST_win32.mtc] and not on disk"},
  };
  for (const auto& row : aRows) {
    char szText[512];
    EXPECT_STREQ(ClMagFileIO::describeLocation(row.pPath, szText, sizeof(szText)), row.pLocation) << row.pPath;
  }
  // In the data file kept in memory it is still the data file that is named.
  ASSERT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 1);
  char szText[512];
  EXPECT_STREQ(ClMagFileIO::describeLocation(".\\Text\\Plain.txt", szText, sizeof(szText)),
               "entry [Text\\Plain.txt] of Mag data file [.\\TST_win32.mdf]");
}

TEST_F(MagArchive, LookUpsFindTheFirstLoadedArchiveAndEveryHashInSignedOrder) {
  // Names whose hashes have the top bit set and clear: sorted as unsigned, the binary search would miss some.
  std::vector<SMagPackInput> inputs;
  i32 iNegative = 0;
  for (i32 i = 0; i < 40; ++i) {
    const std::string path = "Data\\Item" + std::to_string(i) + ".txt";
    iNegative += static_cast<i32>(KvStrHash(path.c_str())) < 0 ? 1 : 0;
    inputs.push_back(packInput(path, text("A" + std::to_string(i)), i % 3 == 1, false));
  }
  ASSERT_GT(iNegative, 5);
  ASSERT_LT(iNegative, 35);
  inputs.push_back(packInput("Shared\\Same.txt", text("from AAA")));
  pack("AAA", inputs);
  pack("BBB", {packInput("Shared\\Same.txt", text("from BBB")), packInput("Only\\B.txt", text("b"))});

  ASSERT_EQ(ClMagFileIO::loadTOC("AAA"), 1);
  ASSERT_EQ(ClMagFileIO::loadTOC("BBB"), 1);
  for (i32 i = 0; i < 40; ++i) {
    std::vector<u8> bytes;
    ASSERT_EQ(readEntry("Data/Item" + std::to_string(i) + ".txt", &bytes), E_FILE_OK) << i;
    EXPECT_EQ(bytes, text("A" + std::to_string(i)));
  }
  std::vector<u8> bytes;
  ASSERT_EQ(readEntry("Shared/Same.txt", &bytes), E_FILE_OK);
  EXPECT_EQ(bytes, text("from AAA"));
  ClMagTOC* pOwner = nullptr;
  ASSERT_NE(ClMagFileIO::findOwningTOC(&pOwner, ".\\Only\\B.txt"), nullptr);
  EXPECT_EQ(pOwner, ClMagFileIO::findTOC(KvStrHash("BBB")));
  // Case does not matter to the name hash; the separator does.
  EXPECT_EQ(ClMagFileIO::fileExists(".\\SHARED\\same.TXT", 0), 1);
  EXPECT_EQ(ClMagFileIO::fileExists(".\\Shared/Same.txt", 0), 0);

  ASSERT_EQ(ClMagFileIO::unloadTOC(KvStrHash("AAA")), 1);
  ASSERT_EQ(readEntry("Shared/Same.txt", &bytes), E_FILE_OK);
  EXPECT_EQ(bytes, text("from BBB"));
}

TEST_F(MagArchive, ATableNotSortedBySignedHashIsRefused) {
  std::vector<SMagPackInput> inputs;
  for (i32 i = 0; i < 12; ++i) inputs.push_back(packInput("N" + std::to_string(i), text("x")));
  pack("SRT", inputs);
  // Reorder the record table by unsigned hash, as a packer comparing unsigned values would.
  std::vector<u8> toc = readBytes(m_dir + "/SRT_win32.mtc");
  const u32 uiTable = KvTestU32At(toc, 0);
  const u32 uiCount = KvTestU32At(toc, 8);
  std::vector<u32> records;
  for (u32 i = 0; i < uiCount; ++i) records.push_back(KvTestU32At(toc, uiTable + 4 * i));
  std::sort(records.begin(), records.end(),
            [&](u32 a, u32 b) { return KvTestU32At(toc, a + 8) < KvTestU32At(toc, b + 8); });
  for (u32 i = 0; i < uiCount; ++i) KvTestPutU32At(&toc, uiTable + 4 * i, records[i]);
  writeBytes(m_dir + "/SRT_win32.mtc", toc);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClMagFileIO::loadTOC("SRT"), 0);
  const std::string message = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find(".\\SRT_win32.mtc"), std::string::npos) << message;
  EXPECT_NE(message.find("not sorted by signed name hash"), std::string::npos) << message;
}

TEST_F(MagArchive, AnEmptyTableLoadsFindsNothingAndLooseFilesStillOpen) {
  pack("NIL", {});
  ASSERT_EQ(ClMagFileIO::loadTOC("NIL"), 1);
  EXPECT_EQ(ClMagFileIO::getEntryCount(ClMagFileIO::findTOC(KvStrHash("NIL"))), 0);
  ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash("NIL")), 1);

  const std::vector<u8> bytes = patternBytes(300);
  writeBytes(m_dir + "/Loose/File.bin", bytes);
  EXPECT_EQ(ClMagFileIO::fileExists(".\\Loose\\File.bin", 0), 0);
  EXPECT_EQ(ClMagFileIO::fileExists(".\\Loose\\File.bin", 1), 1);
  ClMagTOC* pOwner = reinterpret_cast<ClMagTOC*>(1);
  EXPECT_EQ(ClMagFileIO::findOwningTOC(&pOwner, ".\\Loose\\File.bin"), nullptr);
  EXPECT_EQ(pOwner, nullptr);
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Loose\\File.bin", &uiSize, &pRef), E_FILE_OK);
  EXPECT_EQ(pRef->mp_eKind, E_MAG_REF_LOOSE);
  EXPECT_EQ(uiSize, 300u);
  ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRef, uiSize, 16), 1);
  ASSERT_EQ(ClMagFileIO::read(pRef, uiSize), E_FILE_OK);
  EXPECT_EQ(std::vector<u8>(pRef->mp_pDestinationBuffer, pRef->mp_pDestinationBuffer + uiSize), bytes);
  // The bytes may be taken over before close.
  u8* pKept = pRef->mp_pDestinationBuffer;
  pRef->mp_pDestinationBuffer = nullptr;
  EXPECT_EQ(ClMagFileIO::closeFileHandle(pRef), E_FILE_OK);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
  EXPECT_EQ(ClMagFileIO::close(pRef), 1);
  KvAlignedFree(pKept);
  EXPECT_EQ(ClMagFileIO::open(".\\Loose\\Missing.bin", &uiSize, &pRef), E_FILE_CANNOT_OPEN);
  EXPECT_EQ(pRef, nullptr);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
}

void countCall(void* pArgument) { ++*static_cast<i32*>(pArgument); }

TEST_F(MagArchive, LoadingAndUnloadingFollowTheSlotRules) {
  copyFixture();
  EXPECT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 0);  // before its table of contents
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  const ClMagTOC* pTOC = ClMagFileIO::findTOC(gc_uiTST);
  const u8* pImage = pTOC->mp_pTOC;
  EXPECT_EQ(ClMagFileIO::loadTOC("TST"), 0);
  EXPECT_EQ(pTOC->mp_pTOC, pImage);
  EXPECT_EQ(g_MagTOCPool.getCount(), 1);
  ASSERT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 1);
  EXPECT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 0);
  EXPECT_EQ(ClMagFileIO::unloadTOC(KvStrHash("XYZ")), 0);
  EXPECT_EQ(ClMagFileIO::addUnloadCallback(KvStrHash("XYZ"), false, &countCall, nullptr), 0);

  i32 iTOCCalls = 0;
  i32 iDataCalls = 0;
  EXPECT_EQ(ClMagFileIO::addUnloadCallback(gc_uiTST, false, &countCall, &iTOCCalls), 1);
  EXPECT_EQ(ClMagFileIO::addUnloadCallback(gc_uiTST, false, &countCall, &iTOCCalls), 1);
  EXPECT_EQ(ClMagFileIO::addUnloadCallback(gc_uiTST, true, &countCall, &iDataCalls), 1);
  // Table of contents unloaded, data kept: the slot stays, entries are no longer found, and a new load of the
  // table reuses the slot.
  EXPECT_EQ(ClMagFileIO::unloadTOC(gc_uiTST), 1);
  EXPECT_EQ(iTOCCalls, 2);
  EXPECT_EQ(iDataCalls, 0);
  EXPECT_EQ(g_MagTOCPool.getCount(), 1);
  EXPECT_EQ(ClMagFileIO::fileExists(".\\Text\\Plain.txt", 0), 0);
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  EXPECT_EQ(g_MagTOCPool.getCount(), 1);
  std::vector<u8> bytes;
  ASSERT_EQ(readEntry("Text/Plain.txt", &bytes), E_FILE_OK);
  EXPECT_EQ(ClMagFileIO::unloadDataFile(gc_uiTST), 1);
  EXPECT_EQ(iDataCalls, 1);
  EXPECT_EQ(ClMagFileIO::unloadTOC(gc_uiTST), 1);
  EXPECT_EQ(iTOCCalls, 2);  // the lists were emptied when they ran
  EXPECT_EQ(g_MagTOCPool.getCount(), 0);

  // 32 archives at most.
  for (i32 i = 0; i < gc_iMAX_MAG_ARCHIVES; ++i) {
    pack("A" + std::to_string(i), {packInput("x", text("x"))});
    ASSERT_EQ(ClMagFileIO::loadTOC(("A" + std::to_string(i)).c_str()), 1);
  }
  pack("ONEMORE", {packInput("x", text("x"))});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClMagFileIO::loadTOC("ONEMORE"), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("ONEMORE"), std::string::npos);
}

TEST_F(MagArchive, ReferencesRunOutAndClosedReferencesAreLeftAlone) {
  copyFixture();
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  ASSERT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 1);
  std::vector<SMagRef*> refs;
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  for (i32 i = 0; i < gc_iMAX_MAG_REFS; ++i) {
    ASSERT_EQ(ClMagFileIO::open(".\\Text\\Plain.txt", &uiSize, &pRef), E_FILE_OK);
    refs.push_back(pRef);
  }
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClMagFileIO::open(".\\Text\\Plain.txt", &uiSize, &pRef), E_FILE_NO_REFERENCE);
  EXPECT_EQ(ClMagFileIO::open(".\\Loose.txt", &uiSize, &pRef), E_FILE_NO_REFERENCE);
  ::testing::internal::GetCapturedStderr();
  for (SMagRef* pOpen : refs) EXPECT_EQ(ClMagFileIO::close(pOpen), 1);

  SMagRef* pClosed = refs.front();
  EXPECT_EQ(ClMagFileIO::close(pClosed), E_FILE_REFERENCE_NOT_IN_USE);
  EXPECT_EQ(ClMagFileIO::read(pClosed, 10), E_FILE_REFERENCE_NOT_IN_USE);
  EXPECT_EQ(ClMagFileIO::closeFileHandle(pClosed), E_FILE_REFERENCE_NOT_IN_USE);
  EXPECT_EQ(ClMagFileIO::allocReadBuffers(pClosed, 10, 16), 0);
  EXPECT_EQ(ClMagFileIO::close(nullptr), E_FILE_BAD_ARGUMENT);
  EXPECT_EQ(ClMagFileIO::read(nullptr, 10), E_FILE_BAD_ARGUMENT);
  EXPECT_EQ(ClMagFileIO::closeFileHandle(nullptr), E_FILE_BAD_ARGUMENT);
  EXPECT_EQ(ClMagFileIO::allocReadBuffers(nullptr, 10, 16), 0);

  // Owners that close after shutdown find their references already given back.
  ClMagFileIO::unloadDataFile(gc_uiTST);
  ASSERT_EQ(ClMagFileIO::open(".\\Text\\Both.txt", &uiSize, &pRef), E_FILE_OK);
  ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRef, uiSize, 16), 1);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 1);
  ClMagFileIO::shutdown();
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  EXPECT_EQ(ClMagFileIO::close(pRef), E_FILE_REFERENCE_NOT_IN_USE);
}

TEST_F(MagArchive, KeysAreRequiredForEncryptedEntriesAndMustMatch) {
  copyFixture();
  EXPECT_KV_ASSERT(ClMagFileIO::setArchiveKey("TST", "sixteen-chars-xx"), "Mag archive keys are 1 to 15 characters!");
  ClMagFileIO::setArchiveKey("TST", nullptr);
  EXPECT_KV_FATAL(ClMagFileIO::loadTOC("TST"),
                  "No encryption key passed-in for Mag TOC file [.\\TST_win32.mtc]; this Mag TOC file has encrypted "
                  "files and MUST have a valid key!");
  ClMagFileIO::shutdown();

  // A wrong key: the compressed ciphertext no longer inflates, and the read says so.
  ClMagFileIO::setArchiveKey("TST", "not-the-key");
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  std::vector<u8> bytes;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(readEntry("Text/Both.txt", &bytes), E_FILE_DAMAGED);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(".\\TST_win32.mdf"), std::string::npos);
  ClMagFileIO::shutdown();

  // The IV depends on the name hash: the same bytes packed under two names give two ciphertexts.
  const std::vector<u8> block = patternBytes(64);
  pack("IVS", {packInput("One.bin", block, false, true), packInput("Two.bin", block, false, true)});
  const std::vector<u8> data = readBytes(m_dir + "/IVS_win32.mdf");
  ASSERT_EQ(data.size(), 128u);
  EXPECT_NE(std::vector<u8>(data.begin(), data.begin() + 64), std::vector<u8>(data.begin() + 64, data.end()));
  ClMagFileIO::setArchiveKey("IVS", gc_pFIXTURE_KEY);
  ASSERT_EQ(ClMagFileIO::loadTOC("IVS"), 1);
  for (const char* pName : {"One.bin", "Two.bin"}) {
    ASSERT_EQ(readEntry(pName, &bytes), E_FILE_OK);
    EXPECT_EQ(bytes, block);
  }
}

TEST_F(MagArchive, UnloadingAnArchiveWithAnOpenReferenceIsAnAssertion) {
  copyFixture();
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  ASSERT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 1);
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Text\\Plain.txt", &uiSize, &pRef), E_FILE_OK);
  EXPECT_KV_ASSERT(ClMagFileIO::unloadDataFile(gc_uiTST), "Mag archive unloaded while a reference into it is open!");
  EXPECT_EQ(ClMagFileIO::close(pRef), 1);
  EXPECT_EQ(ClMagFileIO::unloadDataFile(gc_uiTST), 1);
}

// Damaged copies of the fixture: each is refused with a message naming the file, and nothing is read out of
// bounds (the sanitizer build runs these too).
struct Damage {
  const char* pName;
  std::function<void(std::vector<u8>* pTOC, std::vector<u8>* pData, size_t (*pfnInfo)(const std::vector<u8>&, const char*))> apply;
  const char* pStage;    // "load", "open" or "read": where the damage must be caught
  const char* pMessage;  // part of the message
};

TEST_F(MagArchive, DamagedArchivesAreRefusedWithAClearMessage) {
  using InfoFn = size_t (*)(const std::vector<u8>&, const char*);
  std::vector<Damage> damages = {
      {"toc shorter than its header", [](auto* pTOC, auto*, InfoFn) { pTOC->resize(5); }, "load", "12-byte header"},
      {"toc zeroed", [](auto* pTOC, auto*, InfoFn) { std::fill(pTOC->begin(), pTOC->end(), 0); }, "load",
       "record table overlaps the header"},
      {"toc cut in its records",
       [](auto* pTOC, auto*, InfoFn) { pTOC->resize(KvTestU32At(*pTOC, KvTestU32At(*pTOC, 0)) + 4); }, "load",
       "outside the file"},
      {"toc cut in its data-infos", [](auto* pTOC, auto*, InfoFn) { pTOC->resize(pTOC->size() - 10); }, "load",
       "data-info lies outside"},
      {"table offset past the end", [](auto* pTOC, auto*, InfoFn) { KvTestPutU32At(pTOC, 0, 0xFFFFFFF0u); }, "load",
       "record table lies outside"},
      {"entry count past the end", [](auto* pTOC, auto*, InfoFn) { KvTestPutU32At(pTOC, 8, 0x3FFFFFFFu); }, "load",
       "record table lies outside"},
      // A count no table can hold is no empty table.
      {"entry count all ones", [](auto* pTOC, auto*, InfoFn) { KvTestPutU32At(pTOC, 8, 0xFFFFFFFFu); }, "load",
       "entry count (0xFFFFFFFF) is negative"},
      {"entry count of the sign bit alone", [](auto* pTOC, auto*, InfoFn) { KvTestPutU32At(pTOC, 8, 0x80000000u); },
       "load", "entry count (0x80000000) is negative"},
      {"record offset past the end",
       [](auto* pTOC, auto*, InfoFn) {
         KvTestPutU32At(pTOC, KvTestU32At(*pTOC, 0) + 4, static_cast<u32>(pTOC->size()));
       },
       "load", "a record lies outside"},
      {"encrypted size above the final size",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         const size_t uiInfo = pfnInfo(*pTOC, "Text/Sealed.bin");
         KvTestPutU32At(pTOC, uiInfo + 16, KvTestU32At(*pTOC, uiInfo + 24) - 16);
       },
       "load", "encrypted entry's size"},
      {"data-info offset past the end",
       [](auto* pTOC, auto*, InfoFn) {
         const u32 uiRecord = KvTestU32At(*pTOC, KvTestU32At(*pTOC, 0));
         KvTestPutU32At(pTOC, uiRecord, static_cast<u32>(pTOC->size()) - 8);
       },
       "load", "data-info lies outside"},
      {"compressed size above the final size",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         const size_t uiInfo = pfnInfo(*pTOC, "Text/Packed.txt");
         KvTestPutU32At(pTOC, uiInfo + 20, KvTestU32At(*pTOC, uiInfo + 16) + 1);
       },
       "load", "compressed entry's size"},
      // Sizes the stored bytes cannot give are refused before anything is allocated at them.
      {"encrypted entry claiming far more than its ciphertext",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         KvTestPutU32At(pTOC, pfnInfo(*pTOC, "Text/Sealed.bin") + 16, 0x40000000u);
       },
       "load", "encrypted entry's size"},
      {"encrypted entry a whole block longer than its ciphertext",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         const size_t uiInfo = pfnInfo(*pTOC, "Text/Sealed.bin");
         KvTestPutU32At(pTOC, uiInfo + 16, KvTestU32At(*pTOC, uiInfo + 24) + 16);
       },
       "load", "encrypted entry's size"},
      {"compressed entry claiming more than its stream can inflate to",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         KvTestPutU32At(pTOC, pfnInfo(*pTOC, "Text/Both.txt") + 16, 0x40000000u);
       },
       "load", "compressed entry's size"},
      {"encrypted size not whole blocks",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         const size_t uiInfo = pfnInfo(*pTOC, "Text/Sealed.bin");
         KvTestPutU32At(pTOC, uiInfo + 24, 60);
       },
       "load", "encrypted entry's size"},
      {"stored bytes past the data file",
       [](auto* pTOC, auto* pData, InfoFn pfnInfo) {
         KvTestPutU32At(pTOC, pfnInfo(*pTOC, "Text/Both.txt") + 8, static_cast<u32>(pData->size()));
       },
       "load", "Mag data file [.\\TST_win32.mdf] does not hold what its table"},
      {"data file truncated", [](auto*, auto* pData, InfoFn) { pData->resize(100); }, "load",
       "lies past its end (100 bytes)"},
      {"a plain entry on exactly an encrypted entry's bytes",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         const size_t uiSealed = pfnInfo(*pTOC, "Text/Sealed.bin");
         const size_t uiPlain = pfnInfo(*pTOC, "Text/Plain.txt");
         KvTestPutU32At(pTOC, uiPlain + 8, KvTestU32At(*pTOC, uiSealed + 8));
         KvTestPutU32At(pTOC, uiPlain + 16, KvTestU32At(*pTOC, uiSealed + 24));
       },
       "load", "an encrypted entry's bytes cannot be shared"},
      {"an entry starting inside a range two names share",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         KvTestShareStoredBytes(pTOC, "Text/Plain.txt", "Effects/Glow.fxo");
         const u32 uiShared = KvTestU32At(*pTOC, pfnInfo(*pTOC, "Text/Plain.txt") + 8);
         KvTestPutU32At(pTOC, pfnInfo(*pTOC, "Text/Packed.txt") + 8, uiShared + 1);
       },
       "load", "overlap in the data file"},
      {"an entry starting in another's last byte",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         const size_t uiGlow = pfnInfo(*pTOC, "Effects/Glow.fxo");
         const u32 uiGlowEnd = KvTestU32At(*pTOC, uiGlow + 8) + KvTestU32At(*pTOC, uiGlow + 16);
         KvTestPutU32At(pTOC, pfnInfo(*pTOC, "Text/Plain.txt") + 8, uiGlowEnd - 1);
       },
       "load", "overlap in the data file"},
      {"bad ciphertext",
       [](auto* pTOC, auto* pData, InfoFn pfnInfo) {
         (*pData)[KvTestU32At(*pTOC, pfnInfo(*pTOC, "Text/Both.txt") + 8) + 3] ^= 0x5A;
       },
       "read", "does not inflate"},
      {"bad zlib stream",
       [](auto* pTOC, auto* pData, InfoFn pfnInfo) {
         const u32 uiOffset = KvTestU32At(*pTOC, pfnInfo(*pTOC, "Text/Packed.txt") + 8);
         for (u32 i = 2; i < 12; ++i) (*pData)[uiOffset + i] = 0xFF;
       },
       "read", "does not inflate"},
      {"final size too large",
       [](auto* pTOC, auto*, InfoFn pfnInfo) {
         const size_t uiInfo = pfnInfo(*pTOC, "Text/Packed.txt");
         KvTestPutU32At(pTOC, uiInfo + 16, KvTestU32At(*pTOC, uiInfo + 16) + 16);
       },
       "read", "does not inflate"},
  };
  // Entries that cannot all be told apart.
  const std::map<std::string, const char*> notToldApart = {
      {gc_szHASH_TWICE, "entries 0 and 1 have the same name hash 0x"},
      {gc_szOVERLAP, "overlap in the data file"},
      {gc_szSAME_OFFSET, "overlap in the data file"},
      {gc_szSHARED_ENCRYPTED, "an encrypted entry's bytes cannot be shared"},
  };
  for (const SKvTestTOCDamage& row : gc_aKvTestEntriesNotToldApart) {
    damages.push_back({row.pName, [pKind = row.pKind](auto* pTOC, auto*, InfoFn) { KvTestDamageTOC(pTOC, pKind); },
                       "load", notToldApart.at(row.pKind)});
  }
  const std::vector<u8> goodTOC = readBytes(std::string(KV_FIXTURE_DATA_DIR) + "/TST_win32.mtc");
  const std::vector<u8> goodData = readBytes(std::string(KV_FIXTURE_DATA_DIR) + "/TST_win32.mdf");
  for (const Damage& damage : damages) {
    for (bool bInMemory : {false, true}) {
      SCOPED_TRACE(std::string(damage.pName) + (bInMemory ? " (data in memory)" : " (data on disk)"));
      std::vector<u8> toc = goodTOC;
      std::vector<u8> data = goodData;
      damage.apply(&toc, &data, &MagArchive::dataInfoOffset);
      writeBytes(m_dir + "/TST_win32.mtc", toc);
      writeBytes(m_dir + "/TST_win32.mdf", data);
      ::testing::internal::CaptureStderr();
      const i32 iLoaded = ClMagFileIO::loadTOC("TST");
      i32 iWorst = E_FILE_OK;
      std::string stage = "load";
      if (iLoaded) {
        if (bInMemory) {
      EXPECT_EQ(ClMagFileIO::loadDataFile(gc_uiTST), 1);
    }
        for (const FixtureEntry& entry : gc_aFixtureEntries) {
          std::vector<u8> bytes;
          std::string full = std::string(".\\") + entry.pPath;
          std::replace(full.begin(), full.end(), '/', '\\');
          u32 uiSize = 0;
          SMagRef* pRef = nullptr;
          i32 iResult = ClMagFileIO::open(full.c_str(), &uiSize, &pRef);
          if (iResult != E_FILE_OK) {
            stage = "open";
          } else {
            ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRef, uiSize, 16), 1);
            iResult = ClMagFileIO::read(pRef, uiSize);
            if (iResult != E_FILE_OK && stage == "load") stage = "read";
            ClMagFileIO::close(pRef);
          }
          if (iResult != E_FILE_OK) iWorst = iResult;
        }
      }
      const std::string message = ::testing::internal::GetCapturedStderr();
      EXPECT_EQ(stage, damage.pStage);
      if (iLoaded) {
      EXPECT_EQ(iWorst, E_FILE_DAMAGED);
    }
      EXPECT_NE(message.find(damage.pMessage), std::string::npos) << message;
      EXPECT_NE(message.find(std::string(".\\TST_win32.") + (stage == "load" ? "mtc" : "mdf")), std::string::npos)
          << message;
      EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
      ClMagFileIO::closeIdleFiles();
      EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
      ClMagFileIO::shutdown();
      if (!bInMemory && std::string(damage.pStage) == "load") break;
    }
  }
}

// An archive on disk keeps its data file open between references, so entry after entry opens it once; a kept
// file makes room when the file layer's two records are wanted for other files, and goes with its archive.
TEST_F(MagArchive, AnArchiveOnDiskKeepsItsDataFileBetweenReferences) {
  copyFixture();
  writeBytes(m_dir + "/Loose1.txt", text("one"));
  writeBytes(m_dir + "/Loose2.txt", text("two"));
  ASSERT_EQ(ClMagFileIO::loadTOC("TST"), 1);
  u32 uiSize = 0;
  SMagRef* pFirst = nullptr;
  SMagRef* pSecond = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Text\\Plain.txt", &uiSize, &pFirst), E_FILE_OK);
  const Win32FileData* pDataFile = pFirst->mp_FileHandle;
  ASSERT_EQ(ClMagFileIO::open(".\\Text\\Packed.txt", &uiSize, &pSecond), E_FILE_OK);
  EXPECT_NE(pSecond->mp_FileHandle, pDataFile);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 2);
  EXPECT_EQ(ClMagFileIO::close(pFirst), 1);  // kept by the archive
  EXPECT_EQ(ClMagFileIO::closeFileHandle(pSecond), E_FILE_OK);  // one is kept already: this one is closed
  EXPECT_EQ(ClMagFileIO::close(pSecond), 1);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 1);

  // The next reference takes the kept file, and reads through it.
  std::vector<u8> bytes;
  ASSERT_EQ(ClMagFileIO::open(".\\Text\\Both.txt", &uiSize, &pFirst), E_FILE_OK);
  EXPECT_EQ(pFirst->mp_FileHandle, pDataFile);
  ASSERT_EQ(ClMagFileIO::allocReadBuffers(pFirst, uiSize, 16), 1);
  ASSERT_EQ(ClMagFileIO::read(pFirst, uiSize), E_FILE_OK);
  EXPECT_EQ(std::vector<u8>(pFirst->mp_pDestinationBuffer, pFirst->mp_pDestinationBuffer + uiSize),
            fixtureSource("Text/Both.txt"));
  EXPECT_EQ(ClMagFileIO::close(pFirst), 1);

  // Two loose files want both records: the kept data file makes room.
  SMagRef* pLoose1 = nullptr;
  SMagRef* pLoose2 = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Loose1.txt", &uiSize, &pLoose1), E_FILE_OK);
  ASSERT_EQ(ClMagFileIO::open(".\\Loose2.txt", &uiSize, &pLoose2), E_FILE_OK);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 2);
  EXPECT_EQ(ClMagFileIO::close(pLoose1), 1);
  EXPECT_EQ(ClMagFileIO::close(pLoose2), 1);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);  // loose files are never kept

  // A kept file goes with its archive.
  ASSERT_EQ(readEntry("Text/Plain.txt", &bytes), E_FILE_OK);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 1);
  EXPECT_EQ(ClMagFileIO::unloadTOC(gc_uiTST), 1);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
}

// What the format allows is read, not refused: blocks at any offset, an entry encrypted alone whose ciphertext is up
// to a block shorter than the entry (the rest reads as zeros), and one stored content under several names (records
// of exactly the same stored bytes, none encrypted), each name read as its own data-info says.
struct Allowed {
  const char* pName;
  std::function<void(std::vector<u8>* pTOC)> apply;  // changes the fixture's table
  // What the entry at a path then reads, given the fixture's data file.
  std::function<std::vector<u8>(const std::string& path, const std::vector<u8>& data)> expected;
};

TEST_F(MagArchive, TablesTheFormatAllowsAreRead) {
  // Every entry as stored, but those named "to" which read as "from".
  const auto readsAs = [](std::vector<std::string> to, std::string from) {
    return [to, from](const std::string& path, const std::vector<u8>&) {
      return fixtureSource(std::find(to.begin(), to.end(), path) != to.end() ? from : path);
    };
  };
  const auto share = [](const char* pFrom, const char* pTo) {
    return [pFrom, pTo](std::vector<u8>* pTOC) {
      EXPECT_TRUE(KvTestShareStoredBytes(pTOC, pFrom, pTo));
    };
  };
  u32 uiSealedSize = 0;
  u32 uiStreamOffset = 0;
  u32 uiStreamSize = 0;
  const std::vector<Allowed> allowed = {
      {"blocks at odd offsets, a ciphertext shorter than its entry",
       [&uiSealedSize](std::vector<u8>* pTOC) {
         *pTOC = relaidAtOddOffsets(*pTOC, [](const std::vector<u8>&, u32) { return sizeof(ClMagDataInfo); });
         const size_t uiSealed = dataInfoOffset(*pTOC, "Text/Sealed.bin");
         uiSealedSize = KvTestU32At(*pTOC, uiSealed + 16);
         KvTestPutU32At(pTOC, uiSealed + 16, uiSealedSize + 13);
       },
       [&uiSealedSize](const std::string& path, const std::vector<u8>&) {
         std::vector<u8> bytes = fixtureSource(path);
         if (path == "Text/Sealed.bin") bytes.resize(uiSealedSize + 13, 0);
         return bytes;
       }},
      {"two names on one plain range", share("Text/Plain.txt", "Effects/Glow.fxo"),
       readsAs({"Effects/Glow.fxo"}, "Text/Plain.txt")},
      {"two names on one zlib stream", share("Text/Packed.txt", "Effects/Glow.fxo"),
       readsAs({"Effects/Glow.fxo"}, "Text/Packed.txt")},
      {"three names on one zlib stream",
       [](std::vector<u8>* pTOC) {
         EXPECT_TRUE(KvTestShareStoredBytes(pTOC, "Text/Packed.txt", "Effects/Glow.fxo"));
         EXPECT_TRUE(KvTestShareStoredBytes(pTOC, "Text/Packed.txt", "Text/Plain.txt"));
       },
       readsAs({"Effects/Glow.fxo", "Text/Plain.txt"}, "Text/Packed.txt")},
      // The same bytes under another name and other flags: the plain name reads the zlib stream as it lies.
      {"a plain name on a zlib stream",
       [&](std::vector<u8>* pTOC) {
         const size_t uiPacked = dataInfoOffset(*pTOC, "Text/Packed.txt");
         const size_t uiGlow = dataInfoOffset(*pTOC, "Effects/Glow.fxo");
         uiStreamOffset = KvTestU32At(*pTOC, uiPacked + 8);
         uiStreamSize = KvTestU32At(*pTOC, uiPacked + 20);
         KvTestPutU32At(pTOC, uiGlow + 8, uiStreamOffset);
         KvTestPutU32At(pTOC, uiGlow + 16, uiStreamSize);
       },
       [&](const std::string& path, const std::vector<u8>& data) {
         if (path != "Effects/Glow.fxo") return fixtureSource(path);
         return std::vector<u8>(data.begin() + uiStreamOffset, data.begin() + uiStreamOffset + uiStreamSize);
       }},
  };
  const std::vector<u8> goodTOC = readBytes(std::string(KV_FIXTURE_DATA_DIR) + "/TST_win32.mtc");
  const std::vector<u8> data = readBytes(std::string(KV_FIXTURE_DATA_DIR) + "/TST_win32.mdf");
  writeBytes(m_dir + "/TST_win32.mdf", data);
  for (const Allowed& row : allowed) {
    std::vector<u8> toc = goodTOC;
    row.apply(&toc);
    writeBytes(m_dir + "/TST_win32.mtc", toc);
    for (bool bInMemory : {false, true}) {
      SCOPED_TRACE(std::string(row.pName) + (bInMemory ? " (data in memory)" : " (data on disk)"));
      // Every row is tried: one refused does not hide the next.
      ::testing::internal::CaptureStderr();
      const bool bLoaded = ClMagFileIO::loadTOC("TST") == 1 && (!bInMemory || ClMagFileIO::loadDataFile(gc_uiTST) == 1);
      for (const FixtureEntry& entry : bLoaded ? gc_aFixtureEntries : std::span<const FixtureEntry>()) {
        SCOPED_TRACE(entry.pPath);
        std::vector<u8> bytes;
        EXPECT_EQ(readEntry(entry.pPath, &bytes), E_FILE_OK);
        EXPECT_EQ(bytes, row.expected(entry.pPath, data));
      }
      EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
      EXPECT_TRUE(bLoaded);
      EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
      ClMagFileIO::shutdown();
    }
  }
}

// An entry that stores nothing takes no bytes of the data file: wherever its offset points, it overlaps nothing.
TEST_F(MagArchive, EmptyEntriesOverlapNothing) {
  pack("NUL", {packInput("Empty.txt", {}), packInput("Full.txt", text("0123456789"))});
  std::vector<u8> toc = readBytes(m_dir + "/NUL_win32.mtc");
  KvTestPutU32At(&toc, dataInfoOffset(toc, "Empty.txt") + 8, KvTestU32At(toc, dataInfoOffset(toc, "Full.txt") + 8) + 3);
  writeBytes(m_dir + "/NUL_win32.mtc", toc);
  ASSERT_EQ(ClMagFileIO::loadTOC("NUL"), 1);
  std::vector<u8> bytes;
  ASSERT_EQ(readEntry("Empty.txt", &bytes), E_FILE_OK);
  EXPECT_TRUE(bytes.empty());
  ASSERT_EQ(readEntry("Full.txt", &bytes), E_FILE_OK);
  EXPECT_EQ(bytes, text("0123456789"));
}

// A data file of 4 GiB or more is not loaded whole: that is said, and its entries, also those past 4 GiB, are
// read from disk. Sparse files stand in for the large ones.
TEST_F(MagArchive, DataFilesTooLargeToLoadWholeAreReadOnDemand) {
  pack("BIG", {packInput("Text\\Low.txt", text("near the start")), packInput("Text\\High.txt", text("far out"))});
  std::vector<u8> toc = readBytes(m_dir + "/BIG_win32.mtc");
  const std::vector<u8> data = readBytes(m_dir + "/BIG_win32.mdf");
  const size_t uiHigh = dataInfoOffset(toc, "Text/High.txt");
  const u32 uiHighOffset = KvTestU32At(toc, uiHigh + 8);
  const std::vector<u8> far(data.begin() + uiHighOffset, data.begin() + uiHighOffset + 7);
  for (const u64 uiSize : {4ull << 30, 5ull << 30}) {
    SCOPED_TRACE(uiSize);
    // The far entry moves to the last bytes below 4 GiB; in the larger file its bytes cross the mark.
    const u32 uiFarOffset = uiSize > (4ull << 30) ? 0xFFFFFFFCu : 0xFFFFFFF0u;
    KvTestPutU32At(&toc, uiHigh + 8, uiFarOffset);
    writeBytes(m_dir + "/BIG_win32.mtc", toc);
    writeSparse(m_dir + "/BIG_win32.mdf", uiSize,
                {{0, data}, {uiFarOffset, far}});
    ASSERT_EQ(ClMagFileIO::loadTOC("BIG"), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ClMagFileIO::loadDataFile(KvStrHash("BIG")), 0);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("Mag data file [.\\BIG_win32.mdf] is " + std::to_string(uiSize) +
                           " bytes, too large to load whole"),
              std::string::npos)
        << message;
    std::vector<u8> bytes;
    ASSERT_EQ(readEntry("Text/Low.txt", &bytes), E_FILE_OK);
    EXPECT_EQ(bytes, text("near the start"));
    ASSERT_EQ(readEntry("Text/High.txt", &bytes), E_FILE_OK);
    EXPECT_EQ(bytes, text("far out"));
    ClMagFileIO::shutdown();
  }
  // A loose file that large cannot be read whole: refused with a message, nothing kept open.
  writeSparse(m_dir + "/Huge.bin", 4ull << 30, {});
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClMagFileIO::open(".\\Huge.bin", &uiSize, &pRef), E_FILE_TOO_LARGE);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("too large to be read"), std::string::npos);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
}

}  // namespace

// The fixture of the font tests: a fresh data root (the current folder) with the file layer and empty font pools;
// font files are written there as loose files. Tear-down frees every font and family and checks nothing is left
// open. Header only; a test program that includes it links fontc_lib for the writers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tools/fontc/FontFiles.h"

// Writes a font, family or glyph page file below the data root ("/" separators), making its folders.
inline void KvTestWriteFontFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class FontFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_savedCwd = KvTestChangeFolder(m_root);
    ASSERT_FALSE(m_savedCwd.empty());
    KvTestStartFileIO();
    ClFontFamilyMgr::initialiseFamilyPool();
    ClFontFamilyMgr::initialiseFontPool();
  }
  void TearDown() override {
    ClFontFamilyMgr::terminate();
    EXPECT_EQ(ClFontFamilyMgr::mp_fontPool.getCount(), 0);
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
    KvTestStopFileIO();
    ASSERT_FALSE(KvTestChangeFolder(m_savedCwd).empty());
  }

  std::string m_root;
  std::string m_savedCwd;
};

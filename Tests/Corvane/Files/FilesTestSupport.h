// Helpers of the file, archive and loader tests: aligned buffers, files with position-dependent bytes, and
// fixtures that start the file layer (and, for archives, a data root in a fresh temp folder that is the
// current folder during the test).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Platform/Win32/Win32.h"
#include "Tests/Support/HeldCompletionsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

inline constexpr u32 gc_uiMIB = 1048576;
inline constexpr const char* gc_pFIXTURE_KEY = "fixture-key-01";

struct KvAlignedDeleter {
  void operator()(void* p) const { KvAlignedFree(p); }
};
using AlignedBytes = std::unique_ptr<u8, KvAlignedDeleter>;

inline AlignedBytes alignedBytes(size_t uiSize) {
  return AlignedBytes(static_cast<u8*>(KvAlignedAlloc(uiSize, 16)));
}

// Bytes that differ at every position within a period of 251, so misplaced chunks show.
inline std::vector<u8> patternBytes(size_t uiSize, u32 uiSeed = 0) {
  std::vector<u8> bytes(uiSize);
  for (size_t i = 0; i < uiSize; ++i) bytes[i] = static_cast<u8>((i * 7 + 3 + uiSeed) % 251);
  return bytes;
}

inline void writeBytes(const std::string& path, const std::vector<u8>& bytes) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A sparse file of uiSize bytes holding the given runs of bytes at their offsets and zeros elsewhere: files of
// several GiB that take no room on disk.
inline void writeSparse(const std::string& path, u64 uiSize,
                        const std::vector<std::pair<u64, std::vector<u8>>>& runs) {
  writeBytes(path, {});
  {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    for (const auto& [uiOffset, bytes] : runs) {
      file.seekp(static_cast<std::streamoff>(uiOffset));
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
  }
  std::filesystem::resize_file(path, uiSize);
}

inline std::vector<u8> readBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<u8>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::string testName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

// The file layer started, no faults injected, message boxes recorded instead of shown.
class FileLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClMutexLock::initializePool();
    Win32ClearFaults();
    Win32SetMessageBoxHook([this](LPCSTR pText, LPCSTR pCaption, UINT) {
      m_boxes.push_back(std::string(pCaption) + ": " + pText);
      return IDOK;
    });
    ClFileIO::initialize();
    m_dir = KvTestTempDir(testName());
  }
  void TearDown() override {
    Win32ClearFaults();
    Win32TestHoldCompletions(FALSE);
    KvAllocFailNext(0);
    // Nothing a test started may still be waiting to complete.
    EXPECT_NE(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
    ClFileIO::shutdown();
    Win32SetMessageBoxHook({});
  }
  std::string path(const std::string& name) const { return m_dir + "/" + name; }

  std::string m_dir;
  std::vector<std::string> m_boxes;
};

// A data root: the test's temp folder as the current folder, the archive pools empty, the fixture's keys set.
class DataRootTest : public FileLayerTest {
 protected:
  void SetUp() override {
    FileLayerTest::SetUp();
    char szCwd[4096];
    ASSERT_NE(getcwd(szCwd, sizeof(szCwd)), nullptr);
    m_savedCwd = szCwd;
    ASSERT_EQ(chdir(m_dir.c_str()), 0);
    KvInitializeDataPaths();
    ClMagFileIO::initTOCPool();
    ClMagFileIO::initRefPool();
    ClMagFileIO::setArchiveKey("TST", gc_pFIXTURE_KEY);
  }
  void TearDown() override {
    ClMagFileIO::shutdown();
    EXPECT_EQ(g_MagTOCPool.getCount(), 0);
    ASSERT_EQ(chdir(m_savedCwd.c_str()), 0);
    FileLayerTest::TearDown();
  }
  // Copies the fixture archive TST (packed at build time) into the data root, or into sub (e.g. "Mag/").
  void copyFixture(const std::string& sub = "") {
    std::filesystem::create_directories(m_dir + "/" + sub);
    for (const char* pExt : {".mtc", ".mdf"}) {
      std::filesystem::copy_file(std::string(KV_FIXTURE_DATA_DIR) + "/TST_win32" + pExt,
                                 m_dir + "/" + sub + "TST_win32" + pExt,
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
  static std::vector<u8> fixtureSource(const std::string& relative) {
    return readBytes(std::string(KV_FIXTURE_SOURCE_DIR) + "/" + relative);
  }
  // Opens, reads whole and closes an entry by its path below the root; the bytes, or the first failure code.
  static i32 readEntry(const std::string& relative, std::vector<u8>* pBytes, u32 uiExtra = 0) {
    std::string full = std::string(".\\") + relative;
    for (char& c : full) {
      if (c == '/') c = '\\';
    }
    u32 uiSize = 0;
    SMagRef* pRef = nullptr;
    i32 iResult = ClMagFileIO::open(full.c_str(), &uiSize, &pRef);
    if (iResult != E_FILE_OK) return iResult;
    if (!ClMagFileIO::allocReadBuffers(pRef, uiSize + uiExtra, 16)) {
      ClMagFileIO::close(pRef);
      return -1;
    }
    iResult = ClMagFileIO::read(pRef, uiSize + uiExtra);
    if (iResult == E_FILE_OK) pBytes->assign(pRef->mp_pDestinationBuffer, pRef->mp_pDestinationBuffer + uiSize + uiExtra);
    ClMagFileIO::close(pRef);
    return iResult;
  }

  std::string m_savedCwd;
};

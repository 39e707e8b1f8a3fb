// Whether a tool's dump or check takes a file as the engine's loader takes it: a file as built, all zero and cut to
// its first half, each given to the tool and to the loader (copies keep the file's name: some formats hold the name
// they are loaded by). The tool must accept (exit 0) what the loader accepts and refuse (exit 1, naming the file)
// what it refuses, and the loader's verdict must be the one the row expects. Header only.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Tests/Support/KvTestSupport.h"

// A file as built and the loader's verdicts on it as built, zeroed and cut in half.
struct SToolVerdictFile {
  std::string path;
  bool abLoaderAccepts[3];
};

// A fresh data root as the current folder with the file layer started, for loaders that read from the data root;
// stopped, and the previous folder made current again, when it goes.
class CVerdictDataRoot {
 public:
  explicit CVerdictDataRoot(const std::string& name)
      : m_path(KvTestTempDir(name)), m_saved(KvTestChangeFolder(m_path)) {
    EXPECT_FALSE(m_saved.empty());
    KvTestStartFileIO();
  }
  ~CVerdictDataRoot() {
    KvTestStopFileIO();
    EXPECT_FALSE(KvTestChangeFolder(m_saved).empty());
  }
  CVerdictDataRoot(const CVerdictDataRoot&) = delete;
  CVerdictDataRoot& operator=(const CVerdictDataRoot&) = delete;
  const std::string& path() const { return m_path; }

  // Writes the bytes to the path ("/" separators), making its folders.
  static void write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::string m_path;
  std::string m_saved;
};

// What load() answers, or false when the engine stops in it (a loader's data stop refuses the file too).
template <typename Load>
bool KvTestLoadsWithoutAStop(Load load) {
  try {
    return load();
  } catch (const KvStopped&) {
    return false;
  }
}

// For each cut of each file: writes the copy into dir/<cut>/, asks loaderAccepts(copy's path, bytes) and runs
// "<command> <copy's path>".
template <typename LoaderAccepts>
void KvTestToolAgreesWithTheLoader(const std::string& command, const std::vector<SToolVerdictFile>& files,
                                   const std::string& dir, LoaderAccepts loaderAccepts) {
  for (const SToolVerdictFile& file : files) {
    std::ifstream in(file.path, std::ios::binary);
    const std::vector<uint8_t> built{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(built.empty()) << file.path;
    const std::string name = std::filesystem::path(file.path).filename().string();
    const std::vector<uint8_t> aCuts[] = {built, std::vector<uint8_t>(built.size(), 0),
                                          std::vector<uint8_t>(built.begin(), built.begin() + built.size() / 2)};
    for (size_t c = 0; c < std::size(aCuts); ++c) {
      SCOPED_TRACE(name + (c == 0 ? " as built" : c == 1 ? " zeroed" : " cut in half"));
      const std::string copy = dir + "/" + std::to_string(c) + "/" + name;
      CVerdictDataRoot::write(copy, aCuts[c]);
      const bool bLoaderAccepts = loaderAccepts(copy, aCuts[c]);
      EXPECT_EQ(bLoaderAccepts, file.abLoaderAccepts[c]);
      const SKvToolRun run = KvTestRunTool(command + " " + KvTestShellQuote(copy));
      EXPECT_EQ(run.iExit, bLoaderAccepts ? 0 : 1) << command << "\n" << run.out;
      EXPECT_TRUE(bLoaderAccepts || run.out.find(name) != std::string::npos) << run.out;
    }
  }
}

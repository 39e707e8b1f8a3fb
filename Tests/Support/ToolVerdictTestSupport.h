// Whether a tool's dump or check takes a file as the engine's loader takes it: a file as the build made it, all
// zero and cut to its first half, each given to the tool and to the loader. The tool must accept (exit 0) what the
// loader accepts and refuse (exit 1, naming the file) what it refuses, and the loader's verdict must be the one the
// row expects. The copies keep the file's name (some formats hold the name they are loaded by). Header only.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Tests/Support/KvTestSupport.h"

enum class EFileCut { AsBuilt, Zeroed, Halved };

struct SFileCut {
  const char* pName;
  EFileCut eCut;
};

inline constexpr SFileCut gc_aFILE_CUTS[] = {
    {"as built", EFileCut::AsBuilt}, {"zeroed", EFileCut::Zeroed}, {"cut in half", EFileCut::Halved}};

// One file of a format: where the build put it, and what the loader answers for each cut (gc_aFILE_CUTS's order).
struct SToolVerdictFile {
  std::string path;
  bool abLoaderAccepts[3];
};

// A fresh data root as the current folder, with the file layer started, for loaders that read from the data root;
// the file layer is stopped and the previous folder made current again when it goes.
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

  // Writes the bytes to the path below the root ("/" separators), making its folders.
  static void write(const std::string& relative, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(relative).parent_path());
    std::ofstream(relative, std::ios::binary | std::ios::trunc)
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

inline std::vector<uint8_t> KvTestCutFile(const std::vector<uint8_t>& bytes, EFileCut eCut) {
  if (eCut == EFileCut::Zeroed) return std::vector<uint8_t>(bytes.size(), 0);
  if (eCut == EFileCut::Halved) return std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2);
  return bytes;
}

// For each cut of each file: writes the copy into dir/<cut>/ under the file's name, asks loaderAccepts(copy's path,
// bytes) and runs the tool as "<command> <copy's path>" (with "{}" in command standing for the path instead, when
// there).
template <typename LoaderAccepts>
void KvTestToolAgreesWithTheLoader(const std::string& command, const std::vector<SToolVerdictFile>& files,
                                   const std::string& dir, LoaderAccepts loaderAccepts) {
  namespace fs = std::filesystem;
  for (const SToolVerdictFile& file : files) {
    std::ifstream in(file.path, std::ios::binary);
    ASSERT_TRUE(in) << file.path;
    const std::vector<uint8_t> built{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(built.empty()) << file.path;
    for (size_t c = 0; c < std::size(gc_aFILE_CUTS); ++c) {
      const SFileCut& cut = gc_aFILE_CUTS[c];
      SCOPED_TRACE(fs::path(file.path).filename().string() + " " + cut.pName);
      const std::string copy = dir + "/" + std::to_string(c) + "/" + fs::path(file.path).filename().string();
      const std::vector<uint8_t> bytes = KvTestCutFile(built, cut.eCut);
      CVerdictDataRoot::write(copy, bytes);
      const bool bLoaderAccepts = loaderAccepts(copy, bytes);
      EXPECT_EQ(bLoaderAccepts, file.abLoaderAccepts[c]);
      std::string line = command;
      const size_t uiAt = line.find("{}");
      if (uiAt == std::string::npos) {
        line += " " + KvTestShellQuote(copy);
      } else {
        line.replace(uiAt, 2, KvTestShellQuote(copy));
      }
      const SKvToolRun run = KvTestRunTool(line);
      EXPECT_EQ(run.iExit, bLoaderAccepts ? 0 : 1) << line << "\n" << run.out;
      if (!bLoaderAccepts) {
        EXPECT_NE(run.out.find(fs::path(file.path).filename().string()), std::string::npos) << run.out;
      }
      EXPECT_EQ(run.out.find(".cpp, line "), std::string::npos) << run.out;
    }
  }
}

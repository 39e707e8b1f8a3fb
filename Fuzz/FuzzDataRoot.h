// The file layer of the fuzz targets that read files from a data root: a root of each process's own, made fresh
// under the temporary folder ($TMPDIR) and removed when the process ends, so fuzzing processes side by side never
// write each other's inputs; read through the archive reader; the working folder stays libFuzzer's.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/System/ClMutexLock.h"
#include "Fuzz/FuzzQuiet.h"

// Makes the process's own data root and starts the file layer on it; answers the root.
inline std::filesystem::path KvFuzzStartDataRoot(const char* pFolder) {
  std::string pattern = (std::filesystem::temp_directory_path() / pFolder).string() + "_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "cannot make a data root %s: %s\n", pattern.c_str(), std::strerror(errno));
    std::abort();
  }
  static std::filesystem::path s_root;
  s_root = pattern;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(s_root, ignored);
  });
  ClMutexLock::initializePool();
  KvInitializeDataPaths();
  KvStrLCpy(g_szBaseDataPath, (s_root.string() + "/").c_str(), KV_MAX_PATH_LEN);
  ClFileIO::initialize();
  ClMagFileIO::initTOCPool();
  ClMagFileIO::initRefPool();
  return s_root;
}

// The audio targets' root: the development settings started too; answers the path below "Audio/" that each
// input is written to.
inline std::string KvFuzzStartAudioRoot(const char* pFolder, const char* pFileName) {
  const std::filesystem::path root = KvFuzzStartDataRoot(pFolder);
  std::filesystem::create_directories(root / "Audio");
  ClDevINI::initialize();
  return (root / "Audio" / pFileName).string();
}

// Writes one input as the file.
inline void KvFuzzWriteInput(const std::string& path, const std::uint8_t* pData, std::size_t uiSize) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(uiSize));
}

// The start of each input of an audio target: problem reports silenced, an input over uiMaxInput passed over (false),
// the audio root made (KvFuzzStartAudioRoot) and the target's own start run before the first input, and the input
// written as the file the target's loader reads (true).
template <typename FStart>
bool KvFuzzWriteAudioInput(const std::uint8_t* pData, std::size_t uiSize, std::size_t uiMaxInput, const char* pFolder,
                           const char* pFileName, FStart start) {
  KvFuzzSilenceProblemReports();
  if (uiSize > uiMaxInput) {
    return false;
  }
  static const std::string s_path = [&] {
    std::string path = KvFuzzStartAudioRoot(pFolder, pFileName);
    start();
    return path;
  }();
  KvFuzzWriteInput(s_path, pData, uiSize);
  return true;
}

// The file layer of the audio fuzz targets: a data root of each process's own, made fresh under the temporary
// folder ($TMPDIR) and removed when the process ends, so fuzzing processes side by side never write each
// other's inputs; read through the archive reader and the development settings; the working folder stays
// libFuzzer's. Answers the path of the file each input is written to, below "Audio/".
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

inline std::string KvFuzzStartAudioRoot(const char* pFolder, const char* pFileName) {
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
  const std::filesystem::path& root = s_root;
  std::filesystem::create_directories(root / "Audio");
  ClMutexLock::initializePool();
  KvInitializeDataPaths();
  KvStrLCpy(g_szBaseDataPath, (root.string() + "/").c_str(), KV_MAX_PATH_LEN);
  ClFileIO::initialize();
  ClMagFileIO::initTOCPool();
  ClMagFileIO::initRefPool();
  ClDevINI::initialize();
  return (root / "Audio" / pFileName).string();
}

// Writes one input as the file.
inline void KvFuzzWriteInput(const std::string& path, const std::uint8_t* pData, std::size_t uiSize) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(uiSize));
}

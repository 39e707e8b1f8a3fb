// The file layer of the audio fuzz targets: a data root of their own under the temporary folder (with its
// "Audio" folder), read through the archive reader and the development settings; the working folder stays
// libFuzzer's. Answers the path of the file each input is written to, below "Audio/".
#pragma once

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
  const std::filesystem::path root = std::filesystem::temp_directory_path() / pFolder;
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

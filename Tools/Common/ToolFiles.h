// Whole-file reads and writes of the offline tools. A read goes through the platform's file door: only a regular
// file is read, never waited on, and never more than the caller's bound. A write goes through a temporary file that
// is renamed over the target, so a failed run never leaves a half-written output. Header only.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Platform/Common/PlatformFiles.h"

// The most a tool reads of one input: the largest entry an archive holds.
inline constexpr size_t gc_uiTOOL_MAX_INPUT_BYTES = 0xFFFFFFF0u;

// The file's bytes; false when it cannot be read, with why in *pWhy when given, as it reads after the file's name
// ("does not exist", "is not a regular file", "is larger than N bytes").
inline bool ToolReadFile(const std::string& path, std::string* pBytes, std::string* pWhy = nullptr,
                         size_t uiMaxBytes = gc_uiTOOL_MAX_INPUT_BYTES) {
  SPlatformFileProblem problem;
  if (PlatformReadRegularFile(path, uiMaxBytes, pBytes, &problem)) return true;
  if (pWhy != nullptr) *pWhy = PlatformDescribeFileProblem(problem);
  return false;
}

// Writes the bytes through "<path>.tmp"; false (and no file left behind) when anything fails.
inline bool ToolWriteFile(const std::string& path, const void* pData, size_t uiSize) {
  const std::string temp = path + ".tmp";
  std::FILE* pOut = std::fopen(temp.c_str(), "wb");
  if (pOut == nullptr) return false;
  const bool bWritten = std::fwrite(pData, 1, uiSize, pOut) == uiSize;
  if (std::fclose(pOut) != 0 || !bWritten || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

// Writes bytes that check (const std::vector<unsigned char>&, std::string* pProblem) -> bool accepts, then reads
// the file back and checks it again: what is on disk is what the engine will load. False with
// "<path>: <problem>"; a refused file is not left behind.
template <typename Check>
bool ToolWriteChecked(const std::string& path, const std::vector<unsigned char>& bytes, Check check,
                      std::string* pProblem) {
  std::string problem;
  if (!check(bytes, &problem)) {
    *pProblem = path + ": the engine would refuse what was built, so nothing is written: " + problem;
    return false;
  }
  std::string written;
  if (!ToolWriteFile(path, bytes.data(), bytes.size()) || !ToolReadFile(path, &written) ||
      written.size() != bytes.size() || !std::equal(bytes.begin(), bytes.end(), written.begin(),
                                                    [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); })) {
    *pProblem = path + ": cannot be written";
    return false;
  }
  if (!check(std::vector<unsigned char>(written.begin(), written.end()), &problem)) {
    std::remove(path.c_str());
    *pProblem = path + ": the engine refuses what was written: " + problem;
    return false;
  }
  return true;
}

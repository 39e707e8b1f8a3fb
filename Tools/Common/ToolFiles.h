// Whole-file reads and writes of the offline tools. A write goes through a temporary file that is renamed over the
// target, so a failed run never leaves a half-written output. Header only.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

// The file's bytes; false when it cannot be read.
inline bool ToolReadFile(const std::string& path, std::string* pBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  pBytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
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

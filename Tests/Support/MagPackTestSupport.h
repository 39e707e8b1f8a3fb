// Entries for the tests that pack archives with the archive tool's writer (their programs link magpack_lib).
#pragma once

#include <string>
#include <vector>

#include "Tools/magpack/MagPacker.h"

// An entry stored under path (also its source name) with these bytes and storage flags.
inline SMagPackInput packInput(const std::string& path, const std::vector<u8>& bytes, bool bCompress = false,
                               bool bEncrypt = false) {
  SMagPackInput entry;
  entry.archivePath = path;
  entry.sourcePath = path;
  entry.bytes = bytes;
  entry.bCompress = bCompress;
  entry.bEncrypt = bEncrypt;
  return entry;
}

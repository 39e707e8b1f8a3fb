// A folder of this process's own under the temporary folder ($TMPDIR, else /tmp), for the files of benchmarks,
// fuzz targets and test programs: two runs side by side never share one. Header only, so that programs that do
// not link the test support can use it. The caller removes the folder when it wants it gone.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// Makes "<temporary folder>/<prefix>-XXXXXX" with a unique ending and answers its path; empty when it cannot.
inline std::string KvMakeScratchFolder(const std::string& prefix) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::string pattern = (error ? std::filesystem::path("/tmp") : base) / (prefix + "-XXXXXX");
  std::vector<char> text(pattern.begin(), pattern.end());
  text.push_back('\0');
  return mkdtemp(text.data()) != nullptr ? std::string(text.data()) : std::string();
}

// Fuzz targets feed mostly bad input, and the engine reports each bad file in one line on the error output,
// which would flood the fuzzer's log. These reports go to a stream of their own; the fuzzer keeps its own
// handle on the error output, and sanitizer reports write to the descriptor directly.
#pragma once

#include <cstdio>

inline void KvFuzzSilenceProblemReports() {
  static const bool s_bQuiet = [] {
    if (std::FILE* pNull = std::fopen("/dev/null", "w")) {
      stderr = pNull;
    }
    return true;
  }();
  (void)s_bQuiet;
}

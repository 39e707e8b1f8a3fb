// The input size a target's format needs: libFuzzer's default of 4,096 bytes keeps the faults of large files
// out of reach. KV_FUZZ_MAX_LEN (n) in a target defines LLVMFuzzerInitialize, which libFuzzer runs before it
// reads its flags: the limit is added to the command line unless the caller already gave one (-max_len=N).
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

inline void KvFuzzDefaultMaxLen(int* piArgc, char*** pppArgv, std::size_t uiMaxLen) {
  for (int i = 1; i < *piArgc; ++i) {
    if (std::strncmp((*pppArgv)[i], "-max_len=", 9) == 0) {
      return;
    }
  }
  static std::string s_flag;
  static std::vector<char*> s_args;
  s_flag = "-max_len=" + std::to_string(uiMaxLen);
  s_args.assign(*pppArgv, *pppArgv + *piArgc);
  // Flags go before the corpus folders; libFuzzer reads every argument that starts with '-' as a flag.
  s_args.insert(s_args.begin() + 1, s_flag.data());
  s_args.push_back(nullptr);
  *piArgc += 1;
  *pppArgv = s_args.data();
}

#define KV_FUZZ_MAX_LEN(uiMaxLen)                                         \
  extern "C" int LLVMFuzzerInitialize(int* piArgc, char*** pppArgv) {     \
    KvFuzzDefaultMaxLen(piArgc, pppArgv, uiMaxLen);                       \
    return 0;                                                             \
  }

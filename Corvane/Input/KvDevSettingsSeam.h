// Temporary: the development settings are read through ClDevINI; until that class is in the tree every key
// reads as absent.
#pragma once

#if __has_include("Corvane/Development/ClDevINI.h")
#include "Corvane/Development/ClDevINI.h"
#else
#include "Corvane/System/KvTypes.h"
class ClDevINI {
 public:
  static i32 hasKey(const char*) { return 0; }
  static i32 getInt(const char*) { return 0; }
  static f32 getFloat(const char*) { return KV_ZERO; }
  static const char* getStringValue(const char*) { return nullptr; }
  static inline bool mp_bInitialized = false;
};
#endif

// Fuzzes the profile loader with arbitrary stored profile files: only a file of exactly the block's size loads,
// and it loads byte for byte; any other file is refused and kept, byte for byte, under its own name. Never a stop
// of the program. The store runs in a folder of this process's own under $TMPDIR.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEProfileSave.h"
#include "Fuzz/FuzzQuiet.h"
#include "Platform/Store/StoreApi.h"

namespace {

bool startStore() {
  std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_profile").string() + "_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    return false;
  }
  static std::string s_folder;
  s_folder = pattern;
  setenv("GRINDLOW_STORE_DIR", s_folder.c_str(), 1);
  std::atexit([] {
    SteamAPI_Shutdown();
    std::error_code error;
    std::filesystem::remove_all(s_folder, error);
  });
  return SteamAPI_Init();
}

std::vector<uint8_t> stored(const char* pName) {
  ISteamRemoteStorage* pStorage = SteamRemoteStorage();
  const std::int32_t iSize = pStorage->GetFileSize(pName);
  std::vector<uint8_t> bytes(static_cast<size_t>(iSize));
  if (iSize > 0 && pStorage->FileRead(pName, bytes.data(), iSize) != iSize) {
    bytes.clear();
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  static const bool s_bStarted = startStore();
  if (!s_bStarted) {
    std::fprintf(stderr, "the store did not start: %s\n", StoreGetInitFailure());
    std::abort();
  }
  ISteamRemoteStorage* pStorage = SteamRemoteStorage();
  const std::vector<uint8_t> input(pData, pData + uiSize);
  if (!pStorage->FileWrite(gc_szPROFILE_FILE_NAME, input.data(), static_cast<std::int32_t>(input.size()))) {
    std::abort();
  }
  pStorage->FileWrite(gc_szPROFILE_KEPT_FILE_NAME, "-", 1);
  alignas(16) static SPlayerProfile s_profile;
  std::memset(&s_profile, 0xCC, sizeof(s_profile));
  const bool bLoaded = GAMEReadStoredProfile(&s_profile);
  if (bLoaded != (uiSize == gc_uiPLAYER_PROFILE_SIZE)) {
    std::abort();
  }
  if (bLoaded && std::memcmp(&s_profile, pData, uiSize) != 0) {
    std::abort();
  }
  if (!bLoaded && stored(gc_szPROFILE_KEPT_FILE_NAME) != input) {
    std::abort();
  }
  return 0;
}

// Started by StoreTest.DatabaseIsTheRunningStoresOwn as a second program: starts the store of GRINDLOW_STORE_DIR,
// says whether it could, and ends it. Exit 0.
#include <cstdio>

#include "Platform/Store/StoreApi.h"

int main() {
  const bool bStarted = SteamAPI_Init();
  std::printf("second store: %s%s%s\n", bStarted ? "started" : "refused", bStarted ? "" : ": ", StoreGetInitFailure());
  SteamAPI_Shutdown();
  return 0;
}

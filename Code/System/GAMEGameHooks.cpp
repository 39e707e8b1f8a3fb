#include "Code/System/GAMEGameHooks.h"

#include "Code/System/GAMEProgramHooks.h"

void GameSpecificInstallHooks() {
  KvSetProgramGameHooks(g_GAMEProgramHooks);
}

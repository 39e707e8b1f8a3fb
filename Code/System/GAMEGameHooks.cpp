#include "Code/System/GAMEGameHooks.h"

#include "Code/Input/GAMEInputHooks.h"
#include "Code/System/GAMEProfileSave.h"
#include "Code/System/GAMEProgramHooks.h"

void GameSpecificInstallHooks() {
  KvSetStoreGameHooks(g_GAMEProfileSaveHooks);
  KvSetProgramGameHooks(g_GAMEProgramHooks);
  SKvEngineGameHooks engineHooks;
  engineHooks.pInput = &g_GAMEInputHooks;
  KvSetEngineGameHooks(engineHooks);
}

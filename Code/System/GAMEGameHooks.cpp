#include "Code/System/GAMEGameHooks.h"

#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Input/GAMEInputHooks.h"
#include "Code/System/GAMEProfileSave.h"
#include "Code/System/GAMEProgramHooks.h"
#include "Code/UI/GAMEUIRegistration.h"

void GameSpecificInstallHooks() {
  KvSetStoreGameHooks(g_GAMEProfileSaveHooks);
  KvSetUIGameHooks(g_GAMEUIHooks);
  KvSetProgramGameHooks(g_GAMEProgramHooks);
  SKvEngineGameHooks engineHooks;
  engineHooks.pInput = &g_GAMEInputHooks;
  engineHooks.pWindow = &g_GAMEGraphicsHooks;
  engineHooks.pVideo = &g_GAMEGraphicsHooks;
  engineHooks.pFrame = &g_GAMEGraphicsHooks;
  engineHooks.pUIRender = &g_GAMEGraphicsHooks;
  KvSetEngineGameHooks(engineHooks);
}

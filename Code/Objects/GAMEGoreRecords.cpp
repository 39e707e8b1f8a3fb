#include "Code/Objects/GAMEGoreRecords.h"

ClDynamicVector<SEnemyActionFx> g_enemyActionFx;
ClDynamicVector<SSparkAnim> g_sparkAnims;
ClDynamicVector<SBloodSplat> g_bloodSplats;

namespace GoreRecords {

void initialize() {
  g_enemyActionFx.initialize(8);
  g_sparkAnims.initialize(8);
  g_bloodSplats.initialize(8);
}

void terminate() {
  if (g_enemyActionFx.isInitialized()) g_enemyActionFx.terminate();
  if (g_sparkAnims.isInitialized()) g_sparkAnims.terminate();
  if (g_bloodSplats.isInitialized()) g_bloodSplats.terminate();
}

}  // namespace GoreRecords

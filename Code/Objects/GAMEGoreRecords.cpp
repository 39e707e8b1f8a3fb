#include "Code/Objects/GAMEGoreRecords.h"

ClDynamicVector<SFloatingText> g_floatingTexts;
ClDynamicVector<SEnemyActionFx> g_enemyActionFx;
ClDynamicVector<SSparkAnim> g_sparkAnims;
ClDynamicVector<SBloodSplat> g_bloodSplats;
ClDynamicVector<SGib> g_gibs;

namespace GoreRecords {

void initialize() {
  g_floatingTexts.initialize(8);
  g_enemyActionFx.initialize(8);
  g_bloodSplats.initialize(8);
  g_sparkAnims.initialize(8);
  g_gibs.initialize(8);
}

void terminate() {
  if (g_enemyActionFx.isInitialized()) g_enemyActionFx.terminate();
  if (g_sparkAnims.isInitialized()) g_sparkAnims.terminate();
  if (g_bloodSplats.isInitialized()) g_bloodSplats.terminate();
  if (g_gibs.isInitialized()) g_gibs.terminate();
  if (g_floatingTexts.isInitialized()) g_floatingTexts.terminate();
}

}  // namespace GoreRecords

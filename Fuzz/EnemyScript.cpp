// Fuzzes the loading of "EntityEnemy": any ".kds" image is either refused (by the file loader or by the script
// check, with a message) or, when it passes, sets up every type it defines and runs them a second of game time
// with a player, drawing each frame. Any stop of the program is a finding: a script that passes the check must
// never stop the enemies.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Fuzz/FuzzPlainName.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

bool plainAnimations(const ClDScriptData2* pRoot) {
  for (i32 t = 0; t < pRoot->getCount(); ++t) {
    const ClDScriptData2* pType = pRoot->getChildAt(t);
    if (!pType->hasName() || !KvFuzzPlainName(pType->getName())) return false;
    const ClDScriptData2* pAnims = pType->getType() == E_DSVT_ARRAY ? pType->findChild("Animations") : nullptr;
    for (i32 i = 0; pAnims != nullptr && pAnims->getType() == E_DSVT_ARRAY && i < pAnims->getCount(); ++i) {
      const ClDScriptData2* pAnim = pAnims->getChildAt(i);
      const ClDScriptData2* pName = pAnim->getType() == E_DSVT_ARRAY && pAnim->getCount() > 0 ? pAnim->getChildAt(0) : pAnim;
      if ((pName->getType() == E_DSVT_STRING || pName->getType() == E_DSVT_HASH_ID) && !KvFuzzPlainName(pName->getString())) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(pData, uiSize, "EntityEnemy.kds", szError, sizeof(szError));
  if (pRoot == nullptr) {
    return 0;
  }
  if (pRoot->getType() != E_DSVT_ARRAY || !plainAnimations(pRoot)) {
    // Only the check: the harness cannot make frames for these names.
    std::string error;
    EnemyScript::check(pRoot, &error);
    ClDScriptData2::destroyTree(pRoot);
    return 0;
  }
  ClWorldHarness world(1234);
  if (!world.loadEnemiesTree(pRoot).empty()) {
    return 0;
  }
  ClTestPlayer& player = world.addPlayer(100.0f, 1);
  for (i32 t = 0; t < pRoot->getCount() && t < 16; ++t) {
    world.spawn(pRoot->getChildAt(t)->getName(), 120.0f + 10.0f * static_cast<f32>(t), t % 3);
  }
  for (i32 iFrame = 0; iFrame < 30 && g_entityList.getCount() < 400; ++iFrame) {
    g_fWorldCameraX += 2.0f;
    for (i32 i = 0; i < g_entityList.getCount(); ++i) {
      if (ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i])) {
        pEnemy->tryHit("LHUCEB"[iFrame % 6], static_cast<f32>(iFrame % 25), iFrame % 2);
      }
    }
    player.m_eWeapon = iFrame % 4;
    player.m_eState = iFrame % 10;
    world.step(1.0f / 30.0f);
    EntityList::drawPass();
    world.m_sink.m_quads.clear();
  }
  return 0;
}

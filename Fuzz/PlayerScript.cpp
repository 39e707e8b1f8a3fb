// Fuzzes the loading of "EntityPlayer": any ".kds" image is either refused (by the file loader or by the script
// check, with a message) or, when it passes, drives the player through every kind of move for a second and a
// half of game time (punches of each kind, both weapons' sets, the three super weapons, a special, damage),
// drawing each frame. Any stop of the program is a finding: a script that passes the check must never stop the
// player.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Fuzz/FuzzPlainName.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Code/Objects/PlayerTestWorld.h"

namespace {

// Rebuilds the script as text the harness compiles again (so the world owns its own tree): only when every
// set's every key is a plain name.
bool scriptText(const ClDScriptData2* pRoot, std::string* pText) {
  for (const char* pSet : PlayerScript::gc_apSets) {
    const ClDScriptData2* pNode = pRoot->findChild(pSet);
    *pText += std::string(pSet) + " = {\n";
    for (const char* pKey : PlayerScript::gc_apKeys) {
      const char* pName = pNode->findChild(pKey)->getString();
      if (!KvFuzzPlainName(pName)) return false;
      *pText += std::string(pKey) + " = \"" + pName + "\"\n";
    }
    *pText += "}\n";
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(pData, uiSize, "EntityPlayer.kds", szError, sizeof(szError));
  if (pRoot == nullptr) {
    return 0;
  }
  std::string error;
  std::string text;
  const bool bPassed = PlayerScript::check(pRoot, &error) && scriptText(pRoot, &text);
  ClDScriptData2::destroyTree(pRoot);
  if (!bPassed) {
    return 0;
  }
  ClPlayerTestWorld world(1234, "", text);
  if (!world.m_error.empty()) {
    return 0;
  }
  ClEntityPlayer& player = world.player();
  world.spawn("Walker", 140.0f, 1);
  static constexpr i32 s_aiCommands[] = {E_GAME_ACTION_HIGH_PUNCH, E_GAME_ACTION_LOW_PUNCH,
                                         E_GAME_ACTION_UPPERCUT,   E_GAME_ACTION_LEFT_PUNCH,
                                         E_GAME_ACTION_LANE_UP,    E_GAME_ACTION_SUPER_WEAPON,
                                         E_GAME_ACTION_LANE_DOWN,  E_GAME_ACTION_MAGIC};
  for (i32 iFrame = 0; iFrame < 90; ++iFrame) {
    if (iFrame % 3 == 0) {
      g_fSuperMeter = iFrame % 30 == 0 ? 0.05f : g_fSuperMeter;
      if (iFrame == 30 || iFrame == 60) {
        g_fSuperMeter = 1.0f;
        g_iSuperWeaponKind = iFrame / 30;
      }
      world.press(s_aiCommands[(iFrame / 3) % 8]);
    }
    if (iFrame == 20) player.takeSledgehammer(0);
    if (iFrame == 40) player.takeAxe(1);
    if (iFrame == 50) player.takeDamage();
    g_iMagicKind = iFrame % 3;
    world.step(1.0f / 30.0f, g_bMagicFreeze != 0 ? 0.0f : 1.0f / 30.0f);
    world.draw();
  }
  return 0;
}

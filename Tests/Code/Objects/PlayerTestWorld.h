// A headless world with the real player: the enemy harness (WorldTestSupport.h) plus the player's flip books and
// atlas images, an "EntityPlayer" script, the clock's timers, and pad 0's 37 gameplay actions driven by the test
// (press a command for one frame; each step flips the input frame as the input manager's tick does).
#pragma once

#include <string>
#include <vector>

#include "Code/Objects/ClEntityPlayer.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/System/ClClock.h"
#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Support/WorldTestSupport.h"

// An "EntityPlayer" whose set s names every key k "<Set><Key>" (so a test can tell which set and key played).
inline std::string KvTestPlayerScript() {
  std::string text;
  for (const char* pSet : PlayerScript::gc_apSets) {
    text += std::string(pSet) + " = {\n";
    for (const char* pKey : PlayerScript::gc_apKeys) {
      text += std::string("  ") + pKey + " = \"" + pSet + pKey + "\"\n";
    }
    text += "}\n";
  }
  return text;
}

class ClPlayerTestWorld {
 public:
  static constexpr i32 cACTIONS = 37;

  // Enemies from the script text (the test types when empty) and the player from the player script text (the
  // test script when empty); uiSeed seeds the generator.
  explicit ClPlayerTestWorld(u32 uiSeed = 5489, const std::string& enemies = "", const std::string& player = "")
      : m_world(uiSeed) {
    ClClock::initialize();
    for (SClockFrame& clock : ClClock::m_aClockFrames) {
      clock.m_dTotalTime = 0.0;
    }
    m_savedActionCount = ClInputManager::getActionCount();
    ClInputManager::setActionCount(cACTIONS);
    ClInputManager::m_apGameSpecificInputs[0] = m_actions;
    ClInputManager::m_auiPadMap[0] = 0;
    ClInputManager::m_uiCurInputFrame = 0;
    ClGameStateMgr::blockInput(0);
    g_bSkipStateStep = 0;
    g_aiPunchVariant[0] = g_aiPunchVariant[1] = g_aiPunchVariant[2] = 0;  // as at program start
    g_bLeftPunchVariant = 0;
    g_fWeedWhackerHitCooldown = 0.0f;
    m_playerScript = KvTestCompileScript(player.empty() ? KvTestPlayerScript() : player, "EntityPlayer", &m_error);
    if (m_playerScript == nullptr) {
      return;
    }
    for (const char* pSet : PlayerScript::gc_apSets) {
      for (const char* pKey : PlayerScript::gc_apKeys) {
        m_world.flipBook(m_playerScript->getChild(pSet)->getChild(pKey)->getString(), 2, 10.0f);
      }
    }
    for (i32 i = 0; i < PlayerScript::fixedFlipBookCount(); ++i) {
      m_world.flipBook(PlayerScript::fixedFlipBook(i), 4, 10.0f);
    }
    // The gore effects' pieces and trails, for worlds whose services hand gibs on to them.
    for (const char* pName : {"GibNormal1", "GibNormal2", "GibNormal3", "GibNormal4", "GibNormal5", "GibNormal6",
                              "GibFire1", "GibFire2", "GibFire3", "GibElectric1", "GibElectric2", "GibElectric3",
                              "GibMagic1", "GibMagic2", "GibMagic3", "GibFireAir", "GibFireLand", "GibMagicAir",
                              "GibMagicLand"}) {
      m_world.flipBook(pName, 4, 12.0f);
    }
    for (const char* pName : {"PlayerTarget_216", "PlayerTargetSledgehammer_216", "PlayerTargetMachete_216",
                              "PlayerTargetChainsaw_216", "DragonHead_216", "DragonArmLeft_216", "DragonHandLeft_216",
                              "DragonJaw_216", "DragonArmRight_216", "DragonHandRight_216", "DragonBreathStart1_216",
                              "DragonBreathStart2_216", "DragonBreathStart3_216"}) {
      m_world.image(pName, 16.0f, 8.0f);
    }
    std::string types = enemies;
    if (types.empty()) {
      types = KvTestEnemyScript(KvTestEnemyTypes()) +
              "PlayerCrossbowSawblades = { EnemyHitType = \"B\"\nCanHitPlayer = 0\nHitMask = \"\"\n"
              "Velocity = [300.0, 0.0, 0.0]\nAnimations = { Running = \"Saw\" }\nStates = { default = {} }\n"
              "Reactions = [ \"root\" ]\nActions = {}\n}\n";
    }
    m_error = m_world.loadEnemies(types);
    if (!m_error.empty()) {
      return;
    }
    if (!PlayerScript::check(m_playerScript, &m_error)) {
      return;
    }
    g_pEntityPlayerScript = m_playerScript;
    mp_pPlayer = EntityList::create<ClEntityPlayer>();
    EntityList::add(mp_pPlayer);
    g_pPlayer = mp_pPlayer;
    const f32 afStart[4] = {100.0f, 0.0f, 0.0f, 0.0f};
    mp_pPlayer->reset(afStart, 0);
  }

  ~ClPlayerTestWorld() {
    EntityList::destroyAll();  // the player is cleared while the services and the clock still answer
    g_pPlayer = nullptr;
    g_pEntityPlayerScript = nullptr;
    if (m_playerScript != nullptr) {
      ClDScriptData2::destroyTree(m_playerScript);
    }
    ClInputManager::m_apGameSpecificInputs[0] = nullptr;
    ClInputManager::setActionCount(m_savedActionCount);
    ClClock::shutdown();
  }

  ClEntityPlayer& player() { return *mp_pPlayer; }

  // Holds iCommand down in the next step (a press is just pressed in its first frame only).
  void press(i32 iCommand) { m_pressed.push_back(iCommand); }

  // One frame: this frame's commands, the clocks (system dt, gameplay dt), the timers, the update and removal
  // passes.
  void step(f32 fSystemDT, f32 fGameplayDT) {
    ClInputManager::m_uiCurInputFrame ^= 1;
    for (SGameInputAction& action : m_actions) {
      action.mp_afValues[ClInputManager::m_uiCurInputFrame] = 0.0f;
    }
    for (i32 iCommand : m_pressed) {
      m_actions[iCommand].mp_afValues[ClInputManager::m_uiCurInputFrame] = 1.0f;
    }
    m_pressed.clear();
    ClClock::m_aClockFrames[0].m_fFrameTime = fSystemDT;
    ClClock::m_aClockFrames[1].m_fFrameTime = fGameplayDT;
    ClClock::m_aClockFrames[0].m_dTotalTime += fSystemDT;
    ClClock::m_aClockFrames[1].m_dTotalTime += fGameplayDT;
    ClClock::updateTimers();
    g_iEnemyCueBudgetUsed = 0;
    EntityList::updatePass();
    EntityList::removalPass();
  }
  void step(f32 fDT = 1.0f / 64.0f) { step(fDT, fDT); }

  // The quads of one draw pass.
  std::vector<SWorldQuad> draw() {
    m_world.m_sink.m_quads.clear();
    EntityList::drawPass();
    return m_world.m_sink.m_quads;
  }

  ClRecordingServices& services() { return m_world.m_services; }

  i32 cues(const char* pName) const { return m_world.m_services.cueCount(pName); }

  ClEntityEnemy* spawn(const char* pType, f32 fX, i32 iLane, f32 fZ = 0.0f) {
    return m_world.spawn(pType, fX, iLane, fZ);
  }

  ClWorldHarness m_world;
  std::string m_error;

 private:
  ClDScriptData2* m_playerScript = nullptr;
  ClEntityPlayer* mp_pPlayer = nullptr;
  SGameInputAction m_actions[cACTIONS] = {};
  std::vector<i32> m_pressed;
  i32 m_savedActionCount = 0;
};

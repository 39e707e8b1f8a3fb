// The player fighting sample enemies over the sample background inside the started game: the sample scripts
// "EntityPlayer", "EntityEnemy" and "Backgrounds" from the build's archives, every sample flip book registered on the
// game atlas, the gore effects, and services that record each call and hand cues to the audio manager and gibs and
// texts to the gore effects. A stand-in for the Action mode draws the world frame by frame (background, entities,
// gore, the UI) and is the game's current mode while a test runs; the test presses the player's commands and steps
// the clocks with fixed frames.
#pragma once

#include <cstdio>
#include <set>


#include "Code/Objects/Backgrounds.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Code/Objects/GAMEEnemyScript.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"
#include "Tests/Support/WorldTestSupport.h"

// The game's own sink with a stand-in for the game's effects this build may not have yet: a quad or ring whose
// shader is not registered is drawn with the plain premultiplied (quads) or colour (rings) blend instead, and the
// shader is counted, so the picture shows everything and the test can say what was stood in for.
class ClShaderFallbackSink final : public ClWorldDrawSink {
 public:
  void submit(const SWorldQuad& quad) override {
    SWorldQuad copy = quad;
    copy.m_uiShaderHash = orFallback(quad.m_uiShaderHash, "system_blend_premult");
    forward([&copy] { WorldDraw::submit(copy); });
  }
  void submitRing(const SWorldRing& ring) override {
    SWorldRing copy = ring;
    copy.m_uiShaderHash = orFallback(ring.m_uiShaderHash, "system_blend_color");
    forward([&copy] { WorldDraw::submitRing(copy); });
  }
  void submitText(const SWorldText& text) override {
    forward([&text] { WorldDraw::submitText(text); });
  }
  std::set<u32> m_missing;

 private:
  u32 orFallback(u32 uiHash, const char* pFallback) {
    if (ClShaderMgr::findShader(uiHash) != nullptr) return uiHash;
    m_missing.insert(uiHash);
    return KvStrHash(pFallback);
  }
  // Hands the call to the game's sink (installed for the call only).
  template <typename F>
  void forward(F call) {
    WorldDraw::setSink(nullptr);
    call();
    WorldDraw::setSink(this);
  }
};

// One Action frame as far as this world goes: the clocks, this frame's commands (pressed after the mappers have
// written theirs), the frame's geometry begun, the world's update, the gore effects, then the world and the UI
// drawn and the frame composed.
class ClPlayerSceneMode final : public ClGameMode {
 public:
  i32 enter(i32) override { return 1; }
  i32 tick(f32 fDT) override {
    ClGame::tickClocks(fDT);
    if (g_bMagicFreeze != 0) {
      // As the level does while a special plays: gameplay time stands still.
      ClClock::m_aClockFrames[1].m_dTotalTime -= static_cast<f64>(ClClock::m_aClockFrames[1].m_fFrameTime);
      ClClock::m_aClockFrames[1].m_fFrameTime = 0.0f;
    }
    for (i32 iCommand : m_pressed) {
      ClInputManager::getActions(0)[iCommand].mp_afValues[ClInputManager::m_uiCurInputFrame] = 1.0f;
    }
    m_pressed.clear();
    g_iEnemyCueBudgetUsed = 0;
    // The specials queue their effects while they update: the frame's geometry begins first.
    ClDynamicGeometry::beginFrame();
    EntityList::updatePass();
    EntityList::removalPass();
    GoreFx::update();
    Backgrounds::tick();
    EntityList::drawPass();
    GoreFx::draw();
    ClUI::update();
    ClUI::render();
    g_aTVChannels[0].advance();
    ClGraphics::endFrame();
    return 0;
  }
  i32 exit() override { return 1; }
  std::vector<i32> m_pressed;
};

class GamePlayerScene : public GameFrontEnd {
 protected:
  static constexpr f32 gc_fFRAME = 1.0f / 60.0f;

  void SetUp() override {
    GameFrontEnd::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    ASSERT_TRUE(settleMenus());
    ASSERT_TRUE(switchMainScreenTo("InGame"));
    // The world's flip books wait for the world's loading: every sample flip book the load mode did not register.
    for (const auto& entry : std::filesystem::directory_iterator(KV_FLIPBOOK_CONTENT_DIR)) {
      const std::string name = entry.path().stem().string();
      if (entry.path().extension() == ".kdt" && ClFlipBookMgr::findByHash(KvStrHash(name.c_str())) == nullptr) {
        ClFlipBookMgr::loadFlipBook(name.c_str(), "TexturesGameAtlas", 1.0f);
      }
    }
    ASSERT_TRUE(EnemyScript::load());
    ASSERT_TRUE(PlayerScript::load());
    ASSERT_TRUE(Backgrounds::initialize());
    ASSERT_TRUE(Backgrounds::loadPattern("BackgroundPatternChapter1A"));
    sfmtInitGenRand(20261208);
    WorldRunState::reset();
    EntityList::initialize();
    GoreFx::initialize();
    m_services.m_bPlayCues = true;
    m_services.m_bSpawnGore = true;
    WorldServices::set(&m_services);
    WorldDraw::setSink(&m_sink);
    m_pPlayer = EntityList::create<ClEntityPlayer>();
    EntityList::add(m_pPlayer);
    g_pPlayer = m_pPlayer;
    const f32 afStart[4] = {100.0f, 0.0f, 0.0f, 0.0f};
    m_pPlayer->reset(afStart, 0);
    m_pSavedMode = g_pCurrentGameMode;
    g_pCurrentGameMode = &m_mode;
    m_bWorld = true;
  }
  void TearDown() override {
    if (m_bWorld) {
      g_pCurrentGameMode = m_pSavedMode;
      EntityList::destroyAll();
      g_pPlayer = nullptr;
      GoreFx::releaseAll();
      Backgrounds::release();
      WorldServices::set(nullptr);
      WorldDraw::setSink(nullptr);
      reportFallbacks();
      g_pEntityPlayerScript = nullptr;
      g_pEntityEnemyScript = nullptr;
    }
    GameFrontEnd::TearDown();
  }

  ClEntityEnemy* spawn(const char* pType, f32 fX, i32 iLane) {
    ClEntityEnemy* pEnemy = EntityList::create<ClEntityEnemy>();
    pEnemy->setup(fX, 0.0f, 0.0f, 0.0f, iLane, pType);
    EntityList::add(pEnemy);
    return pEnemy;
  }
  // A walker in each lane and a few more types, ahead of the player.
  void spawnSampleEnemies() {
    spawn("EnemyFast", 250.0f, 0);
    spawn("EnemyRiot", 300.0f, 1);
    spawn("EnemyPistol", 330.0f, 2);
    spawn("EnemyThug", 200.0f, 2);
    spawn("EnemyStomper", 360.0f, 0);
  }
  // Names the game's effects that were stood in for (the shaders the world names that the build may lack).
  void reportFallbacks() const {
    for (const char* pName : {"vosk_shadow", "vosk_star", "vosk_star_world", "vosk_bullet", "vosk_blood",
                              "vosk_blood_orange", "vosk_blend_premult_zwrite", "vosk_blend_color_zwrite"}) {
      if (m_sink.m_missing.count(KvStrHash(pName)) != 0) {
        std::printf("%s is not in this build: drawn with the plain blend\n", pName);
      }
    }
  }
  // Holds iCommand down in the next frame.
  void press(i32 iCommand) { m_mode.m_pressed.push_back(iCommand); }
  // iFrames game frames of gc_fFRAME through the stand-in Action mode.
  void frames(i32 iFrames) {
    for (i32 i = 0; i < iFrames; ++i) ClGame::tickFrame(gc_fFRAME);
  }
  // The back buffer of the last frame drawn.
  static STestPicture picture() { return readBackBuffer(); }

  ClRecordingServices m_services;
  ClShaderFallbackSink m_sink;
  ClPlayerSceneMode m_mode;
  ClEntityPlayer* m_pPlayer = nullptr;
  ClGameMode* m_pSavedMode = nullptr;
  bool m_bWorld = false;
};

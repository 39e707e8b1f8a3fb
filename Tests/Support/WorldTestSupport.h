// A headless world for the world's tests and benchmark: the game atlas registered without texture pages, flip
// books made from short scripts, data scripts compiled from text in memory, the evaluator and the random
// generator started, a recording draw sink, recording world services and a player stand-in. The test drives
// the gameplay clock itself (step).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "Code/Objects/ClEntity.h"
#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEEnemyScript.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Data/ClDataScriptEvaluator.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Tools/kdsc/KdsSource.h"

// One image of the test atlas: size and the anchor of the image in its frame, in texels.
struct SWorldTestImage {
  std::string m_name;
  f32 m_fWidth = 16.0f;
  f32 m_fHeight = 16.0f;
  f32 m_fAnchorX = 0.0f;
  f32 m_fAnchorY = 0.0f;
};

// Compiles script text into a tree the caller destroys (ClDScriptData2::destroyTree); null with the error.
inline ClDScriptData2* KvTestCompileScript(const std::string& text, const std::string& name, std::string* pError) {
  SKdsSourceNode root;
  if (!KdsParseSource(text, name + ".kdt", &root, pError)) {
    return nullptr;
  }
  const std::vector<uint8_t> image = KdsWriteImage(root);
  char szError[gc_uiKDS_ERROR_SIZE] = {};
  ClDScriptData2* pTree = ClDScriptMgr2::buildTree(image.data(), image.size(), name.c_str(), szError, sizeof(szError));
  if (pTree == nullptr) {
    *pError = szError;
  }
  return pTree;
}

class ClRecordingDrawSink final : public ClWorldDrawSink {
 public:
  // A text as drawn: its characters (UTF-16 narrowed, or the 8-bit text) with the call's other values.
  struct SText {
    std::string m_text;
    bool m_bAscii;
    std::string m_fontFamily;
    std::string m_shader;
    u32 m_uiPointSize;
    STextDrawArgs m_args;
    f32 m_afPosition[2];
  };
  void submit(const SWorldQuad& quad) override { m_quads.push_back(quad); }
  void submitRing(const SWorldRing& ring) override { m_rings.push_back(ring); }
  void submitText(const SWorldText& text) override {
    SText copy{"", text.mp_puiText == nullptr, text.mp_pFontFamily, text.mp_pShader, text.m_uiPointSize, text.m_args,
               {text.m_afPosition[0], text.m_afPosition[1]}};
    if (text.mp_puiText != nullptr) {
      for (const wchar16* p = text.mp_puiText; *p != 0; ++p) copy.m_text.push_back(static_cast<char>(*p));
    } else {
      copy.m_text = text.mp_pAscii;
    }
    m_texts.push_back(copy);
  }
  std::vector<SWorldQuad> m_quads;
  std::vector<SWorldRing> m_rings;
  std::vector<SText> m_texts;
};

class ClTestPlayer final : public ClWorldPlayer {
 public:
  struct STake {
    E_PLAYER_WEAPON m_eWeapon;
    i32 m_bKeepCharge;
  };
  ClTestPlayer() { m_eKind = E_ENTITY_KIND_PLAYER; }
  void takeDamage() override { ++m_iDamageTaken; }
  void takeDamageNoReaction() override { ++m_iQuietDamageTaken; }
  void setRunningOrDeath() override { ++m_iRunningOrDeath; }
  void takeMeleeWeapon(E_PLAYER_WEAPON eWeapon, i32 bKeepCharge) override { m_takes.push_back({eWeapon, bKeepCharge}); }
  void startLevelEndRun() override {
    ++m_iLevelEndRuns;
    m_eState = 13;
  }
  void update() override {}
  void draw(u32) override {}
  i32 m_iDamageTaken = 0;
  i32 m_iQuietDamageTaken = 0;
  i32 m_iRunningOrDeath = 0;
  i32 m_bResetKeepState = -1;  // the keep-state flag of the factory's reset
  i32 m_iLevelEndRuns = 0;
  std::vector<STake> m_takes;
};

class ClRecordingServices final : public ClWorldServices {
 public:
  struct SText {
    std::string m_text;
    i32 m_iPoints;
    bool m_bStacked;
  };
  struct SGibs {
    i32 m_iStyle;
    i32 m_iClass;
  };
  void playCue(u32 uiHash) override {
    m_cues.push_back(uiHash);
    if (m_bPlayCues) ClAudioManager::playCue(uiHash);
  }
  // Recorded; with m_bLimitCues the spawn manager's limiter decides, as in the game.
  void playLimitedCue(u32 uiHash) override {
    m_limitedCues.push_back(uiHash);
    if (m_bLimitCues) {
      ClSpawnMgr::playLimitedCue(uiHash);
    }
  }
  void playVoiceOver(i32 iCategory) override { m_voiceOvers.push_back(iCategory); }
  void addFloatingText(const char* pText, f32 fX, f32 fY, f32 fZ, i32 iPoints, bool bStacked) override {
    m_texts.push_back({pText, iPoints, bStacked});
    if (m_bSpawnGore) GoreFx::addFloatingText(pText, fX, fY, fZ, iPoints, bStacked);
  }
  void spawnGibs(i32 iStyle, i32 iClass, f32 fX, f32 fY, f32 fZ, f32 fWidth, f32 fHeight) override {
    m_gibs.push_back({iStyle, iClass});
    if (m_bSpawnGore) GoreFx::spawnGibs(iStyle, iClass, fX, fY, fZ, fWidth, fHeight);
  }
  void startSlowMotion() override { ++m_iSlowMotions; }
  void spawnPickup(const char* pName, const f32*, i32, f32) override { m_pickups.push_back(pName); }
  bool setAchievement(const char* pApiName) override {
    m_achievements.push_back(pApiName);
    return true;
  }
  bool ultraGibOption() override { return m_bUltraGib; }
  bool targetMarkerOption() override { return m_bTargetMarker; }
  void playSuperWeaponLoop() override { m_music.push_back("PlayLoop"); }
  void stopSuperWeaponLoop() override { m_music.push_back("StopLoop"); }
  void playPowerUpStinger() override { m_music.push_back("PlayStinger"); }
  void stopPowerUpStinger() override { m_music.push_back("StopStinger"); }
  // Held cues get made-up handles (the slot pointer stands for the cue's number); stops are recorded by number.
  SCueHandle createHeldCue(u32 uiHash) override {
    m_heldCues.push_back(uiHash);
    SCueHandle handle;
    handle.mp_pInstance = reinterpret_cast<ClFMODCueInstance*>(static_cast<uintptr_t>(m_heldCues.size()) * 16u);
    handle.m_uiGeneration = static_cast<u32>(m_heldCues.size());
    return handle;
  }
  void stopHeldCue(const SCueHandle& handle) override {
    if (!handle.isNull()) {
      m_stoppedHeldCues.push_back(handle.m_uiGeneration);
    }
  }
  // The player factory: a heap stand-in player placed at the position (its reset), owned by whoever lists it.
  ClWorldPlayer* createPlayer(const f32* pPosition, i32 bKeepState) override {
    ClTestPlayer* pPlayer = EntityList::create<ClTestPlayer>();
    pPlayer->initialize(pPosition[0], pPosition[1], pPosition[2], pPosition[3], E_ENTITY_KIND_PLAYER, 0, 1);
    pPlayer->m_bResetKeepState = bKeepState;
    m_madePlayers.push_back(pPlayer);
    return pPlayer;
  }

  i32 cueCount(const char* pName) const {
    return static_cast<i32>(std::count(m_cues.begin(), m_cues.end(), KvStrHash(pName)));
  }

  std::vector<u32> m_cues;
  std::vector<u32> m_limitedCues;
  std::vector<i32> m_voiceOvers;
  std::vector<SText> m_texts;
  std::vector<SGibs> m_gibs;
  i32 m_iSlowMotions = 0;
  std::vector<std::string> m_pickups;
  std::vector<std::string> m_achievements;
  std::vector<std::string> m_music;
  std::vector<u32> m_heldCues;
  std::vector<u32> m_stoppedHeldCues;
  std::vector<ClTestPlayer*> m_madePlayers;
  bool m_bLimitCues = false;
  bool m_bUltraGib = false;
  bool m_bTargetMarker = true;
  // Whether cues also play through the audio manager, and gibs and texts are also handed to the gore effects
  // (GoreFx), as the game's own services do.
  bool m_bPlayCues = false;
  bool m_bSpawnGore = false;
};


// The flip books every enemy may ask for besides its type's animations.
inline std::vector<std::string> KvWorldFixedFlipBooks() {
  return {"EnemyLeftIndicator", "HitSpark1", "HitSpark2", "BoltHit", "Blood1", "Blood2", "Blood3", "Blood4",
          "Blood5", "PlayerTShirtSmoke", "PlayerTShirtExplosion", "EnemyGrenadeExplosion"};
}

class ClWorldHarness {
 public:
  // Starts the engine parts the world needs; uiSeed seeds the random generator.
  explicit ClWorldHarness(u32 uiSeed = 5489) {
    ClDScriptMgr2::initialize();
    ClFlipBookMgr::initialize();
    ClDataScriptEvaluator::initialize();
    sfmtInitGenRand(uiSeed);
    for (SClockFrame& clock : ClClock::m_aClockFrames) {
      clock.m_fFrameTime = 0.0f;
    }
    WorldRunState::reset();
    EntityList::initialize();
    GoreRecords::initialize();
    WorldDraw::setSink(&m_sink);
    WorldServices::set(&m_services);
  }

  ~ClWorldHarness() {
    if (g_pPlayer == &m_player) {
      g_pPlayer = nullptr;
    }
    for (i32 i = 0; EntityList::isInitialized() && i < g_entityList.getCount(); ++i) {
      if (g_entityList[i] == &m_player) {
        g_entityList.erase(i);
        break;
      }
    }
    ClSpawnMgr::terminate();
    EntityList::destroyAll();
    GoreRecords::terminate();
    WorldDraw::setSink(nullptr);
    WorldServices::set(nullptr);
    g_pEntityEnemyScript = nullptr;
    if (mp_pScript != nullptr) {
      ClDScriptData2::destroyTree(mp_pScript);
    }
    for (ClDScriptData2* pTree : m_flipBookScripts) {
      ClDScriptData2::destroyTree(pTree);
    }
    ClDataScriptEvaluator::terminate();
    ClFlipBookMgr::terminate();
    ClAtlasMgr::terminate();
    ClDScriptMgr2::terminate();
  }

  // Adds images to the game atlas (registered by finishAtlas).
  void image(const std::string& name, f32 fWidth, f32 fHeight, f32 fAnchorX = 0.0f, f32 fAnchorY = 0.0f) {
    m_images.push_back({name, fWidth, fHeight, fAnchorX, fAnchorY});
  }
  // Adds images to "TexturesUIAtlas" (registered by finishAtlas when there are any).
  void uiImage(const std::string& name, f32 fWidth, f32 fHeight) { m_uiImages.push_back({name, fWidth, fHeight, 0.0f, 0.0f}); }
  // A flip book of iFrames frames ("<name>-0001_216" on) at fFps with the anchor, loaded by finishAtlas.
  void flipBook(const std::string& name, i32 iFrames = 2, f32 fFps = 10.0f, f32 fAnchorX = 8.0f, f32 fAnchorY = 16.0f) {
    if (m_books.count(name) != 0) {
      return;
    }
    m_books[name] = {iFrames, fFps, fAnchorX, fAnchorY};
    for (i32 i = 1; i <= iFrames; ++i) {
      char szName[256];
      std::snprintf(szName, sizeof(szName), "%s-%04d_216", name.c_str(), i);
      image(szName, 16.0f, 32.0f);
    }
  }
  // Registers "TexturesGameAtlas" and loads the flip books.
  void finishAtlas() {
    for (const char* pName : {"shad-tiny_216", "shad-small_216", "shad-med_216", "shad-large_216", "EnemyTarget_216",
                              "EnemyShieldShield_216"}) {
      image(pName, 8.0f, 4.0f);
    }
    for (i32 k = 1; k <= 5; ++k) {
      image("IM-splatter" + std::to_string(k) + "_216", 4.0f, 4.0f);
    }
    ClAtlasMgr::initialize();
    registerAtlas("TexturesGameAtlas", &m_images, &m_records);
    if (!m_uiImages.empty()) {
      registerAtlas("TexturesUIAtlas", &m_uiImages, &m_uiRecords);
    }
    for (const auto& [name, book] : m_books) {
      // The flip book's script: "fps" and "anchor", built in place.
      ClDScriptData2* pTree = ClDScriptData2::create();
      pTree->setArray();
      pTree->addChild("fps")->setFloat(book.m_fFps);
      ClDScriptData2* pAnchor = pTree->addChild("anchor");
      pAnchor->setArray();
      pAnchor->addUnnamedChild()->setFloat(book.m_fAnchorX);
      pAnchor->addUnnamedChild()->setFloat(book.m_fAnchorY);
      m_flipBookScripts.push_back(pTree);
      ClFlipBookMgr::loadFlipBookFromScript(pTree, name.c_str(), "TexturesGameAtlas", 1.0f);
    }
  }

  // Registers one atlas of the images (records kept in pRecords, which the atlas points into).
  void registerAtlas(const char* pName, std::vector<SWorldTestImage>* pImages, std::vector<SAtlasTexInfo>* pRecords) {
    std::sort(pImages->begin(), pImages->end(), [](const SWorldTestImage& a, const SWorldTestImage& b) {
      return static_cast<i32>(KvStrHash(a.m_name.c_str())) > static_cast<i32>(KvStrHash(b.m_name.c_str()));
    });
    pRecords->clear();
    for (const SWorldTestImage& img : *pImages) {
      SAtlasTexInfo record{};
      record.mp_uiNameHash = KvStrHash(img.m_name.c_str());
      record.mp_fWidth = img.m_fWidth;
      record.mp_fHeight = img.m_fHeight;
      record.mp_fFrameWidth = img.m_fWidth;
      record.mp_fFrameHeight = img.m_fHeight;
      record.mp_fAnchorX = img.m_fAnchorX;
      record.mp_fAnchorY = img.m_fAnchorY;
      pRecords->push_back(record);
    }
    SAtlasFileInfo* pInfo = new (KvAlignedAlloc(sizeof(SAtlasFileInfo), 16)) SAtlasFileInfo();
    pInfo->mp_pData = reinterpret_cast<const u8*>(&m_header);
    pInfo->mp_uiDataSize = sizeof(m_header);
    pInfo->mp_daEntries.initialize(static_cast<i32>(pRecords->size()) + 2);
    pInfo->mp_daTextures.initialize(4);
    for (const SAtlasTexInfo& record : *pRecords) {
      pInfo->mp_daEntries.append(SAtlasEntry{&record, nullptr});
    }
    ClAtlasMgr::indexEntries(pInfo);
    ClAtlasMgr::mp_atlasTable.insertPtr(KvStrHash(pName), pInfo);
  }

  // Flip books for the fixed names and for every animation of every type of the script text, the atlas, then
  // the script itself, checked. Answers the check's error ("" when it passed).
  std::string loadEnemies(const std::string& text) {
    std::string error;
    ClDScriptData2* pTree = KvTestCompileScript(text, "EntityEnemy", &error);
    return pTree != nullptr ? loadEnemiesTree(pTree) : error;
  }

  // The same for a tree already built; the harness owns it from here.
  std::string loadEnemiesTree(ClDScriptData2* pTree) {
    std::string error;
    mp_pScript = pTree;
    for (const std::string& name : KvWorldFixedFlipBooks()) {
      flipBook(name);
    }
    for (i32 t = 0; t < mp_pScript->getCount(); ++t) {
      const ClDScriptData2* pType = mp_pScript->getChildAt(t);
      const ClDScriptData2* pAnims = pType->getType() == E_DSVT_ARRAY ? pType->findChild("Animations") : nullptr;
      for (i32 i = 0; pAnims != nullptr && pAnims->getType() == E_DSVT_ARRAY && i < pAnims->getCount(); ++i) {
        const ClDScriptData2* pAnim = pAnims->getChildAt(i);
        const ClDScriptData2* pName = pAnim->getType() != E_DSVT_ARRAY ? pAnim
                                      : (pAnim->getCount() > 0 ? pAnim->getChildAt(0) : nullptr);
        if (pName != nullptr && (pName->getType() == E_DSVT_STRING || pName->getType() == E_DSVT_HASH_ID)) {
          flipBook(pName->getString());
        }
      }
      if (pType->hasName()) {
        flipBook(std::string(pType->getName()) + "TShirt");
      }
    }
    for (const char* pName : {"EnemyWeakTShirt", "EnemyHyenaTShirt", "EnemyFlankerTShirt"}) {
      flipBook(pName);
    }
    finishAtlas();
    if (!EnemyScript::check(mp_pScript, &error)) {
      return error;
    }
    g_pEntityEnemyScript = mp_pScript;
    return "";
  }

  // Puts the stand-in player into the list (index 0 when the list is empty) and makes it the player.
  ClTestPlayer& addPlayer(f32 fX, i32 iLane) {
    m_player.initialize(fX, KvLaneLine(iLane), 0.0f, 0.0f, E_ENTITY_KIND_PLAYER, 0, iLane);
    g_pPlayer = &m_player;
    EntityList::add(&m_player);
    return m_player;
  }

  ClEntityEnemy* spawn(const char* pType, f32 fX, i32 iLane, f32 fZ = 0.0f) {
    ClEntityEnemy* pEnemy = EntityList::create<ClEntityEnemy>();
    pEnemy->setup(fX, 0.0f, fZ, 0.0f, iLane, pType);
    EntityList::add(pEnemy);
    return pEnemy;
  }

  // One world frame of dt seconds on both clocks: the cue budget resets, then the update and removal passes.
  void step(f32 fDT) {
    ClClock::m_aClockFrames[0].m_fFrameTime = fDT;
    ClClock::m_aClockFrames[1].m_fFrameTime = fDT;
    g_iEnemyCueBudgetUsed = 0;
    EntityList::updatePass();
    EntityList::removalPass();
  }

  struct SBook {
    i32 m_iFrames;
    f32 m_fFps;
    f32 m_fAnchorX;
    f32 m_fAnchorY;
  };
  ClRecordingDrawSink m_sink;
  ClRecordingServices m_services;
  ClTestPlayer m_player;
  ClDScriptData2* mp_pScript = nullptr;
  std::vector<ClDScriptData2*> m_flipBookScripts;
  std::vector<SWorldTestImage> m_images;
  std::map<std::string, SBook> m_books;
  std::vector<SAtlasTexInfo> m_records;
  std::vector<SWorldTestImage> m_uiImages;
  std::vector<SAtlasTexInfo> m_uiRecords;
  SAtlasFileHeader m_header{};
};

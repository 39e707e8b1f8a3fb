// Loading and checking "EntityPlayer" before the player plays a move from it.
#include <cstdio>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Code/Objects/GAMEEnemyScript.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"

ClDScriptData2* g_pEntityPlayerScript = nullptr;

namespace {

// Flip books the player, its super weapons and its specials play by name.
constexpr const char* gc_apFixedFlipBooks[] = {
    "PlayerCrossbowUpperBody", "PlayerCrossbowUpperBodyShooting", "PlayerTShirtUpperBody",
    "PlayerTShirtUpperBodyShooting", "BoltMaxPose", "BoltTop", "BoltBack", "BoltFront", "BoltLeft", "BoltRight",
    "BoltHit", "PlayerRunning", "PlayerSuperClone", "PlayerShinobiFlying", "PlayerSuperDragon", "DragonEmber",
    "DragonBreath", "DragonFireSweep",
};

bool fail(std::string* pError, const std::string& text) {
  if (pError != nullptr) {
    *pError = "EntityPlayer" + text;
  }
  return false;
}

}  // namespace

namespace PlayerScript {

const char* const gc_apSets[gc_iNUM_SETS] = {"Animations", "Sledgehammer", "Machete", "Axe"};
const char* const gc_apKeys[gc_iNUM_KEYS] = {
    "Running",   "Hit",        "Death",      "HighPunch", "HighPunch2", "HighPunch3",
    "LowPunch",  "LowPunch2",  "LowPunch3",  "Uppercut",  "Uppercut2",  "Uppercut3",
    "LeftPunch", "LeftPunch2", "Chainsaw",   "PlayerCrossbowLegs", "PlayerCrossbowUpperBody",
    "PlayerTShirtUpperBody",
};

i32 fixedFlipBookCount() { return static_cast<i32>(sizeof(gc_apFixedFlipBooks) / sizeof(gc_apFixedFlipBooks[0])); }

const char* fixedFlipBook(i32 iIndex) { return gc_apFixedFlipBooks[iIndex]; }

bool check(const ClDScriptData2* pRoot, std::string* pError) {
  if (pRoot == nullptr || pRoot->getType() != E_DSVT_ARRAY) {
    return fail(pError, ": the root must be an array of animation sets");
  }
  std::string badName;
  if (!KvScriptNamesMatchHashes(pRoot, &badName)) {
    return fail(pError, ": the name \"" + badName + "\" does not match its stored hash (a damaged file)");
  }
  const bool bCheckBooks = ClFlipBookMgr::isInitialized();
  for (const char* pSet : gc_apSets) {
    const ClDScriptData2* pNode = pRoot->findChild(pSet);
    if (pNode == nullptr || pNode->getType() != E_DSVT_ARRAY) {
      return fail(pError, std::string(" [") + pSet + "]: the set is missing or not an array");
    }
    for (const char* pKey : gc_apKeys) {
      const ClDScriptData2* pValue = pNode->findChild(pKey);
      const std::string entry = std::string(" [") + pSet + "/" + pKey + "]: ";
      if (pValue == nullptr) {
        return fail(pError, entry + "the key is missing");
      }
      if ((pValue->getType() != E_DSVT_STRING && pValue->getType() != E_DSVT_HASH_ID) ||
          pValue->getString() == nullptr) {
        return fail(pError, entry + "must be a STRING or HASH_ID naming a flip book");
      }
      if (bCheckBooks && ClFlipBookMgr::findByHash(KvStrHash(pValue->getString())) == nullptr) {
        return fail(pError, entry + "names the flip book \"" + pValue->getString() + "\", which is not loaded");
      }
    }
  }
  for (i32 i = 0; bCheckBooks && i < fixedFlipBookCount(); ++i) {
    if (ClFlipBookMgr::findByHash(KvStrHash(gc_apFixedFlipBooks[i])) == nullptr) {
      const std::string name = gc_apFixedFlipBooks[i];
      return fail(pError, ": the flip book \"" + name + "\", which the player plays, is not loaded");
    }
  }
  return true;
}

bool load() {
  g_pEntityPlayerScript = nullptr;
  ClDScriptData2* pRoot = ClDScriptMgr2::getScript("EntityPlayer", nullptr);
  if (pRoot == nullptr) {
    KvPrintProblem("EntityPlayer: the script could not be read; no player (%s)", KvGetLastProblem());
    return false;
  }
  std::string error;
  if (!check(pRoot, &error)) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvPrintProblem("%s (%s)", error.c_str(),
                   ClDScriptMgr2::describeLocation("EntityPlayer", nullptr, szWhere, sizeof(szWhere)));
    return false;
  }
  // The guns' projectiles are enemy types.
  for (const char* pType : {"PlayerCrossbowSawblades", "PlayerBulletTShirt"}) {
    if (g_pEntityEnemyScript != nullptr && g_pEntityEnemyScript->findChild(pType) == nullptr) {
      KvPrintProblem("EntityPlayer: the projectile type \"%s\" is missing from EntityEnemy", pType);
      return false;
    }
  }
  g_pEntityPlayerScript = pRoot;
  return true;
}

}  // namespace PlayerScript

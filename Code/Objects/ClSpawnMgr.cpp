#include "Code/Objects/ClSpawnMgr.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClEntityPickup.h"
#include "Code/Objects/ClEntityStarEnemy.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/GAMEGameTypes.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

ClDynamicVector<SSpawnRow> g_spawnRows;
i32 g_iNextSpawnRow = 0;
f32 g_fSpawnBase = 0.0f;
f32 g_fLevelLength = 0.0f;
ClDynamicVector<i32> g_aiStarGroupCounts;
ClDynamicVector<SSpawnPattern> g_spawnPatterns;
ClListPickerNoRepeat<i32> g_patternPicker;
u32 g_auiLimitedCueHashes[gc_iLIMITED_CUE_SLOTS] = {};
f32 g_afLimitedCueTimes[gc_iLIMITED_CUE_SLOTS] = {};

namespace {

const u32 gc_uiPATTERN_HASH = KvStrHash("pattern");

bool isText(const ClDScriptData2* p) {
  return (p->getType() == E_DSVT_STRING || p->getType() == E_DSVT_HASH_ID) && p->getString() != nullptr;
}

bool isMarker(const ClDScriptData2* pRow) {
  return pRow->getType() == E_DSVT_ARRAY && pRow->getCount() > 0 && pRow->getChildAt(0)->getType() == E_DSVT_HASH_ID;
}

bool isPatternMarker(const ClDScriptData2* pRow) {
  return isMarker(pRow) && pRow->getChildAt(0)->getHashValue() == gc_uiPATTERN_HASH;
}

bool startsWith(const char* pText, const char* pPrefix) { return std::strncmp(pText, pPrefix, std::strlen(pPrefix)) == 0; }

// A crate row: "Pickup" followed by "We" or "Su" ("PickupWeaponCrate...", "PickupSupportCrate...").
bool isCrateName(const char* pName) {
  return startsWith(pName, "Pickup") && std::strlen(pName) >= 8 &&
         (std::strncmp(pName + 6, "We", 2) == 0 || std::strncmp(pName + 6, "Su", 2) == 0);
}

// Star groups built row by row: "star" rows join the open group, "star_end" closes it with its size. The group
// id and count carry across the rows of one level (and across the patterns of one endless level).
struct SStarGroupBuilder {
  i32 m_iGroupId = 0;
  i32 m_iCount = 0;

  i32 apply(const ClDScriptData2* pRow) {
    i32 iGroup = -1;
    for (i32 i = 3; i < pRow->getCount(); ++i) {
      const char* pTag = pRow->getChildAt(i)->getString();
      if (std::strcmp(pTag, "star") == 0) {
        ++m_iCount;
        iGroup = m_iGroupId;
      } else if (std::strcmp(pTag, "star_end") == 0) {
        iGroup = m_iGroupId;
        g_aiStarGroupCounts.append(m_iCount + 1);
        ++m_iGroupId;
        m_iCount = 0;
      }
    }
    return iGroup;
  }

  // "star" rows left without their "star_end" form a group of their own, so that every row's group has a counter.
  void close() {
    if (m_iCount > 0) {
      g_aiStarGroupCounts.append(m_iCount);
      ++m_iGroupId;
      m_iCount = 0;
    }
  }
};

SSpawnRow readRow(const ClDScriptData2* pRow, SStarGroupBuilder* pGroups) {
  const i32 iGroup = pGroups->apply(pRow);
  return SSpawnRow(pRow->getChildAt(0)->getFloatExact(), pRow->getChildAt(1)->getInt(),
                   pRow->getChildAt(2)->getString(), iGroup);
}

bool rowHasStarTag(const ClDScriptData2* pRow) {
  for (i32 i = 3; i < pRow->getCount(); ++i) {
    if (std::strcmp(pRow->getChildAt(i)->getString(), "star") == 0) return true;
  }
  return false;
}

String rowFault(const char* pLevelName, i32 iRow, const char* pFault) {
  char szLine[512];
  std::snprintf(szLine, sizeof(szLine), "Levels: %s/Spawns row %d: %s", pLevelName, iRow, pFault);
  return String(szLine);
}

bool enemyTypeKnown(const char* pType) {
  if (g_pEntityEnemyScript != nullptr && g_pEntityEnemyScript->findChild(pType) != nullptr) {
    return true;
  }
  std::fprintf(stderr, "Levels: a spawn row names [%s], a type EntityEnemy does not define; nothing spawned\n", pType);
  return false;
}

void collectPatterns(const ClDScriptData2* pLevels) {
  // The story's levels, then the one level of the chapter after the story, which is read only here.
  for (i32 c = 0; c <= NUMBER_MAX_OF_CHAPTERS; ++c) {
    for (i32 l = 0; l < NUMBER_MAX_OF_LEVELS; ++l) {
      if (c == NUMBER_MAX_OF_CHAPTERS && l >= 1) continue;
      char szLevel[32];
      std::snprintf(szLevel, sizeof(szLevel), "Chapter%d_%d", c + 1, l + 1);
      const ClDScriptData2* pLevel = pLevels->findChild(szLevel);
      const ClDScriptData2* pSpawns =
          pLevel != nullptr && pLevel->getType() == E_DSVT_ARRAY ? pLevel->findChild("Spawns") : nullptr;
      if (pSpawns == nullptr) continue;
      String error;
      if (!ClSpawnMgr::checkSpawns(pSpawns, szLevel, &error)) {
        std::fprintf(stderr, "%s; its patterns are left out\n", error.getCStr());
        continue;
      }
      i32 i = 0;
      while (i < pSpawns->getCount()) {
        if (!isPatternMarker(pSpawns->getChildAt(i))) {
          ++i;
          continue;
        }
        SSpawnPattern pattern;
        pattern.mp_pSpawns = pSpawns;
        pattern.m_iFirstSpawn = i + 1;
        pattern.m_iChapter = c;
        pattern.m_iLevel = l;
        i32 j = i + 1;
        for (; j < pSpawns->getCount() && !isMarker(pSpawns->getChildAt(j)); ++j) {
          const ClDScriptData2* pRow = pSpawns->getChildAt(j);
          pattern.m_bHasStar |= rowHasStarTag(pRow) ? 1 : 0;
          pattern.m_fDistance += pRow->getChildAt(0)->getFloatExact();
        }
        pattern.mp_iNumberOfSpawns = j - (i + 1);
        if (pattern.mp_iNumberOfSpawns > 0) {
          g_spawnPatterns.append(pattern);
        } else {
          std::fprintf(stderr, "Levels: %s/Spawns row %d: an empty pattern; left out\n", szLevel, i);
        }
        i = j + 1;  // the marker that ended the pattern is not examined again
      }
    }
  }
  for (i32 i = 0; i < g_spawnPatterns.getCount(); ++i) {
    g_patternPicker.add(i, 1.0f);
  }
}

}  // namespace

bool ClSpawnMgr::checkSpawns(const ClDScriptData2* pSpawns, const char* pLevelName, String* pError) {
  if (pSpawns->getType() != E_DSVT_ARRAY) {
    *pError = rowFault(pLevelName, -1, "\"Spawns\" is not an array");
    return false;
  }
  for (i32 r = 0; r < pSpawns->getCount(); ++r) {
    const ClDScriptData2* pRow = pSpawns->getChildAt(r);
    if (pRow->getType() != E_DSVT_ARRAY || pRow->getCount() == 0) {
      *pError = rowFault(pLevelName, r, "a row must be a non-empty array");
      return false;
    }
    if (isMarker(pRow)) continue;
    if (pRow->getCount() < 3) {
      *pError = rowFault(pLevelName, r, "a row needs a distance, a lane and a name");
      return false;
    }
    const ClDScriptData2* pDistance = pRow->getChildAt(0);
    if (pDistance->getType() != E_DSVT_FLOAT || !std::isfinite(pDistance->getFloatExact()) ||
        pDistance->getFloatExact() < 0.0f) {
      *pError = rowFault(pLevelName, r, "element 0 (the distance step) must be a FLOAT of 0 or more");
      return false;
    }
    const ClDScriptData2* pLane = pRow->getChildAt(1);
    if (pLane->getType() != E_DSVT_INT || pLane->getInt() < 0 || pLane->getInt() > 2) {
      *pError = rowFault(pLevelName, r, "element 1 (the lane) must be an INT 0, 1 or 2");
      return false;
    }
    const ClDScriptData2* pName = pRow->getChildAt(2);
    if (!isText(pName) || pName->getString()[0] == '\0') {
      *pError = rowFault(pLevelName, r, "element 2 (the name) must be a STRING or HASH_ID");
      return false;
    }
    const char* pText = pName->getString();
    if (startsWith(pText, "Pickup") && !isCrateName(pText) && ClEntityPickup::kindOf(pText) < 0) {
      *pError = rowFault(pLevelName, r, "the name begins with \"Pickup\" but is no pickup or crate");
      return false;
    }
    for (i32 i = 3; i < pRow->getCount(); ++i) {
      if (!isText(pRow->getChildAt(i))) {
        *pError = rowFault(pLevelName, r, "a tag must be a STRING or HASH_ID");
        return false;
      }
    }
  }
  return true;
}

void ClSpawnMgr::initialize() {
  g_fSpawnBase = 0.0f;
  g_iNextSpawnRow = 0;
  g_spawnRows.initialize(8);
  g_aiStarGroupCounts.initialize(8);
  g_spawnPatterns.initialize(8);
  if (!g_patternPicker.isInitialized()) {
    g_patternPicker.initialize();
  }
  g_fLevelLength = 0.0f;
  for (i32 i = 0; i < gc_iLIMITED_CUE_SLOTS; ++i) {
    g_auiLimitedCueHashes[i] = 0;
    g_afLimitedCueTimes[i] = 0.0f;
  }
}

bool ClSpawnMgr::loadLevelSpawns(const ClDScriptData2* pSpawns) {
  const ClDScriptData2* pLevel = pSpawns->getParent();
  const char* pLevelName = pLevel != nullptr ? pLevel->getDisplayName() : "<UNNAMED>";
  String error;
  if (!checkSpawns(pSpawns, pLevelName, &error)) {
    std::fprintf(stderr, "%s; the level has no spawns\n", error.getCStr());
    return false;
  }
  SStarGroupBuilder groups;
  for (i32 r = 0; r < pSpawns->getCount(); ++r) {
    const ClDScriptData2* pRow = pSpawns->getChildAt(r);
    if (isMarker(pRow)) continue;
    const SSpawnRow row = readRow(pRow, &groups);
    g_spawnRows.append(row);
    g_fLevelLength += row.m_fDistance;
  }
  groups.close();
  return true;
}

void ClSpawnMgr::generateEndlessSpawns(const ClDScriptData2* pLevels) {
  if (pLevels == nullptr) {
    pLevels = ClDScriptMgr2::getScript("Levels", nullptr);
  }
  if (pLevels == nullptr || pLevels->getType() != E_DSVT_ARRAY) {
    std::fprintf(stderr, "Levels: the script could not be read; the endless level is empty\n");
    return;
  }
  if (g_spawnPatterns.getCount() == 0) {
    collectPatterns(pLevels);
  }
  // A kind of pattern is usable when one of its patterns covers at least a unit of road: when the kind the
  // cooldown asks for is not usable, the other kind is taken, so the loop always moves on.
  bool bStarUsable = false;
  bool bPlainUsable = false;
  for (i32 i = 0; i < g_spawnPatterns.getCount(); ++i) {
    const SSpawnPattern& pattern = g_spawnPatterns[i];
    if (pattern.m_fDistance >= 1.0f) {
      (pattern.m_bHasStar != 0 ? bStarUsable : bPlainUsable) = true;
    }
  }
  if (!bStarUsable && !bPlainUsable) {
    std::fprintf(stderr, "Levels: no usable spawn patterns (none covers any distance); the endless level is empty\n");
    return;
  }
  const f32 w = static_cast<f32>(g_iWave + (g_iGameType == E_GAME_TYPE_SURVIVOR_HARDCORE ? 10 : 0));
  const f32 d = w * 0.05f + 1.0f;
  const f32 fMinLength = d * 6099.9f;
  f32 fMaxLength = d * 7099.9f;
  if (g_iGameType == E_GAME_TYPE_DAILY) {
    fMaxLength = fMaxLength * 120.999f / 60.999f;
  }
  f32 fTotal = 0.0f;
  SStarGroupBuilder groups;
  while (fMaxLength > fTotal) {
    if (g_spawnRows.getCount() >= gc_iMAX_ENDLESS_ROWS) {
      std::fprintf(stderr, "Levels: the endless level reached %d rows at %.1f of %.1f units; cut short\n",
                   g_spawnRows.getCount(), static_cast<double>(fTotal), static_cast<double>(fMaxLength));
      break;
    }
    const SSpawnPattern& pattern = g_spawnPatterns[g_patternPicker.pick()];
    KV_ASSERT(pattern.mp_iNumberOfSpawns);
    bool bWantStar = g_fStarCooldown < 0.0f;
    if (bWantStar ? !bStarUsable : !bPlainUsable) {
      bWantStar = !bWantStar;
    }
    if ((pattern.m_bHasStar != 0) != bWantStar) {
      continue;
    }
    if (pattern.m_bHasStar != 0) {
      g_fStarCooldown = 3000.0f;
    }
    const u32 uiWord = sfmtNextWord();
    KvRandomCountDraws(1);
    const bool bMirror = uiWord > 0x7FFFFFFFu;
    for (i32 i = 0; i < pattern.mp_iNumberOfSpawns; ++i) {
      SSpawnRow row = readRow(pattern.mp_pSpawns->getChildAt(pattern.m_iFirstSpawn + i), &groups);
      if (std::strstr(row.m_name.getCStr(), "Pickup") != nullptr) {
        row.m_name = "EnemyWeakA";
      }
      if (bMirror) {
        row.m_iLane = 2 - row.m_iLane;
      }
      g_spawnRows.append(row);
      fTotal += row.m_fDistance;
      if (fMinLength * 0.8f > d * fTotal) {
        g_fStarCooldown -= row.m_fDistance;
      }
    }
  }
  groups.close();
}

void ClSpawnMgr::tick() {
  if (GameTypes::isSurvivor(g_iGameType) && g_fTimeLeft <= 2.0f) {
    return;
  }
  while (g_iNextSpawnRow < g_spawnRows.getCount() &&
         g_fWorldCameraX > g_spawnRows[g_iNextSpawnRow].m_fDistance + g_fSpawnBase) {
    const SSpawnRow& row = g_spawnRows[g_iNextSpawnRow];
    g_fSpawnBase += row.m_fDistance;
    const f32 fX = g_fSpawnBase + gc_fSPAWN_AHEAD;
    const char* pName = row.m_name.getCStr();
    // Creation may append to g_entityList only; the row stays valid.
    if (startsWith(pName, "Pickup")) {
      if (isCrateName(pName)) {
        spawnCrate(row.m_iLane, pName, fX);
      } else {
        spawnPickup(row.m_iLane, pName, fX);
      }
    } else if (row.m_iStarGroup > -1) {
      spawnStarEnemy(row.m_iLane, pName, row.m_iStarGroup, fX);
    } else {
      spawnEnemy(row.m_iLane, pName, fX);
    }
    ++g_iNextSpawnRow;
  }
  const f32 dt = ClClock::m_aClockFrames[0].m_fFrameTime;
  for (f32& fTime : g_afLimitedCueTimes) {
    fTime -= dt;
  }
}

void ClSpawnMgr::terminate() {
  if (g_spawnRows.isInitialized()) g_spawnRows.terminate();
  if (g_aiStarGroupCounts.isInitialized()) g_aiStarGroupCounts.terminate();
  if (g_spawnPatterns.isInitialized()) g_spawnPatterns.terminate();
  if (g_patternPicker.isInitialized()) {
    g_patternPicker.terminate();
  }
  for (u32& uiHash : g_auiLimitedCueHashes) {
    uiHash = 0;
  }
}

void ClSpawnMgr::spawnEnemy(i32 iLane, const char* pName, f32 fX) {
  if (!enemyTypeKnown(pName)) return;
  ClEntityEnemy* pEnemy = EntityList::create<ClEntityEnemy>();
  pEnemy->setup(fX, 0.0f, 0.0f, 0.0f, iLane, pName);
  EntityList::add(pEnemy);
}

void ClSpawnMgr::spawnCrate(i32 iLane, const char* pName, f32 fX) {
  const char* pSplit = std::strchr(pName, '_');
  const String type = pSplit != nullptr ? String(pName).subString(0, static_cast<u32>(pSplit - pName)) : String(pName);
  if (!enemyTypeKnown(type.getCStr())) return;
  ClEntityEnemy* pCrate = EntityList::create<ClEntityEnemy>();
  pCrate->setup(fX, 0.0f, 0.0f, 0.0f, iLane, type.getCStr());
  if (pSplit != nullptr) {
    pCrate->m_crateContent = pSplit + 1;
  }
  EntityList::add(pCrate);
}

void ClSpawnMgr::spawnStarEnemy(i32 iLane, const char* pName, i32 iStarGroup, f32 fX) {
  if (!enemyTypeKnown(pName)) return;
  ClEntityStarEnemy* pStar = EntityList::create<ClEntityStarEnemy>();
  pStar->setup(fX, 0.0f, 0.0f, 0.0f, iLane, pName, iStarGroup);
  EntityList::add(pStar);
}

ClEntityPickup* ClSpawnMgr::spawnPickup(i32 iLane, const char* pName, f32 fX) {
  if (ClEntityPickup::kindOf(pName) < 0) {
    std::fprintf(stderr, "Levels: a spawn row names the pickup [%s], which does not exist; nothing spawned\n", pName);
    return nullptr;
  }
  ClEntityPickup* pPickup = EntityList::create<ClEntityPickup>();
  if (!pPickup->initialize(fX, 0.0f, 0.0f, 0.0f, iLane, pName)) {
    EntityList::destroy(pPickup);
    return nullptr;
  }
  EntityList::add(pPickup);
  return pPickup;
}

void ClSpawnMgr::playLimitedCue(u32 uiCueNameHash) {
  for (i32 i = 0; i < gc_iLIMITED_CUE_SLOTS; ++i) {
    if (g_auiLimitedCueHashes[i] == uiCueNameHash && g_afLimitedCueTimes[i] > 0.0f) {
      return;
    }
  }
  i32 iSlot = 2;
  if (!(g_afLimitedCueTimes[0] > 0.0f)) {
    iSlot = 0;
  } else if (!(g_afLimitedCueTimes[1] > 0.0f)) {
    iSlot = 1;
  }
  g_auiLimitedCueHashes[iSlot] = uiCueNameHash;
  g_afLimitedCueTimes[iSlot] = 1.0f;
  WorldServices::get().playCue(uiCueNameHash);
}

#include "Code/UI/GAMEUI_ChooseEquipement.h"

#include <cstdio>

#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

ClDynamicVector<SEquipementAvailable> g_TEMPdaiWeaponsAvailable;
ClDynamicVector<SEquipementAvailable> g_TEMPdaiStarPowerAvailable;
i32 g_iSelectedWeaponIndex = 0;
i32 g_iSelectedMagicIndex = 0;
i32 g_iEquipementFocusedRow = 1;

namespace {

constexpr i32 gc_iWEAPON_ROW = 1;
constexpr i32 gc_iCAROUSEL_SLOTS = 3;
constexpr const char* gc_pWEAPON_PREFIX = "ChooseEquipementWeapon";
constexpr const char* gc_pMAGIC_PREFIX = "ChooseEquipementMagic";

void startList(ClDynamicVector<SEquipementAvailable>* pList) {
  if (pList->isInitialized()) {
    pList->clear();
  } else {
    pList->initialize(8);
  }
}

void addItem(ClDynamicVector<SEquipementAvailable>* pList, const char* pName, bool bWeapon, i32 iKind,
             bool bUnlocked) {
  SEquipementAvailable* pItem = pList->appendInPlace();
  KvStrLCpy(pItem->m_acName, pName, sizeof(pItem->m_acName));
  pItem->m_bLocked = bUnlocked ? 0 : 1;
  pItem->m_bIsWeapon = bWeapon ? 1 : 0;
  pItem->m_iWeaponKind = bWeapon ? iKind : 0;
  pItem->m_iMagicKind = bWeapon ? 0 : iKind;
}

// The three slots round the new selection, each picture with its item's name under it (the widget named after the
// picture's with "Name"; the text "chooseequip_item_" and the item's name), with the selected item written into
// the world.
void showCarousel(ClDynamicVector<SEquipementAvailable>& rEquipementAvailable, i32* piSelected, i32 iIndex,
                  const char* pPrefix) {
  const i32 iCount = rEquipementAvailable.getCount();
  KV_ASSERT_MSG(iIndex >= 0 && iIndex < iCount, "iIndex >= 0 && iIndex < rEquipementAvailable.getCount()");
  *piSelected = iIndex;
  for (i32 k = 1; k <= gc_iCAROUSEL_SLOTS; ++k) {
    const i32 iShown = ((iIndex + k - 2) % iCount + iCount) % iCount;
    const SEquipementAvailable& item = rEquipementAvailable[iShown];
    char szTexture[800];
    std::snprintf(szTexture, sizeof(szTexture), "IM-WeaponSelect-%s%s", item.m_acName,
                  item.m_bLocked != 0 ? "Lock" : "Live");
    ClUI::getWidgetFormatted("%s%d", pPrefix, k)->setString(gc_TEXTURE_NAME.mp_uiHash, szTexture);
    char szName[KV_MAX_PATH_LEN];
    KvSNPrintf(szName, sizeof(szName), "chooseequip_item_%s", item.m_acName);
    ClUI::getWidgetFormatted("%s%dName", pPrefix, k)->setLocalizedID(szName);
  }
  const SEquipementAvailable& selected = rEquipementAvailable[iIndex];
  if (selected.m_bIsWeapon != 0) {
    g_iSuperWeaponKind = selected.m_iWeaponKind;
  } else {
    g_iMagicKind = selected.m_iMagicKind;
    g_iDefaultMagicKind = selected.m_iMagicKind;
  }
}

// Steps the focused row's carousel by -1 or +1 with wrap-round.
void stepFocusedRow(i32 iStep) {
  const bool bWeapons = g_iEquipementFocusedRow == gc_iWEAPON_ROW;
  ClDynamicVector<SEquipementAvailable>& list = bWeapons ? g_TEMPdaiWeaponsAvailable : g_TEMPdaiStarPowerAvailable;
  i32* piSelected = bWeapons ? &g_iSelectedWeaponIndex : &g_iSelectedMagicIndex;
  const i32 iCount = list.getCount();
  showCarousel(list, piSelected, (*piSelected + iStep + iCount) % iCount, bWeapons ? gc_pWEAPON_PREFIX : gc_pMAGIC_PREFIX);
}

}  // namespace

void systemChooseEquipementInitialize(ClWidget*, WidgetEventProcedureCall*) {
  KvCheckPointer(g_pPlayerProfileData);
  const SPlayerProfileData& profile = *g_pPlayerProfileData;
  startList(&g_TEMPdaiWeaponsAvailable);
  startList(&g_TEMPdaiStarPowerAvailable);
  addItem(&g_TEMPdaiWeaponsAvailable, "WCrossbow", true, 1, profile.m_bEquipmentUnlock1 != 0);
  addItem(&g_TEMPdaiWeaponsAvailable, "WWeed", true, 0, true);
  addItem(&g_TEMPdaiWeaponsAvailable, "WShirtcannon", true, 2, profile.m_bEquipmentUnlock2 != 0);
  addItem(&g_TEMPdaiStarPowerAvailable, "MBomb1", false, 1, profile.m_bEquipmentUnlock4 != 0);
  addItem(&g_TEMPdaiStarPowerAvailable, "MBomb2", false, 0, true);
  addItem(&g_TEMPdaiStarPowerAvailable, "MBomb3", false, 2, profile.m_bEquipmentUnlock3 != 0);
  KV_ASSERT_MSG(g_TEMPdaiWeaponsAvailable.getCount() > 0, "g_TEMPdaiWeaponsAvailable.getCount() > 0");
  KV_ASSERT_MSG(g_TEMPdaiStarPowerAvailable.getCount() > 0, "g_TEMPdaiStarPowerAvailable.getCount() > 0");
  showCarousel(g_TEMPdaiWeaponsAvailable, &g_iSelectedWeaponIndex, g_iSelectedWeaponIndex, gc_pWEAPON_PREFIX);
  showCarousel(g_TEMPdaiStarPowerAvailable, &g_iSelectedMagicIndex, g_iSelectedMagicIndex, gc_pMAGIC_PREFIX);
}

void systemChooseEquipementTerminate(ClWidget*, WidgetEventProcedureCall*) {
  if (g_TEMPdaiWeaponsAvailable.isInitialized()) g_TEMPdaiWeaponsAvailable.terminate();
  if (g_TEMPdaiStarPowerAvailable.isInitialized()) g_TEMPdaiStarPowerAvailable.terminate();
}

void systemChooseEquipementTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (isGoingOut(pWidget) || !g_TEMPdaiWeaponsAvailable.isInitialized()) {
    return;
  }
  if (justPressed(E_GAME_ACTION_MENU_LEFT)) {
    playUIAcceptSound();
    stepFocusedRow(-1);
  }
  if (justPressed(E_GAME_ACTION_MENU_RIGHT)) {
    playUIAcceptSound();
    stepFocusedRow(1);
  }
  if (justPressed(E_GAME_ACTION_MENU_BACK)) {
    playUIAcceptSound();
    ClUI::switchBack();
  }
}

void systemChooseEquipementPlayButtonClick(ClWidget*, WidgetEventProcedureCall*) {
  if (g_TEMPdaiWeaponsAvailable[g_iSelectedWeaponIndex].m_bLocked != 0 ||
      g_TEMPdaiStarPowerAvailable[g_iSelectedMagicIndex].m_bLocked != 0) {
    playUICancelSound();
    return;
  }
  GAMESetRootValue("StartGame", 1);
  playUIAcceptSound();
}

void systemChooseEquipementChangeFocus(ClWidget*, WidgetEventProcedureCall* pData) {
  g_iEquipementFocusedRow = getParamInt(pData, 0);
}

void chooseEquipementResetSelection() {
  g_iSelectedWeaponIndex = 0;
  g_iSelectedMagicIndex = 0;
  g_iEquipementFocusedRow = gc_iWEAPON_ROW;
}

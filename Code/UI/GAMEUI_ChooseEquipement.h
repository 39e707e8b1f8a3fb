// The equipment screen before a level: one special weapon and one magic, each from a carousel of three items
// whose middle slot is the selection. Each slot shows the item's picture and, under it, its name from the string
// table ("chooseequip_item_" + the item's name). Locked items show their lock picture and cannot be taken into
// play. The selected item is written into the game world's weapon or magic kind as soon as it is shown (a locked
// one too); play raises "StartGame" only when both selections are open. Left and right step the focused row with
// wrap-round, back leaves. The selections and the focused row are kept between visits.
// Main thread, inside the UI's tick.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

struct SEquipementAvailable {
  char m_acName[768];  // the picture key ("WCrossbow", "MBomb2", ...)
  i32 m_bLocked = 1;
  i32 m_bIsWeapon = 0;
  i32 m_iWeaponKind = 0;
  i32 m_iMagicKind = 0;
};

extern ClDynamicVector<SEquipementAvailable> g_TEMPdaiWeaponsAvailable;
extern ClDynamicVector<SEquipementAvailable> g_TEMPdaiStarPowerAvailable;
extern i32 g_iSelectedWeaponIndex;
extern i32 g_iSelectedMagicIndex;
// 1: the weapon row has the focus; any other value: the magic row.
extern i32 g_iEquipementFocusedRow;

void systemChooseEquipementInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemChooseEquipementTerminate(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemChooseEquipementTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemChooseEquipementPlayButtonClick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
// INT parameter 0: the row that gained focus.
void systemChooseEquipementChangeFocus(ClWidget* pWidget, WidgetEventProcedureCall* pData);
// The selections and the focused row back to their start (both first items, the weapon row focused): the game's
// shutdown, so that a game started again in the same process opens the screen as a new process does.
void chooseEquipementResetSelection();

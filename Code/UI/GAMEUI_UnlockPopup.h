// The popup announcing what a result unlocked, one item at a time. The results initialisation chooses the first
// kind and raises the popup; confirming shows the next kind of the item's chain or closes the popup. While it is
// active the results screen ignores its own actions. Main thread, inside the UI's tick.
//
// Kinds 1..15 (0 none): magic dragon, magic ninja, machete, fire axe, marathon, survivor, ultra gib, story x,
// marathon extreme, marathon ultra, survivor hardcore, crossbow, T-shirt cannon, chapter 2, chapter 3.
// Chains: 14 -> 1 -> 3 -> 12, 15 -> 2 -> 4 -> 13, 5 -> 6 -> 7; every other kind ends its chain.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

extern i32 g_iUnlockKind;
extern i32 g_bUnlockPopupActive;

// The kind shown after iKind: the next of its chain, or iKind itself at a chain's end.
i32 nextUnlockKind(i32 iKind);

// Shows the current kind (text and icon; a kind outside 1..15 changes neither) and plays "StingerUnlock".
void systemInitializeUnlockPopup(ClWidget* pWidget, WidgetEventProcedureCall* pData);
// Confirm (E_GAME_ACTION_MENU_START on any pad, or MENU_ACCEPT on pad 0 while input is not blocked): the next
// kind, or the popup closes ("UnlockPopupSwitcher" to "UnlockPopupInactive") at a chain's end.
void systemUnlockPopupTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);

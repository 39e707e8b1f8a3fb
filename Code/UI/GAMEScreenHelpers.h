// What every screen procedure of the game needs: whether its screen is on its way out, the menu input as the
// screens read it, and the integer values of the UI's root widget through which the screens' data, the screens and
// the modes pass the game's state ("StartGame", "_mode_selected", "PauseGame", ...). Actions are E_GAME_ACTION
// values. Main thread, inside the UI's tick (root values also from the modes' ticks).
#pragma once

#include "Code/Input/GAMEInputActions.h"
#include "Corvane/System/KvTypes.h"

class ClWidget;

// Whether the screen is on its way out of its switcher. A screen going out is still ticked: its procedures then
// take no input and switch nothing, or a quick second press (back right after an accept) or a timer running out
// would act on a screen the player has left and switch away from the one being switched to. False for a null
// screen and for one that is no switched child of its parent.
bool isGoingOut(const ClWidget* pScreen);
// Newly pressed in this input frame on any of the four logical pads.
bool justPressed(i32 iAction);
// Newly pressed in this input frame on logical pad 0 (where the mouse buttons also arrive).
bool justPressedOnPad0(i32 iAction);
// Held (above the pressed threshold) in this input frame on any of the four logical pads.
bool heldOnAnyPad(i32 iAction);

// An integer value of the UI's root widget, or iAbsent when it has none (or there is no UI yet).
i32 GAMEGetRootValue(const char* pName, i32 iAbsent);
// Sets one; nothing while there is no root widget.
void GAMESetRootValue(const char* pName, i32 iValue);

// Whether a screen stands over play: the game paused ("PauseGame"), or a top-level screen other than pPlayScreen,
// play's own, still shown (the pause menu fades out for a while after Resume). What play draws over the world
// (a level's banner, an intro text) waits for it.
bool GAMEScreenOverPlay(const char* pPlayScreen);

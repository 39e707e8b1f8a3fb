// What the in-game HUD shows, worked out from the run's state: the rounded score and the best score to beat, the
// level progress, the time left, the health bars and character icon, the combo pips lit, the delay that keeps a
// newly lit pip in step with the others, the bomb and weapon images, the level bar's width and the controller
// images that follow the keyboard-prompt flag. Plain functions of their arguments, so the HUD's procedures stay a
// thin layer that reads the globals and sets widgets.
//
// Units: scores in points, times in seconds, widths in HUD canvas pixels; game types are E_GAME_TYPE values. Main
// thread (the profile is read in place). An unknown game type for the best score, or an unknown magic or weapon
// kind, stops the program with the HUD's messages.
#pragma once

#include <string>

#include "Corvane/System/KvTypes.h"

struct SPlayerProfileData;
class ClWorldPlayer;

inline constexpr i32 gc_iHUD_MAX_HEALTH_BARS = 3;
// Health bars sit this far apart, left to right.
inline constexpr f32 gc_fHUD_HEALTH_BAR_STEP = 9.0f;
// The combo pips light in step with a loop of this period (seconds); a pip lit at phase 0 waits 1.09 s.
inline constexpr f32 gc_fHUD_PIP_PERIOD = 1.58f;
inline constexpr f32 gc_fHUD_PIP_PHASE = 0.49f;
// The level bar: full at a super meter of 3.0, this wide and high, its left end at (17, 56) on the "HUD" canvas; the
// right cap overlaps the bar's end by 2 pixels.
inline constexpr f32 gc_fHUD_BAR_FULL_WIDTH = 41.0f;
inline constexpr f32 gc_fHUD_BAR_HEIGHT = 9.0f;
inline constexpr f32 gc_fHUD_BAR_X = 17.0f;
inline constexpr f32 gc_fHUD_BAR_Y = 56.0f;
inline constexpr f32 gc_fHUD_BAR_CAP_OVERLAP = 2.0f;

namespace HudValues {

// The score to the nearest multiple of 5 (halves up): 12 -> 10, 13 -> 15.
i32 roundedScore(i32 iScore);
// The greater of the rounded score and the profile's best for the game type (story: the level record of the chapter
// and level; the daily game keeps none, so its stored best is 0). Fatal "UNSUPPORTED GAME MODE" for an unknown type.
i32 bestScore(i32 iRoundedScore, i32 iGameType, i32 iChapter, i32 iLevel, const SPlayerProfileData& profile);
// Story and marathon games show how far into the level the camera is.
bool showsLevelPercent(i32 iGameType);
// Camera x over the level's length in whole percent, at most 100; 0 for a level of no length.
i32 levelPercent(f32 fCameraX, f32 fLevelLength);
// Survivor and daily games show the time left.
bool showsTimeLeft(i32 iGameType);
// "m:ss" of the whole seconds left, "0:00" once time is up.
std::string timeLeftText(f32 fTimeLeft);
// Bars for the player's hit points (0 to 3; 0 without a player).
i32 healthBars(const ClWorldPlayer* pPlayer);
// The character icon's number: 1 at full health, 4 with no bar left.
i32 characterIcon(i32 iHealthBars);
// The player in a power state (chainsaw, crossbow, T-shirt cannon) lights the pips in their second colour.
bool isPlayerPowered(const ClWorldPlayer* pPlayer);
// The pips lit for a kill streak: 10 taken off from 10 on, 20 from 20 on (9 -> 9, 10 -> 0, 35 -> 15).
i32 comboPips(i32 iKillStreak);
// Seconds until the next boundary of the pip loop at the phase timer's value (0 exactly on a boundary).
f32 pipDelay(f32 fPhaseTimer);
// "IM-HUD-Bomb-<n>" of the magic kind (0 bolt, 1 ninja, 2 dragon); fatal "Unhandled case" otherwise.
const char* bombTexture(i32 iMagicKind);
// "IM-HUD-Powerup-<n>" of the super weapon (0 chainsaw, 1 crossbow, 2 T-shirt cannon); fatal "Unhandled case".
const char* weaponTexture(i32 iSuperWeaponKind);
// The level bar's width for the super meter (0 to 4; 41 pixels at 3).
f32 levelBarWidth(f32 fSuperMeter);
// A button image's name for the prompts: with the keyboard flag "-KB" is added when missing, without it the name is
// cut before its first "-KB". Answers whether the name changed (and the new one in *pName).
bool controllerTexture(bool bKeyboardPrompts, std::string* pName);

}  // namespace HudValues

// The run state's per-frame rules: the player's creation at each level start, the score, kill-streak
// multiplier, super meter and banner timers, the camera following the player with its shake, and the survivor
// crates. The globals themselves are declared in GAMEWorldLinks.h.
//
// Called by the Action mode, main thread only: createPlayer after the level and spawn set-up, updateScoreAndCombo
// in every frame that is not paused, after the level update and the spawner. Times are seconds on the gameplay
// clock; positions are world units.
#pragma once

#include "Corvane/System/KvTypes.h"

// The player, made by the services' player factory at x = -75 (story and the first two marathon types) or 100,
// y = 100, appended to the entity list and made g_pPlayer. bKeepState 0, or any creation in story play, is a
// fresh start: score, meters, charges, streak, multiplier and the run statistics start again.
void createPlayer(i32 bKeepState);
// One frame of the score state; follows the camera and hands out survivor crates while there is a player.
void updateScoreAndCombo();
// The camera (g_fWorldCameraX, g_fWorldCameraY) 80 units behind the player with the shake added; still while
// the player runs a magic special or the level-end run, and while the level's end is shown or fading.
void updateCameraFollow();
// A survivor crate for every 30 kills in a row: with 10 s or more left it is placed 520 units ahead of the camera
// (the level's remaining rows move on by 400), else it waits for a frame with enough time.
void spawnSurvivorCrate();
// True while the player runs a super weapon (the doubled multiplier).
bool isPlayerPowered();

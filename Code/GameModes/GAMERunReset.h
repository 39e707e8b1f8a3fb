// The game's run and world state back to what a fresh start of the program has: the run globals (score, meters,
// flags, the world camera), the camera position the frame composition follows, the level manager's flags and
// slow motion, the player's punch variants and latches, the HUD's memory of what it last showed, the keyboard
// prompts (the pad's button pictures again), and whatever of the world the current mode's exit left (entities,
// gore, spawn rows). Loaded data (scripts, level stars) is not run state and stays with its owners.
//
// The game's shutdown calls it after the current mode has exited, while the audio and the services the entities
// call on their way out still answer; a game started again in the same process (as the tests do) then plays as
// in a new process. Main thread only.
#pragma once

void GAMEResetRunAndWorldState();

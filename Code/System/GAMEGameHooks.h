// Installs the game's answers to the engine's layers (the headers that list what each layer asks of the game
// are named in the README's layout section). main() calls it once before the engine starts, after installing
// the system layer's hooks (g_GAMESystemHooks, Code/System/GAMESystemHooks.h); tests that run the game
// in-process call it in their fixture and keep their own system hooks, whose stops throw.
#pragma once

void GameSpecificInstallHooks();

// Installs the game's answers to every engine layer (the headers that list what each layer asks of the game
// are named in the README's layout section). main() calls it once before the engine starts; tests that run the
// game in-process call it in their fixture.
#pragma once

void GameSpecificInstallHooks();

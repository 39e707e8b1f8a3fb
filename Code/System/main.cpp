// The game's entry point: installs the game's answers to every engine layer, registers the game's modes and runs
// the engine's program body.
#include <cstdio>

#include "Code/GameModes/ClGame.h"
#include "Code/System/GAMEGameHooks.h"
#include "Code/System/GAMESystemHooks.h"
#include "Corvane/Program/KvProgram.h"

int main() {
  // From here on Ctrl-C ends the game through its shutdown, whatever stage the start-up is in.
  KvHandleQuitSignals();
  // Every engine layer's questions to the game are answered from here on.
  KvSetSystemGameHooks(g_GAMESystemHooks);
  GameSpecificInstallHooks();
  std::printf("Grindlow: Ctrl-C or closing the window ends the game.\n");
  std::fflush(stdout);
  ClGame::registerGameModes();
  return WinMain(nullptr, nullptr, nullptr, 0);
}

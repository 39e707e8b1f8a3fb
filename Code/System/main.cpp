// The game's entry point: installs the game's answers to every engine layer, registers the game's modes and runs
// the engine's program body.
#include <cstdio>

#include "Code/GameModes/ClGame.h"
#include "Code/System/GAMEGameHooks.h"
#include "Code/System/GAMESystemHooks.h"
#include "Corvane/Program/KvProgram.h"

namespace {

void handleQuitSignalsBeforeInitialisers(int, char**, char**) { KvHandleQuitSignals(); }

}  // namespace

// Ctrl-C ends the game through its shutdown from before main: the program's entry in the pre-initialisation
// array runs as soon as the libraries are loaded, ahead of their initialisers and the program's own.
[[gnu::used, gnu::section(".preinit_array")]] static void (*const g_pHandleQuitSignalsEarly)(int, char**, char**) =
    &handleQuitSignalsBeforeInitialisers;

int main() {
  // Whatever ran before, from here on Ctrl-C ends the game through its shutdown.
  KvHandleQuitSignals();
  // Every engine layer's questions to the game are answered from here on.
  KvSetSystemGameHooks(g_GAMESystemHooks);
  GameSpecificInstallHooks();
  std::printf("Grindlow: Ctrl-C or closing the window ends the game.\n");
  std::fflush(stdout);
  ClGame::registerGameModes();
  return WinMain(nullptr, nullptr, nullptr, 0);
}

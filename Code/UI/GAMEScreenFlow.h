// What the screens ask of the game flow: the play chosen in the menus, the requests that end a mode or the
// program, and the music the modes hold. The modes own the flow and implement this header
// (Code/GameModes/GAMEScreenFlow.cpp); the screens reach the modes only through it, so the modes may use the
// screens' headers and never the other way round. A request is acted on by the current mode at the end of its
// tick, or by the next mode switch. Main thread, inside the UI's tick.
#pragma once

#include "Corvane/System/KvTypes.h"

// The chosen play: the game type (E_GAME_TYPE), the story's chapter (0..2) and level (0..7). The screens choose
// it, the front end starts play with it and the Action mode copies it at its entry (and writes the level reached
// back into chapter and level).
extern i32 g_iSelectedGameType;
extern i32 g_iSelectedChapter;
extern i32 g_iSelectedLevel;

namespace ScreenFlow {

// Play (or the story's pick-chapter screen over it) ends towards the menus.
void quitToMenu();
// Every screen set goes back to its title state: the return-to-front-end request, which turns every mode switch
// into one to the front end until the front end has acted on it.
void returnToTitle();
// The program ends after this frame.
void quitGame();
// When play starts, the bonus stage is played instead of the Action mode.
void playBonusStageNext();
// Whether the front end is the current mode.
bool inFrontEnd();
// The front end's menu music: stopped at once; started from a cue name (the handle is held until stopped).
void stopMenuMusic();
void startMenuMusic(const char* pCueName);
// The level music: started from a cue name when play holds none (a level entered with the how-to-play pages over
// it stopped its music).
void startLevelMusicIfNone(const char* pCueName);
// The enemies the bonus stage's last run cut down.
i32 bonusStageKills();

}  // namespace ScreenFlow

#include "Code/Graphics/GAMEWindowHooks.h"

#include "Code/GameModes/ClGame.h"
#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/UI/ClUI.h"

bool GAMEWindowHooks::isUIInitialized() { return ClUI::isInitialised(); }

bool ClGAMEGraphicsHooks::hasUITextureBeenLoaded(const char* pName) { return ClUI::hasUITextureBeenLoaded(pName); }

bool GAMEWindowHooks::isActionModeCurrent() { return g_eCurrentGameMode == E_GAME_MODE_ACTION; }

void GAMEWindowHooks::resumeAllCues() { ClAudioManager::resumeAllCues(); }

void GAMEWindowHooks::focusPause() {
  if (g_eCurrentGameMode == E_GAME_MODE_ACTION || g_eCurrentGameMode == E_GAME_MODE_FMV) {
    return;
  }
  ClAudioManager::pauseAllCues();
}

void GAMEWindowHooks::videoWindowMoved() { ClFullScreenFMVPlayer_Win32::onWindowMoved(); }

void GAMEWindowHooks::videoDisplayChanged() { ClFullScreenFMVPlayer_Win32::onDisplayModeChanged(); }

void GAMEWindowHooks::videoRepaint(HWND__* hWnd, HDC__* hDC) { ClFullScreenFMVPlayer_Win32::repaintVideo(hWnd, hDC); }

void GAMEWindowHooks::videoGraphEvent() { ClFullScreenFMVPlayer_Win32::handleGraphEvents(); }

// SDL events into window messages: keys, mouse moves, buttons and the wheel posted as input for the window they
// belong to (the keys for the active one), SDL's window events turned into activation, size, move, paint and
// mouse-leave messages, and dropped files gathered into one WM_DROPFILES. Called by the message queue for each
// event it reads (Win32WindowInternal.h); window thread only.
#include <string>
#include <utility>
#include <vector>

#include "Platform/Win32/Win32Window.h"
#include "Platform/Win32/Win32WindowInternal.h"
#include "Platform/Win32/Win32WindowRecords.h"
#include "Platform/Win32/Win32Sdl.h"

using namespace Win32Windows;

namespace {

constexpr Uint64 gc_uiWARP_ECHO_MS = 500;

WPARAM mouseKeyFlags(Uint32 uiButtons) {
  WPARAM uiFlags = 0;
  if (uiButtons & SDL_BUTTON_LMASK) uiFlags |= MK_LBUTTON;
  if (uiButtons & SDL_BUTTON_RMASK) uiFlags |= MK_RBUTTON;
  if (uiButtons & SDL_BUTTON_MMASK) uiFlags |= MK_MBUTTON;
  if (uiButtons & SDL_BUTTON_X1MASK) uiFlags |= MK_XBUTTON1;
  if (uiButtons & SDL_BUTTON_X2MASK) uiFlags |= MK_XBUTTON2;
  const Uint16 uiMod = Win32CurrentKeyMod();
  if (uiMod & KMOD_SHIFT) uiFlags |= MK_SHIFT;
  if (uiMod & KMOD_CTRL) uiFlags |= MK_CONTROL;
  return uiFlags;
}

void translateKey(const SDL_KeyboardEvent& key) {
  Win32NoteKeyMod(key.keysym.mod);
  HWND hWnd = g_hActive;
  if (!hWnd) {
    return;
  }
  const BYTE vk = Win32VirtualKey(key.keysym);
  BYTE uiCode = Win32KeyboardScanCode(key.keysym.scancode);
  if (vk == 0 && uiCode == 0) {
    return;
  }
  // Pause and Num Lock share make code 0x45; Windows marks Num Lock, not Pause, as extended.
  bool bExtended = (uiCode & 0x80) != 0;
  if (key.keysym.scancode == SDL_SCANCODE_PAUSE) {
    bExtended = false;
  } else if (key.keysym.scancode == SDL_SCANCODE_NUMLOCKCLEAR) {
    bExtended = true;
  }
  uiCode &= 0x7F;
  const bool bDown = key.type == SDL_KEYDOWN;
  const bool bAlt = (key.keysym.mod & KMOD_ALT) != 0;
  const bool bControl = (key.keysym.mod & KMOD_CTRL) != 0;
  const bool bSystem = (bAlt && !bControl) || vk == VK_F10 || (vk == VK_MENU && !bControl);
  LPARAM lParam = 1 | (static_cast<LPARAM>(uiCode) << 16);
  if (bExtended) lParam |= 1 << 24;
  if (bAlt) lParam |= 1 << 29;
  if (!bDown || key.repeat) lParam |= 1 << 30;
  if (!bDown) lParam |= static_cast<LPARAM>(1u << 31);
  const UINT uiMsg = bDown ? (bSystem ? WM_SYSKEYDOWN : WM_KEYDOWN) : (bSystem ? WM_SYSKEYUP : WM_KEYUP);
  postInput(hWnd, uiMsg, vk, lParam, key.timestamp);
}

void translateWindowEvent(const SDL_WindowEvent& event) {
  HWND hWnd = bySdlId(event.windowID);
  if (!hWnd) {
    return;
  }
  switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
      postInput(hWnd, WM_CLOSE, 0, 0, event.timestamp);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED: {
      const bool bClicked = (g_uiMouseButtons != 0) && hWnd->bMouseInside;
      setActive(hWnd, bClicked ? WA_CLICKACTIVE : WA_ACTIVE, false);
      break;
    }
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (g_hActive == hWnd) {
        setActive(nullptr, 0, false);
      }
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESIZED:
      if (!hWnd->bMinimized) {
        reportSize(hWnd, SIZE_RESTORED, false, false);
      }
      hWnd->bNeedsPaint = true;
      break;
    case SDL_WINDOWEVENT_MOVED:
      reportMove(hWnd, false);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      hWnd->bMinimized = true;
      deliver(hWnd, WM_SIZE, SIZE_MINIMIZED, 0, false);
      break;
    case SDL_WINDOWEVENT_MAXIMIZED:
      hWnd->bMinimized = false;
      reportSize(hWnd, SIZE_MAXIMIZED, true, false);
      break;
    case SDL_WINDOWEVENT_RESTORED:
      hWnd->bMinimized = false;
      reportSize(hWnd, SIZE_RESTORED, true, false);
      hWnd->bNeedsPaint = true;
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      hWnd->bNeedsPaint = true;
      break;
    case SDL_WINDOWEVENT_ENTER:
      hWnd->bMouseInside = true;
      break;
    case SDL_WINDOWEVENT_LEAVE:
      hWnd->bMouseInside = false;
      if (hWnd->bTrackLeave) {
        hWnd->bTrackLeave = false;
        postInput(hWnd, WM_MOUSELEAVE, 0, 0, event.timestamp);
      }
      break;
    default:
      break;
  }
}

void deliverDrop(HWND hWnd, std::vector<std::string> files, Uint32 uiTime) {
  if (!hWnd->bAcceptFiles || files.empty()) {
    return;
  }
  HDROP hDrop = new HDROP__{std::move(files)};
  g_drops.insert(hDrop);
  postInput(hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0, uiTime);
}

HWND dropTarget(Uint32 uiSdlId) {
  HWND hWnd = bySdlId(uiSdlId);
  return hWnd ? hWnd : g_hActive;
}

}  // namespace

// --- Glue for the queue ---

void Win32WindowTranslateSdlEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      translateWindowEvent(event.window);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      translateKey(event.key);
      break;
    case SDL_MOUSEMOTION: {
      HWND hWnd = bySdlId(event.motion.windowID);
      if (!hWnd) {
        break;
      }
      hWnd->bMouseInside = true;
      hWnd->bMouseSpotStale = false;
      const POINT screen = clientToScreen(hWnd, event.motion.x, event.motion.y);
      Win32SetCursorModel(screen.x, screen.y);
      postInput(hWnd, WM_MOUSEMOVE, mouseKeyFlags(g_uiMouseButtons), MAKELPARAM(event.motion.x, event.motion.y),
                event.motion.timestamp);
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const bool bDown = event.type == SDL_MOUSEBUTTONDOWN;
      const Uint32 uiMask = SDL_BUTTON(event.button.button);
      g_uiMouseButtons = bDown ? (g_uiMouseButtons | uiMask) : (g_uiMouseButtons & ~uiMask);
      HWND hWnd = bySdlId(event.button.windowID);
      if (!hWnd) {
        break;
      }
      UINT uiMsg = 0;
      WORD uiXButton = 0;
      switch (event.button.button) {
        case SDL_BUTTON_LEFT:
          uiMsg = bDown ? WM_LBUTTONDOWN : WM_LBUTTONUP;
          break;
        case SDL_BUTTON_RIGHT:
          uiMsg = bDown ? WM_RBUTTONDOWN : WM_RBUTTONUP;
          break;
        case SDL_BUTTON_MIDDLE:
          uiMsg = bDown ? WM_MBUTTONDOWN : WM_MBUTTONUP;
          break;
        case SDL_BUTTON_X1:
        case SDL_BUTTON_X2:
          uiMsg = bDown ? WM_XBUTTONDOWN : WM_XBUTTONUP;
          uiXButton = event.button.button == SDL_BUTTON_X1 ? XBUTTON1 : XBUTTON2;
          break;
        default:
          return;
      }
      // A press does not move the cursor: after a window move under a still cursor its place is the screen
      // position the cursor already has, not SDL's position from before the move.
      POINT client{event.button.x, event.button.y};
      if (hWnd->bMouseSpotStale) {
        client = Win32CursorModel();
        ScreenToClient(hWnd, &client);
      }
      const POINT screen = clientToScreen(hWnd, client.x, client.y);
      Win32SetCursorModel(screen.x, screen.y);
      postInput(hWnd, uiMsg, MAKEWPARAM(mouseKeyFlags(g_uiMouseButtons), uiXButton), MAKELPARAM(client.x, client.y),
                event.button.timestamp);
      break;
    }
    case SDL_MOUSEWHEEL: {
      HWND hWnd = bySdlId(event.wheel.windowID);
      if (!hWnd) {
        hWnd = g_hActive;
      }
      if (!hWnd) {
        break;
      }
      const int iSign = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
      const POINT cursor = Win32CursorModel();
      const LPARAM lParam = MAKELPARAM(cursor.x, cursor.y);
      const WORD uiFlags = static_cast<WORD>(mouseKeyFlags(g_uiMouseButtons));
      if (event.wheel.y != 0) {
        const SHORT iDelta = static_cast<SHORT>(iSign * event.wheel.y * WHEEL_DELTA);
        postInput(hWnd, WM_MOUSEWHEEL, MAKEWPARAM(uiFlags, iDelta), lParam, event.wheel.timestamp);
      }
      if (event.wheel.x != 0) {
        const SHORT iDelta = static_cast<SHORT>(iSign * event.wheel.x * WHEEL_DELTA);
        postInput(hWnd, WM_MOUSEHWHEEL, MAKEWPARAM(uiFlags, iDelta), lParam, event.wheel.timestamp);
      }
      break;
    }
    case SDL_DROPBEGIN:
      if (HWND hWnd = dropTarget(event.drop.windowID)) {
        hWnd->bDropOpen = true;
        hWnd->dropFiles.clear();
      }
      break;
    case SDL_DROPFILE:
      if (HWND hWnd = dropTarget(event.drop.windowID); hWnd && event.drop.file) {
        if (hWnd->bDropOpen) {
          hWnd->dropFiles.emplace_back(event.drop.file);
        } else {
          deliverDrop(hWnd, {event.drop.file}, event.drop.timestamp);
        }
      }
      break;
    case SDL_DROPCOMPLETE:
      if (HWND hWnd = dropTarget(event.drop.windowID); hWnd && hWnd->bDropOpen) {
        hWnd->bDropOpen = false;
        deliverDrop(hWnd, std::move(hWnd->dropFiles), event.drop.timestamp);
        hWnd->dropFiles.clear();
      }
      break;
    default:
      break;
  }
}

bool Win32WindowIsWarpEcho(const SDL_Event& event) {
  if (!g_warpEcho.bPending) {
    return false;
  }
  if (SDL_GetTicks64() - g_warpEcho.uiTicks > gc_uiWARP_ECHO_MS) {
    g_warpEcho.bPending = false;
    return false;
  }
  // Without the mouse focus SDL reports its own warps for no window.
  const bool bSameWindow = event.motion.windowID == g_warpEcho.uiSdlId || event.motion.windowID == 0;
  if (bSameWindow && event.motion.x == g_warpEcho.x && event.motion.y == g_warpEcho.y) {
    g_warpEcho.bPending = false;
    return true;
  }
  return false;
}

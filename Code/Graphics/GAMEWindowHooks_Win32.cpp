// The game's mouse hooks: the window's mouse messages become the pointer position, and the system cursor hides
// while over the window unless the development settings keep it.
#include "Code/Graphics/GAMEWindowHooks.h"

#include "Corvane/Development/ClDevINI.h"
#include "Platform/Win32/Win32.h"

u32 g_bMouseInWindow = 1;
u32 g_bMouseTracking = 0;

namespace {

// The game draws its own pointer, so the system cursor hides over the window unless the development setting
// "TOGGLE_MOUSE_CURSOR" is there and below 1.
bool cursorToggles() { return !ClDevINI::hasKey("TOGGLE_MOUSE_CURSOR") || ClDevINI::getInt("TOGGLE_MOUSE_CURSOR") >= 1; }

}  // namespace

void GAMEWindowHooks::mouseMoved(std::intptr_t lParam) {
  const kv_vector2 vPosition = {static_cast<f32>(GET_X_LPARAM(lParam)), static_cast<f32>(GET_Y_LPARAM(lParam))};
  if (!g_bMouseTracking) {
    // The first move since the mouse came in: ask to hear when it leaves again.
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof(TRACKMOUSEEVENT);
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = ClGraphics::mp_hWnd;
    if (TrackMouseEvent(&track)) {
      g_bMouseTracking = 1;
    }
    if (cursorToggles()) {
      ShowCursor(FALSE);
      ClGraphics::setCursorHidden(true);
      g_bMouseInWindow = 1;
      ClGraphics::setWMMousePosition(vPosition);
      return;
    }
  }
  ClGraphics::setWMMousePosition(g_bMouseInWindow ? vPosition : kv_vector2{gc_fPOINTER_AWAY, gc_fPOINTER_AWAY});
}

void GAMEWindowHooks::mouseLeft() {
  g_bMouseTracking = 0;
  if (cursorToggles()) {
    ShowCursor(TRUE);
    ClGraphics::setCursorHidden(false);
    g_bMouseInWindow = 0;
    ClGraphics::setWMMousePosition({gc_fPOINTER_AWAY, gc_fPOINTER_AWAY});
  }
}

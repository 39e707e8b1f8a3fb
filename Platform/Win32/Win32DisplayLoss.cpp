// The connection to the X server: when it breaks, Xlib calls its I/O error handler on whichever thread made
// the failing call (the render worker inside a buffer swap, the driver warm-up's own connection, SDL's event
// read), and its default handlers then call exit() there, so static destructors run while the other threads
// still use them. An exit handler that returns does not help either: threads waiting inside Xlib for the broken
// connection stay blocked for ever. The stand-in ends the process itself instead (see Win32SetDisplayLostHandler).
// Graphics libraries that talk to the server through XCB may instead fault on a reply that never came; a connection
// kept only to watch the server tells such a fault from a crash.
#include "Platform/Win32/Win32Window.h"

#include <SDL_syswm.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#endif

#include "Platform/Win32/Win32KernelObjects.h"
#include "Platform/Win32/Win32WindowInternal.h"

namespace {

std::atomic<Win32DisplayLostHandler> g_pDisplayLostHandler{nullptr};
std::atomic<bool> g_bQuietDisplayLoss{false};

void writeNote(const char* pText, size_t uiLength) {
  [[maybe_unused]] const ssize_t iWritten = write(STDERR_FILENO, pText, uiLength);
}

// How long a fault waits for the server's side of the watch connection to close, in milliseconds: the server
// closes its clients one after another, and the fault may come from a library that saw another one close first.
constexpr int gc_iSERVER_CLOSE_WAIT_MS = 100;

// The descriptor of the connection kept to watch the server (never used for requests), -1 without one; the
// connection itself is held below for the program's life.
std::atomic<int> g_iServerWatchFd{-1};

#if defined(SDL_VIDEO_DRIVER_X11)
std::atomic<Display*> g_pWatchedDisplay{nullptr};
std::once_flag g_handlersInstalled;
std::once_flag g_serverWatched;
std::atomic<Display*> g_pServerWatch{nullptr};

[[noreturn]] void endForLostDisplay() {
  if (g_bQuietDisplayLoss.load()) {
    _exit(EXIT_FAILURE);
  }
  static constexpr char s_szNote[] = "Win32 stand-in: the connection to the X server was lost\n";
  writeNote(s_szNote, sizeof(s_szNote) - 1);
  const Win32DisplayLostHandler pHandler = g_pDisplayLostHandler.load();
  _exit(pHandler != nullptr ? pHandler() : EXIT_FAILURE);
}

// Runs inside Xlib on the thread whose call failed, for any connection (Xlib's I/O error handler is
// process-wide); the exit handler below covers a connection whose I/O error handler was replaced by another.
int onDisplayIOError(Display*) { endForLostDisplay(); }
void onDisplayIOErrorExit(Display*, void*) { endForLostDisplay(); }

// Process-wide, before any connection is opened: every connection made later, by SDL, the graphics driver or a
// thread of the program's own, ends the process the same way from its first request on.
void installHandlers() {
  // A write to a connection the server has closed would raise SIGPIPE and kill the process before Xlib sees
  // the error; ignored, the write fails with EPIPE and reaches the I/O error handler like a failed read.
  std::signal(SIGPIPE, SIG_IGN);
  XSetIOErrorHandler(&onDisplayIOError);
}
#endif

}  // namespace

void Win32EndForLostDisplay() {
#if defined(SDL_VIDEO_DRIVER_X11)
  endForLostDisplay();
#else
  _exit(EXIT_FAILURE);
#endif
}

void Win32WatchDisplayServer() {
#if defined(SDL_VIDEO_DRIVER_X11)
  std::call_once(g_handlersInstalled, &installHandlers);
  std::call_once(g_serverWatched, [] {
    // Kept open for the program's life; the server closing it is how a fault tells a lost server.
    if (Display* pWatch = XOpenDisplay(nullptr)) {
      g_pServerWatch.store(pWatch);
      g_iServerWatchFd.store(ConnectionNumber(pWatch));
      Win32StopPoint(WIN32_STOP_WATCH_OPENED);
    }
  });
#endif
}

void Win32StopPoint(EWin32StopPoint ePoint) {
  static std::atomic<unsigned> s_uiPassed{0};
  const unsigned uiBit = 1u << ePoint;
  if ((s_uiPassed.fetch_or(uiBit) & uiBit) != 0) return;
  std::vector<std::optional<std::uint32_t>> numbers;
  if (PlatformFindFault(Win32Internal::environmentFaults(), "stopat", &numbers) && !numbers.empty() &&
      numbers[0] == ePoint) {
    raise(SIGSTOP);
  }
}

bool Win32DisplayServerLost() {
  const int iFd = g_iServerWatchFd.load();
  if (iFd < 0) return false;
  pollfd watch{iFd, POLLRDHUP, 0};
  return poll(&watch, 1, gc_iSERVER_CLOSE_WAIT_MS) > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

Win32DisplayLostHandler Win32SetDisplayLostHandler(Win32DisplayLostHandler pHandler) {
#if defined(SDL_VIDEO_DRIVER_X11)
  std::call_once(g_handlersInstalled, &installHandlers);
#endif
  return g_pDisplayLostHandler.exchange(pHandler);
}

void Win32WatchDisplayConnection(SDL_Window* pSdlWindow) {
#if defined(SDL_VIDEO_DRIVER_X11)
  std::call_once(g_handlersInstalled, &installHandlers);
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (pSdlWindow == nullptr || !SDL_GetWindowWMInfo(pSdlWindow, &info) || info.subsystem != SDL_SYSWM_X11) {
    return;
  }
  Display* pDisplay = info.info.x11.display;
  if (pDisplay == nullptr || g_pWatchedDisplay.exchange(pDisplay) == pDisplay) {
    return;
  }
  XSetIOErrorExitHandler(pDisplay, &onDisplayIOErrorExit, nullptr);
#else
  (void)pSdlWindow;
#endif
}

void Win32QuietDisplayLoss() { g_bQuietDisplayLoss.store(true); }

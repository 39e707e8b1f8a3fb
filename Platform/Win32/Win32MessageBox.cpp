// Message boxes of the Win32 stand-in (declared in Win32Files.h).
//
// On a display the box is SDL's, and SDL's X11 box runs in a process of its own that SDL forks and waits for.
// That process is tied to the program here: it dies with the program (a parent-death signal), ends on its own
// quit signals, and a quit signal the program takes while the box is up closes it (the program's handler kills
// it). The two processes share one page for this: the box's process writes its id there, the program's handler
// writes the close request, and each reads what the other wrote, so a signal at any moment closes the box.
#include <SDL.h>
#include <signal.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>

#include "Platform/Win32/Win32Files.h"
#include "Platform/Win32/Win32KernelObjects.h"
#include "Platform/Win32/Win32Threads.h"
#include "Platform/Win32/Win32WindowInternal.h"

namespace {

struct MessageBoxHookSlot {
  std::mutex lock;
  Win32MessageBoxHook hook;
};

MessageBoxHookSlot& messageBoxHook() {
  static MessageBoxHookSlot* const s_pSlot = new MessageBoxHookSlot;
  return *s_pSlot;
}

bool displayAvailable() {
  const char* pDriver = std::getenv("SDL_VIDEODRIVER");
  if (pDriver && (strcasecmp(pDriver, "offscreen") == 0 || strcasecmp(pDriver, "dummy") == 0)) return false;
  const char* pX11 = std::getenv("DISPLAY");
  const char* pWayland = std::getenv("WAYLAND_DISPLAY");
  return (pX11 && *pX11) || (pWayland && *pWayland);
}

// Shared between the program and the box's process (an anonymous shared mapping, made once, never unmapped).
struct SBoxProcess {
  std::atomic<pid_t> pid;   // the box's process once it runs, else 0
  std::atomic<int> iClose;  // a quit signal asked for the box to close
};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "read and written inside signal handlers");

SBoxProcess* g_pBoxProcess = nullptr;
std::once_flag g_boxProcessSetUp;
// One box at a time; the flag tells the quit-signal handler that one is up.
std::mutex g_boxLock;
std::atomic<bool> g_bBoxUp{false};
pid_t g_boxOwner = 0;
// Set on the thread that shows a box, so only the fork made for it (copying that thread) is the box's process.
thread_local bool t_bShowingBox = false;

void onForkInChild() {
  if (!t_bShowingBox) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != g_boxOwner) _exit(EXIT_FAILURE);
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  sigaction(SIGINT, &defaultAction, nullptr);
  sigaction(SIGTERM, &defaultAction, nullptr);
  // A lost display ends the box alone; the program tells the user itself.
  Win32QuietDisplayLoss();
  g_pBoxProcess->pid.store(getpid());
  if (g_pBoxProcess->iClose.load() != 0) _exit(EXIT_FAILURE);
}

bool setUpBoxProcess() {
  std::call_once(g_boxProcessSetUp, [] {
    void* pPage = mmap(nullptr, sizeof(SBoxProcess), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (pPage == MAP_FAILED) return;
    g_pBoxProcess = new (pPage) SBoxProcess{};
    pthread_atfork(nullptr, nullptr, &onForkInChild);
  });
  return g_pBoxProcess != nullptr;
}

// SDL's box on the display; false when it could not be shown or was closed by a quit signal.
bool showOnDisplay(const char* pCaption, const std::string& text, UINT uType) {
  std::lock_guard<std::mutex> guard(g_boxLock);
  if (!setUpBoxProcess()) return false;
  g_pBoxProcess->pid.store(0);
  g_pBoxProcess->iClose.store(0);
  g_boxOwner = getpid();
  g_bBoxUp.store(true);
  // A signal taken before the box was up is not waited out behind it.
  if (Win32QuitSignalPending()) {
    g_bBoxUp.store(false);
    return false;
  }
  const UINT uIcon = uType & MB_ICONMASK;
  const Uint32 uiFlags = uIcon == MB_ICONERROR     ? SDL_MESSAGEBOX_ERROR
                         : uIcon == MB_ICONWARNING ? SDL_MESSAGEBOX_WARNING
                                                   : SDL_MESSAGEBOX_INFORMATION;
  t_bShowingBox = true;
  const bool bShown = SDL_ShowSimpleMessageBox(uiFlags, pCaption, text.c_str(), nullptr) == 0;
  t_bShowingBox = false;
  g_bBoxUp.store(false);
  return bShown;
}

}  // namespace

std::string Win32WrapMessageText(const char* pText, size_t uiColumns) {
  uiColumns = uiColumns > 0 ? uiColumns : 1;
  // Characters, not bytes: UTF-8 continuation bytes do not count.
  const auto columnsOf = [](const std::string& text) {
    size_t uiCount = 0;
    for (unsigned char c : text) uiCount += (c & 0xC0) != 0x80;
    return uiCount;
  };
  // The byte length of the first uiCount characters of text.
  const auto bytesOf = [](const std::string& text, size_t uiCount) {
    size_t uiAt = 0;
    for (size_t uiSeen = 0; uiAt < text.size(); ++uiAt) {
      if ((static_cast<unsigned char>(text[uiAt]) & 0xC0) != 0x80 && uiSeen++ == uiCount) break;
    }
    return uiAt;
  };
  std::string wrapped;
  std::string paragraph;
  std::istringstream paragraphs(pText != nullptr ? pText : "");
  for (bool bFirst = true; std::getline(paragraphs, paragraph); bFirst = false) {
    if (!bFirst) wrapped += '\n';
    std::string line;
    std::istringstream words(paragraph);
    for (std::string word; words >> word;) {
      // A word longer than a line is cut where the line ends.
      while (columnsOf(word) > uiColumns) {
        if (!line.empty()) wrapped += line + '\n';
        line.clear();
        const size_t uiCut = bytesOf(word, uiColumns);
        wrapped += word.substr(0, uiCut) + '\n';
        word.erase(0, uiCut);
      }
      if (line.empty()) {
        line = word;
      } else if (columnsOf(line) + 1 + columnsOf(word) <= uiColumns) {
        line += ' ' + word;
      } else {
        wrapped += line + '\n';
        line = word;
      }
    }
    wrapped += line;
  }
  return wrapped;
}

bool Win32DismissMessageBoxForSignal() {
  if (!g_bBoxUp.load()) return false;
  g_pBoxProcess->iClose.store(1);
  const pid_t boxPid = g_pBoxProcess->pid.load();
  if (boxPid > 0) kill(boxPid, SIGKILL);
  return true;
}

int MessageBoxA(HWND /*hWnd*/, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  Win32MessageBoxHook hook;
  {
    MessageBoxHookSlot& slot = messageBoxHook();
    std::lock_guard<std::mutex> guard(slot.lock);
    hook = slot.hook;
  }
  if (hook) return hook(lpText, lpCaption, uType);
  if ((uType & MB_TYPEMASK) != MB_OK) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  const char* pCaption = lpCaption ? lpCaption : "Error";
  const char* pText = lpText ? lpText : "";
  // Said on the error output first, so a terminal (or a log) keeps it whatever becomes of the box.
  std::fprintf(stderr, "%s: %s\n", pCaption, pText);
  std::fflush(stderr);
  if (displayAvailable()) {
    showOnDisplay(pCaption, Win32WrapMessageText(pText, gc_uiWIN32_MESSAGE_BOX_COLUMNS), uType);
  }
  return IDOK;
}

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  const std::string text = lpText ? Win32Internal::utf16ToUtf8(lpText) : std::string();
  const std::string caption = lpCaption ? Win32Internal::utf16ToUtf8(lpCaption) : std::string();
  return MessageBoxA(hWnd, text.c_str(), lpCaption ? caption.c_str() : nullptr, uType);
}

void Win32SetMessageBoxHook(Win32MessageBoxHook hook) {
  MessageBoxHookSlot& slot = messageBoxHook();
  std::lock_guard<std::mutex> guard(slot.lock);
  slot.hook = std::move(hook);
}

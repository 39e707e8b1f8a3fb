// Crash reports of the local store: text files in the store folder's "crashes/".
//
// SteamAPI_WriteMiniDump runs inside a fault handler, so its path uses only async-signal-safe calls (open,
// write, fsync, close, time, getpid) on fixed buffers; the unwinder behind backtrace() is loaded when the
// store opens, so that backtrace() does not allocate during a crash.
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "Platform/Store/StoreInternal.h"
#include "Platform/Win32/Win32Types.h"

namespace {

constexpr std::size_t gc_uiMAX_DIR = 3072;
constexpr int gc_iMAX_FRAMES = 64;

char g_crashDir[gc_uiMAX_DIR];  // empty: reports go to stderr
char g_comment[16384];
std::atomic<unsigned> g_uiReports{0};

// Appends text to a fixed buffer, always terminated, cutting what does not fit.
class FixedText {
 public:
  FixedText(char* pBuffer, std::size_t uiSize) : mp_buffer(pBuffer), m_uiSize(uiSize) { mp_buffer[0] = '\0'; }
  FixedText& add(const char* pText) {
    while (*pText != '\0' && m_uiLength + 1 < m_uiSize) {
      mp_buffer[m_uiLength++] = *pText++;
    }
    mp_buffer[m_uiLength] = '\0';
    return *this;
  }
  FixedText& addDecimal(std::uint64_t ulValue) {
    char digits[24];
    int iCount = 0;
    do {
      digits[iCount++] = char('0' + ulValue % 10);
      ulValue /= 10;
    } while (ulValue != 0);
    char text[24];
    for (int i = 0; i < iCount; ++i) {
      text[i] = digits[iCount - 1 - i];
    }
    text[iCount] = '\0';
    return add(text);
  }
  FixedText& addHex(std::uint64_t ulValue, int iDigits) {
    char text[20] = "0x";
    for (int i = 0; i < iDigits; ++i) {
      text[2 + i] = "0123456789ABCDEF"[(ulValue >> (4 * (iDigits - 1 - i))) & 0xF];
    }
    text[2 + iDigits] = '\0';
    return add(text);
  }
  const char* text() const { return mp_buffer; }
  std::size_t length() const { return m_uiLength; }

 private:
  char* mp_buffer;
  std::size_t m_uiSize;
  std::size_t m_uiLength = 0;
};

void writeText(int iFd, const char* pText, std::size_t uiLength) {
  while (uiLength > 0) {
    const ssize_t iResult = ::write(iFd, pText, uiLength);
    if (iResult < 0 && errno == EINTR) {
      continue;
    }
    if (iResult <= 0) {
      return;
    }
    pText += iResult;
    uiLength -= std::size_t(iResult);
  }
}

void writeText(int iFd, const FixedText& text) { writeText(iFd, text.text(), text.length()); }
void writeText(int iFd, const char* pText) { writeText(iFd, pText, std::strlen(pText)); }

}  // namespace

void StoreCrashReportsUse(const std::string& dir) {
  if (dir.size() < gc_uiMAX_DIR) {
    std::memcpy(g_crashDir, dir.c_str(), dir.size() + 1);
  }
  void* pFrames[1];
  ::backtrace(pFrames, 1);
}

void SteamAPI_SetMiniDumpComment(const char* pchMsg) {
  FixedText(g_comment, sizeof(g_comment)).add(pchMsg ? pchMsg : "");
}

void SteamAPI_WriteMiniDump(std::uint32_t uStructuredExceptionCode, void* pvExceptionInfo, std::uint32_t uBuildID) {
  char pathBuffer[gc_uiMAX_DIR + 96];
  int iFd = -1;
  if (g_crashDir[0] != '\0') {
    FixedText path(pathBuffer, sizeof(pathBuffer));
    path.add(g_crashDir).add("/crash-").addDecimal(std::uint64_t(::time(nullptr))).add("-");
    path.addDecimal(std::uint64_t(::getpid())).add("-").addDecimal(g_uiReports.fetch_add(1)).add(".txt");
    iFd = ::open(path.text(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  }
  const int iOut = iFd >= 0 ? iFd : STDERR_FILENO;

  char lineBuffer[256];
  FixedText head(lineBuffer, sizeof(lineBuffer));
  head.add("Crash report\nBuild: ").addDecimal(uBuildID).add("\nException code: ").addHex(uStructuredExceptionCode, 8);
  head.add("\n");
  writeText(iOut, head);

  const auto* pPointers = static_cast<const EXCEPTION_POINTERS*>(pvExceptionInfo);
  const EXCEPTION_RECORD* pRecord = pPointers ? pPointers->ExceptionRecord : nullptr;
  if (pRecord != nullptr) {
    FixedText where(lineBuffer, sizeof(lineBuffer));
    where.add("Exception address: ").addHex(std::uintptr_t(pRecord->ExceptionAddress), 16).add("\n");
    if (pRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && pRecord->NumberParameters >= 2) {
      const ULONG_PTR uiKind = pRecord->ExceptionInformation[0];
      where.add("Access: ").add(uiKind == 0 ? "read" : uiKind == 1 ? "write" : uiKind == 8 ? "execute" : "access");
      where.add(" of address ").addHex(pRecord->ExceptionInformation[1], 16).add("\n");
    }
    writeText(iOut, where);
  } else {
    writeText(iOut, "Exception address: unknown\n");
  }

  writeText(iOut, "Comment:\n");
  writeText(iOut, g_comment);
  writeText(iOut, "\nBacktrace:\n");
  void* pFrames[gc_iMAX_FRAMES];
  const int iFrames = ::backtrace(pFrames, gc_iMAX_FRAMES);
  ::backtrace_symbols_fd(pFrames, iFrames, iOut);

  if (iFd >= 0) {
    ::fsync(iFd);
    ::close(iFd);
    writeText(STDERR_FILENO, "store: crash report written to ");
    writeText(STDERR_FILENO, pathBuffer);
    writeText(STDERR_FILENO, "\n");
  }
}

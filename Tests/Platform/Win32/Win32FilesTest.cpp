#include "Platform/Win32/Win32Files.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Platform/Common/PlatformFiles.h"
#include "Platform/Win32/Win32Threads.h"
#include "Tests/Support/HeldCompletionsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

constexpr DWORD gc_dwMIB = 1048576;

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::vector<char> pattern(size_t uiSize) {
  std::vector<char> bytes(uiSize);
  for (size_t i = 0; i < uiSize; ++i) bytes[i] = char((i * 7 + 3) % 251);
  return bytes;
}

void writeFile(const std::string& path, const std::vector<char>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

HANDLE openForReading(const std::string& path, DWORD dwFlags = FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     dwFlags | FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct Completion {
  DWORD dwError;
  DWORD dwBytes;
  LPOVERLAPPED pOverlapped;
  DWORD dwThread;
};

std::vector<Completion> g_completions;

void CALLBACK recordCompletion(DWORD dwError, DWORD dwBytes, LPOVERLAPPED pOverlapped) {
  g_completions.push_back({dwError, dwBytes, pOverlapped, GetCurrentThreadId()});
}

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_engineDir = m_dir;
    std::replace(m_engineDir.begin(), m_engineDir.end(), '/', '\\');
    g_completions.clear();
  }
  void TearDown() override {
    Win32ClearFaults();
    Win32TestHoldCompletions(FALSE);
    Win32SetMessageBoxHook(nullptr);
  }
  std::string m_dir;
  std::string m_engineDir;  // the same folder as the engine writes it, with "\" separators
};

// The size comes in two 32-bit halves; without FILE_SHARE_WRITE nobody writes the file meanwhile, so it is
// the size at open, while a handle that lets others write sees the file grow.
TEST_F(Win32Files, FileSizesHaveTwoHalvesAndFollowTheShareMode) {
  const std::string path = m_dir + "/big.bin";
  writeFile(path, pattern(10));
  std::filesystem::resize_file(path, (5ull << 30) + 7);
  HANDLE hFixed = openForReading(path);
  HANDLE hShared = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(hFixed, INVALID_HANDLE_VALUE);
  ASSERT_NE(hShared, INVALID_HANDLE_VALUE);
  DWORD dwHigh = 0;
  EXPECT_EQ(GetFileSize(hFixed, &dwHigh), (1u << 30) + 7);
  EXPECT_EQ(dwHigh, 1u);
  std::filesystem::resize_file(path, 20);
  EXPECT_EQ(GetFileSize(hShared, &dwHigh), 20u);
  EXPECT_EQ(dwHigh, 0u);
  EXPECT_EQ(GetFileSize(hFixed, &dwHigh), (1u << 30) + 7);
  EXPECT_EQ(dwHigh, 1u);
  CloseHandle(hFixed);
  CloseHandle(hShared);
}

TEST_F(Win32Files, PathsUseBackslashesAndFallBackToAnyCase) {
  writeFile(m_dir + "/Data/Sub/Archive.Pak", pattern(10));
  writeFile(m_dir + "/Data/same.txt", pattern(1));
  writeFile(m_dir + "/Data/Same.txt", pattern(2));
  writeFile(m_dir + "/Data/SAME.txt", pattern(3));

  HANDLE hFile = openForReading(m_engineDir + "\\DATA\\sub\\archive.PAK");
  ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
  DWORD dwHigh = 7;
  EXPECT_EQ(GetFileSize(hFile, &dwHigh), 10u);
  EXPECT_EQ(dwHigh, 0u);
  CloseHandle(hFile);
  EXPECT_EQ(Win32ToHostPath((m_engineDir + "\\DATA\\sub\\archive.PAK").c_str()), m_dir + "/Data/Sub/Archive.Pak");
  EXPECT_EQ(Win32ToHostPath((m_engineDir + "\\data\\NEW\\x.bin").c_str()), m_dir + "/Data/NEW/x.bin");

  // The exact name wins; otherwise the first in byte order of the names that differ only in case.
  hFile = openForReading(m_engineDir + "\\Data\\same.txt");
  EXPECT_EQ(GetFileSize(hFile, nullptr), 1u);
  CloseHandle(hFile);
  hFile = openForReading(m_engineDir + "\\Data\\sAmE.TXT");
  EXPECT_EQ(GetFileSize(hFile, nullptr), 3u);
  CloseHandle(hFile);

  // Relative paths start at the current folder; so does a relative folder creation.
  const std::string previous = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(m_dir.c_str()), 0);
  hFile = openForReading(".\\data\\SUB\\Archive.pak");
  EXPECT_NE(hFile, INVALID_HANDLE_VALUE);
  CloseHandle(hFile);
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, u".\\SAVEDATA\\", nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_directory(m_dir + "/SAVEDATA"));
  ASSERT_EQ(chdir(previous.c_str()), 0);
}

TEST_F(Win32Files, OpenAndCloseFailures) {
  writeFile(m_dir + "/Data/file.bin", pattern(4));
  const auto openError = [](const std::string& path, DWORD dwAccess = GENERIC_READ) {
    HANDLE hFile = CreateFileA(path.c_str(), dwAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(hFile, INVALID_HANDLE_VALUE) << path;
    return GetLastError();
  };
  EXPECT_EQ(openError(m_engineDir + "\\Data\\missing.bin"), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(openError(m_engineDir + "\\Nowhere\\file.bin"), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(openError(m_engineDir + "\\Data\\file.bin\\inner"), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(openError(m_engineDir + "\\Data"), DWORD(ERROR_DIRECTORY_NOT_SUPPORTED));
  EXPECT_EQ(openError(""), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(openError(m_engineDir + "\\Data\\file.bin", 0x40000000u /* write */), DWORD(ERROR_NOT_SUPPORTED));
  Win32InjectFault(Win32Fault::FileOpen, ERROR_TOO_MANY_OPEN_FILES, 1);
  EXPECT_EQ(openError(m_engineDir + "\\Data\\file.bin"), DWORD(ERROR_TOO_MANY_OPEN_FILES));

  // A failing close still closes the handle.
  HANDLE hFile = openForReading(m_engineDir + "\\Data\\file.bin");
  ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
  Win32InjectFault(Win32Fault::FileClose, ERROR_GEN_FAILURE, 1);
  EXPECT_FALSE(CloseHandle(hFile));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));
  EXPECT_FALSE(CloseHandle(hFile));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetFileSize(hFile, nullptr), INVALID_FILE_SIZE);
}

TEST_F(Win32Files, ReadsCompleteOnlyInTheIssuersAlertableWait) {
  const std::vector<char> bytes = pattern(3 * gc_dwMIB);
  writeFile(m_dir + "/big.bin", bytes);
  HANDLE hFile = openForReading(m_engineDir + "\\big.bin");
  std::vector<char> buffer(3 * gc_dwMIB, 0);
  OVERLAPPED reads[3] = {};
  // The reads complete while the thread is blocked in a wait that is not alertable: no such wait runs them.
  Win32TestHoldCompletions(TRUE);
  for (DWORD i = 0; i < 3; ++i) {
    reads[i].Offset = (2 - i) * gc_dwMIB;  // issued from the end, so order and offsets both show
    ASSERT_TRUE(ReadFileEx(hFile, buffer.data() + reads[i].Offset, gc_dwMIB, &reads[i], &recordCompletion));
    EXPECT_EQ(reads[i].Internal, STATUS_PENDING);
  }
  EXPECT_EQ(KvTestReleaseHeldCompletionsDuringWait(FALSE), WAIT_OBJECT_0);
  EXPECT_EQ(Win32TestQueuedCompletions(GetCurrentThread()), 3u);
  Sleep(0);
  EXPECT_EQ(SleepEx(0, FALSE), 0u);
  EXPECT_TRUE(g_completions.empty());

  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  ASSERT_EQ(g_completions.size(), 3u);
  for (DWORD i = 0; i < 3; ++i) {
    EXPECT_EQ(g_completions[i].pOverlapped, &reads[i]);
    EXPECT_EQ(g_completions[i].dwError, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(g_completions[i].dwBytes, gc_dwMIB);
    EXPECT_EQ(g_completions[i].dwThread, GetCurrentThreadId());
    EXPECT_EQ(reads[i].InternalHigh, gc_dwMIB);
  }
  EXPECT_EQ(buffer, bytes);
  CloseHandle(hFile);
}

HANDLE g_hOtherFile;
HANDLE g_hOtherMayDeliver;
char g_acOtherBuffer[64];

unsigned readOnOtherThread(void* pIssued) {
  static OVERLAPPED s_overlapped{};
  s_overlapped.Offset = 100;
  ReadFileEx(g_hOtherFile, g_acOtherBuffer, 64, &s_overlapped, &recordCompletion);
  SetEvent(pIssued);
  WaitForSingleObject(g_hOtherMayDeliver, INFINITE);
  return SleepEx(0, TRUE);
}

TEST_F(Win32Files, ReadCompletesOnTheThreadThatIssuedIt) {
  const std::vector<char> bytes = pattern(200);
  writeFile(m_dir + "/f.bin", bytes);
  g_hOtherFile = openForReading(m_engineDir + "\\f.bin");
  g_hOtherMayDeliver = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE hIssued = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  unsigned uId = 0;
  Win32TestHoldCompletions(TRUE);
  HANDLE hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &readOnOtherThread, hIssued, 0, &uId));
  WaitForSingleObject(hIssued, INFINITE);

  // The read completes while the main thread is in an alertable wait, which neither runs it nor ends for it.
  EXPECT_EQ(KvTestReleaseHeldCompletionsDuringWait(TRUE), WAIT_OBJECT_0);
  EXPECT_EQ(Win32TestQueuedCompletions(hThread), 1u);
  EXPECT_EQ(SleepEx(0, TRUE), 0u);
  EXPECT_TRUE(g_completions.empty());
  SetEvent(g_hOtherMayDeliver);
  WaitForSingleObject(hThread, INFINITE);
  DWORD dwResult = 0;
  GetExitCodeThread(hThread, &dwResult);
  EXPECT_EQ(dwResult, WAIT_IO_COMPLETION);
  ASSERT_EQ(g_completions.size(), 1u);
  EXPECT_EQ(g_completions[0].dwThread, uId);
  EXPECT_EQ(g_completions[0].dwBytes, 64u);
  EXPECT_EQ(std::memcmp(g_acOtherBuffer, bytes.data() + 100, 64), 0);
  for (HANDLE hHandle : {hThread, g_hOtherFile, hIssued, g_hOtherMayDeliver}) CloseHandle(hHandle);
}

// A read of any size in 1 MiB chunks, each started by the completion of the one before, as the file layer does.
struct ChainedRead {
  OVERLAPPED overlapped;  // first, so a completion finds its read
  HANDLE hFile;
  DWORD dwStart, dwTotal, dwDone, dwError;
  char* pDestination;
  std::vector<DWORD> offsets;
  bool bFinished;
};

bool readNextChunk(ChainedRead& read) {
  read.overlapped.Offset = read.dwStart + read.dwDone;
  read.offsets.push_back(read.overlapped.Offset);
  return ReadFileEx(read.hFile, read.pDestination + read.dwDone, std::min(gc_dwMIB, read.dwTotal - read.dwDone),
                    &read.overlapped, [](DWORD dwError, DWORD dwBytes, LPOVERLAPPED pOverlapped) {
                      auto& read = *reinterpret_cast<ChainedRead*>(pOverlapped);
                      read.dwDone += dwBytes;
                      read.dwError = dwError;
                      read.bFinished = dwError != 0 || read.dwDone == read.dwTotal || !readNextChunk(read);
                    });
}

TEST_F(Win32Files, ChunkedReadsAndInjectedReadFaults) {
  const DWORD dwTotal = 5 * gc_dwMIB / 2;
  const std::vector<char> bytes = pattern(dwTotal + 300);
  writeFile(m_dir + "/chunked.bin", bytes);
  HANDLE hFile = openForReading(m_engineDir + "\\chunked.bin");
  std::vector<char> buffer(dwTotal, 'z');
  ChainedRead read{{}, hFile, 100, dwTotal, 0, 0, buffer.data(), {}, false};
  ASSERT_TRUE(readNextChunk(read));
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);  // chunks started by completions complete in the same wait
  EXPECT_TRUE(read.bFinished);
  EXPECT_EQ(read.dwError, DWORD(ERROR_SUCCESS));
  EXPECT_EQ(read.offsets, (std::vector<DWORD>{100, 100 + gc_dwMIB, 100 + 2 * gc_dwMIB}));
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin() + 100));

  // The third chunk fails in its completion: the error and no bytes arrive there.
  std::fill(buffer.begin(), buffer.end(), 'z');
  Win32InjectFault(Win32Fault::ReadComplete, 23, 1, 2);
  read = ChainedRead{{}, hFile, 0, dwTotal, 0, 0, buffer.data(), {}, false};
  ASSERT_TRUE(readNextChunk(read));
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_TRUE(read.bFinished);
  EXPECT_EQ(read.dwError, 23u);
  EXPECT_EQ(read.overlapped.Internal, 23u);
  EXPECT_EQ(read.dwDone, 2 * gc_dwMIB);
  EXPECT_EQ(buffer[2 * gc_dwMIB], 'z');

  // A read refused at its start queues nothing.
  Win32InjectFault(Win32Fault::ReadStart, ERROR_NOT_ENOUGH_MEMORY, 1);
  OVERLAPPED overlapped{};
  EXPECT_FALSE(ReadFileEx(hFile, buffer.data(), 16, &overlapped, &recordCompletion));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(SleepEx(0, TRUE), 0u);
  EXPECT_TRUE(g_completions.empty());
  CloseHandle(hFile);
}

TEST_F(Win32Files, ReadsAtTheEndAndWithoutOverlappedHandles) {
  writeFile(m_dir + "/f.bin", pattern(100));
  HANDLE hFile = openForReading(m_engineDir + "\\f.bin");
  char acBuffer[64];
  OVERLAPPED overlapped{};
  overlapped.Offset = 80;  // runs past the end: completes with what there is
  ASSERT_TRUE(ReadFileEx(hFile, acBuffer, 64, &overlapped, &recordCompletion));
  overlapped.Offset = 100;
  EXPECT_FALSE(ReadFileEx(hFile, acBuffer, 64, &overlapped, &recordCompletion));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_HANDLE_EOF));
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  ASSERT_EQ(g_completions.size(), 1u);
  EXPECT_EQ(g_completions[0].dwBytes, 20u);

  HANDLE hPlain = openForReading(m_engineDir + "\\f.bin", 0);
  overlapped.Offset = 0;
  EXPECT_FALSE(ReadFileEx(hPlain, acBuffer, 1, &overlapped, &recordCompletion));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  CloseHandle(hPlain);
  CloseHandle(hFile);
}

TEST_F(Win32Files, DirectoryCreationAndAttributes) {
  const std::u16string nested = wide(m_engineDir + "\\Save\\Data\\Deep\\");
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, nested.c_str(), nullptr), ERROR_SUCCESS);
  EXPECT_EQ(GetFileAttributesW(nested.c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, nested.c_str(), nullptr), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, wide(m_engineDir + "\\SAVE\\data").c_str(), nullptr), ERROR_ALREADY_EXISTS);

  writeFile(m_dir + "/Save/file.txt", pattern(3));
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, wide(m_engineDir + "\\Save\\file.txt").c_str(), nullptr), ERROR_FILE_EXISTS);
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, wide(m_engineDir + "\\Save\\file.txt\\sub").c_str(), nullptr),
            ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, u"", nullptr), ERROR_BAD_PATHNAME);
  Win32InjectFault(Win32Fault::DirectoryCreate, 0, 1);
  const std::u16string denied = wide(m_engineDir + "\\Denied\\Inner");
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, denied.c_str(), nullptr), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(std::filesystem::exists(m_dir + "/Denied"));
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, denied.c_str(), nullptr), ERROR_SUCCESS);

  writeFile(m_dir + "/Dir/locked.txt", pattern(1));
  ASSERT_EQ(chmod((m_dir + "/Dir/locked.txt").c_str(), 0444), 0);
  writeFile(m_dir + "/Dir/\xC3\x9Cn\xC3\xAF \xF0\x9F\x98\x80.txt", pattern(1));  // UTF-8 on disk
  EXPECT_EQ(GetFileAttributesW((wide(m_engineDir) + u"\\dir\\\u00DCn\u00EF \U0001F600.TXT").c_str()),
            FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributesW(wide(m_engineDir + "\\Dir\\locked.txt").c_str()), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(GetFileAttributesW(wide(m_engineDir + "\\Dir\\none.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(wide(m_engineDir + "\\None\\none.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

// What may be found where a file is to be read. Only a regular file, or a symlink to one, opens; anything else is
// refused at once, never waited on (a pipe without a writer blocks a plain open; a device never ends), with an error
// whose system text says what the path is; the bounded whole-file read of the same door says it after the file's
// name.
enum class EAtPath { File, LinkToFile, Fifo, LinkToEndlessDevice, Socket, BlockDevice, SelfLoop, Folder, Missing };

struct SAtPathCase {
  const char* pName;
  EAtPath eMade;
  DWORD dwError;     // CreateFileA's; ERROR_SUCCESS when it opens
  const char* pWhy;  // the door's reason; null when it opens
};

void PrintTo(const SAtPathCase& atPath, std::ostream* pOut) { *pOut << atPath.pName; }

const SAtPathCase gc_aAtPathCases[] = {
    {"RegularFile", EAtPath::File, ERROR_SUCCESS, nullptr},
    {"SymlinkToARegularFile", EAtPath::LinkToFile, ERROR_SUCCESS, nullptr},
    {"Fifo", EAtPath::Fifo, ERROR_BAD_PIPE, "is a pipe"},
    {"SymlinkToDevZero", EAtPath::LinkToEndlessDevice, ERROR_BAD_DEVICE, "is a character device"},
    {"Socket", EAtPath::Socket, ERROR_BAD_FILE_TYPE, "is a socket"},
    {"BlockDevice", EAtPath::BlockDevice, ERROR_BAD_UNIT, "is a block device"},
    {"SelfLoop", EAtPath::SelfLoop, ERROR_CANT_RESOLVE_FILENAME, "is a symlink loop"},
    {"Folder", EAtPath::Folder, ERROR_DIRECTORY_NOT_SUPPORTED, "is a folder"},
    {"Missing", EAtPath::Missing, ERROR_FILE_NOT_FOUND, "does not exist"},
};

class Win32FileDoor : public Win32Files, public ::testing::WithParamInterface<SAtPathCase> {
 protected:
  // Makes what the case names at path; false when it cannot be made here.
  bool make(EAtPath eMade, const std::string& path) {
    switch (eMade) {
      case EAtPath::File: writeFile(path, pattern(10)); return true;
      case EAtPath::LinkToFile: writeFile(path + ".target", pattern(10)); return symlink("x.target", path.c_str()) == 0;
      case EAtPath::Fifo: return mkfifo(path.c_str(), 0600) == 0;
      case EAtPath::LinkToEndlessDevice: return symlink("/dev/zero", path.c_str()) == 0;
      case EAtPath::Socket: {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof(address.sun_path)) return false;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        m_iSocket = socket(AF_UNIX, SOCK_STREAM, 0);
        return m_iSocket >= 0 && bind(m_iSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
      }
      case EAtPath::BlockDevice: return mknod(path.c_str(), S_IFBLK | 0600, makedev(7, 250)) == 0;
      case EAtPath::SelfLoop: return symlink("x", path.c_str()) == 0;
      case EAtPath::Folder: return std::filesystem::create_directory(path);
      case EAtPath::Missing: return true;
    }
    return false;
  }
  void TearDown() override {
    if (m_iSocket >= 0) close(m_iSocket);
    Win32Files::TearDown();
  }
  int m_iSocket = -1;
};

TEST_P(Win32FileDoor, OpensOnlyARegularFileAndSaysWhatElseIsThere) {
  const SAtPathCase& atPath = GetParam();
  const std::string path = m_dir + "/x";
  const bool bMade = make(atPath.eMade, path);
  // Making a device node needs a privilege a test may not have.
  if (!bMade && atPath.eMade == EAtPath::BlockDevice && errno == EPERM) GTEST_SKIP() << "cannot make a device node";
  ASSERT_TRUE(bMade) << std::strerror(errno);

  HANDLE hFile = openForReading(m_engineDir + "\\x");
  if (atPath.pWhy == nullptr) {
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(hFile, nullptr), 10u);
    CloseHandle(hFile);
  } else {
    EXPECT_EQ(hFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), atPath.dwError);
  }
  if (atPath.eMade != EAtPath::Missing && atPath.pWhy != nullptr) {
    char szText[256];
    ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, atPath.dwError, 0, szText, sizeof(szText), nullptr), 0u);
    EXPECT_EQ(std::string(szText), std::string("It ") + atPath.pWhy + ".\r\n");
  }

  std::string bytes;
  SPlatformFileProblem problem;
  const bool bRead = PlatformReadRegularFile(path, 64, &bytes, &problem);
  if (atPath.pWhy == nullptr) {
    EXPECT_TRUE(bRead) << PlatformDescribeFileProblem(problem);
    const std::vector<char> expected = pattern(10);
    EXPECT_EQ(bytes, std::string(expected.begin(), expected.end()));
  } else {
    EXPECT_FALSE(bRead);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(PlatformDescribeFileProblem(problem), atPath.pWhy);
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, Win32FileDoor, ::testing::ValuesIn(gc_aAtPathCases),
                         [](const ::testing::TestParamInfo<SAtPathCase>& info) { return std::string(info.param.pName); });

// A whole-file read takes no more than its bound: a file of the bound's size is read, one byte more is refused.
TEST_F(Win32Files, WholeFileReadsStopAtTheirBound) {
  const std::string path = m_dir + "/bounded.bin";
  writeFile(path, pattern(64));
  std::string bytes;
  SPlatformFileProblem problem;
  EXPECT_TRUE(PlatformReadRegularFile(path, 64, &bytes, &problem));
  EXPECT_EQ(bytes.size(), 64u);
  EXPECT_FALSE(PlatformReadRegularFile(path, 63, &bytes, &problem));
  EXPECT_EQ(PlatformDescribeFileProblem(problem), "is larger than 63 bytes");
  EXPECT_TRUE(bytes.empty());
}

TEST_F(Win32Files, SystemErrorText) {
  LPSTR pText = nullptr;
  const DWORD dwLength =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<LPSTR>(&pText), 0, nullptr);
  ASSERT_NE(pText, nullptr);
  const std::string text = pText;
  EXPECT_EQ(dwLength, text.size());
  EXPECT_GT(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(LocalFree(pText), nullptr);

  // Into the caller's buffer, which must hold the text and its terminator; a code without a text fails.
  std::vector<char> buffer(text.size());
  const DWORD dwSize = DWORD(buffer.size());
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, buffer.data(), dwSize, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  buffer.resize(256);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 54321, 0, buffer.data(), 256, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MR_MID_NOT_FOUND));
}

TEST_F(Win32Files, MessageBoxHeadlessWritesToStandardError) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "failed with error 2: The file does not exist.", "Error", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "no caption", nullptr, MB_OK | MB_ICONERROR), IDOK);
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find("Error: failed with error 2: The file does not exist.\n"), std::string::npos);
  EXPECT_NE(output.find("Error: no caption\n"), std::string::npos);
  EXPECT_EQ(MessageBoxA(nullptr, "two buttons", "Q", 1 /* OK and Cancel */), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));

  std::vector<std::string> shown;
  Win32SetMessageBoxHook([&shown](LPCSTR pText, LPCSTR pCaption, UINT uType) {
    shown.push_back(std::string(pCaption) + "|" + pText + "|" + std::to_string(uType));
    return IDOK;
  });
  EXPECT_EQ(MessageBoxA(nullptr, "text", "Caption", MB_OK), IDOK);
  EXPECT_EQ(shown, (std::vector<std::string>{"Caption|text|0"}));
}

// A box's text is broken at blanks into lines of at most so many characters (not bytes); a word longer than a line
// is cut, and the text's own line breaks stay.
TEST_F(Win32Files, MessageBoxTextIsWrappedIntoItsColumns) {
  struct SCase {
    const char* pText;
    size_t uiColumns;
    const char* pExpected;
  };
  const SCase aCases[] = {
      {"fits as it is", 13, "fits as it is"},
      {"one two three four", 9, "one two\nthree\nfour"},
      {"a [.\\Mag\\RWG_win32.mtc] b", 8, "a\n[.\\Mag\\R\nWG_win32\n.mtc] b"},
      {"first\nsecond line here", 11, "first\nsecond line\nhere"},
      {"\xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9", 7, "\xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9"},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 3, "\xC3\xA9\xC3\xA9\xC3\xA9\n\xC3\xA9"},
  };
  for (const SCase& test : aCases) {
    EXPECT_EQ(Win32WrapMessageText(test.pText, test.uiColumns), test.pExpected) << test.pText;
  }
}

}  // namespace

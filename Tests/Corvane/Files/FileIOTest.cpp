#include "Corvane/Files/ClFileIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "Tests/Corvane/Files/FilesTestSupport.h"

namespace {

struct ReadOutcome {
  i32 iSuccesses = 0;
  i32 iErrors = 0;
  u32 uiLastError = 0;
  Win32FileData* pFile = nullptr;
};

void onReadSuccess(Win32FileData* pFile, void* pUser) {
  auto* pOutcome = static_cast<ReadOutcome*>(pUser);
  ++pOutcome->iSuccesses;
  pOutcome->pFile = pFile;
}

void onReadError(Win32FileData* pFile, u32 uiCode, void* pUser) {
  auto* pOutcome = static_cast<ReadOutcome*>(pUser);
  ++pOutcome->iErrors;
  pOutcome->uiLastError = uiCode;
  pOutcome->pFile = pFile;
}

class FileIO : public FileLayerTest {
 protected:
  // Opens a new file of the given bytes; the test closes it.
  Win32FileData* openBytes(const std::string& name, const std::vector<u8>& bytes) {
    writeBytes(path(name), bytes);
    u64 uiSize = 0;
    Win32FileData* pFile = nullptr;
    EXPECT_EQ(ClFileIO::open(path(name).c_str(), &uiSize, &pFile), E_FILE_OK);
    EXPECT_EQ(uiSize, bytes.size());
    return pFile;
  }
};

TEST_F(FileIO, OpenAnswersItsResultCodesAndLeavesNoRecordBehindOnFailure) {
  u64 uiSize = 0;
  Win32FileData* pFile = nullptr;
  EXPECT_EQ(ClFileIO::open(path("missing.bin").c_str(), &uiSize, &pFile), E_FILE_CANNOT_OPEN);
  EXPECT_EQ(ClFileIO::open(nullptr, &uiSize, &pFile), E_FILE_BAD_ARGUMENT);
  EXPECT_EQ(ClFileIO::open("", &uiSize, &pFile), E_FILE_BAD_ARGUMENT);
  writeBytes(path("empty.bin"), {});
  EXPECT_EQ(ClFileIO::open(path("empty.bin").c_str(), &uiSize, &pFile), E_FILE_EMPTY);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);

  // Engine paths use "\" separators.
  writeBytes(path("Sub/data.bin"), patternBytes(100));
  std::string enginePath = path("Sub\\data.bin");
  ASSERT_EQ(ClFileIO::open(enginePath.c_str(), &uiSize, &pFile), E_FILE_OK);
  EXPECT_EQ(uiSize, 100u);
  EXPECT_STREQ(ClFileIO::getFileName(pFile), enginePath.c_str());
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 1);
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
}

TEST_F(FileIO, PathsOf768CharactersAreRefusedBeforeAnyRecordIsTaken) {
  // A relative path of exactly 767 characters below the test folder: three long folders and a file.
  ASSERT_EQ(chdir(m_dir.c_str()), 0);
  const std::string prefix = std::string(250, 'a') + "/" + std::string(250, 'b') + "/" + std::string(250, 'c') + "/";
  const std::string path767 = prefix + std::string(767 - prefix.size(), 'c');
  ASSERT_EQ(path767.size(), 767u);
  writeBytes(path767, patternBytes(10));

  u64 uiSize = 0;
  Win32FileData* pFile = nullptr;
  ASSERT_EQ(ClFileIO::open(path767.c_str(), &uiSize, &pFile), E_FILE_OK);
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
  const std::string path768 = path767 + "d";
  writeBytes(path768, patternBytes(10));
  EXPECT_EQ(ClFileIO::open(path768.c_str(), &uiSize, &pFile), E_FILE_BAD_ARGUMENT);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(FileIO, AThirdOpenFileIsAnAssertion) {
  Win32FileData* pFirst = openBytes("1.bin", patternBytes(16));
  Win32FileData* pSecond = openBytes("2.bin", patternBytes(16));
  u64 uiSize = 0;
  Win32FileData* pThird = nullptr;
  EXPECT_KV_ASSERT(ClFileIO::open(path("1.bin").c_str(), &uiSize, &pThird), "g_Win32FileDataPool could not be allocated!");
  EXPECT_EQ(ClFileIO::close(pFirst), E_FILE_OK);
  EXPECT_EQ(ClFileIO::close(pSecond), E_FILE_OK);
}

TEST_F(FileIO, BlockingReadsIssueOneMebibyteRequests) {
  const std::vector<u8> bytes = patternBytes(3 * gc_uiMIB);
  Win32FileData* pFile = openBytes("big.bin", bytes);
  AlignedBytes buffer = alignedBytes(3 * gc_uiMIB);

  // The second request of a read is refused: a read of 1 MiB is one request, 1 MiB + 1 byte are two.
  Win32InjectFault(Win32Fault::ReadStart, 0, 1, 1);
  EXPECT_EQ(ClFileIO::read(pFile, 0, gc_uiMIB, buffer.get()), E_FILE_OK);
  EXPECT_EQ(ClFileIO::read(pFile, 0, gc_uiMIB, buffer.get()), E_FILE_READ_REFUSED);
  Win32InjectFault(Win32Fault::ReadStart, 0, 1, 1);
  EXPECT_EQ(ClFileIO::read(pFile, 0, gc_uiMIB + 1, buffer.get()), E_FILE_READ_REFUSED);
  Win32ClearFaults();

  // Whole, from an offset: every chunk lands at its place.
  const u32 uiOffset = 12345;
  const u32 uiSize = 2 * gc_uiMIB + gc_uiMIB / 2;
  ASSERT_EQ(ClFileIO::read(pFile, uiOffset, uiSize, buffer.get()), E_FILE_OK);
  EXPECT_EQ(std::memcmp(buffer.get(), bytes.data() + uiOffset, uiSize), 0);
  EXPECT_FALSE(ClFileIO::isReading(pFile));
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
}

TEST_F(FileIO, ABlockingReadThatFailsReportsItInsteadOfSuccess) {
  const std::vector<u8> bytes = patternBytes(gc_uiMIB + 100);
  Win32FileData* pFile = openBytes("data.bin", bytes);
  AlignedBytes buffer = alignedBytes(2 * gc_uiMIB);

  // The read starts but its completion reports an error.
  Win32InjectFault(Win32Fault::ReadComplete, 0, 1);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClFileIO::read(pFile, 0, 1000, buffer.get()), E_FILE_READ_FAILED);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(path("data.bin")), std::string::npos);
  // The record is usable afterwards.
  EXPECT_EQ(ClFileIO::read(pFile, 0, 1000, buffer.get()), E_FILE_OK);

  // Past the end of the file: the read comes back short, an error rather than an assertion or success; a
  // request that would start at the end is refused.
  EXPECT_EQ(ClFileIO::read(pFile, 200, gc_uiMIB, buffer.get()), E_FILE_READ_FAILED);
  EXPECT_EQ(ClFileIO::read(pFile, 100, gc_uiMIB + 1, buffer.get()), E_FILE_READ_REFUSED);
  // Positions are 64-bit: a read that would start past 4 GiB is a read past the end of this file.
  EXPECT_EQ(ClFileIO::read(pFile, 0xFFFFFF00ull + 0x200, 0x200, buffer.get()), E_FILE_READ_REFUSED);
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
}

// Sizes and positions are 64-bit: a sparse file of 5 GiB reports its whole size, and bytes written past 4 GiB
// are read where they are, also by a read that crosses the 4 GiB mark.
TEST_F(FileIO, SizesAndPositionsPastFourGiB) {
  const u64 uiFourGiB = 4ull << 30;
  const std::vector<u8> bytes = patternBytes(300);
  writeSparse(path("huge.bin"), 5ull << 30, {{uiFourGiB - 100, bytes}, {uiFourGiB + 4096, bytes}});
  writeSparse(path("four.bin"), uiFourGiB, {{0, bytes}});
  u64 uiSize = 0;
  Win32FileData* pFile = nullptr;
  ASSERT_EQ(ClFileIO::open(path("four.bin").c_str(), &uiSize, &pFile), E_FILE_OK);
  EXPECT_EQ(uiSize, uiFourGiB);
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
  ASSERT_EQ(ClFileIO::open(path("huge.bin").c_str(), &uiSize, &pFile), E_FILE_OK);
  EXPECT_EQ(uiSize, 5ull << 30);
  EXPECT_EQ(ClFileIO::getFileSize(pFile), 5ull << 30);
  AlignedBytes buffer = alignedBytes(300);
  ASSERT_EQ(ClFileIO::read(pFile, uiFourGiB - 100, 300, buffer.get()), E_FILE_OK);
  EXPECT_EQ(std::memcmp(buffer.get(), bytes.data(), 300), 0);
  ASSERT_EQ(ClFileIO::read(pFile, uiFourGiB + 4096, 300, buffer.get()), E_FILE_OK);
  EXPECT_EQ(std::memcmp(buffer.get(), bytes.data(), 300), 0);
  ReadOutcome outcome;
  ASSERT_EQ(ClFileIO::readAsyncWithCallbacks(pFile, uiFourGiB + 4096, 300, buffer.get(), &onReadSuccess, &outcome,
                                             &onReadError, &outcome),
            E_FILE_OK);
  SleepEx(0, TRUE);
  EXPECT_EQ(outcome.iSuccesses, 1);
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
}

TEST_F(FileIO, CallbackReadsCompleteInChunksOnlyInsideAlertableWaits) {
  const std::vector<u8> bytes = patternBytes(3 * gc_uiMIB);
  Win32FileData* pFile = openBytes("big.bin", bytes);
  const u32 uiOffset = 4096;
  const u32 uiSize = 2 * gc_uiMIB + gc_uiMIB / 2;
  AlignedBytes buffer = alignedBytes(uiSize);
  ReadOutcome outcome;

  // The first chunk completes while the thread is blocked in a wait that is not alertable: nothing may complete.
  Win32TestHoldCompletions(TRUE);
  ASSERT_EQ(ClFileIO::readAsyncWithCallbacks(pFile, uiOffset, uiSize, buffer.get(), &onReadSuccess, &outcome,
                                             &onReadError, &outcome),
            E_FILE_OK);
  EXPECT_EQ(KvTestReleaseHeldCompletionsDuringWait(FALSE), WAIT_OBJECT_0);
  Sleep(0);
  EXPECT_EQ(outcome.iSuccesses + outcome.iErrors, 0);
  EXPECT_TRUE(ClFileIO::isReading(pFile));
  // One alertable wait runs the chunk completions, each of which issues the next.
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(outcome.iSuccesses, 1);
  EXPECT_EQ(outcome.iErrors, 0);
  EXPECT_EQ(outcome.pFile, pFile);
  EXPECT_EQ(std::memcmp(buffer.get(), bytes.data() + uiOffset, uiSize), 0);

  // Exactly three requests (1 MiB, 1 MiB, 0.5 MiB): refusing the fourth changes nothing, the third ends it.
  outcome = ReadOutcome{};
  Win32InjectFault(Win32Fault::ReadStart, 0, 1, 3);
  ASSERT_EQ(ClFileIO::readAsyncWithCallbacks(pFile, uiOffset, uiSize, buffer.get(), &onReadSuccess, &outcome,
                                             &onReadError, &outcome),
            E_FILE_OK);
  SleepEx(0, TRUE);
  EXPECT_EQ(outcome.iSuccesses, 1);
  EXPECT_EQ(outcome.iErrors, 0);
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
}

TEST_F(FileIO, AChunkedReadThatFailsMidwayEndsWithItsErrorCallback) {
  const std::vector<u8> bytes = patternBytes(3 * gc_uiMIB);
  Win32FileData* pFile = openBytes("big.bin", bytes);
  AlignedBytes buffer = alignedBytes(3 * gc_uiMIB);
  ReadOutcome outcome;

  // The third request is refused from inside the second one's completion.
  Win32InjectFault(Win32Fault::ReadStart, 0, 1, 2);
  ASSERT_EQ(ClFileIO::readAsyncWithCallbacks(pFile, 0, 2 * gc_uiMIB + 10, buffer.get(), &onReadSuccess, &outcome,
                                             &onReadError, &outcome),
            E_FILE_OK);
  SleepEx(0, TRUE);
  EXPECT_EQ(outcome.iSuccesses, 0);
  EXPECT_EQ(outcome.iErrors, 1);
  EXPECT_EQ(outcome.uiLastError, static_cast<u32>(ERROR_READ_FAULT));
  EXPECT_EQ(m_boxes.size(), 1u);
  EXPECT_FALSE(ClFileIO::isReading(pFile));

  // The second request completes with an error.
  outcome = ReadOutcome{};
  Win32InjectFault(Win32Fault::ReadComplete, ERROR_GEN_FAILURE, 1, 1);
  ASSERT_EQ(ClFileIO::readAsyncWithCallbacks(pFile, 0, 2 * gc_uiMIB + 10, buffer.get(), &onReadSuccess, &outcome,
                                             &onReadError, &outcome),
            E_FILE_OK);
  SleepEx(0, TRUE);
  EXPECT_EQ(outcome.iErrors, 1);
  EXPECT_EQ(outcome.uiLastError, static_cast<u32>(ERROR_GEN_FAILURE));
  EXPECT_EQ(outcome.iSuccesses, 0);

  // A read that runs past the end of the file reports the end of the file.
  outcome = ReadOutcome{};
  ASSERT_EQ(ClFileIO::readAsyncWithCallbacks(pFile, 2 * gc_uiMIB, gc_uiMIB + 1, buffer.get(), &onReadSuccess,
                                             &outcome, &onReadError, &outcome),
            E_FILE_OK);
  SleepEx(0, TRUE);
  EXPECT_EQ(outcome.iErrors, 1);
  EXPECT_EQ(outcome.uiLastError, static_cast<u32>(ERROR_HANDLE_EOF));
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
}

TEST_F(FileIO, SingleReadsRefuseMoreThanOneMebibyteAndShowTheErrorBoxWhenRefused) {
  Win32FileData* pFile = openBytes("data.bin", patternBytes(2 * gc_uiMIB));
  AlignedBytes buffer = alignedBytes(2 * gc_uiMIB);
  EXPECT_KV_FATAL(ClFileIO::readAsync(pFile, 0, gc_uiMIB + 1, buffer.get()),
                  "ClFileIO::readAsync() cannot read [1048577] bytes while in buffered-mode; the max is [1048576] bytes!");
  EXPECT_KV_ASSERT(ClFileIO::readAsync(pFile, 0, 16, buffer.get() + 8), "((kv_ptrSize)destinationBuffer & 0xF) == 0");

  Win32InjectFault(Win32Fault::ReadStart, 0, 1);
  EXPECT_EQ(ClFileIO::readAsync(pFile, 0, 16, buffer.get()), E_FILE_READ_REFUSED);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].rfind("Error: failed with error 30: ", 0), 0u) << m_boxes[0];
  EXPECT_FALSE(ClFileIO::isReading(pFile));

  // A started read is in flight until an alertable wait runs its completion.
  ASSERT_EQ(ClFileIO::readAsync(pFile, 0, 16, buffer.get()), E_FILE_OK);
  EXPECT_KV_ASSERT(ClFileIO::readAsync(pFile, 0, 16, buffer.get()), "!pFileData->mp_pBuffer");
  EXPECT_KV_ASSERT(ClFileIO::close(pFile), "Closed file has a read in flight!");
  EXPECT_TRUE(ClFileIO::isReading(pFile));
  SleepEx(0, TRUE);
  EXPECT_FALSE(ClFileIO::isReading(pFile));
  EXPECT_EQ(ClFileIO::close(pFile), E_FILE_OK);
}

struct CallbackLog {
  std::vector<std::string> calls;
};

void logOpen(Win32FileData*, u64 uiSize, void* pUser) {
  static_cast<CallbackLog*>(pUser)->calls.push_back("open " + std::to_string(uiSize));
}
void logEnd(Win32FileData*, void* pUser) { static_cast<CallbackLog*>(pUser)->calls.push_back("end"); }
void logError(Win32FileData* pFile, u32 uiCode, void* pUser) {
  static_cast<CallbackLog*>(pUser)->calls.push_back("error " + std::to_string(uiCode) + (pFile ? " file" : " null"));
}

TEST_F(FileIO, CallbackOpensAndClosesReportBeforeTheyReturn) {
  writeBytes(path("a.bin"), patternBytes(42));
  CallbackLog log;
  EXPECT_EQ(ClFileIO::openWithCallbacks(path("missing").c_str(), &logOpen, &log, &logError, &log), E_FILE_CANNOT_OPEN);
  EXPECT_EQ(ClFileIO::openWithCallbacks(nullptr, &logOpen, &log, &logError, &log), E_FILE_BAD_ARGUMENT);
  EXPECT_EQ(ClFileIO::openWithCallbacks(path("a.bin").c_str(), &logOpen, &log, &logError, &log), E_FILE_OK);
  ASSERT_EQ(log.calls, (std::vector<std::string>{"error 1 null", "open 42"}));
  EXPECT_KV_ASSERT(ClFileIO::openWithCallbacks(path("a.bin").c_str(), nullptr, &log, &logError, &log), "successCallback");

  u64 uiSize = 0;
  Win32FileData* pFile = nullptr;
  ASSERT_EQ(ClFileIO::open(path("a.bin").c_str(), &uiSize, &pFile), E_FILE_OK);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 2);
  EXPECT_EQ(ClFileIO::closeWithCallbacks(pFile, &logEnd, &log, &logError, &log), E_FILE_OK);
  // A close that fails still gives the record back.
  ASSERT_EQ(ClFileIO::open(path("a.bin").c_str(), &uiSize, &pFile), E_FILE_OK);
  Win32InjectFault(Win32Fault::FileClose, 0, 1);
  EXPECT_EQ(ClFileIO::closeWithCallbacks(pFile, &logEnd, &log, &logError, &log), E_FILE_CLOSE_FAILED);
  EXPECT_EQ(log.calls.back(), "error 11 file");
  EXPECT_EQ(log.calls[log.calls.size() - 2], "end");
  EXPECT_EQ(m_boxes.size(), 1u);
  // Shutdown closes what is still open.
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 1);
  EXPECT_EQ(ClFileIO::shutdown(), 1);
  EXPECT_EQ(ClFileIO::getOpenFileCount(), 0);
  EXPECT_EQ(ClFileIO::initialize(), E_FILE_OK);
}

TEST_F(FileIO, ExistenceTestsAndDirectoryCreation) {
  writeBytes(path("Data/Text.TXT"), patternBytes(3));
  EXPECT_EQ(ClFileIO::fileExists(path("Data\\Text.TXT").c_str()), 1);
  EXPECT_EQ(ClFileIO::fileExists(path("data\\text.txt").c_str()), 1);  // loose files in another case
  EXPECT_EQ(ClFileIO::fileExists(path("Data\\Other.txt").c_str()), 0);
  EXPECT_EQ(ClFileIO::fileExists(nullptr), 0);
  EXPECT_NE(ClFileIO::getFileLock(), nullptr);

  const std::u16string nested(u"" + std::u16string(m_dir.begin(), m_dir.end()) + u"\\SAVEDATA\\Slot");
  EXPECT_EQ(ClFileIO::createDirectory(nested.c_str()), E_FILE_OK);
  struct stat info;
  EXPECT_EQ(stat(path("SAVEDATA/Slot").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  // A folder that exists already counts as not created.
  EXPECT_EQ(ClFileIO::createDirectory(nested.c_str()), E_FILE_DIRECTORY_NOT_CREATED);
  // A failed first attempt is retried.
  const std::u16string other(u"" + std::u16string(m_dir.begin(), m_dir.end()) + u"\\Other");
  Win32InjectFault(Win32Fault::DirectoryCreate, 0, 1);
  EXPECT_EQ(ClFileIO::createDirectory(other.c_str()), E_FILE_OK);
  EXPECT_EQ(stat(path("Other").c_str(), &info), 0);
}

}  // namespace

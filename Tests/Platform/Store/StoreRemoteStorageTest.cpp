#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <numeric>

#include "Tests/Platform/Store/StoreTestFixture.h"

namespace {

constexpr std::int32_t gc_iPROFILE_BYTES = 2584;
const char* const gc_pPROFILE = "USR-DATAs";

std::vector<unsigned char> pattern(std::size_t uiBytes, unsigned char ucSeed) {
  std::vector<unsigned char> data(uiBytes);
  for (std::size_t i = 0; i < uiBytes; ++i) {
    data[i] = static_cast<unsigned char>(ucSeed + i * 7);
  }
  return data;
}

std::vector<unsigned char> readBack(const char* pName, std::size_t uiBytes) {
  std::vector<unsigned char> data(uiBytes);
  data.resize(std::size_t(SteamRemoteStorage()->FileRead(pName, data.data(), std::int32_t(uiBytes))));
  return data;
}

std::vector<std::string> remoteFiles(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir + "/remote")) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

class StoreRemoteTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    ASSERT_TRUE(SteamAPI_Init());
  }
};

TEST_F(StoreRemoteTest, ProfileBlockWrittenOnAWorkerIsReadBackAndSurvivesARestart) {
  const std::vector<unsigned char> profile = pattern(gc_iPROFILE_BYTES, 22);
  bool bWritten = false;
  std::thread([&] {
    bWritten = SteamRemoteStorage()->FileWrite(gc_pPROFILE, profile.data(), gc_iPROFILE_BYTES);
  }).join();
  ASSERT_TRUE(bWritten);
  EXPECT_TRUE(SteamRemoteStorage()->FileExists(gc_pPROFILE));
  EXPECT_EQ(SteamRemoteStorage()->GetFileSize(gc_pPROFILE), gc_iPROFILE_BYTES);
  std::vector<unsigned char> loaded;
  std::thread([&] { loaded = readBack(gc_pPROFILE, gc_iPROFILE_BYTES); }).join();
  EXPECT_EQ(loaded, profile);
  ASSERT_TRUE(restart());
  EXPECT_EQ(readBack(gc_pPROFILE, gc_iPROFILE_BYTES + 10), profile);  // a larger buffer gets the file's size
  EXPECT_EQ(readBack(gc_pPROFILE, 100), std::vector<unsigned char>(profile.begin(), profile.begin() + 100));
  EXPECT_EQ(remoteFiles(m_dir), std::vector<std::string>{gc_pPROFILE});
}

TEST_F(StoreRemoteTest, MissingFilesBadNamesAndFaults) {
  ISteamRemoteStorage* pRemote = SteamRemoteStorage();
  unsigned char buffer[16] = {};
  EXPECT_EQ(pRemote->FileRead(gc_pPROFILE, buffer, sizeof(buffer)), 0);
  EXPECT_EQ(pRemote->GetFileSize(gc_pPROFILE), 0);
  EXPECT_FALSE(pRemote->FileExists(gc_pPROFILE));
  for (const std::string& name : {std::string(""), std::string(".hidden"), std::string("a/b"),
                                  std::string("../escape"), std::string(256, 'n')}) {
    EXPECT_FALSE(pRemote->FileWrite(name.c_str(), buffer, 4)) << name;
  }
  EXPECT_FALSE(pRemote->FileWrite(gc_pPROFILE, nullptr, 4));
  EXPECT_FALSE(pRemote->FileWrite(gc_pPROFILE, buffer, -1));
  EXPECT_TRUE(pRemote->FileWrite(std::string(255, 'n').c_str(), buffer, 4));

  ASSERT_TRUE(pRemote->FileWrite(gc_pPROFILE, "old", 3));
  StoreSetFaults(STORE_FAULT_WRITE_FAIL);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(pRemote->FileWrite(gc_pPROFILE, "new", 3));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "store: " + m_dir + "/remote/" + gc_pPROFILE +
                                                          ": cannot write, the old content stays (fault write_fail)\n");
  StoreSetFaults(STORE_FAULT_READ_FAIL);
  EXPECT_EQ(pRemote->FileRead(gc_pPROFILE, buffer, sizeof(buffer)), 0);
  StoreSetFaults(0);
  EXPECT_EQ(pRemote->FileRead(gc_pPROFILE, buffer, sizeof(buffer)), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "old");
  SteamAPI_Shutdown();
  EXPECT_EQ(SteamRemoteStorage(), nullptr);
}

// Writers replace the file while readers read it: every read is one whole block of one writer.
TEST_F(StoreRemoteTest, ConcurrentWritersAndReadersNeverSeeAMix) {
  std::atomic<int> iTorn{0};
  std::atomic<int> iFailedWrites{0};
  std::vector<std::thread> threads;
  for (int iWriter = 0; iWriter < 3; ++iWriter) {
    threads.emplace_back([&, iWriter] {
      const std::vector<unsigned char> block(gc_iPROFILE_BYTES, static_cast<unsigned char>(iWriter + 1));
      for (int i = 0; i < 40; ++i) {
        if (!SteamRemoteStorage()->FileWrite(gc_pPROFILE, block.data(), gc_iPROFILE_BYTES)) {
          ++iFailedWrites;
        }
      }
    });
  }
  for (int iReader = 0; iReader < 2; ++iReader) {
    threads.emplace_back([&] {
      for (int i = 0; i < 80; ++i) {
        const std::vector<unsigned char> data = readBack(gc_pPROFILE, gc_iPROFILE_BYTES);
        if (!data.empty() && (data.size() != std::size_t(gc_iPROFILE_BYTES) ||
                              std::count(data.begin(), data.end(), data[0]) != gc_iPROFILE_BYTES)) {
          ++iTorn;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(iTorn, 0);
  EXPECT_EQ(iFailedWrites, 0);
  EXPECT_EQ(remoteFiles(m_dir).size(), 1u);
}

int g_iPausePipe = -1;

void pauseAfterFirstChunk(const char*, std::int64_t iWritten, std::int64_t iTotal) {
  if (iWritten < iTotal) {
    const char cSignal = 'w';
    (void)::write(g_iPausePipe, &cSignal, 1);
    ::pause();
  }
}

// A write killed half-way, and one that runs out of room, leave the previous block as it was.
TEST_F(StoreRemoteTest, InterruptedWritesKeepThePreviousBlock) {
  const std::vector<unsigned char> profile = pattern(gc_iPROFILE_BYTES, 5);
  ASSERT_TRUE(SteamRemoteStorage()->FileWrite(gc_pPROFILE, profile.data(), gc_iPROFILE_BYTES));
  const std::vector<unsigned char> huge = pattern(std::size_t(8) << 20, 9);

  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    g_iPausePipe = pipeFds[1];
    StoreSetWriteHook(&pauseAfterFirstChunk);
    SteamRemoteStorage()->FileWrite(gc_pPROFILE, huge.data(), std::int32_t(huge.size()));
    ::_exit(0);
  }
  char cSignal = 0;
  ASSERT_EQ(::read(pipeFds[0], &cSignal, 1), 1);  // the child is inside its write
  ::kill(child, SIGKILL);
  int iStatus = 0;
  ::waitpid(child, &iStatus, 0);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  EXPECT_TRUE(WIFSIGNALED(iStatus));
  EXPECT_EQ(SteamRemoteStorage()->GetFileSize(gc_pPROFILE), gc_iPROFILE_BYTES);
  EXPECT_EQ(readBack(gc_pPROFILE, gc_iPROFILE_BYTES), profile);
  EXPECT_EQ(remoteFiles(m_dir).size(), 2u);  // the block and the dead write's temporary file

  // A full disk: the file-size limit stops the write part-way.
  const pid_t limited = ::fork();
  ASSERT_GE(limited, 0);
  if (limited == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::vector<unsigned char> other = pattern(gc_iPROFILE_BYTES, 77);
    ::_exit(SteamRemoteStorage()->FileWrite(gc_pPROFILE, other.data(), gc_iPROFILE_BYTES) ? 1 : 0);
  }
  ::waitpid(limited, &iStatus, 0);
  ASSERT_TRUE(WIFEXITED(iStatus));
  EXPECT_EQ(WEXITSTATUS(iStatus), 0) << "a write past the limit reported success";
  EXPECT_EQ(readBack(gc_pPROFILE, gc_iPROFILE_BYTES), profile);

  ASSERT_TRUE(restart());  // clears what the killed write left
  EXPECT_EQ(remoteFiles(m_dir), std::vector<std::string>{gc_pPROFILE});
  EXPECT_EQ(readBack(gc_pPROFILE, gc_iPROFILE_BYTES), profile);
}

}  // namespace

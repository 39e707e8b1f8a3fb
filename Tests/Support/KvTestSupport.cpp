#include "Tests/Support/KvTestSupport.h"

#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Program/KvProgram.h"
#include "Platform/D3D9/D3D9GL.h"
#include "Tests/Support/GameHooksDoubles.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern char** environ;

// With an X display present SDL opens a D-Bus connection whose buffers the D-Bus library keeps to the end of
// the process; every test program that touches SDL would report them as leaks. Mesa's GL libraries keep one-time
// allocations for the process as well; SDL unloads them when its video shuts down, which would hide their names
// from the report, so they are held loaded for the whole run (RTLD_NODELETE) and their allocations not reported.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\nleak:swrast_dri.so\nleak:libEGL_mesa.so\nleak:libGLX_mesa.so\nleak:libglapi.so\n"
         "leak:libLLVM\n";
}

// Mesa's software rasteriser synchronises its own threads with primitives ThreadSanitizer does not see; what it
// does inside itself is not ours to check.
extern "C" const char* __tsan_default_suppressions() {
  return "race:swrast_dri.so\nrace:libLLVM\ndeadlock:swrast_dri.so\ndeadlock:libLLVM\ndeadlock:libgcc_s.so\n";
}

// Loading them costs a quarter of a second (the driver's relocations), so only the leak-checked build does it, and
// only in programs linked with the GL back end: the weak reference is null where nothing else pulled it in.
#if defined(__SANITIZE_ADDRESS__)
bool D3D9LoadGLFunctions(SD3D9GLFunctions* pGL, const char** ppMissing) __attribute__((weak));

namespace {
[[maybe_unused]] const bool g_bGLDriversHeld = [] {
  if (&D3D9LoadGLFunctions == nullptr) return false;
  for (const char* pName : {"libglapi.so.0", "libEGL_mesa.so.0", "libGLX_mesa.so.0",
                            "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"}) {
    dlopen(pName, RTLD_LAZY | RTLD_NODELETE);
  }
  return true;
}();
}  // namespace
#endif

namespace {

std::filesystem::path g_tempRoot;

class KvTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    KvTestInstallHookDoubles();
  }
  void TearDown() override {
    if (!g_tempRoot.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(g_tempRoot, ec);
    }
  }
};

[[maybe_unused]] ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new KvTestEnvironment);

std::string envOr(const char* pName, const char* pFallback) {
  const char* pValue = std::getenv(pName);
  return pValue ? pValue : pFallback;
}

}  // namespace

void KvTestUseIdleGame() {
  KvTestProgramHooks().reset();
  KvSetProgramGameHooks(KvTestProgramHooks());
  KvHandleQuitSignals();
  ClMainLoop::readFrequency();
  ClMainLoop::reset();
}

void KvTestStartFileIO() {
  ClMutexLock::initializePool();
  KvInitializeDataPaths();
  ClFileIO::initialize();
  ClMagFileIO::initTOCPool();
  ClMagFileIO::initRefPool();
}

void KvTestStopFileIO() {
  ClMagFileIO::shutdown();
  ClFileIO::shutdown();
}

std::string KvTestSourceDir() { return envOr("GRINDLOW_SOURCE_DIR", "."); }
std::string KvTestBinaryDir() { return envOr("GRINDLOW_BINARY_DIR", "."); }

int KvTestRunProgram(const std::vector<std::string>& args, std::string* pOutput) {
  pOutput->clear();
  int aiPipe[2];
  if (args.empty() || ::pipe(aiPipe) != 0) {
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, aiPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, aiPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, aiPipe[0]);
  std::vector<std::string> copies = args;
  std::vector<char*> argv;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  const int iSpawn = posix_spawn(&child, copies[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(aiPipe[1]);
  if (iSpawn != 0) {
    ::close(aiPipe[0]);
    return -1;
  }
  char acBuffer[4096];
  ssize_t iRead = 0;
  while ((iRead = ::read(aiPipe[0], acBuffer, sizeof(acBuffer))) > 0) {
    pOutput->append(acBuffer, static_cast<size_t>(iRead));
  }
  ::close(aiPipe[0]);
  int iStatus = 0;
  return ::waitpid(child, &iStatus, 0) == child ? iStatus : -1;
}

std::string KvTestFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string KvTestTempDir(const std::string& name) {
  if (g_tempRoot.empty()) {
    g_tempRoot = std::filesystem::temp_directory_path() / ("grindlow-test-" + std::to_string(getpid()));
    // Programs without the test environment (the benchmarks) remove the folder when they exit too; a forked
    // child that exits leaves its parent's folder alone.
    static const pid_t s_owner = getpid();
    std::atexit([] {
      if (getpid() == s_owner) {
        std::error_code ec;
        std::filesystem::remove_all(g_tempRoot, ec);
      }
    });
  }
  std::filesystem::path dir = g_tempRoot / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

void KvTestProvideEngineStringTable(const std::string& dataRoot, const std::string& code) {
  const std::filesystem::path folder = std::filesystem::path(dataRoot) / "Lang" / code / "Strings";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(
      std::filesystem::path(KvTestBinaryDir()) / "Content/Strings/Lang" / code / "Strings/Win32.lang",
      folder / "Win32.lang", std::filesystem::copy_options::overwrite_existing);
}

std::string KvTestChangeFolder(const std::string& dir) {
  char szCwd[4096];
  if (getcwd(szCwd, sizeof(szCwd)) == nullptr || chdir(dir.c_str()) != 0) {
    return std::string();
  }
  return szCwd;
}

SKvToolRun KvTestRunTool(const std::string& commandLine) {
  SKvToolRun result;
  std::FILE* pPipe = popen((commandLine + " 2>&1").c_str(), "r");
  if (pPipe == nullptr) {
    return result;
  }
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pPipe)) > 0;) {
    result.out.append(buffer, n);
  }
  const int iStatus = pclose(pPipe);
  result.iExit = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
  return result;
}

std::string KvTestShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

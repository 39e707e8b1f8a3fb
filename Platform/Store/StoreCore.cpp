// Start and end of the local store, its interfaces, faults, warnings and the delivery of callbacks.
#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Platform/Common/PlatformFaults.h"
#include "Platform/Store/StoreInternal.h"
#include "Platform/Store/StoreTest.h"
#include "Platform/Store/StoreUserStats.h"

namespace {

std::atomic<std::uint32_t> g_uiFaults{0};
std::atomic<SteamAPIWarningMessageHook_t> g_pWarningHook{nullptr};
std::atomic<std::thread::id> g_mainThread{std::thread::id()};
std::atomic<bool> g_bRunning{false};
std::unique_ptr<StoreSession> g_pSession;
// Why the last start failed; empty after one that worked.
std::string g_initFailure;
// Counts sessions, so that records queued by an earlier session are never delivered in a later one.
std::uint64_t g_uiSessionNumber = 0;

struct Queued {
  bool bCallResult;
  int iCallback;
  SteamAPICall_t hCall;
  bool bIOFailure;
  std::uint64_t uiSession;
  std::vector<unsigned char> record;
  std::function<void(void*)> onDelivery;
};

// Registrations outlive sessions (objects may register before SteamAPI_Init), so the registry is never
// destroyed: callback objects that are globals may unregister during the program's exit.
struct Registry {
  std::mutex mutex;
  std::vector<std::pair<CCallbackBase*, int>> callbacks;  // in registration order
  std::unordered_map<SteamAPICall_t, CCallbackBase*> results;
  std::deque<Queued> queue;
  SteamAPICall_t hNextCall = 1;
};

Registry& registry() {
  static Registry* s_pRegistry = new Registry;
  return *s_pRegistry;
}

void checkRecordSize(CCallbackBase* pTarget, const Queued& item) {
  if (pTarget->GetCallbackSizeBytes() != int(item.record.size())) {
    StoreMisuse("a callback object of %d bytes was bound to record %d of %zu bytes", pTarget->GetCallbackSizeBytes(),
                item.iCallback, item.record.size());
  }
}

std::string envText(const char* pName) {
  const char* pValue = std::getenv(pName);
  return pValue ? pValue : "";
}

// GRINDLOW_STORE_DIR, else $XDG_DATA_HOME/grindlow, else $HOME/.local/share/grindlow.
bool storeDirectory(std::string* pDir, std::string* pError) {
  std::string dir = envText("GRINDLOW_STORE_DIR");
  if (dir.empty()) {
    const std::string dataHome = envText("XDG_DATA_HOME");
    const std::string home = envText("HOME");
    if (!dataHome.empty() && dataHome[0] == '/') {
      dir = dataHome + "/grindlow";
    } else if (!home.empty()) {
      dir = home + "/.local/share/grindlow";
    } else {
      *pError = "no store folder: set GRINDLOW_STORE_DIR, XDG_DATA_HOME or HOME";
      return false;
    }
  }
  for (const char* pSub : {"", "/remote", "/crashes"}) {
    std::error_code error;
    std::filesystem::create_directories(dir + pSub, error);
    if (error || !std::filesystem::is_directory(dir + pSub, error)) {
      *pError = dir + pSub + ": cannot make the store folder (" + error.message() + ")";
      return false;
    }
  }
  *pDir = dir;
  return true;
}

bool loadConfiguration(const std::string& dir, StoreConfig* pConfig, std::string* pError) {
  const std::string named = envText("GRINDLOW_STORE_CONFIG");
  const std::string local = dir + "/store.ini";
  if (!StoreLoadConfig(named.empty() ? local : named, named.empty(), pConfig, pError)) {
    return false;
  }
  const std::string language = envText("GRINDLOW_STORE_LANGUAGE");
  if (!language.empty()) {
    pConfig->language = language;
  }
  return true;
}

bool openSession(StoreSession* pSession, std::string* pError) {
  std::uint32_t uiEnvFaults = 0;
  std::string faultError;
  if (!StoreParseFaults(envText("GRINDLOW_STORE_FAULTS").c_str(), &uiEnvFaults, &faultError)) {
    *pError = "GRINDLOW_STORE_FAULTS: " + faultError;
    return false;
  }
  g_uiFaults.fetch_or(uiEnvFaults);
  if (StoreHasFault(STORE_FAULT_INIT_FAIL)) {
    *pError = "start refused (fault init_fail)";
    return false;
  }
  if (!storeDirectory(&pSession->dir, pError) || !loadConfiguration(pSession->dir, &pSession->config, pError)) {
    return false;
  }
  pSession->dbPath = pSession->dir + "/store.db";
  std::string notice;
  pSession->pDb = StoreOpenDatabase(pSession->dbPath, pError, &notice);
  if (pSession->pDb == nullptr) {
    return false;
  }
  if (!notice.empty()) {
    StoreWarn("%s", notice.c_str());
  }
  pSession->pUserStats = std::make_unique<StoreUserStats>(pSession);
  if (!pSession->pUserStats->open(pError) || !StoreRemoteOpen(pSession->dir + "/remote", pError)) {
    return false;
  }
  StoreCrashReportsUse(pSession->dir + "/crashes");
  return true;
}

class StoreClient final : public ISteamClient {
 public:
  void SetWarningMessageHook(SteamAPIWarningMessageHook_t pFunction) override { g_pWarningHook = pFunction; }
};

class StoreUtils final : public ISteamUtils {
 public:
  AppId_t GetAppID() override { return g_pSession ? g_pSession->config.appId : 0; }
  void SetOverlayNotificationPosition(ENotificationPosition ePosition) override {
    if (g_pSession) {
      g_pSession->eOverlayPosition = ePosition;
    }
  }
};

class StoreUser final : public ISteamUser {
 public:
  CSteamID GetSteamID() override { return CSteamID(g_pSession ? g_pSession->config.ulUserId : 0); }
  bool GetUserDataFolder(char* pchBuffer, int cubBuffer) override {
    const std::string folder = g_pSession ? g_pSession->dir + "/" : std::string();
    if (folder.empty() || pchBuffer == nullptr || cubBuffer <= 0 || folder.size() >= std::size_t(cubBuffer)) {
      return false;
    }
    std::memcpy(pchBuffer, folder.c_str(), folder.size() + 1);
    return true;
  }
};

class StoreFriends final : public ISteamFriends {
 public:
  const char* GetFriendPersonaName(CSteamID steamIDFriend) override {
    if (!g_pSession) {
      return "";
    }
    const StoreConfig& config = g_pSession->config;
    if (steamIDFriend.ConvertToUint64() == config.ulUserId) {
      return config.userName.c_str();
    }
    for (const std::vector<StoreFriend>* pList : {&config.friends, &config.players}) {
      for (const StoreFriend& entry : *pList) {
        if (entry.ulId == steamIDFriend.ConvertToUint64()) {
          return entry.name.c_str();
        }
      }
    }
    return "";
  }
};

class StoreApps final : public ISteamApps {
 public:
  const char* GetCurrentGameLanguage() override { return g_pSession ? g_pSession->config.language.c_str() : ""; }
};

StoreClient g_client;
StoreUtils g_utils;
StoreUser g_user;
StoreFriends g_friends;
StoreApps g_apps;

}  // namespace

StoreSession::~StoreSession() {
  pUserStats.reset();
  sqlite3_close(pDb);
}

StoreSession* StoreGetSession() { return g_pSession.get(); }

bool StoreHasFault(std::uint32_t uiFault) { return (g_uiFaults.load() & uiFault) != 0; }

void StoreMisuse(const char* pFormat, ...) {
  std::va_list args;
  va_start(args, pFormat);
  std::fputs("store: ", stderr);
  std::vfprintf(stderr, pFormat, args);
  std::fputs("\n", stderr);
  va_end(args);
  std::abort();
}

void StoreRequireMainThread(const char* pCall) {
  const std::thread::id mainThread = g_mainThread.load();
  if (mainThread != std::thread::id() && mainThread != std::this_thread::get_id()) {
    StoreMisuse("%s called off the main thread", pCall);
  }
}

void StoreWarn(const char* pFormat, ...) {
  char text[1024];
  std::va_list args;
  va_start(args, pFormat);
  std::vsnprintf(text, sizeof(text), pFormat, args);
  va_end(args);
  if (SteamAPIWarningMessageHook_t pHook = g_pWarningHook.load()) {
    pHook(1, text);
  } else {
    std::fprintf(stderr, "store: %s\n", text);
  }
}

// ---- Delivery ----

void StoreQueueCallback(int iCallback, const void* pRecord, std::size_t uiBytes,
                        std::function<void(void*)> onDelivery) {
  const auto* pBytes = static_cast<const unsigned char*>(pRecord);
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  reg.queue.push_back(Queued{false, iCallback, k_uAPICallInvalid, false, g_uiSessionNumber,
                             std::vector<unsigned char>(pBytes, pBytes + uiBytes), std::move(onDelivery)});
}

SteamAPICall_t StoreQueueCallResult(int iCallback, const void* pRecord, std::size_t uiBytes, bool bIOFailure) {
  const auto* pBytes = static_cast<const unsigned char*>(pRecord);
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  const SteamAPICall_t hCall = reg.hNextCall++;
  reg.queue.push_back(Queued{true, iCallback, hCall, bIOFailure, g_uiSessionNumber,
                             std::vector<unsigned char>(pBytes, pBytes + uiBytes), {}});
  return hCall;
}

void StoreDropQueue() {
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  reg.queue.clear();
}

void StoreDeliverQueue() {
  Registry& reg = registry();
  std::deque<Queued> batch;
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    batch.swap(reg.queue);
  }
  for (Queued& item : batch) {
    // A handler may have shut the store down (and started it again).
    if (!g_pSession || item.uiSession != g_uiSessionNumber) {
      break;
    }
    if (item.onDelivery) {
      item.onDelivery(item.record.data());
    }
    if (item.bCallResult) {
      CCallbackBase* pTarget = nullptr;
      {
        std::lock_guard<std::mutex> lock(reg.mutex);
        const auto found = reg.results.find(item.hCall);
        if (found != reg.results.end()) {
          pTarget = found->second;
          reg.results.erase(found);
        }
      }
      if (pTarget != nullptr) {
        checkRecordSize(pTarget, item);
        pTarget->Run(item.record.data(), item.bIOFailure, item.hCall);
      }
      continue;
    }
    std::vector<CCallbackBase*> targets;
    {
      std::lock_guard<std::mutex> lock(reg.mutex);
      for (const auto& [pObject, iCallback] : reg.callbacks) {
        if (iCallback == item.iCallback) {
          targets.push_back(pObject);
        }
      }
    }
    for (CCallbackBase* pTarget : targets) {
      {
        // An earlier handler may have unregistered this one.
        std::lock_guard<std::mutex> lock(reg.mutex);
        const auto found = std::find(reg.callbacks.begin(), reg.callbacks.end(), std::make_pair(pTarget, item.iCallback));
        if (found == reg.callbacks.end()) {
          continue;
        }
      }
      checkRecordSize(pTarget, item);
      std::vector<unsigned char> copy = item.record;  // each handler gets the record as it was sent
      pTarget->Run(copy.data());
    }
  }
}

void SteamAPI_RegisterCallback(CCallbackBase* pCallback, int iCallback) {
  if (pCallback == nullptr) {
    StoreMisuse("SteamAPI_RegisterCallback with no object");
  }
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  for (auto& entry : reg.callbacks) {
    if (entry.first == pCallback) {
      entry.second = iCallback;
      return;
    }
  }
  reg.callbacks.emplace_back(pCallback, iCallback);
}

void SteamAPI_UnregisterCallback(CCallbackBase* pCallback) {
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  std::erase_if(reg.callbacks, [pCallback](const auto& entry) { return entry.first == pCallback; });
}

void SteamAPI_RegisterCallResult(CCallbackBase* pCallback, SteamAPICall_t hAPICall) {
  if (pCallback == nullptr) {
    StoreMisuse("SteamAPI_RegisterCallResult with no object");
  }
  if (hAPICall == k_uAPICallInvalid) {
    return;
  }
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  reg.results[hAPICall] = pCallback;
}

void SteamAPI_UnregisterCallResult(CCallbackBase* pCallback, SteamAPICall_t hAPICall) {
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  const auto found = reg.results.find(hAPICall);
  if (found != reg.results.end() && found->second == pCallback) {
    reg.results.erase(found);
  }
}

// ---- Start and end ----

bool SteamAPI_Init() {
  if (g_pSession) {
    return true;
  }
  auto pSession = std::make_unique<StoreSession>();
  std::string error;
  bool bOpened = false;
  // Nothing the libraries under the store throw crosses its C interface: it is the reason the store did not start.
  try {
    bOpened = openSession(pSession.get(), &error);
  } catch (const std::exception& exception) {
    error = exception.what();
  }
  if (!bOpened) {
    StoreRemoteClose();
    g_initFailure = error.empty() ? std::string("the store failed to start") : error;
    return false;
  }
  g_initFailure.clear();
  ++g_uiSessionNumber;
  g_pSession = std::move(pSession);
  g_mainThread = std::this_thread::get_id();
  g_bRunning = true;
  return true;
}

const char* StoreGetInitFailure() { return g_initFailure.c_str(); }

void SteamAPI_Shutdown() {
  if (!g_pSession) {
    return;
  }
  StoreRequireMainThread("SteamAPI_Shutdown");
  g_bRunning = false;
  StoreDropQueue();
  StoreRemoteClose();
  g_pSession.reset();
  g_mainThread = std::thread::id();
}

void StoreCloseForExit() {
  StoreSession* pSession = g_pSession.get();
  if (pSession == nullptr || pSession->pDb == nullptr) {
    return;
  }
  // Held until the process ends: the connection's statement in flight ends first, and none starts afterwards.
  sqlite3_mutex_enter(sqlite3_db_mutex(pSession->pDb));
  // Leaving the WAL mode writes the log into the database and deletes it (the connection holds the file alone);
  // the rollback journal of that change goes once the file's lock is given back, at the next read. The next start
  // takes the WAL mode and the file's lock again.
  sqlite3_exec(pSession->pDb,
               "PRAGMA journal_mode=DELETE; PRAGMA locking_mode=NORMAL; SELECT count(*) FROM sqlite_master;", nullptr,
               nullptr, nullptr);
}

void SteamAPI_RunCallbacks() {
  StoreRequireMainThread("SteamAPI_RunCallbacks");
  if (g_pSession) {
    StoreDeliverQueue();
  }
}

ISteamClient* SteamClient() { return g_bRunning ? &g_client : nullptr; }
ISteamUtils* SteamUtils() { return g_bRunning && !StoreHasFault(STORE_FAULT_NO_UTILS) ? &g_utils : nullptr; }
ISteamUser* SteamUser() { return g_bRunning && !StoreHasFault(STORE_FAULT_NO_USER) ? &g_user : nullptr; }
ISteamFriends* SteamFriends() { return g_bRunning ? &g_friends : nullptr; }
ISteamApps* SteamApps() { return g_bRunning ? &g_apps : nullptr; }
ISteamRemoteStorage* SteamRemoteStorage() { return StoreRemoteInterface(); }

ISteamUserStats* SteamUserStats() {
  if (!g_bRunning || StoreHasFault(STORE_FAULT_NO_USERSTATS)) {
    return nullptr;
  }
  StoreRequireMainThread("SteamUserStats");
  return g_pSession ? g_pSession->pUserStats.get() : nullptr;
}

// ---- Test controls ----

void StoreSetFaults(std::uint32_t uiFaults) { g_uiFaults = uiFaults; }
std::uint32_t StoreGetFaults() { return g_uiFaults; }

bool StoreParseFaults(const char* pText, std::uint32_t* puiFaults, std::string* pError) {
  static const std::vector<const char*> s_names = {
#define STORE_FAULT_NAME(name, text, what) text,
      STORE_FAULT_LIST(STORE_FAULT_NAME)
#undef STORE_FAULT_NAME
  };
  return PlatformParseFaultBits(pText ? pText : "", s_names, puiFaults, pError);
}

std::string StoreGetDirectory() { return g_pSession ? g_pSession->dir : std::string(); }

bool StoreTestUploadScoreAs(SteamLeaderboard_t hSteamLeaderboard, std::uint64_t ulUser, std::int32_t nScore) {
  return g_pSession && g_pSession->pUserStats->uploadAs(hSteamLeaderboard, ulUser, nScore);
}

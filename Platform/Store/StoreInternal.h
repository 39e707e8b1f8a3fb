// Shared internals of the local store: the running session, the delivery queue, faults, warnings and the
// main-thread check. Not for use outside Platform/Store.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Store/StoreApi.h"
#include "Platform/Store/StoreConfig.h"

class StoreUserStats;

// Everything that exists while the store runs (between SteamAPI_Init and SteamAPI_Shutdown).
struct StoreSession {
  std::string dir;
  std::string dbPath;
  StoreConfig config;
  sqlite3* pDb = nullptr;
  ENotificationPosition eOverlayPosition = k_EPositionBottomRight;
  std::unique_ptr<StoreUserStats> pUserStats;

  StoreSession() = default;
  StoreSession(const StoreSession&) = delete;
  StoreSession& operator=(const StoreSession&) = delete;
  ~StoreSession();
};

// The running session, null while the store is closed. Main thread.
StoreSession* StoreGetSession();

bool StoreHasFault(std::uint32_t uiFault);

// Stops the program: a call made against the store's rules (wrong thread, wrong record type).
[[noreturn]] void StoreMisuse(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));
// Stops the program when the store runs and the caller is not its main thread.
void StoreRequireMainThread(const char* pCall);
// A refused call or a storage error: to the warning hook (severity 1), else to stderr.
void StoreWarn(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));

// Queues a callback record; onDelivery runs just before the record is handed out and may change it.
void StoreQueueCallback(int iCallback, const void* pRecord, std::size_t uiBytes,
                        std::function<void(void* pRecord)> onDelivery = {});
// Queues a call result under a new call handle and returns the handle.
SteamAPICall_t StoreQueueCallResult(int iCallback, const void* pRecord, std::size_t uiBytes, bool bIOFailure);
void StoreDropQueue();
void StoreDeliverQueue();

// Remote storage (StoreRemoteStorage.cpp): opened on the store folder's "remote/".
bool StoreRemoteOpen(const std::string& dir, std::string* pError);
void StoreRemoteClose();
ISteamRemoteStorage* StoreRemoteInterface();

// Crash reports (StoreCrashReport.cpp): the folder that later reports go to.
void StoreCrashReportsUse(const std::string& dir);

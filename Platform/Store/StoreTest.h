// Test controls of the local store: injected faults, a pause point inside remote-storage writes, scores of
// other users. Not for the game's own use.
//
// Faults come from StoreSetFaults or from the environment variable GRINDLOW_STORE_FAULTS, a comma-separated
// list of the names below ("init_fail,write_fail"), which SteamAPI_Init reads and adds to the set faults.
// Faults may change at any time, from any thread; they act on the calls made afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "Platform/Store/StoreApi.h"

// X(enumerator, name, what it does)
#define STORE_FAULT_LIST(X)                                                                             \
  X(STORE_FAULT_INIT_FAIL, "init_fail", "SteamAPI_Init returns false")                                  \
  X(STORE_FAULT_STATS_REFUSE, "stats_refuse", "RequestCurrentStats returns false")                      \
  X(STORE_FAULT_STATS_FAIL, "stats_fail", "UserStatsReceived_t arrives with k_EResultFail")             \
  X(STORE_FAULT_STORE_FAIL, "store_fail", "StoreStats returns false")                                   \
  X(STORE_FAULT_STORE_INVALID, "store_invalid",                                                         \
    "StoreStats reverts the changes; UserStatsStored_t arrives with k_EResultInvalidParam")             \
  X(STORE_FAULT_FIND_NOTFOUND, "find_notfound", "every leaderboard find reports not found")             \
  X(STORE_FAULT_UPLOAD_FAIL, "upload_fail", "score uploads report failure and change nothing")          \
  X(STORE_FAULT_IO_FAIL, "io_fail", "every call result arrives with the I/O-failure flag, nothing done") \
  X(STORE_FAULT_WRITE_FAIL, "write_fail", "remote FileWrite warns, returns false and writes nothing")    \
  X(STORE_FAULT_READ_FAIL, "read_fail", "remote FileRead returns 0")                                    \
  X(STORE_FAULT_NO_UTILS, "no_utils", "SteamUtils returns null")                                        \
  X(STORE_FAULT_NO_USER, "no_user", "SteamUser returns null")                                           \
  X(STORE_FAULT_NO_USERSTATS, "no_userstats", "SteamUserStats returns null")

enum EStoreFaultBit : std::uint32_t {
#define STORE_FAULT_BIT(name, text, what) name##_BIT,
  STORE_FAULT_LIST(STORE_FAULT_BIT)
#undef STORE_FAULT_BIT
  NUM_E_STORE_FAULT
};

enum EStoreFault : std::uint32_t {
#define STORE_FAULT_MASK(name, text, what) name = 1u << name##_BIT,
  STORE_FAULT_LIST(STORE_FAULT_MASK)
#undef STORE_FAULT_MASK
};

void StoreSetFaults(std::uint32_t uiFaults);
std::uint32_t StoreGetFaults();
// Parses a comma-separated list of fault names (spaces allowed, empty list = none). False for an unknown name,
// with a message naming it in pError.
bool StoreParseFaults(const char* pText, std::uint32_t* puiFaults, std::string* pError);

// Called inside every remote-storage write after each chunk (at most 1 MiB) has gone to the temporary file,
// before it is made durable and put in place; bytes so far and the total. Null removes the hook.
typedef void (*StoreWriteHook)(const char* pchFile, std::int64_t iWritten, std::int64_t iTotal);
void StoreSetWriteHook(StoreWriteHook pHook);

// The store folder in use (empty while the store is closed).
std::string StoreGetDirectory();

// Gives another user's entry a score as an upload with keep-best would, at once. Main thread; false for an
// unknown board or a storage error.
bool StoreTestUploadScoreAs(SteamLeaderboard_t hSteamLeaderboard, std::uint64_t ulUser, std::int32_t nScore);

// The local store: a stand-in for the game store's client library, declared under the library's own names.
//
// The engine starts it with SteamAPI_Init and ends it with SteamAPI_Shutdown on the main thread (the thread
// that called SteamAPI_Init). Everything lives in one store folder: GRINDLOW_STORE_DIR, else
// $XDG_DATA_HOME/grindlow, else ~/.local/share/grindlow. Statistics, achievements and leaderboards are kept in
// the SQLite file "store.db"; remote-storage files in "remote/"; crash reports in "crashes/". The game's app id,
// achievements, leaderboards, user and friends come from "store.ini" (GRINDLOW_STORE_CONFIG names another
// file); without one, built-in defaults let a fresh machine run (see StoreConfig.h).
//
// Threads: every call runs on the main thread, except the remote-storage calls, which any thread may make.
// A main-thread-only call made from another thread stops the program with a message on stderr.
//
// Callbacks and call results: asynchronous calls return a call handle at once and never complete inside the
// call; their results, and every callback, are queued and delivered only inside SteamAPI_RunCallbacks, on the
// main thread, in the order they were queued. A result queued while SteamAPI_RunCallbacks runs (by a handler)
// is delivered by the next SteamAPI_RunCallbacks. Results still queued at SteamAPI_Shutdown are dropped.
#pragma once

#include <cstdint>

typedef std::uint32_t AppId_t;
typedef std::uint64_t SteamAPICall_t;
typedef std::uint64_t SteamLeaderboard_t;
typedef std::uint64_t SteamLeaderboardEntries_t;
typedef std::uint64_t UGCHandle_t;

// Returned by an asynchronous call that was refused (bad argument, unknown leaderboard, store not running).
inline constexpr SteamAPICall_t k_uAPICallInvalid = 0;

enum EResult {
  k_EResultOK = 1,
  k_EResultFail = 2,
  k_EResultInvalidParam = 8,  // some values broke a constraint and were reverted
};

// A user's 64-bit store id; 0 is no user.
class CSteamID {
 public:
  CSteamID() : m_ulSteamID(0) {}
  explicit CSteamID(std::uint64_t ulSteamID) : m_ulSteamID(ulSteamID) {}
  std::uint64_t ConvertToUint64() const { return m_ulSteamID; }
  bool IsValid() const { return m_ulSteamID != 0; }
  bool operator==(const CSteamID& other) const { return m_ulSteamID == other.m_ulSteamID; }
  bool operator!=(const CSteamID& other) const { return m_ulSteamID != other.m_ulSteamID; }

 private:
  std::uint64_t m_ulSteamID;
};
static_assert(sizeof(CSteamID) == 8);

// A game identifier: the application number in the low 24 bits, the rest 0. Callback records carry it.
class CGameID {
 public:
  CGameID() : m_ulGameID(0) {}
  explicit CGameID(AppId_t nAppID) : m_ulGameID(nAppID & 0xFFFFFFu) {}
  std::uint64_t ToUint64() const { return m_ulGameID; }
  AppId_t AppID() const { return AppId_t(m_ulGameID & 0xFFFFFFu); }
  bool operator==(const CGameID& other) const { return m_ulGameID == other.m_ulGameID; }

 private:
  std::uint64_t m_ulGameID;
};

enum ENotificationPosition {
  k_EPositionTopLeft = 0,
  k_EPositionTopRight = 1,
  k_EPositionBottomLeft = 2,
  k_EPositionBottomRight = 3,
};

enum ELeaderboardDataRequest {
  k_ELeaderboardDataRequestGlobal = 0,            // ranks first..last (1-based, inclusive)
  k_ELeaderboardDataRequestGlobalAroundUser = 1,  // ranks user + first .. user + last (first <= 0 <= last)
  k_ELeaderboardDataRequestFriends = 2,           // the user and the friends, range ignored
};

enum ELeaderboardUploadScoreMethod {
  k_ELeaderboardUploadScoreMethodKeepBest = 1,     // the entry changes only for a strictly higher score
  k_ELeaderboardUploadScoreMethodForceUpdate = 2,  // the entry takes the score whatever it was
};

// At most this many detail words ride along with a leaderboard entry.
inline constexpr int k_cLeaderboardDetailsMax = 64;

// ---- Callback records (callbacks: delivered to every registered CCallback of their number) ----

struct UserStatsReceived_t {
  enum { k_iCallback = 1101 };
  std::uint64_t m_nGameID;
  EResult m_eResult;
  CSteamID m_steamIDUser;
};

struct UserStatsStored_t {
  enum { k_iCallback = 1102 };
  std::uint64_t m_nGameID;
  EResult m_eResult;
};

// One per achievement that a StoreStats call stored as newly achieved.
struct UserAchievementStored_t {
  enum { k_iCallback = 1103 };
  std::uint64_t m_nGameID;
  char m_rgchAchievementName[128];
};

// Declared for registration; the local store keeps no global statistics and never sends it.
struct GlobalStatsReceived_t {
  enum { k_iCallback = 1112 };
  std::uint64_t m_nGameID;
  EResult m_eResult;
};

// Declared for registration; the local store has no on-screen text input and never sends it.
struct GamepadTextInputDismissed_t {
  enum { k_iCallback = 714 };
  bool m_bSubmitted;
  std::uint32_t m_unSubmittedText;
};

// ---- Call-result records (delivered to the CCallResult set with the call's handle) ----

struct LeaderboardFindResult_t {
  enum { k_iCallback = 1104 };
  SteamLeaderboard_t m_hSteamLeaderboard;  // 0 when not found
  std::uint8_t m_bLeaderboardFound;
};

struct LeaderboardScoreUploaded_t {
  enum { k_iCallback = 1105 };
  std::uint8_t m_bSuccess;
  SteamLeaderboard_t m_hSteamLeaderboard;
  std::int32_t m_nScore;               // the score that was uploaded
  std::uint8_t m_bScoreChanged;        // the user's entry changed
  std::int32_t m_nGlobalRankNew;       // the user's rank after the upload
  std::int32_t m_nGlobalRankPrevious;  // the user's rank before it, 0 when the user had no entry
};

struct LeaderboardScoresDownloaded_t {
  enum { k_iCallback = 1106 };
  SteamLeaderboard_t m_hSteamLeaderboard;
  SteamLeaderboardEntries_t m_hSteamLeaderboardEntries;  // read with GetDownloadedLeaderboardEntry
  std::int32_t m_cEntryCount;
};

// One downloaded entry: 32 bytes.
struct LeaderboardEntry_t {
  CSteamID m_steamIDUser;
  std::int32_t m_nGlobalRank;  // 1-based
  std::int32_t m_nScore;
  std::int32_t m_cDetails;     // detail words stored with the entry
  UGCHandle_t m_hUGC;          // always 0: the local store keeps no attachments
};
static_assert(sizeof(LeaderboardEntry_t) == 32);

// ---- Callbacks and call results ----

// The object the store delivers to. Use the CCallback and CCallResult templates below.
class CCallbackBase {
 public:
  CCallbackBase() = default;
  CCallbackBase(const CCallbackBase&) = delete;
  CCallbackBase& operator=(const CCallbackBase&) = delete;
  virtual ~CCallbackBase() = default;

  // A callback record of this object's number.
  virtual void Run(void* pvParam) = 0;
  // A call result: the record, whether the call failed for lack of I/O, and the call's handle.
  virtual void Run(void* pvParam, bool bIOFailure, SteamAPICall_t hSteamAPICall) = 0;
  // Size of the record this object takes; checked against every record delivered to it.
  virtual int GetCallbackSizeBytes() = 0;
  int GetICallback() const { return m_iCallback; }

 protected:
  int m_iCallback = 0;
};

// Registers the object for callbacks of number iCallback (the record's k_iCallback). Registering an object
// twice keeps one registration. Allowed before SteamAPI_Init; registrations survive SteamAPI_Shutdown.
void SteamAPI_RegisterCallback(CCallbackBase* pCallback, int iCallback);
void SteamAPI_UnregisterCallback(CCallbackBase* pCallback);
// Binds the object to the result of one call. A handle is bound to at most one object; a result is
// delivered once and the binding ends with it.
void SteamAPI_RegisterCallResult(CCallbackBase* pCallback, SteamAPICall_t hAPICall);
void SteamAPI_UnregisterCallResult(CCallbackBase* pCallback, SteamAPICall_t hAPICall);

// A member function of P called with every T callback for as long as this object lives.
template <class P, class T>
class CCallback : public CCallbackBase {
 public:
  typedef void (P::*func_t)(T*);

  CCallback(P* pObj, func_t func) : m_pObj(pObj), m_func(func) {
    m_iCallback = T::k_iCallback;
    SteamAPI_RegisterCallback(this, T::k_iCallback);
  }
  ~CCallback() override { SteamAPI_UnregisterCallback(this); }

 private:
  void Run(void* pvParam) override { (m_pObj->*m_func)(static_cast<T*>(pvParam)); }
  void Run(void* pvParam, bool, SteamAPICall_t) override { Run(pvParam); }
  int GetCallbackSizeBytes() override { return int(sizeof(T)); }

  P* m_pObj;
  func_t m_func;
};

// A member function of P called with the T result of one pending call. Set binds a new call, unbinding
// the previous one; a result for any other handle is ignored.
template <class P, class T>
class CCallResult : public CCallbackBase {
 public:
  typedef void (P::*func_t)(T*, bool bIOFailure);

  CCallResult() { m_iCallback = T::k_iCallback; }
  ~CCallResult() override { Cancel(); }

  void Set(SteamAPICall_t hAPICall, P* pObj, func_t func) {
    if (m_hAPICall != k_uAPICallInvalid) {
      SteamAPI_UnregisterCallResult(this, m_hAPICall);
    }
    m_hAPICall = hAPICall;
    m_pObj = pObj;
    m_func = func;
    if (hAPICall != k_uAPICallInvalid) {
      SteamAPI_RegisterCallResult(this, hAPICall);
    }
  }
  bool IsActive() const { return m_hAPICall != k_uAPICallInvalid; }
  void Cancel() {
    if (m_hAPICall != k_uAPICallInvalid) {
      SteamAPI_UnregisterCallResult(this, m_hAPICall);
      m_hAPICall = k_uAPICallInvalid;
    }
  }

 private:
  void Run(void* pvParam) override { Run(pvParam, false, m_hAPICall); }
  void Run(void* pvParam, bool bIOFailure, SteamAPICall_t hSteamAPICall) override {
    if (hSteamAPICall != m_hAPICall || hSteamAPICall == k_uAPICallInvalid) {
      return;
    }
    // Cleared first so that the handler may bind a new call.
    m_hAPICall = k_uAPICallInvalid;
    (m_pObj->*m_func)(static_cast<T*>(pvParam), bIOFailure);
  }
  int GetCallbackSizeBytes() override { return int(sizeof(T)); }

  SteamAPICall_t m_hAPICall = k_uAPICallInvalid;
  P* m_pObj = nullptr;
  func_t m_func = nullptr;
};

// ---- Interfaces ----

// Severity 0 is a message, 1 a warning. The store reports refused calls and storage errors through the hook;
// without a hook they go to stderr.
typedef void (*SteamAPIWarningMessageHook_t)(int nSeverity, const char* pchDebugText);

class ISteamClient {
 public:
  virtual void SetWarningMessageHook(SteamAPIWarningMessageHook_t pFunction) = 0;

 protected:
  ~ISteamClient() = default;
};

class ISteamUtils {
 public:
  // The configured application number.
  virtual AppId_t GetAppID() = 0;
  // Kept for the overlay; the local store shows no overlay.
  virtual void SetOverlayNotificationPosition(ENotificationPosition eNotificationPosition) = 0;

 protected:
  ~ISteamUtils() = default;
};

class ISteamUser {
 public:
  virtual CSteamID GetSteamID() = 0;
  // The folder that keeps this user's local data of the game (the store folder), as UTF-8 ending in '/'. False
  // when it does not fit in cubBuffer bytes with its terminator.
  virtual bool GetUserDataFolder(char* pchBuffer, int cubBuffer) = 0;

 protected:
  ~ISteamUser() = default;
};

class ISteamFriends {
 public:
  // The configured name of the user, a friend or a known player; "" for anyone else. Valid until
  // SteamAPI_Shutdown.
  virtual const char* GetFriendPersonaName(CSteamID steamIDFriend) = 0;

 protected:
  ~ISteamFriends() = default;
};

class ISteamApps {
 public:
  // The store's language name ("english", "french", ...). Valid until SteamAPI_Shutdown.
  virtual const char* GetCurrentGameLanguage() = 0;

 protected:
  ~ISteamApps() = default;
};

class ISteamUserStats {
 public:
  // Asks for the user's statistics and achievements; UserStatsReceived_t follows. Until it has arrived with
  // k_EResultOK the getters and setters below fail. False when the request is refused.
  virtual bool RequestCurrentStats() = 0;
  // Stores every changed statistic and achievement; UserStatsStored_t follows, and UserAchievementStored_t
  // for each newly achieved one. Changes not stored are lost at SteamAPI_Shutdown. False when refused.
  virtual bool StoreStats() = 0;

  // Statistics named in the configuration, of the configured type (int or float); false otherwise.
  virtual bool GetStat(const char* pchName, std::int32_t* pData) = 0;
  virtual bool GetStat(const char* pchName, float* pData) = 0;
  virtual bool SetStat(const char* pchName, std::int32_t nData) = 0;
  virtual bool SetStat(const char* pchName, float fData) = 0;

  // Achievements named in the configuration (API names); false for any other.
  virtual bool GetAchievement(const char* pchName, bool* pbAchieved) = 0;
  virtual bool SetAchievement(const char* pchName) = 0;
  virtual bool ClearAchievement(const char* pchName) = 0;
  // pchKey "name" (display name), "desc" (description) or "hidden" ("1" or "0"); "" for an unknown
  // achievement or key. Valid until SteamAPI_Shutdown.
  virtual const char* GetAchievementDisplayAttribute(const char* pchName, const char* pchKey) = 0;

  // Result: LeaderboardFindResult_t.
  virtual SteamAPICall_t FindLeaderboard(const char* pchLeaderboardName) = 0;
  // Name and entry count of a found leaderboard; "" and 0 for an unknown handle.
  virtual const char* GetLeaderboardName(SteamLeaderboard_t hSteamLeaderboard) = 0;
  virtual int GetLeaderboardEntryCount(SteamLeaderboard_t hSteamLeaderboard) = 0;
  // Result: LeaderboardScoreUploaded_t. Up to k_cLeaderboardDetailsMax detail words.
  virtual SteamAPICall_t UploadLeaderboardScore(SteamLeaderboard_t hSteamLeaderboard,
                                                ELeaderboardUploadScoreMethod eLeaderboardUploadScoreMethod,
                                                std::int32_t nScore, const std::int32_t* pScoreDetails,
                                                int cScoreDetailsCount) = 0;
  // Result: LeaderboardScoresDownloaded_t, entries in rank order. Global ranks start at 1; a range start
  // below 1 counts as 1. Around the user, the range is relative to the user's rank (-before, after) and
  // empty when the user has no entry. Ranks of equal scores follow the order the scores were reached.
  virtual SteamAPICall_t DownloadLeaderboardEntries(SteamLeaderboard_t hSteamLeaderboard,
                                                    ELeaderboardDataRequest eLeaderboardDataRequest,
                                                    int nRangeStart, int nRangeEnd) = 0;
  // Entry index of a download (0-based); its detail words (up to cDetailsMax) into pDetails. An entry set
  // stays readable until 32 later downloads have been asked for, or SteamAPI_Shutdown.
  virtual bool GetDownloadedLeaderboardEntry(SteamLeaderboardEntries_t hSteamLeaderboardEntries, int index,
                                             LeaderboardEntry_t* pLeaderboardEntry, std::int32_t* pDetails,
                                             int cDetailsMax) = 0;

 protected:
  ~ISteamUserStats() = default;
};

// Files of the store folder's "remote/". Any thread may call these, also while another thread does.
class ISteamRemoteStorage {
 public:
  // Replaces the file as a whole: a reader, a crash or a full disk sees the old or the new content, never a
  // mix. Names: 1-255 bytes, no '/' and no leading '.'. At most 100 MiB. False when nothing was written.
  virtual bool FileWrite(const char* pchFile, const void* pvData, std::int32_t cubData) = 0;
  // Reads up to cubDataToRead bytes from the start of the file; the number read, 0 for a missing file. Only a
  // regular file of at most 100 MiB is read: anything else in its place (a folder, a symlink loop, a pipe, a device,
  // a larger file) gives 0 at once with a warning that names it and says what it is.
  virtual std::int32_t FileRead(const char* pchFile, void* pvData, std::int32_t cubDataToRead) = 0;
  // Whether anything is there under that name, a regular file or not.
  virtual bool FileExists(const char* pchFile) = 0;
  // 0 for a missing file, and for anything that is not a regular file of at most 100 MiB.
  virtual std::int32_t GetFileSize(const char* pchFile) = 0;

 protected:
  ~ISteamRemoteStorage() = default;
};

// ---- Functions ----

// Opens the store folder, its configuration and database. False when the folder, the configuration or the
// database cannot be used or when the fault "init_fail" is set; StoreGetInitFailure then says why, and nothing is
// printed. A second call while running returns true.
bool SteamAPI_Init();
// The local store's own call, with no counterpart in the library: why the last SteamAPI_Init that returned false
// failed, as a line naming the file and the reason ("<folder>/store.db-wal is a symlink loop", "<folder>/store.ini:3:
// ..."), without a final full stop; "" when the last start worked or none was made. Valid until the next
// SteamAPI_Init. Main thread.
const char* StoreGetInitFailure();
// Closes the store; queued callbacks are dropped. Remote-storage calls in flight finish first.
void SteamAPI_Shutdown();
// The local store's own call, with no counterpart in the library, for a program that ends at once without
// SteamAPI_Shutdown (_exit, on any thread): the database is brought whole into its file, so that nothing is left
// beside it ("store.db-wal"), and no later call reaches it. A call of another thread in the database finishes
// first. Any thread; the process must end right after.
void StoreCloseForExit();
// Delivers what was queued before this call. Main thread only; does nothing while the store is closed.
void SteamAPI_RunCallbacks();

// The interfaces while the store runs, else null (and null under the faults "no_utils", "no_user",
// "no_userstats"). SteamRemoteStorage may be called from any thread.
ISteamClient* SteamClient();
ISteamUtils* SteamUtils();
ISteamUser* SteamUser();
ISteamUserStats* SteamUserStats();
ISteamFriends* SteamFriends();
ISteamApps* SteamApps();
ISteamRemoteStorage* SteamRemoteStorage();

// Crash reports. The comment (up to 16 KiB, cut beyond) goes into every later report. WriteMiniDump writes a
// text report into the store folder's "crashes/": the exception code, the faulting address from the
// EXCEPTION_POINTERS record pvExceptionInfo (may be null), the build number, the comment and a backtrace.
// Both may be called from a signal handler: they take no lock and allocate no memory.
void SteamAPI_SetMiniDumpComment(const char* pchMsg);
void SteamAPI_WriteMiniDump(std::uint32_t uStructuredExceptionCode, void* pvExceptionInfo, std::uint32_t uBuildID);

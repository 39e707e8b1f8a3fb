#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Platform/Store/StoreApi.h"
#include "Platform/Win32/Win32System.h"

i32 ClSaveGameUtility::initialize() {
  // The program runs in the data root, so the user folder ".\" would put the save folder among the game's data.
  char szFolder[KV_MAX_PATH_LEN];
  wchar16 wszFolder[KV_MAX_PATH_LEN];
  ISteamUser* pUser = SteamUser();
  if (pUser == nullptr || !pUser->GetUserDataFolder(szFolder, sizeof(szFolder)) ||
      MultiByteToWideChar(CP_UTF8, 0, szFolder, -1, wszFolder, KV_MAX_PATH_LEN) == 0) {
    KvPrintProblem("No save folder is made: the store names no folder for the player's data.");
    return 1;
  }
  KvSetUserFolder(wszFolder);
  makeSaveFolder();
  return 1;
}

#include "Corvane/Files/KvDataPaths.h"

#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/System/KvDebug.h"

char g_szBaseDataPath[KV_MAX_PATH_LEN] = "./";
wchar16 g_wszBaseDataPath[KV_MAX_PATH_LEN] = u"./";
wchar16 g_wszUserFolder[KV_MAX_PATH_LEN] = u".\\";
bool g_bUserFolderSet = false;
char g_szLanguagePath[KV_MAX_PATH_LEN] = ".\\Lang\\";
i32 g_iLanguageIndex = 0;

void KvInitializeDataPaths() {
  KvStrLCpy(g_szBaseDataPath, "./", KV_MAX_PATH_LEN);
  i32 i = 0;
  for (; i < KV_MAX_PATH_LEN - 1 && g_szBaseDataPath[i] != '\0'; ++i) {
    g_wszBaseDataPath[i] = static_cast<wchar16>(static_cast<u8>(g_szBaseDataPath[i]));
  }
  g_wszBaseDataPath[i] = 0;
  KvStrLCpyW(g_wszUserFolder, u".\\", KV_MAX_PATH_LEN);
  g_bUserFolderSet = true;
}

const char* KvGetBaseDataPath() { return g_szBaseDataPath; }

void KvWideSlashesToBackslashes(wchar16* pWidePath) {
  KvCheckPointer(pWidePath);
  for (wchar16* p = pWidePath; *p != 0; ++p) {
    if (*p == u'/') {
      *p = u'\\';
    }
  }
}

void KvStripDataRoot(char* pPath) {
  KvCheckPointer(pPath);
  char szRoot[KV_MAX_PATH_LEN];
  KvStrLCpy(szRoot, g_szBaseDataPath, sizeof(szRoot));
  for (char* p = szRoot; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
  if (szRoot[0] == '\0') {
    return;
  }
  const char* pFound = std::strstr(pPath, szRoot);
  if (pFound == nullptr) {
    return;
  }
  // The rest moves down over the cut part; the regions overlap.
  std::memmove(pPath, pFound + std::strlen(szRoot), std::strlen(pFound + std::strlen(szRoot)) + 1);
}

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

void KvSetUserFolder(const wchar16* pFolder) {
  KvCheckPointer(pFolder);
  KvStrLCpyW(g_wszUserFolder, pFolder, KV_MAX_PATH_LEN);
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

namespace {

// A root character as paths spell it: "/" turned into "\\".
char rootChar(char c) { return c == '/' ? '\\' : c; }

}  // namespace

const char* KvSkipDataRoot(const char* pPath) {
  KvCheckPointer(pPath);
  const char* pRoot = g_szBaseDataPath;
  if (pRoot[0] == '\0') {
    return pPath;
  }
  size_t uiLength = 0;
  while (pRoot[uiLength] != '\0' && pPath[uiLength] == rootChar(pRoot[uiLength])) {
    ++uiLength;
  }
  if (pRoot[uiLength] == '\0') {
    return pPath + uiLength;
  }
  // Not at the start: the first occurrence anywhere in the path.
  char szRoot[KV_MAX_PATH_LEN];
  KvStrLCpy(szRoot, pRoot, sizeof(szRoot));
  for (char* p = szRoot; *p != '\0'; ++p) {
    *p = rootChar(*p);
  }
  const char* pFound = std::strstr(pPath, szRoot);
  return pFound != nullptr ? pFound + std::strlen(szRoot) : pPath;
}

void KvStripDataRoot(char* pPath) {
  const char* pRest = KvSkipDataRoot(pPath);
  if (pRest != pPath) {
    // The rest moves down over the cut part; the regions overlap.
    std::memmove(pPath, pRest, std::strlen(pRest) + 1);
  }
}

#include "Platform/DShow/DShowAvLibs.h"

#include <dlfcn.h>

#include <mutex>

namespace {

std::once_flag g_loadOnce;
SDShowAv g_av;
bool g_bLoaded = false;
std::string g_problem;

// The file names of the major versions the program was built against.
std::string libraryName(const char* pName, int iMajor) { return std::string(pName) + ".so." + std::to_string(iMajor); }

void load() {
  const std::string aNames[] = {libraryName("libavformat", LIBAVFORMAT_VERSION_MAJOR),
                                libraryName("libavcodec", LIBAVCODEC_VERSION_MAJOR),
                                libraryName("libavutil", LIBAVUTIL_VERSION_MAJOR),
                                libraryName("libswscale", LIBSWSCALE_VERSION_MAJOR),
                                libraryName("libswresample", LIBSWRESAMPLE_VERSION_MAJOR)};
  void* apLibraries[5] = {};
  for (int i = 0; i < 5; ++i) {
    // Kept open for the program's life: the functions are called until it ends.
    apLibraries[i] = dlopen(aNames[i].c_str(), RTLD_NOW | RTLD_LOCAL);
    if (apLibraries[i] == nullptr) {
      const char* pError = dlerror();
      g_problem = "cannot load " + aNames[i] + (pError != nullptr ? std::string(": ") + pError : std::string());
      return;
    }
  }
#define DSHOW_AV_TAKE(iLibrary, name)                                                          \
  g_av.name = reinterpret_cast<decltype(g_av.name)>(dlsym(apLibraries[iLibrary], #name));      \
  if (g_av.name == nullptr) {                                                                  \
    g_problem = "no " #name " in " + aNames[iLibrary];                                         \
    return;                                                                                    \
  }
  DSHOW_AV_FUNCTIONS(DSHOW_AV_TAKE)
#undef DSHOW_AV_TAKE
  g_bLoaded = true;
}

}  // namespace

const SDShowAv* DShowAv() {
  std::call_once(g_loadOnce, &load);
  return g_bLoaded ? &g_av : nullptr;
}

const std::string& DShowAvProblem() {
  DShowAv();
  return g_problem;
}

bool DShowPreloadAv() { return DShowAv() != nullptr; }

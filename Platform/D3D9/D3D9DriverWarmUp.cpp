#include "Platform/D3D9/D3D9DriverWarmUp.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Win32/Win32Window.h"

namespace {

std::thread g_warmUpThread;
bool g_bDriverLoaded = false;
// The libraries the warm-up opened, and the references it took on the driver: kept for the program's life, as
// the device keeps the same libraries loaded.
std::vector<void*> g_apHeld;

// Takes a reference on every loaded OpenGL driver object, so that closing the warm-up's display does not unload
// it. Answers whether one was found.
bool holdLoadedDrivers() {
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* pInfo, size_t, void* pNames) {
        const char* pName = pInfo->dlpi_name;
        const bool bDriver = pName != nullptr &&
                             (std::strstr(pName, "_dri.so") != nullptr || std::strstr(pName, "libgallium") != nullptr);
        if (bDriver) {
          static_cast<std::vector<std::string>*>(pNames)->emplace_back(pName);
        }
        return 0;
      },
      &names);
  for (const std::string& name : names) {
    if (void* pHandle = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD)) g_apHeld.push_back(pHandle);
  }
  return !names.empty();
}

void warmUp() {
  void* pX11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  // The library SDL's X11 driver loads for OpenGL.
  void* pGL = dlopen("libGL.so.1", RTLD_NOW | RTLD_LOCAL);
  if (pX11 == nullptr || pGL == nullptr) {
    if (pX11 != nullptr) dlclose(pX11);
    if (pGL != nullptr) dlclose(pGL);
    return;
  }
  g_apHeld.push_back(pX11);
  g_apHeld.push_back(pGL);
  using OpenDisplay = void* (*)(const char*);
  using CloseDisplay = int (*)(void*);
  using DefaultScreen = int (*)(void*);
  using QueryExtensions = const char* (*)(void*, int);
  const auto pfnOpen = reinterpret_cast<OpenDisplay>(dlsym(pX11, "XOpenDisplay"));
  const auto pfnClose = reinterpret_cast<CloseDisplay>(dlsym(pX11, "XCloseDisplay"));
  const auto pfnScreen = reinterpret_cast<DefaultScreen>(dlsym(pX11, "XDefaultScreen"));
  const auto pfnQuery = reinterpret_cast<QueryExtensions>(dlsym(pGL, "glXQueryExtensionsString"));
  if (pfnOpen == nullptr || pfnClose == nullptr || pfnScreen == nullptr || pfnQuery == nullptr) return;
  // A server lost while the driver starts on it ends the program as a lost display, as it does later.
  Win32WatchDisplayServer();
  void* pDisplay = pfnOpen(nullptr);
  if (pDisplay == nullptr) return;
  Win32StopPoint(WIN32_STOP_DRIVER_WARM_UP);
  // Setting up GLX on the display's screen loads and starts the driver.
  pfnQuery(pDisplay, pfnScreen(pDisplay));
  g_bDriverLoaded = holdLoadedDrivers();
  pfnClose(pDisplay);
}

}  // namespace

bool D3D9DriverWarmUpApplies(const char* pVideoDriver, const char* pDisplay) {
  const bool bX11 = pVideoDriver == nullptr || pVideoDriver[0] == '\0' || std::strcmp(pVideoDriver, "x11") == 0;
  return bX11 && pDisplay != nullptr && pDisplay[0] != '\0';
}

bool D3D9BeginDriverWarmUp() {
  if (g_warmUpThread.joinable() || !D3D9DriverWarmUpApplies(std::getenv("SDL_VIDEODRIVER"), std::getenv("DISPLAY"))) {
    return false;
  }
  g_bDriverLoaded = false;
  g_warmUpThread = std::thread(&warmUp);
  return true;
}

bool D3D9EndDriverWarmUp() {
  if (g_warmUpThread.joinable()) g_warmUpThread.join();
  return g_bDriverLoaded;
}

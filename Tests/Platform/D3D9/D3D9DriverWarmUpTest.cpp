#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Platform/D3D9/D3D9DriverWarmUp.h"

namespace {

TEST(D3D9DriverWarmUp, AppliesOnlyToX11WithADisplay) {
  struct SCase {
    const char* pVideoDriver;
    const char* pDisplay;
    bool bApplies;
  };
  const SCase aCases[] = {
      {nullptr, ":1", true}, {"", ":1", true},          {"x11", ":1", true},     {"offscreen", ":1", false},
      {"dummy", ":1", false}, {"x11", nullptr, false}, {nullptr, "", false},
  };
  for (const SCase& c : aCases) {
    EXPECT_EQ(D3D9DriverWarmUpApplies(c.pVideoDriver, c.pDisplay), c.bApplies)
        << (c.pVideoDriver ? c.pVideoDriver : "(unset)") << " " << (c.pDisplay ? c.pDisplay : "(unset)");
  }
}

// Asked for the X11 driver under the tests' virtual X server, the warm-up loads the driver; with the tests' own
// offscreen driver nothing starts. A second end, or an end without a beginning, only answers.
TEST(D3D9DriverWarmUp, LoadsTheDriverOnlyWhereItApplies) {
  const char* pDisplay = std::getenv("DISPLAY");
  const char* pSaved = std::getenv("SDL_VIDEODRIVER");
  const std::string saved = pSaved != nullptr ? pSaved : "";
  for (const char* pDriver : {"offscreen", "x11"}) {
    setenv("SDL_VIDEODRIVER", pDriver, 1);
    const bool bApplies = std::string(pDriver) == "x11" && pDisplay != nullptr && pDisplay[0] != '\0';
    EXPECT_EQ(D3D9BeginDriverWarmUp(), bApplies) << pDriver;
    EXPECT_EQ(D3D9EndDriverWarmUp(), bApplies) << pDriver;
    EXPECT_EQ(D3D9EndDriverWarmUp(), bApplies) << pDriver;
  }
  if (pSaved != nullptr) {
    setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
  } else {
    unsetenv("SDL_VIDEODRIVER");
  }
}

}  // namespace

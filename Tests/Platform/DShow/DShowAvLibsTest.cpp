#include <gtest/gtest.h>

#include <thread>

#include "Platform/DShow/DShowAvLibs.h"

namespace {

// The movie layer's FFmpeg functions come from the libraries it opens itself: every one is found, and a preload
// (from another thread, as the game's start-up does) answers the same as the first use.
TEST(DShowAvLibs, EveryFunctionIsTakenFromTheLibraries) {
  bool bPreloaded = false;
  std::thread preload([&bPreloaded] { bPreloaded = DShowPreloadAv(); });
  preload.join();
  EXPECT_TRUE(bPreloaded);
  const SDShowAv* pAv = DShowAv();
  ASSERT_NE(pAv, nullptr) << DShowAvProblem();
  EXPECT_EQ(DShowAvProblem(), "");
#define DSHOW_AV_CHECK(iLibrary, name) EXPECT_NE(pAv->name, nullptr) << #name;
  DSHOW_AV_FUNCTIONS(DSHOW_AV_CHECK)
#undef DSHOW_AV_CHECK
  // The functions work: an error code has its text.
  char szText[64] = {};
  EXPECT_EQ(pAv->av_strerror(AVERROR(ENOENT), szText, sizeof(szText)), 0);
  EXPECT_STRNE(szText, "");
}

}  // namespace

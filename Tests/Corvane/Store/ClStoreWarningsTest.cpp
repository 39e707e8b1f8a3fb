// The store's warnings: taken by the code around the storage call that raised them, on its own thread, else each
// said in one line, a warning repeated at once said only once.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "Corvane/Store/ClStoreWarnings.h"

namespace {

TEST(StoreWarnings, TakenByTheCallersOfTheirThreadElseSaidOnce) {
  ::testing::internal::CaptureStderr();
  {
    ClStoreWarnings outer;
    ClStoreWarnings::hook(1, "a");
    {
      ClStoreWarnings inner;
      ClStoreWarnings::hook(1, "b");
      ClStoreWarnings::hook(0, "c");
      EXPECT_EQ(inner.text(), "b; c");
    }
    std::thread([] { ClStoreWarnings::hook(1, "of another thread"); }).join();
    ClStoreWarnings::hook(1, "d");
    EXPECT_EQ(outer.text(), "a; d");
  }
  for (const char* pText : {"e", "e", "f", "e"}) {
    ClStoreWarnings::hook(1, pText);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Store: of another thread\nStore: e\nStore: f\nStore: e\n");
}

}  // namespace

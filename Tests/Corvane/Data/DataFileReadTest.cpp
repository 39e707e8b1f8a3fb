#include <gtest/gtest.h>

#include <string>

#include "Corvane/Data/KvDataFileRead.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// A reader that records the calls the loaders make and fails where told.
struct SFakeReader {
  struct Ref {
    u8 bytes[4];
  };
  static inline std::string calls;
  static inline i32 iOpenResult = 0;
  static inline i32 iAllocResult = 1;
  static inline i32 iReadResult = 0;
  static inline Ref ref{{'a', 'b', 'c', 0}};

  static i32 open(const char* pPath, u32* puiSize, Ref** ppRef) {
    calls += std::string("open(") + pPath + ") ";
    *puiSize = 3;
    *ppRef = iOpenResult == 0 ? &ref : nullptr;
    return iOpenResult;
  }
  static i32 allocReadBuffers(Ref*, u32 uiBytes, u32 uiAlignment) {
    calls += "alloc(" + std::to_string(uiBytes) + "," + std::to_string(uiAlignment) + ") ";
    return iAllocResult;
  }
  static i32 read(Ref*, u32 uiBytes) {
    calls += "read(" + std::to_string(uiBytes) + ") ";
    return iReadResult;
  }
  static i32 closeFileHandle(Ref*) {
    calls += "closeFileHandle ";
    return 0;
  }
  static i32 close(Ref*) {
    calls += "close ";
    return 1;
  }
  static const u8* destination(Ref* pRef) { return pRef->bytes; }

  static void reset(i32 iOpen, i32 iAlloc, i32 iRead) {
    calls.clear();
    iOpenResult = iOpen;
    iAllocResult = iAlloc;
    iReadResult = iRead;
  }
};

TEST(DataFileRead, ReadsWholeAndGivesEveryReferenceBack) {
  SDataFileRead read;
  SFakeReader::reset(0, 1, 0);
  ASSERT_EQ(KvReadDataFileWith<SFakeReader>(".\\Scripts\\A.kds", &read), E_DATA_READ_OK);
  EXPECT_EQ(SFakeReader::calls, "open(.\\Scripts\\A.kds) alloc(3,16) read(3) closeFileHandle ");
  EXPECT_EQ(read.mp_uiSize, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.mp_pBytes)), "abc");
  KvReleaseDataFile(&read);
  EXPECT_EQ(SFakeReader::calls, "open(.\\Scripts\\A.kds) alloc(3,16) read(3) closeFileHandle close ");
  EXPECT_FALSE(read.mp_bHeld);
  KvReleaseDataFile(&read);  // nothing held: no second close
  EXPECT_EQ(SFakeReader::calls, "open(.\\Scripts\\A.kds) alloc(3,16) read(3) closeFileHandle close ");

  SFakeReader::reset(1, 1, 0);
  EXPECT_EQ(KvReadDataFileWith<SFakeReader>("x", &read), E_DATA_READ_CANNOT_OPEN);
  EXPECT_EQ(SFakeReader::calls, "open(x) ");
  SFakeReader::reset(0, 0, 0);
  EXPECT_EQ(KvReadDataFileWith<SFakeReader>("x", &read), E_DATA_READ_NO_BUFFER);
  EXPECT_EQ(SFakeReader::calls, "open(x) alloc(3,16) close ");
  SFakeReader::reset(0, 1, 9);
  EXPECT_EQ(KvReadDataFileWith<SFakeReader>("x", &read), E_DATA_READ_FAILED);
  EXPECT_EQ(SFakeReader::calls, "open(x) alloc(3,16) read(3) closeFileHandle close ");
  EXPECT_FALSE(read.mp_bHeld);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Development/ClDevINI.h"
#include "Tools/magpack/MagPacker.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"
#include "Tools/kdsc/KdsJson.h"
#include "Tools/kdsc/KdsSource.h"

namespace {

std::vector<u8> compile(const std::string& text) {
  SKdsSourceNode root;
  std::string error;
  EXPECT_TRUE(KdsParseSource(text, "test.kdt", &root, &error)) << error;
  return KdsWriteImage(root);
}

// Builds a tree from an image; answers the JSON of the tree, or "refused: <message>".
std::string load(const std::vector<u8>& image) {
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(image.data(), image.size(), "T.kds", szError, sizeof(szError));
  if (pRoot == nullptr) {
    return std::string("refused: ") + szError;
  }
  std::string json = KdsTreeToJson(pRoot);
  ClDScriptData2::destroyTree(pRoot);
  return json;
}

// A hand-laid image for files the compiler would never write.
struct RawImage {
  std::vector<u8> bytes;
  u32 at() const { return static_cast<u32>(bytes.size()); }
  u32 put(std::initializer_list<u32> words) {
    const u32 uiOffset = at();
    for (u32 w : words) {
      const size_t n = bytes.size();
      bytes.resize(n + 4);
      std::memcpy(&bytes[n], &w, 4);
    }
    return uiOffset;
  }
  void set(u32 uiOffset, u32 uiValue) { std::memcpy(&bytes[uiOffset], &uiValue, 4); }
  u32 text(const char* p) {
    const u32 uiOffset = at();
    bytes.insert(bytes.end(), p, p + std::strlen(p) + 1);
    return uiOffset;
  }
};

// Root slot, root array record with a table of the given value records.
RawImage rootWith(std::initializer_list<std::initializer_list<u32>> values) {
  RawImage image;
  image.put({0, 0});
  const u32 uiRoot = image.put({0, 0, static_cast<u32>(values.size())});
  image.set(0, uiRoot);
  const u32 uiTable = image.at();
  for (size_t i = 0; i < values.size(); ++i) {
    image.put({0});
  }
  image.set(uiRoot, uiTable);
  u32 i = 0;
  for (const auto& value : values) {
    image.set(uiTable + 4 * i++, image.put(value));
  }
  return image;
}

TEST(DScriptLoader, CompiledScriptLoadsAsWritten) {
  const std::vector<u8> image = compile(R"(
    Weight = 1.5
    Score = -7, Mask = 0xFFFFFFFF
    Title = "a \"b\" c"
    Anim = #noLoop
    Programs = [ { Buttons = [ #A, [ #Start, Weight = 2.0, Repetitions = [1, 2, 3] ] ] }, [] ]
    Delay = 0.5 .. 2
  )");
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(image.data(), image.size(), "T.kds", szError, sizeof(szError));
  ASSERT_NE(pRoot, nullptr) << szError;
  EXPECT_EQ(pRoot->getType(), E_DSVT_ARRAY);
  EXPECT_FALSE(pRoot->hasName());
  EXPECT_EQ(pRoot->getCount(), 7);
  EXPECT_EQ(pRoot->getChild("Weight")->getFloatExact(), 1.5f);
  EXPECT_EQ(pRoot->getChild("Score")->getInt(), -7);
  EXPECT_EQ(pRoot->getChild("Mask")->getInt(), -1);
  EXPECT_STREQ(pRoot->getChild("title")->getString(), "a \"b\" c");
  ClDScriptData2* pAnim = pRoot->getChild("Anim");
  EXPECT_EQ(pAnim->getType(), E_DSVT_HASH_ID);
  EXPECT_EQ(pAnim->getHashValue(), KvStrHash("noLoop"));
  EXPECT_EQ(pRoot->getChildWithIdentifier("noloop"), pAnim);
  ClDScriptData2* pButton = pRoot->getChild("Programs")->getChildAt(0)->getChild("Buttons")->getChildAt(1);
  EXPECT_STREQ(pButton->getChildAt(0)->getString(), "Start");
  EXPECT_EQ(pButton->getChild("Repetitions")->getChildAt(2)->getInt(), 3);
  EXPECT_EQ(pButton->getChild("Repetitions")->getParent(), pButton);
  EXPECT_EQ(pRoot->getChild("Programs")->getChildAt(1)->getCount(), 0);
  ClDScriptData2* pDelay = pRoot->getChild("Delay");
  EXPECT_EQ(pDelay->getChild("Min")->getFloatExact(), 0.5f);
  EXPECT_EQ(pDelay->getChild("Max")->getInt(), 2);
  const f32 fDelay = pDelay->getFloat();
  EXPECT_TRUE(fDelay >= 0.5f && fDelay <= 2.0f);
  ClDScriptData2::destroyTree(pRoot);
}

TEST(DScriptLoader, NodesKeepTheHashStoredInTheFile) {
  // Root slot (0), root record (8), table (20), one value record (24): INT 5 of type 2.
  RawImage image = rootWith({{0, 0, 5, 0, E_DSCT_INT2}});
  const u32 uiText = image.text("Odd");
  while (image.at() % 4 != 0) image.bytes.push_back(0);
  image.set(24, image.put({uiText, 0, 0x12345678}));
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot =
      ClDScriptMgr2::buildTree(image.bytes.data(), image.bytes.size(), "T.kds", szError, sizeof(szError));
  ASSERT_NE(pRoot, nullptr) << szError;
  ClDScriptData2* pChild = pRoot->getChildAt(0);
  EXPECT_STREQ(pChild->getName(), "Odd");
  EXPECT_EQ(pChild->getNameHash(), 0x12345678u);
  EXPECT_EQ(pChild->getInt(), 5);
  EXPECT_EQ(pRoot->findChild("Odd"), nullptr);  // looked up by the stored hash, not the text
  ClDScriptData2::destroyTree(pRoot);
}

TEST(DScriptLoader, EmptySlotsGiveZeroEmptyTextAndEmptyArray) {
  // Unnamed values of types 0, 3, 4 and 5 whose value slots are none, and an empty root.
  const RawImage image = rootWith({{0, 0, 0, 0, E_DSCT_INT},
                                   {0, 0, 0, 0, E_DSCT_STRING},
                                   {0, 0, 0, 0, E_DSCT_HASH_ID},
                                   {0, 0, 0, 0, E_DSCT_ARRAY}});
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot =
      ClDScriptMgr2::buildTree(image.bytes.data(), image.bytes.size(), "T.kds", szError, sizeof(szError));
  ASSERT_NE(pRoot, nullptr) << szError;
  EXPECT_EQ(pRoot->getChildAt(0)->getInt(), 0);
  EXPECT_STREQ(pRoot->getChildAt(1)->getString(), "");
  EXPECT_STREQ(pRoot->getChildAt(2)->getString(), "");
  EXPECT_EQ(pRoot->getChildAt(2)->getHashValue(), 0u);
  EXPECT_EQ(pRoot->getChildAt(3)->getType(), E_DSVT_ARRAY);
  EXPECT_EQ(pRoot->getChildAt(3)->getCount(), 0);
  ClDScriptData2::destroyTree(pRoot);

  const std::vector<u8> empty = compile("// nothing\n");
  EXPECT_EQ(load(empty), "{\n  \"type\": \"array\",\n  \"children\": []\n}\n");
}

TEST(DScriptLoader, EveryTruncationIsRefusedOrLoadsTheSameTree) {
  const std::vector<u8> image = compile("A = [1, 2.5, \"x\", #y, { B = \"long text here\" }]\nC = -4\n");
  const std::string whole = load(image);
  ASSERT_EQ(whole.rfind("refused", 0), std::string::npos) << whole;
  for (size_t n = 0; n < image.size(); ++n) {
    const std::vector<u8> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(n));
    const std::string result = load(cut);
    if (result != whole) {
      EXPECT_EQ(result.rfind("refused: Data script [T.kds] refused: ", 0), 0u) << "length " << n << ": " << result;
    }
  }
  EXPECT_EQ(load({}), "refused: Data script [T.kds] refused: the file is 0 bytes long, too short to hold the root slot");
}

TEST(DScriptLoader, CorruptRecordsAreRefusedWithAMessage) {
  struct SCase {
    const char* pWhat;
    RawImage image;
    const char* pMessage;
  };
  std::vector<SCase> cases;
  {
    RawImage image;
    image.put({0, 0});
    cases.push_back({"empty root slot", image, "the root slot is empty"});
  }
  {
    RawImage image;
    image.put({400, 0});
    cases.push_back({"root beyond the end", image, "array record at 0x190 lies outside the file"});
  }
  {
    RawImage image;
    image.put({8, 1, 0, 0, 0});  // high word set: an offset above 4 GiB
    cases.push_back({"root above 4 GiB", image, "lies outside the file"});
  }
  {
    RawImage image;
    image.put({8, 0, 20, 0, 0xFFFFFFFF});
    cases.push_back({"negative count", image, "negative child count (-1)"});
  }
  {
    RawImage image;
    image.put({8, 0, 20, 0, 1000000, 0});
    cases.push_back({"table beyond the end", image, "child table of 1000000 entries at 0x14 lies outside the file"});
  }
  cases.push_back({"type 6", rootWith({{0, 0, 0, 0, 6}}), "has the invalid type 6"});
  cases.push_back({"negative type", rootWith({{0, 0, 0, 0, 0xFFFFFFFF}}), "has the invalid type -1"});
  {
    RawImage image = rootWith({{0, 0, 0, 0, E_DSCT_STRING}});
    image.set(32, image.at());  // the value slot of the record at 24
    image.bytes.push_back('a');  // no terminating zero
    cases.push_back({"unterminated text", image, "text at 0x"});
  }
  {
    RawImage image = rootWith({{0, 0, 0, 0, E_DSCT_HASH_ID}});
    image.set(32, image.at() + 4);
    cases.push_back({"hash-id record beyond the end", image, "hash-id record at 0x"});
  }
  {
    RawImage image = rootWith({{0, 0, 0, 0, E_DSCT_INT}});
    image.set(24, 9999);  // the name slot
    cases.push_back({"name record beyond the end", image, "name record at 0x270F lies outside the file"});
  }
  {
    // A child table entry pointing past the end.
    RawImage image = rootWith({{0, 0, 0, 0, E_DSCT_INT}});
    image.set(20, 0xFFFFFFF0);
    cases.push_back({"value beyond the end", image, "value record at 0xFFFFFFF0 lies outside the file"});
  }
  {
    // Two children with names of the same hash: records at 28 and 48 share one name record.
    RawImage image = rootWith({{0, 0, 0, 0, E_DSCT_INT}, {0, 0, 0, 0, E_DSCT_INT}});
    const u32 uiText = image.text("Name");
    while (image.at() % 4 != 0) image.bytes.push_back(0);
    const u32 uiName = image.put({uiText, 0, KvStrHash("Name")});
    image.set(28, uiName);
    image.set(48, uiName);
    cases.push_back({"duplicate names", image, "array [<UNNAMED>] has two children named [Name]"});
  }
  for (const SCase& c : cases) {
    EXPECT_NE(load(c.image.bytes).find(c.pMessage), std::string::npos) << c.pWhat << ": " << load(c.image.bytes);
    EXPECT_EQ(load(c.image.bytes).rfind("refused: Data script [T.kds] refused: ", 0), 0u) << c.pWhat;
  }
}

TEST(DScriptLoader, LoopingAndSharedArraysAreBounded) {
  // An array that contains itself: the value record's array slot points at its own array record.
  RawImage loop;
  loop.put({8, 0});
  loop.put({20, 0, 1});           // root record at 8: table at 20, one child
  loop.put({24});                 // table at 20 -> value record at 24
  loop.put({0, 0, 44, 0, 5});     // value record at 24: unnamed array, array record at 44
  loop.put({56, 0, 1, 24});       // array record at 44: table at 56 -> value record 24 again
  EXPECT_NE(load(loop.bytes).find("refused"), std::string::npos);

  // A chain of arrays each listing the next record twice: 2^40 nodes if followed naively.
  RawImage shared;
  shared.put({0, 0});
  constexpr int kLevels = 40;
  u32 uiNext = 0;
  for (int i = 0; i < kLevels; ++i) {
    const u32 uiArray = shared.put({0, 0, uiNext != 0 ? 2u : 0u});
    if (uiNext != 0) {
      shared.set(uiArray, shared.put({uiNext, uiNext}));
    }
    uiNext = shared.put({0, 0, uiArray, 0, E_DSCT_ARRAY});
  }
  const u32 uiRoot = shared.put({0, 0, 1});
  shared.set(uiRoot, shared.put({uiNext}));
  shared.set(0, uiRoot);
  const std::string result = load(shared.bytes);
  EXPECT_NE(result.find("more values than a file of"), std::string::npos) << result;

  // Nesting deeper than the limit is refused; the compiler refuses to write it too.
  std::string deep;
  for (int i = 0; i < gc_iKDS_MAX_DEPTH; ++i) deep += "[";
  for (int i = 0; i < gc_iKDS_MAX_DEPTH; ++i) deep += "]";
  EXPECT_EQ(load(compile(deep)).find("refused"), std::string::npos);
  SKdsSourceNode root;
  std::string error;
  EXPECT_FALSE(KdsParseSource("[" + deep + "]", "deep.kdt", &root, &error));
  EXPECT_NE(error.find("deep.kdt:1:"), std::string::npos) << error;
  // A range is a list too: at the deepest place the compiler lets it through and the file loads; one level
  // deeper the compiler refuses it, as the loader would refuse the file.
  const std::string range = deep.substr(0, gc_iKDS_MAX_DEPTH - 1) + "1 .. 2" + deep.substr(gc_iKDS_MAX_DEPTH + 1);
  EXPECT_EQ(load(compile(range)).find("refused"), std::string::npos);
  EXPECT_FALSE(KdsParseSource("[" + range + "]", "deep.kdt", &root, &error));
  EXPECT_NE(error.find("deep.kdt:1:129: error: a range here nests lists too deep"), std::string::npos) << error;
}

// The loader takes whatever the compiler writes: a long text used 600 times (its characters stored once).
TEST(DScriptLoader, EverythingTheCompilerWritesLoads) {
  const std::string text(20000, 't');
  std::string repeated = "List = [";
  for (int i = 0; i < 600; ++i) repeated += " \"" + text + "\"";
  repeated += " ]";
  const std::vector<u8> image = compile(repeated);
  EXPECT_LT(image.size(), 100000u);
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(image.data(), image.size(), "T.kds", szError, sizeof(szError));
  ASSERT_NE(pRoot, nullptr) << szError;
  EXPECT_EQ(pRoot->getChild("List")->getCount(), 600);
  EXPECT_EQ(std::string(pRoot->getChild("List")->getChildAt(599)->getString()), text);
  ClDScriptData2::destroyTree(pRoot);

}

// A loaded tree lives in one block; its nodes can still be renamed, retyped and given children (those live on
// the heap), and destroying the root frees everything (the leak check sees it otherwise).
TEST(DScriptLoader, LoadedTreesCanStillBeChanged) {
  const std::vector<u8> image = compile("Speed = 2.5, Name = \"walker\", States = [1, 2, 3], Empty = []\n");
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(image.data(), image.size(), "T.kds");
  ASSERT_NE(pRoot, nullptr);
  EXPECT_TRUE(pRoot->getChild("Speed")->isInBlock());
  pRoot->getChild("Name")->setString("runner");
  pRoot->getChild("Name")->setName("Title");
  pRoot->getChild("Speed")->setInt(4);
  ClDScriptData2* pStates = pRoot->getChild("States");
  for (i32 i = 0; i < 20; ++i) {
    pStates->addUnnamedChild()->setInt(10 + i);  // the child table outgrows its place in the block
  }
  pRoot->getChild("Empty")->addChild("New")->setString("heap");
  pRoot->addChild("Added")->setFloat(1.0f);
  EXPECT_STREQ(pRoot->getChild("Title")->getString(), "runner");
  EXPECT_EQ(pRoot->getChild("Speed")->getInt(), 4);
  EXPECT_EQ(pStates->getCount(), 23);
  EXPECT_EQ(pStates->getChildAt(2)->getInt(), 3);
  EXPECT_EQ(pStates->getChildAt(22)->getInt(), 29);
  EXPECT_FALSE(pRoot->getChild("Added")->isInBlock());
  ClDScriptData2::destroyTree(pRoot);
}

// Runs a test body in a fresh folder that stands for the data root.
class DScriptCache : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    KvTestStartFileIO();
    ClDScriptMgr2::initialize();
  }
  void TearDown() override {
    ClDScriptMgr2::terminate();
    KvTestStopFileIO();
    std::filesystem::current_path(m_previous);
  }
  static void write(const std::string& path, const std::vector<u8>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }
  std::filesystem::path m_previous;
};

TEST_F(DScriptCache, SameNameAnswersTheSameTreeAndReadsOnce) {
  write("Scripts/Enemy.kds", compile("Speed = 3.0"));
  ClDScriptData2* pFirst = ClDScriptMgr2::getScript("Enemy", nullptr);
  ASSERT_NE(pFirst, nullptr);
  EXPECT_EQ(pFirst->getChild("Speed")->getFloatExact(), 3.0f);
  // With the file gone, only the cache can answer.
  std::filesystem::remove("Scripts/Enemy.kds");
  EXPECT_EQ(ClDScriptMgr2::getScript("Enemy", nullptr), pFirst);
  EXPECT_EQ(ClDScriptMgr2::getScript("ENEMY", nullptr), pFirst);
  EXPECT_EQ(ClDScriptMgr2::getCachedCount(), 1);
}

TEST_F(DScriptCache, FolderAndNoFolderAreTwoKeys) {
  write("Scripts/Walk.kds", compile("From = \"Scripts\""));
  write("AnimationsGame/Walk.kds", compile("From = \"AnimationsGame\""));
  ClDScriptData2* pPlain = ClDScriptMgr2::getScript("Walk", nullptr);
  ClDScriptData2* pFolder = ClDScriptMgr2::getScript("Walk", "AnimationsGame");
  ASSERT_NE(pPlain, nullptr);
  ASSERT_NE(pFolder, nullptr);
  EXPECT_NE(pPlain, pFolder);
  EXPECT_STREQ(pPlain->getChild("From")->getString(), "Scripts");
  EXPECT_STREQ(pFolder->getChild("From")->getString(), "AnimationsGame");
  EXPECT_EQ(ClDScriptMgr2::getScript("Walk", "AnimationsGame"), pFolder);
  EXPECT_EQ(ClDScriptMgr2::getCachedCount(), 2);
  // "/" in a name is a "\" separator of the path.
  write("Scripts/Sub/Deep.kds", compile("X = 1"));
  ClDScriptData2* pDeep = ClDScriptMgr2::getScript("Sub/Deep", nullptr);
  ASSERT_NE(pDeep, nullptr);
  EXPECT_EQ(pDeep->getChild("X")->getInt(), 1);
}

TEST_F(DScriptCache, MissingFileIsFatalAndBadFileCachesNothing) {
  EXPECT_KV_FATAL(ClDScriptMgr2::getScript("Nope", nullptr), "Could not open script data file at [Nope]!");
  write("Scripts/Broken.kds", {8, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  testing::internal::CaptureStderr();
  EXPECT_EQ(ClDScriptMgr2::getScript("Broken", nullptr), nullptr);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("Data script [.\\Scripts\\Broken.kds] refused:"), std::string::npos) << message;
  EXPECT_EQ(ClDScriptMgr2::getCachedCount(), 0);
  // Mended on disk, the next request loads it.
  write("Scripts/Broken.kds", compile("Ok = 1"));
  ASSERT_NE(ClDScriptMgr2::getScript("Broken", nullptr), nullptr);
  EXPECT_EQ(ClDScriptMgr2::getCachedCount(), 1);
}

// Scripts come out of an archive under their "\" paths, compressed and encrypted, and the settings file too.
TEST_F(DScriptCache, ScriptsAndSettingsLoadFromAnArchive) {
  const std::string ini = "RANDOM_SEED 77\nFIXED_DT 0.25\n";
  const std::vector<SMagPackInput> inputs = {
      packInput("Scripts\\Enemy.kds", compile("Speed = 3.5, Name = \"grunt\""), true, true),
      packInput("AnimationsGame\\Walk.kds", compile("Frames = 12"), false, true),
      packInput("project.ini", std::vector<u8>(ini.begin(), ini.end()), true, false),
  };
  std::vector<SMagPackedEntry> packed;
  std::string error;
  ASSERT_TRUE(MagWriteArchive(".", "RWT", "data-test-key", inputs, &packed, &error)) << error;
  ClMagFileIO::setArchiveKey("RWT", "data-test-key");
  ASSERT_EQ(ClMagFileIO::loadTOC("RWT"), 1);
  ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash("RWT")), 1);

  ClDScriptData2* pEnemy = ClDScriptMgr2::getScript("Enemy", nullptr);
  ASSERT_NE(pEnemy, nullptr);
  EXPECT_FLOAT_EQ(pEnemy->getChild("Speed")->getFloatExact(), 3.5f);
  EXPECT_STREQ(pEnemy->getChild("Name")->getString(), "grunt");
  ClDScriptData2* pWalk = ClDScriptMgr2::getScript("Walk", "AnimationsGame");
  ASSERT_NE(pWalk, nullptr);
  EXPECT_EQ(pWalk->getChild("Frames")->getInt(), 12);
  // Nothing of it exists as a loose file.
  EXPECT_FALSE(std::filesystem::exists("Scripts"));

  ClDevINI::initialize();
  EXPECT_EQ(ClDevINI::load("project.ini"), 1);
  EXPECT_EQ(ClDevINI::getInt("RANDOM_SEED"), 77);
  EXPECT_FLOAT_EQ(ClDevINI::getFloat("FIXED_DT"), 0.25f);
  ClDevINI::terminate();
}

}  // namespace

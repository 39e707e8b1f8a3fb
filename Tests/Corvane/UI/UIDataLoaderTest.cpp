// The UI data loader: the sample screen sets through an archive (encrypted, plain in memory) and as loose
// files, the edge cases of loading, and files that cannot be trusted, which are refused whole.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClMutexLock.h"
#include "Tests/Corvane/UI/UITestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// The offset of the i-th instance of the widget table.
u32 instanceAt(const std::vector<uint8_t>& image, u32 uiIndex) {
  return KvTestU32At(image, KvTestU32At(image, 0) + 4 * uiIndex);
}

// Loads through the archive reader from a data root of its own (the test's current folder).
class UIDataLoaderTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    ClMutexLock::initializePool();
    ClFileIO::initialize();
    m_root = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_savedCwd = KvTestChangeFolder(m_root);
    ASSERT_FALSE(m_savedCwd.empty());
    KvInitializeDataPaths();
    ClMagFileIO::initTOCPool();
    ClMagFileIO::initRefPool();
  }
  void TearDown() override {
    UITest::TearDown();
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
    ClMagFileIO::shutdown();
    ClFileIO::shutdown();
    ClMutexLock::shutdownPool();
    ASSERT_FALSE(KvTestChangeFolder(m_savedCwd).empty());
  }

  void useArchive(bool bInMemory) {
    for (const char* pExt : {".mtc", ".mdf"}) {
      std::filesystem::copy_file(std::string(KV_UI_ARCHIVE_DIR) + "/UIT_win32" + pExt, m_root + "/UIT_win32" + pExt);
    }
    ClMagFileIO::setArchiveKey("UIT", KV_UI_ARCHIVE_KEY);
    ASSERT_EQ(ClMagFileIO::loadTOC("UIT"), 1);
    if (bInMemory) {
      ASSERT_EQ(ClMagFileIO::loadDataFile(H("UIT")), 1);
    }
  }

  static void chooseLanguage(const char* pCode) { KvLangID::setLanguage(getLangIDFromCode(pCode), KvGetBaseDataPath()); }

  // The sample screen set as the build compiled it.
  static std::vector<uint8_t> sample(const std::string& relative) {
    return readBytes(std::string(KV_UI_CONTENT_DIR) + "/" + relative);
  }

  // Checks the main screen set's tree as the loader built it.
  static void expectMainScreenSet(const char* pLanguage) {
    SCOPED_TRACE(pLanguage);
    ClWidget* pTop = W("TopLevelSwitcher");
    ASSERT_EQ(pTop->mp_SwitchedChildren.getSize(), 20u);
    EXPECT_EQ(pTop->mp_SwitchedChildren[0].mp_pChild, W("MainMenu"));
    EXPECT_EQ(pTop->mp_SwitchedChildren[4].mp_pChild, W("Results"));
    EXPECT_EQ(pTop->mp_SwitchedChildren[6].mp_pChild, W("Gallery"));
    EXPECT_EQ(pTop->mp_SwitchedChildren[7].mp_pChild, W("TitleScreen"));
    EXPECT_EQ(pTop->mp_SwitchedChildren[17].mp_pChild, W("VideoSettings"));
    EXPECT_EQ(pTop->mp_SwitchedChildren[16].mp_pChild, W("PreMainMenu"));
    EXPECT_EQ(pTop->mp_SwitchedChildren[18].mp_pChild, W("HowToPlay"));
    EXPECT_EQ(pTop->mp_SwitchedChildren[19].mp_pChild, W("EmptyScreen"));
    EXPECT_EQ(W("GalleryList")->mp_AllChildren.getSize(), 6u) << "four images and two flip books";
    EXPECT_EQ(pTop->mp_DrawnChildren.getSize(), 0u);
    ClWidget* pFrame = W("MenuFrame");
    EXPECT_EQ(pFrame->mp_pParent, W("StageSelect")) << "a shared child keeps the parent of its first build";
    EXPECT_EQ(W("StageSelect")->mp_AllChildren[0], pFrame);
    EXPECT_EQ(W("AttractPressStart")->mp_pParent, W("TitleScreen"));
    EXPECT_EQ(W("WarningScreen")->mp_AllChildren[3], W("AttractPressStart"));
    EXPECT_EQ(W("StageSelectLevelName")->mp_AllChildren.getSize(), 8u);
    i32 iX = 0, iY = 0;
    W("StageSelectLevelName5")->getGridXY("gridPos", &iX, &iY);
    EXPECT_EQ(iX, 0);
    EXPECT_EQ(iY, 4);
    EXPECT_EQ(W("MainMenuStoryModeButton")->getID("localizedID"), H("mainmenu_story"));
    EXPECT_EQ(W("MainMenuStoryModeButton")->getFloat("maxWidth"), 176.0f) << "the text box stays on the plate";
    EXPECT_STREQ(W("VersionText")->getString("dynamicText"), "Version");
  }

  std::string m_root;
  std::string m_savedCwd;
};

TEST_F(UIDataLoaderTest, TheSampleScreenSetsLoadFromAnEncryptedArchiveOnDisk) {
  useArchive(false);
  chooseLanguage("eng");
  ASSERT_TRUE(ClUI::loadUIData());
  ASSERT_TRUE(ClUI::loadLocalizedUIData("VOSK_UI"));
  EXPECT_EQ(W("SplashSwitcher")->mp_SwitchedChildren.getSize(), 4u);
  EXPECT_EQ(W("SplashActive1")->getID("nextScreenID"), H("SplashActive2"));
  expectMainScreenSet("eng");
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0) << "the loader keeps its blocks, not the archive references";
  // The splash switcher brings its first screen in.
  ClUI::switchTo("SplashSwitcher", "SplashActive1");
  EXPECT_EQ(W("SplashSwitcher")->getActiveSwitchedChild(), W("SplashActive1"));
}

TEST_F(UIDataLoaderTest, APlainEntryOfAnArchiveInMemoryIsCopiedSoWritesNeverReachTheArchive) {
  useArchive(true);
  chooseLanguage("fra");
  ASSERT_TRUE(ClUI::loadLocalizedUIData("VOSK_UI"));
  expectMainScreenSet("fra");
  const ClMagTOC* pArchive = ClMagFileIO::findTOC(H("UIT"));
  const u8* pBlock = ClUI::getUIDataEntry(0)->mp_pBlock;
  EXPECT_FALSE(pBlock >= pArchive->mp_pData && pBlock < pArchive->mp_pData + pArchive->mp_uiDataSize);
  W("VersionText")->setString(H("dynamicText"), "changed");
  // The archive still serves the file as packed.
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Lang\\fra\\UI\\VOSK_UI.kui", &uiSize, &pRef), 0);
  ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRef, uiSize, 16), 1);
  ASSERT_EQ(ClMagFileIO::read(pRef, uiSize), 0);
  EXPECT_EQ(std::vector<uint8_t>(pRef->mp_pDestinationBuffer, pRef->mp_pDestinationBuffer + uiSize),
            sample("Lang/fra/UI/VOSK_UI.kui"));
  ClMagFileIO::close(pRef);
}

TEST_F(UIDataLoaderTest, LooseFilesLoadFromTheDataRootAndTheLanguageFolder) {
  writeBytes(m_root + "/UI/Switcher_Splash.kui", sample("UI/Switcher_Splash.kui"));
  writeBytes(m_root + "/Lang/eng/UI/VOSK_UI.kui", sample("Lang/eng/UI/VOSK_UI.kui"));
  chooseLanguage("eng");
  ASSERT_TRUE(ClUI::loadLocalizedUIData("VOSK_UI"));
  ASSERT_TRUE(ClUI::loadUIData());
  expectMainScreenSet("eng");
  EXPECT_EQ(ClUI::getNumUIDataEntries(), 2);
}

TEST_F(UIDataLoaderTest, MissingFilesAndSecondLoadsStopWithTheirMessages) {
  chooseLanguage("eng");
  EXPECT_KV_FATAL(ClUI::loadLocalizedUIData("Nope"), "Could not open UI data file [Nope] '.\\Lang\\eng\\UI\\Nope.kui'!");
  EXPECT_KV_FATAL(ClUI::loadUIData(), "Could not open UI data file [Switcher_Splash]!");
  // Each attempt kept its record: the names count as loaded.
  EXPECT_KV_FATAL(ClUI::loadLocalizedUIData("Nope"), "UI data [Nope] is already loaded!");
  EXPECT_KV_FATAL(ClUI::loadUIData(), "ClUI::loadUIData() -> UI data [Switcher_Splash] is already loaded!");
  EXPECT_KV_ASSERT(ClUI::loadLocalizedUIData(nullptr), "pUIDataName");
}

TEST_F(UIDataLoaderTest, ALoadWithoutAReadBufferAnswersFalseAndStillCountsAsLoaded) {
  writeBytes(m_root + "/Lang/eng/UI/VOSK_UI.kui", sample("Lang/eng/UI/VOSK_UI.kui"));
  chooseLanguage("eng");
  // The file is opened first; the next allocation is its read buffer.
  u32 uiSize = 0;
  SMagRef* pRef = nullptr;
  ASSERT_EQ(ClMagFileIO::open(".\\Lang\\eng\\UI\\VOSK_UI.kui", &uiSize, &pRef), 0);
  ClMagFileIO::close(pRef);
  KvAllocFailNext(1);
  const bool bLoaded = ClUI::loadLocalizedUIData("VOSK_UI");
  KvAllocFailNext(0);
  EXPECT_FALSE(bLoaded);
  EXPECT_EQ(ClUI::findWidget(H("TopLevelSwitcher")), nullptr);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  EXPECT_KV_FATAL(ClUI::loadLocalizedUIData("VOSK_UI"), "UI data [VOSK_UI] is already loaded!");
}

TEST_F(UIDataLoaderTest, TheSeventeenthFileStops) {
  for (int i = 0; i < 16; ++i) {
    ASSERT_TRUE(load("Set" + std::to_string(i), "{\"root\": {\"name\": \"Root" + std::to_string(i) + "\"}}"));
  }
  const std::vector<uint8_t> image = compile(R"({"root": {"name": "Root16"}})");
  EXPECT_KV_FATAL(ClUI::loadUIDataFromImage("Set16", image.data(), static_cast<u32>(image.size())),
                  "Could not load UI data [Set16]; out of UI data entries in pool!");
}

TEST_F(UIDataLoaderTest, ASharedChildIsLinkedIntoBothParentsAndItsOwnListsAreBuiltOnce) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "Root", "children": [
      {"name": "Shared", "children": [{"name": "S1"}, {"name": "S2"}, {"name": "Deco"}], "switched": ["S1", "S2"]},
      {"name": "Other", "children": ["Shared", {"name": "Inner", "children": ["Shared"]}]}]}})"));
  ClWidget* pShared = W("Shared");
  EXPECT_EQ(pShared->mp_pParent, W("Root"));
  EXPECT_EQ(W("Other")->mp_AllChildren[0], pShared);
  EXPECT_EQ(W("Inner")->mp_AllChildren[0], pShared);
  EXPECT_EQ(pShared->mp_SwitchedChildren.getSize(), 2u);
  EXPECT_EQ(pShared->mp_DrawnChildren.getSize(), 1u);
  EXPECT_EQ(ClUI::mp_MasterWidgetList.getCount(), 7);

  // A second file's widget of a known name is linked to the existing widget.
  ASSERT_TRUE(load("B", R"({"root": {"name": "Root2", "children": [{"name": "Shared"}]}})"));
  EXPECT_EQ(W("Root2")->mp_AllChildren[0], pShared);
  EXPECT_EQ(pShared->mp_SwitchedChildren.getSize(), 2u) << "the other file's widget keeps its lists";
  EXPECT_EQ(pShared->mp_pParent, W("Root"));
  // Its root may not repeat a known widget.
  const std::vector<uint8_t> image = compile(R"({"root": {"name": "Inner"}})");
  EXPECT_KV_FATAL(ClUI::loadUIDataFromImage("C", image.data(), static_cast<u32>(image.size())),
                  "Duplicate widget ID [0x");
}

TEST_F(UIDataLoaderTest, InstanceNamesKeepThirtyOneCharactersAndTheIDOfTheWholeName) {
  const std::string longName = "ThisNameIsMuchLongerThanThirtyTwoCharacters";
  ASSERT_TRUE(load("A", "{\"root\": {\"name\": \"" + longName + "\", \"children\": [{\"name\": \"" +
                            longName.substr(0, 31) + "X\"}]}}"));
  ClWidget* pWidget = ClUI::getWidget(longName.c_str());
  EXPECT_EQ(std::string(pWidget->getName()), longName.substr(0, 31));
  EXPECT_EQ(std::string(W((longName.substr(0, 31) + "X").c_str())->getName()), longName.substr(0, 31));
  EXPECT_EQ(ClUI::findWidget(H(longName.substr(0, 31).c_str())), nullptr);
}

TEST_F(UIDataLoaderTest, ASwitchedChildThatIsNoChildStopsWhenTheTreeIsBuiltInCode) {
  SRawWidgetInstance child = {};
  std::strcpy(child.mp_acName, "Elsewhere");
  child.mp_uiInstanceID = H("Elsewhere");
  SRawWidgetInstance* apSwitched[1] = {&child};
  SRawWidgetInstance root = {};
  std::strcpy(root.mp_acName, "Root");
  root.mp_uiInstanceID = H("Root");
  root.mp_ppSwitchedChildren = apSwitched;
  root.mp_iNumSwitchedChildren = 1;
  ClWidget* pRoot = nullptr;
  ClUI::recursivelyCreateWidgetsFromParent(&root, &pRoot, nullptr);
  EXPECT_EQ(W("Root"), pRoot);
  EXPECT_KV_ASSERT(ClUI::buildSwitchedChildLists(pRoot), "pChild");
  EXPECT_KV_ASSERT(ClUI::recursivelyCreateWidgetsFromParent(nullptr, &pRoot, nullptr), "pRawInstance");
  EXPECT_KV_ASSERT(ClUI::recursivelyCreateWidgetsFromParent(&child, nullptr, nullptr), "ppWidgetToCreate");
}

// --- Files that cannot be trusted ---

class UIDataRefusalTest : public UITest {
 protected:
  // Loads the image, which must be refused with a message containing the text; the UI keeps nothing of it.
  void expectRefused(const std::vector<uint8_t>& image, const std::string& text) {
    char szError[gc_uiUI_DATA_ERROR_SIZE];
    EXPECT_FALSE(KvValidateUIData(image.data(), static_cast<u32>(image.size()), "bad.kui", nullptr, szError,
                                  sizeof(szError)));
    EXPECT_NE(std::string(szError).find("UI data [bad.kui] refused: "), std::string::npos) << szError;
    EXPECT_NE(std::string(szError).find(text), std::string::npos) << szError;
    const i32 iWidgets = ClUI::mp_MasterWidgetList.getCount();
    const std::string name = "Bad" + std::to_string(m_iLoads++);
    EXPECT_FALSE(ClUI::loadUIDataFromImage(name.c_str(), image.data(), static_cast<u32>(image.size())));
    EXPECT_EQ(ClUI::mp_MasterWidgetList.getCount(), iWidgets);
    EXPECT_EQ(ClUI::getUIDataEntry(ClUI::getNumUIDataEntries() - 1)->mp_bOwnsData, 0u);
  }

  int m_iLoads = 0;
};

const char* const gc_pVALID = R"({"root": {"name": "Root", "properties": {"text": "abc",
    "onClick": {"event": {"calls": [{"call": "record0", "params": ["p", 1]}]}}},
    "children": [{"name": "A", "children": [{"name": "B"}]}, {"name": "C"}], "switched": ["C"]}})";

TEST_F(UIDataRefusalTest, BrokenOffsetsCountsAndAlignmentsAreRefused) {
  const std::vector<uint8_t> valid = compile(gc_pVALID);
  expectRefused(std::vector<uint8_t>(valid.begin(), valid.begin() + 19), "too short");
  std::vector<uint8_t> bad = valid;
  KvTestPutU32At(&bad, 16, 0xFFFFFFF0u);
  expectRefused(bad, "negative count");
  bad = valid;
  KvTestPutU32At(&bad, 0, static_cast<u32>(valid.size()) - 4);
  expectRefused(bad, "the widget table");
  bad = valid;
  KvTestPutU32At(&bad, KvTestU32At(valid, 0), instanceAt(valid, 0) + 4);
  expectRefused(bad, "off a 8-byte boundary");
  bad = valid;
  KvTestPutU32At(&bad, 8, instanceAt(valid, 0) + 8);
  expectRefused(bad, "is not in the widget table");
  // The whole file but its last byte.
  expectRefused(std::vector<uint8_t>(valid.begin(), valid.end() - 1), "lies outside the file");
  bad = valid;
  KvTestPutU32At(&bad, instanceAt(valid, 0) + 32, 100000);  // child count
  expectRefused(bad, "child array");
}

TEST_F(UIDataRefusalTest, PropertyTypesNamesAndTextsAreChecked) {
  const std::vector<uint8_t> valid = compile(gc_pVALID);
  const u32 uiProps = KvTestU32At(valid, instanceAt(valid, 0));
  const u32 uiText = KvTestU32At(valid, uiProps);
  std::vector<uint8_t> bad = valid;
  KvTestPutU32At(&bad, uiText + 512, E_BASE_TYPE_UNICODE_STRING);
  expectRefused(bad, "has the type 5, which a file cannot hold");
  bad = valid;
  KvTestPutU32At(&bad, uiText + 512, 15);
  expectRefused(bad, "has the type 15");
  bad = valid;
  std::memset(bad.data() + uiText, 'x', 256);
  expectRefused(bad, "the text does not end within 256 bytes");
  bad = valid;
  KvTestPutU32At(&bad, uiText + 516, 0);
  expectRefused(bad, "name hash 0");
  bad = valid;
  KvTestPutU32At(&bad, uiText + 516, KvTestU32At(valid, KvTestU32At(valid, uiProps + 4) + 516));
  expectRefused(bad, "Duplicate property defined in widget [Root]");
  bad = valid;
  KvTestPutU32At(&bad, instanceAt(valid, 0) + 28, 0);
  expectRefused(bad, "instance ID 0");
  // The call's parameters: a bad type, a text without its end.
  const u32 uiEvent = KvTestU32At(valid, uiProps + 4);
  const u32 uiCall = KvTestU32At(valid, KvTestU32At(valid, uiEvent));
  const u32 uiParam = KvTestU32At(valid, KvTestU32At(valid, uiCall));
  bad = valid;
  KvTestPutU32At(&bad, uiParam, 7);
  expectRefused(bad, "unknown type 7");
  bad = valid;
  std::vector<uint8_t> tail = valid;
  tail.resize(uiParam + 6);  // "p" and its terminator cut off at the end of the file
  tail[uiParam + 4] = 'p';
  tail[uiParam + 5] = 'q';
  expectRefused(tail, "");
}

// A text parameter holds its characters in place: the last record of a file may be 5 bytes (an empty text) or
// 6 (one letter). A parameter of another type still needs its 8 bytes.
TEST_F(UIDataRefusalTest, ATextParameterAsShortAsItsTextMayEndTheFile) {
  for (const char* pText : {"", "p", "abc"}) {
    // As compiled the parameter's offset array follows it: the array is moved in front, the text ends the file.
    const std::vector<uint8_t> compiled = compile(
        std::string(R"({"root": {"name": "Root", "properties": {"onClick": {"event": {"calls": [{"call": "f", "params": [")") +
        pText + R"("]}]}}}}})");
    const u32 uiCall =
        KvTestU32At(compiled, KvTestU32At(compiled, KvTestU32At(compiled, KvTestU32At(compiled, instanceAt(compiled, 0)))));
    const u32 uiParam = KvTestU32At(compiled, KvTestU32At(compiled, uiCall));
    const size_t uiParamSize = 4 + std::strlen(pText) + 1;
    std::vector<uint8_t> image(compiled.begin(), compiled.begin() + uiParam);
    image.resize(uiParam + 4 + uiParamSize);
    KvTestPutU32At(&image, uiCall, uiParam);
    KvTestPutU32At(&image, uiParam, uiParam + 4);
    std::memcpy(image.data() + uiParam + 4, compiled.data() + uiParam, uiParamSize);
    char szError[gc_uiUI_DATA_ERROR_SIZE] = {};
    EXPECT_TRUE(KvValidateUIData(image.data(), static_cast<u32>(image.size()), "short.kui", nullptr, szError,
                                 sizeof(szError)))
        << szError;
    const std::string name = std::string("Short") + pText;
    ASSERT_TRUE(ClUI::loadUIDataFromImage(name.c_str(), image.data(), static_cast<u32>(image.size())));
    const SWidgetEventCallback* pEvent =
        reinterpret_cast<const SWidgetEventCallback*>(W("Root")->mp_pRawData->mp_ppProperties[0]->mp_aucValue);
    EXPECT_STREQ(pEvent->mp_ppCalls[0]->mp_ppWidgetEventProcedureCallDatas[0]->mp_acString, pText);
    ClUI::terminate();
    ClUI::initialise();
    // The same place given to an integer parameter lies partly outside the file.
    std::vector<uint8_t> bad = image;
    KvTestPutU32At(&bad, uiParam + 4, E_ESCP_TYPE_INT);
    if (bad.size() < uiParam + 4 + 8) {
      expectRefused(bad, "parameter 0 of call 0 at");
    }
  }
}

TEST_F(UIDataRefusalTest, LinksBackUpTheTreeOverlapsAndSwitchedStrangersAreRefused) {
  const std::vector<uint8_t> valid = compile(gc_pVALID);
  // B (a child of A) lists the root as its child.
  const u32 uiB = instanceAt(valid, 2);
  std::vector<uint8_t> bad = valid;
  const u32 uiSpare = static_cast<u32>(bad.size());
  bad.resize(bad.size() + 8, 0);
  KvTestPutU32At(&bad, uiSpare, instanceAt(valid, 0));
  KvTestPutU32At(&bad, uiB + 8, uiSpare);
  KvTestPutU32At(&bad, uiB + 32, 1);
  expectRefused(bad, "widget [B] lists [Root] as a child, whose instance ID is that of the widget itself or of one");
  // A child whose ID names an ancestor links back up just the same.
  bad = valid;
  KvTestPutU32At(&bad, uiB + 28, H("A"));
  expectRefused(bad, "widget [A] lists [B] as a child, whose instance ID is that of the widget itself or of one");
  // The switched child C is switched to by A, which does not hold it.
  const u32 uiA = instanceAt(valid, 1);
  bad = valid;
  KvTestPutU32At(&bad, uiA + 16, KvTestU32At(valid, instanceAt(valid, 0) + 16));
  KvTestPutU32At(&bad, uiA + 36, 1);
  expectRefused(bad, "switches to [C], which is not one of its children");
  // The root's property array taken again as the call array: the "call" is the text property's record.
  const u32 uiProps = KvTestU32At(valid, instanceAt(valid, 0));
  const u32 uiEvent = KvTestU32At(valid, uiProps + 4);
  bad = valid;
  KvTestPutU32At(&bad, uiEvent, uiProps);
  expectRefused(bad, "records overlap");
  // One instance twice in the widget table.
  const std::vector<uint8_t> pair = compile(R"({"root": {"name": "Root", "children": [{"name": "A"}, {"name": "C"}]}})");
  bad = pair;
  KvTestPutU32At(&bad, KvTestU32At(pair, 0) + 8, instanceAt(pair, 1));
  KvTestPutU32At(&bad, KvTestU32At(pair, instanceAt(pair, 0) + 8) + 4, instanceAt(pair, 1));
  expectRefused(bad, "records overlap");
}

TEST_F(UIDataRefusalTest, TreesTooDeepOrWhoseSharedChildrenMultiplyTheWalkAreRefused) {
  // The compiler refuses such a tree: it is laid out directly.
  SKuiScreenSet deep;
  for (int i = 1; i <= 130; ++i) {
    SKuiWidget widget;
    widget.name = "L" + std::to_string(i);
    widget.uiInstanceID = H(widget.name.c_str());
    if (i < 130) {
      widget.children.push_back(i);
    }
    deep.widgets.push_back(widget);
  }
  expectRefused(KuiWriteImage(deep), "more than 128 levels deep");

  // Each level links the next one twice: 2^22 widget visits for 23 widgets.
  std::string doubling = R"({"name": "D22"})";
  for (int i = 21; i >= 0; --i) {
    const std::string next = "D" + std::to_string(i + 1);
    doubling = "{\"name\": \"D" + std::to_string(i) + "\", \"children\": [" + doubling + ", \"" + next + "\"]}";
  }
  expectRefused(compile("{\"root\": " + doubling + "}"), "visits more than");
}

TEST_F(UIDataRefusalTest, DamagedCopiesOfAValidFileLoadOrAreRefusedButNeverHarm) {
  const std::vector<uint8_t> valid = compile(gc_pVALID);
  std::mt19937 random(20240601u);
  int iRefused = 0;
  for (int i = 0; i < 300; ++i) {
    std::vector<uint8_t> image = valid;
    for (int k = 0; k < 3; ++k) {
      const size_t uiAt = random() % image.size();
      image[uiAt] = static_cast<uint8_t>(random());
    }
    const std::string name = "Damaged" + std::to_string(i);
    ClUI::terminate();
    ClUI::initialise();
    if (!ClUI::loadUIDataFromImage(name.c_str(), image.data(), static_cast<u32>(image.size()))) {
      ++iRefused;
    } else {
      // What loads can be walked.
      ClWidget* pRoot = ClUI::getUIDataEntry(0)->mp_pRootWidget;
      pRoot->setVisibleRecursively(1);
      pRoot->tick();
      pRoot->render();
    }
  }
  EXPECT_GT(iRefused, 0);
}

}  // namespace

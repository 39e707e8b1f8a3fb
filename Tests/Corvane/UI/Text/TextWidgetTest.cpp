// The text widgets' procedures: which text a widget draws, its colour, alignment, shadow and fades, the attribute
// checks, children placed inside the text; and the text-file widgets: reading a UTF-16LE file into lines, the
// visible page, scrolling by procedure and by pad with auto-repeat, and the page's lifetime.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/COMMONUIFunctions.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_TextFile.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Tests/Corvane/UI/Text/TextTestSupport.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

class CTextHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerTextUIFunctions();
    registerTextFileUIFunctions();
  }
};


std::vector<u8> utf16le(const std::u16string& text) {
  std::vector<u8> bytes(2 * text.size());
  std::memcpy(bytes.data(), text.data(), bytes.size());
  return bytes;
}

class TextWidgetTest : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    if (HasFatalFailure()) return;
    restartUIWith(&m_textHooks);
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
  }
  void TearDown() override {
    for (ClWidget* pWidget : m_transitioned) systemTextFileTransitionOut(pWidget, nullptr);
    KvLangID::unloadAllStringTables();
    ClInputManager::m_apGameSpecificInputs[0] = nullptr;
    ClInputManager::setActionCount(m_iSavedActionCount);
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    TextTest::TearDown();
  }

  // A text widget with every required property; extra properties and children are given as JSON.
  static std::string text(const std::string& name, const std::string& extra, const std::string& children = "") {
    return R"({"name": ")" + name + R"(", "properties": {
        "canvas": {"id": "FULL"}, "shader": {"id": "system_blend_premult"}, "textLayer": 200,
        "fontName": {"id": "Mono"}, "pointSize": 8, "maxWidth": 0.0, "maxHeight": 0.0,
        "textLayout": {"layout": {"screenAnchor": 0, "x": 2.0, "y": 3.0, "widgetAnchor": 0}},
        "textColor": {"color": "0xFF102030"},
        "onLoad": {"event": {"calls": [{"call": "systemTextLoad"}]}},
        "onRender": {"event": {"single": "systemTextRender"}})" +
           extra + "}" + (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
  }

  // A text-file widget over "Text/<file>" with size 12 and a page 120 units high.
  static std::string textFile(const std::string& name, const std::string& file, i32 iPointSize = 12) {
    return R"({"name": ")" + name + R"(", "properties": {
        "canvas": {"id": "FULL"}, "shader": {"id": "system_blend_premult"}, "textLayer": 200,
        "fontName": {"id": "Mono"}, "pointSize": )" +
           std::to_string(iPointSize) + R"(, "maxWidth": 150.0, "maxHeight": 120.0, "maxScroll": 0.0,
        "textLayout": {"layout": {"screenAnchor": 0, "x": 0.0, "y": 0.0, "widgetAnchor": 0}},
        "textAlign": {"id": "L"}, "textColor": {"color": "0xFFFFFFFF"}, "textFilename": "Text/)" +
           file + R"(", "onRender": {"event": {"single": "systemTextFileRender"}}}})";
  }

  static void loadScreen(const std::string& children) { loadScreenOf("Text", children); }

  static void renderScreen() {
    Cl2d::clearSprites();
    ClUI::getWidget("Screen")->render();
  }

  ClWidget* transitionIn(const char* pName) {
    ClWidget* pWidget = ClUI::getWidget(pName);
    systemTextFileTransitionIn(pWidget, nullptr);
    m_transitioned.push_back(pWidget);
    return pWidget;
  }

  // The rows a render drew: the sprite count of each row of glyphs, by y.
  static std::vector<i32> rowsDrawn() {
    std::vector<i32> rows;
    f32 fLastY = -1.0f;
    for (const SQueuedSprite& s : sprites()) {
      if (s.fY != fLastY) rows.push_back(0);
      ++rows.back();
      fLastY = s.fY;
    }
    return rows;
  }

  // Input frames as the input manager flips them: the pad's up and down values of the new frame.
  void startPad() {
    m_iSavedActionCount = ClInputManager::getActionCount();
    ClInputManager::setActionCount(37);
    ClInputManager::m_apGameSpecificInputs[0] = m_aActions;
    ClInputManager::resetLogicalPadMap();
    ClGameStateMgr::blockInput(0);
  }
  void padFrame(bool bUp, bool bDown) {
    ClInputManager::m_uiCurInputFrame = static_cast<u8>(1 - ClInputManager::m_uiCurInputFrame);
    const u32 uiCur = ClInputManager::m_uiCurInputFrame & 1u;
    m_aActions[gc_iUI_ACTION_UP].mp_afValues[uiCur] = bUp ? 1.0f : 0.0f;
    m_aActions[gc_iUI_ACTION_DOWN].mp_afValues[uiCur] = bDown ? 1.0f : 0.0f;
  }

  CTextHooks m_textHooks;
  std::vector<ClWidget*> m_transitioned;
  SGameInputAction m_aActions[37] = {};
  i32 m_iSavedActionCount = 0;
};

// The text drawn is the first that is set: "dynamicUnicodeText", "dynamicText" (widened), the localized string of
// "localizedID"; a widget with none draws nothing. Glyphs are in the widget's current colour on its layer.
TEST_F(TextWidgetTest, TheTextComesFromTheFirstSourceSet) {
  const std::vector<u8> table = stringTable(KvStrHash("menu_play"), u"Play!");
  u8* pImage = static_cast<u8*>(KvAlignedAlloc(table.size(), 16));
  std::memcpy(pImage, table.data(), table.size());
  ASSERT_EQ(KvLangID::loadStringTableFromMemory("Menu", pImage, static_cast<u32>(table.size())), 1);
  loadScreen(text("Ascii", R"(, "textAlign": {"id": "L"}, "dynamicText": "Score")") + "," +
             text("Localized", R"(, "textAlign": {"id": "L"}, "localizedID": {"id": "menu_play"})") + "," +
             text("Unicode", R"(, "textAlign": {"id": "L"}, "dynamicText": "Ignored")") + "," +
             text("Empty", R"(, "textAlign": {"id": "L"})"));
  const std::u16string unicode = u"\u00C5\u00C5";
  ClUI::getWidget("Unicode")->setUnicodeString(KvStrHash("dynamicUnicodeText"),
                                               reinterpret_cast<const wchar16*>(unicode.c_str()));
  struct SCase {
    const char* pName;
    size_t uGlyphs;  // every character is drawn, '?' standing for those the font lacks
  };
  for (const SCase& c : {SCase{"Ascii", 5}, SCase{"Localized", 5}, SCase{"Unicode", 2}, SCase{"Empty", 0}}) {
    SCOPED_TRACE(c.pName);
    Cl2d::clearSprites();
    ClUI::getWidget(c.pName)->render();
    const std::vector<SQueuedSprite> queuedSprites = sprites();
    ASSERT_EQ(queuedSprites.size(), c.uGlyphs);
    for (const SQueuedSprite& s : queuedSprites) {
      EXPECT_EQ(s.uiColor, 0xFF102030u);
      EXPECT_EQ(s.uLayer, 200);
      EXPECT_FLOAT_EQ(s.fY, 7.0f);
    }
  }
  Cl2d::clearSprites();
  ClUI::getWidget("Ascii")->render();
  // "Score": 'S' at the layout offset (2, 3) units = (4, 6) pixels, 'e' four advances later.
  EXPECT_FLOAT_EQ(queued(0).fX, 5.0f);
  EXPECT_FLOAT_EQ(queued(4).fX, 5.0f + 4 * monoAdvance(8));
  // What the widget read is kept from frame to frame: a property changed after a frame shows in the next one.
  ClUI::getWidget("Ascii")->setInt(KvStrHash("textLayer"), 300);
  Cl2d::clearSprites();
  ClUI::getWidget("Ascii")->render();
  EXPECT_EQ(queued(0).uLayer, 300);
  Cl2d::clearSprites();
  ClUI::getWidget("Unicode")->render();
  EXPECT_FLOAT_EQ(queued(0).fU0, static_cast<f32>('?' % 8) / 8.0f);
}

// "textAlign" L, C and R align the lines; anything else is fatal. A shadow is drawn only for an offset other than
// (0, 0), in "shadowColor".
TEST_F(TextWidgetTest, AlignmentAndShadow) {
  loadScreen(text("Left", R"(, "textAlign": {"id": "L"}, "dynamicText": "ABC\\nA")") + "," +
             text("Centre", R"(, "textAlign": {"id": "C"}, "dynamicText": "ABC\\nA")") + "," +
             text("Right", R"(, "textAlign": {"id": "R"}, "dynamicText": "ABC\\nA",
                  "shadowOffset": {"floatxy": [0.0, 0.0]}, "shadowColor": {"color": "0xFF000000"})") + "," +
             text("Shadow", R"(, "textAlign": {"id": "L"}, "dynamicText": "A",
                  "shadowOffset": {"floatxy": [1.0, 2.0]}, "shadowColor": {"color": "0x80000000"})") + "," +
             text("Odd", R"(, "textAlign": {"id": "X"}, "dynamicText": "A")"));
  const f32 fA = monoAdvance(8);
  struct SCase {
    const char* pName;
    f32 fSecondLineX;
  };
  for (const SCase& c : {SCase{"Left", 5.0f}, SCase{"Centre", 5.0f + fA}, SCase{"Right", 5.0f + 2 * fA}}) {
    SCOPED_TRACE(c.pName);
    Cl2d::clearSprites();
    ClUI::getWidget(c.pName)->render();
    ASSERT_EQ(Cl2d::getNumSprites(), 4);
    EXPECT_FLOAT_EQ(queued(3).fX, c.fSecondLineX);
  }
  Cl2d::clearSprites();
  ClUI::getWidget("Shadow")->render();
  ASSERT_EQ(Cl2d::getNumSprites(), 2);
  EXPECT_EQ(queued(1).uLayer, 199);
  EXPECT_EQ(queued(1).uiColor, 0x80000000u);
  EXPECT_FLOAT_EQ(queued(1).fY, queued(0).fY + 2.0f);
  EXPECT_KV_FATAL(ClUI::getWidget("Odd")->render(), "Unspecified text align!");
}

// The required properties are checked in their order, each missing one stopping with the attribute message.
TEST_F(TextWidgetTest, MissingPropertiesAreNamedInOrder) {
  loadScreen(R"({"name": "Bare", "properties": {"dynamicText": "A"}},
                {"name": "NoColour", "properties": {"canvas": {"id": "FULL"},
                 "shader": {"id": "system_blend_premult"}, "textLayer": 1, "fontName": {"id": "Mono"},
                 "pointSize": 8, "maxHeight": 0.0, "maxWidth": 0.0,
                 "textLayout": {"layout": {"screenAnchor": 0, "x": 0.0, "y": 0.0, "widgetAnchor": 0}},
                 "textAlign": {"id": "L"}}})");
  EXPECT_KV_ASSERT(systemTextRender(ClUI::getWidget("Bare"), nullptr), KvTestAttributeMessage("Bare", "canvas"));
  EXPECT_KV_ASSERT(systemTextRender(ClUI::getWidget("NoColour"), nullptr), KvTestAttributeMessage("NoColour", "textColor"));
}

// Load shows "textColor" at once; a fade in of 0.5 s starts transparent with the text colour's RGB and reaches the
// colour; a fade out goes from the colour shown to its RGB with alpha 0. Both clear the transition-done flag.
TEST_F(TextWidgetTest, LoadAndFades) {
  loadScreen(text("Fading", R"(, "textAlign": {"id": "L"}, "dynamicText": "A", "textTransitionInTime": 0.5,
                  "textTransitionOutTime": 0.25)"));
  ClWidget* pWidget = ClUI::getWidget("Fading");
  const ClAnimator<ClColor>& colour = pWidget->mp_aColorAnimators[0];
  EXPECT_EQ(colour.mp_uiCurrentColor, 0xFF102030u);

  systemTextTransitionInFromAlpha(pWidget, nullptr);
  EXPECT_EQ(pWidget->mp_bTransitionDone, 0u);
  EXPECT_EQ(pWidget->mp_bTransitioningOut, 0u);
  EXPECT_EQ(colour.mp_uiCurrentColor, 0x00102030u);
  ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.25f;
  pWidget->tick();
  EXPECT_NEAR(static_cast<double>(colour.mp_uiCurrentColor >> 24), 127.5, 1.0);
  pWidget->tick();
  EXPECT_EQ(colour.mp_uiCurrentColor, 0xFF102030u);

  pWidget->mp_bTransitionDone = 1;
  systemTextTransitionOutToAlpha(pWidget, nullptr);
  EXPECT_EQ(pWidget->mp_bTransitionDone, 0u);
  EXPECT_EQ(pWidget->mp_bTransitioningOut, 1u);
  pWidget->tick();
  EXPECT_EQ(colour.mp_uiCurrentColor, 0x00102030u);
}

// A text widget with children places them inside the rectangle of its text; the window is gone after them.
TEST_F(TextWidgetTest, ChildrenArePlacedInsideTheText) {
  loadScreen(text("Outer", R"(, "textAlign": {"id": "L"}, "dynamicText": "ABCD")",
                  text("Inner", R"(, "textAlign": {"id": "L"}, "dynamicText": "B",
                  "textLayout": {"layout": {"screenAnchor": 2, "x": 0.0, "y": 0.0, "widgetAnchor": 2}})")));
  renderScreen();
  ASSERT_EQ(Cl2d::getNumSprites(), 5);
  // The outer text spans 4 advances from x = 4; the inner one ends at its right edge.
  const f32 fRight = 4.0f + 4 * monoAdvance(8);
  EXPECT_FLOAT_EQ(queued(4).fX, fRight - monoAdvance(8) + 1.0f);
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
}

// --- Text files ---

// A UTF-16LE image becomes a terminated string however it ends: a last odd byte is dropped, a 0 unit ends it.
TEST_F(TextWidgetTest, TextFileImagesAreAlwaysTerminated) {
  struct SCase {
    std::vector<u8> bytes;
    std::u16string expected;
  };
  const SCase aCases[] = {
      {{'A', 0, 'B', 0}, u"AB"}, {{'A', 0, 'B', 0, 'C'}, u"AB"}, {{'A', 0, 0, 0, 'B', 0}, u"A"}, {{}, u""}};
  for (const SCase& c : aCases) {
    wchar16* puiText = KvTextFileToString(c.bytes.data(), static_cast<u32>(c.bytes.size()));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(puiText)), c.expected);
    KvAlignedFree(puiText);
  }
}

// 30 lines with size 12 on a page 120 high show 10; 25 steps down stop at 20 lines down (line 20 to 29); steps up
// past the top come back to 0 at the next render.
TEST_F(TextWidgetTest, ThePageShowsWhatFitsAndScrollsWithinTheText) {
  std::u16string file;
  for (i32 i = 0; i < 30; ++i) file += std::u16string(static_cast<size_t>(i % 7 + 1), u'x') + u"\r\n";
  writeLoose("Text/Lines.txt", utf16le(file));
  loadScreen(textFile("Credits", "Lines.txt"));
  ClWidget* pWidget = transitionIn("Credits");
  const STextFilePage* pPage = KvTextFilePageOf(pWidget);
  ASSERT_NE(pPage, nullptr);
  // The last newline leaves an empty last line.
  ASSERT_EQ(pPage->mp_daLines.getCount(), 31);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(pPage->mp_daLines[3])), u"xxxx");

  const auto expectedRows = [](i32 iFirst, i32 iCount) {
    std::vector<i32> rows;
    for (i32 i = iFirst; i < iFirst + iCount && i < 30; ++i) rows.push_back(i % 7 + 1);
    return rows;
  };
  renderScreen();
  EXPECT_EQ(rowsDrawn(), expectedRows(0, 10));
  EXPECT_FLOAT_EQ(queued(pPage->mp_daLines[0][0] == u'x' ? 1 : 0).fY - queued(0).fY, 24.0f)
      << "rows are a point size (12 units = 24 pixels) apart";
  for (i32 i = 0; i < 25; ++i) systemTextFileScrollDown(pWidget, nullptr);
  renderScreen();
  EXPECT_FLOAT_EQ(pPage->mp_fScrollOffset, 21 * 12.0f);
  std::vector<i32> rows = rowsDrawn();
  EXPECT_EQ(rows, expectedRows(21, 10)) << "the empty last line is a row too";
  for (i32 i = 0; i < 3; ++i) systemTextFileScrollUp(pWidget, nullptr);
  EXPECT_FLOAT_EQ(pPage->mp_fScrollOffset, 18 * 12.0f);
  for (i32 i = 0; i < 40; ++i) systemTextFileScrollUp(pWidget, nullptr);
  renderScreen();
  EXPECT_FLOAT_EQ(pPage->mp_fScrollOffset, 0.0f);
  EXPECT_EQ(rowsDrawn(), expectedRows(0, 10));
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
}

// Holding down scrolls on the press, again after about 0.2 s, then every frame or two at 60 frames a second; a
// release and a new press scroll at once.
TEST_F(TextWidgetTest, HoldingDownRepeats) {
  std::u16string file;
  for (i32 i = 0; i < 200; ++i) file += u"line\n";
  writeLoose("Text/Long.txt", utf16le(file));
  loadScreen(textFile("Credits", "Long.txt"));
  ClWidget* pWidget = transitionIn("Credits");
  const STextFilePage* pPage = KvTextFilePageOf(pWidget);
  ASSERT_NE(pPage, nullptr);
  startPad();
  ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 1.0f / 60.0f;
  std::vector<i32> scrollFrames;
  f32 fLast = 0.0f;
  for (i32 frame = 0; frame < 40; ++frame) {
    padFrame(false, true);
    renderScreen();
    if (pPage->mp_fScrollOffset != fLast) scrollFrames.push_back(frame);
    fLast = pPage->mp_fScrollOffset;
  }
  ASSERT_GE(scrollFrames.size(), 3u);
  EXPECT_EQ(scrollFrames[0], 0);
  EXPECT_GE(scrollFrames[1], 11) << "about 0.2 s after the press";
  EXPECT_LE(scrollFrames[1], 14);
  for (size_t i = 2; i < scrollFrames.size(); ++i) {
    EXPECT_LE(scrollFrames[i] - scrollFrames[i - 1], 2) << i;
  }
  EXPECT_GE(scrollFrames.size(), 2u + (40u - static_cast<size_t>(scrollFrames[1])) / 2u);

  padFrame(false, false);
  renderScreen();
  EXPECT_DOUBLE_EQ(KvTextFileRepeatTimer(), gc_dTEXT_FILE_REPEAT_START);
  const f32 fBefore = pPage->mp_fScrollOffset;
  padFrame(true, false);
  renderScreen();
  EXPECT_FLOAT_EQ(pPage->mp_fScrollOffset, fBefore - 12.0f);
  // While input is blocked a press does nothing.
  padFrame(false, false);
  renderScreen();
  ClGameStateMgr::blockInput(2);
  padFrame(true, false);
  renderScreen();
  ClGameStateMgr::blockInput(0);
  EXPECT_FLOAT_EQ(pPage->mp_fScrollOffset, fBefore - 12.0f);
}

// A second transition in keeps the page and reads the file again without doubling its lines; after a transition
// out the next one makes a new page and reads the file as it is now.
TEST_F(TextWidgetTest, TransitionsReadTheFileAgain) {
  writeLoose("Text/Notes.txt", utf16le(u"one\ntwo\nthree"));
  loadScreen(textFile("Notes", "Notes.txt"));
  ClWidget* pWidget = transitionIn("Notes");
  const i32 iHandle = pWidget->getInt("vars");
  EXPECT_GT(iHandle, 0);
  systemTextFileScrollDown(pWidget, nullptr);
  systemTextFileTransitionIn(pWidget, nullptr);
  EXPECT_EQ(pWidget->getInt("vars"), iHandle);
  const STextFilePage* pPage = KvTextFilePageOf(pWidget);
  ASSERT_NE(pPage, nullptr);
  EXPECT_EQ(pPage->mp_daLines.getCount(), 3);
  EXPECT_FLOAT_EQ(pPage->mp_fScrollOffset, 0.0f);

  systemTextFileTransitionOut(pWidget, nullptr);
  EXPECT_EQ(pWidget->getInt("vars"), 0);
  EXPECT_EQ(KvTextFilePageOf(pWidget), nullptr);
  systemTextFileScrollDown(pWidget, nullptr);  // nothing without a page
  writeLoose("Text/Notes.txt", utf16le(u"four"));
  systemTextFileTransitionIn(pWidget, nullptr);
  pPage = KvTextFilePageOf(pWidget);
  ASSERT_NE(pPage, nullptr);
  ASSERT_EQ(pPage->mp_daLines.getCount(), 1);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(pPage->mp_daLines[0])), u"four");
}

// A file without a terminator ends with the file; a missing file gives an empty page that draws nothing; a point
// size of 0 stops with a message naming the widget.
TEST_F(TextWidgetTest, FileEdgesAndAZeroPointSize) {
  writeLoose("Text/Short.txt", utf16le(u"AB"));
  loadScreen(textFile("Short", "Short.txt") + "," + textFile("Missing", "Missing.txt") + "," +
             textFile("Zero", "Short.txt", 0));
  const STextFilePage* pPage = KvTextFilePageOf(transitionIn("Short"));
  ASSERT_NE(pPage, nullptr);
  ASSERT_EQ(pPage->mp_daLines.getCount(), 1);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(pPage->mp_daLines[0])), u"AB");

  pPage = KvTextFilePageOf(transitionIn("Missing"));
  ASSERT_NE(pPage, nullptr);
  EXPECT_EQ(pPage->mp_daLines.getCount(), 0);
  Cl2d::clearSprites();
  ClUI::getWidget("Missing")->render();
  EXPECT_EQ(Cl2d::getNumSprites(), 0);

  const char* pMessage = "Widget [Zero] has [pointSize] 0: a text file needs a point size above 0";
  EXPECT_KV_ASSERT(systemTextFileTransitionIn(ClUI::getWidget("Zero"), nullptr), pMessage);
  EXPECT_KV_ASSERT(systemTextFileRender(ClUI::getWidget("Zero"), nullptr), pMessage);
}

// Fitting a text into a width (canvas units, scale 2 here): the 8-point mono font advances 5 pixels a character
// (2 a blank), "..." is 15 pixels wide, so the limit is 2 x width - 15 pixels. A text that fits is kept whole (-1);
// otherwise the longest prefix that fits with "..." after it (a prefix exactly at the limit fits), 0 when none does.
TEST_F(TextWidgetTest, FittingCutsTheTextAndAddsAnEllipsis) {
  loadScreen(text("Label", R"(, "textAlign": {"id": "L"}, "dynamicText": "")"));
  ClWidget* pLabel = ClUI::getWidget("Label");
  const std::u16string whole = u"abcdefghij";  // 50 pixels
  struct SCase {
    f32 fWidth;
    i32 iCut;
    std::u16string fitted;
  };
  const SCase aCases[] = {{40.0f, -1, u"abcdefghij"}, {32.5f, -1, u"abcdefghij"}, {30.0f, 9, u"abcdefghi..."},
                          {20.0f, 5, u"abcde..."},    {19.9f, 4, u"abcd..."},       {8.0f, 0, u"..."}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.fWidth);
    EXPECT_EQ(findTextCutIndex(pLabel, reinterpret_cast<const wchar16*>(whole.c_str()), c.fWidth), c.iCut);
    setFittedDynamicUnicodeText(pLabel, reinterpret_cast<const wchar16*>(whole.c_str()), c.fWidth);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(pLabel->getUnicodeString("dynamicUnicodeText"))),
              c.fitted);
  }
  // Widths are of the text on one line: wrapped at the widget's own width (10 units), "abc def ghi" (49 pixels)
  // would measure as its widest line, "abc " (17). A prefix never ends between the two units of a surrogate pair
  // (a character without a glyph is measured as the default character '?', 5 pixels): "ab" and two pairs are 30.
  for (const auto& [pText, fWrapWidth, iCut] :
       {std::tuple{u"abc def ghi", 10.0f, 5}, std::tuple{u"ab\U0001F600\U0001F600", 0.0f, 4}}) {
    SCOPED_TRACE(fWrapWidth);
    pLabel->setFloat(KvStrHash("maxWidth"), fWrapWidth);
    EXPECT_EQ(findTextCutIndex(pLabel, reinterpret_cast<const wchar16*>(pText), 20.0f), iCut);
  }
  EXPECT_KV_ASSERT(findTextCutIndex(pLabel, reinterpret_cast<const wchar16*>(whole.c_str()), 0.0f),
                   "fWidthToFitArg > KV_ZERO");
  pLabel->setID(KvStrHash("textAlign"), KvStrHash("X"));
  EXPECT_KV_FATAL(findTextCutIndex(pLabel, reinterpret_cast<const wchar16*>(whole.c_str()), 10.0f),
                  "Unspecified text align!");
}

}  // namespace

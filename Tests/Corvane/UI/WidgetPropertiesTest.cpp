// Widget properties: typed reads and writes, tables sized from the data, values overwritten in the loaded
// data, the assertion texts, and the bounded text writers.
#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

class WidgetPropertiesTest : public UITest {};

// A description of one widget with n INT properties p0..p(n-1) = 0..n-1.
std::string widgetWithInts(const char* pName, int iCount) {
  std::string properties;
  for (int i = 0; i < iCount; ++i) {
    properties += std::string(i ? ", " : "") + "\"p" + std::to_string(i) + "\": " + std::to_string(i);
  }
  return std::string("{\"root\": {\"name\": \"") + pName + "\", \"properties\": {" + properties + "}}}";
}

TEST_F(WidgetPropertiesTest, TableHasEightSlotsUpToEightDataPropertiesThenThePowerOfTwoAbove) {
  ASSERT_TRUE(load("A", widgetWithInts("Three", 3)));
  ASSERT_TRUE(load("B", widgetWithInts("Nine", 9)));
  ASSERT_TRUE(load("C", widgetWithInts("None", 0)));
  EXPECT_EQ(W("Three")->mp_Properties.getCapacity(), 8);
  EXPECT_EQ(W("Nine")->mp_Properties.getCapacity(), 16);
  EXPECT_EQ(W("None")->mp_Properties.getCapacity(), 8);
  EXPECT_EQ(W("Nine")->mpr_iNumDefaultPropertyContainers, 9);
  EXPECT_EQ(W("Nine")->getInt("p8"), 8);
  EXPECT_EQ(W("Nine")->getInt("P8"), 8) << "names fold case";
}

TEST_F(WidgetPropertiesTest, SettingADataPropertyOverwritesTheLoadedValueInPlace) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "W", "properties": {
      "count": 3, "speed": 1.5, "label": "abc", "cell": {"gridxy": [1, 2]}}}})"));
  ClWidget* pWidget = W("W");
  const u8* pBlock = ClUI::getUIDataEntry(0)->mp_pBlock;
  const u32 uiBlockSize = ClUI::getUIDataEntry(0)->mp_uiBlockSize;
  const auto inBlock = [&](const void* p) {
    return static_cast<const u8*>(p) >= pBlock && static_cast<const u8*>(p) < pBlock + uiBlockSize;
  };

  pWidget->setInt(H("count"), 42);
  pWidget->setFloat(H("speed"), -2.0f);
  pWidget->setString(H("label"), "changed");
  pWidget->setGridXY(H("cell"), 7, 9);
  EXPECT_EQ(pWidget->mp_RuntimeProperties.getSize(), 0u) << "no run-time copy of a data property";
  EXPECT_TRUE(inBlock(pWidget->findProperty(H("count"))->mp_pData));
  EXPECT_EQ(*static_cast<const i32*>(pWidget->findProperty(H("count"))->mp_pData), 42);
  EXPECT_EQ(pWidget->getInt("count"), 42);
  EXPECT_EQ(pWidget->getFloat("speed"), -2.0f);
  EXPECT_STREQ(pWidget->getString("label"), "changed");
  i32 iX = 0, iY = 0;
  pWidget->getGridXY("cell", &iX, &iY);
  EXPECT_EQ(iX, 7);
  EXPECT_EQ(iY, 9);

  // A name the data does not have is created at run time, outside the block.
  pWidget->setInt(H("fresh"), 5);
  EXPECT_EQ(pWidget->mp_RuntimeProperties.getSize(), 1u);
  EXPECT_FALSE(inBlock(pWidget->findProperty(H("fresh"))->mp_pData));
  EXPECT_EQ(pWidget->getInt("fresh"), 5);
}

TEST_F(WidgetPropertiesTest, MissingPropertiesReadAsTheirDefaultsAndTheStrictReadersStop) {
  ClWidget* pRoot = ClUI::getRootWidget();
  EXPECT_EQ(pRoot->getInt("nothing"), 0);
  EXPECT_EQ(pRoot->getID("nothing"), 0u);
  EXPECT_EQ(pRoot->getFloat("nothing"), 0.0f);
  EXPECT_EQ(pRoot->getXY("nothing"), (kv_vector2{0.0f, 0.0f}));
  i32 iX = 0, iY = 0;
  pRoot->getGridXY("nothing", &iX, &iY);
  EXPECT_EQ(iX, -1);
  EXPECT_EQ(iY, -1);
  EXPECT_FALSE(pRoot->hasString("nothing"));
  EXPECT_FALSE(pRoot->hasAtlas());
  EXPECT_KV_FATAL(pRoot->getString("nothing"), "Cannot find string property [nothing] for getString()!");
  EXPECT_KV_FATAL(pRoot->getUnicodeString("dynamicUnicodeText"),
                  "Cannot find string property [dynamicUnicodeText] for getUnicodeString()!");
  EXPECT_KV_FATAL(pRoot->getLayout("widgetLayout"), "Cannot find Layout property [widgetLayout] for getLayout()!");
}

TEST_F(WidgetPropertiesTest, EveryTypeRoundTripsAndAWrongTypeIsTheTypedAssertion) {
  ClWidget* pRoot = ClUI::getRootWidget();
  pRoot->setInt(H("i"), -7);
  pRoot->setFloat(H("f"), 0.25f);
  pRoot->setBool(H("b"), 1);
  pRoot->setID(H("id"), H("Target"));
  pRoot->setColor(H("c"), 0x80FF0000u);
  u32 auiLayout[gc_iLAYOUT_WORDS] = {};
  auiLayout[3] = 4;
  auiLayout[6] = 8;
  pRoot->setLayout(H("layout"), auiLayout);
  pRoot->setPercentXYPair(H("pct"), 0.5f, 0.75f);
  const f32 afXY[2] = {3.0f, -4.0f};
  pRoot->setFloatXY(H("xy"), afXY);
  pRoot->setString(H("atlas"), "not an id");

  EXPECT_EQ(pRoot->getInt("i"), -7);
  EXPECT_EQ(pRoot->getFloat("f"), 0.25f);
  EXPECT_EQ(pRoot->getInt("b"), 1);
  EXPECT_EQ(pRoot->getID("id"), H("Target"));
  EXPECT_EQ(pRoot->getID("c"), 0x80FF0000u);
  EXPECT_EQ(std::memcmp(pRoot->getLayout("layout"), auiLayout, sizeof(auiLayout)), 0);
  EXPECT_EQ(pRoot->getXY("pct"), (kv_vector2{0.5f, 0.75f}));
  EXPECT_EQ(pRoot->getXY("xy"), (kv_vector2{3.0f, -4.0f}));

  EXPECT_KV_ASSERT(pRoot->setFloat(H("i"), 1.0f), "pProp->mp_eType == E_BASE_TYPE_FLOAT");
  EXPECT_KV_ASSERT(pRoot->setInt(H("f"), 1), "pProp->mp_eType == E_BASE_TYPE_INT");
  EXPECT_KV_ASSERT(pRoot->setColor(H("id"), 1), "pProp->mp_eType == E_BASE_TYPE_COLOR");
  EXPECT_KV_ASSERT(pRoot->hasString("i"), "pProp->mp_eType == E_BASE_TYPE_ASCII_STRING");
  EXPECT_KV_ASSERT(pRoot->hasAtlas(), "pProp->mp_eType == E_BASE_TYPE_ID");
  EXPECT_EQ(pRoot->getInt("i"), -7) << "a refused write changes nothing";
}

TEST_F(WidgetPropertiesTest, TextsKeepAtMost255CharactersAndUnicodeTextsAreMeasuredInUnits) {
  ClWidget* pRoot = ClUI::getRootWidget();
  const std::string longest(255, 'x');
  pRoot->setString(H("text"), longest.c_str());
  EXPECT_EQ(std::string(pRoot->getString("text")), longest);
  EXPECT_KV_ASSERT(pRoot->setString(H("text"), std::string(256, 'y').c_str()),
                   "KvStrLen(pValue) < gc_iMAX_UI_STRING_LEN");
  EXPECT_EQ(std::string(pRoot->getString("text")), longest);

  // 255 units fit; 256 are refused before anything is copied (the block holds 256 units in all).
  std::u16string unicode(255, u'\u00E9');
  pRoot->setUnicodeString(H("dynamicUnicodeText"), unicode.c_str());
  EXPECT_EQ(std::u16string(pRoot->getUnicodeString("dynamicUnicodeText")), unicode);
  EXPECT_TRUE(pRoot->hasUnicodeString("dynamicUnicodeText"));
  const std::u16string tooLong(300, u'\u0100');  // no zero byte anywhere: an 8-bit length would run on
  EXPECT_KV_ASSERT(pRoot->setUnicodeString(H("dynamicUnicodeText"), tooLong.c_str()),
                   "KvStrLen(puiString) < gc_iMAX_UI_STRING_LEN");
  EXPECT_EQ(std::u16string(pRoot->getUnicodeString("dynamicUnicodeText")), unicode);
  // A shorter text replaces a longer one whole.
  pRoot->setUnicodeString(H("dynamicUnicodeText"), u"ab");
  EXPECT_EQ(std::u16string(pRoot->getUnicodeString("dynamicUnicodeText")), u"ab");
}

TEST_F(WidgetPropertiesTest, AWidgetIsNamedByItsDataNameElseItsDynamicTextElseCloneGlobalData) {
  ASSERT_TRUE(load("A", R"({"root": {"name": "Named"}})"));
  EXPECT_STREQ(W("Named")->getName(), "Named");
  ClWidget* pRoot = ClUI::getRootWidget();
  EXPECT_STREQ(pRoot->getName(), "CLONE/GLOBALDATA");
  pRoot->setString(H("dynamicText"), "");
  EXPECT_STREQ(pRoot->getName(), "CLONE/GLOBALDATA");
  pRoot->setString(H("dynamicText"), "Shown");
  EXPECT_STREQ(pRoot->getName(), "Shown");
}

TEST_F(WidgetPropertiesTest, ColourWriterSetsBothAnimatorsAtOnceAndBothColourProperties) {
  ClWidget* pRoot = ClUI::getRootWidget();
  pRoot->setTextAndTextureColor(0x80402010u);
  for (const ClAnimator<ClColor>& animator : pRoot->mp_aColorAnimators) {
    EXPECT_EQ(animator.mp_params.mp_iKind, gc_iANIM_PLAY_SET);
    EXPECT_EQ(animator.mp_uiCurrentColor, 0x80402010u);
    EXPECT_EQ(animator.mp_bActive, 0);
    EXPECT_FLOAT_EQ(animator.mp_end.r, 0x40 / 255.0f);
    EXPECT_FLOAT_EQ(animator.mp_end.a, 0x80 / 255.0f);
  }
  EXPECT_EQ(pRoot->getID("textColor"), 0x80402010u);
  EXPECT_EQ(pRoot->getID("textureColor"), 0x80402010u);
}

TEST_F(WidgetPropertiesTest, LocalizedIDsAreTheHashesOfTheFormattedNames) {
  ClWidget* pRoot = ClUI::getRootWidget();
  pRoot->setLocalizedID("mainmenu_play");
  EXPECT_EQ(pRoot->getID("localizedID"), H("mainmenu_play"));
  pRoot->setLocalizedIDFormatted("level_%d_name", 12);
  EXPECT_EQ(pRoot->getID("localizedID"), H("level_12_name"));
  // A text identifier that no table holds leaves an empty text rather than garbage.
  pRoot->setLocalizedTextWithInt("no_such_text", 5);
  EXPECT_EQ(std::u16string(pRoot->getUnicodeString("dynamicUnicodeText")), u"");
}

// Building from raw records made in code: the checks that data files never reach (the loader refuses such
// files first).
TEST_F(WidgetPropertiesTest, RawRecordsWithATypeAFileCannotHoldOrADuplicateNameStop) {
  SRawWidgetProperty properties[2] = {};
  SRawWidgetProperty* apProperties[2] = {&properties[0], &properties[1]};
  SRawWidgetInstance raw = {};
  std::strcpy(raw.mp_acName, "Raw");
  raw.mp_ppProperties = apProperties;
  raw.mp_iNumProperties = 2;
  properties[0].mp_uiNameHash = H("a");
  properties[1].mp_uiNameHash = H("b");
  properties[1].mp_uiType = E_BASE_TYPE_UNICODE_STRING;
  {
    ClWidget widget;
    widget.mp_pRawData = &raw;
    EXPECT_KV_FATAL(widget.initialiseFromRawData(), "Unknown Widget base type [5]");
  }
  properties[1].mp_uiType = 15;
  {
    ClWidget widget;
    widget.mp_pRawData = &raw;
    EXPECT_KV_FATAL(widget.initialiseFromRawData(), "Unknown Widget base type [15]");
  }
  properties[1].mp_uiType = E_BASE_TYPE_INT;
  properties[1].mp_uiNameHash = H("A");
  {
    ClWidget widget;
    widget.mp_pRawData = &raw;
    EXPECT_KV_ASSERT(widget.initialiseFromRawData(),
                     "Duplicate property defined in widget [Raw]: this can be caused by duplicate properties in "
                     "the base class in the CHI/CHF.");
  }
  ClWidget noData;
  EXPECT_KV_ASSERT(noData.initialiseFromRawData(), "mp_pRawData");
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Data/ClDataScriptEvaluator.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tools/kdsc/KdsSource.h"

namespace {

class Evaluator : public ::testing::Test {
 protected:
  void SetUp() override {
    ClDataScriptEvaluator::initialize();
    ClDataScriptEvaluator::clearConstants();
  }
  void TearDown() override {
    for (ClDScriptData2* pTree : m_trees) {
      ClDScriptData2::destroyTree(pTree);
    }
    ClDataScriptEvaluator::terminate();
  }

  // The root of a compiled script text.
  ClDScriptData2* tree(const std::string& text) {
    SKdsSourceNode source;
    std::string error;
    EXPECT_TRUE(KdsParseSource(text, "reactions.kdt", &source, &error)) << error;
    const std::vector<uint8_t> image = KdsWriteImage(source);
    ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(image.data(), image.size(), "reactions.kds");
    m_trees.push_back(pRoot);
    return pRoot;
  }

  static i32 eval(const char* pExpression) { return ClDataScriptEvaluator::evaluateExpression(pExpression); }

  std::vector<ClDScriptData2*> m_trees;
};

TEST_F(Evaluator, NumbersCompareInSinglePrecision) {
  ClDataScriptEvaluator::addConstantFloat("HitPoints", 0.0f);
  ClDataScriptEvaluator::addConstantFloat("Random", 0.25f);
  EXPECT_EQ(eval("HitPoints <= 0"), 1);
  EXPECT_EQ(eval("HitPoints < 0"), 0);
  EXPECT_EQ(eval("HitPoints >= 0"), 1);
  EXPECT_EQ(eval("HitPoints > -1"), 1);
  EXPECT_EQ(eval("HitPoints != 0"), 0);
  EXPECT_EQ(eval("HitPoints== 0"), 1);
  EXPECT_EQ(eval("1 == Random"), 0);
  EXPECT_EQ(eval("0.25 == Random"), 1);
  // 0.1 as a double differs from the float constant; compared as floats they are equal.
  ClDataScriptEvaluator::addConstantFloat("Tenth", 0.1f);
  EXPECT_EQ(eval("Tenth == 0.1"), 1);
  ClDataScriptEvaluator::addConstantFloat("NaN", std::nanf(""));
  EXPECT_EQ(eval("NaN == 0"), 0);
  EXPECT_EQ(eval("NaN >= 0"), 0);
  EXPECT_EQ(eval("NaN != 0"), 1);
  // The first constant of a name wins.
  ClDataScriptEvaluator::addConstantFloat("HitPoints", 5.0f);
  EXPECT_EQ(eval("HitPoints == 0"), 1);
  EXPECT_EQ(ClDataScriptEvaluator::getConstantCount(), 5);
  ClDataScriptEvaluator::clearConstants();
  EXPECT_EQ(ClDataScriptEvaluator::getConstantCount(), 0);
}

TEST_F(Evaluator, TextsKeepTheirApostrophes) {
  ClDataScriptEvaluator::addConstantString("State", "'a'");
  ClDataScriptEvaluator::addConstantString("Bare", "a");
  EXPECT_EQ(eval("State == 'a'"), 1);
  EXPECT_EQ(eval("State != 'a'"), 0);
  EXPECT_EQ(eval("Bare == 'a'"), 0);
  EXPECT_EQ(eval("State == 'a b'"), 0);  // spaces after the operator belong to the right operand
  EXPECT_KV_FATAL(eval("State >= 'a'"), "Wrong expression, operator [>=] is not supported for STRINGS. [State >= 'a']");
  EXPECT_KV_FATAL(eval("State == 1"), "Wrong expression, operands type error! [State == 1]");
  EXPECT_KV_FATAL(eval("State == 'a=b'"), "Invalid expression! [State == 'a=b']");
}

TEST_F(Evaluator, OperatorNeedsASpaceAfterIt) {
  ClDataScriptEvaluator::addConstantFloat("x", 1.0f);
  EXPECT_EQ(eval("x == 1"), 1);
  EXPECT_EQ(eval("x== 1"), 1);
  EXPECT_KV_FATAL(eval("x==1"), "Invalid expression! [x==1]");
  EXPECT_KV_FATAL(eval(""), "Invalid expression! []");
  EXPECT_KV_FATAL(eval("x == "), "Invalid expression! [x == ]");
  EXPECT_KV_FATAL(eval("x"), "Invalid expression! [x]");
  EXPECT_KV_FATAL(eval("x = 1"), "Wrong expression, operator [=] is not supported for FLOATS. [x = 1]");
  // A leading minus makes a number only on the right.
  EXPECT_EQ(eval("x == -1"), 0);
  ClDataScriptEvaluator::addConstantFloat("m", -1.0f);
  EXPECT_EQ(eval("m == -1"), 1);
  EXPECT_KV_FATAL(eval("-1 == x"), "Wrong expression, variable [-1] doesn't exist! [-1 == x]");
  EXPECT_KV_FATAL(eval("y == 1"), "Wrong expression, variable [y] doesn't exist! [y == 1]");
}

TEST_F(Evaluator, PartsLongerThan255CharactersAreInvalid) {
  const std::string name(255, 'n');
  ClDataScriptEvaluator::addConstantFloat(name.c_str(), 2.0f);
  EXPECT_EQ(eval((name + " == 2").c_str()), 1);
  const std::string longName(256, 'n');
  ClDataScriptEvaluator::addConstantFloat(longName.c_str(), 2.0f);
  EXPECT_KV_FATAL(eval((longName + " == 2").c_str()), "Invalid expression!");
  EXPECT_KV_FATAL(eval(("x == '" + std::string(300, 'r') + "'").c_str()), "Invalid expression!");
  EXPECT_KV_FATAL(eval(("x in ('" + std::string(300, 'r') + "')").c_str()), "Invalid expression!");
  const std::string tooLong(768, 'c');
  EXPECT_KV_ASSERT(ClDataScriptEvaluator::addConstantFloat(tooLong.c_str(), 1.0f),
                   "DataScriptEvaluator: Constant names cannot be longer than 768 for [ccc");
  EXPECT_KV_ASSERT(ClDataScriptEvaluator::addConstantString("ok", tooLong.c_str()),
                   "DataScriptEvaluator: Constant string values cannot be longer than 768 for [ccc");
}

TEST_F(Evaluator, MembershipLists) {
  ClDataScriptEvaluator::addConstantString("HitType", "'b'");
  ClDataScriptEvaluator::addConstantFloat("Lane", 2.0f);
  ClDataScriptEvaluator::addConstantFloat("Two", 2.0f);
  EXPECT_EQ(eval("HitType in ('a','b')"), 1);
  EXPECT_EQ(eval("HitType in ('a', 'b')"), 1);
  EXPECT_EQ(eval("HitType not_in ('a','b')"), 0);
  EXPECT_EQ(eval("HitType in ('a','c')"), 0);
  EXPECT_EQ(eval("HitType in (1, 2)"), 0);  // items of the other kind never match
  EXPECT_EQ(eval("Lane in (1, Two, 3)"), 1);
  EXPECT_EQ(eval("Lane in (1,3)"), 0);
  EXPECT_EQ(eval("Lane in nothing"), 0);
  EXPECT_KV_FATAL(eval("HitType in ('a',,'b')"), "Wrong expression, [HitType in ('a',,'b')]");
  EXPECT_KV_FATAL(eval("HitType in ()"), "Wrong expression, [HitType in ()]");
  EXPECT_KV_FATAL(eval("HitType in ('a','c'"), "Wrong expression, [HitType in ('a','c']");
  EXPECT_KV_FATAL(eval("HitType in ('a', Foo)"), "Wrong expression, variable [Foo] doesn't exist!");
}

TEST_F(Evaluator, ConditionNodesApplyConnectorsLeftToRightAndEvaluateAll) {
  ClDataScriptEvaluator::addConstantFloat("one", 1.0f);
  ClDataScriptEvaluator::addConstantFloat("zero", 0.0f);
  ClDScriptData2* pRoot = tree(R"(
    A = ["zero == 1", "and", "one == 1", "or", "one == 1"]
    B = ["one == 1", "or", "one == 1", "and", "zero == 1"]
    C = [["zero == 1", "or", "one == 1"], #and, "one == 1"]
    D = ["one == 1", "or", "missing == 1"]
    E = ["one == 1", "xor", "one == 1"]
  )");
  EXPECT_EQ(ClDataScriptEvaluator::evaluateCondition(pRoot->getChild("A")), 1);  // (0 and 1) or 1
  EXPECT_EQ(ClDataScriptEvaluator::evaluateCondition(pRoot->getChild("B")), 0);  // (1 or 1) and 0
  EXPECT_EQ(ClDataScriptEvaluator::evaluateCondition(pRoot->getChild("C")), 1);
  EXPECT_KV_FATAL(ClDataScriptEvaluator::evaluateCondition(pRoot->getChild("D")),
                  "Wrong expression, variable [missing] doesn't exist!");
  EXPECT_KV_FATAL(ClDataScriptEvaluator::evaluateCondition(pRoot->getChild("E")), "Wrong expression!");
}

TEST_F(Evaluator, FindActionSearchesDepthFirstUnderTrueConditions) {
  ClDScriptData2* pRoot = tree(R"(
    WithCondition = [ "State == 'never'",
      [ "HitPoints <= 0", Action = #Die ],
      [ "HitPoints > 0", [ "Random < 0.5", Action = #Walk ], Action = #Run ] ]
    WithConditionNode = [ ["State == 'never'", "and", "State == 'x'"],
      [ "HitPoints > 0", Action = #Run ] ]
    NoCondition = [ [ "HitPoints > 100", Action = #Rage ], Action = #Idle ]
    Nothing = [ "HitPoints > 0", [ "HitPoints > 100", Action = #Rage ] ]
  )");
  ClDataScriptEvaluator::addConstantString("State", "'x'");
  ClDataScriptEvaluator::addConstantFloat("HitPoints", 5.0f);
  ClDataScriptEvaluator::addConstantFloat("Random", 0.75f);
  // The root's own condition is false but never tested; the first true branch answers.
  ClDScriptData2* pAction = ClDataScriptEvaluator::findAction(pRoot->getChild("WithCondition"));
  ASSERT_NE(pAction, nullptr);
  EXPECT_STREQ(pAction->getString(), "Run");
  pAction = ClDataScriptEvaluator::findAction(pRoot->getChild("WithConditionNode"));
  ASSERT_NE(pAction, nullptr);
  EXPECT_STREQ(pAction->getString(), "Run");
  EXPECT_STREQ(ClDataScriptEvaluator::findAction(pRoot->getChild("NoCondition"))->getString(), "Idle");
  EXPECT_EQ(ClDataScriptEvaluator::findAction(pRoot->getChild("Nothing")), nullptr);

  ClDataScriptEvaluator::clearConstants();
  ClDataScriptEvaluator::addConstantString("State", "'x'");
  ClDataScriptEvaluator::addConstantFloat("HitPoints", 5.0f);
  ClDataScriptEvaluator::addConstantFloat("Random", 0.25f);
  EXPECT_STREQ(ClDataScriptEvaluator::findAction(pRoot->getChild("WithCondition"))->getString(), "Walk");
  ClDataScriptEvaluator::clearConstants();
  ClDataScriptEvaluator::addConstantString("State", "'x'");
  ClDataScriptEvaluator::addConstantFloat("HitPoints", 0.0f);
  ClDataScriptEvaluator::addConstantFloat("Random", 0.25f);
  EXPECT_STREQ(ClDataScriptEvaluator::findAction(pRoot->getChild("WithCondition"))->getString(), "Die");
}

}  // namespace

// Expressions are split once and kept by address: a text rewritten in the same buffer, constants added in another
// order or under another kind, and more texts than the table holds all still answer from what is there now.
TEST_F(Evaluator, SplitExpressionsFollowTheirTextAndTheConstantsOfTheMoment) {
  char szBuffer[64] = "Lane == 2";
  ClDataScriptEvaluator::addConstantFloat("Lane", 2.0f);
  ClDataScriptEvaluator::addConstantString("State", "'Left'");
  EXPECT_EQ(eval(szBuffer), 1);
  std::snprintf(szBuffer, sizeof(szBuffer), "State == 'Left'");
  EXPECT_EQ(eval(szBuffer), 1);
  std::snprintf(szBuffer, sizeof(szBuffer), "Lane != 2");
  EXPECT_EQ(eval(szBuffer), 0);
  // The same names in another order and with other values.
  ClDataScriptEvaluator::clearConstants();
  ClDataScriptEvaluator::addConstantString("State", "'Right'");
  ClDataScriptEvaluator::addConstantFloat("Lane", 1.0f);
  EXPECT_EQ(eval(szBuffer), 1);
  EXPECT_EQ(eval("State == 'Left'"), 0);
  ClDataScriptEvaluator::clearConstants();
  ClDataScriptEvaluator::addConstantString("Lane", "'a'");
  EXPECT_KV_FATAL(eval(szBuffer), "Wrong expression, operands type error! [Lane != 2]");
  ClDataScriptEvaluator::clearConstants();
  EXPECT_KV_FATAL(eval(szBuffer), "Wrong expression, variable [Lane] doesn't exist! [Lane != 2]");
  // More distinct texts than the table has places, each evaluated twice.
  ClDataScriptEvaluator::addConstantFloat("Lane", 7.0f);
  std::vector<std::string> texts;
  for (i32 i = 0; i < 3000; ++i) texts.push_back("Lane " + std::string(i % 2 == 0 ? "<" : ">=") + " " + std::to_string(i));
  for (i32 iPass = 0; iPass < 2; ++iPass) {
    for (i32 i = 0; i < 3000; ++i) {
      const i32 iExpected = i % 2 == 0 ? (7 < i) : (7 >= i);
      ASSERT_EQ(eval(texts[static_cast<size_t>(i)].c_str()), iExpected) << texts[static_cast<size_t>(i)];
    }
  }
}

// Every operator answers the same from a split kept since the first evaluation as when it was split, after the
// constants changed value between the two.
TEST_F(Evaluator, KeptSplitsAnswerForTheCurrentValues) {
  struct SCase {
    const char* m_pExpression;
    i32 m_iWithFirst;   // Lane 1, State 'a'
    i32 m_iWithSecond;  // Lane 3, State 'b'
  };
  const SCase aCases[] = {
      {"Lane == 1", 1, 0},           {"Lane != 1", 0, 1},         {"Lane >= 2", 0, 1},
      {"Lane <= 2", 1, 0},           {"Lane > -1", 1, 1},         {"Lane < 3", 1, 0},
      {"2 < Lane", 0, 1},            {"State == 'a'", 1, 0},      {"State != 'a'", 0, 1},
      {"State in ('b', 'c')", 0, 1}, {"Lane not_in (1, 2)", 0, 1}, {"State == State", 1, 1},
  };
  for (const auto& [fLane, pState, bFirst] : {std::tuple{1.0f, "'a'", true}, std::tuple{3.0f, "'b'", false}}) {
    ClDataScriptEvaluator::clearConstants();
    ClDataScriptEvaluator::addConstantString("State", pState);
    ClDataScriptEvaluator::addConstantFloat("Lane", fLane);
    for (const SCase& c : aCases) {
      EXPECT_EQ(eval(c.m_pExpression), bFirst ? c.m_iWithFirst : c.m_iWithSecond) << c.m_pExpression;
    }
  }
}

// Fixed names keep their records between fills: each evaluation sees the values and the names of the fill before
// it, whatever another fill left at those places (other names, plain names, another kind, a table that moved).
TEST_F(Evaluator, FixedNamesSeeEachFillsValues) {
  static constexpr SDataScriptName s_aNames[] = {{"Alpha"}, {"Beta"}, {"Gamma"}};
  // The same texts every fill, as a caller's script: each compares a name with a plain constant of what it should be.
  static const char* const s_apChecks[] = {"Alpha == WantAlpha", "Beta == WantBeta", "Gamma == WantGamma"};
  struct SFill {
    std::vector<i32> m_names;  // indices into s_aNames; +10: the same name given as a plain text
    i32 m_iPads;               // plain constants added before them
    bool m_bText;              // the values as texts 'v<n>' instead of numbers
    i32 m_iBase;               // a name's value is base + its index
  };
  const SFill aFills[] = {
      {{0, 1, 2}, 0, false, 1},   {{0, 1, 2}, 0, true, 5},   {{2, 1, 0}, 0, false, 9},
      {{10, 1, 12}, 0, false, 2}, {{0, 1, 2}, 0, false, 4},  {{0, 1, 2}, 1, true, 3},
      {{0, 1, 2}, 20, false, 6},  {{0, 11, 2}, 0, false, 8}, {{0, 1, 2}, 20, true, 7},
  };
  for (const SFill& fill : aFills) {
    ClDataScriptEvaluator::clearConstants();
    for (i32 i = 0; i < fill.m_iPads; ++i) {
      ClDataScriptEvaluator::addConstantFloat(("Pad" + std::to_string(i)).c_str(), -1.0f);
    }
    for (const bool bWant : {false, true}) {
      for (const i32 iName : fill.m_names) {
        const SDataScriptName& name = s_aNames[iName % 10];
        const i32 iValue = fill.m_iBase + iName % 10;
        const std::string text = "'v" + std::to_string(iValue) + "'";
        const std::string want = std::string("Want") + name.m_pName;
        const char* pPlain = bWant ? want.c_str() : name.m_pName;
        if (fill.m_bText) {
          bWant || iName >= 10 ? ClDataScriptEvaluator::addConstantString(pPlain, text.c_str())
                               : ClDataScriptEvaluator::addConstantString(name, text.c_str());
        } else {
          bWant || iName >= 10 ? ClDataScriptEvaluator::addConstantFloat(pPlain, static_cast<f32>(iValue))
                               : ClDataScriptEvaluator::addConstantFloat(name, static_cast<f32>(iValue));
        }
      }
    }
    EXPECT_EQ(ClDataScriptEvaluator::getConstantCount(), fill.m_iPads + 6);
    for (const char* pCheck : s_apChecks) {
      EXPECT_EQ(eval(pCheck), 1) << pCheck << " in the fill of base " << fill.m_iBase;
    }
  }
}

// A fill in one call answers as the same values added one by one: fills of the same fixed names alternate with fills
// through the adds, in other orders and kinds, plain names among them, with a text too long to keep.
TEST_F(Evaluator, OneCallFillsAnswerAsTheAdds) {
  static constexpr SDataScriptName s_aNames[] = {{"Lane"}, {"State"}, {"Speed"}};
  struct SFill {
    bool m_bOneCall;
    std::vector<i32> m_order;  // indices into s_aNames
    f32 m_fLane;
    const char* m_pState;
    i32 m_iLaneOne, m_iStateLeft, m_iFast;  // "Lane == 1", "State == 'Left'", "Speed > 10"
  };
  const SFill aFills[] = {
      {true, {0, 1, 2}, 1.0f, "'Left'", 1, 1, 1},  {true, {0, 1, 2}, 2.0f, "'Right'", 0, 0, 1},
      {false, {0, 1, 2}, 1.0f, "'Left'", 1, 1, 1}, {true, {2, 0, 1}, 1.0f, "'Lef'", 1, 0, 1},
      {true, {0, 1, 2}, 3.0f, "'Left'", 0, 1, 1},  {false, {1, 2, 0}, 1.0f, "'Left '", 1, 0, 1},
      {true, {0, 1}, 1.0f, "''", 1, 0, -1},        {true, {0, 1, 2}, 1.0f, "'Left'", 1, 1, 1},
  };
  ClDScriptData2* pRoot = tree(R"(C = [ "Lane == 1", "State == 'Left'", "Speed > 10" ])");
  for (const SFill& fill : aFills) {
    std::vector<SDataScriptValue> values;
    for (const i32 iName : fill.m_order) {
      values.push_back({&s_aNames[iName], iName == 1 ? fill.m_pState : nullptr, iName == 0 ? fill.m_fLane : 12.0f});
    }
    if ((&fill - aFills) % 2 == 0) {
      ClDataScriptEvaluator::addConstantFloat("Stale", 0.0f);  // else the table still holds the last fill's names
    }
    if (fill.m_bOneCall) {
      ClDataScriptEvaluator::setConstants(values.data(), static_cast<i32>(values.size()));
    } else {
      ClDataScriptEvaluator::clearConstants();
      for (const SDataScriptValue& value : values) {
        value.m_pText != nullptr ? ClDataScriptEvaluator::addConstantString(*value.m_pName, value.m_pText)
                                 : ClDataScriptEvaluator::addConstantFloat(*value.m_pName, value.m_fValue);
      }
    }
    EXPECT_EQ(ClDataScriptEvaluator::getConstantCount(), static_cast<i32>(values.size()));
    const ClDScriptData2* pNode = pRoot->getChild("C");
    const i32 aiWant[] = {fill.m_iLaneOne, fill.m_iStateLeft, fill.m_iFast};
    for (i32 i = 0; i < 3; ++i) {
      if (aiWant[i] < 0) {
        EXPECT_KV_FATAL(eval(pNode->getChildByIndex(i)->getString()),
                        "Wrong expression, variable [Speed] doesn't exist!");
        continue;
      }
      EXPECT_EQ(eval(pNode->getChildByIndex(i)->getString()), aiWant[i]) << i << " " << fill.m_pState;
      // The same text as a node of a reaction tree (split once and kept with the node).
      ClDScriptData2* pCondition = ClDScriptData2::create();
      pCondition->setArray(1);
      pCondition->addUnnamedChild()->setString(pNode->getChildByIndex(i)->getString());
      EXPECT_EQ(ClDataScriptEvaluator::evaluateCondition(pCondition), aiWant[i]);
      ClDScriptData2::destroyTree(pCondition);
    }
  }
  const std::string tooLong = "'" + std::string(800, 't') + "'";
  const SDataScriptValue aLong[] = {{&s_aNames[0], nullptr, 1.0f}, {&s_aNames[1], tooLong.c_str(), 0.0f}};
  const SDataScriptValue aShort[] = {{&s_aNames[0], nullptr, 1.0f}, {&s_aNames[1], "'x'", 0.0f}};
  for (const bool bHeld : {false, true}) {
    if (bHeld) {
      ClDataScriptEvaluator::setConstants(aShort, 2);
    }
    EXPECT_KV_ASSERT(ClDataScriptEvaluator::setConstants(aLong, 2),
                     "DataScriptEvaluator: Constant string values cannot be longer than 768");
  }
}

// Constants are matched in the order they were added, the first of a repeated name winning, also where an earlier
// evaluation found that name at a later place.
TEST_F(Evaluator, TheFirstOfARepeatedNameAnswers) {
  static constexpr SDataScriptName s_lane{"Lane"};
  ClDataScriptEvaluator::addConstantFloat("Other", 0.0f);
  ClDataScriptEvaluator::addConstantFloat("Lane", 2.0f);
  EXPECT_EQ(eval("Lane == 2"), 1);
  ClDataScriptEvaluator::clearConstants();
  ClDataScriptEvaluator::addConstantFloat("Lane", 1.0f);
  ClDataScriptEvaluator::addConstantFloat("Lane", 2.0f);
  EXPECT_EQ(eval("Lane == 2"), 0);
  const SDataScriptValue aTwice[] = {{&s_lane, nullptr, 3.0f}, {&s_lane, nullptr, 4.0f}};
  for (i32 iFill = 0; iFill < 3; ++iFill) {  // the same keys at the same places after the first fill
    ClDataScriptEvaluator::setConstants(aTwice, 2);
    EXPECT_EQ(eval("Lane == 3"), 1);
    EXPECT_EQ(eval("Lane == 4"), 0);
  }
}

// A node's expression is split once and kept with the node: a new text for the node, a tree built again where the
// last one was, and more nodes than there are places for their splits all answer from the text there now.
TEST_F(Evaluator, NodeSplitsFollowTheirNodesText) {
  ClDataScriptEvaluator::addConstantFloat("Lane", 1.0f);
  ClDScriptData2* pRoot = tree(R"(C = [ "Lane == 1" ])");
  ClDScriptData2* pCondition = pRoot->getChild("C");
  EXPECT_EQ(ClDataScriptEvaluator::evaluateCondition(pCondition), 1);
  pCondition->getChildByIndex(0)->setString("Lane == 2");
  EXPECT_EQ(ClDataScriptEvaluator::evaluateCondition(pCondition), 0);
  pCondition->getChildByIndex(0)->setString("Lane= 1");
  EXPECT_KV_FATAL(ClDataScriptEvaluator::evaluateCondition(pCondition),
                  "Wrong expression, operator [=] is not supported for FLOATS. [Lane= 1]");
  for (const auto& [pText, iWant] : {std::pair{"Lane != 1", 0}, std::pair{"Lane >= 1", 1}, std::pair{"Lane < 1", 0}}) {
    ClDScriptData2::destroyTree(m_trees.back());
    m_trees.pop_back();
    pCondition = tree(std::string("C = [ \"") + pText + "\" ]")->getChild("C");
    EXPECT_EQ(ClDataScriptEvaluator::evaluateCondition(pCondition), iWant) << pText;
  }
  std::string text = "Many = [";
  for (i32 i = 0; i < 5000; ++i) {
    text += " [ \"Lane " + std::string(i % 2 == 0 ? "<" : ">=") + " " + std::to_string(i % 7) + "\" ]";
  }
  ClDScriptData2* pMany = tree(text + " ]")->getChild("Many");
  for (i32 iPass = 0; iPass < 2; ++iPass) {
    for (i32 i = 0; i < 5000; ++i) {
      const i32 iWant = i % 2 == 0 ? (1 < i % 7) : (1 >= i % 7);
      ASSERT_EQ(ClDataScriptEvaluator::evaluateCondition(pMany->getChildByIndex(i)), iWant) << i;
    }
  }
}

// Event procedures: the registry's capacity and checks, dispatch order, skipped names, forwarding, nested
// events, the parameter accessors, and borrowed event records.
#include <cstring>
#include <memory>

#include "Tests/Corvane/UI/UITestSupport.h"

namespace {

class EventDispatchTest : public UITest {};

const char* const gc_pEVENTS = R"({"root": {"name": "W", "properties": {
  "onClick": {"event": {"single": "record0", "calls": [
      {"call": "record1", "params": [7, 0.5, "text", {"id": "Target"}]},
      {"call": "notRegistered"},
      {"call": "record2"},
      {"call": "record3"}]}},
  "onBack": {"event": {"calls": [{"call": "record4"}]}}}}})";

TEST_F(EventDispatchTest, TheSingleProcedureRunsFirstWithoutDataThenEachCallInOrderSkippingUnknownNames) {
  ASSERT_TRUE(load("A", gc_pEVENTS));
  ClWidget* pWidget = W("W");
  pWidget->callEvent(H("onClick"));
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record0", "record1", "record2", "record3"}));
  EXPECT_EQ(g_uiTrace.runs[0].pData, nullptr);
  EXPECT_EQ(g_uiTrace.runs[1].pData->mp_uiProcedureNameHash, H("record1"));
  for (const SProcedureRun& run : g_uiTrace.runs) {
    EXPECT_EQ(run.pWidget, pWidget);
    EXPECT_EQ(run.uiEventHash, H("onClick"));
  }
  EXPECT_EQ(pWidget->mp_uiForwardSourceHash, 0u);

  // Events without a property, and calls on a widget without properties, are silent; so is a value of
  // another type under an event's name, which is never read as an event record.
  g_uiTrace.runs.clear();
  pWidget->callEvent(H("onNothing"));
  ClUI::getRootWidget()->callEvent(H("onClick"));
  pWidget->setInt(H("onTick"), 0x1000);
  pWidget->callEvent(H("onTick"));
  EXPECT_TRUE(g_uiTrace.runs.empty());
}

TEST_F(EventDispatchTest, ParametersAreReadByTypeAndAWrongTypeOrIndexIsAnAssertion) {
  ASSERT_TRUE(load("A", gc_pEVENTS));
  W("W")->callEvent(H("onClick"));
  const WidgetEventProcedureCall* pCall = g_uiTrace.runs.at(1).pData;
  ASSERT_NE(pCall, nullptr);
  ASSERT_EQ(pCall->mp_iNumberWidgetEventProcedureCallDatas, 4);
  EXPECT_EQ(getParamInt(pCall, 0), 7);
  EXPECT_EQ(getParamFloat(pCall, 1), 0.5f);
  EXPECT_EQ(getParamID(pCall, 3), H("Target"));
  EXPECT_STREQ(pCall->mp_ppWidgetEventProcedureCallDatas[2]->mp_acString, "text");
  EXPECT_KV_ASSERT(getParamFloat(pCall, 0), "pParam->mp_eType == E_ESCP_TYPE_FLOAT");
  EXPECT_KV_ASSERT(getParamInt(pCall, 4), "iIndex < pData->mp_iNumberWidgetEventProcedureCallDatas");
  EXPECT_KV_ASSERT(getParamString(pCall), "pParam->mp_eType == E_ESCP_TYPE_STRING");
  EXPECT_KV_ASSERT(getParamInt(nullptr, 0), "pData");

  // A string as parameter 0 is what getParamString reads; an ID there is the type assertion.
  ASSERT_TRUE(load("B", R"({"root": {"name": "S", "properties": {"onClick": {"event": {"calls": [
      {"call": "record0", "params": ["first"]}, {"call": "record1", "params": [{"id": "first"}]}]}}}}})"));
  g_uiTrace.runs.clear();
  W("S")->callEvent(H("onClick"));
  EXPECT_STREQ(getParamString(g_uiTrace.runs.at(0).pData), "first");
  EXPECT_KV_ASSERT(getParamString(g_uiTrace.runs.at(1).pData), "pParam->mp_eType == E_ESCP_TYPE_STRING");
}

TEST_F(EventDispatchTest, ForwardingChoosesTheSingleProcedureAndTheListAndNamesTheSource) {
  ASSERT_TRUE(load("A", gc_pEVENTS));
  ClWidget* pWidget = W("W");
  pWidget->callEventFrom(H("Source"), H("onClick"), false, true);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record1", "record2", "record3"}));
  EXPECT_EQ(pWidget->mp_uiForwardSourceHash, H("Source"));
  g_uiTrace.runs.clear();
  pWidget->callEventFrom(H("Source"), H("onClick"), true, false);
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record0"}));
}

// A procedure that fires another event on its own widget: the later procedures of the outer event see the
// inner event as the current one, and a procedure that adds calls is seen by the running dispatch.
void fireBackOnce(ClWidget* pThis, WidgetEventProcedureCall*) {
  g_uiTrace.runs.push_back({"fireBack", pThis, pThis->mp_uiCurrentEventHash, nullptr});
  pThis->callEvent(H("onBack"));
}

TEST_F(EventDispatchTest, ANestedEventOnTheSameWidgetChangesTheCurrentEventForTheRestOfTheOuterOne) {
  ClUIEventSystemFunctions::registerFunction(H("fireBack"), &fireBackOnce);
  ASSERT_TRUE(load("A", R"({"root": {"name": "W", "properties": {
      "onClick": {"event": {"calls": [{"call": "record0"}, {"call": "fireBack"}, {"call": "record1"}]}},
      "onBack": {"event": {"calls": [{"call": "record2"}]}}}}})"));
  W("W")->callEvent(H("onClick"));
  ASSERT_EQ(runNames(), (std::vector<std::string>{"record0", "fireBack", "record2", "record1"}));
  EXPECT_EQ(g_uiTrace.runs[0].uiEventHash, H("onClick"));
  EXPECT_EQ(g_uiTrace.runs[2].uiEventHash, H("onBack"));
  EXPECT_EQ(g_uiTrace.runs[3].uiEventHash, H("onBack"));
}

void noop(ClWidget*, WidgetEventProcedureCall*) {}

TEST_F(EventDispatchTest, TheRegistryHolds1024ProceduresEachFoundByOneLookupAndRefusesMoreNullsAndTwins) {
  const u32 uiBase = ClUIEventSystemFunctions::getCount();  // the fixture's own procedures
  for (u32 i = uiBase; i < static_cast<u32>(gc_iMAX_EVENT_PROCEDURES); ++i) {
    ClUIEventSystemFunctions::registerFunction(H(("procedure" + std::to_string(i)).c_str()), &noop);
  }
  EXPECT_EQ(ClUIEventSystemFunctions::getCount(), 1024u);
  for (u32 i = uiBase; i < 1024; ++i) {
    ASSERT_EQ(ClUIEventSystemFunctions::findFunction(H(("procedure" + std::to_string(i)).c_str())), &noop) << i;
  }
  EXPECT_EQ(ClUIEventSystemFunctions::findFunction(H("record0")), &recordRun<0>) << "rows never moved";
  EXPECT_KV_ASSERT(ClUIEventSystemFunctions::registerFunction(H("one too many"), &noop),
                   "more than 1024 procedures registered");
  EXPECT_EQ(ClUIEventSystemFunctions::findFunction(H("one too many")), nullptr);
}

TEST_F(EventDispatchTest, ANullProcedureOrANameRegisteredTwiceIsAnAssertion) {
  EXPECT_KV_ASSERT(ClUIEventSystemFunctions::registerFunction(H("empty"), nullptr), "callback");
  EXPECT_KV_ASSERT(ClUIEventSystemFunctions::registerFunction(H("RECORD0"), &noop),
                   "Dynamic Hash Table COLLISION/DUPLICATE KEY!");
  EXPECT_EQ(ClUIEventSystemFunctions::findFunction(H("record0")), &recordRun<0>);
}

TEST_F(EventDispatchTest, AnEventRecordGivenAtRunTimeIsBorrowedAndNeverFreedByTheWidget) {
  // A record the caller owns, set on a widget from data and on the root widget; destroying both (at
  // terminate) must leave it alone: the sanitizers catch any free of it.
  auto pCallData = std::make_unique<WidgetEventProcedureCall>();
  pCallData->mp_uiProcedureNameHash = H("record3");
  WidgetEventProcedureCall* apCalls[1] = {pCallData.get()};
  SWidgetEventCallback callback = {};
  callback.mp_ppCalls = apCalls;
  callback.mp_iNumberCalls = 1;
  ASSERT_TRUE(load("A", gc_pEVENTS));
  W("W")->setEventCallback(H("onStart"), &callback);
  ClUI::getRootWidget()->setEventCallback(H("onStart"), &callback);
  W("W")->callEvent(H("onStart"));
  ClUI::getRootWidget()->callEvent(H("onStart"));
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record3", "record3"}));
  // Replacing a data event keeps the data's record in the block untouched.
  W("W")->setEventCallback(H("onClick"), &callback);
  g_uiTrace.runs.clear();
  W("W")->callEvent(H("onClick"));
  EXPECT_EQ(runNames(), (std::vector<std::string>{"record3"}));
  ClUI::terminate();
  EXPECT_EQ(callback.mp_ppCalls[0]->mp_uiProcedureNameHash, H("record3"));
}

}  // namespace

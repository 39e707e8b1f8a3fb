// The check of the screens' procedure names: every "single" and every call of every event, in every widget
// (a shared child once), is looked up in the registered names; the game's registration is what the build checks
// against.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Tools/kuic/KuiSource.h"
#include "Tools/uicalls/UiCalls.h"

namespace {

std::vector<SUiMissingCall> missingIn(const std::string& description, const std::set<uint32_t>& registered,
                                      bool bNames = true) {
  SKuiScreenSet set;
  std::string error;
  EXPECT_TRUE(KuiParseDescription(description, "t.json", &set, &error)) << error;
  std::vector<std::pair<uint32_t, std::string>> names;
  for (const char* pName : {"onTick", "onClick"}) names.emplace_back(KvStrHash(pName), pName);
  for (const char* pName : {"p", "q", "r"}) {
    if (bNames) names.emplace_back(KvStrHash(pName), pName);
  }
  std::vector<SUiMissingCall> missing;
  EXPECT_TRUE(UiCallsFindMissing(KuiWriteImage(set), "t.kui", names, registered, &missing, &error)) << error;
  return missing;
}

std::string text(const std::vector<SUiMissingCall>& missing) {
  std::string out;
  for (const SUiMissingCall& call : missing) out += call.widget + "." + call.event + ":" + call.procedure + " ";
  return out;
}

TEST(UiCalls, EveryUnregisteredSingleAndCallIsReportedWhereItIsNamed) {
  const std::string set = R"({"root": {"name": "A", "properties": {
      "onTick": {"event": {"single": "p", "calls": [{"call": "q"}, {"call": "r", "params": [1]}]}}},
      "children": [{"name": "B", "properties": {"onClick": {"event": {"calls": [{"call": "q"}]}}}},
                   {"name": "C", "children": ["B"]}]}})";
  const uint32_t p = KvStrHash("p"), q = KvStrHash("q"), r = KvStrHash("r");
  struct SCase {
    std::set<uint32_t> registered;
    bool bNames;
    std::string expected;
  };
  const SCase aCases[] = {
      {{p, q, r}, true, ""},
      {{q, r}, true, "A.onTick:p "},
      {{p, r}, true, "A.onTick:q B.onClick:q "},  // the shared child B once
      {{p, q}, true, "A.onTick:r "},
      {{}, true, "A.onTick:p A.onTick:q A.onTick:r B.onClick:q "},
      {{p, q}, false, "A.onTick:#0x" + [&] {
         char acHex[9];
         std::snprintf(acHex, sizeof(acHex), "%08X", r);
         return std::string(acHex);
       }() + " "},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(text(missingIn(set, c.registered, c.bNames)), c.expected);
  }
}

TEST(UiCalls, TheGamesRegistrationHoldsTheEngineAndGameProcedures) {
  const std::set<uint32_t> registered = UiCallsRegisteredHashes();
  for (const char* pName : {"systemSwitch", "systemGridHandleUp", "systemButtonRender", "systemPauseTick"}) {
    EXPECT_EQ(registered.count(KvStrHash(pName)), 1u) << pName;
  }
  EXPECT_EQ(registered.count(KvStrHash("systemNoSuchProcedure")), 0u);
}

}  // namespace

// The one reader of the stand-ins' fault switches: what a list yields and the line each mistake gets.
#include "Platform/Common/PlatformFaults.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::vector<SPlatformFaultKind> gc_kinds = {
    {"novmr", 0, false}, {"stall", 1, true}, {"open", 3, false}, {"read-complete", 3, false}};

// The faults read, as "name[:n|-...]" joined by spaces ("-" for an empty field), then " | " and the errors.
std::string summary(const std::string& text) {
  std::vector<SPlatformFault> faults;
  std::vector<std::string> errors;
  const bool bAll = PlatformParseFaults(text, gc_kinds, &faults, &errors);
  std::string out;
  for (const SPlatformFault& fault : faults) {
    out += (out.empty() ? "" : " ") + std::string(fault.pName);
    for (size_t i = 0; i < fault.numbers.size(); ++i) {
      out += (i == 0 ? ":" : "|") + (fault.numbers[i] ? std::to_string(*fault.numbers[i]) : std::string("-"));
    }
  }
  for (const std::string& error : errors) out += " | " + error;
  EXPECT_EQ(bAll, errors.empty()) << text;
  return out;
}

TEST(PlatformFaults, ListsYieldTheirFaultsAndEachMistakeOneLine) {
  struct SCase {
    const char* pText;
    const char* pSummary;
  };
  const SCase cases[] = {
      {"", ""},
      {" , ,", ""},
      {"novmr", "novmr"},
      {" novmr , stall=12 ", "novmr stall:12"},
      {"stall=0x10", "stall:16"},
      {"open:5:2:1,read-complete::2", "open:5|2|1 read-complete:-|2"},
      {"open=7", "open:7"},
      {"open:", "open:-"},
      {"stall=4294967295", "stall:4294967295"},
      {"bogus,novmr", "novmr | \"bogus\": not a fault (known: novmr, stall, open, read-complete)"},
      {"Novmr", " | \"Novmr\": not a fault (known: novmr, stall, open, read-complete)"},
      {"novmr=1", " | \"novmr=1\": takes no number"},
      {"stall", " | \"stall\": needs a number (stall=N)"},
      {"stall=", " | \"stall=\": needs a number (stall=N)"},
      {"stall=x", " | \"stall=x\": [x] is not a whole number from 0 to 4294967295"},
      {"stall=-1", " | \"stall=-1\": [-1] is not a whole number from 0 to 4294967295"},
      {"stall=4294967296", " | \"stall=4294967296\": [4294967296] is not a whole number from 0 to 4294967295"},
      {"stall=1:2", " | \"stall=1:2\": takes at most 1 number"},
      {"open:1:2:3:4,novmr", "novmr | \"open:1:2:3:4\": takes at most 3 numbers"},
      {"read:x", " | \"read:x\": not a fault (known: novmr, stall, open, read-complete)"},
  };
  for (const SCase& c : cases) {
    EXPECT_EQ(summary(c.pText), c.pSummary) << c.pText;
  }
}

TEST(PlatformFaults, BitListsGiveOneBitANameAndNameTheirMistakes) {
  const std::vector<const char*> names = {"create", "keyboard", "mouse"};
  std::uint32_t uiBits = 99;
  std::string error = "old";
  EXPECT_TRUE(PlatformParseFaultBits("", names, &uiBits, &error));
  EXPECT_EQ(uiBits, 0u);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(PlatformParseFaultBits("mouse, create", names, &uiBits, &error));
  EXPECT_EQ(uiBits, 5u);
  EXPECT_FALSE(PlatformParseFaultBits("mice,keyboard,create=1", names, &uiBits, &error));
  EXPECT_EQ(uiBits, 2u);
  EXPECT_EQ(error, "\"mice\": not a fault (known: create, keyboard, mouse); \"create=1\": takes no number");
}

TEST(PlatformFaults, TheEnvironmentReportsEachMistakeOnce) {
  const char* const pVariable = "GRINDLOW_PLATFORMFAULTS_TEST_FAULTS";
  unsetenv(pVariable);
  EXPECT_TRUE(PlatformEnvironmentFaults(pVariable, gc_kinds).empty());
  setenv(pVariable, "stall=3,bogus", 1);
  testing::internal::CaptureStderr();
  const std::vector<SPlatformFault> first = PlatformEnvironmentFaults(pVariable, gc_kinds);
  const std::vector<SPlatformFault> second = PlatformEnvironmentFaults(pVariable, gc_kinds);
  const std::string report = testing::internal::GetCapturedStderr();
  unsetenv(pVariable);
  EXPECT_EQ(report,
            std::string(pVariable) + ": \"bogus\": not a fault (known: novmr, stall, open, read-complete), ignored\n");
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  std::vector<std::optional<std::uint32_t>> numbers;
  EXPECT_TRUE(PlatformFindFault(second, "stall", &numbers));
  EXPECT_EQ(numbers, (std::vector<std::optional<std::uint32_t>>{3u}));
  EXPECT_FALSE(PlatformFindFault(second, "novmr"));
}

}  // namespace

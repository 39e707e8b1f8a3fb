// The "EntityPlayer" check: a damaged script is refused with one line naming the script, the entry and the fault.
#include <gtest/gtest.h>

#include "Tests/Code/Objects/PlayerTestWorld.h"

TEST(PlayerScript, DamagedScriptsAreRefusedWithTheEntryAndTheFault) {
  struct SCase {
    const char* pName;
    std::string m_text;
    const char* pExpected;
  };
  std::string noAxe = KvTestPlayerScript();
  noAxe = noAxe.substr(0, noAxe.find("Axe = {"));
  std::string noHit = KvTestPlayerScript();
  noHit.erase(noHit.find("  Hit = \"MacheteHit\"\n"), std::string("  Hit = \"MacheteHit\"\n").size());
  std::string intKey = KvTestPlayerScript();
  intKey.replace(intKey.find("\"SledgehammerChainsaw\""), std::string("\"SledgehammerChainsaw\"").size(), "7");
  std::string unloaded = KvTestPlayerScript();
  unloaded.replace(unloaded.find("\"AxeDeath\""), std::string("\"AxeDeath\"").size(), "\"NoSuchBook\"");
  const SCase cases[] = {
      {"a set missing", noAxe, "EntityPlayer [Axe]: the set is missing or not an array"},
      {"a key missing", noHit, "EntityPlayer [Machete/Hit]: the key is missing"},
      {"a key of another type", intKey,
       "EntityPlayer [Sledgehammer/Chainsaw]: must be a STRING or HASH_ID naming a flip book"},
      {"a flip book not loaded", unloaded,
       "EntityPlayer [Axe/Death]: names the flip book \"NoSuchBook\", which is not loaded"},
      {"not sets at all", "Animations = 3\n", "EntityPlayer [Animations]: the set is missing or not an array"},
  };
  ClPlayerTestWorld world;
  ASSERT_EQ(world.m_error, "");
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.pName);
    std::string error;
    ClDScriptData2* pTree = KvTestCompileScript(c.m_text, "EntityPlayer", &error);
    ASSERT_NE(pTree, nullptr) << error;
    EXPECT_FALSE(PlayerScript::check(pTree, &error));
    EXPECT_EQ(error, c.pExpected);
    ClDScriptData2::destroyTree(pTree);
  }
  std::string error;
  EXPECT_FALSE(PlayerScript::check(nullptr, &error));
  EXPECT_EQ(error, "EntityPlayer: the root must be an array of animation sets");
}

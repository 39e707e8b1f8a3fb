#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolVerdictTestSupport.h"
#include "Tools/kdsc/KdsJson.h"
#include "Tools/kdsc/KdsSource.h"

namespace {

std::vector<uint8_t> compile(const std::string& text) {
  SKdsSourceNode root;
  std::string error;
  EXPECT_TRUE(KdsParseSource(text, "t.kdt", &root, &error)) << error;
  return KdsWriteImage(root);
}

std::string compileError(const std::string& text) {
  SKdsSourceNode root;
  std::string error;
  EXPECT_FALSE(KdsParseSource(text, "bad.kdt", &root, &error)) << text;
  return error;
}

std::string jsonOf(const std::vector<uint8_t>& image) {
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(image.data(), image.size(), "t.kds");
  EXPECT_NE(pRoot, nullptr);
  const std::string json = pRoot ? KdsTreeToJson(pRoot) : "";
  ClDScriptData2::destroyTree(pRoot);
  return json;
}

SKvToolRun run(const std::string& arguments) { return KvTestRunTool(KvTestShellQuote(KDSC_PATH) + " " + arguments); }

TEST(Kdsc, WritesTheFileLayout) {
  const std::vector<uint8_t> image = compile("A = 1");
  ASSERT_EQ(image.size(), 60u);
  EXPECT_EQ(KvTestU32At(image, 0), 8u);                   // root slot -> root record
  EXPECT_EQ(KvTestU32At(image, 4), 0u);                   // high word
  EXPECT_EQ(KvTestU32At(image, 8), 20u);                  // root record: table slot
  EXPECT_EQ(KvTestU32At(image, 16), 1u);                  //   count
  EXPECT_EQ(KvTestU32At(image, 20), 24u);                 // table: the value record
  EXPECT_EQ(KvTestU32At(image, 24), 44u);                 // value record: name slot
  EXPECT_EQ(KvTestU32At(image, 32), 1u);                  //   value
  EXPECT_EQ(KvTestU32At(image, 40), u32(E_DSCT_INT));     //   type
  EXPECT_EQ(KvTestU32At(image, 44), 56u);                 // name record: characters
  EXPECT_EQ(KvTestU32At(image, 52), KvStrHash("A"));      //   hash
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[56])), "A");

  const std::vector<uint8_t> values = compile("F = -2.5, T = \"xy\", H = #Run, E = []");
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(values.data(), values.size(), "t.kds");
  ASSERT_NE(pRoot, nullptr);
  EXPECT_EQ(pRoot->getChild("F")->getFloatExact(), -2.5f);
  EXPECT_STREQ(pRoot->getChild("T")->getString(), "xy");
  EXPECT_EQ(pRoot->getChild("H")->getHashValue(), KvStrHash("Run"));
  EXPECT_EQ(pRoot->getChild("E")->getType(), E_DSVT_ARRAY);
  ClDScriptData2::destroyTree(pRoot);
}

// Every use of a name or hash id has a record of its own (a loader relocating in place meets each once); the
// characters of equal texts are stored once.
TEST(Kdsc, NamesGetARecordPerUseAndTextsAreStoredOnce) {
  std::string many = "L = [";
  for (int i = 0; i < 50; ++i) many += " { Min = 1, Max = 2, T = \"shared text\" }";
  many += "]";
  const size_t uiMany = compile(many).size();
  // Each further element costs its records, not its texts again.
  const size_t uiPerElement = (uiMany - compile("L = [ { Min = 1, Max = 2, T = \"shared text\" } ]").size()) / 49;
  // value + array record + table entry, then per child: value + table entry + name record
  EXPECT_EQ(uiPerElement, 20u + 12u + 4u + 3u * (20u + 4u + 12u));
  const std::vector<uint8_t> ids = compile("A = #Run, B = #Run, C = [#Run, #Run]");
  const std::vector<uint8_t> one = compile("A = #Run");
  // B: value, entry, name record, hash-id record; C: value, entry, name record, array record, then two values
  // with their entries and hash-id records; the texts "B" and "C" (two bytes each) and padding to 4.
  EXPECT_EQ(ids.size() - one.size(), (20u + 4u + 12u + 12u) + (20u + 4u + 12u + 12u) + 2u * (20u + 4u + 12u) + 4u);
}

// The children of the root as JSON objects.
nlohmann::json childrenOf(const std::string& json) { return nlohmann::json::parse(json).at("children"); }

const nlohmann::json& named(const nlohmann::json& children, const std::string& name) {
  for (const nlohmann::json& child : children) {
    if (child.value("name", "") == name) return child;
  }
  static const nlohmann::json s_none;
  ADD_FAILURE() << "no child named " << name;
  return s_none;
}

TEST(Kdsc, SyntaxForms) {
  const nlohmann::json root = childrenOf(jsonOf(compile(R"(
    // line comment
    /* block
       comment */
    "Quoted name" = 0x10, Neg = -3, Exp = 2e3, Plus = +4
    List = [ 1, "two", #three, [ 4 ] { Five = 5 } ]
    Escapes = "q\"b\\n\n\t\x41"
    Range = -1 .. 1.5
    Id = #"with space"
  )")));
  EXPECT_EQ(named(root, "Quoted name"),
            nlohmann::json::parse(R"({"name": "Quoted name", "nameHash": )" + std::to_string(KvStrHash("Quoted name")) +
                                  R"(, "type": "int", "value": 16})"));
  EXPECT_EQ(named(root, "Neg").at("value"), -3);
  EXPECT_EQ(named(root, "Exp").at("type"), "float");
  EXPECT_EQ(named(root, "Exp").at("value"), 2000.0);
  EXPECT_EQ(named(root, "Plus").at("value"), 4);
  const nlohmann::json& list = named(root, "List").at("children");
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[1], nlohmann::json::parse(R"({"type": "string", "value": "two"})"));
  EXPECT_EQ(list[2], nlohmann::json::parse(R"({"type": "hash_id", "value": "three", "hash": )" +
                                           std::to_string(KvStrHash("three")) + "}"));
  EXPECT_EQ(list[3].at("children")[0].at("value"), 4);
  EXPECT_EQ(list[4].at("children")[0].at("name"), "Five");
  EXPECT_EQ(named(root, "Escapes").at("value"), "q\"b\\n\n\tA");
  const nlohmann::json& range = named(root, "Range").at("children");
  EXPECT_EQ(range[0], nlohmann::json::parse(R"({"name": "Min", "nameHash": 3365766728, "type": "int", "value": -1})"));
  EXPECT_EQ(range[1],
            nlohmann::json::parse(R"({"name": "Max", "nameHash": 4103125265, "type": "float", "value": 1.5})"));
  EXPECT_EQ(named(root, "Id").at("value"), "with space");
}

// Texts are 8-bit: a byte above 127 is the Latin-1 character of that code point, and the dump stays valid JSON.
TEST(Kdsc, DumpsAreValidJsonForEveryByte) {
  const std::string json = jsonOf(compile("Name = \"caf\xe9 \x80\xff\"\n\"M\xfcller\" = #\"\xe9t\xe9\"\n"));
  for (char c : json) {
    EXPECT_LT(static_cast<unsigned char>(c), 0x80u);
  }
  const nlohmann::json root = childrenOf(json);
  EXPECT_EQ(named(root, "Name").at("value"), "caf\u00e9 \u0080\u00ff");
  EXPECT_EQ(named(root, "M\u00fcller").at("value"), "\u00e9t\u00e9");
  EXPECT_EQ(named(root, "M\u00fcller").at("nameHash"), KvStrHash("M\xfcller"));
}

TEST(Kdsc, ErrorsNameFileLineAndColumn) {
  EXPECT_EQ(compileError("A = 1\nB = [1, 2\n"), "bad.kdt:3:1: error: missing ']' at the end of the file");
  EXPECT_EQ(compileError("A = 1\n  a = 2"),
            "bad.kdt:2:3: error: the name [a] is already used in this list at line 1 ([A]; names differing only in "
            "case are the same)");
  EXPECT_EQ(compileError("A = yes"), "bad.kdt:1:5: error: expected \"=\" after the name [yes] (texts are written in "
                                     "double quotes)");
  EXPECT_EQ(compileError("A = [1 }"), "bad.kdt:1:8: error: expected ']', found '}'");
  EXPECT_EQ(compileError("A = \"open\n"), "bad.kdt:1:5: error: unfinished text: a closing double quote is missing");
  EXPECT_EQ(compileError("A = 2147483648"), "bad.kdt:1:5: error: [2147483648] does not fit a 32-bit integer");
  EXPECT_EQ(compileError("A = 0x100000000"), "bad.kdt:1:5: error: [0x100000000] does not fit 32 bits");
  EXPECT_EQ(compileError("A = 1e40"), "bad.kdt:1:5: error: [1e40] is too large for a float");
  EXPECT_EQ(compileError("A = 1 .. \"x\""), "bad.kdt:1:10: error: a range needs a number after \"..\"");
  EXPECT_EQ(compileError("A = \"\\x00\""), "bad.kdt:1:6: error: texts cannot hold a zero byte");
  EXPECT_EQ(compileError("/* open"), "bad.kdt:1:1: error: unfinished block comment");
  EXPECT_EQ(compileError("A = 1 ]"), "bad.kdt:1:7: error: unexpected ']'");
  EXPECT_EQ(compileError("A = @"), "bad.kdt:1:5: error: unexpected character '@'");
  EXPECT_EQ(compileError("A ="), "bad.kdt:1:4: error: expected a value, found the end of the file");
  EXPECT_EQ(compileError("A = 1.5x"), "bad.kdt:1:8: error: malformed number");
}

TEST(KdscTool, HelpCompileDumpAndErrors) {
  const SKvToolRun help = run("--help");
  EXPECT_EQ(help.iExit, 0);
  EXPECT_EQ(help.out.rfind("usage: kdsc", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--dump"), std::string::npos);

  const std::string dir = KvTestTempDir("kdsc-tool");
  std::ofstream(dir + "/Enemy.kdt") << "Speed = 3.5\nStates = { Idle = { Animation = #Stand } }\n";
  const SKvToolRun compiled = run(dir + "/Enemy.kdt");
  EXPECT_EQ(compiled.iExit, 0) << compiled.out;
  std::ifstream in(dir + "/Enemy.kds", std::ios::binary);
  const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const SKvToolRun dumped = run("--dump " + dir + "/Enemy.kds");
  EXPECT_EQ(dumped.iExit, 0);
  EXPECT_EQ(dumped.out, jsonOf(image));
  EXPECT_EQ(dumped.out, jsonOf(compile("Speed = 3.5\nStates = { Idle = { Animation = #Stand } }\n")));

  const SKvToolRun named = run("-o " + dir + "/Other.kds " + dir + "/Enemy.kdt");
  EXPECT_EQ(named.iExit, 0);
  EXPECT_EQ(run("--dump " + dir + "/Other.kds").out, dumped.out);

  std::ofstream(dir + "/Bad.kdt") << "A = [\n";
  const SKvToolRun bad = run(dir + "/Bad.kdt");
  EXPECT_EQ(bad.iExit, 1);
  EXPECT_NE(bad.out.find("Bad.kdt:2:1: error: missing ']'"), std::string::npos) << bad.out;
  EXPECT_FALSE(std::ifstream(dir + "/Bad.kds").good());

  std::ofstream(dir + "/Corrupt.kds") << "garbage!!";
  const SKvToolRun corrupt = run("--dump " + dir + "/Corrupt.kds");
  EXPECT_EQ(corrupt.iExit, 1);
  EXPECT_NE(corrupt.out.find("Corrupt.kds] refused"), std::string::npos) << corrupt.out;

  // Bad usage is refused with the reason and the usage, before any file is touched.
  const SKvToolRun noValue = run(dir + "/Enemy.kdt -o");
  EXPECT_EQ(noValue.iExit, 2);
  EXPECT_EQ(noValue.out.rfind("kdsc: -o needs a value\nusage: kdsc", 0), 0u) << noValue.out;
  EXPECT_EQ(run("--dump").iExit, 2);
  EXPECT_EQ(run("--frobnicate " + dir + "/Enemy.kdt").iExit, 2);
  EXPECT_EQ(run(dir + "/Enemy.kdt " + dir + "/Bad.kdt").iExit, 2);
  EXPECT_EQ(run("--dump " + dir + "/Enemy.kds " + dir + "/Enemy.kdt").iExit, 2);

  // What the build compiles is loaded with the engine's loader: a compiled file passes, a damaged one does not.
  EXPECT_EQ(run("--check " + dir + "/Enemy.kds").iExit, 0);
  const SKvToolRun refused = run("--check " + dir + "/Corrupt.kds");
  EXPECT_EQ(refused.iExit, 1);
  EXPECT_NE(refused.out.find("Corrupt.kds] refused"), std::string::npos) << refused.out;

  // The build's form: a list of sources compiled into one folder, each loaded back; a failing source stops it
  // with its error, and two sources of one name are refused before anything is written.
  std::filesystem::create_directory(dir + "/sub");
  std::ofstream(dir + "/sub/Enemy.kdt") << "Speed = 1\n";
  std::ofstream(dir + "/Other.kdt") << "A = [1, 2]\n";
  const SKvToolRun batch = run("--out-dir " + dir + "/out " + dir + "/Enemy.kdt " + dir + "/Other.kdt");
  EXPECT_EQ(batch.iExit, 0) << batch.out;
  EXPECT_EQ(run("--dump " + dir + "/out/Enemy.kds").out, dumped.out);
  EXPECT_EQ(run("--dump " + dir + "/out/Other.kds").out, jsonOf(compile("A = [1, 2]\n")));
  const SKvToolRun batchBad = run("--out-dir " + dir + "/out " + dir + "/Other.kdt " + dir + "/Bad.kdt");
  EXPECT_EQ(batchBad.iExit, 1);
  EXPECT_NE(batchBad.out.find("Bad.kdt:2:1: error: missing ']'"), std::string::npos) << batchBad.out;
  const SKvToolRun twice = run("--out-dir " + dir + "/twice " + dir + "/Enemy.kdt " + dir + "/sub/Enemy.kdt");
  EXPECT_EQ(twice.iExit, 1);
  EXPECT_NE(twice.out.find("sub/Enemy.kdt: error: another input is also compiled into"), std::string::npos)
      << twice.out;
  EXPECT_FALSE(std::filesystem::exists(dir + "/twice/Enemy.kds"));
  EXPECT_EQ(run("-o " + dir + "/x.kds --out-dir " + dir + "/out " + dir + "/Enemy.kdt").iExit, 2);

  // Sources are read as every tool reads them: a byte-order mark skipped, a zero byte refused where it is.
  std::ofstream(dir + "/Bom.kdt") << "\xEF\xBB\xBFSpeed = 1\n";
  EXPECT_EQ(run(dir + "/Bom.kdt").iExit, 0);
  std::ofstream(dir + "/Zero.kdt") << "A = 1\nB = \"ab" << '\0' << "cd\"\n";
  const SKvToolRun zero = run(dir + "/Zero.kdt");
  EXPECT_EQ(zero.iExit, 1);
  EXPECT_NE(zero.out.find("Zero.kdt:2:8: error: the file holds a zero byte"), std::string::npos) << zero.out;

  EXPECT_EQ(run("--frobnicate").iExit, 2);
  EXPECT_EQ(run("").iExit, 2);
  EXPECT_EQ(run("-o").iExit, 2);
  EXPECT_EQ(run("a.kdt b.kdt").iExit, 2);
}

// A source that is no file is refused at once, naming it and what it is: a pipe without a writer is not waited on.
TEST(KdscTool, RefusesASourceThatIsNoFile) {
  const std::string dir = KvTestTempDir("kdsc-not-a-file");
  const struct {
    const char* pName;
    bool bPipe;  // else a symlink to itself
    const char* pWhy;
  } aCases[] = {
      {"Pipe.kdt", true, "is a pipe"},
      {"Loop.kdt", false, "is a symlink loop"},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.pName);
    const std::string path = dir + "/" + c.pName;
    ASSERT_EQ(c.bPipe ? mkfifo(path.c_str(), 0600) : symlink(c.pName, path.c_str()), 0) << std::strerror(errno);
    const SKvToolRun refused = run(KvTestShellQuote(path));
    EXPECT_EQ(refused.iExit, 1) << refused.out;
    EXPECT_EQ(refused.out, path + ": error: cannot open the file (it " + c.pWhy + ")\n");
  }
}

TEST(KdscTool, BuildTimeFixtureLoads) {
  std::ifstream in("kds/Monkey.kds", std::ios::binary);
  ASSERT_TRUE(in.good()) << "the build compiles Tests/Tools/kdsc/fixtures/Monkey.kdt";
  const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(image.data(), image.size(), "Monkey.kds");
  ASSERT_NE(pRoot, nullptr);
  ClDScriptData2* pSet = pRoot->getChild("Scheme_UI")->getChild("Menus");
  EXPECT_EQ(pSet->getChild("Weight")->getFloatExact(), 1.0f);
  const f32 fDuration = pSet->getChild("Duration")->getFloat();
  EXPECT_TRUE(fDuration >= 2.0f && fDuration <= 5.5f);
  ClDScriptData2* pBack = pSet->getChild("Programs")->getChildAt(0)->getChild("Buttons")->getChildAt(1);
  EXPECT_STREQ(pBack->getChildAt(0)->getString(), "Back");
  EXPECT_EQ(pBack->getChild("Repetitions")->getCount(), 2);
  EXPECT_EQ(pRoot->getChild("scheme_ingame")->getCount(), 0);
  ClDScriptData2::destroyTree(pRoot);
}

// What "kdsc --check" and "--dump" accept, the script manager loads from the data root, and the other way round: two
// of the sample scripts as built, all zero, and cut in half.
TEST(KdscTool, ItsChecksAcceptWhatTheLoaderAccepts) {
  const CVerdictDataRoot root("kdsc-verdict");
  const auto loads = [](const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string name = std::filesystem::path(path).stem().string();
    CVerdictDataRoot::write("Scripts/" + name + ".kds", bytes);
    ClDScriptMgr2::initialize();
    const bool bLoaded =
        KvTestLoadsWithoutAStop([&name] { return ClDScriptMgr2::getScript(name.c_str(), nullptr) != nullptr; });
    ClDScriptMgr2::terminate();
    return bLoaded;
  };
  const std::string scripts = KV_SAMPLE_SCRIPTS_DIR;
  const std::vector<SToolVerdictFile> files = {{scripts + "/Levels.kds", {true, false, false}},
                                               {scripts + "/Monkey.kds", {true, false, false}}};
  for (const char* pOption : {"--check", "--dump"}) {
    SCOPED_TRACE(pOption);
    KvTestToolAgreesWithTheLoader(KvTestShellQuote(KDSC_PATH) + " " + pOption, files, root.path() + "/cuts", loads);
  }
}

}  // namespace

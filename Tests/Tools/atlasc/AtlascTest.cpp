// The atlas builder: trimming and placement, pages that split, the table the engine accepts (sorted, hashed with
// the engine's hash), names that clash, images too large, listings, content descriptions and their faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tools/atlasc/AtlasBuilder.h"

namespace {

SAtlasImage solid(const std::string& name, int iWidth, int iHeight, uint32_t uiColor) {
  SAtlasImage image;
  image.name = name;
  image.iWidth = iWidth;
  image.iHeight = iHeight;
  image.texels.assign(static_cast<size_t>(iWidth) * iHeight, uiColor);
  return image;
}

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const SAtlasPlacedImage& placedNamed(const SAtlasPacked& packed, const std::string& name) {
  for (const SAtlasPlacedImage& placed : packed.placed) {
    if (placed.name == name) return placed;
  }
  static const SAtlasPlacedImage s_none;
  ADD_FAILURE() << name << " not placed";
  return s_none;
}

// Images are trimmed to their visible box (frame size and anchor kept), placed without overlapping, copied to
// their place, and the table is sorted by signed hash as the engine searches it.
TEST(Atlasc, PacksTrimmedImagesTheEngineFinds) {
  SAtlasImage framed = solid("Frame-0000_216", 16, 12, 0);
  for (int y = 3; y < 7; ++y) {
    for (int x = 5; x < 11; ++x) framed.texels[static_cast<size_t>(y) * 16 + x] = 0xFFFF0000u;
  }
  std::vector<SAtlasImage> images = {framed, solid("Block", 20, 10, 0xFF00FF00u), solid("Dot", 2, 2, 0x80808080u)};
  SAtlasPacked packed;
  std::string error;
  ASSERT_TRUE(AtlasPack(images, "Test", SAtlasPackOptions{}, &packed, &error)) << error;
  ASSERT_EQ(packed.pages.size(), 1u);
  const SAtlasPlacedImage& frame = placedNamed(packed, "Frame-0000_216");
  EXPECT_EQ(frame.iWidth, 6);
  EXPECT_EQ(frame.iHeight, 4);
  EXPECT_EQ(frame.iFrameWidth, 16);
  EXPECT_EQ(frame.iFrameHeight, 12);
  EXPECT_EQ(frame.iAnchorX, 5);
  EXPECT_EQ(frame.iAnchorY, 3);
  const SAtlasImage& page = packed.pages[0];
  EXPECT_EQ(page.texels[static_cast<size_t>(frame.iY) * page.iWidth + frame.iX], 0xFFFF0000u);
  const SAtlasPlacedImage& block = placedNamed(packed, "Block");
  EXPECT_EQ(page.texels[static_cast<size_t>(block.iY + 9) * page.iWidth + block.iX + 19], 0xFF00FF00u);
  // No two boxes overlap.
  for (const SAtlasPlacedImage& a : packed.placed) {
    for (const SAtlasPlacedImage& b : packed.placed) {
      if (&a == &b) continue;
      const bool bApart = a.iX + a.iWidth <= b.iX || b.iX + b.iWidth <= a.iX || a.iY + a.iHeight <= b.iY ||
                          b.iY + b.iHeight <= a.iY;
      EXPECT_TRUE(bApart) << a.name << " / " << b.name;
    }
  }
  for (size_t i = 1; i < packed.placed.size(); ++i) {
    EXPECT_GT(static_cast<int32_t>(packed.placed[i - 1].uiHash), static_cast<int32_t>(packed.placed[i].uiHash));
  }

  const std::vector<uint8_t> table = AtlasWriteTable(packed, "Test");
  std::vector<uint32_t> aligned(table.size() / 4 + 1);
  std::memcpy(aligned.data(), table.data(), table.size());
  char szReason[256] = "";
  ASSERT_TRUE(ClAtlasMgr::checkAtlasImage(reinterpret_cast<const u8*>(aligned.data()), static_cast<u32>(table.size()),
                                          szReason, sizeof(szReason)))
      << szReason;
  std::string text;
  ASSERT_TRUE(AtlasList(table, {"Frame-0000_216", "Block"}, &text, &error)) << error;
  EXPECT_NE(text.find("base Test, 1 textures, 3 entries"), std::string::npos) << text;
  EXPECT_NE(text.find("Frame-0000_216"), std::string::npos);
  EXPECT_NE(text.find("size 6x4 frame 16x12 anchor (5, 3)"), std::string::npos) << text;
  EXPECT_NE(text.find(" ? "), std::string::npos) << "a hash without a name";
}

// More than a page holds goes on further pages; an image larger than a page, and two names with one hash, are
// refused.
TEST(Atlasc, SplitsPagesAndRefusesWhatCannotBePacked) {
  std::vector<SAtlasImage> images;
  for (int i = 0; i < 5; ++i) images.push_back(solid("Tile" + std::to_string(i), 30, 30, 0xFF000000u | i));
  SAtlasPackOptions options;
  options.iPageSize = 64;
  SAtlasPacked packed;
  std::string error;
  ASSERT_TRUE(AtlasPack(images, "Tiles", options, &packed, &error)) << error;
  EXPECT_EQ(packed.pages.size(), 2u);
  std::set<uint32_t> pages;
  for (const SAtlasPlacedImage& placed : packed.placed) pages.insert(placed.uiPage);
  EXPECT_EQ(pages.size(), 2u);
  EXPECT_EQ(packed.pages[1].name, "Tiles_1");

  EXPECT_FALSE(AtlasPack({solid("Huge", 100, 10, 0xFFFFFFFFu)}, "X", options, &packed, &error));
  EXPECT_NE(error.find("\"Huge\" (100 x 10) does not fit a page of 64"), std::string::npos) << error;
  EXPECT_FALSE(AtlasPack({solid("Star", 4, 4, 0xFFFFFFFFu), solid("STAR", 4, 4, 0xFFFFFFFFu)}, "X", options, &packed,
                         &error));
  EXPECT_NE(error.find("the same name hash"), std::string::npos) << error;
}

// The command line packs a folder into pages and a table, lists it by name, and refuses unreadable images.
TEST(Atlasc, CommandLine) {
  EXPECT_EQ(KvTestRunTool(KvTestShellQuote(ATLASC_PATH) + " --help").iExit, 0);
  EXPECT_EQ(KvTestRunTool(KvTestShellQuote(ATLASC_PATH) + " frobnicate x").iExit, 2);
  const std::string dir = KvTestTempDir("atlasc-cli");
  std::string error;
  ASSERT_TRUE(AtlasWriteImage(dir + "/in/Red.png", solid("Red", 8, 8, 0xFFFF0000u), &error)) << error;
  ASSERT_TRUE(AtlasWriteImage(dir + "/in/Blue.tga", solid("Blue", 4, 6, 0xFF0000FFu), &error)) << error;
  ASSERT_TRUE(AtlasWriteImage(dir + "/in/Green.bmp", solid("Green", 5, 5, 0xFF00FF00u), &error)) << error;
  SKvToolRun run = KvTestRunTool(KvTestShellQuote(ATLASC_PATH) + " pack " + dir + "/in -o " + dir + "/out --base Colours");
  ASSERT_EQ(run.iExit, 0) << run.out;
  ASSERT_TRUE(std::filesystem::exists(dir + "/out/Colours_0.png"));
  SAtlasImage page;
  ASSERT_TRUE(AtlasReadImage(dir + "/out/Colours_0.png", &page, &error)) << error;
  run = KvTestRunTool(KvTestShellQuote(ATLASC_PATH) + " list " + dir + "/out/Colours.atf --names " + dir + "/in");
  ASSERT_EQ(run.iExit, 0) << run.out;
  for (const char* pName : {"Red", "Blue", "Green"}) EXPECT_NE(run.out.find(pName), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("size 4x6"), std::string::npos) << run.out;
  run = KvTestRunTool(KvTestShellQuote(ATLASC_PATH) + " check " + dir + "/out/Colours.atf --names " + dir + "/in");
  EXPECT_EQ(run.iExit, 0) << run.out;
  EXPECT_EQ(run.out, "");

  std::ofstream(dir + "/in/Broken.png") << "not a png";
  run = KvTestRunTool(KvTestShellQuote(ATLASC_PATH) + " pack " + dir + "/in -o " + dir + "/out2 --base X");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("Broken.png: error:"), std::string::npos) << run.out;
  std::ofstream(dir + "/bad.atf") << "short";
  run = KvTestRunTool(KvTestShellQuote(ATLASC_PATH) + " list " + dir + "/bad.atf");
  EXPECT_EQ(run.iExit, 1);
  EXPECT_NE(run.out.find("bad.atf: error: the file is 5 bytes"), std::string::npos) << run.out;
}

// Damaged inputs end every command with exit code 1 and one message naming the file and what is wrong: no signal,
// no abort, no output for a description of the wrong shape, control bytes from the file escaped.
TEST(Atlasc, DamagedInputsAreRefusedNamingTheFile) {
  const std::string dir = KvTestTempDir("atlasc-damaged");
  std::string error;
  ASSERT_TRUE(AtlasWriteImage(dir + "/good.png", solid("Good", 8, 8, 0xFFFF0000u), &error)) << error;
  ASSERT_TRUE(AtlasWriteImage(dir + "/good.bmp", solid("Good", 8, 8, 0xFFFF0000u), &error)) << error;
  const std::vector<uint8_t> png = readBytes(dir + "/good.png");
  const std::vector<uint8_t> bmp = readBytes(dir + "/good.bmp");
  auto writeBytes = [](const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  };
  struct SCase {
    const char* pWhat;
    std::string file;  // relative to dir
    std::vector<uint8_t> bytes;
    std::string arguments;
    const char* pMessage;
  };
  std::vector<SCase> cases;
  std::vector<uint8_t> bytes = png;
  for (int i = 0; i < 4; ++i) bytes[33 + static_cast<size_t>(i)] = 0xFF;  // the chunk after IHDR: 4 GiB long
  cases.push_back({"a PNG chunk of length 0xFFFFFFFF", "chunk/Bad.png", bytes, "pack chunk -o out --base X",
                   "Bad.png: error: not an image"});
  bytes = bmp;
  for (size_t i = 18; i < 22; ++i) bytes[i] = 0;
  cases.push_back({"a BMP 0 texels wide", "wide/Zero.bmp", bytes, "pack wide -o out --base X", "Zero.bmp: error:"});
  bytes.assign(890, 0);
  for (const auto& [uiAt, uiValue] : {std::pair{size_t{2}, 890u}, std::pair{size_t{10}, 54u}, std::pair{size_t{14}, 40u},
                                      std::pair{size_t{18}, 8192u}, std::pair{size_t{22}, 8192u},
                                      std::pair{size_t{26}, 1u | (32u << 16)}}) {
    std::memcpy(bytes.data() + uiAt, &uiValue, 4);
  }
  bytes[0] = 'B';
  bytes[1] = 'M';
  cases.push_back({"a BMP claiming 8192x8192 in 890 bytes", "huge/Huge.bmp", bytes, "pack huge -o out --base X",
                   "Huge.bmp: error:"});
  cases.push_back({"an empty table", "empty.atf", {}, "list empty.atf", "empty.atf: error: the file is 0 bytes"});
  // An all-zero table, and one without entries while the images it should hold are named: refused by both
  // commands that read a table.
  SAtlasPacked noEntries;
  noEntries.pages.push_back(solid("A_0", 8, 8, 0));
  const std::vector<uint8_t> noEntriesTable = AtlasWriteTable(noEntries, "A");
  ASSERT_TRUE(AtlasWriteImage(dir + "/named/Red.png", solid("Red", 8, 8, 0xFFFF0000u), &error)) << error;
  for (const char* pCommand : {"list", "check"}) {
    cases.push_back({"an all-zero table", "zero.atf", std::vector<uint8_t>(96, 0), std::string(pCommand) + " zero.atf",
                     "zero.atf: error: the entry table (at 0) lies inside the header"});
    cases.push_back({"a table without entries", "none.atf", noEntriesTable,
                     std::string(pCommand) + " none.atf --names named",
                     "none.atf: error: the atlas holds no images, while 1 is named for it (\"Red\" first)"});
  }
  auto json = [](const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); };
  for (const auto& [pText, pMessage] :
       {std::pair{R"({"images": [{"path": "a.png", "width": 1e400, "height": 4}]})", "c.json: error:"},
        std::pair{R"({"images": {}})", "c.json: /images: error: a list"},
        std::pair{R"({"atlases": "A"})", "c.json: /atlases: error: a list"},
        std::pair{R"({"imags": []})", "c.json: /imags: error: is not a key"},
        std::pair{R"({})", "c.json: : error: the description has neither"},
        std::pair{R"({"atlases": [5]})", "c.json: /atlases/0: error: an atlas is an object"},
        std::pair{R"({"atlases": [{"name": "A", "folder": "A", "images": [7]}]})",
                  "c.json: /atlases/0/images/0: error: an image is an object"},
        std::pair{R"({"images": [{"path": "a.png", "width": 4, "height": 4, "colours": []}]})",
                  "c.json: /images/0/colours: error: is not a key"},
        std::pair{R"({"images": [{"path": "a.png", "width": 4, "height": 4, "pattern": 3}]})",
                  "c.json: /images/0/pattern: error: a text"},
        std::pair{R"({"images": [{"path": "a.png", "width": 4, "height": 4, "pattern": "\u001b[2J"}]})",
                  "/images/0/pattern: error: \"\\x1B[2J\""}}) {
    cases.push_back({pText, "c.json", json(pText), "content c.json -o out --scratch scratch", pMessage});
  }
  for (const SCase& c : cases) {
    std::filesystem::remove_all(dir + "/out");
    writeBytes(dir + "/" + c.file, c.bytes);
    const SKvToolRun run = KvTestRunTool("cd " + KvTestShellQuote(dir) + " && " + KvTestShellQuote(ATLASC_PATH) + " " +
                                         c.arguments);
    EXPECT_EQ(run.iExit, 1) << c.pWhat << ": " << run.out;
    EXPECT_NE(run.out.find(c.pMessage), std::string::npos) << c.pWhat << ": " << run.out;
    EXPECT_EQ(run.out.find('\x1B'), std::string::npos) << c.pWhat;
    EXPECT_FALSE(std::filesystem::exists(dir + "/out/X.atf")) << c.pWhat;
    std::filesystem::remove(dir + "/" + c.file);
  }
}

// Content descriptions: images and atlases made with their archive lines; faults named by place.
TEST(Atlasc, ContentDescriptions) {
  const std::string dir = KvTestTempDir("atlasc-content");
  std::ofstream(dir + "/content.json") << R"({
    // comments are allowed
    "images": [{"path": "Loose/Grid.png", "width": 4, "height": 4, "pattern": "checker", "cell": 2,
                "colors": ["0xFF000000", "0xFFFFFFFF"]}],
    "atlases": [{"name": "Small", "folder": "Small", "flags": "compress", "images": [
      {"path": "Ring", "width": 6, "height": 6, "pattern": "border", "colors": ["0xFFFF0000", "0x00000000"]},
      {"path": "Flat", "width": 8, "height": 2, "pattern": "ellipse", "colors": ["0x80000000"]},
      {"path": "Dot", "width": 8, "height": 2, "pattern": "disc", "colors": ["0x80000000"]},
      {"path": "Blink-%04d_216", "frames": 3, "width": 2, "height": 2, "colors": ["0xFF0000FF", "0xFF00FF00"]},
      {"path": "Back", "width": 4, "height": 4, "colors": ["0xFF0000FF"],
       "layers": [{"x": 2, "y": -1, "width": 4, "height": 2, "colors": ["0x80800000"]}]},
      {"path": "Tri", "width": 4, "height": 4, "pattern": "polygon", "points": [[0, 0], [3.2, 0], [0, 3.2]],
       "colors": ["0xFFFFFFFF"]},
      {"path": "Dim", "width": 4, "height": 4, "colors": ["0x00000000"],
       "layers": [{"image": "Back", "tint": "0x80FFFFFF"}, {"image": "Tri", "x": 3, "y": 3}]}]}]
  })";
  std::string lines;
  std::string error;
  ASSERT_TRUE(AtlasMakeContent(dir + "/content.json", dir + "/out", dir + "/scratch", &lines, &error)) << error;
  EXPECT_NE(lines.find("file Loose/Grid.png " + dir + "/out/Loose/Grid.png plain"), std::string::npos) << lines;
  EXPECT_NE(lines.find("file Small/Small.atf " + dir + "/out/Small/Small.atf compress"), std::string::npos) << lines;
  EXPECT_NE(lines.find("file Small/Small_0.png " + dir + "/out/Small/Small_0.png plain"), std::string::npos) << lines;
  SAtlasImage grid;
  ASSERT_TRUE(AtlasReadImage(dir + "/out/Loose/Grid.png", &grid, &error));
  EXPECT_EQ(grid.texels[0], 0xFF000000u);
  EXPECT_EQ(grid.texels[2], 0xFFFFFFFFu);
  // A sequence: one image a frame, numbered from 0001, each frame one colour further along the list.
  for (const auto& [pName, uiColor] : {std::pair{"Blink-0001_216", 0xFF0000FFu}, std::pair{"Blink-0002_216", 0xFF00FF00u},
                                       std::pair{"Blink-0003_216", 0xFF0000FFu}}) {
    SAtlasImage frame;
    ASSERT_TRUE(AtlasReadImage(dir + "/scratch/Small/" + pName + ".png", &frame, &error)) << error;
    EXPECT_EQ(frame.texels[3], uiColor) << pName;
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/scratch/Small/Blink-0004_216.png"));
  // An ellipse fills its rectangle's width on its middle rows; a disc of the same size is only as wide as it is high.
  for (const auto& [pName, iCovered] : {std::pair{"Flat", 12}, std::pair{"Dot", 4}}) {
    SAtlasImage image;
    ASSERT_TRUE(AtlasReadImage(dir + "/scratch/Small/" + std::string(pName) + ".png", &image, &error)) << error;
    EXPECT_EQ(std::count(image.texels.begin(), image.texels.end(), 0x80000000u), iCovered) << pName;
    EXPECT_EQ(image.texels[0], 0u) << pName << ": the corner stays clear";
  }

  // Layers go over the pattern in order, premultiplied source over, cut off at the image's edges; a polygon fills
  // the texels whose centre lies inside; an earlier image is laid again through its tint.
  const auto texels = [&](const char* pName) {
    SAtlasImage image;
    EXPECT_TRUE(AtlasReadImage(dir + "/scratch/Small/" + std::string(pName) + ".png", &image, &error)) << error;
    return image.texels;
  };
  const std::vector<uint32_t> back = texels("Back");
  ASSERT_EQ(back.size(), 16u);
  EXPECT_EQ(back[0], 0xFF0000FFu);
  EXPECT_EQ(back[2], 0xFF80007Fu) << "half red over blue";
  EXPECT_EQ(back[3], 0xFF80007Fu);
  EXPECT_EQ(back[4 + 2], 0xFF0000FFu) << "the layer's second row is above the image";
  const std::vector<uint32_t> tri = texels("Tri");
  EXPECT_EQ(std::count(tri.begin(), tri.end(), 0xFFFFFFFFu), 6);
  EXPECT_EQ(tri[3], 0u);
  const std::vector<uint32_t> dim = texels("Dim");
  EXPECT_EQ(dim[0], 0x80000080u);
  EXPECT_EQ(dim[2], 0x80400040u);
  EXPECT_EQ(dim[15], 0xFFFFFFFFu) << "the triangle's corner texel, laid at (3, 3)";
  EXPECT_EQ(dim[14], 0x80000080u);

  struct SCase {
    const char* pJson;
    const char* pMessage;
  };
  for (const SCase& c : {
           SCase{R"({"atlases": [{"name": "A", "folder": "A", "images": [{"path": "X", "width": 2, "height": 2,
                 "layers": [{"image": "Later"}]}, {"path": "Later", "width": 2, "height": 2}]}]})",
                 "/atlases/0/images/0/layers/0/image: error: \"Later\" is not an image made earlier"},
           SCase{R"({"images": [{"path": "a.png", "width": 4, "height": 4, "pattern": "polygon"}]})",
                 "/images/0/points: error: is needed"},
           SCase{R"({"images": [{"path": "a.png", "width": 4, "height": 4, "pattern": "polygon",
                 "points": [[0, 0], [1], [2, 2]]}]})", "/images/0/points/1: error: a corner is [x, y]"},
           SCase{R"({"images": [{"path": "a.png", "width": 4, "height": 4, "layers": [{"path": "b", "width": 1,
                 "height": 1}]}]})", "/images/0/layers/0/path: error: is not a key here"},
           SCase{R"({"images": [{"path": "a.png", "width": 4, "height": 4, "colors": ["red"]}]})",
                 "/images/0/colors/0: error: \"red\" is not a colour"},
           SCase{R"({"images": [{"path": "a.png", "width": 0, "height": 4}]})", "/images/0/width: error:"},
           SCase{R"({"images": [{"path": "../a.png", "width": 4, "height": 4}]})", "/images/0/path: error:"},
           SCase{R"({"images": [{"path": "a.png", "width": 4, "height": 4, "pattern": "plaid"}]})",
                 "/images/0/pattern: error: \"plaid\""},
           SCase{"{\n  \"images\": [\n    {\"path\": }\n  ]\n}", "content.json:3:14: error:"},
           SCase{R"({"atlases": [{"name": "A", "folder": "A", "images": [{"path": "Run", "frames": 2, "width": 2,
                 "height": 2}]}]})", "/atlases/0/images/0/path: error: \"Run\" needs one \"%04d\""},
           SCase{R"({"atlases": [{"name": "A", "folder": "A", "images": [{"path": "Run-%04d", "frames": 0, "width": 2,
                 "height": 2}]}]})", "/atlases/0/images/0/frames: error:"},
       }) {
    std::ofstream(dir + "/content.json") << c.pJson;
    lines.clear();
    EXPECT_FALSE(AtlasMakeContent(dir + "/content.json", dir + "/out", dir + "/scratch", &lines, &error)) << c.pJson;
    EXPECT_NE(error.find(c.pMessage), std::string::npos) << error;
  }
}

// The sample atlases the build made are accepted by the engine and list every image by name.
TEST(Atlasc, SampleAtlasesAreWhatTheEngineReads) {
  for (const char* pAtlas : {"TexturesUI/TexturesUI", "TexturesGame/TexturesGame"}) {
    const std::vector<uint8_t> file = readBytes(std::string(KV_CONTENT_IMAGES_DIR) + "/" + pAtlas + ".atf");
    std::string text;
    std::string error;
    ASSERT_TRUE(AtlasList(file, {}, &text, &error)) << pAtlas << ": " << error;
    const std::string listing = std::string(KV_CONTENT_IMAGES_DIR) + "/" + pAtlas + ".atf.txt";
    const std::string built = KvTestFileBytes(listing);
    EXPECT_EQ(built.find(" ? "), std::string::npos) << "every image named in " << listing;
  }
}

}  // namespace

// The atlas builder: packs images into texture pages "<base>_<i>.png" with a table of named rectangles (".atf",
// the layout of Corvane/Graphics/ClAtlasMgr.h), lists an ".atf" as the engine reads it, and makes the sample
// content's images from a description.
//
// Packing: every BMP, PNG and TGA image of a folder (its file name without the extension is the image's name,
// hashed with the engine's name hash) is trimmed to the box of its texels whose alpha is not 0 (the untrimmed size
// and the box's offset are kept as the frame size and anchor), and placed with stb_rect_pack on square pages of the
// given size, a padding of transparent texels around each; a page is as large as what it holds. Texels are copied
// as they are (the sample images are authored with premultiplied alpha).
//
// Content description (JSON): { "images": [image...], "atlases": [{"name", "folder", "images": [image...]}] }.
// An image: { "path" (below the data root; for atlases the image's name), "width", "height", "pattern", "colors",
// "cell", "thickness", "direction", "points", "layers", "flags" } with the patterns "solid", "rows", "columns",
// "checker", "gradient", "disc" (a circle as wide as the shorter side), "ellipse" (filling the rectangle), "border"
// and "polygon" (the first colour inside "points", [[x, y], ...] in texels, by the even-odd rule), colours as
// "0xAARRGGBB", and flags (archive storage) "plain", "compress", "encrypt", "compress encrypt" (an atlas's flags are
// its table's; its pages are stored plain). "layers" are drawn over the pattern in order, premultiplied source over:
// each a shape of its own (the image keys but "path", "layers" and "flags") or {"image": the name of an image made
// earlier in the same list, "tint": a colour its texels are multiplied by (straight alpha, as the premultiplied
// blend tints)}, its top-left at "x", "y" (default 0; what falls outside the image is cut off). Loose images take
// their format from their extension (.png, .bmp, .tga). An atlas image with "frames": N (1 to 9999) is a sequence
// of N images, such as a flip book's: its name holds "%04d", which frame k (from 0) replaces with k + 1 in four
// digits, and frame k takes its colours from entry k of "colors" on (so a solid sequence changes colour a frame).
//
// Errors name the file and the place: "content.json: /atlases/0/images/2/colors: ...".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SAtlasImage {
  std::string name;
  int iWidth = 0;
  int iHeight = 0;
  std::vector<uint32_t> texels;  // 0xAARRGGBB, top row first
};

struct SAtlasPackOptions {
  int iPageSize = 1024;
  int iPadding = 2;
  bool bTrim = true;
};

// One packed image as the .atf stores it.
struct SAtlasPlacedImage {
  std::string name;
  uint32_t uiHash = 0;
  uint32_t uiPage = 0;
  int iX = 0;
  int iY = 0;
  int iWidth = 0;   // trimmed
  int iHeight = 0;
  int iFrameWidth = 0;  // untrimmed
  int iFrameHeight = 0;
  int iAnchorX = 0;  // the trimmed box's offset in the frame
  int iAnchorY = 0;
};

struct SAtlasPacked {
  std::vector<SAtlasImage> pages;  // named "<base>_<i>"
  std::vector<SAtlasPlacedImage> placed;
};

// Decodes a BMP, PNG or TGA file; false with the reason.
bool AtlasReadImage(const std::string& path, SAtlasImage* pImage, std::string* pError);
// Writes an image as PNG, BMP or TGA by the path's extension; false with the reason.
bool AtlasWriteImage(const std::string& path, const SAtlasImage& image, std::string* pError);
// Every image of a folder (not its subfolders), sorted by name; false with the reason.
bool AtlasReadFolder(const std::string& folder, std::vector<SAtlasImage>* pImages, std::string* pError);

// Packs the images; false when one does not fit a page or two names have the same hash.
bool AtlasPack(const std::vector<SAtlasImage>& images, const std::string& baseName, const SAtlasPackOptions& options,
               SAtlasPacked* pPacked, std::string* pError);
// The .atf file image of a packing.
std::vector<uint8_t> AtlasWriteTable(const SAtlasPacked& packed, const std::string& baseName);
// Packs a folder into <outDir>/<base>_<i>.png and <outDir>/<base>.atf, and checks the table with the engine's
// loader; the written files' paths in order (pages, then the table).
bool AtlasPackFolder(const std::string& folder, const std::string& outDir, const std::string& baseName,
                     const SAtlasPackOptions& options, std::vector<std::string>* pWritten, std::string* pError);

// Checks an .atf as the engine reads it (an all-zero file is refused there), and that every given image name is
// one of its entries: the names the data expects in it. False with the reason.
bool AtlasCheck(const std::vector<uint8_t>& file, const std::vector<std::string>& names, std::string* pError);
// The entries of an .atf as text, one a line, after AtlasCheck; names from the given images where their hash
// matches, else "?". False with AtlasCheck's reason.
bool AtlasList(const std::vector<uint8_t>& file, const std::vector<std::string>& names, std::string* pText,
               std::string* pError);

// Makes the content of a description under outDir: loose images at their paths, each atlas packed into
// <outDir>/<folder>/ (its images made in <scratchDir>/<name>/ first). Archive lines ("file <path> <file> <flags>")
// of everything written are appended to pManifestLines.
bool AtlasMakeContent(const std::string& descriptionPath, const std::string& outDir, const std::string& scratchDir,
                      std::string* pManifestLines, std::string* pError);

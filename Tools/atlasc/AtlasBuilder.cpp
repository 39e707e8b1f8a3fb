#include "Tools/atlasc/AtlasBuilder.h"

#include <stb_image.h>
#include <stb_image_write.h>
#include <stb_rect_pack.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <utility>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Platform/D3D9/D3DXImageCheck.h"
#include "Tools/Common/ToolText.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolText.h"

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

bool isImageFile(const std::string& path) {
  const std::string extension = lowerExtension(path);
  return extension == ".png" || extension == ".bmp" || extension == ".tga";
}

void put32(std::vector<uint8_t>* pOut, uint32_t uiValue) {
  for (int i = 0; i < 4; ++i) pOut->push_back(static_cast<uint8_t>(uiValue >> (8 * i)));
}

void putFloat(std::vector<uint8_t>* pOut, float fValue) {
  uint32_t uiBits;
  std::memcpy(&uiBits, &fValue, 4);
  put32(pOut, uiBits);
}

float floatAt(const std::vector<uint8_t>& file, size_t uiOffset) {
  float fValue;
  std::memcpy(&fValue, file.data() + uiOffset, 4);
  return fValue;
}

// The box of texels whose alpha is not 0 (the whole image when none is).
void opaqueBox(const SAtlasImage& image, int* pX, int* pY, int* pW, int* pH) {
  int iMinX = image.iWidth;
  int iMinY = image.iHeight;
  int iMaxX = -1;
  int iMaxY = -1;
  for (int y = 0; y < image.iHeight; ++y) {
    for (int x = 0; x < image.iWidth; ++x) {
      if ((image.texels[static_cast<size_t>(y) * image.iWidth + x] >> 24) != 0) {
        iMinX = std::min(iMinX, x);
        iMinY = std::min(iMinY, y);
        iMaxX = std::max(iMaxX, x);
        iMaxY = std::max(iMaxY, y);
      }
    }
  }
  if (iMaxX < 0) {
    *pX = 0;
    *pY = 0;
    *pW = image.iWidth;
    *pH = image.iHeight;
    return;
  }
  *pX = iMinX;
  *pY = iMinY;
  *pW = iMaxX - iMinX + 1;
  *pH = iMaxY - iMinY + 1;
}

// --- Content descriptions ---

struct SJsonError {
  std::string where;
  std::string message;
};

uint32_t parseColor(const nlohmann::json& value, const std::string& where) {
  if (value.is_number_unsigned()) return value.get<uint32_t>();
  if (!value.is_string()) throw SJsonError{where, "a colour is \"0xAARRGGBB\""};
  const std::string text = value.get<std::string>();
  char* pEnd = nullptr;
  const unsigned long ulValue = std::strtoul(text.c_str(), &pEnd, 16);
  if (text.size() != 10 || text.rfind("0x", 0) != 0 || *pEnd != '\0' || ulValue > 0xFFFFFFFFul) {
    throw SJsonError{where, "\"" + text + "\" is not a colour \"0xAARRGGBB\""};
  }
  return static_cast<uint32_t>(ulValue);
}

int intField(const nlohmann::json& object, const char* pKey, const std::string& where, int iDefault, int iMin,
             int iMax) {
  if (!object.contains(pKey)) {
    if (iDefault < iMin) throw SJsonError{where + "/" + pKey, "is needed"};
    return iDefault;
  }
  const nlohmann::json& value = object.at(pKey);
  if (!value.is_number_integer() || value.get<long long>() < iMin || value.get<long long>() > iMax) {
    throw SJsonError{where + "/" + pKey, "a whole number from " + std::to_string(iMin) + " to " + std::to_string(iMax)};
  }
  return value.get<int>();
}

std::string textField(const nlohmann::json& object, const char* pKey, const std::string& where, const char* pDefault) {
  if (!object.contains(pKey)) return pDefault;
  if (!object.at(pKey).is_string()) throw SJsonError{where + "/" + pKey, "a text in double quotes is needed"};
  return object.at(pKey).get<std::string>();
}

uint32_t lerpColor(uint32_t a, uint32_t b, float t) {
  uint32_t out = 0;
  for (int iShift = 0; iShift < 32; iShift += 8) {
    const float fA = static_cast<float>((a >> iShift) & 0xFF);
    const float fB = static_cast<float>((b >> iShift) & 0xFF);
    out |= static_cast<uint32_t>(std::lround(fA + (fB - fA) * t)) << iShift;
  }
  return out;
}

// Every key of an object is one the description knows: a misspelt key would otherwise be passed over in silence.
void checkKeys(const nlohmann::json& object, const std::string& where, std::initializer_list<const char*> known) {
  for (const auto& item : object.items()) {
    bool bKnown = false;
    for (const char* pKey : known) bKnown = bKnown || item.key() == pKey;
    if (!bKnown) {
      std::string list;
      for (const char* pKey : known) list += std::string(list.empty() ? "" : ", ") + pKey;
      throw SJsonError{where + "/" + item.key(), "is not a key here (" + list + ")"};
    }
  }
}

// The corners of a polygon, [[x, y], ...] in texels from the image's top-left; three at least.
std::vector<std::pair<float, float>> pointsField(const nlohmann::json& description, const std::string& where) {
  const std::string at = where + "/points";
  if (!description.contains("points")) throw SJsonError{at, "is needed: the polygon's corners [[x, y], ...]"};
  const nlohmann::json& list = description.at("points");
  if (!list.is_array() || list.size() < 3) throw SJsonError{at, "a list of three or more corners [x, y]"};
  std::vector<std::pair<float, float>> points;
  for (size_t i = 0; i < list.size(); ++i) {
    const nlohmann::json& point = list[i];
    if (!point.is_array() || point.size() != 2 || !point[0].is_number() || !point[1].is_number()) {
      throw SJsonError{at + "/" + std::to_string(i), "a corner is [x, y], two numbers"};
    }
    points.emplace_back(point[0].get<float>(), point[1].get<float>());
  }
  return points;
}

// Whether a texel's centre lies inside the polygon (even-odd rule).
bool insidePolygon(const std::vector<std::pair<float, float>>& points, float fX, float fY) {
  bool bInside = false;
  for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
    const auto [fXi, fYi] = points[i];
    const auto [fXj, fYj] = points[j];
    if ((fYi > fY) != (fYj > fY) && fX < fXj + (fY - fYj) * (fXi - fXj) / (fYi - fYj)) bInside = !bInside;
  }
  return bInside;
}

// A premultiplied texel laid over another (source over).
uint32_t over(uint32_t uiSource, uint32_t uiDest) {
  const uint32_t uiKeep = 255u - (uiSource >> 24);
  uint32_t out = 0;
  for (int iShift = 0; iShift < 32; iShift += 8) {
    const uint32_t uiValue = ((uiSource >> iShift) & 0xFF) + (((uiDest >> iShift) & 0xFF) * uiKeep + 127u) / 255u;
    out |= std::min(uiValue, 255u) << iShift;
  }
  return out;
}

// A premultiplied texel tinted by a straight-alpha colour, as the premultiplied blend's shader tints.
uint32_t tinted(uint32_t uiTexel, uint32_t uiTint) {
  const uint32_t uiAlpha = uiTint >> 24;
  uint32_t out = (((uiTexel >> 24) * uiAlpha + 127u) / 255u) << 24;
  for (int iShift = 0; iShift < 24; iShift += 8) {
    const uint32_t uiFactor = ((uiTint >> iShift) & 0xFF) * uiAlpha;
    out |= ((((uiTexel >> iShift) & 0xFF) * uiFactor + 32512u) / 65025u) << iShift;
  }
  return out;
}

// The images made so far in one list, by name: what a layer may lay again.
using SMadeImages = std::map<std::string, SAtlasImage>;

SAtlasImage synthesize(const nlohmann::json& description, const std::string& where, size_t uiFirstColor = 0,
                       const SMadeImages* pMade = nullptr);

// Lays an image's "layers" over it in order: each a shape of its own (the image keys without a path) or an earlier
// image of the list ("image", tinted by "tint"), with its top-left at "x", "y"; what falls outside is cut off.
void drawLayers(const nlohmann::json& description, const std::string& where, SAtlasImage* pImage,
                const SMadeImages* pMade) {
  const nlohmann::json layers = description.contains("layers") ? description.at("layers") : nlohmann::json::array();
  if (!layers.is_array()) throw SJsonError{where + "/layers", "a list [ ... ] is needed"};
  for (size_t i = 0; i < layers.size(); ++i) {
    const std::string at = where + "/layers/" + std::to_string(i);
    const nlohmann::json& layer = layers[i];
    if (!layer.is_object()) throw SJsonError{at, "a layer is an object"};
    SAtlasImage shape;
    uint32_t uiTint = 0xFFFFFFFFu;
    if (layer.contains("image")) {
      checkKeys(layer, at, {"image", "x", "y", "tint"});
      const std::string name = textField(layer, "image", at, "");
      const auto it = pMade != nullptr ? pMade->find(name) : SMadeImages::const_iterator{};
      if (pMade == nullptr || it == pMade->end()) {
        throw SJsonError{at + "/image", "\"" + name + "\" is not an image made earlier in this list"};
      }
      shape = it->second;
      if (layer.contains("tint")) uiTint = parseColor(layer.at("tint"), at + "/tint");
    } else {
      checkKeys(layer, at, {"x", "y", "width", "height", "pattern", "colors", "cell", "thickness", "direction", "points"});
      shape = synthesize(layer, at);
    }
    const int iLeft = intField(layer, "x", at, 0, -4096, 4096);
    const int iTop = intField(layer, "y", at, 0, -4096, 4096);
    for (int y = std::max(0, -iTop); y < shape.iHeight && iTop + y < pImage->iHeight; ++y) {
      for (int x = std::max(0, -iLeft); x < shape.iWidth && iLeft + x < pImage->iWidth; ++x) {
        uint32_t& texel = pImage->texels[static_cast<size_t>(iTop + y) * pImage->iWidth + (iLeft + x)];
        texel = over(tinted(shape.texels[static_cast<size_t>(y) * shape.iWidth + x], uiTint), texel);
      }
    }
  }
}

// An image of a description; its colour list starts at entry uiFirstColor (the frame number of a sequence).
SAtlasImage synthesize(const nlohmann::json& description, const std::string& where, size_t uiFirstColor,
                       const SMadeImages* pMade) {
  if (!description.is_object()) throw SJsonError{where, "an image is an object"};
  SAtlasImage image;
  image.iWidth = intField(description, "width", where, 0, 1, 4096);
  image.iHeight = intField(description, "height", where, 0, 1, 4096);
  const std::string pattern = textField(description, "pattern", where, "solid");
  std::vector<uint32_t> colors;
  if (description.contains("colors")) {
    const nlohmann::json& list = description.at("colors");
    if (!list.is_array() || list.empty()) throw SJsonError{where + "/colors", "a list of one or more colours"};
    for (size_t i = 0; i < list.size(); ++i) colors.push_back(parseColor(list[i], where + "/colors/" + std::to_string(i)));
  } else {
    colors.push_back(0xFFFFFFFFu);
  }
  auto color = [&](size_t i) { return colors[(i + uiFirstColor) % colors.size()]; };
  const int w = image.iWidth;
  const int h = image.iHeight;
  image.texels.assign(static_cast<size_t>(w) * h, 0);
  const std::vector<std::pair<float, float>> corners =
      pattern == "polygon" ? pointsField(description, where) : std::vector<std::pair<float, float>>{};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t& texel = image.texels[static_cast<size_t>(y) * w + x];
      if (pattern == "solid") {
        texel = color(0);
      } else if (pattern == "rows") {
        texel = color(static_cast<size_t>(y));
      } else if (pattern == "columns") {
        texel = color(static_cast<size_t>(x));
      } else if (pattern == "checker") {
        const int iCell = intField(description, "cell", where, 1, 1, 4096);
        texel = color(static_cast<size_t>((x / iCell + y / iCell) % 2));
      } else if (pattern == "gradient") {
        const bool bVertical = textField(description, "direction", where, "horizontal") == "vertical";
        const int iSteps = bVertical ? h : w;
        const float t = iSteps > 1 ? static_cast<float>(bVertical ? y : x) / static_cast<float>(iSteps - 1) : 0.0f;
        texel = lerpColor(color(0), color(1), t);
      } else if (pattern == "disc") {
        const float fDx = static_cast<float>(x) + 0.5f - static_cast<float>(w) * 0.5f;
        const float fDy = static_cast<float>(y) + 0.5f - static_cast<float>(h) * 0.5f;
        const float fRadius = static_cast<float>(std::min(w, h)) * 0.5f;
        texel = fDx * fDx + fDy * fDy <= fRadius * fRadius ? color(0) : 0u;
      } else if (pattern == "ellipse") {
        // The disc stretched to fill the whole rectangle (a drop shadow: wide and flat).
        const float fDx = (static_cast<float>(x) + 0.5f) / static_cast<float>(w) * 2.0f - 1.0f;
        const float fDy = (static_cast<float>(y) + 0.5f) / static_cast<float>(h) * 2.0f - 1.0f;
        texel = fDx * fDx + fDy * fDy <= 1.0f ? color(0) : 0u;
      } else if (pattern == "border") {
        const int iThickness = intField(description, "thickness", where, 1, 1, 4096);
        const bool bEdge = x < iThickness || y < iThickness || x >= w - iThickness || y >= h - iThickness;
        texel = bEdge ? color(0) : color(1);
      } else if (pattern == "polygon") {
        texel = insidePolygon(corners, static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f) ? color(0) : 0u;
      } else {
        throw SJsonError{where + "/pattern", "\"" + pattern + "\" is not one of solid, rows, columns, checker, gradient, "
                                             "disc, ellipse, border, polygon"};
      }
    }
  }
  drawLayers(description, where, &image, pMade);
  return image;
}

std::string flagsOf(const nlohmann::json& description, const std::string& where) {
  std::string flags = textField(description, "flags", where, "plain");
  for (const char* pAllowed : {"plain", "compress", "encrypt", "compress encrypt"}) {
    if (flags == pAllowed) return flags;
  }
  throw SJsonError{where + "/flags", "\"" + flags + "\" is not plain, compress, encrypt or \"compress encrypt\""};
}

std::string pathField(const nlohmann::json& description, const char* pKey, const std::string& where) {
  if (!description.contains(pKey) || !description.at(pKey).is_string() || description.at(pKey).get<std::string>().empty()) {
    throw SJsonError{where + "/" + pKey, "a non-empty text is needed"};
  }
  const std::string path = description.at(pKey).get<std::string>();
  if (path.find("..") != std::string::npos || path[0] == '/' || path.find('\\') != std::string::npos) {
    throw SJsonError{where + "/" + pKey, "\"" + path + "\" must stay below the output folder and use \"/\""};
  }
  return path;
}

// A list member: absent is empty, anything but a list is refused.
nlohmann::json listField(const nlohmann::json& object, const char* pKey, const std::string& where) {
  if (!object.contains(pKey)) return nlohmann::json::array();
  if (!object.at(pKey).is_array()) throw SJsonError{where + "/" + pKey, "a list [ ... ] is needed"};
  return object.at(pKey);
}

}  // namespace

bool AtlasReadImage(const std::string& path, SAtlasImage* pImage, std::string* pError) {
  std::string read;
  std::string why;
  if (!ToolReadFile(path, &read, &why)) {
    *pError = path + ": error: cannot read the file (it " + why + ")";
    return false;
  }
  const std::vector<uint8_t> bytes(read.begin(), read.end());
  if (bytes.empty()) {
    *pError = path + ": error: not an image this tool reads (empty)";
    return false;
  }
  // The engine's check first: a header that claims more texels than the file holds would make the decoder
  // allocate what it claims.
  if (!D3DXImageHeaderPlausible(bytes.data(), bytes.size(), D3DXImageFileFormatOf(bytes.data(), bytes.size()))) {
    *pError = path + ": error: not an image the engine reads (its header claims a size of 0 or over 8192 texels, a "
                     "depth or coding it does not know, or more texels than the file holds)";
    return false;
  }
  int iWidth = 0;
  int iHeight = 0;
  int iComponents = 0;
  stbi_uc* pPixels = bytes.size() > static_cast<size_t>(INT32_MAX)
                         ? nullptr
                         : stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &iWidth, &iHeight,
                                                 &iComponents, 4);
  if (pPixels == nullptr || iWidth <= 0 || iHeight <= 0) {
    const char* pReason = pPixels != nullptr ? "no texels" : stbi_failure_reason();
    stbi_image_free(pPixels);
    *pError = path + ": error: not an image this tool reads (" + (pReason != nullptr ? pReason : "no reason given") + ")";
    return false;
  }
  pImage->name = fs::path(path).stem().string();
  pImage->iWidth = iWidth;
  pImage->iHeight = iHeight;
  pImage->texels.resize(static_cast<size_t>(iWidth) * iHeight);
  for (size_t i = 0; i < pImage->texels.size(); ++i) {
    const stbi_uc* p = pPixels + i * 4;
    pImage->texels[i] = (static_cast<uint32_t>(p[3]) << 24) | (static_cast<uint32_t>(p[0]) << 16) |
                        (static_cast<uint32_t>(p[1]) << 8) | p[2];
  }
  stbi_image_free(pPixels);
  return true;
}

bool AtlasWriteImage(const std::string& path, const SAtlasImage& image, std::string* pError) {
  std::vector<uint8_t> rgba(image.texels.size() * 4);
  for (size_t i = 0; i < image.texels.size(); ++i) {
    const uint32_t t = image.texels[i];
    rgba[i * 4 + 0] = static_cast<uint8_t>(t >> 16);
    rgba[i * 4 + 1] = static_cast<uint8_t>(t >> 8);
    rgba[i * 4 + 2] = static_cast<uint8_t>(t);
    rgba[i * 4 + 3] = static_cast<uint8_t>(t >> 24);
  }
  std::error_code error;
  fs::create_directories(fs::path(path).parent_path(), error);
  // Encoded in memory, then written as every tool output is.
  std::vector<uint8_t> encoded;
  const auto append = [](void* pContext, void* pData, int iSize) {
    auto* pBytes = static_cast<std::vector<uint8_t>*>(pContext);
    pBytes->insert(pBytes->end(), static_cast<uint8_t*>(pData), static_cast<uint8_t*>(pData) + iSize);
  };
  const std::string extension = lowerExtension(path);
  int iOk = 0;
  if (extension == ".png") {
    iOk = stbi_write_png_to_func(append, &encoded, image.iWidth, image.iHeight, 4, rgba.data(), image.iWidth * 4);
  } else if (extension == ".bmp") {
    iOk = stbi_write_bmp_to_func(append, &encoded, image.iWidth, image.iHeight, 4, rgba.data());
  } else if (extension == ".tga") {
    iOk = stbi_write_tga_to_func(append, &encoded, image.iWidth, image.iHeight, 4, rgba.data());
  } else {
    *pError = path + ": error: the extension is not .png, .bmp or .tga";
    return false;
  }
  if (iOk == 0) {
    *pError = path + ": error: cannot encode the image";
    return false;
  }
  if (std::string why; !ToolWriteFile(path, encoded.data(), encoded.size(), &why)) {
    *pError = path + ": error: " + why;
    return false;
  }
  return true;
}

bool AtlasReadFolder(const std::string& folder, std::vector<SAtlasImage>* pImages, std::string* pError) {
  std::error_code error;
  std::vector<std::string> paths;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file() && isImageFile(entry.path().string())) paths.push_back(entry.path().string());
  }
  if (error) {
    *pError = folder + ": error: cannot read the folder (" + error.message() + ")";
    return false;
  }
  std::sort(paths.begin(), paths.end());
  pImages->clear();
  for (const std::string& path : paths) {
    SAtlasImage image;
    if (!AtlasReadImage(path, &image, pError)) return false;
    pImages->push_back(std::move(image));
  }
  return true;
}

bool AtlasPack(const std::vector<SAtlasImage>& images, const std::string& baseName, const SAtlasPackOptions& options,
               SAtlasPacked* pPacked, std::string* pError) {
  *pPacked = SAtlasPacked{};
  std::map<uint32_t, std::string> hashes;
  struct SPending {
    size_t uiImage;
    int iTrimX, iTrimY, iTrimW, iTrimH;
  };
  std::vector<SPending> pending;
  for (size_t i = 0; i < images.size(); ++i) {
    const SAtlasImage& image = images[i];
    const uint32_t uiHash = KvStrHash(image.name.c_str());
    auto [it, bNew] = hashes.emplace(uiHash, image.name);
    if (!bNew) {
      *pError = "images \"" + it->second + "\" and \"" + image.name + "\" have the same name hash";
      return false;
    }
    SPending item{i, 0, 0, image.iWidth, image.iHeight};
    if (options.bTrim) opaqueBox(image, &item.iTrimX, &item.iTrimY, &item.iTrimW, &item.iTrimH);
    if (item.iTrimW + options.iPadding > options.iPageSize || item.iTrimH + options.iPadding > options.iPageSize) {
      *pError = "image \"" + image.name + "\" (" + std::to_string(item.iTrimW) + " x " + std::to_string(item.iTrimH) +
                ") does not fit a page of " + std::to_string(options.iPageSize);
      return false;
    }
    pending.push_back(item);
  }
  std::vector<stbrp_node> nodes(static_cast<size_t>(options.iPageSize));
  while (!pending.empty()) {
    stbrp_context context;
    stbrp_init_target(&context, options.iPageSize, options.iPageSize, nodes.data(), options.iPageSize);
    std::vector<stbrp_rect> rects(pending.size());
    for (size_t i = 0; i < pending.size(); ++i) {
      rects[i] = stbrp_rect{};
      rects[i].id = static_cast<int>(i);
      rects[i].w = pending[i].iTrimW + options.iPadding;
      rects[i].h = pending[i].iTrimH + options.iPadding;
    }
    stbrp_pack_rects(&context, rects.data(), static_cast<int>(rects.size()));
    const uint32_t uiPage = static_cast<uint32_t>(pPacked->pages.size());
    SAtlasImage page;
    page.name = baseName + "_" + std::to_string(uiPage);
    std::vector<SPending> left;
    for (const stbrp_rect& rect : rects) {
      const SPending& item = pending[static_cast<size_t>(rect.id)];
      if (!rect.was_packed) {
        left.push_back(item);
        continue;
      }
      const SAtlasImage& image = images[item.uiImage];
      SAtlasPlacedImage placed;
      placed.name = image.name;
      placed.uiHash = KvStrHash(image.name.c_str());
      placed.uiPage = uiPage;
      placed.iX = rect.x + options.iPadding / 2;
      placed.iY = rect.y + options.iPadding / 2;
      placed.iWidth = item.iTrimW;
      placed.iHeight = item.iTrimH;
      placed.iFrameWidth = image.iWidth;
      placed.iFrameHeight = image.iHeight;
      placed.iAnchorX = item.iTrimX;
      placed.iAnchorY = item.iTrimY;
      page.iWidth = std::max(page.iWidth, rect.x + rect.w);
      page.iHeight = std::max(page.iHeight, rect.y + rect.h);
      pPacked->placed.push_back(placed);
    }
    page.texels.assign(static_cast<size_t>(page.iWidth) * page.iHeight, 0);
    for (const SAtlasPlacedImage& placed : pPacked->placed) {
      if (placed.uiPage != uiPage) continue;
      const SAtlasImage* pImage = nullptr;
      for (const SAtlasImage& image : images) {
        if (image.name == placed.name) pImage = &image;
      }
      for (int y = 0; y < placed.iHeight; ++y) {
        std::memcpy(&page.texels[static_cast<size_t>(placed.iY + y) * page.iWidth + placed.iX],
                    &pImage->texels[static_cast<size_t>(placed.iAnchorY + y) * pImage->iWidth + placed.iAnchorX],
                    static_cast<size_t>(placed.iWidth) * 4);
      }
    }
    pPacked->pages.push_back(std::move(page));
    if (left.size() == pending.size()) {
      *pError = "the packer placed nothing on page " + std::to_string(uiPage);
      return false;
    }
    pending = std::move(left);
  }
  // The table's order: descending signed name hashes.
  std::sort(pPacked->placed.begin(), pPacked->placed.end(), [](const SAtlasPlacedImage& a, const SAtlasPlacedImage& b) {
    return static_cast<int32_t>(a.uiHash) > static_cast<int32_t>(b.uiHash);
  });
  return true;
}

std::vector<uint8_t> AtlasWriteTable(const SAtlasPacked& packed, const std::string& baseName) {
  std::vector<uint8_t> file;
  const size_t uiNameEnd = gc_uiATLAS_HEADER_SIZE + baseName.size() + 1;
  const uint32_t uiTable = static_cast<uint32_t>((uiNameEnd + 3) & ~size_t{3});
  const uint32_t uiCount = static_cast<uint32_t>(packed.placed.size());
  const uint32_t uiRecords = uiTable + 4 * uiCount;
  for (uint32_t uiWord : {uiTable, 0u, 0u, 0u, uiCount, 0u, static_cast<uint32_t>(packed.pages.size())}) {
    put32(&file, uiWord);
  }
  file.insert(file.end(), baseName.begin(), baseName.end());
  file.resize(uiTable, 0);
  for (uint32_t i = 0; i < uiCount; ++i) put32(&file, uiRecords + i * gc_uiATLAS_RECORD_SIZE);
  for (const SAtlasPlacedImage& placed : packed.placed) {
    const SAtlasImage& page = packed.pages[placed.uiPage];
    const float fW = static_cast<float>(page.iWidth);
    const float fH = static_cast<float>(page.iHeight);
    put32(&file, placed.uiHash);
    put32(&file, placed.uiPage);
    putFloat(&file, static_cast<float>(placed.iX) / fW);
    putFloat(&file, static_cast<float>(placed.iY) / fH);
    putFloat(&file, static_cast<float>(placed.iX + placed.iWidth) / fW);
    putFloat(&file, static_cast<float>(placed.iY + placed.iHeight) / fH);
    putFloat(&file, static_cast<float>(placed.iWidth));
    putFloat(&file, static_cast<float>(placed.iHeight));
    putFloat(&file, static_cast<float>(placed.iFrameWidth));
    putFloat(&file, static_cast<float>(placed.iFrameHeight));
    putFloat(&file, static_cast<float>(placed.iAnchorX));
    putFloat(&file, static_cast<float>(placed.iAnchorY));
  }
  return file;
}

bool AtlasPackFolder(const std::string& folder, const std::string& outDir, const std::string& baseName,
                     const SAtlasPackOptions& options, std::vector<std::string>* pWritten, std::string* pError) {
  std::vector<SAtlasImage> images;
  if (!AtlasReadFolder(folder, &images, pError)) return false;
  SAtlasPacked packed;
  if (!AtlasPack(images, baseName, options, &packed, pError)) {
    *pError = folder + ": error: " + *pError;
    return false;
  }
  std::error_code error;
  fs::create_directories(outDir, error);
  pWritten->clear();
  for (const SAtlasImage& page : packed.pages) {
    const std::string path = outDir + "/" + page.name + ".png";
    if (!AtlasWriteImage(path, page, pError)) return false;
    pWritten->push_back(path);
  }
  const std::vector<uint8_t> table = AtlasWriteTable(packed, baseName);
  std::vector<std::string> names;
  for (const SAtlasImage& image : images) names.push_back(image.name);
  std::string text;
  if (!AtlasList(table, names, &text, pError)) {
    *pError = outDir + "/" + baseName + ".atf: error: the engine refuses the table it was given: " + *pError;
    return false;
  }
  const std::string tablePath = outDir + "/" + baseName + ".atf";
  if (std::string why; !ToolWriteFile(tablePath, table.data(), table.size(), &why)) {
    *pError = tablePath + ": error: " + why;
    return false;
  }
  pWritten->push_back(tablePath);
  return true;
}

namespace {

// The file aligned as the engine reads it (the archive reader hands images over 16-byte aligned).
std::vector<uint32_t> alignedCopy(const std::vector<uint8_t>& file) {
  std::vector<uint32_t> aligned((file.size() + 3) / 4 + 4, 0);
  if (!file.empty()) std::memcpy(aligned.data(), file.data(), file.size());
  return aligned;
}

// The engine's checks, then every named image among the entries.
bool checkTable(const u8* pData, u32 uiSize, const std::vector<std::string>& names, std::string* pError) {
  char szReason[256] = "";
  if (!ClAtlasMgr::checkAtlasImage(pData, uiSize, szReason, sizeof(szReason))) {
    *pError = szReason;
    return false;
  }
  const SAtlasFileHeader& header = *reinterpret_cast<const SAtlasFileHeader*>(pData);
  std::set<uint32_t> held;
  for (i32 i = 0; i < header.mp_iNumEntries; ++i) {
    uint32_t uiOffset;
    std::memcpy(&uiOffset, pData + header.mp_uiEntryTableOffset + 4u * static_cast<uint32_t>(i), 4);
    uint32_t uiHash;
    std::memcpy(&uiHash, pData + uiOffset, 4);
    held.insert(uiHash);
  }
  size_t uiMissing = 0;
  std::string first;
  for (const std::string& name : names) {
    if (held.count(KvStrHash(name.c_str())) != 0) continue;
    if (uiMissing++ == 0) first = name;
  }
  if (uiMissing == 0) return true;
  if (header.mp_iNumEntries == 0) {
    *pError = "the atlas holds no images, while " + std::to_string(names.size()) + (names.size() == 1 ? " is" : " are") +
              " named for it (\"" + first + "\" first)";
  } else {
    *pError = "\"" + first + "\" is named for the atlas but is not in it (" + std::to_string(uiMissing) + " of " +
              std::to_string(names.size()) + " named images missing)";
  }
  return false;
}

}  // namespace

bool AtlasCheck(const std::vector<uint8_t>& file, const std::vector<std::string>& names, std::string* pError) {
  const std::vector<uint32_t> aligned = alignedCopy(file);
  return checkTable(reinterpret_cast<const u8*>(aligned.data()), static_cast<u32>(file.size()), names, pError);
}

bool AtlasList(const std::vector<uint8_t>& file, const std::vector<std::string>& names, std::string* pText,
               std::string* pError) {
  const std::vector<uint32_t> aligned = alignedCopy(file);
  const u8* pData = reinterpret_cast<const u8*>(aligned.data());
  if (!checkTable(pData, static_cast<u32>(file.size()), names, pError)) return false;
  std::map<uint32_t, std::string> byHash;
  for (const std::string& name : names) byHash[KvStrHash(name.c_str())] = name;
  const SAtlasFileHeader& header = *reinterpret_cast<const SAtlasFileHeader*>(pData);
  char szLine[512];
  std::snprintf(szLine, sizeof(szLine), "base %s, %d textures, %d entries\n",
                ToolEscapeText(reinterpret_cast<const char*>(pData + gc_uiATLAS_HEADER_SIZE)).c_str(),
                header.mp_iNumTextures,
                header.mp_iNumEntries);
  *pText = szLine;
  for (i32 i = 0; i < header.mp_iNumEntries; ++i) {
    uint32_t uiOffset;
    std::memcpy(&uiOffset, pData + header.mp_uiEntryTableOffset + 4u * static_cast<uint32_t>(i), 4);
    uint32_t uiHash;
    uint32_t uiPage;
    std::memcpy(&uiHash, file.data() + uiOffset, 4);
    std::memcpy(&uiPage, file.data() + uiOffset + 4, 4);
    auto it = byHash.find(uiHash);
    std::snprintf(szLine, sizeof(szLine),
                  "0x%08X %-32s page %u uv (%.6f, %.6f)-(%.6f, %.6f) size %gx%g frame %gx%g anchor (%g, %g)\n", uiHash,
                  it != byHash.end() ? it->second.c_str() : "?", uiPage, floatAt(file, uiOffset + 8),
                  floatAt(file, uiOffset + 12), floatAt(file, uiOffset + 16), floatAt(file, uiOffset + 20),
                  floatAt(file, uiOffset + 24), floatAt(file, uiOffset + 28), floatAt(file, uiOffset + 32),
                  floatAt(file, uiOffset + 36), floatAt(file, uiOffset + 40), floatAt(file, uiOffset + 44));
    *pText += szLine;
  }
  return true;
}

bool AtlasMakeContent(const std::string& descriptionPath, const std::string& outDir, const std::string& scratchDir,
                      std::string* pManifestLines, std::string* pError) {
  std::string text;
  if (!ToolReadTextSource(descriptionPath, &text, pError)) {
    return false;
  }
  nlohmann::json description;
  try {
    description = nlohmann::json::parse(text, nullptr, true, true);
  } catch (const nlohmann::json::parse_error& error) {
    // The byte the parser stopped at, as a line and column.
    size_t uiLine = 1;
    size_t uiColumn = 1;
    for (size_t i = 0; i + 1 < error.byte && i < text.size(); ++i) {
      if (text[i] == '\n') {
        ++uiLine;
        uiColumn = 1;
      } else {
        ++uiColumn;
      }
    }
    *pError = descriptionPath + ":" + std::to_string(uiLine) + ":" + std::to_string(uiColumn) + ": error: " + error.what();
    return false;
  } catch (const nlohmann::json::exception& error) {
    // A number the parser cannot hold (1e400) and the like.
    *pError = descriptionPath + ": error: " + error.what();
    return false;
  }
  try {
    if (!description.is_object()) throw SJsonError{"", "the description is an object"};
    checkKeys(description, "", {"images", "atlases"});
    if (!description.contains("images") && !description.contains("atlases")) {
      throw SJsonError{"", "the description has neither \"images\" nor \"atlases\": it would make nothing"};
    }
    const nlohmann::json images = listField(description, "images", "");
    SMadeImages looseImages;
    for (size_t i = 0; i < images.size(); ++i) {
      const std::string where = "/images/" + std::to_string(i);
      if (!images[i].is_object()) throw SJsonError{where, "an image is an object"};
      checkKeys(images[i], where,
                {"path", "width", "height", "pattern", "colors", "cell", "thickness", "direction", "points", "layers",
                 "flags"});
      const std::string path = pathField(images[i], "path", where);
      if (!isImageFile(path)) throw SJsonError{where + "/path", "\"" + path + "\" is not a .png, .bmp or .tga file"};
      const SAtlasImage image = synthesize(images[i], where, 0, &looseImages);
      looseImages[path] = image;
      const std::string file = outDir + "/" + path;
      if (!AtlasWriteImage(file, image, pError)) return false;
      *pManifestLines +=
          "file " + ToolQuoteWord(path) + " " + ToolQuoteWord(file) + " " + flagsOf(images[i], where) + "\n";
    }
    const nlohmann::json atlases = listField(description, "atlases", "");
    for (size_t i = 0; i < atlases.size(); ++i) {
      const std::string where = "/atlases/" + std::to_string(i);
      const nlohmann::json& atlas = atlases[i];
      if (!atlas.is_object()) throw SJsonError{where, "an atlas is an object"};
      checkKeys(atlas, where, {"name", "folder", "flags", "images"});
      const std::string name = pathField(atlas, "name", where);
      const std::string folder = pathField(atlas, "folder", where);
      const std::string flags = flagsOf(atlas, where);
      const std::string sourceDir = scratchDir + "/" + name;
      std::error_code error;
      fs::remove_all(sourceDir, error);
      fs::create_directories(sourceDir, error);
      const nlohmann::json atlasImages = listField(atlas, "images", where);
      SMadeImages madeImages;
      for (size_t j = 0; j < atlasImages.size(); ++j) {
        const std::string imageWhere = where + "/images/" + std::to_string(j);
        if (!atlasImages[j].is_object()) throw SJsonError{imageWhere, "an image is an object"};
        checkKeys(atlasImages[j], imageWhere,
                  {"path", "width", "height", "pattern", "colors", "cell", "thickness", "direction", "points",
                   "layers", "frames"});
        const std::string imageName = pathField(atlasImages[j], "path", imageWhere);
        const int iFrames =
            atlasImages[j].contains("frames") ? intField(atlasImages[j], "frames", imageWhere, 1, 1, 9999) : 0;
        if (iFrames == 0) {
          const SAtlasImage image = synthesize(atlasImages[j], imageWhere, 0, &madeImages);
          if (!AtlasWriteImage(sourceDir + "/" + imageName + ".png", image, pError)) return false;
          madeImages[imageName] = image;
          continue;
        }
        // A sequence: "%04d" in the name is the frame number from 0001; frame k starts its colours at entry k.
        const size_t uiNumber = imageName.find("%04d");
        if (uiNumber == std::string::npos || imageName.find('%', uiNumber + 1) != std::string::npos) {
          throw SJsonError{imageWhere + "/path", "\"" + imageName + "\" needs one \"%04d\" for the frame number"};
        }
        for (int k = 0; k < iFrames; ++k) {
          char szNumber[16];
          std::snprintf(szNumber, sizeof(szNumber), "%04d", k + 1);
          const std::string frameName = imageName.substr(0, uiNumber) + szNumber + imageName.substr(uiNumber + 4);
          if (!AtlasWriteImage(sourceDir + "/" + frameName + ".png",
                               synthesize(atlasImages[j], imageWhere, static_cast<size_t>(k)), pError)) {
            return false;
          }
        }
      }
      std::vector<std::string> written;
      if (!AtlasPackFolder(sourceDir, outDir + "/" + folder, name, SAtlasPackOptions{}, &written, pError)) return false;
      // Pages are stored plain (PNG does not shrink); the flags are the table's.
      for (const std::string& file : written) {
        const bool bTable = lowerExtension(file) == ".atf";
        *pManifestLines += "file " + ToolQuoteWord(folder + "/" + fs::path(file).filename().string()) + " " +
                           ToolQuoteWord(file) + " " + (bTable ? flags : std::string("plain")) + "\n";
      }
    }
  } catch (const SJsonError& error) {
    *pError = descriptionPath + ": " + error.where + ": error: " + error.message;
    return false;
  } catch (const nlohmann::json::exception& error) {
    *pError = descriptionPath + ": error: " + error.what();
    return false;
  }
  return true;
}

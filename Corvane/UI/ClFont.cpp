#include "Corvane/UI/ClFont.h"

#include <cmath>
#include <new>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/KvTextLayoutCache.h"

bool ClFont::mp_bInitialised = false;

namespace {

constexpr i32 gc_iTEXT_VECTOR_CAPACITY = 8;

// The character before the one being measured, for kerning: reset at the start of each layout and each line.
wchar16 g_usPreviousCharacter = 0;

bool isBlank(wchar16 c) { return c == 0x20 || c == 0x09; }

// The length of the newline at p (2 for '\' 'n' and CR LF, 1 for LF), or 0.
i32 newlineAt(const wchar16* p) {
  if ((p[0] == 0x5C && p[1] == 0x6E) || (p[0] == 0x0D && p[1] == 0x0A)) return 2;
  return p[0] == 0x0A ? 1 : 0;
}

STextToken* newToken(E_TEXT_TOKEN eKind, f32 fHeight, const wchar16* pFirst) {
  void* pMemory = KvAlignedAlloc(sizeof(STextToken), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pToken");
  return new (pMemory) STextToken{eKind, 0.0f, fHeight, pFirst, 0, 0};
}

// The glyph a character is drawn with: its own (a no-break space as a space), else the default character's, else
// null (nothing drawn, no advance).
const SFontGlyph* drawnGlyph(const SFontData* pData, wchar16 c) {
  const SFontGlyph* pGlyph = ClFontFamilyMgr::findGlyph(pData, c == 0xA0 ? 0x20 : c);
  return pGlyph != nullptr ? pGlyph : ClFontFamilyMgr::findGlyph(pData, pData->mp_usDefaultCharacter);
}

// Adds one character to a token: the advance of the glyph it is drawn with, so that a text without some of its
// glyphs measures what is drawn, with the kerning against the previous character.
void measure(STextToken* pToken, wchar16 c, const SFontData* pData) {
  const SFontGlyph* pGlyph = drawnGlyph(pData, c);
  if (pGlyph != nullptr) {
    const SFontKerning* pKerning = ClFontFamilyMgr::findKerning(pGlyph, g_usPreviousCharacter);
    pToken->mp_fWidth += pGlyph->mp_fAdvanceX + (pKerning != nullptr ? pKerning->mp_fX : 0.0f);
  }
  g_usPreviousCharacter = c;
  ++pToken->mp_iCount;
}

void freeToken(STextToken* pToken) { KvAlignedFree(pToken); }

STextLine& addLine(STextPackage* pPackage, f32 fEmptyLineHeight) {
  STextLine line;
  line.mp_fWidth = 0.0f;
  line.mp_fHeight = fEmptyLineHeight;
  const i32 iIndex = pPackage->mp_daLines.append(line) - 1;
  pPackage->mp_daLines[iIndex].mp_daTokens.initialize(gc_iTEXT_VECTOR_CAPACITY);
  g_usPreviousCharacter = 0;
  return pPackage->mp_daLines[iIndex];
}

// Counts the line into the package, then drops its trailing blank run.
void finishLine(STextPackage* pPackage, STextLine& line) {
  if (line.mp_fWidth > pPackage->mp_fWidth) pPackage->mp_fWidth = line.mp_fWidth;
  pPackage->mp_fHeight += line.mp_fHeight;
  const i32 iCount = line.mp_daTokens.getCount();
  if (iCount > 0 && line.mp_daTokens[iCount - 1]->mp_eKind == E_TEXT_TOKEN_BLANK) {
    STextToken* pBlank = line.mp_daTokens[iCount - 1];
    line.mp_fWidth -= pBlank->mp_fWidth;
    line.mp_daTokens.erase(iCount - 1);
    freeToken(pBlank);
  }
}

void appendToken(STextLine& line, STextToken* pToken) {
  line.mp_daTokens.append(pToken);
  if (pToken->mp_fHeight > line.mp_fHeight) line.mp_fHeight = pToken->mp_fHeight;
  line.mp_fWidth += pToken->mp_fWidth;
}

// One glyph's sprite at the pen moved by its kerning, and its shadow when asked for (a glyph with a quad).
void addGlyphSprites(const SFontGlyph* pGlyph, const SRenderSignature* pSignature, f32 fPenX, f32 fPenY, f32 fKernX,
                     f32 fKernY, u16 uLayer, u32 uiColor, bool bShadow, u16 uShadowLayer, u32 uiShadowColor,
                     const f32* pShadowOffset) {
  const f32 fGlyphX = fPenX + fKernX + pGlyph->mp_fOffsetX;
  const f32 fGlyphY = fPenY + fKernY + pGlyph->mp_fOffsetY;
  const kv_vector2 uvTopLeft{pGlyph->mp_fU0, pGlyph->mp_fV0};
  const kv_vector2 uvBottomRight{pGlyph->mp_fU1, pGlyph->mp_fV1};
  Cl2d::addSprite(uLayer, pSignature, uiColor, fGlyphX, fGlyphY, pGlyph->mp_fWidth, pGlyph->mp_fHeight, uvTopLeft,
                  uvBottomRight);
  if (bShadow) {
    Cl2d::addSprite(uShadowLayer, pSignature, uiShadowColor, fGlyphX + pShadowOffset[0], fGlyphY + pShadowOffset[1],
                    pGlyph->mp_fWidth, pGlyph->mp_fHeight, uvTopLeft, uvBottomRight);
  }
}

}  // namespace

void ClFont::initialise() { mp_bInitialised = true; }

void ClFont::terminate() { mp_bInitialised = false; }

STextToken* ClFont::nextToken(const wchar16** INOUT_ppuiText, const SFontData* pFontMetaData) {
  KV_ASSERT_MSG(INOUT_ppuiText != nullptr && *INOUT_ppuiText != nullptr, "INOUT_ppuiText");
  KV_ASSERT_MSG(pFontMetaData != nullptr, "pFontMetaData");
  const wchar16* p = *INOUT_ppuiText;
  const f32 fLineHeight = pFontMetaData->mp_fLineHeight;
  if (p[0] == 0) return newToken(E_TEXT_TOKEN_END, 0.0f, nullptr);
  if (const i32 iNewline = newlineAt(p)) {
    *INOUT_ppuiText = p + iNewline;
    return newToken(E_TEXT_TOKEN_NEWLINE, fLineHeight, nullptr);
  }
  STextToken* pToken = newToken(isBlank(p[0]) ? E_TEXT_TOKEN_BLANK : E_TEXT_TOKEN_WORD, fLineHeight, p);
  if (pToken->mp_eKind == E_TEXT_TOKEN_BLANK) {
    while (isBlank(*p)) measure(pToken, *p++, pFontMetaData);
  } else {
    measure(pToken, *p++, pFontMetaData);
    while (*p != 0 && !isBlank(*p) && newlineAt(p) == 0 && !(p[0] == '#' && p[1] == '#')) {
      measure(pToken, *p++, pFontMetaData);
    }
  }
  *INOUT_ppuiText = p;
  return pToken;
}

STextPackage* ClFont::layoutText(ClFontEntry* pFont, const wchar16* puiString, f32 fWidth) {
  KV_ASSERT_MSG(pFont != nullptr, "pFont");
  KV_ASSERT_MSG(puiString != nullptr, "puiString");
  const SFontData* pFontMetaData = pFont->mp_pFontData;
  KV_ASSERT_MSG(pFontMetaData != nullptr, "pFontMetaData");
  void* pMemory = KvAlignedAlloc(sizeof(STextPackage), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pPackage");
  STextPackage* pPackage = new (pMemory) STextPackage{0, pFont, {}, puiString, 0.0f, 0.0f};
  pPackage->mp_daLines.initialize(gc_iTEXT_VECTOR_CAPACITY);
  const f32 fEmpty = pFontMetaData->mp_fEmptyLineHeight;
  i32 iLine = 0;
  addLine(pPackage, fEmpty);
  const wchar16* pCursor = puiString;
  for (;;) {
    STextToken* pToken = nextToken(&pCursor, pFontMetaData);
    STextLine& line = pPackage->mp_daLines[iLine];
    if (pToken->mp_eKind == E_TEXT_TOKEN_END) {
      finishLine(pPackage, line);
      freeToken(pToken);
      break;
    }
    if (pToken->mp_eKind == E_TEXT_TOKEN_NEWLINE) {
      finishLine(pPackage, line);
      freeToken(pToken);
      addLine(pPackage, fEmpty);
      ++iLine;
      continue;
    }
    if (fWidth != 0.0f && line.mp_daTokens.getCount() > 0 && line.mp_fWidth + pToken->mp_fWidth > fWidth) {
      finishLine(pPackage, line);
      addLine(pPackage, fEmpty);
      ++iLine;
      if (pToken->mp_eKind == E_TEXT_TOKEN_BLANK) {
        freeToken(pToken);
        continue;
      }
    }
    appendToken(pPackage->mp_daLines[iLine], pToken);
  }
  return pPackage;
}

void ClFont::freePackage(STextPackage* pPackage) {
  if (pPackage == nullptr) return;
  for (i32 l = 0; l < pPackage->mp_daLines.getCount(); ++l) {
    STextLine& line = pPackage->mp_daLines[l];
    for (i32 t = 0; t < line.mp_daTokens.getCount(); ++t) freeToken(line.mp_daTokens[t]);
    line.mp_daTokens.terminate();
  }
  pPackage->mp_daLines.terminate();
  pPackage->~STextPackage();
  KvAlignedFree(pPackage);
}

f32 ClFont::lineStartX(const STextPackage& crPackage, const STextLine& crLine, u32 uiAlignment, f32 fX0) {
  return lineStartX(crPackage.mp_fWidth, crLine.mp_fWidth, uiAlignment, fX0);
}

f32 ClFont::lineStartX(f32 fPackageWidth, f32 fLineWidth, u32 uiAlignment, f32 fX0) {
  switch (uiAlignment) {
    case gc_uiTEXT_ALIGN_LEFT:
      return fX0;
    case gc_uiTEXT_ALIGN_CENTRE:
      return std::floor((fPackageWidth - fLineWidth) * 0.5f + fX0 + 0.5f);
    case gc_uiTEXT_ALIGN_RIGHT:
      return std::floor(fPackageWidth - fLineWidth + fX0 + 0.5f);
    default:
      KV_FATAL("Unhandled case");
      return fX0;
  }
}

i32 ClFont::glyphSignatures(const ClFontEntry* pFont, u32 uiShaderHash, u32 uiSecondaryTextureHash, u32 uiCanvasHash,
                    const SRenderSignature** ppSignatures) {
  ClTexture* pSecondary = nullptr;
  if (uiSecondaryTextureHash != 0) {
    pSecondary = ClTextureMgr::mp_textureTable.isAllocated()
                     ? ClTextureMgr::mp_textureTable.findPtr<ClTexture>(uiSecondaryTextureHash)
                     : nullptr;
    if (pSecondary == nullptr) {
      const SUITexture* pUITex = ClUI::getBestFitUITexture(
          uiSecondaryTextureHash, Cl2d::getCanvasByHash(uiCanvasHash)->mp_fResolutionHeight);
      KV_ASSERT_MSG(pUITex != nullptr, "pUITex");
      pSecondary = pUITex->mp_pBestTexture;
      KV_ASSERT_MSG(pSecondary != nullptr, "pSecondaryTex");
    }
  }
  const i32 iCount = pFont->mp_pFontData->mp_iNumberTextures;
  for (i32 t = 0; t < iCount && t < gc_iMAX_SIGS_PER_FONT; ++t) {
    ppSignatures[t] = pSecondary == nullptr
                          ? ClSignatureMgr::getSignatureByHash(uiShaderHash, pFont->mp_apTextures[t])
                          : ClSignatureMgr::getSignatureByHash2(uiShaderHash, pFont->mp_apTextures[t], pSecondary);
  }
  return iCount;
}

void ClFont::drawText(const STextPackage& crPackage, u32 uiShaderHash, u32 uiSecondaryTextureHash,
                      u32 uiCanvasHash, u16 uLayer, u32 uiScreenFlags, f32 fX, f32 fY, u32 uiAnchorFlags,
                      u32 uiAlignment, const u32* puiColor, f32* pOutRect, const f32* pShadowOffset,
                      u32 uiShadowColor) {
  KV_ASSERT_MSG(!crPackage.mp_bIsFTFont, "!crPackage.mp_bIsFTFont");
  const ClFontEntry* pFont = crPackage.mp_pFont;
  const SFontData* pFontMetaData = pFont != nullptr ? pFont->mp_pFontData : nullptr;
  KV_ASSERT_MSG(pFontMetaData != nullptr, "pFontMetaData");

  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const kv_vector2 vOrigin =
      Cl2d::computePositionOnCanvas(uiCanvasHash, fX * pCanvas->mp_fScale, fY * pCanvas->mp_fScale,
                                    crPackage.mp_fWidth, crPackage.mp_fHeight, uiScreenFlags, uiAnchorFlags);
  if (pOutRect != nullptr) {
    pOutRect[0] = vOrigin.x;
    pOutRect[1] = vOrigin.x + crPackage.mp_fWidth;
    pOutRect[2] = vOrigin.y;
    pOutRect[3] = vOrigin.y + crPackage.mp_fHeight;
  }

  const SRenderSignature* apSignatures[gc_iMAX_SIGS_PER_FONT] = {};
  const i32 iNumSignatures = glyphSignatures(pFont, uiShaderHash, uiSecondaryTextureHash, uiCanvasHash, apSignatures);
  const bool bShadow = pShadowOffset != nullptr && (pShadowOffset[0] != 0.0f || pShadowOffset[1] != 0.0f);
  // Text on layer 0 keeps its shadow on layer 0 rather than wrapping the layer number.
  const u16 uShadowLayer = uLayer > 0 ? static_cast<u16>(uLayer - 1) : u16{0};
  u32 uiColor = *puiColor;

  f32 fPenY = vOrigin.y;
  for (i32 l = 0; l < crPackage.mp_daLines.getCount(); ++l) {
    const STextLine& line = crPackage.mp_daLines[l];
    f32 fPenX = lineStartX(crPackage, line, uiAlignment, vOrigin.x);
    for (i32 t = 0; t < line.mp_daTokens.getCount(); ++t) {
      const STextToken* pToken = line.mp_daTokens[t];
      if (pToken->mp_eKind == E_TEXT_TOKEN_COLOR) {
        if (pToken->mp_iCount == 0) {
          uiColor = (uiColor & 0xFF000000u) | (pToken->mp_uiColor & 0x00FFFFFFu);
        } else if (pToken->mp_iCount == 1) {
          uiColor = *puiColor;
        } else {
          KV_FATAL("Unhandled case");
        }
        continue;
      }
      if (pToken->mp_eKind != E_TEXT_TOKEN_BLANK && pToken->mp_eKind != E_TEXT_TOKEN_WORD) {
        KV_FATAL("Unhandled case");
        continue;
      }
      for (i32 k = 0; k < pToken->mp_iCount; ++k) {
        const SFontGlyph* pGlyph = drawnGlyph(pFontMetaData, pToken->mp_pFirst[k]);
        if (pGlyph == nullptr) continue;
        f32 fKernX = 0.0f;
        f32 fKernY = 0.0f;
        if (k > 0) {
          if (const SFontKerning* pKerning = ClFontFamilyMgr::findKerning(pGlyph, pToken->mp_pFirst[k - 1])) {
            fKernX = pKerning->mp_fX;
            fKernY = pKerning->mp_fY;
          }
        }
        if (pGlyph->mp_fWidth != 0.0f && pGlyph->mp_fHeight != 0.0f) {
          KV_ASSERT_MSG(pGlyph->mp_iTextureIndex >= 0 && pGlyph->mp_iTextureIndex < iNumSignatures,
                        "pGlyph->mp_iTextureIndex < iNumSignatures");
          addGlyphSprites(pGlyph, apSignatures[pGlyph->mp_iTextureIndex], fPenX, fPenY, fKernX, fKernY, uLayer, uiColor,
                          bShadow, uShadowLayer, uiShadowColor, pShadowOffset);
        }
        fPenX += pGlyph->mp_fAdvanceX + fKernX + pFont->mp_fLetterSpacing;
        fPenY += pGlyph->mp_fAdvanceY + fKernY;
      }
    }
    fPenY += line.mp_fHeight;
  }
}

STextLayoutCache* KvNewTextLayoutCache() {
  void* pMemory = KvAlignedAlloc(sizeof(STextLayoutCache), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pCache");
  auto* pCache = new (pMemory) STextLayoutCache{};
  pCache->mp_iNumSignatures = -1;
  return pCache;
}

void KvFreeTextLayoutCache(STextLayoutCache* pCache) {
  if (pCache == nullptr) return;
  KvAlignedFree(pCache->mp_puiText);
  KvAlignedFree(pCache->mp_pLines);
  KvAlignedFree(pCache->mp_pGlyphs);
  KvAlignedFree(pCache);
}

namespace {

// Grows a buffer of T to at least iCount records, dropping what it held.
template <typename T>
void reserveRecords(T*& rpBuffer, i32& riCapacity, i32 iCount) {
  if (iCount <= riCapacity) return;
  KvAlignedFree(rpBuffer);
  const i32 iCapacity = iCount < 16 ? 16 : iCount + iCount / 2;
  rpBuffer = static_cast<T*>(KvAlignedAlloc(sizeof(T) * static_cast<size_t>(iCapacity), 16));
  KV_ASSERT_MSG(rpBuffer != nullptr, "pBuffer");
  riCapacity = iCapacity;
}

}  // namespace

void KvReserveTextLayoutCache(STextLayoutCache* pCache, i32 iTextLength, i32 iLines, i32 iGlyphs) {
  reserveRecords(pCache->mp_puiText, pCache->mp_iTextCapacity, iTextLength + 1);
  reserveRecords(pCache->mp_pLines, pCache->mp_iLineCapacity, iLines);
  reserveRecords(pCache->mp_pGlyphs, pCache->mp_iGlyphCapacity, iGlyphs);
}

bool ClFont::keepLayout(const STextPackage& crPackage, STextLayoutCache* pCache) {
  pCache->mp_iLineCount = 0;
  pCache->mp_iGlyphCount = 0;
  const ClFontEntry* pFont = crPackage.mp_pFont;
  const SFontData* pData = pFont != nullptr ? pFont->mp_pFontData : nullptr;
  if (crPackage.mp_bIsFTFont || pData == nullptr) return false;
  const i32 iPages = pData->mp_iNumberTextures < gc_iMAX_SIGS_PER_FONT ? pData->mp_iNumberTextures
                                                                        : gc_iMAX_SIGS_PER_FONT;
  i32 iCharacters = 0;
  for (i32 l = 0; l < crPackage.mp_daLines.getCount(); ++l) {
    const STextLine& line = crPackage.mp_daLines[l];
    for (i32 t = 0; t < line.mp_daTokens.getCount(); ++t) {
      const STextToken* pToken = line.mp_daTokens[t];
      if (pToken->mp_eKind != E_TEXT_TOKEN_BLANK && pToken->mp_eKind != E_TEXT_TOKEN_WORD) return false;
      iCharacters += pToken->mp_iCount;
    }
  }
  KvReserveTextLayoutCache(pCache, 0, crPackage.mp_daLines.getCount(), iCharacters);
  // As drawText walks the package: a character without a drawn glyph is skipped, kerning only within a token.
  for (i32 l = 0; l < crPackage.mp_daLines.getCount(); ++l) {
    const STextLine& line = crPackage.mp_daLines[l];
    STextLayoutLine& kept = pCache->mp_pLines[pCache->mp_iLineCount++];
    kept = {line.mp_fWidth, line.mp_fHeight, 0};
    for (i32 t = 0; t < line.mp_daTokens.getCount(); ++t) {
      const STextToken* pToken = line.mp_daTokens[t];
      for (i32 k = 0; k < pToken->mp_iCount; ++k) {
        const SFontGlyph* pGlyph = drawnGlyph(pData, pToken->mp_pFirst[k]);
        if (pGlyph == nullptr) continue;
        STextLayoutGlyph glyph{pGlyph, 0.0f, 0.0f};
        if (k > 0) {
          if (const SFontKerning* pKerning = ClFontFamilyMgr::findKerning(pGlyph, pToken->mp_pFirst[k - 1])) {
            glyph.mp_fKernX = pKerning->mp_fX;
            glyph.mp_fKernY = pKerning->mp_fY;
          }
        }
        const bool bDrawn = pGlyph->mp_fWidth != 0.0f && pGlyph->mp_fHeight != 0.0f;
        if (bDrawn && (pGlyph->mp_iTextureIndex < 0 || pGlyph->mp_iTextureIndex >= iPages)) {
          pCache->mp_iLineCount = 0;
          pCache->mp_iGlyphCount = 0;
          return false;
        }
        pCache->mp_pGlyphs[pCache->mp_iGlyphCount++] = glyph;
        ++kept.mp_iGlyphCount;
      }
    }
  }
  pCache->mp_pFont = pFont;
  pCache->mp_fPackageWidth = crPackage.mp_fWidth;
  pCache->mp_fPackageHeight = crPackage.mp_fHeight;
  pCache->mp_iNumSignatures = -1;
  return true;
}

void ClFont::drawKeptLayout(STextLayoutCache* pCache, u32 uiShaderHash, u32 uiSecondaryTextureHash,
                            u32 uiCanvasHash, u16 uLayer, u32 uiScreenFlags, f32 fX, f32 fY, u32 uiAnchorFlags,
                            u32 uiAlignment, const u32* puiColor, f32* pOutRect, const f32* pShadowOffset,
                            u32 uiShadowColor) {
  const ClFontEntry* pFont = pCache->mp_pFont;
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  const f32 fPackageWidth = pCache->mp_fPackageWidth;
  const kv_vector2 vOrigin =
      Cl2d::computePositionOnCanvas(uiCanvasHash, fX * pCanvas->mp_fScale, fY * pCanvas->mp_fScale, fPackageWidth,
                                    pCache->mp_fPackageHeight, uiScreenFlags, uiAnchorFlags);
  if (pOutRect != nullptr) {
    pOutRect[0] = vOrigin.x;
    pOutRect[1] = vOrigin.x + fPackageWidth;
    pOutRect[2] = vOrigin.y;
    pOutRect[3] = vOrigin.y + pCache->mp_fPackageHeight;
  }

  // A secondary texture is found by name at each draw, as drawText finds it; the plain pages' signatures are kept.
  const SRenderSignature* apFound[gc_iMAX_SIGS_PER_FONT] = {};
  const SRenderSignature* const* apSignatures = apFound;
  if (uiSecondaryTextureHash != 0) {
    glyphSignatures(pFont, uiShaderHash, uiSecondaryTextureHash, uiCanvasHash, apFound);
  } else {
    if (pCache->mp_iNumSignatures < 0 || pCache->mp_uiSignatureShader != uiShaderHash ||
        pCache->mp_uiSignatureGeneration != ClSignatureMgr::getGeneration()) {
      pCache->mp_iNumSignatures = glyphSignatures(pFont, uiShaderHash, 0, uiCanvasHash, pCache->mp_apSignatures);
      pCache->mp_uiSignatureShader = uiShaderHash;
      pCache->mp_uiSignatureGeneration = ClSignatureMgr::getGeneration();
    }
    apSignatures = pCache->mp_apSignatures;
  }
  const bool bShadow = pShadowOffset != nullptr && (pShadowOffset[0] != 0.0f || pShadowOffset[1] != 0.0f);
  const u16 uShadowLayer = uLayer > 0 ? static_cast<u16>(uLayer - 1) : u16{0};
  const u32 uiColor = *puiColor;
  const f32 fLetterSpacing = pFont->mp_fLetterSpacing;

  const STextLayoutGlyph* pGlyphRecord = pCache->mp_pGlyphs;
  f32 fPenY = vOrigin.y;
  for (i32 l = 0; l < pCache->mp_iLineCount; ++l) {
    const STextLayoutLine& line = pCache->mp_pLines[l];
    f32 fPenX = lineStartX(fPackageWidth, line.mp_fWidth, uiAlignment, vOrigin.x);
    for (i32 g = 0; g < line.mp_iGlyphCount; ++g, ++pGlyphRecord) {
      const SFontGlyph* pGlyph = pGlyphRecord->mp_pGlyph;
      const f32 fKernX = pGlyphRecord->mp_fKernX;
      const f32 fKernY = pGlyphRecord->mp_fKernY;
      if (pGlyph->mp_fWidth != 0.0f && pGlyph->mp_fHeight != 0.0f) {
        addGlyphSprites(pGlyph, apSignatures[pGlyph->mp_iTextureIndex], fPenX, fPenY, fKernX, fKernY, uLayer, uiColor,
                        bShadow, uShadowLayer, uiShadowColor, pShadowOffset);
      }
      fPenX += pGlyph->mp_fAdvanceX + fKernX + fLetterSpacing;
      fPenY += pGlyph->mp_fAdvanceY + fKernY;
    }
    fPenY += line.mp_fHeight;
  }
}

#include "Corvane/UI/COMMONUIFunctions_Widget_TextFile.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const SWidgetPropertyName gc_VARS("vars");
const SWidgetPropertyName gc_TEXT_FILENAME("textFilename");
const SWidgetPropertyName gc_MAX_SCROLL("maxScroll");

constexpr i32 gc_iLINE_VECTOR_CAPACITY = 8;
constexpr f32 gc_fPRESSED = 0.1f;

// Pages by handle - 1: a widget's INT property cannot hold a pointer.
STextFilePage* g_apPages[gc_iMAX_TEXT_FILE_PAGES] = {};
f64 g_dRepeatTimer = gc_dTEXT_FILE_REPEAT_START;

STextFilePage* newPage(ClWidget* pWidget) {
  for (i32 i = 0; i < gc_iMAX_TEXT_FILE_PAGES; ++i) {
    if (g_apPages[i] != nullptr) continue;
    void* pMemory = KvAlignedAlloc(sizeof(STextFilePage), 16);
    KV_ASSERT_MSG(pMemory != nullptr, "pPage");
    g_apPages[i] = new (pMemory) STextFilePage{};
    g_apPages[i]->mp_daLines.initialize(gc_iLINE_VECTOR_CAPACITY);
    pWidget->setInt(gc_VARS.mp_uiHash, i + 1);
    return g_apPages[i];
  }
  KV_FATAL("Pool alloc failed");
  return nullptr;
}

void freeLines(STextFilePage* pPage) {
  for (i32 i = 0; i < pPage->mp_daLines.getCount(); ++i) KvAlignedFree(pPage->mp_daLines[i]);
  pPage->mp_daLines.clear();
}

// The file's text, or null (reported) when it cannot be read. The caller frees it.
wchar16* readTextFile(STextFilePage* pPage, const char* pFileName) {
  char szPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szPath, KvGetBaseDataPath(), sizeof(szPath));
  KvStrLCat(szPath, pFileName, sizeof(szPath));
  for (char* p = szPath; *p != '\0'; ++p) {
    if (*p == '/') *p = '\\';
  }
  u32 uiSize = 0;
  if (ClMagFileIO::open(szPath, &uiSize, &pPage->mp_pFileRef) != 0) {
    std::fprintf(stderr, "Text file [%s] not found: %s\n", szPath, ClMagFileIO::getLastProblem());
    pPage->mp_pFileRef = nullptr;
    return nullptr;
  }
  pPage->mp_bFileLoaded = 1;
  pPage->mp_uiFileSize = uiSize;
  wchar16* puiText = nullptr;
  if (uiSize == 0) {
    puiText = KvTextFileToString(nullptr, 0);
  } else if (ClMagFileIO::allocReadBuffers(pPage->mp_pFileRef, uiSize, 16) &&
             ClMagFileIO::read(pPage->mp_pFileRef, uiSize) == 0) {
    ClMagFileIO::closeFileHandle(pPage->mp_pFileRef);
    puiText = KvTextFileToString(pPage->mp_pFileRef->mp_pDestinationBuffer, uiSize);
  } else {
    std::fprintf(stderr, "Text file [%s] could not be read: %s\n", szPath, ClMagFileIO::getLastProblem());
  }
  ClMagFileIO::close(pPage->mp_pFileRef);
  pPage->mp_pFileRef = nullptr;
  return puiText;
}

// "pointSize", or 0 (after the assertion) when it is not above 0: it divides the page into lines.
i32 pointSizeOf(const ClWidget* pWidget) {
  const i32 iPointSize = pWidget->getInt(gc_POINT_SIZE);
  KV_ASSERTF(iPointSize > 0, "Widget [%s] has [pointSize] %d: a text file needs a point size above 0",
             pWidget->getName(), iPointSize);
  return iPointSize > 0 ? iPointSize : 0;
}

void scroll(ClWidget* pWidget, f32 fDirection) {
  STextFilePage* pPage = KvTextFilePageOf(pWidget);
  if (pPage == nullptr) return;
  pPage->mp_fScrollOffset += fDirection * static_cast<f32>(pWidget->getInt(gc_POINT_SIZE));
}

bool held(const SGameInputAction& action, u32 uiFrame) { return action.mp_afValues[uiFrame] > gc_fPRESSED; }

// Scrolls on a new press of up or down on any enabled pad, and makes a held one press again after the repeat
// delay: the values of this input frame are cleared, so that the next frame, which compares against them after
// the input manager flips its frames, sees a new press.
void scrollByPads(ClWidget* pWidget) {
  const u32 uiCur = ClInputManager::m_uiCurInputFrame & 1u;
  bool bHeld = false;
  for (u32 p = 0; p < gc_iNUM_UI_PADS; ++p) {
    SGameInputAction* pActions = ClInputManager::m_apGameSpecificInputs[ClInputManager::m_auiPadMap[p]];
    if (ClUI::mp_abPadEnabled[p] == 0 || pActions == nullptr || ClInputManager::getActionCount() <= gc_iUI_ACTION_DOWN) {
      continue;
    }
    const SGameInputAction& up = pActions[gc_iUI_ACTION_UP];
    const SGameInputAction& down = pActions[gc_iUI_ACTION_DOWN];
    if (!ClGameStateMgr::isInputBlocked()) {
      if (held(up, uiCur) && !held(up, 1 - uiCur)) systemTextFileScrollUp(pWidget, nullptr);
      if (held(down, uiCur) && !held(down, 1 - uiCur)) systemTextFileScrollDown(pWidget, nullptr);
    }
    bHeld = bHeld || held(up, uiCur) || held(down, uiCur);
  }
  if (!bHeld) {
    g_dRepeatTimer = gc_dTEXT_FILE_REPEAT_START;
    return;
  }
  g_dRepeatTimer += ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;
  if (g_dRepeatTimer <= gc_dTEXT_FILE_REPEAT_THRESHOLD) return;
  g_dRepeatTimer = gc_dTEXT_FILE_REPEAT_RESET;
  for (u32 p = 0; p < gc_iNUM_UI_PADS; ++p) {
    SGameInputAction* pActions = ClInputManager::m_apGameSpecificInputs[ClInputManager::m_auiPadMap[p]];
    if (ClUI::mp_abPadEnabled[p] == 0 || pActions == nullptr || ClInputManager::getActionCount() <= gc_iUI_ACTION_DOWN) {
      continue;
    }
    pActions[gc_iUI_ACTION_UP].mp_afValues[uiCur] = 0.0f;
    pActions[gc_iUI_ACTION_DOWN].mp_afValues[uiCur] = 0.0f;
  }
}

}  // namespace

STextFilePage* KvTextFilePageOf(const ClWidget* pWidget) {
  const i32 iHandle = pWidget->getInt(gc_VARS);
  if (iHandle <= 0 || iHandle > gc_iMAX_TEXT_FILE_PAGES) return nullptr;
  return g_apPages[iHandle - 1];
}

f64 KvTextFileRepeatTimer() { return g_dRepeatTimer; }

void KvSplitTextIntoLines(ClFontEntry* pFont, const wchar16* puiText, f32 fWidth, ClDynamicVector<wchar16*>* pLines) {
  STextPackage* pPackage = ClFont::layoutText(pFont, puiText, fWidth);
  for (i32 l = 0; l < pPackage->mp_daLines.getCount(); ++l) {
    const STextLine& line = pPackage->mp_daLines[l];
    i32 iCount = 0;
    for (i32 t = 0; t < line.mp_daTokens.getCount(); ++t) iCount += line.mp_daTokens[t]->mp_iCount;
    auto* puiLine = static_cast<wchar16*>(KvAlignedAlloc(2 * static_cast<size_t>(iCount) + 2, 16));
    KV_ASSERT_MSG(puiLine != nullptr, "puiLine");
    i32 iAt = 0;
    for (i32 t = 0; t < line.mp_daTokens.getCount(); ++t) {
      const STextToken* pToken = line.mp_daTokens[t];
      std::memcpy(puiLine + iAt, pToken->mp_pFirst, 2 * static_cast<size_t>(pToken->mp_iCount));
      iAt += pToken->mp_iCount;
    }
    puiLine[iCount] = 0;
    pLines->append(puiLine);
  }
  ClFont::freePackage(pPackage);
}

wchar16* KvTextFileToString(const u8* pImage, u32 uiSize) {
  const u32 uiUnits = uiSize / 2;
  auto* puiText = static_cast<wchar16*>(KvAlignedAlloc(2 * static_cast<size_t>(uiUnits) + 2, 16));
  KV_ASSERT_MSG(puiText != nullptr, "puiText");
  if (uiUnits > 0) std::memcpy(puiText, pImage, 2 * static_cast<size_t>(uiUnits));
  puiText[uiUnits] = 0;
  return puiText;
}

void systemTextFileTransitionIn(ClWidget* pWidget, WidgetEventProcedureCall*) {
  STextFilePage* pPage = KvTextFilePageOf(pWidget);
  if (pPage == nullptr) {
    pPage = newPage(pWidget);
  } else {
    freeLines(pPage);
  }
  pPage->mp_fScrollOffset = 0.0f;
  pPage->mp_pFileRef = nullptr;
  pPage->mp_bFileLoaded = 0;
  pPage->mp_uiFileSize = 0;

  const i32 iPointSize = pointSizeOf(pWidget);
  if (iPointSize == 0) return;
  const u32 uiCanvasHash = pWidget->getID(gc_CANVAS);
  const Cl2dCanvas* pCanvas = Cl2d::getCanvasByHash(uiCanvasHash);
  pPage->mp_fWidth = pCanvas->mp_fScale * pWidget->getFloat(gc_MAX_WIDTH);
  pPage->mp_pFont = ClFontFamilyMgr::getFont(pWidget->getID(gc_FONT_NAME), static_cast<u32>(iPointSize),
                                             static_cast<i32>(pCanvas->mp_fResolutionHeight), nullptr);
  KV_ASSERTF(pPage->mp_pFont != nullptr, "Could not get a font (handle 0x%x): %d points, %d height\n",
             pWidget->getID(gc_FONT_NAME), iPointSize, static_cast<i32>(pCanvas->mp_fResolutionHeight));

  if (wchar16* puiText = readTextFile(pPage, pWidget->getString(gc_TEXT_FILENAME))) {
    if (pPage->mp_pFont != nullptr && puiText[0] != 0) {
      KvSplitTextIntoLines(pPage->mp_pFont, puiText, pPage->mp_fWidth, &pPage->mp_daLines);
    }
    KvAlignedFree(puiText);
  }
  KvSeedTextColor(pWidget);
}

void systemTextFileRender(ClWidget* pWidget, WidgetEventProcedureCall*) {
  STextWidgetDraw draw = KvReadTextWidgetDraw(pWidget, &gc_MAX_SCROLL);
  pWidget->requireProperty(gc_TEXT_FILENAME);
  const i32 iPointSize = pointSizeOf(pWidget);
  if (iPointSize == 0) return;
  scrollByPads(pWidget);

  STextFilePage* pPage = KvTextFilePageOf(pWidget);
  if (pPage != nullptr && pPage->mp_daLines.getCount() > 0) {
    const f32 fPitch = static_cast<f32>(iPointSize);
    const i32 iLines = pPage->mp_daLines.getCount();
    const i32 iVisible = static_cast<i32>(draw.mp_fMaxHeight / fPitch);
    f32 fLargest = static_cast<f32>(iLines - iVisible) * fPitch;
    if (fLargest < 0.0f) fLargest = 0.0f;
    if (pPage->mp_fScrollOffset < 0.0f) pPage->mp_fScrollOffset = 0.0f;
    if (pPage->mp_fScrollOffset > fLargest) pPage->mp_fScrollOffset = fLargest;
    const i32 iFirst = static_cast<i32>(pPage->mp_fScrollOffset / fPitch);
    const i32 iCount = iVisible < iLines - iFirst ? iVisible : iLines - iFirst;
    const f32 fTop = draw.mp_afPosition[1];
    for (i32 r = 0; r < iCount; ++r) {
      draw.mp_afPosition[1] = fTop + static_cast<f32>(r) * fPitch;
      ClUI::renderTextElement(draw.mp_element, pPage->mp_daLines[iFirst + r], draw.mp_uiPointSize, draw.mp_args,
                              false, draw.mp_fMaxWidth, 0.0f, draw.mp_afPosition);
    }
  }
  Cl2d::pushParentWindow({0.0f, 0.0f, 0.0f, 0.0f});
}

void systemTextFileTransitionOut(ClWidget* pWidget, WidgetEventProcedureCall*) {
  STextFilePage* pPage = KvTextFilePageOf(pWidget);
  if (pPage == nullptr) return;
  freeLines(pPage);
  pPage->mp_daLines.terminate();
  g_apPages[pWidget->getInt(gc_VARS) - 1] = nullptr;
  pPage->~STextFilePage();
  KvAlignedFree(pPage);
  pWidget->setInt(gc_VARS.mp_uiHash, 0);
}

void systemTextFileScrollUp(ClWidget* pWidget, WidgetEventProcedureCall*) { scroll(pWidget, -1.0f); }
void systemTextFileScrollDown(ClWidget* pWidget, WidgetEventProcedureCall*) { scroll(pWidget, 1.0f); }

void registerTextFileUIFunctions() {
  struct SEntry {
    const char* pName;
    WidgetEventProcedure pfnProcedure;
  };
  static constexpr SEntry s_aEntries[] = {
      {"systemTextFileRender", systemTextFileRender},
      {"systemTextFileTransitionIn", systemTextFileTransitionIn},
      {"systemTextFileTransitionOut", systemTextFileTransitionOut},
      {"systemTextFileScrollUp", systemTextFileScrollUp},
      {"systemTextFileScrollDown", systemTextFileScrollDown},
  };
  for (const SEntry& entry : s_aEntries) {
    ClUIEventSystemFunctions::registerFunction(KvStrHash(entry.pName), entry.pfnProcedure);
  }
}

#include "Corvane/Animation/ClFlipBookMgr.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/System/KvDebug.h"

ClLinearHashTable<u32, ClFlipBook*> ClFlipBookMgr::mp_flipBookTable;
u32 ClFlipBookMgr::mp_bInitialized = 0;

namespace {

constexpr u32 gc_uiWHERE_SIZE = 256;

// "<name>-0001_216" or, with the suffix "FX", "<name>FX-0001_216".
void frameImageName(char* pOut, const char* pName, const char* pSuffix, i32 iNumber) {
  const int iLength = std::snprintf(pOut, KV_MAX_PATH_LEN, "%s%s-%04d_216", pName, pSuffix, iNumber);
  KV_ASSERT_MSG(iLength > 0 && iLength < KV_MAX_PATH_LEN, "flip-book name too long for its frame names");
}

SAtlasEntry* findFrameImage(const char* pName, const char* pSuffix, const char* pAtlasName, i32 iFrame) {
  char szEntry[KV_MAX_PATH_LEN];
  frameImageName(szEntry, pName, pSuffix, iFrame + 1);
  return ClAtlasMgr::getAtlasEntry(pAtlasName, KvStrHash(szEntry));
}

// Walks a script as the loader will read it and says what it finds wrong first.
class CFlipBookScriptCheck {
 public:
  CFlipBookScriptCheck(const char* pName, char* pMessage, u32 uiMessageSize)
      : mp_pName(pName), mp_pMessage(pMessage), m_uiMessageSize(uiMessageSize) {}

  E_FLIPBOOK_SCRIPT_CHECK run(const ClDScriptData2* pRoot, i32 iNumFrames) {
    if (pRoot->getType() != E_DSVT_ARRAY) {
      return fail(E_FLIPBOOK_SCRIPT_ASSERTION, "the root", "mp_eValueType == E_DSVT_ARRAY");
    }
    if (const ClDScriptData2* pAnchor = pRoot->findChild("anchor")) {
      if (!isVector2(pAnchor, "\"anchor\"")) return m_eResult;
    }
    const ClDScriptData2* pFps = pRoot->findChild("fps");
    if (pFps == nullptr) {
      return missing("the root", "fps", "<UNNAMED>");
    }
    if (pFps->getType() != E_DSVT_FLOAT && pFps->getType() != E_DSVT_INT) {
      return fail(E_FLIPBOOK_SCRIPT_ASSERTION, "\"fps\"", "mp_eValueType == E_DSVT_FLOAT || mp_eValueType == E_DSVT_INT");
    }
    const f32 fFps = pFps->getNumber();
    if (!(fFps > 0.0f && fFps <= gc_fFLIPBOOK_MAX_FPS)) {
      return fail(E_FLIPBOOK_SCRIPT_FATAL, "\"fps\"", "[%g] frames per second: must be above 0 and at most %g",
                  static_cast<double>(fFps), static_cast<double>(gc_fFLIPBOOK_MAX_FPS));
    }
    if (const ClDScriptData2* pAnchors = pRoot->findChild("anchorArray")) {
      for (i32 i = 0; i < pAnchors->getCount() && i < iNumFrames; ++i) {
        char szWhere[gc_uiWHERE_SIZE];
        std::snprintf(szWhere, sizeof(szWhere), "\"anchorArray\"[%d]", i);
        if (!isVector2(pAnchors->getChildAt(i), szWhere)) return m_eResult;
      }
    }
    if (const ClDScriptData2* pNodes = pRoot->findChild("nodes")) {
      for (i32 i = 0; i < pNodes->getCount(); ++i) {
        if (!isNode(pNodes->getChildAt(i), i)) return m_eResult;
      }
    }
    if (const ClDScriptData2* pDelays = pRoot->findChild("frame_delays")) {
      for (i32 i = 0; i < pDelays->getCount(); ++i) {
        if (!isFrameDelay(pDelays->getChildAt(i), i)) return m_eResult;
      }
    }
    return E_FLIPBOOK_SCRIPT_OK;
  }

 private:
  E_FLIPBOOK_SCRIPT_CHECK fail(E_FLIPBOOK_SCRIPT_CHECK eKind, const char* pWhere, const char* pFormat, ...)
      __attribute__((format(printf, 4, 5))) {
    m_eResult = eKind;
    if (mp_pMessage == nullptr || m_uiMessageSize == 0) {
      return eKind;
    }
    const int iPrefix = std::snprintf(mp_pMessage, m_uiMessageSize, "Flipbook [%s] (%s\\%s.kds) %s: ", mp_pName,
                                      gc_pszFLIPBOOK_FOLDER, mp_pName, pWhere);
    if (iPrefix > 0 && static_cast<u32>(iPrefix) < m_uiMessageSize) {
      va_list args;
      va_start(args, pFormat);
      std::vsnprintf(mp_pMessage + iPrefix, m_uiMessageSize - static_cast<u32>(iPrefix), pFormat, args);
      va_end(args);
    }
    return eKind;
  }

  // The data-script tree's own report for a required child that is absent.
  E_FLIPBOOK_SCRIPT_CHECK missing(const char* pWhere, const char* pChild, const char* pParent) {
    return fail(E_FLIPBOOK_SCRIPT_FATAL, pWhere,
                "getChild() could not find child [%s] inside array object [%s]... so we are dying!", pChild, pParent);
  }

  // An array of at least iCount children.
  bool isArrayOf(const ClDScriptData2* pNode, i32 iCount, const char* pWhere) {
    if (pNode->getType() != E_DSVT_ARRAY) {
      fail(E_FLIPBOOK_SCRIPT_ASSERTION, pWhere, "mp_eValueType == E_DSVT_ARRAY");
      return false;
    }
    if (pNode->getCount() < iCount) {
      fail(E_FLIPBOOK_SCRIPT_ASSERTION, pWhere, "iIndex >= 0 && iIndex < mp_Children.getCount()");
      return false;
    }
    return true;
  }

  bool isOfType(const ClDScriptData2* pNode, E_DSVT eType, const char* pWhere) {
    if (pNode->getType() == eType) {
      return true;
    }
    fail(E_FLIPBOOK_SCRIPT_ASSERTION, pWhere,
         eType == E_DSVT_INT ? "mp_eValueType == E_DSVT_INT" : "mp_eValueType == E_DSVT_FLOAT");
    return false;
  }

  // Two FLOAT children, as a 2D vector is read.
  bool isVector2(const ClDScriptData2* pNode, const char* pWhere) {
    return isArrayOf(pNode, 2, pWhere) && isOfType(pNode->getChildAt(0), E_DSVT_FLOAT, pWhere) &&
           isOfType(pNode->getChildAt(1), E_DSVT_FLOAT, pWhere);
  }

  // [INT frame, value] where value is a 2D vector (bVectorValue) or a FLOAT.
  bool isFramePair(const ClDScriptData2* pNode, bool bVectorValue, const char* pWhere) {
    if (!isArrayOf(pNode, 2, pWhere) || !isOfType(pNode->getChildAt(0), E_DSVT_INT, pWhere)) {
      return false;
    }
    return bVectorValue ? isVector2(pNode->getChildAt(1), pWhere)
                        : isOfType(pNode->getChildAt(1), E_DSVT_FLOAT, pWhere);
  }

  bool isNode(const ClDScriptData2* pNode, i32 iIndex) {
    char szWhere[gc_uiWHERE_SIZE];
    std::snprintf(szWhere, sizeof(szWhere), "\"nodes\"[%d] \"%.64s\"", iIndex, pNode->getDisplayName());
    if (pNode->getName() != nullptr && KvStrLen(pNode->getName()) >= static_cast<u32>(KV_MAX_PATH_LEN)) {
      fail(E_FLIPBOOK_SCRIPT_FATAL, szWhere, "the node's name is longer than %d characters", KV_MAX_PATH_LEN - 1);
      return false;
    }
    if (pNode->getType() != E_DSVT_ARRAY) {
      fail(E_FLIPBOOK_SCRIPT_ASSERTION, szWhere, "mp_eValueType == E_DSVT_ARRAY");
      return false;
    }
    const ClDScriptData2* pPositions = pNode->findChild("positions");
    if (pPositions == nullptr) {
      missing(szWhere, "positions", pNode->getDisplayName());
      return false;
    }
    for (i32 i = 0; i < pPositions->getCount(); ++i) {
      char szPosition[gc_uiWHERE_SIZE + 32];
      std::snprintf(szPosition, sizeof(szPosition), "%s \"positions\"[%d]", szWhere, i);
      if (!isFramePair(pPositions->getChildAt(i), true, szPosition)) return false;
    }
    return true;
  }

  bool isFrameDelay(const ClDScriptData2* pDelay, i32 iIndex) {
    char szWhere[gc_uiWHERE_SIZE];
    std::snprintf(szWhere, sizeof(szWhere), "\"frame_delays\"[%d]", iIndex);
    if (!isFramePair(pDelay, false, szWhere)) {
      return false;
    }
    const f32 fSeconds = pDelay->getChildAt(1)->getFloatExact();
    if (!std::isfinite(fSeconds) || fSeconds < 0.0f) {
      fail(E_FLIPBOOK_SCRIPT_FATAL, szWhere, "a frame delay of [%g] s: must not be negative",
           static_cast<double>(fSeconds));
      return false;
    }
    if (fSeconds != 0.0f && fSeconds < gc_fFLIPBOOK_MIN_DELAY) {
      fail(E_FLIPBOOK_SCRIPT_FATAL, szWhere, "a frame delay of [%g] s: must be 0 (the frame time) or at least %g s",
           static_cast<double>(fSeconds), static_cast<double>(gc_fFLIPBOOK_MIN_DELAY));
      return false;
    }
    return true;
  }

  const char* mp_pName;
  char* mp_pMessage;
  u32 m_uiMessageSize;
  E_FLIPBOOK_SCRIPT_CHECK m_eResult = E_FLIPBOOK_SCRIPT_OK;
};

void freeFlipBook(ClFlipBook* pFlipBook) {
  pFlipBook->terminate();
  pFlipBook->~ClFlipBook();
  KvAlignedFree(pFlipBook);
}

}  // namespace

void ClFlipBookMgr::initialize() {
  mp_flipBookTable.initialize();
  mp_bInitialized = 1;
}

i32 ClFlipBookMgr::countFrames(const char* pName, const char* pAtlasName) {
  i32 iCount = 0;
  while (findFrameImage(pName, "", pAtlasName, iCount) != nullptr) {
    ++iCount;
  }
  return iCount;
}

E_FLIPBOOK_SCRIPT_CHECK ClFlipBookMgr::checkFlipBookScript(const ClDScriptData2* pScript, const char* pName,
                                                           i32 iNumFrames, char* pMessage, u32 uiMessageSize) {
  KV_ASSERT(pScript != nullptr && pName != nullptr);
  if (pMessage != nullptr && uiMessageSize > 0) {
    pMessage[0] = '\0';
  }
  return CFlipBookScriptCheck(pName, pMessage, uiMessageSize).run(pScript, iNumFrames);
}

void ClFlipBookMgr::loadFlipBook(const char* pName, const char* pAtlasName, f32 fScale) {
  KV_ASSERT_MSG(pName != nullptr, "pName");
  KV_ASSERT_MSG(mp_flipBookTable.isValid(), "mp_bIsValid");
  // A script that is not there stops in the script manager; one it refuses is said there, naming where it lives.
  KvForgetLastProblem();
  const ClDScriptData2* pScript = ClDScriptMgr2::getScript(pName, gc_pszFLIPBOOK_FOLDER);
  if (pScript == nullptr) {
    KV_DATA_FATALF("Could not load anim data for flipbook [%s] (%s)", pName, KvGetLastProblem());
  }
  loadFlipBookFromScript(pScript, pName, pAtlasName, fScale);
}

void ClFlipBookMgr::loadFlipBookFromScript(const ClDScriptData2* pScript, const char* pName, const char* pAtlasName,
                                           f32 fScale) {
  KV_ASSERT_MSG(pName != nullptr, "pName");
  KV_ASSERT_MSG(pAtlasName != nullptr, "pAtlasName");
  KV_ASSERT_MSG(pScript != nullptr, "pScript");
  KV_ASSERT_MSG(mp_flipBookTable.isValid(), "mp_bIsValid");

  // Everything that can stop the load is found before anything is allocated.
  const i32 iNumFrames = countFrames(pName, pAtlasName);
  const SAtlasFileInfo* pAtlas = iNumFrames == 0 ? ClAtlasMgr::findAtlas(KvStrHash(pAtlasName)) : nullptr;
  char szWhere[gc_uiMAX_MESSAGE_LEN + 1] = "";
  if (pAtlas != nullptr) {
    ClMagFileIO::describeLocation(pAtlas->mp_szFilePath, szWhere, sizeof(szWhere));
  }
  if (pAtlas != nullptr && pAtlas->mp_daEntries.getCount() == 0) {
    // No flip book can find its frames there: the atlas is what is damaged.
    KV_DATA_FATALF("Atlas file [%s] holds no images, while the flip book [%s] names its frames in it (%s)",
                   pAtlas->mp_szFilePath, pName, szWhere);
  }
  if (iNumFrames == 0 && pAtlas != nullptr) {
    KV_DATA_FATALF("Could not load any images for flipbook file named [%s] in atlas [%s] (make sure animation "
                   "frames include \"-0001\" etc. HYPHEN, NOT UNDERSCORE!) (Atlas file [%s] in %s holds none)",
                   pName, pAtlasName, pAtlas->mp_szFilePath, szWhere);
  }
  if (iNumFrames == 0) {
    KV_DATA_FATALF("Could not load any images for flipbook file named [%s] in atlas [%s] (make sure animation "
                   "frames include \"-0001\" etc. HYPHEN, NOT UNDERSCORE!) (the atlas is not loaded)",
                   pName, pAtlasName);
  }
  char szMessage[1024];
  switch (checkFlipBookScript(pScript, pName, iNumFrames, szMessage, sizeof(szMessage))) {
    case E_FLIPBOOK_SCRIPT_OK:
      break;
    case E_FLIPBOOK_SCRIPT_ASSERTION:
      KvReportF(E_KV_REPORT_ASSERTION, __FILE__, __LINE__, "%s", szMessage);
    default:
      KV_FATALF("%s", szMessage);
  }

  void* pMemory = KvAlignedAlloc(sizeof(ClFlipBook), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pFlipBook");
  ClFlipBook* pFlipBook = new (pMemory) ClFlipBook();

  kv_vector2 defaultAnchor{0.0f, 0.0f};
  if (const ClDScriptData2* pAnchor = pScript->findChild("anchor")) {
    defaultAnchor = pAnchor->getVector2();
  }
  defaultAnchor.x *= fScale;
  defaultAnchor.y *= fScale;
  const ClDScriptData2* pAnchors = pScript->findChild("anchorArray");
  pFlipBook->initialize();
  pFlipBook->mp_fFramesPerSecond = pScript->getChild("fps")->getNumber();

  for (i32 i = 0; i < iNumFrames; ++i) {
    SFlipBookFrame frame;
    frame.mp_pImage = findFrameImage(pName, "", pAtlasName, i);
    frame.mp_pEffectImage = findFrameImage(pName, "FX", pAtlasName, i);
    kv_vector2 anchor = defaultAnchor;
    if (pAnchors != nullptr && i < pAnchors->getCount()) {
      anchor = pAnchors->getChildAt(i)->getVector2();
      anchor.x *= fScale;
      anchor.y *= fScale;
    }
    frame.mp_fAnchorX = anchor.x;
    frame.mp_fAnchorY = anchor.y;
    pFlipBook->mp_daFrames.append(frame);
  }

  if (const ClDScriptData2* pNodes = pScript->findChild("nodes")) {
    for (i32 i = 0; i < pNodes->getCount(); ++i) {
      const ClDScriptData2* pNodeData = pNodes->getChildAt(i);
      SFlipBookNode node;
      KvStrLCpy(node.mp_szName, pNodeData->getName() != nullptr ? pNodeData->getName() : "", KV_MAX_PATH_LEN);
      node.mp_daPositions.initialize(gc_iFLIPBOOK_VECTOR_CAPACITY);
      const ClDScriptData2* pPositions = pNodeData->getChild("positions");
      for (i32 j = 0; j < pPositions->getCount(); ++j) {
        const ClDScriptData2* pPosition = pPositions->getChildAt(j);
        const kv_vector2 point = pPosition->getChildAt(1)->getVector2();
        node.mp_daPositions.append(SFlipBookNodePosition{point.x, point.y, pPosition->getChildAt(0)->getInt()});
      }
      pFlipBook->mp_daNodes.append(node);
    }
  }

  if (const ClDScriptData2* pDelays = pScript->findChild("frame_delays")) {
    for (i32 i = 0; i < pDelays->getCount(); ++i) {
      const ClDScriptData2* pDelay = pDelays->getChildAt(i);
      pFlipBook->mp_daFrameDelays.append(
          SFlipBookFrameDelay{pDelay->getChildAt(0)->getInt(), pDelay->getChildAt(1)->getFloatExact()});
    }
  }

  const u32 uiHash = KvStrHash(pName);
  if (ClFlipBook** ppOld = mp_flipBookTable.find(uiHash)) {
    freeFlipBook(*ppOld);
  }
  mp_flipBookTable.insertOrReplace(uiHash, pFlipBook);
}

ClFlipBook** ClFlipBookMgr::findByHash(u32 uiNameHash) { return mp_flipBookTable.find(uiNameHash); }

ClFlipBook* ClFlipBookMgr::getFlipBook(const char* pName) {
  KV_ASSERT_MSG(pName != nullptr, "pName");
  ClFlipBook** ppFlipBook = findByHash(KvStrHash(pName));
  // Flip books are registered from their animation scripts: a name asked for without one is data that is missing.
  if (ppFlipBook == nullptr) {
    KV_DATA_FATALF("Flipbook [%s] asked for, but not loaded: its animation script [%s\\%s.kds] is missing or was "
                   "refused",
                   pName, gc_pszFLIPBOOK_FOLDER, pName);
  }
  return *ppFlipBook;
}

void ClFlipBookMgr::terminate() {
  if (!mp_bInitialized) {
    return;
  }
  mp_flipBookTable.forEach([](u32, ClFlipBook* pFlipBook) { freeFlipBook(pFlipBook); });
  mp_flipBookTable.terminate();
  mp_bInitialized = 0;
}

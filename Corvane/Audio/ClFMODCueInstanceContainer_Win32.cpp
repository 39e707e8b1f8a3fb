#include "Corvane/Audio/ClFMODCueInstanceContainer.h"

#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Corvane/Audio/ClCodecMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/FMODEx/FMODEx.h"

namespace {

constexpr FMOD_MODE gc_eRESIDENT_MODE = FMOD_OPENMEMORY | FMOD_SOFTWARE | FMOD_2D | FMOD_LOOP_NORMAL;  // 0x84A
constexpr FMOD_MODE gc_eSTREAM_MODE = FMOD_SOFTWARE | FMOD_2D | FMOD_LOOP_NORMAL;                      // 0x4A
static_assert(gc_eRESIDENT_MODE == 0x84A && gc_eSTREAM_MODE == 0x4A);

void toBackslashes(char* pPath) {
  for (char* p = pPath; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
}

// Reads a whole file through the archive reader into a buffer the reference owns (the disk file is closed).
// Null (nothing left open, the reader's reason in pWhy) when it cannot be read.
SMagRef* readWholeFile(const char* pPath, u32* puiSize, char* pWhy, u32 uiWhySize) {
  SMagRef* pRef = nullptr;
  *puiSize = 0;
  if (ClMagFileIO::open(pPath, puiSize, &pRef) != 0) {
    KvSNPrintf(pWhy, uiWhySize, "it could not be opened: %s", ClMagFileIO::getLastProblem());
    return nullptr;
  }
  if (ClMagFileIO::allocReadBuffers(pRef, *puiSize, 16) != 1 || ClMagFileIO::read(pRef, *puiSize) != 0) {
    KvSNPrintf(pWhy, uiWhySize, "it could not be read: %s", ClMagFileIO::getLastProblem());
    ClMagFileIO::close(pRef);
    return nullptr;
  }
  ClMagFileIO::closeFileHandle(pRef);
  return pRef;
}

// A source's base name: its file name up to the first '.'.
void baseNameOf(const char* pSourceName, char* pBaseName, u32 uiSize) {
  KvStrLCpy(pBaseName, pSourceName, uiSize);
  if (char* pDot = std::strchr(pBaseName, '.')) {
    *pDot = '\0';
  }
}

// The line of a source whose sound was not made: its name as the bank holds it (escaped: a damaged name is no file's),
// where the bank lives on disk and the cue, and pWhy, or else where the file lives on disk and the sound library's
// reason: its code's name with its decoder's words when it gave them, else the code's text.
void sayNotLoaded(const SPrerenderedCue* pCue, i32 iSource, const char* pFullPath, FMOD_RESULT eResult,
                  const char* pWhy) {
  char szName[4 * gc_iCUE_SOURCE_NAME_LEN];
  KvEscapeName(pCue->m_aszSourceNames[iSource], szName, sizeof(szName));
  char szBankPath[KV_MAX_PATH_LEN];
  ClAudioManager::getSoundBankPath(szBankPath, sizeof(szBankPath));
  char szBank[gc_uiMAX_MESSAGE_LEN + 1];
  ClMagFileIO::describeLocation(szBankPath, szBank, sizeof(szBank));
  char szWhy[gc_uiMAX_MESSAGE_LEN + 1];
  if (pWhy[0] != '\0') {
    KvSNPrintf(szWhy, sizeof(szWhy), "%s", pWhy);
  } else {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    ClMagFileIO::describeLocation(pFullPath, szWhere, sizeof(szWhere));
    const char* pResult = FMOD_ErrorString(eResult);
    const char* pCause = FMODExGetLastProblem();
    if (pCause[0] != '\0') {
      // "FMOD_ERR_FILE_BAD: <text>": the name, then the cause in place of the text.
      const int iNameLength = static_cast<int>(std::strcspn(pResult, ":"));
      KvSNPrintf(szWhy, sizeof(szWhy), "%s: %.*s: %s", szWhere, iNameLength, pResult, pCause);
    } else {
      KvSNPrintf(szWhy, sizeof(szWhy), "%s: %s", szWhere, pResult);
    }
  }
  KvPrintProblem("Sound file [Audio\\%s] of the sound bank (%s, source %d of cue 0x%08X) could not be loaded: %s",
                 szName, szBank, iSource, pCue->m_uiNameHash, szWhy);
}

FMOD_CREATESOUNDEXINFO exInfo(u32 uiLength, u32 uiOffset) {
  FMOD_CREATESOUNDEXINFO exinfo = {};
  exinfo.cbsize = sizeof(exinfo);
  exinfo.length = uiLength;
  exinfo.fileoffset = uiOffset;
  return exinfo;
}

}  // namespace

const SPrerenderedCue* ClCueInstanceContainer::getCommonCueData() const {
  KV_ASSERT_MSG(mpr_pCommonCueData != nullptr || mpr_p3DCueData != nullptr, "mpr_pCommonCueData || mpr_p3DCueData");
  return m_b2D ? mpr_pCommonCueData : static_cast<const SPrerenderedCue*>(mpr_p3DCueData);
}

i32 ClCueInstanceContainer::create(const SPrerenderedCue* pCueData, f32 fReleaseTime) {
  m_fReleaseTime = fReleaseTime;
  m_b2D = 1;
  mpr_pCommonCueData = pCueData;
  mpr_p3DCueData = nullptr;
  std::memset(mpr_aSoundSources, 0, sizeof(mpr_aSoundSources));
  m_instancePool.initialize();
  char szBase[KV_MAX_PATH_LEN];
  KvStrLCpy(szBase, KvGetBaseDataPath(), sizeof(szBase));
  KvStrLCat(szBase, "Audio/", sizeof(szBase));
  toBackslashes(szBase);
  for (i32 i = 0; i < pCueData->m_iNumSources; ++i) {
    char szPath[KV_MAX_PATH_LEN];
    KvStrLCpy(szPath, szBase, sizeof(szPath));
    KvStrLCat(szPath, pCueData->m_aszSourceNames[i], sizeof(szPath));
    toBackslashes(szPath);
    SCueSoundSource& source = mpr_aSoundSources[i];
    source.m_iSourceIndex = i;
    source.mp_pCueData = pCueData;
    source.mp_pTrackDataFile = nullptr;
    source.m_uiTrackDataNameHash = gc_uiNO_TRACK_DATA;
    if (pCueData->m_aiHasTrackData[i] != 0) {
      char szBaseName[gc_iCUE_SOURCE_NAME_LEN];
      baseNameOf(pCueData->m_aszSourceNames[i], szBaseName, sizeof(szBaseName));
      source.mp_pTrackDataFile = ClAudioTrackDataMgr::load(szBaseName);
      source.m_uiTrackDataNameHash = KvStrHash(szBaseName);
    }
    loadSource(i, szPath);
  }
  return 1;
}

void ClCueInstanceContainer::loadSource(i32 iSource, const char* pFullPath) {
  SCueSoundSource& source = mpr_aSoundSources[iSource];
  FMOD::System* pSystem = ClAudioManager::getSystem();
  const bool bResident = !isStreamed();
  bool bFromArchive = false;
  u64 uiBytes = 0;
  // Why the sound was not made: the archive reader's reason, else the sound library's result.
  char szWhy[gc_uiMAX_MESSAGE_LEN + 1] = "";
  FMOD_RESULT eResult = FMOD_OK;
  if (bResident) {
    u32 uiSize = 0;
    source.mp_pFileRef = readWholeFile(pFullPath, &uiSize, szWhy, sizeof(szWhy));
    if (source.mp_pFileRef != nullptr) {
      bFromArchive = source.mp_pFileRef->mp_pOwningMagTOC != nullptr;
      uiBytes = uiSize;
      FMOD_CREATESOUNDEXINFO exinfo = exInfo(uiSize, 0);
      ClAudioLockScope lock;
      eResult = pSystem->createSound(reinterpret_cast<const char*>(source.mp_pFileRef->mp_pDestinationBuffer),
                                     gc_eRESIDENT_MODE, &exinfo, &source.mp_pSound);
    }
    if (source.mp_pSound == nullptr && source.mp_pFileRef != nullptr) {
      ClMagFileIO::close(source.mp_pFileRef);
      source.mp_pFileRef = nullptr;
    }
  } else if (ClMagFileIO::fileExists(pFullPath, 0) == 0) {
    ClAudioLockScope lock;
    eResult = pSystem->createStream(pFullPath, gc_eSTREAM_MODE, nullptr, &source.mp_pSound);
  } else {
    bFromArchive = true;
    ClMagTOC* pTOC = nullptr;
    const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pTOC, pFullPath);
    if (pInfo != nullptr && !pInfo->mp_uiCompressed && !pInfo->mp_uiEncrypted) {
      FMOD_CREATESOUNDEXINFO exinfo = exInfo(pInfo->mp_uiFinalSize, pInfo->mp_uiDataOffset);
      ClAudioLockScope lock;
      eResult = pSystem->createStream(pTOC->mp_szDataFilePath, gc_eSTREAM_MODE, &exinfo, &source.mp_pSound);
    } else if (pInfo != nullptr) {
      // Stored bytes that are compressed or encrypted are no sound: decode the entry into memory and stream that.
      u32 uiSize = 0;
      source.mp_pFileRef = readWholeFile(pFullPath, &uiSize, szWhy, sizeof(szWhy));
      if (source.mp_pFileRef != nullptr) {
        FMOD_CREATESOUNDEXINFO exinfo = exInfo(uiSize, 0);
        ClAudioLockScope lock;
        eResult = pSystem->createStream(reinterpret_cast<const char*>(source.mp_pFileRef->mp_pDestinationBuffer),
                                        gc_eSTREAM_MODE | FMOD_OPENMEMORY_POINT, &exinfo, &source.mp_pSound);
      }
      if (source.mp_pSound == nullptr && source.mp_pFileRef != nullptr) {
        ClMagFileIO::close(source.mp_pFileRef);
        source.mp_pFileRef = nullptr;
      }
    }
  }
  if (source.mp_pSound == nullptr) {
    sayNotLoaded(getCommonCueData(), iSource, pFullPath, eResult, szWhy);
  }
  KvFrameGameHooks().soundSourceLoaded(mpr_pCommonCueData, bFromArchive ? 1 : 0, bResident ? 1 : 0,
                                       source.mp_pSound != nullptr ? 1 : 0, bResident ? uiBytes : 0);
  if (source.mp_pSound == nullptr) {
    return;
  }
  bool bCutShort = false;
  unsigned int uiLengthMs = FMODEX_LENGTH_UNKNOWN;
  {
    ClAudioLockScope lock;
    if (source.mp_pSound->getCutShort(&bCutShort) != FMOD_OK ||
        (bCutShort && source.mp_pSound->getLength(&uiLengthMs, FMOD_TIMEUNIT_MS) != FMOD_OK)) {
      bCutShort = false;
    }
  }
  // Music that is there is better heard than a game lost over the rest: it plays to where its data ends.
  if (bCutShort && uiLengthMs != FMODEX_LENGTH_UNKNOWN) {
    KvPrintProblem("Sound file [Audio\\%s] ends before the %.1f s its header gives: it is played to where it ends.",
                   mpr_pCommonCueData->m_aszSourceNames[iSource], static_cast<double>(uiLengthMs) / 1000.0);
  } else if (bCutShort) {
    source.m_bCutEndUnsaid = 1;
  }
  // The groups are named after the source's base name.
  char szBaseName[gc_iCUE_SOURCE_NAME_LEN];
  baseNameOf(mpr_pCommonCueData->m_aszSourceNames[iSource], szBaseName, sizeof(szBaseName));
  const u32 uiAddress = static_cast<u32>(reinterpret_cast<std::uintptr_t>(this));
  char szDry[KV_MAX_PATH_LEN];
  char szWet[KV_MAX_PATH_LEN];
  KvSNPrintf(szDry, sizeof(szDry), "%s_dry_%08X_%d", szBaseName, uiAddress, iSource);
  KvSNPrintf(szWet, sizeof(szWet), "%s_wet_%08X_%d", szBaseName, uiAddress, iSource);
  ClAudioLockScope lock;
  pSystem->createChannelGroup(szDry, &source.mp_pDryGroup);
  pSystem->createChannelGroup(szWet, &source.mp_pWetGroup);
  FMOD::ChannelGroup* pMaster = nullptr;
  if (pSystem->getMasterChannelGroup(&pMaster) == FMOD_OK) {
    pMaster->addGroup(source.mp_pDryGroup);
  }
}

void ClCueInstanceContainer::sayCutEndWhenPlayed(SCueSoundSource* pSource) {
  if (!pSource->m_bCutEndUnsaid || pSource->mp_pSound == nullptr) {
    return;
  }
  unsigned int uiLengthMs = FMODEX_LENGTH_UNKNOWN;
  {
    ClAudioLockScope lock;
    pSource->mp_pSound->getLength(&uiLengthMs, FMOD_TIMEUNIT_MS);
  }
  if (uiLengthMs == FMODEX_LENGTH_UNKNOWN) {
    return;
  }
  pSource->m_bCutEndUnsaid = 0;
  KvPrintProblem("Sound file [Audio\\%s] ends at %.1f s and gives no length of its own: it is played to where it ends.",
                 getCommonCueData()->m_aszSourceNames[pSource->m_iSourceIndex],
                 static_cast<double>(uiLengthMs) / 1000.0);
}

SCueSoundSource* ClCueInstanceContainer::chooseSource() {
  const SPrerenderedCue* pCue = getCommonCueData();
  if (pCue->m_iNumSources == 1) {
    return &mpr_aSoundSources[0];
  }
  const f64 dU = static_cast<f64>(sfmtNextWord()) / 4294967296.0;
  KvRandomCountDraws(1);
  i32 iChoice = -1;
  i32 iLastWeighted = -1;
  f64 dSum = 0.0;
  for (i32 i = 0; i < pCue->m_iNumSources; ++i) {
    dSum += pCue->m_afWeights[i];
    if (pCue->m_afWeights[i] > 0.0f) {
      iLastWeighted = i;
    }
    if (dSum >= dU) {
      iChoice = i;
      break;
    }
  }
  // Weights that add up to a hair below 1 leave the top draws unchosen: they take the last weighted source.
  if (iChoice == -1) {
    iChoice = iLastWeighted;
  }
  KV_ASSERT_MSG(iChoice != -1, "iChoice != -1");
  return &mpr_aSoundSources[iChoice];
}

void ClCueInstanceContainer::terminate() {
  ClCodecMgr::removeCustomCodecContainer(this);
  while (m_instancePool.getCount() > 0) {
    ClAudioManager::releaseInstance(m_instancePool.get(m_instancePool.getCount() - 1));
  }
  const bool bResident = !isStreamed();
  for (i32 i = 0; i < getCommonCueData()->m_iNumSources; ++i) {
    SCueSoundSource& source = mpr_aSoundSources[i];
    {
      ClAudioLockScope lock;
      if (source.mp_pDryGroup != nullptr) {
        source.mp_pDryGroup->release();
      }
      if (source.mp_pWetGroup != nullptr) {
        source.mp_pWetGroup->release();
      }
    }
    source.mp_pDryGroup = nullptr;
    source.mp_pWetGroup = nullptr;
    if (source.mp_pSound == nullptr) {
      continue;
    }
    if (!source.mp_bUseCustomCodec) {
      ClAudioLockScope lock;
      source.mp_pSound->release();
    }
    source.mp_pSound = nullptr;
    if (source.mp_pFileRef != nullptr) {
      ClMagFileIO::close(source.mp_pFileRef);
      source.mp_pFileRef = nullptr;
    } else if (source.mp_pAsyncAsset == nullptr && bResident) {
      KV_FATALF("ClCueInstanceContainer::terminate() -> Resident sound source (WAV) [0x%08X] has memory but no valid "
                "allocation handle!",
                static_cast<u32>(reinterpret_cast<std::uintptr_t>(&source)));
    }
  }
  const SPrerenderedCue* pCue = getCommonCueData();
  for (i32 i = 0; i < pCue->m_iNumSources; ++i) {
    // Each load that found the file is given back once.
    if (mpr_aSoundSources[i].mp_pTrackDataFile != nullptr) {
      char szBaseName[gc_iCUE_SOURCE_NAME_LEN];
      baseNameOf(pCue->m_aszSourceNames[i], szBaseName, sizeof(szBaseName));
      ClAudioTrackDataMgr::unload(szBaseName);
      mpr_aSoundSources[i].mp_pTrackDataFile = nullptr;
      mpr_aSoundSources[i].m_uiTrackDataNameHash = gc_uiNO_TRACK_DATA;
    }
  }
}

#include "Corvane/Audio/ClAudioManager.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Corvane/Audio/ClCodecMgr.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/FMODEx/FMODEx.h"
#include "Platform/Win32/Win32Files.h"

f32 g_fAudioMasterVolume = 1.0f;

namespace {

f32 g_fAudioMinCueFadeTime = 0.0f;

SAudioCategory g_aAudioCategories[NUM_E_AUDIO_CATEGORY] = {
#define KV_AUDIO_CATEGORY_RECORD(eCategory, pLabel) {1.0f, 1.0f, pLabel},
    KV_AUDIO_CATEGORY_LIST(KV_AUDIO_CATEGORY_RECORD)
#undef KV_AUDIO_CATEGORY_RECORD
};

constexpr i32 gc_iSOFTWARE_CHANNELS = 128;
constexpr i32 gc_iMIX_RATE = 48000;
constexpr i32 gc_iMAX_INPUT_CHANNELS = 16;
// Result codes below this have a line in the initialisation failure's text.
constexpr i32 gc_iNUM_RESULT_LINES = 95;
constexpr u32 gc_uiRESULT_LINE_SIZE = 256;

bool g_bAudioInitialized = false;
FMOD::System* g_pFMODSystem = nullptr;
void* g_pAudioMemory = nullptr;
ClMutexLock g_audioLock;
ClPool<SSoundBankRecord, gc_iMAX_SOUND_BANKS> g_soundBankPool;
ClPool<SCueHandleSlot, gc_iMAX_ACTIVE_CUES> g_cueHandlePool;
ClPool<SPendingCue, gc_iMAX_PENDING_CUES> g_pendingCuePool;
ClPool<SAudioReleaseFade, gc_iMAX_RELEASE_FADES> g_releaseFadePool;

// The result-code lines of the initialisation failure's text: "NAME, /* text */" in slots of 256 bytes.
const char* resultLine(FMOD_RESULT eResult) {
  static char s_aszLines[FMOD_RESULT_COUNT][gc_uiRESULT_LINE_SIZE];
  static bool s_bBuilt = false;
  if (!s_bBuilt) {
    i32 i = 0;
#define KV_FMOD_RESULT_LINE(name, text) KvSNPrintf(s_aszLines[i++], gc_uiRESULT_LINE_SIZE, "%s, /* %s */", #name, text);
    FMOD_RESULT_LIST(KV_FMOD_RESULT_LINE)
#undef KV_FMOD_RESULT_LINE
    s_bBuilt = true;
  }
  const i32 iCode = static_cast<i32>(eResult);
  return iCode >= 0 && iCode < static_cast<i32>(FMOD_RESULT_COUNT) && iCode < gc_iNUM_RESULT_LINES ? s_aszLines[iCode]
                                                                                                      : nullptr;
}

// The UTF-16 text of a string-table key; a key that no loaded table holds is shown as itself (audio starts
// before the game loads its string table).
void localizedText(const char* pKey, wchar16* pDest) {
  const wchar16* pText = KvLangID::findStringByHash(KvStrHash(pKey));
  if (pText != nullptr) {
    KvStrLCpyW(pDest, pText, gc_iMAX_TEMP_STRING_LEN);
  } else {
    KvStrToWideTemp(pDest, pKey);
  }
}

// Gives back what initialize took so far; the fatal error that follows ends the program.
void releaseStartUp() {
  if (g_pFMODSystem != nullptr) {
    g_pFMODSystem->release();
    g_pFMODSystem = nullptr;
  }
  KvAlignedFree(g_pAudioMemory);
  g_pAudioMemory = nullptr;
}

void failWithBox(const char* pTextKey) {
  static wchar16 s_szTitle[gc_iMAX_TEMP_STRING_LEN];
  static wchar16 s_szText[gc_iMAX_TEMP_STRING_LEN];
  localizedText("MB_FMOD_ISSUE_TITLE", s_szTitle);
  localizedText(pTextKey, s_szText);
  releaseStartUp();
  MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(s_szText), reinterpret_cast<LPCWSTR>(s_szTitle), MB_ICONERROR);
}

SCueHandleSlot* liveSlot(const SCueHandle& handle) {
  SCueHandleSlot* pSlot = handle.mp_pSlot;
  if (pSlot == nullptr || handle.mp_pInstance == nullptr || pSlot->m_uiGeneration != handle.m_uiGeneration) {
    return nullptr;
  }
  return pSlot;
}

SCueHandleSlot* slotOf(const ClFMODCueInstance* pInstance) {
  for (i32 i = 0; i < g_cueHandlePool.getCount(); ++i) {
    SCueHandleSlot* pSlot = g_cueHandlePool.get(i);
    if (pSlot->mp_pInstance == pInstance) {
      return pSlot;
    }
  }
  return nullptr;
}

void freeSlot(SCueHandleSlot* pSlot) {
  pSlot->mp_pInstance = nullptr;
  ++pSlot->m_uiGeneration;
  g_cueHandlePool.free(pSlot);
}

// Removes the instance's pending entry; false when it has none.
bool removePending(const ClFMODCueInstance* pInstance) {
  for (i32 i = 0; i < g_pendingCuePool.getCount(); ++i) {
    SPendingCue* pEntry = g_pendingCuePool.get(i);
    if (pEntry->mp_pInstance == pInstance) {
      g_pendingCuePool.free(pEntry);
      return true;
    }
  }
  return false;
}

// The bank and index entry of the first loaded cue of that hash.
bool findCueEntry(u32 uiCueNameHash, SSoundBankRecord** ppBank, i32* piEntry) {
  for (i32 b = 0; b < g_soundBankPool.getCount(); ++b) {
    SSoundBankRecord* pBank = g_soundBankPool.get(b);
    const i32 iCount = ClSoundBank::header(pBank->mp_pSoundDefinition)->m_iNumEntries;
    for (i32 e = 0; e < iCount; ++e) {
      if (ClSoundBank::entry(pBank->mp_pSoundDefinition, e)->m_uiCueNameHash == uiCueNameHash) {
        *ppBank = pBank;
        *piEntry = e;
        return true;
      }
    }
  }
  return false;
}

void closeBankFile(SSoundBankRecord* pBank) {
  if (pBank->mp_pFileRef != nullptr) {
    ClMagFileIO::close(pBank->mp_pFileRef);
    pBank->mp_pFileRef = nullptr;
  }
}

}  // namespace

i32 ClAudioManager::initialize() {
  KV_ASSERT_MSG(ClDevINI::mp_bInitialized, "ClDevINI::mp_bInitialized");
  g_fAudioMasterVolume = ClDevINI::hasKey("AUDIO_MUTE_ALL") && ClDevINI::getInt("AUDIO_MUTE_ALL") > 0 ? 0.0f : 1.0f;
  g_pAudioMemory = KvAlignedAlloc(gc_uiAUDIO_MEMORY_SIZE, 16);
  if (FMOD_Memory_Initialize(g_pAudioMemory, static_cast<int>(gc_uiAUDIO_MEMORY_SIZE), nullptr, nullptr, nullptr,
                             FMOD_MEMORY_ALL) != FMOD_OK) {
    failWithBox("MB_FMOD_COULD_NOT_CREATE_MEM_INIT");
    KV_FATAL("ClAudioManager::initialize() -> FMOD system could not be created!");
  }
  if (FMOD_System_Create(&g_pFMODSystem) != FMOD_OK) {
    failWithBox("MB_FMOD_COULD_NOT_CREATE_SYSTEM");
    KV_FATAL("ClAudioManager::initialize() -> FMOD system could not be created!");
  }
  // Plug-ins: the library is pointed at the data root and asked what it found; nothing uses the answers.
  char szPluginPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szPluginPath, KvGetBaseDataPath(), sizeof(szPluginPath));
  const u32 uiPathLength = KvStrLen(szPluginPath);
  if (uiPathLength > 0 && szPluginPath[uiPathLength - 1] == '\\') {
    szPluginPath[uiPathLength - 1] = '\0';
  }
  g_pFMODSystem->setPluginPath(szPluginPath);
  for (FMOD_PLUGINTYPE eType : {FMOD_PLUGINTYPE_CODEC, FMOD_PLUGINTYPE_DSP, FMOD_PLUGINTYPE_OUTPUT}) {
    int iCount = 0;
    g_pFMODSystem->getNumPlugins(eType, &iCount);
    for (int i = 0; i < iCount; ++i) {
      unsigned int uiHandle = 0;
      char szName[256];
      g_pFMODSystem->getPluginHandle(eType, i, &uiHandle);
      g_pFMODSystem->getPluginInfo(uiHandle, nullptr, szName, sizeof(szName), nullptr);
    }
  }
  const FMOD_RESULT eChannels = g_pFMODSystem->setSoftwareChannels(gc_iSOFTWARE_CHANNELS);
  if (eChannels != FMOD_OK) {
    failWithBox("MB_FMOD_COULD_NOT_CREATE_PSYSTEM_CHANNELS");
    KV_FATALF("ClAudioManager::initialize() -> FMOD could not set software channels! Error code [0x%08X]!",
              static_cast<u32>(eChannels));
  }
  g_pFMODSystem->setSoftwareFormat(gc_iMIX_RATE, FMOD_SOUND_FORMAT_PCM16, 0, gc_iMAX_INPUT_CHANNELS,
                                   FMOD_DSP_RESAMPLER_LINEAR);
  const FMOD_RESULT eInit = g_pFMODSystem->init(gc_iSOFTWARE_CHANNELS, FMOD_INIT_NORMAL, nullptr);
  if (eInit != FMOD_OK) {
    static char s_szMessage[gc_iMAX_TEMP_STRING_LEN];
    static char s_szText[gc_iMAX_TEMP_STRING_LEN];
    static wchar16 s_szWideText[gc_iMAX_TEMP_STRING_LEN];
    static wchar16 s_szWideTitle[gc_iMAX_TEMP_STRING_LEN];
    KvSNPrintf(s_szMessage, sizeof(s_szMessage),
               "ClAudioManager::initialize() -> FMOD system could not initialize! Error code [0x%08X]!",
               static_cast<u32>(eInit));
    KvStrLCpy(s_szText,
              "There was an error initializing the AUDIO system. The following Diagnostic message may help resolve "
              "the issue:\n\n",
              sizeof(s_szText));
    if (const char* pLine = resultLine(eInit)) {
      KvStrLCat(s_szText, pLine, sizeof(s_szText));
    }
    KvStrToWideTemp(s_szWideText, s_szText);
    KvStrToWideTemp(s_szWideTitle, "FMOD Audio initialization error");
    releaseStartUp();
    MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(s_szWideText), reinterpret_cast<LPCWSTR>(s_szWideTitle),
                MB_ICONERROR);
    KV_FATAL(s_szMessage);
  }
  int iRate = 0;
  g_pFMODSystem->getSoftwareFormat(&iRate, nullptr, nullptr, nullptr, nullptr, nullptr);
  g_pFMODSystem->set3DSettings(0.0f, 1.0f, 0.5f);
  ClMutexLock::create(&g_audioLock);
  g_soundBankPool.initialize();
  g_cueHandlePool.initialize();
  g_pendingCuePool.initialize();
  g_releaseFadePool.initialize();
  for (SAudioCategory& category : g_aAudioCategories) {
    category.m_fDuckVolume = 1.0f;
  }
  ClAudioTrackDataMgr::initialize();
  ClCodecMgr::initialize();
  g_bAudioInitialized = true;
  return 1;
}

bool ClAudioManager::isInitialized() { return g_bAudioInitialized; }

FMOD::System* ClAudioManager::getSystem() { return g_pFMODSystem; }

ClMutexLock& ClAudioManager::getAudioLock() { return g_audioLock; }

i32 ClAudioManager::getActiveCueCount() { return g_cueHandlePool.getCount(); }

i32 ClAudioManager::getPendingCueCount() { return g_pendingCuePool.getCount(); }

bool ClAudioManager::queuePending(ClFMODCueInstance* pInstance) {
  if (g_pendingCuePool.isFull()) {
    return false;
  }
  SPendingCue* pEntry = g_pendingCuePool.alloc();
  pEntry->mp_pInstance = pInstance;
  pEntry->m_fStartDelay = 0.0f;
  pEntry->m_iSlotIndex = g_pendingCuePool.getCount() - 1;
  return true;
}

bool ClAudioManager::startReleaseFade(i32 iCategory, f32 fLevel, f32 fSeconds) {
  if (g_releaseFadePool.isFull()) {
    return false;
  }
  SAudioReleaseFade* pFade = g_releaseFadePool.alloc();
  pFade->m_fader.set(fSeconds, fLevel, 1.0f);
  pFade->m_iCategory = iCategory;
  return true;
}

i32 ClAudioManager::getReleaseFadeCount() { return g_releaseFadePool.getCount(); }

void ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY eCategory, f32 fVolume) {
  KV_ASSERT_MSG(eCategory >= 0 && eCategory < NUM_E_AUDIO_CATEGORY,
                "eCategory >= 0 && eCategory < NUM_E_AUDIO_CATEGORY");
  g_aAudioCategories[eCategory].m_fVolume = fVolume;
}

void ClAudioManager::setMinCueFadeTime(f32 fSeconds) { g_fAudioMinCueFadeTime = fSeconds; }

f32 ClAudioManager::getMinCueFadeTime() { return g_fAudioMinCueFadeTime; }

const SAudioCategory& ClAudioManager::getCategory(i32 iCategory) {
  KV_ASSERT_MSG(iCategory >= 0 && iCategory < MAX_NUMBER_CATEGORIES,
                "iCategory >= 0 && iCategory < MAX_NUMBER_CATEGORIES");
  return g_aAudioCategories[iCategory];
}

void ClAudioManager::duckCategory(i32 iCategory, f32 fVolume) {
  KV_ASSERT_MSG(iCategory >= 0 && iCategory < MAX_NUMBER_CATEGORIES,
                "iCategory >= 0 && iCategory < MAX_NUMBER_CATEGORIES");
  SAudioCategory& category = g_aAudioCategories[iCategory];
  if (fVolume < category.m_fDuckVolume) {
    category.m_fDuckVolume = fVolume;
  }
}

void ClAudioManager::update() {
  if (!g_bAudioInitialized) {
    return;
  }
  ClAudioTrackDataMgr::tick();
  for (SAudioCategory& category : g_aAudioCategories) {
    category.m_fDuckVolume = 1.0f;
  }
  if (g_audioLock.tryEnter()) {
    g_pFMODSystem->update();
    g_audioLock.leave();
  }
  // Custom-coded containers would be ticked here; the bank loader makes none (ClCodecMgr.h).
  for (i32 i = 0; i < g_cueHandlePool.getCount(); ++i) {
    const ClFMODCueInstance* pInstance = g_cueHandlePool.get(i)->mp_pInstance;
    if (pInstance != nullptr && pInstance->mp_pChannel != nullptr) {
      pInstance->applyDucking();
    }
  }
  for (i32 i = g_pendingCuePool.getCount() - 1; i >= 0; --i) {
    SPendingCue* pEntry = g_pendingCuePool.get(i);
    ClFMODCueInstance* pInstance = pEntry->mp_pInstance;
    g_pendingCuePool.free(pEntry);
    pInstance->m_fStartTimeOffset += ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;
    pInstance->start();
  }
  ClFMODCueInstance* apRelease[gc_iMAX_ACTIVE_CUES];
  i32 iRelease = 0;
  for (i32 i = 0; i < g_cueHandlePool.getCount(); ++i) {
    ClFMODCueInstance* pInstance = g_cueHandlePool.get(i)->mp_pInstance;
    if (pInstance == nullptr) {
      continue;
    }
    if (pInstance->mp_pChannel == nullptr) {
      apRelease[iRelease++] = pInstance;
      continue;
    }
    pInstance->tick();
    if ((pInstance->getCueState() == gc_iCUE_STATE_FIRE_AND_FORGET && pInstance->isFinished()) ||
        (pInstance->getCueState() == gc_iCUE_STATE_FADING_OUT && pInstance->m_fadeOut.isFinished())) {
      apRelease[iRelease++] = pInstance;
    }
  }
  for (i32 i = 0; i < iRelease; ++i) {
    releaseInstance(apRelease[i]);
  }
  for (i32 i = g_releaseFadePool.getCount() - 1; i >= 0; --i) {
    SAudioReleaseFade* pFade = g_releaseFadePool.get(i);
    if (pFade->m_fader.isFinished()) {
      g_releaseFadePool.free(pFade);
    } else {
      pFade->m_fader.tick();
      duckCategory(pFade->m_iCategory, pFade->m_fader.getCurrentValue());
    }
  }
}

i32 ClAudioManager::terminate() {
  ClAudioTrackDataMgr::terminate();
  while (g_cueHandlePool.getCount() > 0) {
    freeSlot(g_cueHandlePool.get(0));
  }
  while (g_pendingCuePool.getCount() > 0) {
    g_pendingCuePool.free(g_pendingCuePool.get(0));
  }
  while (g_releaseFadePool.getCount() > 0) {
    g_releaseFadePool.free(g_releaseFadePool.get(0));
  }
  while (g_soundBankPool.getCount() > 0) {
    unloadSoundBank(ClSoundBank::header(g_soundBankPool.get(0)->mp_pSoundDefinition)->m_uiBankNameHash);
  }
  ClCodecMgr::terminate();
  ClMutexLock::destroy(&g_audioLock);
  releaseStartUp();
  g_bAudioInitialized = false;
  return 1;
}

void ClAudioManager::releaseInstance(ClFMODCueInstance* pInstance) {
  pInstance->stop();
  pInstance->mp_pSound = nullptr;
  pInstance->mp_pChannel = nullptr;
  removePending(pInstance);
  if (SCueHandleSlot* pSlot = slotOf(pInstance)) {
    freeSlot(pSlot);
  }
  ClCueInstanceContainer* pParent = pInstance->mpr_pParentContainer;
  KV_ASSERT_MSG(pParent != nullptr, "Cue instance has no parent container! Was it stopped already?");
  pParent->m_instancePool.free(pInstance);
  pInstance->mpr_pParentContainer = nullptr;
  pInstance->mpr_pWAVDataContainer = nullptr;
  for (i32 i = 0; i < 4; ++i) {
    pInstance->m_afPosition[i] = 0.0f;
    pInstance->m_afVelocity[i] = 0.0f;
  }
  pInstance->m_b2D = 1;
}

SCueHandle ClAudioManager::createCueInstance(u32 uiCueNameHash) {
  SSoundBankRecord* pBank = nullptr;
  i32 iEntry = 0;
  if (!g_bAudioInitialized || !findCueEntry(uiCueNameHash, &pBank, &iEntry)) {
    return SCueHandle();
  }
  ClCueInstanceContainer* pCueContainer = pBank->mp_ppContainers[iEntry];
  KV_ASSERT(pCueContainer);
  if (g_cueHandlePool.isFull() || pCueContainer->m_instancePool.isFull()) {
    return SCueHandle();
  }
  SCueHandleSlot* pSlot = g_cueHandlePool.alloc();
  pSlot->mp_pInstance = nullptr;
  ClFMODCueInstance* pInstance = pCueContainer->m_instancePool.alloc();
  SCueSoundSource* pSource = pCueContainer->chooseSource();
  if (pSource->mp_pSound == nullptr && !pSource->mp_bUseCustomCodec) {
    pCueContainer->m_instancePool.free(pInstance);
    freeSlot(pSlot);
    return SCueHandle();
  }
  pInstance->initialize(pCueContainer, pSource);
  pSlot->mp_pInstance = pInstance;
  pInstance->prepare();
  SCueHandle handle;
  handle.mp_pInstance = pInstance;
  handle.mp_pSlot = pSlot;
  handle.m_uiGeneration = pSlot->m_uiGeneration;
  return handle;
}

SCueHandle ClAudioManager::createCueInstanceByName(const char* pName) {
  const SCueHandle handle = createCueInstance(KvStrHash(pName));
  setCueHeld(&handle);
  return handle;
}

void ClAudioManager::playCue(u32 uiCueNameHash) {
  const SCueHandle handle = createCueInstance(uiCueNameHash);
  setCueFireAndForget(&handle);
}

void ClAudioManager::setCueState(const SCueHandle* pHandle, i32 iState) {
  if (ClFMODCueInstance* pThisCue = pHandle != nullptr ? getCueInstance(*pHandle) : nullptr) {
    pThisCue->mp_iCueState = iState;
  }
}

void ClAudioManager::setCueHeld(const SCueHandle* pHandle) { setCueState(pHandle, gc_iCUE_STATE_HELD); }

void ClAudioManager::setCueFireAndForget(const SCueHandle* pHandle) {
  setCueState(pHandle, gc_iCUE_STATE_FIRE_AND_FORGET);
}

ClFMODCueInstance* ClAudioManager::getCueInstance(const SCueHandle& handle) {
  const SCueHandleSlot* pSlot = liveSlot(handle);
  return pSlot != nullptr ? pSlot->mp_pInstance : nullptr;
}

void ClAudioManager::stopCue(SCueHandle* pHandle, f32 fFadeSeconds) {
  if (pHandle == nullptr) {
    return;
  }
  SCueHandleSlot* pSlot = liveSlot(*pHandle);
  *pHandle = SCueHandle();
  if (pSlot == nullptr) {
    return;
  }
  ClFMODCueInstance* pThisCue = pSlot->mp_pInstance;
  KV_ASSERT(pThisCue);
  if (removePending(pThisCue)) {
    releaseInstance(pThisCue);
    return;
  }
  // A negative or NaN time counts as 0.
  const f32 fSeconds = fFadeSeconds > 0.0f ? fFadeSeconds : 0.0f;
  if (pThisCue->fadeOut(fSeconds) != 0) {
    releaseInstance(pThisCue);
  }
}

void ClAudioManager::setCueVolume(const SCueHandle* pHandle, f32 fVolume) {
  if (pHandle == nullptr) {
    return;
  }
  const SCueHandleSlot* pSlot = liveSlot(*pHandle);
  if (pSlot == nullptr) {
    return;
  }
  ClFMODCueInstance* pThisCue = pSlot->mp_pInstance;
  KV_ASSERT(pThisCue);
  pThisCue->m_fVolume = std::isnan(fVolume) ? 0.0f : std::min(std::max(fVolume, 0.0f), 1.0f);
}

void ClAudioManager::pauseAllCues() {
  for (i32 i = 0; i < g_cueHandlePool.getCount(); ++i) {
    if (ClFMODCueInstance* pInstance = g_cueHandlePool.get(i)->mp_pInstance) {
      pInstance->pause();
    }
  }
}

void ClAudioManager::resumeAllCues() {
  for (i32 i = 0; i < g_cueHandlePool.getCount(); ++i) {
    if (ClFMODCueInstance* pInstance = g_cueHandlePool.get(i)->mp_pInstance) {
      pInstance->resume();
    }
  }
}

const SPrerenderedCue* ClAudioManager::findCue(u32 uiCueNameHash) {
  SSoundBankRecord* pBank = nullptr;
  i32 iEntry = 0;
  return findCueEntry(uiCueNameHash, &pBank, &iEntry) ? ClSoundBank::cue(pBank->mp_pSoundDefinition, iEntry) : nullptr;
}

void ClAudioManager::getSoundBankPath(char* pPath, u32 uiSize) {
  KvSNPrintf(pPath, uiSize, "%sAudio/%s.iAudioSB", KvGetBaseDataPath(), gc_pszSOUND_BANK_NAME);
  for (char* p = pPath; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
}

i32 ClAudioManager::loadSoundBank() {
  const u32 uiBankHash = KvStrHash(gc_pszSOUND_BANK_NAME);
  for (i32 i = 0; i < g_soundBankPool.getCount(); ++i) {
    if (ClSoundBank::header(g_soundBankPool.get(i)->mp_pSoundDefinition)->m_uiBankNameHash == uiBankHash) {
      return 0;
    }
  }
  char szPath[KV_MAX_PATH_LEN];
  getSoundBankPath(szPath, sizeof(szPath));
  if (g_soundBankPool.isFull()) {
    return 0;
  }
  SSoundBankRecord* pBank = g_soundBankPool.alloc();
  std::memset(pBank, 0, sizeof(*pBank));
  u32 uiSize = 0;
  if (ClMagFileIO::open(szPath, &uiSize, &pBank->mp_pFileRef) != 0) {
    KvPrintProblem("%s could not be opened: %s", szPath, ClMagFileIO::getLastProblem());
    pBank->mp_pFileRef = nullptr;
    g_soundBankPool.free(pBank);
    return 0;
  }
  if (ClMagFileIO::allocReadBuffers(pBank->mp_pFileRef, uiSize, 16) != 1 ||
      ClMagFileIO::read(pBank->mp_pFileRef, uiSize) != 0) {
    KvPrintProblem("%s could not be read: %s", szPath, ClMagFileIO::getLastProblem());
    closeBankFile(pBank);
    g_soundBankPool.free(pBank);
    return 0;
  }
  ClMagFileIO::closeFileHandle(pBank->mp_pFileRef);
  const u8* pImage = pBank->mp_pFileRef->mp_pDestinationBuffer;
  char szProblem[512];
  if (ClSoundBank::check(pImage, uiSize, szProblem, sizeof(szProblem)) != 1) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvPrintProblem("%s: %s (%s)", szPath, szProblem, ClMagFileIO::describeLocation(szPath, szWhere, sizeof(szWhere)));
    closeBankFile(pBank);
    g_soundBankPool.free(pBank);
    return 0;
  }
  pBank->mp_pSoundDefinition = pImage;
  pBank->m_uiSize = uiSize;
  const SSoundBankHeader* pHeader = ClSoundBank::header(pImage);
  const size_t uiEntries = static_cast<size_t>(std::max(pHeader->m_iNumEntries, 1));
  pBank->mp_ppContainers =
      static_cast<ClCueInstanceContainer**>(KvAlignedAlloc(sizeof(ClCueInstanceContainer*) * uiEntries, 16));
  KvCheckPointer(pBank->mp_ppContainers);
  i32* piFirst = static_cast<i32*>(KvAlignedAlloc(sizeof(i32) * uiEntries, 16));
  if (piFirst == nullptr || !ClSoundBank::firstEntriesOfCues(pImage, piFirst)) {
    KV_FATALF("ClAudioManager::loadSoundBank() -> no memory for the %d index entries of [%s]",
              pHeader->m_iNumEntries, szPath);
  }
  // One container per cue data: entries that name the same cue data take the container of the first of them.
  for (i32 i = 0; i < pHeader->m_iNumEntries; ++i) {
    if (piFirst[i] != i) {
      pBank->mp_ppContainers[i] = pBank->mp_ppContainers[piFirst[i]];
      continue;
    }
    void* pBlock = KvAlignedAlloc(sizeof(ClCueInstanceContainer), 16);
    KvCheckPointer(pBlock);
    ClCueInstanceContainer* pContainer = new (pBlock) ClCueInstanceContainer();
    pContainer->create(ClSoundBank::cue(pImage, i), pHeader->m_fReleaseTime);
    pBank->mp_ppContainers[i] = pContainer;
  }
  KvAlignedFree(piFirst);
  return 1;
}

i32 ClAudioManager::unloadSoundBank(u32 uiBankNameHash) {
  SSoundBankRecord* pBank = nullptr;
  for (i32 i = 0; i < g_soundBankPool.getCount() && pBank == nullptr; ++i) {
    if (ClSoundBank::header(g_soundBankPool.get(i)->mp_pSoundDefinition)->m_uiBankNameHash == uiBankNameHash) {
      pBank = g_soundBankPool.get(i);
    }
  }
  if (pBank == nullptr) {
    return 0;
  }
  const i32 iCount = ClSoundBank::header(pBank->mp_pSoundDefinition)->m_iNumEntries;
  i32* piFirst = static_cast<i32*>(KvAlignedAlloc(sizeof(i32) * static_cast<size_t>(std::max(iCount, 1)), 16));
  if (piFirst == nullptr || !ClSoundBank::firstEntriesOfCues(pBank->mp_pSoundDefinition, piFirst)) {
    KV_FATALF("ClAudioManager::unloadSoundBank() -> no memory for the %d index entries of bank [0x%08X]", iCount,
              uiBankNameHash);
  }
  // A container shared by several entries is ended once, through the first of them.
  for (i32 i = 0; i < iCount; ++i) {
    ClCueInstanceContainer* pContainer = pBank->mp_ppContainers[i];
    if (pContainer != nullptr && piFirst[i] == i) {
      pContainer->terminate();
      pContainer->~ClCueInstanceContainer();
      KvAlignedFree(pContainer);
    }
  }
  for (i32 i = 0; i < iCount; ++i) {
    pBank->mp_ppContainers[i] = nullptr;
  }
  KvAlignedFree(piFirst);
  KvAlignedFree(pBank->mp_ppContainers);
  pBank->mp_ppContainers = nullptr;
  if (pBank->mp_pFileRef != nullptr) {
    closeBankFile(pBank);
  } else if (pBank->mp_pAsyncAsset == nullptr) {
    KV_FATALF("ClAudioManager::unloadSoundBank() -> Sound bank [0x%08X] has memory but no valid allocation handle!",
              static_cast<u32>(reinterpret_cast<std::uintptr_t>(pBank)));
  }
  pBank->mp_pSoundDefinition = nullptr;
  g_soundBankPool.free(pBank);
  return 1;
}

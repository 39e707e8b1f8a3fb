// The engine's sound layer over the sound library: its start-up and shutdown, the per-frame update, sound
// banks, and the cue API the rest of the system uses. A cue is named by the name hash of its name, played as an
// instance taken from the cue's container, and addressed through an SCueHandle.
//
// Main thread only. Every call into the sound library is made under the audio lock (one lock from the engine's
// pool; when the pool has none, the calls are made without it).
//
// Timing: a cue asked for in one frame starts at the next update. Fades run on the gameplay clock.
//
// Handles: createCueInstance answers a handle by value: the instance, its slot of the 128 active cues and the
// slot's generation. A slot's generation changes whenever its cue is released (by stopCue, by the update, by
// unloading the bank), so a handle kept after that is stale: every call with it does nothing, and
// getCueInstance answers null. stopCue also clears the caller's handle.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/Audio/ClAudioFader.h"
#include "Corvane/Audio/ClFMODCueInstance.h"
#include "Corvane/Audio/ClFMODCueInstanceContainer.h"
#include "Corvane/Audio/ClSoundBank.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/KvTypes.h"

namespace FMOD {
class System;
}

struct SMagRef;

inline constexpr i32 gc_iMAX_ACTIVE_CUES = 128;
inline constexpr i32 gc_iMAX_PENDING_CUES = 32;
inline constexpr i32 gc_iMAX_SOUND_BANKS = 16;
inline constexpr i32 gc_iMAX_RELEASE_FADES = 24;
inline constexpr u32 gc_uiAUDIO_MEMORY_SIZE = 100663296;  // 96 MiB handed to the sound library
inline constexpr const char* gc_pszSOUND_BANK_NAME = "VOSK_SFX";

// One of the 128 active-cue slots.
struct SCueHandleSlot {
  ClFMODCueInstance* mp_pInstance;
  u32 m_uiGeneration;
};

// What a caller keeps of a cue. The null handle (no instance) is what a failed create answers.
struct SCueHandle {
  ClFMODCueInstance* mp_pInstance = nullptr;
  SCueHandleSlot* mp_pSlot = nullptr;
  u32 m_uiGeneration = 0;

  bool isNull() const { return mp_pInstance == nullptr; }
};

// An instance waiting for the next update to start it.
struct SPendingCue {
  ClFMODCueInstance* mp_pInstance;
  f32 m_fStartDelay;  // always 0
  i32 m_iSlotIndex;
};

// The ten sound categories, named for what the game uses them for, each with its fixed label: every cue belongs to
// up to 8 of them, and a category's two volumes multiply its instances' volume. The game sets the user volumes of
// the first four from its options: the master volume, the music, the sound effects, and the voice lines (which
// follow the effects volume). The labels are texts nothing reads.
#define KV_AUDIO_CATEGORY_LIST(X)                           \
  X(E_AUDIO_CATEGORY_MASTER, "Music Main Volume")          \
  X(E_AUDIO_CATEGORY_MUSIC, "SFX Main Volume")             \
  X(E_AUDIO_CATEGORY_EFFECTS, "Voice Main Volume")         \
  X(E_AUDIO_CATEGORY_VOICE, "EXTRA 2")                     \
  X(E_AUDIO_CATEGORY_EXTRA_1, "EXTRA 1")                   \
  X(E_AUDIO_CATEGORY_EXTRA_3, "EXTRA 3")                   \
  X(E_AUDIO_CATEGORY_EXTRA_4, "EXTRA 4")                   \
  X(E_AUDIO_CATEGORY_EXTRA_5, "EXTRA 5")                   \
  X(E_AUDIO_CATEGORY_EXTRA_6, "EXTRA 6")                   \
  X(E_AUDIO_CATEGORY_SINGLE_PLAYER, "SinglePlayer")

enum E_AUDIO_CATEGORY : i32 {
#define KV_AUDIO_CATEGORY_ENUMERATOR(eCategory, pLabel) eCategory,
  KV_AUDIO_CATEGORY_LIST(KV_AUDIO_CATEGORY_ENUMERATOR)
#undef KV_AUDIO_CATEGORY_ENUMERATOR
  NUM_E_AUDIO_CATEGORY
};
static_assert(NUM_E_AUDIO_CATEGORY == MAX_NUMBER_CATEGORIES, "one enumerator for each category of the cue data");

struct SAudioCategory {
  f32 m_fVolume;      // the user's volume, 0..1, set through ClAudioManager::setCategoryVolume
  f32 m_fDuckVolume;  // set back to 1.0 at every update before the cues ask for less
  char m_szName[64];
};

// What is left of a stopped ducking cue's group: its category's level rising back to 1.0 over the bank's
// release time. Stepped last in the update, after every instance volume of the frame has been computed, and the
// next update resets the duck volumes first: so it is seen in the category table between updates but never
// reaches a cue's volume. A stopped cue's categories are heard at full volume from the next update on.
struct SAudioReleaseFade {
  ClAudioFader m_fader;
  i32 m_iCategory;
};

// A loaded sound bank.
struct SSoundBankRecord {
  SMagRef* mp_pFileRef;   // owns the file's buffer
  void* mp_pAsyncAsset;   // an alternative owner this loader leaves null
  const u8* mp_pSoundDefinition;  // the file image, checked
  u32 m_uiSize;
  ClCueInstanceContainer** mp_ppContainers;  // one per index entry, beside the image; entries of one cue share it
};

extern f32 g_fAudioMasterVolume;

class ClAudioManager {
 public:
  // Starts the sound library (memory, system, 128 channels at 48 kHz 16-bit, init), the audio lock, the
  // pools, the music-track data manager and the codec manager. A failure of the library shows a message box (its texts from the string table; the key itself when
  // no table holds it) and stops the program with a fatal error. Returns 1.
  static i32 initialize();
  // Once a frame, in this order: ticks the music-track data, resets every duck volume to 1.0, updates the
  // library (when the audio lock is free), lets every playing cue duck its categories, starts the pending cues,
  // ticks and releases the active ones, and steps the release fades. Nothing while not initialised.
  static void update();
  // Releases every cue, bank, the lock and the library. Returns 1.
  static i32 terminate();
  static bool isInitialized();

  // A new instance of the cue, or the null handle when no loaded bank has the cue, all 128 cues are taken, the
  // cue's 64 instances are taken, or the chosen source has no sound. Who releases it is the caller's to say
  // (setCueHeld or setCueFireAndForget) before the next update.
  static SCueHandle createCueInstance(u32 uiCueNameHash);
  // createCueInstance of the name's hash, held.
  static SCueHandle createCueInstanceByName(const char* pName);
  // createCueInstance, fire and forget.
  static void playCue(u32 uiCueNameHash);
  // Who releases the cue: held (gc_iCUE_STATE_HELD), its caller through stopCue; fire and forget
  // (gc_iCUE_STATE_FIRE_AND_FORGET), the update, once it has played, so the caller may drop the handle. An instance
  // keeps the state of its last use until then. Null or stale: nothing.
  static void setCueHeld(const SCueHandle* pHandle);
  static void setCueFireAndForget(const SCueHandle* pHandle);
  // Stops the cue at once (fFadeSeconds 0, negative or NaN, or a cue not yet started) or after a fade-out of
  // that many seconds of gameplay time; clears *pHandle. Null or stale: nothing.
  static void stopCue(SCueHandle* pHandle, f32 fFadeSeconds);
  // The instance's own volume, clamped to 0..1; heard from its next tick. Null or stale: nothing.
  static void setCueVolume(const SCueHandle* pHandle, f32 fVolume);
  static void pauseAllCues();
  static void resumeAllCues();
  // Sets a category's user volume (0..1); the cues hear it from the next update.
  static void setCategoryVolume(E_AUDIO_CATEGORY eCategory, f32 fVolume);
  // The shortest fade-in, in seconds, that game code gives a one-shot cue it starts itself; 0 (the default) starts
  // such cues at full volume.
  static void setMinCueFadeTime(f32 fSeconds);
  static f32 getMinCueFadeTime();
  // A category's record (0..9, an assertion otherwise): its user and duck volumes as the cues' volumes read them.
  static const SAudioCategory& getCategory(i32 iCategory);
  // A cue asks for a category's duck volume: it becomes fVolume when that is lower (the lowest request of the
  // frame wins). The category must be 0..9 (assertion).
  static void duckCategory(i32 iCategory, f32 fVolume);
  // The instance of a live handle, null for a null or stale one.
  static ClFMODCueInstance* getCueInstance(const SCueHandle& handle);

  // Loads "Audio/VOSK_SFX.iAudioSB" below the data root through the archive reader and builds every cue's
  // container, telling the frame hooks (ClFrameGameHooks::soundSourceLoaded) after each sound source it tries. 1
  // when loaded; 0 when already loaded, 16 banks are loaded, the file cannot be read, or it fails its checks (one
  // line on standard error names the file, where it lives on disk and the problem). A sound source that cannot be
  // made is one line too, naming the source as the bank holds it, its cue, and the reason.
  static i32 loadSoundBank();
  // The sound bank's path, as loadSoundBank asks the archive reader for it (cut to uiSize bytes).
  static void getSoundBankPath(char* pPath, u32 uiSize);
  // 1 when a bank of that name hash was unloaded (its cues stopped and their handles released), else 0.
  static i32 unloadSoundBank(u32 uiBankNameHash);
  // The cue data of the first loaded cue of that hash (banks in pool order), or null.
  static const SPrerenderedCue* findCue(u32 uiCueNameHash);

  // Inside the sound layer: the library, the lock, and the release of a cue's instance and handle.
  static FMOD::System* getSystem();
  static ClMutexLock& getAudioLock();
  // Stops the instance and gives it back to its container; frees the handle slot that holds it and removes it
  // from the pending list.
  static void releaseInstance(ClFMODCueInstance* pInstance);
  static i32 getActiveCueCount();
  static i32 getPendingCueCount();
  // Takes a pending entry for the instance; false when all 32 are taken.
  static bool queuePending(ClFMODCueInstance* pInstance);
  // A release fade of the category from fLevel to 1.0 over fSeconds; false (and nothing) when all 24 run.
  static bool startReleaseFade(i32 iCategory, f32 fLevel, f32 fSeconds);
  static i32 getReleaseFadeCount();

 private:
  static void setCueState(const SCueHandle* pHandle, i32 iState);
};

// Holds the audio lock for a scope (nothing for a null lock).
class ClAudioLockScope {
 public:
  ClAudioLockScope() { ClAudioManager::getAudioLock().enter(); }
  ~ClAudioLockScope() { ClAudioManager::getAudioLock().leave(); }
  ClAudioLockScope(const ClAudioLockScope&) = delete;
  ClAudioLockScope& operator=(const ClAudioLockScope&) = delete;
};

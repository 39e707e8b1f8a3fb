// The music-track data manager: loads the ".iAudioTD" file of a sound source when its cue's container is made
// (ClAudioTrackData.h describes the file), makes a ClAudioTrackDataInstance when such a source starts playing,
// advances every instance's time once an audio update and walks each track's events as their times pass,
// telling the listeners registered for the track's identifier. Nothing in the game registers a listener, so
// the walk only marks tracks and instances finished; finished instances go back to the pool at the next tick.
//
// Pools: 256 loaded files, 128 instances, 64 listeners. A file is read from disk once: loading a name that is
// loaded counts one more load, and each unload takes one back; the file goes when the last load is unloaded,
// and any instance still running on it goes with it.
//
// Time: the tick advances instances by the gameplay clock's frame time when the development setting
// "FIXED_DT" is above 0, else by the system clock's. Main thread only.
#pragma once

#include "Corvane/Audio/ClAudioTrackDataInstance.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iMAX_TRACK_DATA_FILES = 256;
inline constexpr i32 gc_iMAX_TRACK_DATA_INSTANCES = 128;
inline constexpr i32 gc_iMAX_TRACK_LISTENERS = 64;

// Told about the instances and events of the tracks it is registered for. Listeners must not register or
// unregister from inside these calls.
class ClAudioTrackListener {
 public:
  virtual ~ClAudioTrackListener() = default;
  // An instance of a file holding the track was made (before its first walk).
  virtual void onTrackInstanceCreated(u32 uiTrackID) = 0;
  // The event iEvent (at fEventTime seconds) was passed; fCurrentTime is the track's time when it was.
  virtual void onTrackEvent(u32 uiTrackID, i32 iEvent, f32 fEventTime, f32 fCurrentTime) = 0;
};

class ClAudioTrackDataMgr {
 public:
  // Lays the pools out (empty). From the audio manager's start-up.
  static void initialize();
  // Gives back every instance and every file with its buffers, then frees the pools. Calls made afterwards
  // find nothing.
  static void terminate();
  static bool isInitialized();

  // Loads "Audio/<pBaseName>.iAudioTD" below the data root through the archive reader and answers its image,
  // or the image already loaded under that name (one more load). Null when it cannot be read, when 256 files
  // are loaded, or when it fails its checks (one line on standard error names the file and the problem).
  static const u8* load(const char* pBaseName);
  // The image loaded under that name hash, or null.
  static const u8* find(u32 uiNameHash);
  // Takes back one load of the name; the last one frees the file. 1 when the name was loaded, else 0.
  static i32 unload(const char* pBaseName);

  // A new instance of the file loaded under that name hash: its tracks' listeners are told, then it walks
  // once at time 0. Null when no such file is loaded or all 128 instances run.
  static ClAudioTrackDataInstance* createInstance(u32 uiNameHash);
  // Gives the instance back: 1 when it was running, 0 otherwise (already given back, or not an instance).
  static i32 release(ClAudioTrackDataInstance* pInstance);
  // Whether the instance runs still under the generation its holder saw (never dereferences a stale pointer).
  static bool isLive(const ClAudioTrackDataInstance* pInstance, u32 uiGeneration);
  // Once an audio update: every instance not paused advances by the frame time and walks its events, from the
  // last instance to the first; finished ones are given back.
  static void tick();
  // True when "FIXED_DT" is set above 0: music time then follows the gameplay clock instead of the sound.
  static bool usesFixedFrameTime();

  // Registers the listener for a track identifier: 1, or 0 when all 64 places are taken.
  static i32 addTrackListener(u32 uiTrackID, ClAudioTrackListener* pListener);
  // Removes every registration of the listener.
  static void removeTrackListener(ClAudioTrackListener* pListener);
  // Tells the track's listeners that an event was passed (from the instances' walk).
  static void tellEvent(u32 uiTrackID, i32 iEvent, f32 fEventTime, f32 fCurrentTime);

  static i32 getFileCount();
  static i32 getInstanceCount();
};

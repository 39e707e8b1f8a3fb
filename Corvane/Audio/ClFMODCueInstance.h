// One playing copy of a cue: it lives in its cue's container (64 per container), plays one sound source of the
// cue on one channel of the sound library, and carries its own volume, pitch, pan, fades and multichannel
// levels. The audio manager takes it (createCueInstance), starts it at its next update, ticks it once an update
// and releases it. Main thread only; every call into the sound library is made under the audio lock.
//
// Volume heard = volume x envelope (fade-in or fade-out fader) x the product over the cue's categories of
// (category volume x duck volume) x g_fAudioMasterVolume. The channel carries this volume alone: the dry group
// that all instances of a source share stays at full volume, so instances never change each other's level.
//
// Ducking: a cue with ducking groups lowers other categories while it plays. Each group fades its category's
// duck volume from 1.0 down to the group's level, holds it, and fades it back up (times in gameplay seconds);
// the fades are shrunk to fit a sound shorter than both of them. The audio manager asks every playing cue each
// update (applyDucking) and each category keeps the lowest level asked for. Stopping a cue with fadeOut ends
// its ducking at once; the groups still active go to the manager's release fades.
//
// Music-track data: a source with track data gets a track-data instance when it starts. For a streamed cue its
// time follows the channel's position (or the gameplay clock with "FIXED_DT" above 0); the instance is
// released when the cue stops.
#pragma once

#include "Corvane/Audio/ClAudioFader.h"
#include "Corvane/Audio/ClSoundBank.h"
#include "Corvane/System/KvTypes.h"

namespace FMOD {
class Channel;
class ChannelGroup;
class Sound;
}  // namespace FMOD

class ClCueInstanceContainer;
class ClAudioTrackDataInstance;
struct SCueSoundSource;

// Cue states (mp_iCueState): who releases the cue.
inline constexpr i32 gc_iCUE_STATE_HELD = -1;         // its caller, through stopCue
inline constexpr i32 gc_iCUE_STATE_FIRE_AND_FORGET = 0;  // the update, once its channel has stopped
inline constexpr i32 gc_iCUE_STATE_FADING_OUT = 1;    // the update, once its fade-out has finished

// The track-data name hash of a source without track data.
inline constexpr u32 gc_uiNO_TRACK_DATA = 0xFFFFFFFFu;
// Seconds a ducking group whose fades were shrunk to fit its sound holds after the fall: one frame at 60 Hz.
inline constexpr f32 gc_fDUCK_SHRUNK_HOLD_EXTRA = 0.016f;

class ClFMODCueInstance {
 public:
  // Takes the chosen source of the parent's cue and resets every setting. Returns 1.
  i32 initialize(ClCueInstanceContainer* pParent, SCueSoundSource* pSource);
  // Draws the random volume, channel levels, pan and pitch (in that order) and queues the instance on the
  // pending list; when the list is full the instance is stopped instead and never gets a channel.
  void prepare();
  // Plays the sound paused on a free channel, applies group, pan, pitch and volume, then unpauses.
  void start();
  // Advances the active fader and applies pan, pitch and volume where they changed.
  void tick();
  // Stops the channel (the pointer stays; the manager clears it). Returns 1.
  i32 stop();
  // Starts a fade-out of fSeconds (state 1) and returns 0, or stops at once for 0 seconds and returns 1.
  i32 fadeOut(f32 fSeconds);
  // Starts the envelope at 0 and raises it to full volume over fSeconds of gameplay time (0: full at once).
  void fadeIn(f32 fSeconds);
  // True without a channel, or when the channel no longer plays. Asked under a try of the audio lock: a lock
  // held elsewhere answers "not finished" (asked again next update); without a lock the channel is asked directly.
  bool isFinished();
  void pause();
  void resume();
  bool isLooping() const;

  f32 computeVolume() const;
  void applyVolume();
  void applyPan();
  void applyPitch();
  void applyMultichannel();
  f32 computeChannelLevel(u32 uiConfig) const;
  void setupChannelLevel(u32 uiConfig);
  // The cue's length entry for the chosen source, 0 when not given.
  f32 sourceLength() const;

  // Ducking: setupDucking from prepare, tickDucking from tick, applyDucking from the manager's update (before
  // the cues are ticked), releaseDucking from fadeOut.
  void setupDucking();
  void tickDucking();
  void applyDucking() const;
  void releaseDucking();
  // The level group iGroup asks of its category now; false when its fades and hold are over.
  bool duckingLevel(i32 iGroup, f32* pfLevel) const;
  // The track-data instance while it still runs under this cue (null once it finished or was released).
  ClAudioTrackDataInstance* trackDataInstance();
  const SPrerenderedCue* cueData() const;

  SCueSoundSource* mpr_pWAVDataContainer = nullptr;
  ClCueInstanceContainer* mpr_pParentContainer = nullptr;
  i32 m_b2D = 1;
  i32 m_iSourceIndex = 0;
  FMOD::Sound* mp_pSound = nullptr;
  FMOD::Channel* mp_pChannel = nullptr;
  FMOD::ChannelGroup* mp_pDryGroup = nullptr;
  FMOD::ChannelGroup* mp_pWetGroup = nullptr;
  const void* mp_pTrackDataFile = nullptr;
  u32 m_uiTrackDataNameHash = gc_uiNO_TRACK_DATA;
  f32 m_afPosition[4] = {};  // 3-D position and velocity: zero for the 2-D cues this engine plays
  f32 m_afVelocity[4] = {};
  ClAudioFader m_fadeIn;
  ClAudioFader m_fadeOut;
  i32 m_bFadingOut = 0;
  i32 m_bDuckingOn = 0;
  i32 mpr_iNumberDuckingCategories = 0;
  ClAudioFader mpr_aDuckingFadeIns[gc_iMAX_DUCKING_GROUPS];
  ClAudioFader mpr_aDuckingFadeOuts[gc_iMAX_DUCKING_GROUPS];
  f32 m_afDuckHoldTimers[gc_iMAX_DUCKING_GROUPS] = {};
  f32 m_fVolume = 1.0f;
  f32 m_fLastVolume = -1.0f;
  f32 m_fPan = 0.0f;
  f32 m_fLastPan = -2.0f;
  f32 m_fPitch = 1.0f;
  f32 m_fLastPitch = -2.0f;
  f32 m_afChannelLevels[MAX_NUM_MULTICHANNEL_CHANNELS] = {};
  f32 m_afInputChannelMix[MAX_NUM_MULTICHANNEL_CHANNELS] = {};
  ClAudioTrackDataInstance* mp_pTrackDataInstance = nullptr;
  u32 m_uiTrackDataGeneration = 0;
  i32 m_bPaused = 0;
  u32 m_uiPausedPosition = 0;  // milliseconds
  f32 m_fStartTimeOffset = 0.0f;
  f32 m_fTrackTime = 0.0f;

  // Who releases the cue (gc_iCUE_STATE_...): set through the audio manager (setCueHeld, setCueFireAndForget) and
  // by fadeOut.
  i32 getCueState() const { return mp_iCueState; }

 private:
  friend class ClAudioManager;

  f32 envelope() const;
  void releaseTrackData();

  i32 mp_iCueState = gc_iCUE_STATE_HELD;
};

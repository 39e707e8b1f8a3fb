// The flip-book manager: loads every flip book once, while the game loads, from its data script and an atlas, and
// keeps it under the name hash of its name, where entities, game modes and UI procedures find it.
//
// Data script of a flip book named N: "<data root>AnimationsGame\N.kds" (through ClDScriptMgr2, cached). Keys of
// its root:
//   "fps"           FLOAT or INT    frames per second, above 0 and at most 1000 (required)
//   "anchor"        [x, y] FLOAT    anchor of every frame, times the scale (default 0, 0)
//   "anchorArray"   [[x, y], ...]   entry i is frame i's anchor, times the scale; later frames use "anchor"
//   "nodes"         [Name = {positions = [[INT frame, [x, y]], ...]}, ...]   named points per frame, not scaled
//   "frame_delays"  [[INT frame, FLOAT seconds], ...]   display time of single frames: 0 (the frame time) or at
//                                   least 1 ms
// Frames: the atlas images "N-0001_216", "N-0002_216" and so on (frame 0 is number 0001), up to the first number
// missing; the effect companion of frame i is "NFX-<i+1>_216" in the same atlas, or none.
//
// A script is read only after checkFlipBookScript found every value the loader reads where and as it must be:
// a script that fails stops the program with a report naming the flip book, its script and the value, as an
// assertion for a value of the wrong type or an array too short ("mp_eValueType == E_DSVT_FLOAT ||
// mp_eValueType == E_DSVT_INT" and the like), as a fatal error for a value missing or out of range. A display
// time of 0 or below, or one so short that a frame step could make no progress, would keep the animators'
// update from ending, so it is refused at load. Nothing is allocated before a script has passed.
//
// Loading a name again replaces (and frees) the flip book stored under it; animators still playing the old one
// must be restarted by their owners. Main thread only; no lock.
#pragma once

#include "Corvane/ADT/ClLinearHashTable.h"
#include "Corvane/System/KvTypes.h"

class ClDScriptData2;
class ClFlipBook;

inline constexpr const char* gc_pszFLIPBOOK_FOLDER = "AnimationsGame";
inline constexpr f32 gc_fFLIPBOOK_MAX_FPS = 1000.0f;
inline constexpr f32 gc_fFLIPBOOK_MIN_DELAY = 0.001f;  // seconds, for a frame delay other than 0

enum E_FLIPBOOK_SCRIPT_CHECK : i32 {
  E_FLIPBOOK_SCRIPT_OK = 0,
  E_FLIPBOOK_SCRIPT_ASSERTION = 1,  // a value of the wrong type, an array too short
  E_FLIPBOOK_SCRIPT_FATAL = 2,      // a value missing or out of range
  NUM_E_FLIPBOOK_SCRIPT_CHECK
};

class ClFlipBookMgr {
 public:
  // Builds the table (an assertion "!mp_bIsValid" when it exists) and sets the initialised flag. Called once by
  // the game's start-up before the first flip book is loaded.
  static void initialize();
  // Loads the flip book pName from its script and the frames of the atlas pAtlasName (which must be loaded),
  // anchors times fScale, and stores it under its name. A script that cannot be read is fatal "Could not load
  // anim data for flipbook [%s]"; no frame is fatal "Could not load any images for flipbook file named [%s] in
  // atlas [%s] (make sure animation frames include \"-0001\" etc. HYPHEN, NOT UNDERSCORE!)", or, when the atlas
  // holds no image at all, "Atlas file [<path>] holds no images, while the flip book [%s] names its frames in it".
  static void loadFlipBook(const char* pName, const char* pAtlasName, f32 fScale);
  // The same from a script tree already read (borrowed).
  static void loadFlipBookFromScript(const ClDScriptData2* pScript, const char* pName, const char* pAtlasName,
                                     f32 fScale);
  // The loaded flip book; a name not loaded is the assertion "Flipbook [%s] asked for, but not loaded.".
  static ClFlipBook* getFlipBook(const char* pName);
  // The address of the stored flip-book pointer, or null with no report.
  static ClFlipBook** findByHash(u32 uiNameHash);
  // When initialised: frees every flip book (bucket by bucket, in insertion order), the table, and clears the flag.
  static void terminate();
  static bool isInitialized() { return mp_bInitialized != 0; }

  // The number of frames pName has in the atlas: images "<pName>-0001_216" on, up to the first missing.
  static i32 countFrames(const char* pName, const char* pAtlasName);
  // Checks every value of a script that the loader reads for a flip book of iNumFrames frames. Not OK: pMessage
  // holds "Flipbook [name] (script path) value: what"; nothing is reported.
  static E_FLIPBOOK_SCRIPT_CHECK checkFlipBookScript(const ClDScriptData2* pScript, const char* pName, i32 iNumFrames,
                                                     char* pMessage, u32 uiMessageSize);

  static ClLinearHashTable<u32, ClFlipBook*> mp_flipBookTable;
  static u32 mp_bInitialized;
};

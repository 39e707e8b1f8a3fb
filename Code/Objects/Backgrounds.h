// The scrolling backgrounds: layers of images from the data script "Backgrounds" that repeat without end as the
// camera advances, each at its own share of the camera's movement (parallax), on its own bottom line, behind the
// entities or (Foreground) in front of them, with small flip-book animations pinned onto particular images.
//
// Script layout: one array per pattern (its children are the layers, in drawing order) and "ImageAnims".
//   layer: "Bottom_Y" FLOAT, "ScrollingSpeed" FLOAT, optional "Foreground" INT, "Images" ARRAY whose unnamed
//          STRING / HASH_ID children are images of "TexturesGameAtlas" (stored with "_216" added) and whose
//          children named "Space" (INT) are gaps of that many drawing units (modulo 65536); other named children
//          are skipped. An image named "buffer<sep><n>" is a spacer n units wide that draws nothing.
//   "ImageAnims"/<image base name, "-" as "_">: entries {"OffsetX" FLOAT, "OffsetY" FLOAT, "Flipbook" text,
//          optional unnamed #noLoop}: the flip book plays (looping, or once) at that offset from the image.
// Item kinds keep the script's rules: an image whose name begins with "Space" counts as a gap, its gap read from
// the sixth and seventh characters of the stored name.
//
// Loading checks the pattern and "ImageAnims" first: a pattern, layer, key or value missing or of the wrong type,
// an image the atlas lacks or an animation whose flip book is not loaded refuses the pattern (no layers, one line
// naming the script and the entry, false answered). A layer with no items, or whose items are all 0 wide, could
// never be stepped over: it is skipped with a line. So tick never meets a bad layer; and since whole periods are
// skipped at once and every walk ends, no camera position or speed makes a frame run away.
//
// Animation objects belong to their "ImageAnims" entry, not to a layer: made when an image is first walked, shared
// by every occurrence of the image in every layer, kept across patterns and release, advanced once per occurrence
// walked, freed by releaseImageAnimations at shutdown. Units: drawing units (1.25 per world unit); cameraX is
// g_fWorldCameraX. Main thread only.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/KvTypes.h"

class ClDScriptData2;
class ClTexAnimObj;
struct SAtlasEntry;

enum E_BACKGROUND_ITEM : i32 { E_BACKGROUND_ITEM_IMAGE = 0, E_BACKGROUND_ITEM_GAP = 1, E_BACKGROUND_ITEM_BUFFER = 2 };

struct SBackgroundItem {
  char* mp_pName = nullptr;  // owned: the image's name with "_216", or "Space" for a gap
  i32 m_eKind = E_BACKGROUND_ITEM_IMAGE;
  i32 m_iWidth = 0;                      // drawing units: the gap, the spacer's number or the image's width
  const SAtlasEntry* mp_pEntry = nullptr;  // images only
  const ClDScriptData2* mp_pAnims = nullptr;  // the image's "ImageAnims" child, or null
};

struct alignas(16) SBackgroundLayer {
  f32 Bottom_Y = 0.0f;
  f32 ScrollingSpeed = 0.0f;
  i32 Foreground = 0;
  ClDynamicVector<SBackgroundItem> m_items;
  f32 m_fScrollPosition = 0.0f;  // layer x of the current item's left edge
  i32 m_iCurrentItem = 0;
  f32 m_fPeriod = 0.0f;  // the items' widths added up (above 0): one round of steps moves this far

  // Moves the scroll position so that the current item is the first whose right edge reaches fLeft and its left
  // edge lies at or left of it, as stepping back and forward item by item does; whole periods are skipped in one
  // move (they leave the current item as it is), so a far jump of the camera costs no more than a near one.
  void place(f32 fLeft);

  void stepBack();
  void stepForward();
};

extern ClDynamicVector<SBackgroundLayer*> g_backgroundLayers;
extern i32 g_bBackgroundsLoaded;

namespace Backgrounds {
// Gets "Backgrounds" from the script manager, makes the empty layer list (room for 8; a list already made is
// emptied) and sets the loaded flag. False, with a line, when the script cannot be read.
bool initialize();
// The same with a tree already read (borrowed; it must outlive the backgrounds and their animation objects).
void initializeWithScript(ClDScriptData2* pScript);
// Replaces the layers with the named pattern's; false (and no layers) when the pattern is refused.
bool loadPattern(const char* pPatternName);
// Places, draws and animates every layer for the camera; once a frame.
void tick();
// Frees the layers and the list, if made, and clears the loaded flag (the animation objects stay).
void release();
// Frees every animation object (the game's shutdown).
void releaseImageAnimations();
// A new buffer of the name followed by "_216" (KvAlignedFree frees it).
char* makeImageName(const char* pName);
// The animation object of an "ImageAnims" entry, or null when none was made yet.
ClTexAnimObj* findImageAnimation(const ClDScriptData2* pEntry);
}  // namespace Backgrounds

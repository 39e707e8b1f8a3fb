// The gore effects: gibs, blood, sparks, rings and the floating score texts, run over the record vectors of
// GAMEGoreRecords.h. The Action mode makes the vectors (initialize), runs update once a frame while the game is not
// paused and draw once a frame after the entities (paused or not), and frees everything at its exit and at a
// chapter change (releaseAll). Gameplay code adds records through the spawn and text functions here.
//
// Units: world units (x along the road, y the lane's depth, z the height, negative above the ground), seconds of
// the gameplay clock. The camera is g_fWorldCameraX (it never moves across the lanes). Random numbers come from
// the engine's generator in a fixed order, so replays stay exact. Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

// The gib classes (0 to 3) and styles (0 plain, 1 fire, 2 electric, 3 magic).
inline constexpr i32 gc_iNUM_GIB_CLASSES = 4;
inline constexpr i32 gc_iNUM_GIB_STYLES = 4;
// A spawn stops adding pieces as soon as more than this many gibs exist (so at most one more is alive).
inline constexpr i32 gc_iGIB_CAP = 1500;
inline constexpr f32 gc_fGORE_GRAVITY = 300.0f;

namespace GoreFx {

// The five empty vectors.
void initialize();
// Frees every record of every vector and the vectors themselves.
void releaseAll();

// Throws the pieces of one body: the class sets their number and speed, the style their flip books; the pieces
// start at the origin (x, y, z) scattered over the area (width along x, height along y). With the profile's
// ultra-gib option (read through WorldServices) twice as many fly twice as fast. A style or class outside 0..3
// is a programming error.
void spawnGibs(i32 iStyle, i32 iClass, const f32 vOrigin[4], const f32 afArea[2]);
// The same with the origin and area spelled out, as the world's services hand them on.
void spawnGibs(i32 iStyle, i32 iClass, f32 fX, f32 fY, f32 fZ, f32 fWidth, f32 fHeight);

// The player's blood splatter at (x, y): heavy is 100 drops (size chance 0.8), light 10 (chance 0.75).
void spawnBloodSplatter(f32 fX, f32 fY, bool bHeavy);

// One frame on the gameplay clock: ages and moves every record, lands blood and gibs, bounces gibs (a splatter
// decal a bounce), then removes what is done. Blood stays while the results, the victory or the fade-out is on.
void update();
// Queues every record through the world's draw sink (GAMEWorldDraw.h): texts, rings, blood, sparks, gibs.
void draw();

// Floating score texts (GAMEFloatingTexts.cpp). The key names a localized string whose "%d" becomes the number;
// the position is in world units and is kept relative to the camera, so the text hangs on the screen.
// Plain: rises 50 units a second for 1 s.
void addFloatingText(const char* pKey, i32 iNumber, const f32 vPosition[4]);
// Stacked: stays 1.25 s, flickering; asking again for a text still showing restarts it and counts it up ("X2").
void addStackedFloatingText(const char* pKey, i32 iNumber, const f32 vPosition[4]);
// Either kind, as the world's services hand the request on.
void addFloatingText(const char* pKey, f32 fX, f32 fY, f32 fZ, i32 iNumber, bool bStacked);

}  // namespace GoreFx

// A small fixed scene that the front end draws behind its menus while the game has no scrolling backgrounds: ground,
// crates and sparks of the game atlas in the world batch, a translucent panel in the 2D batch (both in the 480 x 270
// scene), and a button of the UI atlas in the UI batch over the finished picture.
//
// Main thread: load (it looks its images up in the atlases the load mode loaded) when the front end is entered,
// queue once per frame between ClDynamicGeometry::beginFrame and the hand-over, unload when the front end is left.
#pragma once

class GAMESampleScene {
 public:
  static void load();
  static bool isLoaded();
  // Queues this frame's geometry; nothing before load or after unload.
  static void queue();
  // Forgets the images (the atlases stay with the atlas manager until shutdown).
  static void unload();
};

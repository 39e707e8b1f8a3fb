// A small fixed scene that the pre-load mode draws through the frame composition once the second start-up stage
// has run, while the game has no mode of its own that draws: ground, crates and sparks of the game atlas in the
// world batch, a translucent panel in the 2D batch (both in the 480 x 270 scene), and a button of the UI atlas in
// the UI batch over the finished picture; over them the sample screen sets (the splash set on its first splash and
// the main set), ticked and drawn by the UI every frame.
//
// Main thread: load once after the second start-up stage (it opens the game archive's table of contents and
// loads the two atlases and the CRT effect's textures, as the load mode does), queue once per frame between
// ClDynamicGeometry::beginFrame and the hand-over, unload when the pre-load mode is left.
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

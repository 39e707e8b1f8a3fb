// The frame composition's video path: while a full-screen movie shows, the render worker draws only its frame.
//
// Render worker only (inside the frame composition), apart from the release at shutdown.
#pragma once

// The effect the movie's frames are drawn with.
inline constexpr const char* gc_pGAME_VIDEO_SHADER = "system_blend_premult";

// When a movie shows (player state 1 or 2): waits for its next frame (no longer than the player's limit), clears
// the back buffer, draws the frame fitted to the screen's aspect and centred, releases the waiting presenter and
// presents. True when it did (the composition then draws nothing else), false when no movie shows.
bool GAMERenderVideoFrame();

// Releases the event query the video path keeps (game shutdown, before graphics go).
void GAMEReleaseVideoFrameObjects();

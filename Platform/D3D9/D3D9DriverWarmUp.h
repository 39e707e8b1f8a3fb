// The system's OpenGL driver loaded ahead of the device, on a thread of its own, while the caller has to wait anyway
// (the game's start-up waits on its save folder before it opens the window). Loading the driver and its compiler
// (tens of milliseconds under Mesa: mapping and relocating the libraries, probing the processor) is then done when
// the device is made; nothing else of the device, the window or the display changes.
//
// Only for the X11 video driver (SDL_VIDEODRIVER unset or "x11") with a DISPLAY; otherwise, or when a library or
// the display cannot be opened, the warm-up does nothing and the device loads the driver itself as before.
#pragma once

// Starts the warm-up (at most once at a time); answers whether a thread was started.
bool D3D9BeginDriverWarmUp();
// Waits for the warm-up to end; answers whether it loaded a driver. Safe without a warm-up begun.
bool D3D9EndDriverWarmUp();
// Whether the environment asks for the X11 video driver with a display: the warm-up's condition (the variables'
// values, null when unset).
bool D3D9DriverWarmUpApplies(const char* pVideoDriver, const char* pDisplay);

// DirectInput objects of the input hardware layer, for the window procedure, which acquires the devices on
// activation and releases the mouse around menu loops. Each is null until the layer made it, and again after
// its terminate. Main thread only.
#pragma once

#include "Platform/DInput/DInput8.h"

extern LPDIRECTINPUT8A g_pDirectInput;
extern LPDIRECTINPUTDEVICE8A g_pDIKeyboard;
extern LPDIRECTINPUTDEVICE8A g_pDIMouse;

#include "Corvane/UI/ClFont.h"

bool ClFont::mp_bInitialised = false;

void ClFont::initialise() { mp_bInitialised = true; }

void ClFont::terminate() { mp_bInitialised = false; }

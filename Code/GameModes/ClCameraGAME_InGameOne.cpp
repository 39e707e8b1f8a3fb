#include "Code/GameModes/ClCameraGAME_InGameOne.h"

ClCameraGAME_InGameOne::ClCameraGAME_InGameOne() { placeAt(gc_vIN_GAME_CAMERA_START); }

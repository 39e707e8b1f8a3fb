#include "Code/UI/GAMEUIRegistration.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_TextFile.h"

ClGAMEUIHooks g_GAMEUIHooks;

// The other common groups (system, buttons, windows, scroll areas, animations, grids, splash screens) and the
// game's screens are not part of this build yet; data naming their procedures runs without them.
void registerGameUIFunctions() {
  g_uiTextAlignLeftHash = KvStrHash("L");
  g_uiTextAlignRightHash = KvStrHash("R");
  g_uiTextAlignCentreHash = KvStrHash("C");
  registerImagesUIFunctions();
  registerTextUIFunctions();
  registerTextFileUIFunctions();
}

void ClGAMEUIHooks::registerGameUIFunctions() { ::registerGameUIFunctions(); }

// The game's font family: "FontAcknowledge", or for Japanese, Korean and Simplified Chinese (languages 8, 9, 11)
// "FontAcknowledgeCHS", for Russian (12) "FontAcknowledgeRUS" and for Polish (17) "FontAcknowledgePOL", each
// loaded under the name "FontAcknowledge" so that screens find it by one name. Main thread, once the font pools
// and the texture manager run.
#pragma once

#include "Corvane/System/KvTypes.h"

// The family file loaded for a language index (KvLangID).
const char* GAMEFontFamilyFor(i32 iLanguage);

// Loads the family for the language. A language variant then has its baselines adjusted
// (ClFontFamilyMgr::adjustFontAcknowledgeBaselines); the plain family instead has the 21-point font of its best
// resolution drawn 4 pixels tighter: its empty-line height lowered by 4 and its line height set to that.
void GAMELoadFontFamily(i32 iLanguage);

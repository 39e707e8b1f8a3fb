#include "Code/UI/GAMEFontFamily.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClFontFamilyMgr.h"

namespace {

constexpr const char* gc_pszFAMILY = "FontAcknowledge";

// Loads the family under the game's one family name; whether it is there.
bool loadFamily(const char* pFamily) {
  ClFontFamilyMgr::loadFontFamily(pFamily, pFamily != gc_pszFAMILY ? gc_pszFAMILY : nullptr);
  return ClFontFamilyMgr::findFamily(KvStrHash(gc_pszFAMILY)) != nullptr;
}

}  // namespace

const char* GAMEFontFamilyFor(i32 iLanguage) {
  switch (iLanguage) {
    case 8:
    case 9:
    case 11:
      return "FontAcknowledgeCHS";
    case 12:
      return "FontAcknowledgeRUS";
    case 17:
      return "FontAcknowledgePOL";
    default:
      return gc_pszFAMILY;
  }
}

void GAMELoadFontFamily(i32 iLanguage) {
  const char* pFamily = GAMEFontFamilyFor(iLanguage);
  // A family its loader refuses ends the game: every text is drawn with it. The loader says why it refused one that
  // it read; one it could not open, the archive reader says.
  KvForgetLastProblem();
  if (!loadFamily(pFamily)) {
    KV_DATA_FATALF("Font family [Fonts\\%s.kff] was refused: %s", pFamily,
                   KvGetLastProblem()[0] != '\0' ? KvGetLastProblem() : ClMagFileIO::getLastProblem());
  }
  if (pFamily != gc_pszFAMILY) {
    ClFontFamilyMgr::adjustFontAcknowledgeBaselines();
    return;
  }
  ClFontEntry* pFont = ClFontFamilyMgr::getFont(KvStrHash(gc_pszFAMILY), 21, -1, nullptr);
  if (pFont != nullptr) {
    const f32 fHeight = pFont->mp_pFontData->mp_fEmptyLineHeight - 4.0f;
    ClFontFamilyMgr::setLineHeights(pFont, fHeight, fHeight);
  }
}

#include "Code/UI/GAMEFontFamily.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClFontFamilyMgr.h"

namespace {

constexpr const char* gc_pszFAMILY = "FontAcknowledge";

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
  if (pFamily != gc_pszFAMILY) {
    ClFontFamilyMgr::loadFontFamily(pFamily, gc_pszFAMILY);
    ClFontFamilyMgr::adjustFontAcknowledgeBaselines();
    return;
  }
  ClFontFamilyMgr::loadFontFamily(pFamily, nullptr);
  ClFontEntry* pFont = ClFontFamilyMgr::getFont(KvStrHash(gc_pszFAMILY), 21, -1, nullptr);
  if (pFont != nullptr) {
    SFontData* pData = pFont->mp_pFontData;
    pData->mp_fEmptyLineHeight -= 4.0f;
    pData->mp_fLineHeight = pData->mp_fEmptyLineHeight;
  }
}

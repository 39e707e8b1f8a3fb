// ClWidget's typed properties: readers, writers and the convenience writers over the string tables.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

const char* const gc_apTYPE_ASSERT_TEXTS[] = {
#define KV_BASE_TYPE_ASSERT_TEXT(name, value) "pProp->mp_eType == E_BASE_TYPE_" #name,
    KV_BASE_TYPES(KV_BASE_TYPE_ASSERT_TEXT)
#undef KV_BASE_TYPE_ASSERT_TEXT
};
static_assert(sizeof(gc_apTYPE_ASSERT_TEXTS) / sizeof(gc_apTYPE_ASSERT_TEXTS[0]) == NUM_E_BASE_TYPE,
              "one assertion text per property type");

// Run-time value blocks are never smaller than two words, so the two-word readers, which check no type,
// stay inside any block.
constexpr u32 gc_uiMIN_VALUE_BLOCK = 8;

// Localized texts are formatted into buffers of this many UTF-16 units at most.
constexpr i32 gc_iLOCALIZED_TEXT_UNITS = 768;

}  // namespace

const char* KvWidgetTypeAssertText(E_BASE_TYPE eType) {
  KV_ASSERT(eType >= 0 && eType < NUM_E_BASE_TYPE);
  return gc_apTYPE_ASSERT_TEXTS[eType];
}

WidgetProperty* ClWidget::findProperty(u32 uiNameHash) const { return mp_Properties.findPtr<WidgetProperty>(uiNameHash); }

WidgetProperty* ClWidget::requireProperty(const char* pName) const {
  return requireProperty(SWidgetPropertyName(pName));
}

WidgetProperty* ClWidget::requireProperty(const SWidgetPropertyName& name) const {
  WidgetProperty* pProp = findProperty(name.mp_uiHash);
  if (pProp == nullptr) [[unlikely]] {
    KvReportF(E_KV_REPORT_ASSERTION, __FILE__, __LINE__, "Widget [%s] does not specify [%s] attribute ([0x%08X])!",
              getName(), name.mp_pName, name.mp_uiHash);
  }
  return pProp;
}

const char* ClWidget::getName() const {
  if (mp_pRawData != nullptr) {
    return mp_pRawData->mp_acName;
  }
  const WidgetProperty* pText = findProperty(gc_DYNAMIC_TEXT.mp_uiHash);
  if (pText != nullptr && pText->mp_eType == E_BASE_TYPE_ASCII_STRING &&
      static_cast<const char*>(pText->mp_pData)[0] != '\0') {
    return static_cast<const char*>(pText->mp_pData);
  }
  return "CLONE/GLOBALDATA";
}

// --- Readers ---

i32 ClWidget::getInt(const char* pName) const { return getInt(SWidgetPropertyName(pName)); }
u32 ClWidget::getID(const char* pName) const { return getID(SWidgetPropertyName(pName)); }
f32 ClWidget::getFloat(const char* pName) const { return getFloat(SWidgetPropertyName(pName)); }

i32 ClWidget::getInt(const SWidgetPropertyName& name) const {
  const WidgetProperty* pProp = findProperty(name.mp_uiHash);
  return pProp != nullptr ? *static_cast<const i32*>(pProp->mp_pData) : 0;
}

u32 ClWidget::getID(const SWidgetPropertyName& name) const {
  const WidgetProperty* pProp = findProperty(name.mp_uiHash);
  return pProp != nullptr ? *static_cast<const u32*>(pProp->mp_pData) : 0;
}

f32 ClWidget::getFloat(const SWidgetPropertyName& name) const {
  const WidgetProperty* pProp = findProperty(name.mp_uiHash);
  return pProp != nullptr ? *static_cast<const f32*>(pProp->mp_pData) : KV_ZERO;
}

kv_vector2 ClWidget::getXY(const char* pName) const {
  const WidgetProperty* pProp = findProperty(KvStrHash(pName));
  if (pProp == nullptr) {
    return {KV_ZERO, KV_ZERO};
  }
  const f32* pfXY = static_cast<const f32*>(pProp->mp_pData);
  return {pfXY[0], pfXY[1]};
}

void ClWidget::getGridXY(const char* pName, i32* pX, i32* pY) const { getGridXY(SWidgetPropertyName(pName), pX, pY); }

void ClWidget::getGridXY(const SWidgetPropertyName& name, i32* pX, i32* pY) const {
  const WidgetProperty* pProp = findProperty(name.mp_uiHash);
  if (pProp == nullptr) {
    *pX = -1;
    *pY = -1;
    return;
  }
  const i32* piXY = static_cast<const i32*>(pProp->mp_pData);
  *pX = piXY[0];
  *pY = piXY[1];
}

bool ClWidget::hasString(const char* pName) const { return hasString(SWidgetPropertyName(pName)); }
const char* ClWidget::getString(const char* pName) const { return getString(SWidgetPropertyName(pName)); }

bool ClWidget::hasString(const SWidgetPropertyName& name) const {
  const WidgetProperty* pProp = findProperty(name.mp_uiHash);
  if (pProp == nullptr) {
    return false;
  }
  KV_ASSERT(pProp->mp_eType == E_BASE_TYPE_ASCII_STRING);
  return static_cast<const char*>(pProp->mp_pData)[0] != '\0';
}

const char* ClWidget::getString(const SWidgetPropertyName& name) const {
  const WidgetProperty* pProp = findProperty(name.mp_uiHash);
  if (pProp == nullptr) {
    KV_FATALF("Cannot find string property [%s] for getString()!", name.mp_pName);
  }
  KV_ASSERT(pProp->mp_eType == E_BASE_TYPE_ASCII_STRING);
  return static_cast<const char*>(pProp->mp_pData);
}

bool ClWidget::hasUnicodeString(const char* pName) const {
  const WidgetProperty* pProp = findProperty(KvStrHash(pName));
  if (pProp == nullptr) {
    return false;
  }
  KV_ASSERT(pProp->mp_eType == E_BASE_TYPE_UNICODE_STRING);
  return static_cast<const wchar16*>(pProp->mp_pData)[0] != 0;
}

const wchar16* ClWidget::getUnicodeString(const char* pName) const {
  const WidgetProperty* pProp = findProperty(KvStrHash(pName));
  if (pProp == nullptr) {
    KV_FATALF("Cannot find string property [%s] for getUnicodeString()!", pName);
  }
  KV_ASSERT(pProp->mp_eType == E_BASE_TYPE_UNICODE_STRING);
  return static_cast<const wchar16*>(pProp->mp_pData);
}

const void* ClWidget::getLayout(const char* pName) const { return getLayout(SWidgetPropertyName(pName)); }

const void* ClWidget::getLayout(const SWidgetPropertyName& name) const {
  const WidgetProperty* pProp = findProperty(name.mp_uiHash);
  if (pProp == nullptr) {
    KV_FATALF("Cannot find Layout property [%s] for getLayout()!", name.mp_pName);
  }
  KV_ASSERT(pProp->mp_eType == E_BASE_TYPE_LAYOUT);
  return pProp->mp_pData;
}

bool ClWidget::hasAtlas() const {
  const WidgetProperty* pProp = findProperty(gc_ATLAS.mp_uiHash);
  if (pProp == nullptr) {
    return false;
  }
  KV_ASSERT(pProp->mp_eType == E_BASE_TYPE_ID);
  return *static_cast<const u32*>(pProp->mp_pData) != 0;
}

// --- Writers ---

WidgetProperty* ClWidget::typedProperty(u32 uiNameHash, E_BASE_TYPE eType, u32 uiValueSize) {
  // Every writer comes here first: what the frame cache derived from the properties is read again.
  propertiesChanged();
  WidgetProperty* pProp = findProperty(uiNameHash);
  if (pProp != nullptr) {
    KV_ASSERT_MSG(pProp->mp_eType == eType, KvWidgetTypeAssertText(eType));
    return pProp;
  }
  WidgetProperty* pCopy = static_cast<WidgetProperty*>(KvAlignedAlloc(sizeof(WidgetProperty), 16));
  KV_ASSERT(pCopy);
  pCopy->mp_eType = eType;
  pCopy->mp_pData = nullptr;
  if (uiValueSize > 0) {
    const u32 uiBlock = uiValueSize > gc_uiMIN_VALUE_BLOCK ? uiValueSize : gc_uiMIN_VALUE_BLOCK;
    pCopy->mp_pData = KvAlignedAlloc(uiBlock, 16);
    KV_ASSERT(pCopy->mp_pData);
    std::memset(pCopy->mp_pData, 0, uiBlock);
  }
  mp_RuntimeProperties.append(pCopy);
  mp_Properties.insertPtr(uiNameHash, pCopy);
  return pCopy;
}

void ClWidget::setInt(u32 uiNameHash, i32 iValue) {
  *static_cast<i32*>(typedProperty(uiNameHash, E_BASE_TYPE_INT, 4)->mp_pData) = iValue;
}

void ClWidget::setFloat(u32 uiNameHash, f32 fValue) {
  *static_cast<f32*>(typedProperty(uiNameHash, E_BASE_TYPE_FLOAT, 4)->mp_pData) = fValue;
}

void ClWidget::setCountdown(u32 uiNameHash, f32 fValue) {
  WidgetProperty* pProp = findProperty(uiNameHash);
  if (pProp == nullptr || pProp->mp_eType != E_BASE_TYPE_FLOAT) {
    setFloat(uiNameHash, fValue);
    return;
  }
  *static_cast<f32*>(pProp->mp_pData) = fValue;
}

void ClWidget::setBool(u32 uiNameHash, u32 bValue) {
  *static_cast<u32*>(typedProperty(uiNameHash, E_BASE_TYPE_BOOL, 4)->mp_pData) = bValue;
}

void ClWidget::setID(u32 uiNameHash, u32 uiValue) {
  *static_cast<u32*>(typedProperty(uiNameHash, E_BASE_TYPE_ID, 4)->mp_pData) = uiValue;
}

void ClWidget::setColor(u32 uiNameHash, u32 uiColor) {
  *static_cast<u32*>(typedProperty(uiNameHash, E_BASE_TYPE_COLOR, 4)->mp_pData) = uiColor;
}

void ClWidget::setString(u32 uiNameHash, const char* pValue) {
  KV_ASSERT_MSG(KvStrLen(pValue) < static_cast<u32>(gc_iMAX_UI_STRING_LEN), "KvStrLen(pValue) < gc_iMAX_UI_STRING_LEN");
  char* pText = static_cast<char*>(typedProperty(uiNameHash, E_BASE_TYPE_ASCII_STRING, gc_iMAX_UI_STRING_LEN)->mp_pData);
  std::memcpy(pText, pValue, KvStrLen(pValue) + 1);
}

void ClWidget::setUnicodeString(u32 uiNameHash, const wchar16* pValue) {
  // Measured in UTF-16 units: the block holds 255 of them and a terminator.
  const u32 uiLength = KvStrLenW(pValue);
  KV_ASSERT_MSG(uiLength < static_cast<u32>(gc_iMAX_UI_STRING_LEN), "KvStrLen(puiString) < gc_iMAX_UI_STRING_LEN");
  wchar16* pText = static_cast<wchar16*>(
      typedProperty(uiNameHash, E_BASE_TYPE_UNICODE_STRING, gc_iMAX_UI_STRING_LEN * sizeof(wchar16))->mp_pData);
  std::memcpy(pText, pValue, (uiLength + 1) * sizeof(wchar16));
}

void ClWidget::setLayout(u32 uiNameHash, const void* pLayout) {
  std::memcpy(typedProperty(uiNameHash, E_BASE_TYPE_LAYOUT, gc_iLAYOUT_SIZE)->mp_pData, pLayout, gc_iLAYOUT_SIZE);
}

void ClWidget::setPercentXY(u32 uiNameHash, const f32* pXY) {
  std::memcpy(typedProperty(uiNameHash, E_BASE_TYPE_PERCENTXY, 8)->mp_pData, pXY, 8);
}

void ClWidget::setPercentXYPair(u32 uiNameHash, f32 fX, f32 fY) {
  const f32 afXY[2] = {fX, fY};
  setPercentXY(uiNameHash, afXY);
}

void ClWidget::setGridXY(u32 uiNameHash, i32 iX, i32 iY) {
  i32* piXY = static_cast<i32*>(typedProperty(uiNameHash, E_BASE_TYPE_GRIDXY, 8)->mp_pData);
  piXY[0] = iX;
  piXY[1] = iY;
}

void ClWidget::setFloatXY(u32 uiNameHash, const f32* pXY) {
  std::memcpy(typedProperty(uiNameHash, E_BASE_TYPE_FLOATXY, 8)->mp_pData, pXY, 8);
}

void ClWidget::setEventCallback(u32 uiNameHash, SWidgetEventCallback* pCallback) {
  typedProperty(uiNameHash, E_BASE_TYPE_EVENTCALLBACK, 0)->mp_pData = pCallback;
}

// --- Convenience writers ---

void ClWidget::setLocalizedID(const char* pTextIDName) { setID(gc_LOCALIZED_ID.mp_uiHash, KvStrHash(pTextIDName)); }

void ClWidget::setLocalizedIDFormatted(const char* pFormat, i32 iValue) {
  const char* pcTextIDName = pFormat;
  KV_ASSERT(pcTextIDName);
  char szName[KV_MAX_PATH_LEN];
  std::snprintf(szName, sizeof(szName), pFormat, iValue);
  setLocalizedID(szName);
}

void ClWidget::setLocalizedTextWithInt(const char* pTextIDName, i32 iValue) {
  char szNumber[16];
  KvSNPrintf(szNumber, sizeof(szNumber), "%d", iValue);
  wchar16 awText[gc_iLOCALIZED_TEXT_UNITS] = {};
  KvLangID::formatStringWithNarrowArg(awText, gc_iLOCALIZED_TEXT_UNITS, KvStrHash(pTextIDName), szNumber);
  setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, awText);
}

void ClWidget::setStageSelectLevelText(i32 iFirst, i32 iSecond) {
  wchar16 awText[gc_iMAX_UI_STRING_LEN] = {};
  KvLangID::formatStringInt2(awText, gc_iMAX_UI_STRING_LEN, KvStrHash("stageselect_level"), iFirst, iSecond);
  setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, awText);
}

void ClWidget::setLocalizedTextWithString(const char* pTextIDName, const char* pArg) {
  wchar16 awText[gc_iMAX_UI_STRING_LEN] = {};
  KvLangID::formatStringWithNarrowArg(awText, gc_iMAX_UI_STRING_LEN, KvStrHash(pTextIDName), pArg);
  setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, awText);
}

void ClWidget::setLocalizedTextWithUnicodeString(const char* pTextIDName, const wchar16* pArg) {
  wchar16 awText[gc_iMAX_UI_STRING_LEN] = {};
  KvLangID::formatStringWithArg(awText, gc_iMAX_UI_STRING_LEN, KvStrHash(pTextIDName), pArg);
  setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, awText);
}

void ClWidget::setTextAndTextureColor(u32 uiColor) {
  SAnimatorParams params{};
  params.mp_iKind = gc_iANIM_PLAY_SET;
  params.mp_uiEndColor = uiColor;
  params.mp_fDuration = KV_ZERO;
  for (ClAnimator<ClColor>& animator : mp_aColorAnimators) {
    animator.play(params);
  }
  setColor(gc_TEXT_COLOR.mp_uiHash, uiColor);
  setColor(gc_TEXTURE_COLOR.mp_uiHash, uiColor);
}

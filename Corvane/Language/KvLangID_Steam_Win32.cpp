// The store's side of the language choice.
#include "Corvane/Language/KvLangID.h"
#include "Platform/Store/StoreApi.h"

const char* KvLangID::getStoreLanguageName() {
  ISteamApps* pApps = SteamApps();
  return pApps != nullptr ? pApps->GetCurrentGameLanguage() : nullptr;
}

// Which event procedures a compiled screen set names that the game does not register: every "single" and every
// call of every event property, found by loading the ".kui" with the engine's loader, checked against the set of
// registered name hashes.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

// One procedure name that nothing registers, with where the screen set names it.
struct SUiMissingCall {
  std::string widget;     // the widget's name
  std::string event;      // the event property ("onClick")
  std::string procedure;  // the procedure's name, or "#0x1234ABCD" when the names do not know its hash
};

// The name hashes in the procedure registry after the game's registration (ClUI::initialise with the game's hooks).
std::set<uint32_t> UiCallsRegisteredHashes();

// The calls of a compiled screen set whose procedures are not in pRegistered; false with pError when the file is
// refused by the loader. pNames: names by hash (a description's, KuiCollectNames) for the report.
bool UiCallsFindMissing(const std::vector<uint8_t>& image, const std::string& fileName,
                        const std::vector<std::pair<uint32_t, std::string>>& names,
                        const std::set<uint32_t>& registered, std::vector<SUiMissingCall>* pMissing,
                        std::string* pError);

#include "Tools/uicalls/UiCalls.h"

#include <nlohmann/json.hpp>

#include "Code/UI/GAMEUIRegistration.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Tools/kuic/KuiJson.h"

namespace {

using Json = nlohmann::ordered_json;

uint32_t hashOfName(const std::string& name) {
  if (name.size() == 11 && name.compare(0, 3, "#0x") == 0) {
    return static_cast<uint32_t>(std::stoul(name.substr(3), nullptr, 16));
  }
  return KvStrHash(name.c_str());
}

// Walks a dumped widget and its children (a shared child appears once as an object, later as its name).
void collect(const Json& widget, const std::set<uint32_t>& registered, std::vector<SUiMissingCall>* pMissing) {
  if (!widget.is_object()) {
    return;
  }
  const std::string name = widget.value("name", std::string());
  if (widget.contains("properties")) {
    for (auto it = widget["properties"].begin(); it != widget["properties"].end(); ++it) {
      if (!it.value().is_object() || !it.value().contains("event")) {
        continue;
      }
      const Json& event = it.value()["event"];
      std::vector<std::string> procedures;
      if (event.contains("single") && event["single"].is_string() && !event["single"].get<std::string>().empty()) {
        procedures.push_back(event["single"].get<std::string>());
      }
      for (const Json& call : event.value("calls", Json::array())) {
        procedures.push_back(call.value("call", std::string()));
      }
      for (const std::string& procedure : procedures) {
        if (registered.count(hashOfName(procedure)) == 0) {
          pMissing->push_back({name, it.key(), procedure});
        }
      }
    }
  }
  for (const Json& child : widget.value("children", Json::array())) {
    collect(child, registered, pMissing);
  }
}

// The UI without the game's procedures, for loading the screens.
class CNoProcedures final : public ClUIHooks {
 public:
  void registerGameUIFunctions() override {}
};
CNoProcedures g_noProcedures;

}  // namespace

std::set<uint32_t> UiCallsRegisteredHashes() {
  KvSetUIGameHooks(g_GAMEUIHooks);
  ClUI::initialise();
  std::set<uint32_t> hashes;
  for (u32 i = 0; i < ClUIEventSystemFunctions::getCount(); ++i) {
    hashes.insert(ClUIEventSystemFunctions::mp_entries[i].mp_uiNameHash);
  }
  ClUI::terminate();
  KvSetUIGameHooks(g_noProcedures);
  return hashes;
}

bool UiCallsFindMissing(const std::vector<uint8_t>& image, const std::string& fileName,
                        const std::vector<std::pair<uint32_t, std::string>>& names,
                        const std::set<uint32_t>& registered, std::vector<SUiMissingCall>* pMissing,
                        std::string* pError) {
  // Loaded without the game's procedures, so that the screens' "onLoad" calls do nothing while the file loads.
  std::string text;
  if (!KuiDumpImage(image, fileName, names, &text, pError)) {
    return false;
  }
  const Json document = Json::parse(text);
  collect(document["root"], registered, pMissing);
  return true;
}

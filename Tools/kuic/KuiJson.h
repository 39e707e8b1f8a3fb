// The JSON description of a screen set as the engine loaded it: the same form the compiler reads
// (KuiSource.h), so a dump compiles back into the same tree.
//
// The dump walks the widget tree that ClUI built from the file, depth first through each widget's children:
// the first meeting with a widget writes it out, later ones write its name (a shared child). Property values
// come from the loaded data in place, events from their relocated call records. Names are known only by
// their hashes in a compiled file; a hash found in the names given is printed as its name, any other as
// "#0x1234ABCD".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class ClWidget;

std::string KuiTreeToJson(const ClWidget* pRoot, const std::vector<std::pair<uint32_t, std::string>>& names);

// Loads a ".kui" image through ClUI (initialising the UI when it is not, and ending it again) and dumps it.
// False with the loader's message in pError when the file is refused.
bool KuiDumpImage(const std::vector<uint8_t>& image, const std::string& fileName,
                  const std::vector<std::pair<uint32_t, std::string>>& names, std::string* pJson, std::string* pError);

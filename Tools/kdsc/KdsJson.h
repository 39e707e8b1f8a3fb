// JSON form of a data-script tree, for comparing trees in tests and for reading compiled files.
//
// Every node is an object: "type" ("array", "int", "float", "string", "hash_id"), "name" and "nameHash" for
// named nodes, "value" (number or text; non-finite floats as the texts "inf", "-inf", "nan"), "hash" for a
// hash id, and "children" for arrays. Texts are 8-bit; bytes above 127 are written as \u00XX.
#pragma once

#include <string>

class ClDScriptData2;

std::string KdsTreeToJson(const ClDScriptData2* pRoot);

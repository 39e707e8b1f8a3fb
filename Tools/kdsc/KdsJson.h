// JSON form of a data-script tree, for comparing trees in tests and for reading compiled files, written with
// nlohmann-json (indented by two spaces, keys in the order below, plain ASCII).
//
// Every node is an object: "name" and "nameHash" for named nodes, "type" ("array", "int", "float", "string",
// "hash_id"), "value" (number or text; non-finite floats as the texts "inf", "-inf", "nan"), "hash" for a
// hash id, and "children" for arrays. Texts are 8-bit and read as Latin-1: a byte above 127 is the character of
// that code point, written as \u00xx.
#pragma once

#include <string>

class ClDScriptData2;

std::string KdsTreeToJson(const ClDScriptData2* pRoot);

// The description of a UI screen set (JSON) and its compiler into the ".kui" layout that ClUI loads
// (Corvane/UI/KvUIDataFile.h).
//
// A description is one JSON object (// and /* */ comments allowed) with the root widget under "root". A widget:
//
//   { "name": "MainMenu",                 instance name; its name hash is the instance ID
//     "instanceID": "#0x1234ABCD",        optional: another ID than the name's hash
//     "properties": { "<name>": value },  in file order
//     "children": [ widget, "Name" ],     a widget object is built here; a name links a widget defined
//                                         anywhere in the description (a shared child)
//     "switched": [ "Name", ... ] }       the children a switcher shows one at a time; each is a child
//
// Property values, by JSON form or by a one-key object naming the type:
//   12 INT, 1.5 FLOAT, true BOOL, "text" ASCII_STRING (up to 255 bytes)
//   {"int": n} {"float": x} {"bool": b} {"string": "t"} {"id": "Name"} {"color": "0xAARRGGBB" or n}
//   {"layout": [18 numbers]} or {"layout": {"screenAnchor": 4, "x": 0.0, "y": 0.0, "widgetAnchor": 4}}
//   {"percentxy": [x, y]} {"floatxy": [x, y]} {"gridxy": [x, y]} {"type9": [w0, w1]}
//   {"type12": "hex bytes"} {"type13": "hex bytes"}
//   {"event": {"single": "procedure", "calls": [{"call": "procedure", "params": [param, ...]}]}}
// In a layout or a two-word value an integer is stored as its bits and a number with a fraction as a float.
// Parameters: 3 INT, 0.5 FLOAT, "text" STRING, {"id": "Name"} ID.
// Every name (property, procedure, id) is hashed with KvStrHash; "#0x1234ABCD" gives a hash directly.
//
// Errors name the file with the line and column (JSON syntax) or with the place in the description
// (a JSON pointer such as /root/children/2/properties/onClick).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Corvane/UI/KvUIDataFile.h"

struct SKuiParam {
  E_ESCP_TYPE eType = E_ESCP_TYPE_INT;
  uint32_t uiBits = 0;  // INT, FLOAT (its bits) and ID
  std::string text;     // STRING
};

struct SKuiCall {
  uint32_t uiProcedureHash = 0;
  std::vector<SKuiParam> params;
};

struct SKuiProperty {
  uint32_t uiNameHash = 0;
  uint32_t uiType = 0;
  std::array<uint8_t, gc_iRAW_PROPERTY_VALUE_SIZE> value{};  // for every type but EVENTCALLBACK
  uint32_t uiSingleProcedureHash = 0;                         // EVENTCALLBACK
  std::vector<SKuiCall> calls;                                // EVENTCALLBACK
};

struct SKuiWidget {
  std::string name;
  uint32_t uiInstanceID = 0;
  std::vector<SKuiProperty> properties;
  std::vector<int> children;  // indices into SKuiScreenSet::widgets
  std::vector<int> switched;
};

// Widgets in the order of their definitions (depth first); the root is widget 0.
struct SKuiScreenSet {
  std::vector<SKuiWidget> widgets;
};

// Parses a description. False with "file:line:column: error: ..." or "file: error: at <place>: ..." in pError.
bool KuiParseDescription(const std::string& text, const std::string& fileName, SKuiScreenSet* pSet,
                         std::string* pError);

// Lays a screen set out as a ".kui" image: header, widget table, instances, then each widget's arrays,
// property records and event records, every record on an 8-byte boundary.
std::vector<uint8_t> KuiWriteImage(const SKuiScreenSet& set);

// Reads a description file and compiles it; false with a message on an error.
bool KuiCompileFile(const std::string& inputPath, std::vector<uint8_t>* pImage, std::string* pError);

// Every name a description spells out (properties, procedures, ids, widgets), by name hash: what a dump
// of its compiled file can print instead of hashes. False when the file cannot be read or parsed.
bool KuiCollectNames(const std::string& inputPath, std::vector<std::pair<uint32_t, std::string>>* pNames,
                     std::string* pError);

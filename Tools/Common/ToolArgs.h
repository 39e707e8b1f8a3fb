// The command lines of the offline tools: options that take one value ("-o out"), switches ("--no-trim"), "--help"
// and at most one input. Header only.
#pragma once

#include <string>
#include <vector>

struct SToolOption {
  const char* pName;
  std::string* pValue;  // the option takes the next argument
  bool* pSwitch;        // or, when pValue is null, it is a switch set to true
};

enum class EToolArgs { Run, Help, Error };

// Parses args from uiFirst on; Error with the reason for an unknown option, a missing value or a second input.
inline EToolArgs ToolParseArguments(const std::vector<std::string>& args, size_t uiFirst,
                                    const std::vector<SToolOption>& options, std::string* pInput,
                                    std::string* pError) {
  for (size_t i = uiFirst; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") return EToolArgs::Help;
    const SToolOption* pOption = nullptr;
    for (const SToolOption& option : options) {
      if (arg == option.pName) pOption = &option;
    }
    if (pOption != nullptr && pOption->pValue != nullptr) {
      if (i + 1 >= args.size()) {
        *pError = arg + " needs a value";
        return EToolArgs::Error;
      }
      *pOption->pValue = args[++i];
    } else if (pOption != nullptr) {
      *pOption->pSwitch = true;
    } else if (!arg.empty() && arg[0] == '-') {
      *pError = "unknown option " + arg;
      return EToolArgs::Error;
    } else if (pInput->empty()) {
      *pInput = arg;
    } else {
      *pError = "one input at a time";
      return EToolArgs::Error;
    }
  }
  return EToolArgs::Run;
}

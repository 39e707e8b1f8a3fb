// The command lines of the offline tools: an optional sub-command first ("pack", "list"), options that take one
// value ("-o out"), switches ("--no-trim"), "--help" and the inputs. Every argument after "--" is an input, so an
// input may start with '-'. Header only.
#pragma once

#include <string>
#include <vector>

struct SToolOption {
  const char* pName;
  std::string* pValue;  // the option takes the next argument
  bool* pSwitch;        // or, when pValue is null, it is a switch set to true
};

enum class EToolArgs { Run, Help, Error };

// Parses args from uiFirst on into the options and at most uiMaxInputs inputs (appended to pInputs). Help as soon
// as "--help" or "-h" comes; Error with the reason for an unknown option, a missing value or one input too many.
inline EToolArgs ToolParseArguments(const std::vector<std::string>& args, size_t uiFirst,
                                    const std::vector<SToolOption>& options, std::vector<std::string>* pInputs,
                                    size_t uiMaxInputs, std::string* pError) {
  bool bInputsOnly = false;
  for (size_t i = uiFirst; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool bOptionLike = !bInputsOnly && !arg.empty() && arg[0] == '-';
    if (bOptionLike && (arg == "--help" || arg == "-h")) return EToolArgs::Help;
    if (bOptionLike && arg == "--") {
      bInputsOnly = true;
      continue;
    }
    const SToolOption* pOption = nullptr;
    for (const SToolOption& option : options) {
      if (bOptionLike && arg == option.pName) pOption = &option;
    }
    if (pOption != nullptr && pOption->pValue != nullptr) {
      if (i + 1 >= args.size()) {
        *pError = arg + " needs a value";
        return EToolArgs::Error;
      }
      *pOption->pValue = args[++i];
    } else if (pOption != nullptr) {
      *pOption->pSwitch = true;
    } else if (bOptionLike) {
      *pError = "unknown option " + arg;
      return EToolArgs::Error;
    } else if (pInputs->size() < uiMaxInputs) {
      pInputs->push_back(arg);
    } else {
      *pError = uiMaxInputs == 0   ? "unexpected argument [" + arg + "]"
                : uiMaxInputs == 1 ? std::string("one input at a time")
                                   : "at most " + std::to_string(uiMaxInputs) + " inputs";
      return EToolArgs::Error;
    }
  }
  return EToolArgs::Run;
}

// The same for tools that take at most one input; pInput stays as it was when none is given.
inline EToolArgs ToolParseArguments(const std::vector<std::string>& args, size_t uiFirst,
                                    const std::vector<SToolOption>& options, std::string* pInput,
                                    std::string* pError) {
  std::vector<std::string> inputs;
  const EToolArgs eResult = ToolParseArguments(args, uiFirst, options, &inputs, 1, pError);
  if (!inputs.empty()) *pInput = inputs[0];
  return eResult;
}

// The sub-command a command line starts with: Help for "--help" or "-h", Error when it is missing or not one of
// commands.
inline EToolArgs ToolParseCommand(const std::vector<std::string>& args, const std::vector<std::string>& commands,
                                  std::string* pCommand, std::string* pError) {
  if (args.empty()) {
    *pError = "no command";
    return EToolArgs::Error;
  }
  if (args[0] == "--help" || args[0] == "-h") return EToolArgs::Help;
  for (const std::string& command : commands) {
    if (args[0] == command) {
      *pCommand = command;
      return EToolArgs::Run;
    }
  }
  *pError = "unknown command [" + args[0] + "]";
  return EToolArgs::Error;
}

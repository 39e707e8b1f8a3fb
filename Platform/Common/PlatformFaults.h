// The fault switches of the stand-ins (GRINDLOW_<AREA>_FAULTS): one syntax, read by one parser.
//
// A switch holds a comma-separated list of entries; blanks around an entry are ignored, empty entries skipped.
// An entry is a fault's name, alone ("nofocus") or followed by numbers: "lose=3" or "open:5:2:1" (the first
// number after '=' or ':', the next ones after ':'). Numbers are whole and not negative, decimal or 0x hex, and
// fit 32 bits; a field left empty ("event::2") keeps the fault's default. Which names a switch knows and how many
// numbers each takes is the stand-in's table.
//
// Any thread may call these; the environment is read at each call of PlatformEnvironmentFaults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SPlatformFaultKind {
  const char* pName;
  int iMaxNumbers;       // numbers that may follow the name (0: a bare name)
  bool bNumberRequired;  // the first number must be given
};

struct SPlatformFault {
  const char* pName;                                  // the kind's name, from its table
  std::vector<std::optional<std::uint32_t>> numbers;  // as written; an empty field is nullopt
};

// Parses a list against the kinds. The entries understood go to pFaults in their order; each entry that is not
// understood adds one line to pErrors ("\"entry\": why") and is left out. True when every entry was understood.
bool PlatformParseFaults(const std::string& text, const std::vector<SPlatformFaultKind>& kinds,
                         std::vector<SPlatformFault>* pFaults, std::vector<std::string>* pErrors);

// The faults the environment variable names (none when it is unset). Entries not understood are left out and
// reported on standard error as "<variable>: \"entry\": why, ignored", each once a process however often the
// variable is read.
std::vector<SPlatformFault> PlatformEnvironmentFaults(const char* pVariable,
                                                      const std::vector<SPlatformFaultKind>& kinds);

// For switches of bare names where the i-th name stands for bit i: the bits of the list's entries in puiBits.
// False, with pError holding every entry not understood ("; " between them), when any is not; puiBits then holds
// the bits of the entries that were.
bool PlatformParseFaultBits(const std::string& text, const std::vector<const char*>& names, std::uint32_t* puiBits,
                            std::string* pError);

// The bits of the entries the environment variable names, reported as PlatformEnvironmentFaults does.
std::uint32_t PlatformEnvironmentFaultBits(const char* pVariable, const std::vector<const char*>& names);

// True when faults hold an entry named pName; its numbers go to pNumbers when it is given (the last entry wins).
bool PlatformFindFault(const std::vector<SPlatformFault>& faults, const char* pName,
                       std::vector<std::optional<std::uint32_t>>* pNumbers = nullptr);

// The program's command line: a small list of parsed parameters, each bound to a definition that says how
// many arguments it takes and of which kind.
//
// The engine defines "-debug <0..13>", "-release" and "-language <code>"; the game adds its own table with
// setDefinitions. Names are matched exactly (case matters), engine table first, then the game's in order;
// the first match wins. At most four parameters are kept.
//
// A bad command line is never fatal: parse stops with 0 at the first unknown name, missing or malformed
// argument (an integer that does not fit 32 bits included), fifth parameter or conflicting engine
// parameter, and what was parsed before stays usable. A parameter whose arguments ran out stays in the
// list with the arguments it got (m_iNumArgsRead) and zeros for the others. Main thread, at start-up.
#pragma once

#include <cstddef>

#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iCOMMAND_NAME_SIZE = 64;
inline constexpr i32 gc_iCOMMAND_MAX_ARGS = 4;
inline constexpr i32 gc_iCOMMAND_MAX_PARAMETERS = 4;
inline constexpr i32 gc_iCOMMAND_MAX_GAME_DEFINITIONS = 8;
// Command-line arguments are narrowed to at most this many 8-bit characters.
inline constexpr i32 gc_iCOMMAND_ARGUMENT_LEN = 255;

enum E_COMMAND_ARG : i32 {
  E_COMMAND_ARG_NONE = -1,
  E_COMMAND_ARG_INT = 0,
  E_COMMAND_ARG_FLOAT = 1,
  E_COMMAND_ARG_TEXT = 2,
};

// One definition, as laid out in the program's static tables.
struct SCommandParameterDefinition {
  char m_szName[gc_iCOMMAND_NAME_SIZE];
  u8 m_uiNumArgs;
  u8 m_aPad[3];
  E_COMMAND_ARG m_eArgType;
  u32 m_bRequired;
};
static_assert(sizeof(SCommandParameterDefinition) == 76);
static_assert(offsetof(SCommandParameterDefinition, m_uiNumArgs) == 64);
static_assert(offsetof(SCommandParameterDefinition, m_eArgType) == 68);
static_assert(offsetof(SCommandParameterDefinition, m_bRequired) == 72);

union UCommandArgValue {
  i32 m_iValue;
  f32 m_fValue;
  char m_szText[64];
};
static_assert(sizeof(UCommandArgValue) == 64);

struct SCommandParameter {
  const SCommandParameterDefinition* mp_pDefinition;
  UCommandArgValue m_values[gc_iCOMMAND_MAX_ARGS];
  i32 m_iPoolIndex;
  i32 m_iNumArgsRead;  // arguments actually read; the rest are zero
};

class ClCommandParameters {
 public:
  // Empties the list of parsed parameters and forgets the engine state (debug level and language -1).
  static void initialize();
  // Copies the game's table (at most 8 definitions).
  static void setDefinitions(const SCommandParameterDefinition* pTable, i32 iCount);
  // 0 when a game definition takes an engine definition's name, takes arguments while of kind none, or
  // takes more than four.
  static i32 validate();
  // Parses the arguments after the program's name (argv[0]). 1 when all were understood.
  static i32 parse(i32 iArgCount, const char* const* ppArgs);
  // The parsed parameter whose definition has exactly this name, or null.
  static const SCommandParameter* findParameter(const char* pName);
  static i32 getParameterCount();
  // Frees the game's definitions and the parsed parameters.
  static void shutdown();

  // -1 not given, 0 release, 1..14 debug.
  static i32 getDebugLevel();
  // -1 not given, else the index of the language code (0..23).
  static i32 getLanguage();

  // Narrows one UTF-8 argument to the engine's 8-bit text: each code point below 256 becomes its low byte,
  // any other (and every malformed byte) "_"; at most 255 characters. pOut holds 256 bytes.
  static void narrowArgument(const char* pArgument, char* pOut);

  // The parsed parameters (one of the engine's fixed globals).
  static ClPool<SCommandParameter, gc_iCOMMAND_MAX_PARAMETERS> mp_parameterPool;
};

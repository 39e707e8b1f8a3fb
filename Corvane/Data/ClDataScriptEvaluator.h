// Picks the action of a data-script reaction tree from named constants.
//
// Before each evaluation the caller clears the constant table and adds the current values (numbers, and
// texts already wrapped in apostrophes: a hit type c is added as 'c'); findAction then answers the first
// node named "Action", in depth-first order, that is reached through children whose conditions hold.
//
// Reaction tree: an array whose child 0 is its condition and whose other children are sub-reactions or the
// node "Action". The root's own condition is never tested, and a child that is neither "Action" nor an
// array is no reaction. A condition is a STRING expression or a condition node: an array alternating
// operand, connector, operand ... with connectors "and" / "or", applied left to right without precedence;
// every operand is evaluated (no short-circuit).
//
// Expression: left operand, operator, right operand. The operator is made of "=", ">", "<", "!" (==, !=,
// >=, <=, >, <) or is a word after a space ("in", "not_in" with a list "('a', 'b', 3)"); a space must
// follow the operator. An operand that starts with a digit is a number (on the right also with "-"), one
// that starts with an apostrophe is a text kept as written, anything else names a constant. Numbers
// compare in single precision; texts support == and != only. Each part holds at most 255 characters.
//
// A malformed expression, an unknown constant or a mismatch of kinds is a fatal error naming the
// expression; a false condition is not an error. Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClDScriptData2;

inline constexpr i32 gc_iEVALUATOR_TEXT_LEN = 768;
// Longest left operand, operator, right operand or list item.
inline constexpr i32 gc_iEVALUATOR_PART_LEN = 255;

enum E_EVAL_KIND : i32 { E_EVAL_KIND_NUMBER = 0, E_EVAL_KIND_TEXT = 1 };

struct SDataScriptConstant {
  char m_szName[gc_iEVALUATOR_TEXT_LEN];
  f32 m_fValue;
  char m_szText[gc_iEVALUATOR_TEXT_LEN];
  E_EVAL_KIND m_eKind;
};
static_assert(sizeof(SDataScriptConstant) == 1544);

// A constant's name that never changes and outlives every evaluation (a literal in an object of static storage).
// Callers that add the same names for every evaluation pass these: the table keeps each name from the last fill
// where the same name object lands on the same place, and writes only the value.
struct SDataScriptName {
  const char* m_pName;
};

// One value of a whole fill (setConstants): a fixed name with a text when m_pText is set, else with the number.
struct SDataScriptValue {
  const SDataScriptName* m_pName;
  const char* m_pText;
  f32 m_fValue;
};

class ClDataScriptEvaluator {
 public:
  // Creates the constant table (room for 8); terminate frees it.
  static void initialize();
  // Safe to call when the table was never made.
  static void terminate();
  static void clearConstants();
  static void addConstantFloat(const char* pName, f32 fValue);
  static void addConstantString(const char* pName, const char* pText);
  static void addConstantFloat(const SDataScriptName& name, f32 fValue);
  static void addConstantString(const SDataScriptName& name, const char* pText);
  static i32 getConstantCount();
  // The same as clearConstants followed by adding each value in order, in one call (an enemy fills 20 each frame).
  static void setConstants(const SDataScriptValue* pValues, i32 iCount);

  // The "Action" node that applies, or null.
  static ClDScriptData2* findAction(ClDScriptData2* pRoot);
  static i32 evaluateCondition(const ClDScriptData2* pNode);
  static i32 evaluateExpression(const char* pExpression);
};

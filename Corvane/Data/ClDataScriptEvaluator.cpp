#include "Corvane/Data/ClDataScriptEvaluator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/System/KvDebug.h"

namespace {

ClDynamicVector<SDataScriptConstant> s_constants;

// A record's kind and number, with what else the table knows of it, by place: the evaluations read these, kept
// together in a small array, rather than the kind and number fields far apart in each large record (the records
// hold the names and the texts). An enemy's fill writes 20 numbers and texts for every enemy every frame.
struct SRecordFacts {
  // The fixed name whose text the record's name holds, or null (a name copied from a caller's text, or never
  // written). The records past the count keep their names between fills, so a fill that adds the same fixed names
  // in the same order copies none of them.
  const SDataScriptName* m_pKey = nullptr;
  // The length of the record's text (0 for a number): texts of different lengths differ without a comparison.
  u32 m_uiTextLength = 0;
  E_EVAL_KIND m_eKind = E_EVAL_KIND_NUMBER;
  f32 m_fValue = KV_ZERO;
};
std::vector<SRecordFacts> s_facts;

SRecordFacts& factsAt(i32 iIndex) {
  if (static_cast<size_t>(iIndex) >= s_facts.size()) {
    s_facts.resize(static_cast<size_t>(iIndex) + 1);
  }
  return s_facts[static_cast<size_t>(iIndex)];
}

void setNameKey(i32 iIndex, const SDataScriptName* pKey) { factsAt(iIndex).m_pKey = pKey; }

const SDataScriptName* nameKeyAt(i32 iIndex) {
  return static_cast<size_t>(iIndex) < s_facts.size() ? s_facts[static_cast<size_t>(iIndex)].m_pKey : nullptr;
}

// The places below this hold the first record of their names (no earlier record has the same name): a place kept from
// an earlier lookup answers for its name only then, as the first match wins. Writing a name at a place lowers it to
// that place; the check goes on from there when a place above is asked about.
i32 s_iFirstNamesBelow = 0;

void nameWrittenAt(i32 iPlace) { s_iFirstNamesBelow = std::min(s_iFirstNamesBelow, iPlace); }

bool isFirstOfItsName(i32 iPlace) {
  while (s_iFirstNamesBelow <= iPlace) {
    const char* pName = s_constants[s_iFirstNamesBelow].m_szName;
    for (i32 i = 0; i < s_iFirstNamesBelow; ++i) {
      if (std::strcmp(s_constants[i].m_szName, pName) == 0) {
        return false;  // a repeated name: the places from here on are looked up from the start
      }
    }
    ++s_iFirstNamesBelow;
  }
  return true;
}

// The last record is the number.
void setLastNumber(f32 fValue) {
  SRecordFacts& facts = factsAt(s_constants.getCount() - 1);
  facts.m_eKind = E_EVAL_KIND_NUMBER;
  facts.m_fValue = fValue;
  facts.m_uiTextLength = 0;
}

// The last record is the text its record holds, of the copy's length (a text cut short ends at
// gc_iEVALUATOR_TEXT_LEN - 1).
void setLastText(size_t uiCopied) {
  const size_t uiMax = static_cast<size_t>(gc_iEVALUATOR_TEXT_LEN) - 1;
  SRecordFacts& facts = factsAt(s_constants.getCount() - 1);
  facts.m_eKind = E_EVAL_KIND_TEXT;
  facts.m_fValue = KV_ZERO;
  facts.m_uiTextLength = static_cast<u32>(uiCopied < uiMax ? uiCopied : uiMax);
}

// The record's text (empty for a number).
const char* textAt(i32 iIndex) {
  return s_facts[static_cast<size_t>(iIndex)].m_eKind == E_EVAL_KIND_TEXT ? s_constants[iIndex].m_szText : "";
}

struct SOperand {
  f32 m_fValue;
  char m_szText[gc_iEVALUATOR_TEXT_LEN];
  E_EVAL_KIND m_eKind;
};

// A part of an expression being split: at most gc_iEVALUATOR_PART_LEN characters.
struct SPart {
  // Only the terminator is set: an expression is split for every reaction of every enemy each frame.
  SPart() { m_sz[0] = 0; }

  char m_sz[gc_iEVALUATOR_PART_LEN + 1];
  i32 m_iLength = 0;
  bool m_bStarted = false;

  void append(char c, const char* pExpression) {
    if (m_iLength >= gc_iEVALUATOR_PART_LEN) {
      KV_FATALF("Invalid expression! [%s]", pExpression);
    }
    m_sz[m_iLength++] = c;
    m_sz[m_iLength] = 0;
    m_bStarted = true;
  }
};

// Copies a text of at most gc_iEVALUATOR_TEXT_LEN - 1 characters with its terminator and answers its length, or
// gc_iEVALUATOR_TEXT_LEN when it is longer (then the copy is cut there, terminated). A byte loop: the texts are names
// of a few characters, where a block copy's start-up costs more than the copy.
size_t copyShortText(char* pTo, const char* pFrom) {
  for (size_t i = 0; i < static_cast<size_t>(gc_iEVALUATOR_TEXT_LEN); ++i) {
    if ((pTo[i] = pFrom[i]) == 0) {
      return i;
    }
  }
  pTo[gc_iEVALUATOR_TEXT_LEN - 1] = 0;
  return gc_iEVALUATOR_TEXT_LEN;
}

// A new record named pName at the end of the table. Callers refill the table for every evaluation (an enemy adds
// its 20 constants each frame), so only the name and the fields in use are written: the text buffers past their
// terminators are never read.
SDataScriptConstant* appendConstant(const char* pName) {
  KV_ASSERT(pName);
  SDataScriptConstant* pConstant = s_constants.appendInPlace();
  setNameKey(s_constants.getCount() - 1, nullptr);
  nameWrittenAt(s_constants.getCount() - 1);
  if (copyShortText(pConstant->m_szName, pName) >= static_cast<size_t>(gc_iEVALUATOR_TEXT_LEN)) [[unlikely]] {
    s_constants.erase(s_constants.getCount() - 1);  // a refused name adds no record
    KV_ASSERTF(false, "DataScriptEvaluator: Constant names cannot be longer than %d for [%s]", gc_iEVALUATOR_TEXT_LEN,
               pName);
    pConstant = s_constants.appendInPlace();  // when the assertion lets the program go on: the name cut short
    setNameKey(s_constants.getCount() - 1, nullptr);
    copyShortText(pConstant->m_szName, pName);
  }
  return pConstant;
}

// A new record named by a fixed name: the name is copied only when another name was last written at this place.
// The records past the count keep their names: the table moves to a bigger block only when a record is added at
// its last place, which no earlier fill reached.
SDataScriptConstant* appendConstant(const SDataScriptName& name) {
  if (nameKeyAt(s_constants.getCount()) == &name) {
    return s_constants.appendInPlace();
  }
  SDataScriptConstant* pConstant = appendConstant(name.m_pName);
  if (std::strcmp(pConstant->m_szName, name.m_pName) == 0) {
    setNameKey(s_constants.getCount() - 1, &name);  // never for a name cut short
  }
  return pConstant;
}

bool isOperatorChar(char c) { return c == '=' || c == '>' || c == '<' || c == '!'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

const SDataScriptConstant* findConstant(const char* pName, i32* pIndex = nullptr) {
  for (i32 i = 0; i < s_constants.getCount(); ++i) {
    const SDataScriptConstant& constant = s_constants[i];
    // The first letters differ for most names: the call is made only for the few that share one.
    if (constant.m_szName[0] == pName[0] && std::strcmp(constant.m_szName, pName) == 0) {
      if (pIndex != nullptr) *pIndex = i;
      return &constant;
    }
  }
  return nullptr;
}

// A number when the text starts with a digit (or with "-" where bAllowMinus), a text when it starts with an
// apostrophe, otherwise the constant of that name.
void readOperand(const char* pText, bool bAllowMinus, const char* pExpression, SOperand* pOut) {
  if (isDigit(pText[0]) || (bAllowMinus && pText[0] == '-')) {
    pOut->m_fValue = static_cast<f32>(std::strtod(pText, nullptr));
    pOut->m_szText[0] = 0;
    pOut->m_eKind = E_EVAL_KIND_NUMBER;
    return;
  }
  if (pText[0] == '\'') {
    pOut->m_fValue = KV_ZERO;
    std::strcpy(pOut->m_szText, pText);  // parts are shorter than the operand's text
    pOut->m_eKind = E_EVAL_KIND_TEXT;
    return;
  }
  i32 iIndex = 0;
  if (findConstant(pText, &iIndex) == nullptr) {
    KV_FATALF("Wrong expression, variable [%s] doesn't exist! [%s]", pText, pExpression);
  }
  const SRecordFacts& facts = s_facts[static_cast<size_t>(iIndex)];
  pOut->m_fValue = facts.m_fValue;
  std::memcpy(pOut->m_szText, textAt(iIndex), facts.m_eKind == E_EVAL_KIND_TEXT ? facts.m_uiTextLength + 1 : 1);
  pOut->m_eKind = facts.m_eKind;
}

bool operandsEqual(const SOperand& a, const SOperand& b) {
  return a.m_eKind == E_EVAL_KIND_NUMBER ? a.m_fValue == b.m_fValue : std::strcmp(a.m_szText, b.m_szText) == 0;
}

// 1 when an item of the list "(a, b, ...)" equals the value. The list ends at ")"; an empty item or a list
// that ends without ")" is an error.
i32 membership(const char* pList, const SOperand& value, const char* pExpression) {
  const char* p = pList;
  while (*p != 0 && *p != '(' && *p != ',') {
    ++p;
  }
  if (*p == 0) {
    return 0;
  }
  ++p;
  for (;;) {
    while (*p == ' ') {
      ++p;
    }
    const char* pItem = p;
    while (*p != 0 && *p != ',' && *p != ')') {
      ++p;
    }
    const size_t uiLength = static_cast<size_t>(p - pItem);
    if (*p == 0 || uiLength == 0) {
      KV_FATALF("Wrong expression, [%s]", pExpression);
    }
    if (uiLength > static_cast<size_t>(gc_iEVALUATOR_PART_LEN)) {
      KV_FATALF("Invalid expression! [%s]", pExpression);
    }
    char szItem[gc_iEVALUATOR_PART_LEN + 1];
    std::memcpy(szItem, pItem, uiLength);
    szItem[uiLength] = 0;
    SOperand item;
    readOperand(szItem, false, pExpression, &item);
    if (item.m_eKind == value.m_eKind && operandsEqual(item, value)) {
      return 1;
    }
    if (*p == ')') {
      return 0;
    }
    ++p;
  }
}

i32 evaluateNodeExpression(const ClDScriptData2* pNode);

i32 evaluateOperand(const ClDScriptData2* pNode) {
  if (pNode->getType() == E_DSVT_STRING) {
    return evaluateNodeExpression(pNode);
  }
  return ClDataScriptEvaluator::evaluateCondition(pNode);
}

ClDScriptData2* search(ClDScriptData2* pNode, bool bSkipCondition) {
  // The name's hash first: most nodes of a tree are conditions and sub-reactions with other names or none.
  static const u32 s_uiActionHash = KvStrHash("Action");
  const char* pName = pNode->getName();
  if (pName != nullptr && pNode->getNameHash() == s_uiActionHash && std::strcmp(pName, "Action") == 0) {
    return pNode;
  }
  // A condition expression, or any other value, is no reaction.
  if (pNode->getType() != E_DSVT_ARRAY) {
    return nullptr;
  }
  i32 iStart = 0;
  if (!bSkipCondition) {
    if (pNode->getCount() == 0 || !evaluateOperand(pNode->getChildInRange(0))) {
      return nullptr;
    }
    iStart = 1;
  }
  const i32 iCount = pNode->getCount();
  for (i32 i = iStart; i < iCount; ++i) {
    if (ClDScriptData2* pFound = search(pNode->getChildInRange(i), false)) {
      return pFound;
    }
  }
  return nullptr;
}

// An expression split once: the same texts are evaluated for every enemy every frame, so each is split and its
// literals read the first time it is seen, and later evaluations only look up its constants and compare.
struct SCompiledOperand {
  E_EVAL_KIND m_eKind = E_EVAL_KIND_NUMBER;
  bool m_bConstant = false;  // a constant's name (m_text) rather than a literal
  f32 m_fValue = KV_ZERO;    // a number literal
  std::string m_text;        // a text literal (apostrophes kept) or the constant's name
  i32 m_iHint = 0;           // where the constant was found last time (callers add them in a fixed order)
  const SDataScriptName* m_pKey = nullptr;  // the fixed name found there, when it was one
};

enum E_COMPARE : i32 {
  E_COMPARE_EQ,
  E_COMPARE_NE,
  E_COMPARE_GE,
  E_COMPARE_LE,
  E_COMPARE_GT,
  E_COMPARE_LT,
  E_COMPARE_IN,
  E_COMPARE_NOT_IN,
  E_COMPARE_OTHER
};

struct SCompiledExpression {
  std::string m_expression;  // the text it was split from, to tell a reused address
  SCompiledOperand m_left;
  SCompiledOperand m_right;  // not read for "in" and "not_in"
  std::string m_op;
  std::string m_list;  // the right part of "in" and "not_in"
  E_COMPARE m_eCompare = E_COMPARE_OTHER;
};

// By the expression text's address, checked against the text itself: a direct-mapped table, an entry replaced
// when another text lands on its place (texts on the stack or built at run time come and go).
constexpr size_t gc_uiCOMPILED_SLOTS = 1024;
std::unique_ptr<SCompiledExpression> s_apCompiled[gc_uiCOMPILED_SLOTS];
const char* s_apCompiledKeys[gc_uiCOMPILED_SLOTS];

void clearCompiled() {
  for (size_t i = 0; i < gc_uiCOMPILED_SLOTS; ++i) {
    s_apCompiled[i].reset();
    s_apCompiledKeys[i] = nullptr;
  }
}

SCompiledOperand compileOperand(const char* pText, bool bAllowMinus) {
  SCompiledOperand operand;
  if (isDigit(pText[0]) || (bAllowMinus && pText[0] == '-')) {
    operand.m_fValue = static_cast<f32>(std::strtod(pText, nullptr));
  } else {
    operand.m_eKind = pText[0] == '\'' ? E_EVAL_KIND_TEXT : E_EVAL_KIND_NUMBER;
    operand.m_bConstant = pText[0] != '\'';
    operand.m_text = pText;
  }
  return operand;
}

// The operand's kind, number and text (null for a number) now: a constant is looked up at its last place first.
// An unknown constant is fatal, naming the expression.
void resolveOperand(SCompiledOperand& operand, const char* pExpression, E_EVAL_KIND* pKind, f32* pValue,
                    const char** ppText, u32* pTextLength) {
  if (!operand.m_bConstant) {
    *pKind = operand.m_eKind;
    *pValue = operand.m_fValue;
    const bool bText = operand.m_eKind == E_EVAL_KIND_TEXT;
    *ppText = bText ? operand.m_text.c_str() : "";
    *pTextLength = bText ? static_cast<u32>(operand.m_text.size()) : 0;
    return;
  }
  // Most often: the fixed name found at this place before is there again, and is its name's first record.
  const i32 iHint = operand.m_iHint;
  if (operand.m_pKey != nullptr && iHint < s_iFirstNamesBelow && iHint < s_constants.getCount() &&
      s_facts[static_cast<size_t>(iHint)].m_pKey == operand.m_pKey) {
    const SRecordFacts& facts = s_facts[static_cast<size_t>(iHint)];
    *pKind = facts.m_eKind;
    *pValue = facts.m_fValue;
    *ppText = facts.m_eKind == E_EVAL_KIND_TEXT ? s_constants[iHint].m_szText : "";
    *pTextLength = facts.m_uiTextLength;
    return;
  }
  const char* pName = operand.m_text.c_str();
  bool bFound = false;
  if (operand.m_iHint < s_constants.getCount()) {
    // The same fixed name at the hinted place is the name matched there before: no need to compare the texts.
    const SDataScriptName* pKey = nameKeyAt(operand.m_iHint);
    bFound = ((pKey != nullptr && pKey == operand.m_pKey) ||
              std::strcmp(s_constants[operand.m_iHint].m_szName, pName) == 0) &&
             isFirstOfItsName(operand.m_iHint);
  }
  if (!bFound && findConstant(pName, &operand.m_iHint) == nullptr) {
    KV_FATALF("Wrong expression, variable [%s] doesn't exist! [%s]", pName, pExpression);
  }
  const SRecordFacts& facts = s_facts[static_cast<size_t>(operand.m_iHint)];
  operand.m_pKey = facts.m_pKey;
  *pKind = facts.m_eKind;
  *pValue = facts.m_fValue;
  *ppText = textAt(operand.m_iHint);
  *pTextLength = facts.m_uiTextLength;
}

// Texts compared byte by byte, their lengths first.
bool sameText(const char* pA, u32 uiLengthA, const char* pB, u32 uiLengthB) {
  return uiLengthA == uiLengthB && std::memcmp(pA, pB, uiLengthA) == 0;
}

// Splits the expression into left operand, operator and right operand; malformed texts are fatal here.
std::unique_ptr<SCompiledExpression> compileExpression(const char* pExpression) {
  SPart left;
  SPart op;
  SPart right;
  bool bOperatorFinished = false;
  bool bAfterSpace = false;
  for (const char* p = pExpression; *p != 0; ++p) {
    const char c = *p;
    if (bOperatorFinished) {
      if (isOperatorChar(c)) {
        KV_FATALF("Invalid expression! [%s]", pExpression);
      }
      right.append(c, pExpression);
      continue;
    }
    if (c == ' ') {
      bOperatorFinished = op.m_bStarted;
      bAfterSpace = true;
      continue;
    }
    if (isOperatorChar(c) || bAfterSpace || op.m_bStarted) {
      op.append(c, pExpression);
    } else {
      left.append(c, pExpression);
    }
    bAfterSpace = false;
  }
  if (!right.m_bStarted) {
    KV_FATALF("Invalid expression! [%s]", pExpression);
  }
  auto pCompiled = std::make_unique<SCompiledExpression>();
  pCompiled->m_expression = pExpression;
  pCompiled->m_left = compileOperand(left.m_sz, false);
  pCompiled->m_op = op.m_sz;
  static const char* const s_apOps[] = {"==", "!=", ">=", "<=", ">", "<", "in", "not_in"};
  for (i32 i = 0; i < E_COMPARE_OTHER; ++i) {
    if (pCompiled->m_op == s_apOps[i]) {
      pCompiled->m_eCompare = static_cast<E_COMPARE>(i);
      break;
    }
  }
  if (pCompiled->m_eCompare == E_COMPARE_IN || pCompiled->m_eCompare == E_COMPARE_NOT_IN) {
    pCompiled->m_list = right.m_sz;
  } else {
    pCompiled->m_right = compileOperand(right.m_sz, true);
  }
  return pCompiled;
}

// The split form of the expression, made on first sight.
SCompiledExpression* compiledFor(const char* pExpression) {
  const size_t uiSlot = (reinterpret_cast<uintptr_t>(pExpression) >> 3) % gc_uiCOMPILED_SLOTS;
  if (s_apCompiledKeys[uiSlot] == pExpression &&
      std::strcmp(s_apCompiled[uiSlot]->m_expression.c_str(), pExpression) == 0) {
    return s_apCompiled[uiSlot].get();
  }
  s_apCompiled[uiSlot] = compileExpression(pExpression);
  s_apCompiledKeys[uiSlot] = pExpression;
  return s_apCompiled[uiSlot].get();
}

// The split forms of the reaction trees' expression nodes, kept by the node (its evaluator slot is the place here
// plus one). A place belongs to the node and text recorded with it; the places are given round, so a node whose place
// went to another node, or whose text changed, is split again.
struct SNodeForm {
  const ClDScriptData2* m_pNode = nullptr;
  const char* m_pText = nullptr;
  std::unique_ptr<SCompiledExpression> m_pForm;
};
constexpr u32 gc_uiNODE_FORMS = 4096;
SNodeForm s_aNodeForms[gc_uiNODE_FORMS];
u32 s_uiNextNodeForm = 0;

void clearNodeForms() {
  for (SNodeForm& form : s_aNodeForms) {
    form = SNodeForm();
  }
  s_uiNextNodeForm = 0;
}

SCompiledExpression* compiledForNode(const ClDScriptData2* pNode, const char* pExpression) {
  const u32 uiSlot = pNode->getEvaluatorSlot();
  if (uiSlot != 0) {
    const SNodeForm& form = s_aNodeForms[uiSlot - 1];
    if (form.m_pNode == pNode && form.m_pText == pExpression) {
      return form.m_pForm.get();
    }
  }
  std::unique_ptr<SCompiledExpression> pCompiled = compileExpression(pExpression);  // malformed: fatal here
  const u32 uiPlace = s_uiNextNodeForm;
  s_uiNextNodeForm = (s_uiNextNodeForm + 1) % gc_uiNODE_FORMS;
  SNodeForm& form = s_aNodeForms[uiPlace];
  form.m_pNode = pNode;
  form.m_pText = pExpression;
  form.m_pForm = std::move(pCompiled);
  pNode->setEvaluatorSlot(uiPlace + 1);
  return form.m_pForm.get();
}

i32 evaluateCompiled(SCompiledExpression* pCompiled, const char* pExpression) {
  E_EVAL_KIND eLeft = E_EVAL_KIND_NUMBER;
  f32 a = KV_ZERO;
  const char* pLeftText = "";
  u32 uiLeftLength = 0;
  resolveOperand(pCompiled->m_left, pExpression, &eLeft, &a, &pLeftText, &uiLeftLength);
  if (pCompiled->m_eCompare == E_COMPARE_IN || pCompiled->m_eCompare == E_COMPARE_NOT_IN) {
    SOperand leftValue;
    leftValue.m_fValue = a;
    std::memcpy(leftValue.m_szText, pLeftText, uiLeftLength + 1);
    leftValue.m_eKind = eLeft;
    const i32 iIn = membership(pCompiled->m_list.c_str(), leftValue, pExpression);
    return pCompiled->m_eCompare == E_COMPARE_IN ? iIn : (iIn ? 0 : 1);
  }
  E_EVAL_KIND eRight = E_EVAL_KIND_NUMBER;
  f32 b = KV_ZERO;
  const char* pRightText = "";
  u32 uiRightLength = 0;
  resolveOperand(pCompiled->m_right, pExpression, &eRight, &b, &pRightText, &uiRightLength);
  if (eLeft != eRight) {
    KV_FATALF("Wrong expression, operands type error! [%s]", pExpression);
  }
  const char* pOp = pCompiled->m_op.c_str();
  if (eLeft == E_EVAL_KIND_NUMBER) {
    switch (pCompiled->m_eCompare) {
      case E_COMPARE_EQ: return a == b ? 1 : 0;
      case E_COMPARE_NE: return a != b ? 1 : 0;
      case E_COMPARE_GE: return a >= b ? 1 : 0;
      case E_COMPARE_LE: return a <= b ? 1 : 0;
      case E_COMPARE_GT: return a > b ? 1 : 0;
      case E_COMPARE_LT: return a < b ? 1 : 0;
      default: break;
    }
    KV_FATALF("Wrong expression, operator [%s] is not supported for FLOATS. [%s]", pOp, pExpression);
  }
  const bool bSame = sameText(pLeftText, uiLeftLength, pRightText, uiRightLength);
  if (pCompiled->m_eCompare == E_COMPARE_EQ) return bSame ? 1 : 0;
  if (pCompiled->m_eCompare == E_COMPARE_NE) return bSame ? 0 : 1;
  KV_FATALF("Wrong expression, operator [%s] is not supported for STRINGS. [%s]", pOp, pExpression);
}

i32 evaluateNodeExpression(const ClDScriptData2* pNode) {
  const char* pExpression = pNode->getString();
  if (pExpression == nullptr) {
    return ClDataScriptEvaluator::evaluateExpression(pExpression);  // reports the missing text as before
  }
  return evaluateCompiled(compiledForNode(pNode, pExpression), pExpression);
}

}  // namespace

void ClDataScriptEvaluator::initialize() {
  s_iFirstNamesBelow = 0;
  clearCompiled();
  clearNodeForms();
  s_facts.clear();
  s_constants.initialize(8);
}

void ClDataScriptEvaluator::terminate() {
  s_iFirstNamesBelow = 0;
  clearCompiled();
  clearNodeForms();
  s_facts.clear();
  if (s_constants.isInitialized()) {
    s_constants.terminate();
  }
}

void ClDataScriptEvaluator::clearConstants() { s_constants.clear(); }

i32 ClDataScriptEvaluator::getConstantCount() { return s_constants.getCount(); }

void ClDataScriptEvaluator::addConstantFloat(const char* pName, f32 fValue) {
  appendConstant(pName);
  setLastNumber(fValue);
}

void ClDataScriptEvaluator::addConstantString(const char* pName, const char* pText) {
  KV_ASSERT(pText);
  SDataScriptConstant* pConstant = appendConstant(pName);
  if (copyShortText(pConstant->m_szText, pText) >= static_cast<size_t>(gc_iEVALUATOR_TEXT_LEN)) [[unlikely]] {
    s_constants.erase(s_constants.getCount() - 1);  // a refused value adds no record
    KV_ASSERTF(false, "DataScriptEvaluator: Constant string values cannot be longer than %d for [%s]",
               gc_iEVALUATOR_TEXT_LEN, pText);
    pConstant = appendConstant(pName);  // when the assertion lets the program go on: the value cut short
    setLastText(copyShortText(pConstant->m_szText, pText));
  } else {
    setLastText(std::strlen(pConstant->m_szText));
  }
}

void ClDataScriptEvaluator::addConstantFloat(const SDataScriptName& name, f32 fValue) {
  appendConstant(name);
  setLastNumber(fValue);
}

void ClDataScriptEvaluator::addConstantString(const SDataScriptName& name, const char* pText) {
  KV_ASSERT(pText);
  const i32 iIndex = s_constants.getCount();
  SDataScriptConstant* pConstant = appendConstant(name);
  const size_t uiLength = copyShortText(pConstant->m_szText, pText);
  if (uiLength >= static_cast<size_t>(gc_iEVALUATOR_TEXT_LEN)) [[unlikely]] {
    s_constants.erase(iIndex);  // the text path below reports it and writes the record again
    setNameKey(iIndex, nullptr);
    addConstantString(name.m_pName, pText);
    return;
  }
  setLastText(uiLength);
}

// Flattened: the record appends and text copies inline into the loop (20 values an enemy a frame).
void ClDataScriptEvaluator::setConstants(const SDataScriptValue* pValues, i32 iCount) {
  // The leading values whose fixed names the last fills left at the same places: only their values are written (the
  // records keep their names); from the first other name on, the values go through the adds one by one.
  const i32 iKnown = std::min(iCount, static_cast<i32>(s_facts.size()));
  i32 iKept = 0;
  while (iKept < iKnown && pValues[iKept].m_pName != nullptr &&
         s_facts[static_cast<size_t>(iKept)].m_pKey == pValues[iKept].m_pName) {
    ++iKept;
  }
  // When the table holds exactly these names already (the last fill was of the same ones), its records stay.
  const bool bHeld = iKept == iCount && s_constants.getCount() == iCount;
  if (!bHeld) {
    s_constants.clear();
  }
  i32 i = 0;
  for (; i < iKept; ++i) {
    const SDataScriptValue& value = pValues[i];
    SRecordFacts& facts = s_facts[static_cast<size_t>(i)];
    SDataScriptConstant* pRecord = bHeld ? &s_constants[i] : s_constants.appendInPlace();
    if (value.m_pText == nullptr) {
      facts.m_eKind = E_EVAL_KIND_NUMBER;
      facts.m_fValue = value.m_fValue;
      facts.m_uiTextLength = 0;
      continue;
    }
    const size_t uiLength = copyShortText(pRecord->m_szText, value.m_pText);
    if (uiLength >= static_cast<size_t>(gc_iEVALUATOR_TEXT_LEN)) [[unlikely]] {
      while (s_constants.getCount() > i) {  // this value and the rest go the long way, which reports it
        s_constants.erase(s_constants.getCount() - 1);
      }
      break;
    }
    facts.m_eKind = E_EVAL_KIND_TEXT;
    facts.m_fValue = KV_ZERO;
    facts.m_uiTextLength = static_cast<u32>(uiLength);
  }
  for (; i < iCount; ++i) {
    const SDataScriptValue& value = pValues[i];
    KV_ASSERT(value.m_pName);
    if (value.m_pText != nullptr) {
      addConstantString(*value.m_pName, value.m_pText);
    } else {
      addConstantFloat(*value.m_pName, value.m_fValue);
    }
  }
}

ClDScriptData2* ClDataScriptEvaluator::findAction(ClDScriptData2* pRoot) {
  KV_ASSERT(pRoot);
  return search(pRoot, true);
}

i32 ClDataScriptEvaluator::evaluateCondition(const ClDScriptData2* pNode) {
  i32 iValue = evaluateOperand(pNode->getChildByIndex(0));
  const i32 iCount = pNode->getCount();
  for (i32 i = 2; i < iCount; i += 2) {
    const ClDScriptData2* pConnector = pNode->getChildInRange(i - 1);
    const E_DSVT eType = pConnector->getType();
    const bool bText = (eType == E_DSVT_STRING || eType == E_DSVT_HASH_ID) && pConnector->getString() != nullptr;
    // Compared in place: a condition node's connectors are read for every enemy every frame.
    const char* pWord = bText ? pConnector->getString() : "";
    const bool bAnd = pWord[0] == 'a' && pWord[1] == 'n' && pWord[2] == 'd' && pWord[3] == 0;
    const bool bOr = pWord[0] == 'o' && pWord[1] == 'r' && pWord[2] == 0;
    if (!bAnd && !bOr) {
      KV_FATAL("Wrong expression!");
    }
    const i32 iOperand = evaluateOperand(pNode->getChildInRange(i));
    iValue = bAnd ? (iValue && iOperand) : (iValue || iOperand);
  }
  return iValue ? 1 : 0;
}

i32 ClDataScriptEvaluator::evaluateExpression(const char* pExpression) {
  KV_ASSERT(pExpression);
  return evaluateCompiled(compiledFor(pExpression), pExpression);
}

#include "Corvane/Data/ClDataScriptEvaluator.h"

#include <cstdlib>
#include <cstring>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/System/KvDebug.h"

namespace {

ClDynamicVector<SDataScriptConstant> s_constants;

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

// A new record named pName at the end of the table. Callers refill the table for every evaluation (an enemy adds
// its 20 constants each frame), so only the name and the fields in use are written: the text buffers past their
// terminators are never read.
SDataScriptConstant* appendConstant(const char* pName) {
  KV_ASSERT(pName);
  const size_t uiLength = std::strlen(pName);
  KV_ASSERTF(uiLength < static_cast<size_t>(gc_iEVALUATOR_TEXT_LEN),
             "DataScriptEvaluator: Constant names cannot be longer than %d for [%s]", gc_iEVALUATOR_TEXT_LEN, pName);
  SDataScriptConstant* pConstant = s_constants.appendInPlace();
  std::strcpy(pConstant->m_szName, pName);
  return pConstant;
}

bool isOperatorChar(char c) { return c == '=' || c == '>' || c == '<' || c == '!'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

const SDataScriptConstant* findConstant(const char* pName) {
  for (i32 i = 0; i < s_constants.getCount(); ++i) {
    const SDataScriptConstant& constant = s_constants[i];
    // The first letters differ for most names: the call is made only for the few that share one.
    if (constant.m_szName[0] == pName[0] && std::strcmp(constant.m_szName, pName) == 0) {
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
  const SDataScriptConstant* pConstant = findConstant(pText);
  if (pConstant == nullptr) {
    KV_FATALF("Wrong expression, variable [%s] doesn't exist! [%s]", pText, pExpression);
  }
  pOut->m_fValue = pConstant->m_fValue;
  std::strcpy(pOut->m_szText, pConstant->m_szText);
  pOut->m_eKind = pConstant->m_eKind;
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

i32 evaluateOperand(const ClDScriptData2* pNode) {
  if (pNode->getType() == E_DSVT_STRING) {
    return ClDataScriptEvaluator::evaluateExpression(pNode->getString());
  }
  return ClDataScriptEvaluator::evaluateCondition(pNode);
}

ClDScriptData2* search(ClDScriptData2* pNode, bool bSkipCondition) {
  const char* pName = pNode->getName();
  if (pName != nullptr && std::strcmp(pName, "Action") == 0) {
    return pNode;
  }
  // A condition expression, or any other value, is no reaction.
  if (pNode->getType() != E_DSVT_ARRAY) {
    return nullptr;
  }
  i32 iStart = 0;
  if (!bSkipCondition) {
    if (pNode->getCount() == 0 || !evaluateOperand(pNode->getChildByIndex(0))) {
      return nullptr;
    }
    iStart = 1;
  }
  for (i32 i = iStart; i < pNode->getCount(); ++i) {
    if (ClDScriptData2* pFound = search(pNode->getChildByIndex(i), false)) {
      return pFound;
    }
  }
  return nullptr;
}

}  // namespace

void ClDataScriptEvaluator::initialize() { s_constants.initialize(8); }

void ClDataScriptEvaluator::terminate() {
  if (s_constants.isInitialized()) {
    s_constants.terminate();
  }
}

void ClDataScriptEvaluator::clearConstants() { s_constants.clear(); }

i32 ClDataScriptEvaluator::getConstantCount() { return s_constants.getCount(); }

void ClDataScriptEvaluator::addConstantFloat(const char* pName, f32 fValue) {
  SDataScriptConstant* pConstant = appendConstant(pName);
  pConstant->m_fValue = fValue;
  pConstant->m_szText[0] = 0;
  pConstant->m_eKind = E_EVAL_KIND_NUMBER;
}

void ClDataScriptEvaluator::addConstantString(const char* pName, const char* pText) {
  KV_ASSERT(pText);
  const size_t uiTextLength = std::strlen(pText);
  KV_ASSERTF(uiTextLength < static_cast<size_t>(gc_iEVALUATOR_TEXT_LEN),
             "DataScriptEvaluator: Constant string values cannot be longer than %d for [%s]",
             gc_iEVALUATOR_TEXT_LEN, pText);
  SDataScriptConstant* pConstant = appendConstant(pName);
  pConstant->m_fValue = KV_ZERO;
  std::strcpy(pConstant->m_szText, pText);
  pConstant->m_eKind = E_EVAL_KIND_TEXT;
}

ClDScriptData2* ClDataScriptEvaluator::findAction(ClDScriptData2* pRoot) {
  KV_ASSERT(pRoot);
  return search(pRoot, true);
}

i32 ClDataScriptEvaluator::evaluateCondition(const ClDScriptData2* pNode) {
  i32 iValue = evaluateOperand(pNode->getChildByIndex(0));
  for (i32 i = 2; i < pNode->getCount(); i += 2) {
    const ClDScriptData2* pConnector = pNode->getChildByIndex(i - 1);
    const E_DSVT eType = pConnector->getType();
    const bool bText = eType == E_DSVT_STRING || eType == E_DSVT_HASH_ID;
    const bool bAnd = bText && std::strcmp(pConnector->getString(), "and") == 0;
    const bool bOr = bText && std::strcmp(pConnector->getString(), "or") == 0;
    if (!bAnd && !bOr) {
      KV_FATAL("Wrong expression!");
    }
    const i32 iOperand = evaluateOperand(pNode->getChildByIndex(i));
    iValue = bAnd ? (iValue && iOperand) : (iValue || iOperand);
  }
  return iValue ? 1 : 0;
}

i32 ClDataScriptEvaluator::evaluateExpression(const char* pExpression) {
  KV_ASSERT(pExpression);
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

  SOperand leftValue;
  readOperand(left.m_sz, false, pExpression, &leftValue);
  if (std::strcmp(op.m_sz, "in") == 0) {
    return membership(right.m_sz, leftValue, pExpression);
  }
  if (std::strcmp(op.m_sz, "not_in") == 0) {
    return membership(right.m_sz, leftValue, pExpression) ? 0 : 1;
  }
  SOperand rightValue;
  readOperand(right.m_sz, true, pExpression, &rightValue);
  if (leftValue.m_eKind != rightValue.m_eKind) {
    KV_FATALF("Wrong expression, operands type error! [%s]", pExpression);
  }
  const char* pOp = op.m_sz;
  if (leftValue.m_eKind == E_EVAL_KIND_NUMBER) {
    const f32 a = leftValue.m_fValue;
    const f32 b = rightValue.m_fValue;
    if (std::strcmp(pOp, "==") == 0) return a == b ? 1 : 0;
    if (std::strcmp(pOp, "!=") == 0) return a != b ? 1 : 0;
    if (std::strcmp(pOp, ">=") == 0) return a >= b ? 1 : 0;
    if (std::strcmp(pOp, "<=") == 0) return a <= b ? 1 : 0;
    if (std::strcmp(pOp, ">") == 0) return a > b ? 1 : 0;
    if (std::strcmp(pOp, "<") == 0) return a < b ? 1 : 0;
    KV_FATALF("Wrong expression, operator [%s] is not supported for FLOATS. [%s]", pOp, pExpression);
  }
  if (std::strcmp(pOp, "==") == 0) return std::strcmp(leftValue.m_szText, rightValue.m_szText) == 0 ? 1 : 0;
  if (std::strcmp(pOp, "!=") == 0) return std::strcmp(leftValue.m_szText, rightValue.m_szText) != 0 ? 1 : 0;
  KV_FATALF("Wrong expression, operator [%s] is not supported for STRINGS. [%s]", pOp, pExpression);
}

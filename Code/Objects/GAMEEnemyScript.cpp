#include "Code/Objects/GAMEEnemyScript.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "Code/Objects/ClEntityEnemy.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Data/ClDataScriptEvaluator.h"

namespace {

enum E_KEY_KIND { E_KEY_FLOAT, E_KEY_INT, E_KEY_TEXT, E_KEY_VECTOR3, E_KEY_NUMBER, E_KEY_ANY };

struct SKeyRule {
  const char* mp_pName;
  E_KEY_KIND m_eKind;
};

constexpr SKeyRule gc_aPropertyKeys[] = {
    {"XOffset", E_KEY_FLOAT},        {"OrderOffset", E_KEY_FLOAT},     {"Velocity", E_KEY_VECTOR3},
    {"UseTargetVelocity", E_KEY_INT}, {"TargetVelocity", E_KEY_VECTOR3}, {"InsultOffset", E_KEY_FLOAT},
    {"InsultRadius", E_KEY_FLOAT},    {"Acceleration", E_KEY_VECTOR3},  {"HitPoints", E_KEY_FLOAT},
    {"InitialSound", E_KEY_TEXT},     {"HitMask", E_KEY_TEXT},          {"EnemyHitType", E_KEY_TEXT},
    {"Shield", E_KEY_FLOAT},          {"Score", E_KEY_INT},             {"Animation", E_KEY_TEXT},
    {"AnimationPlayOnce", E_KEY_TEXT}, {"AnimationPlayPaused", E_KEY_TEXT}, {"CanHitPlayer", E_KEY_INT},
    {"Rotate", E_KEY_INT},            {"DisplayTrail", E_KEY_INT},      {"ReplacePlayer", E_KEY_INT},
    {"ToPlayerTarget", E_KEY_FLOAT},  {"Shadow", E_KEY_INT},
};

// Keys an action adds to the property keys (an action's "Rotate" may be a FLOAT: its row reads it as a number).
constexpr SKeyRule gc_aActionKeys[] = {
    {"State", E_KEY_TEXT},  {"Damage", E_KEY_FLOAT}, {"ShieldDamage", E_KEY_FLOAT}, {"Text", E_KEY_TEXT},
    {"Blood", E_KEY_INT},   {"Shake", E_KEY_INT},    {"Sound", E_KEY_TEXT},         {"Sound2", E_KEY_TEXT},
    {"Rotate", E_KEY_NUMBER}, {"SpawnPickup", E_KEY_INT},
};

constexpr const char* gc_apPublished[] = {
    "State",         "DistanceTravelledHorizontal", "DistanceTravelledVertical", "VelocityHorizontal",
    "VelocityVertical", "HitGround",                "Duration",                  "HitPoints",
    "Shield",        "StateDamageReceived",         "HitReceived",               "HitType",
    "HitCameFromPistolish", "HitDistance",          "FlipBookDone",              "BulletHit",
    "HittingPlayer", "Random",                      "PlayerDistance",            "RelDistanceFromPlayer",
};

bool isText(const ClDScriptData2* p) { return p->getType() == E_DSVT_STRING || p->getType() == E_DSVT_HASH_ID; }

bool isNamedArray(const ClDScriptData2* p) { return p->getType() == E_DSVT_ARRAY; }

const char* kindText(E_KEY_KIND eKind) {
  switch (eKind) {
    case E_KEY_FLOAT: return "a FLOAT";
    case E_KEY_INT: return "an INT";
    case E_KEY_TEXT: return "a STRING or HASH_ID";
    case E_KEY_VECTOR3: return "an array of three FLOATs";
    case E_KEY_NUMBER: return "a FLOAT or INT";
    case E_KEY_ANY: return "anything";
  }
  return "?";
}

bool fits(const ClDScriptData2* p, E_KEY_KIND eKind) {
  switch (eKind) {
    case E_KEY_FLOAT: return p->getType() == E_DSVT_FLOAT;
    case E_KEY_INT: return p->getType() == E_DSVT_INT;
    case E_KEY_TEXT: return isText(p) && p->getString() != nullptr;
    case E_KEY_NUMBER: return p->getType() == E_DSVT_FLOAT || p->getType() == E_DSVT_INT;
    case E_KEY_ANY: return true;
    case E_KEY_VECTOR3:
      if (p->getType() != E_DSVT_ARRAY || p->getCount() != 3) return false;
      for (i32 i = 0; i < 3; ++i) {
        if (p->getChildAt(i)->getType() != E_DSVT_FLOAT) return false;
      }
      return true;
  }
  return false;
}

struct SChecker {
  std::string m_error;
  const ClDScriptData2* mp_pType = nullptr;
  std::string m_typeName;

  bool fail(const std::string& entry, const std::string& what) {
    m_error = "EntityEnemy [" + m_typeName + (entry.empty() ? "" : "/" + entry) + "]: " + what;
    return false;
  }

  const ClDScriptData2* section(const char* pName) const {
    const ClDScriptData2* p = mp_pType->findChild(pName);
    return (p != nullptr && p->getType() == E_DSVT_ARRAY) ? p : nullptr;
  }

  bool checkAnimationName(const std::string& entry, const char* pKey, const char* pName) {
    const ClDScriptData2* pAnims = section("Animations");
    if (pAnims->findChild(pName) == nullptr) {
      return fail(entry, std::string(pKey) + " names the animation \"" + pName + "\", which \"Animations\" lacks");
    }
    return true;
  }

  bool checkKeys(const ClDScriptData2* pNode, const std::string& entry, bool bAction) {
    for (i32 i = 0; i < pNode->getCount(); ++i) {
      const ClDScriptData2* pChild = pNode->getChildAt(i);
      if (!pChild->hasName()) continue;
      const SKeyRule* pRule = nullptr;
      if (bAction) {
        for (const SKeyRule& rule : gc_aActionKeys) {
          if (pChild->getNameHash() == KvStrHash(rule.mp_pName)) pRule = &rule;
        }
      }
      if (pRule == nullptr) {
        for (const SKeyRule& rule : gc_aPropertyKeys) {
          if (pChild->getNameHash() == KvStrHash(rule.mp_pName)) pRule = &rule;
        }
      }
      if (pRule == nullptr) continue;  // other keys (action flags like "Remove") are read by presence only
      if (!fits(pChild, pRule->m_eKind)) {
        return fail(entry, std::string(pChild->getName()) + " must be " + kindText(pRule->m_eKind));
      }
      const char* pName = pChild->getName();
      if (std::strcmp(pRule->mp_pName, "Animation") == 0 || std::strcmp(pRule->mp_pName, "AnimationPlayOnce") == 0 ||
          std::strcmp(pRule->mp_pName, "AnimationPlayPaused") == 0) {
        if (!checkAnimationName(entry, pName, pChild->getString())) return false;
      }
      if (bAction && std::strcmp(pRule->mp_pName, "State") == 0 &&
          section("States")->findChild(pChild->getString()) == nullptr) {
        return fail(entry, std::string("State names \"") + pChild->getString() + "\", which \"States\" lacks");
      }
    }
    return true;
  }

  // The kind of an operand as the evaluator reads it: a number, a quoted text or a published constant (State and
  // HitType are texts). False when it names nothing the enemy publishes.
  static bool operandKind(const std::string& text, bool bAllowMinus, bool* pText) {
    if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || (bAllowMinus && text[0] == '-'))) {
      *pText = false;
      return true;
    }
    if (!text.empty() && text[0] == '\'') {
      *pText = true;
      return true;
    }
    for (const char* pName : gc_apPublished) {
      if (text == pName) {
        *pText = text == "State" || text == "HitType";
        return true;
      }
    }
    return false;
  }

  // Splits and types the expression exactly as the evaluator does, so that whatever passes evaluates.
  bool checkCondition(const char* pText, const std::string& entry) {
    const std::string where = "the condition \"" + std::string(pText) + "\" ";
    const auto isOp = [](char c) { return c == '=' || c == '>' || c == '<' || c == '!'; };
    std::string left, op, right;
    bool bOpStarted = false, bOpDone = false, bRightStarted = false, bAfterSpace = false;
    for (const char* p = pText; *p != 0; ++p) {
      const char c = *p;
      if (bOpDone) {
        if (isOp(c)) return fail(entry, where + "has an operator character after its operator");
        right += c;
        bRightStarted = true;
      } else if (c == ' ') {
        bOpDone = bOpStarted;
        bAfterSpace = true;
        continue;
      } else if (isOp(c) || bAfterSpace || bOpStarted) {
        op += c;
        bOpStarted = true;
      } else {
        left += c;
      }
      bAfterSpace = false;
    }
    const size_t uiLimit = gc_iEVALUATOR_PART_LEN;
    if (left.size() > uiLimit || op.size() > uiLimit || right.size() > uiLimit) return fail(entry, where + "is too long");
    if (!bRightStarted) return fail(entry, where + "needs a left operand, an operator, a space and a right operand");
    bool bLeftText = false;
    if (!operandKind(left, false, &bLeftText)) return fail(entry, where + "reads \"" + left + "\", which an enemy does not publish");
    if (op == "in" || op == "not_in") {
      const size_t uiOpen = right.find_first_of("(,");
      if (uiOpen == std::string::npos) return true;
      size_t i = uiOpen + 1;
      for (;;) {
        while (i < right.size() && right[i] == ' ') ++i;
        const size_t uiEnd = right.find_first_of(",)", i);
        if (uiEnd == std::string::npos || uiEnd == i) return fail(entry, where + "has an empty or unclosed list");
        bool bItemText = false;
        if (!operandKind(right.substr(i, uiEnd - i), false, &bItemText)) {
          return fail(entry, where + "lists \"" + right.substr(i, uiEnd - i) + "\", which an enemy does not publish");
        }
        if (right[uiEnd] == ')') return true;
        i = uiEnd + 1;
      }
    }
    bool bRightText = false;
    if (!operandKind(right, true, &bRightText)) return fail(entry, where + "reads \"" + right + "\", which an enemy does not publish");
    if (bLeftText != bRightText) return fail(entry, where + "compares a number with a text");
    const bool bNumberOp = op == "==" || op == "!=" || op == ">=" || op == "<=" || op == ">" || op == "<";
    if (bLeftText ? (op != "==" && op != "!=") : !bNumberOp) return fail(entry, where + "has the operator \"" + op + "\", which does not apply");
    return true;
  }

  bool checkConditionNode(const ClDScriptData2* pNode, const std::string& entry) {
    if (pNode->getType() == E_DSVT_STRING) return checkCondition(pNode->getString() ? pNode->getString() : "", entry);
    if (pNode->getType() != E_DSVT_ARRAY || pNode->getCount() == 0) {
      return fail(entry, "a condition must be a STRING or an array of them");
    }
    for (i32 i = 0; i < pNode->getCount(); ++i) {
      const ClDScriptData2* pPart = pNode->getChildAt(i);
      if (i % 2 == 1) {
        const char* pConnector = isText(pPart) ? pPart->getString() : nullptr;
        if (pConnector == nullptr || (std::strcmp(pConnector, "and") != 0 && std::strcmp(pConnector, "or") != 0)) {
          return fail(entry, "a condition array must alternate operands with \"and\" or \"or\"");
        }
      } else if (!checkConditionNode(pPart, entry)) {
        return false;
      }
    }
    if (pNode->getCount() % 2 == 0) return fail(entry, "a condition array must end with an operand");
    return true;
  }

  bool checkReaction(const ClDScriptData2* pNode, const std::string& entry, bool bRoot) {
    if (!bRoot && pNode->getCount() == 0) return fail(entry, "a reaction needs its condition first");
    if (!bRoot && !checkConditionNode(pNode->getChildAt(0), entry)) return false;
    const ClDScriptData2* pActions = section("Actions");
    // The root's condition is never tested: its children from the first on are searched.
    for (i32 i = bRoot ? 0 : 1; i < pNode->getCount(); ++i) {
      const ClDScriptData2* pChild = pNode->getChildAt(i);
      if (pChild->hasName() && std::strcmp(pChild->getName(), "Action") == 0) {
        if (!isText(pChild) || pChild->getString() == nullptr) return fail(entry, "Action must be a STRING or HASH_ID");
        if (pActions->findChild(pChild->getString()) == nullptr) {
          return fail(entry, std::string("Action names \"") + pChild->getString() + "\", which \"Actions\" lacks");
        }
      } else if (pChild->getType() == E_DSVT_ARRAY) {
        const std::string part = pChild->hasName() ? pChild->getName() : std::to_string(i);
        if (!checkReaction(pChild, entry + "/" + part, false)) return false;
      }
    }
    return true;
  }

  bool checkType(const ClDScriptData2* pType) {
    mp_pType = pType;
    m_typeName = pType->getDisplayName();
    if (!pType->hasName()) return fail("", "every child of the script must be a named enemy type");
    if (!isNamedArray(pType)) return fail("", "an enemy type must be an array");
    for (const char* pSection : {"Animations", "States", "Reactions", "Actions"}) {
      if (section(pSection) == nullptr) return fail(pSection, "missing, or not an array");
    }
    const ClDScriptData2* pAnims = section("Animations");
    if (pAnims->findChild("Running") == nullptr) return fail("Animations", "\"Running\" is missing (set-up plays it)");
    for (i32 i = 0; i < pAnims->getCount(); ++i) {
      const ClDScriptData2* pAnim = pAnims->getChildAt(i);
      const std::string entry = std::string("Animations/") + pAnim->getDisplayName();
      const char* pBook = nullptr;
      if (pAnim->getType() == E_DSVT_ARRAY) {
        if (pAnim->getCount() == 0 || !isText(pAnim->getChildAt(0)) || pAnim->getChildAt(0)->getString() == nullptr) {
          return fail(entry, "an array animation must start with the flip book's name");
        }
        pBook = pAnim->getChildAt(0)->getString();
        const ClDScriptData2* pMirror = pAnim->findChild("Mirror");
        if (pMirror != nullptr && pMirror->getType() != E_DSVT_INT) return fail(entry, "Mirror must be an INT");
      } else if (isText(pAnim) && pAnim->getString() != nullptr) {
        pBook = pAnim->getString();
      } else {
        return fail(entry, "must be a flip book's name or an array starting with one");
      }
      if (ClFlipBookMgr::isInitialized() && ClFlipBookMgr::findByHash(KvStrHash(pBook)) == nullptr) {
        return fail(entry, std::string("the flip book \"") + pBook + "\" is not loaded");
      }
    }
    if (!checkKeys(pType, "", false)) return false;
    const ClDScriptData2* pFirst = pType->findChild("State");
    if (pFirst != nullptr && (!isText(pFirst) || pFirst->getString() == nullptr)) {
      return fail("State", "must be a STRING or HASH_ID");
    }
    const char* pFirstName = pFirst != nullptr ? pFirst->getString() : "default";
    if (section("States")->findChild(pFirstName) == nullptr) {
      return fail("States", std::string("the first state \"") + pFirstName + "\" is missing");
    }
    const ClDScriptData2* pStates = section("States");
    for (i32 i = 0; i < pStates->getCount(); ++i) {
      const ClDScriptData2* pState = pStates->getChildAt(i);
      const std::string entry = std::string("States/") + pState->getDisplayName();
      if (pState->getType() != E_DSVT_ARRAY) return fail(entry, "a state must be an array");
      if (!checkKeys(pState, entry, false)) return false;
    }
    const ClDScriptData2* pActions = section("Actions");
    for (i32 i = 0; i < pActions->getCount(); ++i) {
      const ClDScriptData2* pAction = pActions->getChildAt(i);
      const std::string entry = std::string("Actions/") + pAction->getDisplayName();
      if (pAction->getType() != E_DSVT_ARRAY) return fail(entry, "an action must be an array");
      if (!checkKeys(pAction, entry, true)) return false;
    }
    return checkReaction(section("Reactions"), "Reactions", true);
  }
};

}  // namespace

bool KvScriptNamesMatchHashes(const ClDScriptData2* pNode, std::string* pBadName) {
  if (pNode->hasName() && pNode->getName() != nullptr && KvStrHash(pNode->getName()) != pNode->getNameHash()) {
    *pBadName = pNode->getName();
    return false;
  }
  for (i32 i = 0; pNode->getType() == E_DSVT_ARRAY && i < pNode->getCount(); ++i) {
    if (!KvScriptNamesMatchHashes(pNode->getChildAt(i), pBadName)) return false;
  }
  return true;
}

namespace EnemyScript {

bool check(const ClDScriptData2* pRoot, std::string* pError) {
  SChecker checker;
  bool bOK = true;
  if (pRoot == nullptr || pRoot->getType() != E_DSVT_ARRAY || pRoot->getCount() == 0) {
    checker.m_error = "EntityEnemy: the script holds no enemy types";
    bOK = false;
  }
  std::string badName;
  if (bOK && !KvScriptNamesMatchHashes(pRoot, &badName)) {
    checker.m_error = "EntityEnemy: the name \"" + badName + "\" does not match its stored hash (a damaged file)";
    bOK = false;
  }
  for (i32 i = 0; bOK && i < pRoot->getCount(); ++i) {
    bOK = checker.checkType(pRoot->getChildAt(i));
  }
  if (!bOK && pError != nullptr) {
    *pError = checker.m_error;
  }
  return bOK;
}

bool load() {
  g_pEntityEnemyScript = nullptr;
  ClDScriptData2* pRoot = ClDScriptMgr2::getScript("EntityEnemy", nullptr);
  if (pRoot == nullptr) {
    KvPrintProblem("EntityEnemy: the script could not be read; no enemies (%s)", KvGetLastProblem());
    return false;
  }
  std::string error;
  if (!check(pRoot, &error)) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvPrintProblem("%s (%s)", error.c_str(),
                   ClDScriptMgr2::describeLocation("EntityEnemy", nullptr, szWhere, sizeof(szWhere)));
    return false;
  }
  g_pEntityEnemyScript = pRoot;
  return true;
}

}  // namespace EnemyScript

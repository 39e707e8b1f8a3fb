// Fuzzes the expression evaluator. Malformed expressions are fatal errors by design; the stop hook turns
// them into an exception so the run goes on. Memory faults and sanitizer reports are the findings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDataScriptEvaluator.h"
#include "Corvane/System/KvDebug.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

void addConstants() {
  ClDataScriptEvaluator::clearConstants();
  ClDataScriptEvaluator::addConstantString("State", "'a'");
  ClDataScriptEvaluator::addConstantString("HitType", "'b'");
  ClDataScriptEvaluator::addConstantFloat("HitPoints", 0.0f);
  ClDataScriptEvaluator::addConstantFloat("Random", 0.5f);
  ClDataScriptEvaluator::addConstantFloat("x", -1.0f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  static const bool bReady = (ClDataScriptEvaluator::initialize(), true);
  (void)bReady;
  addConstants();

  // Lines are expressions (or connectors); the whole input is also one expression.
  const std::string text(reinterpret_cast<const char*>(pData), uiSize);
  std::vector<std::string> parts;
  size_t uiStart = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      parts.push_back(text.substr(uiStart, i - uiStart).c_str());  // cut at an embedded zero
      uiStart = i + 1;
    }
  }
  try {
    ClDataScriptEvaluator::evaluateExpression(std::string(text.c_str()).c_str());
  } catch (const KvStopped&) {
  }

  // The lines as a condition node, and as the guard of a reaction under a root with that condition.
  ClDScriptData2* pRoot = ClDScriptData2::create();
  pRoot->setArray();
  ClDScriptData2* pCondition = pRoot->addUnnamedChild();
  pCondition->setArray();
  for (const std::string& part : parts) {
    pCondition->addUnnamedChild()->setString(part.c_str());
  }
  ClDScriptData2* pReaction = pRoot->addUnnamedChild();
  pReaction->setArray();
  pReaction->addUnnamedChild()->setString(parts[0].c_str());
  pReaction->addChild("Action")->setHashId("Go", 1);
  try {
    ClDataScriptEvaluator::evaluateCondition(pCondition);
  } catch (const KvStopped&) {
  }
  try {
    ClDataScriptEvaluator::findAction(pRoot);
  } catch (const KvStopped&) {
  }
  ClDScriptData2::destroyTree(pRoot);
  return 0;
}

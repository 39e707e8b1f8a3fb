// Fuzzes the ".kds" loader with arbitrary file images: every image is either refused with a message or
// gives a tree that can be walked and destroyed. Any stop of the program is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Corvane/Data/ClDScriptMgr2.h"
#include "Fuzz/FuzzQuiet.h"

namespace {

// Reads every value the way game code does, by type, and looks children up by name.
uint64_t walk(const ClDScriptData2* pNode) {
  uint64_t uiSum = pNode->getNameHash();
  switch (pNode->getType()) {
    case E_DSVT_ARRAY:
      for (int32_t i = 0; i < pNode->getCount(); ++i) {
        const ClDScriptData2* pChild = pNode->getChildByIndex(i);
        uiSum += walk(pChild);
        if (pChild->hasName()) {
          uiSum += pNode->findChild(pChild->getName()) != nullptr;
        }
      }
      uiSum += pNode->getChildWithIdentifier("noLoop") != nullptr;
      if (pNode->findChild("Min") != nullptr && pNode->findChild("Max") != nullptr &&
          (pNode->getChild("Min")->getType() == E_DSVT_INT || pNode->getChild("Min")->getType() == E_DSVT_FLOAT) &&
          (pNode->getChild("Max")->getType() == E_DSVT_INT || pNode->getChild("Max")->getType() == E_DSVT_FLOAT)) {
        uiSum += static_cast<uint64_t>(pNode->getFloat() != 0.0f);
      }
      break;
    case E_DSVT_FLOAT:
      uiSum += static_cast<uint64_t>(pNode->getFloatExact() > 0.0f);
      break;
    case E_DSVT_INT:
      uiSum += static_cast<uint32_t>(pNode->getInt());
      break;
    default:
      uiSum += std::strlen(pNode->getString());
      break;
  }
  return uiSum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(pData, uiSize, "fuzz.kds", szError, sizeof(szError));
  if (pRoot != nullptr) {
    volatile uint64_t uiSink = walk(pRoot);
    (void)uiSink;
    ClDScriptData2::destroyTree(pRoot);
  } else if (szError[0] == 0) {
    __builtin_trap();  // a refusal always says why
  }
  return 0;
}

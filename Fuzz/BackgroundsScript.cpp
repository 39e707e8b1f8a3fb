// Fuzzes the loading of "Backgrounds": any ".kds" image is refused (by the file loader, or pattern by pattern by
// the backgrounds with a message) or its patterns load and scroll over a moving camera, drawing every frame. Any
// stop of the program is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Code/Objects/Backgrounds.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Support/WorldTestSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(pData, uiSize, "Backgrounds.kds", szError, sizeof(szError));
  if (pRoot == nullptr) {
    return 0;
  }
  {
    ClWorldHarness world;
    // The images and flip books the seeds name, plus a few the fuzzer may find.
    for (const char* pName : {"BG-Skyline_216", "BG-Tower_216", "BG-Shop_216", "BG-Sign_216", "BG-Street_216",
                              "FG-Post_216", "A_216", "B_216"}) {
      world.image(pName, 40.0f, 30.0f);
    }
    world.image("Z_216", 0.0f, 10.0f);  // an image 0 wide
    world.flipBook("SignFlicker", 2, 4.0f);
    world.flipBook("TowerSmoke", 3, 6.0f);
    world.flipBook("TowerLight", 3, 3.0f);
    world.finishAtlas();
    if (pRoot->getType() == E_DSVT_ARRAY) {
      Backgrounds::initializeWithScript(pRoot);
      for (i32 p = 0; p < pRoot->getCount() && p < 8; ++p) {
        const ClDScriptData2* pPattern = pRoot->getChildAt(p);
        if (!pPattern->hasName() || !Backgrounds::loadPattern(pPattern->getName())) {
          continue;
        }
        for (i32 iFrame = 0; iFrame < 20; ++iFrame) {
          g_fWorldCameraX = static_cast<f32>((iFrame * 977) % 3000) - 500.0f;
          ClClock::m_aClockFrames[1].m_fFrameTime = 0.05f;
          world.m_sink.m_quads.clear();
          Backgrounds::tick();
        }
      }
      Backgrounds::release();
    }
    Backgrounds::releaseImageAnimations();
  }
  ClDScriptData2::destroyTree(pRoot);
  return 0;
}

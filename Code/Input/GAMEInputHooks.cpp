#include "Code/Input/GAMEInputHooks.h"

#include "Code/Input/GAMEInputMappers.h"
#include "Code/Input/GAMEPadTester.h"
#include "Corvane/Development/ClDevINI.h"

ClGAMEInputHooks g_GAMEInputHooks;

void ClGAMEInputHooks::createGameInputMappers() { ::createGameInputMappers(); }

void ClGAMEInputHooks::initPadMonkey() {
  m_bPadMonkeyOn = ClDevINI::getInt("PAD_MONKEY") > 0;
  if (m_bPadMonkeyOn) {
    g_GAMEPadTester.init();
  }
}

void ClGAMEInputHooks::tickPadMonkey() {
  if (m_bPadMonkeyOn) {
    g_GAMEPadTester.tick();
  }
}

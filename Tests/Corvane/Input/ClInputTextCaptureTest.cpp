#include <string>
#include <vector>

#include "Corvane/Input/ClInputHWtoKvPlatform.h"
#include "Corvane/System/ClClock.h"
#include "Platform/DInput/DInput8.h"
#include "Tests/Corvane/Input/InputTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::vector<u16> g_callbacks;
void recordCallback(u16 uiChar) { g_callbacks.push_back(uiChar); }

STextInputCapture& record() { return ClInputHWtoKv::mp_textInputCapture; }

std::u16string text() {
  std::u16string result;
  for (i32 i = 0; i < record().mp_daTextInputCapture.getCount(); ++i) {
    result += static_cast<char16_t>(record().mp_daTextInputCapture[i].mp_uiChar);
  }
  return result;
}

void press(u32 uiKey) { ClInputHWtoKv::handleTextInputKey(true, uiKey, true); }
void release(u32 uiKey) { ClInputHWtoKv::handleTextInputKey(false, uiKey, true); }
// Each key pressed and released, in turn.
template <class... TKeys>
void type(TKeys... keys) {
  ((press(static_cast<u32>(keys)), release(static_cast<u32>(keys))), ...);
}

class TextCapture : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    g_callbacks.clear();
  }
  static void start(const char16_t* pAccepted, const char16_t* pEnd = nullptr, const char16_t* pCallback = nullptr) {
    ClInputHWtoKv::startTextInputCapture(pAccepted, pEnd, pCallback, 0.5f, 0.1f);
  }
};

TEST_F(TextCapture, StartResetsTheRecordAndStopReleasesIt) {
  // The layer's initialise prepared an empty, inactive capture.
  EXPECT_EQ(ClInputHWtoKv::mp_bTextInputCaptureListsCreated, 1u);
  EXPECT_EQ(ClInputHWtoKv::mp_bTextInputCaptureActive, 0u);
  EXPECT_EQ(record().mp_daAcceptedChars.getCount(), 0);
  EXPECT_FLOAT_EQ(record().mp_fInitialKeyRepeatDelay, 0.5f);

  start(u"ab", u"\n", u"b");
  type(DIK_A, DIK_INSERT);
  ASSERT_EQ(text(), u"a");
  start(u"xyz");  // a second start releases the first lists and resets the record
  EXPECT_EQ(text(), u"");
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 0);
  EXPECT_EQ(record().mp_daAcceptedChars.getCount(), 3);
  EXPECT_EQ(record().mp_daEndChars.getCount(), 0);
  EXPECT_EQ(record().mp_bOverwriteMode, 0u);
  ClInputHWtoKv::stopTextInputCapture();
  EXPECT_EQ(ClInputHWtoKv::mp_bTextInputCaptureListsCreated, 0u);
  EXPECT_FALSE(record().mp_daTextInputCapture.isInitialized());

  EXPECT_KV_ASSERT(ClInputHWtoKv::startTextInputCapture(nullptr, nullptr, nullptr, -0.1f, 0.1f),
                   "fInitialKeyRepeatDelay >= KV_ZERO");
  EXPECT_KV_ASSERT(ClInputHWtoKv::startTextInputCapture(nullptr, nullptr, nullptr, 0.1f, -0.1f),
                   "fNextKeyRepeatDelay >= KV_ZERO");
  ClInputHWtoKv* pLayer = g_pInputHWToKv;
  g_pInputHWToKv = nullptr;
  EXPECT_KV_ASSERT(ClInputHWtoKv::stopTextInputCapture(), "g_pInputHWToKv");
  g_pInputHWToKv = pLayer;
  start(nullptr);
}

TEST_F(TextCapture, CursorKeysEditEvenWhenNothingIsAccepted) {
  start(u"abcd");
  type(DIK_A, DIK_B, DIK_C, DIK_D);
  ASSERT_EQ(text(), u"abcd");
  record().mp_daAcceptedChars.clear();
  type(DIK_A);
  EXPECT_EQ(text(), u"abcd");
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 4);

  type(DIK_HOME);
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 0);
  type(DIK_LEFT);
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 0);
  type(DIK_BACK);  // nothing before the cursor
  EXPECT_EQ(text(), u"abcd");
  type(DIK_RIGHT, DIK_DELETE);
  EXPECT_EQ(text(), u"acd");
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 1);
  type(DIK_END);
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 3);
  type(DIK_RIGHT);
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 3);
  type(DIK_DELETE);  // nothing under the cursor
  type(DIK_BACK);
  EXPECT_EQ(text(), u"ac");
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 2);
}

TEST_F(TextCapture, InsertShiftsTheTailAndOverwriteReplacesOrAppends) {
  start(u"abcxyz");
  type(DIK_A, DIK_B, DIK_C, DIK_LEFT, DIK_LEFT, DIK_X);
  EXPECT_EQ(text(), u"axbc");
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 2);
  type(DIK_INSERT, DIK_Y);
  EXPECT_EQ(text(), u"axyc");
  type(DIK_END, DIK_Z);
  EXPECT_EQ(text(), u"axycz");
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 5);
}

TEST_F(TextCapture, ShiftCapsLockAndModifiersPickTheCharacter) {
  start(u"aA!1");
  press(DIK_LSHIFT);
  EXPECT_EQ(record().mp_bShiftHeld, 1u);
  type(DIK_A, DIK_1);
  release(DIK_LSHIFT);
  type(DIK_A);
  EXPECT_EQ(text(), u"A!a");
  // The unshifted character is kept beside each one; ordinary keys carry no modifier bits.
  EXPECT_EQ(record().mp_daTextInputCapture[0].mp_uiUnshiftedChar, u'a');
  EXPECT_EQ(record().mp_daTextInputCapture[1].mp_uiUnshiftedChar, u'1');
  EXPECT_EQ(record().mp_daTextInputCapture[0].mp_uiModifiers, 0u);

  // Caps lock inverts letters only, also against shift.
  type(DIK_CAPITAL);
  EXPECT_EQ(record().mp_bCapsLock, 1u);
  type(DIK_A);
  press(DIK_RSHIFT);
  type(DIK_A, DIK_1);
  release(DIK_RSHIFT);
  EXPECT_EQ(text(), u"A!aAa!");

  // Control and alt columns are the plain characters.
  type(DIK_CAPITAL);
  press(DIK_RCONTROL);
  type(DIK_1);
  release(DIK_RCONTROL);
  press(DIK_LMENU);
  type(DIK_A);
  release(DIK_LMENU);
  EXPECT_EQ(text(), u"A!aAa!1a");
  EXPECT_EQ(record().mp_bControlHeld, 0u);
  EXPECT_EQ(record().mp_bAltHeld, 0u);
}

TEST_F(TextCapture, CapsLockStartsFromTheToggleNotFromAHeldKey) {
  auto keyMessages = [] {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_KEYUP, PM_REMOVE)) {
    }
  };
  // Caps lock switched on, then pressed again and held: the toggle is off while the key is down.
  Win32TestPushKey(SDL_SCANCODE_CAPSLOCK, true, KMOD_CAPS);
  Win32TestPushKey(SDL_SCANCODE_CAPSLOCK, false, KMOD_CAPS);
  keyMessages();
  start(u"a");
  EXPECT_EQ(record().mp_bCapsLock, 1u);
  Win32TestPushKey(SDL_SCANCODE_CAPSLOCK, true, KMOD_NONE);
  keyMessages();
  ASSERT_NE(GetKeyState(VK_CAPITAL), 0);
  start(u"a");
  EXPECT_EQ(record().mp_bCapsLock, 0u);
  Win32TestPushKey(SDL_SCANCODE_CAPSLOCK, false, KMOD_NONE);
  keyMessages();
}

TEST_F(TextCapture, LengthEndAndCallbackCharacters) {
  start(u"abc ", u"\n\x1b", u"b ");
  record().mp_pfnCallback = &recordCallback;
  record().mp_uiMaxLength = 3;
  type(DIK_A, DIK_B);
  type(DIK_D);  // not accepted: no callback, not stored
  type(DIK_SPACE);
  press(DIK_C);  // the fourth character is refused, but its key still repeats
  EXPECT_EQ(text(), u"ab ");
  EXPECT_EQ(g_eKeyRepeatState, E_KEY_REPEAT_WAITING);
  EXPECT_EQ(g_uiKeyRepeatKey, static_cast<u32>(DIK_C));
  EXPECT_FLOAT_EQ(g_fKeyRepeatTimer, 0.5f);
  EXPECT_EQ(g_callbacks, (std::vector<u16>{u'b', u' '}));
  release(DIK_C);
  EXPECT_EQ(g_eKeyRepeatState, E_KEY_REPEAT_NONE);

  // Without a limit the length is not checked.
  record().mp_uiMaxLength = gc_uiTEXT_CAPTURE_UNLIMITED;
  type(DIK_C);
  EXPECT_EQ(text(), u"ab c");

  // An end character closes the capture and is not stored.
  ClInputHWtoKv::mp_bTextInputCaptureActive = 1;
  press(DIK_A);
  press(DIK_RETURN);
  EXPECT_EQ(text(), u"ab ca");
  EXPECT_EQ(record().mp_uiEndChar, 10);
  EXPECT_EQ(ClInputHWtoKv::mp_bTextInputCaptureActive, 0u);
  EXPECT_EQ(g_eKeyRepeatState, E_KEY_REPEAT_NONE);
}

TEST_F(TextCapture, AnActiveCaptureTakesTheKeyboardInsteadOfTheKeyTable) {
  start(u"hi");
  ClInputHWtoKv::mp_bTextInputCaptureActive = 1;
  ClInputManager::tick();
  Win32TestPushKey(SDL_SCANCODE_H, true);
  Win32TestPushKey(SDL_SCANCODE_H, false);
  Win32TestPushKey(SDL_SCANCODE_I, true);
  ClInputManager::tick();
  EXPECT_EQ(text(), u"hi");
  EXPECT_EQ(ClInputHWtoKv::mp_auiKeyStates[KvKeyIndexFromScanCode(DIK_H)], E_KEY_UP);
  EXPECT_EQ(ClInputHWtoKv::mp_auiKeyStates[KvKeyIndexFromScanCode(DIK_I)], E_KEY_UP);
  // The tap's release comes with the next read (one change of a key a read), to the capture too.
  ClInputManager::tick();
  EXPECT_EQ(text(), u"hi");
  EXPECT_EQ(ClInputHWtoKv::mp_auiKeyStates[KvKeyIndexFromScanCode(DIK_H)], E_KEY_UP);

  // Inactive again: the keys reach the table.
  ClInputHWtoKv::mp_bTextInputCaptureActive = 0;
  Win32TestPushKey(SDL_SCANCODE_H, true);
  ClInputManager::tick();
  EXPECT_EQ(text(), u"hi");
  EXPECT_EQ(ClInputHWtoKv::mp_auiKeyStates[KvKeyIndexFromScanCode(DIK_H)], E_KEY_DOWN);

  DIDEVICEOBJECTDATA event{DIK_H, 0x80, 0, 0, 0};
  EXPECT_EQ(g_pInputHWToKv->feedTextInputCapture(&event, 0, 0), 0u);
  EXPECT_EQ(g_pInputHWToKv->feedTextInputCapture(&event, 1, 0), 1u);
  EXPECT_EQ(text(), u"hih");
  EXPECT_KV_ASSERT(g_pInputHWToKv->feedTextInputCapture(nullptr, 1, 0), "pPlatformData1");
  g_eKeyRepeatState = static_cast<E_KEY_REPEAT_STATE>(7);
  EXPECT_KV_FATAL(g_pInputHWToKv->platformTickTextInputCapture(), "Invalid value for g_eKeyRepeatState [0x00000007]!");
  g_eKeyRepeatState = E_KEY_REPEAT_NONE;
}

TEST_F(TextCapture, HeldKeysRepeatAfterTheInitialDelayUntilReleased) {
  ClInputHWtoKv::startTextInputCapture(u"abcdef", nullptr, nullptr, 0.5f, 0.25f);
  ClInputHWtoKv::mp_bTextInputCaptureActive = 1;
  for (SDL_Scancode eKey : {SDL_SCANCODE_A, SDL_SCANCODE_B, SDL_SCANCODE_C, SDL_SCANCODE_D, SDL_SCANCODE_E}) {
    Win32TestPushKey(eKey, true);
    Win32TestPushKey(eKey, false);
  }
  ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.125f;
  ClInputManager::tick();
  ASSERT_EQ(text(), u"abcde");

  // LEFT held: once at the press, again after 0.5 s, then every 0.25 s.
  Win32TestPushKey(SDL_SCANCODE_LEFT, true);
  std::vector<i32> cursor;
  for (i32 i = 0; i < 8; ++i) {
    ClInputManager::tick();
    cursor.push_back(record().mp_iCurrentCursorLocation);
  }
  EXPECT_EQ(cursor, (std::vector<i32>{4, 4, 4, 3, 3, 2, 2, 1}));
  EXPECT_EQ(g_eKeyRepeatState, E_KEY_REPEAT_REPEATING);
  Win32TestPushKey(SDL_SCANCODE_LEFT, false);
  ClInputManager::tick();
  ClInputManager::tick();
  ClInputManager::tick();
  EXPECT_EQ(record().mp_iCurrentCursorLocation, 1);
  EXPECT_EQ(g_eKeyRepeatState, E_KEY_REPEAT_NONE);

  // A refused character still repeats, and each repeat is refused too.
  record().mp_uiMaxLength = 5;
  Win32TestPushKey(SDL_SCANCODE_F, true);
  for (i32 i = 0; i < 6; ++i) {
    ClInputManager::tick();
  }
  EXPECT_EQ(text(), u"abcde");
  EXPECT_EQ(g_eKeyRepeatState, E_KEY_REPEAT_REPEATING);
  EXPECT_EQ(g_uiKeyRepeatKey, static_cast<u32>(DIK_F));
  Win32TestPushKey(SDL_SCANCODE_F, false);
  ClInputManager::tick();
  ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
}

}  // namespace

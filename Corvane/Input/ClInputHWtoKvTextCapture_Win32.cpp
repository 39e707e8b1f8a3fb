// The text-input capture of the hardware layer: keyboard events (DirectInput scan codes) to one line of
// text with a cursor, insert and overwrite modes, caps lock, a maximum length, accepted, end and callback
// characters, and key repeat of held keys timed on the system clock.
#include <array>

#include "Corvane/Input/ClInputHWtoKvPlatform.h"
#include "Corvane/System/ClClock.h"
#include "Platform/DInput/DInput8.h"
#include "Platform/Win32/Win32.h"

namespace {

enum E_CHAR_COLUMN { E_COLUMN_PLAIN = 0, E_COLUMN_SHIFT, E_COLUMN_ALT, E_COLUMN_CONTROL, NUM_E_COLUMN };
typedef std::array<std::array<u16, NUM_E_COLUMN>, 256> CharTable;

constexpr void setKey(CharTable& table, u32 uiCode, char16_t cPlain, char16_t cShift) {
  // The alt and control columns are the plain characters.
  table[uiCode] = {static_cast<u16>(cPlain), static_cast<u16>(cShift), static_cast<u16>(cPlain),
                   static_cast<u16>(cPlain)};
}
constexpr void setSame(CharTable& table, u32 uiCode, char16_t c) { setKey(table, uiCode, c, c); }

// The US layout by scan code; keys without a character (modifiers, arrows, editing keys) are 0.
constexpr CharTable buildCharTable() {
  CharTable table{};
  constexpr struct {
    u32 uiCode;
    char16_t cPlain;
    char16_t cShift;
  } s_aKeys[] = {
      {DIK_1, u'1', u'!'},          {DIK_2, u'2', u'@'},          {DIK_3, u'3', u'#'},
      {DIK_4, u'4', u'$'},          {DIK_5, u'5', u'%'},          {DIK_6, u'6', u'^'},
      {DIK_7, u'7', u'&'},          {DIK_8, u'8', u'*'},          {DIK_9, u'9', u'('},
      {DIK_0, u'0', u')'},          {DIK_MINUS, u'-', u'_'},      {DIK_EQUALS, u'=', u'+'},
      {DIK_LBRACKET, u'[', u'{'},   {DIK_RBRACKET, u']', u'}'},   {DIK_SEMICOLON, u';', u':'},
      {DIK_APOSTROPHE, u'\'', u'"'}, {DIK_GRAVE, u'`', u'~'},      {DIK_BACKSLASH, u'\\', u'|'},
      {DIK_COMMA, u',', u'<'},      {DIK_PERIOD, u'.', u'>'},     {DIK_SLASH, u'/', u'?'},
  };
  for (const auto& key : s_aKeys) {
    setKey(table, key.uiCode, key.cPlain, key.cShift);
  }
  constexpr struct {
    u32 uiCode;
    char16_t cLetter;
  } s_aLetters[] = {
      {DIK_A, u'a'}, {DIK_B, u'b'}, {DIK_C, u'c'}, {DIK_D, u'd'}, {DIK_E, u'e'}, {DIK_F, u'f'}, {DIK_G, u'g'},
      {DIK_H, u'h'}, {DIK_I, u'i'}, {DIK_J, u'j'}, {DIK_K, u'k'}, {DIK_L, u'l'}, {DIK_M, u'm'}, {DIK_N, u'n'},
      {DIK_O, u'o'}, {DIK_P, u'p'}, {DIK_Q, u'q'}, {DIK_R, u'r'}, {DIK_S, u's'}, {DIK_T, u't'}, {DIK_U, u'u'},
      {DIK_V, u'v'}, {DIK_W, u'w'}, {DIK_X, u'x'}, {DIK_Y, u'y'}, {DIK_Z, u'z'},
  };
  for (const auto& letter : s_aLetters) {
    setKey(table, letter.uiCode, letter.cLetter, static_cast<char16_t>(letter.cLetter - u'a' + u'A'));
  }
  constexpr struct {
    u32 uiCode;
    char16_t c;
  } s_aSame[] = {
      {DIK_NUMPAD0, u'0'},     {DIK_NUMPAD1, u'1'},  {DIK_NUMPAD2, u'2'},    {DIK_NUMPAD3, u'3'},
      {DIK_NUMPAD4, u'4'},     {DIK_NUMPAD5, u'5'},  {DIK_NUMPAD6, u'6'},    {DIK_NUMPAD7, u'7'},
      {DIK_NUMPAD8, u'8'},     {DIK_NUMPAD9, u'9'},  {DIK_DECIMAL, u'.'},    {DIK_ADD, u'+'},
      {DIK_SUBTRACT, u'-'},    {DIK_MULTIPLY, u'*'}, {DIK_DIVIDE, u'/'},     {DIK_NUMPADEQUALS, u'='},
      {DIK_NUMPADCOMMA, u','}, {DIK_ESCAPE, 27},     {DIK_TAB, 9},           {DIK_RETURN, 10},
      {DIK_NUMPADENTER, 13},   {DIK_SPACE, 32},      {DIK_AT, u'@'},         {DIK_COLON, u':'},
      {DIK_UNDERLINE, u'_'},   {DIK_STOP, u'.'},
  };
  for (const auto& key : s_aSame) {
    setSame(table, key.uiCode, key.c);
  }
  return table;
}

constexpr CharTable gc_aCaptureChars = buildCharTable();

STextInputCapture& capture() { return ClInputHWtoKv::mp_textInputCapture; }

void copyCharList(ClDynamicVector<u16>* pList, const wchar16* pChars) {
  pList->initialize(8);
  for (const wchar16* p = pChars; p != nullptr && *p != 0; ++p) {
    pList->append(static_cast<u16>(*p));
  }
}

bool listHas(const ClDynamicVector<u16>& list, u16 uiChar) {
  for (i32 i = 0; i < list.getCount(); ++i) {
    if (list[i] == uiChar) {
      return true;
    }
  }
  return false;
}

void startRepeat(u32 uiKeyCode, bool bAllowRepeat) {
  if (bAllowRepeat) {
    g_eKeyRepeatState = E_KEY_REPEAT_WAITING;
    g_fKeyRepeatTimer = capture().mp_fInitialKeyRepeatDelay;
    g_uiKeyRepeatKey = uiKeyCode;
  }
}

void stopRepeat() {
  g_uiKeyRepeatKey = 0;
  g_fKeyRepeatTimer = KV_ZERO;
  g_eKeyRepeatState = E_KEY_REPEAT_NONE;
}

}  // namespace

void ClInputHWtoKv::startTextInputCapture(const wchar16* pAcceptedChars, const wchar16* pEndChars,
                                          const wchar16* pCallbackChars, f32 fInitialKeyRepeatDelay,
                                          f32 fNextKeyRepeatDelay) {
  KV_ASSERT(g_pInputHWToKv);
  KV_ASSERT(fInitialKeyRepeatDelay >= KV_ZERO);
  KV_ASSERT(fNextKeyRepeatDelay >= KV_ZERO);
  if (mp_bTextInputCaptureListsCreated) {
    stopTextInputCapture();
  }
  STextInputCapture& record = capture();
  record.mp_daTextInputCapture.initialize(gc_iTEXT_CAPTURE_DEFAULT_MAX);
  record.mp_iCurrentCursorLocation = 0;
  record.mp_uiMaxLength = gc_iTEXT_CAPTURE_DEFAULT_MAX;
  copyCharList(&record.mp_daAcceptedChars, pAcceptedChars);
  copyCharList(&record.mp_daEndChars, pEndChars);
  copyCharList(&record.mp_daCallbackChars, pCallbackChars);
  record.mp_pfnCallback = nullptr;
  record.mp_uiEndChar = 0;
  record.mp_bOverwriteMode = 0;
  record.mp_bShiftHeld = 0;
  record.mp_bControlHeld = 0;
  record.mp_bAltHeld = 0;
  record.mp_fInitialKeyRepeatDelay = fInitialKeyRepeatDelay;
  record.mp_fNextKeyRepeatDelay = fNextKeyRepeatDelay;
  mp_bTextInputCaptureListsCreated = 1;
  stopRepeat();
  // The toggle bit alone: the key being held down says nothing about whether caps lock is on.
  record.mp_bCapsLock = (GetKeyState(VK_CAPITAL) & 1) != 0 ? 1 : 0;
  g_pInputHWToKv->onTextInputCaptureStart(0, 0, 0);
}

void ClInputHWtoKv::stopTextInputCapture() {
  KV_ASSERT(g_pInputHWToKv);
  if (mp_bTextInputCaptureListsCreated) {
    STextInputCapture& record = capture();
    record.mp_daTextInputCapture.terminate();
    record.mp_daAcceptedChars.terminate();
    record.mp_daEndChars.terminate();
    record.mp_daCallbackChars.terminate();
    mp_bTextInputCaptureListsCreated = 0;
  }
  g_pInputHWToKv->onTextInputCaptureStop();
}

void ClInputHWtoKv::handleTextInputKey(bool bPressed, u32 uiKeyCode, bool bAllowRepeat) {
  STextInputCapture& record = capture();
  ClDynamicVector<STextInputCaptureChar>& text = record.mp_daTextInputCapture;
  u32 uiModifiers = 0;

  switch (uiKeyCode) {
    case DIK_BACK:
      if (bPressed) {
        startRepeat(uiKeyCode, bAllowRepeat);
        if (record.mp_iCurrentCursorLocation > 0) {
          KV_ASSERT_MSG(record.mp_iCurrentCursorLocation <= text.getCount(),
                        "ClInputHWtoKv::mp_textInputCapture.mp_iCurrentCursorLocation <= "
                        "ClInputHWtoKv::mp_textInputCapture.mp_daTextInputCapture.getCount()");
          text.erase(record.mp_iCurrentCursorLocation - 1);
          --record.mp_iCurrentCursorLocation;
        }
      }
      break;
    case DIK_LCONTROL:
      record.mp_bControlHeld = bPressed ? 1 : 0;
      uiModifiers |= E_TEXT_MODIFIER_LCONTROL;
      break;
    case DIK_RCONTROL:
      record.mp_bControlHeld = bPressed ? 1 : 0;
      uiModifiers |= E_TEXT_MODIFIER_RCONTROL;
      break;
    case DIK_LSHIFT:
      record.mp_bShiftHeld = bPressed ? 1 : 0;
      uiModifiers |= E_TEXT_MODIFIER_LSHIFT;
      break;
    case DIK_RSHIFT:
      record.mp_bShiftHeld = bPressed ? 1 : 0;
      uiModifiers |= E_TEXT_MODIFIER_RSHIFT;
      break;
    case DIK_LMENU:
      record.mp_bAltHeld = bPressed ? 1 : 0;
      uiModifiers |= E_TEXT_MODIFIER_LALT;
      break;
    case DIK_RMENU:
      record.mp_bAltHeld = bPressed ? 1 : 0;
      uiModifiers |= E_TEXT_MODIFIER_RALT;
      break;
    case DIK_CAPITAL:
      if (bPressed) {
        record.mp_bCapsLock = record.mp_bCapsLock ? 0 : 1;
      }
      break;
    case DIK_INSERT:
      if (bPressed) {
        record.mp_bOverwriteMode = record.mp_bOverwriteMode ? 0 : 1;
      }
      break;
    case DIK_HOME:
      if (bPressed) {
        record.mp_iCurrentCursorLocation = 0;
      }
      break;
    case DIK_END:
      if (bPressed) {
        record.mp_iCurrentCursorLocation = text.getCount();
      }
      break;
    case DIK_LEFT:
      if (bPressed) {
        startRepeat(uiKeyCode, bAllowRepeat);
        if (record.mp_iCurrentCursorLocation > 0) {
          --record.mp_iCurrentCursorLocation;
        }
      }
      break;
    case DIK_RIGHT:
      if (bPressed) {
        startRepeat(uiKeyCode, bAllowRepeat);
        if (record.mp_iCurrentCursorLocation < text.getCount()) {
          ++record.mp_iCurrentCursorLocation;
        }
      }
      break;
    case DIK_DELETE:
      if (bPressed) {
        startRepeat(uiKeyCode, bAllowRepeat);
        if (text.getCount() > 0 && record.mp_iCurrentCursorLocation < text.getCount()) {
          text.erase(record.mp_iCurrentCursorLocation);
        }
      }
      break;
    default:
      break;
  }

  if (!bPressed) {
    if (uiKeyCode == g_uiKeyRepeatKey) {
      stopRepeat();
    }
    return;
  }
  if (uiKeyCode >= 256) {
    return;
  }
  const std::array<u16, NUM_E_COLUMN>& row = gc_aCaptureChars[uiKeyCode];
  u16 uiChar = record.mp_bShiftHeld     ? row[E_COLUMN_SHIFT]
               : record.mp_bControlHeld ? row[E_COLUMN_CONTROL]
               : record.mp_bAltHeld     ? row[E_COLUMN_ALT]
                                        : row[E_COLUMN_PLAIN];
  if (uiChar == 0) {
    return;
  }
  if (record.mp_bCapsLock) {
    if (record.mp_bShiftHeld && uiChar >= u'A' && uiChar <= u'Z') {
      uiChar = static_cast<u16>(uiChar - u'A' + u'a');
    } else if (!record.mp_bShiftHeld && uiChar >= u'a' && uiChar <= u'z') {
      uiChar = static_cast<u16>(uiChar - u'a' + u'A');
    }
  }

  if (listHas(record.mp_daEndChars, uiChar)) {
    record.mp_uiEndChar = uiChar;
    mp_bTextInputCaptureActive = 0;
    stopRepeat();
    return;
  }
  for (i32 i = 0; i < record.mp_daCallbackChars.getCount(); ++i) {
    if (record.mp_daCallbackChars[i] == uiChar && record.mp_pfnCallback != nullptr) {
      record.mp_pfnCallback(uiChar);
    }
  }
  if (!listHas(record.mp_daAcceptedChars, uiChar)) {
    return;
  }
  if (record.mp_uiMaxLength != gc_uiTEXT_CAPTURE_UNLIMITED &&
      static_cast<u32>(text.getCount()) + 1 > record.mp_uiMaxLength) {
    startRepeat(uiKeyCode, bAllowRepeat);
    return;
  }

  const STextInputCaptureChar stored{uiChar, row[E_COLUMN_PLAIN], uiModifiers};
  if (record.mp_iCurrentCursorLocation < text.getCount()) {
    KV_ASSERT_MSG(record.mp_iCurrentCursorLocation >= 0,
                  "ClInputHWtoKv::mp_textInputCapture.mp_iCurrentCursorLocation >= 0");
    if (record.mp_bOverwriteMode) {
      text[record.mp_iCurrentCursorLocation] = stored;
    } else {
      // Insert: append, then move the tail up by one.
      text.append(stored);
      for (i32 i = text.getCount() - 1; i > record.mp_iCurrentCursorLocation; --i) {
        text[i] = text[i - 1];
      }
      text[record.mp_iCurrentCursorLocation] = stored;
    }
  } else {
    text.append(stored);
  }
  ++record.mp_iCurrentCursorLocation;
  startRepeat(uiKeyCode, bAllowRepeat);
}

u32 ClInputHWtoKvPlatform::feedTextInputCapture(const void* pPlatformData1, u32 uiCount, u32) {
  KV_ASSERT(pPlatformData1);
  if (uiCount == 0) {
    return 0;
  }
  const DIDEVICEOBJECTDATA* pEvents = static_cast<const DIDEVICEOBJECTDATA*>(pPlatformData1);
  for (u32 i = 0; i < uiCount; ++i) {
    handleTextInputKey((pEvents[i].dwData & 0x80u) != 0, pEvents[i].dwOfs, true);
  }
  return 1;
}

void ClInputHWtoKvPlatform::platformTickTextInputCapture() {
  switch (g_eKeyRepeatState) {
    case E_KEY_REPEAT_NONE:
      return;
    case E_KEY_REPEAT_WAITING:
    case E_KEY_REPEAT_REPEATING:
      g_fKeyRepeatTimer -= ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;
      if (g_fKeyRepeatTimer > KV_ZERO) {
        return;
      }
      g_eKeyRepeatState = E_KEY_REPEAT_REPEATING;
      g_fKeyRepeatTimer = mp_textInputCapture.mp_fNextKeyRepeatDelay;
      handleTextInputKey(true, g_uiKeyRepeatKey, false);
      return;
    default:
      KV_FATALF("ClInputHWtoKvPlatform::platformTickTextInputCapture() -> Invalid value for g_eKeyRepeatState "
                "[0x%08X]!",
                static_cast<u32>(g_eKeyRepeatState));
  }
}

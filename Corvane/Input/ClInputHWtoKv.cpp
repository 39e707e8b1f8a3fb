#include "Corvane/Input/ClInputHWtoKv.h"

#include <array>

#include "Corvane/System/KvDebug.h"

SInputPadState ClInputHWtoKv::mp_aPadStates[cuiMAX_GAME_PADS] = {};
u32 ClInputHWtoKv::mp_auiPadConnected[cuiMAX_GAME_PADS] = {};
u32 ClInputHWtoKv::mp_auiKeyStates[gc_iNUM_KEY_STATES] = {};
u32 ClInputHWtoKv::mp_auiMouseButtons[gc_iNUM_MOUSE_BUTTONS] = {};
kv_vector2 ClInputHWtoKv::mp_aPointerPositions[gc_iNUM_INPUT_POINTERS] = {};

STextInputCapture ClInputHWtoKv::mp_textInputCapture;
u32 ClInputHWtoKv::mp_bTextInputCaptureActive = 0;
u32 ClInputHWtoKv::mp_bTextInputCaptureListsCreated = 0;

ClInputHWtoKv* g_pInputHWToKv = nullptr;

E_KEY_REPEAT_STATE g_eKeyRepeatState = E_KEY_REPEAT_NONE;
u32 g_uiKeyRepeatKey = 0;
f32 g_fKeyRepeatTimer = KV_ZERO;

namespace {

// The scan codes the keyboard defines, as inclusive ranges in ascending order; numbering them in this order
// gives the engine key indices 1..144.
struct SCodeRange {
  u8 uiFirst;
  u8 uiLast;
};
constexpr SCodeRange gc_aKeyCodeRanges[] = {
    {0x01, 0x53}, {0x56, 0x56}, {0x57, 0x58}, {0x64, 0x66}, {0x70, 0x70}, {0x73, 0x73}, {0x79, 0x79},
    {0x7B, 0x7B}, {0x7D, 0x7D}, {0x7E, 0x7E}, {0x8D, 0x8D}, {0x90, 0x97}, {0x99, 0x99}, {0x9C, 0x9C},
    {0x9D, 0x9D}, {0xA0, 0xA0}, {0xA1, 0xA1}, {0xA2, 0xA2}, {0xA4, 0xA4}, {0xAE, 0xAE}, {0xB0, 0xB0},
    {0xB2, 0xB2}, {0xB3, 0xB3}, {0xB5, 0xB5}, {0xB7, 0xB7}, {0xB8, 0xB8}, {0xC5, 0xC5}, {0xC7, 0xC7},
    {0xC8, 0xC8}, {0xC9, 0xC9}, {0xCB, 0xCB}, {0xCD, 0xCD}, {0xCF, 0xCF}, {0xD0, 0xD3}, {0xDB, 0xDF},
    {0xE3, 0xE3}, {0xE5, 0xED},
};

constexpr std::array<u8, 256> buildKeyIndexTable() {
  std::array<u8, 256> table{};
  u32 uiNext = 1;
  for (const SCodeRange& range : gc_aKeyCodeRanges) {
    for (u32 uiCode = range.uiFirst; uiCode <= range.uiLast; ++uiCode) {
      table[uiCode] = static_cast<u8>(uiNext++);
    }
  }
  return table;
}

constexpr u32 countKeyCodes() {
  u32 uiCount = 0;
  for (const SCodeRange& range : gc_aKeyCodeRanges) {
    uiCount += static_cast<u32>(range.uiLast - range.uiFirst + 1);
  }
  return uiCount;
}
static_assert(countKeyCodes() == gc_iNUM_KEY_INDICES, "the keyboard defines 144 key codes");
static_assert(gc_iNUM_KEY_INDICES + 1 == gc_iNUM_KEY_STATES, "entry 0 collects the keys without a number");

constexpr std::array<u8, 256> gc_aKeyIndexTable = buildKeyIndexTable();

}  // namespace

u8 KvKeyIndexFromScanCode(u32 uiScanCode) { return uiScanCode < 256 ? gc_aKeyIndexTable[uiScanCode] : 0; }

f32 ClInputHWtoKv::getPadInput(u32 uiPad, i32 iInput) {
  KV_ASSERT(uiPad < cuiMAX_GAME_PADS && iInput >= 0 && iInput < gc_iPAD_STATE_FLOATS);
  return mp_aPadStates[uiPad].mp_afInputs[iInput];
}

void ClInputHWtoKv::setPadInput(u32 uiPad, i32 iInput, f32 fValue) {
  KV_ASSERT(uiPad < cuiMAX_GAME_PADS && iInput >= 0 && iInput < gc_iPAD_STATE_FLOATS);
  mp_aPadStates[uiPad].mp_afInputs[iInput] = fValue;
}

void ClInputHWtoKv::setPadConnected(u32 uiPad, bool bConnected) {
  KV_ASSERT(uiPad < cuiMAX_GAME_PADS);
  mp_auiPadConnected[uiPad] = bConnected ? 1u : 0u;
}

// The engine's own mapper: turns one player's pad into the free-flying debug camera's actions
// (ClInputManager::m_aDebugCameraActions, added to at the current input frame).
//
// | action | from                         | value added                          |
// |--------|------------------------------|--------------------------------------|
// | 0, 1   | left stick X                 | leftward amount, rightward amount    |
// | 2, 3   | d-pad up, down               | 1.0 when above 0.5                   |
// | 4, 5   | left stick Y                 | upward amount, downward amount       |
// | 6, 7   | right stick X, Y             | value x 3.0                          |
// | 9      | left and right triggers      | 1.0 for each above 0.5               |
// | 10, 11 | left, right shoulder         | 1.0 when above 0.5                   |
// | 13     | back                         | its value                            |
// | 14     | the key C (engine key 46)    | 1.0 while it is down                 |
#pragma once

#include "Corvane/Input/ClInputMapperBase.h"

inline constexpr i32 gc_iKEY_INDEX_C = 46;

class ClInputMapperDebugCamera : public ClInputMapperBase {
 public:
  ~ClInputMapperDebugCamera() override {}
  void process(u8 uiPlayerIndex) override;
};

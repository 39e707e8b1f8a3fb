// An input mapper reads the pad records and key states of one local player and writes that player's action
// values for the current input frame (see ClInputManager). The game keeps a stack of mappers per local
// player and runs the top one each frame, after the input manager's tick.
//
// Mappers hold only their virtual table; they are allocated 16-byte aligned and destroyed through the
// virtual destructor.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClInputMapperBase {
 public:
  virtual ~ClInputMapperBase() {}
  // One mapping pass for local player uiPlayerIndex (0..3).
  virtual void process(u8 uiPlayerIndex) = 0;
};

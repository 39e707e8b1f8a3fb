#include "Corvane/Math/ClWorldObject.h"

namespace {

// out's 3x3 part = a x b (3x3 parts); rows 0-2 get a fourth float of 0, row 3 is left alone.
void multiply3x3(const kv_matrix& a, const kv_matrix& b, kv_matrix& out) {
  f32 result[3][3];
  for (i32 i = 0; i < 3; ++i) {
    for (i32 j = 0; j < 3; ++j) {
      result[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    }
  }
  for (i32 i = 0; i < 3; ++i) {
    out.m[i][0] = result[i][0];
    out.m[i][1] = result[i][1];
    out.m[i][2] = result[i][2];
    out.m[i][3] = 0.0f;
  }
}

}  // namespace

void ClWorldObject::setIdentityTransform() {
  mp_world = kv_matrix{};
  mp_relative = kv_matrix{};
  mp_pParent = nullptr;
}

void ClWorldObject::setWorldRotation(const kv_matrix& rotation) {
  if (mp_pParent == nullptr) {
    for (i32 i = 0; i < 3; ++i) {
      mp_world.setRow(i, rotation.getRow(i));
      mp_world.m[i][3] = 0.0f;
    }
    return;
  }
  // relative = R x P^T, so that relative x P gives R back for an orthonormal P.
  mp_pParent->mp_world.multiplyTransposed3x3(rotation, mp_relative);
  updateFromParent();
}

void ClWorldObject::updateFromParent() {
  if (mp_pParent == nullptr) {
    const kv_matrix identity;
    for (i32 i = 0; i < 3; ++i) {
      mp_relative.setRow(i, identity.getRow(i));
      mp_relative.m[i][3] = 0.0f;
    }
    mp_relative.setPosition({0.0f, 0.0f, 0.0f});
    return;
  }
  const kv_matrix& parent = mp_pParent->mp_world;
  mp_world.setPosition(mp_relative.getPosition() + parent.getPosition());
  multiply3x3(mp_relative, parent, mp_world);
}

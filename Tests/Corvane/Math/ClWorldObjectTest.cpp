#include "Corvane/Math/ClWorldObject.h"

#include <gtest/gtest.h>

namespace {

void expectMatrixNear(const kv_matrix& a, const kv_matrix& b, i32 iRows, f32 fTol = 1e-5f) {
  for (i32 i = 0; i < iRows; ++i) {
    for (i32 j = 0; j < 3; ++j) {
      EXPECT_NEAR(a.m[i][j], b.m[i][j], fTol) << i << "," << j;
    }
  }
}

kv_matrix axisRotation(kv_vector3 vAxis, f32 fAngle) {
  kv_matrix R;
  R.makeAxisRotation(vAxis.normalized(), fAngle);
  return R;
}

TEST(ClWorldObject, WithoutParentIsPlacedDirectly) {
  ClWorldObject object;
  expectMatrixNear(object.getWorldTransform(), kv_matrix{}, 4);
  const kv_matrix R = axisRotation({1, 2, 3}, 0.7f);
  object.setWorldRotation(R);
  object.setWorldPosition({1.0f, 2.0f, 3.0f});
  object.setRelativeOffset({5.0f, 5.0f, 5.0f});
  object.updateFromParent();
  // The world part is kept; the relative part is reset.
  expectMatrixNear(object.getWorldTransform(), R, 3, 0.0f);
  EXPECT_EQ(object.getWorldPosition(), (kv_vector3{1.0f, 2.0f, 3.0f}));
  expectMatrixNear(object.getRelativeTransform(), kv_matrix{}, 4, 0.0f);
}

TEST(ClWorldObject, ParentChainFollowsInWorldAxes) {
  ClWorldObject root;
  ClWorldObject middle;
  ClWorldObject leaf;
  middle.setParent(&root);
  leaf.setParent(&middle);

  root.setWorldRotation(axisRotation({0, 1, 0}, KV_PI * 0.5f));
  root.setWorldPosition({10.0f, 0.0f, 0.0f});
  middle.setRelativeOffset({0.0f, 0.0f, 2.0f});
  const kv_matrix middleWorld = axisRotation({1, 0, 1}, 0.4f);
  middle.setWorldRotation(middleWorld);
  leaf.setRelativeOffset({1.0f, 0.0f, 0.0f});
  const kv_matrix leafWorld = axisRotation({0, 0, 1}, -1.1f);
  leaf.setWorldRotation(leafWorld);

  // The asked-for world rotations hold although they are stored relative to the parents.
  expectMatrixNear(middle.getWorldTransform(), middleWorld, 3);
  expectMatrixNear(leaf.getWorldTransform(), leafWorld, 3);
  // Offsets are added without being turned by the parents' rotations.
  EXPECT_EQ(middle.getWorldPosition(), (kv_vector3{10.0f, 0.0f, 2.0f}));
  EXPECT_EQ(leaf.getWorldPosition(), (kv_vector3{11.0f, 0.0f, 2.0f}));

  // Turning and moving the root carries the chain along once each level is updated, parents first.
  const kv_matrix turn = axisRotation({0, 1, 0}, 0.3f);
  root.setWorldRotation(turn);
  root.setWorldPosition({0.0f, 5.0f, 0.0f});
  middle.updateFromParent();
  leaf.updateFromParent();
  kv_matrix expectedMiddle;
  kv_matrix expectedLeaf;
  middle.getRelativeTransform().multiply(turn, expectedMiddle);
  leaf.getRelativeTransform().multiply(expectedMiddle, expectedLeaf);
  expectMatrixNear(middle.getWorldTransform(), expectedMiddle, 3);
  expectMatrixNear(leaf.getWorldTransform(), expectedLeaf, 3);
  EXPECT_EQ(leaf.getWorldPosition(), (kv_vector3{1.0f, 5.0f, 2.0f}));
  // The rotation between child and parent is what it was before the root turned.
  kv_matrix relative;
  middle.getWorldTransform().multiplyTransposed3x3(leaf.getWorldTransform(), relative);
  kv_matrix before;
  middleWorld.multiplyTransposed3x3(leafWorld, before);
  expectMatrixNear(relative, before, 3);

  leaf.setIdentityTransform();
  EXPECT_EQ(leaf.getParent(), nullptr);
  expectMatrixNear(leaf.getWorldTransform(), kv_matrix{}, 4, 0.0f);
}

}  // namespace

// The transform part of everything placed in the world (the base of every camera): a world rotation and
// position, and optionally a parent whose transform it follows.
//
// With a parent, the object keeps a parent-relative rotation and offset; its world rotation is the relative
// rotation times the parent's world rotation, and its world position is the parent's plus the offset. The
// offset is added in world axes: turning the parent does not swing the child around it. Nothing updates a
// child by itself: the owner calls updateFromParent after the parent moves. Main thread only.
#pragma once

#include "Corvane/Math/KvMath.h"

class ClWorldObject {
 public:
  // Starts with the identity transform and no parent.
  ClWorldObject() = default;

  // World rotation identity, position zero, relative transform identity, no parent.
  void setIdentityTransform();

  // The parent is not owned; it must outlive this object or be replaced first. Null for none.
  void setParent(ClWorldObject* pParent) { mp_pParent = pParent; }
  ClWorldObject* getParent() const { return mp_pParent; }

  // Rows 0-2 of rotation give the new world rotation. With a parent the relative rotation is derived from it
  // and the world part recomputed (so the world rotation equals the given one up to rounding).
  void setWorldRotation(const kv_matrix& rotation);
  // The world position, written directly (a parented object's next updateFromParent overrides it).
  void setWorldPosition(const kv_vector3& vPosition) { mp_world.setPosition(vPosition); }
  // The offset from the parent's world position, in world axes.
  void setRelativeOffset(const kv_vector3& vOffset) { mp_relative.setPosition(vOffset); }

  // Without a parent: the relative rotation becomes the identity and the offset zero, the world part is left
  // as it is. With one: the world part is recomputed from the relative part and the parent's world part.
  void updateFromParent();

  // Rows 0-2: world rotation; row 3: world position.
  const kv_matrix& getWorldTransform() const { return mp_world; }
  kv_vector3 getWorldPosition() const { return mp_world.getPosition(); }
  // Rows 0-2: parent-relative rotation; row 3: parent-relative offset.
  const kv_matrix& getRelativeTransform() const { return mp_relative; }

 protected:
  kv_matrix mp_world;     // world rotation rows, then the world position
  kv_matrix mp_relative;  // parent-relative rotation rows, then the parent-relative offset
  ClWorldObject* mp_pParent = nullptr;
};

// The link part of an entry of an intrusive ClList: entries derive from it, and a list's head and tail
// point at this part. The destructor is virtual so an owner may delete an entry through its node.
#pragma once

class ClListNode {
 public:
  virtual ~ClListNode() = default;

  ClListNode* mp_pNext = nullptr;
  ClListNode* mp_pPrev = nullptr;
};

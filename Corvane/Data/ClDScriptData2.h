// One node of a data script: a tree of named values (arrays, floats, integers, texts and hash ids).
//
// The script manager (ClDScriptMgr2) builds one tree per compiled script; game code walks it by child name,
// by index or with the typed getters, and the expression evaluator walks reaction trees made of the same
// nodes. Names are compared by name hash only (KvStrHash), so letter case does not matter and the first
// child with a matching hash wins.
//
// A node owns its children, its name and its text. Destroy a tree with destroyTree on its root; a cached
// script tree is destroyed by the manager's terminate and must not be destroyed by its users. A tree loaded
// from a file lives in one block (nodes, child tables and texts), held by its root: its nodes may still be
// changed and given children (what changes then lives on the heap), but only the whole tree is destroyed.
//
// A numeric value may be given as a range: an array with children "Min" and "Max". getFloat on such a node
// draws one 32-bit word from the engine's random generator on every call (the draw counter rises by one),
// so the order of reads matters to replays.
//
// Misuse (a wrong value type, a missing child asked for with getChild, a bad index, a duplicate child name)
// stops the program with the engine's failure report. Main thread only.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/String.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

enum E_DSVT : i32 {
  E_DSVT_ARRAY = 0,
  E_DSVT_FLOAT = 1,
  E_DSVT_INT = 2,
  E_DSVT_STRING = 3,
  E_DSVT_HASH_ID = 4,
  E_DSVT_NONE = 5,  // a node that has no value yet
};

class ClDScriptData2 {
 public:
  // A new node: no parent, no name, no children, type E_DSVT_NONE. Allocated 16-byte aligned; null never
  // comes back (allocation failure is an assertion).
  static ClDScriptData2* create();
  // Frees the whole tree below and including pRoot (children first, then texts, names and nodes).
  static void destroyTree(ClDScriptData2* pRoot);

  // Construction and change.
  void setName(const char* hStr);
  void setString(const char* pVal);
  void setHashId(const char* hHashString, u32 uiHash);
  void setInt(i32 iValue);
  void setFloat(f32 fValue);
  // Makes the node an array (with room for iCapacity children); a text it held is freed.
  void setArray(i32 iCapacity = 8);
  // Appends a new named child of type E_DSVT_NONE; unless bSkipDuplicateCheck, a child of the same name
  // (by hash) already present is an assertion.
  ClDScriptData2* addChild(const char* pName, bool bSkipDuplicateCheck = false);
  // Appends a new unnamed child of type E_DSVT_NONE; the caller sets its parent when it needs one.
  ClDScriptData2* addUnnamedChild();
  // Adds fAmount to the FLOAT child of that name, creating it as FLOAT 0 first when missing.
  void addFloat(const char* pName, f32 fAmount);
  void setParent(ClDScriptData2* pParent) { mp_pParent = pParent; }
  // True for a node of a tree loaded from a file: it lives in the tree's block.
  bool isInBlock() const { return (m_uiBlockParts & E_BLOCK_NODE) != 0; }

  // Lookup by name hash. getChild stops the program when there is no such child; findChild answers null.
  ClDScriptData2* getChild(const char* pName) const;
  ClDScriptData2* findChild(const char* pName) const;
  i32 hasChild(const char* pName) const { return findChild(pName) != nullptr ? 1 : 0; }
  ClDScriptData2* findChildByHash(u32 uiHash) const;
  // The first HASH_ID child whose hash equals the identifier's hash, or null.
  ClDScriptData2* getChildWithIdentifier(const char* pIdentifier) const;
  ClDScriptData2* getChildAt(i32 iIndex) const;
  ClDScriptData2* getChildByIndex(i32 iIndex) const;
  // A child by an index the caller knows to be below getCount() (walks that run every frame).
  ClDScriptData2* getChildInRange(i32 iIndex) const { return mp_Children[iIndex]; }
  i32 getCount() const { return mp_Children.isInitialized() ? mp_Children.getCount() : 0; }

  // Typed getters; each asserts the node's type.
  const char* getString() const {
    KV_ASSERT(mp_eValueType == E_DSVT_STRING || mp_eValueType == E_DSVT_HASH_ID);
    return mp_Value.mp_pStringValue;
  }
  String getStringCopy() const { return String(getString()); }
  i32 getInt() const;
  f32 getFloatExact() const;
  f32 getNumber() const;
  // FLOAT or INT value, or a fresh random value between the children "Min" and "Max".
  f32 getFloat() const;
  kv_vector2 getVector2() const;
  kv_vector3 getVector3() const;

  ClDScriptData2* getParent() const { return mp_pParent; }
  E_DSVT getType() const { return mp_eValueType; }
  // The name, or null for an unnamed node.
  const char* getName() const { return mp_pNamedKey; }
  // The name for messages: "<UNNAMED>" for an unnamed node.
  const char* getDisplayName() const { return mp_pNamedKey ? mp_pNamedKey : "<UNNAMED>"; }
  u32 getNameHash() const { return mp_uiNameHash; }
  bool hasName() const { return mp_bHasName != 0; }
  // The stored hash of a HASH_ID node (no type check).
  u32 getHashValue() const { return mp_Value.mp_uiHash; }
  // Where the expression evaluator keeps the parsed form of this node's text (0: none yet). The evaluator checks
  // that the place still belongs to this node and text; a new text resets it.
  u32 getEvaluatorSlot() const { return m_uiEvaluatorSlot; }
  void setEvaluatorSlot(u32 uiSlot) const { m_uiEvaluatorSlot = uiSlot; }

 private:
  friend struct SKdsTreeBuilder;  // the file loader fills nodes directly
  // The parts of a node that lie in its tree's block and are not freed one by one.
  enum : u32 { E_BLOCK_NODE = 1, E_BLOCK_NAME = 2, E_BLOCK_TEXT = 4 };
  ClDScriptData2() = default;
  ~ClDScriptData2() = default;
  static ClDScriptData2* createChild(ClDScriptData2* pParent);
  void assertArray() const;
  void freeText();
  void freeName();

  ClDScriptData2* mp_pParent = nullptr;
  ClDynamicVector<ClDScriptData2*> mp_Children;  // initialised when the node becomes an array
  char* mp_pNamedKey = nullptr;
  u32 mp_uiNameHash = 0;
  u16 mp_bHasName = 0;
  u16 m_uiBlockParts = 0;  // E_BLOCK_ bits
  E_DSVT mp_eValueType = E_DSVT_NONE;
  mutable u32 m_uiEvaluatorSlot = 0;  // in the padding before the value: the node's size stays
  struct {
    char* mp_pStringValue = nullptr;
    union {
      f32 mp_fValue;
      i32 mp_iValue;
      u32 mp_uiHash = 0;
    };
  } mp_Value;
  void* mp_pBlock = nullptr;  // the root of a loaded tree: the block its nodes, tables and texts live in
};

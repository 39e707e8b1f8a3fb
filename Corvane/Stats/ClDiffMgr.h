// The difficulty manager: a holder for a difficulty table loaded from data (its archive reference, its
// asynchronous load, the table itself and a clock timer). The game only initialises and terminates it; its
// initialised flag tells the game's render hook that it is up. Main thread.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClSimpleHashTable;
class SAsyncAssetEntry;
struct SClockTimer;
struct SMagRef;

class ClDiffMgr {
 public:
  // The clock must be initialised first (assertion). Clears every reference and the path; sets the flag.
  static void initialize();
  // Releases whatever it holds: the table's entries (aligned blocks) and the table, the archive reference,
  // the asynchronous load and the timer; clears the flag.
  static void terminate();

  static bool mp_bInitialized;
  static SMagRef* mp_pMagRef;
  static SAsyncAssetEntry* mp_pAsyncEntry;
  static ClSimpleHashTable* mp_pTable;
  static SClockTimer* mp_pTimer;
  static char mp_szPath[KV_MAX_PATH_LEN];
};

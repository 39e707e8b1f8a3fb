// The engine's process-wide globals of fixed size (pools, stacks, container records) are built by static
// initialisation in one translation unit, in one fixed order, before the program body runs; nothing there
// allocates, opens a file or creates a system object. Each pool is valid and empty from then on, and the game's
// start-up lays several of them out again before first use. Every ClDynamicVector global starts zero-filled,
// its uninitialised state, and is initialised by its manager.
//
// After the program body has returned, the exit clean-up runs in the reverse order of construction: every pool
// gives all its frames back (the locks' sections are not deleted again) and every vector still initialised
// is terminated, and the asynchronous loader's queue is emptied (its head, tail and count cleared; the entries
// belong to their requesters). After a normal shutdown it finds nothing left to do.
#pragma once

#include "Corvane/Memory/ClGenericMemoryAllocator.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iNUM_GENERIC_ALLOCATORS = 3;

// Allocator objects without heaps; nothing in the program gives them a block.
extern ClGenericMemoryAllocator g_aGenericMemoryAllocators[gc_iNUM_GENERIC_ALLOCATORS];

// How many of the globals the exit clean-up covers are still in use (a pool with frames in use, a vector
// still initialised). *ppFirstName, when given, receives the name of the first one in construction order
// (null when none is).
i32 KvCountEngineGlobalsInUse(const char** ppFirstName = nullptr);

// The exit clean-up itself; runs by itself at process exit. Answers how many globals it found in use.
i32 KvEngineGlobalsExitCleanup();

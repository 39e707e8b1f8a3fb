// The engine's 32-bit name hash: every named thing (archive paths, data-script keys, settings, widgets,
// sounds, shaders, textures) is identified by it, and the data files store its values.
//
// The function must stay bit for bit as it is, or every data file becomes unreadable: a CRC-32 table walk
// (reflected polynomial 0xEDB88320) starting from 0 with no final complement, bit 5 of every byte cleared
// (so case does not matter, but neither do other bit-5 pairs: "/" hashes like 0x0F, a space like 0), and an
// arithmetic shift of the signed accumulator (ones come in from the top once the top bit is set).
// "\" and "/" hash differently; internal paths always use "\".
//
// The text must not be null (callers check their pointers); the empty string hashes to 0. Any thread.
#pragma once

#include "Corvane/System/KvTypes.h"

u32 KvStrHash(const char* pText);

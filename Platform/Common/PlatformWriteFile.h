// Opening a file a stand-in writes straight to (a texture saved, the mix written as WAV): a new file, or a regular
// one that is there, emptied. Nothing here ever blocks: a pipe with no reader, a device or a socket in its place is
// opened without waiting (O_NONBLOCK) and refused before a byte is written, and so is a folder or a symlink loop.
// The problems are the file door's (PlatformFiles.h), read after the file's name with PlatformDescribeFileProblem.
//
// Any thread; nothing is shared.
#pragma once

#include "Platform/Common/PlatformFiles.h"

// The descriptor (close-on-exec, writes block as usual, the file empty) of the regular file at pPath, made with mode
// 0666 less the umask when it is not there; the caller closes it. -1 with the problem otherwise.
int PlatformOpenFileForWriting(const char* pPath, SPlatformFileProblem* pProblem);

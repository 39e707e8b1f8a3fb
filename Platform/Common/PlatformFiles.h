// The one door through which the stand-ins and the offline tools open a file to read it, and through which a
// stand-in opens a file it writes straight to (a texture saved, the mix written as WAV). Only a regular file (or a
// symlink to one) opens; anything else is refused at once with the reason, and nothing here ever blocks: a pipe
// without a writer (or, to write, without a reader), a terminal or a device is opened without waiting (O_NONBLOCK)
// and refused before a byte is read or written. A whole-file read takes the caller's bound on what the file can be,
// so a file that never ends (a device such as /dev/zero behind a symlink is refused anyway) cannot take the memory.
//
// Reasons read after the file's name and say what is there instead of a file: "is a folder", "is a symlink loop",
// "is a pipe", "is a socket", "is a character device", "is a block device"; or "does not exist", "cannot be opened:
// <system text>", "cannot be read: <system text>", "is larger than N bytes".
//
// Any thread; nothing is shared.
#pragma once

#include <fcntl.h>

#include <cstddef>
#include <string>

enum class EPlatformFileProblem {
  None,
  Missing,      // nothing of that name, or a folder on its way is missing
  Folder,
  SymlinkLoop,  // the name, or a folder on its way, is a symlink that leads back to itself
  Pipe,         // a FIFO
  Socket,
  CharacterDevice,
  BlockDevice,
  CannotOpen,   // the system refused the open (no permission ...): iErrno says why
  CannotRead,   // a read failed: iErrno says why
  TooLarge,     // more bytes than the caller's bound: uiLimit
};

struct SPlatformFileProblem {
  EPlatformFileProblem eKind = EPlatformFileProblem::None;
  int iErrno = 0;
  std::size_t uiLimit = 0;
};

// Opens the regular file at pPath (a relative path from iDirFd, the current folder by default) for reading. The
// descriptor answered is close-on-exec and reads block as usual; the caller closes it. -1 with the problem when the
// path is not a regular file or cannot be opened.
int PlatformOpenRegularFile(const char* pPath, SPlatformFileProblem* pProblem, int iDirFd = AT_FDCWD);

// Opens the regular file at pPath for writing, emptied, or makes it with mode 0666 less the umask when it is not
// there. The descriptor is close-on-exec and writes block as usual; the caller closes it. -1 with the problem when
// something else (a folder, a pipe, a symlink loop ...) is in its place or the file cannot be opened.
int PlatformOpenFileForWriting(const char* pPath, SPlatformFileProblem* pProblem);

// What a file of this st_mode is when it is not a regular file (Folder, Pipe, ...), None when it is one. A writer
// that finds something in the place of its output says it with the same words.
EPlatformFileProblem PlatformFileKind(unsigned int uiMode);

// The problem as it reads after the file's name ("is a symlink loop").
std::string PlatformDescribeFileProblem(const SPlatformFileProblem& problem);

// The bytes of the regular file at path, which may hold at most uiMaxBytes; false with the problem (and pBytes
// empty) otherwise.
bool PlatformReadRegularFile(const std::string& path, std::size_t uiMaxBytes, std::string* pBytes,
                             SPlatformFileProblem* pProblem);

// What the parts of the archive reader share: the tables of contents and their slots (ClMagFileIO.cpp), the
// synchronous reads through decryption and inflate (ClMagFileIORead.cpp), the asynchronous path
// (ClMagFileIOAsync.cpp) and the reuse of read buffers (ClMagFileIOBuffers.cpp). The contract of the reader is in
// ClMagFileIO.h; these are the steps each part takes from another. Main thread, as the reader; not for use outside
// those files.
#pragma once

#include "Corvane/Files/ClMagFileIO.h"

namespace KvMag {

// --- Tables of contents and slots (ClMagFileIO.cpp) ---

// Reports a problem of data or environment on standard error and keeps it for getLastProblem.
void reportProblem(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));
// Keeps a problem for getLastProblem without printing it: a file missing where a caller may only have probed for
// it, or a failure the file layer has printed already.
void noteProblem(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));
// Why ClFileIO::open answered iCode: "it does not exist", "it is empty", "it cannot be read (<the system's
// reason>)".
void describeOpenFailure(i32 iCode, char* pText, u32 uiSize);
// Whether anything is at the path: a file that is there but cannot be read (or is empty) is.
bool isOnDisk(const char* pPath);
// Says why the archive's data file could not be opened (iCode from ClFileIO::open).
void reportDataFileNotOpened(const ClMagTOC* pTOC, i32 iCode);
// Keeps, without printing, why a loose file could not be opened (callers probe for loose files that may be
// missing): for a path found nowhere, the tables of contents that lack it.
void noteLooseFileNotOpened(const char* pPath, i32 iCode);
// Whether uiSize bytes at uiOffset lie within uiLimit bytes, without overflow.
bool fitsIn(u64 uiOffset, u64 uiSize, u64 uiLimit);
// The slot of an archive by name hash, loaded or not; null when it has none.
ClMagTOC* findSlot(u32 uiNameHash);
// The data-info of a path, its archive and its name hash; null when no loaded table of contents holds it. The
// path is hashed where it lies, from past the data root (callers have checked its length).
const ClMagDataInfo* lookUpPath(const char* pFilenameWithPath, ClMagTOC** ppOwningTOC, i32* pNameHash);
bool pathTooLong(const char* pPath);
// An archive left on disk keeps the data file of its last closed reference open for the next one; this closes it.
void closeIdleDataFile(ClMagTOC* pTOC);
// Closes a kept data file when every record of the file layer is taken, so that a file can be opened.
void freeFileRecord();
// ClFileIO::open, with a file record freed first.
i32 openFile(const char* pPath, u64* puiSize, Win32FileData** ppFile);
// The archive's data file: the one it kept, or a newly opened one.
i32 openDataFile(ClMagTOC* pTOC, u64* puiSize, Win32FileData** ppFile);

// --- References and synchronous reads (ClMagFileIORead.cpp) ---

// A reference from the pool, in use; null (said) when every one is taken.
SMagRef* takeRef();
void giveRefBack(SMagRef* pRef);
// Gives the reference's destination (unless it is the archive in memory) and staging buffers back.
void freeOwnBuffers(SMagRef* pRef);
// Whether the entry's stored bytes lie inside a data file of uiDataSize bytes; says so when not.
bool entryInsideData(const ClMagTOC* pTOC, const ClMagDataInfo* pInfo, i32 iNameHash, u64 uiDataSize);
// Compressed or encrypted: read through the staging steps, never straight into place.
bool isEncoded(const ClMagDataInfo* pInfo);
// Reads min(asked, available) bytes and zero-fills the rest of the asked size.
u32 boundedSize(u32 uiAsked, u32 uiAvailable);
void zeroTail(u8* pBuffer, u32 uiFilled, u32 uiAsked);

// --- Read buffers (ClMagFileIOBuffers.cpp) ---

// A block of at least uiBytes at the alignment (its capacity in *puiCapacity); null when the heap refuses.
u8* takeBuffer(u32 uiBytes, u32 uiAlignment, u32* puiCapacity);
// Keeps a block for a later read, or frees it.
void giveBufferBack(u8* pBlock, u32 uiCapacity);
void freeSpareBuffers();

}  // namespace KvMag

// Whole-file reads of data files for the text and script loaders: the archive reader's call sequence
// (open, allocate buffers, read, close the disk file; close the reference when done), in one place.
//
// The path is a full path as the loaders build it: the data root, then the file's path with "\" separators.
// A successful read hands out the bytes (16-byte aligned) until KvReleaseDataFile, which closes the reference
// (freeing the buffer). Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

enum E_DATA_READ : i32 {
  E_DATA_READ_OK = 0,
  E_DATA_READ_CANNOT_OPEN,  // no archive entry and no loose file of that path
  E_DATA_READ_NO_BUFFER,    // the read buffer could not be allocated
  E_DATA_READ_FAILED,       // the read itself failed
};

struct SDataFileRead {
  const u8* mp_pBytes = nullptr;
  u32 mp_uiSize = 0;
  void* mp_pReference = nullptr;                 // the reader's reference while the bytes are held
  void (*mp_pfnRelease)(void*) = nullptr;        // closes that reference
  bool mp_bHeld = false;
};

// The data root every loader puts in front of its paths.
const char* KvGetDataRootPath();
// Why the last read that failed failed, naming the file on disk (the archive reader's reason).
const char* KvGetDataFileProblem();
// Where the file of pPath lives on disk, for a line about bytes that were read and refused (the archive reader's
// ClMagFileIO::describeLocation). Answers pText.
const char* KvDescribeDataFileLocation(const char* pPath, char* pText, u32 uiSize);

// Reads pPath whole through the engine's file reader. On success *pRead holds the bytes; on failure nothing
// is held.
E_DATA_READ KvReadDataFile(const char* pPath, SDataFileRead* pRead);

// Closes the reference of a successful read; a read that holds nothing is ignored.
inline void KvReleaseDataFile(SDataFileRead* pRead) {
  if (pRead->mp_bHeld) {
    pRead->mp_pfnRelease(pRead->mp_pReference);
  }
  *pRead = SDataFileRead{};
}

// The read sequence over a reader type TReader with a reference type TReader::Ref and the static calls
//   i32 open(const char* path, u32* pSize, Ref** ppRef)        0 on success
//   i32 allocReadBuffers(Ref* pRef, u32 bytes, u32 alignment)   1 when the buffers exist
//   i32 read(Ref* pRef, u32 bytes)                              0 on success
//   i32 closeFileHandle(Ref* pRef)                              closes only the disk file
//   i32 close(Ref* pRef)                                        frees the buffer, gives the reference back
//   const u8* destination(Ref* pRef)                            the loaded bytes, between read and close
// A failed buffer allocation or read gives the reference back at once.
template <typename TReader>
E_DATA_READ KvReadDataFileWith(const char* pPath, SDataFileRead* pRead) {
  *pRead = SDataFileRead{};
  typename TReader::Ref* pRef = nullptr;
  u32 uiSize = 0;
  if (TReader::open(pPath, &uiSize, &pRef) != 0 || pRef == nullptr) {
    return E_DATA_READ_CANNOT_OPEN;
  }
  if (!TReader::allocReadBuffers(pRef, uiSize, 16)) {
    TReader::close(pRef);
    return E_DATA_READ_NO_BUFFER;
  }
  if (TReader::read(pRef, uiSize) != 0) {
    TReader::closeFileHandle(pRef);
    TReader::close(pRef);
    return E_DATA_READ_FAILED;
  }
  TReader::closeFileHandle(pRef);
  pRead->mp_pBytes = TReader::destination(pRef);
  pRead->mp_uiSize = uiSize;
  pRead->mp_pReference = pRef;
  pRead->mp_pfnRelease = [](void* p) { TReader::close(static_cast<typename TReader::Ref*>(p)); };
  pRead->mp_bHeld = true;
  return E_DATA_READ_OK;
}

// Whole-file reads of data files for the text and script loaders: the open, allocate, read and close
// sequence of the archive reader, in one place.
//
// The path is a full path as the loaders build it: the data root, then the file's path with "\" separators.
// A successful read hands out the bytes (16-byte aligned) until KvReleaseDataFile, which frees them and
// gives the archive reference back. Main thread only.
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
  void* mp_pReference = nullptr;  // the archive reader's reference while the bytes are held
  bool mp_bHeld = false;
};

// The data root every loader puts in front of its paths ("./" unless the data paths say otherwise).
const char* KvGetDataRootPath();

// Opens, reads whole and closes the disk file behind pPath. On success *pRead holds the bytes; on failure
// nothing is held.
E_DATA_READ KvReadDataFile(const char* pPath, SDataFileRead* pRead);
// Frees the bytes and releases the reference of a successful read; a read that holds nothing is ignored.
void KvReleaseDataFile(SDataFileRead* pRead);

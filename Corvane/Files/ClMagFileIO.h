// Mag archives: every data file of the game is found by the name hash of its path below the data root and
// served from an archive, or read as a loose file on disk when no loaded archive holds it.
//
// An archive NAME (e.g. "RWN") is a pair of files in the data root, or under "Mag/" in it:
//   NAME_win32.mtc  table of contents, loaded whole and kept as its file image;
//   NAME_win32.mdf  data: the stored bytes of every entry, no header. Loaded whole into memory (loadDataFile;
//                   entries are then served from memory) or left on disk (entries are read on demand).
// The reader first tries "<root>NAME_win32.mdf"; when that does not open it takes "<root>Mag/NAME_win32.mdf"
// and the table of contents from "<root>Mag/" as well. With the data file in neither place the table of
// contents is taken from where it is (the root first), and the data file is looked for beside it, so that
// the message about it names the file that is missing. Built paths use "\" separators.
//
// Table of contents, little-endian, offsets from the start of the .mtc; offsets may be any byte offset (the
// packer aligns each block to 16):
//   offset  size  field
//   0       4     u32 offset of the record-offset table
//   4       4     reserved (0)
//   8       4     i32 number of entries N (0 or more)
//   table   4N    u32 offset of each record; records in ascending order of name hash compared as SIGNED i32
//   record  12    u32 offset of the entry's data-info, u32 reserved (0), i32 name hash of the entry's path
//   info    28    ClMagDataInfo (below)
// Stored bytes of an entry at its data offset in the .mdf (the packer aligns them to 16):
//   plain                    final size bytes;
//   compressed               a zlib stream of compressed size bytes;
//   encrypted                AES-128-CBC ciphertext of encrypted size bytes (a multiple of 16, at most the final
//                            size and less than a block short of it; the packer makes it equal; bytes of the
//                            entry past it read as zeros);
//   compressed and encrypted the ciphertext of the zlib stream padded with zeros to whole blocks: decrypt
//                            encrypted size bytes, then inflate the first compressed size bytes.
// Key and initialisation vector: see ClCrypto.h. A key is registered per archive name (setArchiveKey) before
// its table of contents loads; loading a table with encrypted entries and no key is a fatal error.
//
// Every table is checked whole when it loads (the game and the archive tool alike): the entry count must not be
// negative, the header, the table, each record and each data-info must lie inside the file, the records' name hashes
// must be strictly ascending (no name twice), no two entries' stored bytes may overlap (two records may name the same
// stored bytes exactly, the same offset and stored size, when neither is encrypted: one content under two names, each
// read as its own data-info says), each entry's stored bytes must lie inside its data file (when that opens), and each
// entry's sizes must agree with its flags, so that the final size (what a read allocates) is what the stored bytes can
// give: compressed size 1 to final size, and the final size at most 1032 times the compressed size (zlib's largest
// ratio); encrypted size a non-zero multiple of 16 at most the final size, and with compression at least the compressed
// size, without it less than 16 below the final size. A table that fails is refused (loadTOC answers 0) with one line
// on standard error naming the file (the .mtc, or the .mdf with the .mtc when the entries do not fit the data file),
// the entries' name hashes and what is wrong. The records' name hashes and data-infos are copied into side tables at
// load, so the image is never read through a pointer it holds.
//
// Sizes: files are measured in 64 bits. A table of contents, a loose file or a data file loaded whole must stay below
// 4 GiB (gc_uiMAG_MAX_LOADED_FILE); a larger data file is not loaded whole (loadDataFile answers 0 and says so) and its
// entries, which may lie anywhere in its first 8 GiB, are read from disk on demand. An entry whose stored bytes do not
// lie inside its data file is refused when it is opened (15), and an entry that does not decrypt and inflate to exactly
// its final size is refused when it is read (15).
//
// Reading a file: open (size and reference), allocReadBuffers (with that size and alignment 16), read, then
// take the bytes from mp_pDestinationBuffer, then close. Asking for more than the final size zero-fills the
// rest. A plain entry of an archive in memory, asked for with exactly its final size, is served without a
// copy: the buffer points into the archive (kind 0) and close does not free it. A caller that keeps the bytes
// of an own buffer takes the pointer and clears the field before close. Synchronous reads decrypt and then
// decompress; the asynchronous variants (for ClAsyncAssetLoaderMgr only) serve plain entries only.
//
// An archive left on disk keeps the data file of its last closed reference open for its next reference, so
// reading its entries one after another opens the file once; a kept file is closed whenever the file layer's
// records (two) are all taken and another file is to be opened, when its archive is unloaded, at shutdown, and
// by closeIdleFiles. Counts of open files (ClFileIO::getOpenFileCount) include kept ones.
//
// Every problem of data or environment is one line on standard error, the last of which getLastProblem keeps. A
// file that is not there is told apart from one that is there and cannot be read (with the system's reason). A
// failed open of a path that is neither in an archive nor on disk is not printed (callers probe for files that may
// be missing), but getLastProblem tells it, naming the tables of contents that lack it.
// Read buffers start on a cache line (the copy of a read into them is fastest there); those of closed
// references are kept and handed out again (a few, of at most 4 MiB), so reading an archive entry after entry
// does not allocate each time.
//
// Main thread only: the pools are not locked.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/ClPool.h"
#include "Corvane/ADT/ClSortedHashIndex.h"
#include "Corvane/Files/ClCrypto.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/System/KvTypes.h"

#include <cstddef>

struct SMagTOCHeader {
  u32 mp_uiRecordTableOffset;
  u32 mp_uiReserved;
  i32 mp_iNumEntries;
};
static_assert(sizeof(SMagTOCHeader) == 12);
static_assert(offsetof(SMagTOCHeader, mp_iNumEntries) == 8);

struct SMagTOCRecord {
  u32 mp_uiDataInfoOffset;
  u32 mp_uiReserved;
  i32 mp_iNameHash;
};
static_assert(sizeof(SMagTOCRecord) == 12);
static_assert(offsetof(SMagTOCRecord, mp_iNameHash) == 8);

struct ClMagDataInfo {
  u32 mp_uiCompressed;      // non-zero: the stored bytes are (or, when encrypted, hide) a zlib stream
  u32 mp_uiEncrypted;       // non-zero: the stored bytes are AES-CBC ciphertext
  u32 mp_uiDataOffset;      // of the stored bytes in the .mdf
  u32 mp_uiReserved;
  u32 mp_uiFinalSize;       // after decryption and decompression: the size open reports
  u32 mp_uiCompressedSize;  // of the zlib stream
  u32 mp_uiEncryptedSize;   // of the ciphertext

  // Bytes the entry takes in the .mdf.
  u32 getStoredSize() const {
    return mp_uiEncrypted ? mp_uiEncryptedSize : (mp_uiCompressed ? mp_uiCompressedSize : mp_uiFinalSize);
  }
};
static_assert(sizeof(ClMagDataInfo) == 28);
static_assert(offsetof(ClMagDataInfo, mp_uiDataOffset) == 8);
static_assert(offsetof(ClMagDataInfo, mp_uiFinalSize) == 16);
static_assert(offsetof(ClMagDataInfo, mp_uiEncryptedSize) == 24);

inline constexpr i32 gc_iMAX_MAG_ARCHIVES = 32;
inline constexpr i32 gc_iMAX_MAG_REFS = 768;
inline constexpr u32 gc_uiMAG_ALIGNMENT = 16;
// The largest table of contents, loose file or data file that is read whole: one read of 32-bit size.
inline constexpr u32 gc_uiMAG_MAX_LOADED_FILE = 0xFFFFFFFFu;
// Archive file names: NAME + "_" + platform + extension.
inline constexpr const char* gc_pMAG_PLATFORM_SUFFIX = "_win32";
inline constexpr const char* gc_pMAG_TOC_EXTENSION = ".mtc";
inline constexpr const char* gc_pMAG_DATA_EXTENSION = ".mdf";
inline constexpr const char* gc_pMAG_SUBFOLDER = "Mag/";

// Called when an archive's table of contents or data file is unloaded.
struct SMagUnloadCallback {
  void (*mp_pfnCallback)(void* pArgument);
  void* mp_pArgument;
};

// One loaded archive (a slot of g_MagTOCPool).
class ClMagTOC {
 public:
  u32 mp_bTOCLoaded = 0;
  u8* mp_pTOC = nullptr;  // the table of contents file image, 16-byte aligned, checked at load
  u32 mp_bDataLoaded = 0;
  u8* mp_pData = nullptr;  // the whole data file, 16-byte aligned, or null
  u32 mp_uiNameHash = 0;   // of the archive name: the key of the slot
  ClDynamicVector<SMagUnloadCallback> mp_unloadTOCCallbacks;
  ClDynamicVector<SMagUnloadCallback> mp_unloadDataCallbacks;
  u8 mp_aucKey[gc_iCRYPTO_KEY_SIZE] = {};
  char mp_szDataFilePath[KV_MAX_PATH_LEN] = {};
  char mp_szTOCFilePath[KV_MAX_PATH_LEN] = {};
  u32 mp_bUnderMagFolder = 0;
  u32 mp_uiTOCSize = 0;
  u32 mp_uiDataSize = 0;   // of the data file in memory
  i32 mp_iNumEntries = 0;  // 0 for a negative count
  u32 mp_uiRecordTableOffset = 0;
  Win32FileData* mp_pIdleDataFile = nullptr;  // the data file kept open between references (archive on disk)
  u64 mp_uiIdleDataFileSize = 0;
  i32* mp_piNameHashes = nullptr;    // the records' name hashes in table order, for a search that stays in cache
  ClMagDataInfo* mp_pInfos = nullptr;  // the records' data-infos in table order, copied out of the image
  ClSortedHashIndex mp_nameIndex;      // name hash -> record, as the ascending binary search over them answers
};

enum E_MAG_REF_KIND : i32 {
  E_MAG_REF_IN_MEMORY = 0,  // entry of an archive in memory, served without a copy
  E_MAG_REF_OWN_BUFFER = 1,  // entry copied or read into an own buffer
  E_MAG_REF_LOOSE = 2,       // loose file on disk
};

struct SMagRef;
// Completions of the asynchronous variants: step 2 open (size = final size), 3 read, 4 close; failures give
// the operation 7 open, 9 read or 8 close and the code.
inline constexpr i32 gc_iMAG_ASYNC_OPERATION_OPEN = 7;
inline constexpr i32 gc_iMAG_ASYNC_OPERATION_CLOSE = 8;
inline constexpr i32 gc_iMAG_ASYNC_OPERATION_READ = 9;
typedef void (*MagAsyncStepCallback)(SMagRef* pRef, i32 iStep, u32 uiSize, void* pUser);
typedef void (*MagAsyncErrorCallback)(SMagRef* pRef, i32 iOperation, u32 uiCode, void* pUser);

// One open file (a slot of g_MagRefPool).
struct SMagRef {
  u8* mp_pDestinationBuffer = nullptr;  // where the loaded bytes end up
  u8* mp_pStagingBuffer = nullptr;      // ciphertext or zlib stream on their way
  i32 mp_eKind = E_MAG_REF_IN_MEMORY;
  Win32FileData* mp_FileHandle = nullptr;
  const ClMagDataInfo* mp_pMagDataInfo = nullptr;
  ClMagTOC* mp_pOwningMagTOC = nullptr;
  MagAsyncStepCallback mp_pfnAsyncStepCallback = nullptr;
  void* mp_pAsyncStepUser = nullptr;
  MagAsyncErrorCallback mp_pfnAsyncErrorCallback = nullptr;
  void* mp_pAsyncErrorUser = nullptr;
  u32 mp_bInUse = 0;
  i32 mp_iNameHash = 0;        // of the entry's path, for its initialisation vector
  u64 mp_uiDiskFileSize = 0;   // of the open data or loose file
  u32 mp_uiBufferSize = 0;     // of an own destination buffer, as asked
  u32 mp_uiBufferCapacity = 0;   // of the block behind it
  u32 mp_uiStagingCapacity = 0;  // of the staging block
};

// The two pools: static globals, laid out at construction and again by initTOCPool/initRefPool.
extern ClPool<ClMagTOC, gc_iMAX_MAG_ARCHIVES> g_MagTOCPool;
extern ClPool<SMagRef, gc_iMAX_MAG_REFS> g_MagRefPool;

class ClMagFileIO {
 public:
  // Lay the archive pool and the reference pool out again: every slot free, count 0.
  static void initTOCPool();
  static void initRefPool();

  // Registers the key of an archive by name (1 to 15 characters; anything else is an assertion); an empty or
  // null key removes it. Takes effect at the archive's next loadTOC.
  static void setArchiveKey(const char* pArchiveName, const char* pKeyText);

  // Loads an archive's table of contents. 1 when loaded; 0 when already loaded, when 32 archives are loaded,
  // or when the file is missing, unreadable or damaged (the slot is given back).
  static i32 loadTOC(const char* pTOCName);
  // Whether the archive's table of contents is on disk (in the data root or under "Mag/"): a table that is there
  // and refused, or cannot be read, is damaged, not missing.
  static bool archiveIsPresent(const char* pTOCName);
  // Loads the whole data file of a loaded archive into memory. 1 when done; 0 when the archive is unknown, its
  // data is already loaded, or the file could not be opened or read, is 4 GiB or more, or does not fit in
  // memory (its entries are then read from disk, as for an archive whose data was never loaded).
  static i32 loadDataFile(u32 uiNameHash);
  // Whether the data file of a loaded archive opens (it is then kept open for the next reference); when it does
  // not, getLastProblem says why. An archive whose data file was not loaded whole and does not open is damaged.
  static bool dataFileOpens(u32 uiNameHash);
  // 1 when done, 0 when the archive is unknown. Runs the archive's unload callbacks of that part first; the
  // slot is given back once neither part is loaded. No reference into the archive may be open.
  static i32 unloadTOC(u32 uiNameHash);
  static i32 unloadDataFile(u32 uiNameHash);
  // Closes every open reference, unloads every archive and empties both pools.
  static void shutdown();
  // Adds a callback run when the archive's table of contents (bDataFile false) or data file is unloaded.
  // 1, or 0 when the archive is unknown.
  static i32 addUnloadCallback(u32 uiNameHash, bool bDataFile, void (*pfnCallback)(void*), void* pArgument);

  // Opens a file by its full path (data root + path with "\" separators). 0 with the size and a reference;
  // 2 for a path of 768 characters or more, 3 when all 768 references are in use, 15 when the entry's stored
  // bytes lie outside its data file, 16 for a loose file of 4 GiB or more, else the ClFileIO::open code of the
  // data or loose file (1: no such file).
  static i32 open(const char* pFilenameWithPath, u32* pOutSize, SMagRef** ppOutRef);
  // Allocates the destination (numberOfBytesToRead bytes at the alignment) and, for compressed or encrypted
  // entries, the staging buffer of the stored bytes (none for an entry that is only encrypted: it is
  // decrypted in its destination). 1, or 0 for a null or closed reference or a failed allocation.
  static i32 allocReadBuffers(SMagRef* pRef, u32 numberOfBytesToRead, u32 uiAlignment);
  // Brings the file's bytes into the destination. 0; 2 null reference; 12 reference not open; 15 the entry
  // could not be decoded; else the ClFileIO::read code.
  static i32 read(SMagRef* pRef, u32 numberOfBytesToRead);
  // Closes the disk file only (an archive's data file is kept by the archive for its next reference, see
  // above). 2 null, 12 not open, 0 when no file is open or it was kept, else the ClFileIO::close code.
  static i32 closeFileHandle(SMagRef* pRef);
  // Frees an own destination and staging buffer, closes any disk file and gives the reference back. 1; 2 for
  // null; 12 for a reference that is no longer open (closed, or given back by shutdown), which is left alone.
  static i32 close(SMagRef* pRef);
  // 1 when a loaded table of contents holds the path; else, with allowLoose non-zero, whether the file exists
  // on disk; else 0.
  static i32 fileExists(const char* pFilenameWithPath, i32 allowLoose);
  // The entry's data-info and its archive (null and null when no loaded archive holds the path).
  static const ClMagDataInfo* findOwningTOC(ClMagTOC** ppOwningTOC, const char* pFilenameWithPath);

  // Asynchronous variants, one file at a time, for ClAsyncAssetLoaderMgr only: the reference they work on is
  // the loader's current reference, and they report to the loader's step callbacks. Only plain entries can be
  // read this way (15 for others).
  static i32 openAsync(const char* pFilenameWithPath);
  static i32 readAsync(u32 numberOfBytesToRead);
  static i32 closeAsync();

  // Looking into loaded archives (the archive tool, tests): the slot of an archive name hash (null when not
  // loaded), its entry count, the i-th entry in table order with its name hash, and opening an entry found so.
  static ClMagTOC* findTOC(u32 uiNameHash);
  static i32 getEntryCount(const ClMagTOC* pTOC);
  static const ClMagDataInfo* getEntry(const ClMagTOC* pTOC, i32 iIndex, i32* pOutNameHash);
  static i32 openEntry(ClMagTOC* pTOC, const ClMagDataInfo* pInfo, i32 iNameHash, u32* pOutSize, SMagRef** ppOutRef);
  // Number of references in use.
  static i32 getOpenRefCount();
  // Why the last open, read, buffer allocation or archive load that failed failed, naming the file on disk (the
  // archive's data or table file with the entry's name hash, or the loose file; for a path found nowhere, "it is
  // not in the archive[s] [<.mtc>], ... and not on disk"): what a caller that cannot go on adds to its message.
  // "" before the first failure.
  static const char* getLastProblem();
  // Where the file of a full path lives on disk, for a line that names it: "entry [<path below the data root>] of Mag
  // data file [<.mdf>]" for an entry of a loaded archive, "loose file [<host path>]" for a file on disk, else
  // "[<path>], which is not in the archive[s] [<.mtc>], ... and not on disk". Answers pText, cut to uiSize bytes.
  // What every loader adds to a line about a file whose bytes it read and refused.
  static const char* describeLocation(const char* pFilenameWithPath, char* pText, u32 uiSize);
  // Closes the data files that archives keep open between references.
  static void closeIdleFiles();
};

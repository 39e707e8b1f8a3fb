// The engine's only road to files on disk: open for reading, overlapped reads whose completions run on the
// issuing thread during its alertable waits, close, existence tests and directory creation. It never writes.
//
// Main thread only (the file lock below is the one exception). A file is handed around as a pointer to its
// Win32FileData record; at most two files are open at once (a third open is the assertion
// "g_Win32FileDataPool could not be allocated!"), and each file has at most one read in flight.
//
// Sizes and file positions are 64-bit; a single request reads at most 1 MiB and a whole read at most 4 GiB - 1.
// Reads go straight into caller buffers, which must be 16-byte aligned. A single read (readAsync) is at most
// 1 MiB; a callback read (readAsyncWithCallbacks) of any size is issued as consecutive 1 MiB requests, each
// started by the completion of the one before; a blocking read (read) issues 1 MiB requests and waits for each
// with alertable zero waits, so completions of other reads queued to this thread run there as well.
//
// Every operation answers a result code (E_FILE_RESULT). A failed ReadFileEx or CloseHandle also shows the
// system's error box ("failed with error %d: %s"); every failure of a read names the file in one line on standard
// error. A failed open says nothing (callers probe for files that may be missing): getLastOpenError tells why.
// Callbacks of a callback read run inside an alertable wait of the thread that issued it; exactly one of them runs
// for every read that started (a read that fails at any chunk reports its error).
#pragma once

#include "Corvane/System/KvTypes.h"

class ClMutexLock;
struct Win32FileData;

// Result codes of file and archive operations. The archive reader (ClMagFileIO) uses the same numbering.
enum E_FILE_RESULT : i32 {
  E_FILE_OK = 0,
  E_FILE_CANNOT_OPEN = 1,          // CreateFileA failed (no such file, no permission, not a file ...)
  E_FILE_BAD_ARGUMENT = 2,         // empty, null or too long a path; a null archive reference
  E_FILE_NO_REFERENCE = 3,         // every archive reference is in use
  E_FILE_READ_REFUSED = 9,         // ReadFileEx refused to start the read
  E_FILE_READ_FAILED = 10,         // a started read completed with an error or with fewer bytes than asked
  E_FILE_CLOSE_FAILED = 11,        // CloseHandle failed (the file is gone all the same)
  E_FILE_REFERENCE_NOT_IN_USE = 12,  // the archive reference is not open
  E_FILE_EMPTY = 13,               // the file has size 0; it is closed again
  E_FILE_DIRECTORY_NOT_CREATED = 14,
  E_FILE_DAMAGED = 15,             // an archive entry lies outside its data file or could not be decoded
  E_FILE_TOO_LARGE = 16,           // a file whose size does not fit where it is to go (4 GiB and more)
};

inline constexpr u32 gc_uiFILE_IO_CHUNK_SIZE = 1048576;
inline constexpr i32 gc_iMAX_OPEN_FILES = 2;

class ClFileIO {
 public:
  // Success of openWithCallbacks: (file, file size, user).
  typedef void (*OpenSuccessCallback)(Win32FileData* pFile, u64 uiFileSize, void* pUser);
  // Success of readAsyncWithCallbacks: (file, user).
  typedef void (*ReadSuccessCallback)(Win32FileData* pFile, void* pUser);
  // End of closeWithCallbacks: (file, user). The record is back in the pool when this runs.
  typedef void (*CloseEndCallback)(Win32FileData* pFile, void* pUser);
  // Every failure: (file or null, code, user). A failed read hands over the Win32 error code of its completion
  // (ERROR_HANDLE_EOF for a read that came back short); opens and closes hand over their result code.
  typedef void (*ErrorCallback)(Win32FileData* pFile, u32 uiCode, void* pUser);

  // Lays out the pool of file records and creates the file lock ("ClFileIO::initialize() -> Unable to create
  // mutex lock for file I/O system!" when the lock pool has none left). The lock pool must be set up. 0.
  static i32 initialize();
  // Closes every file still open, gives every record back and destroys the file lock. 1.
  static i32 shutdown();

  // Opens an existing file for sequential overlapped reading. 0 with the size and the file; 2 for a null or
  // empty path or one of 768 characters or more (nothing is touched); 1 when the file cannot be opened;
  // 13 for an empty file (closed again).
  static i32 open(const char* pPath, u64* pOutSize, Win32FileData** ppOutFile);
  // open, then successCallback(file, size, successUser) on 0 or errorCallback(file or null, code, errorUser);
  // both run before the call returns. Returns the code of open.
  static i32 openWithCallbacks(const char* pPath, OpenSuccessCallback successCallback, void* pSuccessUser,
                               ErrorCallback errorCallback, void* pErrorUser);
  // Closes the file; the record goes back to the pool whatever the outcome. 0, or 11 when CloseHandle failed.
  static i32 close(Win32FileData* pFileData);
  // close, then EndCallback(file, endUser) on 0 or ErrorCallback(file, code, errorUser). Returns the code.
  static i32 closeWithCallbacks(Win32FileData* pFileData, CloseEndCallback EndCallback, void* pEndUser,
                                ErrorCallback ErrorCallback, void* pErrorUser);

  // Starts one read of 1 to 1048576 bytes at the offset, with no callbacks; its completion runs in a later
  // alertable wait of this thread. More than 1 MiB is a fatal error. 0 when started, 9 when ReadFileEx
  // refused (a read that starts at or past the end of the file among others).
  static i32 readAsync(Win32FileData* pFileData, u64 uiOffset, u32 numberOfBytesToRead, void* destinationBuffer);
  // Starts a read of any size, issued as 1 MiB requests at consecutive positions; one of the callbacks runs
  // when the whole read has completed or any request has failed. 0 or 9.
  static i32 readAsyncWithCallbacks(Win32FileData* pFileData, u64 uiOffset, u32 numberOfBytesToRead,
                                    void* destinationBuffer, ReadSuccessCallback successCallback,
                                    void* pSuccessUser, ErrorCallback errorCallback, void* pErrorUser);
  // Reads and waits. 0 when every byte arrived; otherwise the first failure: 9, or 10 when a request
  // completed with an error or short (past the end of the file).
  static i32 read(Win32FileData* pFileData, u64 uiOffset, u32 numberOfBytesToRead, void* destinationBuffer);

  // Why the last open that answered 1 failed: the system's error code CreateFileA left (ERROR_FILE_NOT_FOUND,
  // ERROR_ACCESS_DENIED, ...). Main thread, as open.
  static u32 getLastOpenError();
  // Whether an open's error code says nothing is at the path (no such file, or a folder on its way missing), as
  // against a file that is there and cannot be read.
  static bool isNotFoundError(u32 uiError);
  // Whether an open's error code says the path is there and is no file: a folder, a symlink loop, a pipe, a
  // device or a socket. Such a path is refused at once; the open never waits on it.
  static bool isNotAFileError(u32 uiError);
  // The system's text of an error code ("Access is denied."), without a line end, into pText of uiSize bytes.
  static void describeError(u32 uiError, char* pText, u32 uiSize);
  // Why an open failed, as it reads after the file's name: "does not exist", what the path is instead of a file
  // ("is a folder", "is a symlink loop", "is a pipe", "is a socket", "is a character device", "is a block device"),
  // or "cannot be read (<system text>)".
  static void describeOpenError(u32 uiError, char* pText, u32 uiSize);

  // 1 when the path opens for reading (under the file lock), else 0.
  static i32 fileExists(const char* pPath);
  // Why something of that path exists but cannot be opened for reading, for a message that names it: 1 with the
  // reason in pText (describeOpenError: "is a folder", "cannot be read (Access is denied)"), 0 (pText empty) when
  // nothing of that name exists or it opens.
  static i32 whyCannotOpen(const char* pPath, char* pText, u32 uiTextSize);
  // Creates the folder and every missing parent, retrying while it does not exist (500 ms alertable sleeps,
  // at most 10 retries). 0 when the last attempt created it; 14 otherwise, also for a folder that existed.
  static i32 createDirectory(const wchar16* pFullPath);

  // An alertable sleep of this thread (SleepEx(ms, TRUE)): completions of its reads run here. 0 sleeps only
  // as long as it takes to run what has completed.
  static void sleepAlertable(u32 uiMilliseconds);

  // The file lock: held around path resolution (opens, existence tests, the archive probe) and by the profile
  // threads around their transfers. Null before initialize.
  static ClMutexLock* getFileLock();
  // The path the system is asked for when the engine names pPath (separators turned, names matched without regard
  // to case), for a message that names a loose file; cut to uiSize bytes.
  static void getHostPath(const char* pPath, char* pText, u32 uiSize);
  // The name and size of an open file.
  static const char* getFileName(const Win32FileData* pFileData);
  static u64 getFileSize(const Win32FileData* pFileData);
  // True while a read of the file is in flight (its completion has not run yet).
  static bool isReading(const Win32FileData* pFileData);
  // Number of files open.
  static i32 getOpenFileCount();
};

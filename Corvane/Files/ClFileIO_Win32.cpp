#include "Corvane/Files/ClFileIO.h"

#include <cstdio>
#include <cstring>

#include "Corvane/ADT/ClPool.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Win32/Win32.h"

typedef uintptr_t kv_ptrSize;

// One open file. The OVERLAPPED block comes first: the completion routine finds the record from it.
struct Win32FileData {
  OVERLAPPED mp_overlapped;  // the read in flight; Offset and OffsetHigh give its file position
  HANDLE mp_hFile;
  ClFileIO::ReadSuccessCallback mp_pfnSuccessCallback;
  ClFileIO::ErrorCallback mp_pfnErrorCallback;
  u64 mp_iFileSize;
  u8* mp_pBuffer;            // destination of the read in flight; null when none is
  u64 mp_iReadSize;          // size of the read in flight
  void* mp_pSuccessUser;
  void* mp_pErrorUser;
  i32 mp_iChunksRemaining;   // whole 1 MiB requests still to complete, -1 when not chunked
  u32 mp_uiPartialChunkSize; // the last request when it is shorter than 1 MiB
  u32 mp_uiBytesTransferred; // of the whole callback read so far
  u64 mp_uiStartOffset;      // where the whole callback read began
  u32 mp_uiReadError;        // Win32 error of the last completed request, 0 when it delivered every byte
  char mp_szFileName[KV_MAX_PATH_LEN];
};

ClPool<Win32FileData, gc_iMAX_OPEN_FILES> g_Win32FileDataPool;

namespace {

ClMutexLock g_fileLock;
// The system's error of the last open that failed.
DWORD g_dwLastOpenError = ERROR_SUCCESS;

// Shows the system text of the last error in a message box and answers the code.
DWORD showLastErrorBox() {
  const DWORD dwError = GetLastError();
  LPSTR pText = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pText), 0,
                 nullptr);
  char szMessage[gc_uiMAX_MESSAGE_LEN + 1];
  KvSNPrintf(szMessage, sizeof(szMessage), "failed with error %d: %s", static_cast<i32>(dwError),
             pText != nullptr ? pText : "");
  MessageBoxA(nullptr, szMessage, "Error", MB_OK);
  LocalFree(pText);
  return dwError;
}

void resetChunkState(Win32FileData* pFileData) {
  pFileData->mp_iChunksRemaining = -1;
  pFileData->mp_uiPartialChunkSize = 0;
  pFileData->mp_uiBytesTransferred = 0;
}

void assertReadable(const Win32FileData* pFileData, const void* destinationBuffer) {
  KV_ASSERT(pFileData);
  KV_ASSERT(pFileData->mp_hFile != INVALID_HANDLE_VALUE);
  KV_ASSERT(pFileData->mp_iFileSize);
  KV_ASSERT(!pFileData->mp_pBuffer);
  KV_ASSERT(destinationBuffer);
  KV_ASSERT(((kv_ptrSize)destinationBuffer & 0xF) == 0);
}

void CALLBACK fileReadCompletion(DWORD dwErrorCode, DWORD dwNumberOfBytesTransfered, LPOVERLAPPED lpOverlapped);

// Issues one request of the record's read; false (with the error box shown) when ReadFileEx refused.
bool startRequest(Win32FileData* pFileData, u64 uiOffset, u8* pDestination, u32 uiSize) {
  pFileData->mp_pBuffer = pDestination;
  pFileData->mp_iReadSize = uiSize;
  pFileData->mp_uiReadError = 0;
  pFileData->mp_overlapped.Offset = static_cast<DWORD>(uiOffset);
  pFileData->mp_overlapped.OffsetHigh = static_cast<DWORD>(uiOffset >> 32);
  if (!ReadFileEx(pFileData->mp_hFile, pDestination, uiSize, &pFileData->mp_overlapped, &fileReadCompletion)) {
    // Nothing is in flight after a refusal, so the record may be read again.
    pFileData->mp_pBuffer = nullptr;
    pFileData->mp_iReadSize = 0;
    return false;
  }
  return true;
}

void CALLBACK fileReadCompletion(DWORD dwErrorCode, DWORD dwNumberOfBytesTransfered, LPOVERLAPPED lpOverlapped) {
  Win32FileData* pFileData = reinterpret_cast<Win32FileData*>(lpOverlapped);
  KV_ASSERT(pFileData);
  KV_ASSERT(pFileData->mp_hFile != INVALID_HANDLE_VALUE);
  KV_ASSERT(pFileData->mp_iFileSize);
  KV_ASSERT(pFileData->mp_pBuffer);
  u8* pFilled = pFileData->mp_pBuffer;
  const u64 uiRequested = pFileData->mp_iReadSize;
  const u64 uiRequestOffset =
      (static_cast<u64>(pFileData->mp_overlapped.OffsetHigh) << 32) | pFileData->mp_overlapped.Offset;
  // Cleared first: a blocking reader polls this mark.
  pFileData->mp_pBuffer = nullptr;
  pFileData->mp_iReadSize = 0;

  // A request that delivered fewer bytes than asked ran past the end of the file: as much an error as one the
  // system reported, and never a reason to stop the program.
  if (dwErrorCode == 0 && dwNumberOfBytesTransfered != uiRequested) {
    dwErrorCode = ERROR_HANDLE_EOF;
  }
  if (dwErrorCode != 0) {
    pFileData->mp_uiReadError = dwErrorCode;
    KvPrintProblem("Reading %llu bytes at offset %llu of [%s] failed with error %u (%u bytes arrived)",
                   static_cast<unsigned long long>(uiRequested), static_cast<unsigned long long>(uiRequestOffset),
                   pFileData->mp_szFileName,
                   static_cast<u32>(dwErrorCode), static_cast<u32>(dwNumberOfBytesTransfered));
    resetChunkState(pFileData);
    if (pFileData->mp_pfnErrorCallback != nullptr) {
      pFileData->mp_pfnErrorCallback(pFileData, dwErrorCode, pFileData->mp_pErrorUser);
    }
    return;
  }

  pFileData->mp_uiBytesTransferred += dwNumberOfBytesTransfered;
  if (pFileData->mp_iChunksRemaining != -1) {
    --pFileData->mp_iChunksRemaining;
    u32 uiNextSize = 0;
    if (pFileData->mp_iChunksRemaining > 0) {
      uiNextSize = gc_uiFILE_IO_CHUNK_SIZE;
    } else if (pFileData->mp_iChunksRemaining == 0 && pFileData->mp_uiPartialChunkSize != 0) {
      uiNextSize = pFileData->mp_uiPartialChunkSize;
      pFileData->mp_uiPartialChunkSize = 0;
    }
    if (uiNextSize != 0) {
      const u64 uiNextOffset = pFileData->mp_uiStartOffset + pFileData->mp_uiBytesTransferred;
      if (!startRequest(pFileData, uiNextOffset, pFilled + dwNumberOfBytesTransfered, uiNextSize)) {
        // The caller waits on these callbacks: a refused continuation must end the read with its error.
        const DWORD dwError = showLastErrorBox();
        pFileData->mp_uiReadError = dwError != 0 ? dwError : ERROR_READ_FAULT;
        KvPrintProblem("Reading %u bytes at offset %llu of [%s] could not be started (error %u)", uiNextSize,
                       static_cast<unsigned long long>(uiNextOffset), pFileData->mp_szFileName,
                       pFileData->mp_uiReadError);
        resetChunkState(pFileData);
        if (pFileData->mp_pfnErrorCallback != nullptr) {
          pFileData->mp_pfnErrorCallback(pFileData, pFileData->mp_uiReadError, pFileData->mp_pErrorUser);
        }
      }
      return;
    }
  }
  resetChunkState(pFileData);
  if (pFileData->mp_pfnSuccessCallback != nullptr) {
    pFileData->mp_pfnSuccessCallback(pFileData, pFileData->mp_pSuccessUser);
  }
}

}  // namespace

i32 ClFileIO::initialize() {
  KV_ASSERT(ClMutexLock::g_bInitialized);
  g_Win32FileDataPool.initialize();
  if (!g_fileLock.isCreated() && !ClMutexLock::create(&g_fileLock)) {
    KV_FATAL("ClFileIO::initialize() -> Unable to create mutex lock for file I/O system!");
  }
  return E_FILE_OK;
}

i32 ClFileIO::shutdown() {
  // Handles still open would outlive their records; close them as the records go back.
  while (g_Win32FileDataPool.getCount() > 0) {
    Win32FileData* pFileData = g_Win32FileDataPool.get(g_Win32FileDataPool.getCount() - 1);
    if (pFileData->mp_hFile != INVALID_HANDLE_VALUE) {
      CloseHandle(pFileData->mp_hFile);
      pFileData->mp_hFile = INVALID_HANDLE_VALUE;
    }
    g_Win32FileDataPool.free(pFileData);
  }
  ClMutexLock::destroy(&g_fileLock);
  return 1;
}

i32 ClFileIO::open(const char* pPath, u64* pOutSize, Win32FileData** ppOutFile) {
  KV_ASSERT(pOutSize);
  KV_ASSERT(ppOutFile);
  if (pPath == nullptr || pPath[0] == '\0' || strnlen(pPath, KV_MAX_PATH_LEN) >= static_cast<size_t>(KV_MAX_PATH_LEN)) {
    return E_FILE_BAD_ARGUMENT;
  }
  KV_ASSERT_MSG(!g_Win32FileDataPool.isFull(), "g_Win32FileDataPool could not be allocated!");
  Win32FileData* pFileData = g_Win32FileDataPool.alloc();
  *pFileData = Win32FileData{};
  pFileData->mp_iChunksRemaining = -1;
  pFileData->mp_hFile = INVALID_HANDLE_VALUE;
  KvStrLCpy(pFileData->mp_szFileName, pPath, sizeof(pFileData->mp_szFileName));

  g_fileLock.enter();
  pFileData->mp_hFile = CreateFileA(pPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
  g_fileLock.leave();
  if (pFileData->mp_hFile == INVALID_HANDLE_VALUE) {
    g_dwLastOpenError = GetLastError();
    g_Win32FileDataPool.free(pFileData);
    return E_FILE_CANNOT_OPEN;
  }
  DWORD dwSizeHigh = 0;
  const DWORD dwSizeLow = GetFileSize(pFileData->mp_hFile, &dwSizeHigh);
  const u64 uiSize = (static_cast<u64>(dwSizeHigh) << 32) | dwSizeLow;
  if (uiSize == 0) {
    CloseHandle(pFileData->mp_hFile);
    pFileData->mp_hFile = INVALID_HANDLE_VALUE;
    g_Win32FileDataPool.free(pFileData);
    return E_FILE_EMPTY;
  }
  pFileData->mp_iFileSize = uiSize;
  *pOutSize = uiSize;
  *ppOutFile = pFileData;
  return E_FILE_OK;
}

i32 ClFileIO::openWithCallbacks(const char* pPath, OpenSuccessCallback successCallback, void* pSuccessUser,
                                ErrorCallback errorCallback, void* pErrorUser) {
  KV_ASSERT(successCallback);
  KV_ASSERT(errorCallback);
  if (pPath == nullptr) {
    return E_FILE_BAD_ARGUMENT;
  }
  u64 uiSize = 0;
  Win32FileData* pFileData = nullptr;
  const i32 iResult = open(pPath, &uiSize, &pFileData);
  if (iResult == E_FILE_OK) {
    successCallback(pFileData, uiSize, pSuccessUser);
  } else {
    errorCallback(pFileData, static_cast<u32>(iResult), pErrorUser);
  }
  return iResult;
}

i32 ClFileIO::close(Win32FileData* pFileData) {
  KV_ASSERT(pFileData);
  KV_ASSERT(pFileData->mp_hFile != INVALID_HANDLE_VALUE);
  KV_ASSERT_MSG(pFileData->mp_iFileSize != 0, "Closed file has a size of zero!");
  // Its completion would find the record gone.
  KV_ASSERT_MSG(pFileData->mp_pBuffer == nullptr, "Closed file has a read in flight!");
  i32 iResult = E_FILE_OK;
  if (!CloseHandle(pFileData->mp_hFile)) {
    showLastErrorBox();
    KvPrintProblem("Closing [%s] failed", pFileData->mp_szFileName);
    iResult = E_FILE_CLOSE_FAILED;
  }
  pFileData->mp_hFile = INVALID_HANDLE_VALUE;
  g_Win32FileDataPool.free(pFileData);
  return iResult;
}

i32 ClFileIO::closeWithCallbacks(Win32FileData* pFileData, CloseEndCallback EndCallback, void* pEndUser,
                                 ErrorCallback ErrorCallback, void* pErrorUser) {
  KV_ASSERT(EndCallback);
  KV_ASSERT(ErrorCallback);
  const i32 iResult = close(pFileData);
  if (iResult == E_FILE_OK) {
    EndCallback(pFileData, pEndUser);
  } else {
    ErrorCallback(pFileData, static_cast<u32>(iResult), pErrorUser);
  }
  return iResult;
}

i32 ClFileIO::readAsync(Win32FileData* pFileData, u64 uiOffset, u32 numberOfBytesToRead, void* destinationBuffer) {
  assertReadable(pFileData, destinationBuffer);
  KV_ASSERT(numberOfBytesToRead);
  if (numberOfBytesToRead > gc_uiFILE_IO_CHUNK_SIZE) {
    KV_FATALF("ClFileIO::readAsync() cannot read [%d] bytes while in buffered-mode; the max is [%d] bytes!",
              static_cast<i32>(numberOfBytesToRead), static_cast<i32>(gc_uiFILE_IO_CHUNK_SIZE));
  }
  // No callbacks: those of an earlier callback read must not run for this one.
  pFileData->mp_pfnSuccessCallback = nullptr;
  pFileData->mp_pfnErrorCallback = nullptr;
  pFileData->mp_pSuccessUser = nullptr;
  pFileData->mp_pErrorUser = nullptr;
  resetChunkState(pFileData);
  pFileData->mp_uiStartOffset = uiOffset;
  if (!startRequest(pFileData, uiOffset, static_cast<u8*>(destinationBuffer), numberOfBytesToRead)) {
    showLastErrorBox();
    KvPrintProblem("Reading %u bytes at offset %llu of [%s] could not be started", numberOfBytesToRead,
                   static_cast<unsigned long long>(uiOffset), pFileData->mp_szFileName);
    return E_FILE_READ_REFUSED;
  }
  return E_FILE_OK;
}

i32 ClFileIO::readAsyncWithCallbacks(Win32FileData* pFileData, u64 uiOffset, u32 numberOfBytesToRead,
                                     void* destinationBuffer, ReadSuccessCallback successCallback,
                                     void* pSuccessUser, ErrorCallback errorCallback, void* pErrorUser) {
  assertReadable(pFileData, destinationBuffer);
  KV_ASSERT(numberOfBytesToRead > 0);
  u32 uiFirstSize = numberOfBytesToRead;
  if (numberOfBytesToRead > gc_uiFILE_IO_CHUNK_SIZE) {
    pFileData->mp_iChunksRemaining = static_cast<i32>(numberOfBytesToRead / gc_uiFILE_IO_CHUNK_SIZE);
    pFileData->mp_uiPartialChunkSize = numberOfBytesToRead % gc_uiFILE_IO_CHUNK_SIZE;
    uiFirstSize = gc_uiFILE_IO_CHUNK_SIZE;
  } else {
    pFileData->mp_iChunksRemaining = -1;
    pFileData->mp_uiPartialChunkSize = 0;
  }
  pFileData->mp_pfnSuccessCallback = successCallback;
  pFileData->mp_pSuccessUser = pSuccessUser;
  pFileData->mp_pfnErrorCallback = errorCallback;
  pFileData->mp_pErrorUser = pErrorUser;
  pFileData->mp_uiBytesTransferred = 0;
  pFileData->mp_uiStartOffset = uiOffset;
  if (!startRequest(pFileData, uiOffset, static_cast<u8*>(destinationBuffer), uiFirstSize)) {
    showLastErrorBox();
    KvPrintProblem("Reading %u bytes at offset %llu of [%s] could not be started", numberOfBytesToRead,
                   static_cast<unsigned long long>(uiOffset), pFileData->mp_szFileName);
    resetChunkState(pFileData);
    return E_FILE_READ_REFUSED;
  }
  return E_FILE_OK;
}

i32 ClFileIO::read(Win32FileData* pFileData, u64 uiOffset, u32 numberOfBytesToRead, void* destinationBuffer) {
  KV_ASSERT(pFileData);
  KV_ASSERT(numberOfBytesToRead);
  u8* pDestination = static_cast<u8*>(destinationBuffer);
  u32 uiDone = 0;
  while (uiDone < numberOfBytesToRead) {
    const u32 uiLeft = numberOfBytesToRead - uiDone;
    const u32 uiSize = uiLeft < gc_uiFILE_IO_CHUNK_SIZE ? uiLeft : gc_uiFILE_IO_CHUNK_SIZE;
    const i32 iResult = readAsync(pFileData, uiOffset + uiDone, uiSize, pDestination + uiDone);
    if (iResult != E_FILE_OK) {
      return iResult;
    }
    KV_ASSERT(pFileData->mp_pBuffer);
    while (pFileData->mp_pBuffer != nullptr) {
      SleepEx(0, TRUE);
    }
    if (pFileData->mp_uiReadError != 0) {
      return E_FILE_READ_FAILED;
    }
    uiDone += uiSize;
  }
  return E_FILE_OK;
}

u32 ClFileIO::getLastOpenError() { return g_dwLastOpenError; }

bool ClFileIO::isNotFoundError(u32 uiError) {
  return uiError == ERROR_FILE_NOT_FOUND || uiError == ERROR_PATH_NOT_FOUND;
}

bool ClFileIO::isNotAFileError(u32 uiError) {
  return uiError == ERROR_DIRECTORY_NOT_SUPPORTED || uiError == ERROR_CANT_RESOLVE_FILENAME ||
         uiError == ERROR_BAD_PIPE || uiError == ERROR_BAD_FILE_TYPE || uiError == ERROR_BAD_DEVICE ||
         uiError == ERROR_BAD_UNIT;
}

void ClFileIO::describeError(u32 uiError, char* pText, u32 uiSize) {
  KV_ASSERT(pText && uiSize > 0);
  const DWORD dwLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, uiError,
                                        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), pText, uiSize, nullptr);
  if (dwLength == 0) {
    KvSNPrintf(pText, uiSize, "system error %u", uiError);
    return;
  }
  for (DWORD i = dwLength; i > 0 && (pText[i - 1] == '\r' || pText[i - 1] == '\n'); --i) {
    pText[i - 1] = '\0';
  }
}

void ClFileIO::describeOpenError(u32 uiError, char* pText, u32 uiSize) {
  KV_ASSERT(pText && uiSize > 0);
  if (isNotFoundError(uiError)) {
    KvSNPrintf(pText, uiSize, "does not exist");
    return;
  }
  char szSystem[256];
  describeError(uiError, szSystem, sizeof(szSystem));
  // The system's sentence without its full stop, to stand inside the caller's line.
  const size_t uiLength = std::strlen(szSystem);
  if (uiLength > 0 && szSystem[uiLength - 1] == '.') {
    szSystem[uiLength - 1] = '\0';
  }
  // What the path is instead of a file, said by the system as "It is a folder.", follows the file's name.
  constexpr char szSUBJECT[] = "It ";
  if (isNotAFileError(uiError) && std::strncmp(szSystem, szSUBJECT, sizeof(szSUBJECT) - 1) == 0) {
    KvStrLCpy(pText, szSystem + sizeof(szSUBJECT) - 1, uiSize);
    return;
  }
  KvSNPrintf(pText, uiSize, "cannot be read (%s)", szSystem);
}

namespace {

// CreateFileA's error for the path under the file lock: ERROR_SUCCESS when it opens (it is closed again).
DWORD probeOpen(const char* pPath) {
  g_fileLock.enter();
  const HANDLE hFile =
      CreateFileA(pPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD dwError = hFile == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  if (hFile != INVALID_HANDLE_VALUE) {
    CloseHandle(hFile);
  }
  g_fileLock.leave();
  return dwError;
}

bool usablePath(const char* pPath) {
  return pPath != nullptr && pPath[0] != '\0' &&
         strnlen(pPath, KV_MAX_PATH_LEN) < static_cast<size_t>(KV_MAX_PATH_LEN);
}

}  // namespace

i32 ClFileIO::fileExists(const char* pPath) { return usablePath(pPath) && probeOpen(pPath) == ERROR_SUCCESS ? 1 : 0; }

i32 ClFileIO::whyCannotOpen(const char* pPath, char* pText, u32 uiTextSize) {
  KV_ASSERT(pText != nullptr && uiTextSize > 0);
  pText[0] = '\0';
  if (!usablePath(pPath)) {
    return 0;
  }
  const DWORD dwError = probeOpen(pPath);
  if (dwError == ERROR_SUCCESS || isNotFoundError(dwError)) {
    return 0;
  }
  describeOpenError(dwError, pText, uiTextSize);
  return 1;
}

i32 ClFileIO::createDirectory(const wchar16* pFullPath) {
  KV_ASSERT(pFullPath);
  i32 iResult = SHCreateDirectoryExW(nullptr, pFullPath, nullptr) == ERROR_SUCCESS ? E_FILE_OK
                                                                                  : E_FILE_DIRECTORY_NOT_CREATED;
  SleepEx(500, TRUE);
  // A quit signal ends the retries: the program ends without waiting out a folder that cannot be made.
  for (i32 iRetry = 0; iRetry < 10 && !Win32QuitSignalPending(); ++iRetry) {
    const DWORD dwAttributes = GetFileAttributesW(pFullPath);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      break;
    }
    iResult = SHCreateDirectoryExW(nullptr, pFullPath, nullptr) == ERROR_SUCCESS ? E_FILE_OK
                                                                                 : E_FILE_DIRECTORY_NOT_CREATED;
    SleepEx(500, TRUE);
  }
  return iResult;
}

void ClFileIO::sleepAlertable(u32 uiMilliseconds) { SleepEx(uiMilliseconds, TRUE); }

ClMutexLock* ClFileIO::getFileLock() { return g_fileLock.isCreated() ? &g_fileLock : nullptr; }

const char* ClFileIO::getFileName(const Win32FileData* pFileData) {
  KV_ASSERT(pFileData);
  return pFileData->mp_szFileName;
}

u64 ClFileIO::getFileSize(const Win32FileData* pFileData) {
  KV_ASSERT(pFileData);
  return pFileData->mp_iFileSize;
}

bool ClFileIO::isReading(const Win32FileData* pFileData) {
  KV_ASSERT(pFileData);
  return pFileData->mp_pBuffer != nullptr;
}

i32 ClFileIO::getOpenFileCount() { return g_Win32FileDataPool.getCount(); }

void ClFileIO::getHostPath(const char* pPath, char* pText, u32 uiSize) {
  KV_ASSERT(pPath && pText && uiSize > 0);
  g_fileLock.enter();
  const std::string host = Win32ToHostPath(pPath);
  g_fileLock.leave();
  KvSNPrintf(pText, uiSize, "%s", host.c_str());
}

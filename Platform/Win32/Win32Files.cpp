#include "Platform/Win32/Win32Files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Common/PlatformFiles.h"
#include "Platform/Win32/Win32KernelObjects.h"
#include "Platform/Win32/Win32Threads.h"

using Win32Internal::ObjectKind;

namespace {

struct FileObject : Win32Internal::KernelObject {
  FileObject(int iFdIn, bool bOverlappedIn, bool bSizeFixedIn, ULONGLONG ullSizeIn)
      : KernelObject(ObjectKind::File), iFd(iFdIn), bOverlapped(bOverlappedIn), bSizeFixed(bSizeFixedIn),
        ullSizeAtOpen(ullSizeIn) {}
  ~FileObject() override { close(iFd); }
  const int iFd;
  const bool bOverlapped;
  // Opened without FILE_SHARE_WRITE: nobody may write the file while this handle is open, so its size is the
  // size at open.
  const bool bSizeFixed;
  const ULONGLONG ullSizeAtOpen;
};

DWORD errorFromErrno(int iErrno) {
  switch (iErrno) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EISDIR: return ERROR_DIRECTORY_NOT_SUPPORTED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOSPC: return ERROR_DISK_FULL;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EIO: return ERROR_READ_FAULT;
    default: return ERROR_GEN_FAILURE;
  }
}

// The error of a path the file door refused.
DWORD errorFromProblem(const SPlatformFileProblem& problem) {
  switch (problem.eKind) {
    case EPlatformFileProblem::Folder: return ERROR_DIRECTORY_NOT_SUPPORTED;
    case EPlatformFileProblem::SymlinkLoop: return ERROR_CANT_RESOLVE_FILENAME;
    case EPlatformFileProblem::Pipe: return ERROR_BAD_PIPE;
    case EPlatformFileProblem::Socket: return ERROR_BAD_FILE_TYPE;
    case EPlatformFileProblem::CharacterDevice: return ERROR_BAD_DEVICE;
    case EPlatformFileProblem::BlockDevice: return ERROR_BAD_UNIT;
    default: return errorFromErrno(problem.iErrno != 0 ? problem.iErrno : EIO);
  }
}

// Paths -----------------------------------------------------------------------------------------------------------

std::string joinPath(const std::string& base, const std::string& name) {
  if (base.empty()) return name;
  if (base.back() == '/') return base + name;
  return base + "/" + name;
}

bool pathExists(const std::string& path, struct stat* pInfo = nullptr) {
  struct stat info;
  if (stat(path.empty() ? "." : path.c_str(), &info) != 0) return false;
  if (pInfo) *pInfo = info;
  return true;
}

bool isDirectory(const std::string& path) {
  struct stat info;
  return pathExists(path, &info) && S_ISDIR(info.st_mode);
}

// The entry of the folder whose name equals name but for ASCII case; the first in byte order when several do.
bool findCaseInsensitive(const std::string& folder, const std::string& name, std::string& found) {
  DIR* pDir = opendir(folder.empty() ? "." : folder.c_str());
  if (!pDir) return false;
  bool bFound = false;
  while (const dirent* pEntry = readdir(pDir)) {
    if (strcasecmp(pEntry->d_name, name.c_str()) != 0) continue;
    if (!bFound || std::strcmp(pEntry->d_name, found.c_str()) < 0) found = pEntry->d_name;
    bFound = true;
  }
  closedir(pDir);
  return bFound;
}

// A path split into the part that exists on the host (matched component by component) and the components
// after it that do not.
struct ResolvedPath {
  std::string existing;
  std::vector<std::string> missing;
};

ResolvedPath resolvePath(const std::string& windowsPath) {
  std::string path = windowsPath;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  ResolvedPath resolved;
  if (pathExists(path)) {
    resolved.existing = path;
    return resolved;
  }
  std::vector<std::string> components;
  size_t uiStart = 0;
  while (uiStart <= path.size()) {
    size_t uiSlash = path.find('/', uiStart);
    if (uiSlash == std::string::npos) uiSlash = path.size();
    if (uiSlash > uiStart) components.push_back(path.substr(uiStart, uiSlash - uiStart));
    uiStart = uiSlash + 1;
  }
  std::string current = !path.empty() && path[0] == '/' ? "/" : "";
  for (size_t i = 0; i < components.size(); ++i) {
    std::string candidate = joinPath(current, components[i]);
    std::string match;
    if (pathExists(candidate)) {
      current = std::move(candidate);
    } else if (components[i] != "." && components[i] != ".." && findCaseInsensitive(current, components[i], match)) {
      current = joinPath(current, match);
    } else {
      resolved.missing.assign(components.begin() + std::ptrdiff_t(i), components.end());
      break;
    }
  }
  resolved.existing = current;
  return resolved;
}

std::string hostPath(const ResolvedPath& resolved) {
  std::string path = resolved.existing;
  for (const std::string& component : resolved.missing) path = joinPath(path, component);
  return path;
}

// The error for a path that does not exist: only its last component missing in an existing folder is "file not
// found", anything else "path not found".
DWORD missingPathError(const ResolvedPath& resolved) {
  return resolved.missing.size() == 1 && isDirectory(resolved.existing) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Error texts -----------------------------------------------------------------------------------------------------

// What the file door says a path is instead of a file, as the system's sentence: "It is a folder."
std::string kindSentence(EPlatformFileProblem eKind) {
  return "It " + PlatformDescribeFileProblem(SPlatformFileProblem{eKind, 0, 0}) + ".";
}

const char* systemMessage(DWORD dwCode) {
  static const std::string s_folder = kindSentence(EPlatformFileProblem::Folder);
  static const std::string s_loop = kindSentence(EPlatformFileProblem::SymlinkLoop);
  static const std::string s_pipe = kindSentence(EPlatformFileProblem::Pipe);
  static const std::string s_socket = kindSentence(EPlatformFileProblem::Socket);
  static const std::string s_characterDevice = kindSentence(EPlatformFileProblem::CharacterDevice);
  static const std::string s_blockDevice = kindSentence(EPlatformFileProblem::BlockDevice);
  switch (dwCode) {
    case ERROR_DIRECTORY_NOT_SUPPORTED: return s_folder.c_str();
    case ERROR_CANT_RESOLVE_FILENAME: return s_loop.c_str();
    case ERROR_BAD_PIPE: return s_pipe.c_str();
    case ERROR_BAD_FILE_TYPE: return s_socket.c_str();
    case ERROR_BAD_DEVICE: return s_characterDevice.c_str();
    case ERROR_BAD_UNIT: return s_blockDevice.c_str();
    case ERROR_SUCCESS: return "The operation completed successfully.";
    case ERROR_INVALID_FUNCTION: return "The function is not supported here.";
    case ERROR_FILE_NOT_FOUND: return "The file does not exist.";
    case ERROR_PATH_NOT_FOUND: return "A folder on the path does not exist.";
    case ERROR_TOO_MANY_OPEN_FILES: return "Too many files are open.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_HANDLE: return "The handle is not valid.";
    case ERROR_NOT_ENOUGH_MEMORY: return "There is not enough memory for this operation.";
    case ERROR_WRITE_PROTECT: return "The medium is read-only.";
    case ERROR_READ_FAULT: return "The device could not be read.";
    case ERROR_GEN_FAILURE: return "The device does not work.";
    case ERROR_HANDLE_EOF: return "The end of the file has been reached.";
    case ERROR_NOT_SUPPORTED: return "The request is not supported.";
    case ERROR_FILE_EXISTS: return "The file already exists.";
    case ERROR_INVALID_PARAMETER: return "A parameter is not valid.";
    case ERROR_DISK_FULL: return "The disk is full.";
    case ERROR_INSUFFICIENT_BUFFER: return "The buffer is too small for the data.";
    case ERROR_MOD_NOT_FOUND: return "The module was not found.";
    case ERROR_PROC_NOT_FOUND: return "The routine was not found.";
    case ERROR_BAD_PATHNAME: return "The path is not valid.";
    case ERROR_ALREADY_EXISTS: return "The file or folder already exists.";
    case ERROR_FILENAME_EXCED_RANGE: return "The file name is too long.";
    case ERROR_MR_MID_NOT_FOUND: return "There is no text for this message number.";
    case ERROR_NOACCESS: return "The memory cannot be reached.";
    default: return nullptr;
  }
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
  if (dwDesiredAccess != GENERIC_READ || dwCreationDisposition != OPEN_EXISTING) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  DWORD dwFault = 0;
  if (Win32Internal::takeFault(Win32Fault::FileOpen, dwFault)) {
    SetLastError(dwFault);
    return INVALID_HANDLE_VALUE;
  }
  // The path as given (with "/" for "\\") is tried first; only a missing one is matched ignoring case.
  std::string direct = lpFileName;
  for (char& c : direct) {
    if (c == '\\') c = '/';
  }
  SPlatformFileProblem problem;
  int iFd = PlatformOpenRegularFile(direct.c_str(), &problem);
  if (iFd < 0 && problem.eKind == EPlatformFileProblem::Missing) {
    const ResolvedPath resolved = resolvePath(lpFileName);
    if (!resolved.missing.empty()) {
      SetLastError(missingPathError(resolved));
      return INVALID_HANDLE_VALUE;
    }
    iFd = PlatformOpenRegularFile(resolved.existing.c_str(), &problem);
  }
  if (iFd < 0) {
    SetLastError(errorFromProblem(problem));
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  if (fstat(iFd, &info) != 0) {
    SetLastError(errorFromErrno(errno));
    close(iFd);
    return INVALID_HANDLE_VALUE;
  }
  const bool bOverlapped = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
  const bool bSizeFixed = (dwShareMode & FILE_SHARE_WRITE) == 0;
  return Win32Internal::addHandle(
      std::make_shared<FileObject>(iFd, bOverlapped, bSizeFixed, static_cast<ULONGLONG>(info.st_size)));
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto pFile = Win32Internal::findHandleAs<FileObject>(hFile, ObjectKind::File);
  struct stat info;
  if (!pFile || (!pFile->bSizeFixed && fstat(pFile->iFd, &info) != 0)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  const auto ullSize = pFile->bSizeFixed ? pFile->ullSizeAtOpen : static_cast<ULONGLONG>(info.st_size);
  if (lpFileSizeHigh) *lpFileSizeHigh = DWORD(ullSize >> 32);
  // A size whose low half is all ones is told apart from a failure by the last error.
  if (DWORD(ullSize) == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
  return DWORD(ullSize);
}

BOOL ReadFileEx(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPOVERLAPPED lpOverlapped,
                LPOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  auto pFile = Win32Internal::findHandleAs<FileObject>(hFile, ObjectKind::File);
  if (!pFile) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pFile->bOverlapped || !lpOverlapped || !lpCompletionRoutine || (!lpBuffer && nNumberOfBytesToRead > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD dwError = 0;
  if (Win32Internal::takeFault(Win32Fault::ReadStart, dwError)) {
    SetLastError(dwError);
    return FALSE;
  }
  const auto llOffset = static_cast<off_t>((ULONGLONG(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset);
  DWORD dwRead = 0;
  if (!Win32Internal::takeFault(Win32Fault::ReadComplete, dwError)) {
    auto* pDestination = static_cast<char*>(lpBuffer);
    while (dwRead < nNumberOfBytesToRead) {
      const ssize_t iGot = pread(pFile->iFd, pDestination + dwRead, nNumberOfBytesToRead - dwRead, llOffset + dwRead);
      if (iGot < 0 && errno == EINTR) continue;
      if (iGot < 0) dwError = errorFromErrno(errno);
      if (iGot == 0 && dwRead == 0) {
        // A read that starts at or past the end fails at once, as on the platform.
        SetLastError(ERROR_HANDLE_EOF);
        return FALSE;
      }
      if (iGot <= 0) break;
      dwRead += DWORD(iGot);
    }
    if (dwError != 0) dwRead = 0;
  }
  lpOverlapped->Internal = STATUS_PENDING;
  lpOverlapped->InternalHigh = 0;
  Win32Internal::queueToCurrentThread([lpOverlapped, lpCompletionRoutine, dwError, dwRead] {
    lpOverlapped->Internal = dwError;
    lpOverlapped->InternalHigh = dwRead;
    lpCompletionRoutine(dwError, dwRead, lpOverlapped);
  });
  return TRUE;
}

int SHCreateDirectoryExW(HWND /*hwnd*/, LPCWSTR pszPath, const SECURITY_ATTRIBUTES* /*psa*/) {
  const auto fail = [](DWORD dwError) {
    SetLastError(dwError);
    return int(dwError);
  };
  if (!pszPath || !*pszPath) return fail(ERROR_BAD_PATHNAME);
  DWORD dwFault = 0;
  if (Win32Internal::takeFault(Win32Fault::DirectoryCreate, dwFault)) return fail(dwFault);

  const ResolvedPath resolved = resolvePath(Win32Internal::utf16ToUtf8(pszPath));
  if (resolved.missing.empty()) return fail(isDirectory(resolved.existing) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS);
  if (!isDirectory(resolved.existing)) return fail(ERROR_PATH_NOT_FOUND);
  std::string current = resolved.existing;
  for (const std::string& component : resolved.missing) {
    current = joinPath(current, component);
    // Another thread may create the same folder at the same time; a folder that exists afterwards is fine.
    if (mkdir(current.c_str(), 0777) != 0 && !(errno == EEXIST && isDirectory(current))) {
      return fail(errno == EEXIST ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
    }
  }
  return ERROR_SUCCESS;
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  if (!lpFileName || !*lpFileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  const ResolvedPath resolved = resolvePath(Win32Internal::utf16ToUtf8(lpFileName));
  struct stat info;
  if (!resolved.missing.empty() || !pathExists(resolved.existing, &info)) {
    // A name that is there and leads nowhere (a symlink loop) is told apart from one that is not there.
    SetLastError(!resolved.missing.empty() ? missingPathError(resolved)
                 : errno == ELOOP          ? ERROR_CANT_RESOLVE_FILENAME
                                           : ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(info.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (info.st_mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

DWORD FormatMessageA(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId, DWORD /*dwLanguageId*/,
                     LPSTR lpBuffer, DWORD nSize, va_list* /*Arguments*/) {
  const DWORD dwOtherSources = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE;
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & dwOtherSources) || !lpBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* pMessage = systemMessage(dwMessageId);
  if (!pMessage) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  const std::string text = std::string(pMessage) + "\r\n";
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    const size_t uiBytes = std::max<size_t>(text.size() + 1, nSize);
    auto* pBlock = static_cast<char*>(std::malloc(uiBytes));
    if (!pBlock) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(pBlock, text.c_str(), text.size() + 1);
    *reinterpret_cast<LPSTR*>(lpBuffer) = pBlock;
  } else {
    if (nSize < text.size() + 1) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(lpBuffer, text.c_str(), text.size() + 1);
  }
  return DWORD(text.size());
}

std::string Win32ToHostPath(LPCSTR lpPath) { return lpPath ? hostPath(resolvePath(lpPath)) : std::string(); }

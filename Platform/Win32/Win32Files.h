// Files, directories, system error text and message boxes of the Win32 stand-in. Callable from any thread.
//
// Paths arrive as the engine builds them, with "\" separators; the stand-in turns every "\" into "/". When the
// exact path does not exist, each component is looked up again without regard to ASCII case (loose data files
// named in another case are found); among several such names the first in byte order wins. Relative paths are
// taken from the current directory. Narrow paths are taken as UTF-8, wide paths are UTF-16.
//
// Files are opened for reading only. ReadFileEx reads at once into the caller's buffer, but its completion
// routine is queued to the calling thread and runs only in that thread's next alertable wait (Win32Threads.h),
// as an overlapped read does on the platform.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

#include "Platform/Win32/Win32System.h"
#include "Platform/Win32/Win32Types.h"

#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u

#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define STATUS_PENDING 0x00000103u

// The block of one overlapped read. Offset and OffsetHigh give the file position; Internal is STATUS_PENDING
// until the completion routine runs, then 0 or the read's error code; InternalHigh the bytes read. hEvent is
// left to the caller.
typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef void(CALLBACK* LPOVERLAPPED_COMPLETION_ROUTINE)(DWORD dwErrorCode, DWORD dwNumberOfBytesTransfered,
                                                       LPOVERLAPPED lpOverlapped);

// Opens an existing file for reading. Only GENERIC_READ with OPEN_EXISTING is supported (else
// ERROR_NOT_SUPPORTED); FILE_FLAG_OVERLAPPED is needed for ReadFileEx. Without FILE_SHARE_WRITE nobody may write
// the file while the handle is open, so its size is taken once, at open; other share modes and attributes are
// accepted and have no effect. FILE_FLAG_SEQUENTIAL_SCAN asks for nothing more than the kernel's read-ahead,
// which follows sequential reads by itself. Only a regular file (or a symlink to one) opens, and the open never
// waits (a pipe without a writer, a device). Answers INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND (no such file
// in an existing folder), ERROR_PATH_NOT_FOUND (a folder on the way is missing, or the path is empty),
// ERROR_ACCESS_DENIED (no permission), ERROR_DIRECTORY_NOT_SUPPORTED (a folder), ERROR_CANT_RESOLVE_FILENAME (a
// symlink loop), ERROR_BAD_PIPE (a pipe), ERROR_BAD_FILE_TYPE (a socket), ERROR_BAD_DEVICE (a character device),
// ERROR_BAD_UNIT (a block device) and so on.
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// Low 32 bits of the size; the high 32 bits go to *lpFileSizeHigh when given. A file opened without
// FILE_SHARE_WRITE answers the size it had at open, without asking the file system again. INVALID_FILE_SIZE with
// ERROR_INVALID_HANDLE for a handle that is not an open file.
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
// Reads nNumberOfBytesToRead bytes at the position in *lpOverlapped into lpBuffer and queues
// lpCompletionRoutine(error, bytes read, lpOverlapped) to the calling thread. A read that runs past the end of
// the file completes with fewer bytes. FALSE without queueing anything when the read cannot start:
// ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER (no overlapped block or routine, or a handle opened without
// FILE_FLAG_OVERLAPPED), ERROR_HANDLE_EOF (the position is at or past the end).
BOOL ReadFileEx(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPOVERLAPPED lpOverlapped,
                LPOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);

// Creates a folder and every missing parent. Answers (and sets as last error unless it succeeded)
// ERROR_SUCCESS, ERROR_ALREADY_EXISTS (the folder exists), ERROR_FILE_EXISTS (a file has that name),
// ERROR_PATH_NOT_FOUND (a parent is a file), ERROR_BAD_PATHNAME (empty path), ERROR_ACCESS_DENIED ...
// Relative paths are accepted.
int SHCreateDirectoryExW(HWND hwnd, LPCWSTR pszPath, const SECURITY_ATTRIBUTES* psa);
// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_NORMAL (or FILE_ATTRIBUTE_READONLY when nobody may
// write it) for a file; INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when absent, and
// with ERROR_CANT_RESOLVE_FILENAME for a symlink loop.
DWORD GetFileAttributesW(LPCWSTR lpFileName);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))

// The text of a system error code, ending in "\r\n", in one language whatever dwLanguageId says. The codes of a
// path that is not a file say what it is: "It is a folder.", "It is a symlink loop.", "It is a pipe.", "It is a
// socket.", "It is a character device.", "It is a block device.". Only
// FORMAT_MESSAGE_FROM_SYSTEM is supported (else ERROR_INVALID_PARAMETER). With FORMAT_MESSAGE_ALLOCATE_BUFFER,
// lpBuffer is taken as an LPSTR* that receives a block to release with LocalFree; otherwise the text is copied
// into lpBuffer of nSize characters (ERROR_INSUFFICIENT_BUFFER when it does not fit). Answers the length
// without the terminating zero, or 0 with ERROR_MR_MID_NOT_FOUND for a code that has no text.
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                     DWORD nSize, va_list* Arguments);

#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u
#define IDOK 1

// Shows a message with an OK button and answers IDOK once it is dismissed. "caption: text" always goes to the
// standard error first. When a display is available (not the offscreen or dummy video driver, DISPLAY or
// WAYLAND_DISPLAY set) the message is then shown in an SDL message box, its lines wrapped at
// gc_uiWIN32_MESSAGE_BOX_COLUMNS characters so that it fits the screen, and the call blocks until the box is
// dismissed; otherwise, or when the box cannot be shown, the call returns at once. SIGINT or SIGTERM while the
// box is up closes it (the call returns IDOK; the signal is used up), and the box never outlives the program.
// Only MB_OK boxes are supported (else 0 with ERROR_NOT_SUPPORTED). A null caption is "Error".
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
// The same with UTF-16 texts (turned into UTF-8 for the box, the error output and the test hook).
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

// Stand-in extras -----------------------------------------------------------------------------------------------

// The host path that the calls above use for a path: separators turned and components matched as described at
// the top. For the other stand-ins that open such paths themselves (through the file door, PlatformFiles.h).
std::string Win32ToHostPath(LPCSTR lpPath);

// The longest line of a message box, in characters (about 450 pixels in the box's font).
inline constexpr size_t gc_uiWIN32_MESSAGE_BOX_COLUMNS = 64;
// The text with its lines broken at blanks so that none is longer than uiColumns characters (UTF-8); a word
// longer than a line is cut. Line breaks of the text are kept.
std::string Win32WrapMessageText(const char* pText, size_t uiColumns);

// For tests: every MessageBoxA goes to the hook instead, which answers the button. An empty hook restores the
// normal behaviour.
using Win32MessageBoxHook = std::function<int(LPCSTR lpText, LPCSTR lpCaption, UINT uType)>;
void Win32SetMessageBoxHook(Win32MessageBoxHook hook);

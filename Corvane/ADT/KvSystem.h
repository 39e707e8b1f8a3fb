// The engine's functions on zero-terminated 8-bit and UTF-16 strings.
//
// Every pointer argument passes KvCheckPointer first: a null, uninitialised or freed pointer is a fatal error.
// The bounded copies (KvStrLCpy, KvStrLCpyW, KvStrLCat) copy what fits, always terminate, and only then raise
// an overrun assertion; the unbounded ones trust the caller's buffer. Lengths count characters (8-bit) or
// 16-bit code units (UTF-16), never the terminator. No shared state: safe on any thread for distinct buffers.
#pragma once

#include "Corvane/System/KvTypes.h"

// Messages built with KvSNPrintf are limited to this many characters (the buffer holds one more).
inline constexpr u32 gc_uiMAX_MESSAGE_LEN = 2047;

u32 KvStrLen(const char* pText);
u32 KvStrLenW(const wchar16* pText);

// Copies at most uiSize - 1 characters and terminates (nothing is written for a size of 0). Returns the full
// length of pSource; when that is uiSize or more, "KvStrLCpy overrun for string [source]" follows the copy.
u32 KvStrLCpy(char* pDest, const char* pSource, u32 uiSize);
// The same for UTF-16, sizes in units. The report shows the source converted to UTF-8.
u32 KvStrLCpyW(wchar16* pDest, const wchar16* pSource, u32 uiSize);

// Appends pSource to pDest, a buffer of uiSize characters (KV_MAX_PATH_LEN unless told), keeping the text
// below uiSize characters and terminated. A destination already uiSize long or longer is reported before any
// copy; a combined length of uiSize or more is reported after the part that fits has been appended. Returns
// the full combined length.
u32 KvStrLCat(char* pDest, const char* pSource, u32 uiSize = KV_MAX_PATH_LEN);

// Unbounded copies and append; the caller guarantees the room.
void KvStrCpy(char* pDest, const char* pSource);
void KvStrCat(char* pDest, const char* pSource);
void KvStrCpyW(wchar16* pDest, const wchar16* pSource);
// Copies units up to the source's terminator, then writes zeros: exactly uiCount units in all. The result is
// terminated only when the source is shorter than uiCount.
void KvStrNCpyW(wchar16* pDest, const wchar16* pSource, u32 uiCount);

// Widens each byte to one UTF-16 unit (zero extension, exact for ASCII) into pDest, terminator included.
// The source must be shorter than gc_iMAX_TEMP_STRING_LEN - 1 characters (assertion).
void KvStrToWideTemp(wchar16* pDest, const char* pSource);

// Append "..." and "SAVEDATA/" to a UTF-16 text in place; the caller guarantees the room.
void KvStrAppendEllipsisW(wchar16* pText);
void KvStrAppendSaveDataFolderW(wchar16* pText);

// printf-style formatting into pBuffer of uiSize bytes: at most uiSize - 1 characters and a terminator are
// written (nothing for a size of 0); longer output is cut without an error. Assertion and fatal messages are
// built in a buffer of gc_uiMAX_MESSAGE_LEN + 1 bytes. Returns the number of characters stored.
i32 KvSNPrintf(char* pBuffer, u32 uiSize, const char* pFormat, ...) __attribute__((format(printf, 3, 4)));

// A name read from a file, for a message: printable ASCII as it is, every other byte (a space, a control character,
// a byte of 128 or more) as "\xNN", so that a damaged name is not taken for one that exists. Cut to uiSize bytes;
// answers pOut.
const char* KvEscapeName(const char* pName, char* pOut, u32 uiSize);

// One problem of data or environment as a line on the standard error stream: the printf-style text, cut to
// gc_uiMAX_MESSAGE_LEN characters, then a newline. While the thread holds its problems (ClProblemHold) the line
// waits for the hold's end instead.
void KvPrintProblem(const char* pFormat, ...) __attribute__((format(printf, 1, 2)));
// The last line KvPrintProblem wrote on this thread since KvForgetLastProblem ("" when none): a refusal's reason
// for the report that ends the game because of it.
const char* KvGetLastProblem();
void KvForgetLastProblem();

// Holds the thread's problem lines while it lives (holds nest; the outermost one's end says them): a loader's line
// is usually taken up by its caller's, and a stop's report carries the last of them, so each reason is said once.
// A held line that a later line contains is dropped; one that does not fit the thread's 16 KiB of held lines is
// said at once. The main loop holds for each frame and for the start-up and the shutdown.
class ClProblemHold {
 public:
  ClProblemHold();
  ~ClProblemHold();
  ClProblemHold(const ClProblemHold&) = delete;
  ClProblemHold& operator=(const ClProblemHold&) = delete;
};
// Says the thread's held lines that pText does not contain (every one for null) on the standard error and forgets
// them: what a stop does before its report (its text), and a hold's end.
void KvSayHeldProblems(const char* pText);

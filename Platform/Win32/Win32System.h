// System queries of the Win32 stand-in (processor topology, module and routine lookup, debugger, command
// line, local memory) and its controls for tests: the processor count and injected faults. Callable from any
// thread.
#pragma once

#include "Platform/Win32/Win32Types.h"

typedef enum _LOGICAL_PROCESSOR_RELATIONSHIP {
  RelationProcessorCore = 0,
  RelationNumaNode = 1,
  RelationCache = 2,
  RelationProcessorPackage = 3,
} LOGICAL_PROCESSOR_RELATIONSHIP;

// One record of GetLogicalProcessorInformation (32 bytes, as on 64-bit Windows).
typedef struct _SYSTEM_LOGICAL_PROCESSOR_INFORMATION {
  ULONG_PTR ProcessorMask;  // one bit per logical processor of the core, package or node
  LOGICAL_PROCESSOR_RELATIONSHIP Relationship;
  union {
    struct {
      BYTE Flags;  // 1 (LTP_PC_SMT) when the core runs more than one logical processor
    } ProcessorCore;
    struct {
      DWORD NodeNumber;
    } NumaNode;
    ULONGLONG Reserved[2];
  };
} SYSTEM_LOGICAL_PROCESSOR_INFORMATION, *PSYSTEM_LOGICAL_PROCESSOR_INFORMATION;

#define LTP_PC_SMT 0x1

// Describes the processors: one RelationProcessorCore record per core (its mask holds that core's logical
// processors), then one RelationProcessorPackage and one RelationNumaNode record covering all of them. With
// too small a buffer (or none) it answers FALSE, sets ERROR_INSUFFICIENT_BUFFER and writes the length needed
// to *ReturnedLength; on success *ReturnedLength is the length written. At most 64 logical processors are
// described. The topology is the host's (cores from sysfs, logical processors this process may run on), unless
// a test or GRINDLOW_LOGICAL_PROCESSORS sets one (see Win32SetProcessorTopology).
BOOL GetLogicalProcessorInformation(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION Buffer, PDWORD ReturnedLength);

// "kernel32" (or "kernel32.dll", any case) and null (the program) are known modules; others answer null with
// ERROR_MOD_NOT_FOUND. The module's handle needs no release.
HMODULE GetModuleHandleA(LPCSTR lpModuleName);
// Of kernel32 only "GetLogicalProcessorInformation" is exported; other names answer null with
// ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

// TRUE while a tracer (debugger) is attached to the process (TracerPid in /proc/self/status).
BOOL IsDebuggerPresent();

// The process command line in UTF-16, quoted so that CommandLineToArgvW gives the arguments back unchanged.
// Built from the process arguments (/proc/self/cmdline, UTF-8) unless Win32SetCommandLine set it. The text
// stays valid for the whole run.
LPWSTR GetCommandLineW();
// Splits a command line by the platform's rules: the first argument ends at the first blank (or the closing
// quote when it starts with one) and is taken as it stands; the others are separated by blanks and tabs, where
// quotes group blanks, 2n backslashes before a quote give n backslashes and a grouping quote, 2n+1 give n
// backslashes and a literal quote, a doubled quote inside a group gives one literal quote, and other
// backslashes are literal. An empty line gives the program's path. Answers one block (the pointer array
// followed by the texts) to release with LocalFree, and the count in *pNumArgs; null with
// ERROR_INVALID_PARAMETER when pNumArgs is null.
LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);

#define CP_UTF8 65001
// Converts UTF-8 text to UTF-16; the only code page is CP_UTF8 and the only flags 0 (a byte that starts no valid
// character becomes U+FFFD; a zero ends the text). cbMultiByte -1 takes the text up to its terminator, which is
// converted too; a count takes that many bytes and writes no terminator. Answers the units written, or with
// cchWideChar 0 the units needed; 0 with ERROR_INSUFFICIENT_BUFFER when they do not fit, with
// ERROR_INVALID_PARAMETER for another code page, other flags or a missing text.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar);

// Releases a block from CommandLineToArgvW or FormatMessageA. Answers null; null is ignored.
HLOCAL LocalFree(HLOCAL hMem);

// Controls for tests -------------------------------------------------------------------------------------------

// Describes uiCores cores of uiThreadsPerCore logical processors each (at most 64 in all) instead of the host.
// 0 cores returns to GRINDLOW_LOGICAL_PROCESSORS or the host. GRINDLOW_LOGICAL_PROCESSORS holds "N" (N cores
// of one logical processor) or "CxT" (C cores of T); it is read at each call.
void Win32SetProcessorTopology(UINT uiCores, UINT uiThreadsPerCore);

// Faults that tests (or GRINDLOW_WIN32_FAULTS) can inject into the stand-in.
enum class Win32Fault {
  FileOpen,              // CreateFileA fails (default error ERROR_FILE_NOT_FOUND)
  ReadStart,             // ReadFileEx refuses to start the read (ERROR_READ_FAULT)
  ReadComplete,          // ReadFileEx starts, its completion reports the error and 0 bytes (ERROR_READ_FAULT)
  FileClose,             // CloseHandle of a file closes it but answers FALSE (ERROR_INVALID_HANDLE)
  DirectoryCreate,       // SHCreateDirectoryExW creates nothing and answers the error (ERROR_ACCESS_DENIED)
  ThreadCreate,          // _beginthreadex fails (ERROR_NOT_ENOUGH_MEMORY)
  EventCreate,           // CreateEventA fails (ERROR_NOT_ENOUGH_MEMORY)
  ProcessorInfoMissing,  // GetProcAddress does not find GetLogicalProcessorInformation (ERROR_PROC_NOT_FOUND)
  ProcessorInfoCall,     // GetLogicalProcessorInformation fails with the error (ERROR_INVALID_FUNCTION)
  Count
};

// From now on the call behind eFault lets iSkip calls pass, then fails the next iCount calls (iCount < 0:
// every call) with dwError (0: the fault's default error). Replaces what was set for that fault.
void Win32InjectFault(Win32Fault eFault, DWORD dwError, int iCount, int iSkip = 0);
// Removes every injected fault, those of the environment included.
void Win32ClearFaults();
// Replaces the injected faults with those of GRINDLOW_WIN32_FAULTS (done once, before the first fault test):
// a comma-separated list of name[:error[:count[:skip]]], names open, read, read-complete, close, mkdir,
// thread, event, procinfo-missing, procinfo-call; an empty or missing error means the default, a missing count
// every call. Unknown entries are
// reported on standard error and ignored.
void Win32LoadFaultsFromEnvironment();

// Replaces the process command line that GetCommandLineW answers (arguments in UTF-8, the program first); no
// arguments return to the process's own.
void Win32SetCommandLine(int iArgCount, const char* const* ppArgs);

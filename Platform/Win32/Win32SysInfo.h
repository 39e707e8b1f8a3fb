// System information of the Win32 stand-in: page size and allocation granularity.
#pragma once

#include "Platform/Win32/Win32Types.h"

typedef struct _SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

#define PROCESSOR_ARCHITECTURE_AMD64 9

// Fills the record from the running system. The allocation granularity is 64 KiB, as on Windows.
void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo);

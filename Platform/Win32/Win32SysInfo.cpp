#include "Platform/Win32/Win32SysInfo.h"

#include <cstring>
#include <unistd.h>

void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  std::memset(lpSystemInfo, 0, sizeof(*lpSystemInfo));
  const long lPage = sysconf(_SC_PAGESIZE);
  const long lCpus = sysconf(_SC_NPROCESSORS_ONLN);
  lpSystemInfo->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  lpSystemInfo->dwPageSize = lPage > 0 ? DWORD(lPage) : 4096u;
  lpSystemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x10000});
  lpSystemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x7FFFFFFEFFFF});
  lpSystemInfo->dwNumberOfProcessors = lCpus > 0 ? DWORD(lCpus) : 1u;
  lpSystemInfo->dwActiveProcessorMask =
      lpSystemInfo->dwNumberOfProcessors >= 64 ? ~DWORD_PTR{0} : ((DWORD_PTR{1} << lpSystemInfo->dwNumberOfProcessors) - 1);
  lpSystemInfo->dwAllocationGranularity = 65536u;
}

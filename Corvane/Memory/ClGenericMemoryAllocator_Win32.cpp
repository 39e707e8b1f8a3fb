#include "Corvane/Memory/ClGenericMemoryAllocator.h"

#include "Platform/Win32/Win32SysInfo.h"

void ClGenericMemoryAllocator::readSystemParameters(u32& uiPageSize, u32& uiAllocationGranularity) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  uiPageSize = info.dwPageSize;
  uiAllocationGranularity = info.dwAllocationGranularity;
}

// Inside the Win32 stand-in only: the kernel objects behind handles, the handle table, the calling thread's
// completion queue and the fault switches. Not for engine code.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Common/PlatformFaults.h"
#include "Platform/Win32/Win32System.h"
#include "Platform/Win32/Win32Types.h"

namespace Win32Internal {

enum class ObjectKind { Thread, Event, File };

struct KernelObject {
  explicit KernelObject(ObjectKind eKindIn) : eKind(eKindIn) {}
  virtual ~KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  const ObjectKind eKind;
};

// A new handle for the object; each handle keeps the object alive until it is closed.
HANDLE addHandle(std::shared_ptr<KernelObject> pObject);
// The object behind an open handle of the given kind, or null.
std::shared_ptr<KernelObject> findHandle(HANDLE hHandle, ObjectKind eKind);

template <typename T>
std::shared_ptr<T> findHandleAs(HANDLE hHandle, ObjectKind eKind) {
  return std::static_pointer_cast<T>(findHandle(hHandle, eKind));
}

// Queues a routine to the calling thread; it runs in that thread's next alertable wait.
void queueToCurrentThread(std::function<void()> routine);

// The faults GRINDLOW_WIN32_FAULTS names, those of the files, threads and processors and those of the windows.
std::vector<SPlatformFault> environmentFaults();

// True when an injected fault of this kind fires now; dwError then holds its error code.
bool takeFault(Win32Fault eFault, DWORD& dwError);

// UTF-16 text to UTF-8 (unpaired surrogates become U+FFFD) and back.
std::string utf16ToUtf8(const WCHAR* pText);
std::u16string utf8ToUtf16(const char* pText);

}  // namespace Win32Internal

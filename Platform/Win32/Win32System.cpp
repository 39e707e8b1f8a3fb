#include "Platform/Win32/Win32System.h"

#include <sched.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Win32/Win32KernelObjects.h"
#include "Platform/Win32/Win32Threads.h"

namespace {

// Faults ------------------------------------------------------------------------------------------------------

struct FaultEntry {
  const char* pName;
  DWORD dwDefaultError;
};

constexpr std::array<FaultEntry, size_t(Win32Fault::Count)> gc_faultEntries = {{
    {"open", ERROR_FILE_NOT_FOUND},
    {"read", ERROR_READ_FAULT},
    {"read-complete", ERROR_READ_FAULT},
    {"close", ERROR_INVALID_HANDLE},
    {"mkdir", ERROR_ACCESS_DENIED},
    {"thread", ERROR_NOT_ENOUGH_MEMORY},
    {"event", ERROR_NOT_ENOUGH_MEMORY},
    {"procinfo-missing", ERROR_PROC_NOT_FOUND},
    {"procinfo-call", ERROR_INVALID_FUNCTION},
}};

struct FaultState {
  bool bActive = false;
  DWORD dwError = 0;
  int iCount = 0;  // calls still to fail; < 0 every call
  int iSkip = 0;   // calls still to let pass first
};

struct Faults {
  std::mutex lock;
  std::array<FaultState, size_t(Win32Fault::Count)> states;
  std::once_flag environmentRead;
};

Faults& faults() {
  static Faults* const s_pFaults = new Faults;
  return *s_pFaults;
}

void setFault(Faults& all, Win32Fault eFault, DWORD dwError, int iCount, int iSkip) {
  FaultState& state = all.states[size_t(eFault)];
  state.bActive = iCount != 0;
  state.dwError = dwError != 0 ? dwError : gc_faultEntries[size_t(eFault)].dwDefaultError;
  state.iCount = iCount;
  state.iSkip = iSkip > 0 ? iSkip : 0;
}

// A number of an environment fault, or its default when the field is missing or empty.
int faultNumber(const SPlatformFault& fault, size_t uiField, std::int64_t iDefault) {
  const bool bGiven = uiField < fault.numbers.size() && fault.numbers[uiField].has_value();
  return static_cast<int>(std::min<std::int64_t>(bGiven ? *fault.numbers[uiField] : iDefault, INT32_MAX));
}

void loadFaultsLocked(Faults& all) {
  all.states = {};
  for (const SPlatformFault& fault : Win32Internal::environmentFaults()) {
    for (size_t uiFault = 0; uiFault < gc_faultEntries.size(); ++uiFault) {
      if (std::strcmp(fault.pName, gc_faultEntries[uiFault].pName) == 0) {
        setFault(all, Win32Fault(uiFault), DWORD(faultNumber(fault, 0, 0)), faultNumber(fault, 1, -1),
                 faultNumber(fault, 2, 0));
      }
    }
  }
}

Faults& faultsWithEnvironment() {
  Faults& all = faults();
  std::call_once(all.environmentRead, [&all] {
    std::lock_guard<std::mutex> guard(all.lock);
    loadFaultsLocked(all);
  });
  return all;
}

// Processors --------------------------------------------------------------------------------------------------

constexpr UINT gc_uiMAX_LOGICAL = 64;

struct TopologyOverride {
  std::mutex lock;
  UINT uiCores = 0;
  UINT uiThreadsPerCore = 0;
};

TopologyOverride& topologyOverride() {
  static TopologyOverride* const s_pOverride = new TopologyOverride;
  return *s_pOverride;
}

std::vector<ULONG_PTR> uniformCores(UINT uiCores, UINT uiThreadsPerCore) {
  std::vector<ULONG_PTR> masks;
  UINT uiNext = 0;
  for (UINT uiCore = 0; uiCore < uiCores && uiNext < gc_uiMAX_LOGICAL; ++uiCore) {
    ULONG_PTR mask = 0;
    for (UINT uiThread = 0; uiThread < uiThreadsPerCore && uiNext < gc_uiMAX_LOGICAL; ++uiThread) {
      mask |= ULONG_PTR{1} << uiNext++;
    }
    masks.push_back(mask);
  }
  return masks;
}

// "N" or "CxT" from GRINDLOW_LOGICAL_PROCESSORS; false when unset or not understood.
bool environmentTopology(UINT& uiCores, UINT& uiThreadsPerCore) {
  const char* pText = std::getenv("GRINDLOW_LOGICAL_PROCESSORS");
  if (!pText || !*pText) return false;
  char* pEnd = nullptr;
  const unsigned long ulCores = std::strtoul(pText, &pEnd, 10);
  unsigned long ulThreads = 1;
  if (*pEnd == 'x') ulThreads = std::strtoul(pEnd + 1, &pEnd, 10);
  if (*pEnd != '\0' || !std::isdigit(static_cast<unsigned char>(pText[0])) || ulCores == 0 || ulThreads == 0 ||
      ulCores > gc_uiMAX_LOGICAL || ulThreads > gc_uiMAX_LOGICAL) {
    std::fprintf(stderr, "GRINDLOW_LOGICAL_PROCESSORS: ignoring \"%s\"\n", pText);
    return false;
  }
  uiCores = UINT(ulCores);
  uiThreadsPerCore = UINT(ulThreads);
  return true;
}

long readSysfsNumber(int iCpu, const char* pName) {
  char acPath[128];
  std::snprintf(acPath, sizeof(acPath), "/sys/devices/system/cpu/cpu%d/topology/%s", iCpu, pName);
  std::ifstream in(acPath);
  long lValue = -1;
  if (!(in >> lValue)) return -1;
  return lValue;
}

// The logical processors this process may run on, grouped into cores by package and core id; a processor
// whose topology cannot be read is a core of its own.
std::vector<ULONG_PTR> hostCores() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0) {
    const long lCount = sysconf(_SC_NPROCESSORS_ONLN);
    return uniformCores(lCount > 0 ? UINT(lCount) : 1u, 1);
  }
  std::map<std::pair<long, long>, size_t> coreIndex;
  std::vector<ULONG_PTR> masks;
  UINT uiLogical = 0;
  for (int iCpu = 0; iCpu < CPU_SETSIZE && uiLogical < gc_uiMAX_LOGICAL; ++iCpu) {
    if (!CPU_ISSET(iCpu, &allowed)) continue;
    const ULONG_PTR bit = ULONG_PTR{1} << uiLogical++;
    const long lPackage = readSysfsNumber(iCpu, "physical_package_id");
    const long lCore = readSysfsNumber(iCpu, "core_id");
    if (lPackage < 0 || lCore < 0) {
      masks.push_back(bit);
      continue;
    }
    auto [it, bNew] = coreIndex.emplace(std::make_pair(lPackage, lCore), masks.size());
    if (bNew) {
      masks.push_back(bit);
    } else {
      masks[it->second] |= bit;
    }
  }
  if (masks.empty()) masks.push_back(1);
  return masks;
}

std::vector<ULONG_PTR> coreMasks() {
  UINT uiCores = 0, uiThreads = 0;
  {
    TopologyOverride& over = topologyOverride();
    std::lock_guard<std::mutex> guard(over.lock);
    uiCores = over.uiCores;
    uiThreads = over.uiThreadsPerCore;
  }
  if (uiCores != 0 || environmentTopology(uiCores, uiThreads)) return uniformCores(uiCores, uiThreads);
  return hostCores();
}

std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> processorRecords() {
  std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> records;
  ULONG_PTR all = 0;
  for (ULONG_PTR mask : coreMasks()) {
    SYSTEM_LOGICAL_PROCESSOR_INFORMATION record{};
    record.ProcessorMask = mask;
    record.Relationship = RelationProcessorCore;
    record.ProcessorCore.Flags = __builtin_popcountll(mask) > 1 ? LTP_PC_SMT : 0;
    records.push_back(record);
    all |= mask;
  }
  SYSTEM_LOGICAL_PROCESSOR_INFORMATION package{};
  package.ProcessorMask = all;
  package.Relationship = RelationProcessorPackage;
  records.push_back(package);
  SYSTEM_LOGICAL_PROCESSOR_INFORMATION node{};
  node.ProcessorMask = all;
  node.Relationship = RelationNumaNode;
  node.NumaNode.NodeNumber = 0;
  records.push_back(node);
  return records;
}

static_assert(sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION) == 32, "record size as on 64-bit Windows");

// Modules -----------------------------------------------------------------------------------------------------

char g_cKernel32Module;
char g_cProgramModule;

HMODULE kernel32Module() { return reinterpret_cast<HMODULE>(&g_cKernel32Module); }
HMODULE programModule() { return reinterpret_cast<HMODULE>(&g_cProgramModule); }

// Command line ------------------------------------------------------------------------------------------------

struct CommandLineTexts {
  std::mutex lock;
  std::vector<std::unique_ptr<std::u16string>> texts;  // every text answered stays valid
};

CommandLineTexts& commandLineTexts() {
  static CommandLineTexts* const s_pTexts = new CommandLineTexts;
  return *s_pTexts;
}

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string quoteProgram(const std::u16string& program) {
  std::u16string bare;
  for (char16_t c : program) {
    if (c != u'"') bare += c;  // a quote cannot be written inside the program's name
  }
  bool bNeedsQuotes = bare.empty();
  for (char16_t c : bare) bNeedsQuotes = bNeedsQuotes || isBlank(c);
  return bNeedsQuotes ? u"\"" + bare + u"\"" : bare;
}

std::u16string quoteArgument(const std::u16string& argument) {
  bool bNeedsQuotes = argument.empty();
  for (char16_t c : argument) bNeedsQuotes = bNeedsQuotes || isBlank(c) || c == u'"';
  if (!bNeedsQuotes) return argument;
  std::u16string quoted = u"\"";
  size_t uiBackslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++uiBackslashes;
      continue;
    }
    if (c == u'"') {
      quoted.append(uiBackslashes * 2 + 1, u'\\');
    } else {
      quoted.append(uiBackslashes, u'\\');
    }
    quoted += c;
    uiBackslashes = 0;
  }
  quoted.append(uiBackslashes * 2, u'\\');
  quoted += u'"';
  return quoted;
}

std::u16string buildCommandLine(const std::vector<std::string>& args) {
  std::u16string line;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::u16string wide = Win32Internal::utf8ToUtf16(args[i].c_str());
    if (i > 0) line += u' ';
    line += i == 0 ? quoteProgram(wide) : quoteArgument(wide);
  }
  return line;
}

std::vector<std::string> processArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  size_t uiStart = 0;
  while (uiStart < raw.size()) {
    const size_t uiEnd = raw.find('\0', uiStart);
    args.push_back(raw.substr(uiStart, uiEnd == std::string::npos ? std::string::npos : uiEnd - uiStart));
    if (uiEnd == std::string::npos) break;
    uiStart = uiEnd + 1;
  }
  return args;
}

std::string programPath() {
  char acPath[4096];
  const ssize_t iLength = readlink("/proc/self/exe", acPath, sizeof(acPath) - 1);
  return iLength > 0 ? std::string(acPath, size_t(iLength)) : std::string();
}

std::vector<std::u16string> splitCommandLine(const WCHAR* p) {
  std::vector<std::u16string> args;
  std::u16string program;
  if (*p == u'"') {
    for (++p; *p && *p != u'"'; ++p) program += *p;
    if (*p == u'"') ++p;
  } else {
    for (; *p && !isBlank(*p); ++p) program += *p;
  }
  args.push_back(program);

  for (;;) {
    while (isBlank(*p)) ++p;
    if (!*p) break;
    std::u16string arg;
    bool bQuoted = false;
    while (*p && (bQuoted || !isBlank(*p))) {
      if (*p == u'\\') {
        size_t uiBackslashes = 0;
        while (*p == u'\\') {
          ++uiBackslashes;
          ++p;
        }
        if (*p == u'"') {
          arg.append(uiBackslashes / 2, u'\\');
          if (uiBackslashes % 2 == 1) arg += *p++;  // an escaped, literal quote
        } else {
          arg.append(uiBackslashes, u'\\');
        }
      } else if (*p == u'"') {
        if (bQuoted && p[1] == u'"') {
          arg += u'"';
          p += 2;
        } else {
          bQuoted = !bQuoted;
          ++p;
        }
      } else {
        arg += *p++;
      }
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace

// Shared helpers of the stand-in ------------------------------------------------------------------------------

namespace Win32Internal {

std::vector<SPlatformFault> environmentFaults() {
  static const std::vector<SPlatformFaultKind> s_kinds = [] {
    std::vector<SPlatformFaultKind> kinds;
    for (const FaultEntry& entry : gc_faultEntries) kinds.push_back({entry.pName, 3, false});
    // The window's faults (Win32Window.cpp) share the switch.
    kinds.push_back({"createwindow", 0, false});
    kinds.push_back({"nofocus", 0, false});
    kinds.push_back({"stopat", 1, true});
    return kinds;
  }();
  return PlatformEnvironmentFaults("GRINDLOW_WIN32_FAULTS", s_kinds);
}

bool takeFault(Win32Fault eFault, DWORD& dwError) {
  Faults& all = faultsWithEnvironment();
  std::lock_guard<std::mutex> guard(all.lock);
  FaultState& state = all.states[size_t(eFault)];
  if (!state.bActive) return false;
  if (state.iSkip > 0) {
    --state.iSkip;
    return false;
  }
  if (state.iCount > 0 && --state.iCount == 0) state.bActive = false;
  dwError = state.dwError;
  return true;
}

std::string utf16ToUtf8(const WCHAR* pText) {
  std::string out;
  for (const WCHAR* p = pText; *p; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(p[1]) - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string utf8ToUtf16(const char* pText) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(pText);
  while (*p) {
    const unsigned char lead = *p;
    // Bytes after the lead byte: 0 to 3, or -1 for a byte that cannot start a character.
    const int iMore = lead < 0x80             ? 0
                      : (lead & 0xE0) == 0xC0 ? 1
                      : (lead & 0xF0) == 0xE0 ? 2
                      : (lead & 0xF8) == 0xF0 ? 3
                                              : -1;
    static constexpr unsigned char s_leadBits[4] = {0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = iMore >= 0 ? char32_t(lead & s_leadBits[iMore]) : 0;
    bool bValid = iMore >= 0;
    for (int i = 1; bValid && i <= iMore; ++i) {
      bValid = (p[i] & 0xC0) == 0x80;
      if (bValid) c = (c << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are refused like any other bad byte.
    static constexpr char32_t s_minimum[4] = {0, 0x80, 0x800, 0x10000};
    if (bValid && (c < s_minimum[iMore] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) bValid = false;
    if (!bValid) {
      out += char16_t(0xFFFD);
      ++p;
      continue;
    }
    p += iMore + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += char16_t(0xD800 + (c >> 10));
      out += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      out += char16_t(c);
    }
  }
  return out;
}

}  // namespace Win32Internal

// Processors, modules, debugger ---------------------------------------------------------------------------------

BOOL GetLogicalProcessorInformation(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION Buffer, PDWORD ReturnedLength) {
  if (!ReturnedLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD dwFault = 0;
  if (Win32Internal::takeFault(Win32Fault::ProcessorInfoCall, dwFault)) {
    SetLastError(dwFault);
    return FALSE;
  }
  const std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> records = processorRecords();
  const DWORD dwNeeded = DWORD(records.size() * sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
  if (!Buffer || *ReturnedLength < dwNeeded) {
    *ReturnedLength = dwNeeded;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(Buffer, records.data(), dwNeeded);
  *ReturnedLength = dwNeeded;
  return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  if (!lpModuleName) return programModule();
  if (strcasecmp(lpModuleName, "kernel32") == 0 || strcasecmp(lpModuleName, "kernel32.dll") == 0) {
    return kernel32Module();
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule != kernel32Module() && hModule != programModule()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // Names below 0x10000 are ordinals, which no module of the stand-in exports.
  const bool bByName = reinterpret_cast<std::uintptr_t>(lpProcName) >= 0x10000;
  DWORD dwFault = 0;
  if (hModule == kernel32Module() && bByName && std::strcmp(lpProcName, "GetLogicalProcessorInformation") == 0 &&
      !Win32Internal::takeFault(Win32Fault::ProcessorInfoMissing, dwFault)) {
    return reinterpret_cast<FARPROC>(&GetLogicalProcessorInformation);
  }
  SetLastError(dwFault != 0 ? dwFault : ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL IsDebuggerPresent() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::atol(line.c_str() + 10) != 0 ? TRUE : FALSE;
  }
  return FALSE;
}

// Command line ------------------------------------------------------------------------------------------------

LPWSTR GetCommandLineW() {
  CommandLineTexts& all = commandLineTexts();
  std::lock_guard<std::mutex> guard(all.lock);
  if (all.texts.empty()) all.texts.push_back(std::make_unique<std::u16string>(buildCommandLine(processArguments())));
  return all.texts.back()->data();
}

void Win32SetCommandLine(int iArgCount, const char* const* ppArgs) {
  std::vector<std::string> args;
  for (int i = 0; i < iArgCount; ++i) args.emplace_back(ppArgs[i] ? ppArgs[i] : "");
  if (args.empty()) args = processArguments();
  CommandLineTexts& all = commandLineTexts();
  std::lock_guard<std::mutex> guard(all.lock);
  all.texts.push_back(std::make_unique<std::u16string>(buildCommandLine(args)));
}

LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
  if (!pNumArgs) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::vector<std::u16string> args =
      lpCmdLine && *lpCmdLine ? splitCommandLine(lpCmdLine)
                              : std::vector<std::u16string>{Win32Internal::utf8ToUtf16(programPath().c_str())};

  const size_t uiPointers = (args.size() + 1) * sizeof(LPWSTR);
  size_t uiBytes = uiPointers;
  for (const std::u16string& arg : args) uiBytes += (arg.size() + 1) * sizeof(WCHAR);
  void* pBlock = std::malloc(uiBytes);
  if (!pBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto** ppArgs = static_cast<LPWSTR*>(pBlock);
  auto* pText = reinterpret_cast<WCHAR*>(static_cast<char*>(pBlock) + uiPointers);
  for (size_t i = 0; i < args.size(); ++i) {
    ppArgs[i] = pText;
    std::memcpy(pText, args[i].c_str(), (args[i].size() + 1) * sizeof(WCHAR));
    pText += args[i].size() + 1;
  }
  ppArgs[args.size()] = nullptr;
  *pNumArgs = int(args.size());
  return ppArgs;
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
  if (CodePage != CP_UTF8 || dwFlags != 0 || lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (cchWideChar > 0 && lpWideCharStr == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string text =
      cbMultiByte < 0 ? std::string(lpMultiByteStr) : std::string(lpMultiByteStr, size_t(cbMultiByte));
  std::u16string wide = Win32Internal::utf8ToUtf16(text.c_str());
  if (cbMultiByte < 0) wide += u'\0';
  if (cchWideChar == 0) return int(wide.size());
  if (wide.size() > size_t(cchWideChar)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(wide.begin(), wide.end(), lpWideCharStr);
  return int(wide.size());
}

HLOCAL LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}

// Controls for tests ------------------------------------------------------------------------------------------

void Win32SetProcessorTopology(UINT uiCores, UINT uiThreadsPerCore) {
  TopologyOverride& over = topologyOverride();
  std::lock_guard<std::mutex> guard(over.lock);
  over.uiCores = uiCores;
  over.uiThreadsPerCore = uiCores != 0 && uiThreadsPerCore == 0 ? 1 : uiThreadsPerCore;
}

void Win32InjectFault(Win32Fault eFault, DWORD dwError, int iCount, int iSkip) {
  Faults& all = faultsWithEnvironment();
  std::lock_guard<std::mutex> guard(all.lock);
  setFault(all, eFault, dwError, iCount, iSkip);
}

void Win32ClearFaults() {
  Faults& all = faultsWithEnvironment();
  std::lock_guard<std::mutex> guard(all.lock);
  all.states = {};
}

void Win32LoadFaultsFromEnvironment() {
  Faults& all = faultsWithEnvironment();
  std::lock_guard<std::mutex> guard(all.lock);
  loadFaultsLocked(all);
}

// Structured-exception translation of the Win32 stand-in: a hardware fault (invalid memory access, illegal
// instruction, arithmetic fault, bus error) on the thread that installed a translator is reported to the
// translator as an exception code and an EXCEPTION_POINTERS record; the process then ends abnormally with the
// signal that the fault raised. Faults on other threads are left to the system, as they have no translator.
// A fault on any thread while the watched X server has gone (Win32WatchDisplayServer) ends the program as a lost
// display instead.
//
// The translator runs inside a signal handler on an alternate stack: it must keep to what is safe there
// (no allocation, no locks); the store's crash-report writer is written for that.
#pragma once

#include "Platform/Win32/Win32Types.h"

#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001Du
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094u
#define EXCEPTION_IN_PAGE_ERROR 0xC0000006u
#define EXCEPTION_BREAKPOINT 0x80000003u

typedef void (*_se_translator_function)(unsigned int uiCode, EXCEPTION_POINTERS* pExceptionPointers);

// Installs the translator for the calling thread and returns the previous one. Null removes it.
_se_translator_function _set_se_translator(_se_translator_function pTranslator);

// Everything the Win32 stand-in declares, for the engine's _Win32 files.
#pragma once

#include "Platform/Win32/Win32Types.h"

#include "Platform/Win32/Win32Files.h"
#include "Platform/Win32/Win32SysInfo.h"
#include "Platform/Win32/Win32System.h"
#include "Platform/Win32/Win32Threads.h"
#include "Platform/Win32/Win32Time.h"

// Window, message queue and cursor:
#include "Platform/Win32/Win32Messages.h"
#include "Platform/Win32/Win32Window.h"

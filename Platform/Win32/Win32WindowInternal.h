// Private glue between the message queue (Win32Messages.cpp), the windows (Win32Window.cpp, and
// Win32WindowEvents.cpp for SDL's events), the message boxes (Win32MessageBox.cpp), the display connection
// (Win32DisplayLoss.cpp) and the fault handler (Win32Crash.cpp) of the Win32 stand-in. Not for use outside
// Platform/Win32.
#pragma once

#include <SDL.h>

#include "Platform/Win32/Win32Messages.h"

// --- Provided by the queue ---

// Stops the program when called from a thread other than the window thread (the first thread that called).
void Win32RequireWindowThread(const char* pFunction);
// Appends an input message; a mouse move replaces a mouse move of the same window still waiting at the tail.
void Win32QueuePostInput(const MSG& msg);
// A message delivered to the window procedure inside the next PeekMessageA.
void Win32QueueSendLater(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam);
// Registers a window handle (for PostMessageA from any thread) or forgets it and every message waiting for it.
void Win32QueueAddWindow(HWND hWnd);
void Win32QueueRemoveWindow(HWND hWnd);
// Empties the queue, the quit request and the key state.
void Win32QueueReset();
// Tells the pump listeners about an activation change.
void Win32NotifyActivation(HWND hWnd, bool bActive);
// SDL key modifiers as of the last key event the pump read (SDL's own state before the first one).
Uint16 Win32CurrentKeyMod();
void Win32NoteKeyMod(Uint16 uiMod);
// The cursor position the stand-in believes in, in screen coordinates (any thread may read it).
POINT Win32CursorModel();
void Win32SetCursorModel(LONG x, LONG y);

// --- Provided by the windows ---

// Turns one SDL event into window messages.
void Win32WindowTranslateSdlEvent(const SDL_Event& event);
// True (once) for the mouse motion that SetCursorPos caused.
bool Win32WindowIsWarpEcho(const SDL_Event& event);
// The procedure of a live window, else null.
WNDPROC Win32WindowProcOf(HWND hWnd);
// A visible window matching the filter (null: any) that needs painting.
bool Win32WindowFindPaint(HWND hFilter, HWND* phWnd);

// --- Provided by the message boxes ---

// Inside the quit-signal handler: closes the message box that is up and answers true (the signal is used up),
// false when none is. Async-signal-safe.
bool Win32DismissMessageBoxForSignal();

// --- Provided by the display connection ---

// In a process forked to show a box: a lost display ends it with no note and no handler.
void Win32QuietDisplayLoss();
// Whether the server that Win32WatchDisplayServer watches has gone (waits up to a tenth of a second for it to
// close the watch connection); false without a watch. Async-signal-safe.
bool Win32DisplayServerLost();
// Ends the process as a lost display (the note, the handler, its exit code). Async-signal-safe.
[[noreturn]] void Win32EndForLostDisplay();

// The game's front-end screen procedures and their registration: the attract loop (title, attract leaderboard and
// warning screens cycling every 5 s of gameplay time over the chapter-1 background, and the press-start prompt),
// the main menu, the marathon and survivor sub-menus, pick chapter, the credits, the pre-main-menu pause, quit and
// the error dialog's close; and registerScreenUIFunctions, which registers every screen procedure of the game
// (the pause menu's included) under the names the screens' data calls them by.
//
// The screens talk to the game flow through root values ("StartGame", "_mode_selected", "_options_mainmenu",
// ...), the chosen play and the flow's requests (GAMEScreenFlow.h: return to the front end, leave, quit) and the
// profile's unlock flags, which must exist (the profile block is made at start-up). Widgets a procedure names must
// exist in the loaded screens: a missing one stops the program ("Widget [%s] does not exist!!!"). Input is the
// input manager's: a newly pressed action on any of the four logical pads, nothing while input is blocked.
//
// Times: the attract cycle and the prompt's blink run on the gameplay clock (clock 1), the credits and the
// pre-main-menu pause on the system clock (clock 0); seconds. Main thread, inside the UI's tick and render.
#pragma once

#include "Corvane/Camera/ClInterpolator.h"
#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

// The attract loop's state for the program run: the screen shown (1 TitleScreen, 2 AttractLeaderboard,
// 3 WarningScreen) and the 5-second timer (only its remaining duration is used). Armed once, together with the
// background, while the backgrounds-loaded flag (g_bBackgroundsLoaded) is 0.
extern i32 g_iAttractScreenCounter;
extern ClInterpolator<f32> g_attractTimer;
inline constexpr f32 gc_fATTRACT_SCREEN_SECONDS = 5.0f;
// World units per second the attract background scrolls while the front end runs.
inline constexpr f32 gc_fATTRACT_SCROLL_SPEED = 50.0f;

// While non-zero the menu and gameplay mappers map no input and the leaderboard screen ignores back. Raised by
// whatever opens the error dialog; cleared when the dialog goes out.
extern i32 g_bErrorDialogActive;

// Seconds the credits wait after the last manual scroll before they scroll by themselves; kept across visits.
extern f32 g_fCreditsIdleTimer;
inline constexpr f32 gc_fCREDITS_IDLE_SECONDS = 3.0f;
inline constexpr f32 gc_fCREDITS_MANUAL_SPEED = 300.0f;  // canvas units per second
inline constexpr f32 gc_fCREDITS_AUTO_SPEED = 50.0f;
inline constexpr f32 gc_fCREDITS_LOWEST_Y = -2610.0f;  // the picture's end; its top is y 0
inline constexpr f32 gc_fPRE_MAIN_MENU_SECONDS = 10.0f;

// The front-end screens' feedback: "UI_Accept" for every accepted action (back included), "UI_Cancel" for a
// refused one.
void playUIAcceptSound();
void playUICancelSound();

// The value the press-start prompt is drawn with for a call of systemDrawPressStartButton, which is its text
// colour: with one parameter that parameter, but false (nothing drawn) while the profile's CRT effect is off;
// with two, the first on odd and the second on even half seconds of the gameplay clock's total time. Any other
// count stops the program.
bool pressStartPromptColor(const WidgetEventProcedureCall* pData, u32* puiColor);

// Attract loop.
void systemInitializeAttractLoopBackground(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemTickAttractLoopBackground(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemTickAttractLoopScreen(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemTickAttractLoopPressStartClick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemDrawPressStartButton(ClWidget* pWidget, WidgetEventProcedureCall* pData);

// Main menu, sub-menus and pick chapter. The selection procedures take one STRING parameter.
void systemMainMenuInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemMainMenuTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemMainMenuSelection(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemMainMenuDebugCatModeClick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemMarathonSelectSwitchOrSkip(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemMarathonSelectInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemMarathonSelectSelection(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemMarathonSelectTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemSurvivorSelectSwitchOrSkip(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemSurvivorSelectInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemSurvivorSelectSelection(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemSurvivorSelectTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemPickChapterInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemPickChapterBackToMainMenuButtonClick(ClWidget* pWidget, WidgetEventProcedureCall* pData);

// Credits, pre-main-menu, quit, error dialog.
void systemInitializeCredits(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemCreditsTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemPreMainMenuInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemPreMainMenuTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemQuit(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemErrorDialogTransitionOut(ClWidget* pWidget, WidgetEventProcedureCall* pData);

// Registers the game's 71 screen procedure names; "systemPickChapterButtonClick", "systemErrorDialogTick" and
// "systemChangeProfile" share the engine's "systemIdle" procedure.
void registerScreenUIFunctions();

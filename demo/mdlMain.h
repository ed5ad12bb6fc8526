// Sheenling's module: its entry procedure and the registration of the common-control
// window classes that has to happen before any window exists.
#pragma once
#ifdef _WIN32

#include <windows.h>
#include <commctrl.h>

namespace sheenling {

// InitCommonControlsEx's signature; the seam through which tests stand in for it.
using InitCommonControlsExProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// Registers the common-control classes (ICC_USEREX_CLASSES) with one call of
// InitCommonControlsEx, resolved from comctl32 at run time so that a comctl32 without the
// function leaves the program running instead of failing to load. True when the call
// ran; its own result is not looked at. False only when it could not be made.
bool StartCommonControls();

// The same with the function supplied by the caller; nullptr means "the function is
// missing" and gives False.
bool StartCommonControls(InitCommonControlsExProc initCommonControlsEx);

// The entry procedure: registers the classes (ignoring the outcome), then loads and
// shows frmMain modeless and returns.
void Main();

// Main with the registration step supplied, so a failed registration can be tried.
void Main(bool (*startCommonControls)());

// Declares the process DPI-aware with SetProcessDPIAware, looked up at run time, so that
// Windows neither stretches the window as a bitmap nor reports 96 DPI on a finer screen:
// the window lays itself out from twips at the real DPI. The manifest shipped beside the
// exe declares the same; this covers a copy run without it. False where user32 lacks the
// function (XP) or refuses the call.
bool DeclareDpiAware();

// DeclareDpiAware, Main, then the program's message loop until frmMain is closed; the exit code.
int Run();

// The window Main showed, while it exists; nullptr before Main and after it closed.
HWND MainWindow();

// Destroys the window Main showed, if it still exists (for tests that called Main).
void Unload();

}  // namespace sheenling

#endif  // _WIN32

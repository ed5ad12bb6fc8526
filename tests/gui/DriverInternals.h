// What the GUI driver's own files share and its users need not see.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <chrono>
#include <string>

namespace gui {

// Throws the std::runtime_error that a failing driver call throws, naming `what`.
[[noreturn]] void Fail(const std::string& what);
// The same with the thread's last Win32 error.
[[noreturn]] void FailWin32(const std::string& what);

// A limit (scaled, see Scaled) in milliseconds for the Win32 waits, and in whole seconds
// for messages.
DWORD ToMs(std::chrono::milliseconds unscaled);
std::string Seconds(std::chrono::milliseconds limit);
// "window <handle>", for messages.
std::string Window(HWND hwnd);

// A top-level window of process `pid`: a visible one, or with `hiddenToo` any; nullptr when
// it has none.
HWND AnyTopLevelWindow(DWORD pid, bool hiddenToo);

}  // namespace gui

#endif  // _WIN32

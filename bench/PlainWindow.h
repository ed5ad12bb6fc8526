// What the yardstick window programs share, written as the plainest window program writes
// it: a class whose window ends the program when it goes, and the message loop.
#pragma once

#include <windows.h>

namespace bench {

inline LRESULT CALLBACK EndWithWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The class `name`, with the arrow cursor and the dialog background; false when it fails.
inline bool RegisterPlainClass(HINSTANCE instance, const wchar_t* name) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = EndWithWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  return RegisterClassExW(&windowClass) != 0;
}

// Until the window closes; with `dialog`, the dialog manager takes its keys first. The
// exit code.
inline int RunMessageLoop(HWND dialog = nullptr) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (dialog != nullptr && IsDialogMessageW(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace bench

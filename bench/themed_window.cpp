// The smallest window program that looks as ours do: the same Common Controls 6
// manifest (embedded), InitCommonControlsEx with the same classes, and one push
// button. The fair yardstick for the shipped programs' start-up, since both must load
// version 6 of the common controls before their first window shows.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "PlainWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);
  if (!bench::RegisterPlainClass(instance, L"ThemedMinimalWindow")) return 1;
  HWND window =
      CreateWindowExW(0, L"ThemedMinimalWindow", L"Themed minimal", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 325, 292, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  if (CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 16,
                      16, 90, 26, window, nullptr, instance, nullptr) == nullptr) {
    return 1;
  }
  ShowWindow(window, show);
  UpdateWindow(window);
  return bench::RunMessageLoop();
}

// The smallest ordinary Win32 window program: the yardstick the start-up and size
// figures of the shipped exes are measured against. Built with the same compiler,
// options and static runtime as they are.

#include <windows.h>

#include "PlainWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  if (!bench::RegisterPlainClass(instance, L"MinimalWindow")) return 1;
  HWND window = CreateWindowExW(0, L"MinimalWindow", L"Minimal", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 325, 292, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  return bench::RunMessageLoop();
}

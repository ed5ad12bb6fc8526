// Sheenling's floor: a window with the same seven controls as Sheenling's (the same
// classes, styles, boxes at 96 DPI, texts and font), themed the same way (Common Controls 6
// through the manifest beside the exe, and InitCommonControlsEx), made the plainest way:
// one CreateWindowExW call after another, and the dialog manager in the message loop.
// What Sheenling's start costs above this is what it does beyond making its window.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "PlainWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_USEREX_CLASSES};
  InitCommonControlsEx(&classes);
  if (!bench::RegisterPlainClass(instance, L"PlainControlsWindow")) return 1;
  // Some 399 x 304 pixels inside the frame, as Sheenling's at 96 DPI.
  HWND window =
      CreateWindowExW(WS_EX_CONTROLPARENT, L"PlainControlsWindow", L"Plain controls",
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                      CW_USEDEFAULT, 405, 333, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  HFONT font =
      CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_GROUP;
  HWND controls[7] = {
      CreateWindowExW(0, L"Button", L"Button", kChild | WS_TABSTOP | BS_PUSHBUTTON, 24, 96, 121, 33,
                      window, reinterpret_cast<HMENU>(101), instance, nullptr),
      CreateWindowExW(0, L"Button", L"Check Box", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 24, 152,
                      137, 17, window, reinterpret_cast<HMENU>(102), instance, nullptr),
      CreateWindowExW(0, L"Button", L"Option1", kChild | WS_TABSTOP | BS_AUTORADIOBUTTON, 24, 184,
                      121, 17, window, reinterpret_cast<HMENU>(103), instance, nullptr),
      CreateWindowExW(WS_EX_CLIENTEDGE, L"ListBox", L"",
                      kChild | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 24, 208,
                      201, 30, window, reinterpret_cast<HMENU>(104), instance, nullptr),
      CreateWindowExW(0, L"Static",
                      L"Set your VB6 programs to run in style XP, we use the ManiFest file "
                      L"technique.\r\nTo see the results, you will have to compile this example, "
                      L"then run it with the manifest file under the directory of the EXE file .",
                      kChild | SS_LEFT, 24, 8, 353, 65, window, reinterpret_cast<HMENU>(105),
                      instance, nullptr),
      CreateWindowExW(0, L"ComboBox", L"",
                      kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 24, 256,
                      201, 141, window, reinterpret_cast<HMENU>(106), instance, nullptr),
      CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", L"Text1",
                      kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, 240, 104, 137, 177, window,
                      reinterpret_cast<HMENU>(107), instance, nullptr),
  };
  for (HWND control : controls) {
    if (control == nullptr) return 1;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  SetWindowTextW(controls[5], L"Combo1");
  ShowWindow(window, show);
  UpdateWindow(window);
  const int code = bench::RunMessageLoop(window);
  DeleteObject(font);
  return code;
}

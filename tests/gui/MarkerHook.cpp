// The GUI driver's hook, loaded by the system into a program the driver watches, for as
// long as the driver's hook is set on the program's thread: when the thread takes the
// driver's marker from its queue, the event the marker names is set. Every message posted
// to the thread before the marker has been taken and handled by then.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) LRESULT CALLBACK
    GuiDriverMarkerHook(int code, WPARAM removal, LPARAM message) {
  const auto* msg = reinterpret_cast<const MSG*>(message);
  if (code == HC_ACTION && removal == PM_REMOVE && msg->hwnd == nullptr &&
      msg->message == RegisterWindowMessageW(L"GuiDriverMarker")) {
    // The name GuiDriver.cpp gives the event: the driver's process and the marker's number.
    wchar_t name[64];
    wsprintfW(name, L"Local\\GuiDriverMarker.%lu.%lu", static_cast<DWORD>(msg->wParam),
              static_cast<DWORD>(msg->lParam));
    if (const HANDLE taken = OpenEventW(EVENT_MODIFY_STATE, FALSE, name)) {
      SetEvent(taken);
      CloseHandle(taken);
    }
  }
  return CallNextHookEx(nullptr, code, removal, message);
}

// Input posted to another program, and knowing when it has been handled: markers posted
// to the program's thread behind it, which the driver's hook (MarkerHook.cpp) sees taken
// from the queue; and the switches of activation that Alt+Tab makes.
#ifdef _WIN32
#include <memory>
#include <string>
#include <type_traits>

#include "tests/gui/DriverInternals.h"
#include "tests/gui/GuiDriver.h"

namespace gui {
namespace {

// The marker hook (MarkerHook.cpp), loaded into the test once, and the marker message.
struct MarkerHook {
  HMODULE dll;
  HOOKPROC proc;
  UINT message;
};

const MarkerHook& Hook() {
  static const MarkerHook hook = [] {
    const HMODULE dll = LoadLibraryW(GUI_MARKER_HOOK_DLL);
    if (dll == nullptr) FailWin32("cannot load the marker hook");
    const auto proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "GuiDriverMarkerHook")));
    if (proc == nullptr) FailWin32("the marker hook has no GuiDriverMarkerHook");
    return MarkerHook{dll, proc, RegisterWindowMessageW(L"GuiDriverMarker")};
  }();
  return hook;
}

struct UnhookOf {
  void operator()(HHOOK hook) const noexcept { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, UnhookOf>;

// Posts a marker to the thread `threadId` (hooked, `thread` its handle) and waits until the
// thread takes it from its queue. False when the thread ends first.
bool PassMarker(DWORD threadId, HANDLE thread, std::chrono::milliseconds limit) {
  static unsigned long markers = 0;
  const unsigned long number = ++markers;
  const DWORD self = GetCurrentProcessId();
  const std::wstring name =
      L"Local\\GuiDriverMarker." + std::to_wstring(self) + L"." + std::to_wstring(number);
  const UniqueHandle taken(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  if (!taken) FailWin32("cannot make the marker's event");
  if (!PostThreadMessageW(threadId, Hook().message, self, static_cast<LPARAM>(number))) {
    if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) return false;
    FailWin32("cannot post a marker to thread " + std::to_string(threadId));
  }
  const HANDLE ends[] = {taken.get(), thread};
  switch (WaitForMultipleObjects(2, ends, FALSE, ToMs(limit))) {
    case WAIT_OBJECT_0:
      return true;
    case WAIT_OBJECT_0 + 1:
      return false;
    default:
      Fail("thread " + std::to_string(threadId) + " took no message within " + Seconds(limit));
  }
}

// The window active in the GUI thread `threadId` (its program's, not the system's).
HWND ActiveWindow(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(threadId, &info) ? info.hwndActive : nullptr;
}

// Brings `target` to the foreground and waits until `watched`, of the thread `threadId`,
// is active there or not as `active` says, and its program has handled the change.
void Activate(HWND target, HWND watched, DWORD threadId, bool active,
              std::chrono::milliseconds limit) {
  SetForegroundWindow(target);
  if (!WaitUntil([&] { return (ActiveWindow(threadId) == watched) == active; }, limit)) {
    Fail(Window(watched) + (active ? " was not activated" : " was not deactivated") + " within " +
         Seconds(limit));
  }
  if (!WaitUntilHandled(watched, limit)) Fail(Window(watched) + " closed when it was activated");
}

}  // namespace

bool WaitUntilHandled(HWND window, std::chrono::milliseconds limit) {
  const DWORD threadId = GetWindowThreadProcessId(window, nullptr);
  if (threadId == 0) return false;
  const UniqueHandle thread(OpenThread(SYNCHRONIZE, FALSE, threadId));
  if (!thread) FailWin32("cannot open the thread of " + Window(window));
  const MarkerHook& hook = Hook();
  const UniqueHook hooked(SetWindowsHookExW(WH_GETMESSAGE, hook.proc, hook.dll, threadId));
  if (!hooked) FailWin32("cannot hook the thread of " + Window(window));
  // The second marker goes behind whatever the handlers of the messages before the first
  // posted (a window that closes on a key posts itself WM_CLOSE).
  return PassMarker(threadId, thread.get(), limit) && PassMarker(threadId, thread.get(), limit) &&
         IsWindow(window);
}

void DeactivateAndReactivate(HWND window, std::chrono::milliseconds limit) {
  const DWORD threadId = GetWindowThreadProcessId(window, nullptr);
  if (threadId == 0) Fail("no " + Window(window) + " to deactivate");
  // The desktop's own window, not one of the test's: under Wine without a window manager,
  // hiding or destroying a window the test showed would take two seconds.
  Activate(GetDesktopWindow(), window, threadId, false, limit);
  Activate(window, window, threadId, true, limit);
}

std::optional<DWORD> Process::WaitForExitAfterInput(HWND window,
                                                    std::chrono::milliseconds limit) const {
  if (WaitUntilHandled(window, limit)) return std::nullopt;
  return WaitForExit(limit);
}

std::optional<MessageBoxInfo> MessageBoxAfterInput(HWND window) {
  DWORD pid = 0;
  if (GetWindowThreadProcessId(window, &pid) == 0) Fail("no " + Window(window));
  WaitUntilHandled(window);
  return FindMessageBox(pid);
}

}  // namespace gui
#endif  // _WIN32

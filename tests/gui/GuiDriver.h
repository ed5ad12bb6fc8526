// GuiDriver: drives our real Windows programs from a test program, the way a user
// would, reads back what the user would see, and plants DLLs beside them. A Process still
// running when its object goes (a failed ASSERT, an exception) is ended, so a failing
// test never leaves a window behind on the display.
//
// Facts this rests on (checked under Wine):
//  - A window can become visible before its controls exist, so wait for the controls.
//  - GetWindowTextW on another process's edit or combo box does not ask the control;
//    every text read here goes through WM_GETTEXT with SendMessageTimeoutW.
//  - Clicks are posted, never sent: a click that opens a modal box would otherwise block
//    the test until somebody answers the box.
//  - The first GUI program on a fresh display can take many seconds to show its window,
//    so the waits default to a minute; a wait that runs out, like any call that fails,
//    throws a std::runtime_error naming what failed (gtest reports it as the failure).
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <chrono>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Files.h"

namespace gui {

using namespace std::chrono_literals;
using testfiles::CopyFileOrThrow;
using testfiles::Narrow;
using testfiles::TempDirectory;

inline constexpr std::chrono::milliseconds kDefaultWait = 60s;

// Every limit of a wait, times PROJECT_WAIT_SCALE (a whole number, 1 when unset): a run
// under an emulator sets it, where a program starts many times slower.
std::chrono::milliseconds Scaled(std::chrono::milliseconds limit);

struct CloseHandleOf {
  void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, CloseHandleOf>;

// Where a program's call of a function came, as StartWatchingCall saw it.
enum class CallSeen {
  kBeforeAnyWindow,  // it had no top-level window yet
  kWithAWindowMade,  // it had made one (shown or not)
  kNotBeforeItsWindowShowed,
};
// For gtest's messages.
void PrintTo(CallSeen seen, std::ostream* out);

// A program started by the test.
class Process {
 public:
  // Starts `exe` (a full path) with `commandLineArgs` in `workingDir` (empty: the test's
  // own) and waits up to `idleWait` until it is idle for input. Throws when it cannot start.
  static Process Start(const std::wstring& exe, const std::wstring& workingDir = L"",
                       const std::wstring& commandLineArgs = L"",
                       std::chrono::milliseconds idleWait = kDefaultWait);

  Process(Process&&) noexcept = default;
  ~Process();

  // Starts `exe` as Start does, but under the debugger, until the program calls `function`
  // of `module` (a DLL loaded in the test too, and its own export, not a forward) or shows
  // a window; then lets it run on without the debugger. `seen` tells which came first. It
  // reads and writes the program's memory, which Wine cannot do for a program run by an
  // emulator (qemu-user).
  static Process StartWatchingCall(const std::wstring& exe, const std::wstring& workingDir,
                                   const wchar_t* module, const char* function, CallSeen& seen,
                                   std::chrono::milliseconds limit = kDefaultWait);

  DWORD Id() const noexcept { return pid_; }
  bool IsRunning() const;
  // The exit code; std::nullopt when it still runs after `limit` (the destructor ends it).
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds limit = kDefaultWait) const;
  // The top-level window captioned `title`, shown or not (a test checks that itself), once
  // the program has made it and handled a message in its loop (WaitUntilHandled). Throws at
  // once when the program ends first, and after `limit`.
  HWND WaitForWindow(const std::wstring& title,
                     std::chrono::milliseconds limit = kDefaultWait) const;
  // The exit code once the input posted to `window` has closed it; std::nullopt at once
  // when the window handled that input and is still open, and when the program still runs
  // `limit` after its window went.
  std::optional<DWORD> WaitForExitAfterInput(HWND window,
                                             std::chrono::milliseconds limit = kDefaultWait) const;
  // The full paths of the modules loaded in the program now whose path contains `part`
  // (any case), as the loader reports them (C:\windows\system32\..., C:\windows\winsxs\...).
  std::vector<std::wstring> LoadedModules(const std::wstring& part) const;

 private:
  Process() = default;
  UniqueHandle process_;
  DWORD pid_ = 0;
};

// One child window as the user sees it.
struct Control {
  HWND hwnd = nullptr;
  std::wstring className;  // as registered: "Button", "Edit", "ComboBox", "ListBox", "Static"
  int id = 0;
  DWORD style = 0;    // style & 0xF of a Button tells its kind (BS_*)
  std::wstring text;  // WM_GETTEXT
  RECT rect{};        // in the parent's client coordinates, in pixels
  bool visible = false;
  bool enabled = false;
};

// The visible top-level window of process `pid` captioned `title` (any when empty).
HWND WaitForTopLevelWindow(DWORD pid, const std::wstring& title,
                           std::chrono::milliseconds limit = kDefaultWait);
// Waits until `parent` has a child with each of the ids.
void WaitForControls(HWND parent, const std::vector<int>& ids,
                     std::chrono::milliseconds limit = kDefaultWait);
// The direct children of `parent`, in z-order: the order of creation and of Tab.
std::vector<HWND> Children(HWND parent);
std::vector<Control> ChildControls(HWND parent);
HWND ControlById(HWND parent, int id);
// Sends `message`, throwing when the window does not answer within five seconds.
LRESULT Send(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Through WM_GETTEXT, so it works for another process's edit and combo boxes.
std::wstring WindowText(HWND hwnd);
std::wstring ClassName(HWND hwnd);
SIZE ClientSize(HWND hwnd);

// Our windows are laid out in twips (1/1440 inch) and drawn in Tahoma 8.25 pt, both
// scaled to the screen's DPI. A test runs at 96 DPI in the usual prefix and at 144 in a
// prefix whose LogPixels says so (see add_high_dpi_test).

// The screen's DPI. Declares this process DPI-aware first, so that what it reads of other
// programs' windows is real pixels, not pixels scaled back to 96 DPI.
int ScreenDpi();
// Rounded to nearest (halves away from zero).
int TwipsToPixels(int twips, int dpi);
// A box in twips, each figure scaled on its own: the right edge is left + width in pixels.
RECT TwipsRect(int left, int top, int width, int height, int dpi);
// The size `text` takes in Tahoma 8.25 pt at `dpi`: on one line, or wrapped at words within
// `wrapWidth` pixels when that is above 0.
SIZE TextExtent(const std::wstring& text, int dpi, int wrapWidth = 0);

// Presses a push button (or toggles a check box / option button) as a click would. Posted.
void Click(HWND button);
// The window with the keyboard focus in the GUI thread; nullptr when there is none.
HWND FocusedWindow(DWORD threadId);
// Posts WM_KEYDOWN then WM_KEYUP to `target`, as if typed while it had the focus (no
// modifier keys).
void PressKey(HWND target, WPARAM virtualKey);

// Waits until the thread of `window` has handled every message posted to it before this
// call, and what their handlers posted in turn, then tells whether the window is still
// there: two markers posted to the thread, the second once the first was taken, have been
// taken from its queue by the program's message loop or a modal box's (a hook of the
// driver's own, MarkerHook.cpp, loaded into the program meanwhile, sees them go). So a test
// reads the outcome of posted input at once, instead of waiting until a limit runs out
// when the outcome is wrong. Throws when the program took no message for `limit`.
bool WaitUntilHandled(HWND window, std::chrono::milliseconds limit = kDefaultWait);

// Deactivates `window`, a top-level window of another program, by bringing the desktop to
// the foreground (as a click on it does), then brings `window` back, as Alt+Tab does;
// returns once its program has handled both (WaitUntilHandled). Throws when either change
// did not take.
void DeactivateAndReactivate(HWND window, std::chrono::milliseconds limit = kDefaultWait);

// A message box: a top-level "#32770" window of the process.
struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::wstring caption;
  std::wstring text;  // the text of its "Static" child that is not the icon
};
std::optional<MessageBoxInfo> FindMessageBox(DWORD pid);
MessageBoxInfo WaitForMessageBox(DWORD pid, std::chrono::milliseconds limit = kDefaultWait);
// The message box of `window`'s program once `window` has handled the input posted to it
// (WaitUntilHandled); std::nullopt at once when the program shows none then.
std::optional<MessageBoxInfo> MessageBoxAfterInput(HWND window);
// Answers the box as its button `buttonId` would. Posted.
void AnswerMessageBox(HWND box, int buttonId = IDOK);

// False when `limit` passed without the condition holding.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = kDefaultWait) {
  const auto end = std::chrono::steady_clock::now() + Scaled(limit);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    Sleep(50);
  }
}

// Whether `needle` is in `haystack`, compared as the file system compares names.
bool ContainsNoCase(const std::wstring& haystack, const std::wstring& needle);

// DLLs left beside one of our programs under the names its start loads, and what became
// of them. Wine is told to prefer a DLL beside the exe for those names, as Windows does
// for any name it does not take from its KnownDLLs.
class PlantedDlls {
 public:
  // A copy of the canary DLL in `folder` under each name (throws when one cannot be
  // made), and WINEDLLOVERRIDES set for the programs started while this lives.
  explicit PlantedDlls(std::wstring folder);
  PlantedDlls(const PlantedDlls&) = delete;
  PlantedDlls& operator=(const PlantedDlls&) = delete;
  ~PlantedDlls();  // puts WINEDLLOVERRIDES back

  // The planted DLLs that were loaded: each leaves a mark as it loads (under Wine even
  // one whose imports do not resolve), which outlasts the program.
  std::vector<std::wstring> Loaded() const;

 private:
  std::wstring folder_;
  std::optional<std::wstring> savedOverrides_;
};

}  // namespace gui

#endif  // _WIN32

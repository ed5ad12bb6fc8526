#ifdef _WIN32
#include "tests/gui/GuiDriver.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <utility>

namespace gui {
namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("gui driver: " + what); }

std::string Win32Error(DWORD code) { return "Win32 error " + std::to_string(code); }

DWORD ToMs(std::chrono::milliseconds unscaled) {
  const std::chrono::milliseconds limit = Scaled(unscaled);
  if (limit.count() <= 0) return 0;
  if (limit.count() >= static_cast<long long>(INFINITE - 1)) return INFINITE - 1;
  return static_cast<DWORD>(limit.count());
}

std::string Seconds(std::chrono::milliseconds limit) {
  return std::to_string(Scaled(limit).count() / 1000) + " s";
}

std::string Hex(HWND hwnd) {
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%p", static_cast<void*>(hwnd));
  return buffer;
}

}  // namespace

std::chrono::milliseconds Scaled(std::chrono::milliseconds limit) {
  static const long long scale = [] {
    wchar_t text[16];
    const DWORD n = GetEnvironmentVariableW(L"PROJECT_WAIT_SCALE", text, 16);
    const long long value = n > 0 && n < 16 ? wcstoll(text, nullptr, 10) : 1;
    return value >= 1 && value <= 100 ? value : 1;
  }();
  return limit * scale;
}

UniqueHandle& UniqueHandle::operator=(UniqueHandle&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

HANDLE UniqueHandle::Release() noexcept { return std::exchange(h_, nullptr); }

void UniqueHandle::Reset(HANDLE h) noexcept {
  if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  h_ = h;
}

Process Process::Start(const std::wstring& exe, const std::wstring& workingDir,
                       const std::wstring& commandLineArgs, std::chrono::milliseconds idleWait) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!commandLineArgs.empty()) commandLine += L" " + commandLineArgs;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
    Fail("cannot start " + Narrow(exe) + ": " + Win32Error(GetLastError()));
  }
  Process p;
  p.process_.Reset(info.hProcess);
  p.thread_.Reset(info.hThread);
  p.pid_ = info.dwProcessId;
  p.tid_ = info.dwThreadId;
  // Fails at once for a program without a message loop; that is no error here.
  WaitForInputIdle(info.hProcess, ToMs(idleWait));
  return p;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Terminate();
    process_ = std::move(other.process_);
    thread_ = std::move(other.thread_);
    pid_ = std::exchange(other.pid_, 0);
    tid_ = std::exchange(other.tid_, 0);
  }
  return *this;
}

Process::~Process() { Terminate(); }

bool Process::IsRunning() const {
  return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitForExit(std::chrono::milliseconds limit) const {
  if (!process_) return std::nullopt;
  if (WaitForSingleObject(process_.Get(), ToMs(limit)) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.Get(), &code)) return std::nullopt;
  return code;
}

void Process::Terminate(UINT exitCode) const {
  if (!IsRunning()) return;
  TerminateProcess(process_.Get(), exitCode);
  WaitForSingleObject(process_.Get(), 10000);
}

std::vector<std::wstring> Process::LoadedModules() const {
  std::vector<HMODULE> modules(256);
  for (;;) {
    DWORD needed = 0;
    const auto bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
    if (!EnumProcessModules(process_.Get(), modules.data(), bytes, &needed)) {
      Fail("cannot list the modules of process " + std::to_string(pid_) + ": " +
           Win32Error(GetLastError()));
    }
    if (needed <= bytes) {
      modules.resize(needed / sizeof(HMODULE));
      break;
    }
    modules.resize(needed / sizeof(HMODULE) + 16);
  }
  std::vector<std::wstring> paths;
  for (HMODULE module : modules) {
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameExW(process_.Get(), module, path, MAX_PATH * 2);
    if (n > 0) paths.emplace_back(path, n);
  }
  return paths;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    children.push_back(c);
  }
  return children;
}

std::wstring ClassName(HWND hwnd) {
  wchar_t name[256];
  const int n = GetClassNameW(hwnd, name, 256);
  return std::wstring(name, static_cast<size_t>(std::max(n, 0)));
}

std::wstring WindowText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, ToMs(5s), &length)) {
    Fail("window " + Hex(hwnd) + " did not answer WM_GETTEXTLENGTH");
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, ToMs(5s), &copied)) {
    Fail("window " + Hex(hwnd) + " did not answer WM_GETTEXT");
  }
  text.resize(std::min<size_t>(copied, length));
  return text;
}

SIZE ClientSize(HWND hwnd) {
  RECT r{};
  if (!GetClientRect(hwnd, &r)) Fail("no client area for window " + Hex(hwnd));
  return SIZE{r.right - r.left, r.bottom - r.top};
}

bool IsEnabled(HWND hwnd) { return IsWindowEnabled(hwnd) != FALSE; }

int ScreenDpi() {
  // SetProcessDPIAware is Vista's; looked up so the driver runs wherever our programs do.
  using SetAwareProc = BOOL(WINAPI*)();
  if (const FARPROC proc = GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDPIAware")) {
    reinterpret_cast<SetAwareProc>(reinterpret_cast<void (*)()>(proc))();
  }
  const HDC screen = GetDC(nullptr);
  if (screen == nullptr) Fail("no screen device context");
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

int TwipsToPixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

RECT TwipsRect(int left, int top, int width, int height, int dpi) {
  const int x = TwipsToPixels(left, dpi);
  const int y = TwipsToPixels(top, dpi);
  return RECT{x, y, x + TwipsToPixels(width, dpi), y + TwipsToPixels(height, dpi)};
}

SIZE TextExtent(const std::wstring& text, int dpi, int wrapWidth) {
  const HFONT font =
      CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, L"Tahoma");
  if (font == nullptr) Fail("cannot make Tahoma at " + std::to_string(dpi) + " DPI");
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  RECT need{0, 0, wrapWidth, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
            DT_CALCRECT | DT_NOPREFIX | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  return SIZE{need.right - need.left, need.bottom - need.top};
}

namespace {

// The first visible top-level window of process `pid` that `wanted` takes, if any.
template <typename Wanted>
struct TopLevelFinder {
  DWORD pid;
  Wanted& wanted;
  HWND found = nullptr;
  static BOOL CALLBACK Each(HWND hwnd, LPARAM param) {
    auto* self = reinterpret_cast<TopLevelFinder*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != self->pid || !IsWindowVisible(hwnd) || !self->wanted(hwnd)) return TRUE;
    self->found = hwnd;
    return FALSE;
  }
};
template <typename Wanted>
HWND FindTopLevel(DWORD pid, Wanted wanted) {
  TopLevelFinder<Wanted> find{pid, wanted};
  EnumWindows(&TopLevelFinder<Wanted>::Each, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

// A top-level caption is kept by the system, so GetWindowTextW reads it for any process.
std::wstring Caption(HWND hwnd) {
  wchar_t caption[512];
  const int n = GetWindowTextW(hwnd, caption, 512);
  return std::wstring(caption, static_cast<size_t>(std::max(n, 0)));
}

// The box's text: a Static child that is not its icon.
bool IsBoxText(HWND child) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
  return ClassName(child) == L"Static" && (style & SS_TYPEMASK) != SS_ICON;
}

bool IsMessageBox(HWND hwnd) {
  if (ClassName(hwnd) != L"#32770") return false;
  const std::vector<HWND> children = Children(hwnd);
  return std::any_of(children.begin(), children.end(), IsBoxText) &&
         std::any_of(children.begin(), children.end(),
                     [](HWND c) { return ClassName(c) == L"Button"; });
}

bool HasControl(HWND parent, int id) {
  const std::vector<HWND> children = Children(parent);
  return std::any_of(children.begin(), children.end(),
                     [id](HWND c) { return GetDlgCtrlID(c) == id; });
}

}  // namespace

HWND WaitForTopLevelWindow(DWORD pid, const std::wstring& title, std::chrono::milliseconds limit) {
  HWND found = nullptr;
  const auto titled = [&](HWND hwnd) { return title.empty() || Caption(hwnd) == title; };
  if (!WaitUntil([&] { return (found = FindTopLevel(pid, titled)) != nullptr; }, limit)) {
    Fail("no visible top-level window \"" + Narrow(title) + "\" of process " + std::to_string(pid) +
         " within " + Seconds(limit));
  }
  return found;
}

HWND ControlById(HWND parent, int id) {
  for (HWND child : Children(parent)) {
    if (GetDlgCtrlID(child) == id) return child;
  }
  Fail("window " + Hex(parent) + " has no control with id " + std::to_string(id));
}

void WaitForControls(HWND parent, const std::vector<int>& ids, std::chrono::milliseconds limit) {
  std::string missing;
  const bool all = WaitUntil(
      [&] {
        missing.clear();
        for (int id : ids) {
          if (!HasControl(parent, id))
            missing += (missing.empty() ? "" : ", ") + std::to_string(id);
        }
        return missing.empty();
      },
      limit);
  if (!all) {
    Fail("controls with ids " + missing + " did not appear in window " + Hex(parent) + " within " +
         Seconds(limit));
  }
}

void WaitForChildCount(HWND parent, size_t count, std::chrono::milliseconds limit) {
  if (!WaitUntil([&] { return Children(parent).size() >= count; }, limit)) {
    Fail("window " + Hex(parent) + " has " + std::to_string(Children(parent).size()) +
         " children, not " + std::to_string(count) + ", after " + Seconds(limit));
  }
}

std::vector<Control> ChildControls(HWND parent) {
  std::vector<Control> controls;
  for (HWND child : Children(parent)) {
    Control& c = controls.emplace_back();
    c.hwnd = child;
    c.className = ClassName(child);
    c.id = GetDlgCtrlID(child);
    c.style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
    c.text = WindowText(child);
    GetWindowRect(child, &c.rect);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&c.rect), 2);
    c.visible = IsWindowVisible(child) != FALSE;
    c.enabled = IsWindowEnabled(child) != FALSE;
  }
  return controls;
}

void Click(HWND button) {
  if (!PostMessageW(button, BM_CLICK, 0, 0)) {
    Fail("cannot post a click to " + Hex(button) + ": " + Win32Error(GetLastError()));
  }
}

LRESULT CheckState(HWND button) {
  DWORD_PTR state = 0;
  if (!SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, ToMs(5s), &state)) {
    Fail("button " + Hex(button) + " did not answer BM_GETCHECK");
  }
  return static_cast<LRESULT>(state);
}

std::vector<HWND> TabOrder(HWND dialog) {
  const std::vector<HWND> children = Children(dialog);
  const auto first = std::find_if(children.begin(), children.end(), [](HWND c) {
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(c, GWL_STYLE));
    return (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED);
  });
  std::vector<HWND> order;
  for (HWND c = first == children.end() ? nullptr : *first;
       c != nullptr && order.size() <= children.size(); c = GetNextDlgTabItem(dialog, c, FALSE)) {
    if (!order.empty() && c == order.front()) break;
    order.push_back(c);
  }
  return order;
}

HWND FocusedWindow(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(threadId, &info)) return nullptr;
  return info.hwndFocus;
}

void PressKey(HWND target, WPARAM virtualKey) {
  const auto scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(virtualKey), 0));
  PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, virtualKey,
               static_cast<LPARAM>(1 | (scan << 16) | (LPARAM{3} << 30)));
}

std::optional<MessageBoxInfo> FindMessageBox(DWORD pid) {
  const HWND found = FindTopLevel(pid, IsMessageBox);
  if (found == nullptr) return std::nullopt;
  MessageBoxInfo box{found, Caption(found), L""};
  for (HWND child : Children(found)) {
    if (IsBoxText(child) && !(box.text = WindowText(child)).empty()) break;
  }
  return box;
}

MessageBoxInfo WaitForMessageBox(DWORD pid, std::chrono::milliseconds limit) {
  std::optional<MessageBoxInfo> box;
  if (!WaitUntil([&] { return (box = FindMessageBox(pid)).has_value(); }, limit)) {
    Fail("no message box of process " + std::to_string(pid) + " within " + Seconds(limit));
  }
  return *box;
}

void AnswerMessageBox(HWND box, int buttonId) {
  if (!PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(buttonId), 0)) {
    Fail("cannot answer message box " + Hex(box) + ": " + Win32Error(GetLastError()));
  }
}

bool ContainsNoCase(const std::wstring& haystack, const std::wstring& needle) {
  if (needle.empty()) return true;
  if (needle.size() > haystack.size()) return false;
  const auto n = static_cast<int>(needle.size());
  for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (CompareStringOrdinal(haystack.data() + i, n, needle.data(), n, TRUE) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

}  // namespace gui
#endif  // _WIN32

#ifdef _WIN32
#include "tests/gui/GuiDriver.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <filesystem>
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

// ---------------------------------------------------------------- handles, processes

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

// ---------------------------------------------------------------- windows

std::wstring ClassName(HWND hwnd) {
  wchar_t name[256];
  const int n = GetClassNameW(hwnd, name, 256);
  return n > 0 ? std::wstring(name, static_cast<size_t>(n)) : std::wstring();
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

struct FindTopLevel {
  DWORD pid;
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK FindTopLevelProc(HWND hwnd, LPARAM param) {
  auto* find = reinterpret_cast<FindTopLevel*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != find->pid || !IsWindowVisible(hwnd)) return TRUE;
  if (!find->title->empty()) {
    // A top-level caption is kept by the system, so GetWindowTextW reads it for any process.
    wchar_t caption[512];
    const int n = GetWindowTextW(hwnd, caption, 512);
    if (std::wstring(caption, static_cast<size_t>(std::max(n, 0))) != *find->title) return TRUE;
  }
  find->found = hwnd;
  return FALSE;
}

bool IsMessageBox(HWND hwnd) {
  bool hasText = false;
  bool hasButton = false;
  for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring cls = ClassName(child);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
    if (cls == L"Static" && (style & SS_TYPEMASK) != SS_ICON) hasText = true;
    if (cls == L"Button") hasButton = true;
  }
  return hasText && hasButton;
}

struct FindBox {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindBoxProc(HWND hwnd, LPARAM param) {
  auto* find = reinterpret_cast<FindBox*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != find->pid || !IsWindowVisible(hwnd) || ClassName(hwnd) != L"#32770") return TRUE;
  if (!IsMessageBox(hwnd)) return TRUE;
  find->found = hwnd;
  return FALSE;
}

}  // namespace

HWND FindTopLevelWindow(DWORD pid, const std::wstring& title) {
  FindTopLevel find{pid, &title, nullptr};
  EnumWindows(FindTopLevelProc, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

HWND WaitForTopLevelWindow(DWORD pid, const std::wstring& title, std::chrono::milliseconds limit) {
  HWND found = nullptr;
  if (!WaitUntil([&] { return (found = FindTopLevelWindow(pid, title)) != nullptr; }, limit)) {
    Fail("no visible top-level window \"" + Narrow(title) + "\" of process " + std::to_string(pid) +
         " within " + Seconds(limit));
  }
  return found;
}

HWND ControlById(HWND parent, int id) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) == id) return child;
  }
  Fail("window " + Hex(parent) + " has no control with id " + std::to_string(id));
}

void WaitForControls(HWND parent, const std::vector<int>& ids, std::chrono::milliseconds limit) {
  std::vector<int> missing;
  const bool all = WaitUntil(
      [&] {
        missing.clear();
        for (int id : ids) {
          bool present = false;
          for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr && !present;
               c = GetWindow(c, GW_HWNDNEXT)) {
            present = GetDlgCtrlID(c) == id;
          }
          if (!present) missing.push_back(id);
        }
        return missing.empty();
      },
      limit);
  if (!all) {
    std::string list;
    for (int id : missing) list += (list.empty() ? "" : ", ") + std::to_string(id);
    Fail("controls with ids " + list + " did not appear in window " + Hex(parent) + " within " +
         Seconds(limit));
  }
}

void WaitForChildCount(HWND parent, size_t count, std::chrono::milliseconds limit) {
  size_t have = 0;
  const bool enough = WaitUntil(
      [&] {
        have = 0;
        for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
          ++have;
        }
        return have >= count;
      },
      limit);
  if (!enough) {
    Fail("window " + Hex(parent) + " has " + std::to_string(have) + " children, not " +
         std::to_string(count) + ", after " + Seconds(limit));
  }
}

Control ReadControl(HWND child) {
  Control c;
  c.hwnd = child;
  c.className = ClassName(child);
  c.id = GetDlgCtrlID(child);
  c.style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
  c.exStyle = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_EXSTYLE));
  c.text = WindowText(child);
  GetWindowRect(child, &c.rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&c.rect), 2);
  c.visible = IsWindowVisible(child) != FALSE;
  c.enabled = IsWindowEnabled(child) != FALSE;
  return c;
}

std::vector<Control> ChildControls(HWND parent) {
  std::vector<Control> controls;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    controls.push_back(ReadControl(child));
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
  HWND first = nullptr;
  size_t children = 0;
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    ++children;
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(c, GWL_STYLE));
    if (first == nullptr && (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED))
      first = c;
  }
  std::vector<HWND> order;
  for (HWND c = first; c != nullptr && order.size() <= children;
       c = GetNextDlgTabItem(dialog, c, FALSE)) {
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
  FindBox find{pid, nullptr};
  EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&find));
  if (find.found == nullptr) return std::nullopt;
  MessageBoxInfo box;
  box.hwnd = find.found;
  wchar_t caption[512];
  const int n = GetWindowTextW(find.found, caption, 512);
  box.caption.assign(caption, static_cast<size_t>(std::max(n, 0)));
  for (HWND child = GetWindow(find.found, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
    if (ClassName(child) == L"Static" && (style & SS_TYPEMASK) != SS_ICON) {
      std::wstring text = WindowText(child);
      if (!text.empty()) {
        box.text = std::move(text);
        break;
      }
    }
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

// ---------------------------------------------------------------- files, text

TempDirectory::TempDirectory() {
  wchar_t base[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, base);
  if (n == 0 || n > MAX_PATH) Fail("no temporary folder: " + Win32Error(GetLastError()));
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring candidate = std::wstring(base) + L"guitest-" +
                             std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = std::move(candidate);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      Fail("cannot make " + Narrow(candidate) + ": " + Win32Error(GetLastError()));
    }
  }
  Fail("cannot make a fresh temporary folder");
}

TempDirectory::~TempDirectory() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path_), ignored);
}

void CopyFileOrThrow(const std::wstring& from, const std::wstring& to) {
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
    Fail("cannot copy " + Narrow(from) + " to " + Narrow(to) + ": " + Win32Error(GetLastError()));
  }
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int wide = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
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

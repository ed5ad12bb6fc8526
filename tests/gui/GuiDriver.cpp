#ifdef _WIN32
#include "tests/gui/GuiDriver.h"

#include <psapi.h>

#include "tests/gui/DriverInternals.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <stdexcept>
#include <utility>

namespace gui {

void Fail(const std::string& what) { throw std::runtime_error("gui driver: " + what); }

void FailWin32(const std::string& what) {
  Fail(what + ": Win32 error " + std::to_string(GetLastError()));
}

DWORD ToMs(std::chrono::milliseconds unscaled) {
  const std::chrono::milliseconds limit = Scaled(unscaled);
  if (limit.count() <= 0) return 0;
  if (limit.count() >= static_cast<long long>(INFINITE - 1)) return INFINITE - 1;
  return static_cast<DWORD>(limit.count());
}

std::string Seconds(std::chrono::milliseconds limit) {
  return std::to_string(Scaled(limit).count() / 1000) + " s";
}

std::string Window(HWND hwnd) {
  return "window " + std::to_string(reinterpret_cast<uintptr_t>(hwnd));
}

namespace {

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, const char* what) {
  if (!PostMessageW(hwnd, message, wParam, lParam)) {
    FailWin32(std::string("cannot post ") + what + " to " + Window(hwnd));
  }
}

// A process, whether its hidden windows count too, and the top-level windows found.
struct Windows {
  DWORD pid;
  bool hiddenToo;
  std::vector<HWND> found;
};

BOOL CALLBACK AddIfWanted(HWND hwnd, LPARAM param) {
  auto& windows = *reinterpret_cast<Windows*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == windows.pid && (windows.hiddenToo || IsWindowVisible(hwnd))) {
    windows.found.push_back(hwnd);
  }
  return TRUE;
}

// The first visible (or with `hiddenToo`, any) top-level window of process `pid` that
// `wanted` takes, if any.
template <typename Wanted>
HWND FindTopLevel(DWORD pid, Wanted wanted, bool hiddenToo = false) {
  Windows windows{pid, hiddenToo, {}};
  EnumWindows(&AddIfWanted, reinterpret_cast<LPARAM>(&windows));
  const auto at = std::find_if(windows.found.begin(), windows.found.end(), wanted);
  return at == windows.found.end() ? nullptr : *at;
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

// What our programs' start loads by name and Windows does not take from its KnownDLLs:
// comctl32, what Common Controls 6 loads (uxtheme, and msimg32 under Wine), what uxtheme
// loads on Vista and 7 (dwmapi), advapi32's random numbers (cryptbase).
// Not here, because no program can keep them out under Wine 8, which has no KnownDLLs:
// version and imm32, which Wine's own user32 loads by name as it starts, before any
// code of the program runs (Windows' user32 loads neither by name: imm32 by its full
// path on XP and as a KnownDLL later, version not at all); nor the KnownDLLs themselves
// and what they import (kernelbase, sechost, ucrtbase and the like).
constexpr const wchar_t* kPlantedNames[] = {L"comctl32", L"uxtheme", L"msimg32", L"dwmapi",
                                            L"cryptbase"};

}  // namespace

HWND AnyTopLevelWindow(DWORD pid, bool hiddenToo) {
  return FindTopLevel(
      pid, [](HWND) { return true; }, hiddenToo);
}

std::chrono::milliseconds Scaled(std::chrono::milliseconds limit) {
  static const long long scale = [] {
    wchar_t text[16];
    const DWORD n = GetEnvironmentVariableW(L"PROJECT_WAIT_SCALE", text, 16);
    const long long value = n > 0 && n < 16 ? wcstoll(text, nullptr, 10) : 1;
    return value >= 1 && value <= 100 ? value : 1;
  }();
  return limit * scale;
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
    FailWin32("cannot start " + Narrow(exe));
  }
  const UniqueHandle thread(info.hThread);
  Process p;
  p.process_.reset(info.hProcess);
  p.pid_ = info.dwProcessId;
  // Fails at once for a program without a message loop; that is no error here.
  WaitForInputIdle(info.hProcess, ToMs(idleWait));
  return p;
}

Process::~Process() {
  if (!IsRunning()) return;
  TerminateProcess(process_.get(), 1);
  WaitForSingleObject(process_.get(), 10000);
}

bool Process::IsRunning() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitForExit(std::chrono::milliseconds limit) const {
  DWORD code = 0;
  if (!process_ || WaitForSingleObject(process_.get(), ToMs(limit)) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process_.get(), &code)) {
    return std::nullopt;
  }
  return code;
}

HWND Process::WaitForWindow(const std::wstring& title, std::chrono::milliseconds limit) const {
  HWND found = nullptr;
  const auto titled = [&](HWND hwnd) { return Caption(hwnd) == title; };
  const auto madeOrEnded = [&] {
    return (found = FindTopLevel(pid_, titled, true)) != nullptr || !IsRunning();
  };
  if (!WaitUntil(madeOrEnded, limit)) {
    Fail("no top-level window \"" + Narrow(title) + "\" of process " + std::to_string(pid_) +
         " within " + Seconds(limit));
  }
  if (found == nullptr || !WaitUntilHandled(found, limit)) {
    Fail("process " + std::to_string(pid_) + " ended (exit code " +
         std::to_string(WaitForExit(0ms).value_or(0)) + ") or closed its window \"" +
         Narrow(title) + "\" before it took a message");
  }
  return found;
}

std::vector<std::wstring> Process::LoadedModules(const std::wstring& part) const {
  HMODULE modules[1024];
  DWORD bytes = 0;
  if (!EnumProcessModules(process_.get(), modules, sizeof modules, &bytes)) {
    FailWin32("cannot list the modules of process " + std::to_string(pid_));
  }
  std::vector<std::wstring> paths;
  for (DWORD i = 0; i < std::min<DWORD>(bytes, sizeof modules) / sizeof(HMODULE); ++i) {
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameExW(process_.get(), modules[i], path, MAX_PATH * 2);
    std::wstring module(path, n);
    if (n > 0 && ContainsNoCase(module, part)) paths.push_back(std::move(module));
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

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, ToMs(5s), &result)) {
    Fail(Window(hwnd) + " did not answer message " + std::to_string(message));
  }
  return static_cast<LRESULT>(result);
}

std::wstring WindowText(HWND hwnd) {
  const auto length = static_cast<size_t>(Send(hwnd, WM_GETTEXTLENGTH));
  std::wstring text(length + 1, L'\0');
  const auto copied = static_cast<size_t>(
      Send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(std::min(copied, length));
  return text;
}

SIZE ClientSize(HWND hwnd) {
  RECT r{};
  if (!GetClientRect(hwnd, &r)) Fail("no client area for " + Window(hwnd));
  return SIZE{r.right - r.left, r.bottom - r.top};
}

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
  const HWND child = GetDlgItem(parent, id);  // a direct child only
  if (child == nullptr) Fail(Window(parent) + " has no control with id " + std::to_string(id));
  return child;
}

void WaitForControls(HWND parent, const std::vector<int>& ids, std::chrono::milliseconds limit) {
  std::string missing;
  const auto allThere = [&] {
    missing.clear();
    for (int id : ids) {
      if (GetDlgItem(parent, id) == nullptr) missing += " " + std::to_string(id);
    }
    return missing.empty();
  };
  if (!WaitUntil(allThere, limit)) {
    Fail("controls with ids" + missing + " did not appear in " + Window(parent) + " within " +
         Seconds(limit));
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

void Click(HWND button) { Post(button, BM_CLICK, 0, 0, "a click"); }

HWND FocusedWindow(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
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
  Post(box, WM_COMMAND, static_cast<WPARAM>(buttonId), 0, "an answer");
}

bool ContainsNoCase(const std::wstring& haystack, const std::wstring& needle) {
  const auto n = static_cast<int>(needle.size());
  for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (CompareStringOrdinal(haystack.data() + i, n, needle.data(), n, TRUE) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

PlantedDlls::PlantedDlls(std::wstring folder) : folder_(std::move(folder)) {
  std::wstring names;
  for (const wchar_t* name : kPlantedNames) {
    CopyFileOrThrow(PLANTED_CANARY_DLL, folder_ + L"\\" + name + L".dll");
    names += (names.empty() ? L"" : L",") + std::wstring(name);
  }
  wchar_t saved[1024];
  const DWORD n = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", saved, 1024);
  if (n > 0 && n < 1024) savedOverrides_.emplace(saved, n);
  // The run's own overrides, and the planted names' native copies first.
  const std::wstring overrides =
      (savedOverrides_ ? *savedOverrides_ + L";" : L"") + names + L"=n,b";
  SetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides.c_str());
}

PlantedDlls::~PlantedDlls() {
  SetEnvironmentVariableW(L"WINEDLLOVERRIDES",
                          savedOverrides_ ? savedOverrides_->c_str() : nullptr);
}

std::vector<std::wstring> PlantedDlls::Loaded() const {
  std::vector<std::wstring> loaded;
  for (const wchar_t* name : kPlantedNames) {
    const std::wstring dll = folder_ + L"\\" + name + L".dll";
    if (testfiles::Exists(dll + L".loaded")) loaded.push_back(dll);
  }
  return loaded;
}

}  // namespace gui
#endif  // _WIN32

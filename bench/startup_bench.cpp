// startup_bench: time from starting a program to its first visible top-level window,
// against the same for a minimal window program.
//
//   startup_bench <exe> <baseline exe> [label] [rounds]
//       starts each program `rounds` times (default 7), alternating, and prints one
//       table row: the median time of each and the ratio exe / baseline.
//   startup_bench --check <exe> [timeout ms]
//       starts the program once; exit code 0 when its window showed within the time
//       (default 20,000 ms), 1 when not. Used to check the unzipped release.
//
// The window is found by process id (EnumWindows, IsWindowVisible), then closed with
// WM_CLOSE; a program that does not end within five seconds is terminated.

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// A program whose manifest asks for administrator rights (winerror.h 740).
constexpr DWORD kElevationRequired = 740;

// A process started by us, ended and released on every path out.
class Started {
 public:
  Started() = default;
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;
  ~Started() {
    if (process_ != nullptr) {
      if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
      CloseHandle(process_);
    }
  }

  // CreateProcess, or ShellExecuteEx where the program asks for elevation (an
  // administrator's console starts it without a prompt).
  bool Start(const std::wstring& exe) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &info)) {
      CloseHandle(info.hThread);
      process_ = info.hProcess;
      id_ = info.dwProcessId;
      return true;
    }
    if (GetLastError() != kElevationRequired) return false;
    SHELLEXECUTEINFOW shell{};
    shell.cbSize = sizeof shell;
    shell.fMask = SEE_MASK_NOCLOSEPROCESS;
    shell.lpVerb = L"runas";
    shell.lpFile = exe.c_str();
    shell.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&shell) || shell.hProcess == nullptr) return false;
    process_ = shell.hProcess;
    id_ = GetProcessId(process_);
    return true;
  }

  DWORD Id() const { return id_; }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
  }
  bool Ended() const { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }

  void Close(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
  }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

struct Search {
  DWORD id;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->id && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Milliseconds from start to the window shown; negative when it never showed.
double TimeToWindow(const std::wstring& exe, DWORD timeoutMs) {
  Started program;
  const auto start = std::chrono::steady_clock::now();
  if (!program.Start(exe)) {
    std::fwprintf(stderr, L"%ls: could not start (error %lu)\n", exe.c_str(), GetLastError());
    return -1;
  }
  const auto deadline = start + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    Search search{program.Id(), nullptr};
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      const std::chrono::duration<double, std::milli> took =
          std::chrono::steady_clock::now() - start;
      program.Close(search.found);
      return took.count();
    }
    if (program.Ended()) {
      std::fwprintf(stderr, L"%ls: ended before showing a window (exit code %lu)\n", exe.c_str(),
                    program.ExitCode());
      return -1;
    }
    Sleep(1);
  }
  return -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::wstring FullPath(const wchar_t* path) {
  wchar_t full[MAX_PATH];
  const DWORD n = GetFullPathNameW(path, MAX_PATH, full, nullptr);
  return n > 0 && n < MAX_PATH ? std::wstring(full, n) : std::wstring(path);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"--check") == 0) {
    const DWORD timeout = argc > 3 ? static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) : 20000;
    const double ms = TimeToWindow(FullPath(argv[2]), timeout);
    if (ms < 0) {
      std::fwprintf(stderr, L"%ls: no window within %lu ms\n", argv[2], timeout);
      return 1;
    }
    std::wprintf(L"%ls: window shown after %.0f ms\n", argv[2], ms);
    return 0;
  }
  if (argc < 3) {
    std::fwprintf(stderr,
                  L"usage: startup_bench <exe> <baseline exe> [label] [rounds]\n"
                  L"       startup_bench --check <exe> [timeout ms]\n");
    return 2;
  }
  const std::wstring exe = FullPath(argv[1]);
  const std::wstring baseline = FullPath(argv[2]);
  const std::wstring label = argc > 3 ? argv[3] : L"start to window shown";
  const int rounds = argc > 4 ? std::max(1, _wtoi(argv[4])) : 7;
  // One unmeasured start of each: the first start of a program pays for the disk.
  TimeToWindow(exe, 20000);
  TimeToWindow(baseline, 20000);
  // Rounds alternate which program starts first, and the ratio is the median of each
  // round's own ratio: a slow spell of a shared machine spans both starts of a round,
  // where two independent medians would each catch it differently.
  std::vector<double> ours;
  std::vector<double> base;
  std::vector<double> ratios;
  for (int i = 0; i < rounds; ++i) {
    double a = 0;
    double b = 0;
    if (i % 2 == 0) {
      a = TimeToWindow(exe, 20000);
      b = TimeToWindow(baseline, 20000);
    } else {
      b = TimeToWindow(baseline, 20000);
      a = TimeToWindow(exe, 20000);
    }
    if (a < 0 || b < 0) {
      std::fwprintf(stderr, L"startup_bench: %ls showed no window\n",
                    a < 0 ? exe.c_str() : baseline.c_str());
      return 1;
    }
    ours.push_back(a);
    base.push_back(b);
    ratios.push_back(a / b);
  }
  std::wprintf(L"%-44ls %10.1f ms %12.1f ms %8.2fx\n", label.c_str(), Median(ours), Median(base),
               Median(ratios));
  return 0;
}

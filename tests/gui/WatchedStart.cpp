// A program started under the debugger, to see whether it calls a function before it makes
// its first window: a breakpoint on the function's first instruction, planted as the DLL
// that holds it loads, taken out again when it is hit or the window shows.
#ifdef _WIN32
#include <chrono>
#include <ostream>
#include <string>

#include "tests/gui/DriverInternals.h"
#include "tests/gui/GuiDriver.h"

namespace gui {
namespace {

constexpr BYTE kBreakpoint = 0xCC;  // int3, on x86 and x86-64 alike

template <typename T>
bool Read(HANDLE process, const BYTE* at, T& value) {
  return ReadProcessMemory(process, at, &value, sizeof value, nullptr) != FALSE;
}

void Write(HANDLE process, BYTE* at, BYTE value) {
  if (!WriteProcessMemory(process, at, &value, 1, nullptr)) {
    FailWin32("cannot write the breakpoint into the watched program");
  }
  FlushInstructionCache(process, at, 1);
}

// The name a module's export directory gives it, read from `process`, where it is mapped at
// `base`; empty when it has none.
std::string ExportName(HANDLE process, const BYTE* base) {
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS nt{};
  IMAGE_EXPORT_DIRECTORY exports{};
  if (!Read(process, base, dos) || !Read(process, base + dos.e_lfanew, nt)) return {};
  const IMAGE_DATA_DIRECTORY& directory =
      nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.Size == 0 || !Read(process, base + directory.VirtualAddress, exports)) return {};
  std::string name;
  char c = 0;
  while (name.size() < 64 && Read(process, base + exports.Name + name.size(), c) && c != 0) {
    name += c;
  }
  return name;
}

// Where the function lies in its module, found in the test's own copy of the module: the
// same DLL at another address in the watched program.
struct Target {
  std::string module;  // as its export directory names it
  size_t offset;
};

Target Locate(const wchar_t* module, const char* function) {
  const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(module));
  if (base == nullptr) FailWin32("the test has not loaded " + Narrow(module));
  const auto* at = reinterpret_cast<const BYTE*>(
      GetProcAddress(reinterpret_cast<HMODULE>(const_cast<BYTE*>(base)), function));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  if (at == nullptr || at < base || at >= base + nt->OptionalHeader.SizeOfImage) {
    Fail(std::string(function) + " is no function of " + Narrow(module) + " itself");
  }
  return Target{ExportName(GetCurrentProcess(), base), static_cast<size_t>(at - base)};
}

// Sets the stopped thread `threadId` back to `at`, the instruction the breakpoint replaced.
void Rewind(DWORD threadId, BYTE* at) {
  const UniqueHandle thread(OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId));
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  if (!thread || !GetThreadContext(thread.get(), &context)) {
    FailWin32("cannot read the watched program's thread");
  }
#ifdef _WIN64
  context.Rip = reinterpret_cast<DWORD64>(at);
#else
  context.Eip = reinterpret_cast<DWORD>(at);
#endif
  if (!SetThreadContext(thread.get(), &context)) {
    FailWin32("cannot set the watched program's thread back");
  }
}

}  // namespace

void PrintTo(CallSeen seen, std::ostream* out) {
  constexpr const char* kNames[] = {"before any window", "with a window made",
                                    "not before its window showed"};
  *out << kNames[static_cast<int>(seen)];
}

Process Process::StartWatchingCall(const std::wstring& exe, const std::wstring& workingDir,
                                   const wchar_t* module, const char* function, CallSeen& seen,
                                   std::chrono::milliseconds limit) {
  const Target target = Locate(module, function);
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      DEBUG_ONLY_THIS_PROCESS, nullptr,
                      workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
    FailWin32("cannot start " + Narrow(exe) + " under the debugger");
  }
  const UniqueHandle thread(info.hThread);
  Process p;
  p.process_.reset(info.hProcess);
  p.pid_ = info.dwProcessId;
  const HANDLE process = info.hProcess;

  BYTE* breakpoint = nullptr;
  BYTE replaced = 0;
  bool decided = false;
  const auto end = std::chrono::steady_clock::now() + Scaled(limit);
  while (!decided) {
    if (std::chrono::steady_clock::now() >= end) {
      Fail(Narrow(exe) + " neither called " + function + " nor showed a window in time");
    }
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, 50)) {
      // Running on its own between events: a window it shows now came first.
      if (AnyTopLevelWindow(p.pid_, false) != nullptr) {
        seen = CallSeen::kNotBeforeItsWindowShowed;
        decided = true;
      }
      continue;
    }
    DWORD answer = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT: {
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        auto* base = static_cast<BYTE*>(event.u.LoadDll.lpBaseOfDll);
        if (breakpoint == nullptr &&
            lstrcmpiA(ExportName(process, base).c_str(), target.module.c_str()) == 0) {
          breakpoint = base + target.offset;
          if (!Read(process, breakpoint, replaced)) FailWin32("cannot read " + target.module);
          Write(process, breakpoint, kBreakpoint);
        }
        break;
      }
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        if (record.ExceptionCode != EXCEPTION_BREAKPOINT) {
          answer = DBG_EXCEPTION_NOT_HANDLED;  // the program's own, to handle as it would
        } else if (breakpoint != nullptr && record.ExceptionAddress == breakpoint) {
          seen = AnyTopLevelWindow(p.pid_, true) == nullptr ? CallSeen::kBeforeAnyWindow
                                                            : CallSeen::kWithAWindowMade;
          Write(process, breakpoint, replaced);
          breakpoint = nullptr;
          Rewind(event.dwThreadId, static_cast<BYTE*>(record.ExceptionAddress));
          decided = true;
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        Fail(Narrow(exe) + " ended (exit code " + std::to_string(event.u.ExitProcess.dwExitCode) +
             ") under the debugger");
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
  }
  // Left in, the breakpoint would end the program at its next call.
  if (breakpoint != nullptr) Write(process, breakpoint, replaced);
  DebugSetProcessKillOnExit(FALSE);
  if (!DebugActiveProcessStop(p.pid_)) FailWin32("cannot leave " + Narrow(exe) + " running");
  return p;
}

}  // namespace gui
#endif  // _WIN32

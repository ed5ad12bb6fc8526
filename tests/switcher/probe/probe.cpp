// A stand-in for VB6.EXE: it loads the common controls the way the IDE does and
// reports which comctl32.dll the loader gave it. A path under WinSxS means a
// side-by-side manifest beside this exe took effect; the system folder means none did.
//
// Usage: VB6.EXE [output file]   (without a file the path goes to standard output)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "tests/support/Files.h"

namespace {

std::wstring ModulePath(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  InitCommonControls();
  const HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  const std::string line =
      (comctl ? testfiles::Narrow(ModulePath(comctl)) : std::string("(comctl32 not loaded)")) +
      "\n";
  if (argc > 1) {
    FILE* out = _wfopen(argv[1], L"wb");
    if (!out) return 2;
    const size_t written = fwrite(line.data(), 1, line.size(), out);
    const bool ok = fclose(out) == 0 && written == line.size();
    if (!ok) return 2;
  } else {
    fputs(line.c_str(), stdout);
  }
  return comctl ? 0 : 1;
}

// A stand-in for VB6.EXE: it loads the common controls the way the IDE does and
// reports which comctl32.dll the loader gave it. A path under WinSxS means a
// side-by-side manifest beside this exe took effect; the system folder means none did.
//
// Usage: VB6.EXE [output file]   (without a file the path goes to standard output)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/Files.h"

int wmain(int argc, wchar_t** argv) {
  InitCommonControls();
  const HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  wchar_t path[MAX_PATH * 2] = L"(comctl32 not loaded)";
  if (comctl != nullptr && GetModuleFileNameW(comctl, path, MAX_PATH * 2) == 0) return 2;
  const std::string line = testfiles::Narrow(path) + "\n";
  if (argc > 1) {
    std::ofstream out(std::filesystem::path(argv[1]), std::ios::binary);
    if (!(out << line << std::flush)) return 2;
  } else {
    fputs(line.c_str(), stdout);
  }
  return comctl ? 0 : 1;
}

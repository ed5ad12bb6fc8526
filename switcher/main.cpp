// Burnisher: switches the VB6 IDE between the XP visual style and the standard style
// by installing or removing the side-by-side manifest beside VB6.EXE.
#include <windows.h>
#include <commctrl.h>

#include "platform/RegistryApi.h"
#include "switcher/SwitcherCore.h"
#include "switcher/frmMain.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, spelled out for headers that predate it.
constexpr DWORD kSearchSystem32 = 0x00000800;

// The program may run elevated from a downloads folder: DLLs are loaded from the
// system folder only, never from beside the exe. Looked up at run time because the
// function is missing on systems without the loader update.
void RestrictDllSearch() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  const FARPROC proc = GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (!proc) return;
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const auto setDirectories = reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(proc));
  setDirectories(kSearchSystem32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  RestrictDllSearch();
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&classes);

  switcher::Switcher logic(vbreg::PlatformRegistry(), switcher::ExeFolder());
  switcher::frmMain form(logic);
  if (!form.Show(instance, showCommand)) {
    const DWORD error = GetLastError();
    MessageBoxW(
        nullptr,
        (L"Burnisher could not open its window.\n\n" + switcher::SystemErrorText(error)).c_str(),
        L"Burnisher", MB_OK | MB_ICONERROR);
    return error ? static_cast<int>(error) : 1;
  }
  return form.Run();
}

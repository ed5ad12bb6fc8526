// Burnisher: switches the VB6 IDE between the XP visual style and the standard style
// by installing or removing the side-by-side manifest beside VB6.EXE.
#include <windows.h>
#include <commctrl.h>

#include "platform/RegistryApi.h"
#include "switcher/Switcher.h"
#include "switcher/frmMain.h"

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, spelled out for headers that predate it.
constexpr DWORD kSearchSystem32 = 0x00000800;

#ifndef _WIN64
// The loader's configuration (IMAGE_LOAD_CONFIG_DIRECTORY32, its first 64 bytes: the size
// Windows XP's loader accepts for x86). Its DependentLoadFlags make Windows 10 1607 and
// later search the system folder for the DLLs the exe and its imports load before
// wWinMain. mingw's linker does not point the PE at it; scripts/set-load-config.py does.
struct LoadConfig {
  DWORD size;
  DWORD upToLockPrefixTable[12];
  WORD csdVersion;
  WORD dependentLoadFlags;
  DWORD editList;
  DWORD securityCookie;
};
static_assert(sizeof(LoadConfig) == 64);
extern "C" [[gnu::used]] const LoadConfig loadConfig __asm__("__load_config_used") = {
    sizeof(LoadConfig), {}, 0, kSearchSystem32, 0, 0};
#endif

// DLLs that system DLLs load by bare name, searched beside the exe first where nothing
// says otherwise: loaded here from the system folder by full path, a later load by name
// gets the module already loaded. Common Controls 6 loads uxtheme (and under Wine
// msimg32 and version); on Vista and 7 uxtheme loads dwmapi, and advapi32 takes its
// random numbers from cryptbase. A DLL the system lacks is simply not loaded.
void PreloadSystemDlls() {
  wchar_t path[MAX_PATH];
  const UINT folder = GetSystemDirectoryW(path, MAX_PATH - 16);
  if (folder == 0 || folder >= MAX_PATH - 16) return;
  for (const wchar_t* name : {L"\\uxtheme.dll", L"\\dwmapi.dll", L"\\version.dll",
                              L"\\cryptbase.dll", L"\\msimg32.dll"}) {
    lstrcpynW(path + folder, name, MAX_PATH - static_cast<int>(folder));
    // Loaded for the life of the program, never freed: nothing is leaked.
    // cppcheck-suppress leakReturnValNotUsed
    LoadLibraryW(path);
  }
}

// The program may run elevated from a downloads folder: DLLs are loaded from the
// system folder only, never from beside the exe. Looked up at run time because the
// function is missing on systems without the loader update (XP, Vista and 7 without
// it), where the preloading above stands in.
void RestrictDllSearch() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  const FARPROC proc = GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (!proc) return;
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const auto setDirectories = reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(proc));
  setDirectories(kSearchSystem32);
}

// comctl32 is not imported: the loader would resolve an import (and comctl32's own
// imports, uxtheme first) before any code of ours runs, beside the exe first on every
// Windows before 10. Loaded here by name, so that the activation context of Burnisher's
// manifest gives Common Controls 6 (no folder is searched for a redirected name), but
// from the system folder only where Windows takes that flag; else by name only when the
// activation context redirects it, else by the system folder's full path.
HMODULE LoadCommonControls() {
  if (HMODULE loaded = LoadLibraryExW(L"comctl32.dll", nullptr, kSearchSystem32)) return loaded;
  ACTCTX_SECTION_KEYED_DATA redirected{};
  redirected.cbSize = sizeof redirected;
  if (FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                               L"comctl32.dll", &redirected)) {
    return LoadLibraryW(L"comctl32.dll");
  }
  wchar_t path[MAX_PATH];
  const UINT folder = GetSystemDirectoryW(path, MAX_PATH - 16);
  if (folder == 0 || folder >= MAX_PATH - 16) return nullptr;
  lstrcpynW(path + folder, L"\\comctl32.dll", MAX_PATH - static_cast<int>(folder));
  return LoadLibraryW(path);
}

// Registers the common control classes; the window still opens (in the standard style)
// where comctl32 cannot be had.
void StartCommonControls() {
  // Loaded for the life of the program: the window's buttons come from it.
  const HMODULE comctl32 = LoadCommonControls();
  if (!comctl32) return;
  using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = reinterpret_cast<InitProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(comctl32, "InitCommonControlsEx")));
  if (!init) return;
  const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  init(&classes);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  PreloadSystemDlls();
  RestrictDllSearch();
  StartCommonControls();

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

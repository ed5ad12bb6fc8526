#ifdef _WIN32
#include "demo/mdlMain.h"

#include <memory>

#include "demo/frmMain.h"

namespace sheenling {
namespace {

// comctl32 stays loaded for the life of the program once the classes are registered:
// the windows' controls come from it.
struct LibraryDeleter {
  void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryDeleter>;

// Both live in static storage, made before any code runs: no heap, no guarded local
// statics, so nothing of the C++ runtime is linked in.
constinit UniqueLibrary commonControlsLibrary;

// The window Main loaded; the program's only window.
constinit frmMain loadedForm;

constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

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

// From here on DLLs come from the system folder only, where Windows takes that setting
// (8, and Vista and 7 with the loader update); elsewhere the preloading stands in.
void RestrictDllSearch() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  const FARPROC proc = GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (proc == nullptr) return;
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(proc))(kSearchSystem32);
}

// comctl32 by its name, so that the manifest's Common Controls 6 is the one that loads,
// but never a comctl32.dll planted beside the exe: searched in the system folder only
// where Windows takes that flag (8, and Vista and 7 with the loader update). Elsewhere by
// name only when the activation context redirects the name (no folder is searched
// then), else by the system folder's full path, which Wine does not redirect.
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

}  // namespace

bool StartCommonControls(InitCommonControlsExProc initCommonControlsEx) {
  if (initCommonControlsEx == nullptr) return false;
  INITCOMMONCONTROLSEX record{};
  record.dwSize = 8;
  record.dwICC = ICC_USEREX_CLASSES;
  initCommonControlsEx(&record);  // its own answer does not matter
  return true;
}

bool StartCommonControls() {
  UniqueLibrary& library = commonControlsLibrary;
  if (!library) library.reset(LoadCommonControls());
  if (!library) return false;
  const FARPROC proc = GetProcAddress(library.get(), "InitCommonControlsEx");
  return StartCommonControls(
      reinterpret_cast<InitCommonControlsExProc>(reinterpret_cast<void (*)()>(proc)));
}

void Main(bool (*startCommonControls)()) {
  static_cast<void>(startCommonControls());
  if (loadedForm.Load(GetModuleHandleW(nullptr))) loadedForm.Show();
}

void Main() { Main(&StartCommonControls); }

HWND MainWindow() { return loadedForm.Hwnd(); }

void Unload() { loadedForm.Unload(); }

bool DeclareDpiAware() {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return false;
  // Windows Vista and later; XP's user32 lacks it, and there the program simply runs
  // unaware, as every program on XP does.
  const FARPROC proc = GetProcAddress(user32, "SetProcessDPIAware");
  if (proc == nullptr) return false;
  using SetProcessDpiAwareProc = BOOL(WINAPI*)();
  return reinterpret_cast<SetProcessDpiAwareProc>(reinterpret_cast<void (*)()>(proc))() != FALSE;
}

int Run() {
  // Before anything loads a DLL by name: the program may be started from a downloads
  // folder, where any page may have left one.
  PreloadSystemDlls();
  RestrictDllSearch();
  // Before any window exists, whether or not the manifest beside the exe says the same.
  static_cast<void>(DeclareDpiAware());
  Main();
  if (MainWindow() == nullptr) return 1;
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // The dialog manager gives Tab, Shift+Tab and the arrow keys their usual meaning.
    HWND form = MainWindow();
    if (form != nullptr && IsDialogMessageW(form, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Unload();
  return static_cast<int>(msg.wParam);
}

}  // namespace sheenling
#endif  // _WIN32

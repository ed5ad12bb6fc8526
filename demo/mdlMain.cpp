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

UniqueLibrary& CommonControlsLibrary() {
  static UniqueLibrary library;
  return library;
}

// The window Main loaded; the program's only window.
std::unique_ptr<FrmMain>& LoadedForm() {
  static std::unique_ptr<FrmMain> form;
  return form;
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
  UniqueLibrary& library = CommonControlsLibrary();
  if (!library) library.reset(LoadLibraryW(L"comctl32.dll"));
  if (!library) return false;
  const FARPROC proc = GetProcAddress(library.get(), "InitCommonControlsEx");
  return StartCommonControls(
      reinterpret_cast<InitCommonControlsExProc>(reinterpret_cast<void (*)()>(proc)));
}

void Main(bool (*startCommonControls)()) {
  static_cast<void>(startCommonControls());
  LoadedForm() = FrmMain::Load(GetModuleHandleW(nullptr));
  if (LoadedForm()) LoadedForm()->Show();
}

void Main() { Main(&StartCommonControls); }

HWND MainWindow() { return LoadedForm() ? LoadedForm()->Hwnd() : nullptr; }

void Unload() { LoadedForm().reset(); }

int Run() {
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

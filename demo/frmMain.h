// Sheenling's window: one control of each standard kind, laid out in twips and shown
// at the screen's resolution, with a description that the load handler completes.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <memory>  // unique_ptr only: Sheenling links no C++ runtime code
#include <type_traits>

namespace sheenling {

// Control ids, one per control, named after the controls.
enum FrmMainControl : int {
  cmdButton = 101,
  chkCheckBox = 102,
  Option1 = 103,
  List1 = 104,
  lblDescription = 105,
  Combo1 = 106,
  Text1 = 107,
};

inline constexpr wchar_t kFrmMainCaption[] = L"Sheenling";
inline constexpr wchar_t kFirstSentence[] =
    L"Set your VB6 programs to run in style XP, we use the ManiFest file technique.";
inline constexpr wchar_t kSecondSentence[] =
    L"To see the results, you will have to compile this example, then run it with the "
    L"manifest file under the directory of the EXE file .";

// Twips (1/1440 inch) to pixels at `dpi` dots per inch, rounded to nearest.
int TwipsToPixels(int twips, int dpi);

// One window object, usually a static one: the program makes no heap allocation, so it
// needs nothing of the C++ runtime beyond what the compiler inlines.
class frmMain {
 public:
  constexpr frmMain() = default;
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;
  ~frmMain() { Unload(); }

  // Creates the window (hidden) and its controls, then runs the load handler. False when
  // the window or a control cannot be created; what was made is destroyed again. A form
  // already loaded is unloaded first.
  bool Load(HINSTANCE instance);

  // Destroys the window if it still exists, then the font.
  void Unload() noexcept;

  void Show();  // modeless, without an owner
  HWND Hwnd() const noexcept { return hwnd_; }
  HFONT Font() const noexcept { return font_.get(); }

 private:
  struct FontDeleter {
    void operator()(HFONT font) const noexcept { DeleteObject(font); }
  };

  bool Create(HINSTANCE instance);
  void Form_Load();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> font_;
  HWND hwnd_ = nullptr;
  HWND lastFocus_ = nullptr;  // the control that had the focus when the window lost it
};

}  // namespace sheenling

#endif  // _WIN32

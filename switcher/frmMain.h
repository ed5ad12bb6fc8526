#pragma once
// Burnisher's only window: a description, the two switching buttons (exactly one
// enabled) and an about line. It wires the controls to the Switcher, which makes the
// decisions.
#ifdef _WIN32

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "switcher/Switcher.h"

namespace switcher {

// Control ids, in tab order. Tests find the controls by them.
inline constexpr int kIdDescription = 101;  // lblSescription
inline constexpr int kIdOn = 102;           // cmdIDEOn
inline constexpr int kIdOff = 103;          // cmdIDEOff
inline constexpr int kIdAbout = 104;        // lblAbout

inline constexpr wchar_t kDescriptionText[] =
    L"This tool will turn the GUI of the VB6 IDE the style XP. 'The trick is very simple, all "
    L"you need is to put the Manifest file ('VB6.EXE.Manifest') under the VB6 directory, reopen "
    L"the VB6 IDE and that's it.";
inline constexpr wchar_t kTitle[] = L"Burnisher";
inline constexpr wchar_t kReopenMessage[] = L"Reopen the VB6 IDE now...";
// After an install that Windows will not see: VB6.EXE's own manifest wins.
inline constexpr wchar_t kEmbeddedMessage[] =
    L"The manifest is installed, but this VB6.EXE carries a manifest of its own, which "
    L"Windows uses instead, so the IDE keeps its look.\n\nThe system-wide setting "
    L"PreferExternalManifest (the DWORD 1 under "
    L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide) makes Windows "
    L"use the file beside an exe instead. Burnisher never sets it.";
// The line added when a manifest that was not Burnisher's was kept, before its path.
inline constexpr wchar_t kKeptLine[] = L"The manifest that was there before is kept as ";
inline constexpr wchar_t kOnText[] = L"Turn my VB6 IDE to XP style";
inline constexpr wchar_t kOffText[] = L"Turn my VB6 IDE to standard style";
inline constexpr wchar_t kAboutText[] =
    L"Burnisher and Sheenling: small tools for VB6 developers. Source and issues: the "
    L"Burnisher project repository (see its README).";

// Twips to pixels at `dpi` dots per inch (15 twips a pixel at 96).
inline int TwipsToPixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

// What the user reads after a switch: the reopen message, or what keeps the IDE's look,
// and where a manifest that was there before is kept.
std::wstring SwitchedMessage(const Outcome& outcome);

class frmMain {
 public:
  explicit frmMain(Switcher& logic);
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;
  ~frmMain();

  // Loads the window (the load handler sets the buttons) and shows it. False when
  // the window could not be made; GetLastError tells why.
  bool Show(HINSTANCE instance, int showCommand);
  // Runs until the window is gone; the program's exit code (0 after a switch or the
  // close box, the Win32 error of a failed file operation otherwise).
  int Run();

 private:
  struct FontDeleter {
    void operator()(HFONT font) const noexcept { DeleteObject(font); }
  };
  using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

  // The steps of Show, in order.
  void ReadScreenDpi();
  bool Create(HINSTANCE instance);  // the window, its client area laid out, centred
  bool AddControls();               // the font, then the controls of the table
  void Form_Load();
  void FocusFirstControl();

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
  // Makes `button`, when it is an enabled switching button, the default push button.
  void MakeDefault(HWND button);
  void cmdIDEOn_Click();
  void cmdIDEOff_Click();
  // Reports the outcome of the one file operation and unloads the window.
  void Finish(const Outcome& outcome);

  Switcher& logic_;
  HWND hwnd_ = nullptr;
  HWND lastFocus_ = nullptr;  // the control that had the focus when the window lost it
  FontHandle font_;
  int dpiX_ = 96;
  int dpiY_ = 96;
  int defaultId_ = 0;  // the default push button's id, 0 while there is none
  int exitCode_ = 0;
  bool acting_ = false;
};

}  // namespace switcher

#endif  // _WIN32

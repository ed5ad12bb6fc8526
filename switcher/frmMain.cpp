#include "switcher/frmMain.h"

#include <string>

namespace switcher {
namespace {

constexpr wchar_t kClassName[] = L"BurnisherMain";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The window's client area in twips (1/1440 inch).
constexpr int kClientWidthTwips = 4875;
constexpr int kClientHeightTwips = 4380;

struct ControlLayout {
  int id;  // named after the control
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  int left, top, width, height;  // twips
};

// In tab order: the window creates its controls in this order, which z-order and Tab
// follow. BS_NOTIFY: the window hears when a button takes the focus, to make it the
// default one.
constexpr ControlLayout kControls[] = {
    {kIdDescription, L"STATIC", kDescriptionText, SS_LEFT | SS_NOPREFIX, 240, 120, 4335, 975},
    {kIdOn, L"BUTTON", kOnText, BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP, 720, 1560, 3255, 495},
    {kIdOff, L"BUTTON", kOffText, BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP, 720, 2280, 3255, 495},
    {kIdAbout, L"STATIC", kAboutText, SS_LEFT | SS_NOPREFIX, 240, 3600, 4005, 690},
};

bool RegisterWindowClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  // The exe's own icon (resource 1), in the sizes the title bar and Alt+Tab want.
  wc.hIcon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kClassName;
  return RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

frmMain::frmMain(Switcher& logic) : logic_(logic) {}

frmMain::~frmMain() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool frmMain::Show(HINSTANCE instance, int showCommand) {
  if (!RegisterWindowClass(instance, &frmMain::WindowProc)) return false;
  ReadScreenDpi();
  if (!Create(instance) || !AddControls()) return false;
  Form_Load();
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  FocusFirstControl();
  return true;
}

// The layout is in twips; the screen's DPI turns it into pixels, so the window keeps its
// proportions on high-DPI screens (the manifest declares the program DPI-aware).
void frmMain::ReadScreenDpi() {
  if (HDC screen = GetDC(nullptr)) {
    dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
    dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
}

bool frmMain::Create(HINSTANCE instance) {
  RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, dpiX_),
             TwipsToPixels(kClientHeightTwips, dpiY_)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  hwnd_ = CreateWindowExW(0, kClassName, kTitle, kWindowStyle, x, y, width, height, nullptr,
                          nullptr, instance, this);
  return hwnd_ != nullptr;
}

bool frmMain::AddControls() {
  // Tahoma 8.25 pt, regular.
  font_.reset(CreateFontW(-MulDiv(825, dpiY_, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  for (const ControlLayout& c : kControls) {
    const HWND control = CreateWindowExW(
        0, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style, TwipsToPixels(c.left, dpiX_),
        TwipsToPixels(c.top, dpiY_), TwipsToPixels(c.width, dpiX_), TwipsToPixels(c.height, dpiY_),
        hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    if (!control) return false;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }
  return true;
}

// The focus goes to the first control in tab order that can take it.
void frmMain::FocusFirstControl() {
  if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) {
    SetFocus(first);
    MakeDefault(first);
  }
}

void frmMain::MakeDefault(HWND button) {
  const HWND on = Control(kIdOn);
  const HWND off = Control(kIdOff);
  if ((button != on && button != off) || !IsWindowEnabled(button)) return;
  // The dialog manager clicks the focused control that answers DLGC_DEFPUSHBUTTON when
  // Enter is pressed; a BS_DEFPUSHBUTTON button does, and is drawn with the thick border.
  for (HWND each : {on, off}) {
    SendMessageW(each, BM_SETSTYLE, each == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
  defaultId_ = GetDlgCtrlID(button);
}

int frmMain::Run() {
  MSG msg{};
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return static_cast<int>(GetLastError());
    // Tab, Shift+Tab, Space and Enter on a button and Esc work as in a dialog.
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

LRESULT CALLBACK frmMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* self = static_cast<frmMain*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT frmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_SETFOCUS) {
        MakeDefault(reinterpret_cast<HWND>(lParam));
      } else if (HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == kIdOn && IsWindowEnabled(Control(kIdOn))) cmdIDEOn_Click();
        if (LOWORD(wParam) == kIdOff && IsWindowEnabled(Control(kIdOff))) cmdIDEOff_Click();
        // Esc, from the dialog manager: leave as the close box does, without action.
        if (LOWORD(wParam) == IDCANCEL && !acting_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
      }
      return 0;
    case DM_GETDEFID:
      // Enter while the focus is on no button (the window itself) clicks the default one.
      return defaultId_ ? MAKELRESULT(defaultId_, DC_HASDEFID) : 0;
    case WM_GETFONT:
      // The window's own font, which its controls share (a plain window keeps none).
      return reinterpret_cast<LRESULT>(font_.get());
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_ACTIVATE:
      // A plain window does not keep its focused control across deactivation.
      if (LOWORD(wParam) == WA_INACTIVE) {
        lastFocus_ = GetFocus();
      } else if (lastFocus_ && IsWindow(lastFocus_)) {
        SetFocus(lastFocus_);
        return 0;
      }
      break;
    case WM_DESTROY: {
      const int code = exitCode_;
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      PostQuitMessage(code);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void frmMain::Form_Load() {
  // Two questions, one after the other, each with its own lookup and file test.
  EnableWindow(Control(kIdOn), !logic_.IsManifestInstalled());
  EnableWindow(Control(kIdOff), logic_.IsManifestInstalled());
}

void frmMain::cmdIDEOn_Click() {
  if (acting_) return;
  acting_ = true;
  Finish(logic_.Install());
}

void frmMain::cmdIDEOff_Click() {
  if (acting_) return;
  acting_ = true;
  Finish(logic_.Remove());
}

std::wstring SwitchedMessage(const Outcome& outcome) {
  std::wstring text = outcome.embeddedWins ? kEmbeddedMessage : kReopenMessage;
  if (!outcome.kept.empty()) text += Cat({L"\n\n", kKeptLine, L"\"", outcome.kept, L"\"."});
  return text;
}

void frmMain::Finish(const Outcome& outcome) {
  if (outcome.ok()) {
    const UINT icon = outcome.embeddedWins ? UINT{MB_ICONWARNING} : UINT{MB_ICONINFORMATION};
    MessageBoxW(hwnd_, SwitchedMessage(outcome).c_str(), kTitle, MB_OK | icon);
  } else {
    exitCode_ = static_cast<int>(outcome.error);
    MessageBoxW(hwnd_, outcome.report.c_str(), kTitle, MB_OK | MB_ICONERROR);
  }
  DestroyWindow(hwnd_);
}

}  // namespace switcher

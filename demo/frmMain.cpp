#ifdef _WIN32
#include "demo/frmMain.h"

#include <iterator>

namespace sheenling {
namespace {

constexpr wchar_t kClassName[] = L"SheenlingFrmMain";

// The window's client area in twips.
constexpr int kClientWidthTwips = 5985;
constexpr int kClientHeightTwips = 4560;
// Tahoma 8.25 pt, in hundredths of a point.
constexpr int kFontCentiPoints = 825;

// The window keeps a fixed layout, so it is not resizable.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

// A drop-down combo's window rectangle is its edit field; the height given at creation
// also covers the list that drops down.
constexpr int kComboListTwips = 1800;

struct ControlLayout {
  FrmMainControl id;
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
  const wchar_t* text;
  int left, top, width, height;  // twips
};

// In tab order: the window creates its controls in this order, which is the order the
// dialog manager follows for Tab and Shift+Tab.
constexpr ControlLayout kControls[] = {
    {cmdButton, L"Button", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, L"Button", 360, 1440, 1815,
     495},
    {chkCheckBox, L"Button", BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 0, L"Check Box", 360, 2280,
     2055, 255},
    {Option1, L"Button", BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP, 0, L"Option1", 360, 2760, 1815,
     255},
    {List1, L"ListBox", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
     WS_EX_CLIENTEDGE, L"", 360, 3120, 3015, 450},
    {lblDescription, L"Static", SS_LEFT | WS_GROUP, 0, kFirstSentence, 360, 120, 5295, 975},
    {Combo1, L"ComboBox", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0,
     L"Combo1", 360, 3840, 3015, 315},
    {Text1, L"Edit", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE, L"Text1",
     3600, 1560, 2055, 2655},
};

// The screen's resolution, horizontally and vertically.
struct ScreenDpi {
  int x = 96;
  int y = 96;
};

ScreenDpi QueryScreenDpi() {
  ScreenDpi dpi;
  if (HDC screen = GetDC(nullptr)) {
    dpi.x = GetDeviceCaps(screen, LOGPIXELSX);
    dpi.y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  return dpi;
}

bool RegisterFormClass(HINSTANCE instance, WNDPROC proc) {
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
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// A drop-down combo sizes its field from its font; bring the field to the laid-out height.
// The field follows the item height one for one, but what CB_GETITEMHEIGHT reports is not
// always what CB_SETITEMHEIGHT takes (Wine's differ by two), so set and measure.
void FitComboField(HWND combo, int height) {
  auto fieldHeight = [combo] {
    RECT field{};
    GetWindowRect(combo, &field);
    return static_cast<int>(field.bottom - field.top);
  };
  int itemHeight = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, WPARAM(-1), 0));
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int delta = height - fieldHeight();
    if (delta == 0 || itemHeight + delta <= 0) return;
    itemHeight += delta;
    SendMessageW(combo, CB_SETITEMHEIGHT, WPARAM(-1), itemHeight);
  }
}

}  // namespace

int TwipsToPixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

bool frmMain::Load(HINSTANCE instance) {
  Unload();
  if (!Create(instance)) {
    Unload();
    return false;
  }
  Form_Load();
  return true;
}

void frmMain::Unload() noexcept {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  lastFocus_ = nullptr;
  font_.reset();
}

bool frmMain::Create(HINSTANCE instance) {
  if (!RegisterFormClass(instance, WindowProc)) return false;
  const ScreenDpi dpi = QueryScreenDpi();

  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(kFontCentiPoints, dpi.y, 72 * 100);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  lstrcpynW(lf.lfFaceName, L"Tahoma", LF_FACESIZE);
  font_.reset(CreateFontIndirectW(&lf));

  RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, dpi.x),
             TwipsToPixels(kClientHeightTwips, dpi.y)};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  if (CreateWindowExW(kFormExStyle, kClassName, kFrmMainCaption, kFormStyle, CW_USEDEFAULT,
                      CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                      nullptr, instance, this) == nullptr) {
    return false;
  }
  if (font_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

  for (const ControlLayout& c : kControls) {
    const int height = c.id == Combo1 ? c.height + kComboListTwips : c.height;
    HWND control =
        CreateWindowExW(c.exStyle, c.className, c.text, c.style | WS_CHILD | WS_VISIBLE,
                        TwipsToPixels(c.left, dpi.x), TwipsToPixels(c.top, dpi.y),
                        TwipsToPixels(c.width, dpi.x), TwipsToPixels(height, dpi.y), hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    if (control == nullptr) return false;
    if (font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (c.id == Combo1) {
      // A combo box does not take its window name as the text of its edit field.
      SetWindowTextW(control, c.text);
      FitComboField(control, TwipsToPixels(c.height, dpi.y));
    }
  }
  return true;
}

void frmMain::Form_Load() {
  // Room for both sentences, the line break between them and the terminator; a label
  // holding more than that (it cannot here) would lose the end of the second sentence.
  constexpr int kCapacity =
      static_cast<int>(std::size(kFirstSentence) + std::size(kSecondSentence)) + 1;
  wchar_t text[kCapacity]{};
  HWND label = GetDlgItem(hwnd_, lblDescription);
  lstrcpynW(text, kFirstSentence, kCapacity);
  lstrcpynW(text + lstrlenW(text), L"\r\n", kCapacity - lstrlenW(text));
  SetWindowTextW(label, text);
  // The second sentence goes after whatever the label now holds.
  const int held = GetWindowTextW(label, text, kCapacity);
  lstrcpynW(text + held, kSecondSentence, kCapacity - held);
  SetWindowTextW(label, text);
}

void frmMain::Show() {
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
}

LRESULT CALLBACK frmMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  const LRESULT result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

LRESULT frmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      // Keep the focused control across deactivation, as a dialog does.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
      }
      break;
    case WM_SETFOCUS: {
      HWND target =
          lastFocus_ != nullptr && IsWindow(lastFocus_) ? lastFocus_ : GetDlgItem(hwnd_, cmdButton);
      if (target != nullptr) SetFocus(target);
      return 0;
    }
    case WM_DESTROY:
      // With its only window gone the program ends.
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace sheenling
#endif  // _WIN32

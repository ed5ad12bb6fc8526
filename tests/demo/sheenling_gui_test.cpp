// Sheenling.exe driven as a user meets it: a copy of the program in a folder of its own,
// with or without the manifest beside it, started and inspected from outside.
#include "demo/frmMain.h"
#include "tests/gui/GuiDriver.h"
#include "tests/gui/WindowChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The build puts the exe and its manifest in one folder (see CMakeLists.txt).
std::wstring BuiltFolder() {
  const std::string narrow = SHEENLING_DIR;
  std::wstring wide(narrow.begin(), narrow.end());
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

using namespace sheenling;  // the control ids, named after the controls

// Two sentences joined by one CR LF pair, with the blank before the last full stop.
const std::wstring kDescription =
    L"Set your VB6 programs to run in style XP, we use the ManiFest file technique.\r\n"
    L"To see the results, you will have to compile this example, then run it with the "
    L"manifest file under the directory of the EXE file .";

// One running copy of Sheenling and its window.
struct RunningSheenling {
  gui::TempDirectory folder;
  std::unique_ptr<gui::PlantedDlls> planted;
  gui::Process process;
  HWND window;
};

// With `plantDlls`, DLLs are left beside the copy under the names its start loads.
RunningSheenling Launch(bool withManifest, bool plantDlls = false) {
  gui::TempDirectory folder;
  gui::CopyFileOrThrow(BuiltFolder() + L"\\Sheenling.exe", folder.Path() + L"\\Sheenling.exe");
  if (withManifest) {
    gui::CopyFileOrThrow(BuiltFolder() + L"\\Sheenling.exe.manifest",
                         folder.Path() + L"\\Sheenling.exe.manifest");
  }
  std::unique_ptr<gui::PlantedDlls> planted;
  if (plantDlls) planted = std::make_unique<gui::PlantedDlls>(folder.Path());
  gui::Process process = gui::Process::Start(folder.Path() + L"\\Sheenling.exe", folder.Path());
  const HWND window = gui::WaitForTopLevelWindow(process.Id(), L"Sheenling");
  gui::WaitForControls(window,
                       {cmdButton, chkCheckBox, Option1, List1, lblDescription, Combo1, Text1});
  return RunningSheenling{std::move(folder), std::move(planted), std::move(process), window};
}

// In z-order, which is the order of creation and of Tab. A combo box's window is its field;
// the chrome is the button's edges, the check box's square and gap, the combo's arrow.
const gui::Laid kLayout[] = {
    {cmdButton, L"Button", L"Button", 360, 1440, 1815, 495, 6},
    {chkCheckBox, L"Button", L"Check Box", 360, 2280, 2055, 255, 17},
    {Option1, L"Button", L"Option1", 360, 2760, 1815, 255, 17},
    {List1, L"ListBox", L"", 360, 3120, 3015, 450, 0},
    {lblDescription, L"Static", kDescription.c_str(), 360, 120, 5295, 975, 0, true},
    {Combo1, L"ComboBox", L"Combo1", 360, 3840, 3015, 315, 23},
    {Text1, L"Edit", L"Text1", 3600, 1560, 2055, 2655, 6},
};

// The awareness Windows gives the window (0 unaware, 1 system, 2 per monitor), where the
// system can say it of another program's window (Windows 10 1607 and later, Wine).
std::optional<int> DpiAwareness(HWND window) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  using ContextOf = void*(WINAPI*)(HWND);
  using AwarenessOf = int(WINAPI*)(void*);
  const auto contextOf = reinterpret_cast<ContextOf>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
  const auto awarenessOf = reinterpret_cast<AwarenessOf>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
  if (contextOf == nullptr || awarenessOf == nullptr) return std::nullopt;
  return awarenessOf(contextOf(window));
}

class SheenlingWindow : public testing::TestWithParam<bool> {};

TEST_P(SheenlingWindow, ShowsTheLaidOutControlsInEitherStyle) {
  RunningSheenling app = Launch(GetParam());
  // DPI-aware with the manifest and without it: never stretched as a bitmap. (Wine 8 counts
  // every window aware, so only Windows can fail this.)
  EXPECT_NE(DpiAwareness(app.window).value_or(1), 0);
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(app.window, GWL_STYLE));
  EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
  EXPECT_TRUE(style & WS_SYSMENU) << "no close box";
  EXPECT_EQ(GetWindow(app.window, GW_OWNER), nullptr);

  const std::vector<gui::Control> controls =
      gui::ExpectWindowLaidOut(app.window, L"Sheenling", 5985, 4560, kLayout);
  ASSERT_EQ(controls.size(), std::size(kLayout));
  for (const gui::Control& c : controls) {
    EXPECT_TRUE(c.enabled) << c.id;
    EXPECT_EQ((c.style & WS_TABSTOP) != 0, c.id != lblDescription)
        << "only the label is no tab stop";
  }
  // The kind of each control.
  EXPECT_EQ(controls[0].style & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON));
  EXPECT_EQ(controls[1].style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
  EXPECT_EQ(controls[2].style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTORADIOBUTTON));
  EXPECT_EQ(gui::Send(controls[3].hwnd, LB_GETCOUNT), 0);
  EXPECT_EQ(controls[4].style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));  // wraps words
  EXPECT_EQ(controls[5].style & 3u, static_cast<DWORD>(CBS_DROPDOWN));
  EXPECT_EQ(gui::Send(controls[5].hwnd, CB_GETCOUNT), 0);
  EXPECT_EQ(controls[6].style & ES_MULTILINE, 0u);
}

TEST_P(SheenlingWindow, LoadsComctl32FromWinSxSOnlyWithTheManifest) {
  RunningSheenling app = Launch(GetParam());
  const std::vector<std::wstring> comctl = app.process.LoadedModules(L"\\comctl32.dll");
  ASSERT_FALSE(comctl.empty()) << "comctl32 was never loaded";
  for (const std::wstring& path : comctl) {
    if (GetParam()) {
      EXPECT_TRUE(gui::ContainsNoCase(path, L"\\winsxs\\") &&
                  gui::ContainsNoCase(path, L"common-controls"))
          << gui::Narrow(path);
    } else {
      EXPECT_TRUE(gui::ContainsNoCase(path, L"\\system32\\comctl32.dll")) << gui::Narrow(path);
    }
  }
}

// DLLs left beside the program under the names its start loads never load, whichever
// comctl32 the manifest (or its absence) selects.
TEST_P(SheenlingWindow, DllsPlantedBesideItNeverLoad) {
  RunningSheenling app = Launch(GetParam(), true);
  PostMessageW(app.window, WM_CLOSE, 0, 0);
  EXPECT_EQ(app.process.WaitForExit(), std::optional<DWORD>(0u));
  EXPECT_EQ(app.planted->Loaded(), std::vector<std::wstring>{});
}

TEST_P(SheenlingWindow, TheCloseBoxEndsTheProgram) {
  RunningSheenling app = Launch(GetParam());
  PostMessageW(app.window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(app.process.WaitForExit(30s), std::optional<DWORD>(0u));
}

TEST_P(SheenlingWindow, ControlsBehaveAsStandardControls) {
  RunningSheenling app = Launch(GetParam());
  const HWND check = gui::ControlById(app.window, chkCheckBox);
  gui::Click(check);
  EXPECT_TRUE(gui::WaitUntil([&] { return gui::Send(check, BM_GETCHECK) == BST_CHECKED; }, 5s));
  gui::Click(check);
  EXPECT_TRUE(gui::WaitUntil([&] { return gui::Send(check, BM_GETCHECK) == BST_UNCHECKED; }, 5s));

  const HWND option = gui::ControlById(app.window, Option1);
  EXPECT_EQ(gui::Send(option, BM_GETCHECK), BST_UNCHECKED);
  gui::Click(option);
  EXPECT_TRUE(gui::WaitUntil([&] { return gui::Send(option, BM_GETCHECK) == BST_CHECKED; }, 5s));

  const HWND combo = gui::ControlById(app.window, Combo1);
  gui::Send(combo, CB_SHOWDROPDOWN, TRUE);
  EXPECT_EQ(gui::Send(combo, CB_GETDROPPEDSTATE), TRUE);
  gui::Send(combo, CB_SHOWDROPDOWN, FALSE);
  EXPECT_EQ(gui::Send(combo, CB_GETDROPPEDSTATE), FALSE);

  const HWND edit = gui::ControlById(app.window, Text1);
  gui::Send(edit, EM_SETSEL, 5, 5);
  PostMessageW(edit, WM_CHAR, L'x', 1);
  EXPECT_TRUE(gui::WaitUntil([&] { return gui::WindowText(edit) == L"Text1x"; }, 5s))
      << gui::Narrow(gui::WindowText(edit));
  EXPECT_TRUE(app.process.IsRunning());
}

INSTANTIATE_TEST_SUITE_P(ManifestBesideTheExe, SheenlingWindow, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& param) {
                           return param.param ? "WithManifest" : "WithoutManifest";
                         });

// Every step of the walk, forwards and backwards (GetNextDlgTabItem, as Tab and Shift+Tab
// take it); a posted key cannot hold Shift down, so the keyboard walks forwards only, from
// the first control, where the focus starts.
TEST(SheenlingProgram, TabFollowsTheTabOrderBothWays) {
  RunningSheenling app = Launch(true);
  const int order[] = {cmdButton, chkCheckBox, Option1, List1, Combo1, Text1};
  const size_t n = std::size(order);
  for (size_t i = 0; i < n; ++i) {
    const HWND from = GetDlgItem(app.window, order[i]);
    EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(app.window, from, FALSE)), order[(i + 1) % n]);
    EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(app.window, from, TRUE)), order[(i + n - 1) % n]);
  }
  const DWORD thread = GetWindowThreadProcessId(app.window, nullptr);
  // The focus may sit in a control's own child (the combo's edit field).
  auto focusedControl = [&]() -> int {
    HWND f = gui::FocusedWindow(thread);
    while (f != nullptr && GetParent(f) != app.window) f = GetParent(f);
    return f == nullptr ? 0 : GetDlgCtrlID(f);
  };
  ASSERT_TRUE(gui::WaitUntil([&] { return focusedControl() == cmdButton; }, 10s))
      << "focus on " << focusedControl();
  for (size_t i = 1; i <= n; ++i) {
    gui::PressKey(gui::FocusedWindow(thread), VK_TAB);
    EXPECT_TRUE(gui::WaitUntil([&] { return focusedControl() == order[i % n]; }, 5s))
        << "expected " << order[i % n] << ", focus on " << focusedControl();
  }
}

}  // namespace

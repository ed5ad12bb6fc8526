// Sheenling.exe driven as a user meets it: a copy of the program in a folder of its own,
// with or without the manifest beside it, started and inspected from outside.
#include "demo/frmMain.h"
#include "tests/gui/GuiDriver.h"
#include "tests/gui/WindowChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Once its window has gone the program ends within seconds (under Wine without a window
// manager, two go on the window's destruction); one that does not end shows nothing else
// a test could wait for.
constexpr auto kEndAfterClose = 15s;

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

// A copy of the program in a folder of its own, with or without the manifest beside it.
gui::TempDirectory CopyOfSheenling(bool withManifest) {
  gui::TempDirectory folder;
  gui::CopyFileOrThrow(BuiltFolder() + L"\\Sheenling.exe", folder.Path() + L"\\Sheenling.exe");
  if (withManifest) {
    gui::CopyFileOrThrow(BuiltFolder() + L"\\Sheenling.exe.manifest",
                         folder.Path() + L"\\Sheenling.exe.manifest");
  }
  return folder;
}

// The program's window, shown with every control, once the program takes messages: it
// makes them all before it shows the window, so one missing then fails at once.
HWND ShownWindow(const gui::Process& process) {
  const HWND window = process.WaitForWindow(L"Sheenling");
  if (!IsWindowVisible(window)) throw std::runtime_error("Sheenling's window is not shown");
  gui::WaitForControls(window,
                       {cmdButton, chkCheckBox, Option1, List1, lblDescription, Combo1, Text1}, 0s);
  return window;
}

// With `plantDlls`, DLLs are left beside the copy under the names its start loads.
RunningSheenling Launch(bool withManifest, bool plantDlls = false) {
  gui::TempDirectory folder = CopyOfSheenling(withManifest);
  std::unique_ptr<gui::PlantedDlls> planted;
  if (plantDlls) planted = std::make_unique<gui::PlantedDlls>(folder.Path());
  gui::Process process = gui::Process::Start(folder.Path() + L"\\Sheenling.exe", folder.Path());
  const HWND window = ShownWindow(process);
  return RunningSheenling{std::move(folder), std::move(planted), std::move(process), window};
}

// The control with the keyboard focus (the combo box when it sits in the combo's own edit
// field); 0 when none has it.
int FocusedControl(HWND window) {
  HWND f = gui::FocusedWindow(GetWindowThreadProcessId(window, nullptr));
  while (f != nullptr && GetParent(f) != window) f = GetParent(f);
  return f == nullptr ? 0 : GetDlgCtrlID(f);
}

// Presses Tab, as a user would, and returns the control the focus went to.
int PressTab(HWND window) {
  gui::PressKey(gui::FocusedWindow(GetWindowThreadProcessId(window, nullptr)), VK_TAB);
  if (!gui::WaitUntilHandled(window)) throw std::runtime_error("Tab closed Sheenling");
  return FocusedControl(window);
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

class SheenlingWindow : public testing::TestWithParam<bool> {};

TEST_P(SheenlingWindow, ShowsTheLaidOutControlsInEitherStyle) {
  RunningSheenling app = Launch(GetParam());
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

// On a screen above 96 DPI Windows stretches the window of a program that has not said it
// is DPI-aware by the time it makes its first window: blurred text. The manifest says so,
// and the program asks on its own as it starts, for a copy run without the manifest. Wine
// 8 counts every program per-monitor aware before its first instruction and refuses any
// change, so no look at the window can tell whether the program asked: a debugger sees
// the call instead.
TEST_P(SheenlingWindow, AsksToBeDpiAwareBeforeItMakesAWindow) {
  const gui::TempDirectory folder = CopyOfSheenling(GetParam());
  gui::CallSeen call{};
  const gui::Process process = gui::Process::StartWatchingCall(
      folder.Path() + L"\\Sheenling.exe", folder.Path(), L"user32.dll", "SetProcessDPIAware", call);
  EXPECT_EQ(call, gui::CallSeen::kBeforeAnyWindow);
  ShownWindow(process);  // and it goes on as if never watched
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
  EXPECT_EQ(app.process.WaitForExitAfterInput(app.window, kEndAfterClose),
            std::optional<DWORD>(0u));
  EXPECT_EQ(app.planted->Loaded(), std::vector<std::wstring>{});
}

TEST_P(SheenlingWindow, TheCloseBoxEndsTheProgram) {
  RunningSheenling app = Launch(GetParam());
  PostMessageW(app.window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(app.process.WaitForExitAfterInput(app.window, kEndAfterClose),
            std::optional<DWORD>(0u));
}

// Alt+Tab away and back gives the focus back to the control that had it, also when it sat
// in a control's own child (the combo box's edit field), not to the first control.
TEST_P(SheenlingWindow, KeepsTheFocusedControlAcrossDeactivation) {
  RunningSheenling app = Launch(GetParam());
  for (const int id : {chkCheckBox, Combo1}) {
    SCOPED_TRACE(id);
    for (int presses = 0; presses < 6 && FocusedControl(app.window) != id; ++presses) {
      PressTab(app.window);
    }
    ASSERT_EQ(FocusedControl(app.window), id);
    gui::DeactivateAndReactivate(app.window);
    EXPECT_EQ(FocusedControl(app.window), id);
  }
}

TEST_P(SheenlingWindow, ControlsBehaveAsStandardControls) {
  RunningSheenling app = Launch(GetParam());
  // Posted as a user's input is, through the program's message loop; read once handled.
  const auto post = [&](HWND to, UINT message, WPARAM wParam) {
    PostMessageW(to, message, wParam, 1);
    if (!gui::WaitUntilHandled(app.window)) throw std::runtime_error("the input closed Sheenling");
  };
  const HWND check = gui::ControlById(app.window, chkCheckBox);
  post(check, BM_CLICK, 0);
  EXPECT_EQ(gui::Send(check, BM_GETCHECK), BST_CHECKED);
  post(check, BM_CLICK, 0);
  EXPECT_EQ(gui::Send(check, BM_GETCHECK), BST_UNCHECKED);

  const HWND option = gui::ControlById(app.window, Option1);
  EXPECT_EQ(gui::Send(option, BM_GETCHECK), BST_UNCHECKED);
  post(option, BM_CLICK, 0);
  EXPECT_EQ(gui::Send(option, BM_GETCHECK), BST_CHECKED);

  const HWND combo = gui::ControlById(app.window, Combo1);
  gui::Send(combo, CB_SHOWDROPDOWN, TRUE);
  EXPECT_EQ(gui::Send(combo, CB_GETDROPPEDSTATE), TRUE);
  gui::Send(combo, CB_SHOWDROPDOWN, FALSE);
  EXPECT_EQ(gui::Send(combo, CB_GETDROPPEDSTATE), FALSE);

  const HWND edit = gui::ControlById(app.window, Text1);
  gui::Send(edit, EM_SETSEL, 5, 5);
  post(edit, WM_CHAR, L'x');
  EXPECT_EQ(gui::WindowText(edit), L"Text1x");
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
  ASSERT_EQ(FocusedControl(app.window), cmdButton);
  for (size_t i = 1; i <= n; ++i) EXPECT_EQ(PressTab(app.window), order[i % n]);
}

}  // namespace

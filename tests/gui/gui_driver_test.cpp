// The driver's own checks, against programs every Windows (and Wine) has: cmd and
// notepad, and a message box shown by this test program itself.
#include "tests/gui/GuiDriver.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace std::chrono_literals;

std::wstring SystemProgram(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  return std::wstring(dir, n) + L"\\" + name;
}

bool ProcessGone(DWORD pid) {
  const gui::UniqueHandle h(OpenProcess(SYNCHRONIZE, FALSE, pid));
  return !h || WaitForSingleObject(h.get(), 10000) == WAIT_OBJECT_0;
}

// `call` throws a std::runtime_error whose message names `what`.
template <typename Call>
void ExpectFailureNaming(Call call, const std::string& what) {
  try {
    call();
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
  }
}

TEST(GuiDriverProcess, StartingAMissingProgramNamesIt) {
  ExpectFailureNaming([] { gui::Process::Start(L"C:\\no\\such\\program.exe"); }, "program.exe");
}

TEST(GuiDriverProcess, ReportsTheExitCodeAndRunsInTheGivenFolder) {
  gui::TempDirectory dir;
  // cmd writes into its current folder, which must be the one we asked for.
  gui::Process p = gui::Process::Start(SystemProgram(L"cmd.exe"), dir.Path(),
                                       L"/c echo here> marker.txt & exit 7", 0s);
  EXPECT_EQ(p.WaitForExit(), std::optional<DWORD>(7u));
  EXPECT_FALSE(p.IsRunning());
  EXPECT_TRUE(testfiles::Exists(dir.Path() + L"\\marker.txt"));
}

TEST(GuiDriverWindow, FindsReadsAndEndsAWindowedProgram) {
  DWORD pid = 0;
  {
    gui::Process p = gui::Process::Start(SystemProgram(L"notepad.exe"));
    pid = p.Id();
    const HWND main = gui::WaitForTopLevelWindow(p.Id(), L"");
    const std::wstring caption = gui::WindowText(main);
    EXPECT_TRUE(gui::ContainsNoCase(caption, L"NOTEPAD")) << gui::Narrow(caption);
    EXPECT_EQ(gui::WaitForTopLevelWindow(p.Id(), caption, 5s), main);

    ASSERT_TRUE(gui::WaitUntil([&] { return !gui::Children(main).empty(); }));
    bool hasEdit = false;
    for (const gui::Control& c : gui::ChildControls(main)) {
      if (c.className != L"Edit") continue;
      hasEdit = true;
      // The edit fills the client area, so its rectangle is in client coordinates.
      EXPECT_EQ(c.rect.left, 0);
      EXPECT_EQ(c.rect.top, 0);
      EXPECT_LE(c.rect.right, gui::ClientSize(main).cx);
      // Text is read from the control itself, across the process boundary.
      SendMessageW(c.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed"));
      EXPECT_EQ(gui::WindowText(c.hwnd), L"typed");
    }
    EXPECT_TRUE(hasEdit);

    EXPECT_EQ(p.LoadedModules(L"notepad.exe").size(), 1u);
    EXPECT_EQ(p.LoadedModules(L"\\USER32.dll").size(), 1u) << "any case";
    EXPECT_GT(p.LoadedModules(L"").size(), 2u);
    EXPECT_TRUE(p.IsRunning());
  }
  // Left running, it was ended when its Process went.
  EXPECT_TRUE(ProcessGone(pid));
}

// Posted input, read back as soon as the program has handled it: typing, then a close
// that the program answers with a box, then the answer that ends it.
TEST(GuiDriverWindow, PostedInputIsReadOnceHandled) {
  gui::Process p = gui::Process::Start(SystemProgram(L"notepad.exe"));
  const HWND main = gui::WaitForTopLevelWindow(p.Id(), L"");
  EXPECT_EQ(p.WaitForWindow(gui::WindowText(main)), main);
  const HWND edit = FindWindowExW(main, nullptr, L"Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  for (const wchar_t c : std::wstring(L"typed")) PostMessageW(edit, WM_CHAR, c, 1);
  EXPECT_TRUE(gui::WaitUntilHandled(main));
  EXPECT_EQ(gui::WindowText(edit), L"typed");

  PostMessageW(main, WM_CLOSE, 0, 0);
  const std::optional<gui::MessageBoxInfo> box = gui::MessageBoxAfterInput(main);
  ASSERT_TRUE(box.has_value()) << "notepad asks whether to keep what was typed";
  EXPECT_EQ(p.WaitForExitAfterInput(main), std::nullopt) << "the box holds it open";
  gui::AnswerMessageBox(box->hwnd, IDNO);
  EXPECT_EQ(p.WaitForExitAfterInput(main), std::optional<DWORD>(0u));
  EXPECT_FALSE(gui::WaitUntilHandled(main));
}

TEST(GuiDriverProcess, WaitingForAWindowFailsAsSoonAsTheProgramEnds) {
  gui::Process p = gui::Process::Start(SystemProgram(L"cmd.exe"), L"", L"/c exit 3", 0s);
  ExpectFailureNaming([&] { p.WaitForWindow(L"Never Shown"); }, "exit code 3");
}

TEST(GuiDriverWindow, AWaitThatRunsOutSaysWhatItWaitedFor) {
  ExpectFailureNaming(
      [] { gui::WaitForTopLevelWindow(GetCurrentProcessId(), L"No Such Caption", 200ms); },
      "No Such Caption");
  ExpectFailureNaming([] { gui::ControlById(GetDesktopWindow(), 0x7ABC); }, "id 31420");
}

DWORD WINAPI ShowBox(LPVOID answer) {
  *static_cast<int*>(answer) =
      MessageBoxW(nullptr, L"Reopen it now...", L"Box Caption", MB_OK | MB_ICONINFORMATION);
  return 0;
}

TEST(GuiDriverMessageBox, FindsReadsAndAnswersABox) {
  EXPECT_FALSE(gui::FindMessageBox(GetCurrentProcessId()).has_value());
  // A thread of its own (the Win32 one: the XP-capable toolchain's C++ library has no
  // std::thread) shows the box while this one finds and answers it.
  int answer = 0;
  const gui::UniqueHandle thread(CreateThread(nullptr, 0, ShowBox, &answer, 0, nullptr));
  ASSERT_TRUE(thread);
  const auto join = [&thread] { WaitForSingleObject(thread.get(), INFINITE); };
  try {
    const gui::MessageBoxInfo box = gui::WaitForMessageBox(GetCurrentProcessId());
    EXPECT_EQ(box.caption, L"Box Caption");
    EXPECT_EQ(box.text, L"Reopen it now...");
    gui::AnswerMessageBox(box.hwnd);
  } catch (...) {
    // Let the thread end before reporting, whatever happened.
    if (auto box = gui::FindMessageBox(GetCurrentProcessId())) gui::AnswerMessageBox(box->hwnd);
    join();
    throw;
  }
  join();
  EXPECT_EQ(answer, IDOK);
}

TEST(GuiDriverFiles, TempDirectoryGoesWithItsContents) {
  std::wstring path;
  {
    gui::TempDirectory dir;
    path = dir.Path();
    ASSERT_TRUE(CreateDirectoryW((path + L"\\sub").c_str(), nullptr));
    testfiles::WriteFile(path + L"\\sub\\f.txt", "x");
    gui::CopyFileOrThrow(path + L"\\sub\\f.txt", path + L"\\g.txt");
    ExpectFailureNaming([&] { gui::CopyFileOrThrow(path + L"\\absent", path + L"\\h"); }, "absent");
  }
  EXPECT_FALSE(testfiles::Exists(path));
}

TEST(GuiDriverLayout, ScalesEachTwipFigureAndMeasuresInTheDpisFont) {
  // 301.5 and 31.5 pixels: each figure rounds on its own, halves up.
  const RECT combo = gui::TwipsRect(360, 3840, 3015, 315, 144);
  EXPECT_EQ(std::tie(combo.left, combo.top, combo.right, combo.bottom),
            std::tuple(36, 384, 36 + 302, 384 + 32));
  EXPECT_GE(gui::ScreenDpi(), 96);

  const SIZE at96 = gui::TextExtent(L"Check Box", 96);
  const SIZE at144 = gui::TextExtent(L"Check Box", 144);
  EXPECT_GT(at144.cx, at96.cx);
  EXPECT_GT(at144.cy, at96.cy);
  // Wrapped at one copy's width, three copies take three lines at least.
  const SIZE wrapped = gui::TextExtent(L"Check Box Check Box Check Box", 96, at96.cx);
  EXPECT_LE(wrapped.cx, at96.cx);
  EXPECT_GE(wrapped.cy, 3 * at96.cy);
  EXPECT_EQ(gui::TextExtent(L"", 96).cx, 0);
}

TEST(GuiDriverText, ContainsNoCaseAtTheEdges) {
  EXPECT_TRUE(gui::ContainsNoCase(L"C:\\Windows\\WinSxS\\x", L"\\winsxs\\"));
  EXPECT_TRUE(gui::ContainsNoCase(L"abc", L""));
  EXPECT_TRUE(gui::ContainsNoCase(L"abc", L"ABC"));
  EXPECT_FALSE(gui::ContainsNoCase(L"ab", L"abc"));
  EXPECT_FALSE(gui::ContainsNoCase(L"", L"a"));
  EXPECT_EQ(gui::Narrow(L"\u00e9"), "\xc3\xa9");
}

}  // namespace

// Burnisher end to end: the real exe, driven as a user would, against a stand-in VB6
// installation in a scratch folder that HKLM\SOFTWARE\Microsoft\VisualStudio\6.0
// "InstallDir" points at. A probe named VB6.EXE shows whether the manifest takes effect.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "switcher/Switcher.h"
#include "switcher/frmMain.h"
#include "tests/gui/GuiDriver.h"
#include "tests/gui/WindowChecks.h"

namespace {

using namespace std::chrono_literals;
using namespace testfiles;

constexpr wchar_t kKey[] = L"SOFTWARE\\Microsoft\\VisualStudio\\6.0";
constexpr wchar_t kValue[] = L"InstallDir";
constexpr DWORD kAnyType = RRF_RT_ANY | RRF_NOEXPAND;

// Sets HKLM's InstallDir for one test and puts back whatever was there before.
class InstallDirValue {
 public:
  InstallDirValue() {
    HKEY key = nullptr;
    keyExisted_ = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (keyExisted_) RegCloseKey(key);
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, kAnyType, &savedType_, nullptr, &size) ==
        ERROR_SUCCESS) {
      saved_.emplace(size, 0);
      RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, kAnyType, nullptr, saved_->data(), &size);
      saved_->resize(size);
    }
  }
  InstallDirValue(const InstallDirValue&) = delete;
  InstallDirValue& operator=(const InstallDirValue&) = delete;
  ~InstallDirValue() {
    if (saved_) {
      RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, kValue, savedType_, saved_->data(),
                      static_cast<DWORD>(saved_->size()));
    } else {
      Remove();
    }
    if (!keyExisted_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
  }
  void Set(const std::wstring& text) const {
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKey, kValue, REG_SZ, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  void Remove() const { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kKey, kValue); }

 private:
  bool keyExisted_ = false;
  std::optional<std::basic_string<BYTE>> saved_;
  DWORD savedType_ = REG_SZ;
};

// What the user saw of one Burnisher run up to the window.
struct Window {
  gui::Process app;
  HWND main;
  bool onEnabled;
  bool offEnabled;

  // Only the button that changes the state found is enabled.
  void ExpectOffers(bool installed) const {
    EXPECT_EQ(onEnabled, !installed);
    EXPECT_EQ(offEnabled, installed);
  }
  void Close() {
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(), std::optional<DWORD>(0u));
  }
};

// A report that starts with `opening` and names each of `paths` (compared as the file
// system compares names) and each of `texts` (as written).
void ExpectReport(const std::wstring& report, std::initializer_list<std::wstring> paths,
                  std::initializer_list<std::wstring> texts = {},
                  const std::wstring& opening = L"") {
  EXPECT_EQ(report.rfind(opening, 0), 0u) << Narrow(report);
  for (const std::wstring& path : paths) {
    EXPECT_TRUE(gui::ContainsNoCase(report, path)) << Narrow(path) << " in " << Narrow(report);
  }
  for (const std::wstring& text : texts) {
    EXPECT_NE(report.find(text), std::wstring::npos) << Narrow(text) << " in " << Narrow(report);
  }
}

class BurnisherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(app_.c_str(), nullptr);
    CreateDirectoryW((root_.Path() + L"\\VS").c_str(), nullptr);
    CreateDirectoryW(ide_.c_str(), nullptr);
    CopyFileOrThrow(BURNISHER_EXE, app_ + L"\\Burnisher.exe");
    CopyFileOrThrow(SHIPPED_MANIFEST, shipped_);
    CopyFileOrThrow(PROBE_EXE, exe_);
    installDir_.Set(root_.Path() + L"\\VS\\Common\\IDE\\IDE98");
  }

  Window Open(const std::wstring& workingDir = L"") {
    gui::Process app = gui::Process::Start(app_ + L"\\Burnisher.exe",
                                           workingDir.empty() ? root_.Path() : workingDir);
    const HWND main = gui::WaitForTopLevelWindow(app.Id(), L"Burnisher");
    gui::WaitForControls(
        main, {switcher::kIdDescription, switcher::kIdOn, switcher::kIdOff, switcher::kIdAbout});
    const bool on = IsWindowEnabled(gui::ControlById(main, switcher::kIdOn));
    const bool off = IsWindowEnabled(gui::ControlById(main, switcher::kIdOff));
    return Window{std::move(app), main, on, off};
  }

  // The message that the switch is done, confirmed, and a clean exit.
  static void Confirm(Window& w) {
    const gui::MessageBoxInfo box = gui::WaitForMessageBox(w.app.Id());
    EXPECT_EQ(box.caption, L"Burnisher");
    EXPECT_EQ(box.text, L"Reopen the VB6 IDE now...");
    gui::AnswerMessageBox(box.hwnd);
    EXPECT_EQ(w.app.WaitForExit(), std::optional<DWORD>(0u));
  }
  static void ClickAndConfirm(Window& w, int id) {
    gui::Click(gui::ControlById(w.main, id));
    Confirm(w);
  }
  // A fresh start that finds the manifest `installed` or not and switches to the other.
  void Switch(bool installed, const std::wstring& workingDir = L"") {
    Window w = Open(workingDir);
    w.ExpectOffers(installed);
    ClickAndConfirm(w, installed ? switcher::kIdOff : switcher::kIdOn);
  }

  // Clicks the button, expects an error report and, once it is confirmed, a non-zero
  // exit: a second box would keep the program from ending. Returns the report's text.
  static std::wstring ClickAndExpectFailure(Window& w, int id) {
    gui::Click(gui::ControlById(w.main, id));
    const gui::MessageBoxInfo box = gui::WaitForMessageBox(w.app.Id());
    EXPECT_EQ(box.caption, L"Burnisher");
    EXPECT_NE(box.text, L"Reopen the VB6 IDE now...");
    gui::AnswerMessageBox(box.hwnd);
    const std::optional<DWORD> code = w.app.WaitForExit();
    EXPECT_NE(code.value_or(0), 0u) << "no exit, or exit code 0: another box may be showing";
    return box.text;
  }

  // A fresh start whose `id` button is enabled fails with a report, returned.
  std::wstring ReportOf(int id) {
    Window w = Open();
    if (!IsWindowEnabled(gui::ControlById(w.main, id))) throw std::runtime_error("button disabled");
    return ClickAndExpectFailure(w, id);
  }

  // Runs the probe in the IDE folder and returns the comctl32.dll it loaded (an ASCII path).
  std::wstring ProbeComctl() {
    const std::wstring out = root_.Path() + L"\\probe.txt";
    DeleteFileW(out.c_str());
    gui::Process probe = gui::Process::Start(exe_, ide_, L"\"" + out + L"\"", 0s);
    const std::optional<DWORD> code = probe.WaitForExit();
    const std::string loaded = ReadFile(out);
    EXPECT_EQ(code, std::optional<DWORD>(0u)) << "the probe reported: " << loaded;
    return std::wstring(loaded.begin(), loaded.end());
  }

  TempDirectory root_;
  std::wstring app_ = root_.Path() + L"\\app";
  std::wstring shipped_ = app_ + L"\\VB6.EXE.Manifest";
  std::wstring ide_ = root_.Path() + L"\\VS\\VB98";
  std::wstring exe_ = ide_ + L"\\VB6.EXE";
  std::wstring installed_ = ide_ + L"\\VB6.EXE.Manifest";
  InstallDirValue installDir_;
};

TEST_F(BurnisherTest, WindowMatchesTheTwipLayoutAtTheScreensDpi) {
  Window w = Open();
  // Every text fits its box: the labels wrapped, the buttons' on one line inside their
  // edges (3 pixels each side at 96 DPI).
  const gui::Laid layout[] = {
      {switcher::kIdDescription, L"Static", switcher::kDescriptionText, 240, 120, 4335, 975, 0,
       true},
      {switcher::kIdOn, L"Button", L"Turn my VB6 IDE to XP style", 720, 1560, 3255, 495, 6},
      {switcher::kIdOff, L"Button", L"Turn my VB6 IDE to standard style", 720, 2280, 3255, 495, 6},
      {switcher::kIdAbout, L"Static", switcher::kAboutText, 240, 3600, 4005, 690, 0, true},
  };
  const std::vector<gui::Control> controls =
      gui::ExpectWindowLaidOut(w.main, L"Burnisher", 4875, 4380, layout);
  ASSERT_EQ(controls.size(), 4u);
  EXPECT_EQ(controls[1].style & WS_TABSTOP, static_cast<DWORD>(WS_TABSTOP));
  EXPECT_EQ(controls[2].style & WS_TABSTOP, static_cast<DWORD>(WS_TABSTOP));
  EXPECT_FALSE(gui::ContainsNoCase(switcher::kAboutText, L"Microsoft"));

  // The close box ends the program without touching anything.
  w.Close();
  EXPECT_FALSE(gui::FindMessageBox(w.app.Id()).has_value());
  EXPECT_FALSE(Exists(installed_));
}

// Esc leaves without action, Tab stays on the one enabled button, Enter clicks the
// focused button (it is the default one) and Space does too.
TEST_F(BurnisherTest, TheKeyboardWorksAsInADialog) {
  const auto focusOn = [](const Window& w, int id) {
    const HWND button = gui::ControlById(w.main, id);
    const DWORD thread = GetWindowThreadProcessId(w.main, nullptr);
    EXPECT_TRUE(gui::WaitUntil([&] { return gui::FocusedWindow(thread) == button; }))
        << "the focus should be on button " << id;
    EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    return button;
  };
  {
    Window w = Open();
    const HWND on = focusOn(w, switcher::kIdOn);
    EXPECT_EQ(GetWindowLongW(gui::ControlById(w.main, switcher::kIdOff), GWL_STYLE) & BS_TYPEMASK,
              BS_PUSHBUTTON);
    gui::PressKey(on, VK_TAB);
    focusOn(w, switcher::kIdOn);
    gui::PressKey(on, VK_ESCAPE);
    EXPECT_EQ(w.app.WaitForExit(), std::optional<DWORD>(0u));
    EXPECT_FALSE(Exists(installed_));
  }
  // A fresh start, the key on the focused button, then the message and a clean exit.
  const auto pressAndConfirm = [&](int id, WORD key) {
    Window w = Open();
    gui::PressKey(focusOn(w, id), key);
    Confirm(w);
  };
  pressAndConfirm(switcher::kIdOn, VK_RETURN);
  EXPECT_EQ(ReadFile(installed_), ReadFile(shipped_));
  pressAndConfirm(switcher::kIdOff, VK_SPACE);
  EXPECT_FALSE(Exists(installed_));
}

TEST_F(BurnisherTest, InstallThenRemoveSwitchesTheProbeBetweenWinSxSAndSystem) {
  EXPECT_TRUE(gui::ContainsNoCase(ProbeComctl(), L"\\system32\\"));
  SetOldWriteTime(exe_);
  const unsigned long long before = WriteTime(exe_);
  Switch(false);
  EXPECT_EQ(ReadFile(installed_), ReadFile(shipped_));
  EXPECT_FALSE(ReadFile(installed_).empty());
  EXPECT_GT(WriteTime(exe_), before) << "VB6.EXE's last-write time should move to now";
  EXPECT_TRUE(gui::ContainsNoCase(ProbeComctl(), L"\\winsxs\\"));

  SetOldWriteTime(exe_);
  Switch(true);
  EXPECT_FALSE(Exists(installed_));
  EXPECT_GT(WriteTime(exe_), before);
  EXPECT_TRUE(gui::ContainsNoCase(ProbeComctl(), L"\\system32\\"));
}

TEST_F(BurnisherTest, InstallReplacesAManifestThatAppearedAfterLoad) {
  Window w = Open();
  ASSERT_TRUE(w.onEnabled);
  WriteFile(installed_, "a stale manifest, longer than the shipped one will ever be ......." +
                            std::string(4096, '.'));
  ClickAndConfirm(w, switcher::kIdOn);
  EXPECT_EQ(ReadFile(installed_), ReadFile(shipped_));
}

// A read-only manifest counts as installed and is removed; a hidden or system one counts
// as not installed and is replaced by a normal one. Either way the next start offers the
// other button.
TEST_F(BurnisherTest, AttributesNeverStrandTheUser) {
  constexpr DWORD kStrays = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const DWORD attributes :
       {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
        DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
    SCOPED_TRACE(attributes);
    WriteFile(installed_, "an old manifest", attributes);
    const bool installed = attributes == FILE_ATTRIBUTE_READONLY;
    Switch(installed);
    if (installed) {
      EXPECT_FALSE(Exists(installed_));
    } else {
      EXPECT_EQ(ReadFile(installed_), ReadFile(shipped_));
      EXPECT_EQ(GetFileAttributesW(installed_.c_str()) & kStrays, 0u) << "a normal file";
    }
    Window next = Open();
    next.ExpectOffers(!installed);
    next.Close();
    SetFileAttributesW(installed_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(installed_.c_str());
  }
}

TEST_F(BurnisherTest, InstallDirInOtherCaseOrMissingMeansVB98InTheCurrentFolder) {
  // The current folder holds a VB98 with an installed manifest: only a relative lookup finds it.
  const std::wstring cwd = root_.Path() + L"\\cwd";
  CreateDirectoryW(cwd.c_str(), nullptr);
  CreateDirectoryW((cwd + L"\\VB98").c_str(), nullptr);
  const std::wstring relative = cwd + L"\\VB98\\VB6.EXE.Manifest";
  WriteFile(installed_, "installed where the registry points");

  installDir_.Set(root_.Path() + L"\\VS\\common\\ide\\ide98");
  WriteFile(relative, "x");
  Switch(true, cwd);
  EXPECT_FALSE(Exists(relative));
  EXPECT_TRUE(Exists(installed_));

  installDir_.Remove();
  Switch(false, cwd);
  EXPECT_EQ(ReadFile(relative), ReadFile(shipped_));
}

TEST_F(BurnisherTest, AMarkerInTheMiddleDropsTheRest) {
  installDir_.Set(root_.Path() + L"\\VS\\Common\\IDE\\IDE98\\Extra");
  Switch(false);
  EXPECT_EQ(ReadFile(installed_), ReadFile(shipped_));
}

TEST_F(BurnisherTest, InstallWithoutTheShippedManifestReportsAndLeavesNothing) {
  ASSERT_TRUE(DeleteFileW(shipped_.c_str()));
  ExpectReport(ReportOf(switcher::kIdOn), {shipped_, installed_},
               {switcher::SystemErrorText(ERROR_FILE_NOT_FOUND)},
               L"\"VB6.EXE.Manifest\" must lie beside Burnisher.exe, in ");
  EXPECT_FALSE(Exists(installed_));
}

TEST_F(BurnisherTest, InstallIntoAMissingIdeFolderReportsAndLeavesNothing) {
  installDir_.Set(root_.Path() + L"\\Gone\\Common\\IDE\\IDE98");
  ExpectReport(ReportOf(switcher::kIdOn), {root_.Path() + L"\\Gone\\VB98\\VB6.EXE.Manifest"});
  EXPECT_FALSE(Exists(root_.Path() + L"\\Gone"));
}

TEST_F(BurnisherTest, AFailedInstallLeavesAHiddenOldManifestAsItWas) {
  WriteFile(installed_, "the old, hidden manifest", FILE_ATTRIBUTE_HIDDEN);
  const DWORD before = GetFileAttributesW(installed_.c_str());
  ASSERT_TRUE(DeleteFileW(shipped_.c_str()));
  ExpectReport(ReportOf(switcher::kIdOn), {installed_});
  EXPECT_EQ(ReadFile(installed_), "the old, hidden manifest");
  EXPECT_EQ(GetFileAttributesW(installed_.c_str()), before);
}

TEST_F(BurnisherTest, WithoutInstallDirTheReportSaysSoAndNamesTheFolderTried) {
  installDir_.Remove();
  ExpectReport(ReportOf(switcher::kIdOn), {root_.Path() + L"\\VB98"},
               {L"HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0 has no value InstallDir",
                switcher::SystemErrorText(ERROR_PATH_NOT_FOUND)},
               L"VB6's setup entry in the registry does not say where the IDE is");
  EXPECT_FALSE(Exists(root_.Path() + L"\\VB98"));
  EXPECT_FALSE(Exists(installed_));
}

// Another user's hard link in place of the manifest: the program refuses either button
// with a report that names it, ends with a non-zero code, and the file elsewhere keeps
// its attributes and content.
TEST_F(BurnisherTest, AHardLinkedManifestIsRefusedWithAReport) {
  const std::wstring victim = root_.Path() + L"\\victim.txt";
  WriteFile(victim, "another file");
  ASSERT_TRUE(CreateHardLinkW(installed_.c_str(), victim.c_str(), nullptr)) << GetLastError();
  // Hidden counts as not installed (the XP-style button), read-only as installed.
  for (const DWORD attributes : {DWORD{0x27}, DWORD{FILE_ATTRIBUTE_READONLY}}) {
    ASSERT_TRUE(SetFileAttributesW(victim.c_str(), attributes));
    const DWORD before = GetFileAttributesW(victim.c_str());
    Window w = Open();
    const std::wstring report =
        ClickAndExpectFailure(w, w.onEnabled ? switcher::kIdOn : switcher::kIdOff);
    ExpectReport(report.substr(0, report.find(L'\n')), {installed_}, {L"hard links"});
    EXPECT_EQ(GetFileAttributesW(victim.c_str()), before);
    EXPECT_EQ(ReadFile(victim), "another file");
  }
}

TEST_F(BurnisherTest, RemoveOfAManifestGoneSinceLoadReports) {
  WriteFile(installed_, "soon gone");
  Window w = Open();
  ASSERT_TRUE(w.offEnabled);
  ASSERT_TRUE(DeleteFileW(installed_.c_str()));
  ExpectReport(ClickAndExpectFailure(w, switcher::kIdOff), {installed_});
}

// Common Controls 6 comes from Burnisher's own manifest (its activation context), though
// Burnisher no longer imports comctl32: its window is in the XP style.
TEST_F(BurnisherTest, LoadsCommonControls6FromItsManifest) {
  Window w = Open();
  const std::vector<std::wstring> comctl = w.app.LoadedModules(L"\\comctl32.dll");
  ASSERT_EQ(comctl.size(), 1u);
  EXPECT_TRUE(gui::ContainsNoCase(comctl[0], L"\\winsxs\\")) << Narrow(comctl[0]);
  w.Close();
}

// DLLs left beside Burnisher under the names its start loads, as in a downloads folder,
// never load, and it still switches.
TEST_F(BurnisherTest, DllsPlantedBesideItNeverLoadAndItStillSwitches) {
  const gui::PlantedDlls planted(app_);
  Switch(false);
  EXPECT_EQ(ReadFile(installed_), ReadFile(shipped_));
  EXPECT_EQ(planted.Loaded(), std::vector<std::wstring>{});
}

}  // namespace

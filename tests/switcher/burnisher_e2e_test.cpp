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
#include "tests/support/Rows.h"

namespace {

using namespace std::chrono_literals;
using namespace testfiles;

const std::wstring kReopen = L"Reopen the VB6 IDE now...";
// Once its window has gone the program ends within seconds; one that does not end shows
// nothing else a test could wait for.
constexpr auto kEndAfterClose = 15s;
constexpr wchar_t kVisualStudio[] = L"SOFTWARE\\Microsoft\\VisualStudio\\6.0";
constexpr wchar_t kVisualBasicSetup[] =
    L"SOFTWARE\\Microsoft\\VisualStudio\\6.0\\Setup\\Microsoft Visual Basic";
constexpr wchar_t kSideBySide[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide";

// Sets one HKLM value for one test, in the registry view `view` (0 or KEY_WOW64_64KEY), and
// puts back what was there before: the value, and no key that was not there.
class SavedValue {
 public:
  SavedValue(std::wstring path, const wchar_t* name, REGSAM view = 0)
      : key_(std::move(path)), name_(name), view_(view) {
    // The outermost key of the path that is missing goes with the test.
    for (size_t end = key_.find(L'\\');; end = key_.find(L'\\', end + 1)) {
      if (!Exists(key_.substr(0, end))) {
        created_ = key_.substr(0, end);
        break;
      }
      if (end == std::wstring::npos) break;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_READ | view_, &key) != 0) return;
    DWORD size = 0;
    if (RegQueryValueExW(key, name_, nullptr, &savedType_, nullptr, &size) == ERROR_SUCCESS) {
      saved_.emplace(size, 0);
      RegQueryValueExW(key, name_, nullptr, nullptr, saved_->data(), &size);
    }
    RegCloseKey(key);
  }
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;
  ~SavedValue() {
    if (saved_) {
      Write(savedType_, saved_->data(), static_cast<DWORD>(saved_->size()));
    } else {
      Remove();
    }
    if (created_) {
      const size_t cut = created_->rfind(L'\\');
      HKEY parent = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, created_->substr(0, cut).c_str(), 0,
                        KEY_ALL_ACCESS | view_, &parent) == ERROR_SUCCESS) {
        RegDeleteTreeW(parent, created_->substr(cut + 1).c_str());
        RegCloseKey(parent);
      }
    }
  }
  void Set(const std::wstring& text) const {
    Write(REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void Set(DWORD number) const {
    Write(REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  }
  void Remove() const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_SET_VALUE | view_, &key) != 0) {
      return;
    }
    RegDeleteValueW(key, name_);
    RegCloseKey(key);
  }

 private:
  bool Exists(const std::wstring& path) const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view_, &key) != 0) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
  void Write(DWORD type, const BYTE* data, DWORD size) const {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE | view_, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name_, 0, type, data, size), ERROR_SUCCESS);
    RegCloseKey(key);
  }

  std::wstring key_;
  const wchar_t* name_;
  REGSAM view_;
  std::optional<std::wstring> created_;
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
    EXPECT_EQ(app.WaitForExitAfterInput(main, kEndAfterClose), std::optional<DWORD>(0u));
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
    // Its controls are made, its buttons set and the focus given before it takes messages.
    const HWND main = app.WaitForWindow(L"Burnisher");
    gui::WaitForControls(
        main, {switcher::kIdDescription, switcher::kIdOn, switcher::kIdOff, switcher::kIdAbout},
        0s);
    const bool on = IsWindowEnabled(gui::ControlById(main, switcher::kIdOn));
    const bool off = IsWindowEnabled(gui::ControlById(main, switcher::kIdOff));
    return Window{std::move(app), main, on, off};
  }

  // The message that the switch is done, confirmed, and a clean exit.
  static void Confirm(Window& w, const std::wstring& message = kReopen) {
    const std::optional<gui::MessageBoxInfo> box = gui::MessageBoxAfterInput(w.main);
    ASSERT_TRUE(box.has_value()) << "no message after the click";
    EXPECT_EQ(box->caption, L"Burnisher");
    EXPECT_EQ(box->text, message);
    gui::AnswerMessageBox(box->hwnd);
    EXPECT_EQ(w.app.WaitForExitAfterInput(w.main, kEndAfterClose), std::optional<DWORD>(0u));
  }
  // Clicks `id`, which must be the enabled button: a disabled one would never answer.
  static void Click(Window& w, int id) {
    const HWND button = gui::ControlById(w.main, id);
    if (!IsWindowEnabled(button)) {
      w.Close();
      FAIL() << "the other button is the enabled one";
    }
    gui::Click(button);
  }
  // A fresh start that finds the manifest `installed` or not and switches to the other.
  void Switch(bool installed, const std::wstring& workingDir = L"",
              const std::wstring& message = kReopen) {
    Window w = Open(workingDir);
    w.ExpectOffers(installed);
    ASSERT_NO_FATAL_FAILURE(Click(w, installed ? switcher::kIdOff : switcher::kIdOn));
    Confirm(w, message);
  }
  // The reopen message with the line that names a kept manifest.
  static std::wstring Kept(const std::wstring& path) {
    return kReopen + L"\n\nThe manifest that was there before is kept as \"" + path + L"\".";
  }

  // Clicks the button, expects an error report and, once it is confirmed, a non-zero
  // exit: a second box would keep the program from ending. Returns the report's text.
  static std::wstring ClickAndExpectFailure(Window& w, int id) {
    Click(w, id);
    if (HasFatalFailure()) return L"";
    const std::optional<gui::MessageBoxInfo> box = gui::MessageBoxAfterInput(w.main);
    if (!box) {
      ADD_FAILURE() << "no message after the click";
      return L"";
    }
    EXPECT_EQ(box->caption, L"Burnisher");
    EXPECT_NE(box->text.rfind(kReopen, 0), 0u);
    gui::AnswerMessageBox(box->hwnd);
    const std::optional<DWORD> code = w.app.WaitForExitAfterInput(w.main, kEndAfterClose);
    EXPECT_NE(code.value_or(0), 0u) << "no exit, or exit code 0: another box may be showing";
    return box->text;
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
  SavedValue installDir_{kVisualStudio, L"InstallDir"};
  SavedValue productDir_{kVisualBasicSetup, L"ProductDir"};
  SavedValue preferExternal_{kSideBySide, L"PreferExternalManifest", KEY_WOW64_64KEY};
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

// Esc leaves without action, Tab stays on the one enabled button, Alt+Tab away and back
// keeps the focus there, Enter clicks the focused button (it is the default one) and
// Space does too. Each state is read once the program has handled the key.
TEST_F(BurnisherTest, TheKeyboardWorksAsInADialog) {
  const auto focusOn = [](const Window& w, int id) {
    const HWND button = gui::ControlById(w.main, id);
    EXPECT_EQ(gui::FocusedWindow(GetWindowThreadProcessId(w.main, nullptr)), button)
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
    ASSERT_TRUE(gui::WaitUntilHandled(w.main)) << "Tab closed the window";
    focusOn(w, switcher::kIdOn);
    gui::DeactivateAndReactivate(w.main);
    focusOn(w, switcher::kIdOn);
    gui::PressKey(on, VK_ESCAPE);
    EXPECT_EQ(w.app.WaitForExitAfterInput(w.main, kEndAfterClose), std::optional<DWORD>(0u));
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

// Someone else's manifest, there by the click though not at load, is kept.
TEST_F(BurnisherTest, AManifestThatAppearedAfterLoadIsKept) {
  Window w = Open();
  const std::string theirs = "a stale manifest of someone else's " + std::string(4096, '.');
  WriteFile(installed_, theirs);
  ASSERT_NO_FATAL_FAILURE(Click(w, switcher::kIdOn));
  Confirm(w, Kept(installed_ + L".bak"));
  EXPECT_EQ(ReadFile(installed_), ReadFile(shipped_));
  EXPECT_EQ(ReadFile(installed_ + L".bak"), theirs);
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
    WriteFile(installed_, ReadFile(shipped_), attributes);
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
  WriteFile(relative, ReadFile(shipped_));
  CopyFileOrThrow(PROBE_EXE, cwd + L"\\VB98\\VB6.EXE");
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

TEST_F(BurnisherTest, WithNeitherValueTheReportSaysSoAndNamesTheFolderTried) {
  installDir_.Remove();
  ExpectReport(ReportOf(switcher::kIdOn), {root_.Path() + L"\\VB98"},
               {L"HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0 has no value InstallDir",
                L"Microsoft Visual Basic has no value ProductDir",
                switcher::SystemErrorText(ERROR_PATH_NOT_FOUND)},
               L"VB6's setup entry in the registry does not say where the IDE is");
  EXPECT_FALSE(Exists(root_.Path() + L"\\VB98"));
  EXPECT_FALSE(Exists(installed_));
}

// The setups people have beyond the plain one, through the real exe: the button it
// offers, what the user reads after the click, and what the folder holds afterwards.
enum class Ide { kProbe, kNone, kOwnManifest, kMzOnly };
enum class There { kNothing, kOurs, kTheirs };
enum class Says { kReopenNow, kOwnManifestWins, kNoIde };
struct RealSetup {
  const char* name;
  bool installDir;  // InstallDir names VS\Common\IDE\IDE98 (else there is no value)
  Ide ide;          // VS\VB98's VB6.EXE
  bool productDir;  // ProductDir names Product\, a folder with the probe as VB6.EXE
  bool toProduct;   // the switch happens there, not in VS\VB98
  There there;      // the manifest already in that folder
  DWORD attributes;
  bool bakTaken;  // a folder VB6.EXE.Manifest.bak is there already
  bool preferExternal;
  Says says;
  const wchar_t* keptAs;  // the suffix theirs is kept under
};

class RealSetups : public BurnisherTest, public ::testing::WithParamInterface<RealSetup> {};

TEST_P(RealSetups, SwitchAsTheMessageSays) {
  const RealSetup& c = GetParam();
  const std::wstring product = root_.Path() + L"\\Product";
  const std::wstring folder = c.toProduct ? product : ide_;
  const std::wstring manifest = folder + L"\\VB6.EXE.Manifest";
  const std::string theirs = "<assembly>someone else's</assembly>";
  if (!c.installDir) installDir_.Remove();
  if (c.productDir) {
    CreateDirectoryW(product.c_str(), nullptr);
    CopyFileOrThrow(PROBE_EXE, product + L"\\VB6.EXE");
    productDir_.Set(product + L"\\");
  }
  DeleteFileW(exe_.c_str());
  if (c.ide == Ide::kProbe) CopyFileOrThrow(PROBE_EXE, exe_);
  if (c.ide == Ide::kOwnManifest) CopyFileOrThrow(OWN_MANIFEST_PROBE_EXE, exe_);
  if (c.ide == Ide::kMzOnly) WriteFile(exe_, "MZ");
  const std::string before = c.there == There::kTheirs ? theirs : ReadFile(shipped_);
  if (c.there != There::kNothing) WriteFile(manifest, before, c.attributes);
  if (c.bakTaken) CreateDirectoryW((manifest + L".bak").c_str(), nullptr);
  if (c.preferExternal) preferExternal_.Set(1);
  const std::vector<std::wstring> entries = FolderEntries(folder);

  const bool installed = c.there != There::kNothing && c.attributes == 0;
  if (c.says == Says::kNoIde) {
    Window w = Open();
    w.ExpectOffers(installed);
    const std::wstring report = ClickAndExpectFailure(w, switcher::kIdOn);
    ExpectReport(report, {}, {},
                 L"The folder \"" + folder +
                     L"\" named by the registry holds no VB6.EXE, so Burnisher "
                     L"changed nothing.");
    EXPECT_EQ(FolderEntries(folder), entries);
    return;
  }
  const std::wstring kept = c.keptAs ? manifest + c.keptAs : L"";
  Switch(installed, L"",
         c.says == Says::kOwnManifestWins ? switcher::kEmbeddedMessage
         : c.keptAs                       ? Kept(kept)
                                          : kReopen);
  EXPECT_EQ(Exists(manifest), !installed);
  if (!installed) {
    EXPECT_EQ(ReadFile(manifest), ReadFile(shipped_));
  }
  if (c.keptAs) {
    EXPECT_EQ(ReadFile(kept), before);
  }
  if (c.toProduct) {
    EXPECT_FALSE(Exists(installed_));
  }
  // What the message says holds under Wine too: the exe's own manifest keeps its look.
  if (c.ide == Ide::kOwnManifest && !c.preferExternal) {
    EXPECT_TRUE(gui::ContainsNoCase(ProbeComctl(), L"\\system32\\"));
  }
}

constexpr DWORD kHidden = FILE_ATTRIBUTE_HIDDEN;
const RealSetup kRealSetups[] = {
    {"ProductDirOnly", false, Ide::kNone, true, true, There::kNothing, 0, false, false,
     Says::kReopenNow, nullptr},
    {"InstallDirsFolderWithoutTheIde", true, Ide::kNone, true, true, There::kNothing, 0, false,
     false, Says::kReopenNow, nullptr},
    {"AFolderWithoutTheIde", true, Ide::kNone, false, false, There::kNothing, 0, false, false,
     Says::kNoIde, nullptr},
    {"TheirsOnRemove", true, Ide::kProbe, false, false, There::kTheirs, 0, false, false,
     Says::kReopenNow, L".bak"},
    {"TheirsHiddenOnInstall", true, Ide::kProbe, false, false, There::kTheirs, kHidden, false,
     false, Says::kReopenNow, L".bak"},
    {"OursOnRemove", true, Ide::kProbe, false, false, There::kOurs, 0, false, false,
     Says::kReopenNow, nullptr},
    {"BakTaken", true, Ide::kProbe, false, false, There::kTheirs, 0, true, false, Says::kReopenNow,
     L".bak2"},
    {"OwnManifest", true, Ide::kOwnManifest, false, false, There::kNothing, 0, false, false,
     Says::kOwnManifestWins, nullptr},
    {"OwnManifestWithExternalPreferred", true, Ide::kOwnManifest, false, false, There::kNothing, 0,
     false, true, Says::kReopenNow, nullptr},
    {"MzOnly", true, Ide::kMzOnly, false, false, There::kNothing, 0, false, false, Says::kReopenNow,
     nullptr},
};
INSTANTIATE_TEST_SUITE_P(Burnisher, RealSetups, ::testing::ValuesIn(kRealSetups), ByRowName());

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

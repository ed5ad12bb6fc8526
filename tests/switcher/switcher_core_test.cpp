// The switcher's decisions without a window: the IDE folder from the registry, the
// installed-or-not test, and the two file operations with their failure reports.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/standin/FakeRegistry.h"
#include "switcher/Switcher.h"
#include "tests/support/Files.h"
#include "tests/support/Rows.h"
#include "tests/switcher/NtfsFiles.h"

namespace {

using namespace std::literals;
using namespace testfiles;

using Folder = std::pair<const wchar_t*, const wchar_t*>;
class IdeFolderFromInstallDir : public ::testing::TestWithParam<Folder> {};

TEST_P(IdeFolderFromInstallDir, IsTheFolderBesideTheMarkerOrTheRelativeVB98) {
  EXPECT_EQ(switcher::IdeFolderFromInstallDir(GetParam().first), GetParam().second);
}

// Only the first marker counts; a separator after it changes nothing.
const Folder kCut[] = {{L"C:\\Program Files\\Microsoft Visual Studio\\Common\\IDE\\IDE98",
                        L"C:\\Program Files\\Microsoft Visual Studio\\VB98"},
                       {L"D:\\VS\\Common\\IDE\\IDE98\\Extra", L"D:\\VS\\VB98"},
                       {L"E:\\A\\Common\\IDE\\IDE98\\B\\Common\\IDE\\IDE98", L"E:\\A\\VB98"},
                       {L"\\Common\\IDE\\IDE98", L"\\VB98"},
                       {L"C:\\VS\\Common\\IDE\\IDE98\\", L"C:\\VS\\VB98"}};
const Folder kRelative[] = {{L"C:\\VS\\common\\ide\\ide98", L"VB98"},
                            {L"C:\\VS\\COMMON\\IDE\\IDE98", L"VB98"},
                            {L"C:\\VS\\Common\\IDE", L"VB98"},
                            {L"C:/VS/Common/IDE/IDE98", L"VB98"},
                            {L"", L"VB98"}};
INSTANTIATE_TEST_SUITE_P(CutsAtTheMarkerKeepingItsSeparator, IdeFolderFromInstallDir,
                         ::testing::ValuesIn(kCut));
INSTANTIATE_TEST_SUITE_P(WithoutAnExactMarkerTheFolderIsRelative, IdeFolderFromInstallDir,
                         ::testing::ValuesIn(kRelative));

std::wstring FirstLine(const std::wstring& report) { return report.substr(0, report.find(L'\n')); }
void ExpectMentions(const std::wstring& text, std::initializer_list<std::wstring> parts) {
  for (const std::wstring& part : parts) {
    EXPECT_NE(text.find(part), std::wstring::npos) << Narrow(part) << " in " << Narrow(text);
  }
}
// A failed operation whose report's first line is `first` and which names each of `parts`.
void ExpectFailure(const switcher::Outcome& outcome, const std::wstring& first,
                   std::initializer_list<std::wstring> parts) {
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(FirstLine(outcome.report), first);
  ExpectMentions(outcome.report, parts);
}

TEST(IsNormalFile, CountsOnlyNormalFiles) {
  TempDirectory dir;
  const std::wstring path = dir.Path() + L"\\VB6.EXE.Manifest";
  EXPECT_FALSE(switcher::IsNormalFile(path));

  WriteFile(path, "x");
  EXPECT_TRUE(switcher::IsNormalFile(path));
  struct Case {
    DWORD attributes;
    bool counts;
  };
  for (const Case c : {Case{FILE_ATTRIBUTE_READONLY, true}, Case{FILE_ATTRIBUTE_ARCHIVE, true},
                       Case{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, true},
                       Case{FILE_ATTRIBUTE_HIDDEN, false}, Case{FILE_ATTRIBUTE_SYSTEM, false},
                       Case{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, false}}) {
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), c.attributes));
    EXPECT_EQ(switcher::IsNormalFile(path), c.counts) << "attributes " << c.attributes;
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());

  ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
  EXPECT_FALSE(switcher::IsNormalFile(path)) << "a folder of that name is no manifest";
}

constexpr char kVisualStudio[] = "SOFTWARE\\Microsoft\\VisualStudio\\6.0";
constexpr char kVisualBasicSetup[] =
    "SOFTWARE\\Microsoft\\VisualStudio\\6.0\\Setup\\Microsoft Visual Basic";

void PutText(FakeRegistry& registry, const std::string& key, const std::string& name,
             const std::wstring& value, uint32_t type = reg::kRegSz) {
  std::vector<uint8_t> bytes(value.begin(), value.end());  // ASCII paths only
  bytes.push_back(0);
  registry.PutValue(reg::kLocalMachine, key, name, type, bytes);
}

constexpr DWORD kStrays = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A stand-in VB6 installation: the registry's InstallDir points at <root>\VS\Common\IDE\IDE98,
// the IDE folder <root>\VS\VB98 holds a VB6.EXE, and <root>\app holds the shipped manifest.
class Installation {
 protected:
  Installation() {
    for (const std::wstring& folder : {root_.Path() + L"\\VS", ide_, app_}) {
      CreateDirectoryW(folder.c_str(), nullptr);
    }
    WriteFile(exe_, "MZ stand-in");
    WriteFile(shippedPath_, shipped_);
    SetInstallDir(root_.Path() + L"\\VS\\Common\\IDE\\IDE98");
  }

  void SetInstallDir(const std::wstring& value, uint32_t type = reg::kRegSz) {
    PutText(registry_, kVisualStudio, "InstallDir", value, type);
  }
  // Seconds between now and VB6.EXE's last-write time.
  double IdeExeAge() const {
    ULARGE_INTEGER now{};
    GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&now));
    return static_cast<double>(now.QuadPart - WriteTime(exe_)) / 1e7;
  }

  TempDirectory root_;
  std::wstring ide_ = root_.Path() + L"\\VS\\VB98";
  std::wstring exe_ = ide_ + L"\\VB6.EXE";
  std::wstring app_ = root_.Path() + L"\\app";
  std::wstring shippedPath_ = app_ + L"\\VB6.EXE.Manifest";
  std::wstring installed_ = ide_ + L"\\VB6.EXE.Manifest";
  std::string shipped_ = "<?xml version=\"1.0\"?>\r\n<assembly>shipped</assembly>\r\n";
  FakeRegistry registry_;
  switcher::Switcher logic_{registry_, app_};
  // The same with Windows' file rules where Wine has others.
  NtfsFiles ntfs_;
  switcher::Switcher windows_{registry_, app_, ntfs_};
};

class SwitcherTest : public ::testing::Test, protected Installation {};

TEST_F(SwitcherTest, EachLookupReadsInstallDirWithItsOwnObjectAndClosesItsKey) {
  registry_.ClearCalls();
  EXPECT_EQ(logic_.GetIdeFolder(), ide_);
  EXPECT_FALSE(logic_.IsManifestInstalled());
  const auto opens = registry_.CallsTo("RegOpenKeyExA");
  ASSERT_EQ(opens.size(), 2u);
  for (const auto& open : opens) {
    EXPECT_EQ(open.key, reg::kLocalMachine);
    EXPECT_EQ(open.name, "SOFTWARE\\Microsoft\\VisualStudio\\6.0\\");
  }
  EXPECT_EQ(registry_.OpenHandleCount(), 0);
}

TEST(FolderFromProductDir, IsTheValueToItsFirstNulWithoutATrailingSeparator) {
  for (const Folder& c :
       {Folder{L"C:\\VS\\VB98\\", L"C:\\VS\\VB98"}, Folder{L"C:\\VS\\VB98", L"C:\\VS\\VB98"},
        Folder{L"C:/VS/VB98/", L"C:/VS/VB98"}, Folder{L"C:\\", L"C:\\"},
        Folder{L"\\\\server\\share\\VB98\\", L"\\\\server\\share\\VB98"}, Folder{L"", L""}}) {
    EXPECT_EQ(switcher::FolderFromProductDir(c.first), c.second) << Narrow(c.first);
  }
  EXPECT_EQ(switcher::FolderFromProductDir(L"C:\\VB98\\\0D:\\Other"s), L"C:\\VB98");
}

// Where each setup's VB6.EXE is found: InstallDir's folder when it holds one, else
// ProductDir's when that does, else InstallDir's all the same (the relative VB98 when
// the registry names none).
enum Found { kInstallDirs, kProductDirs, kRelativeVb98 };
struct IdeSetup {
  const char* name;
  const wchar_t* installDir;  // below the scratch folder; nullptr: no value
  bool ideThere;
  const wchar_t* productDir;  // below the scratch folder; nullptr: no value
  bool ideInProduct;
  Found found;
};

class IdeLookupTest : public ::testing::TestWithParam<IdeSetup>, protected Installation {};

TEST_P(IdeLookupTest, TakesTheFirstFolderThatHoldsVb6Exe) {
  const IdeSetup& c = GetParam();
  const std::wstring product = root_.Path() + L"\\Product";
  CreateDirectoryW(product.c_str(), nullptr);
  if (c.ideInProduct) WriteFile(product + L"\\VB6.EXE", "MZ");
  if (!c.ideThere) DeleteFileW(exe_.c_str());
  FakeRegistry registry;
  if (c.installDir) PutText(registry, kVisualStudio, "InstallDir", root_.Path() + c.installDir);
  if (c.productDir) PutText(registry, kVisualBasicSetup, "ProductDir", root_.Path() + c.productDir);
  const std::wstring expected[] = {ide_, product, L"VB98"};
  EXPECT_EQ(switcher::Switcher(registry, app_).GetIdeFolder(), expected[c.found]);
}

const IdeSetup kSetups[] = {
    {"InstallDirsHoldsIt", L"\\VS\\Common\\IDE\\IDE98", true, L"\\Product", true, kInstallDirs},
    {"OnlyProductDirsHoldsIt", L"\\VS\\Common\\IDE\\IDE98", false, L"\\Product\\", true,
     kProductDirs},
    {"ProductDirOnly", nullptr, false, L"\\Product\\", true, kProductDirs},
    {"ProductDirBesideAnUnknownInstallDir", L"\\VS\\common\\ide\\ide98", true, L"\\Product", true,
     kProductDirs},
    {"NeitherHoldsIt", L"\\VS\\Common\\IDE\\IDE98", false, L"\\Product", false, kInstallDirs},
    {"ProductDirWithoutIt", nullptr, false, L"\\Product", false, kRelativeVb98},
    {"NeitherValue", nullptr, true, nullptr, true, kRelativeVb98},
    {"AnUnknownInstallDirAlone", L"\\VS\\common\\ide\\ide98", true, nullptr, true, kRelativeVb98},
};
INSTANTIATE_TEST_SUITE_P(Setups, IdeLookupTest, ::testing::ValuesIn(kSetups), ByRowName());

TEST_F(SwitcherTest, InstallCopiesTheShippedBytesAndTouchesTheIde) {
  SetOldWriteTime(exe_);
  ASSERT_GT(IdeExeAge(), 86400.0);
  const switcher::Outcome outcome = logic_.Install();
  ASSERT_TRUE(outcome.ok()) << Narrow(outcome.report);
  EXPECT_EQ(ReadFile(installed_), shipped_);
  EXPECT_TRUE(logic_.IsManifestInstalled());
  EXPECT_LT(IdeExeAge(), 600.0) << "VB6.EXE's last-write time should be now";
}

// From a Burnisher that lies in the IDE folder itself: its manifest replaces, and
// removes, itself.
TEST_F(SwitcherTest, ABurnisherInTheIdeFolderSwitchesItsOwnManifest) {
  WriteFile(installed_, shipped_);
  switcher::Switcher inIde(registry_, ide_);
  const switcher::Outcome itself = inIde.Install();
  EXPECT_TRUE(itself.ok()) << Narrow(itself.report);
  EXPECT_EQ(ReadFile(installed_), shipped_);
  EXPECT_TRUE(inIde.Remove().ok());
  EXPECT_EQ(FolderEntries(ide_), std::vector<std::wstring>{L"VB6.EXE"});
}

// The file would change nothing without the exe it is for: nothing is written. Remove
// still takes a manifest away from such a folder.
TEST_F(SwitcherTest, InstallIntoAFolderWithoutVb6ExeIsRefused) {
  DeleteFileW(exe_.c_str());
  ExpectFailure(logic_.Install(),
                L"The folder \"" + ide_ +
                    L"\" named by the registry holds no VB6.EXE, so Burnisher changed nothing.",
                {L"names the folder \"" + ide_ + L"\", which holds no VB6.EXE",
                 L"Microsoft Visual Basic has no value ProductDir"});
  EXPECT_TRUE(FolderEntries(ide_).empty());
  WriteFile(installed_, shipped_);
  EXPECT_TRUE(logic_.IsManifestInstalled());
  EXPECT_TRUE(logic_.Remove().ok());
  EXPECT_TRUE(FolderEntries(ide_).empty());
}

TEST_F(SwitcherTest, InstallWithoutTheShippedManifestReportsBothPaths) {
  DeleteFileW(shippedPath_.c_str());
  const switcher::Outcome outcome = logic_.Install();
  EXPECT_EQ(outcome.error, DWORD{ERROR_FILE_NOT_FOUND});
  ExpectFailure(outcome,
                L"\"VB6.EXE.Manifest\" must lie beside Burnisher.exe, in " + app_ +
                    L": extract the whole zip, not Burnisher.exe alone, and start it from there.",
                {shippedPath_, installed_, switcher::SystemErrorText(ERROR_FILE_NOT_FOUND)});
  EXPECT_FALSE(Exists(installed_));
}

TEST_F(SwitcherTest, InstallIntoAMissingFolderFailsAndLeavesNothing) {
  SetInstallDir(root_.Path() + L"\\Gone\\Common\\IDE\\IDE98");
  ExpectFailure(logic_.Install(), L"Burnisher could not install the manifest.",
                {root_.Path() + L"\\Gone\\VB98\\VB6.EXE.Manifest"});
  EXPECT_FALSE(Exists(root_.Path() + L"\\Gone"));
}

TEST_F(SwitcherTest, RemoveDeletesAndTouchesTheIde) {
  WriteFile(installed_, shipped_);
  SetOldWriteTime(exe_);
  const switcher::Outcome outcome = logic_.Remove();
  ASSERT_TRUE(outcome.ok()) << Narrow(outcome.report);
  EXPECT_FALSE(Exists(installed_));
  EXPECT_FALSE(logic_.IsManifestInstalled());
  EXPECT_LT(IdeExeAge(), 600.0);
}

TEST_F(SwitcherTest, RemoveOfAMissingManifestReportsThePath) {
  SetOldWriteTime(exe_);
  const switcher::Outcome outcome = logic_.Remove();
  EXPECT_EQ(outcome.error, DWORD{ERROR_FILE_NOT_FOUND});
  ExpectFailure(outcome, L"Burnisher could not remove the manifest.",
                {installed_, switcher::SystemErrorText(ERROR_FILE_NOT_FOUND)});
  EXPECT_GT(IdeExeAge(), 86400.0) << "a failed operation leaves VB6.EXE alone";
}

// Read-only, hidden or system: whichever button the window offers, it works, and
// afterwards the next start offers the other one.
TEST_F(SwitcherTest, AttributesNeverStrandTheUser) {
  for (switcher::Switcher* logic : {&logic_, &windows_}) {
    for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_HIDDEN},
                                   DWORD{FILE_ATTRIBUTE_SYSTEM},
                                   DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}, kStrays}) {
      SCOPED_TRACE(std::string(logic == &logic_ ? "Wine's" : "Windows'") + " rules, attributes " +
                   std::to_string(attributes));
      WriteFile(installed_, shipped_, attributes);
      // Only a read-only one counts as installed (hidden and system files do not).
      EXPECT_EQ(logic->IsManifestInstalled(), attributes == FILE_ATTRIBUTE_READONLY);
      const switcher::Outcome installed = logic->Install();
      ASSERT_TRUE(installed.ok()) << Narrow(installed.report);
      EXPECT_EQ(ReadFile(installed_), shipped_);
      EXPECT_EQ(GetFileAttributesW(installed_.c_str()) & kStrays, 0u) << "a normal file";
      EXPECT_TRUE(logic->IsManifestInstalled());

      ASSERT_TRUE(SetFileAttributesW(installed_.c_str(), attributes));
      const switcher::Outcome removed = logic->Remove();
      ASSERT_TRUE(removed.ok()) << Narrow(removed.report);
      EXPECT_FALSE(Exists(installed_));
    }
  }
  EXPECT_EQ(FolderEntries(ide_), std::vector<std::wstring>{L"VB6.EXE"}) << "no temporary left";
}

TEST_F(SwitcherTest, AReadOnlyShippedManifestIsInstalledAsANormalFile) {
  ASSERT_TRUE(SetFileAttributesW(shippedPath_.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(logic_.Install().ok());
  EXPECT_EQ(GetFileAttributesW(installed_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(logic_.Remove().ok());
}

// A failed install leaves an old manifest byte for byte, attributes and all, and no
// temporary file: when the copy cannot start, and when the final move is refused.
TEST_F(SwitcherTest, AFailedInstallLeavesTheOldManifestAsItWas) {
  WriteFile(installed_, "the old, hidden manifest", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  const DWORD before = GetFileAttributesW(installed_.c_str());
  SetOldWriteTime(exe_);
  const auto expectTheOldOne = [&] {
    EXPECT_EQ(ReadFile(installed_), "the old, hidden manifest");
    EXPECT_EQ(GetFileAttributesW(installed_.c_str()), before);
    EXPECT_EQ(FolderEntries(ide_), (std::vector<std::wstring>{L"VB6.EXE", L"VB6.EXE.Manifest"}));
  };
  ASSERT_TRUE(DeleteFileW(shippedPath_.c_str()));
  EXPECT_EQ(logic_.Install().error, DWORD{ERROR_FILE_NOT_FOUND});
  expectTheOldOne();

  // Another program holds the old manifest open without sharing deletion: the move fails.
  WriteFile(shippedPath_, shipped_);
  const HANDLE held = CreateFileW(installed_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const switcher::Outcome refused = logic_.Install();
  CloseHandle(held);
  EXPECT_FALSE(refused.ok());
  ExpectMentions(refused.report, {installed_});
  expectTheOldOne();
  EXPECT_GT(IdeExeAge(), 86400.0) << "a failed install leaves VB6.EXE alone";
}

// When the registry does not give the folder, a failure report leads with why, in the
// user's words, and says what the registry held and which folder was tried instead;
// the three ways it can fail read differently. When it does give it, no such part.
TEST_F(SwitcherTest, AFailureWithoutTheRegistrysFolderSaysWhy) {
  const std::wstring tried = switcher::FullPath(L"VB98");
  ASSERT_NE(tried, L"VB98");
  ASSERT_FALSE(Exists(tried)) << "the test's current folder must hold no VB98";
  FakeRegistry noKey;
  switcher::Switcher noSetup(noKey, app_);
  FakeRegistry noValue;
  noValue.PutValue(reg::kLocalMachine, "SOFTWARE\\Microsoft\\VisualStudio\\6.0", "Other",
                   reg::kRegSz, {'x', 0});
  switcher::Switcher noInstallDir(noValue, app_);
  // Without the shipped manifest as well: the registry's reason still comes first.
  DeleteFileW(shippedPath_.c_str());
  SetInstallDir(L"C:\\VS\\common\\ide\\ide98");
  struct Case {
    switcher::Switcher& logic;
    const wchar_t* first;
    const wchar_t* says;
  };
  for (const Case& c :
       {Case{noSetup,
             L"VB6 was not found on this computer: the registry holds no entry of its setup.",
             L"The key HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0 does not exist."},
        Case{noInstallDir,
             L"VB6's setup entry in the registry does not say where the IDE is: it has no value "
             L"InstallDir.",
             L"HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0 has no value InstallDir"},
        Case{logic_,
             L"VB6's setup entry in the registry names no IDE folder Burnisher knows: its "
             L"InstallDir does not contain \"\\Common\\IDE\\IDE98\".",
             L"InstallDir of the key HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0 holds "
             L"\"C:\\VS\\common\\ide\\ide98\""}}) {
    for (const switcher::Outcome& outcome : {c.logic.Install(), c.logic.Remove()}) {
      ExpectFailure(outcome, c.first,
                    {c.says, L"Microsoft Visual Basic has no value ProductDir",
                     L"instead:\n" + tried, L"(error "});
    }
  }
  // A ProductDir that names a folder without the IDE is named too.
  PutText(noValue, kVisualBasicSetup, "ProductDir", root_.Path() + L"\\app\\");
  ExpectMentions(
      noInstallDir.Install().report,
      {L"ProductDir of the key HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0\\Setup\\Microsoft "
       L"Visual Basic names the folder \"" +
       app_ + L"\", which holds no VB6.EXE."});
  EXPECT_FALSE(Exists(tried));

  // A folder the registry gave, with VB6.EXE in it: no word of the registry.
  SetInstallDir(root_.Path() + L"\\VS\\Common\\IDE\\IDE98");
  EXPECT_EQ(logic_.Remove().report.find(L"registry"), std::wstring::npos);
}

// A file's attributes, content and last-write time: what a refused operation leaves alone.
struct FileState {
  DWORD attributes = 0;
  std::string content;
  unsigned long long written = 0;
  bool operator==(const FileState&) const = default;
};
FileState StateOf(const std::wstring& path) {
  return {GetFileAttributesW(path.c_str()), ReadFile(path), WriteTime(path)};
}

// What another user may plant in an IDE folder that every user can change: a second
// name for a file elsewhere (a hard link, real under Wine), a link (a reparse point, from
// the stand-in). Each is refused with a report naming it, and nothing anywhere changes:
// not the file elsewhere, not the folder's entries, not VB6.EXE.
enum Plant { kLinkedManifest, kLinkedExe, kReparseManifest, kReparseFolder };
struct Planted {
  const char* name;
  Plant plant;
  bool install;
  DWORD victimAttributes;
  const wchar_t* says;
};

class PlantedLinks : public ::testing::TestWithParam<Planted>, protected Installation {};

TEST_P(PlantedLinks, AreRefusedAndNothingAnywhereChanges) {
  const Planted& c = GetParam();
  const std::wstring victim = root_.Path() + L"\\victim.txt";
  WriteFile(victim, "another file, not Burnisher's", c.victimAttributes);
  SetOldWriteTime(victim);
  WriteFile(installed_, "an installed manifest", c.victimAttributes);
  std::wstring named = c.plant == kLinkedExe ? exe_ : installed_;
  if (c.plant == kLinkedManifest || c.plant == kLinkedExe) {
    SetFileAttributesW(named.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileW(named.c_str()));
    ASSERT_TRUE(CreateHardLinkW(named.c_str(), victim.c_str(), nullptr)) << GetLastError();
  } else if (c.plant == kReparseManifest) {
    ntfs_.MarkReparsePoint(named);
  } else {
    ntfs_.MarkReparsePoint(named = ide_);
  }
  SetOldWriteTime(exe_);
  const FileState before = StateOf(victim);
  const FileState manifest = StateOf(installed_);
  const FileState ideExe = StateOf(exe_);
  const std::vector<std::wstring> entries = FolderEntries(ide_);

  const switcher::Outcome outcome = c.install ? windows_.Install() : windows_.Remove();
  EXPECT_FALSE(outcome.ok());
  ExpectMentions(FirstLine(outcome.report), {L"\"" + named + L"\"", c.says});
  EXPECT_EQ(StateOf(victim), before);
  EXPECT_EQ(StateOf(installed_), manifest);
  EXPECT_EQ(StateOf(exe_), ideExe);
  EXPECT_EQ(FolderEntries(ide_), entries);
}

constexpr DWORD kHiddenReadOnlySystem = 0x27;
const Planted kPlanted[] = {
    {"LinkedManifestOnInstall", kLinkedManifest, true, kHiddenReadOnlySystem, L"hard links"},
    {"LinkedManifestOnRemove", kLinkedManifest, false, FILE_ATTRIBUTE_READONLY, L"hard links"},
    {"LinkedExeOnInstall", kLinkedExe, true, FILE_ATTRIBUTE_NORMAL, L"hard links"},
    {"LinkedExeOnRemove", kLinkedExe, false, FILE_ATTRIBUTE_NORMAL, L"hard links"},
    {"ReparseManifestOnInstall", kReparseManifest, true, FILE_ATTRIBUTE_READONLY, L"reparse point"},
    {"ReparseManifestOnRemove", kReparseManifest, false, FILE_ATTRIBUTE_READONLY, L"reparse point"},
    {"ReparseFolderOnInstall", kReparseFolder, true, FILE_ATTRIBUTE_NORMAL, L"reparse point"},
    {"ReparseFolderOnRemove", kReparseFolder, false, FILE_ATTRIBUTE_NORMAL, L"reparse point"},
};
INSTANTIATE_TEST_SUITE_P(IdeFolder, PlantedLinks, ::testing::ValuesIn(kPlanted), ByRowName());

// The IDE folder as a Unix symbolic link to another folder (the build plants it): Wine
// opens it as a folder that is not the one named, and nothing is written or deleted there.
TEST_F(SwitcherTest, AnIdeFolderLinkedElsewhereIsRefused) {
  std::wstring planted = PLANTED_LINK_ROOT;
  std::replace(planted.begin(), planted.end(), L'/', L'\\');
  const std::wstring elsewhere = planted + L"\\elsewhere";
  const std::wstring theirs = elsewhere + L"\\VB6.EXE.Manifest";
  DeleteFileW(theirs.c_str());
  SetInstallDir(planted + L"\\VS\\Common\\IDE\\IDE98");
  ExpectMentions(FirstLine(logic_.Install().report), {L"leads to another folder"});
  EXPECT_TRUE(FolderEntries(elsewhere).empty());
  WriteFile(theirs, "theirs");
  ExpectMentions(FirstLine(logic_.Remove().report), {L"leads to another folder"});
  EXPECT_EQ(ReadFile(theirs), "theirs");
  DeleteFileW(theirs.c_str());
}

// InstallDir counts up to its first NUL, as Windows would read it as a path, so what
// follows a NUL never steers a deletion or a new folder; a path in a device namespace
// is refused before anything is opened.
TEST_F(SwitcherTest, InstallDirCountsUpToItsFirstNulAndNoDevicePath) {
  const std::wstring victim = root_.Path() + L"\\victim.txt";
  const std::wstring evil = root_.Path() + L"\\evil";
  const std::wstring real = root_.Path() + L"\\VS\\Common\\IDE\\IDE98";
  WriteFile(installed_, shipped_);
  WriteFile(victim, "another file", 0x27);
  const FileState before = StateOf(victim);
  for (const uint32_t type : {reg::kRegSz, reg::kRegMultiSz}) {
    SetInstallDir(victim + L'\0' + real + (type == reg::kRegMultiSz ? L"\0"s : L""), type);
    EXPECT_EQ(logic_.GetIdeFolder(), L"VB98");
    EXPECT_FALSE(logic_.Remove().ok());
    EXPECT_EQ(StateOf(victim), before);
  }
  SetInstallDir(evil + L'\0' + real);
  EXPECT_FALSE(logic_.Install().ok());
  EXPECT_FALSE(Exists(evil));

  for (const wchar_t* device : {L"\\\\?\\", L"\\\\.\\", L"\\??\\", L"//?/"}) {
    SetInstallDir(device + real);
    EXPECT_FALSE(logic_.IsManifestInstalled()) << Narrow(device);
    for (const switcher::Outcome& outcome : {logic_.Install(), logic_.Remove()}) {
      EXPECT_FALSE(outcome.ok());
      ExpectMentions(FirstLine(outcome.report), {L"device namespace"});
    }
  }
  EXPECT_EQ(ReadFile(installed_), shipped_);
}

// Someone else's manifest (bytes other than the shipped one's) is never lost: it is kept
// byte for byte, attributes and all, under the first free name of .bak, .bak2, ..., and
// whatever holds a name already stays as it was. Burnisher's own goes without a copy;
// with the shipped one unreadable, no manifest counts as Burnisher's.
enum Taken { kFree, kFile, kFolder, kHardLink, kFileAndFolder };
struct Keeping {
  const char* name;
  bool install;
  bool theirs;
  DWORD attributes;
  Taken taken;  // what holds .bak (and .bak2) already
  bool shippedMissing;
  const wchar_t* keptAs;  // the suffix it is kept under; nullptr: not kept
};

class KeptManifests : public ::testing::TestWithParam<Keeping>, protected Installation {};

TEST_P(KeptManifests, AreNeverLost) {
  const Keeping& c = GetParam();
  const std::string content = c.theirs ? "<assembly>someone else's</assembly>" : shipped_;
  WriteFile(installed_, content, c.attributes);
  const std::wstring bak = installed_ + L".bak";
  const std::wstring victim = root_.Path() + L"\\victim.txt";
  WriteFile(victim, "a file elsewhere");
  switch (c.taken) {
    case kFileAndFolder:
      CreateDirectoryW((bak + L"2").c_str(), nullptr);
      [[fallthrough]];
    case kFile:
      WriteFile(bak, "an older copy");
      break;
    case kFolder:
      CreateDirectoryW(bak.c_str(), nullptr);
      break;
    case kHardLink:
      CreateHardLinkW(bak.c_str(), victim.c_str(), nullptr);
      break;
    case kFree:
      break;
  }
  if (c.shippedMissing) DeleteFileW(shippedPath_.c_str());
  std::vector<std::wstring> entries = FolderEntries(ide_);

  const switcher::Outcome outcome = c.install ? logic_.Install() : logic_.Remove();
  ASSERT_TRUE(outcome.ok()) << Narrow(outcome.report);
  EXPECT_EQ(outcome.kept, c.keptAs ? installed_ + c.keptAs : L"");
  if (c.keptAs) {
    EXPECT_EQ(ReadFile(outcome.kept), content);
    EXPECT_EQ(GetFileAttributesW(outcome.kept.c_str()) & kStrays, c.attributes);
    entries.push_back(L"VB6.EXE.Manifest"s + c.keptAs);
  }
  if (c.install) {
    EXPECT_EQ(ReadFile(installed_), shipped_);
    EXPECT_EQ(GetFileAttributesW(installed_.c_str()) & kStrays, 0u);
  } else {
    std::erase(entries, L"VB6.EXE.Manifest");
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(FolderEntries(ide_), entries);
  EXPECT_EQ(ReadFile(victim), "a file elsewhere");
  if (c.taken == kFile || c.taken == kFileAndFolder) {
    EXPECT_EQ(ReadFile(bak), "an older copy");
  }
}

constexpr DWORD kReadOnlySystem = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
const Keeping kKeeping[] = {
    {"TheirsOnRemove", false, true, 0, kFree, false, L".bak"},
    {"TheirsHiddenOnInstall", true, true, FILE_ATTRIBUTE_HIDDEN, kFree, false, L".bak"},
    {"TheirsReadOnlySystemOnRemove", false, true, kReadOnlySystem, kFree, false, L".bak"},
    {"OursOnRemove", false, false, 0, kFree, false, nullptr},
    {"OursWithTheShippedOneMissing", false, false, 0, kFree, true, L".bak"},
    {"BakIsAFile", false, true, 0, kFile, false, L".bak2"},
    {"BakIsAFolder", true, true, 0, kFolder, false, L".bak2"},
    {"BakIsAHardLink", false, true, 0, kHardLink, false, L".bak2"},
    {"BakAndBak2Taken", true, true, 0, kFileAndFolder, false, L".bak3"},
};
INSTANTIATE_TEST_SUITE_P(IdeFolder, KeptManifests, ::testing::ValuesIn(kKeeping), ByRowName());

// Should the new manifest not get its name once theirs was kept, theirs goes back.
TEST_F(SwitcherTest, AFailedInstallPutsTheirsBack) {
  WriteFile(installed_, "theirs", FILE_ATTRIBUTE_HIDDEN);
  ntfs_.FailNextRenameTo(L"VB6.EXE.Manifest");
  const switcher::Outcome outcome = windows_.Install();
  EXPECT_EQ(outcome.error, DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_EQ(outcome.kept, L"");
  EXPECT_EQ(ReadFile(installed_), "theirs");
  EXPECT_EQ(GetFileAttributesW(installed_.c_str()) & kStrays, DWORD{FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(FolderEntries(ide_), (std::vector<std::wstring>{L"VB6.EXE", L"VB6.EXE.Manifest"}));
}

// A VB6.EXE with a manifest of its own (resource 1 of type RT_MANIFEST): the installed
// file changes nothing unless PreferExternalManifest is the DWORD 1 where Windows reads
// it. Malformed exes carry none.
struct OwnManifest {
  const char* name;
  const wchar_t* exe;  // a probe to copy, or nullptr for `bytes`
  const char* bytes;
  uint32_t preferType;  // PreferExternalManifest's type, 0 for none
  uint8_t prefer;
  bool wins;
};

class OwnManifests : public ::testing::TestWithParam<OwnManifest>, protected Installation {};

TEST_P(OwnManifests, WinOverTheInstalledFileUnlessExternalIsPreferred) {
  const OwnManifest& c = GetParam();
  if (c.exe) {
    CopyFileOrThrow(c.exe, exe_);
  } else {
    WriteFile(exe_, c.bytes);
  }
  constexpr char kSideBySide[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide";
  if (c.preferType != 0) {
    registry_.PutValue(reg::kLocalMachine, kSideBySide, "PreferExternalManifest", c.preferType,
                       {c.prefer, 0, 0, 0});
  }
  const switcher::Outcome outcome = logic_.Install();
  ASSERT_TRUE(outcome.ok()) << Narrow(outcome.report);
  EXPECT_EQ(outcome.embeddedWins, c.wins);
  EXPECT_EQ(ReadFile(installed_), shipped_);
  // Windows reads the setting in its own view, the 64-bit one on 64-bit Windows.
  for (const FakeRegistry::Call& open : registry_.CallsTo("RegOpenKeyExA")) {
    if (open.name == kSideBySide) {
      EXPECT_NE(open.access & KEY_WOW64_64KEY, 0u);
    }
  }
}

const OwnManifest kOwnManifests[] = {
    {"PlainExe", PROBE_EXE, nullptr, 0, 0, false},
    {"OwnManifest", OWN_MANIFEST_PROBE_EXE, nullptr, 0, 0, true},
    {"ExternalPreferred", OWN_MANIFEST_PROBE_EXE, nullptr, REG_DWORD, 1, false},
    {"ExternalNotPreferred", OWN_MANIFEST_PROBE_EXE, nullptr, REG_DWORD, 0, true},
    {"PreferenceAsText", OWN_MANIFEST_PROBE_EXE, nullptr, REG_SZ, '1', true},
    {"MzOnly", nullptr, "MZ", 0, 0, false},
    {"EmptyFile", nullptr, "", 0, 0, false},
};
INSTANTIATE_TEST_SUITE_P(Vb6Exe, OwnManifests, ::testing::ValuesIn(kOwnManifests), ByRowName());

TEST(SystemErrorText, IsTheSystemsOwnLineWithoutABreak) {
  const std::wstring text = switcher::SystemErrorText(ERROR_ACCESS_DENIED);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find(L'\n'), std::wstring::npos);
  EXPECT_NE(text.back(), L' ');
}

}  // namespace

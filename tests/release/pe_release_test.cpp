// The shipped exes read as PE files: what a user's Windows sees before it runs a line of
// our code.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kRelocsStripped = 0x0001;
constexpr uint16_t kDynamicBase = 0x0040;
constexpr uint16_t kNxCompat = 0x0100;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kRtManifest = 24;

// `width` (at most 4) little-endian bytes at `at`; 0 past the end, so that a damaged
// file fails the test instead of crashing it.
uint32_t Le(const std::string& bytes, size_t at, size_t width) {
  uint32_t v = 0;
  for (size_t i = 0; i < width && at <= bytes.size() && width <= bytes.size() - at; ++i) {
    v |= uint32_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  }
  return v;
}

// The NUL-terminated text at `at` (at most 256 bytes).
std::string CString(const std::string& bytes, size_t at) {
  std::string out;
  while (at < bytes.size() && bytes[at] != '\0' && out.size() < 256) out += bytes[at++];
  return out;
}

// A 32-bit PE image (PE32) read through bounds-checked accessors: the file as it is, and
// the image as the loader lays it out, each section at its address.
class PeFile {
 public:
  explicit PeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    file_.assign(std::istreambuf_iterator<char>(in), {});
    if (file_.size() < 0x40 || Le(file_, 0, 2) != 0x5A4D) return;  // "MZ"
    pe_ = Le(file_, 0x3C, 4);
    optional_ = pe_ + 24;
    if (Le(file_, pe_, 4) != 0x00004550 || Le(file_, optional_, 2) != 0x10B) return;  // "PE\0\0"
    image_ = file_.substr(0, Le(file_, optional_ + 60, 4));  // SizeOfHeaders
    image_.resize(std::min<size_t>(Le(file_, optional_ + 56, 4), size_t{64} << 20));
    const size_t table = optional_ + U16(pe_ + 20);
    for (uint16_t i = 0; i < U16(pe_ + 6); ++i) {
      const size_t s = table + 40 * size_t{i};
      const size_t rva = Le(file_, s + 12, 4), raw = Le(file_, s + 20, 4);
      const size_t size = std::min(Le(file_, s + 8, 4), Le(file_, s + 16, 4));
      if (raw < file_.size() && rva < image_.size()) {
        file_.copy(image_.data() + rva, std::min(size, image_.size() - rva), raw);
      }
      sections_.push_back({Le(file_, s + 20, 4), Le(file_, s + 16, 4), SectionName(s)});
    }
    valid_ = true;
  }

  bool Valid() const { return valid_; }
  uint16_t Machine() const { return U16(pe_ + 4); }
  uint16_t Characteristics() const { return U16(pe_ + 22); }
  uint16_t DllCharacteristics() const { return U16(optional_ + 70); }

  struct Directory {
    uint32_t rva = 0, size = 0;
  };
  Directory DataDirectory(size_t index) const {
    if (index >= U32(optional_ + 92)) return {};
    const size_t at = optional_ + 96 + 8 * index;
    return {U32(at), U32(at + 4)};
  }

  // Each imported DLL with the functions taken from it: by name, or "#<ordinal>".
  struct ImportedDll {
    std::string name;
    std::vector<std::string> functions;
  };
  std::vector<ImportedDll> ImportedFunctions() const {
    std::vector<ImportedDll> dlls;
    for (size_t at = DataDirectory(1).rva; at != 0 && (U32(at) | U32(at + 12)) != 0; at += 20) {
      ImportedDll& dll = dlls.emplace_back(ImportedDll{CString(image_, U32(at + 12)), {}});
      for (size_t e = U32(at) != 0 ? U32(at) : U32(at + 16); e != 0 && U32(e) != 0; e += 4) {
        const uint32_t thunk = U32(e);
        dll.functions.push_back(thunk & 0x80000000u ? "#" + std::to_string(thunk & 0xFFFF)
                                                    : CString(image_, thunk + 2));  // past the hint
      }
    }
    return dlls;
  }

  // The versions of Windows the image asks for, as major * 100 + minor.
  unsigned OsVersion() const { return U16(optional_ + 40) * 100u + U16(optional_ + 42); }
  unsigned SubsystemVersion() const { return U16(optional_ + 48) * 100u + U16(optional_ + 50); }

  // The bytes the file keeps once strip has dropped its symbols and debugging sections,
  // as the zip ships it: the file's own size when it is stripped already, else its
  // headers and other sections, each padded to the file alignment (at most 511 bytes
  // over what strip leaves, never under).
  size_t StrippedSize() const {
    size_t end = U32(optional_ + 60);             // SizeOfHeaders
    bool stripped = Le(file_, pe_ + 16, 4) == 0;  // no COFF symbols
    for (const Section& s : sections_) {
      if (s.name.starts_with(".debug")) {
        stripped = false;
        continue;
      }
      if (s.raw != 0) end = std::max(end, size_t{s.raw} + s.rawSize);
    }
    return stripped ? file_.size() : end;
  }

  // `size` bytes at `rva` in the image, when it holds them all.
  std::optional<std::string> Bytes(size_t rva, size_t size) const {
    if (rva == 0 || rva > image_.size() || size > image_.size() - rva) return std::nullopt;
    return image_.substr(rva, size);
  }

  // The data of the first resource of `type` (first name, first language).
  std::optional<std::string> Resource(uint32_t type) const {
    const size_t root = DataDirectory(2).rva;
    uint32_t entry = 0;
    for (size_t e = root + 16;
         root != 0 && e < root + 16 + 8 * (size_t{U16(root + 12)} + U16(root + 14)); e += 8) {
      if (U32(e) == type) entry = U32(e + 4);
    }
    // Two more levels (name, language): take the first of each.
    for (int level = 0; level < 2; ++level) {
      if ((entry & 0x80000000u) == 0) return std::nullopt;
      const size_t sub = root + (entry & 0x7FFFFFFFu);
      if (U16(sub + 12) + U16(sub + 14) == 0) return std::nullopt;
      entry = U32(sub + 16 + 4);
    }
    if (entry & 0x80000000u) return std::nullopt;
    return Bytes(U32(root + entry), U32(root + entry + 4));
  }

 private:
  struct Section {
    uint32_t raw, rawSize;
    std::string name;
  };

  // The eight-byte name field; a longer name ("/<offset>" into the string table) is
  // read from there, as the debugging sections are named.
  std::string SectionName(size_t at) const {
    std::string name = CString(file_, at).substr(0, 8);
    if (name.starts_with("/")) {
      const size_t strings = size_t{Le(file_, pe_ + 12, 4)} + 18 * size_t{Le(file_, pe_ + 16, 4)};
      name = CString(file_, strings + std::strtoul(name.c_str() + 1, nullptr, 10));
    }
    return name;
  }

  // In the image: the headers, then each section at its address.
  uint16_t U16(size_t at) const { return static_cast<uint16_t>(Le(image_, at, 2)); }
  uint32_t U32(size_t at) const { return Le(image_, at, 4); }

  std::string file_;
  std::string image_;
  std::vector<Section> sections_;
  size_t pe_ = 0;
  size_t optional_ = 0;
  bool valid_ = false;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// What a shipped exe may import. The loader resolves imports, and their own imports,
// before any code of the program runs, and searches beside the exe first for a name it
// does not take from its KnownDLLs. These are KnownDLLs on every Windows from XP SP3 on
// (in the KnownDLLs key of XP and of every later version; msvcrt on XP as the
// dependency of one, which the loader takes from the same set), and ntdll, which is in
// every process before the exe. Any other DLL is loaded at run time, after the program
// has turned the search to the system folder.
bool IsImportable(const std::string& dll) {
  static const std::set<std::string> kKnownEverywhere = {
      "kernel32.dll", "user32.dll",   "gdi32.dll",   "advapi32.dll", "msvcrt.dll",
      "ole32.dll",    "oleaut32.dll", "shell32.dll", "comdlg32.dll", "ntdll.dll"};
  return kKnownEverywhere.contains(Lower(dll));
}

// Where the exe under test lies: the zip's flat layout when BURNISHER_RELEASE_DIR is
// set, else the win32 build tree.
fs::path ExePath(const std::string& exe, const std::string& treeFolder) {
  if (const char* dir = std::getenv("BURNISHER_RELEASE_DIR")) return fs::path(dir) / exe;
  return fs::path(BURNISHER_WIN32_TREE) / treeFolder / exe;
}

// Where the value of the entry `key` of a version block starts: after its UTF-16 key and
// terminator, padded to a 4-byte boundary; npos when the key is absent.
size_t ValueOf(const std::string& block, std::u16string key) {
  key.push_back(u'\0');
  const size_t at =
      block.find(std::string(reinterpret_cast<const char*>(key.data()), key.size() * 2));
  return at == std::string::npos || at % 2 != 0 ? std::string::npos
                                                : (at + key.size() * 2 + 3) & ~size_t{3};
}

// The text of a String entry of a version block, up to its terminator; empty when the key
// is absent.
std::u16string VersionString(const std::string& block, const std::u16string& key) {
  std::u16string text;
  for (size_t p = ValueOf(block, key); p < block.size() && Le(block, p, 2) != 0; p += 2) {
    text.push_back(static_cast<char16_t>(Le(block, p, 2)));
  }
  return text;
}

std::u16string Utf16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// "<dll> <function> <oldest Windows version>" a line, '#' starting a comment.
struct XpFunction {
  std::string dll;
  std::string function;
  std::string version;  // as written, "5.0" or "5.1"
  int line = 0;
};
std::vector<XpFunction> ReadXpList() {
  std::vector<XpFunction> list;
  std::ifstream in(BURNISHER_XP_IMPORTS);
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    std::istringstream fields(text.substr(0, text.find('#')));
    XpFunction entry;
    entry.line = line;
    if (!(fields >> entry.dll)) continue;  // blank or comment
    fields >> entry.function >> entry.version;
    entry.dll = Lower(entry.dll);
    list.push_back(entry);
  }
  return list;
}

struct Shipped {
  const char* exe;
  const char* treeFolder;
  bool asksForAdministrator;  // an embedded manifest with requireAdministrator
  size_t budgetKiB;           // stripped, as the zip ships it
};

void PrintTo(const Shipped& shipped, std::ostream* out) { *out << shipped.exe; }

class ShippedExe : public testing::TestWithParam<Shipped> {
 protected:
  void SetUp() override {
    const fs::path path = ExePath(GetParam().exe, GetParam().treeFolder);
    ASSERT_TRUE(fs::is_regular_file(path))
        << path << " is missing: build the win32 tree first (scripts/build.sh win32)";
    pe_.emplace(path);
    ASSERT_TRUE(pe_->Valid()) << path << " is not a 32-bit PE image";
  }
  std::optional<PeFile> pe_;
};

TEST_P(ShippedExe, Is32BitWithAslrAndDepAndKeepsItsRelocations) {
  EXPECT_EQ(pe_->Machine(), kMachineI386);
  EXPECT_NE(pe_->DllCharacteristics() & kDynamicBase, 0) << "no ASLR (DYNAMIC_BASE)";
  EXPECT_NE(pe_->DllCharacteristics() & kNxCompat, 0) << "no DEP (NX_COMPAT)";
  // DYNAMIC_BASE without relocations leaves the image at its preferred base.
  EXPECT_EQ(pe_->Characteristics() & kRelocsStripped, 0) << "relocations stripped";
  EXPECT_NE(pe_->DataDirectory(5).size, 0u) << "no base relocation table";
}

TEST_P(ShippedExe, ImportsOnlyDllsNoFolderBesideItCanStandIn) {
  std::set<std::string> lowered;
  for (const PeFile::ImportedDll& dll : pe_->ImportedFunctions()) {
    EXPECT_TRUE(IsImportable(dll.name))
        << GetParam().exe << " imports " << dll.name
        << ", which Windows before 10 would look for beside the exe first: load it at run "
           "time from the system folder";
    lowered.insert(Lower(dll.name));
  }
  EXPECT_TRUE(lowered.contains("kernel32.dll"));
  EXPECT_TRUE(lowered.contains("user32.dll"));
}

// The list is the contract: an entry counts only when its documented oldest Windows
// is XP (5.1) or older, and names its DLL and function.
TEST(XpImportList, EveryEntryIsDocumentedForXpOrOlder) {
  const std::vector<XpFunction> list = ReadXpList();
  ASSERT_FALSE(list.empty()) << "cannot read " << BURNISHER_XP_IMPORTS;
  std::set<std::string> seen;
  for (const XpFunction& entry : list) {
    const std::string where = std::string(BURNISHER_XP_IMPORTS) + ":" + std::to_string(entry.line);
    EXPECT_TRUE(entry.dll.ends_with(".dll") && IsImportable(entry.dll)) << where;
    EXPECT_FALSE(entry.function.empty()) << where;
    EXPECT_TRUE(entry.version == "4.0" || entry.version == "5.0" || entry.version == "5.1")
        << where << ": " << entry.function << " needs Windows " << entry.version;
    EXPECT_TRUE(seen.insert(entry.dll + "!" + entry.function).second) << where << ": listed twice";
  }
}

TEST_P(ShippedExe, ImportsOnlyFunctionsWindowsXpSp3Has) {
  std::set<std::string> onXp;
  for (const XpFunction& entry : ReadXpList()) onXp.insert(entry.dll + "!" + entry.function);
  ASSERT_FALSE(onXp.empty()) << "cannot read " << BURNISHER_XP_IMPORTS;
  for (const PeFile::ImportedDll& dll : pe_->ImportedFunctions()) {
    for (const std::string& function : dll.functions) {
      EXPECT_TRUE(onXp.contains(Lower(dll.name) + "!" + function))
          << GetParam().exe << " imports " << dll.name << "!" << function
          << ", which is not on the list of functions Windows XP SP3 has (" << BURNISHER_XP_IMPORTS
          << "; if XP SP3 has it, add it there with the oldest Windows its documentation names)";
    }
  }
}

TEST_P(ShippedExe, AsksForNoWindowsNewerThanXp) {
  // XP is 5.1; its loader refuses an image that asks for more.
  EXPECT_LE(pe_->OsVersion(), 501u) << "the OS version, major * 100 + minor";
  EXPECT_LE(pe_->SubsystemVersion(), 501u) << "the subsystem version";
}

TEST_P(ShippedExe, StaysWithinItsSizeBudget) {
  const size_t size = pe_->StrippedSize();
  EXPECT_LE(size, GetParam().budgetKiB * 1024)
      << GetParam().exe << " is " << size / 1024 << "." << size % 1024 * 10 / 1024
      << " KiB stripped; its budget is " << GetParam().budgetKiB << " KiB";
}

TEST_P(ShippedExe, CarriesTheProjectVersion) {
  const std::optional<std::string> block = pe_->Resource(kRtVersion);
  ASSERT_TRUE(block) << "no version resource";
  // VS_FIXEDFILEINFO, the value of the key "VS_VERSION_INFO": its signature, then the
  // file version's two halves after the structure's version.
  const size_t fixed = ValueOf(*block, u"VS_VERSION_INFO");
  ASSERT_EQ(Le(*block, fixed, 4), 0xFEEF04BDu) << "version resource without VS_FIXEDFILEINFO";
  EXPECT_EQ(Le(*block, fixed + 8, 4),
            (uint32_t{BURNISHER_VERSION_MAJOR} << 16) | BURNISHER_VERSION_MINOR);
  EXPECT_EQ(Le(*block, fixed + 12, 4), uint32_t{BURNISHER_VERSION_PATCH} << 16);
  // Both programs fill the same fields from the project, each under its own name.
  const std::string exe = GetParam().exe;
  const std::string program = exe.substr(0, exe.find('.'));
  const std::pair<std::string_view, std::string_view> fields[] = {
      {"ProductName", program},
      {"InternalName", program},
      {"OriginalFilename", exe},
      {"FileVersion", BURNISHER_VERSION},
      {"ProductVersion", BURNISHER_VERSION},
      {"CompanyName", BURNISHER_AUTHORS},
      {"LegalCopyright", BURNISHER_COPYRIGHT}};
  for (const auto& [key, value] : fields) {
    EXPECT_EQ(VersionString(*block, Utf16(key)), Utf16(value)) << key;
  }
  EXPECT_FALSE(VersionString(*block, u"FileDescription").empty());
}

TEST_P(ShippedExe, ElevationAsDocumented) {
  const std::optional<std::string> manifest = pe_->Resource(kRtManifest);
  if (GetParam().asksForAdministrator) {
    ASSERT_TRUE(manifest) << "Burnisher must embed its manifest";
    EXPECT_NE(manifest->find("requireAdministrator"), std::string::npos);
  } else {
    // Sheenling's style comes from the manifest beside it; an embedded one would win.
    EXPECT_FALSE(manifest) << "Sheenling must not embed a manifest";
  }
}

// The loader's configuration: a 64-byte IMAGE_LOAD_CONFIG_DIRECTORY32 (the size the
// data directory must give for Windows XP's loader) whose DependentLoadFlags, at 0x36,
// are LOAD_LIBRARY_SEARCH_SYSTEM32: DLLs the exe loads before its code runs come from
// the system folder only (Windows 10 1607 and later).
TEST(BurnisherExe, LoadsItsDependentDllsFromTheSystemFolder) {
  const PeFile pe(ExePath("Burnisher.exe", "switcher"));
  ASSERT_TRUE(pe.Valid());
  const PeFile::Directory config = pe.DataDirectory(10);
  EXPECT_EQ(config.size, 0x40u) << "no load configuration, or not in the size XP accepts";
  const std::optional<std::string> bytes = pe.Bytes(config.rva, 0x40);
  ASSERT_TRUE(bytes) << "the load configuration lies outside the file";
  EXPECT_EQ(Le(*bytes, 0, 2), 0x40u) << "its own size field";
  EXPECT_EQ(Le(*bytes, 0x36, 2), 0x800u) << "DependentLoadFlags";
}

// Burnisher's own manifest asks for elevation and declares it DPI-aware (Wine draws
// every window DPI-aware, so no window test would see the loss); the one it installs
// beside VB6.EXE only selects Common Controls 6, in the form XP's parser takes, and
// changes nothing else of how Windows runs the IDE.
TEST(Manifests, SayWhatEachProgramNeedsAndNoMore) {
  const std::optional<std::string> own =
      PeFile(ExePath("Burnisher.exe", "switcher")).Resource(kRtManifest);
  ASSERT_TRUE(own);
  for (const char* part : {"level=\"requireAdministrator\"", "<dpiAware", ">true</dpiAware>",
                           "name=\"Microsoft.Windows.Common-Controls\""}) {
    EXPECT_NE(own->find(part), std::string::npos) << "Burnisher's manifest lacks " << part;
  }
  std::ifstream in(ExePath("VB6.EXE.Manifest", "switcher"), std::ios::binary);
  const std::string ide(std::istreambuf_iterator<char>(in), {});
  ASSERT_FALSE(ide.empty()) << "no VB6.EXE.Manifest beside Burnisher.exe";
  EXPECT_TRUE(ide.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"));
  for (const char* part :
       {"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">",
        "<assemblyIdentity type=\"win32\" name=\"", "<dependency>", "<dependentAssembly>",
        "<assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
        "version=\"6.0.0.0\" processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" "
        "language=\"*\"/>"}) {
    EXPECT_NE(ide.find(part), std::string::npos) << "VB6.EXE.Manifest lacks " << part;
  }
  // The IDE's own identity: the four attributes XP requires, each once.
  const size_t identity = ide.find("<assemblyIdentity");
  const std::string first = ide.substr(identity, ide.find("/>", identity) - identity);
  for (const char* attribute : {" type=", " name=", " version=", " processorArchitecture="}) {
    EXPECT_NE(first.find(attribute), std::string::npos) << first;
  }
  for (const char* absent : {"trustInfo", "requestedExecutionLevel", "supportedOS", "compatibility",
                             "dpiAware", "dpiAwareness", "windowsSettings"}) {
    EXPECT_EQ(ide.find(absent), std::string::npos) << "VB6.EXE.Manifest holds " << absent;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Release, ShippedExe,
    testing::Values(Shipped{"Burnisher.exe", "switcher", true, 128},
                    Shipped{"Sheenling.exe", "demo", false, 64}),
    [](const testing::TestParamInfo<Shipped>& param) {
      return std::string(param.param.exe).substr(0, std::string(param.param.exe).find('.'));
    });

}  // namespace

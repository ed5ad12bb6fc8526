// The shipped exes read as PE files: what a user's Windows will see before running a
// line of our code. ASLR and DEP on (with relocations to make ASLR real), 32-bit,
// imports from Windows system DLLs only, a version resource carrying the project
// version, and the manifests that decide elevation and style.

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
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kRelocsStripped = 0x0001;
constexpr uint16_t kDynamicBase = 0x0040;
constexpr uint16_t kNxCompat = 0x0100;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kRtManifest = 24;

// A PE image held in memory, read through bounds-checked accessors: a damaged file
// fails the test instead of crashing it.
class PeFile {
 public:
  explicit PeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    if (bytes_.size() < 0x40 || U16(0) != 0x5A4D) return;  // "MZ"
    pe_ = U32(0x3C);
    if (U32(pe_) != 0x00004550) return;  // "PE\0\0"
    optional_ = pe_ + 24;
    magic_ = U16(optional_);
    if (magic_ != 0x10B && magic_ != 0x20B) return;
    const size_t sectionTable = optional_ + U16(pe_ + 20);
    for (uint16_t i = 0; i < U16(pe_ + 6); ++i) {
      const size_t s = sectionTable + 40 * size_t{i};
      sections_.push_back({U32(s + 12), std::max(U32(s + 8), U32(s + 16)), U32(s + 20)});
    }
    valid_ = true;
  }

  bool Valid() const { return valid_; }
  uint16_t Machine() const { return U16(pe_ + 4); }
  uint16_t Characteristics() const { return U16(pe_ + 22); }
  uint16_t DllCharacteristics() const { return U16(optional_ + 70); }
  bool Is64() const { return magic_ == 0x20B; }

  struct Directory {
    uint32_t rva = 0;
    uint32_t size = 0;
  };
  Directory DataDirectory(size_t index) const {
    const size_t count = U32(optional_ + (Is64() ? 108 : 92));
    if (index >= count) return {};
    const size_t at = optional_ + (Is64() ? 112 : 96) + 8 * index;
    return {U32(at), U32(at + 4)};
  }

  // The names of the DLLs in the import table, as written.
  std::vector<std::string> Imports() const {
    std::vector<std::string> names;
    const Directory dir = DataDirectory(1);
    auto at = Offset(dir.rva);
    for (; at && *at + 20 <= bytes_.size(); *at += 20) {
      const uint32_t nameRva = U32(*at + 12);
      if (nameRva == 0 && U32(*at) == 0 && U32(*at + 16) == 0) break;
      if (auto name = Offset(nameRva)) names.push_back(CString(*name));
    }
    return names;
  }

  // The data of the first resource of `type` (first name, first language).
  std::optional<std::string> Resource(uint32_t type) const {
    const Directory dir = DataDirectory(2);
    const auto root = Offset(dir.rva);
    if (!root) return std::nullopt;
    uint32_t entry = 0;
    if (!FindEntry(*root, *root, type, entry)) return std::nullopt;
    // Two more levels (name, language): take the first of each.
    for (int level = 0; level < 2; ++level) {
      if ((entry & 0x80000000u) == 0) return std::nullopt;
      const size_t sub = *root + (entry & 0x7FFFFFFFu);
      if (U16(sub + 12) + U16(sub + 14) == 0) return std::nullopt;
      entry = U32(sub + 16 + 4);
    }
    if (entry & 0x80000000u) return std::nullopt;
    const size_t data = *root + entry;
    const auto at = Offset(U32(data));
    const uint32_t size = U32(data + 4);
    if (!at || *at + size > bytes_.size()) return std::nullopt;
    return std::string(bytes_.begin() + static_cast<long>(*at),
                       bytes_.begin() + static_cast<long>(*at + size));
  }

 private:
  struct Section {
    uint32_t rva;
    uint32_t size;
    uint32_t raw;
  };

  uint16_t U16(size_t at) const {
    if (at + 2 > bytes_.size()) return 0;
    return static_cast<uint16_t>(uint8_t(bytes_[at]) | uint8_t(bytes_[at + 1]) << 8);
  }
  uint32_t U32(size_t at) const {
    return at + 4 > bytes_.size() ? 0 : uint32_t{U16(at)} | uint32_t{U16(at + 2)} << 16;
  }
  std::optional<size_t> Offset(uint32_t rva) const {
    if (rva == 0) return std::nullopt;
    for (const Section& s : sections_) {
      if (rva >= s.rva && rva < s.rva + s.size) return size_t{s.raw} + (rva - s.rva);
    }
    return std::nullopt;
  }
  std::string CString(size_t at) const {
    std::string out;
    while (at < bytes_.size() && bytes_[at] != '\0' && out.size() < 256) out += bytes_[at++];
    return out;
  }
  bool FindEntry(size_t root, size_t dir, uint32_t id, uint32_t& entry) const {
    (void)root;
    const size_t count = size_t{U16(dir + 12)} + U16(dir + 14);
    for (size_t i = 0; i < count; ++i) {
      const size_t e = dir + 16 + 8 * i;
      if (U32(e) == id) {
        entry = U32(e + 4);
        return true;
      }
    }
    return false;
  }

  std::string bytes_;
  std::vector<Section> sections_;
  size_t pe_ = 0;
  size_t optional_ = 0;
  uint16_t magic_ = 0;
  bool valid_ = false;
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool IsSystemDll(const std::string& dll) {
  static const std::set<std::string> kSystem = {
      "kernel32.dll", "user32.dll",  "gdi32.dll",   "advapi32.dll", "comctl32.dll",
      "shell32.dll",  "msvcrt.dll",  "psapi.dll",   "ole32.dll",    "oleaut32.dll",
      "uxtheme.dll",  "version.dll", "shlwapi.dll", "comdlg32.dll", "ntdll.dll"};
  const std::string name = Lower(dll);
  return kSystem.contains(name) || name.starts_with("api-ms-win-crt-");
}

// Where the exe under test lies: the zip's flat layout when BURNISHER_RELEASE_DIR is
// set, else the win32 build tree.
fs::path ExePath(const std::string& exe, const std::string& treeFolder) {
  if (const char* dir = std::getenv("BURNISHER_RELEASE_DIR")) return fs::path(dir) / exe;
  return fs::path(BURNISHER_WIN32_TREE) / treeFolder / exe;
}

// A VS_VERSIONINFO block: its fixed part follows the UTF-16 key "VS_VERSION_INFO".
struct FixedVersion {
  uint32_t ms = 0;
  uint32_t ls = 0;
};
std::optional<FixedVersion> ReadFixedVersion(const std::string& block) {
  const std::u16string key = u"VS_VERSION_INFO";
  const std::string keyBytes(reinterpret_cast<const char*>(key.data()), key.size() * 2);
  const size_t at = block.find(keyBytes);
  if (at == std::string::npos) return std::nullopt;
  // Key, its terminator, then padding to a 4-byte boundary.
  size_t fixed = (at + keyBytes.size() + 2 + 3) & ~size_t{3};
  const auto u32 = [&](size_t p) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && p + i < block.size(); ++i) {
      v |= uint32_t{static_cast<uint8_t>(block[p + i])} << (8 * i);
    }
    return v;
  };
  if (fixed + 16 > block.size() || u32(fixed) != 0xFEEF04BD) return std::nullopt;
  return FixedVersion{u32(fixed + 8), u32(fixed + 12)};
}

struct Shipped {
  const char* exe;
  const char* treeFolder;
  bool asksForAdministrator;  // an embedded manifest with requireAdministrator
};

void PrintTo(const Shipped& shipped, std::ostream* out) { *out << shipped.exe; }

class ShippedExe : public testing::TestWithParam<Shipped> {
 protected:
  void SetUp() override {
    path_ = ExePath(GetParam().exe, GetParam().treeFolder);
    ASSERT_TRUE(fs::is_regular_file(path_))
        << path_ << " is missing: build the win32 tree first (scripts/build.sh win32)";
    pe_.emplace(path_);
    ASSERT_TRUE(pe_->Valid()) << path_ << " is not a PE image";
  }
  fs::path path_;
  std::optional<PeFile> pe_;
};

TEST_P(ShippedExe, Is32BitWithAslrAndDepAndKeepsItsRelocations) {
  EXPECT_EQ(pe_->Machine(), kMachineI386);
  EXPECT_FALSE(pe_->Is64());
  EXPECT_NE(pe_->DllCharacteristics() & kDynamicBase, 0) << "no ASLR (DYNAMIC_BASE)";
  EXPECT_NE(pe_->DllCharacteristics() & kNxCompat, 0) << "no DEP (NX_COMPAT)";
  // DYNAMIC_BASE without relocations leaves the image at its preferred base.
  EXPECT_EQ(pe_->Characteristics() & kRelocsStripped, 0) << "relocations stripped";
  EXPECT_NE(pe_->DataDirectory(5).size, 0u) << "no base relocation table";
}

TEST_P(ShippedExe, ImportsOnlyWindowsSystemDlls) {
  const std::vector<std::string> imports = pe_->Imports();
  ASSERT_FALSE(imports.empty());
  for (const std::string& dll : imports) {
    EXPECT_TRUE(IsSystemDll(dll)) << GetParam().exe << " imports " << dll
                                  << ", which a user's Windows does not have";
  }
  std::set<std::string> lowered;
  for (const std::string& dll : imports) lowered.insert(Lower(dll));
  EXPECT_TRUE(lowered.contains("kernel32.dll"));
  EXPECT_TRUE(lowered.contains("user32.dll"));
}

TEST_P(ShippedExe, CarriesTheProjectVersion) {
  const std::optional<std::string> block = pe_->Resource(kRtVersion);
  ASSERT_TRUE(block) << "no version resource";
  const std::optional<FixedVersion> version = ReadFixedVersion(*block);
  ASSERT_TRUE(version) << "version resource without VS_FIXEDFILEINFO";
  EXPECT_EQ(version->ms, (uint32_t{BURNISHER_VERSION_MAJOR} << 16) | BURNISHER_VERSION_MINOR);
  EXPECT_EQ(version->ls, uint32_t{BURNISHER_VERSION_PATCH} << 16);
  const std::u16string name = u"OriginalFilename";
  EXPECT_NE(block->find(std::string(reinterpret_cast<const char*>(name.data()), name.size() * 2)),
            std::string::npos);
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

INSTANTIATE_TEST_SUITE_P(
    Release, ShippedExe,
    testing::Values(Shipped{"Burnisher.exe", "switcher", true},
                    Shipped{"Sheenling.exe", "demo", false}),
    [](const testing::TestParamInfo<Shipped>& param) {
      return std::string(param.param.exe).substr(0, std::string(param.param.exe).find('.'));
    });

}  // namespace

// An exe's own manifest read from its bytes: a small PE image with RT_MANIFEST 1, and the
// same image broken in the ways a damaged or hostile VB6.EXE could be.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "switcher/EmbeddedManifest.h"
#include "tests/support/Rows.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& image, size_t at, uint32_t value, size_t width = 4) {
  for (size_t i = 0; i < width; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Where the image below keeps what the rows change.
constexpr size_t kHeader = 0x40;               // e_lfanew
constexpr size_t kSections = 0x46;             // NumberOfSections
constexpr size_t kMagic = 0x58;                // the optional header's
constexpr size_t kRoot = 0x200;                // the resource tree, at RVA 0x1000
constexpr size_t kTypeEntries = kRoot + 0x10;  // types 3, 14, 16, 24 (each 8 bytes)
constexpr size_t kManifestTypeEntry = kTypeEntries + 3 * 8;
constexpr size_t kIdEntry = kRoot + 0x40;
constexpr size_t kLanguageEntry = kRoot + 0x58;
constexpr size_t kDataEntry = kRoot + 0x60;
constexpr char kManifest[] = "<assembly manifestVersion=\"1.0\"/>";
constexpr size_t kManifestEnd = kRoot + 0x70 + sizeof kManifest - 1;

// A PE32 (or PE32+) image of one section, .rsrc, whose tree holds RT_MANIFEST 1 in one
// language, the type found among four.
Bytes Image(bool plus = false) {
  Bytes image(0x400, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put(image, 0x3C, kHeader);
  Put(image, kHeader, 0x00004550);
  Put(image, kSections, 1, 2);
  const uint32_t directories = plus ? 112 : 96;
  Put(image, 0x54, directories + 16 * 8, 2);  // SizeOfOptionalHeader
  Put(image, kMagic, plus ? 0x20b : 0x10b, 2);
  Put(image, kMagic + directories - 4, 16);       // NumberOfRvaAndSizes
  Put(image, kMagic + directories + 16, 0x1000);  // the resource directory
  Put(image, kMagic + directories + 20, 0x200);
  const size_t section = kMagic + directories + 16 * 8;
  Put(image, section + 8, 0x200);    // VirtualSize
  Put(image, section + 12, 0x1000);  // VirtualAddress
  Put(image, section + 16, 0x200);   // SizeOfRawData
  Put(image, section + 20, 0x200);   // PointerToRawData
  Put(image, kRoot + 14, 4, 2);
  const uint32_t types[] = {3, 14, 16, 24};
  for (size_t i = 0; i < 4; ++i) {
    Put(image, kTypeEntries + 8 * i, types[i]);
    Put(image, kTypeEntries + 8 * i + 4, 0x80000000u | 0x30);
  }
  Put(image, kRoot + 0x30 + 14, 1, 2);
  Put(image, kIdEntry, 1);
  Put(image, kIdEntry + 4, 0x80000000u | 0x48);
  Put(image, kRoot + 0x48 + 14, 1, 2);
  Put(image, kLanguageEntry, 1033);
  Put(image, kLanguageEntry + 4, 0x60);
  Put(image, kDataEntry, 0x1000 + 0x70);
  Put(image, kDataEntry + 4, sizeof kManifest - 1);
  std::memcpy(image.data() + kRoot + 0x70, kManifest, sizeof kManifest - 1);
  return image;
}

bool Holds(const Bytes& image) {
  pe::MemorySource source(image);
  return pe::HasManifestResource(source);
}

struct Damage {
  const char* name;
  std::function<void(Bytes&)> apply;
};

class DamagedImage : public ::testing::TestWithParam<Damage> {};

TEST(HasManifestResource, FindsRtManifestOneInPe32AndPe32Plus) {
  EXPECT_TRUE(Holds(Image(false)));
  EXPECT_TRUE(Holds(Image(true)));
}

// Every prefix of the file that ends before the manifest's last byte holds none; the
// reader never reads past what it was given (AddressSanitizer watches the copy).
TEST(HasManifestResource, ATruncatedFileHoldsNone) {
  const Bytes whole = Image();
  for (size_t size = 0; size <= whole.size(); ++size) {
    const Bytes prefix(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(size));
    EXPECT_EQ(Holds(prefix), size >= kManifestEnd) << size << " bytes";
  }
}

TEST_P(DamagedImage, HoldsNoManifest) {
  Bytes image = Image();
  GetParam().apply(image);
  EXPECT_FALSE(Holds(image));
}

const Damage kDamage[] = {
    {"MzOnly", [](Bytes& b) { b.resize(2); }},
    {"NoMz", [](Bytes& b) { b[0] = 'Z'; }},
    {"HeaderPastTheEnd", [](Bytes& b) { Put(b, 0x3C, 0xFFFFFFF0u); }},
    {"NoPeSignature", [](Bytes& b) { b[kHeader + 1] = 'X'; }},
    {"UnknownOptionalHeader", [](Bytes& b) { Put(b, kMagic, 0x107, 2); }},
    {"NoSections", [](Bytes& b) { Put(b, kSections, 0, 2); }},
    {"MoreSectionsThanTheLoaderTakes",
     [](Bytes& b) {
       b.resize(0x2000);  // every entry of the table readable
       Put(b, kSections, 97, 2);
     }},
    {"NoResourceDirectory", [](Bytes& b) { Put(b, kMagic + 96 + 16, 0); }},
    {"TooFewDirectories", [](Bytes& b) { Put(b, kMagic + 92, 2); }},
    {"AnotherType", [](Bytes& b) { Put(b, kManifestTypeEntry, 23); }},
    {"TheDllsIdTwo", [](Bytes& b) { Put(b, kIdEntry, 2); }},
    {"TypeIsNoDirectory", [](Bytes& b) { Put(b, kManifestTypeEntry + 4, 0x30); }},
    {"IdLoopsBackToTheRoot", [](Bytes& b) { Put(b, kIdEntry + 4, 0x80000000u); }},
    {"TypeLoopsToItself", [](Bytes& b) { Put(b, kManifestTypeEntry + 4, 0x80000000u); }},
    {"EntryCountsPastTheSection", [](Bytes& b) { Put(b, kRoot + 0x30 + 12, 0xFFFFFFFFu); }},
    {"SubdirectoryPastTheSection", [](Bytes& b) { Put(b, kIdEntry + 4, 0xFFFFFFFFu); }},
    {"EmptyData", [](Bytes& b) { Put(b, kDataEntry + 4, 0); }},
    {"DataPastTheSection", [](Bytes& b) { Put(b, kDataEntry, 0x1000 + 0x1F0); }},
    {"DataSizeWraps", [](Bytes& b) { Put(b, kDataEntry + 4, 0xFFFFFFFFu); }},
    {"DataBeforeTheSection", [](Bytes& b) { Put(b, kDataEntry, 0x0FF0); }},
};
INSTANTIATE_TEST_SUITE_P(Pe, DamagedImage, ::testing::ValuesIn(kDamage), ByRowName());

TEST(EmbeddedManifestWins, FromServer2003OnUnlessExternalIsPreferred) {
  struct Case {
    unsigned major, minor;
    bool preferExternal, wins;
  };
  for (const Case c : {Case{5, 1, false, false}, Case{5, 2, false, true}, Case{5, 2, true, false},
                       Case{6, 0, false, true}, Case{6, 1, true, false}, Case{10, 0, false, true},
                       Case{4, 9, false, false}}) {
    EXPECT_EQ(pe::EmbeddedManifestWins(c.major, c.minor, c.preferExternal), c.wins)
        << c.major << "." << c.minor << (c.preferExternal ? " preferring external" : "");
  }
}

}  // namespace

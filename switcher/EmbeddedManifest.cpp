#include "switcher/EmbeddedManifest.h"

#include <algorithm>
#include <array>
#include <optional>

namespace pe {
namespace {

constexpr uint32_t kManifestType = 24;  // RT_MANIFEST
constexpr uint32_t kManifestId = 1;     // CREATEPROCESS_MANIFEST_RESOURCE_ID
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr unsigned kMaxSections = 96;        // the most Windows' loader takes
constexpr uint64_t kResourceDirectory = 16;  // the third data directory, of 8 bytes each

uint32_t U16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }

struct Section {
  uint64_t address = 0;  // its RVA
  uint64_t size = 0;     // of its data in the file
  uint64_t offset = 0;   // of its data in the file
};

class Image {
 public:
  explicit Image(Source& file) : file_(file) {}

  // Reads the headers and the section table; false when they are not those of a PE
  // image with a resource tree.
  bool Load() {
    const auto dos = Read<64>(0);
    if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return false;
    const uint64_t header = U32(dos->data() + 0x3C);
    const auto nt = Read<26>(header);
    if (!nt || U32(nt->data()) != 0x00004550u) return false;  // "PE\0\0"
    const uint32_t sections = U16(nt->data() + 6);
    const uint32_t optionalSize = U16(nt->data() + 20);
    // The optional header's magic says where its data directories start: PE32 or PE32+.
    const uint32_t magic = U16(nt->data() + 24);
    const uint32_t directories = magic == 0x10b ? 96 : magic == 0x20b ? 112 : 0;
    if (directories == 0 || optionalSize < directories + 3 * 8) return false;
    const auto count = Read<4>(header + 24 + directories - 4);
    const auto resources = Read<8>(header + 24 + directories + kResourceDirectory);
    if (!count || !resources || U32(count->data()) < 3) return false;
    root_ = U32(resources->data());
    if (root_ == 0 || U32(resources->data() + 4) == 0) return false;
    if (sections == 0 || sections > kMaxSections) return false;
    const uint64_t table = header + 24 + optionalSize;
    for (uint32_t i = 0; i < sections; ++i) {
      const auto entry = Read<40>(table + uint64_t{i} * 40);
      if (!entry) return false;
      sections_[i] = {U32(entry->data() + 12), U32(entry->data() + 16), U32(entry->data() + 20)};
    }
    sectionCount_ = sections;
    return true;
  }

  // The resource tree's root, RT_MANIFEST, ID 1, then any language: the data there.
  bool HasManifest() {
    const auto type = Find(root_, kManifestType);
    if (!type || (*type & kSubdirectory) == 0) return false;
    const auto id = Find(root_ + (*type & ~kSubdirectory), kManifestId);
    if (!id || (*id & kSubdirectory) == 0) return false;
    const auto language = Find(root_ + (*id & ~kSubdirectory), std::nullopt);
    if (!language || (*language & kSubdirectory) != 0) return false;
    const auto data = ReadRva<8>(root_ + *language);
    if (!data) return false;
    const uint32_t size = U32(data->data() + 4);
    const auto at = Offset(U32(data->data()), size);
    std::array<uint8_t, 1> last{};
    return size != 0 && at && file_.Read(*at + size - 1, last);
  }

 private:
  template <size_t N>
  std::optional<std::array<uint8_t, N>> Read(uint64_t offset) {
    std::array<uint8_t, N> bytes{};
    if (!file_.Read(offset, bytes)) return std::nullopt;
    return bytes;
  }
  template <size_t N>
  std::optional<std::array<uint8_t, N>> ReadRva(uint64_t rva) {
    const auto at = Offset(rva, N);
    return at ? Read<N>(*at) : std::nullopt;
  }

  // Where `size` bytes at `rva` lie in the file, when one section's data holds them all.
  std::optional<uint64_t> Offset(uint64_t rva, uint64_t size) const {
    for (unsigned i = 0; i < sectionCount_; ++i) {
      const Section& s = sections_[i];
      if (rva >= s.address && rva - s.address + size <= s.size) return s.offset + rva - s.address;
    }
    return std::nullopt;
  }

  // The OffsetToData of the entry `id` in the directory at `directory`, found among its
  // ID entries (sorted, after the named ones) by halving, as the loader finds it; of its
  // first entry when `id` is empty. Empty when there is none.
  std::optional<uint32_t> Find(uint64_t directory, std::optional<uint32_t> id) {
    const auto header = ReadRva<16>(directory);
    if (!header) return std::nullopt;
    const uint32_t named = U16(header->data() + 12);
    const uint32_t total = named + U16(header->data() + 14);
    const auto entry = [&](uint32_t i) { return ReadRva<8>(directory + 16 + uint64_t{i} * 8); };
    if (!id) {
      const auto first = total != 0 ? entry(0) : std::nullopt;
      return first ? std::optional(U32(first->data() + 4)) : std::nullopt;
    }
    uint32_t low = named;
    uint32_t high = total;
    while (low < high) {
      const uint32_t middle = low + (high - low) / 2;
      const auto e = entry(middle);
      if (!e) return std::nullopt;
      const uint32_t name = U32(e->data());
      if (name == *id) return U32(e->data() + 4);
      if (name < *id) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return std::nullopt;
  }

  Source& file_;
  std::array<Section, kMaxSections> sections_{};
  unsigned sectionCount_ = 0;
  uint64_t root_ = 0;
};

}  // namespace

bool MemorySource::Read(uint64_t offset, std::span<uint8_t> out) {
  if (offset > bytes_.size() || bytes_.size() - offset < out.size()) return false;
  const auto from = bytes_.subspan(static_cast<size_t>(offset), out.size());
  std::copy(from.begin(), from.end(), out.begin());
  return true;
}

bool HasManifestResource(Source& file) {
  Image image(file);
  return image.Load() && image.HasManifest();
}

}  // namespace pe

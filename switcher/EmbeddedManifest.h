#pragma once
// Whether an executable carries a manifest of its own, and whether Windows then ignores
// the file beside it. The exe is read as data from its bytes: none of its code runs and
// no DLL it names loads. Portable C++, so that the fuzzer and the host tests read the
// same code the shipped exe runs.

#include <cstdint>
#include <span>

namespace pe {

// The file's bytes, read where they are wanted: of an exe of megabytes, its headers and
// the few entries of its resource tree on the way to one resource.
class Source {
 public:
  virtual ~Source() = default;
  // Fills `out` from `offset`; false when the file holds fewer bytes there or cannot be read.
  virtual bool Read(uint64_t offset, std::span<uint8_t> out) = 0;
};

class MemorySource final : public Source {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Read(uint64_t offset, std::span<uint8_t> out) override;

 private:
  std::span<const uint8_t> bytes_;
};

// Whether the image (PE32 or PE32+) holds a resource of type RT_MANIFEST (24) with the
// ID 1, the one Windows takes as an exe's own manifest, whose data lies in the file. A
// malformed or truncated file (offsets past its end, a tree that points back at itself)
// holds none: the reader follows exactly three levels of the tree and reads a bounded
// number of entries at each.
bool HasManifestResource(Source& file);

// Whether Windows `major`.`minor` starts an exe that has a manifest of its own with that
// one, ignoring a manifest file beside it. From 5.2 on (Server 2003, and XP x64 built on
// it) it does, unless the system-wide PreferExternalManifest is the DWORD 1; Windows XP
// (5.1) takes the file.
constexpr bool EmbeddedManifestWins(unsigned major, unsigned minor, bool preferExternal) {
  return (major > 5 || (major == 5 && minor >= 2)) && !preferExternal;
}

}  // namespace pe

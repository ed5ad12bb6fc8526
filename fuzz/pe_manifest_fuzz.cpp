// The reader of an exe's own manifest fed arbitrary files: it never reads outside what
// it was given (AddressSanitizer), never hangs (libFuzzer's timeout), and a manifest it
// finds stays found when the file grows, since every read it made still answers the same.

#include <cstdint>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "switcher/EmbeddedManifest.h"

namespace {
bool Holds(std::span<const uint8_t> bytes) {
  pe::MemorySource source(bytes);
  return pe::HasManifestResource(source);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!Holds({data, size})) return 0;
  std::vector<uint8_t> longer(data, data + size);
  longer.resize(size + 4096, 0xFF);
  fuzz::Check(Holds(longer), "a manifest found was lost when the file grew");
  return 0;
}

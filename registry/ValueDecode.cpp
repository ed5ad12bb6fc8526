// The one reading of value data, for the local and the remote reader alike.

#include <algorithm>
#include <array>
#include <span>

#include "registry/ValueCodec.h"

namespace vbreg {

namespace codec {
namespace {

constexpr uint32_t kFirstBufferSize = 1024;
// An expansion holds at most 32,767 characters, in ANSI at most 3 bytes each: the
// most room worth offering when the answer does not say how many bytes it needs.
constexpr uint32_t kMaxExpansionBytes = 32767 * 3 + 2;

// Expands %NAME% references with the calling program's environment. The whole
// expansion is returned whatever its length; a failed expansion gives "".
std::string Expand(RegistryApi& api, const std::string& source) {
  // The answer is not always a byte count: on a double-byte code page Wine answers
  // the characters, fewer than the bytes, and then fills the buffer it was given
  // without a NUL. Only a NUL inside the buffer with room to spare (the ANSI
  // function wants one byte beyond it) shows the expansion is whole; anything else
  // is retried in a larger buffer. The bound keeps a misbehaving implementation
  // from looping. Windows XP takes no capacity above its 32K limit (it would misread
  // it), so there the bound is that limit; a longer expansion cannot be had there.
  const uint32_t limit = api.ExpansionLimit();
  const uint32_t most = limit != 0 ? std::min(limit, kMaxExpansionBytes) : kMaxExpansionBytes;
  uint32_t capacity =
      static_cast<uint32_t>(std::min<size_t>(std::max<size_t>(source.size() * 2 + 2, 256), most));
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string out(capacity, '\0');
    const uint32_t needed = api.ExpandEnvironmentStringsA(source.c_str(), out.data(), capacity);
    if (needed == 0) return {};
    const size_t nul = out.find('\0');
    if (needed <= capacity && nul != std::string::npos && nul + 1 < capacity) {
      out.resize(nul);
      return out;
    }
    if (needed > capacity && capacity < most) {
      capacity = std::min(needed, most);  // the size it asked for
    } else if (needed <= capacity && capacity < most) {
      capacity = std::min(capacity * 2, most);  // answered in characters
    } else {
      return {};
    }
  }
  return {};
}

std::optional<Variant> Decode(RegistryApi& api, uint32_t type, std::span<const uint8_t> buffer,
                              uint32_t reported) {
  // The reported count can exceed the buffer when the value grew between two
  // queries; decoding never reads past what was actually received.
  const size_t count = std::min<size_t>(reported, buffer.size());
  const auto text = [&](size_t bytes) {
    return std::string_view(reinterpret_cast<const char*>(buffer.data()), bytes);
  };
  switch (type) {
    case reg::kRegSz:
      if (count == 0) return std::nullopt;
      return Variant(api.FromAnsi(text(count - 1)));
    case reg::kRegExpandSz:
      if (count == 0) return std::nullopt;
      return Variant(api.FromAnsi(Expand(api, std::string(text(count - 1)))));
    case reg::kRegBinary:
      // Bounds 0..count-1 always fit for registry data; WithBounds checks without throwing.
      if (auto bytes = ByteArray::WithBounds(
              {ByteArray::Bound{0, static_cast<uint32_t>(count)}},
              std::vector<uint8_t>(buffer.begin(), buffer.begin() + static_cast<long>(count)))) {
        return Variant(std::move(*bytes));
      }
      return std::nullopt;
    case reg::kRegDword: {
      // Only the first four bytes count, whatever the size; missing ones read as zero.
      uint32_t bits = 0;
      for (size_t i = 0; i < 4 && i < buffer.size(); ++i) {
        bits |= static_cast<uint32_t>(buffer[i]) << (8 * i);
      }
      return Variant(static_cast<int32_t>(bits));
    }
    case reg::kRegMultiSz: {
      // Too short to hold its two terminators: there is no list to give.
      if (count < 2) return std::nullopt;
      // Nor is a list whose first element is empty.
      String list = api.FromAnsi(text(count - 2));
      if (list.empty() || list.front() == u'\0') return std::nullopt;
      return Variant(std::move(list));
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<Variant> QueryValue(RegistryApi& api, RegHandle key, const String& ValueName) {
  const std::string name = api.ToAnsi(ValueName);
  // The first buffer lives on the stack: most values fit it, and a read then costs no
  // allocation for the data.
  std::array<uint8_t, kFirstBufferSize> first{};
  uint32_t type = 0;
  uint32_t count = kFirstBufferSize;
  RegStatus status = api.RegQueryValueExA(key, name.c_str(), nullptr, &type, first.data(), &count);
  if (status != reg::kMoreData) {
    if (status != reg::kSuccess) return std::nullopt;
    return Decode(api, type, first, count);
  }
  std::vector<uint8_t> buffer(count, 0);
  status = api.RegQueryValueExA(key, name.c_str(), nullptr, &type, buffer.data(), &count);
  if (status != reg::kSuccess) return std::nullopt;
  return Decode(api, type, buffer, count);
}

}  // namespace codec

}  // namespace vbreg

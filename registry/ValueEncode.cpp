// The one encoding of value data for RegSetValueExA. The local writer and the remote
// writer both come through WriteValue, so a value stored either way has the same
// bytes, size and type.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registry/ValueCodec.h"

namespace vbreg {

namespace codec {

namespace {

constexpr int32_t kTypeSz = 1;
constexpr int32_t kTypeExpandSz = 2;
constexpr int32_t kTypeBinary = 3;
constexpr int32_t kTypeDword = 4;
constexpr int32_t kTypeMultiSz = 7;

Encoded Refused() {
  Encoded e;
  e.action = Encoded::Action::Refuse;
  return e;
}

Encoded Skipped() {
  Encoded e;
  e.action = Encoded::Action::Skip;
  return e;
}

Encoded Written(std::vector<uint8_t> data) {
  Encoded e;
  e.action = Encoded::Action::Write;
  e.data = std::move(data);
  return e;
}

// Text types: the whole text in ANSI, embedded NULs included; the size is the ANSI
// byte count, so a double-byte code page never has its data cut short.
Encoded EncodeText(RegistryApi& api, const Variant& value) {
  // An argument the caller left out carries no data to store.
  if (value.IsMissing()) return Refused();
  const std::optional<String> text = value.ToText();
  if (!text) return Refused();
  const std::string ansi = api.ToAnsi(*text);
  return Written(std::vector<uint8_t>(ansi.begin(), ansi.end()));
}

// Binary: only a one-dimensional array with elements is written; anything else is
// no data at all, which is not an error.
Encoded EncodeBinary(const Variant& value) {
  const std::optional<ByteArray> bytes = value.ToBytes();
  if (!bytes || bytes->Dimensions() != 1 || bytes->Empty()) return Skipped();
  // Bytes() starts at the lowest index whatever the lower bound is.
  return Written(bytes->Bytes());
}

Encoded EncodeDword(RegistryApi& api, const Variant& value) {
  if (value.IsMissing()) return Refused();
  // Text is read as the language reads it, in the user's locale ("1,000" is 1000
  // in en-US); everything else converts by the variant's own rules.
  const std::optional<int32_t> number =
      value.kind() == Variant::Kind::Text ? api.NumberFromText(value.AsString()) : value.ToInt32();
  if (!number) return Refused();
  const auto bits = static_cast<uint32_t>(*number);
  return Written({static_cast<uint8_t>(bits & 0xFFu), static_cast<uint8_t>((bits >> 8) & 0xFFu),
                  static_cast<uint8_t>((bits >> 16) & 0xFFu),
                  static_cast<uint8_t>((bits >> 24) & 0xFFu)});
}

}  // namespace

Encoded EncodeValue(RegistryApi& api, const Variant& value, int32_t DType) {
  try {
    switch (DType) {
      case kTypeSz:
      case kTypeExpandSz:
      case kTypeMultiSz:
        return EncodeText(api, value);
      case kTypeBinary:
        return EncodeBinary(value);
      case kTypeDword:
        return EncodeDword(api, value);
      default:
        return Skipped();
    }
  } catch (...) {
    // Out of memory while converting: better to store nothing than half a value.
    return Refused();
  }
}

bool WriteValue(RegistryApi& api, RegHandle key, const String& ValueName, const Variant& value,
                int32_t DType) {
  try {
    const Encoded encoded = EncodeValue(api, value, DType);
    if (encoded.action == Encoded::Action::Skip) return true;
    if (encoded.action == Encoded::Action::Refuse) return false;
    if (encoded.data.size() > std::numeric_limits<uint32_t>::max()) return false;
    const auto size = static_cast<uint32_t>(encoded.data.size());

    // A NUL byte follows the counted data in memory, as it does after any ANSI
    // string. Windows relies on that: for the string types it stores the
    // terminator the size leaves out, and the readers expect it there.
    std::vector<uint8_t> buffer(encoded.data);
    buffer.push_back(0);

    const std::string name = api.ToAnsi(ValueName);
    return api.RegSetValueExA(key, name.c_str(), 0, static_cast<uint32_t>(DType), buffer.data(),
                              size) == reg::kSuccess;
  } catch (...) {
    return false;
  }
}

}  // namespace codec

}  // namespace vbreg

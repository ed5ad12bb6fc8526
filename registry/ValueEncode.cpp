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

using Action = Encoded::Action;

// Text types: the whole text in ANSI, embedded NULs included; the size is the ANSI
// byte count, so a double-byte code page never has its data cut short.
Encoded EncodeText(RegistryApi& api, const Variant& value) {
  // An argument the caller left out carries no data to store.
  if (value.IsMissing()) return {Action::Refuse, {}};
  const std::optional<String> text = value.ToText();
  if (!text) return {Action::Refuse, {}};
  const std::string ansi = api.ToAnsi(*text);
  return {Action::Write, std::vector<uint8_t>(ansi.begin(), ansi.end())};
}

// Binary: only a one-dimensional array with elements is written; anything else is
// no data at all, which is not an error.
Encoded EncodeBinary(const Variant& value) {
  const std::optional<ByteArray> bytes = value.ToBytes();
  if (!bytes || bytes->Dimensions() != 1 || bytes->Empty()) return {Action::Skip, {}};
  // Bytes() starts at the lowest index whatever the lower bound is.
  return {Action::Write, bytes->Bytes()};
}

Encoded EncodeDword(RegistryApi& api, const Variant& value) {
  if (value.IsMissing()) return {Action::Refuse, {}};
  // Text is read as the system the value goes to reads it, in the user's locale
  // ("1,000" is 1000 in en-US, 1 in de-DE); everything else by the variant's rules.
  const std::optional<int32_t> number =
      value.kind() == Variant::Kind::Text ? api.NumberFromText(value.AsString()) : value.ToInt32();
  if (!number) return {Action::Refuse, {}};
  const auto bits = static_cast<uint32_t>(*number);
  return {Action::Write,
          {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
           static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)}};
}

}  // namespace

Encoded EncodeValue(RegistryApi& api, const Variant& value, int32_t DType) {
  // The type code is the caller's signed number; a negative one is no type.
  switch (DType < 0 ? reg::kRegNone : static_cast<uint32_t>(DType)) {
    case reg::kRegSz:
    case reg::kRegExpandSz:
    case reg::kRegMultiSz:
      return EncodeText(api, value);
    case reg::kRegBinary:
      return EncodeBinary(value);
    case reg::kRegDword:
      return EncodeDword(api, value);
    default:
      return {Action::Skip, {}};
  }
}

bool WriteValue(RegistryApi& api, RegHandle key, const String& ValueName, const Variant& value,
                int32_t DType) {
  const Encoded encoded = EncodeValue(api, value, DType);
  if (encoded.action == Action::Skip) return true;
  if (encoded.action == Action::Refuse) return false;
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
}

}  // namespace codec

}  // namespace vbreg

#pragma once
// The one reading and the one writing of value data, shared by the local and the
// remote members of RegistryRoutines, so both paths give exactly the same results.
// A step that fails by throwing (a text that does not convert, no memory) is let
// through: the member's guard turns it into the member's result.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Variant.h"
#include "platform/RegistryApi.h"

namespace vbreg {

namespace codec {

// Queries `ValueName` of the open key `key` (a zero-filled 1024-byte buffer, and on
// ERROR_MORE_DATA exactly one more query into a fresh buffer of the reported size)
// and decodes it by its type. nullopt where nothing is decoded: a missing value, a
// failed query, a type outside the five, empty text, an empty first list element.
std::optional<Variant> QueryValue(RegistryApi& api, RegHandle key, const String& ValueName);

// The bytes and size RegSetValueExA receives for `value` as type DType.
struct Encoded {
  enum class Action {
    Write,   // call RegSetValueExA with `data` (its size is data.size())
    Skip,    // no call; the write counts as done (unknown type, no usable byte array)
    Refuse,  // no call; the value cannot be converted for this type, the write fails
  };
  Action action = Action::Skip;
  std::vector<uint8_t> data;
};
Encoded EncodeValue(RegistryApi& api, const Variant& value, int32_t DType);

// Writes `value` as DType into the open key: true when the write succeeded or no
// call was due, false when the value was refused or RegSetValueExA failed.
bool WriteValue(RegistryApi& api, RegHandle key, const String& ValueName, const Variant& value,
                int32_t DType);

}  // namespace codec

}  // namespace vbreg

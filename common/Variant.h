#pragma once
// The variant value: one of Empty, the missing marker, Null, a Boolean, a number,
// a string, a byte array, or an array of variants, with the three conversions the
// registry class relies on. Conversions report failure as nullopt; nothing throws.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vbreg {

using String = std::u16string;

// A byte array of one or more dimensions, each with its own lower bound. The bytes
// are stored with the first dimension varying fastest, as an OLE SAFEARRAY does.
// An array without dimensions is the array without elements.
class ByteArray {
 public:
  struct Bound {
    int32_t lower = 0;
    uint32_t count = 0;
    bool operator==(const Bound&) const = default;
  };

  ByteArray() = default;  // no dimensions, no elements
  // One dimension, indices lower .. lower + size - 1.
  explicit ByteArray(std::vector<uint8_t> bytes, int32_t lower = 0);
  // Any number of dimensions; `bytes` must hold the product of the counts.
  // Returns nullopt when it does not.
  static std::optional<ByteArray> WithBounds(std::vector<Bound> bounds, std::vector<uint8_t> bytes);

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  const std::vector<Bound>& Bounds() const { return bounds_; }
  size_t Dimensions() const { return bounds_.size(); }
  size_t Size() const { return bytes_.size(); }
  bool Empty() const { return bytes_.empty(); }
  // First dimension's bounds (0 and -1 when there is none, as VB's LBound/UBound would fail).
  int32_t Lower() const;
  int64_t Upper() const;

  bool operator==(const ByteArray&) const = default;

 private:
  std::vector<Bound> bounds_;
  std::vector<uint8_t> bytes_;
};

class Variant {
 public:
  enum class Kind { Empty, Missing, Null, Boolean, Integer, Double, Text, Bytes, Array };

  Variant() = default;  // Empty
  static Variant Missing();
  static Variant Null();
  Variant(bool b);                      // NOLINT(google-explicit-constructor)
  Variant(int32_t i);                   // NOLINT(google-explicit-constructor)
  Variant(double d);                    // NOLINT(google-explicit-constructor)
  Variant(String s);                    // NOLINT(google-explicit-constructor)
  Variant(const char16_t* s);           // NOLINT(google-explicit-constructor)
  Variant(ByteArray bytes);             // NOLINT(google-explicit-constructor)
  Variant(std::vector<Variant> items);  // NOLINT(google-explicit-constructor)

  Kind kind() const;
  bool IsEmpty() const { return kind() == Kind::Empty; }
  bool IsMissing() const { return kind() == Kind::Missing; }
  bool IsNull() const { return kind() == Kind::Null; }

  // Accessors: valid only for the matching kind (checked; they throw
  // std::bad_variant_access otherwise, which the registry class never lets escape).
  bool AsBoolean() const;
  int32_t AsInteger() const;
  double AsDouble() const;
  const String& AsString() const;
  const ByteArray& AsBytes() const;
  const std::vector<Variant>& AsArray() const;

  // To a 32-bit signed integer: a fraction rounds to the nearest, an exact half to
  // the even neighbour; text holding a number gives that number (NumberFromText, as an
  // en-US system reads it); True -1, False 0, Empty 0. Null, other text, arrays and
  // numbers outside the range fail.
  // A value carries no locale, so this reading never changes with the user's settings.
  // The registry writer reads text in the user's own locale instead
  // (RegistryApi::NumberFromText): it stores what the system the value goes to would
  // read. On an en-US system the two agree.
  std::optional<int32_t> ToInt32() const;
  // To text: numbers give their decimal text, Booleans "True"/"False", Empty the
  // empty string, a byte array its bytes read as UTF-16 (low byte first). Null, the
  // missing marker and arrays of variants fail.
  std::optional<String> ToText() const;
  // To a byte array: a byte array unchanged; text its UTF-16 bytes, low byte first.
  // Everything else fails.
  std::optional<ByteArray> ToBytes() const;

  bool operator==(const Variant& other) const;

 private:
  struct MissingTag {
    bool operator==(const MissingTag&) const = default;
  };
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  using Value = std::variant<std::monostate, MissingTag, NullTag, bool, int32_t, double, String,
                             ByteArray, std::vector<Variant>>;
  Value value_;
};

}  // namespace vbreg

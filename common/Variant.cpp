#include "common/Variant.h"

#include <limits>
#include <string_view>

#include "common/NumberText.h"

namespace vbreg {

std::optional<ByteArray> ByteArray::WithBounds(std::vector<Bound> bounds,
                                               std::vector<uint8_t> bytes) {
  uint64_t total = bounds.empty() ? 0 : 1;
  for (const Bound& bound : bounds) {
    if (bound.count > 0 &&
        static_cast<int64_t>(bound.lower) + static_cast<int64_t>(bound.count) - 1 >
            std::numeric_limits<int32_t>::max()) {
      return std::nullopt;
    }
    // Stop before the product can wrap; a count of zero makes it zero anyway.
    if (bound.count != 0 && total > std::numeric_limits<uint64_t>::max() / bound.count) {
      return std::nullopt;
    }
    total *= bound.count;
  }
  if (total != bytes.size()) {
    return std::nullopt;
  }
  ByteArray result;
  result.bounds_ = std::move(bounds);
  result.bytes_ = std::move(bytes);
  return result;
}

int32_t ByteArray::Lower() const { return bounds_.empty() ? 0 : bounds_.front().lower; }

int64_t ByteArray::Upper() const {
  if (bounds_.empty()) {
    return -1;
  }
  return static_cast<int64_t>(bounds_.front().lower) + static_cast<int64_t>(bounds_.front().count) -
         1;
}

Variant Variant::Missing() {
  Variant v;
  v.value_ = MissingTag{};
  return v;
}

Variant Variant::Null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

Variant::Variant(bool b) : value_(b) {}
Variant::Variant(int32_t i) : value_(i) {}
Variant::Variant(double d) : value_(d) {}
Variant::Variant(String s) : value_(std::move(s)) {}
Variant::Variant(const char16_t* s) : value_(s != nullptr ? String(s) : String()) {}
Variant::Variant(ByteArray bytes) : value_(std::move(bytes)) {}
Variant::Variant(std::vector<Variant> items) : value_(std::move(items)) {}

Variant::Kind Variant::kind() const {
  static_assert(std::variant_size_v<Value> == 9, "one Kind per alternative");
  return static_cast<Kind>(value_.index());
}

bool Variant::AsBoolean() const { return std::get<bool>(value_); }
int32_t Variant::AsInteger() const { return std::get<int32_t>(value_); }
double Variant::AsDouble() const { return std::get<double>(value_); }
const String& Variant::AsString() const { return std::get<String>(value_); }
const ByteArray& Variant::AsBytes() const { return std::get<ByteArray>(value_); }
const std::vector<Variant>& Variant::AsArray() const {
  return std::get<std::vector<Variant>>(value_);
}

std::optional<int32_t> Variant::ToInt32() const {
  switch (kind()) {
    case Kind::Empty:
      return 0;
    case Kind::Boolean:
      return AsBoolean() ? -1 : 0;
    case Kind::Integer:
      return AsInteger();
    case Kind::Double:
      return RoundToInt32(AsDouble());
    case Kind::Text:
      return NumberFromText(AsString());
    default:
      return std::nullopt;
  }
}

std::optional<String> Variant::ToText() const {
  try {
    switch (kind()) {
      case Kind::Empty:
        return String();
      case Kind::Boolean:
        return String(AsBoolean() ? u"True" : u"False");
      case Kind::Integer: {
        const std::string digits = std::to_string(AsInteger());
        return String(digits.begin(), digits.end());
      }
      case Kind::Double:
        return DoubleText(AsDouble());
      case Kind::Text:
        return AsString();
      case Kind::Bytes: {
        // Low byte first; an odd byte at the end stands as a character of its own.
        const std::vector<uint8_t>& bytes = AsBytes().Bytes();
        String text;
        text.reserve((bytes.size() + 1) / 2);
        for (size_t i = 0; i < bytes.size(); i += 2) {
          const unsigned high = i + 1 < bytes.size() ? bytes[i + 1] : 0u;
          text.push_back(static_cast<char16_t>(bytes[i] | (high << 8)));
        }
        return text;
      }
      default:
        return std::nullopt;
    }
  } catch (const std::exception&) {  // out of memory for a copy: report failure
    return std::nullopt;
  }
}

std::optional<ByteArray> Variant::ToBytes() const {
  if (kind() != Kind::Text && kind() != Kind::Bytes) return std::nullopt;
  try {
    if (kind() == Kind::Bytes) return AsBytes();
    const String& text = AsString();
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
      bytes.push_back(static_cast<uint8_t>(c & 0xFFu));
      bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    const auto count = static_cast<uint32_t>(bytes.size());
    return ByteArray::WithBounds({ByteArray::Bound{0, count}}, std::move(bytes));
  } catch (const std::exception&) {  // too large or out of memory: report failure
    return std::nullopt;
  }
}

bool Variant::operator==(const Variant& other) const { return value_ == other.value_; }

}  // namespace vbreg

#include "common/Variant.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace vbreg {

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// An exact half goes to the even neighbour whatever the floating-point rounding
// mode is, so the result never depends on what some other code set the FPU to.
std::optional<int32_t> RoundToInt32(double value) {
  if (!std::isfinite(value)) {
    return std::nullopt;
  }
  double whole = std::floor(value);
  const double fraction = value - whole;  // exact: floor drops only fraction bits
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) {
    whole += 1.0;
  }
  if (whole < static_cast<double>(kInt32Min) || whole > static_cast<double>(kInt32Max)) {
    return std::nullopt;
  }
  return static_cast<int32_t>(whole);
}

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c, int base) {
  int value = -1;
  if (c >= u'0' && c <= u'9') {
    value = c - u'0';
  } else if (c >= u'a' && c <= u'f') {
    value = c - u'a' + 10;
  } else if (c >= u'A' && c <= u'F') {
    value = c - u'A' + 10;
  }
  return value < base ? value : -1;
}

// "&H…" or "&O…": the digits are a 32-bit pattern, so &HFFFFFFFF is -1 as CLng gives.
std::optional<int32_t> ParseRadix(std::u16string_view digits, int base) {
  if (digits.empty()) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (char16_t c : digits) {
    const int digit = DigitValue(c, base);
    if (digit < 0) {
      return std::nullopt;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) {
      return std::nullopt;
    }
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// Decimal text, rounded from its exact decimal value (not from a double, which
// could turn 2.50000000000000001 into an exact half).
std::optional<int32_t> ParseDecimal(std::u16string_view text) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
    negative = text[pos] == u'-';
    ++pos;
  }
  std::string digits;    // significant digits, leading zeros dropped
  int64_t pointPos = 0;  // the value is 0.<digits> times 10^pointPos
  bool anyDigit = false;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    anyDigit = true;
    if (!digits.empty() || text[pos] != u'0') {
      digits.push_back(static_cast<char>(text[pos]));
      ++pointPos;
    }
  }
  if (pos < text.size() && text[pos] == u'.') {
    for (++pos; pos < text.size() && IsDigit(text[pos]); ++pos) {
      anyDigit = true;
      if (digits.empty() && text[pos] == u'0') {
        --pointPos;
      } else {
        digits.push_back(static_cast<char>(text[pos]));
      }
    }
  }
  if (!anyDigit) {
    return std::nullopt;
  }
  if (pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
    ++pos;
    bool negativeExponent = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
      negativeExponent = text[pos] == u'-';
      ++pos;
    }
    if (pos == text.size() || !IsDigit(text[pos])) {
      return std::nullopt;
    }
    int64_t exponent = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
      // Saturate: anything this large is far outside the range either way.
      exponent = std::min<int64_t>(exponent * 10 + (text[pos] - u'0'), 1'000'000'000);
    }
    pointPos += negativeExponent ? -exponent : exponent;
  }
  if (pos != text.size()) {
    return std::nullopt;
  }
  if (digits.empty()) {
    return 0;
  }
  if (pointPos > 10) {  // at least 10^10
    return std::nullopt;
  }
  int64_t whole = 0;
  for (int64_t i = 0; i < pointPos; ++i) {
    const size_t index = static_cast<size_t>(i);
    whole = whole * 10 + (index < digits.size() ? digits[index] - '0' : 0);
  }
  if (pointPos >= 0 && static_cast<size_t>(pointPos) < digits.size()) {
    const size_t first = static_cast<size_t>(pointPos);
    const char firstFraction = digits[first];
    const bool restNonZero = digits.find_first_not_of('0', first + 1) != std::string::npos;
    if (firstFraction > '5' || (firstFraction == '5' && (restNonZero || whole % 2 != 0))) {
      ++whole;
    }
  }  // pointPos < 0: below 0.1, rounds to 0
  if (negative) {
    whole = -whole;
  }
  if (whole < kInt32Min || whole > kInt32Max) {
    return std::nullopt;
  }
  return static_cast<int32_t>(whole);
}

std::optional<int32_t> ParseNumber(const String& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlank(text[end - 1])) {
    --end;
  }
  const std::u16string_view body(text.data() + begin, end - begin);
  if (body.size() >= 2 && body[0] == u'&') {
    if (body[1] == u'H' || body[1] == u'h') {
      return ParseRadix(body.substr(2), 16);
    }
    if (body[1] == u'O' || body[1] == u'o') {
      return ParseRadix(body.substr(2), 8);
    }
    return std::nullopt;
  }
  return ParseDecimal(body);
}

String Widen(std::string_view ascii) { return String(ascii.begin(), ascii.end()); }

// The exact decimal digits of a finite, non-zero double, most significant first,
// and the power of ten of the first one. Every double is m * 2^e with m below 2^53,
// so its decimal expansion is finite: m * 2^e for e >= 0, and m * 5^-e shifted by
// -e places for e < 0. A little base-10^9 arithmetic gives it exactly, which the
// 15-digit rounding below needs to break ties as an exact half; it also keeps the
// C++ library's shortest-round-trip tables and the C runtime's printf out of the exe.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal ExactDecimal(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  if (biased != 0) {
    mantissa |= uint64_t{1} << 52;
  }
  const int binaryExponent = (biased != 0 ? biased : 1) - 1075;

  constexpr uint32_t kLimb = 1'000'000'000;
  std::vector<uint32_t> limbs;  // least significant first
  for (uint64_t rest = mantissa; rest != 0; rest /= kLimb) {
    limbs.push_back(static_cast<uint32_t>(rest % kLimb));
  }
  const auto multiply = [&limbs](uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& limb : limbs) {
      const uint64_t product = uint64_t{limb} * factor + carry;
      limb = static_cast<uint32_t>(product % kLimb);
      carry = product / kLimb;
    }
    for (; carry != 0; carry /= kLimb) {
      limbs.push_back(static_cast<uint32_t>(carry % kLimb));
    }
  };
  // 2^29 and 5^13 are the largest powers whose product with a limb fits 64 bits.
  for (int left = binaryExponent; left > 0; left -= 29) {
    multiply(uint32_t{1} << std::min(left, 29));
  }
  for (int left = -binaryExponent; left > 0; left -= 13) {
    uint32_t factor = 1;
    for (int i = std::min(left, 13); i > 0; --i) {
      factor *= 5;
    }
    multiply(factor);
  }

  Decimal result;
  result.digits = std::to_string(limbs.back());
  for (size_t i = limbs.size() - 1; i-- > 0;) {
    const std::string limb = std::to_string(limbs[i]);
    result.digits.append(9 - limb.size(), '0');
    result.digits += limb;
  }
  const int shift = binaryExponent < 0 ? -binaryExponent : 0;
  result.exponent = static_cast<int>(result.digits.size()) - shift - 1;
  return result;
}

// As VB's CStr: at most 15 significant digits (an exact half to the even one), no
// trailing zeros, and the exponent form ("1E+15", "1.5E-05") outside
// 1E-04 .. 999999999999999.
std::optional<String> FormatDouble(double value) {
  if (!std::isfinite(value)) {
    return std::nullopt;
  }
  if (value == 0.0) {
    return u"0";  // negative zero too
  }
  const bool negative = std::signbit(value);
  auto [digits, exponent] = ExactDecimal(std::fabs(value));
  constexpr size_t kSignificant = 15;
  if (digits.size() > kSignificant) {
    const char next = digits[kSignificant];
    const bool restNonZero = digits.find_first_not_of('0', kSignificant + 1) != std::string::npos;
    const bool lastOdd = (digits[kSignificant - 1] - '0') % 2 != 0;
    digits.resize(kSignificant);
    if (next > '5' || (next == '5' && (restNonZero || lastOdd))) {
      size_t i = kSignificant;
      while (i > 0 && digits[i - 1] == '9') {
        digits[--i] = '0';
      }
      if (i == 0) {  // 999...9 rounded up to the next power of ten
        digits.insert(digits.begin(), '1');
        ++exponent;
      } else {
        ++digits[i - 1];
      }
    }
  }
  digits.erase(digits.find_last_not_of('0') + 1);  // the first digit is never 0

  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= 15) {
    out += digits.substr(0, 1);
    if (digits.size() > 1) {
      out += '.';
      out += digits.substr(1);
    }
    const int magnitude = exponent < 0 ? -exponent : exponent;
    out += exponent < 0 ? "E-" : "E+";
    if (magnitude < 10) {
      out += '0';
    }
    out += std::to_string(magnitude);
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    const size_t wholeDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= wholeDigits) {
      out += digits;
      out.append(wholeDigits - digits.size(), '0');
    } else {
      out += digits.substr(0, wholeDigits);
      out += '.';
      out += digits.substr(wholeDigits);
    }
  }
  return Widen(out);
}

}  // namespace

std::optional<ByteArray> ByteArray::WithBounds(std::vector<Bound> bounds,
                                               std::vector<uint8_t> bytes) {
  uint64_t total = bounds.empty() ? 0 : 1;
  for (const Bound& bound : bounds) {
    if (bound.count > 0 &&
        static_cast<int64_t>(bound.lower) + static_cast<int64_t>(bound.count) - 1 > kInt32Max) {
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
      try {
        return ParseNumber(AsString());
      } catch (const std::exception&) {  // no memory for the digits: report failure
        return std::nullopt;
      }
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
      case Kind::Integer:
        return Widen(std::to_string(AsInteger()));
      case Kind::Double:
        return FormatDouble(AsDouble());
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
  try {
    switch (kind()) {
      case Kind::Bytes:
        return AsBytes();
      case Kind::Text: {
        const String& text = AsString();
        std::vector<uint8_t> bytes;
        bytes.reserve(text.size() * 2);
        for (char16_t c : text) {
          bytes.push_back(static_cast<uint8_t>(c & 0xFFu));
          bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        const auto count = static_cast<uint32_t>(bytes.size());
        return ByteArray::WithBounds({ByteArray::Bound{0, count}}, std::move(bytes));
      }
      default:
        return std::nullopt;
    }
  } catch (const std::exception&) {  // too large or out of memory: report failure
    return std::nullopt;
  }
}

bool Variant::operator==(const Variant& other) const { return value_ == other.value_; }

}  // namespace vbreg

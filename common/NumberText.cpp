#include "common/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vbreg {

namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

std::optional<int32_t> InRange(int64_t value) {
  if (value < kInt32Min || value > kInt32Max) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

void TrimBlanks(std::u16string_view& s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
}

// Takes `affix` off the front (or the back) of `s`, with the blanks it leaves bare.
bool Take(std::u16string_view& s, std::u16string_view affix, bool front) {
  if (affix.empty() || s.size() < affix.size()) return false;
  if ((front ? s.substr(0, affix.size()) : s.substr(s.size() - affix.size())) != affix) {
    return false;
  }
  front ? s.remove_prefix(affix.size()) : s.remove_suffix(affix.size());
  TrimBlanks(s);
  return true;
}

// "&H…" or "&O…": the digits are a 32-bit pattern, so &HFFFFFFFF is -1 as CLng gives.
std::optional<int32_t> RadixNumber(std::u16string_view digits, uint32_t base) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char16_t c : digits) {
    uint32_t digit = base;
    if (IsDigit(c)) {
      digit = static_cast<uint32_t>(c - u'0');
    } else if (c >= u'a' && c <= u'f') {
      digit = static_cast<uint32_t>(c - u'a' + 10);
    } else if (c >= u'A' && c <= u'F') {
      digit = static_cast<uint32_t>(c - u'A' + 10);
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// The significant digits of a decimal number, leading zeros dropped: the first twelve,
// enough to round anything in the 32-bit range, and whether a non-zero one follows.
// The value is 0.<digits> times 10^point. Kept without allocating, so that reading a
// number cannot fail for want of memory.
struct Digits {
  char kept[12] = {};
  size_t count = 0;
  bool moreNonZero = false;
  int64_t point = 0;

  void Add(char16_t c) {
    if (count < sizeof kept) {
      kept[count++] = static_cast<char>(c);
    } else if (c != u'0') {
      moreNonZero = true;
    }
  }

  // Rounded from the exact decimal value, not from a double, which could turn
  // 2.50000000000000001 into an exact half.
  std::optional<int32_t> Rounded(bool negative) const {
    if (count == 0) return 0;
    if (point > 10) return std::nullopt;  // at least 10^10
    int64_t whole = 0;
    for (size_t i = 0; i < static_cast<size_t>(std::max<int64_t>(point, 0)); ++i) {
      whole = whole * 10 + (i < count ? kept[i] - '0' : 0);
    }
    if (point >= 0 && static_cast<size_t>(point) < count) {
      const auto first = static_cast<size_t>(point);
      bool rest = moreNonZero;
      for (size_t i = first + 1; i < count; ++i) rest = rest || kept[i] != '0';
      if (kept[first] > '5' || (kept[first] == '5' && (rest || whole % 2 != 0))) ++whole;
    }  // point < 0: below 0.1, rounds to 0
    return InRange(negative ? -whole : whole);
  }
};

}  // namespace

std::optional<int32_t> RoundToInt32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // An exact half goes to the even neighbour whatever the floating-point rounding mode
  // is, so the result never depends on what some other code set the FPU to.
  double whole = std::floor(value);
  const double fraction = value - whole;  // exact: floor drops only fraction bits
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < static_cast<double>(kInt32Min) || whole > static_cast<double>(kInt32Max)) {
    return std::nullopt;
  }
  return static_cast<int32_t>(whole);
}

std::optional<int32_t> NumberFromText(std::u16string_view text, const NumberLocale& locale) {
  std::u16string_view s = text;
  TrimBlanks(s);
  const bool parens = s.size() >= 2 && s.front() == u'(' && s.back() == u')';
  if (parens) {
    s = s.substr(1, s.size() - 2);
    TrimBlanks(s);
  }
  // The currency symbol and one sign, in either order, before the digits or after.
  int sign = 0;
  bool money = false;
  for (const bool front : {true, false}) {
    for (int round = 0; round < 2; ++round) {
      if (!money && Take(s, locale.currency, front)) {
        money = true;
      } else if (sign == 0 && Take(s, u"-", front)) {
        sign = -1;
      } else if (sign == 0 && Take(s, u"+", front)) {
        sign = 1;
      }
    }
  }
  // "(-5)" is as negative as "(5)".
  const bool negative = parens || sign < 0;
  if (!s.empty() && s.front() == u'&') {
    if (negative || money || s.size() < 2) return std::nullopt;
    if (s[1] == u'H' || s[1] == u'h') return RadixNumber(s.substr(2), 16);
    if (s[1] == u'O' || s[1] == u'o') return RadixNumber(s.substr(2), 8);
    return std::nullopt;
  }

  Digits digits;
  bool anyDigit = false;
  bool fraction = false;
  size_t i = 0;
  for (; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (IsDigit(c)) {
      anyDigit = true;
      if (c != u'0' || digits.count != 0) {
        digits.Add(c);
        if (!fraction) ++digits.point;
      } else if (fraction) {
        --digits.point;
      }
    } else if (!anyDigit || c != locale.thousands) {
      // Separators once a digit has come, wherever they stand, in the fraction too.
      if (fraction || c != locale.decimal) break;
      fraction = true;
    }
  }
  if (!anyDigit) return std::nullopt;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
    bool negativeExponent = false;
    if (++i < s.size() && (s[i] == u'-' || s[i] == u'+')) negativeExponent = s[i++] == u'-';
    const size_t first = i;
    int64_t exponent = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
      // Saturated: anything this large is far outside the range either way.
      exponent = std::min<int64_t>(exponent * 10 + (s[i] - u'0'), 1'000'000'000);
    }
    if (i == first) return std::nullopt;
    digits.point += negativeExponent ? -exponent : exponent;
  }
  if (i != s.size()) return std::nullopt;
  return digits.Rounded(negative);
}

namespace {

// The exact decimal digits of a finite, non-zero double, most significant first, and
// the power of ten of the first one. Every double is m * 2^e with m below 2^53, so its
// decimal expansion is finite: m multiplied by 2^e, or divided by 2^-e digit by digit,
// each remainder carried on into further places. Exact digits let the 15-digit
// rounding below break a tie as an exact half; they also keep the C++ library's
// shortest-round-trip tables and the C runtime's printf out of the exe.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal ExactDecimal(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  if (biased != 0) mantissa |= uint64_t{1} << 52;
  int binaryExponent = (biased != 0 ? biased : 1) - 1075;
  std::string digits = std::to_string(mantissa);
  int fraction = 0;  // how many of the digits stand after the decimal point
  // Up to 2^28 at a time: a digit times that, or a remainder times ten, fits 64 bits.
  while (binaryExponent > 0) {
    const int shift = std::min(binaryExponent, 28);
    binaryExponent -= shift;
    uint64_t carry = 0;
    for (auto d = digits.rbegin(); d != digits.rend(); ++d) {
      const uint64_t v = (static_cast<uint64_t>(*d - '0') << shift) + carry;
      *d = static_cast<char>('0' + v % 10);
      carry = v / 10;
    }
    for (; carry != 0; carry /= 10)
      digits.insert(digits.begin(), static_cast<char>('0' + carry % 10));
  }
  while (binaryExponent < 0) {
    const int shift = std::min(-binaryExponent, 28);
    binaryExponent += shift;
    const uint64_t mask = (uint64_t{1} << shift) - 1;
    uint64_t rest = 0;
    for (char& d : digits) {
      const uint64_t part = rest * 10 + static_cast<uint64_t>(d - '0');
      d = static_cast<char>('0' + (part >> shift));
      rest = part & mask;
    }
    for (; rest != 0; ++fraction) {
      rest *= 10;
      digits.push_back(static_cast<char>('0' + (rest >> shift)));
      rest &= mask;
    }
  }
  const size_t first = digits.find_first_not_of('0');
  const int exponent = static_cast<int>(digits.size() - first) - fraction - 1;
  return {digits.substr(first), exponent};
}

}  // namespace

std::optional<std::u16string> DoubleText(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  if (value == 0.0) return u"0";  // negative zero too
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
      while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
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
    if (magnitude < 10) out += '0';
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
  return std::u16string(out.begin(), out.end());
}

}  // namespace vbreg

#pragma once
// Numbers and their text, as the language converts between them: the rules the
// variant value, the registry writer and the stand-in of the registry share.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vbreg {

// To the nearest whole number, an exact half to the even neighbour; nullopt outside
// the 32-bit signed range, and for NaN and the infinities.
std::optional<int32_t> RoundToInt32(double value);

// As CStr writes a double: at most 15 significant digits (an exact half to the even
// one), no trailing zeros, and the exponent form ("1E+15", "1.5E-05") outside
// 1E-04 .. 999999999999999. nullopt for NaN and the infinities.
std::optional<std::u16string> DoubleText(double value);

// How a locale writes numbers.
struct NumberLocale {
  char16_t decimal = u'.';
  char16_t thousands = u',';
  std::u16string_view currency = u"$";
};
inline constexpr NumberLocale kUnitedStatesNumbers{};
inline constexpr NumberLocale kGermanNumbers{u',', u'.', u"\u20AC"};

// Text holding a number, read as the system's own conversion (VarI4FromStr) reads it
// in `locale`: blanks around it; one sign before or after it, or parentheses around
// it, for a negative number; the currency symbol before or after the digits;
// thousands separators anywhere after the first digit; the decimal separator; an
// exponent (E or D); &H and &O for a 32-bit pattern in hexadecimal or octal. Rounded
// from its exact decimal value as RoundToInt32 rounds; nullopt when the text holds
// no number or one outside the range.
std::optional<int32_t> NumberFromText(std::u16string_view text,
                                      const NumberLocale& locale = kUnitedStatesNumbers);

}  // namespace vbreg

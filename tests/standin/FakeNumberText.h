#pragma once
// Text holding a number, read as the language reads it when it converts text to a
// 32-bit integer: the system's VarI4FromStr in the user's locale. The Windows
// platform asks the system itself; this is the same reading written out for the
// stand-in, and a table of cases holds the two together under Wine.

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/Variant.h"

// How a locale writes numbers and money.
struct NumberLocale {
  char16_t decimal = u'.';
  char16_t thousands = u',';
  vbreg::String currency = u"$";
};

// en-US and de-DE as Windows has them.
NumberLocale UnitedStatesNumbers();
NumberLocale GermanNumbers();

// Blanks around the number; one sign before it or after it, or parentheses around
// it, for a negative number; the currency symbol before or after the digits;
// thousands separators anywhere after the first digit; the locale's decimal separator; an
// exponent; &H and &O for hexadecimal and octal. The value rounds to the nearest
// whole number, an exact half to the even one. nullopt when the text holds no number
// or one outside the 32-bit signed range.
std::optional<int32_t> LocaleTextToInt32(std::u16string_view text, const NumberLocale& locale);

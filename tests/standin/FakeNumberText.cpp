#include "tests/standin/FakeNumberText.h"

using vbreg::String;
using vbreg::Variant;

namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

void TrimBlanks(std::u16string_view& s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
}

bool TakePrefix(std::u16string_view& s, std::u16string_view prefix) {
  if (prefix.empty() || s.substr(0, prefix.size()) != prefix) return false;
  s.remove_prefix(prefix.size());
  TrimBlanks(s);
  return true;
}

bool TakeSuffix(std::u16string_view& s, std::u16string_view suffix) {
  if (suffix.empty() || s.size() < suffix.size() || s.substr(s.size() - suffix.size()) != suffix) {
    return false;
  }
  s.remove_suffix(suffix.size());
  TrimBlanks(s);
  return true;
}

}  // namespace

NumberLocale UnitedStatesNumbers() { return NumberLocale{u'.', u',', u"$"}; }
NumberLocale GermanNumbers() { return NumberLocale{u',', u'.', u"\u20AC"}; }

std::optional<int32_t> LocaleTextToInt32(std::u16string_view text, const NumberLocale& locale) {
  try {
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
    const auto takeSign = [&sign](std::u16string_view& rest, bool front) {
      const char16_t c = rest.empty() ? u'\0' : (front ? rest.front() : rest.back());
      if (sign != 0 || (c != u'-' && c != u'+')) return false;
      sign = c == u'-' ? -1 : 1;
      front ? rest.remove_prefix(1) : rest.remove_suffix(1);
      TrimBlanks(rest);
      return true;
    };
    for (int round = 0; round < 2; ++round) {
      if (!money && TakePrefix(s, locale.currency)) {
        money = true;
      } else {
        takeSign(s, true);
      }
    }
    for (int round = 0; round < 2; ++round) {
      if (!money && TakeSuffix(s, locale.currency)) {
        money = true;
      } else {
        takeSign(s, false);
      }
    }
    // "(-5)" is as negative as "(5)".
    const bool negative = parens || sign < 0;

    String plain = negative ? u"-" : u"";
    if (!s.empty() && s.front() == u'&') {
      // &H and &O give a 32-bit pattern; the plain reading knows them.
      if (negative || money) return std::nullopt;
      return Variant(String(s)).ToInt32();
    }
    bool anyDigit = false;
    bool point = false;
    size_t i = 0;
    for (; i < s.size(); ++i) {
      const char16_t c = s[i];
      if (IsDigit(c)) {
        plain.push_back(c);
        anyDigit = true;
      } else if (anyDigit && c == locale.thousands) {
        // Separators once a digit has come, wherever they stand, in the fraction too.
      } else if (!point && c == locale.decimal) {
        plain.push_back(u'.');
        point = true;
      } else {
        break;
      }
    }
    if (!anyDigit) return std::nullopt;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
      plain.push_back(u'E');
      if (++i < s.size() && (s[i] == u'-' || s[i] == u'+')) plain.push_back(s[i++]);
      const size_t first = i;
      for (; i < s.size() && IsDigit(s[i]); ++i) plain.push_back(s[i]);
      if (i == first) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    return Variant(std::move(plain)).ToInt32();
  } catch (...) {  // no memory for the digits
    return std::nullopt;
  }
}

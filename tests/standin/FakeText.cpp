// The stand-in's text: names compared and split as Windows does on the code page
// set, the ANSI conversions the registry class uses, and the environment that
// ExpandEnvironmentStringsA expands from.

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "common/Collection.h"
#include "tests/standin/FakeCaseTable.h"
#include "common/NumberText.h"
#include "tests/standin/FakeRegistryImpl.h"

using namespace fake;

namespace {
// XP's ExpandEnvironmentStrings keeps sizes in 16 bits of bytes.
constexpr uint32_t kXpExpansionLimit = 32767;
}  // namespace

void fake::CopyOut(const std::string& s, char* dst) {
  std::memcpy(dst, s.data(), s.size());
  dst[s.size()] = '\0';
}

// Windows decodes a name and compares it upper-cased unit by unit with its own
// table, over the whole of Unicode (not only the code page's letters).
std::u16string FakeRegistry::Impl::Fold(std::string_view name) const {
  std::u16string folded = codePage.Decode(name);
  for (char16_t& unit : folded) unit = fakecase::Upper(unit);
  return folded;
}

std::vector<std::string> FakeRegistry::Impl::SplitPath(std::string_view path) const {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (codePage.IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
      part.push_back(c);
      part.push_back(path[++i]);
    } else if (c == '\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

// One level of %NAME% expansion; unknown or unterminated references stay as written.
std::string FakeRegistry::Impl::Expand(std::string_view src) const {
  std::string out;
  size_t i = 0;
  while (i < src.size()) {
    if (src[i] != '%') {
      const size_t end = std::min(src.find('%', i), src.size());
      out.append(src.substr(i, end - i));
      i = end;
      continue;
    }
    const size_t close = src.find('%', i + 1);
    if (close == std::string_view::npos) {
      out.append(src.substr(i));
      break;
    }
    const auto it = environment.find(Fold(src.substr(i + 1, close - i - 1)));
    if (close > i + 1 && it != environment.end()) {
      out += it->second.second;
    } else {
      out.append(src.substr(i, close - i + 1));
    }
    i = close + 1;
  }
  return out;
}

uint32_t FakeRegistry::ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, uint32_t nSize) {
  Call c = NewCall("ExpandEnvironmentStringsA", 0, lpSrc);
  c.size = nSize;
  c.dataGiven = lpDst != nullptr;
  return static_cast<uint32_t>(impl_->Run(std::move(c), [&](Call&) -> RegStatus {
    if (lpSrc == nullptr) {
      if (lpDst != nullptr && nSize > 0) lpDst[0] = '\0';
      return 1;
    }
    if (impl_->windowsXp && (nSize > kXpExpansionLimit || std::strlen(lpSrc) > kXpExpansionLimit)) {
      return 0;
    }
    const std::string text = impl_->Expand(lpSrc);
    const auto len = static_cast<RegStatus>(text.size());
    if (impl_->expansionCount == ExpansionCount::Characters) {
      // Wine answers the characters of the result and its NUL, whatever the bytes,
      // and fills what the buffer holds: with room for as many bytes as characters
      // the text stops short, without a NUL.
      const auto answer = static_cast<uint32_t>(impl_->codePage.Decode(text).size() + 1);
      if (lpDst == nullptr || nSize < answer) {
        if (lpDst != nullptr && nSize > 0) lpDst[0] = '\0';
      } else {
        std::memcpy(lpDst, text.c_str(), std::min<size_t>(nSize, text.size() + 1));
      }
      return static_cast<RegStatus>(answer);
    }
    // The ANSI function wants one byte more than the result and its NUL, and asks
    // for that much when the buffer is short. (Windows empties lpDst even when nSize
    // is 0; the stand-in does not write into a buffer said to have no room.)
    if (nSize < static_cast<uint32_t>(len) + 2) {
      if (lpDst != nullptr && nSize > 0) lpDst[0] = '\0';
      return len + 2;
    }
    CopyOut(text, lpDst);
    return len + 1;
  }));
}

void FakeRegistry::SetEnvironment(const std::string& name, const std::string& value) {
  impl_->environment[impl_->Fold(name)] = {name, value};
}

void FakeRegistry::SetExpansionCount(ExpansionCount count) { impl_->expansionCount = count; }

void FakeRegistry::PlayWindowsXp(bool xp) { impl_->windowsXp = xp; }

uint32_t FakeRegistry::ExpansionLimit() { return impl_->windowsXp ? kXpExpansionLimit : 0; }

void FakeRegistry::SetUserLocale(const std::string& name) {
  if (name != "en-US" && name != "de-DE") {
    throw std::invalid_argument("FakeRegistry: locale " + name + " is not modelled");
  }
  impl_->germanNumbers = name == "de-DE";
}

std::optional<int32_t> FakeRegistry::NumberFromText(std::u16string_view text) {
  return vbreg::NumberFromText(
      text, impl_->germanNumbers ? vbreg::kGermanNumbers : vbreg::kUnitedStatesNumbers);
}

// ---- The ANSI conversions ----------------------------------------------------------------

uint32_t FakeRegistry::CodePage() const { return impl_->codePage.id(); }

int32_t FakeRegistry::WideCharToMultiByte(std::u16string_view text, uint32_t flags,
                                          const char* defaultChar, std::string& out) const {
  return impl_->codePage.Encode(text, flags, defaultChar, out);
}

std::string FakeRegistry::ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  if (const auto injected = impl_->Injected("WideCharToMultiByte")) {
    throw ansi::ConversionError(*injected);
  }
  // The adapter's own choice of flags, so a choice the code page refuses fails here.
  const ansi::Conversion how = ansi::ConversionFor(impl_->codePage.id());
  std::string out;
  if (const int32_t st = impl_->codePage.Encode(text, how.flags, how.defaultChar, out); st != 0) {
    throw ansi::ConversionError(st);
  }
  return out;
}

std::u16string FakeRegistry::FromAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (const auto injected = impl_->Injected("MultiByteToWideChar")) {
    throw ansi::ConversionError(*injected);
  }
  return impl_->codePage.Decode(bytes);
}

#include "tests/standin/FakeCodePage.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

#include "platform/AnsiConversion.h"

using namespace vbreg;

namespace fakecp {
namespace {

// Flags that every table code page takes.
constexpr uint32_t kTableFlags = 0x0010 | 0x0020 | 0x0040 | 0x0200 | ansi::kNoBestFitChars;

// ---- Windows-1252 -------------------------------------------------------------------

// Bytes 0x80..0x9F. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same number, as Windows maps them; every
// other byte is its own Latin-1 code point.
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr SingleByteTable Make1252() {
  SingleByteTable t{1252, {}};
  for (size_t i = 0; i < t.high.size(); ++i) {
    t.high[i] = i < kHigh1252.size() ? kHigh1252[i] : static_cast<char16_t>(0x80 + i);
  }
  return t;
}
constexpr SingleByteTable k1252 = Make1252();

// ---- 932 ----------------------------------------------------------------------------

constexpr char16_t kNo932Char = 0x30FB;  // what Windows gives for a code without one

int LeadIndex(unsigned char b) {
  if (b >= 0x81 && b <= 0x9F) return b - 0x81;
  if (b >= 0xE0 && b <= 0xFC) return b - 0xE0 + 31;
  return -1;
}

int TrailIndex(unsigned char b) {
  if (b >= 0x40 && b <= 0x7E) return b - 0x40;
  if (b >= 0x80 && b <= 0xFC) return b - 0x80 + 63;
  return -1;
}

unsigned char LeadOf(size_t index) {
  return static_cast<unsigned char>(index < 31 ? 0x81 + index : 0xE0 + index - 31);
}

unsigned char TrailOf(size_t index) {
  return static_cast<unsigned char>(index < 63 ? 0x40 + index : 0x80 + index - 63);
}

// The single bytes besides ASCII: half-width katakana, and the four bytes Windows
// maps to the Private Use Area (0xA0, 0xFD-0xFF) and 0x80 to U+0080.
int Single932(unsigned char b) {
  if (b < 0x80) return b;
  if (b == 0x80) return 0x80;
  if (b == 0xA0) return 0xF8F0;
  if (b >= 0xA1 && b <= 0xDF) return 0xFF61 + (b - 0xA1);
  if (b >= 0xFD) return 0xF8F1 + (b - 0xFD);
  return -1;
}

// Character to code, a single byte's before any pair's. Several codes share a
// character (NEC's and IBM's copies of the same symbols and kanji): the first code
// wins, except that the NEC-selected IBM rows (0xED40-0xEEFC) yield to IBM's own
// (0xFA40-), as in Windows' table.
const std::unordered_map<char16_t, uint16_t>& Reverse932() {
  static const auto table = [] {
    std::unordered_map<char16_t, uint16_t> map;
    for (int b = 0x80; b <= 0xFF; ++b) {
      const int u = Single932(static_cast<unsigned char>(b));
      if (u >= 0) map.emplace(static_cast<char16_t>(u), static_cast<uint16_t>(b));
    }
    for (const bool necSelected : {false, true}) {
      for (size_t l = 0; l < kCp932DoubleBytes.size(); ++l) {
        const unsigned char lead = LeadOf(l);
        if ((lead == 0xED || lead == 0xEE) != necSelected) continue;
        for (size_t t = 0; t < kCp932DoubleBytes[l].size(); ++t) {
          const char16_t u = kCp932DoubleBytes[l][t];
          if (u != 0) map.emplace(u, static_cast<uint16_t>(lead << 8 | TrailOf(t)));
        }
      }
    }
    return map;
  }();
  return table;
}

// ---- UTF-8 --------------------------------------------------------------------------

void AppendUtf8(std::string& out, uint32_t cp) {
  const int trail = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
  const uint32_t lead = trail == 0 ? 0 : (0xFF00u >> (trail + 1)) & 0xFFu;  // 110, 1110, 11110
  out.push_back(static_cast<char>(lead | (cp >> (6 * trail))));
  for (int k = trail - 1; k >= 0; --k) {
    out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

int32_t EncodeUtf8(std::u16string_view text, uint32_t flags, const char* defaultChar,
                   std::string& out) {
  if ((flags & ~ansi::kErrInvalidChars) != 0) return ansi::kInvalidFlags;
  if (defaultChar != nullptr) return ansi::kInvalidParameter;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    uint32_t cp = u;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((u - 0xD800u) << 10) + (text[++i] - 0xDC00u);
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      // A lone surrogate: U+FFFD, or a failure when the caller asked for one.
      if ((flags & ansi::kErrInvalidChars) != 0) {
        out.clear();
        return ansi::kNoUnicodeTranslation;
      }
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return 0;
}

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const size_t len = b < 0x80                   ? 1
                       : (b >= 0xC2 && b <= 0xDF) ? 2
                       : (b >= 0xE0 && b <= 0xEF) ? 3
                       : (b >= 0xF0 && b <= 0xF4) ? 4
                                                  : 0;
    constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    uint32_t cp = len <= 1 ? b : b & (0x7Fu >> len);
    bool ok = len > 0 && i + len <= bytes.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if (ok && cp >= kShortest[len] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
      AppendUtf16(out, cp);
      i += len;
    } else {
      out.push_back(0xFFFD);  // one substitute per byte that starts no valid sequence
      ++i;
    }
  }
  return out;
}

}  // namespace

CodePage::CodePage(uint32_t id) : id_(id) {
  if (id == 1252) table_ = &k1252;
  for (const SingleByteTable& t : kSingleByteTables) {
    if (t.id == id) table_ = &t;
  }
  if (id != 932 && id != 65001 && table_ == nullptr) {
    throw std::invalid_argument("FakeRegistry: code page " + std::to_string(id) +
                                " is not modelled");
  }
}

bool CodePage::IsLeadByte(unsigned char b) const { return id_ == 932 && LeadIndex(b) >= 0; }

int32_t CodePage::Encode(std::u16string_view text, uint32_t flags, const char* defaultChar,
                         std::string& out) const {
  out.clear();
  if (id_ == 65001) return EncodeUtf8(text, flags, defaultChar, out);
  if ((flags & ~kTableFlags) != 0) return ansi::kInvalidFlags;
  const char substitute = defaultChar != nullptr ? defaultChar[0] : '?';
  out.reserve(text.size());
  for (const char16_t u : text) {
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (table_ != nullptr) {
      const auto it = std::find(table_->high.begin(), table_->high.end(), u);
      out.push_back(it != table_->high.end() ? static_cast<char>(0x80 + (it - table_->high.begin()))
                                             : substitute);
    } else if (const auto it = Reverse932().find(u); it == Reverse932().end()) {
      out.push_back(substitute);
    } else {
      if (it->second > 0xFF) out.push_back(static_cast<char>(it->second >> 8));
      out.push_back(static_cast<char>(it->second & 0xFF));
    }
  }
  return 0;
}

std::u16string CodePage::Decode(std::string_view bytes) const {
  if (id_ == 65001) return DecodeUtf8(bytes);
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (table_ != nullptr) {
      out.push_back(b < 0x80 ? static_cast<char16_t>(b) : table_->high[b - 0x80u]);
      continue;
    }
    const int lead = LeadIndex(b);
    if (lead < 0) {
      const int single = Single932(b);
      out.push_back(single >= 0 ? static_cast<char16_t>(single) : kNo932Char);
      continue;
    }
    // A lead byte takes the next byte along when that is a trail byte, whether or
    // not the pair is a character; otherwise it stands alone for nothing.
    const int trail =
        i + 1 < bytes.size() ? TrailIndex(static_cast<unsigned char>(bytes[i + 1])) : -1;
    if (trail < 0) {
      out.push_back(kNo932Char);
      continue;
    }
    const char16_t u = kCp932DoubleBytes[static_cast<size_t>(lead)][static_cast<size_t>(trail)];
    out.push_back(u != 0 ? u : kNo932Char);
    ++i;
  }
  return out;
}

}  // namespace fakecp

#pragma once
// The stand-in's model of the system ANSI code page: the single-byte code pages
// 1250 to 1258, 932 (Shift-JIS as Windows has it) or 65001 (UTF-8), converted the
// way WideCharToMultiByte and MultiByteToWideChar convert there, refusals of flags
// included.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace fakecp {

// The double-byte codes of 932 by lead byte (0x81-0x9F, 0xE0-0xFC) and trail byte
// (0x40-0x7E, 0x80-0xFC); 0 where a code has no character. Generated.
extern const std::array<std::array<char16_t, 188>, 60> kCp932DoubleBytes;

// Bytes 0x80-0xFF of the single-byte code pages other than 1252. Generated.
struct SingleByteTable {
  uint32_t id;
  std::array<char16_t, 128> high;
};
extern const std::array<SingleByteTable, 8> kSingleByteTables;

class CodePage {
 public:
  // 1250-1258, 932 or 65001; any other number is refused with std::invalid_argument.
  explicit CodePage(uint32_t id);

  uint32_t id() const { return id_; }

  // WideCharToMultiByte into `out`: 0, or the Win32 error with which Windows
  // refuses `flags` or `defaultChar` on this code page (out is then empty). What
  // a table code page lacks becomes the default character ('?' when none is
  // given); best-fit look-alikes are not modelled, so a missing
  // WC_NO_BEST_FIT_CHARS changes nothing here.
  int32_t Encode(std::u16string_view text, uint32_t flags, const char* defaultChar,
                 std::string& out) const;
  // MultiByteToWideChar with flags 0. Bytes without a character become the code
  // page's substitute: U+30FB on 932, U+FFFD on UTF-8.
  std::u16string Decode(std::string_view bytes) const;
  // True for the first byte of a two-byte character: the byte after it is never a
  // separator, even when it is 0x5C ('\').
  bool IsLeadByte(unsigned char b) const;

 private:
  uint32_t id_;
  const SingleByteTable* table_ = nullptr;  // the single-byte code pages but 1252
};

}  // namespace fakecp

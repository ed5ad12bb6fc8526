#pragma once
// How text crosses into the system's ANSI code page, shared by the real adapter and
// the stand-in so that the stand-in checks the very choice Windows gets.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vbreg {

namespace ansi {

inline constexpr uint32_t kNoBestFitChars = 0x400;      // WC_NO_BEST_FIT_CHARS
inline constexpr uint32_t kErrInvalidChars = 0x80;      // WC_ERR_INVALID_CHARS
inline constexpr int32_t kInvalidFlags = 1004;          // ERROR_INVALID_FLAGS
inline constexpr int32_t kInvalidParameter = 87;        // ERROR_INVALID_PARAMETER
inline constexpr int32_t kNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION

// What WideCharToMultiByte is given on `codePage`.
struct Conversion {
  uint32_t flags = 0;
  const char* defaultChar = nullptr;
};

// On the single- and double-byte code pages a character without an exact
// counterpart becomes '?' rather than a look-alike (a look-alike '\' or '.' could
// change a path). Windows refuses both settings on the code pages that are not
// tables, UTF-8 (65001) and GB18030 (54936) among them, and the call then fails
// outright: there they must be 0 and no default character, and those encodings can
// represent every character anyway.
constexpr Conversion ConversionFor(uint32_t codePage) {
  const bool flagless = codePage == 65001 || codePage == 54936 || codePage == 65000 ||
                        codePage == 42 || (codePage >= 50220 && codePage <= 50229) ||
                        (codePage >= 57002 && codePage <= 57011);
  if (flagless) return Conversion{};
  return Conversion{kNoBestFitChars, "?"};
}

// A conversion that failed, with the Win32 error it failed with. The registry
// class treats it as a failed step: no registry call is made with the empty or
// partial text a failed conversion leaves behind.
// Its base is std::exception alone: the standard's string-holding exceptions bring
// some 50 KiB of the C++ runtime's strings into every program that throws one.
class ConversionError : public std::exception {
 public:
  explicit ConversionError(int32_t status) noexcept : status_(status) {}
  const char* what() const noexcept override { return "code page conversion failed"; }
  int32_t status() const noexcept { return status_; }

 private:
  int32_t status_;
};

}  // namespace ansi

}  // namespace vbreg

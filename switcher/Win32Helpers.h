#pragma once
// The general Win32 calls Burnisher needs, each in the form its callers want.
#ifdef _WIN32

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace switcher {

// A handle given back to the system by `Closer` when it goes; null and
// INVALID_HANDLE_VALUE hold nothing.
template <class Closer>
class Owned {
 public:
  Owned() noexcept = default;
  explicit Owned(HANDLE h) noexcept : h_(h) {}
  Owned(Owned&& other) noexcept : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned& operator=(Owned&& other) noexcept {
    std::swap(h_, other.h_);
    return *this;
  }
  ~Owned() { reset(); }
  HANDLE get() const noexcept { return h_; }
  bool valid() const noexcept { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  void reset() noexcept {
    if (valid()) Closer{}(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// The parts one after the other: one call instead of a chain of temporaries.
std::wstring Cat(std::initializer_list<std::wstring_view> parts);

// Decimal digits of a number. std::to_wstring would bring mingw's whole wide printf
// (about 27 KiB) into an exe that formats nothing else.
std::wstring Decimal(DWORD value);

// Whether `path` names a normal file: hidden, system and directory entries do not
// count, read-only and archive files do.
bool IsNormalFile(const std::wstring& path);

// The full path of `path`, resolved against the current folder when it is relative;
// `path` itself when the system cannot resolve it.
std::wstring FullPath(const std::wstring& path);

// The folder of the running executable, without a trailing separator.
std::wstring ExeFolder();

// The system's own text for a Win32 error number, without the trailing line break.
std::wstring SystemErrorText(DWORD error);

// Whether `path` lies in one of Windows' device namespaces ("\\?\", "\\.\", "\??\"),
// where no path rules apply and any device can be named.
bool IsDevicePath(std::wstring_view path);

}  // namespace switcher

#endif  // _WIN32

#include "switcher/Win32Helpers.h"

#include <iterator>

namespace switcher {

std::wstring Cat(std::initializer_list<std::wstring_view> parts) {
  std::wstring out;
  for (const std::wstring_view part : parts) out += part;
  return out;
}

std::wstring Decimal(DWORD value) {
  wchar_t digits[10];
  size_t n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return std::wstring(std::make_reverse_iterator(digits + n), std::make_reverse_iterator(digits));
}

bool IsNormalFile(const std::wstring& path) {
  constexpr DWORD kExcluded =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  struct EndSearch {
    void operator()(HANDLE search) const noexcept { FindClose(search); }
  };
  WIN32_FIND_DATAW found{};
  const Owned<EndSearch> search(FindFirstFileW(path.c_str(), &found));
  if (!search.valid()) return false;
  do {
    if ((found.dwFileAttributes & kExcluded) == 0) return true;
  } while (FindNextFileW(search.get(), &found));
  return false;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD n = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (n == 0 || n >= need) return path;
  full.resize(n);
  return full;
}

std::wstring ExeFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring SystemErrorText(DWORD error) {
  std::wstring text(1024, L'\0');
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     text.data(), static_cast<DWORD>(text.size()), nullptr);
  text.resize(n);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) text = L"Unknown error";
  return text;
}

bool IsDevicePath(std::wstring_view path) {
  if (path.size() < 4) return false;
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  return separator(path[0]) && separator(path[3]) &&
         ((separator(path[1]) && (path[2] == L'?' || path[2] == L'.')) ||
          (path[1] == L'?' && path[2] == L'?'));
}

}  // namespace switcher

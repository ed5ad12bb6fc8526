#pragma once
// Files for the Windows test programs: a scratch folder, whole-file reads and writes,
// the last-write time, a folder's entries, and UTF-8 for messages. Failures throw
// std::runtime_error naming the path (gtest reports the message as the test's failure).
#ifdef _WIN32

#include <string>
#include <vector>

namespace testfiles {

// A fresh, empty folder under the temporary folder; removed with its contents, whatever
// their attributes, when the object goes.
class TempDirectory {
 public:
  TempDirectory();
  TempDirectory(TempDirectory&& other) noexcept : path_(std::move(other.path_)) {
    other.path_.clear();
  }
  TempDirectory& operator=(TempDirectory&&) = delete;
  ~TempDirectory();
  const std::wstring& Path() const noexcept { return path_; }  // no trailing separator

 private:
  std::wstring path_;
};

std::string ReadFile(const std::wstring& path);
// Then gives the file `attributes` (FILE_ATTRIBUTE_*) unless they are 0.
void WriteFile(const std::wstring& path, const std::string& content, unsigned long attributes = 0);
bool Exists(const std::wstring& path);
void CopyFileOrThrow(const std::wstring& from, const std::wstring& to);
// The names in `folder`, sorted, without "." and "..".
std::vector<std::wstring> FolderEntries(const std::wstring& folder);
// The last-write time; and setting it well into the past (2000), so that a touch shows,
// sharing the file every way, as other programs (a scanner, the loader) may hold it.
unsigned long long WriteTime(const std::wstring& path);
void SetOldWriteTime(const std::wstring& path);

std::string Narrow(const std::wstring& text);

}  // namespace testfiles

#endif  // _WIN32

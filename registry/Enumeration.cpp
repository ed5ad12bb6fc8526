// EnumRegistryKeys and EnumRegistryValues: one level of subkey names, and the
// names of a key's values, each stored in the collection under its own name.
//
// Both name the key by their own arguments and never look at the object's state.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/Key.h"
#include "registry/NoThrow.h"
#include "registry/RegistryRoutines.h"

namespace vbreg {

namespace {

constexpr uint32_t kNameBufferChars = 260;
constexpr uint32_t kInitialDataBytes = 4096;
// Room for the longest name a key or value can have, in the code page with the
// longest characters: 255 and 16,383 UTF-16 units, at most 3 bytes each in UTF-8
// (a surrogate pair takes 4 bytes for two units), and the NUL. A name that long
// does not fit the 260-byte buffer on a multi-byte code page, 131 Japanese
// characters already take 262 bytes, and without the retry it would end the listing
// and lose every name after it.
constexpr uint32_t kLongestKeyName = 255 * 3 + 1;
constexpr uint32_t kLongestValueName = 16383 * 3 + 1;

using NameBuffer = std::array<char, kNameBufferChars>;

void ResetName(NameBuffer& name, uint32_t& length) {
  name.fill(' ');
  length = kNameBufferChars;
}

// The text before the buffer's first NUL; nullopt when there is none, i.e. the
// platform wrote no name into the buffer (it arrives NUL-terminated, and a key
// name of at most 255 characters always leaves room for the NUL).
std::optional<std::string_view> TerminatedName(std::string_view name) {
  const size_t nul = name.find('\0');
  if (nul == std::string_view::npos) return std::nullopt;
  return name.substr(0, nul);
}

std::string_view View(const NameBuffer& name) { return {name.data(), name.size()}; }

// The names a listing finds, in the platform's ANSI form, one after another. They
// are converted and added to the collection when the enumeration is over: done
// between the enumeration calls, whose round trips leave the caches cold, the same
// conversions cost a tenth more per name under Wine.
class FoundNames {
 public:
  void Add(std::string_view ansi) {
    text_.append(ansi);
    ends_.push_back(text_.size());
  }

  // Each name under itself, in the order found. A name that does not convert is a
  // failed step: it is left out (never listed as "" or cut short) and the rest go on.
  // Out of memory ends the adding; the caller gets what was added so far.
  Collection Take(RegistryApi& api) const noexcept {
    Collection result;
    Guard([] {},
          [&] {
            result.Reserve(ends_.size());
            size_t start = 0;
            for (const size_t end : ends_) {
              const std::string_view ansi(text_.data() + start, end - start);
              start = end;
              if (std::optional<String> item = TextFromAnsi(api, ansi)) {
                result.AddNamed(std::move(*item));
              }
            }
          });
    return result;
  }

 private:
  std::string text_;
  std::vector<size_t> ends_;
};

void ListSubkeys(RegistryApi& api, RegHandle key, FoundNames& names) {
  NameBuffer name{};
  std::string longName;
  uint32_t nameLength = 0;
  std::array<char, 1> className{};
  uint32_t classLength = 0;
  RegFileTime lastWrite{};
  for (uint32_t index = 0;; ++index) {
    ResetName(name, nameLength);
    className[0] = '\0';
    classLength = 1;
    RegStatus status = api.RegEnumKeyExA(key, index, name.data(), &nameLength, nullptr,
                                         className.data(), &classLength, &lastWrite);
    if (status == reg::kNoMoreItems) break;
    std::optional<std::string_view> text = TerminatedName(View(name));
    if (status == reg::kMoreData && !text) {
      // A subkey with a class does not fit the one-character class buffer, and
      // then Wine (and, as far as anyone has shown, Windows) copies nothing, not
      // even the name. Leaving an existing key out, or listing the untouched
      // spaces as its name, would both be wrong: ask for this index again
      // without the class, which the platform answers with the name alone.
      ResetName(name, nameLength);
      status = api.RegEnumKeyExA(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                                 &lastWrite);
      text = TerminatedName(View(name));
      if (status == reg::kMoreData) {
        // Then it is the name that does not fit: once more with room for any.
        longName.assign(kLongestKeyName, ' ');
        nameLength = kLongestKeyName;
        status = api.RegEnumKeyExA(key, index, longName.data(), &nameLength, nullptr, nullptr,
                                   nullptr, &lastWrite);
        text = TerminatedName(longName);
      }
      if (status != reg::kSuccess) break;
    } else if (status != reg::kSuccess && status != reg::kMoreData) {
      // Ending here (rather than skipping the index) means an invalid handle,
      // which fails at every index, cannot keep the loop going.
      break;
    }
    // 234 with a name in the buffer: only the class did not fit; list the name.
    if (!text) break;
    names.Add(*text);
  }
}

void ListValues(RegistryApi& api, RegHandle key, FoundNames& names) {
  NameBuffer name{};
  std::string longName;
  uint32_t nameLength = 0;
  uint32_t type = 0;
  // Every value starts with 4096 zero bytes; the storage itself is reused, so a long
  // listing does not allocate once per value.
  std::vector<uint8_t> data;
  for (uint32_t index = 0;; ++index) {
    ResetName(name, nameLength);
    data.assign(kInitialDataBytes, 0);
    uint32_t dataLength = kInitialDataBytes;
    RegStatus status = api.RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                         data.data(), &dataLength);
    if (status == reg::kMoreData) {
      // One retry with room for the data. The name buffer goes in as the first
      // call left it.
      data.assign(dataLength, 0);
      status = api.RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(),
                                 &dataLength);
    }
    std::string_view found(name.data(), name.size());
    if (status == reg::kMoreData) {
      // The data has its room now, so it is the name that does not fit: once more
      // with room for the longest name a value can have.
      longName.assign(kLongestValueName, ' ');
      nameLength = kLongestValueName;
      status = api.RegEnumValueA(key, index, longName.data(), &nameLength, nullptr, &type,
                                 data.data(), &dataLength);
      found = longName;
    }
    if (status != reg::kSuccess) break;
    // The name is taken by the length the call reports, not cut at a NUL.
    // The data is fetched because the call hands it over, but nothing keeps it.
    names.Add(found.substr(0, std::min<size_t>(nameLength, found.size())));
  }
}

// The listing of hkey itself, or of KeyName below it, opened for reading and closed
// when the listing ends, however it ends; the caller's hkey is never closed. What was
// listed before a failure (out of memory, a huge reported data size) is handed over.
template <class Lister>
Collection Listing(RegistryApi& api, RegHandle hkey, const String& KeyName, Lister list) {
  FoundNames names;
  return Guard([&] { return names.Take(api); },
               [&] {
                 const Key key = KeyName.empty()
                                     ? Key::Borrow(api, hkey)
                                     : Key::Open(api, hkey, api.ToAnsi(KeyName), reg::kKeyRead);
                 if (key) list(api, key.get(), names);
                 return names.Take(api);
               });
}

}  // namespace

Collection RegistryRoutines::EnumRegistryKeys(RegHandle hkey, const String& KeyName) {
  return Listing(*api_, hkey, KeyName, ListSubkeys);
}

Collection RegistryRoutines::EnumRegistryValues(RegHandle hkey, const String& KeyName) {
  return Listing(*api_, hkey, KeyName, ListValues);
}

}  // namespace vbreg

#pragma once
// The stand-in's state, shared by the files that each model one part of it: the
// key tree and its values (FakeKeys.cpp), enumeration (FakeEnumeration.cpp), text
// and the environment (FakeText.cpp with FakeCodePage.cpp), and the call log and
// injected faults (FakeFaults.cpp). Not for use outside the stand-in.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/standin/FakeCodePage.h"
#include "tests/standin/FakeRegistry.h"

namespace fake {

constexpr RegStatus kBadKey = 1010;
constexpr RegStatus kChildMustBeVolatile = 1021;
constexpr RegStatus kNoAccess = 998;

constexpr uint32_t kQueryValue = 0x0001;
constexpr uint32_t kSetValue = 0x0002;
constexpr uint32_t kCreateSubKey = 0x0004;
constexpr uint32_t kEnumerateSubKeys = 0x0008;
constexpr uint32_t kDelete = 0x00010000;

inline bool IsRoot(RegHandle h) { return h >= reg::kClassesRoot && h <= reg::kCurrentConfig; }
inline size_t RootIndex(RegHandle h) { return static_cast<size_t>(h - reg::kClassesRoot); }

inline std::string StripMachinePrefix(std::string name) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.erase(0, 2);
  return name;
}

// Copies `s` and its terminating NUL to `dst`.
void CopyOut(const std::string& s, char* dst);

}  // namespace fake

struct FakeRegistry::Impl {
  struct Value {
    std::string name;
    std::u16string folded;  // the name as it compares
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };
  struct Key {
    std::string name;  // as first created
    std::string className;
    Key* parent = nullptr;  // null for a root and for a deleted key
    std::map<std::u16string, std::shared_ptr<Key>> children;  // by folded name
    std::vector<Value> values;                                // in the order first set
    uint32_t denied = 0;
    bool isVolatile = false;
    bool deleted = false;
    RegFileTime written{};

    Value* FindValue(const std::u16string& folded) {
      for (auto& v : values) {
        if (v.folded == folded) return &v;
      }
      return nullptr;
    }
    std::shared_ptr<Key> Child(const std::u16string& folded) const {
      const auto it = children.find(folded);
      return it == children.end() ? nullptr : it->second;
    }
  };
  struct Computer {
    std::array<std::shared_ptr<Key>, 6> roots;
    Computer() {
      for (auto& r : roots) r = std::make_shared<Key>();
    }
  };
  struct Handle {
    std::shared_ptr<Key> key;
    uint32_t granted = 0;
  };
  struct Injection {
    std::string function;
    RegStatus status = 0;
    int nth = 0;
    int seen = 0;
  };

  Impl(std::string ownName, uint32_t codePageId)
      : localName(fake::StripMachinePrefix(std::move(ownName))), codePage(codePageId) {}

  std::string localName;
  fakecp::CodePage codePage;
  ExpansionCount expansionCount = ExpansionCount::Bytes;
  bool windowsXp = false;
  bool germanNumbers = false;  // the user's locale is de-DE, not en-US
  Computer local;
  std::map<std::u16string, Computer> remote;  // by folded name
  std::map<RegHandle, Handle> handles;
  RegHandle nextHandle = 0x1000;
  std::map<std::u16string, std::pair<std::string, std::string>> environment;  // by folded name
  std::vector<Call> calls;
  std::vector<Injection> injections;
  std::function<void(const Call&)> hook;
  bool inHook = false;
  uint32_t clock = 0;

  // -- Names (FakeText.cpp) -------------------------------------------------------------
  // A name as Windows compares it: decoded from the code page, then upper-cased.
  std::u16string Fold(std::string_view name) const;
  bool SameName(std::string_view a, std::string_view b) const { return Fold(a) == Fold(b); }
  // Key path levels: runs of '\' separate as one, a trailing '\' adds nothing, and
  // the second byte of a double-byte character is never a separator.
  std::vector<std::string> SplitPath(std::string_view path) const;
  // Characters of a name as Windows counts them (UTF-16 units).
  size_t NameLength(std::string_view name) const { return codePage.Decode(name).size(); }
  // One level of %NAME% expansion (FakeText.cpp).
  std::string Expand(std::string_view src) const;

  // -- The tree (FakeKeys.cpp) ------------------------------------------------------------
  const Computer* FindComputer(const std::string& name) const;
  static std::shared_ptr<Key> RootOf(const Computer& c, RegHandle root);
  void Touch(Key& k);
  std::shared_ptr<Key> AddChild(Key& parent, const std::string& name);
  // The key at `path` on `computer`: with `make`, made where missing (and an unknown
  // computer is an error); without, null where missing.
  std::shared_ptr<Key> KeyAt(RegHandle root, const std::string& path, const std::string& computer,
                             bool make);
  void StoreValue(Key& key, const std::string& name, uint32_t type, std::vector<uint8_t> data);
  RegHandle NewHandle(std::shared_ptr<Key> key, uint32_t granted);
  // The key behind a handle, or the status that rejects it or its lack of `right`.
  RegStatus Resolve(RegHandle h, Handle& out, uint32_t right = 0) const;
  // A sub key path relative to a handle: the levels, or the status that rejects it.
  RegStatus ParsePath(RegHandle h, std::string_view path, std::vector<std::string>& parts) const;
  // Both: the handle's key and the levels of `path` below it.
  RegStatus Locate(RegHandle h, std::string_view path, Handle& base,
                   std::vector<std::string>& parts) const;

  // -- Logging and faults (FakeFaults.cpp) ----------------------------------------------------
  // The status injected into this call of `function`, if any; counts the call.
  std::optional<RegStatus> Injected(const std::string& function);
  // Answers one logged call: an injected status, or what `body` answers.
  template <typename F>
  RegStatus Run(Call call, F&& body) {
    if (const auto injected = Injected(call.function)) {
      call.status = *injected;
    } else {
      call.status = body(call);
    }
    const RegStatus status = call.status;
    calls.push_back(call);
    // Calls the hook itself makes run without it, and the hook may replace itself.
    // A hook may throw, to stand for a platform that throws; the hook stays armed.
    if (hook && !inHook) {
      const auto current = hook;
      inHook = true;
      try {
        current(call);
      } catch (...) {
        inHook = false;
        throw;
      }
      inHook = false;
    }
    return status;
  }
};

namespace fake {
// A logged call of `function` on `key` with `name` (a path, value or machine name).
FakeRegistry::Call NewCall(const char* function, RegHandle key, const char* name);
}  // namespace fake

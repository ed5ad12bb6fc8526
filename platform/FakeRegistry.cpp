#include "platform/FakeRegistry.h"

#include <algorithm>
#include <cstddef>
#include <array>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

// ---- Windows-1252 ------------------------------------------------------------------

// Bytes 0x80..0x9F. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same number, as Windows maps them; every
// other byte is its own Latin-1 code point.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ToUnicode(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80u] : static_cast<char16_t>(b);
}

// '?' is the code page's substitute for what it cannot represent.
char ToCp1252(char16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  for (size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == u) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Upper case of every letter the code page holds. The registry's own hives compare
// names upper-cased, so subkeys sort in that order. (Wine lower-cases, which orders
// "[\]^_`" differently from letters; lookups are the same either way.)
char16_t Upper(char16_t u) {
  if ((u >= u'a' && u <= u'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
    return static_cast<char16_t>(u - 0x20);
  switch (u) {
    case 0x00B5:
      return 0x039C;  // micro sign
    case 0x00FF:
      return 0x0178;  // y with diaeresis
    case 0x0153:
      return 0x0152;  // oe
    case 0x0161:
      return 0x0160;  // s caron
    case 0x017E:
      return 0x017D;  // z caron
    case 0x0192:
      return 0x0191;  // f hook
    default:
      return u;
  }
}

std::u16string Fold(std::string_view name) {
  std::u16string out;
  out.reserve(name.size());
  for (const char c : name) out.push_back(Upper(ToUnicode(static_cast<unsigned char>(c))));
  return out;
}

bool SameName(std::string_view a, std::string_view b) { return Fold(a) == Fold(b); }

// ---- Registry constants ---------------------------------------------------------------

constexpr RegStatus kBadKey = 1010;
constexpr RegStatus kChildMustBeVolatile = 1021;
constexpr RegStatus kNoAccess = 998;

constexpr uint32_t kQueryValue = 0x0001;
constexpr uint32_t kSetValue = 0x0002;
constexpr uint32_t kCreateSubKey = 0x0004;
constexpr uint32_t kEnumerateSubKeys = 0x0008;
constexpr uint32_t kDelete = 0x00010000;
constexpr uint32_t kOptionVolatile = 1;
constexpr uint32_t kCreatedNew = 1;
constexpr uint32_t kOpenedExisting = 2;

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

bool IsRoot(RegHandle h) { return h >= reg::kClassesRoot && h <= reg::kCurrentConfig; }
size_t RootIndex(RegHandle h) { return static_cast<size_t>(h - reg::kClassesRoot); }

bool IsStringType(uint32_t type) {
  return type == reg::kRegSz || type == reg::kRegExpandSz || type == reg::kRegMultiSz;
}

// Generic rights and MAXIMUM_ALLOWED become the key rights they stand for; the
// registry-view flags (KEY_WOW64_*) are no rights at all.
uint32_t MapAccess(uint32_t sam, uint32_t denied) {
  uint32_t a = sam & 0x000F003Fu;
  if ((sam & 0x80000000u) != 0) a |= reg::kKeyRead;                 // GENERIC_READ
  if ((sam & 0x40000000u) != 0) a |= reg::kKeyWrite;                // GENERIC_WRITE
  if ((sam & 0x20000000u) != 0) a |= reg::kKeyRead;                 // GENERIC_EXECUTE
  if ((sam & 0x10000000u) != 0) a |= reg::kKeyAllAccess;            // GENERIC_ALL
  if ((sam & 0x02000000u) != 0) a |= reg::kKeyAllAccess & ~denied;  // MAXIMUM_ALLOWED
  return a;
}

std::string StripMachinePrefix(std::string name) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.erase(0, 2);
  return name;
}

// Key path levels: runs of '\' separate as one, a trailing '\' adds nothing.
std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    if (path[i] == '\\') {
      ++i;
      continue;
    }
    const size_t end = std::min(path.find('\\', i), path.size());
    parts.emplace_back(path.substr(i, end - i));
    i = end;
  }
  return parts;
}

void CopyOut(const std::string& s, char* dst) {
  std::memcpy(dst, s.data(), s.size());
  dst[s.size()] = '\0';
}

}  // namespace

// ---- The tree ------------------------------------------------------------------------

struct FakeRegistry::Impl {
  struct Value {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
  };
  struct Key {
    std::string name;  // as first created
    std::string className;
    Key* parent = nullptr;  // null for a root and for a deleted key
    std::map<std::u16string, std::shared_ptr<Key>> children;  // by upper-cased name
    std::vector<Value> values;                                // in the order first set
    uint32_t denied = 0;
    bool isVolatile = false;
    bool deleted = false;
    RegFileTime written{};

    Value* FindValue(std::string_view n) {
      const std::u16string f = Fold(n);
      for (auto& v : values) {
        if (Fold(v.name) == f) return &v;
      }
      return nullptr;
    }
    std::shared_ptr<Key> Child(std::string_view n) const {
      const auto it = children.find(Fold(n));
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

  std::string localName;
  Computer local;
  std::map<std::u16string, Computer> remote;  // by upper-cased name
  std::map<RegHandle, Handle> handles;
  RegHandle nextHandle = 0x1000;
  std::map<std::u16string, std::pair<std::string, std::string>> environment;
  std::vector<Call> calls;
  std::vector<Injection> injections;
  std::function<void(const Call&)> hook;
  bool inHook = false;
  uint32_t clock = 0;

  // -- Set-up helpers -------------------------------------------------------------------
  Computer& ComputerNamed(const std::string& name) {
    const std::string bare = StripMachinePrefix(name);
    if (bare.empty() || SameName(bare, localName)) return local;
    const auto it = remote.find(Fold(bare));
    if (it == remote.end()) throw std::invalid_argument("FakeRegistry: unknown computer " + name);
    return it->second;
  }
  const Computer* FindComputer(const std::string& name) const {
    const std::string bare = StripMachinePrefix(name);
    if (bare.empty() || SameName(bare, localName)) return &local;
    const auto it = remote.find(Fold(bare));
    return it == remote.end() ? nullptr : &it->second;
  }
  static std::shared_ptr<Key> RootOf(const Computer& c, RegHandle root) {
    if (!IsRoot(root)) throw std::invalid_argument("FakeRegistry: not a predefined root");
    return c.roots[RootIndex(root)];
  }
  void Touch(Key& k) {
    ++clock;
    k.written = RegFileTime{clock, 0x01D00000u};
  }
  std::shared_ptr<Key> AddChild(Key& parent, const std::string& name) {
    auto child = std::make_shared<Key>();
    child->name = name;
    child->parent = &parent;
    Touch(*child);
    parent.children.emplace(Fold(name), child);
    Touch(parent);
    return child;
  }
  std::shared_ptr<Key> MakePath(RegHandle root, const std::string& path,
                                const std::string& computer) {
    auto key = RootOf(ComputerNamed(computer), root);
    for (const auto& part : SplitPath(path)) {
      auto next = key->Child(part);
      key = next ? next : AddChild(*key, part);
    }
    return key;
  }
  std::shared_ptr<Key> FindPath(RegHandle root, const std::string& path,
                                const std::string& computer) const {
    const Computer* c = FindComputer(computer);
    if (c == nullptr) return nullptr;
    auto key = RootOf(*c, root);
    for (const auto& part : SplitPath(path)) {
      if (!(key = key->Child(part))) return nullptr;
    }
    return key;
  }
  static void StoreValue(Key& key, const std::string& name, uint32_t type,
                         std::vector<uint8_t> data) {
    if (Value* v = key.FindValue(name)) {
      v->type = type;
      v->data = std::move(data);
    } else {
      key.values.push_back(Value{name, type, std::move(data)});
    }
  }

  // -- Handles --------------------------------------------------------------------------
  RegHandle NewHandle(std::shared_ptr<Key> key, uint32_t granted) {
    const RegHandle h = nextHandle;
    nextHandle += 4;  // never reused: a closed handle stays invalid
    handles.emplace(h, Handle{std::move(key), granted});
    return h;
  }
  // The key behind a handle, or the status that rejects it.
  RegStatus Resolve(RegHandle h, Handle& out) const {
    if (IsRoot(h)) {
      const auto& root = local.roots[RootIndex(h)];
      out = Handle{root, reg::kKeyAllAccess & ~root->denied};
      return reg::kSuccess;
    }
    const auto it = handles.find(h);
    if (it == handles.end()) return reg::kInvalidHandle;
    out = it->second;
    return out.key->deleted ? reg::kKeyDeleted : reg::kSuccess;
  }
  RegStatus ResolveFor(RegHandle h, uint32_t right, Handle& out) const {
    const RegStatus st = Resolve(h, out);
    if (st != reg::kSuccess) return st;
    return (out.granted & right) == right ? reg::kSuccess : reg::kAccessDenied;
  }

  // A sub key path relative to a handle: the levels, or the status that rejects it.
  static RegStatus ParsePath(RegHandle h, std::string_view path, std::vector<std::string>& parts) {
    if (!path.empty() && path[0] == '\\') {
      // Only HKEY_CLASSES_ROOT takes one leading separator.
      if (h != reg::kClassesRoot) return reg::kBadPathName;
      path.remove_prefix(1);
      if (!path.empty() && path[0] == '\\') return reg::kBadPathName;
    }
    parts = SplitPath(path);
    for (const auto& p : parts) {
      if (p.size() > kMaxKeyName) return reg::kInvalidParameter;
    }
    return reg::kSuccess;
  }

  // -- Logging and faults -------------------------------------------------------------
  std::optional<RegStatus> Injected(const std::string& function) {
    std::optional<RegStatus> hit;
    for (auto& inj : injections) {
      if (inj.function != function) continue;
      ++inj.seen;
      if (!hit && (inj.nth == 0 || inj.seen == inj.nth)) hit = inj.status;
    }
    return hit;
  }
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
    if (hook && !inHook) {
      const auto current = hook;
      inHook = true;
      current(call);
      inHook = false;
    }
    return status;
  }

  // -- The calls ------------------------------------------------------------------------
  RegStatus Open(RegHandle hKey, const char* sub, uint32_t sam, RegHandle* out, Call& call) {
    if (out == nullptr) return reg::kInvalidParameter;
    Handle base;
    if (const RegStatus st = Resolve(hKey, base); st != reg::kSuccess) return st;
    const std::string_view path = sub != nullptr ? sub : "";
    if (path.empty() && IsRoot(hKey)) {
      *out = hKey;  // the pseudo-handle itself, nothing to close
      call.result = hKey;
      return reg::kSuccess;
    }
    *out = 0;
    std::vector<std::string> parts;
    if (const RegStatus st = ParsePath(hKey, path, parts); st != reg::kSuccess) return st;
    auto key = base.key;
    for (const auto& p : parts) {
      if (!(key = key->Child(p))) return reg::kFileNotFound;
    }
    const uint32_t granted = MapAccess(sam, key->denied);
    if ((granted & key->denied) != 0) return reg::kAccessDenied;
    *out = call.result = NewHandle(key, granted);
    return reg::kSuccess;
  }

  RegStatus Create(RegHandle hKey, const char* sub, const char* cls, uint32_t options, uint32_t sam,
                   RegHandle* out, uint32_t* disposition, Call& call) {
    if (out == nullptr) return kBadKey;
    if (sub == nullptr) return reg::kInvalidParameter;
    Handle base;
    if (const RegStatus st = Resolve(hKey, base); st != reg::kSuccess) return st;
    std::vector<std::string> parts;
    if (const RegStatus st = ParsePath(hKey, sub, parts); st != reg::kSuccess) return st;
    const bool wantVolatile = (options & kOptionVolatile) != 0;
    // Check the whole path before making anything, so a refusal leaves no level behind.
    auto key = base.key;
    size_t existing = 0;
    for (; existing < parts.size(); ++existing) {
      auto next = key->Child(parts[existing]);
      if (!next) break;
      key = next;
    }
    const bool createsAny = existing < parts.size();
    if (createsAny) {
      if ((key->denied & kCreateSubKey) != 0) return reg::kAccessDenied;
      if (key->isVolatile && !wantVolatile) return kChildMustBeVolatile;
    }
    const uint32_t granted = MapAccess(sam, key->denied);
    if (!createsAny && (granted & key->denied) != 0) return reg::kAccessDenied;
    for (size_t i = existing; i < parts.size(); ++i) {
      key = AddChild(*key, parts[i]);
      key->isVolatile = wantVolatile;
    }
    if (createsAny && cls != nullptr) key->className = cls;
    if (disposition != nullptr) *disposition = createsAny ? kCreatedNew : kOpenedExisting;
    *out = call.result = NewHandle(key, granted);
    return reg::kSuccess;
  }

  RegStatus DeleteKey(RegHandle hKey, const char* sub) {
    if (sub == nullptr) return reg::kInvalidParameter;
    Handle base;
    if (const RegStatus st = Resolve(hKey, base); st != reg::kSuccess) return st;
    std::vector<std::string> parts;
    if (const RegStatus st = ParsePath(hKey, sub, parts); st != reg::kSuccess) return st;
    auto key = base.key;
    for (const auto& p : parts) {
      if (!(key = key->Child(p))) return reg::kFileNotFound;
    }
    // A root has no parent to leave; a key with subkeys cannot be deleted.
    if (key->parent == nullptr || (key->denied & kDelete) != 0 || !key->children.empty()) {
      return reg::kAccessDenied;
    }
    Key* parent = key->parent;
    key->deleted = true;
    key->parent = nullptr;
    parent->children.erase(Fold(key->name));
    Touch(*parent);
    return reg::kSuccess;
  }

  RegStatus QueryValue(RegHandle hKey, const char* name, uint32_t* type, uint8_t* data,
                       uint32_t* cb) {
    Handle h;
    if (const RegStatus st = ResolveFor(hKey, kQueryValue, h); st != reg::kSuccess) return st;
    if (data != nullptr && cb == nullptr) return reg::kInvalidParameter;
    const Value* v = h.key->FindValue(name != nullptr ? name : "");
    if (v == nullptr) {
      if (data == nullptr && cb != nullptr) *cb = 0;
      return reg::kFileNotFound;
    }
    if (type != nullptr) *type = v->type;
    if (cb == nullptr) return reg::kSuccess;
    const auto size = static_cast<uint32_t>(v->data.size());
    if (data == nullptr) {
      *cb = size;
      return reg::kSuccess;
    }
    if (*cb < size) {
      *cb = size;  // the buffer stays as it was
      return reg::kMoreData;
    }
    if (size > 0) std::memcpy(data, v->data.data(), size);
    // Windows terminates a string stored without its NUL when there is room,
    // without counting the terminator.
    if (IsStringType(v->type) && size > 0 && v->data.back() != 0 && *cb > size) data[size] = 0;
    *cb = size;
    return reg::kSuccess;
  }

  RegStatus SetValue(RegHandle hKey, const char* name, uint32_t type, const uint8_t* data,
                     uint32_t cb) {
    Handle h;
    if (const RegStatus st = ResolveFor(hKey, kSetValue, h); st != reg::kSuccess) return st;
    const std::string_view n = name != nullptr ? name : "";
    if (n.size() > kMaxValueName) return reg::kInvalidParameter;
    if (data == nullptr && cb > 0) return kNoAccess;
    // For a string type whose counted data does not end in NUL, Windows (NT) looks at
    // the byte after it and, when that is NUL, stores it too: callers that count an
    // ANSI string without its terminator still get one stored. Like Windows this
    // reads one byte past cbData, so a caller must own that byte (ASan says if not).
    uint32_t count = cb;
    if (IsStringType(type) && data != nullptr && cb > 0 && data[cb - 1] != 0 && data[cb] == 0) {
      ++count;
    }
    std::vector<uint8_t> bytes(data, data + count);
    StoreValue(*h.key, std::string(n), type, std::move(bytes));
    Touch(*h.key);
    return reg::kSuccess;
  }

  RegStatus DeleteValue(RegHandle hKey, const char* name) {
    Handle h;
    if (const RegStatus st = ResolveFor(hKey, kSetValue, h); st != reg::kSuccess) return st;
    const std::u16string f = Fold(name != nullptr ? name : "");
    auto& vals = h.key->values;
    const auto it =
        std::find_if(vals.begin(), vals.end(), [&](const Value& v) { return Fold(v.name) == f; });
    if (it == vals.end()) return reg::kFileNotFound;
    vals.erase(it);
    Touch(*h.key);
    return reg::kSuccess;
  }

  // A name or class that does not fit (with its NUL) makes the call answer 234 and
  // copy nothing, leaving the lengths as passed; the class is checked only when both
  // lpClass and lpcchClass are given (Wine's kernelbase does the same).
  RegStatus EnumKey(RegHandle hKey, uint32_t index, char* name, uint32_t* cchName, char* cls,
                    uint32_t* cchClass, RegFileTime* ft) {
    Handle h;
    if (const RegStatus st = ResolveFor(hKey, kEnumerateSubKeys, h); st != reg::kSuccess) {
      return st;
    }
    if (name == nullptr || cchName == nullptr) return reg::kInvalidParameter;
    if (index >= h.key->children.size()) return reg::kNoMoreItems;
    const Key& child =
        *std::next(h.key->children.begin(), static_cast<std::ptrdiff_t>(index))->second;
    if (ft != nullptr) *ft = child.written;
    const bool classChecked = cls != nullptr && cchClass != nullptr;
    if (child.name.size() >= *cchName || (classChecked && child.className.size() >= *cchClass)) {
      return reg::kMoreData;
    }
    CopyOut(child.name, name);
    *cchName = static_cast<uint32_t>(child.name.size());
    if (cchClass != nullptr) {
      *cchClass = static_cast<uint32_t>(child.className.size());
      if (cls != nullptr) CopyOut(child.className, cls);
    }
    return reg::kSuccess;
  }

  // Windows answers 234 when the name (with its NUL) or the data does not fit, gives
  // the data size and leaves the name length as passed. Some Windows versions then
  // still write a truncated name and the data; the stand-in copies nothing, as XP does.
  RegStatus EnumValue(RegHandle hKey, uint32_t index, char* name, uint32_t* cchName, uint32_t* type,
                      uint8_t* data, uint32_t* cb) {
    Handle h;
    if (const RegStatus st = ResolveFor(hKey, kQueryValue, h); st != reg::kSuccess) return st;
    if (name == nullptr || cchName == nullptr) return reg::kInvalidParameter;
    if (data != nullptr && cb == nullptr) return reg::kInvalidParameter;
    if (index >= h.key->values.size()) return reg::kNoMoreItems;
    const Value& v = h.key->values[index];
    const auto size = static_cast<uint32_t>(v.data.size());
    if (type != nullptr) *type = v.type;
    const bool nameFits = v.name.size() < *cchName;
    const bool dataFits = data == nullptr || *cb >= size;
    if (cb != nullptr) *cb = size;
    if (!nameFits || !dataFits) return reg::kMoreData;
    CopyOut(v.name, name);
    *cchName = static_cast<uint32_t>(v.name.size());
    if (data != nullptr && size > 0) std::memcpy(data, v.data.data(), size);
    return reg::kSuccess;
  }

  RegStatus Connect(const char* machine, RegHandle hKey, RegHandle* out, Call& call) {
    if (out == nullptr) return reg::kInvalidParameter;
    if (!IsRoot(hKey)) return reg::kInvalidHandle;
    const std::string bare = StripMachinePrefix(machine != nullptr ? machine : "");
    const Computer* c = nullptr;
    if (bare.empty() || SameName(bare, localName)) {
      c = &local;
    } else if (const auto it = remote.find(Fold(bare)); it != remote.end()) {
      // Another computer serves only these roots.
      if (hKey != reg::kLocalMachine && hKey != reg::kUsers && hKey != reg::kPerformanceData) {
        return reg::kInvalidHandle;
      }
      c = &it->second;
    } else {
      return reg::kBadNetPath;
    }
    const auto& root = c->roots[RootIndex(hKey)];
    *out = call.result = NewHandle(root, reg::kKeyAllAccess & ~root->denied);
    return reg::kSuccess;
  }

  RegStatus Close(RegHandle hKey) {
    if (IsRoot(hKey)) return reg::kSuccess;
    return handles.erase(hKey) == 1 ? reg::kSuccess : reg::kInvalidHandle;
  }

  // One level of %NAME% expansion; unknown or unterminated references stay as written.
  std::string Expand(std::string_view src) const {
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

  uint32_t ExpandInto(const char* src, char* dst, uint32_t size) const {
    if (src == nullptr) {
      if (dst != nullptr && size > 0) dst[0] = '\0';
      return 1;
    }
    const std::string text = Expand(src);
    const auto len = static_cast<uint32_t>(text.size());
    // The ANSI function wants one byte more than the result and its NUL, and
    // asks for that much when the buffer is short. (Windows empties lpDst even when
    // nSize is 0; the stand-in does not write into a buffer said to have no room.)
    if (size < len + 2) {
      if (dst != nullptr && size > 0) dst[0] = '\0';
      return len + 2;
    }
    CopyOut(text, dst);
    return len + 1;
  }
};

// ---- RegistryApi ---------------------------------------------------------------------

namespace {
FakeRegistry::Call NewCall(const char* function, RegHandle key, const char* name) {
  FakeRegistry::Call c;
  c.function = function;
  c.key = key;
  c.nameIsNull = name == nullptr;
  if (name != nullptr) c.name = name;
  return c;
}
}  // namespace

FakeRegistry::FakeRegistry(std::string localName) : impl_(std::make_unique<Impl>()) {
  impl_->localName = StripMachinePrefix(std::move(localName));
}

FakeRegistry::~FakeRegistry() = default;

RegStatus FakeRegistry::RegOpenKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t ulOptions,
                                      uint32_t samDesired, RegHandle* phkResult) {
  Call c = NewCall("RegOpenKeyExA", hKey, lpSubKey);
  c.options = ulOptions;
  c.access = samDesired;
  return impl_->Run(std::move(c), [&](Call& call) {
    return impl_->Open(hKey, lpSubKey, samDesired, phkResult, call);
  });
}

RegStatus FakeRegistry::RegQueryValueExA(RegHandle hKey, const char* lpValueName,
                                         uint32_t* lpReserved, uint32_t* lpType, uint8_t* lpData,
                                         uint32_t* lpcbData) {
  Call c = NewCall("RegQueryValueExA", hKey, lpValueName);
  c.size = lpcbData != nullptr ? *lpcbData : 0;
  c.dataGiven = lpData != nullptr;
  return impl_->Run(std::move(c), [&](Call&) {
    if (lpReserved != nullptr) return reg::kInvalidParameter;
    return impl_->QueryValue(hKey, lpValueName, lpType, lpData, lpcbData);
  });
}

RegStatus FakeRegistry::RegSetValueExA(RegHandle hKey, const char* lpValueName, uint32_t,
                                       uint32_t dwType, const uint8_t* lpData, uint32_t cbData) {
  Call c = NewCall("RegSetValueExA", hKey, lpValueName);
  c.type = dwType;
  c.size = cbData;
  c.dataGiven = lpData != nullptr;
  if (lpData != nullptr) c.data.assign(lpData, lpData + cbData);
  return impl_->Run(std::move(c), [&](Call&) {
    return impl_->SetValue(hKey, lpValueName, dwType, lpData, cbData);
  });
}

RegStatus FakeRegistry::RegCreateKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t,
                                        char* lpClass, uint32_t dwOptions, uint32_t samDesired,
                                        const RegSecurityAttributes* lpSecurityAttributes,
                                        RegHandle* phkResult, uint32_t* lpdwDisposition) {
  Call c = NewCall("RegCreateKeyExA", hKey, lpSubKey);
  c.options = dwOptions;
  c.access = samDesired;
  c.classGiven = lpClass != nullptr;
  c.securityGiven = lpSecurityAttributes != nullptr;
  if (lpSecurityAttributes != nullptr) c.security = *lpSecurityAttributes;
  return impl_->Run(std::move(c), [&](Call& call) {
    return impl_->Create(hKey, lpSubKey, lpClass, dwOptions, samDesired, phkResult, lpdwDisposition,
                         call);
  });
}

RegStatus FakeRegistry::RegDeleteKeyA(RegHandle hKey, const char* lpSubKey) {
  return impl_->Run(NewCall("RegDeleteKeyA", hKey, lpSubKey),
                    [&](Call&) { return impl_->DeleteKey(hKey, lpSubKey); });
}

RegStatus FakeRegistry::RegDeleteValueA(RegHandle hKey, const char* lpValueName) {
  return impl_->Run(NewCall("RegDeleteValueA", hKey, lpValueName),
                    [&](Call&) { return impl_->DeleteValue(hKey, lpValueName); });
}

RegStatus FakeRegistry::RegEnumKeyExA(RegHandle hKey, uint32_t dwIndex, char* lpName,
                                      uint32_t* lpcchName, uint32_t* lpReserved, char* lpClass,
                                      uint32_t* lpcchClass, RegFileTime* lpftLastWriteTime) {
  Call c = NewCall("RegEnumKeyExA", hKey, nullptr);
  c.index = dwIndex;
  c.size = lpcchName != nullptr ? *lpcchName : 0;
  c.classGiven = lpClass != nullptr;
  c.classSize = lpcchClass != nullptr ? *lpcchClass : 0;
  return impl_->Run(std::move(c), [&](Call&) {
    if (lpReserved != nullptr) return reg::kInvalidParameter;
    return impl_->EnumKey(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
  });
}

RegStatus FakeRegistry::RegEnumValueA(RegHandle hKey, uint32_t dwIndex, char* lpValueName,
                                      uint32_t* lpcchValueName, uint32_t* lpReserved,
                                      uint32_t* lpType, uint8_t* lpData, uint32_t* lpcbData) {
  Call c = NewCall("RegEnumValueA", hKey, nullptr);
  c.index = dwIndex;
  c.size = lpcchValueName != nullptr ? *lpcchValueName : 0;
  c.dataSize = lpcbData != nullptr ? *lpcbData : 0;
  c.dataGiven = lpData != nullptr;
  return impl_->Run(std::move(c), [&](Call&) {
    if (lpReserved != nullptr) return reg::kInvalidParameter;
    return impl_->EnumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
  });
}

RegStatus FakeRegistry::RegConnectRegistryA(const char* lpMachineName, RegHandle hKey,
                                            RegHandle* phkResult) {
  return impl_->Run(NewCall("RegConnectRegistryA", hKey, lpMachineName), [&](Call& call) {
    return impl_->Connect(lpMachineName, hKey, phkResult, call);
  });
}

RegStatus FakeRegistry::RegCloseKey(RegHandle hKey) {
  return impl_->Run(NewCall("RegCloseKey", hKey, nullptr),
                    [&](Call&) { return impl_->Close(hKey); });
}

uint32_t FakeRegistry::ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, uint32_t nSize) {
  Call c = NewCall("ExpandEnvironmentStringsA", 0, lpSrc);
  c.size = nSize;
  c.dataGiven = lpDst != nullptr;
  return static_cast<uint32_t>(impl_->Run(std::move(c), [&](Call&) {
    return static_cast<RegStatus>(impl_->ExpandInto(lpSrc, lpDst, nSize));
  }));
}

std::string FakeRegistry::ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char16_t u : text) out.push_back(ToCp1252(u));
  return out;
}

std::u16string FakeRegistry::FromAnsi(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (const char b : bytes) out.push_back(ToUnicode(static_cast<unsigned char>(b)));
  return out;
}

// ---- Set-up, observation, faults -------------------------------------------------------

void FakeRegistry::AddComputer(const std::string& name) {
  const std::string bare = StripMachinePrefix(name);
  if (bare.empty() || SameName(bare, impl_->localName)) return;
  impl_->remote.try_emplace(Fold(bare));
}

void FakeRegistry::MakeKey(RegHandle root, const std::string& path, const std::string& className,
                           const std::string& computer) {
  impl_->MakePath(root, path, computer)->className = className;
}

void FakeRegistry::PutValue(RegHandle root, const std::string& path, const std::string& name,
                            uint32_t type, std::vector<uint8_t> data, const std::string& computer) {
  auto key = impl_->MakePath(root, path, computer);
  Impl::StoreValue(*key, name, type, std::move(data));
}

void FakeRegistry::DenyAccess(RegHandle root, const std::string& path, uint32_t deniedRights,
                              const std::string& computer) {
  impl_->MakePath(root, path, computer)->denied = deniedRights;
}

void FakeRegistry::SetEnvironment(const std::string& name, const std::string& value) {
  impl_->environment[Fold(name)] = {name, value};
}

int FakeRegistry::OpenHandleCount() const { return static_cast<int>(impl_->handles.size()); }

const std::vector<FakeRegistry::Call>& FakeRegistry::Calls() const { return impl_->calls; }

std::vector<FakeRegistry::Call> FakeRegistry::CallsTo(const std::string& function) const {
  std::vector<Call> out;
  for (const auto& c : impl_->calls) {
    if (c.function == function) out.push_back(c);
  }
  return out;
}

void FakeRegistry::ClearCalls() { impl_->calls.clear(); }

std::optional<FakeRegistry::StoredValue> FakeRegistry::GetStored(
    RegHandle root, const std::string& path, const std::string& name,
    const std::string& computer) const {
  const auto key = impl_->FindPath(root, path, computer);
  if (!key) return std::nullopt;
  const Impl::Value* v = key->FindValue(name);
  if (v == nullptr) return std::nullopt;
  return StoredValue{v->type, v->data};
}

bool FakeRegistry::HasKey(RegHandle root, const std::string& path,
                          const std::string& computer) const {
  return impl_->FindPath(root, path, computer) != nullptr;
}

void FakeRegistry::InjectStatus(const std::string& function, RegStatus status, int nth) {
  impl_->injections.push_back(Impl::Injection{function, status, nth, 0});
}

void FakeRegistry::SetAfterCallHook(std::function<void(const Call&)> hook) {
  impl_->hook = std::move(hook);
}

void FakeRegistry::ClearFaults() {
  impl_->injections.clear();
  impl_->hook = nullptr;
}

// The stand-in's key tree and values: opening, creating and deleting keys, reading,
// writing and deleting values, connecting to another computer, and the set-up and
// look-up helpers tests use without a call.

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "tests/standin/FakeRegistryImpl.h"

using namespace fake;

namespace {

constexpr uint32_t kOptionVolatile = 1;
constexpr uint32_t kCreatedNew = 1;
constexpr uint32_t kOpenedExisting = 2;

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

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

}  // namespace

// ---- The tree ------------------------------------------------------------------------

const FakeRegistry::Impl::Computer* FakeRegistry::Impl::FindComputer(
    const std::string& name) const {
  const std::string bare = StripMachinePrefix(name);
  if (bare.empty() || SameName(bare, localName)) return &local;
  const auto it = remote.find(Fold(bare));
  return it == remote.end() ? nullptr : &it->second;
}

std::shared_ptr<FakeRegistry::Impl::Key> FakeRegistry::Impl::RootOf(const Computer& c,
                                                                    RegHandle root) {
  if (!IsRoot(root)) throw std::invalid_argument("FakeRegistry: not a predefined root");
  return c.roots[RootIndex(root)];
}

void FakeRegistry::Impl::Touch(Key& k) {
  ++clock;
  k.written = RegFileTime{clock, 0x01D00000u};
}

std::shared_ptr<FakeRegistry::Impl::Key> FakeRegistry::Impl::AddChild(Key& parent,
                                                                      const std::string& name) {
  auto child = std::make_shared<Key>();
  child->name = name;
  child->parent = &parent;
  Touch(*child);
  parent.children.emplace(Fold(name), child);
  Touch(parent);
  return child;
}

std::shared_ptr<FakeRegistry::Impl::Key> FakeRegistry::Impl::KeyAt(RegHandle root,
                                                                   const std::string& path,
                                                                   const std::string& computer,
                                                                   bool make) {
  const Computer* c = FindComputer(computer);
  if (c == nullptr && make)
    throw std::invalid_argument("FakeRegistry: unknown computer " + computer);
  if (c == nullptr) return nullptr;
  auto key = RootOf(*c, root);
  for (const auto& part : SplitPath(path)) {
    auto next = key->Child(Fold(part));
    if (!next && !make) return nullptr;
    key = next ? next : AddChild(*key, part);
  }
  return key;
}

void FakeRegistry::Impl::StoreValue(Key& key, const std::string& name, uint32_t type,
                                    std::vector<uint8_t> data) {
  std::u16string folded = Fold(name);
  if (Value* v = key.FindValue(folded)) {
    v->type = type;
    v->data = std::move(data);
  } else {
    key.values.push_back(Value{name, std::move(folded), type, std::move(data)});
  }
}

// ---- Handles -------------------------------------------------------------------------

RegHandle FakeRegistry::Impl::NewHandle(std::shared_ptr<Key> key, uint32_t granted) {
  const RegHandle h = nextHandle;
  nextHandle += 4;  // never reused: a closed handle stays invalid
  handles.emplace(h, Handle{std::move(key), granted});
  return h;
}

RegStatus FakeRegistry::Impl::Resolve(RegHandle h, Handle& out, uint32_t right) const {
  if (IsRoot(h)) {
    const auto& root = local.roots[RootIndex(h)];
    out = Handle{root, reg::kKeyAllAccess & ~root->denied};
  } else if (const auto it = handles.find(h); it != handles.end()) {
    out = it->second;
    if (out.key->deleted) return reg::kKeyDeleted;
  } else {
    return reg::kInvalidHandle;
  }
  return (out.granted & right) == right ? reg::kSuccess : reg::kAccessDenied;
}

RegStatus FakeRegistry::Impl::ParsePath(RegHandle h, std::string_view path,
                                        std::vector<std::string>& parts) const {
  if (!path.empty() && path[0] == '\\') {
    // Only HKEY_CLASSES_ROOT takes one leading separator.
    if (h != reg::kClassesRoot) return reg::kBadPathName;
    path.remove_prefix(1);
    if (!path.empty() && path[0] == '\\') return reg::kBadPathName;
  }
  parts = SplitPath(path);
  for (const auto& p : parts) {
    if (NameLength(p) > kMaxKeyName) return reg::kInvalidParameter;
  }
  return reg::kSuccess;
}

RegStatus FakeRegistry::Impl::Locate(RegHandle h, std::string_view path, Handle& base,
                                     std::vector<std::string>& parts) const {
  const RegStatus st = Resolve(h, base);
  return st != reg::kSuccess ? st : ParsePath(h, path, parts);
}

// ---- RegistryApi: keys ---------------------------------------------------------------

FakeRegistry::FakeRegistry(std::string localName, uint32_t codePage)
    : impl_(std::make_unique<Impl>(std::move(localName), codePage)) {}

FakeRegistry::~FakeRegistry() = default;

RegStatus FakeRegistry::RegOpenKeyExA(RegHandle hKey, const char* lpSubKey, uint32_t ulOptions,
                                      uint32_t samDesired, RegHandle* phkResult) {
  Call c = NewCall("RegOpenKeyExA", hKey, lpSubKey);
  c.options = ulOptions;
  c.access = samDesired;
  return impl_->Run(std::move(c), [&](Call& call) {
    if (phkResult == nullptr) return reg::kInvalidParameter;
    Impl::Handle base;
    if (const RegStatus st = impl_->Resolve(hKey, base); st != reg::kSuccess) return st;
    const std::string_view path = lpSubKey != nullptr ? lpSubKey : "";
    if (path.empty() && IsRoot(hKey)) {
      *phkResult = call.result = hKey;  // the pseudo-handle itself, nothing to close
      return reg::kSuccess;
    }
    *phkResult = 0;
    std::vector<std::string> parts;
    if (const RegStatus st = impl_->ParsePath(hKey, path, parts); st != reg::kSuccess) return st;
    auto key = base.key;
    for (const auto& p : parts) {
      if (!(key = key->Child(impl_->Fold(p)))) return reg::kFileNotFound;
    }
    const uint32_t granted = MapAccess(samDesired, key->denied);
    if ((granted & key->denied) != 0) return reg::kAccessDenied;
    *phkResult = call.result = impl_->NewHandle(key, granted);
    return reg::kSuccess;
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
    if (phkResult == nullptr) return kBadKey;
    if (lpSubKey == nullptr) return reg::kInvalidParameter;
    Impl::Handle base;
    std::vector<std::string> parts;
    if (const RegStatus st = impl_->Locate(hKey, lpSubKey, base, parts); st != reg::kSuccess)
      return st;
    const bool wantVolatile = (dwOptions & kOptionVolatile) != 0;
    // Check the whole path before making anything, so a refusal leaves no level behind.
    auto key = base.key;
    size_t existing = 0;
    for (; existing < parts.size(); ++existing) {
      auto next = key->Child(impl_->Fold(parts[existing]));
      if (!next) break;
      key = next;
    }
    const bool createsAny = existing < parts.size();
    if (createsAny) {
      if ((key->denied & kCreateSubKey) != 0) return reg::kAccessDenied;
      if (key->isVolatile && !wantVolatile) return kChildMustBeVolatile;
    }
    const uint32_t granted = MapAccess(samDesired, key->denied);
    if (!createsAny && (granted & key->denied) != 0) return reg::kAccessDenied;
    for (size_t i = existing; i < parts.size(); ++i) {
      key = impl_->AddChild(*key, parts[i]);
      key->isVolatile = wantVolatile;
    }
    if (createsAny && lpClass != nullptr) key->className = lpClass;
    if (lpdwDisposition != nullptr) *lpdwDisposition = createsAny ? kCreatedNew : kOpenedExisting;
    *phkResult = call.result = impl_->NewHandle(key, granted);
    return reg::kSuccess;
  });
}

RegStatus FakeRegistry::RegDeleteKeyA(RegHandle hKey, const char* lpSubKey) {
  return impl_->Run(NewCall("RegDeleteKeyA", hKey, lpSubKey), [&](Call&) {
    if (lpSubKey == nullptr) return reg::kInvalidParameter;
    Impl::Handle base;
    std::vector<std::string> parts;
    if (const RegStatus st = impl_->Locate(hKey, lpSubKey, base, parts); st != reg::kSuccess)
      return st;
    auto key = base.key;
    for (const auto& p : parts) {
      if (!(key = key->Child(impl_->Fold(p)))) return reg::kFileNotFound;
    }
    // A root has no parent to leave; a key with subkeys cannot be deleted.
    if (key->parent == nullptr || (key->denied & kDelete) != 0 || !key->children.empty()) {
      return reg::kAccessDenied;
    }
    Impl::Key* parent = key->parent;
    key->deleted = true;
    key->parent = nullptr;
    parent->children.erase(impl_->Fold(key->name));
    impl_->Touch(*parent);
    return reg::kSuccess;
  });
}

// ---- RegistryApi: values -------------------------------------------------------------

RegStatus FakeRegistry::RegQueryValueExA(RegHandle hKey, const char* lpValueName,
                                         uint32_t* lpReserved, uint32_t* lpType, uint8_t* lpData,
                                         uint32_t* lpcbData) {
  Call c = NewCall("RegQueryValueExA", hKey, lpValueName);
  c.size = lpcbData != nullptr ? *lpcbData : 0;
  c.dataGiven = lpData != nullptr;
  return impl_->Run(std::move(c), [&](Call&) {
    if (lpReserved != nullptr) return reg::kInvalidParameter;
    Impl::Handle h;
    if (const RegStatus st = impl_->Resolve(hKey, h, kQueryValue); st != reg::kSuccess) return st;
    if (lpData != nullptr && lpcbData == nullptr) return reg::kInvalidParameter;
    const Impl::Value* v = h.key->FindValue(impl_->Fold(lpValueName != nullptr ? lpValueName : ""));
    if (v == nullptr) {
      if (lpData == nullptr && lpcbData != nullptr) *lpcbData = 0;
      return reg::kFileNotFound;
    }
    if (lpType != nullptr) *lpType = v->type;
    if (lpcbData == nullptr) return reg::kSuccess;
    // Data is held in the code page's bytes, so its size is the ANSI byte count.
    const auto size = static_cast<uint32_t>(v->data.size());
    if (lpData == nullptr) {
      *lpcbData = size;
      return reg::kSuccess;
    }
    if (*lpcbData < size) {
      *lpcbData = size;  // the buffer stays as it was
      return reg::kMoreData;
    }
    if (size > 0) std::memcpy(lpData, v->data.data(), size);
    // Windows terminates a string stored without its NUL when there is room,
    // without counting the terminator.
    if (IsStringType(v->type) && size > 0 && v->data.back() != 0 && *lpcbData > size) {
      lpData[size] = 0;
    }
    *lpcbData = size;
    return reg::kSuccess;
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
    Impl::Handle h;
    if (const RegStatus st = impl_->Resolve(hKey, h, kSetValue); st != reg::kSuccess) return st;
    const std::string_view name = lpValueName != nullptr ? lpValueName : "";
    if (impl_->NameLength(name) > kMaxValueName) return reg::kInvalidParameter;
    if (lpData == nullptr && cbData > 0) return kNoAccess;
    // For a string type whose counted data does not end in NUL, Windows (NT) looks at
    // the byte after it and, when that is NUL, stores it too: callers that count an
    // ANSI string without its terminator still get one stored. Like Windows this
    // reads one byte past cbData, so a caller must own that byte (ASan says if not).
    uint32_t count = cbData;
    if (IsStringType(dwType) && lpData != nullptr && cbData > 0 && lpData[cbData - 1] != 0 &&
        lpData[cbData] == 0) {
      ++count;
    }
    impl_->StoreValue(*h.key, std::string(name), dwType,
                      std::vector<uint8_t>(lpData, lpData + count));
    impl_->Touch(*h.key);
    return reg::kSuccess;
  });
}

RegStatus FakeRegistry::RegDeleteValueA(RegHandle hKey, const char* lpValueName) {
  return impl_->Run(NewCall("RegDeleteValueA", hKey, lpValueName), [&](Call&) {
    Impl::Handle h;
    if (const RegStatus st = impl_->Resolve(hKey, h, kSetValue); st != reg::kSuccess) return st;
    const std::u16string f = impl_->Fold(lpValueName != nullptr ? lpValueName : "");
    auto& vals = h.key->values;
    const auto it =
        std::find_if(vals.begin(), vals.end(), [&](const Impl::Value& v) { return v.folded == f; });
    if (it == vals.end()) return reg::kFileNotFound;
    vals.erase(it);
    impl_->Touch(*h.key);
    return reg::kSuccess;
  });
}

// ---- RegistryApi: other computers and closing ----------------------------------------

RegStatus FakeRegistry::RegConnectRegistryA(const char* lpMachineName, RegHandle hKey,
                                            RegHandle* phkResult) {
  return impl_->Run(NewCall("RegConnectRegistryA", hKey, lpMachineName), [&](Call& call) {
    if (phkResult == nullptr) return reg::kInvalidParameter;
    if (!IsRoot(hKey)) return reg::kInvalidHandle;
    const std::string given = lpMachineName != nullptr ? lpMachineName : "";
    const std::string bare = StripMachinePrefix(given);
    const Impl::Computer* computer = impl_->FindComputer(given);
    if (computer == nullptr) return reg::kBadNetPath;
    // A computer reached by its name, this one too, serves only these roots (Windows
    // goes through the remote registry service whenever a name is given; Wine does
    // not check).
    if (!bare.empty() && hKey != reg::kLocalMachine && hKey != reg::kUsers &&
        hKey != reg::kPerformanceData) {
      return reg::kInvalidHandle;
    }
    const auto& root = computer->roots[RootIndex(hKey)];
    *phkResult = call.result = impl_->NewHandle(root, reg::kKeyAllAccess & ~root->denied);
    return reg::kSuccess;
  });
}

RegStatus FakeRegistry::RegCloseKey(RegHandle hKey) {
  return impl_->Run(NewCall("RegCloseKey", hKey, nullptr), [&](Call&) {
    if (IsRoot(hKey)) return reg::kSuccess;
    return impl_->handles.erase(hKey) == 1 ? reg::kSuccess : reg::kInvalidHandle;
  });
}

// ---- Set-up and look-up without a call -------------------------------------------------

void FakeRegistry::AddComputer(const std::string& name) {
  const std::string bare = StripMachinePrefix(name);
  if (bare.empty() || impl_->SameName(bare, impl_->localName)) return;
  impl_->remote.try_emplace(impl_->Fold(bare));
}

void FakeRegistry::MakeKey(RegHandle root, const std::string& path, const std::string& className,
                           const std::string& computer) {
  impl_->KeyAt(root, path, computer, true)->className = className;
}

void FakeRegistry::PutValue(RegHandle root, const std::string& path, const std::string& name,
                            uint32_t type, std::vector<uint8_t> data, const std::string& computer) {
  impl_->StoreValue(*impl_->KeyAt(root, path, computer, true), name, type, std::move(data));
}

void FakeRegistry::DenyAccess(RegHandle root, const std::string& path, uint32_t deniedRights,
                              const std::string& computer) {
  impl_->KeyAt(root, path, computer, true)->denied = deniedRights;
}

std::optional<FakeRegistry::StoredValue> FakeRegistry::GetStored(
    RegHandle root, const std::string& path, const std::string& name,
    const std::string& computer) const {
  const auto key = impl_->KeyAt(root, path, computer, false);
  const Impl::Value* v = key ? key->FindValue(impl_->Fold(name)) : nullptr;
  return v != nullptr ? std::optional(StoredValue{v->type, v->data}) : std::nullopt;
}

bool FakeRegistry::HasKey(RegHandle root, const std::string& path,
                          const std::string& computer) const {
  return impl_->KeyAt(root, path, computer, false) != nullptr;
}

// The stand-in's enumeration of subkeys and values: RegEnumKeyExA lists subkeys in
// the order of their upper-cased names, RegEnumValueA lists values in the order
// they were first set, as Windows does. Lengths are counted in the code page's bytes.

#include <cstring>
#include <iterator>
#include <utility>

#include "tests/standin/FakeRegistryImpl.h"

using namespace fake;

// A name or class that does not fit (with its NUL) makes the call answer 234 and
// copy nothing, leaving the lengths as passed; the class is checked only when both
// lpClass and lpcchClass are given (Wine's kernelbase does the same).
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
    Impl::Handle h;
    if (const RegStatus st = impl_->Resolve(hKey, h, kEnumerateSubKeys); st != reg::kSuccess) {
      return st;
    }
    if (lpName == nullptr || lpcchName == nullptr) return reg::kInvalidParameter;
    if (dwIndex >= h.key->children.size()) return reg::kNoMoreItems;
    const Impl::Key& child =
        *std::next(h.key->children.begin(), static_cast<std::ptrdiff_t>(dwIndex))->second;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = child.written;
    const bool classChecked = lpClass != nullptr && lpcchClass != nullptr;
    if (child.name.size() >= *lpcchName ||
        (classChecked && child.className.size() >= *lpcchClass)) {
      return reg::kMoreData;
    }
    CopyOut(child.name, lpName);
    *lpcchName = static_cast<uint32_t>(child.name.size());
    if (lpcchClass != nullptr) {
      *lpcchClass = static_cast<uint32_t>(child.className.size());
      if (lpClass != nullptr) CopyOut(child.className, lpClass);
    }
    return reg::kSuccess;
  });
}

// Windows answers 234 when the name (with its NUL) or the data does not fit and gives
// the data size. When only the data does not fit, the name, its length and the data
// buffer are all left as passed (advapi32's registry.c test_enum_value, "overflow
// data"; RegEnumValueW, unlike the A function, does write the name there). When the
// name does not fit, newer Windows still write a truncated name and the data; the
// stand-in copies nothing, as XP does.
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
    Impl::Handle h;
    if (const RegStatus st = impl_->Resolve(hKey, h, kQueryValue); st != reg::kSuccess) {
      return st;
    }
    if (lpValueName == nullptr || lpcchValueName == nullptr) return reg::kInvalidParameter;
    if (lpData != nullptr && lpcbData == nullptr) return reg::kInvalidParameter;
    if (dwIndex >= h.key->values.size()) return reg::kNoMoreItems;
    const Impl::Value& v = h.key->values[dwIndex];
    const auto size = static_cast<uint32_t>(v.data.size());
    if (lpType != nullptr) *lpType = v.type;
    const bool nameFits = v.name.size() < *lpcchValueName;
    const bool dataFits = lpData == nullptr || *lpcbData >= size;
    if (lpcbData != nullptr) *lpcbData = size;
    if (!nameFits || !dataFits) return reg::kMoreData;
    CopyOut(v.name, lpValueName);
    *lpcchValueName = static_cast<uint32_t>(v.name.size());
    if (lpData != nullptr && size > 0) std::memcpy(lpData, v.data.data(), size);
    return reg::kSuccess;
  });
}

// The value decoder fed by a registry whose every answer comes from the fuzz input:
// statuses, types, byte counts and data differ from one query to the next, so the
// value can grow, shrink or change type between the first and the second query,
// and ExpandEnvironmentStringsA can answer any size. Whatever comes back, decoding
// must not read past the data received, must not crash, and must give nothing for
// a failed query.

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "tests/standin/FakeRegistry.h"
#include "registry/RegistryRoutines.h"
#include "registry/ValueCodec.h"

namespace {

// Largest size a scripted answer asks the caller to allocate. Windows keeps a value
// far below this; without a bound the fuzzer only measures the allocator.
constexpr uint32_t kMaxReported = 1u << 20;

class ScriptedRegistry final : public RegistryApi {
 public:
  explicit ScriptedRegistry(FuzzedDataProvider& in)
      : in_(in), codePage_("STANDIN", in.PickValueInArray({1252u, 932u, 65001u})) {}

  int queries = 0;
  RegStatus lastQueryStatus = -1;
  uint32_t lastType = 0;
  int opened = 0;
  int closed = 0;
  uint32_t limit = 0;  // the expansion limit last answered

  RegStatus RegOpenKeyExA(RegHandle, const char* lpSubKey, uint32_t, uint32_t,
                          RegHandle* phkResult) override {
    fuzz::Check(lpSubKey != nullptr, "open without a path");
    if (in_.ConsumeIntegralInRange<int>(0, 7) == 0) return reg::kFileNotFound;
    *phkResult = 0x1000 + opened++;
    return reg::kSuccess;
  }

  RegStatus RegQueryValueExA(RegHandle, const char* lpValueName, uint32_t* lpReserved,
                             uint32_t* lpType, uint8_t* lpData, uint32_t* lpcbData) override {
    ++queries;
    fuzz::Check(lpValueName != nullptr, "query without a value name");
    fuzz::Check(lpReserved == nullptr, "lpReserved must be null");
    fuzz::Check(lpcbData != nullptr, "query without a size");
    const uint32_t capacity = *lpcbData;

    static constexpr uint32_t kTypes[] = {
        reg::kRegNone,           reg::kRegSz,   reg::kRegExpandSz, reg::kRegBinary, reg::kRegDword,
        reg::kRegDwordBigEndian, reg::kRegLink, reg::kRegMultiSz,  reg::kRegQword};
    const uint32_t type =
        in_.ConsumeBool() ? in_.PickValueInArray(kTypes) : in_.ConsumeIntegral<uint32_t>();
    std::vector<uint8_t> data =
        in_.ConsumeBytes<uint8_t>(in_.ConsumeIntegralInRange<size_t>(0, 4096));
    static constexpr RegStatus kStatuses[] = {reg::kSuccess,       reg::kMoreData,
                                              reg::kFileNotFound,  reg::kAccessDenied,
                                              reg::kInvalidHandle, reg::kKeyDeleted};
    RegStatus status = 0;
    switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:  // as Windows answers: success when it fits, more-data when not
        status = data.size() <= capacity ? reg::kSuccess : reg::kMoreData;
        break;
      case 1:
        status = in_.PickValueInArray(kStatuses);
        break;
      case 2:
        status = in_.ConsumeIntegral<RegStatus>();
        break;
      default:
        status = reg::kSuccess;
        break;
    }
    // The reported count: the true size, or anything (a misbehaving or racing registry).
    uint32_t reported = static_cast<uint32_t>(data.size());
    if (in_.ConsumeIntegralInRange<int>(0, 3) == 0) {
      reported = in_.ConsumeIntegralInRange<uint32_t>(0, kMaxReported);
    }

    if (lpType != nullptr) *lpType = type;
    // Never more bytes than the caller said it has room for: that much Windows keeps.
    if (lpData != nullptr && status == reg::kSuccess && !data.empty()) {
      std::memcpy(lpData, data.data(), std::min<size_t>(data.size(), capacity));
    }
    *lpcbData = reported;
    lastQueryStatus = status;
    lastType = type;
    return status;
  }

  RegStatus RegCloseKey(RegHandle) override {
    ++closed;
    return reg::kSuccess;
  }

  uint32_t ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, uint32_t nSize) override {
    fuzz::Check(lpSrc != nullptr, "expansion without a source");
    fuzz::Check(limit == 0 || nSize <= limit, "a capacity above the system's limit");
    const std::string expanded = in_.ConsumeRandomLengthString(8192);
    uint32_t answer = static_cast<uint32_t>(expanded.size() + 1);
    if (in_.ConsumeIntegralInRange<int>(0, 3) == 0) {
      answer = in_.ConsumeIntegralInRange<uint32_t>(0, kMaxReported);
    }
    if (lpDst != nullptr && answer <= nSize && nSize > 0) {
      // Fits: write it, terminated only when the answer leaves room.
      const size_t n = std::min<size_t>({expanded.size(), nSize, answer});
      if (n > 0) std::memcpy(lpDst, expanded.data(), n);
      if (n < nSize) lpDst[n] = '\0';
    }
    return answer;
  }

  // XP's limit now and then: the reader must never pass a capacity above it.
  uint32_t ExpansionLimit() override {
    limit = in_.ConsumeBool() ? 32767 : 0;
    return limit;
  }

  std::string ToAnsi(std::u16string_view text) override { return codePage_.ToAnsi(text); }
  std::u16string FromAnsi(std::string_view bytes) override { return codePage_.FromAnsi(bytes); }
  std::optional<int32_t> NumberFromText(std::u16string_view) override { return std::nullopt; }

  // Not reached by the reader; answer as a registry without the key would.
  RegStatus RegSetValueExA(RegHandle, const char*, uint32_t, uint32_t, const uint8_t*,
                           uint32_t) override {
    return reg::kAccessDenied;
  }
  RegStatus RegCreateKeyExA(RegHandle, const char*, uint32_t, char*, uint32_t, uint32_t,
                            const RegSecurityAttributes*, RegHandle*, uint32_t*) override {
    return reg::kAccessDenied;
  }
  RegStatus RegDeleteKeyA(RegHandle, const char*) override { return reg::kAccessDenied; }
  RegStatus RegDeleteValueA(RegHandle, const char*) override { return reg::kAccessDenied; }
  RegStatus RegEnumKeyExA(RegHandle, uint32_t, char*, uint32_t*, uint32_t*, char*, uint32_t*,
                          RegFileTime*) override {
    return reg::kNoMoreItems;
  }
  RegStatus RegEnumValueA(RegHandle, uint32_t, char*, uint32_t*, uint32_t*, uint32_t*, uint8_t*,
                          uint32_t*) override {
    return reg::kNoMoreItems;
  }
  RegStatus RegConnectRegistryA(const char*, RegHandle, RegHandle*) override {
    return reg::kBadNetPath;
  }

 private:
  FuzzedDataProvider& in_;
  FakeRegistry codePage_;  // only its conversions are used, on one of its code pages
};

bool IsDecodedType(uint32_t type) {
  return type == reg::kRegSz || type == reg::kRegExpandSz || type == reg::kRegBinary ||
         type == reg::kRegDword || type == reg::kRegMultiSz;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const String name = fuzz::Text(in, 16);

  if (in.ConsumeBool()) {
    // The decoder alone.
    ScriptedRegistry api(in);
    const std::optional<Variant> value = codec::QueryValue(api, 0x1234, name);
    fuzz::Check(api.queries >= 1 && api.queries <= 2, "one query, or two after more-data");
    if (api.lastQueryStatus != reg::kSuccess) {
      fuzz::Check(!value.has_value(), "a failed query decoded something");
    }
    if (value) {
      fuzz::Check(IsDecodedType(api.lastType), "decoded a type outside the five");
      switch (api.lastType) {
        case reg::kRegDword:
          fuzz::Check(value->kind() == Variant::Kind::Integer, "DWORD not an integer");
          break;
        case reg::kRegBinary:
          fuzz::Check(value->kind() == Variant::Kind::Bytes, "binary not a byte array");
          fuzz::Check(value->AsBytes().Lower() == 0, "binary not indexed from 0");
          break;
        case reg::kRegMultiSz:
          fuzz::Check(value->kind() == Variant::Kind::Text, "list not text");
          fuzz::Check(!value->AsString().empty() && value->AsString()[0] != u'\0',
                      "a list with an empty first element decoded");
          break;
        default:
          fuzz::Check(value->kind() == Variant::Kind::Text, "string type not text");
          break;
      }
    }
  } else {
    // Through the class: the default comes back on failure and every key opened is closed.
    ScriptedRegistry api(in);
    RegistryRoutines routines(api);
    routines.hkey(reg::kLocalMachine);
    routines.KeyRoot(fuzz::Text(in, 8));
    routines.Subkey(fuzz::Text(in, 8));
    const Variant fallback(int32_t{-7});
    const Variant value = routines.GetRegistryValue(name, fallback);
    fuzz::Check(api.opened == api.closed, "a key was left open");
    if (api.queries == 0 || api.lastQueryStatus != reg::kSuccess || !IsDecodedType(api.lastType)) {
      fuzz::Check(value == fallback, "failure did not give the default");
    }
  }
  return 0;
}

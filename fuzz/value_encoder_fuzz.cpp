// The data encoder fed arbitrary variants (every kind; numbers including NaN, the
// infinities and values outside 32 bits; text with any UTF-16 units; byte arrays of
// several dimensions and any lower bounds; nested arrays) and arbitrary type codes.
// The bytes it produces must be exactly the conversion the type asks for, and
// WriteValue must pass exactly those bytes to RegSetValueExA, or make no call.

#include <climits>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "tests/standin/FakeRegistry.h"
#include "registry/ValueCodec.h"

namespace {

double Number(FuzzedDataProvider& in) {
  static constexpr double kSpecial[] = {0.0,
                                        -0.0,
                                        0.5,
                                        1.5,
                                        2.5,
                                        -0.5,
                                        -2147483648.5,
                                        -2147483648.0,
                                        2147483647.0,
                                        2147483647.5,
                                        2147483648.0,
                                        std::numeric_limits<double>::infinity(),
                                        -std::numeric_limits<double>::infinity(),
                                        std::numeric_limits<double>::quiet_NaN(),
                                        std::numeric_limits<double>::denorm_min(),
                                        std::numeric_limits<double>::max(),
                                        std::numeric_limits<double>::lowest()};
  if (in.ConsumeBool()) return in.PickValueInArray(kSpecial);
  // Raw bits: every NaN payload and every magnitude.
  const auto bits = in.ConsumeIntegral<uint64_t>();
  double d = 0;
  static_assert(sizeof d == sizeof bits);
  __builtin_memcpy(&d, &bits, sizeof d);
  return d;
}

std::optional<ByteArray> Bytes(FuzzedDataProvider& in) {
  const size_t dims = in.ConsumeIntegralInRange<size_t>(0, 3);
  std::vector<ByteArray::Bound> bounds;
  size_t total = dims == 0 ? 0 : 1;
  bool inRange = true;  // every upper bound must be a 32-bit index
  for (size_t i = 0; i < dims; ++i) {
    ByteArray::Bound b;
    b.lower = in.ConsumeIntegral<int32_t>();
    b.count = in.ConsumeIntegralInRange<uint32_t>(0, 16);
    total *= b.count;
    if (b.count > 0 && int64_t{b.lower} + int64_t{b.count} - 1 > INT32_MAX) inRange = false;
    bounds.push_back(b);
  }
  std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(total);
  // A short input sometimes gives fewer bytes than the bounds hold: WithBounds must refuse.
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0 && !bytes.empty()) bytes.pop_back();
  const bool fits = inRange && bytes.size() == total;
  std::optional<ByteArray> made = ByteArray::WithBounds(bounds, std::move(bytes));
  fuzz::Check(made.has_value() == fits, "WithBounds misjudged the bounds or the byte count");
  return made;
}

Variant MakeVariant(FuzzedDataProvider& in, int depth) {
  switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0:
      return Variant();
    case 1:
      return Variant::Missing();
    case 2:
      return Variant::Null();
    case 3:
      return Variant(in.ConsumeBool());
    case 4:
      return Variant(in.ConsumeIntegral<int32_t>());
    case 5:
      return Variant(Number(in));
    case 6: {
      // Text, sometimes holding a number ("  12", "1e3", "-2147483649", "&H10").
      if (in.ConsumeBool()) {
        const std::string ascii = in.ConsumeRandomLengthString(24);
        return Variant(String(ascii.begin(), ascii.end()));
      }
      return Variant(fuzz::Text(in, 64));
    }
    case 7:
      if (auto bytes = Bytes(in)) return Variant(std::move(*bytes));
      {
        // The one-dimensional constructor takes only bounds that fit (it throws otherwise).
        std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(8);
        const auto highest = static_cast<int32_t>(
            int64_t{INT32_MAX} - static_cast<int64_t>(bytes.size()) + (bytes.empty() ? 0 : 1));
        const int32_t lower = in.ConsumeIntegralInRange<int32_t>(INT32_MIN, highest);
        return Variant(ByteArray(std::move(bytes), lower));
      }
    case 8: {
      std::vector<Variant> items;
      const size_t n = depth > 2 ? 0 : in.ConsumeIntegralInRange<size_t>(0, 3);
      for (size_t i = 0; i < n; ++i) items.push_back(MakeVariant(in, depth + 1));
      return Variant(std::move(items));
    }
    default:
      return Variant(ByteArray());
  }
}

int32_t TypeCode(FuzzedDataProvider& in) {
  static constexpr int32_t kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 11, -1, 0x7FFFFFFF};
  return in.ConsumeBool() ? in.PickValueInArray(kTypes) : in.ConsumeIntegral<int32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int32_t type = TypeCode(in);
  const Variant value = MakeVariant(in, 0);

  FakeRegistry registry;
  const codec::Encoded encoded = codec::EncodeValue(registry, value, type);
  using Action = codec::Encoded::Action;

  switch (type) {
    case 1:
    case 2:
    case 7: {
      const std::optional<String> text = value.IsMissing() ? std::nullopt : value.ToText();
      if (!text) {
        fuzz::Check(encoded.action == Action::Refuse, "unconvertible text not refused");
      } else {
        fuzz::Check(encoded.action == Action::Write, "text not written");
        const std::string ansi = registry.ToAnsi(*text);
        fuzz::Check(encoded.data == std::vector<uint8_t>(ansi.begin(), ansi.end()),
                    "text bytes differ from the ANSI conversion");
      }
      break;
    }
    case 3: {
      const std::optional<ByteArray> bytes = value.ToBytes();
      if (bytes && bytes->Dimensions() == 1 && !bytes->Empty()) {
        fuzz::Check(encoded.action == Action::Write, "byte array not written");
        fuzz::Check(encoded.data == bytes->Bytes(), "binary bytes changed");
      } else {
        fuzz::Check(encoded.action == Action::Skip, "no usable byte array but not skipped");
      }
      break;
    }
    case 4: {
      const std::optional<int32_t> number = value.IsMissing() ? std::nullopt : value.ToInt32();
      if (!number) {
        fuzz::Check(encoded.action == Action::Refuse, "unconvertible number not refused");
        if (value.kind() == Variant::Kind::Double) {
          const double d = value.AsDouble();
          fuzz::Check(!(d >= -2147483648.5 && d < 2147483647.5),
                      "a double inside the 32-bit range refused");
        }
      } else {
        fuzz::Check(encoded.action == Action::Write && encoded.data.size() == 4,
                    "DWORD not 4 bytes");
        const auto bits = static_cast<uint32_t>(*number);
        for (size_t i = 0; i < 4; ++i) {
          fuzz::Check(encoded.data[i] == static_cast<uint8_t>(bits >> (8 * i)),
                      "DWORD not little-endian");
        }
        if (value.kind() == Variant::Kind::Double) {
          const double d = value.AsDouble();
          fuzz::Check(std::isfinite(d), "NaN or infinity converted to a number");
          fuzz::Check(std::fabs(d - *number) <= 0.5, "rounding off by more than a half");
        }
      }
      break;
    }
    default:
      fuzz::Check(encoded.action == Action::Skip, "unknown type not skipped");
      fuzz::Check(encoded.data.empty(), "unknown type produced data");
      break;
  }

  // The writer passes exactly the encoded bytes, or makes no call.
  registry.MakeKey(reg::kCurrentUser, "Fuzz");
  RegHandle key = 0;
  fuzz::Check(registry.RegOpenKeyExA(reg::kCurrentUser, "Fuzz", 0, reg::kKeyAllAccess, &key) ==
                  reg::kSuccess,
              "stand-in key did not open");
  registry.ClearCalls();
  const bool written = codec::WriteValue(registry, key, u"v", value, type);
  const auto sets = registry.CallsTo("RegSetValueExA");
  if (encoded.action == Action::Write) {
    fuzz::Check(sets.size() == 1, "one RegSetValueExA expected");
    fuzz::Check(sets[0].size == encoded.data.size(), "size passed differs");
    fuzz::Check(std::vector<uint8_t>(
                    sets[0].data.begin(),
                    sets[0].data.begin() + static_cast<long>(std::min<size_t>(
                                               sets[0].data.size(), sets[0].size))) == encoded.data,
                "bytes passed differ");
    fuzz::Check(written, "write to a writable key failed");
  } else {
    fuzz::Check(sets.empty(), "a call was made for skipped or refused data");
    fuzz::Check(written == (encoded.action == Action::Skip), "skip/refuse result wrong");
  }
  registry.RegCloseKey(key);
  return 0;
}

#pragma once
// Small helpers over libFuzzer's FuzzedDataProvider shared by the fuzz targets.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Variant.h"

using namespace vbreg;

namespace fuzz {

// A property the code must keep broke: report and stop so libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// UTF-16 text of up to `maxUnits` arbitrary units (lone surrogates and NULs included),
// drawn mostly from the ranges where letters fold so case clashes actually happen.
inline String Text(FuzzedDataProvider& in, size_t maxUnits) {
  const size_t units = in.ConsumeIntegralInRange<size_t>(0, maxUnits);
  String out;
  for (size_t i = 0; i < units && in.remaining_bytes() > 0; ++i) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:  // ASCII letters and digits
        out.push_back(static_cast<char16_t>(in.ConsumeIntegralInRange<int>(0x20, 0x7E)));
        break;
      case 1:  // Latin-1 and Latin Extended, Greek, Cyrillic
        out.push_back(static_cast<char16_t>(in.ConsumeIntegralInRange<int>(0x80, 0x52F)));
        break;
      default:  // anything, surrogates and specials included
        out.push_back(in.ConsumeIntegral<char16_t>());
        break;
    }
  }
  return out;
}

}  // namespace fuzz

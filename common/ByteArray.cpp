// The one constructor that throws, in an object of its own: a program that never calls
// it links none of the standard exceptions' string machinery.
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

#include "common/Variant.h"

namespace vbreg {

ByteArray::ByteArray(std::vector<uint8_t> bytes, int32_t lower) : bytes_(std::move(bytes)) {
  constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
  const uint64_t count = bytes_.size();
  if (count > std::numeric_limits<uint32_t>::max() ||
      (count > 0 && static_cast<int64_t>(lower) + static_cast<int64_t>(count) - 1 > kInt32Max)) {
    throw std::length_error("ByteArray: upper bound beyond the 32-bit range");
  }
  bounds_.push_back(Bound{lower, static_cast<uint32_t>(count)});
}

}  // namespace vbreg

#pragma once

// Counts the heap allocations of this process while armed. The counting program replaces
// malloc, calloc, realloc and the aligned allocation functions with forwarders to the C
// library's own allocator, so allocations made inside the shared libraries are counted too
// (operator new and Eigen's allocator both end in malloc). Builds with a sanitizer keep the
// sanitizer's allocator: there the counter is absent and `available()` is false.

#include <cstdint>

namespace vorn::test {

class CountingAllocator {
 public:
  /// True when allocations are being counted in this build.
  static bool available();
  /// Starts counting from zero.
  static void arm();
  /// Stops counting.
  static void disarm();
  /// Allocations counted since the last arm.
  static std::uint64_t count();
};

}  // namespace vorn::test

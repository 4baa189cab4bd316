#include "realtime/CountingAllocator.hpp"

#include <atomic>
#include <cstddef>

#ifndef VORN_COUNT_ALLOCATIONS
#define VORN_COUNT_ALLOCATIONS 0
#endif

namespace {

std::atomic<bool> armed{false};
std::atomic<std::uint64_t> allocations{0};

inline void note() {
  if (armed.load(std::memory_order_relaxed)) {
    allocations.fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace

#if VORN_COUNT_ALLOCATIONS
// glibc's allocator under its internal names; these replacements only count and forward.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size) {
  note();
  return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
  note();
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
  note();
  return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) {
  note();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
  note();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  note();
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) {
    return 22;  // EINVAL
  }
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == nullptr) {
    return 12;  // ENOMEM
  }
  *result = pointer;
  return 0;
}
}
#endif

namespace vorn::test {

bool CountingAllocator::available() { return VORN_COUNT_ALLOCATIONS != 0; }

void CountingAllocator::arm() {
  allocations.store(0);
  armed.store(true);
}

void CountingAllocator::disarm() { armed.store(false); }

std::uint64_t CountingAllocator::count() { return allocations.load(); }

}  // namespace vorn::test

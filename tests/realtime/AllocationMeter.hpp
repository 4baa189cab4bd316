#pragma once

// Attributes heap allocations to single calls and tells the calls that printed a line (whose
// message text may allocate) from the silent ones, which must not allocate at all.

#include <cstdint>
#include <iostream>
#include <streambuf>

#include "realtime/CountingAllocator.hpp"

namespace vorn::test {

/// A stream buffer that only counts the characters written to it; it never allocates.
class CharacterCounter : public std::streambuf {
 public:
  std::uint64_t characters() const { return characters_; }

 protected:
  int_type overflow(int_type c) override {
    ++characters_;
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* /*text*/, std::streamsize n) override {
    characters_ += static_cast<std::uint64_t>(n);
    return n;
  }

 private:
  std::uint64_t characters_ = 0;
};

/// While alive: std::cout goes to a character counter and the allocator is armed.
class AllocationMeter {
 public:
  AllocationMeter() : previous_(std::cout.rdbuf(&counter_)) { CountingAllocator::arm(); }
  ~AllocationMeter() {
    CountingAllocator::disarm();
    std::cout.rdbuf(previous_);
  }
  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;

  /// Runs `call` and books its allocations as silent or printing.
  template <typename Call>
  void measure(Call&& call) {
    const std::uint64_t allocationsBefore = CountingAllocator::count();
    const std::uint64_t charactersBefore = counter_.characters();
    call();
    const std::uint64_t made = CountingAllocator::count() - allocationsBefore;
    if (counter_.characters() == charactersBefore) {
      ++silentCalls_;
      silentAllocations_ += made;
    } else {
      ++printingCalls_;
      printingAllocations_ += made;
    }
  }

  std::uint64_t silentCalls() const { return silentCalls_; }
  std::uint64_t silentAllocations() const { return silentAllocations_; }
  std::uint64_t printingCalls() const { return printingCalls_; }
  std::uint64_t printingAllocations() const { return printingAllocations_; }
  /// Allocations per silent call.
  double perSilentCall() const {
    return silentCalls_ == 0
               ? 0.0
               : static_cast<double>(silentAllocations_) / static_cast<double>(silentCalls_);
  }

 private:
  CharacterCounter counter_;
  std::streambuf* previous_;
  std::uint64_t silentCalls_ = 0;
  std::uint64_t silentAllocations_ = 0;
  std::uint64_t printingCalls_ = 0;
  std::uint64_t printingAllocations_ = 0;
};

}  // namespace vorn::test

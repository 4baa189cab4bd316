#include "compensation/TareWindow.hpp"

namespace vorn {
namespace {

std::size_t powerOfTwoAtLeast(std::size_t n) {
  std::size_t p = 1;
  while (p < n) {
    p <<= 1U;
  }
  return p;
}

}  // namespace

TareWindow::TareWindow(std::size_t initialCapacity)
    : ring_(powerOfTwoAtLeast(initialCapacity < 2 ? 2 : initialCapacity)),
      mask_(ring_.size() - 1) {}

void TareWindow::clear() {
  first_ = 0;
  count_ = 0;
}

TareWindow::Wrench TareWindow::mean() const {
  Wrench sum = Wrench::Zero();
  for (std::size_t i = 0; i < count_; ++i) {
    sum += at(i).wrench;
  }
  return sum / static_cast<double>(count_);
}

void TareWindow::grow() {
  // Unrolled into a ring twice as long, oldest entry first.
  std::vector<Entry> larger(ring_.size() * 2);
  for (std::size_t i = 0; i < count_; ++i) {
    larger[i] = at(i);
  }
  ring_.swap(larger);
  mask_ = ring_.size() - 1;
  first_ = 0;
}

}  // namespace vorn

#include "sim/Noise.hpp"

#include <cmath>

namespace vorn::sim {

double Rng::normal() {
  if (has_spare_) {
    has_spare_ = false;
    return spare_;
  }
  constexpr double kTwoPi = 6.283185307179586476925286766559;
  // u1 in (0, 1] so that the logarithm is finite; u2 in [0, 1).
  const double u1 = static_cast<double>((engine_() >> 11) + 1) * 0x1.0p-53;
  const double u2 = uniform();
  const double r = std::sqrt(-2.0 * std::log(u1));
  const double phi = kTwoPi * u2;
  spare_ = r * std::sin(phi);
  has_spare_ = true;
  return r * std::cos(phi);
}

}  // namespace vorn::sim

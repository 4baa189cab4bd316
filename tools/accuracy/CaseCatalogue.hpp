#pragma once

#include <vector>

#include "BenchmarkOptions.hpp"
#include "RunCase.hpp"
#include "sim/Payload.hpp"

namespace vorn::accuracy {

/// The benchmark's payloads and the list of runs the options ask for.
class CaseCatalogue {
 public:
  static constexpr int kPayloadCount = 12;

  /// Payload `index` (0-11): a homogeneous cuboid of random size and orientation; masses are
  /// spaced logarithmically from 0.2 kg to 3 kg, the centre of mass lies up to 0.15 m from
  /// the sensor origin in a random direction.
  static sim::Payload payload(int index);

  /// Every run of the options, ordered by profile, noise, payload and seed; `count` payloads
  /// are spread over the twelve.
  static std::vector<RunCase> cases(const BenchmarkOptions& options);
};

}  // namespace vorn::accuracy

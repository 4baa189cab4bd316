#pragma once

#include <vector>

#include "BenchmarkOptions.hpp"
#include "RunCase.hpp"
#include "sim/Payload.hpp"

namespace vorn::accuracy {

/// The benchmark's payloads and the list of runs the options ask for.
class CaseCatalogue {
 public:
  static constexpr int kPayloadCount = 12;  ///< cuboids in a gripper
  static constexpr int kThinCount = 12;     ///< bare rods, plates and L-shapes
  static constexpr int kHeavyCount = 4;

  /// Payload `index` (0-11): a homogeneous cuboid of random size and orientation; masses are
  /// spaced logarithmically from 0.2 kg to 3 kg, the centre of mass lies up to 0.15 m from
  /// the sensor origin in a random direction.
  static sim::Payload payload(int index);

  /// Payload `index` of a kind: boxes as `payload`; thin tools (0-11) cycle through a rod, a
  /// flat plate and an L of two bars, masses spaced logarithmically from 10 g to 1 kg, held
  /// at one end in a random orientation, so that their principal moments nearly meet the
  /// triangle inequality (a rod: I1 ≈ I2, I3 ≈ 0; a plate: I1 + I2 ≈ I3); heavy ones (0-3)
  /// cuboids of 5 to 10 kg.
  static sim::Payload payload(PayloadKind kind, int index);

  /// Number of payloads of a kind.
  static int count(PayloadKind kind);

  /// Every run of the options, ordered by profile, rate, noise, kind, payload and seed; `count`
  /// payloads of each kind are spread over those of the kind.
  static std::vector<RunCase> cases(const BenchmarkOptions& options);
};

}  // namespace vorn::accuracy

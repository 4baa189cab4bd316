#pragma once

// A compensator built from a payload description, for the facade tests (public header only).

#include <memory>
#include <string>

#include <vorn/VornPayloadCompensator.hpp>

#include "support/RigidBodySamples.hpp"
#include "compensator/TestSupport.hpp"

namespace vorn::test {

/// A compensator for `payload` built from an estimator-style file, constructed silently. Keeps its
/// temporary folder alive as long as the compensator.
struct Harness {
  Harness(const Payload& payload, bool dynamic) {
    const std::string path =
        dir.write("compensator.json", estimatorStyleConfig(payload, dynamic, false));
    StdoutCapture silent;
    compensator = std::make_unique<vorn::VornPayloadCompensator>(path);
  }
  int update(double stamp, const Sample& in, Sample& out) {
    return compensator->update(stamp, in, out);
  }

  TempDir dir;
  std::unique_ptr<vorn::VornPayloadCompensator> compensator;
};

/// A caller's output array filled with a recognisable value.
inline Sample sentinel() {
  Sample s;
  s.fill(-777.0);
  return s;
}

}  // namespace vorn::test

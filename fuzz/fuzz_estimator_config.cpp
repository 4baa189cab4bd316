// The estimator configuration loader must answer any file with a configuration or with
// std::runtime_error; any other exception, crash or sanitizer report is a finding.
#include <cstdint>
#include <stdexcept>

#include "FuzzInput.hpp"
#include "estimation/PayloadEstimatorConfig.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = vorn::fuzz::writeScratchFile("estimator", data, size);
  try {
    vorn::PayloadEstimatorConfig config(path);
    (void)config.getConfigPath();
  } catch (const std::runtime_error&) {
  }
  return 0;
}

#include "commands/CompensateCommand.hpp"

#include <cmath>
#include <iostream>

#include "replay/CompensationReplay.hpp"
#include "files/Recording.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"

namespace vorn::tools {

namespace {

double rmsNorm(const std::vector<std::array<double, 3>>& vectors) {
  if (vectors.empty()) {
    return 0.0;
  }
  double sum = 0.0;
  for (const auto& v : vectors) {
    sum += v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  }
  return std::sqrt(sum / static_cast<double>(vectors.size()));
}

}  // namespace

int CompensateCommand::run() {
  if (options_.tareAt && (!std::isfinite(*options_.tareAt) || *options_.tareAt < 0.0)) {
    throw ToolError("--tare-at must be zero or a positive number of seconds", kExitUsage);
  }
  const Recording recording = Recording::readCsv(options_.logPath);
  CompensationReplay replay(options_.configPath);
  const std::vector<CompensatedSample> result = replay.run(recording, options_.tareAt);
  CompensationReplay::writeCsv(result, options_.outputPath);

  std::size_t counts[3] = {0, 0, 0};
  std::vector<std::array<double, 3>> rawForce, rawTorque, force, torque;
  for (std::size_t k = 0; k < result.size(); ++k) {
    const CompensatedSample& sample = result[k];
    counts[sample.status == 0 ? 0 : sample.status == 1 ? 1 : 2] += 1;
    if (sample.status == 0) {
      const auto& raw = recording.samples()[k].values;
      rawForce.push_back({raw[0], raw[1], raw[2]});
      rawTorque.push_back({raw[3], raw[4], raw[5]});
      force.push_back({sample.wrench[0], sample.wrench[1], sample.wrench[2]});
      torque.push_back({sample.wrench[3], sample.wrench[4], sample.wrench[5]});
    }
  }
  std::cout << "Compensated " << result.size() << " samples of " << options_.logPath
            << " (status 0: " << counts[0] << ", 1 (tare collecting): " << counts[1]
            << ", 5 (rejected): " << counts[2] << ").\n"
            << "RMS force  " << TextFormat::fixed(rmsNorm(rawForce), 3) << " N measured, "
            << TextFormat::fixed(rmsNorm(force), 3) << " N compensated\n"
            << "RMS torque " << TextFormat::fixed(rmsNorm(rawTorque), 4) << " N m measured, "
            << TextFormat::fixed(rmsNorm(torque), 4) << " N m compensated\n";
  if (options_.tareAt && recording.duration() < *options_.tareAt) {
    std::cout << "The recording ends before --tare-at " << TextFormat::shortest(*options_.tareAt)
              << " s: no tare was made.\n";
  }
  std::cout << "Wrote " << options_.outputPath << std::endl;
  return kExitOk;
}

}  // namespace vorn::tools

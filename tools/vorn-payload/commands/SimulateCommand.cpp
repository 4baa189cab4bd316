#include "commands/SimulateCommand.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "files/AtomicFileWriter.hpp"
#include "commands/EstimatorSettings.hpp"
#include "files/PayloadDescription.hpp"
#include "files/Recording.hpp"
#include "demo/SimulatedSensor.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"

namespace vorn::tools {

double SimulateCommand::parseNoiseScale(const std::string& text) {
  if (text == "none") {
    return 0.0;
  }
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value < 0.0) {
    throw ToolError(
        "--noise must be \"none\" or a non-negative factor on the typical sensor "
        "noise, not '" +
            text + "'",
        kExitUsage);
  }
  return value;
}

int SimulateCommand::run() {
  if (!(options_.seconds > 0.0) || !std::isfinite(options_.seconds)) {
    throw ToolError("--seconds must be a positive number", kExitUsage);
  }
  SimulationSettings settings;
  settings.noiseScale = parseNoiseScale(options_.noise);
  settings.profile = options_.profile;
  settings.rateHz = options_.rateHz;
  settings.seed = options_.seed;
  if (!options_.payloadPath.empty()) {
    settings.payload = PayloadDescription::readJson(options_.payloadPath);
  }
  SimulatedSensor sensor(settings);
  // Written piece by piece: a long recording never sits in memory as a whole.
  const std::size_t total = sensor.samplesIn(options_.seconds);
  constexpr std::size_t kChunk = 20000;
  AtomicFileWriter writer(options_.outputPath);
  writer.stream() << Recording::csvHeader() << '\n';
  for (std::size_t done = 0; done < total; done += kChunk) {
    Recording chunk;
    sensor.recordSamples(std::min(kChunk, total - done), chunk);
    chunk.writeCsvRows(writer.stream());
  }
  writer.commit();

  std::cout << "Wrote " << total << " samples (" << TextFormat::fixed(options_.seconds, 1)
            << " s at " << TextFormat::shortest(options_.rateHz) << " Hz, " << options_.profile
            << " motion, noise "
            << (settings.noiseScale == 0.0 ? std::string("none")
                                           : "x" + TextFormat::shortest(settings.noiseScale))
            << ", seed " << options_.seed << ") to " << options_.outputPath << "\n";
  if (!options_.estimatorConfigPath.empty()) {
    EstimatorSettings::recommendedFor(sensor.noise(), options_.rateHz)
        .writeJson(options_.estimatorConfigPath);
    std::cout << "Wrote an estimator configuration for this sensor's noise to "
              << options_.estimatorConfigPath << "\n";
  }
  std::cout.flush();
  return kExitOk;
}

}  // namespace vorn::tools

#include "EstimateCommand.hpp"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "CompensatorFile.hpp"
#include "EstimationReplay.hpp"
#include "Recording.hpp"
#include "TextFormat.hpp"
#include "ToolError.hpp"

namespace vorn::tools {

namespace {

/// The few keys of an estimator configuration the tool needs itself. Read after the library
/// accepted the file, so they are present and of the right type.
struct RunLimits {
  std::string outputFileName;
  double minTime = 0.0;
  double maxTime = 0.0;
};

RunLimits readRunLimits(const std::string& path) {
  RunLimits limits;
  try {
    std::ifstream in(path);
    const nlohmann::json root = nlohmann::json::parse(in);
    const nlohmann::json& config = root.at("payload_estimator_config");
    limits.outputFileName = config.at("output_config_file_name").get<std::string>();
    limits.minTime = config.at("min_time").get<double>();
    limits.maxTime = config.at("max_time").get<double>();
  } catch (const std::exception& e) {
    throw ToolError(path + ": " + e.what());
  }
  return limits;
}

std::optional<std::filesystem::file_time_type> modificationTime(const std::string& path) {
  std::error_code code;
  const auto time = std::filesystem::last_write_time(path, code);
  if (code) {
    return std::nullopt;
  }
  return time;
}

}  // namespace

std::string EstimateCommand::outputPathFor(const std::string& configPath,
                                           const std::string& outputFileName) {
  return (std::filesystem::path(configPath).parent_path() / outputFileName).string();
}

int EstimateCommand::run() {
  const Recording recording = Recording::readCsv(options_.logPath);
  EstimationReplay replay(options_.configPath);
  const RunLimits limits = readRunLimits(options_.configPath);
  const std::string outputPath = outputPathFor(options_.configPath, limits.outputFileName);

  std::cout << "Replaying " << options_.logPath << ": " << recording.size() << " samples, "
            << TextFormat::fixed(recording.duration(), 1) << " s at "
            << TextFormat::fixed(recording.meanRate(), 0) << " Hz"
            << (options_.realtime ? ", in real time" : ", fast-forward") << std::endl;

  ReplayOptions replayOptions;
  replayOptions.realtime = options_.realtime;
  const std::optional<std::filesystem::file_time_type> before = modificationTime(outputPath);
  const EstimationOutcome outcome = replay.run(recording, replayOptions);

  if (outcome.converged) {
    const std::optional<std::filesystem::file_time_type> after = modificationTime(outputPath);
    if (!after || (before && *after == *before)) {
      throw ToolError("the estimation converged, but the estimator could not write " + outputPath +
                          " (see its message above)",
                      kExitBadInput);
    }
    // Read the file back: it must exist and hold a payload the compensator can load.
    const CompensatorFile written = CompensatorFile::readJson(outputPath);
    std::cout << "Converged after " << TextFormat::fixed(outcome.dataSeconds, 2) << " s of data ("
              << outcome.samplesFed << " samples, " << TextFormat::fixed(outcome.wallSeconds, 2)
              << " s of run time).\n"
              << "Identified mass " << TextFormat::fixed(written.mass, 4) << " kg, centre of mass ["
              << TextFormat::fixed(written.com[0] * 1000.0, 1) << ", "
              << TextFormat::fixed(written.com[1] * 1000.0, 1) << ", "
              << TextFormat::fixed(written.com[2] * 1000.0, 1) << "] mm.\n"
              << "Compensator configuration written to " << outputPath << std::endl;
    return kExitOk;
  }

  std::cerr << "vorn-payload: the estimation did not converge";
  if (outcome.stoppedByLimit) {
    std::cerr << ": the estimator reached its max_time of " << TextFormat::shortest(limits.maxTime)
              << " s of run time after " << TextFormat::fixed(outcome.dataSeconds, 1)
              << " s of data.\n";
  } else {
    std::cerr << " within the recording (" << TextFormat::fixed(outcome.dataSeconds, 1)
              << " s of data, " << TextFormat::fixed(outcome.wallSeconds, 1)
              << " s of run time).\n";
    if (outcome.wallSeconds <= limits.minTime) {
      std::cerr << "vorn-payload: the estimator's min_time of "
                << TextFormat::shortest(limits.minTime)
                << " s counts run time on the wall clock, and this replay took only "
                << TextFormat::fixed(outcome.wallSeconds, 1)
                << " s; replay with --realtime or lower min_time.\n";
    } else {
      std::cerr << "vorn-payload: the reported standard deviations did not fall below the "
                   "thresholds of "
                << options_.configPath << "; record more (and livelier) motion or loosen them.\n";
    }
  }
  std::cerr << "vorn-payload: no compensator configuration was written." << std::endl;
  return kExitRunFailed;
}

}  // namespace vorn::tools

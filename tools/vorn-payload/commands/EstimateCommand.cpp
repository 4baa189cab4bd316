#include "commands/EstimateCommand.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "files/AtomicFileWriter.hpp"
#include "files/CompensatorFile.hpp"
#include "replay/EstimationReplay.hpp"
#include "console/ProgressDisplay.hpp"
#include "files/Recording.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"

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

const char* stateName(EstimationRunState state) {
  switch (state) {
    case EstimationRunState::NotStarted:
      return "not_started";
    case EstimationRunState::Running:
      return "running";
    case EstimationRunState::Converged:
      return "converged";
    case EstimationRunState::TimeLimitReached:
      return "time_limit_reached";
    case EstimationRunState::StoppedByHost:
      return "stopped_by_host";
    case EstimationRunState::Failed:
      return "failed";
  }
  return "unknown";
}

const char* conditionKey(ConvergenceCondition condition) {
  switch (condition) {
    case ConvergenceCondition::None:
      return "none";
    case ConvergenceCondition::MassStdDev:
      return "mass_std_dev";
    case ConvergenceCondition::CenterOfMassStdDev:
      return "com_std_dev";
    case ConvergenceCondition::InertiaStdDev:
      return "inertia_std_dev";
    case ConvergenceCondition::WrenchBiasStdDev:
      return "wrench_bias_std_dev";
    case ConvergenceCondition::ResidualWindow:
      return "residual_window";
    case ConvergenceCondition::Residual:
      return "residual";
    case ConvergenceCondition::PhysicalConsistency:
      return "physical_consistency";
    case ConvergenceCondition::MinimumTime:
      return "min_time";
  }
  return "unknown";
}

const char* moveKey(ExcitationHint::Move move) {
  switch (move) {
    case ExcitationHint::Move::Start:
      return "start";
    case ExcitationHint::Move::RotateAbout:
      return "rotate_about";
    case ExcitationHint::Move::TiltAxisDown:
      return "tilt_axis_down";
    case ExcitationHint::Move::HoldStill:
      return "hold_still";
    case ExcitationHint::Move::KeepGoing:
      return "keep_going";
    case ExcitationHint::Move::Done:
      return "done";
  }
  return "unknown";
}

/// JSON has no NaN or infinity: such numbers are written as null.
nlohmann::json number(double value) {
  return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

nlohmann::json numbers(const std::array<double, 16>& values) {
  nlohmann::json list = nlohmann::json::array();
  for (const double v : values) {
    list.push_back(number(v));
  }
  return list;
}

nlohmann::json groupJson(const ThresholdGroupState& g) {
  return {{"worst_std_dev", number(g.worstStdDev)},
          {"threshold", number(g.threshold)},
          {"worst_ratio", number(g.worstRatio)},
          {"worst_index", g.worstIndex},
          {"met", g.met}};
}

nlohmann::json snapshotJson(const PayloadEstimate& e) {
  nlohmann::json moments = nlohmann::json::array();
  for (const double m : e.physicalConsistency.principalMoments) {
    moments.push_back(number(m));
  }
  return {{"state", stateName(e.state)},
          {"data_seconds", e.dataSeconds},
          {"samples_absorbed", e.samplesAbsorbed},
          {"solution", numbers(e.solution)},
          {"std_dev", numbers(e.stdDev)},
          {"mass", groupJson(e.mass)},
          {"com", groupJson(e.centerOfMass)},
          {"inertia", groupJson(e.inertia)},
          {"wrench_bias", groupJson(e.wrenchBias)},
          {"run_time",
           {{"run_seconds", number(e.runTime.runSeconds)},
            {"min_time", number(e.runTime.minTime)},
            {"max_time", number(e.runTime.maxTime)},
            {"met", e.runTime.met}}},
          {"residual",
           {{"value", number(e.residual.value)},
            {"limit", number(e.residual.limit)},
            {"window_full", e.residual.windowFull},
            {"met", e.residual.met}}},
          {"physical_consistency",
           {{"principal_moments", moments}, {"met", e.physicalConsistency.met}}},
          {"blocking", conditionKey(e.blocking)},
          {"hint",
           {{"move", moveKey(e.hint.move)},
            {"axis", {e.hint.axis[0], e.hint.axis[1], e.hint.axis[2]}},
            {"serves", conditionKey(e.hint.serves)},
            {"text", std::string(e.hint.text.data())}}}};
}

}  // namespace

std::string EstimateCommand::snapshotsJson(const PayloadEstimate& final,
                                           const std::vector<PayloadEstimate>& trajectory) {
  nlohmann::json root;
  root["solution_order"] = {"m",   "cx",  "cy", "cz", "Ixx", "Ixy", "Ixz", "Iyy",
                            "Iyz", "Izz", "Fx", "Fy", "Fz",  "Tx",  "Ty",  "Tz"};
  root["final"] = snapshotJson(final);
  nlohmann::json list = nlohmann::json::array();
  for (const PayloadEstimate& e : trajectory) {
    list.push_back(snapshotJson(e));
  }
  root["trajectory"] = std::move(list);
  return root.dump(1) + "\n";
}

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

  if (!options_.jsonPath.empty() &&
      !(options_.jsonRateHz > 0.0 && std::isfinite(options_.jsonRateHz))) {
    throw ToolError("--json-rate must be a positive number", kExitUsage);
  }
  ReplayOptions replayOptions;
  replayOptions.realtime = options_.realtime;
  replayOptions.showEstimate = true;
  replayOptions.trajectoryRateHz = options_.jsonPath.empty() ? 0.0 : options_.jsonRateHz;
  const std::optional<std::filesystem::file_time_type> before = modificationTime(outputPath);
  const EstimationOutcome outcome = replay.run(recording, replayOptions);
  if (!options_.jsonPath.empty()) {
    AtomicFileWriter json(options_.jsonPath);
    json.stream() << snapshotsJson(outcome.finalEstimate, outcome.trajectory);
    json.commit();
    std::cout << "Snapshots written to " << options_.jsonPath << " (" << outcome.trajectory.size()
              << " in the trajectory)" << std::endl;
  }

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
  }
  const PayloadEstimate& last = outcome.finalEstimate;
  const std::string reason = ProgressDisplay::blockingReason(last);
  if (!reason.empty()) {
    std::cerr << "vorn-payload: held back by " << reason << ".\n";
  }
  if (last.blocking != ConvergenceCondition::None &&
      last.blocking != ConvergenceCondition::MinimumTime) {
    std::cerr << "vorn-payload: the estimator's hint: " << last.hint.text.data() << ".\n";
  }
  if (!outcome.stoppedByLimit && outcome.wallSeconds <= limits.minTime) {
    // Whatever else is missing, this replay could never have passed min_time.
    std::cerr << "vorn-payload: the estimator's min_time of "
              << TextFormat::shortest(limits.minTime)
              << " s counts run time on the wall clock, and this replay took only "
              << TextFormat::fixed(outcome.wallSeconds, 1)
              << " s; replay with --realtime or lower min_time.\n";
  }
  std::cerr << "vorn-payload: no compensator configuration was written." << std::endl;
  return kExitRunFailed;
}

}  // namespace vorn::tools

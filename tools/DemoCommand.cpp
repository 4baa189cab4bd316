#include "DemoCommand.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <vector>

#include "CompensationReplay.hpp"
#include "CompensatorFile.hpp"
#include "DemoPlots.hpp"
#include "EstimationReplay.hpp"
#include "EstimatorSettings.hpp"
#include "GnuplotRunner.hpp"
#include "PayloadDescription.hpp"
#include "Recording.hpp"
#include "SimulatedSensor.hpp"
#include "StdoutSilencer.hpp"
#include "TextFormat.hpp"
#include "ToolError.hpp"

namespace vorn::tools {

namespace {

namespace fs = std::filesystem;
using Wrench = std::array<double, 6>;

constexpr double kRateHz = 500.0;
constexpr double kMassTargetPercent = 1.0;
constexpr double kComTargetMm = 3.0;
constexpr double kRealtimeMinTime = 15.0;
constexpr double kThresholdStep = 1.41421356237;  // each convergence-study run: thresholds / 1.4
constexpr int kConvergenceRuns = 8;

std::string inDir(const std::string& dir, const char* name) {
  return (fs::path(dir) / name).string();
}

/// `word` as the shell reads it back unchanged: as it is when it holds only characters the shell
/// leaves alone, single-quoted otherwise.
std::string shellWord(const std::string& word) {
  static const char* const kPlain =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-./+,:@%=";
  if (!word.empty() && word.find_first_not_of(kPlain) == std::string::npos) {
    return word;
  }
  std::string quoted = "'";
  for (const char c : word) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

/// How to call this very program from the current folder, so that the commands the demo
/// suggests work when pasted where it was started: the path relative to here when the program
/// lies inside this folder (build/tools/vorn-payload from the source tree), its absolute path
/// otherwise, and plain "vorn-payload" where the system does not tell.
std::string programCommand() {
  std::error_code code;
  std::string exe = fs::read_symlink("/proc/self/exe", code).string();
  const std::string deleted = " (deleted)";  // the file was rebuilt while this program runs
  if (exe.size() > deleted.size() &&
      exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0) {
    exe.resize(exe.size() - deleted.size());
  }
  if (code || exe.empty() || !fs::exists(exe, code)) {
    return "vorn-payload";
  }
  const fs::path here = fs::current_path(code);
  if (!code) {
    const fs::path relative = fs::path(exe).lexically_relative(here);
    if (!relative.empty() && *relative.begin() != "..") {
      return shellWord((relative.has_parent_path() ? relative : fs::path(".") / relative).string());
    }
  }
  return shellWord(exe);
}

/// The tool's own lines stand apart from the libraries' log lines.
void say(const std::string& text) { std::cout << text << std::endl; }

void heading(const std::string& text) { std::cout << "\n=== " << text << " ===" << std::endl; }

std::string percent(double value, int decimals) {
  return TextFormat::fixed(value, decimals) + " %";
}

struct Errors {
  double massPercent = 0.0;
  double comMm = 0.0;
};

Errors errorsOf(const PayloadDescription& truth, const CompensatorFile& identified) {
  Errors errors;
  errors.massPercent = std::abs(identified.mass - truth.mass) / truth.mass * 100.0;
  double sum = 0.0;
  for (std::size_t i = 0; i < 3; ++i) {
    const double d = identified.com[i] - truth.com[i];
    sum += d * d;
  }
  errors.comMm = std::sqrt(sum) * 1000.0;
  return errors;
}

/// One line of the comparison table: name, true, identified, error.
void row(const std::string& name, double truth, double identified, double scale, int decimals,
         const std::string& note = "") {
  const double t = truth * scale;
  const double i = identified * scale;
  std::cout << "  " << TextFormat::padRight(name, 22)
            << TextFormat::padLeft(TextFormat::fixed(t, decimals), 11)
            << TextFormat::padLeft(TextFormat::fixed(i, decimals), 13)
            << TextFormat::padLeft(TextFormat::signedFixed(i - t, decimals), 12) << note << '\n';
}

void printComparison(const PayloadDescription& truth, const CompensatorFile& identified) {
  const Errors errors = errorsOf(truth, identified);
  std::cout << "  " << TextFormat::padRight("", 22) << TextFormat::padLeft("true", 11)
            << TextFormat::padLeft("identified", 13) << TextFormat::padLeft("error", 12) << '\n';
  row("mass (kg)", truth.mass, identified.mass, 1.0, 4,
      "  (" + TextFormat::signedFixed((identified.mass - truth.mass) / truth.mass * 100.0, 3) +
          " %)");
  const char* axes[3] = {"x", "y", "z"};
  for (std::size_t k = 0; k < 3; ++k) {
    row(std::string("centre of mass ") + axes[k] + " (mm)", truth.com[k], identified.com[k], 1000.0,
        2);
  }
  std::cout << "  " << TextFormat::padRight("centre of mass, off by", 46)
            << TextFormat::padLeft(TextFormat::fixed(errors.comMm, 2), 12) << "  (mm)\n";
  const char* entries[6] = {"Ixx", "Ixy", "Ixz", "Iyy", "Iyz", "Izz"};
  const std::array<double, 6> inertia = truth.inertiaAboutOrigin();
  for (std::size_t k = 0; k < 6; ++k) {
    row(std::string(entries[k]) + " (g m^2, origin)", inertia[k], identified.inertia[k], 1000.0, 3);
  }
  if (identified.hasBias) {
    const char* names[6] = {"sensor offset Fx (N)",   "sensor offset Fy (N)",
                            "sensor offset Fz (N)",   "sensor offset Tx (N m)",
                            "sensor offset Ty (N m)", "sensor offset Tz (N m)"};
    for (std::size_t k = 0; k < 6; ++k) {
      row(names[k], truth.bias[k], identified.bias[k], 1.0, k < 3 ? 3 : 4);
    }
  }
  std::cout.flush();
}

/// RMS over samples of the length of the force (or torque) part of a wrench.
class RmsNorm {
 public:
  void add(const Wrench& w) {
    force_ += w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    torque_ += w[3] * w[3] + w[4] * w[4] + w[5] * w[5];
    ++count_;
  }
  double force() const { return count_ ? std::sqrt(force_ / count_) : 0.0; }
  double torque() const { return count_ ? std::sqrt(torque_ / count_) : 0.0; }

 private:
  double force_ = 0.0;
  double torque_ = 0.0;
  double count_ = 0.0;
};

struct CompensationFigures {
  RmsNorm payload;   ///< the payload's true wrench on the sensor
  RmsNorm residual;  ///< what the compensation left of it
  std::size_t rejected = 0;

  double forceRemoved() const { return 100.0 * (1.0 - residual.force() / payload.force()); }
  double torqueRemoved() const { return 100.0 * (1.0 - residual.torque() / payload.torque()); }
};

/// Residual of the payload's wrench after compensation: the compensated output minus what the
/// sensor would have read without the payload (its offset and noise).
CompensationFigures measureCompensation(const Recording& measured,
                                        const std::vector<Wrench>& payloadWrench,
                                        const std::vector<CompensatedSample>& compensated) {
  CompensationFigures figures;
  for (std::size_t k = 0; k < compensated.size(); ++k) {
    if (compensated[k].status != 0) {
      ++figures.rejected;
      continue;
    }
    const auto& raw = measured.samples()[k].values;
    Wrench residual{};
    for (std::size_t i = 0; i < 6; ++i) {
      const double withoutPayload = raw[i] - payloadWrench[k][i];
      residual[i] = compensated[k].wrench[i] - withoutPayload;
    }
    figures.payload.add(payloadWrench[k]);
    figures.residual.add(residual);
  }
  return figures;
}

Recording firstSamples(const Recording& recording, std::size_t count) {
  Recording head;
  head.reserve(count);
  for (std::size_t k = 0; k < count && k < recording.size(); ++k) {
    head.append(recording.samples()[k]);
  }
  return head;
}

}  // namespace

int DemoCommand::run() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  const std::string& dir = options_.workdir;
  if (!(options_.maxDataSeconds > 0.0) || !std::isfinite(options_.maxDataSeconds)) {
    throw ToolError("--max-seconds must be a positive number", kExitUsage);
  }
  {
    std::error_code code;
    fs::create_directories(dir, code);
    if (code || !fs::is_directory(dir)) {
      throw ToolError("cannot create the work folder " + dir +
                      (code ? ": " + code.message() : std::string()));
    }
  }
  const std::string truthPath = inDir(dir, "true-payload.json");
  const std::string configPath = inDir(dir, "estimator.json");
  const std::string payloadPath = inDir(dir, "payload.json");
  const std::string dynamicPath = inDir(dir, "payload-dynamic.json");
  const std::string estimationCsv = inDir(dir, "estimation.csv");
  const std::string motionCsv = inDir(dir, "motion.csv");

  say("vorn-payload demo: identify a payload on a simulated sensor, then compensate it.");
  say("Work folder: " + dir);

  // --- The payload and the configuration -------------------------------------------------
  heading("1/4 The payload and the estimator configuration");
  const PayloadDescription truth = PayloadDescription::demoGripper();
  SimulationSettings identification;
  identification.payload = truth;
  identification.profile = "tilt";
  identification.rateHz = kRateHz;
  identification.seed = options_.seed;
  SimulatedSensor sensor(identification);
  EstimatorSettings settings = EstimatorSettings::recommendedFor(sensor.noise(), kRateHz);
  if (options_.realtime) {
    settings.minTime = kRealtimeMinTime;
    settings.maxTime = options_.maxDataSeconds + 30.0;
  }
  truth.writeJson(truthPath);
  settings.writeJson(configPath);
  const NoiseLevels noise = sensor.noise();
  say("A parallel gripper (0.85 kg) holding a rod (0.35 kg): " + TextFormat::fixed(truth.mass, 2) +
      " kg, centre of mass " +
      TextFormat::fixed(std::hypot(truth.com[0], truth.com[1]) * 1000.0, 0) +
      " mm off the sensor axis and " + TextFormat::fixed(truth.com[2] * 1000.0, 0) +
      " mm out; the sensor has an offset of its own.");
  say("Simulated sensor: " + TextFormat::fixed(kRateHz, 0) + " samples/s, noise (std) " +
      TextFormat::shortest(noise.force) + " N, " + TextFormat::shortest(noise.torque) + " N m, " +
      TextFormat::shortest(noise.accel) + " m/s^2, " + TextFormat::shortest(noise.gyro) +
      " rad/s.");
  say("Wrote " + truthPath + " (the truth) and " + configPath +
      " (noise variances of this sensor; thresholds: mass 5 g, centre of mass 2 mm" +
      (options_.realtime ? ", min_time " + TextFormat::shortest(settings.minTime) + " s)" : ")"));

  // --- Identification ------------------------------------------------------------------
  heading("2/4 Identification with libVornPayloadEstimator");
  say("Tilting the payload slowly through large angles, " +
      std::string(options_.realtime ? "in real time" : "fast-forward") + ", at most " +
      TextFormat::shortest(options_.maxDataSeconds) + " s of data. The library's output follows.");
  Recording tilting;
  sensor.record(options_.maxDataSeconds + 1.0 / kRateHz, tilting);
  {
    std::error_code ignored;
    fs::remove(payloadPath, ignored);  // never mistake an old result for this run's
  }
  EstimationOutcome outcome;
  {
    EstimationReplay replay(configPath);
    ReplayOptions replayOptions;
    replayOptions.realtime = options_.realtime;
    replayOptions.maxDataSeconds = options_.maxDataSeconds;
    replayOptions.trajectoryRateHz = 20.0;  // for the convergence plot
    outcome = replay.run(tilting, replayOptions);
  }
  const Recording fed = firstSamples(tilting, outcome.samplesFed);
  fed.writeCsv(estimationCsv);
  std::cout << std::endl;
  if (!outcome.converged) {
    std::cerr << "vorn-payload: the estimation did not converge within "
              << TextFormat::fixed(outcome.dataSeconds, 1) << " s of data; see " << configPath
              << " and try a larger --max-seconds." << std::endl;
    return kExitRunFailed;
  }
  say("Converged after " + TextFormat::fixed(outcome.dataSeconds, 2) + " s of data (" +
      std::to_string(outcome.samplesFed) + " samples) in " +
      TextFormat::fixed(outcome.wallSeconds, 2) + " s. The samples fed are in " + estimationCsv +
      ".");

  // --- Identified against true -----------------------------------------------------------
  heading("3/4 Identified against true");
  const CompensatorFile identified = CompensatorFile::readJson(payloadPath);
  say("Read back from " + payloadPath + ":");
  printComparison(truth, identified);
  const Errors errors = errorsOf(truth, identified);
  say("The standard deviations in the estimator's report above describe errors of this size: "
      "the run stopped once they were below the thresholds, after a second of samples that "
      "the estimate explains within the sensor's noise.");

  // --- Compensation ------------------------------------------------------------------------
  const double compensationSeconds = options_.quick ? 10.0 : 30.0;
  heading("4/4 Compensation with libVornPayloadCompensator");
  SimulationSettings fresh = identification;
  fresh.profile = "brisk";
  fresh.seed = options_.seed + 1000;
  SimulatedSensor freshSensor(fresh);
  Recording brisk;
  std::vector<Wrench> payloadWrench;
  freshSensor.record(compensationSeconds, brisk, &payloadWrench);
  brisk.writeCsv(motionCsv);
  CompensatorFile::writeCopy(payloadPath, dynamicPath, true);
  say(TextFormat::fixed(compensationSeconds, 0) + " s of fresh, brisk (hand-like) motion in " +
      motionCsv + "; compensated with " + payloadPath + " (static) and with " + dynamicPath +
      " (\"enable_dynamic_compensation\": true). The library's output follows.");
  std::vector<CompensatedSample> staticOut;
  std::vector<CompensatedSample> dynamicOut;
  {
    CompensationReplay replay(payloadPath);
    staticOut = replay.run(brisk, std::nullopt, "compensating, static");
  }
  {
    CompensationReplay replay(dynamicPath);
    dynamicOut = replay.run(brisk, std::nullopt, "compensating, static + dynamic");
  }
  const CompensationFigures staticFigures = measureCompensation(brisk, payloadWrench, staticOut);
  const CompensationFigures dynamicFigures = measureCompensation(brisk, payloadWrench, dynamicOut);
  const auto cell = [](double left, double removed, int decimals) {
    return TextFormat::fixed(left, decimals) + " (" + percent(removed, 1) + " removed)";
  };
  std::cout << "\nRMS of the payload's wrench on the sensor, and of what each compensation left "
               "of it:\n"
            << "  " << TextFormat::padRight("", 14) << TextFormat::padLeft("payload", 9)
            << TextFormat::padLeft("left, static", 27)
            << TextFormat::padLeft("left, static + dynamic", 27) << '\n'
            << "  " << TextFormat::padRight("force (N)", 14)
            << TextFormat::padLeft(TextFormat::fixed(staticFigures.payload.force(), 3), 9)
            << TextFormat::padLeft(
                   cell(staticFigures.residual.force(), staticFigures.forceRemoved(), 3), 27)
            << TextFormat::padLeft(
                   cell(dynamicFigures.residual.force(), dynamicFigures.forceRemoved(), 3), 27)
            << '\n'
            << "  " << TextFormat::padRight("torque (N m)", 14)
            << TextFormat::padLeft(TextFormat::fixed(staticFigures.payload.torque(), 4), 9)
            << TextFormat::padLeft(
                   cell(staticFigures.residual.torque(), staticFigures.torqueRemoved(), 4), 27)
            << TextFormat::padLeft(
                   cell(dynamicFigures.residual.torque(), dynamicFigures.torqueRemoved(), 4), 27)
            << '\n'
            << "  (left = compensated output minus what the sensor reads without the payload: "
               "its offset and noise)"
            << std::endl;
  if (staticFigures.rejected + dynamicFigures.rejected > 0) {
    say("Samples rejected by the compensator: " + std::to_string(staticFigures.rejected) +
        " static, " + std::to_string(dynamicFigures.rejected) + " static + dynamic.");
  }

  // --- Plots --------------------------------------------------------------------------------
  if (!options_.noPlots) {
    heading("Plots");
    const std::optional<std::string> gnuplot = GnuplotRunner::findExecutable();
    if (!gnuplot) {
      say("gnuplot is not installed (Debian: apt-get install gnuplot-nox); no plots drawn.");
    } else {
      DemoPlots plots(dir);
      if (!options_.quick) {
        say("Convergence plot: the estimate and its standard deviation over the run, from " +
            std::to_string(outcome.trajectory.size()) + " of the estimator's snapshots.");
        plots.setTrajectory(outcome.trajectory, truth);
      }
      const double plotFrom = options_.quick ? 0.0 : 5.0;
      plots.setCompensation(brisk, staticOut, dynamicOut, truth.bias, plotFrom, plotFrom + 10.0);
      plots.setPayload(truth, identified);
      std::string error;
      const std::vector<std::string> images = plots.draw(*gnuplot, error);
      for (const std::string& image : images) {
        say("Wrote " + image);
      }
      if (!error.empty()) {
        say("Plots not drawn: " + error);
      }
    }
  }

  // --- Verdict -------------------------------------------------------------------------------
  heading("Result");
  const bool massOk = errors.massPercent <= kMassTargetPercent;
  const bool comOk = errors.comMm <= kComTargetMm;
  const bool dynamicOk = dynamicFigures.forceRemoved() > staticFigures.forceRemoved() &&
                         dynamicFigures.torqueRemoved() > staticFigures.torqueRemoved();
  say(std::string(massOk ? "[ok]   " : "[MISS] ") + "mass within " +
      TextFormat::shortest(kMassTargetPercent) + " %: " + percent(errors.massPercent, 3));
  say(std::string(comOk ? "[ok]   " : "[MISS] ") + "centre of mass within " +
      TextFormat::shortest(kComTargetMm) + " mm: " + TextFormat::fixed(errors.comMm, 2) + " mm");
  say(std::string(dynamicOk ? "[ok]   " : "[MISS] ") +
      "dynamic compensation removes more than static: force " +
      percent(dynamicFigures.forceRemoved(), 1) + " against " +
      percent(staticFigures.forceRemoved(), 1) + ", torque " +
      percent(dynamicFigures.torqueRemoved(), 1) + " against " +
      percent(staticFigures.torqueRemoved(), 1));
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  // Pasted from the folder the demo ran in, these work as printed and write into the work folder.
  const std::string program = programCommand();
  say("Demo finished in " + TextFormat::fixed(seconds, 1) + " s. Replay it by hand:");
  say("  " + program + " estimate " + (options_.realtime ? "--realtime " : "") + "--config " +
      shellWord(configPath) + " " + shellWord(estimationCsv));
  say("  " + program + " compensate --config " + shellWord(payloadPath) + " --out " +
      shellWord(inDir(dir, "compensated.csv")) + " " + shellWord(motionCsv));
  return massOk && comOk && dynamicOk ? kExitOk : kExitRunFailed;
}

}  // namespace vorn::tools

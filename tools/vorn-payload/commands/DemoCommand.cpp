#include "commands/DemoCommand.hpp"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <vector>

#include "replay/CompensationReplay.hpp"
#include "files/CompensatorFile.hpp"
#include "demo/DemoPlots.hpp"
#include "replay/EstimationReplay.hpp"
#include "commands/EstimatorSettings.hpp"
#include "demo/GnuplotRunner.hpp"
#include "files/PayloadDescription.hpp"
#include "files/Recording.hpp"
#include "demo/SimulatedSensor.hpp"
#include "console/TextFormat.hpp"
#include "console/ToolError.hpp"
#include "sim/PayloadErrors.hpp"

namespace vorn::tools {

namespace {

namespace fs = std::filesystem;
using Wrench = std::array<double, 6>;

constexpr double kRateHz = 500.0;
constexpr double kMassTargetPercent = 1.0;
constexpr double kComTargetMm = 3.0;
constexpr double kRealtimeMinTime = 15.0;

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

/// The 16 reported quantities (mass, centre of mass, inertia about the origin, bias) of the
/// true payload and of the identified one.
sim::PayloadErrors::Quantities quantitiesOf(const PayloadDescription& truth) {
  const std::array<double, 6> inertia = truth.inertiaAboutOrigin();
  return {truth.mass, truth.com[0], truth.com[1], truth.com[2], inertia[0], inertia[1],
          inertia[2], inertia[3],   inertia[4],   inertia[5],   truth.bias[0], truth.bias[1],
          truth.bias[2], truth.bias[3], truth.bias[4], truth.bias[5]};
}

sim::PayloadErrors::Quantities quantitiesOf(const CompensatorFile& identified) {
  const auto& i = identified.inertia;
  const auto& b = identified.bias;
  return {identified.mass, identified.com[0], identified.com[1], identified.com[2], i[0], i[1],
          i[2], i[3], i[4], i[5], b[0], b[1], b[2], b[3], b[4], b[5]};
}

sim::PayloadErrors payloadErrors(const PayloadDescription& truth,
                                 const CompensatorFile& identified) {
  return sim::PayloadErrors::between(quantitiesOf(truth), quantitiesOf(identified));
}

Errors errorsOf(const PayloadDescription& truth, const CompensatorFile& identified) {
  const sim::PayloadErrors shared = payloadErrors(truth, identified);
  Errors errors;
  errors.massPercent = std::abs(shared.massRelative) * 100.0;
  errors.comMm = shared.comMm;
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
      "  (" + TextFormat::signedFixed(payloadErrors(truth, identified).massRelative * 100.0, 3) +
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

/// The files of one demo run, all in the work folder.
struct DemoFiles {
  explicit DemoFiles(const std::string& dir)
      : truth(inDir(dir, "true-payload.json")),
        config(inDir(dir, "estimator.json")),
        payload(inDir(dir, "payload.json")),
        dynamic(inDir(dir, "payload-dynamic.json")),
        estimationCsv(inDir(dir, "estimation.csv")),
        motionCsv(inDir(dir, "motion.csv")) {}

  std::string truth;
  std::string config;
  std::string payload;        ///< what the estimator writes
  std::string dynamic;        ///< its copy with dynamic compensation enabled
  std::string estimationCsv;  ///< the samples fed to the estimator
  std::string motionCsv;      ///< the fresh motion that is compensated
};

void checkOptions(const DemoCommand::Options& options) {
  if (!(options.maxDataSeconds > 0.0) || !std::isfinite(options.maxDataSeconds)) {
    throw ToolError("--max-seconds must be a positive number", kExitUsage);
  }
  std::error_code code;
  fs::create_directories(options.workdir, code);
  if (code || !fs::is_directory(options.workdir)) {
    throw ToolError("cannot create the work folder " + options.workdir +
                    (code ? ": " + code.message() : std::string()));
  }
}

/// Stage 1: the built-in payload, its simulated sensor and the estimator configuration written
/// for that sensor's noise.
SimulationSettings describePayload(const DemoCommand::Options& options, const DemoFiles& files) {
  heading("1/4 The payload and the estimator configuration");
  const PayloadDescription truth = PayloadDescription::demoGripper();
  SimulationSettings identification;
  identification.payload = truth;
  identification.profile = "tilt";
  identification.rateHz = kRateHz;
  identification.seed = options.seed;
  const SimulatedSensor sensor(identification);
  EstimatorSettings settings = EstimatorSettings::recommendedFor(sensor.noise(), kRateHz);
  if (options.realtime) {
    settings.minTime = kRealtimeMinTime;
    settings.maxTime = options.maxDataSeconds + 30.0;
  }
  truth.writeJson(files.truth);
  settings.writeJson(files.config);
  const NoiseLevels noise = sensor.noise();
  say("A parallel gripper (0.85 kg) holding a rod (0.35 kg): " + TextFormat::fixed(truth.mass, 2) +
      " kg, centre of mass " +
      TextFormat::fixed(std::hypot(truth.com[0], truth.com[1]) * 1000.0, 0) +
      " mm off the sensor axis and " + TextFormat::fixed(truth.com[2] * 1000.0, 0) +
      " mm out; the sensor has an offset of its own.");
  say("Simulated sensor: " + TextFormat::fixed(kRateHz, 0) + " samples/s, noise (std) " +
      TextFormat::shortest(noise.force_std) + " N, " + TextFormat::shortest(noise.torque_std) + " N m, " +
      TextFormat::shortest(noise.accel_std) + " m/s^2, " + TextFormat::shortest(noise.gyro_std) +
      " rad/s.");
  say("Wrote " + files.truth + " (the truth) and " + files.config +
      " (noise variances of this sensor; thresholds: mass 5 g, centre of mass 2 mm" +
      (options.realtime ? ", min_time " + TextFormat::shortest(settings.minTime) + " s)" : ")"));
  return identification;
}

/// Stage 2: the tilting motion fed to libVornPayloadEstimator; the samples fed are kept.
EstimationOutcome identify(const DemoCommand::Options& options, const DemoFiles& files,
                           const SimulationSettings& identification) {
  heading("2/4 Identification with libVornPayloadEstimator");
  say("Tilting the payload slowly through large angles, " +
      std::string(options.realtime ? "in real time" : "fast-forward") + ", at most " +
      TextFormat::shortest(options.maxDataSeconds) + " s of data. The library's output follows.");
  SimulatedSensor sensor(identification);
  Recording tilting;
  sensor.record(options.maxDataSeconds + 1.0 / kRateHz, tilting);
  {
    std::error_code ignored;
    fs::remove(files.payload, ignored);  // never mistake an old result for this run's
  }
  EstimationOutcome outcome;
  {
    EstimationReplay replay(files.config);
    ReplayOptions replayOptions;
    replayOptions.realtime = options.realtime;
    replayOptions.maxDataSeconds = options.maxDataSeconds;
    replayOptions.trajectoryRateHz = 20.0;  // for the convergence plot
    outcome = replay.run(tilting, replayOptions);
  }
  const Recording fed = firstSamples(tilting, outcome.samplesFed);
  fed.writeCsv(files.estimationCsv);
  std::cout << std::endl;
  return outcome;
}

/// Stage 3: the file the estimator wrote, read back and set against the truth.
CompensatorFile compareWithTruth(const DemoFiles& files, const PayloadDescription& truth) {
  heading("3/4 Identified against true");
  const CompensatorFile identified = CompensatorFile::readJson(files.payload);
  say("Read back from " + files.payload + ":");
  printComparison(truth, identified);
  say("The standard deviations in the estimator's report above describe errors of this size: "
      "the run stopped once they were below the thresholds, after a second of samples that "
      "the estimate explains within the sensor's noise.");
  return identified;
}

/// What stage 4 produced: the fresh motion and both compensations of it.
struct Compensation {
  Recording motion;
  std::vector<CompensatedSample> staticOut;
  std::vector<CompensatedSample> dynamicOut;
  CompensationFigures staticFigures;
  CompensationFigures dynamicFigures;
};

void printCompensationTable(const Compensation& c) {
  const auto cell = [](double left, double removed, int decimals) {
    return TextFormat::fixed(left, decimals) + " (" + percent(removed, 1) + " removed)";
  };
  const CompensationFigures& staticFigures = c.staticFigures;
  const CompensationFigures& dynamicFigures = c.dynamicFigures;
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
}

/// Stage 4: fresh brisk motion compensated with libVornPayloadCompensator, static, then static
/// and dynamic, each measured against the payload's true wrench.
Compensation compensate(const DemoCommand::Options& options, const DemoFiles& files,
                        const SimulationSettings& identification) {
  const double compensationSeconds = options.quick ? 10.0 : 30.0;
  heading("4/4 Compensation with libVornPayloadCompensator");
  SimulationSettings fresh = identification;
  fresh.profile = "brisk";
  fresh.seed = options.seed + 1000;
  SimulatedSensor freshSensor(fresh);
  Compensation c;
  std::vector<Wrench> payloadWrench;
  freshSensor.record(compensationSeconds, c.motion, &payloadWrench);
  c.motion.writeCsv(files.motionCsv);
  CompensatorFile::writeCopy(files.payload, files.dynamic, true);
  say(TextFormat::fixed(compensationSeconds, 0) + " s of fresh, brisk (hand-like) motion in " +
      files.motionCsv + "; compensated with " + files.payload + " (static) and with " +
      files.dynamic + " (\"enable_dynamic_compensation\": true). The library's output follows.");
  {
    CompensationReplay replay(files.payload);
    c.staticOut = replay.run(c.motion, std::nullopt, "compensating, static");
  }
  {
    CompensationReplay replay(files.dynamic);
    c.dynamicOut = replay.run(c.motion, std::nullopt, "compensating, static + dynamic");
  }
  c.staticFigures = measureCompensation(c.motion, payloadWrench, c.staticOut);
  c.dynamicFigures = measureCompensation(c.motion, payloadWrench, c.dynamicOut);
  printCompensationTable(c);
  return c;
}

/// The plots, when gnuplot is there.
void drawPlots(const DemoCommand::Options& options, const EstimationOutcome& outcome,
               const PayloadDescription& truth, const CompensatorFile& identified,
               const Compensation& c) {
  heading("Plots");
  const std::optional<std::string> gnuplot = GnuplotRunner::findExecutable();
  if (!gnuplot) {
    say("gnuplot is not installed (Debian: apt-get install gnuplot-nox); no plots drawn.");
    return;
  }
  DemoPlots plots(options.workdir);
  if (!options.quick) {
    say("Convergence plot: the estimate and its standard deviation over the run, from " +
        std::to_string(outcome.trajectory.size()) + " of the estimator's snapshots.");
    plots.setTrajectory(outcome.trajectory, truth);
  }
  const double plotFrom = options.quick ? 0.0 : 5.0;
  plots.setCompensation(c.motion, c.staticOut, c.dynamicOut, truth.bias, plotFrom,
                        plotFrom + 10.0);
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

/// The verdict against the demo's targets and the commands that replay the run; true when every
/// target is met.
bool judge(const DemoCommand::Options& options, const DemoFiles& files, const Errors& errors,
           const Compensation& c, double seconds) {
  heading("Result");
  const bool massOk = errors.massPercent <= kMassTargetPercent;
  const bool comOk = errors.comMm <= kComTargetMm;
  const CompensationFigures& staticFigures = c.staticFigures;
  const CompensationFigures& dynamicFigures = c.dynamicFigures;
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
  // Pasted from the folder the demo ran in, these work as printed and write into the work folder.
  const std::string program = programCommand();
  say("Demo finished in " + TextFormat::fixed(seconds, 1) + " s. Replay it by hand:");
  say("  " + program + " estimate " + (options.realtime ? "--realtime " : "") + "--config " +
      shellWord(files.config) + " " + shellWord(files.estimationCsv));
  say("  " + program + " compensate --config " + shellWord(files.payload) + " --out " +
      shellWord(inDir(options.workdir, "compensated.csv")) + " " + shellWord(files.motionCsv));
  return massOk && comOk && dynamicOk;
}

}  // namespace

int DemoCommand::run() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  checkOptions(options_);
  const DemoFiles files(options_.workdir);
  say("vorn-payload demo: identify a payload on a simulated sensor, then compensate it.");
  say("Work folder: " + options_.workdir);

  const SimulationSettings identification = describePayload(options_, files);
  const PayloadDescription& truth = identification.payload;
  const EstimationOutcome outcome = identify(options_, files, identification);
  if (!outcome.converged) {
    std::cerr << "vorn-payload: the estimation did not converge within "
              << TextFormat::fixed(outcome.dataSeconds, 1) << " s of data; see " << files.config
              << " and try a larger --max-seconds." << std::endl;
    return kExitRunFailed;
  }
  say("Converged after " + TextFormat::fixed(outcome.dataSeconds, 2) + " s of data (" +
      std::to_string(outcome.samplesFed) + " samples) in " +
      TextFormat::fixed(outcome.wallSeconds, 2) + " s. The samples fed are in " +
      files.estimationCsv + ".");

  const CompensatorFile identified = compareWithTruth(files, truth);
  const Errors errors = errorsOf(truth, identified);
  const Compensation compensation = compensate(options_, files, identification);
  if (!options_.noPlots) {
    drawPlots(options_, outcome, truth, identified, compensation);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return judge(options_, files, errors, compensation, seconds) ? kExitOk : kExitRunFailed;
}

}  // namespace vorn::tools

#include "AccuracyRun.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <iostream>
#include <limits>
#include <ostream>
#include <utility>

#include <Eigen/Dense>
#include <nlohmann/json.hpp>

#include "core/identification/EstimateIndex.hpp"
#include "core/identification/InertialParameters.hpp"
#include "StdoutSilencer.hpp"
#include "filters/CentredDifferentiator.hpp"
#include "sim/Noise.hpp"
#include "sim/PayloadErrors.hpp"
#include "sim/Simulator.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace vorn::accuracy {

namespace {

constexpr const char* kConfigName = "estimator.json";
constexpr const char* kOutputName = "payload.json";

nlohmann::json axes(double value) { return {{"x", value}, {"y", value}, {"z", value}}; }

/// The 16 reported quantities of the truth: mass, centre of mass, inertia about the origin
/// (vech order), bias.
std::array<double, 16> trueValues(const RunCase& c) {
  const Eigen::Matrix3d io = c.payload.inertiaAboutOrigin();
  return {c.payload.mass, c.payload.com.x(), c.payload.com.y(), c.payload.com.z(),
          io(0, 0),       io(0, 1),          io(0, 2),          io(1, 1),
          io(1, 2),       io(2, 2),          c.bias[0],         c.bias[1],
          c.bias[2],      c.bias[3],         c.bias[4],         c.bias[5]};
}

/// The 16 values of the compensator file the estimator wrote.
std::array<double, 16> identifiedValues(const std::filesystem::path& file) {
  std::ifstream in(file);
  const nlohmann::json root = nlohmann::json::parse(in);
  const nlohmann::json& p = root.at("payload_compensator_config").at("payload_properties");
  const nlohmann::json& com = p.at("com");
  const nlohmann::json& in3 = p.at("inertia");
  const nlohmann::json& b = p.at("bias");
  return {p.at("mass").get<double>(),  com.at("x").get<double>(),   com.at("y").get<double>(),
          com.at("z").get<double>(),   in3.at("Ixx").get<double>(), in3.at("Ixy").get<double>(),
          in3.at("Ixz").get<double>(), in3.at("Iyy").get<double>(), in3.at("Iyz").get<double>(),
          in3.at("Izz").get<double>(), b.at("Fx").get<double>(),    b.at("Fy").get<double>(),
          b.at("Fz").get<double>(),    b.at("Tx").get<double>(),    b.at("Ty").get<double>(),
          b.at("Tz").get<double>()};
}

void compare(const std::array<double, 16>& truth, const std::array<double, 16>& estimate,
             const std::array<double, 16>& stdDev, RunResult& result) {
  const sim::PayloadErrors errors = sim::PayloadErrors::between(truth, estimate);
  result.massErrorPercent = errors.massPercent;
  result.comErrorMm = errors.comMm;
  result.inertiaOriginPercent = errors.inertiaOriginPercent;
  result.inertiaComPercent = errors.inertiaComPercent;
  result.forceBiasError = errors.forceBias;
  result.torqueBiasError = errors.torqueBias;
  for (std::size_t i = 0; i < estimate_index::kCount; ++i) {
    result.normalisedErrors[i] = (estimate[i] - truth[i]) / stdDev[i];
  }
}

/// The snapshot's convergence conditions, for the diagnosis of a run.
void recordConditions(const PayloadEstimate& estimate, RunResult& result) {
  result.endRatios = {estimate.mass.worstRatio, estimate.centerOfMass.worstRatio,
                      estimate.inertia.worstRatio, estimate.wrenchBias.worstRatio};
  result.endResidual = estimate.residual.value;
  result.endResidualWindowFull = estimate.residual.windowFull;
  result.endResidualMet = estimate.residual.met;
  result.endConsistent = estimate.physicalConsistency.met;
  result.endBlocking = static_cast<int>(estimate.blocking);
}

/// One trace row: the run's case, the snapshot's state and each value's error in its reported
/// standard deviation (NaN where the deviation is not positive).
void writeTraceRow(std::ostream& out, const RunCase& c, double elapsed,
                   const PayloadEstimate& estimate) {
  const std::array<double, 16> truth = trueValues(c);
  out << sim::toString(c.profile) << ',' << c.rateHz << ',' << toString(c.kind) << ','
      << c.noiseScale << ',' << c.payloadIndex << ',' << c.seed << ',' << c.draw << ','
      << elapsed << ',' << static_cast<int>(estimate.state) << ','
      << static_cast<int>(estimate.blocking) << ',' << estimate.residual.value;
  for (std::size_t i = 0; i < truth.size(); ++i) {
    const double sigma = estimate.stdDev[i];
    out << ','
        << (sigma > 0.0 ? (estimate.solution[i] - truth[i]) / sigma
                        : std::numeric_limits<double>::quiet_NaN());
  }
  for (const double sigma : estimate.stdDev) {
    out << ',' << sigma;
  }
  out << '\n';
}

}  // namespace

std::string AccuracyRun::traceFileName(int index) {
  return "trace-" + std::to_string(index) + ".csv";
}

std::string AccuracyRun::traceHeader() {
  std::string header =
      "motion,rate,kind,noise,payload,seed,draw,data_seconds,state,blocking,residual";
  for (int i = 0; i < estimate_index::kCount; ++i) {
    header += ",z" + std::to_string(i);
  }
  for (int i = 0; i < estimate_index::kCount; ++i) {
    header += ",sd" + std::to_string(i);
  }
  return header;
}

AccuracyRun::AccuracyRun(std::filesystem::path workDir) : workDir_(std::move(workDir)) {}

double AccuracyRun::derivedAngularAccelerationStd(double gyroStd, double rateHz) {
  // The library's own figure, with the window its pipeline uses at that rate.
  return std::sqrt(CentredDifferentiator::slopeVariance(gyroStd * gyroStd, rateHz));
}

ChannelNoise AccuracyRun::channelNoise(const RunCase& c) {
  const sim::NoiseConfig noise = sim::NoiseConfig{}.scaled(c.noiseScale);
  ChannelNoise n;
  n.sensor = noise;
  n.angularAcc = c.angularAccStd >= 0.0 ? c.angularAccStd * c.noiseScale
                                        : derivedAngularAccelerationStd(noise.gyro_std, c.rateHz);
  return n;
}

std::vector<std::optional<std::array<double, 16>>> AccuracyRun::boundTimeline(const RunCase& c) {
  sim::SimulatorConfig simConfig;
  simConfig.payload = c.payload;
  simConfig.motion = sim::makeMotion(c.profile, c.motionSeed);
  simConfig.noise = sim::NoiseConfig::none();
  simConfig.bias = c.bias;
  simConfig.rate_hz = c.rateHz;
  const sim::Simulator simulator(simConfig);
  CramerRaoBound bound(c.payload, channelNoise(c));
  std::vector<std::optional<std::array<double, 16>>> timeline;
  const auto total = static_cast<long>(std::floor(c.dataTimeCap * c.rateHz + 1e-9));
  double next = kBoundStep;
  for (long k = 0; k <= total; ++k) {
    const double elapsed = static_cast<double>(k) / c.rateHz;
    const sim::Truth truth = simulator.noiseFreeAt(elapsed).truth;
    bound.add(truth.specific_force, truth.angular_velocity, truth.angular_acceleration);
    if (elapsed + 1e-9 >= next) {
      timeline.push_back(bound.standardDeviations());
      next += kBoundStep;
    }
  }
  return timeline;
}

namespace {

bool withinThresholds(const std::array<double, 16>& sigma, const Thresholds& t) {
  for (int i = 0; i < estimate_index::kCount; ++i) {
    const double limits[4] = {t.mass, t.com, t.inertia, t.wrenchBias};
    const double limit = limits[estimate_index::groupOf(i)];
    if (!(sigma[static_cast<std::size_t>(i)] < limit)) {
      return false;
    }
  }
  return true;
}

/// The bound's figures of a run: feasibility, its time, and the efficiency of the reported
/// deviations at the run's end.
void compareWithBound(const RunCase& c, const std::optional<std::array<double, 16>>& reported,
                      RunResult& result) {
  const auto timeline = AccuracyRun::boundTimeline(c);
  for (std::size_t k = 0; k < timeline.size(); ++k) {
    if (timeline[k] && withinThresholds(*timeline[k], c.thresholds)) {
      result.boundFeasible = true;
      result.boundSeconds = static_cast<double>(k + 1) * AccuracyRun::kBoundStep;
      break;
    }
  }
  result.efficiency.fill(0.0);
  if (!reported || timeline.empty()) {
    return;
  }
  const auto at = static_cast<std::size_t>(std::clamp(
      std::lround(result.dataSeconds / AccuracyRun::kBoundStep) - 1L, 0L,
      static_cast<long>(timeline.size()) - 1));
  if (!timeline[at]) {
    return;
  }
  namespace ei = estimate_index;
  const std::size_t first[4] = {ei::kMass, ei::kCentreOfMass, ei::kInertia, ei::kWrenchBias};
  const std::size_t count[4] = {ei::kCentreOfMass - ei::kMass, ei::kInertia - ei::kCentreOfMass,
                                ei::kWrenchBias - ei::kInertia, ei::kWrenchBiasCount};
  for (std::size_t g = 0; g < 4; ++g) {
    double sum = 0.0;
    for (std::size_t i = first[g]; i < first[g] + count[g]; ++i) {
      sum += (*reported)[i] / (*timeline[at])[i];
    }
    result.efficiency[g] = sum / static_cast<double>(count[g]);
  }
}

}  // namespace

std::string AccuracyRun::configurationText(const RunCase& c) {
  const sim::NoiseConfig noise = sim::NoiseConfig{}.scaled(c.noiseScale);
  const double alphaStd = channelNoise(c).angularAcc;
  const nlohmann::json config = {
      {"payload_estimator_config",
       {{"output_config_file_name", kOutputName},
        {"min_time", c.minTime},
        {"max_time", 1e9},
        // What a host knows beforehand: roughly a one-kilogram tool near the flange.
        {"prior_payload_properties",
         {{"mass", 1.0},
          {"com", {{"x", 0.0}, {"y", 0.0}, {"z", 0.05}}},
          {"inertia",
           {{"Ixx", 0.005},
            {"Ixy", 0.0},
            {"Ixz", 0.0},
            {"Iyy", 0.005},
            {"Iyz", 0.0},
            {"Izz", 0.005}}}}},
        {"measurement_noise_covariance",
         {{"force", axes(noise.force_std * noise.force_std)},
          {"torque", axes(noise.torque_std * noise.torque_std)},
          {"linear_acc", axes(noise.accel_std * noise.accel_std)},
          {"angular_vel", axes(noise.gyro_std * noise.gyro_std)},
          {"angular_acc", axes(alphaStd * alphaStd)}}},
        {"estimation_covariance_convergence_threshold",
         {{"mass", c.thresholds.mass},
          {"com", c.thresholds.com},
          {"inertia", c.thresholds.inertia},
          {"wrench_bias", c.thresholds.wrenchBias}}},
        {"runtime_verbosity", false},
        {"output_bias_estimate", true}}}};
  return config.dump(2) + "\n";
}

RunResult AccuracyRun::execute(const RunCase& c) const {
  RunResult result;
  result.caseIndex = c.index;
  const std::filesystem::path configPath = workDir_ / kConfigName;
  const std::filesystem::path outputPath = workDir_ / kOutputName;
  {
    std::ofstream out(configPath);
    out << configurationText(c);
  }
  std::error_code ignored;
  std::filesystem::remove(outputPath, ignored);

  sim::SimulatorConfig simConfig;
  simConfig.payload = c.payload;
  simConfig.motion = sim::makeMotion(c.profile, c.motionSeed);
  simConfig.noise = sim::NoiseConfig{}.scaled(c.noiseScale);
  simConfig.bias = c.bias;
  simConfig.rate_hz = c.rateHz;
  simConfig.noise_seed = c.noiseSeed;
  sim::Simulator simulator(simConfig);

  bool converged = false;
  std::optional<std::array<double, 16>> reportedStdDev;
  std::ofstream trace;
  if (c.traceStep > 0.0) {
    trace.open(workDir_ / traceFileName(c.index));
  }
  double nextTrace = c.traceStep;
  {
    const bench::StdoutSilencer quiet;  // the estimator's console lines
    try {
      VornPayloadEstimator estimator(configPath.string());
      estimator.startPayloadEstimation();
      while (true) {
        const sim::Sample sample = simulator.next();
        estimator.update(sample.stamp, sample.values);
        result.dataSeconds = sample.elapsed;
        // A row every step, and one at the instant the run ends (before the cap stops it).
        const bool ending = !estimator.isEstimatorRunning() || sample.elapsed >= c.dataTimeCap;
        if (trace.is_open() && (ending || sample.elapsed + 1e-9 >= nextTrace)) {
          writeTraceRow(trace, c, sample.elapsed, estimator.currentEstimate());
          while (nextTrace <= sample.elapsed + 1e-9) {
            nextTrace += c.traceStep;
          }
        }
        if (!estimator.isEstimatorRunning()) {
          break;
        }
        if (sample.elapsed >= c.dataTimeCap) {
          recordConditions(estimator.currentEstimate(), result);
          estimator.startPayloadEstimation();  // a second call stops the run
          break;
        }
      }
      converged = estimator.isEstimationSuccessful();
      if (converged) {
        recordConditions(estimator.currentEstimate(), result);
      }
      result.end = converged ? RunEnd::Converged : RunEnd::TimeLimit;
      if (converged) {
        // The deviations the estimator reported with its result, read through its snapshot.
        reportedStdDev = estimator.currentEstimate().stdDev;
      }
    } catch (const std::exception&) {
      result.end = RunEnd::Failed;
    }
  }
  const std::optional<std::array<double, 16>>& stdDev = reportedStdDev;
  compareWithBound(c, stdDev, result);
  if (!converged) {
    return result;
  }
  if (!stdDev) {
    result.end = RunEnd::Failed;
    return result;
  }
  try {
    const std::array<double, 16> identified = identifiedValues(outputPath);
    compare(trueValues(c), identified, *stdDev, result);
    sim::InertialParameters written;
    for (int i = 0; i < estimate_index::kInertialCount; ++i) {
      written[i] = identified[static_cast<std::size_t>(i)];
    }
    written.segment<3>(estimate_index::kCentreOfMass) *= written[estimate_index::kMass];  // first moments from the centre of mass
    result.fileConsistent =
        written[0] > 0.0 && sim::Payload::fromInertialParameters(written).isPhysicallyConsistent();

  } catch (const std::exception&) {
    result.end = RunEnd::Failed;
  }
  return result;
}

}  // namespace vorn::accuracy

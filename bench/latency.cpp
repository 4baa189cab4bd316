// Latency distribution of single calls: each call is timed on its own with the steady clock, over
// 2^20 (about a million) samples per row, and the median, 99th and 99.9th percentiles and the
// maximum are reported (ns). References in the same run: the bare payload model evaluation the
// compensator wraps (6 x 10 regressor times the parameters plus the measured wrench), a 17 x 17
// LU inverse, and the clock read itself (an empty timed call).
//
//   vorn_bench_latency
//
// Counters: p50_ns, p99_ns, p999_ns, max_ns, mean_ns. The compensator rows also time the bare
// model in the same loop, alternating with the updates: `model_p50_ns` is its median there and
// `ratio_to_model` the update's median over it.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <Eigen/Core>
#include <Eigen/LU>

#include "StdoutSilencer.hpp"
#include "data/DynamicsStamped.hpp"
#include "identification/ObservationModelBasic.hpp"
#include "sim/Simulator.hpp"
#include "vorn/VornPayloadCompensator.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace {

namespace fs = std::filesystem;
using Sample = std::array<double, 12>;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kCalls = std::size_t{1} << 20;
constexpr double kDt = 0.001;

/// Ten seconds of a gripper turned about by hand at 1 kHz with sensor noise, replayed in a loop.
const std::vector<Sample>& recording() {
  static const std::vector<Sample> samples = [] {
    vorn::sim::SimulatorConfig config;
    config.payload = vorn::sim::Payload::solidBox(1.2, {0.08, 0.06, 0.12}, {0.02, -0.01, 0.08});
    config.motion = vorn::sim::makeMotion(vorn::sim::MotionPreset::Brisk, 5);
    config.bias << 2.0, -1.5, 0.8, 0.05, -0.03, 0.02;
    vorn::sim::Simulator simulator(config);
    std::vector<Sample> out;
    for (const auto& sample : simulator.generate(10000)) {
      out.push_back(sample.values);
    }
    return out;
  }();
  return samples;
}

/// Durations of single calls (ns), preallocated so that recording them allocates nothing.
class Latencies {
 public:
  Latencies() { ns_.reserve(kCalls); }

  template <typename Call>
  void time(Call&& call) {
    const Clock::time_point start = Clock::now();
    call();
    const Clock::time_point stop = Clock::now();
    ns_.push_back(static_cast<double>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count()));
  }

  /// Median of the recorded durations.
  double median() const {
    std::vector<double> sorted = ns_;
    std::nth_element(sorted.begin(),
                     sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    return sorted[sorted.size() / 2];
  }

  /// Writes the percentiles as counters; returns the median.
  double report(benchmark::State& state) {
    std::vector<double> sorted = ns_;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double q) {
      const std::size_t index = std::min(
          sorted.size() - 1, static_cast<std::size_t>(q * static_cast<double>(sorted.size())));
      return sorted[index];
    };
    double sum = 0.0;
    for (const double v : sorted) {
      sum += v;
    }
    state.counters["p50_ns"] = at(0.5);
    state.counters["p99_ns"] = at(0.99);
    state.counters["p999_ns"] = at(0.999);
    state.counters["max_ns"] = sorted.back();
    state.counters["mean_ns"] = sum / static_cast<double>(sorted.size());
    state.counters["calls"] = static_cast<double>(sorted.size());
    return at(0.5);
  }

 private:
  std::vector<double> ns_;
};

void BM_ClockRead(benchmark::State& state) {
  Latencies latencies;
  for (auto _ : state) {
    for (std::size_t k = 0; k < kCalls; ++k) {
      latencies.time([] { benchmark::ClobberMemory(); });
    }
  }
  latencies.report(state);
}

/// The payload model the compensator evaluates, bare: the 6 x 10 regressor of one record times
/// the ten parameters, added to the measured wrench.
class BareModel {
 public:
  BareModel() { theta_ << 1.2, 0.0024, 0.012, 0.072, 0.0062, 0.0001, 0.0, 0.0061, -0.0007, 0.0015; }

  /// Times one evaluation on the record made from sample `s` stamped `stamp`.
  void timeOne(Latencies& latencies, const Sample& s, double stamp) const {
    const vorn::DynamicsStamped record(
        vorn::KinematicsStamped(stamp, Eigen::Vector3d(s[6], s[7], s[8]),
                                Eigen::Vector3d(s[9], s[10], s[11]),
                                Eigen::Vector3d(s[11], s[9], s[10])),
        vorn::WrenchStamped(stamp, Eigen::Vector3d(s[0], s[1], s[2]),
                            Eigen::Vector3d(s[3], s[4], s[5])));
    Eigen::Matrix<double, 6, 1> compensated;
    latencies.time([&] {
      Eigen::Matrix<double, 6, 1> measured;
      measured << record.force(), record.torque();
      compensated = measured + model_.dataMatrix(record) * theta_;
      benchmark::DoNotOptimize(compensated.data());
    });
  }

 private:
  vorn::ObservationModelBasic model_;
  Eigen::Matrix<double, 10, 1> theta_;
};

void BM_BareModelEvaluation(benchmark::State& state) {
  const std::vector<Sample>& samples = recording();
  const BareModel model;
  Latencies latencies;
  for (auto _ : state) {
    for (std::size_t k = 0; k < kCalls; ++k) {
      model.timeOne(latencies, samples[k % samples.size()], static_cast<double>(k) * kDt);
    }
  }
  latencies.report(state);
}

void BM_LuInverse17(benchmark::State& state) {
  Eigen::Matrix<double, 17, 17> a = Eigen::Matrix<double, 17, 17>::Random();
  a += 17.0 * Eigen::Matrix<double, 17, 17>::Identity();
  Latencies latencies;
  for (auto _ : state) {
    for (std::size_t k = 0; k < kCalls; ++k) {
      a(k % 17, (k / 17) % 17) += 1e-9;
      Eigen::Matrix<double, 17, 17> inverse;
      latencies.time([&] {
        inverse = a.partialPivLu().inverse();
        benchmark::DoNotOptimize(inverse.data());
      });
    }
  }
  latencies.report(state);
}

std::string writeCompensatorConfig(const fs::path& dir, bool dynamic) {
  const fs::path path = dir / (dynamic ? "dynamic.json" : "static.json");
  std::ofstream file(path);
  file << R"({ "payload_compensator_config": {
    "payload_properties": {
      "mass": 1.2, "com": { "x": 0.02, "y": -0.01, "z": 0.08 },
      "inertia": { "Ixx": 0.0062, "Ixy": 0.0001, "Ixz": 0.0, "Iyy": 0.0061, "Iyz": -0.0007,
                   "Izz": 0.0015 } },
    "enable_dynamic_compensation": )"
       << (dynamic ? "true" : "false") << " } }\n";
  return path.string();
}

/// A private folder for configuration files; standard output goes nowhere while it exists.
class QuietFolder {
 public:
  QuietFolder()
      : dir_(fs::temp_directory_path() / ("vorn-bench-latency-" + std::to_string(::getpid()))) {
    fs::create_directories(dir_);
  }
  ~QuietFolder() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  QuietFolder(const QuietFolder&) = delete;
  QuietFolder& operator=(const QuietFolder&) = delete;
  const fs::path& path() const { return dir_; }

 private:
  vorn::bench::StdoutSilencer quiet_;
  fs::path dir_;
};

void compensatorLatency(benchmark::State& state, bool dynamic) {
  const std::vector<Sample>& samples = recording();
  QuietFolder folder;
  vorn::VornPayloadCompensator compensator(writeCompensatorConfig(folder.path(), dynamic));
  Sample out{};
  std::size_t k = 0;
  for (; k < 5000; ++k) {
    compensator.update(static_cast<double>(k) * kDt, samples[k % samples.size()], out);
  }
  // The bare model is timed in the same loop, alternating with the updates, so that both see
  // the same machine load.
  const BareModel model;
  Latencies latencies;
  Latencies modelLatencies;
  int failures = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < kCalls; ++i, ++k) {
      const double stamp = static_cast<double>(k) * kDt;
      const Sample& in = samples[k % samples.size()];
      int status = 0;
      latencies.time([&] {
        status = compensator.update(stamp, in, out);
        benchmark::DoNotOptimize(out.data());
      });
      failures += status != 0;
      model.timeOne(modelLatencies, in, stamp);
    }
  }
  if (failures != 0) {
    state.SkipWithError("samples were rejected");
  }
  const double median = latencies.report(state);
  const double modelMedian = modelLatencies.median();
  state.counters["model_p50_ns"] = modelMedian;
  state.counters["ratio_to_model"] = median / modelMedian;
}

void BM_CompensatorUpdateStatic(benchmark::State& state) { compensatorLatency(state, false); }
void BM_CompensatorUpdateDynamic(benchmark::State& state) { compensatorLatency(state, true); }

std::string writeEstimatorConfig(const fs::path& dir) {
  const std::string path = (dir / "estimator.json").string();
  std::ofstream out(path);
  // Thresholds of zero: the run never converges and goes on for the whole measurement.
  out << R"({"payload_estimator_config": {
    "output_config_file_name": "payload.json", "min_time": 0, "max_time": 1e9,
    "prior_payload_properties": {"mass": 1.0, "com": {"x": 0, "y": 0, "z": 0},
      "inertia": {"Ixx": 0.01, "Ixy": 0, "Ixz": 0, "Iyy": 0.01, "Iyz": 0, "Izz": 0.01}},
    "measurement_noise_covariance": {
      "force": {"x": 0.0025, "y": 0.0025, "z": 0.0025},
      "torque": {"x": 9e-6, "y": 9e-6, "z": 9e-6},
      "linear_acc": {"x": 4e-4, "y": 4e-4, "z": 4e-4},
      "angular_vel": {"x": 9e-6, "y": 9e-6, "z": 9e-6},
      "angular_acc": {"x": 1e-4, "y": 1e-4, "z": 1e-4}},
    "estimation_covariance_convergence_threshold":
      {"mass": 0, "com": 0, "inertia": 0, "wrench_bias": 0},
    "runtime_verbosity": false, "output_bias_estimate": false}})";
  return path;
}

void BM_EstimatorUpdate(benchmark::State& state) {
  const std::vector<Sample>& samples = recording();
  QuietFolder folder;
  vorn::VornPayloadEstimator estimator(writeEstimatorConfig(folder.path()));
  estimator.startPayloadEstimation();
  std::size_t k = 0;
  for (; k < 5000; ++k) {
    estimator.update(static_cast<double>(k) * kDt, samples[k % samples.size()]);
  }
  Latencies latencies;
  for (auto _ : state) {
    for (std::size_t i = 0; i < kCalls; ++i, ++k) {
      const double stamp = static_cast<double>(k) * kDt;
      const Sample& in = samples[k % samples.size()];
      latencies.time([&] { benchmark::DoNotOptimize(estimator.update(stamp, in)); });
    }
  }
  if (!estimator.isEstimatorRunning()) {
    state.SkipWithError("the run ended");
  }
  latencies.report(state);
}

}  // namespace

BENCHMARK(BM_ClockRead)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareModelEvaluation)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompensatorUpdateStatic)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompensatorUpdateDynamic)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuInverse17)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EstimatorUpdate)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// Cost of one estimator sample through the public facade during a run, in steady state (series
// shrunk, convergence tested on every sample), with and without a snapshot read after every
// sample, and the memory of a run over a million samples.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "StdoutSilencer.hpp"
#include "sim/Simulator.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace {

namespace fs = std::filesystem;

// A configuration whose run never ends: zero thresholds, convergence tested from the start
// (min_time 0), no practical time limit.
std::string writeConfig(const fs::path& dir) {
  const std::string path = (dir / "estimator.json").string();
  std::ofstream out(path);
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

// Ten seconds of a gripper turned about by hand, at 1 kHz with sensor noise; replayed with
// stamps that keep increasing.
std::vector<std::array<double, 12>> recording() {
  vorn::sim::SimulatorConfig config;
  config.payload = vorn::sim::Payload::solidBox(1.2, {0.08, 0.06, 0.12}, {0.02, -0.01, 0.08});
  config.motion = vorn::sim::makeMotion(vorn::sim::MotionPreset::Brisk, 5);
  config.bias << 2.0, -1.5, 0.8, 0.05, -0.03, 0.02;
  vorn::sim::Simulator simulator(config);
  std::vector<std::array<double, 12>> samples;
  for (const auto& sample : simulator.generate(10000)) {
    samples.push_back(sample.values);
  }
  return samples;
}

// Resident set size in kB.
long residentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A temporary folder with the configuration; the estimator's console output goes nowhere
// while it exists.
class Run {
 public:
  Run()
      : dir_(fs::temp_directory_path() / ("vorn-bench-" + std::to_string(getpid()))) {
    fs::create_directories(dir_);
    estimator_ = std::make_unique<vorn::VornPayloadEstimator>(writeConfig(dir_));
    estimator_->startPayloadEstimation();
  }
  ~Run() {
    estimator_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  int feed(const std::array<double, 12>& sample) {
    stamp_ += 0.001;
    return estimator_->update(stamp_, sample);
  }
  bool running() const { return estimator_->isEstimatorRunning(); }
  vorn::PayloadEstimate snapshot() const { return estimator_->currentEstimate(); }

 private:
  vorn::bench::StdoutSilencer quiet_;
  fs::path dir_;
  std::unique_ptr<vorn::VornPayloadEstimator> estimator_;
  double stamp_ = 0.0;
};

// One sample through `update`, followed by a snapshot when `withSnapshot` (the host that shows
// progress after every sample).
void runUpdateBenchmark(benchmark::State& state, bool withSnapshot) {
  const auto samples = recording();
  Run run;
  std::size_t next = 0;
  // Past the first records: the series are shrunk from here on.
  for (int i = 0; i < 2000; ++i) {
    run.feed(samples[next++ % samples.size()]);
  }
  std::vector<double> micros;
  micros.reserve(1 << 20);
  for (auto _ : state) {
    const auto& sample = samples[next++ % samples.size()];
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(run.feed(sample));
    if (withSnapshot) {
      const vorn::PayloadEstimate estimate = run.snapshot();
      benchmark::DoNotOptimize(estimate.solution[0]);
    }
    const auto stop = std::chrono::steady_clock::now();
    if (micros.size() < micros.capacity()) {
      micros.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    }
  }
  if (!run.running()) {
    state.SkipWithError("the run ended");
  }
  if (!micros.empty()) {
    std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_EstimatorUpdate(benchmark::State& state) { runUpdateBenchmark(state, false); }
BENCHMARK(BM_EstimatorUpdate)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_EstimatorUpdateWithSnapshot(benchmark::State& state) { runUpdateBenchmark(state, true); }
BENCHMARK(BM_EstimatorUpdateWithSnapshot)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// The snapshot alone, during a run (the excitation advice refreshed every quarter second of
// data, as the stamps advance).
void BM_EstimateSnapshot(benchmark::State& state) {
  const auto samples = recording();
  Run run;
  std::size_t next = 0;
  for (int i = 0; i < 2000; ++i) {
    run.feed(samples[next++ % samples.size()]);
  }
  for (auto _ : state) {
    const vorn::PayloadEstimate estimate = run.snapshot();
    benchmark::DoNotOptimize(estimate.solution[0]);
  }
}
BENCHMARK(BM_EstimateSnapshot)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

void BM_EstimatorMemoryOverAMillionSamples(benchmark::State& state) {
  const auto samples = recording();
  for (auto _ : state) {
    Run run;
    for (int i = 0; i < 10000; ++i) {
      run.feed(samples[static_cast<std::size_t>(i) % samples.size()]);
    }
    const long before = residentKilobytes();
    for (int i = 0; i < 1000000; ++i) {
      run.feed(samples[static_cast<std::size_t>(i) % samples.size()]);
    }
    const long after = residentKilobytes();
    state.counters["rss_before_kB"] = static_cast<double>(before);
    state.counters["rss_growth_kB"] = static_cast<double>(after - before);
    if (!run.running()) {
      state.SkipWithError("the run ended");
    }
  }
}
BENCHMARK(BM_EstimatorMemoryOverAMillionSamples)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

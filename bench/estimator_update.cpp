// Cost of one estimator sample through the public facade during a run, in steady state (series
// shrunk, convergence tested on every sample), with and without a snapshot read after every
// sample, and the memory of a run over a million samples.
#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchInputs.hpp"
#include "QuietFolder.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace {

// A run in a temporary folder with the configuration; the estimator's console output goes
// nowhere while it exists.
class Run {
 public:
  Run() : folder_("vorn-bench") {
    estimator_ = std::make_unique<vorn::VornPayloadEstimator>(
        vorn::bench::writeEndlessEstimatorConfig(folder_.path()));
    estimator_->startPayloadEstimation();
  }
  ~Run() { estimator_.reset(); }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  int feed(const std::array<double, 12>& sample) {
    stamp_ += 0.001;
    return estimator_->update(stamp_, sample);
  }
  bool running() const { return estimator_->isEstimatorRunning(); }
  vorn::PayloadEstimate snapshot() const { return estimator_->currentEstimate(); }

 private:
  vorn::bench::QuietFolder folder_;
  std::unique_ptr<vorn::VornPayloadEstimator> estimator_;
  double stamp_ = 0.0;
};

// One sample through `update`, followed by a snapshot when `withSnapshot` (the host that shows
// progress after every sample).
void runUpdateBenchmark(benchmark::State& state, bool withSnapshot,
                        const std::vector<vorn::bench::Sample>& samples) {
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

void BM_EstimatorUpdate(benchmark::State& state) {
  runUpdateBenchmark(state, false, vorn::bench::gripperRecording());
}
BENCHMARK(BM_EstimatorUpdate)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_EstimatorUpdateWithSnapshot(benchmark::State& state) {
  runUpdateBenchmark(state, true, vorn::bench::gripperRecording());
}
BENCHMARK(BM_EstimatorUpdateWithSnapshot)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// With the inertia held out of the estimator's metric throughout: each sample also advances the
// iteration that measures the held inertia's bias.
void BM_EstimatorUpdateInertiaHeld(benchmark::State& state) {
  runUpdateBenchmark(state, false, vorn::bench::heldInertiaRecording());
}
BENCHMARK(BM_EstimatorUpdateInertiaHeld)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// The snapshot alone, during a run (the excitation advice refreshed every quarter second of
// data, as the stamps advance).
void BM_EstimateSnapshot(benchmark::State& state) {
  const auto samples = vorn::bench::gripperRecording();
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
  const auto samples = vorn::bench::gripperRecording();
  for (auto _ : state) {
    Run run;
    for (int i = 0; i < 10000; ++i) {
      run.feed(samples[static_cast<std::size_t>(i) % samples.size()]);
    }
    const long before = vorn::bench::residentKilobytes();
    for (int i = 0; i < 1000000; ++i) {
      run.feed(samples[static_cast<std::size_t>(i) % samples.size()]);
    }
    const long after = vorn::bench::residentKilobytes();
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

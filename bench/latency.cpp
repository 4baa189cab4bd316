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

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>
#include <Eigen/Core>
#include <Eigen/LU>

#include "BenchInputs.hpp"
#include "QuietFolder.hpp"
#include "data/DynamicsStamped.hpp"
#include "identification/ObservationModelBasic.hpp"
#include "vorn/VornPayloadCompensator.hpp"
#include "vorn/VornPayloadEstimator.hpp"

namespace {

using vorn::bench::Sample;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kCalls = std::size_t{1} << 20;
constexpr double kDt = 0.001;

/// The simulated gripper recording, made once and replayed in a loop.
const std::vector<Sample>& recording() {
  static const std::vector<Sample> samples = vorn::bench::gripperRecording();
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

void compensatorLatency(benchmark::State& state, bool dynamic) {
  const std::vector<Sample>& samples = recording();
  const vorn::bench::QuietFolder folder("vorn-bench-latency");
  vorn::VornPayloadCompensator compensator(vorn::bench::writeCompensatorConfig(
      folder.path() / (dynamic ? "dynamic.json" : "static.json"), dynamic, {0.02, -0.01, 0.08}));
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

void BM_EstimatorUpdate(benchmark::State& state) {
  const std::vector<Sample>& samples = recording();
  const vorn::bench::QuietFolder folder("vorn-bench-latency");
  vorn::VornPayloadEstimator estimator(vorn::bench::writeEndlessEstimatorConfig(folder.path()));
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

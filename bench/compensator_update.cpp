// Cost of one VornPayloadCompensator::update in steady state (static and dynamic compensation),
// and a check that memory stays flat over ten million samples.
//
//   vorn_bench_compensator_update --benchmark_repetitions=10 --benchmark_report_aggregates_only
//
// Report the median: the time per iteration of BM_Update* is the time per sample. The memory
// benchmarks run once (ten million samples each) and report the resident set size before and
// after as counters (kB); `rss_growth_kB` should stay near zero.

#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <vorn/VornPayloadCompensator.hpp>

#include "BenchInputs.hpp"
#include "StdoutSilencer.hpp"
#include "compensation/InertiaCompensator.hpp"
#include "compensation/PayloadCompensatorConfig.hpp"

namespace {

using vorn::bench::Sample;
constexpr std::size_t kTableSize = 4096;  // power of two
constexpr double kDt = 0.001;             // 1 kHz stamps

std::string writeConfig(bool dynamic) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("vorn_bench_compensator_" + std::to_string(::getpid()) +
                                      (dynamic ? "_dyn" : "_st") + ".json");
  return vorn::bench::writeCompensatorConfig(path, dynamic, {0.002, 0.01, 0.06});
}

/// A moving, rotating tool: smooth values that change every sample.
std::vector<Sample> sampleTable() {
  std::vector<Sample> table(kTableSize);
  for (std::size_t k = 0; k < kTableSize; ++k) {
    const double t = static_cast<double>(k) * kDt;
    const double w = 2.0 * 3.14159265358979323846 * t;
    const double s = std::sin(w), c = std::cos(w);
    table[k] = {0.3 * s, -0.2 * c, -11.8 + 0.5 * s, 0.02 * c, -0.01 * s, 0.003,
                0.8 * s, -0.6 * c, 9.81 + 0.3 * s,  0.4 * c,  0.3 * s,   -0.2 * c};
  }
  return table;
}

/// Constructs a compensator with its console lines swallowed.
std::unique_ptr<vorn::VornPayloadCompensator> makeCompensator(const std::string& path) {
  std::unique_ptr<vorn::VornPayloadCompensator> compensator;
  {
    const vorn::bench::StdoutSilencer quiet;
    compensator = std::make_unique<vorn::VornPayloadCompensator>(path);
  }
  std::filesystem::remove(path);
  return compensator;
}

void runUpdate(benchmark::State& state, bool dynamic) {
  const std::vector<Sample> table = sampleTable();
  auto compensator = makeCompensator(writeConfig(dynamic));
  Sample out{};
  std::size_t k = 0;
  // Steady state: the tare window holds a full second, the series have reached their size.
  for (; k < 3000; ++k) {
    compensator->update(static_cast<double>(k) * kDt, table[k & (kTableSize - 1)], out);
  }
  for (auto _ : state) {
    const int status =
        compensator->update(static_cast<double>(k) * kDt, table[k & (kTableSize - 1)], out);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    ++k;
  }
  if (out[0] != out[0]) {
    state.SkipWithError("non-finite output");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_UpdateStatic(benchmark::State& state) { runUpdate(state, false); }
void BM_UpdateDynamic(benchmark::State& state) { runUpdate(state, true); }

/// Ten million samples through the facade: resident set size before and after.
void BM_MemoryFlatTenMillionSamples(benchmark::State& state) {
  const bool dynamic = state.range(0) != 0;
  const std::vector<Sample> table = sampleTable();
  auto compensator = makeCompensator(writeConfig(dynamic));
  constexpr std::size_t kWarmUp = 100000;
  constexpr std::size_t kSamples = 10000000;
  Sample out{};
  long rssBefore = 0, maxRssBefore = 0, rssAfter = 0, maxRssAfter = 0;
  long rejected = 0;
  double nsPerSample = 0.0;
  for (auto _ : state) {
    std::size_t k = 0;
    for (; k < kWarmUp; ++k) {
      compensator->update(static_cast<double>(k) * kDt, table[k & (kTableSize - 1)], out);
    }
    rssBefore = vorn::bench::residentKilobytes();
    maxRssBefore = vorn::bench::peakResidentKilobytes();
    const auto start = std::chrono::steady_clock::now();
    for (; k < kWarmUp + kSamples; ++k) {
      rejected +=
          compensator->update(static_cast<double>(k) * kDt, table[k & (kTableSize - 1)], out) != 0;
    }
    const auto stop = std::chrono::steady_clock::now();
    nsPerSample = std::chrono::duration<double, std::nano>(stop - start).count() / kSamples;
    rssAfter = vorn::bench::residentKilobytes();
    maxRssAfter = vorn::bench::peakResidentKilobytes();
  }
  if (rejected != 0) {
    state.SkipWithError("some samples were rejected");
  }
  state.counters["rss_before_kB"] = static_cast<double>(rssBefore);
  state.counters["rss_after_kB"] = static_cast<double>(rssAfter);
  state.counters["rss_growth_kB"] = static_cast<double>(rssAfter - rssBefore);
  state.counters["maxrss_before_kB"] = static_cast<double>(maxRssBefore);
  state.counters["maxrss_after_kB"] = static_cast<double>(maxRssAfter);
  state.counters["ns_per_sample"] = nsPerSample;
}

/// Ten million samples through the core pipeline: the entries held by its nine series.
void BM_SeriesSizeTenMillionSamples(benchmark::State& state) {
  const std::string path = writeConfig(true);
  auto quiet = std::make_unique<vorn::bench::StdoutSilencer>();
  vorn::PayloadCompensatorConfig config(path);
  vorn::InertiaCompensator pipeline(config);
  quiet.reset();
  std::filesystem::remove(path);
  Eigen::Matrix<double, 10, 1> theta;
  theta << 1.2, 0.0024, 0.012, 0.072, 0.0062, 0.0001, 0.0, 0.0061, -0.0007, 0.0015;
  pipeline.setReferenceInertialParameters(theta);
  const std::vector<Sample> table = sampleTable();
  std::size_t maxEntries = 0, entriesAfterWarmUp = 0;
  for (auto _ : state) {
    for (std::size_t k = 0; k < 10000000; ++k) {
      const Sample& s = table[k & (kTableSize - 1)];
      const double t = static_cast<double>(k) * kDt;
      if (pipeline.processIMU(vorn::Vec3dStamped(t, Eigen::Vector3d(s[6], s[7], s[8])),
                              vorn::Vec3dStamped(t, Eigen::Vector3d(s[9], s[10], s[11]))) &&
          pipeline.processWrench(vorn::Vec3dStamped(t, Eigen::Vector3d(s[0], s[1], s[2])),
                                 vorn::Vec3dStamped(t, Eigen::Vector3d(s[3], s[4], s[5])))) {
        benchmark::DoNotOptimize(pipeline.computeInertiaCompensatedWrenchWoDelay());
      }
      const std::size_t entries = pipeline.storedEntryCount();
      maxEntries = entries > maxEntries ? entries : maxEntries;
      if (k == 1000) {
        entriesAfterWarmUp = entries;
      }
    }
  }
  state.counters["series_entries_at_1k"] = static_cast<double>(entriesAfterWarmUp);
  state.counters["series_entries_max"] = static_cast<double>(maxEntries);
  state.counters["series_entries_end"] = static_cast<double>(pipeline.storedEntryCount());
}

}  // namespace

BENCHMARK(BM_UpdateStatic);
BENCHMARK(BM_UpdateDynamic);
BENCHMARK(BM_MemoryFlatTenMillionSamples)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("dynamic")
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeriesSizeTenMillionSamples)
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// Soak of the compensator: 100 million samples (about 28 hours at 1 kHz) through the public
// class in fast-forward, with a tare after warm-up. Memory (resident set before, after, peak) and
// output drift are measured: the input repeats every 4096 samples while the stamps keep growing,
// so every period's output should equal the first period's; `drift_max_N` / `drift_max_Nm` are
// the largest force and torque differences from it over the whole run, `drift_last_*` those of
// the last period.
//
//   vorn_bench_compensator_soak                                  # both modes, 100 M samples each
//   vorn_bench_compensator_soak --benchmark_filter='Soak/dynamic:1/Msamples:10'  # scaled run
//
// Not part of the test suite (minutes of run time).

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include <vorn/VornPayloadCompensator.hpp>

#include "BenchInputs.hpp"
#include "QuietFolder.hpp"

namespace {

using vorn::bench::Sample;
constexpr std::size_t kPeriod = 4096;  // power of two
constexpr double kDt = 0.001;          // 1 kHz stamps

/// A tool moved and turned about: smooth values that change every sample, periodic in kPeriod.
std::vector<Sample> periodicMotion() {
  std::vector<Sample> table(kPeriod);
  for (std::size_t k = 0; k < kPeriod; ++k) {
    const double w = 2.0 * 3.14159265358979323846 * static_cast<double>(k) / kPeriod;
    const double s = std::sin(w), c = std::cos(w), s3 = std::sin(3.0 * w);
    table[k] = {0.3 * s,  -0.2 * c, -11.8 + 0.5 * s3, 0.02 * c, -0.01 * s, 0.003,
                0.8 * s3, -0.6 * c, 9.81 + 0.3 * s,   0.4 * c,  0.3 * s3,  -0.2 * c};
  }
  return table;
}

void BM_Soak(benchmark::State& state) {
  const bool dynamic = state.range(0) != 0;
  const auto samples = static_cast<std::uint64_t>(state.range(1)) * 1000000U;
  const std::vector<Sample> table = periodicMotion();
  const vorn::bench::QuietFolder folder("vorn-soak");

  double driftForce = 0.0, driftTorque = 0.0, lastForce = 0.0, lastTorque = 0.0;
  long rssBefore = 0, rssAfter = 0, peakBefore = 0, peakAfter = 0;
  std::uint64_t rejected = 0;
  double nsPerSample = 0.0;
  for (auto _ : state) {
    vorn::VornPayloadCompensator compensator(vorn::bench::writeCompensatorConfig(
        folder.path() / "compensator.json", dynamic, {0.002, 0.01, 0.06}));
    Sample out{};
    std::uint64_t k = 0;
    // Warm-up of ten periods, then an immediate tare over the last second.
    for (; k < 10 * kPeriod; ++k) {
      compensator.update(static_cast<double>(k) * kDt, table[k % kPeriod], out);
    }
    compensator.tareCompensatedWrench();
    // The reference period.
    std::vector<std::array<double, 6>> reference(kPeriod);
    for (std::size_t i = 0; i < kPeriod; ++i, ++k) {
      rejected += compensator.update(static_cast<double>(k) * kDt, table[k % kPeriod], out) != 0;
      std::copy(out.begin(), out.begin() + 6, reference[i].begin());
    }
    rssBefore = vorn::bench::residentKilobytes();
    peakBefore = vorn::bench::peakResidentKilobytes();
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t end = k + samples;
    while (k < end) {
      double periodForce = 0.0, periodTorque = 0.0;
      for (std::size_t i = 0; i < kPeriod && k < end; ++i, ++k) {
        rejected += compensator.update(static_cast<double>(k) * kDt, table[k % kPeriod], out) != 0;
        const std::array<double, 6>& r = reference[k % kPeriod];
        for (int j = 0; j < 3; ++j) {
          periodForce = std::max(periodForce, std::abs(out[j] - r[j]));
          periodTorque = std::max(periodTorque, std::abs(out[j + 3] - r[j + 3]));
        }
      }
      driftForce = std::max(driftForce, periodForce);
      driftTorque = std::max(driftTorque, periodTorque);
      lastForce = periodForce;
      lastTorque = periodTorque;
    }
    const auto stop = std::chrono::steady_clock::now();
    nsPerSample = std::chrono::duration<double, std::nano>(stop - start).count() /
                  static_cast<double>(samples);
    rssAfter = vorn::bench::residentKilobytes();
    peakAfter = vorn::bench::peakResidentKilobytes();
    state.counters["final_stamp_s"] = static_cast<double>(k) * kDt;
  }
  if (rejected != 0) {
    state.SkipWithError("samples were rejected");
  }
  state.counters["rss_before_kB"] = static_cast<double>(rssBefore);
  state.counters["rss_after_kB"] = static_cast<double>(rssAfter);
  state.counters["peak_rss_before_kB"] = static_cast<double>(peakBefore);
  state.counters["peak_rss_after_kB"] = static_cast<double>(peakAfter);
  state.counters["drift_max_N"] = driftForce;
  state.counters["drift_max_Nm"] = driftTorque;
  state.counters["drift_last_N"] = lastForce;
  state.counters["drift_last_Nm"] = lastTorque;
  state.counters["ns_per_sample"] = nsPerSample;
}

}  // namespace

BENCHMARK(BM_Soak)
    ->ArgNames({"dynamic", "Msamples"})
    ->Args({0, 100})
    ->Args({1, 100})
    ->Args({1, 10})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();

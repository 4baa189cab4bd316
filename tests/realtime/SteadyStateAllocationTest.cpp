// Heap allocations on the per-sample path of both libraries, counted through their public
// classes after warm-up. A call that printed a line may allocate for the message; every other
// call must allocate nothing.

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/VornPayloadCompensator.hpp>
#include <vorn/VornPayloadEstimator.hpp>

#include "realtime/AllocationMeter.hpp"
#include "realtime/CountingAllocator.hpp"
#include "support/EstimatorTestSupport.hpp"
#include "support/ScopedEnvironment.hpp"

namespace {

using Sample = std::array<double, 12>;
using vorn::test::AllocationMeter;
using vorn::test::CountingAllocator;

constexpr int kWarmUp = 5000;
constexpr int kMeasured = 100000;
constexpr double kDt = 0.001;

#define SKIP_WITHOUT_COUNTER()                                                        \
  if (!CountingAllocator::available()) {                                              \
    GTEST_SKIP() << "allocations are not counted in sanitizer builds (the sanitizer " \
                    "owns malloc)";                                                   \
  }

/// A tool swung about at 1 kHz: every value changes from sample to sample.
Sample movingSample(int k) {
  const double t = k * kDt;
  const double s = std::sin(6.0 * t), c = std::cos(4.0 * t);
  return {0.3 * s, -0.2 * c, -11.8 + 0.5 * s, 0.02 * c, -0.01 * s, 0.003,
          0.8 * s, -0.6 * c, 9.81 + 0.3 * s,  0.4 * c,  0.3 * s,   -0.2 * c};
}

std::unique_ptr<vorn::VornPayloadCompensator> makeCompensator(const vorn::test::TempDir& dir,
                                                              bool dynamic) {
  const std::string path = dir.file("compensator.json");
  vorn::test::writeFile(path, std::string(R"({ "payload_compensator_config": {
    "payload_properties": {
      "mass": 1.2, "com": { "x": 0.002, "y": 0.01, "z": 0.06 },
      "inertia": { "Ixx": 0.0062, "Ixy": 0.0001, "Ixz": 0.0, "Iyy": 0.0061, "Iyz": -0.0007,
                   "Izz": 0.0015 } },
    "enable_dynamic_compensation": )") +
                                  (dynamic ? "true" : "false") + " } }\n");
  vorn::test::StdoutCapture quiet;
  return std::make_unique<vorn::VornPayloadCompensator>(path);
}

void reportCounts(const char* path, const AllocationMeter& meter) {
  std::cerr << "[allocations] " << path << ": " << meter.silentAllocations() << " in "
            << meter.silentCalls() << " silent calls (" << meter.perSilentCall() << " per call); "
            << meter.printingAllocations() << " in " << meter.printingCalls()
            << " calls that printed\n";
}

/// Feeds `kMeasured` samples after warm-up; `between(k)` runs before sample k, unmetered.
template <typename Between>
void runCompensator(const char* name, bool dynamic, Between between, int expectPrinting) {
  vorn::test::TempDir dir;
  auto compensator = makeCompensator(dir, dynamic);
  Sample out{};
  int k = 0;
  {
    vorn::test::StdoutCapture quiet;
    for (; k < kWarmUp; ++k) {
      ASSERT_EQ(compensator->update(k * kDt, movingSample(k), out), 0);
    }
  }
  int statusOne = 0;
  int rejected = 0;
  AllocationMeter meter;
  double stampOffset = 0.0;
  for (; k < kWarmUp + kMeasured; ++k) {
    stampOffset += between(k, *compensator);
    const Sample in = movingSample(k);
    int status = 0;
    meter.measure([&] { status = compensator->update(k * kDt + stampOffset, in, out); });
    statusOne += status == 1;
    rejected += status == 5;
  }
  reportCounts(name, meter);
  EXPECT_EQ(rejected, 0);
  EXPECT_EQ(meter.silentAllocations(), 0U) << meter.perSilentCall() << " per update";
  if (expectPrinting >= 0) {
    EXPECT_EQ(meter.printingCalls(), static_cast<std::uint64_t>(expectPrinting));
  }
  if (expectPrinting > 0) {
    EXPECT_GT(statusOne, 0) << "the deferred tares never output zeros";
  }
}

TEST(SteadyStateAllocation, CounterSeesAllocationsOfEveryKind) {
  SKIP_WITHOUT_COUNTER();
  CountingAllocator::arm();
  auto* number = new double(1.0);
  std::vector<double> values(10, 0.0);
  values.resize(1000);
  CountingAllocator::disarm();
  delete number;
  // new, the vector's first buffer and its reallocation.
  EXPECT_EQ(CountingAllocator::count(), 3U);
}

TEST(SteadyStateAllocation, StaticCompensationAllocatesNothing) {
  SKIP_WITHOUT_COUNTER();
  runCompensator(
      "compensator static", false, [](int, vorn::VornPayloadCompensator&) { return 0.0; }, 0);
}

TEST(SteadyStateAllocation, DynamicCompensationAllocatesNothing) {
  SKIP_WITHOUT_COUNTER();
  runCompensator(
      "compensator dynamic", true, [](int, vorn::VornPayloadCompensator&) { return 0.0; }, 0);
}

TEST(SteadyStateAllocation, ImmediateTaresAllocateNothingInUpdate) {
  SKIP_WITHOUT_COUNTER();
  // The window always spans a second: every tare completes at once, inside the request.
  int tares = 0;
  runCompensator(
      "compensator immediate tare", true,
      [&tares](int k, vorn::VornPayloadCompensator& compensator) {
        if (k % 1000 == 0) {
          compensator.tareCompensatedWrench();
          ++tares;
        }
        return 0.0;
      },
      0);
  EXPECT_EQ(tares, 100);
}

TEST(SteadyStateAllocation, DeferredTaresAllocateNothingWhileCollecting) {
  SKIP_WITHOUT_COUNTER();
  // Every 2000 samples the stamps jump ahead by two seconds, so the window holds one entry and a
  // tare requested then collects for 500 ms; the update that completes it prints its lines.
  runCompensator(
      "compensator deferred tare", false,
      [](int k, vorn::VornPayloadCompensator& compensator) {
        if (k % 2000 == 1) {
          compensator.tareCompensatedWrench();
        }
        return k % 2000 == 0 ? 2.0 : 0.0;
      },
      kMeasured / 2000);
}

/// Stamp of sample k: on the grid, or with `jitter` up to 0.3 of the interval off it (a fixed
/// pattern), as a host's clock stamps a sensor's samples.
double stampOf(int k, bool jitter) {
  const double offset = jitter ? 0.3 * kDt * std::sin(12.9898 * k) : 0.0;
  return k * kDt + offset;
}

/// An estimation run fed the swing after warm-up (past the switch to whitened rows when
/// `rowWeighting` is "1"); with `understatedNoise`, every configured variance is 1e-14.
void runEstimator(const char* name, const char* rowWeighting, bool understatedNoise = false,
                  bool jitter = false) {
  const vorn::test::ScopedEnvironment weighting("VORN_ROW_WEIGHTING", rowWeighting);
  vorn::test::TempDir dir;
  // Thresholds no run reaches and a minimum time longer than the test: the run goes on.
  vorn::test::ConfigText text;
  text.setThresholds("1e-12").set("min_time", "100000").set("max_time", "200000");
  if (understatedNoise) {
    for (const char* group : {"force", "torque", "linear_acc", "angular_vel", "angular_acc"}) {
      text.setNoise(group, "1e-14");
    }
  }
  const std::string config = text.writeTo(dir.file("estimator.json"));
  std::unique_ptr<vorn::VornPayloadEstimator> estimator;
  {
    vorn::test::StdoutCapture quiet;
    estimator = std::make_unique<vorn::VornPayloadEstimator>(config);
    ASSERT_TRUE(estimator->startPayloadEstimation());
    for (int k = 0; k < kWarmUp; ++k) {
      ASSERT_EQ(estimator->update(stampOf(k, jitter), vorn::test::swingSample(stampOf(k, jitter))),
                0);
    }
  }
  int rejected = 0;
  AllocationMeter meter;
  for (int k = kWarmUp; k < kWarmUp + kMeasured; ++k) {
    const Sample in = vorn::test::swingSample(stampOf(k, jitter));
    int status = 0;
    meter.measure([&] { status = estimator->update(stampOf(k, jitter), in); });
    rejected += status != 0;
  }
  reportCounts(name, meter);
  EXPECT_EQ(rejected, 0);
  EXPECT_TRUE(estimator->isEstimatorRunning());
  EXPECT_EQ(meter.silentAllocations(), 0U) << meter.perSilentCall() << " per update";
}

TEST(SteadyStateAllocation, EstimationRunAllocatesNothingInUpdate) {
  SKIP_WITHOUT_COUNTER();
  runEstimator("estimator run", "0");
}

// Noise understated by orders of magnitude: the estimate explains the samples within it only
// after about 9 s, so the inertia is held out of the metric through the warm-up and the first
// 4 s of the measured samples, where every sample also advances the iteration that measures the
// held estimate's bias.
TEST(SteadyStateAllocation, HeldInertiaEstimationRunAllocatesNothingInUpdate) {
  SKIP_WITHOUT_COUNTER();
  runEstimator("estimator run, inertia held", "0", true);
}

// The six rows of each sample whitened by their joint covariance: fixed-size work only.
TEST(SteadyStateAllocation, WhitenedEstimationRunAllocatesNothingInUpdate) {
  SKIP_WITHOUT_COUNTER();
  runEstimator("estimator run, rows whitened", "1");
}

// Stamps off the grid: the derivative's window grows by a record early in the run (the noise
// correlation is then set once more) and keeps its size after that.
TEST(SteadyStateAllocation, JitteredStampsAllocateNothingInUpdate) {
  SKIP_WITHOUT_COUNTER();
  runEstimator("estimator run, jittered stamps", "1", false, true);
}

}  // namespace

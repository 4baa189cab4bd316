// Tare and bias window through the public header only : immediate and deferred tare,
// their log lines, status 1 and the window boundaries.

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/VornPayloadCompensator.hpp>

#include "compensator/Harness.hpp"
#include "support/RigidBodySamples.hpp"
#include "compensator/TestSupport.hpp"

namespace {

using namespace vorn::test;

const std::string kRequested = "Tare requested \u2014 waiting for sufficient data window...";
const std::string kImmediate = "Tare complete immediately (window already sufficient).";
const std::string kDeferred = "Tare deferred \u2014 outputting zeros until window is collected.";
const std::string kDeferredDone = "Deferred tare complete. Bias computed from window.";

using Wrench = std::array<double, 6>;

std::string biasLine(const std::string& values) {
  return info("Tare bias set to: [" + values + "]");
}

/// A compensator whose compensated wrench is the measured wrench (massless payload).
struct Passthrough {
  Harness h{nullPayload(), false};

  int feed(double stamp, const Wrench& w, Sample& out) {
    return h.update(stamp, wrenchSample(w), out);
  }
  int feed(double stamp, const Wrench& w) {
    Sample out = sentinel();
    return feed(stamp, w, out);
  }
  /// Tare request; returns the lines it printed.
  std::vector<std::string> tare() {
    StdoutCapture capture;
    EXPECT_TRUE(h.compensator->tareCompensatedWrench());
    return plainLines(capture.text());
  }
};

const Wrench kA{1.5, -2.25, 0.5, 0.125, -0.75, 3.0};
const Wrench kB{3.5, -0.25, 2.5, 1.125, 0.25, -1.0};

TEST(CompensatorTare, ImmediateTarePrintsThreeLinesAndZeroesTheOutput) {
  Passthrough c;
  for (int k = 0; k <= 500; ++k) {
    ASSERT_EQ(c.feed(k * 0.001, kA), 0);
  }
  EXPECT_EQ(c.tare(), (std::vector<std::string>{
                          info(kRequested),
                          biasLine("1.500000, -2.250000, 0.500000, 0.125000, -0.750000, 3.000000"),
                          info(kImmediate)}));
  Sample out = sentinel();
  EXPECT_EQ(c.feed(0.501, kA, out), 0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], 0.0);
  }
  for (std::size_t i = 6; i < 12; ++i) {
    EXPECT_EQ(out[i], -777.0);
  }
}

TEST(CompensatorTare, TareBeforeAnySampleIsDeferredUntilHalfASecondIsCollected) {
  Passthrough c;
  EXPECT_EQ(c.tare(), (std::vector<std::string>{info(kRequested), info(kDeferred)}));
  // Samples 0 … 499 ms: status 1, all twelve entries zero, nothing printed.
  for (int k = 0; k < 500; ++k) {
    Sample out = sentinel();
    StdoutCapture capture;
    ASSERT_EQ(c.feed(k * 0.001, k % 2 ? kA : kB, out), 1) << k;
    ASSERT_EQ(out, Sample{}) << k;
    ASSERT_EQ(capture.text(), "");
  }
  // The sample at 500 ms completes the tare from the update thread and is output against the
  // new bias: the mean of 250 × A and 251 × B.
  Sample out = sentinel();
  StdoutCapture capture;
  ASSERT_EQ(c.feed(0.5, kB, out), 0);
  std::array<double, 6> mean{};
  for (std::size_t i = 0; i < 6; ++i) {
    mean[i] = (250.0 * kA[i] + 251.0 * kB[i]) / 501.0;
    EXPECT_NEAR(out[i], kB[i] - mean[i], 1e-12);
    EXPECT_EQ(out[6 + i], -777.0);
  }
  const std::vector<std::string> lines = plainLines(capture.text());
  ASSERT_EQ(lines.size(), 2U);
  std::string values;
  for (std::size_t i = 0; i < 6; ++i) {
    values += (i ? ", " : "") + std::to_string(mean[i]);
  }
  EXPECT_EQ(lines[0], biasLine(values));
  EXPECT_EQ(lines[1], info(kDeferredDone));
  // Back to normal: status 0 from now on.
  EXPECT_EQ(c.feed(0.501, kA), 0);
}

TEST(CompensatorTare, WindowOfExactly500MsIsSufficient) {
  Passthrough c;
  ASSERT_EQ(c.feed(10.0, kA), 0);
  ASSERT_EQ(c.feed(10.5, kB), 0);  // (10.5 − 10.0) × 1000 = 500.0 exactly
  const auto lines = c.tare();
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[1], biasLine("2.500000, -1.250000, 1.500000, 0.625000, -0.250000, 1.000000"));
  EXPECT_EQ(lines[2], info(kImmediate));
}

TEST(CompensatorTare, WindowOf499MsIsNotSufficient) {
  Passthrough c;
  ASSERT_EQ(c.feed(10.0, kA), 0);
  ASSERT_EQ(c.feed(10.499, kB), 0);
  EXPECT_EQ(c.tare(), (std::vector<std::string>{info(kRequested), info(kDeferred)}));
  EXPECT_EQ(c.feed(10.4995, kB), 1);
  // The deferred tare completes at exactly 500 ms after the oldest entry.
  Sample out = sentinel();
  EXPECT_EQ(c.feed(10.5, kB, out), 0);
}

TEST(CompensatorTare, DeferredTareCompletesAtExactly500MsFromTheUpdateThread) {
  Passthrough c;
  ASSERT_EQ(c.tare().size(), 2U);
  EXPECT_EQ(c.feed(4.0, kA), 1);
  EXPECT_EQ(c.feed(4.25, kA), 1);
  EXPECT_EQ(c.feed(4.499, kA), 1);
  StdoutCapture capture;
  Sample out = sentinel();
  EXPECT_EQ(c.feed(4.5, kA, out), 0);
  EXPECT_EQ(plainLines(capture.text()),
            (std::vector<std::string>{
                biasLine("1.500000, -2.250000, 0.500000, 0.125000, -0.750000, 3.000000"),
                info(kDeferredDone)}));
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], 0.0);
  }
}

TEST(CompensatorTare, AWindowOfOneEntryIsNeverSufficient) {
  Passthrough c;
  ASSERT_EQ(c.feed(1000.0, kA), 0);
  EXPECT_EQ(c.tare(), (std::vector<std::string>{info(kRequested), info(kDeferred)}));
}

TEST(CompensatorTare, AnEntryAged1000MsStaysInTheWindow) {
  // Entries at 0 (A), 0.5 (B) and 1.0 (B): the age of the first is (1.0 − 0) × 1000 = 1000.0,
  // not more than the limit, so it stays and the bias is (A + 2B) / 3.
  Passthrough c;
  ASSERT_EQ(c.feed(0.0, kA), 0);
  ASSERT_EQ(c.feed(0.5, kB), 0);
  ASSERT_EQ(c.feed(1.0, kB), 0);
  std::string values;
  for (std::size_t i = 0; i < 6; ++i) {
    values += (i ? ", " : "") + std::to_string((kA[i] + 2.0 * kB[i]) / 3.0);
  }
  const auto lines = c.tare();
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[1], biasLine(values));
}

TEST(CompensatorTare, AnEntryAged1000point001MsLeavesTheWindow) {
  // The same with the last stamp at 1.000001: the first entry's age computes to 1000.001 ms and is
  // dropped; the window (0.5, 1.000001) spans 500.001 ms and holds B only.
  Passthrough c;
  ASSERT_EQ(c.feed(0.0, kA), 0);
  ASSERT_EQ(c.feed(0.5, kB), 0);
  ASSERT_EQ(c.feed(1.000001, kB), 0);
  const auto lines = c.tare();
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[1], biasLine("3.500000, -0.250000, 2.500000, 1.125000, 0.250000, -1.000000"));
}

TEST(CompensatorTare, AfterAGapOfMoreThanOneSecondTheTareIsDeferredFor500Ms) {
  Passthrough c;
  for (int k = 0; k < 1000; ++k) {
    ASSERT_EQ(c.feed(k * 0.001, kA), 0);
  }
  ASSERT_EQ(c.feed(5.0, kB), 0);  // 4 s gap: the window keeps only this sample
  EXPECT_EQ(c.tare(), (std::vector<std::string>{info(kRequested), info(kDeferred)}));
  for (int k = 1; k < 500; ++k) {
    ASSERT_EQ(c.feed(5.0 + k * 0.001, kB), 1) << k;
  }
  Sample out = sentinel();
  ASSERT_EQ(c.feed(5.5, kB, out), 0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], 0.0) << "bias is the mean of B alone";
  }
}

TEST(CompensatorTare, RepeatedTareWithUnchangedInputsGivesTheSameBias) {
  Passthrough c;
  for (int k = 0; k < 800; ++k) {
    ASSERT_EQ(c.feed(k * 0.001, kA), 0);
  }
  const auto first = c.tare();
  for (int k = 800; k < 1600; ++k) {
    Sample out = sentinel();
    ASSERT_EQ(c.feed(k * 0.001, kA, out), 0);
    for (std::size_t i = 0; i < 6; ++i) {
      ASSERT_EQ(out[i], 0.0);
    }
  }
  const auto second = c.tare();
  ASSERT_EQ(first.size(), 3U);
  EXPECT_EQ(first, second) << "the bias is the mean of the compensated wrench before subtraction";
}

TEST(CompensatorTare, TareWhileDeferredPrintsTheDeferredLineAgain) {
  Passthrough c;
  EXPECT_EQ(c.tare(), (std::vector<std::string>{info(kRequested), info(kDeferred)}));
  EXPECT_EQ(c.feed(0.0, kA), 1);
  EXPECT_EQ(c.tare(), (std::vector<std::string>{info(kRequested), info(kDeferred)}));
  EXPECT_EQ(c.feed(0.25, kA), 1);
  EXPECT_EQ(c.feed(0.5, kA), 0);
}

TEST(CompensatorTare, RejectedSamplesNeverEnterTheWindow) {
  Passthrough c;
  EXPECT_EQ(c.tare().size(), 2U);
  EXPECT_EQ(c.feed(0.0, kA), 1);
  Sample out = sentinel();
  EXPECT_EQ(c.feed(0.0, kB, out), 5) << "duplicate";
  EXPECT_EQ(out, sentinel()) << "status 5 leaves the output alone, also while deferred";
  EXPECT_EQ(c.feed(0.5, kA, out), 0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(out[i], 0.0) << "the window held A only";
  }
}

TEST(CompensatorTare, DynamicModeTareRemovesTheSensorBias) {
  // End to end: a tumbling payload compensated dynamically, then tared: the output settles near
  // zero (what remains is the filter-lag residual, well below the bias).
  const Payload p = dyadicPayload();
  const Vec3 biasF{4.0, -3.0, 2.0};
  const Vec3 biasT{0.5, -0.25, 0.75};
  Harness h(p, true);
  for (int k = 0; k < 3000; ++k) {
    const double t = k * 0.001;
    Sample out = sentinel();
    ASSERT_EQ(h.update(t, sensorSample(p, constantAngularAcceleration(t, 0.5), biasF, biasT), out),
              0);
  }
  {
    StdoutCapture silent;
    ASSERT_TRUE(h.compensator->tareCompensatedWrench());
  }
  Sample out = sentinel();
  ASSERT_EQ(
      h.update(3.0, sensorSample(p, constantAngularAcceleration(3.0, 0.5), biasF, biasT), out), 0);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(out[i], 0.0, 1e-6) << i;
  }
}

}  // namespace

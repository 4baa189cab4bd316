// InertiaCompensator over a long irregular stream: which samples are accepted, how many entries
// the series keep (the lookups' marks decide what each shrink drops) and the four evaluations
// after every step, pinned to the figures the pipeline gave before its per-sample path was made
// cheaper. Any change to the lookup, interpolation, synchronisation or trimming rules moves them.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "compensation/InertiaCompensator.hpp"
#include "compensation/PayloadCompensatorConfig.hpp"
#include "compensator/TestSupport.hpp"

namespace {

using vorn::InertiaCompensator;
using vorn::PayloadCompensatorConfig;
using vorn::Vec3dStamped;
using vorn::WrenchStamped;
using vorn::test::StdoutCapture;
using vorn::test::TempDir;

/// FNV-1a over the bytes fed to it.
class Fingerprint {
 public:
  template <typename T>
  void add(const T& value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (const unsigned char b : bytes) {
      hash_ = (hash_ ^ b) * 1099511628211ULL;
    }
  }
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 14695981039346656037ULL;
};

/// Draws dyadic values (exact in binary) and events from a fixed seed; the generator's raw output
/// is specified by the standard, so the stream is the same on every platform.
class Stream {
 public:
  explicit Stream(std::uint64_t seed) : rng_(seed) {}
  /// Uniform integer in [0, n).
  std::uint64_t below(std::uint64_t n) { return rng_() % n; }
  /// A multiple of 2^-10 in [-range, range].
  double value(int range) {
    const auto steps =
        static_cast<std::int64_t>(below(static_cast<std::uint64_t>(range) * 2048U + 1U));
    return static_cast<double>(steps - static_cast<std::int64_t>(range) * 1024) / 1024.0;
  }
  Eigen::Vector3d vector(int range) { return {value(range), value(range), value(range)}; }

 private:
  std::mt19937_64 rng_;
};

/// What a run leaves: the exact fingerprint (acceptances, entry counts, stamps) and the sums of
/// every component of the four evaluations.
struct RunFigures {
  std::uint64_t fingerprint = 0;
  Eigen::Matrix<double, 6, 4> sums = Eigen::Matrix<double, 6, 4>::Zero();
  std::size_t accepted = 0;
  std::size_t maxEntries = 0;
};

RunFigures runStream(std::uint64_t seed, std::size_t steps) {
  TempDir dir;
  const std::string path = dir.write(
      "c.json", vorn::test::estimatorStyleConfig(vorn::test::nullPayload(), true, false));
  StdoutCapture silent;  // the filters' start-up lines
  PayloadCompensatorConfig config(path);
  InertiaCompensator compensator(config);
  Eigen::Matrix<double, 10, 1> theta;
  theta << 1.5, 0.03, -0.015, 0.12, 0.0125, 0.0005, -0.00025, 0.011, 0.001, 0.004;
  compensator.setReferenceInertialParameters(theta);

  Stream s(seed);
  Fingerprint fp;
  RunFigures figures;
  double t = 10.0;
  for (std::size_t k = 0; k < steps; ++k) {
    // Time: 1 ms steps with ±0.38 ms jitter, gaps up to 0.3 s, samples stamped back in time and
    // duplicates within the 10 µs tolerance.
    const std::uint64_t event = s.below(100);
    double imuStamp = t;
    if (event < 4) {
      t += static_cast<double>(1 + s.below(20)) / 64.0;
      imuStamp = t;
    } else if (event < 8) {
      imuStamp = t - static_cast<double>(1 + s.below(3000)) / 1048576.0;
    } else if (event < 11) {
      imuStamp = t + static_cast<double>(s.below(8)) / 1048576.0;
    } else {
      t += 0.0009765625 + static_cast<double>(static_cast<std::int64_t>(s.below(801)) - 400) /
                              1048576.0;
      imuStamp = t;
    }
    // Calls: mostly IMU then wrench at one stamp; also IMU only, wrench only, and the wrench
    // stamped up to 3 ms before or after the IMU sample (interpolation on either side).
    const std::uint64_t calls = s.below(100);
    double wrenchStamp = imuStamp;
    if (calls >= 90) {
      wrenchStamp +=
          static_cast<double>(static_cast<std::int64_t>(s.below(6001)) - 3000) / 1048576.0;
    }
    const Eigen::Vector3d a = Eigen::Vector3d(0.0, 0.0, 9.8125) + s.vector(2);
    const Eigen::Vector3d w = s.vector(3);
    const Eigen::Vector3d f = s.vector(20);
    const Eigen::Vector3d tq = s.vector(2);
    bool imuOk = false;
    bool wrenchOk = false;
    if (calls < 80 || calls >= 90) {
      imuOk = compensator.processIMU(Vec3dStamped(imuStamp, a), Vec3dStamped(imuStamp, w));
      if (imuOk || calls >= 95) {
        wrenchOk =
            compensator.processWrench(Vec3dStamped(wrenchStamp, f), Vec3dStamped(wrenchStamp, tq));
      }
    } else if (calls < 85) {
      imuOk = compensator.processIMU(Vec3dStamped(imuStamp, a), Vec3dStamped(imuStamp, w));
    } else {
      wrenchOk =
          compensator.processWrench(Vec3dStamped(wrenchStamp, f), Vec3dStamped(wrenchStamp, tq));
    }
    if (s.below(1000) == 0) {
      compensator.reset();
    }
    fp.add(imuOk);
    fp.add(wrenchOk);
    const std::size_t entries = compensator.storedEntryCount();
    fp.add(entries);
    figures.maxEntries = std::max(figures.maxEntries, entries);
    figures.accepted += wrenchOk ? 1U : 0U;

    const WrenchStamped evaluations[4] = {
        compensator.computeInertialWrench(), compensator.computeInertiaCompensatedWrench(),
        compensator.computeGravityCompensatedWrench(),
        compensator.computeInertiaCompensatedWrenchWoDelay()};
    for (int e = 0; e < 4; ++e) {
      fp.add(evaluations[e].stamp());
      figures.sums.col(e).head<3>() += evaluations[e].force();
      figures.sums.col(e).tail<3>() += evaluations[e].torque();
    }
  }
  figures.fingerprint = fp.value();
  return figures;
}

TEST(InertiaCompensatorStream, IrregularStreamKeepsItsAcceptancesEntriesAndValues) {
  const RunFigures figures = runStream(20261209U, 200000);
  // The stream exercises every path: most samples pass, the series stay short.
  EXPECT_GT(figures.accepted, 150000U);
  EXPECT_LT(figures.maxEntries, 200U);

  EXPECT_EQ(figures.fingerprint, 17726059731159733533ULL) << std::hex << figures.fingerprint;
  const double expected[4][6] = {
      // inertial wrench −A·θ of the synchronised record
      {31937.251766195008, -19286.537034454228, -2799226.517755805, 29703.338129723961,
       58516.130362557327, 136.04465360708187},
      // synchronised record compensated
      {-34396.451735597933, 11005.365114056962, 2799255.7809784375, -29621.508031285593,
       -58558.353086939627, -159.73209278032297},
      // gravity only, newest samples
      {-6483.85498046875, -7645.59423828125, 2942631.2509765625, -29401.003984374569,
       -58811.469257811397, -151.94413574218186},
      // full model, newest samples
      {-40537.187871303206, 12290.288826271784, 2798391.8115767683, -29725.625761729763,
       -58628.871874923752, -303.33647603891825},
  };
  for (int e = 0; e < 4; ++e) {
    for (int i = 0; i < 6; ++i) {
      const double sum = figures.sums(i, e);
      EXPECT_NEAR(sum, expected[e][i], 1e-12 * std::max(1.0, std::abs(expected[e][i])))
          << "evaluation " << e << " component " << i << ": " << std::setprecision(17) << sum;
    }
  }
}

}  // namespace

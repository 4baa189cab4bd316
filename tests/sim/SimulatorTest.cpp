// Simulator: wrench and IMU values checked against Newton-Euler in the world frame with
// finite differences of the pose only; noise statistics; determinism; time stamps.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <vector>

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include "sim/FiniteDifferences.hpp"
#include "sim/Simulator.hpp"

// ---- Allocation counter (replaces the global operator new of this test program) --------
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VORN_SIM_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VORN_SIM_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef VORN_SIM_COUNT_ALLOCATIONS
#define VORN_SIM_COUNT_ALLOCATIONS 1
#endif

#if VORN_SIM_COUNT_ALLOCATIONS
namespace {
std::atomic<long> g_allocations{0};
}
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace vorn::sim {
namespace {

using test::attachedPointAccelerationFD;
using test::worldRateFD;

constexpr double kExact = 1e-12;
constexpr double kPi = 3.141592653589793;
constexpr double kForceTolerance = 1e-5;    // N, plus the same relative to |F|
constexpr double kTorqueTolerance = 1e-6;   // N*m, plus the same relative to |T|
constexpr double kRateTolerance = 1e-6;     // rad/s
constexpr double kAccelTolerance = 1e-6;    // m/s^2
constexpr int kSeeds = 8;
constexpr std::size_t kSamplesPerRun = 400;  // checked samples per (preset, seed)
constexpr double kCheckRate = 20.0;          // Hz: 20 s of motion per run

const MotionPreset kMoving[] = {MotionPreset::Slow, MotionPreset::Brisk, MotionPreset::Fast};
const Eigen::Vector3d kGravityWorld(0.0, 0.0, -9.81);

Vector6d randomBias(std::uint64_t seed) {
  Rng rng(seed);
  Vector6d b;
  for (int i = 0; i < 3; ++i) b[i] = rng.uniform(-5.0, 5.0);
  for (int i = 3; i < 6; ++i) b[i] = rng.uniform(-0.5, 0.5);
  return b;
}

SimulatorConfig noiseFreeConfig(MotionPreset preset, std::uint64_t seed) {
  SimulatorConfig cfg;
  cfg.payload = randomPayload(seed, {0.2, 5.0, 0.2, 0.02, 0.3});
  cfg.motion = makeMotion(preset, seed);
  cfg.motion.base_position = Eigen::Vector3d(0.2, -0.1, 0.4);
  cfg.noise = NoiseConfig::none();
  cfg.bias = randomBias(seed + 77);
  cfg.rate_hz = kCheckRate;
  cfg.start_stamp = 1000.0;
  return cfg;
}

Eigen::Vector3d head3(const SampleArray& v, std::size_t first) {
  return {v[first], v[first + 1], v[first + 2]};
}

// World-frame Newton: the sensor pushes the payload with f = m (p''_com - g). The payload
// pushes back with -f; rotate into the sensor frame and add the bias.
TEST(SimSimulator, ForceMatchesCentreOfMassMomentumRate) {
  for (MotionPreset preset : kMoving) {
    for (int seed = 0; seed < kSeeds; ++seed) {
      const SimulatorConfig cfg = noiseFreeConfig(preset, static_cast<std::uint64_t>(seed));
      Simulator sim(cfg);
      const Payload& p = cfg.payload;
      for (std::size_t k = 0; k < kSamplesPerRun; ++k) {
        const Sample s = sim.next();
        const Eigen::Vector3d com_acc = attachedPointAccelerationFD(cfg.motion, p.com, s.elapsed);
        const Eigen::Vector3d f_world = p.mass * (com_acc - kGravityWorld);
        const Eigen::Vector3d expected =
            cfg.bias.head<3>() - s.motion.orientation.transpose() * f_world;
        const Eigen::Vector3d measured = head3(s.values, 0);
        EXPECT_LT((measured - expected).norm(), kForceTolerance * (1.0 + expected.norm()))
            << toString(preset) << " seed " << seed << " t " << s.elapsed << "\n measured "
            << measured.transpose() << "\n expected " << expected.transpose();
      }
    }
  }
}

// World-frame Euler about the centre of mass: dL_c/dt = n_c (gravity has no moment about
// the centre of mass). About the sensor origin the sensor's action has the moment
// n_o = n_c + (R c) x f. The payload acts on the sensor with -n_o.
TEST(SimSimulator, TorqueMatchesAngularMomentumRate) {
  const double h = 1e-4;
  for (MotionPreset preset : kMoving) {
    for (int seed = 0; seed < kSeeds; ++seed) {
      const SimulatorConfig cfg = noiseFreeConfig(preset, static_cast<std::uint64_t>(seed));
      const Payload& p = cfg.payload;
      const MotionProfile& motion = cfg.motion;
      auto angularMomentum = [&](double t) {
        const Eigen::Matrix3d R = motion.evaluate(t).orientation;
        const Eigen::Matrix3d I_world = R * p.inertia_com * R.transpose();
        return Eigen::Vector3d(I_world * worldRateFD(motion, t));
      };
      Simulator sim(cfg);
      for (std::size_t k = 0; k < kSamplesPerRun; ++k) {
        const Sample s = sim.next();
        const double t = s.elapsed;
        const Eigen::Matrix3d R = s.motion.orientation;
        const Eigen::Vector3d dL = (angularMomentum(t + h) - angularMomentum(t - h)) / (2 * h);
        const Eigen::Vector3d f_world =
            p.mass * (attachedPointAccelerationFD(motion, p.com, t) - kGravityWorld);
        const Eigen::Vector3d n_origin = dL + (R * p.com).cross(f_world);
        const Eigen::Vector3d expected = cfg.bias.tail<3>() - R.transpose() * n_origin;
        const Eigen::Vector3d measured = head3(s.values, 3);
        EXPECT_LT((measured - expected).norm(), kTorqueTolerance * (1.0 + expected.norm()))
            << toString(preset) << " seed " << seed << " t " << t << "\n measured "
            << measured.transpose() << "\n expected " << expected.transpose();
      }
    }
  }
}

// The IMU sits at the sensor origin: specific force R^T (p'' - g) from positions only,
// gyro from R^T dR/dt, truth angular acceleration from a difference of the gyro truth.
TEST(SimSimulator, ImuMatchesPoseDerivatives) {
  for (MotionPreset preset : kMoving) {
    for (int seed = 0; seed < kSeeds; ++seed) {
      const SimulatorConfig cfg = noiseFreeConfig(preset, static_cast<std::uint64_t>(seed));
      Simulator sim(cfg);
      for (std::size_t k = 0; k < kSamplesPerRun; ++k) {
        const Sample s = sim.next();
        const double t = s.elapsed;
        const Eigen::Vector3d origin_acc =
            attachedPointAccelerationFD(cfg.motion, Eigen::Vector3d::Zero(), t);
        const Eigen::Vector3d a_expected =
            s.motion.orientation.transpose() * (origin_acc - kGravityWorld);
        EXPECT_LT((head3(s.values, 6) - a_expected).norm(), 10 * kAccelTolerance * (1.0 + a_expected.norm()))
            << toString(preset) << " seed " << seed << " t " << t;
        EXPECT_LT((head3(s.values, 9) - test::bodyRateFD(cfg.motion, t)).norm(), kRateTolerance);
        const double dt = 1e-5;
        const Eigen::Vector3d alpha_fd = (sim.noiseFreeAt(t + dt).truth.angular_velocity -
                                          sim.noiseFreeAt(t - dt).truth.angular_velocity) /
                                         (2 * dt);
        EXPECT_LT((s.truth.angular_acceleration - alpha_fd).norm(),
                  1e-6 * (1.0 + alpha_fd.norm()));
      }
    }
  }
}

TEST(SimSimulator, AccelerometerAtRest) {
  SimulatorConfig cfg;
  cfg.noise = NoiseConfig::none();
  cfg.motion = MotionProfile::stationary();
  {
    Simulator sim(cfg);
    const Sample s = sim.next();
    EXPECT_NEAR(s.values[6], 0.0, kExact);
    EXPECT_NEAR(s.values[7], 0.0, kExact);
    EXPECT_NEAR(s.values[8], 9.81, kExact) << "z up reads +g";
    for (std::size_t i = 9; i < 12; ++i) EXPECT_EQ(s.values[i], 0.0);
  }
  {
    // Quarter turn about x: sensor y points up.
    cfg.motion = MotionProfile::stationary(
        Eigen::AngleAxisd(1.5707963267948966, Eigen::Vector3d::UnitX()).toRotationMatrix());
    const Sample s = Simulator(cfg).next();
    EXPECT_NEAR(s.values[6], 0.0, kExact);
    EXPECT_NEAR(s.values[7], 9.81, kExact);
    EXPECT_NEAR(s.values[8], 0.0, kExact);
  }
  {
    // Upside down.
    cfg.motion = MotionProfile::stationary(
        Eigen::AngleAxisd(3.141592653589793, Eigen::Vector3d::UnitY()).toRotationMatrix());
    const Sample s = Simulator(cfg).next();
    EXPECT_NEAR(s.values[8], -9.81, kExact);
  }
}

// At rest, z up, point mass 2 kg at (0.1, 0, 0.05): its weight (0, 0, -19.62) N acts at the
// centre of mass, so the torque about the origin is c x F = (0, 1.962, 0) N*m.
TEST(SimSimulator, StaticWrenchHandExample) {
  SimulatorConfig cfg;
  cfg.payload = Payload::pointMass(2.0, Eigen::Vector3d(0.1, 0.0, 0.05));
  cfg.motion = MotionProfile::stationary();
  cfg.noise = NoiseConfig::none();
  cfg.bias << 1.0, 2.0, 3.0, 0.1, 0.2, 0.3;
  const Sample s = Simulator(cfg).next();
  const double expected[6] = {1.0, 2.0, 3.0 - 19.62, 0.1, 0.2 + 1.962, 0.3};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(s.values[i], expected[i], kExact) << i;
  EXPECT_LT((s.truth.payloadWrench() - (s.truth.wrench() - cfg.bias)).norm(), kExact);
}

// Free fall while spinning about z (a = 0, w = (0, 0, wz), alpha = 0): the payload pulls the
// sensor outwards, F = wz^2 (hx, hy, 0), and the torque is wz^2 (Iyz, -Ixz, 0) (inertia about
// the origin) -- the negated regressor of a steady spin about z.
TEST(SimSimulator, SpinningFreeFallHandExample) {
  const double wz = 2.5;
  const double spin_f = 0.5;  // Hz
  const double lin_f = 1.0;   // Hz
  SimulatorConfig cfg;
  cfg.payload = randomPayload(4);
  cfg.noise = NoiseConfig::none();
  cfg.motion.yaw.terms.push_back({wz / (2 * kPi * spin_f), spin_f, 0.0});
  const double wl = 2 * kPi * lin_f;
  cfg.motion.translation[2].terms.push_back({9.81 / (wl * wl), lin_f, 0.5 * kPi});
  const Sample s = Simulator(cfg).next();  // t = 0
  EXPECT_LT(head3(s.values, 6).norm(), 1e-12);
  EXPECT_LT((head3(s.values, 9) - Eigen::Vector3d(0, 0, wz)).norm(), 1e-12);
  EXPECT_LT(s.truth.angular_acceleration.norm(), 1e-12);
  const InertialParameters th = cfg.payload.inertialParameters();
  const double w2 = wz * wz;
  const double expected[6] = {w2 * th[1], w2 * th[2], 0.0, w2 * th[8], -w2 * th[6], 0.0};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(s.values[i], expected[i], 1e-10) << i;
}

TEST(SimSimulator, TruthValuesFollowTheSampleLayout) {
  SimulatorConfig cfg = noiseFreeConfig(MotionPreset::Brisk, 3);
  Simulator sim(cfg);
  for (int k = 0; k < 50; ++k) {
    const Sample s = sim.next();
    const SampleArray v = s.truth.values();
    EXPECT_EQ(v, s.values);
    EXPECT_EQ(head3(v, 0), s.truth.force);
    EXPECT_EQ(head3(v, 3), s.truth.torque);
    EXPECT_EQ(head3(v, 6), s.truth.specific_force);
    EXPECT_EQ(head3(v, 9), s.truth.angular_velocity);
    EXPECT_EQ(s.truth.angular_velocity, s.motion.angular_velocity);
    EXPECT_LT((s.truth.payloadWrench() + cfg.bias - s.truth.wrench()).norm(), kExact);
    // The free function and the payload helper agree with the simulator.
    const Truth t = computeTruth(cfg.payload, s.motion, cfg.bias);
    EXPECT_LT((t.wrench() - s.truth.wrench()).norm(), 1e-12);
    const Vector6d w = cfg.payload.wrenchOnSensor(s.truth.specific_force, s.truth.angular_velocity,
                                                  s.truth.angular_acceleration);
    EXPECT_LT((w - s.truth.payloadWrench()).norm(), 1e-12);
    // noiseFreeAt reproduces the sequence's truth.
    EXPECT_EQ(sim.noiseFreeAt(s.elapsed).truth.values(), v);
  }
}

TEST(SimSimulator, NoiseStatisticsPerChannel) {
  SimulatorConfig cfg;
  cfg.payload = randomPayload(11);
  cfg.motion = makeMotion(MotionPreset::Brisk, 11);
  cfg.noise = {0.05, 0.003, 0.02, 0.003};
  cfg.noise_seed = 2024;
  Simulator sim(cfg);
  constexpr std::size_t kN = 100000;
  constexpr double kMeanSigmas = 5.0;          // |mean| below 5 standard errors
  constexpr double kStdRelTolerance = 0.015;   // about 7 standard errors of the std estimate
  const double stds[4] = {cfg.noise.force_std, cfg.noise.torque_std, cfg.noise.accel_std,
                          cfg.noise.gyro_std};
  Eigen::Matrix<double, 12, 1> sum = Eigen::Matrix<double, 12, 1>::Zero();
  Eigen::Matrix<double, 12, 12> cross = Eigen::Matrix<double, 12, 12>::Zero();
  for (std::size_t k = 0; k < kN; ++k) {
    const Sample s = sim.next();
    const SampleArray truth = s.truth.values();
    Eigen::Matrix<double, 12, 1> z;
    for (std::size_t i = 0; i < 12; ++i) z[static_cast<int>(i)] = (s.values[i] - truth[i]) / stds[i / 3];
    sum += z;
    cross += z * z.transpose();
  }
  const double n = static_cast<double>(kN);
  const Eigen::Matrix<double, 12, 1> mean = sum / n;
  const Eigen::Matrix<double, 12, 12> cov = cross / n - mean * mean.transpose();
  for (int i = 0; i < 12; ++i) {
    EXPECT_LT(std::abs(mean[i]), kMeanSigmas / std::sqrt(n)) << "channel " << i;
    EXPECT_NEAR(std::sqrt(cov(i, i)), 1.0, kStdRelTolerance) << "channel " << i;
    for (int j = 0; j < i; ++j) {
      EXPECT_LT(std::abs(cov(i, j)), kMeanSigmas / std::sqrt(n)) << "channels " << i << ", " << j;
    }
  }
}

TEST(SimSimulator, DeterministicForAFixedSeed) {
  SimulatorConfig cfg;
  cfg.payload = randomPayload(1);
  cfg.motion = makeMotion(MotionPreset::Brisk, 1);
  cfg.noise_seed = 99;
  Simulator a(cfg);
  Simulator b(cfg);
  const std::vector<Sample> first = a.generate(2000);
  for (const Sample& s : first) EXPECT_EQ(b.next().values, s.values);
  a.reset();
  EXPECT_EQ(a.nextIndex(), 0u);
  for (std::size_t k = 0; k < 100; ++k) EXPECT_EQ(a.next().values, first[k].values);

  cfg.noise_seed = 100;
  Simulator c(cfg);
  int differing = 0;
  for (std::size_t k = 0; k < 100; ++k) differing += c.next().values != first[k].values;
  EXPECT_EQ(differing, 100);
}

TEST(SimSimulator, NoiseLevelsShareTheirPattern) {
  SimulatorConfig cfg;
  cfg.payload = randomPayload(2);
  cfg.motion = makeMotion(MotionPreset::Fast, 2);
  cfg.noise_seed = 5;
  Simulator unit(cfg);
  cfg.noise = cfg.noise.scaled(3.0);
  Simulator triple(cfg);
  for (int k = 0; k < 500; ++k) {
    const Sample u = unit.next();
    const Sample t = triple.next();
    const SampleArray truth = u.truth.values();
    for (std::size_t i = 0; i < 12; ++i) {
      EXPECT_NEAR(t.values[i] - truth[i], 3.0 * (u.values[i] - truth[i]), 1e-12);
    }
  }
}

TEST(SimSimulator, TimeStampsAndIndices) {
  SimulatorConfig cfg;
  cfg.rate_hz = 200.0;
  cfg.start_stamp = 12.5;
  Simulator sim(cfg);
  for (std::size_t k = 0; k < 10000; ++k) {
    const Sample s = sim.next();
    EXPECT_EQ(s.index, k);
    EXPECT_DOUBLE_EQ(s.elapsed, static_cast<double>(k) / 200.0);
    EXPECT_DOUBLE_EQ(s.stamp, 12.5 + static_cast<double>(k) / 200.0);
    EXPECT_EQ(s.stamp, sim.stampOf(k));
    EXPECT_EQ(s.motion.time, s.elapsed);
  }
  EXPECT_EQ(sim.nextIndex(), 10000u);
  // Stamps stay strictly increasing with a 1 kHz default far into a long recording.
  SimulatorConfig fast;
  fast.start_stamp = 1.7e9;  // a Unix-time-like stamp
  Simulator s2(fast);
  EXPECT_LT(s2.stampOf(3600000), s2.stampOf(3600001));
  EXPECT_NEAR(s2.stampOf(3600000) - fast.start_stamp, 3600.0, 1e-6);
}

TEST(SimSimulator, GenerateForCoversTheDuration) {
  SimulatorConfig cfg;
  Simulator sim(cfg);
  EXPECT_EQ(sim.generateFor(1.0).size(), 1000u);
  EXPECT_EQ(sim.nextIndex(), 1000u);
  EXPECT_EQ(sim.generateFor(0.0015).size(), 2u);
  EXPECT_TRUE(sim.generateFor(0.0).empty());
  EXPECT_EQ(sim.generate(7).back().index, 1008u);
}

TEST(SimSimulator, RejectsInvalidConfigurations) {
  auto expectThrow = [](auto edit) {
    SimulatorConfig cfg;
    edit(cfg);
    EXPECT_THROW(Simulator{cfg}, std::invalid_argument);
  };
  expectThrow([](SimulatorConfig& c) { c.rate_hz = 0.0; });
  expectThrow([](SimulatorConfig& c) { c.rate_hz = -100.0; });
  expectThrow([](SimulatorConfig& c) { c.rate_hz = std::nan(""); });
  expectThrow([](SimulatorConfig& c) { c.noise.force_std = -0.1; });
  expectThrow([](SimulatorConfig& c) { c.noise.gyro_std = std::nan(""); });
  expectThrow([](SimulatorConfig& c) { c.payload.mass = -1.0; });
  expectThrow([](SimulatorConfig& c) { c.gravity = 0.0; });
  SimulatorConfig ok;
  ok.payload = Payload{};  // no payload: allowed, the sensor then measures only its bias
  EXPECT_NO_THROW(Simulator{ok});
}

#if VORN_SIM_COUNT_ALLOCATIONS
TEST(SimSimulator, NextDoesNotAllocate) {
  SimulatorConfig cfg;
  cfg.payload = randomPayload(8);
  cfg.motion = makeMotion(MotionPreset::Brisk, 8);
  Simulator sim(cfg);
  double checksum = 0.0;
  const long before = g_allocations.load();
  for (int k = 0; k < 10000; ++k) checksum += sim.next().values[2];
  const long after = g_allocations.load();
  EXPECT_EQ(after - before, 0);
  EXPECT_TRUE(std::isfinite(checksum));
}
#endif

}  // namespace
}  // namespace vorn::sim

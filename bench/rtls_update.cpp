// Cost of one sample of the recursive TLS estimator (six rows, covariance included), next to
// the cost of one 17 x 17 LU inverse as a machine-independent yardstick.
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <Eigen/Core>
#include <Eigen/LU>

#include "StdoutSilencer.hpp"
#include "data/DynamicsStamped.hpp"
#include "identification/EstimationAlgorithm.hpp"
#include "sim/Simulator.hpp"

namespace {

/// Noise-free samples of a 1.2 kg box turned about by hand (the simulator's brisk motion, seed
/// 5, 500 samples/s) on a sensor with a constant wrench bias, with the exact angular
/// acceleration.
std::vector<vorn::DynamicsStamped> makeSamples(int count) {
  vorn::sim::SimulatorConfig config;
  config.payload = vorn::sim::Payload::solidBox(1.2, {0.08, 0.06, 0.12}, {0.01, -0.02, 0.05});
  config.motion = vorn::sim::makeMotion(vorn::sim::MotionPreset::Brisk, 5);
  config.bias << 0.5, -0.3, 1.0, 0.02, -0.01, 0.03;
  config.rate_hz = 500.0;
  vorn::sim::Simulator simulator(config);
  std::vector<vorn::DynamicsStamped> samples;
  samples.reserve(static_cast<std::size_t>(count));
  for (const vorn::sim::Sample& sample : simulator.generate(static_cast<std::size_t>(count))) {
    const vorn::sim::Truth& truth = sample.truth;
    samples.emplace_back(vorn::KinematicsStamped(sample.stamp, truth.specific_force,
                                                 truth.angular_velocity,
                                                 truth.angular_acceleration),
                         vorn::WrenchStamped(sample.stamp, truth.force, truth.torque));
  }
  return samples;
}

Eigen::VectorXd prior() {
  Eigen::VectorXd p(10);
  p << 1.0, 0.0, 0.0, 0.0, 0.01, 0.0, 0.0, 0.01, 0.0, 0.01;
  return p;
}

Eigen::Matrix<double, 15, 1> noise() {
  Eigen::Matrix<double, 15, 1> v;
  v << Eigen::Vector3d::Constant(0.02 * 0.02), Eigen::Vector3d::Constant(0.003 * 0.003),
      Eigen::Vector3d::Constant(0.2 * 0.2), Eigen::Vector3d::Constant(0.05 * 0.05),
      Eigen::Vector3d::Constant(0.003 * 0.003);
  return v;
}

void BM_RecursiveTlsUpdate(benchmark::State& state) {
  const vorn::bench::StdoutSilencer quiet;  // the banner and progress lines
  const std::vector<vorn::DynamicsStamped> samples = makeSamples(4096);
  std::unique_ptr<vorn::EstimationAlgorithm> algorithm(vorn::EstimationAlgorithm::create());
  algorithm->initialize(prior(), noise(), 1.0);
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(algorithm->update(samples[next]));
    next = (next + 1) % samples.size();
  }
  benchmark::DoNotOptimize(algorithm->getParameterVector());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecursiveTlsUpdate)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BM_LuInverse17(benchmark::State& state) {
  Eigen::MatrixXd m = Eigen::MatrixXd::Random(17, 17) + 17.0 * Eigen::MatrixXd::Identity(17, 17);
  Eigen::MatrixXd inverse(17, 17);
  for (auto _ : state) {
    inverse = Eigen::PartialPivLU<Eigen::MatrixXd>(m).inverse();
    benchmark::DoNotOptimize(inverse.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LuInverse17)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();

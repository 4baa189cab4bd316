// Cost of one sample of the recursive TLS estimator (six rows, covariance included), next to
// the cost of one 17 x 17 LU inverse as a machine-independent yardstick.
#include <cmath>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#include <Eigen/Core>
#include <Eigen/Geometry>
#include <Eigen/LU>

#include "StdoutSilencer.hpp"
#include "data/DynamicsStamped.hpp"
#include "identification/EstimationAlgorithm.hpp"

namespace {

/// Samples of a 1.2 kg payload moved about (smooth sums of sines, gravity of varying direction).
std::vector<vorn::DynamicsStamped> makeSamples(int count) {
  std::vector<vorn::DynamicsStamped> samples;
  samples.reserve(static_cast<std::size_t>(count));
  const double m = 1.2;
  const Eigen::Vector3d h = m * Eigen::Vector3d(0.01, -0.02, 0.05);
  Eigen::Matrix3d inertia;
  inertia << 0.012, 0.0005, -0.0003, 0.0005, 0.011, 0.0004, -0.0003, 0.0004, 0.008;
  const Eigen::Vector3d biasF(0.5, -0.3, 1.0);
  const Eigen::Vector3d biasT(0.02, -0.01, 0.03);
  for (int i = 0; i < count; ++i) {
    const double t = 0.002 * i;
    const Eigen::Vector3d w(std::sin(1.3 * t), 0.8 * std::cos(0.7 * t), 0.6 * std::sin(2.1 * t));
    const Eigen::Vector3d alpha(1.3 * std::cos(1.3 * t), -0.56 * std::sin(0.7 * t),
                                1.26 * std::cos(2.1 * t));
    const Eigen::Vector3d g =
        9.81 * Eigen::Vector3d(std::sin(0.3 * t), std::cos(0.3 * t) * std::sin(0.5 * t),
                               std::cos(0.3 * t) * std::cos(0.5 * t));
    const Eigen::Vector3d a = g + Eigen::Vector3d(std::sin(3.0 * t), std::cos(2.0 * t), 0.5);
    const Eigen::Vector3d force = biasF - (m * a + alpha.cross(h) + w.cross(w.cross(h)));
    const Eigen::Vector3d torque = biasT - (h.cross(a) + inertia * alpha + w.cross(inertia * w));
    samples.emplace_back(vorn::KinematicsStamped(t, a, w, alpha),
                         vorn::WrenchStamped(t, force, torque));
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

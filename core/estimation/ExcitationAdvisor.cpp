#include "estimation/ExcitationAdvisor.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <Eigen/Geometry>

#include "data/DynamicsStamped.hpp"
#include "identification/EstimateIndex.hpp"
#include "identification/InertialParameters.hpp"
#include "identification/ObservationModelBasic.hpp"

namespace vorn {
namespace {

constexpr double kGravity = 9.81;
/// Each move is judged by what one second of it would add.
constexpr double kHorizonSeconds = 1.0;
/// A rotation back and forth: ±0.5 rad at about 0.4 Hz (peak rate 1.2 rad/s, peak angular
/// acceleration 3 rad/s²), what a hand does without effort.
constexpr double kSwing = 0.5;
constexpr double kSwingRate = 1.2;
constexpr double kSwingAcceleration = 3.0;
/// A move is worth advising when it removes at least this share of what remains.
constexpr double kWorthwhile = 1e-3;

constexpr int kStates = 3;
constexpr int kRows = 6 * kStates;

using Mat16 = Eigen::Matrix<double, 16, 16>;
using Rows = Eigen::Matrix<double, kRows, 16>;

struct State {
  Eigen::Vector3d specificForce;
  Eigen::Vector3d angVel;
  Eigen::Vector3d angAcc;
};

Eigen::Vector3d unitAxis(int index) {
  Eigen::Vector3d axis = Eigen::Vector3d::Zero();
  axis[index] = 1.0;
  return axis;
}

/// Where gravity points in the sensor frame now, as the accelerometer sees it (up, g long).
Eigen::Vector3d upNow(const ExcitationInput& input) {
  const double norm = input.specificForce.norm();
  if (!std::isfinite(norm) || norm < 0.5) {
    return Eigen::Vector3d(0.0, 0.0, kGravity);
  }
  return input.specificForce;
}

/// The three representative instants of a move.
std::array<State, kStates> statesOf(int move, const ExcitationInput& input) {
  std::array<State, kStates> states{};
  const Eigen::Vector3d up = upNow(input);
  if (move < 3) {
    const Eigen::Vector3d u = unitAxis(move);
    // At the turning points the rate is zero and the acceleration peaks; in between the rate
    // peaks. Gravity turns with the sensor about u.
    const Eigen::Vector3d plus = Eigen::AngleAxisd(-kSwing, u) * up;
    const Eigen::Vector3d minus = Eigen::AngleAxisd(kSwing, u) * up;
    states[0] = {plus, Eigen::Vector3d::Zero(), -kSwingAcceleration * u};
    states[1] = {minus, Eigen::Vector3d::Zero(), kSwingAcceleration * u};
    states[2] = {up, kSwingRate * u, Eigen::Vector3d::Zero()};
    return states;
  }
  const int half = move - 3;  // +x, -x, +y, -y, +z, -z
  const double sign = half % 2 == 0 ? 1.0 : -1.0;
  const Eigen::Vector3d down = sign * unitAxis(half / 2);
  for (State& state : states) {
    state = {-kGravity * down, Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero()};
  }
  return states;
}

/// Standard deviations of (m, c, inertia, bias) from a covariance of (m, m·c, inertia, bias),
/// the centre of mass to first order.
Eigen::Matrix<double, 16, 1> stdDevsOf(const Mat16& covariance, const ExcitationInput& input) {
  Eigen::Matrix<double, 16, 1> variance = covariance.diagonal();
  const double m = input.solution[estimate_index::kMass];
  if (std::abs(m) > 1e-9) {
    for (int i = estimate_index::kCentreOfMass; i < estimate_index::kInertia; ++i) {
      const double c = input.solution[i];
      variance[i] =
          (covariance(i, i) - 2.0 * c * covariance(i, 0) + c * c * covariance(0, 0)) / (m * m);
    }
  }
  return variance.cwiseMax(0.0).cwiseSqrt();
}

double thresholdOf(int parameter, const ExcitationInput& input) {
  const int group = estimate_index::groupOf(parameter);
  return std::max(input.thresholds[static_cast<std::size_t>(group)], 1e-12);
}

/// What remains of the entries now at or above their thresholds: the sum of their squared
/// ratios σ/threshold under `covariance`.
double remainingOf(const Mat16& covariance, const ExcitationInput& input) {
  const Eigen::Matrix<double, 16, 1> now = stdDevsOf(input.covariance, input);
  const Eigen::Matrix<double, 16, 1> sigma = stdDevsOf(covariance, input);
  double remaining = 0.0;
  for (int i = 0; i < 16; ++i) {
    const double threshold = thresholdOf(i, input);
    if (now[i] >= threshold) {
      const double ratio = sigma[i] / threshold;
      remaining += ratio * ratio;
    }
  }
  return remaining;
}

/// Noise variance of each wrench row, to first order: the wrench noise plus what the
/// accelerometer's and the angular acceleration's noise carry in through the estimate.
Eigen::Matrix<double, 6, 1> rowNoise(const ExcitationInput& input) {
  const double m = input.solution[0];
  const Eigen::Vector3d h = m * input.solution.segment<3>(estimate_index::kCentreOfMass);
  const double inertia = input.solution.segment<6>(estimate_index::kInertia).cwiseAbs().maxCoeff();
  const double acc = input.noise.head<3>().mean();
  Eigen::Matrix<double, 6, 1> r;
  for (int i = 0; i < 3; ++i) {
    r[i] = input.noise[9 + i] + m * m * input.noise[i];
    r[3 + i] = input.noise[12 + i] + h.squaredNorm() * acc + inertia * inertia * input.noise[6 + i];
  }
  return r.cwiseMax(1e-18);
}

Mat16 predictedCovariance(int move, const ExcitationInput& input) {
  const std::array<State, kStates> states = statesOf(move, input);
  const ObservationModelBasic model;
  Rows a = Rows::Zero();
  Eigen::Matrix<double, kRows, 1> noise;
  const double samples = std::max(1.0, input.sampleRate * kHorizonSeconds / kStates);
  const Eigen::Matrix<double, 6, 1> r = rowNoise(input);
  for (int s = 0; s < kStates; ++s) {
    const DynamicsStamped dynamics(
        KinematicsStamped(0.0, states[s].specificForce, states[s].angVel, states[s].angAcc),
        WrenchStamped());
    // The measured wrench is b − Y·θ.
    a.block<6, 10>(6 * s, 0) = -model.dataMatrix(dynamics);
    a.block<6, 6>(6 * s, 10) = Eigen::Matrix<double, 6, 6>::Identity();
    noise.segment<6>(6 * s) = r / samples;
  }
  // Σ' = Σ − Σ·Aᵀ·(A·Σ·Aᵀ + R)⁻¹·A·Σ: works for a covariance without full rank too.
  const Eigen::Matrix<double, kRows, 16> as = a * input.covariance;
  Eigen::Matrix<double, kRows, kRows> s = as * a.transpose();
  s.diagonal() += noise;
  const Eigen::LDLT<Eigen::Matrix<double, kRows, kRows>> ldlt(s);
  const Eigen::Matrix<double, kRows, 16> gain = ldlt.solve(as);
  return input.covariance - as.transpose() * gain;
}

/// The sensor axis closest to the principal axis of the smallest moment about the centre of
/// mass: rotating about it tells the most about that moment.
int smallestMomentAxis(const ExcitationInput& input) {
  const Eigen::Matrix3d aboutCom =
      InertialParameters::fromEstimateVector(input.solution.head<estimate_index::kInertialCount>())
          .inertiaAboutCom;
  if (!aboutCom.allFinite()) {
    return 2;
  }
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(aboutCom);
  Eigen::Index axis = 2;
  solver.eigenvectors().col(0).cwiseAbs().maxCoeff(&axis);
  return static_cast<int>(axis);
}

int groupHelpedMost(int move, const ExcitationInput& input) {
  const Mat16 after = predictedCovariance(move, input);
  const Eigen::Matrix<double, 16, 1> before = stdDevsOf(input.covariance, input);
  const Eigen::Matrix<double, 16, 1> later = stdDevsOf(after, input);
  std::array<double, 4> gain{};
  for (int i = 0; i < 16; ++i) {
    const double t = thresholdOf(i, input);
    const int group = estimate_index::groupOf(i);
    if (before[i] >= t) {
      const double b = before[i] / t;
      const double l = later[i] / t;
      gain[static_cast<std::size_t>(group)] += b * b - l * l;
    }
  }
  const auto best = std::max_element(gain.begin(), gain.end());
  return *best > 0.0 ? static_cast<int>(best - gain.begin()) : -1;
}

}  // namespace

std::array<double, ExcitationAdvisor::kMoves> ExcitationAdvisor::moveScores(
    const ExcitationInput& input) {
  std::array<double, kMoves> scores{};
  for (int move = 0; move < kMoves; ++move) {
    scores[static_cast<std::size_t>(move)] = remainingOf(predictedCovariance(move, input), input);
  }
  return scores;
}

double ExcitationAdvisor::currentScore(const ExcitationInput& input) {
  return remainingOf(input.covariance, input);
}

ExcitationAdvice ExcitationAdvisor::moveAdvice(int index) {
  ExcitationAdvice advice;
  if (index < 3) {
    advice.move = ExcitationMove::RotateAbout;
    advice.axisIndex = index;
    advice.axis = unitAxis(index);
    return advice;
  }
  const int half = index - 3;
  advice.move = ExcitationMove::TiltAxisDown;
  advice.axisIndex = half / 2;
  advice.axis = (half % 2 == 0 ? 1.0 : -1.0) * unitAxis(half / 2);
  return advice;
}

ExcitationAdvice ExcitationAdvisor::advise(const ExcitationInput& input) {
  ExcitationAdvice advice;
  if (input.converged) {
    advice.move = ExcitationMove::Done;
    return advice;
  }
  if (input.samplesAbsorbed == 0) {
    advice.move = ExcitationMove::Start;
    return advice;
  }
  if (!input.stdDevsWithinThresholds && input.covariance.allFinite() &&
      input.solution.allFinite()) {
    const std::array<double, kMoves> scores = moveScores(input);
    const auto best = std::min_element(scores.begin(), scores.end());
    const double now = currentScore(input);
    if (std::isfinite(*best) && now - *best > kWorthwhile * now) {
      const int index = static_cast<int>(best - scores.begin());
      advice = moveAdvice(index);
      advice.group = groupHelpedMost(index, input);
      return advice;
    }
  }
  if (input.stdDevsWithinThresholds && input.residualWindowFull && !input.residualWithinLimit) {
    advice.move = ExcitationMove::HoldStill;
    return advice;
  }
  if (input.stdDevsWithinThresholds && !input.physicallyConsistent && input.solution.allFinite()) {
    advice.move = ExcitationMove::RotateAbout;
    advice.axisIndex = smallestMomentAxis(input);
    advice.axis = unitAxis(advice.axisIndex);
    advice.group = 2;
    return advice;
  }
  advice.move = ExcitationMove::KeepGoing;
  return advice;
}

void ExcitationAdvisor::describe(const ExcitationAdvice& advice, char* text, std::size_t size) {
  if (size == 0) {
    return;
  }
  static const char* const kAxes[3] = {"x", "y", "z"};
  static const char* const kGroups[4] = {"the mass", "the centre of mass", "the inertia",
                                         "the sensor offset"};
  const char* axis = advice.axisIndex >= 0 && advice.axisIndex < 3 ? kAxes[advice.axisIndex] : "z";
  const char* group =
      advice.group >= 0 && advice.group < 4 ? kGroups[advice.group] : "the estimate";
  switch (advice.move) {
    case ExcitationMove::Start:
      std::snprintf(text, size,
                    "start moving: turn the tool about each of its axes and tilt it through "
                    "large angles");
      break;
    case ExcitationMove::RotateAbout:
      std::snprintf(text, size,
                    "rotate the tool back and forth about the sensor's %s axis (for %s)", axis,
                    group);
      break;
    case ExcitationMove::TiltAxisDown: {
      const double sign = advice.axisIndex >= 0 ? advice.axis[advice.axisIndex] : 1.0;
      std::snprintf(text, size, "tilt the tool until the sensor's %s%s axis points down (for %s)",
                    sign < 0.0 ? "-" : "+", axis, group);
      break;
    }
    case ExcitationMove::HoldStill:
      std::snprintf(text, size,
                    "hold the tool still for a moment: the last half second's samples are noisier "
                    "than the configured noise");
      break;
    case ExcitationMove::KeepGoing:
      std::snprintf(text, size, "keep the motion going");
      break;
    case ExcitationMove::Done:
      std::snprintf(text, size, "nothing more: the estimate has converged");
      break;
  }
}

}  // namespace vorn

#include "sim/PayloadErrors.hpp"

#include <cmath>

#include <Eigen/Core>

#include "core/identification/EstimateIndex.hpp"
#include "core/identification/InertialParameters.hpp"

namespace vorn::sim {

namespace {

namespace ei = estimate_index;

Eigen::Matrix3d inertiaAboutOrigin(const PayloadErrors::Quantities& q) {
  Eigen::Matrix<double, 6, 1> vech;
  for (int i = 0; i < 6; ++i) {
    vech[i] = q[static_cast<std::size_t>(ei::kInertia + i)];
  }
  return InertialParameters::symmetricFromVech(vech);
}

/// ‖x̂ − x‖ of the three entries from `first`.
double distance(const PayloadErrors::Quantities& truth, const PayloadErrors::Quantities& estimate,
                std::size_t first) {
  return std::sqrt(std::pow(estimate[first] - truth[first], 2) +
                   std::pow(estimate[first + 1] - truth[first + 1], 2) +
                   std::pow(estimate[first + 2] - truth[first + 2], 2));
}

}  // namespace

PayloadErrors PayloadErrors::between(const Quantities& truth, const Quantities& estimate) {
  PayloadErrors e;
  const double m = truth[ei::kMass];
  const double mHat = estimate[ei::kMass];
  e.massRelative = (mHat - m) / m;
  e.massPercent = 100.0 * (mHat - m) / m;
  const Eigen::Vector3d c(truth[1], truth[2], truth[3]);
  const Eigen::Vector3d cHat(estimate[1], estimate[2], estimate[3]);
  e.comMm = 1000.0 * (cHat - c).norm();
  const Eigen::Matrix3d io = inertiaAboutOrigin(truth);
  const Eigen::Matrix3d ioHat = inertiaAboutOrigin(estimate);
  e.inertiaOriginPercent = 100.0 * (ioHat - io).norm() / io.norm();
  const Eigen::Matrix3d ic = io - InertialParameters::parallelAxisTerm(m, c);
  const Eigen::Matrix3d icHat = ioHat - InertialParameters::parallelAxisTerm(mHat, cHat);
  e.inertiaComPercent = 100.0 * (icHat - ic).norm() / ic.norm();
  e.forceBias = distance(truth, estimate, ei::kForceBias);
  e.torqueBias = distance(truth, estimate, ei::kTorqueBias);
  return e;
}

}  // namespace vorn::sim

#include "identification/ErrorModelTLSWrenchBias.hpp"

namespace vorn {

namespace {

// Rows of each Jacobian: the augmented columns.
constexpr int kMass = 0;
constexpr int kHx = 1;
constexpr int kHy = 2;
constexpr int kHz = 3;
constexpr int kIxx = 4;
constexpr int kIxy = 5;
constexpr int kIxz = 6;
constexpr int kIyy = 7;
constexpr int kIyz = 8;
constexpr int kIzz = 9;
constexpr int kMeasurement = 16;
constexpr int kRows = 17;

// Columns: the measured channels.
constexpr int kAx = 0;
constexpr int kAy = 1;
constexpr int kAz = 2;
constexpr int kWx = 3;  // ωx, ωy, ωz are the three columns from here
constexpr int kAlphaX = 6;
constexpr int kAlphaY = 7;
constexpr int kAlphaZ = 8;
constexpr int kFx = 9;
constexpr int kTauX = 12;
constexpr int kChannels = 15;

}  // namespace

ErrorModelTLSWrenchBias::ErrorModelTLSWrenchBias() { setConstantJacobianEntries(); }

void ErrorModelTLSWrenchBias::setConstantJacobianEntries() {
  for (auto& j : jacobians_) {
    j.setZero(kRows, kChannels);
  }
  // Force rows: m·a + α × h (+ ω × (ω × h), see updateJacobians); the measurement column is −F.
  Eigen::MatrixXd& fx = jacobians_[0];
  fx(kMass, kAx) = 1.0;
  fx(kHy, kAlphaZ) = -1.0;
  fx(kHz, kAlphaY) = 1.0;
  Eigen::MatrixXd& fy = jacobians_[1];
  fy(kMass, kAy) = 1.0;
  fy(kHx, kAlphaZ) = 1.0;
  fy(kHz, kAlphaX) = -1.0;
  Eigen::MatrixXd& fz = jacobians_[2];
  fz(kMass, kAz) = 1.0;
  fz(kHx, kAlphaY) = -1.0;
  fz(kHy, kAlphaX) = 1.0;
  for (int k = 0; k < 3; ++k) {
    jacobians_[static_cast<std::size_t>(k)](kMeasurement, kFx + k) = -1.0;
  }

  // Torque rows: h × a + I·α (+ ω × (I·ω)); the measurement column is −τ.
  Eigen::MatrixXd& tx = jacobians_[3];
  tx(kHy, kAz) = 1.0;
  tx(kHz, kAy) = -1.0;
  tx(kIxx, kAlphaX) = 1.0;
  tx(kIxy, kAlphaY) = 1.0;
  tx(kIxz, kAlphaZ) = 1.0;
  Eigen::MatrixXd& ty = jacobians_[4];
  ty(kHx, kAz) = -1.0;
  ty(kHz, kAx) = 1.0;
  ty(kIxy, kAlphaX) = 1.0;
  ty(kIyy, kAlphaY) = 1.0;
  ty(kIyz, kAlphaZ) = 1.0;
  Eigen::MatrixXd& tz = jacobians_[5];
  tz(kHx, kAy) = 1.0;
  tz(kHy, kAx) = -1.0;
  tz(kIxz, kAlphaX) = 1.0;
  tz(kIyz, kAlphaY) = 1.0;
  tz(kIzz, kAlphaZ) = 1.0;
  for (int k = 0; k < 3; ++k) {
    jacobians_[static_cast<std::size_t>(3 + k)](kMeasurement, kTauX + k) = -1.0;
  }
}

void ErrorModelTLSWrenchBias::updateJacobians(const DynamicsStamped& dynamics) {
  const Eigen::Vector3d w = dynamics.angVel();
  const double x = w.x();
  const double y = w.y();
  const double z = w.z();

  // Derivatives of ω × (ω × h) with respect to ωx, ωy, ωz, on the first-moment rows.
  Eigen::MatrixXd& fx = jacobians_[0];
  fx.block<3, 3>(kHx, kWx) << 0.0, -2.0 * y, -2.0 * z,  //
      y, x, 0.0,                                        //
      z, 0.0, x;
  Eigen::MatrixXd& fy = jacobians_[1];
  fy.block<3, 3>(kHx, kWx) << y, x, 0.0,  //
      -2.0 * x, 0.0, -2.0 * z,            //
      0.0, z, y;
  Eigen::MatrixXd& fz = jacobians_[2];
  fz.block<3, 3>(kHx, kWx) << z, 0.0, x,  //
      0.0, z, y,                          //
      -2.0 * x, -2.0 * y, 0.0;

  // Derivatives of ω × (I·ω) with respect to ωx, ωy, ωz, on the inertia rows.
  Eigen::MatrixXd& tx = jacobians_[3];
  tx.block<6, 3>(kIxx, kWx) << 0.0, 0.0, 0.0,  //
      -z, 0.0, -x,                             //
      y, x, 0.0,                               //
      0.0, -z, -y,                             //
      0.0, 2.0 * y, -2.0 * z,                  //
      0.0, z, y;
  Eigen::MatrixXd& ty = jacobians_[4];
  ty.block<6, 3>(kIxx, kWx) << z, 0.0, x,  //
      0.0, z, y,                           //
      -2.0 * x, 0.0, 2.0 * z,              //
      0.0, 0.0, 0.0,                       //
      -y, -x, 0.0,                         //
      -z, 0.0, -x;
  Eigen::MatrixXd& tz = jacobians_[5];
  tz.block<6, 3>(kIxx, kWx) << -y, -x, 0.0,  //
      2.0 * x, -2.0 * y, 0.0,                //
      0.0, -z, -y,                           //
      y, x, 0.0,                             //
      z, 0.0, x,                             //
      0.0, 0.0, 0.0;
}

}  // namespace vorn

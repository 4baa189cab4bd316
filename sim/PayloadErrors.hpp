// How far an identified payload lies from the true one.
#pragma once

#include <array>

namespace vorn::sim {

/// The errors of an identified payload against the truth, as the demo prints them and the
/// accuracy benchmark tabulates them. Both payloads are given as the estimator's 16 reported
/// quantities: mass (kg), centre of mass (m), inertia about the sensor origin (Ixx, Ixy, Ixz,
/// Iyy, Iyz, Izz; kg·m²), wrench bias (Fx, Fy, Fz in N, Tx, Ty, Tz in N·m).
struct PayloadErrors {
  using Quantities = std::array<double, 16>;

  /// (m̂ − m)/m, a signed fraction; the demo prints it times 100.
  double massRelative = 0.0;
  /// 100·(m̂ − m)/m (%), signed: the benchmark's figure. It may differ from massRelative·100 in
  /// the last bit, as the two are rounded in a different order.
  double massPercent = 0.0;
  double comMm = 0.0;                 ///< ‖ĉ − c‖ in mm
  double inertiaOriginPercent = 0.0;  ///< ‖Î_o − I_o‖_F/‖I_o‖_F, %, about the sensor origin
  double inertiaComPercent = 0.0;     ///< the same about each body's own centre of mass, %
  double forceBias = 0.0;             ///< ‖b̂_F − b_F‖ in N
  double torqueBias = 0.0;            ///< ‖b̂_T − b_T‖ in N·m

  /// The errors of `estimate` against `truth`. Requires a non-zero true mass; the inertia
  /// figures are NaN when the true inertia is zero.
  static PayloadErrors between(const Quantities& truth, const Quantities& estimate);
};

}  // namespace vorn::sim

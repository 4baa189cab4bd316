#pragma once

#include <array>
#include <string>

namespace vorn::accuracy {

/// How a run ended.
enum class RunEnd { Converged, TimeLimit, Failed };

/// What one run produced, compared with the truth.
struct RunResult {
  int caseIndex = 0;
  RunEnd end = RunEnd::TimeLimit;
  double dataSeconds = 0.0;  ///< s of samples fed until the run ended

  // Errors of the identified payload (converged runs only).
  double massErrorPercent = 0.0;      ///< 100·(m̂ − m)/m
  double comErrorMm = 0.0;            ///< ‖ĉ − c‖ in mm
  double inertiaOriginPercent = 0.0;  ///< ‖Î − I‖_F/‖I‖_F about the sensor origin, %
  double inertiaComPercent = 0.0;     ///< the same about the centre of mass, %
  double forceBiasError = 0.0;        ///< ‖b̂_F − b_F‖ in N
  double torqueBiasError = 0.0;       ///< ‖b̂_T − b_T‖ in N·m

  /// Error divided by the reported standard deviation, for the 16 reported quantities: mass,
  /// centre of mass x, y, z, Ixx … Izz (about the origin), bias Fx … Tz.
  std::array<double, 16> normalisedErrors{};

  // The Cramér-Rao bound of the same recording (noise-free samples up to the data-time cap).
  bool boundFeasible = false;  ///< the bound's deviations meet the thresholds within the cap
  double boundSeconds = 0.0;   ///< data seconds at which they first do (feasible runs)
  /// Reported std over the bound's std at the convergence time, averaged over the entries of
  /// mass, centre of mass, inertia and bias (converged runs).
  std::array<double, 4> efficiency{};
  /// The written file describes a body that can exist (converged runs).
  bool fileConsistent = true;

  // The estimator's convergence conditions at the end of the run (its snapshot): why a run
  // did not converge, or how close to their limits the conditions of a converged run were.
  /// Worst std / threshold of mass, centre of mass, inertia and bias.
  std::array<double, 4> endRatios{};
  /// Root-mean-square normalised residual of the last half second (multiples of the noise).
  double endResidual = 0.0;
  /// Half a second absorbed, and the residual within its limit.
  bool endResidualWindowFull = false;
  bool endResidualMet = false;
  /// A consistent body lies within the uncertainty.
  bool endConsistent = false;
  /// The first condition not met (`vorn::ConvergenceCondition` as an integer).
  int endBlocking = 0;

  /// One line of text that `parse` turns back into the same result.
  std::string serialise() const;
  /// Reads a line written by `serialise`; false when it is malformed.
  static bool parse(const std::string& line, RunResult& result);
};

}  // namespace vorn::accuracy

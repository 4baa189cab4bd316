#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "RunCase.hpp"
#include "RunResult.hpp"

namespace vorn::accuracy {

/// Figures of a group of runs (one profile at one noise level).
struct GroupSummary {
  int runs = 0;
  int converged = 0;
  int timeLimit = 0;
  int failed = 0;
  double medianSeconds = 0.0;    ///< data seconds to convergence, converged runs
  double meanMassPercent = 0.0;  ///< mean |mass error|, converged runs
  double meanComMm = 0.0;
  double meanInertiaOriginPercent = 0.0;
  double meanInertiaComPercent = 0.0;
  double meanForceBias = 0.0;
  double meanTorqueBias = 0.0;
  double withinThreeSigmaPercent = 0.0;  ///< converged runs with every |error/std| ≤ 3
  int nonFiniteRatio = 0;                ///< converged runs with a reported std of 0 or NaN
  /// Root mean square of error/std over the runs with finite ratios: mass, centre of mass,
  /// inertia, bias.
  double rmsMass = 0.0;
  double rmsCom = 0.0;
  double rmsInertia = 0.0;
  double rmsBias = 0.0;
  // Against the Cramér-Rao bound of the same recordings.
  int feasible = 0;            ///< runs the bound calls feasible within the cap
  int feasibleConverged = 0;   ///< of those, runs that converged
  double medianBoundSeconds = 0.0;  ///< bound's time, feasible runs
  double medianTimeRatio = 0.0;     ///< convergence time / bound's time, feasible converged runs
  /// Median reported std / bound std, converged runs: mass, centre of mass, inertia, bias.
  std::array<double, 4> medianEfficiency{};
};

/// Prints the per-run table, the per-group summaries and the summary lines.
class ResultTable {
 public:
  static GroupSummary summarise(const std::vector<const RunResult*>& group);

  static void printRuns(std::ostream& out, const std::vector<RunCase>& cases,
                        const std::vector<RunResult>& results);
  /// The convergence conditions at the end of every feasible run that did not converge and of
  /// every converged run with an error beyond 3 reported std: which condition held it back
  /// (or let it through) and by how much.
  static void printDiagnosis(std::ostream& out, const std::vector<RunCase>& cases,
                             const std::vector<RunResult>& results);
  static void printSummary(std::ostream& out, const std::vector<RunCase>& cases,
                           const std::vector<RunResult>& results);
  static void writeCsv(const std::string& path, const std::vector<RunCase>& cases,
                       const std::vector<RunResult>& results);
};

}  // namespace vorn::accuracy

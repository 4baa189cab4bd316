#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "ResultTable.hpp"

namespace vorn::accuracy {

/// The goals the identification is held to in every group of runs (profile x rate x noise x
/// payload kind), and the groups that miss them:
///   - at least 90 % of the runs the bound calls feasible converge;
///   - median convergence time at most 1.5 times the bound's;
///   - brisk hand-held motion at 1 kHz with typical noise: median convergence within 2 s;
///   - at least 95 % of the converged runs with every error within 3 reported std;
///   - root mean square of error/std within 0.7-1.4 for mass, centre of mass, inertia and bias;
///   - reported std at most 1.5 times the bound's for mass and centre of mass, 2 times for
///     inertia and bias (medians).
/// A goal is judged only where the group has runs it speaks of (feasible runs for the first
/// two, converged runs with finite ratios for the others).
class GoalCheck {
 public:
  /// Number of goals.
  static constexpr std::size_t kGoals = 6;

  /// One goal a group misses (its index in `goals()`), with the group's figure for it.
  struct Miss {
    std::size_t goal;
    std::string figure;
  };

  /// A group as the check sees it: its name, its summary, and whether it is brisk motion at
  /// 1 kHz with typical noise (held to the 2 s median).
  struct Group {
    std::string name;
    GroupSummary summary;
    bool briskAtOneKilohertz = false;
  };

  /// The goals in the order they are printed.
  static const std::vector<std::string>& goals();

  /// The goals `group` misses, in the order of `goals()`.
  static std::vector<Miss> misses(const Group& group);

  /// Which goals `group` has runs to be judged on, in the order of `goals()`.
  static std::array<bool, kGoals> judged(const Group& group);

  /// For every goal: how many of the groups that can be judged on it meet it, and the groups
  /// that miss it with their figures.
  static void print(std::ostream& out, const std::vector<Group>& groups);
};

}  // namespace vorn::accuracy

#include "GoalCheck.hpp"

#include <array>
#include <cstdio>

namespace vorn::accuracy {

namespace {

constexpr double kConvergedShare = 90.0;     ///< % of the feasible runs
constexpr double kTimeRatio = 1.5;           ///< median time over the bound's
constexpr double kBriskSeconds = 2.0;        ///< median data time, brisk 1 kHz x1
constexpr double kWithinThreeSigma = 95.0;   ///< % of the converged runs
constexpr double kRmsLow = 0.7;
constexpr double kRmsHigh = 1.4;
/// Median reported std over the bound's: mass, centre of mass, inertia, bias.
constexpr std::array<double, 4> kEfficiency{{1.5, 1.5, 2.0, 2.0}};
constexpr std::array<const char*, 4> kQuantity{{"m", "c", "I", "b"}};

std::string figure(const char* pattern, double value) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

/// "c 0.56, I 0.43": the named values outside their range.
void appendNamed(std::string& text, const char* name, double value) {
  if (!text.empty()) {
    text += ", ";
  }
  text += name + figure(" %.2f", value);
}

}  // namespace

const std::vector<std::string>& GoalCheck::goals() {
  static const std::vector<std::string> names{
      "feasible runs converged >= 90 %",      "median time <= 1.5 x the bound's",
      "brisk 1 kHz x1: median time <= 2 s",   "converged runs within 3 std >= 95 %",
      "rms error/std in 0.7-1.4 (m, c, I, b)", "std <= 1.5 x bound (m, c), 2 x (I, b)"};
  return names;
}

std::array<bool, GoalCheck::kGoals> GoalCheck::judged(const Group& group) {
  const GroupSummary& s = group.summary;
  return {{s.feasible > 0, s.feasibleConverged > 0, group.briskAtOneKilohertz && s.runs > 0,
           s.converged > 0, s.converged > s.nonFiniteRatio, s.converged > 0}};
}

std::vector<GoalCheck::Miss> GoalCheck::misses(const Group& group) {
  const GroupSummary& s = group.summary;
  const std::array<bool, GoalCheck::kGoals> judge = judged(group);
  std::vector<Miss> out;
  if (judge[0] && 100.0 * s.feasibleConverged < kConvergedShare * s.feasible) {
    out.push_back({0, std::to_string(s.feasibleConverged) + "/" +
                                 std::to_string(s.feasible)});
  }
  if (judge[1] && s.medianTimeRatio > kTimeRatio) {
    out.push_back({1, figure("%.2f", s.medianTimeRatio)});
  }
  if (judge[2] && (s.converged == 0 || s.medianSeconds > kBriskSeconds)) {
    out.push_back({2, s.converged == 0 ? "none converged"
                                              : figure("%.1f s", s.medianSeconds)});
  }
  if (judge[3] && s.withinThreeSigmaPercent < kWithinThreeSigma) {
    out.push_back({3, figure("%.0f %%", s.withinThreeSigmaPercent)});
  }
  if (judge[4]) {
    const std::array<double, 4> rms{{s.rmsMass, s.rmsCom, s.rmsInertia, s.rmsBias}};
    std::string outside;
    for (std::size_t q = 0; q < rms.size(); ++q) {
      if (!(rms[q] >= kRmsLow && rms[q] <= kRmsHigh)) {
        appendNamed(outside, kQuantity[q], rms[q]);
      }
    }
    if (!outside.empty()) {
      out.push_back({4, outside});
    }
  }
  std::string above;
  for (std::size_t q = 0; judge[5] && q < kEfficiency.size(); ++q) {
    // A median of 0 means no converged run had a bound to compare with.
    if (s.medianEfficiency[q] > kEfficiency[q]) {
      appendNamed(above, kQuantity[q], s.medianEfficiency[q]);
    }
  }
  if (!above.empty()) {
    out.push_back({5, above});
  }
  return out;
}

void GoalCheck::print(std::ostream& out, const std::vector<Group>& groups) {
  const std::vector<std::string>& names = goals();
  std::vector<std::vector<std::string>> missed(names.size());
  std::vector<int> judgedGroups(names.size(), 0);
  for (const Group& g : groups) {
    const std::array<bool, GoalCheck::kGoals> applies = judged(g);
    for (std::size_t k = 0; k < names.size(); ++k) {
      judgedGroups[k] += applies[k] ? 1 : 0;
    }
    for (const Miss& m : misses(g)) {
      missed[m.goal].push_back(g.name + " (" + std::to_string(g.summary.runs) +
                               " runs): " + m.figure);
    }
  }
  out << "\nGoals (groups that meet each of the groups it can judge; the groups that miss it)\n";
  char line[160];
  for (std::size_t k = 0; k < names.size(); ++k) {
    const int met = judgedGroups[k] - static_cast<int>(missed[k].size());
    std::snprintf(line, sizeof line, "  %-40s %3d of %3d\n", names[k].c_str(), met,
                  judgedGroups[k]);
    out << line;
    for (const std::string& m : missed[k]) {
      out << "      " << m << '\n';
    }
  }
}

}  // namespace vorn::accuracy

#include "ResultTable.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <utility>

#include "GoalCheck.hpp"
#include "core/identification/EstimateIndex.hpp"

namespace vorn::accuracy {

namespace {

using estimate_index::kCentreOfMass;
using estimate_index::kCount;
using estimate_index::kInertia;
using estimate_index::kMass;
using estimate_index::kWrenchBias;
using estimate_index::kWrenchBiasCount;

std::string format(const char* pattern, double a) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, a);
  return buffer;
}

/// Largest |error/std| over entries [first, first + count); NaN counts as infinite.
double largestNormalised(const RunResult& r, std::size_t first, std::size_t count) {
  double largest = 0.0;
  for (std::size_t i = first; i < first + count; ++i) {
    const double z = std::abs(r.normalisedErrors[i]);
    largest = std::isnan(z) ? INFINITY : std::max(largest, z);
  }
  return largest;
}

const char* endName(RunEnd end) {
  switch (end) {
    case RunEnd::Converged:
      return "conv";
    case RunEnd::TimeLimit:
      return "limit";
    case RunEnd::Failed:
      return "FAIL";
  }
  return "?";
}

std::string groupName(const RunCase& c) {
  return std::string(sim::toString(c.profile)) + " " + format("%g", c.rateHz) + "Hz x" +
         format("%g", c.noiseScale) + " " + toString(c.kind);
}

double median(std::vector<double> values) {
  if (values.empty()) {
    return 0.0;
  }
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid] : 0.5 * (values[mid - 1] + values[mid]);
}

}  // namespace

GroupSummary ResultTable::summarise(const std::vector<const RunResult*>& group) {
  GroupSummary s;
  std::vector<double> seconds;
  double sumM = 0.0;
  double sumC = 0.0;
  double sumI = 0.0;
  double sumB = 0.0;
  int nM = 0;
  int nC = 0;
  int nI = 0;
  int nB = 0;
  int within = 0;
  std::vector<double> boundSeconds;
  std::vector<double> timeRatios;
  std::array<std::vector<double>, 4> efficiencies;
  for (const RunResult* r : group) {
    ++s.runs;
    if (r->boundFeasible) {
      ++s.feasible;
      boundSeconds.push_back(r->boundSeconds);
      if (r->end == RunEnd::Converged) {
        ++s.feasibleConverged;
        timeRatios.push_back(r->dataSeconds / r->boundSeconds);
      }
    }
    if (r->end == RunEnd::Converged) {
      for (std::size_t g = 0; g < 4; ++g) {
        if (r->efficiency[g] > 0.0) {
          efficiencies[g].push_back(r->efficiency[g]);
        }
      }
    }
    if (r->end == RunEnd::Failed) {
      ++s.failed;
      continue;
    }
    if (r->end == RunEnd::TimeLimit) {
      ++s.timeLimit;
      continue;
    }
    ++s.converged;
    seconds.push_back(r->dataSeconds);
    s.meanMassPercent += std::abs(r->massErrorPercent);
    s.meanComMm += r->comErrorMm;
    s.meanInertiaOriginPercent += r->inertiaOriginPercent;
    s.meanInertiaComPercent += r->inertiaComPercent;
    s.meanForceBias += r->forceBiasError;
    s.meanTorqueBias += r->torqueBiasError;
    const auto& z = r->normalisedErrors;
    // A reported deviation of NaN (a negative variance) or 0 has no finite ratio; such runs are
    // counted apart and left out of the root mean squares.
    bool finite = true;
    for (const double v : z) {
      finite = finite && std::isfinite(v);
    }
    if (!finite) {
      ++s.nonFiniteRatio;
    } else {
      ++nM;
      namespace ei = estimate_index;
      sumM += z[ei::kMass] * z[ei::kMass];
      for (int i = ei::kCentreOfMass; i < ei::kInertia; ++i, ++nC) sumC += z[i] * z[i];
      for (int i = ei::kInertia; i < ei::kWrenchBias; ++i, ++nI) sumI += z[i] * z[i];
      for (int i = ei::kWrenchBias; i < ei::kCount; ++i, ++nB) sumB += z[i] * z[i];
    }
    if (largestNormalised(*r, 0, kCount) <= 3.0) {
      ++within;
    }
  }
  s.medianBoundSeconds = median(boundSeconds);
  s.medianTimeRatio = median(timeRatios);
  for (std::size_t g = 0; g < 4; ++g) {
    s.medianEfficiency[g] = median(efficiencies[g]);
  }
  if (s.converged > 0) {
    const double n = s.converged;
    std::sort(seconds.begin(), seconds.end());
    const std::size_t mid = seconds.size() / 2;
    s.medianSeconds =
        seconds.size() % 2 == 1 ? seconds[mid] : 0.5 * (seconds[mid - 1] + seconds[mid]);
    s.meanMassPercent /= n;
    s.meanComMm /= n;
    s.meanInertiaOriginPercent /= n;
    s.meanInertiaComPercent /= n;
    s.meanForceBias /= n;
    s.meanTorqueBias /= n;
    s.withinThreeSigmaPercent = 100.0 * within / n;
    if (nM > 0) {
      s.rmsMass = std::sqrt(sumM / nM);
      s.rmsCom = std::sqrt(sumC / nC);
      s.rmsInertia = std::sqrt(sumI / nI);
      s.rmsBias = std::sqrt(sumB / nB);
    }
  }
  return s;
}

void ResultTable::printRuns(std::ostream& out, const std::vector<RunCase>& cases,
                            const std::vector<RunResult>& results) {
  char line[256];
  std::snprintf(line, sizeof line,
                "%-6s %5s %5s %-5s %3s %4s  %-5s %6s %6s  %8s %8s %8s %8s %7s %7s  %7s %7s %7s %7s  %5s "
                "%5s %5s %5s\n",
                "motion", "rate", "noise", "kind", "pl", "seed", "end", "t[s]", "crb[s]", "mass[%]", "com[mm]", "Io[%]", "Ic[%]",
                "bF[N]", "bT[Nm]", "|z|m", "|z|c", "|z|I", "|z|b", "eff-m", "eff-c", "eff-I", "eff-b");
  out << line;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const RunCase& c = cases[i];
    const RunResult& r = results[i];
    std::snprintf(line, sizeof line, "%-6s %5g %5g %-5s %3d %4d  %-5s %6.1f",
                  sim::toString(c.profile), c.rateHz, c.noiseScale, toString(c.kind),
                  c.payloadIndex, c.seed, endName(r.end), r.dataSeconds);
    out << line;
    if (r.boundFeasible) {
      std::snprintf(line, sizeof line, " %6.2f", r.boundSeconds);
    } else {
      std::snprintf(line, sizeof line, " %6s", "-");
    }
    out << line;
    if (r.end == RunEnd::Converged) {
      std::snprintf(
          line, sizeof line, "  %8.3f %8.2f %8.1f %8.1f %7.4f %7.4f  %7.2g %7.2g %7.2g %7.2g",
          r.massErrorPercent, r.comErrorMm, r.inertiaOriginPercent, r.inertiaComPercent,
          r.forceBiasError, r.torqueBiasError, largestNormalised(r, kMass, 1),
          largestNormalised(r, kCentreOfMass, 3), largestNormalised(r, kInertia, 6),
          largestNormalised(r, kWrenchBias, kWrenchBiasCount));
      out << line;
      std::snprintf(line, sizeof line, "  %5.2f %5.2f %5.2f %5.2f", r.efficiency[0],
                    r.efficiency[1], r.efficiency[2], r.efficiency[3]);
      out << line;
    }
    out << '\n';
  }
}

namespace {

const char* conditionName(int condition) {
  static const char* const names[] = {"none",     "mass-sd",  "com-sd",      "inertia-sd",
                                      "bias-sd",  "res-win",  "residual",    "consistency",
                                      "min-time"};
  return condition >= 0 && condition < 9 ? names[condition] : "?";
}

}  // namespace

void ResultTable::printDiagnosis(std::ostream& out, const std::vector<RunCase>& cases,
                                 const std::vector<RunResult>& results) {
  out << "\nDiagnosis at the run's end: feasible runs that did not converge, and converged runs "
         "with an error beyond 3 reported std (sd/thr: worst std over its threshold; res: rms "
         "normalised residual of the last half second, limit 3; cons: a consistent body within the "
         "uncertainty)\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-24s %3s %4s %-5s %6s %6s  %-11s %6s %6s %6s %6s %6s %4s  %6s %5s\n",
                "group", "pl", "seed", "end", "t[s]", "crb[s]", "blocking", "m", "c", "I", "b",
                "res", "cons", "max|z|", "eff-c");
  out << line;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const RunCase& c = cases[i];
    const RunResult& r = results[i];
    const bool stuck = r.boundFeasible && r.end != RunEnd::Converged;
    const bool wrong = r.end == RunEnd::Converged && largestNormalised(r, 0, 16) > 3.0;
    if (!stuck && !wrong) {
      continue;
    }
    std::snprintf(line, sizeof line,
                  "%-24s %3d %4d %-5s %6.1f %6.2f  %-11s %6.2f %6.2f %6.2f %6.2f %6.2f %4s  %6.1f %5.2f\n",
                  groupName(c).c_str(), c.payloadIndex, c.seed, endName(r.end), r.dataSeconds,
                  r.boundFeasible ? r.boundSeconds : 0.0, conditionName(r.endBlocking),
                  r.endRatios[0], r.endRatios[1], r.endRatios[2], r.endRatios[3], r.endResidual,
                  r.endConsistent ? "yes" : "no", wrong ? largestNormalised(r, 0, 16) : 0.0,
                  r.efficiency[1]);
    out << line;
  }
}

void ResultTable::printSummary(std::ostream& out, const std::vector<RunCase>& cases,
                               const std::vector<RunResult>& results) {
  // Groups in the order of their first run, each summarised once for the tables and the goals.
  std::vector<GoalCheck::Group> groups;
  std::vector<std::vector<const RunResult*>> members;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const RunCase& c = cases[i];
    const std::string name = groupName(c);
    auto it =
        std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.name == name; });
    if (it == groups.end()) {
      const bool brisk =
          c.profile == sim::MotionPreset::Brisk && c.rateHz == 1000.0 && c.noiseScale == 1.0;
      groups.push_back({name, GroupSummary{}, brisk});
      members.emplace_back();
      it = groups.end() - 1;
    }
    members[static_cast<std::size_t>(it - groups.begin())].push_back(&results[i]);
  }
  for (std::size_t g = 0; g < groups.size(); ++g) {
    groups[g].summary = summarise(members[g]);
  }
  char line[512];
  out << "\nPer group (errors are means over the converged runs; |z| = |error| / reported std)\n";
  std::snprintf(line, sizeof line,
                "%-24s %5s %5s %5s %6s  %8s %8s %7s %7s %7s %7s  %6s  %5s %5s %5s %5s\n", "group",
                "runs", "conv", "limit", "t50[s]", "mass[%]", "com[mm]", "Io[%]", "Ic[%]", "bF[N]",
                "bT[Nm]", "<=3sd", "rms-m", "rms-c", "rms-I", "rms-b");
  out << line;
  for (const auto& [name, s, brisk] : groups) {
    std::snprintf(line, sizeof line,
                  "%-24s %5d %5d %5d %6.1f  %8.3f %8.2f %7.1f %7.1f %7.4f %7.4f  %5.0f%%  %5.2g "
                  "%5.2g %5.2g %5.2g\n",
                  name.c_str(), s.runs, s.converged, s.timeLimit, s.medianSeconds,
                  s.meanMassPercent, s.meanComMm, s.meanInertiaOriginPercent,
                  s.meanInertiaComPercent, s.meanForceBias, s.meanTorqueBias,
                  s.withinThreeSigmaPercent, s.rmsMass, s.rmsCom, s.rmsInertia, s.rmsBias);
    out << line;
  }
  out << "\nAgainst the Cramer-Rao bound of the same recordings (feasible: the bound meets the "
         "thresholds within the cap; eff = reported std / bound std, medians)\n";
  std::snprintf(line, sizeof line, "%-24s %5s %5s %9s %7s %7s %8s  %5s %5s %5s %5s\n", "group",
                "runs", "feas", "conv/feas", "conv%", "crb50", "t/crb50", "eff-m", "eff-c",
                "eff-I", "eff-b");
  out << line;
  for (const auto& [name, s, brisk] : groups) {
    std::snprintf(line, sizeof line,
                  "%-24s %5d %5d %4d/%-4d %6.0f%% %7.2f %8.2f  %5.2f %5.2f %5.2f %5.2f\n",
                  name.c_str(), s.runs, s.feasible, s.feasibleConverged, s.feasible,
                  s.feasible > 0 ? 100.0 * s.feasibleConverged / s.feasible : 0.0,
                  s.medianBoundSeconds, s.medianTimeRatio, s.medianEfficiency[0],
                  s.medianEfficiency[1], s.medianEfficiency[2], s.medianEfficiency[3]);
    out << line;
  }
  GoalCheck::print(out, groups);
  std::vector<const RunResult*> all;
  for (const auto& r : results) {
    all.push_back(&r);
  }
  const GroupSummary s = summarise(all);
  int falseConvergence = 0;
  int inconsistentFiles = 0;
  for (const auto& r : results) {
    if (r.end == RunEnd::Converged && !r.fileConsistent) {
      ++inconsistentFiles;
    }
    if (r.end == RunEnd::Converged && largestNormalised(r, 0, kCount) > 3.0) {
      ++falseConvergence;
    }
  }
  std::snprintf(line, sizeof line,
                "\nSUMMARY runs %d, converged %d, time limit %d, failed %d; feasible by the bound %d, "
                "of them converged %d; written files of impossible bodies %d; converged with an "
                "error beyond 3 reported std: %d (with a reported std of 0 or NaN: %d); mean "
                "errors mass %.3f %%, com %.2f mm, "
                "inertia %.1f %% (origin) %.1f %% (com); rms z mass %.2g com %.2g inertia %.2g "
                "bias %.2g\n",
                s.runs, s.converged, s.timeLimit, s.failed, s.feasible, s.feasibleConverged,
                inconsistentFiles, falseConvergence, s.nonFiniteRatio,
                s.meanMassPercent, s.meanComMm, s.meanInertiaOriginPercent, s.meanInertiaComPercent,
                s.rmsMass, s.rmsCom, s.rmsInertia, s.rmsBias);
  out << line;
}

void ResultTable::writeCsv(const std::string& path, const std::vector<RunCase>& cases,
                           const std::vector<RunResult>& results) {
  std::ofstream out(path);
  out << "motion,rate,kind,noise,payload,seed,mass,com_offset,end,data_seconds,mass_err_pct,com_err_mm,"
         "inertia_origin_err_pct,inertia_com_err_pct,force_bias_err,torque_bias_err,bound_feasible,"
         "bound_seconds,eff_mass,eff_com,eff_inertia,eff_bias";
  for (int i = 0; i < kCount; ++i) {
    out << ",z" << i;
  }
  out << ",draw\n";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const RunCase& c = cases[i];
    const RunResult& r = results[i];
    out << sim::toString(c.profile) << ',' << c.rateHz << ',' << toString(c.kind) << ','
        << c.noiseScale << ',' << c.payloadIndex << ',' << c.seed
        << ',' << c.payload.mass << ',' << c.payload.com.norm() << ',' << endName(r.end) << ','
        << r.dataSeconds << ',' << r.massErrorPercent << ',' << r.comErrorMm << ','
        << r.inertiaOriginPercent << ',' << r.inertiaComPercent << ',' << r.forceBiasError << ','
        << r.torqueBiasError << ',' << (r.boundFeasible ? 1 : 0) << ',' << r.boundSeconds;
    for (const double e : r.efficiency) {
      out << ',' << e;
    }
    for (const double z : r.normalisedErrors) {
      out << ',' << z;
    }
    out << ',' << c.draw << '\n';
  }
}

}  // namespace vorn::accuracy

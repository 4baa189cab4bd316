#include "console/ProgressDisplay.hpp"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "console/TextFormat.hpp"
#include "identification/EstimateIndex.hpp"

namespace vorn::tools {

ProgressDisplay::ProgressDisplay(std::string label)
    : ProgressDisplay(std::move(label), stderrIsTerminal()) {}

ProgressDisplay::ProgressDisplay(std::string label, bool enabled)
    : label_(std::move(label)), enabled_(enabled) {}

ProgressDisplay::~ProgressDisplay() { finish(); }

bool ProgressDisplay::stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void ProgressDisplay::update(double done, double total) {
  if (!enabled_) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - lastDraw_ < std::chrono::milliseconds(100)) {
    return;
  }
  lastDraw_ = now;
  shown_ = true;
  const double fraction = total > 0.0 ? done / total : 1.0;
  // Clear the line, draw, and return the cursor to its start: a line the libraries print to
  // the same terminal then overwrites the indicator instead of running on after it.
  std::fprintf(stderr, "\r\033[K%s: %.1f of %.1f s of data (%3.0f %%)\r", label_.c_str(), done,
               total, 100.0 * fraction);
  std::fflush(stderr);
}

void ProgressDisplay::finish() {
  if (enabled_ && shown_) {
    if (shownLines_ > 0) {
      // Back to the first line of the live view and clear it all.
      std::fprintf(stderr, "\r\033[%zuA\033[J", shownLines_);
      shownLines_ = 0;
    } else {
      std::fprintf(stderr, "\r\033[K");
    }
    std::fflush(stderr);
    shown_ = false;
  }
}

namespace {

std::string sci(double value) {
  if (!std::isfinite(value)) {
    return std::isnan(value) ? "nan" : "inf";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1e", value);
  return text;
}

std::string ratioText(double ratio) {
  return std::isfinite(ratio) ? TextFormat::fixed(ratio, 2) : std::string("inf");
}

/// 20 characters, filled as far as the threshold is from the standard deviation: full once met.
std::string bar(double ratio) {
  const double fill = ratio > 0.0 && std::isfinite(ratio) ? std::min(1.0, 1.0 / ratio) : 0.0;
  const int cells = static_cast<int>(std::floor(fill * 20.0 + 1e-9));
  return "[" + std::string(static_cast<std::size_t>(cells), '#') +
         std::string(static_cast<std::size_t>(20 - cells), '.') + "]";
}

const char* const kEntries[16] = {"m",   "cx",  "cy", "cz", "Ixx", "Ixy", "Ixz", "Iyy",
                                  "Iyz", "Izz", "Fx", "Fy", "Fz",  "Tx",  "Ty",  "Tz"};

std::string entryName(int index) { return index >= 0 && index < 16 ? kEntries[index] : "?"; }

std::string groupLine(const char* name, const std::string& value, const ThresholdGroupState& g,
                      const char* unit) {
  return "  " + TextFormat::padRight(name, 15) + TextFormat::padRight(value, 30) + " worst σ " +
         TextFormat::padLeft(sci(g.worstStdDev), 8) + " (" +
         TextFormat::padRight(entryName(g.worstIndex), 3) + ") of " + sci(g.threshold) + " " +
         TextFormat::padRight(unit, 5) + bar(g.worstRatio) +
         (g.met ? " ok" : " " + ratioText(g.worstRatio) + "x");
}

std::string yesNo(bool met) { return met ? "ok" : "no"; }

}  // namespace

std::vector<std::string> ProgressDisplay::liveLines(const PayloadEstimate& e) {
  namespace ei = estimate_index;
  const auto& p = e.solution;  // the 16-entry estimate
  std::vector<std::string> lines;
  lines.push_back("estimating: " + TextFormat::fixed(e.dataSeconds, 1) + " s of data, " +
                  std::to_string(e.samplesAbsorbed) + " samples, run time " +
                  TextFormat::fixed(e.runTime.runSeconds, 1) + " s");
  lines.push_back(groupLine("mass", TextFormat::fixed(p[ei::kMass], 4) + " kg", e.mass, "kg"));
  lines.push_back(groupLine("centre of mass",
                            TextFormat::fixed(p[ei::kCentreOfMass] * 1000.0, 1) + ", " +
                                TextFormat::fixed(p[ei::kCentreOfMass + 1] * 1000.0, 1) + ", " +
                                TextFormat::fixed(p[ei::kCentreOfMass + 2] * 1000.0, 1) + " mm",
                            e.centerOfMass, "m"));
  lines.push_back(groupLine("inertia",
                            "diag " + TextFormat::fixed(p[ei::kInertia] * 1000.0, 2) + ", " +
                                TextFormat::fixed(p[ei::kInertia + 3] * 1000.0, 2) + ", " +
                                TextFormat::fixed(p[ei::kInertia + 5] * 1000.0, 2) + " g m^2",
                            e.inertia, "kg m2"));
  lines.push_back(groupLine("sensor offset",
                            "F " + TextFormat::fixed(p[ei::kForceBias], 2) + ", " +
                                TextFormat::fixed(p[ei::kForceBias + 1], 2) + ", " + TextFormat::fixed(p[ei::kForceBias + 2], 2) +
                                " N",
                            e.wrenchBias, "N,Nm"));
  lines.push_back("  gates: residual " +
                  (std::isfinite(e.residual.value) ? TextFormat::fixed(e.residual.value, 2)
                                                   : std::string("-")) +
                  " of " + TextFormat::fixed(e.residual.limit, 1) + " " +
                  (e.residual.windowFull ? yesNo(e.residual.met) : std::string("(filling)")) +
                  " | physically consistent " + yesNo(e.physicalConsistency.met) + " | min_time " +
                  TextFormat::shortest(e.runTime.minTime) + " s " + yesNo(e.runTime.met));
  lines.push_back("  hint: " + std::string(e.hint.text.data()));
  return lines;
}

std::string ProgressDisplay::summaryLine(const PayloadEstimate& e) {
  std::string line = "estimating: " + TextFormat::fixed(e.dataSeconds, 1) +
                     " s of data; σ/threshold mass " + ratioText(e.mass.worstRatio) + ", com " +
                     ratioText(e.centerOfMass.worstRatio) + ", inertia " +
                     ratioText(e.inertia.worstRatio) + ", offset " +
                     ratioText(e.wrenchBias.worstRatio);
  if (e.blocking != ConvergenceCondition::None) {
    line += "; waiting for " + conditionName(e.blocking);
  }
  return line + "; hint: " + e.hint.text.data();
}

std::string ProgressDisplay::conditionName(ConvergenceCondition condition) {
  switch (condition) {
    case ConvergenceCondition::None:
      return "nothing";
    case ConvergenceCondition::MassStdDev:
      return "the mass's standard deviation";
    case ConvergenceCondition::CenterOfMassStdDev:
      return "the centre of mass's standard deviation";
    case ConvergenceCondition::InertiaStdDev:
      return "the inertia's standard deviation";
    case ConvergenceCondition::WrenchBiasStdDev:
      return "the sensor offset's standard deviation";
    case ConvergenceCondition::ResidualWindow:
      return "half a second of samples";
    case ConvergenceCondition::Residual:
      return "the residual check";
    case ConvergenceCondition::PhysicalConsistency:
      return "physical consistency";
    case ConvergenceCondition::MinimumTime:
      return "min_time";
  }
  return "?";
}

std::string ProgressDisplay::blockingReason(const PayloadEstimate& e) {
  const auto group = [&](const ThresholdGroupState& g, const char* unit) {
    return conditionName(e.blocking) + ": " + entryName(g.worstIndex) + " has σ " +
           sci(g.worstStdDev) + " " + unit + ", " + ratioText(g.worstRatio) +
           " times its threshold of " + TextFormat::shortest(g.threshold) + " " + unit;
  };
  switch (e.blocking) {
    case ConvergenceCondition::None:
      return "";
    case ConvergenceCondition::MassStdDev:
      return group(e.mass, "kg");
    case ConvergenceCondition::CenterOfMassStdDev:
      return group(e.centerOfMass, "m");
    case ConvergenceCondition::InertiaStdDev:
      return group(e.inertia, "kg m^2");
    case ConvergenceCondition::WrenchBiasStdDev:
      return group(e.wrenchBias, e.wrenchBias.worstIndex < 13 ? "N" : "N m");
    case ConvergenceCondition::ResidualWindow:
      return "the residual check: it needs half a second of samples, and only " +
             TextFormat::fixed(e.dataSeconds, 2) + " s were absorbed";
    case ConvergenceCondition::Residual:
      return "the residual check: the last half second's samples fit the estimate to " +
             TextFormat::fixed(e.residual.value, 2) +
             " times the configured noise, above the limit of " +
             TextFormat::shortest(e.residual.limit) +
             " (contact, vibration, or noise above the configured variances)";
    case ConvergenceCondition::PhysicalConsistency: {
      const auto& m = e.physicalConsistency.principalMoments;
      return "physical consistency: all standard deviations are below their thresholds, but the "
             "principal moments about the estimated centre of mass, " +
             sci(m[0]) + ", " + sci(m[1]) + ", " + sci(m[2]) +
             " kg m^2, are no body's, not even within two standard deviations (each must be positive "
             "and at most the sum of the other two)";
    }
    case ConvergenceCondition::MinimumTime:
      return "min_time: every other condition is met, but only " +
             TextFormat::fixed(e.runTime.runSeconds, 2) + " s of run time passed of the " +
             TextFormat::shortest(e.runTime.minTime) + " s required";
  }
  return "";
}

void ProgressDisplay::showEstimate(const PayloadEstimate& estimate, bool redirectedLines) {
  if (!enabled_) {
    if (redirectedLines && estimate.dataSeconds >= nextSummaryData_) {
      nextSummaryData_ = estimate.dataSeconds + 5.0;
      std::fprintf(stderr, "%s\n", summaryLine(estimate).c_str());
      std::fflush(stderr);
    }
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - lastDraw_ < std::chrono::milliseconds(250)) {
    return;
  }
  lastDraw_ = now;
  std::string text;
  if (shown_ && shownLines_ > 0) {
    text += "\r\033[" + std::to_string(shownLines_) + "A";
  } else if (shown_) {
    text += "\r\033[K";
  }
  const std::vector<std::string> lines = liveLines(estimate);
  for (const std::string& line : lines) {
    text += "\033[K" + line + "\n";
  }
  shown_ = true;
  shownLines_ = lines.size();
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace vorn::tools

#include "demo/DemoPlots.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "demo/GnuplotRunner.hpp"
#include "console/TextFormat.hpp"

namespace vorn::tools {

namespace {

constexpr const char* kMeasuredColour = "#9a9a9a";
constexpr const char* kStaticColour = "#e6550d";
constexpr const char* kDynamicColour = "#3182bd";
constexpr const char* kTrueColour = "#7f7f7f";

std::string number(double value) {
  return std::isfinite(value) ? TextFormat::shortest(value) : std::string("NaN");
}

std::string header(const std::string& output, int width, int height) {
  return "set terminal pngcairo size " + std::to_string(width) + "," + std::to_string(height) +
         " font 'Sans,10'\nset output " + GnuplotRunner::quote(output) + "\n";
}

}  // namespace

void DemoPlots::setCompensation(const Recording& measured,
                                const std::vector<CompensatedSample>& staticOnly,
                                const std::vector<CompensatedSample>& dynamic,
                                const std::array<double, 6>& bias, double fromSeconds,
                                double toSeconds) {
  std::ostringstream data;
  data << "array B[6] = [";
  for (std::size_t i = 0; i < 6; ++i) {
    data << (i > 0 ? ", " : "") << number(bias[i]);
  }
  data << "]\n$wrench << EOD\n";
  const auto& samples = measured.samples();
  const std::size_t count = std::min({samples.size(), staticOnly.size(), dynamic.size()});
  if (count == 0) {
    return;
  }
  const double first = samples.front().t;
  // About 150 points per second are plenty for a plot.
  const double rate = measured.meanRate();
  const std::size_t step = rate > 150.0 ? static_cast<std::size_t>(rate / 150.0) : 1;
  for (std::size_t k = 0; k < count; k += step) {
    const double t = samples[k].t - first;
    if (t < fromSeconds || t > toSeconds) {
      continue;
    }
    data << number(t);
    for (std::size_t i = 0; i < 6; ++i) data << ' ' << number(samples[k].values[i]);
    for (std::size_t i = 0; i < 6; ++i) data << ' ' << number(staticOnly[k].wrench[i]);
    for (std::size_t i = 0; i < 6; ++i) data << ' ' << number(dynamic[k].wrench[i]);
    data << '\n';
  }
  data << "EOD\n";
  compensationData_ = data.str();
}

void DemoPlots::setPayload(const PayloadDescription& truth, const CompensatorFile& identified) {
  std::ostringstream data;
  data << "$mass << EOD\n\"m\" " << number(truth.mass) << ' ' << number(identified.mass)
       << "\nEOD\n$com << EOD\n";
  const char* axes[3] = {"x", "y", "z"};
  for (std::size_t i = 0; i < 3; ++i) {
    data << '"' << axes[i] << "\" " << number(truth.com[i] * 1000.0) << ' '
         << number(identified.com[i] * 1000.0) << '\n';
  }
  data << "EOD\n$inertia << EOD\n";
  const char* entries[6] = {"Ixx", "Ixy", "Ixz", "Iyy", "Iyz", "Izz"};
  const std::array<double, 6> trueInertia = truth.inertiaAboutOrigin();
  for (std::size_t i = 0; i < 6; ++i) {
    data << '"' << entries[i] << "\" " << number(trueInertia[i] * 1000.0) << ' '
         << number(identified.inertia[i] * 1000.0) << '\n';
  }
  data << "EOD\n";
  payloadData_ = data.str();
}

void DemoPlots::setTrajectory(const std::vector<PayloadEstimate>& trajectory,
                              const PayloadDescription& truth) {
  if (trajectory.empty()) {
    trajectoryData_.clear();
    return;
  }
  std::ostringstream data;
  data << "mtrue = " << number(truth.mass) << "\ncxtrue = " << number(truth.com[0] * 1000.0)
       << "\ncytrue = " << number(truth.com[1] * 1000.0)
       << "\ncztrue = " << number(truth.com[2] * 1000.0) << "\n$traj << EOD\n";
  for (const PayloadEstimate& e : trajectory) {
    if (e.samplesAbsorbed == 0) {
      continue;
    }
    data << number(e.dataSeconds) << ' ' << number(e.solution[0]) << ' ' << number(e.stdDev[0]);
    for (std::size_t i = 1; i <= 3; ++i) {
      data << ' ' << number(e.solution[i] * 1000.0) << ' ' << number(e.stdDev[i] * 1000.0);
    }
    data << ' ' << number(e.mass.worstRatio) << ' ' << number(e.centerOfMass.worstRatio) << ' '
         << number(e.inertia.worstRatio) << ' ' << number(e.wrenchBias.worstRatio) << '\n';
  }
  data << "EOD\n";
  trajectoryData_ = data.str();
}

std::string DemoPlots::trajectoryScript(const std::string& output) const {
  std::ostringstream s;
  s << header(output, 1400, 900) << trajectoryData_;
  const auto band = [&](int value, int sigma, const char* colour, const char* name) {
    std::ostringstream p;
    p << "$traj using 1:($" << value << "-$" << sigma << "):($" << value << "+$" << sigma
      << ") with filledcurves fs transparent solid 0.25 noborder lc rgb '" << colour << "' title '"
      << name << " ± σ', $traj using 1:" << value << " with lines lw 2 lc rgb '" << colour
      << "' title '" << name << " estimate'";
    return p.str();
  };
  s << "set multiplot layout 2,2 title \"Identification of the demo payload, from the "
       "estimator's snapshots during the run: estimate, its reported standard deviation "
       "(band) and the truth (dashed), against the data absorbed\"\n"
    << "set grid\nset key top right box opaque\nset xlabel 'data absorbed (s)'\n"
    << "set title 'mass'\nset ylabel 'kg'\nset yrange [mtrue*0.97:mtrue*1.03]\n"
    << "plot " << band(2, 3, kDynamicColour, "mass") << ", mtrue with lines dt 2 lw 2 lc rgb '"
    << kTrueColour << "' title 'true'\n"
    << "set autoscale y\nset title 'centre of mass x, y'\nset ylabel 'mm'\n"
    << "set yrange [-15:30]\n"
    << "plot " << band(4, 5, kDynamicColour, "x") << ", cxtrue with lines dt 2 lw 2 lc rgb '"
    << kDynamicColour << "' notitle, " << band(6, 7, kStaticColour, "y")
    << ", cytrue with lines dt 2 lw 2 lc rgb '" << kStaticColour << "' notitle\n"
    << "set title 'centre of mass z'\nset ylabel 'mm'\nset yrange [cztrue-15:cztrue+15]\n"
    << "plot " << band(8, 9, kDynamicColour, "z") << ", cztrue with lines dt 2 lw 2 lc rgb '"
    << kTrueColour << "' title 'true'\n"
    << "set autoscale y\nset title 'largest σ / threshold of each group (converged when all "
       "are below 1)'\nset ylabel 'σ / threshold'\nset logscale y\nset format y '%g'\n"
    << "plot $traj using 1:10 with lines lw 2 title 'mass', $traj using 1:11 with lines lw 2 "
       "title 'centre of mass', $traj using 1:12 with lines lw 2 title 'inertia', $traj using "
       "1:13 with lines lw 2 title 'sensor offset', 1 with lines dt 3 lw 2 lc rgb 'black' "
       "title 'threshold'\n"
    << "unset multiplot\n";
  return s.str();
}

std::string DemoPlots::compensationScript(const std::string& output) const {
  std::ostringstream s;
  s << header(output, 1500, 850) << compensationData_;
  s << "set multiplot layout 2,3 title \"Measured and compensated wrench of the demo payload "
       "on fresh brisk motion (dashed: the sensor's own offset, what an ideal compensation "
       "leaves)\"\n"
    << "set grid\nset xlabel 'time (s)'\nnames = 'Fx Fy Fz Tx Ty Tz'\n"
    << "do for [i=1:6] {\n"
    << "  set title word(names, i)\n"
    << "  if (i <= 3) { set ylabel 'force (N)' } else { set ylabel 'torque (N m)' }\n"
    << "  if (i == 1) { set key top left box opaque } else { unset key }\n"
    << "  plot $wrench using 1:(column(1+i)) with lines lw 1 lc rgb '" << kMeasuredColour
    << "' title 'measured', \\\n"
    << "       $wrench using 1:(column(7+i)) with lines lw 1.5 lc rgb '" << kStaticColour
    << "' title 'compensated, static', \\\n"
    << "       $wrench using 1:(column(13+i)) with lines lw 1.5 lc rgb '" << kDynamicColour
    << "' title 'compensated, static + dynamic', \\\n"
    << "       B[i] with lines dt 2 lw 1.5 lc rgb 'black' title 'sensor offset'\n"
    << "}\nunset multiplot\n";
  return s.str();
}

std::string DemoPlots::payloadScript(const std::string& output) const {
  std::ostringstream s;
  s << header(output, 1400, 500) << payloadData_;
  s << "set multiplot layout 1,3 title 'Identified against true payload (read back from the "
       "compensator configuration file)'\n"
    << "set style data histogram\nset style histogram cluster gap 1\n"
    << "set style fill solid 0.85 border -1\nset boxwidth 0.9\nset grid ytics\n"
    << "set xzeroaxis lt -1\nset key top right\nset offsets 0, 0, graph 0.2, 0\n"
    << "set title 'mass (kg)'\nset yrange [0:*]\n"
    << "plot $mass using 2:xtic(1) lc rgb '" << kTrueColour << "' title 'true', "
    << "$mass using 3 lc rgb '" << kDynamicColour << "' title 'identified'\n"
    << "set autoscale y\nset title 'centre of mass (mm)'\n"
    << "plot $com using 2:xtic(1) lc rgb '" << kTrueColour << "' title 'true', "
    << "$com using 3 lc rgb '" << kDynamicColour << "' title 'identified'\n"
    << "set title 'inertia about the sensor origin (g m^2)'\n"
    << "plot $inertia using 2:xtic(1) lc rgb '" << kTrueColour << "' title 'true', "
    << "$inertia using 3 lc rgb '" << kDynamicColour << "' title 'identified'\n"
    << "unset multiplot\n";
  return s.str();
}

std::vector<std::string> DemoPlots::draw(const std::string& gnuplot, std::string& error) const {
  std::vector<std::string> written;
  const auto pathOf = [&](const char* name) {
    return (std::filesystem::path(workdir_) / name).string();
  };
  struct Plot {
    std::string path;
    std::string script;
  };
  std::vector<Plot> plots;
  GnuplotRunner runner(gnuplot);
  if (!trajectoryData_.empty()) {
    const std::string path = pathOf("convergence.png");
    plots.push_back({path, trajectoryScript(runner.temporaryNameFor(path))});
  }
  if (!compensationData_.empty()) {
    const std::string path = pathOf("compensation.png");
    plots.push_back({path, compensationScript(runner.temporaryNameFor(path))});
  }
  if (!payloadData_.empty()) {
    const std::string path = pathOf("payload.png");
    plots.push_back({path, payloadScript(runner.temporaryNameFor(path))});
  }
  std::string script;
  for (const Plot& plot : plots) {
    script += plot.script + "reset\n";
  }
  if (plots.empty()) {
    return written;
  }
  if (runner.run(script, error)) {
    for (const Plot& plot : plots) {
      written.push_back(plot.path);
    }
  }
  return written;
}

}  // namespace vorn::tools

#include "BenchmarkOptions.hpp"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace vorn::accuracy {

namespace {

double number(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') {
    throw std::invalid_argument(option + ": not a number: " + text);
  }
  return value;
}

std::vector<std::string> commaSeparated(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    items.push_back(item);
  }
  return items;
}

}  // namespace

std::string BenchmarkOptions::usage() {
  return "usage: vorn-accuracy [--quick | --full] [options]\n"
         "Identifies simulated payloads through the public estimator API and compares the\n"
         "written payload and the reported standard deviations with the truth.\n"
         "  --quick                 4 profiles, 1 kHz and 100 Hz, 2 payloads of each kind, 1 seed,\n"
         "                          realistic noise, 20 s cap (CI size)\n"
         "  --full                  boxes: 12 payloads, 3 seeds, noise x1 and x3, 60 s cap\n"
         "                          (default)\n"
         "  --study                 every kind, brisk and robot motion at 1 kHz, 250 Hz and\n"
         "                          100 Hz, 6 payloads of a kind, 2 seeds, 20 s cap\n"
         "  --profiles LIST         slow,brisk,fast,robot (default the first three)\n"
         "  --rates LIST            sample rates in Hz, e.g. 1000,250,100 (default 1000)\n"
         "  --kinds LIST            box,thin,heavy (default box)\n"
         "  --noise LIST            noise factors, e.g. 1,3\n"
         "  --payloads N            how many payloads of each kind (1-12)\n"
         "  --seeds N               repetitions per payload, profile and noise\n"
         "  --cap S                 data seconds per run before the host gives up\n"
         "  --min-time S            min_time of the configuration, in seconds of the\n"
         "                          estimator's (wall-clock) run clock; default 0\n"
         "  --angular-acc-std S     configured angular-acceleration std at noise x1\n"
         "                          (default: that of the estimator's derived signal)\n"
         "  --thresholds M,C,I,B    convergence thresholds (kg, m, kg*m^2, N and N*m)\n"
         "  --slow-inertia T        inertia threshold on the slow profile (default 1e3)\n"
         "  --row-weighting on|off  rows weighted by their own residual variance, or not\n"
         "                          (default: the estimator's default)\n"
         "  --wrench-weights on|off each equation's rows scaled by its configured wrench\n"
         "                          noise from the first sample, or not (default: the\n"
         "                          estimator's default)\n"
         "  --inertia-holdout on|off the inertia's columns treated as free of error in the\n"
         "                          metric until the inertia is identified, or not\n"
         "                          (default: the estimator's default)\n"
         "  --draws N               noise realisations per repetition, each of the same\n"
         "                          motion and bias (default 1): the spread of the errors\n"
         "                          of one recording against its reported std\n"
         "  --jobs N                worker processes (default 2)\n"
         "  --csv FILE              also write one CSV row per run\n"
         "  --trace FILE S          also write, every S data seconds of each run, the\n"
         "                          estimate's state and the error of each value in its\n"
         "                          reported std (CSV, runs in the order of --csv)\n"
         "  --summary-only          no per-run table\n";
}

BenchmarkOptions BenchmarkOptions::parse(const std::vector<std::string>& args) {
  BenchmarkOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) {
        throw std::invalid_argument(a + ": value missing");
      }
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--quick") {
      o.profiles = {sim::MotionPreset::Slow, sim::MotionPreset::Brisk, sim::MotionPreset::Fast,
                    sim::MotionPreset::Robot};
      o.rates = {1000.0, 100.0};
      o.kinds = {PayloadKind::Box, PayloadKind::Thin, PayloadKind::Heavy};
      o.payloads = 2;
      o.seeds = 1;
      o.noiseScales = {1.0};
      o.dataTimeCap = 20.0;
    } else if (a == "--full") {
      o.profiles = {sim::MotionPreset::Slow, sim::MotionPreset::Brisk, sim::MotionPreset::Fast};
      o.rates = {1000.0};
      o.kinds = {PayloadKind::Box};
      o.payloads = 12;
      o.seeds = 3;
      o.noiseScales = {1.0, 3.0};
      o.dataTimeCap = 60.0;
    } else if (a == "--study") {
      o.profiles = {sim::MotionPreset::Brisk, sim::MotionPreset::Robot};
      o.rates = {1000.0, 250.0, 100.0};
      o.kinds = {PayloadKind::Box, PayloadKind::Thin, PayloadKind::Heavy};
      o.payloads = 6;
      o.seeds = 2;
      o.noiseScales = {1.0};
      o.dataTimeCap = 20.0;
    } else if (a == "--rates") {
      o.rates.clear();
      for (const auto& item : commaSeparated(value())) {
        const double rate = number(a, item);
        if (!(rate >= 50.0 && rate <= 10000.0)) {
          throw std::invalid_argument("--rates: " + item + " Hz is outside 50-10000");
        }
        o.rates.push_back(rate);
      }
    } else if (a == "--kinds") {
      o.kinds.clear();
      for (const auto& name : commaSeparated(value())) {
        if (name == "box") {
          o.kinds.push_back(PayloadKind::Box);
        } else if (name == "thin") {
          o.kinds.push_back(PayloadKind::Thin);
        } else if (name == "heavy") {
          o.kinds.push_back(PayloadKind::Heavy);
        } else {
          throw std::invalid_argument("--kinds: unknown kind " + name);
        }
      }
    } else if (a == "--profiles") {
      o.profiles.clear();
      for (const auto& name : commaSeparated(value())) {
        const auto preset = sim::parseMotionPreset(name);
        if (!preset || *preset == sim::MotionPreset::Static) {
          throw std::invalid_argument("--profiles: unknown profile " + name);
        }
        o.profiles.push_back(*preset);
      }
    } else if (a == "--noise") {
      o.noiseScales.clear();
      for (const auto& item : commaSeparated(value())) {
        o.noiseScales.push_back(number(a, item));
      }
    } else if (a == "--payloads") {
      o.payloads = static_cast<int>(number(a, value()));
    } else if (a == "--seeds") {
      o.seeds = static_cast<int>(number(a, value()));
    } else if (a == "--cap") {
      o.dataTimeCap = number(a, value());
    } else if (a == "--min-time") {
      o.minTime = number(a, value());
    } else if (a == "--angular-acc-std") {
      o.angularAccStd = number(a, value());
    } else if (a == "--thresholds") {
      const auto items = commaSeparated(value());
      if (items.size() != 4) {
        throw std::invalid_argument("--thresholds: four values expected");
      }
      o.thresholds = {number(a, items[0]), number(a, items[1]), number(a, items[2]),
                      number(a, items[3])};
    } else if (a == "--slow-inertia") {
      o.slowInertiaThreshold = number(a, value());
    } else if (a == "--row-weighting" || a == "--wrench-weights" || a == "--inertia-holdout") {
      const std::string& state = value();
      if (state != "on" && state != "off") {
        throw std::invalid_argument(a + ": on or off expected, not " + state);
      }
      int& option = a == "--row-weighting"    ? o.rowWeighting
                    : a == "--wrench-weights" ? o.wrenchWeights
                                              : o.inertiaHoldout;
      option = state == "on" ? 1 : 0;
    } else if (a == "--draws") {
      o.draws = static_cast<int>(number(a, value()));
    } else if (a == "--jobs") {
      o.jobs = static_cast<int>(number(a, value()));
    } else if (a == "--csv") {
      o.csvPath = value();
    } else if (a == "--trace") {
      o.tracePath = value();
      o.traceStep = number(a, value());
      if (!(o.traceStep > 0.0)) {
        throw std::invalid_argument("--trace: the step must be positive seconds");
      }
    } else if (a == "--summary-only") {
      o.printRuns = false;
    } else {
      throw std::invalid_argument("unknown option " + a);
    }
  }
  if (o.payloads < 1 || o.payloads > 12 || o.seeds < 1 || o.draws < 1 || o.jobs < 1 ||
      o.dataTimeCap <= 0.0 ||
      o.profiles.empty() || o.noiseScales.empty() || o.rates.empty() || o.kinds.empty()) {
    throw std::invalid_argument("option out of range");
  }
  return o;
}

}  // namespace vorn::accuracy

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
         "  --quick                 4 payloads, 1 seed, realistic noise, 30 s cap (CI size)\n"
         "  --full                  12 payloads, 3 seeds, noise x1 and x3, 60 s cap (default)\n"
         "  --profiles LIST         slow,brisk,fast (default all three)\n"
         "  --noise LIST            noise factors, e.g. 1,3\n"
         "  --payloads N            how many of the twelve payloads (1-12)\n"
         "  --seeds N               repetitions per payload, profile and noise\n"
         "  --cap S                 data seconds per run before the host gives up\n"
         "  --min-time S            min_time of the configuration, in seconds of the\n"
         "                          estimator's (wall-clock) run clock; default 0\n"
         "  --angular-acc-std S     configured angular-acceleration std at noise x1\n"
         "                          (default: that of the estimator's derived signal)\n"
         "  --thresholds M,C,I,B    convergence thresholds (kg, m, kg*m^2, N and N*m)\n"
         "  --slow-inertia T        inertia threshold on the slow profile (default 1e3)\n"
         "  --jobs N                worker processes (default 2)\n"
         "  --csv FILE              also write one CSV row per run\n"
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
      o.payloads = 4;
      o.seeds = 1;
      o.noiseScales = {1.0};
      o.dataTimeCap = 30.0;
    } else if (a == "--full") {
      o.payloads = 12;
      o.seeds = 3;
      o.noiseScales = {1.0, 3.0};
      o.dataTimeCap = 60.0;
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
    } else if (a == "--jobs") {
      o.jobs = static_cast<int>(number(a, value()));
    } else if (a == "--csv") {
      o.csvPath = value();
    } else if (a == "--summary-only") {
      o.printRuns = false;
    } else {
      throw std::invalid_argument("unknown option " + a);
    }
  }
  if (o.payloads < 1 || o.payloads > 12 || o.seeds < 1 || o.jobs < 1 || o.dataTimeCap <= 0.0 ||
      o.profiles.empty() || o.noiseScales.empty()) {
    throw std::invalid_argument("option out of range");
  }
  return o;
}

}  // namespace vorn::accuracy

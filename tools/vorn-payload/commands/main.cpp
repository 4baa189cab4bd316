// vorn-payload: identify the payload on a six-axis force-torque sensor with IMU, compensate
// recordings, and show the whole chain on a simulated sensor.

#include <cmath>
#include <csignal>
#include <exception>
#include <iostream>
#include <limits>

#include <CLI/CLI.hpp>

#include "commands/CompensateCommand.hpp"
#include "commands/DemoCommand.hpp"
#include "commands/EstimateCommand.hpp"
#include "commands/SimulateCommand.hpp"
#include "console/ToolError.hpp"

namespace {

using namespace vorn::tools;

constexpr const char* kExitCodes =
    "Exit codes: 0 success; 1 the estimation did not converge (or the demo missed its targets);\n"
    "2 bad command line; 3 a file is missing, malformed or cannot be written.";

int reportError(const std::string& message, int code) {
  std::cout.flush();
  std::cerr << "vorn-payload: error: " << message << std::endl;
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  // gnuplot is fed through a pipe; if it dies early, report that instead of dying with it.
  std::signal(SIGPIPE, SIG_IGN);

  CLI::App app{
      "vorn-payload: identify the payload (tool) on a six-axis force-torque sensor with IMU and\n"
      "remove its weight and inertia from the measured wrench.\n"
      "Run 'vorn-payload demo' to see it all on a simulated sensor.",
      "vorn-payload"};
  app.set_version_flag("--version", std::string("vorn-payload ") + VORN_PAYLOAD_VERSION);
  app.require_subcommand(1);
  app.footer(kExitCodes);

  DemoCommand::Options demo;
  CLI::App* demoApp = app.add_subcommand(
      "demo",
      "Identify a built-in payload (a gripper holding a tool, 1.2 kg) on the simulated sensor,\n"
      "compare it with the truth, compensate fresh motion statically and dynamically, and\n"
      "draw plots (PNG, with gnuplot).");
  demoApp
      ->add_option("--workdir", demo.workdir,
                   "Folder for the configuration files, recordings and plots")
      ->capture_default_str();
  demoApp->add_flag("--realtime", demo.realtime,
                    "Feed the samples at their own rate instead of as fast as possible");
  demoApp->add_flag("--quick", demo.quick,
                    "A shorter demo: 10 s of compensation, no convergence plot");
  demoApp->add_option("--seed", demo.seed, "Chooses the motion and the noise")
      ->capture_default_str();
  demoApp
      ->add_option("--max-seconds", demo.maxDataSeconds,
                   "Give up when the estimation has not converged after this much data (s)")
      ->capture_default_str();
  demoApp->add_flag("--no-plots", demo.noPlots, "Do not draw the PNG plots");
  demoApp->footer(kExitCodes);

  SimulateCommand::Options simulate;
  CLI::App* simulateApp = app.add_subcommand(
      "simulate", "Write a CSV recording of the simulated sensor carrying a payload.");
  simulateApp->add_option("--payload", simulate.payloadPath,
                          "Payload description (JSON: mass, com, inertia_about_com, bias);\n"
                          "default: the demo's gripper");
  simulateApp->add_option("--seconds", simulate.seconds, "Length of the recording (s)")
      ->capture_default_str();
  simulateApp->add_option("--rate", simulate.rateHz, "Sample rate (Hz)")->capture_default_str();
  simulateApp
      ->add_option("--noise", simulate.noise, "Factor on the typical sensor noise, or \"none\"")
      ->capture_default_str();
  simulateApp->add_option("--seed", simulate.seed, "Chooses the motion and the noise")
      ->capture_default_str();
  simulateApp->add_option("--profile", simulate.profile, "Motion: static, slow, brisk or fast")
      ->capture_default_str();
  simulateApp->add_option("-o,--output", simulate.outputPath, "Output CSV file")->required();
  simulateApp->add_option("--estimator-config", simulate.estimatorConfigPath,
                          "Also write an estimator configuration matching the sensor's noise");
  simulateApp->footer(kExitCodes);

  EstimateCommand::Options estimate;
  CLI::App* estimateApp = app.add_subcommand(
      "estimate",
      "Replay a recording through the estimator until it converges; the compensator\n"
      "configuration goes next to the estimator configuration.");
  estimateApp->add_option("--config", estimate.configPath, "Estimator configuration (JSON)")
      ->required();
  estimateApp->add_option("log", estimate.logPath, "Recording (CSV)")->required();
  estimateApp->add_flag("--realtime", estimate.realtime,
                        "Feed the samples at their own rate (the estimator's min_time and\n"
                        "max_time count run time on the wall clock)");
  estimateApp->add_option("--json", estimate.jsonPath,
                          "Write the estimator's final snapshot and the trajectory of its\n"
                          "snapshots (estimate, standard deviations, conditions, hint) to FILE");
  estimateApp
      ->add_option("--json-rate", estimate.jsonRateHz,
                   "Snapshots per second of data in the --json trajectory")
      ->capture_default_str();
  estimateApp->footer(kExitCodes);

  CompensateCommand::Options compensate;
  double tareAt = std::numeric_limits<double>::quiet_NaN();
  CLI::App* compensateApp = app.add_subcommand(
      "compensate",
      "Compensate a whole recording sample by sample and write the compensated wrench\n"
      "with each sample's status (t,fx,fy,fz,tx,ty,tz,status).");
  compensateApp->add_option("--config", compensate.configPath, "Compensator configuration (JSON)")
      ->required();
  compensateApp->add_option("log", compensate.logPath, "Recording (CSV)")->required();
  compensateApp->add_option("--out", compensate.outputPath, "Output CSV file")->required();
  CLI::Option* tareOption = compensateApp->add_option(
      "--tare-at", tareAt, "Tare once this many seconds after the first sample");
  compensateApp->footer(kExitCodes);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }

  try {
    if (*demoApp) {
      return DemoCommand(demo).run();
    }
    if (*simulateApp) {
      return SimulateCommand(simulate).run();
    }
    if (*estimateApp) {
      return EstimateCommand(estimate).run();
    }
    if (*compensateApp) {
      if (tareOption->count() > 0) {
        compensate.tareAt = tareAt;
      }
      return CompensateCommand(compensate).run();
    }
  } catch (const ToolError& e) {
    return reportError(e.what(), e.exitCode());
  } catch (const std::bad_alloc&) {
    return reportError("out of memory", kExitRunFailed);
  } catch (const std::exception& e) {
    return reportError(e.what(), kExitRunFailed);
  } catch (...) {
    return reportError("unexpected failure", kExitRunFailed);
  }
  return kExitUsage;
}

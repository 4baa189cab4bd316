// vorn-payload as a user runs it: exit codes, messages, files written, the demo end to end.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/TempDir.hpp"

namespace vorn::tools {
namespace {

using vorn::test::TempDir;
using vorn::test::readFile;
namespace fs = std::filesystem;

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

/// Runs the shell command line `line` in the folder `cwd`; its output is caught in `scratch`.
ToolRun runShell(const std::string& cwd, const std::string& line, const TempDir& scratch) {
  const std::string out = scratch.file(".stdout");
  const std::string err = scratch.file(".stderr");
  const std::string command = "cd '" + cwd + "' && " + line + " > '" + out + "' 2> '" + err +
                              "' < /dev/null";
  const int status = std::system(command.c_str());
  ToolRun run;
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readFile(out);
  run.err = readFile(err);
  fs::remove(out);
  fs::remove(err);
  return run;
}

/// Runs vorn-payload with `arguments` (already quoted for the shell) in `dir`.
ToolRun runTool(const TempDir& dir, const std::string& arguments) {
  return runShell(dir.path(), "'" VORN_PAYLOAD_TOOL "' " + arguments, dir);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t lineCount(const std::string& path) {
  std::ifstream in(path);
  std::size_t lines = 0;
  std::string line;
  while (std::getline(in, line)) ++lines;
  return lines;
}

/// Rows of a compensated CSV (t, six wrench components, status); checks the header.
std::vector<std::vector<double>> readCompensated(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "t,fx,fy,fz,tx,ty,tz,status");
  std::vector<std::vector<double>> rows;
  while (std::getline(in, line)) {
    std::vector<double> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, ',')) fields.push_back(std::stod(field));
    EXPECT_EQ(fields.size(), 8u) << line;
    fields.resize(8);
    rows.push_back(fields);
  }
  return rows;
}

const std::string kHeader = "t,fx,fy,fz,tx,ty,tz,ax,ay,az,wx,wy,wz\n";
const std::string kSample = ",0,0,-11.772,0,0,0,0,0,9.81,0.01,0,0\n";

const char* kCompensatorConfig = R"({"payload_compensator_config": {
  "payload_properties": {"mass": 1.2, "com": {"x": 0, "y": 0, "z": 0.05},
    "inertia": {"Ixx": 0.01, "Ixy": 0, "Ixz": 0, "Iyy": 0.01, "Iyz": 0, "Izz": 0.002}},
  "enable_dynamic_compensation": false}})";

TEST(CommandLine, HelpOnEveryCommand) {
  TempDir dir;
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {"--help", {"demo", "simulate", "estimate", "compensate", "Exit codes"}},
      {"demo --help", {"--workdir", "--realtime", "--quick", "--max-seconds", "--no-plots"}},
      {"simulate --help",
       {"--payload", "--seconds", "--rate", "--noise", "--seed", "--profile", "--output",
        "--estimator-config"}},
      {"estimate --help", {"--config", "--realtime", "log"}},
      {"compensate --help", {"--config", "--out", "--tare-at", "log"}}};
  for (const auto& [arguments, words] : expected) {
    const ToolRun run = runTool(dir, arguments);
    EXPECT_EQ(run.code, 0) << arguments;
    EXPECT_TRUE(contains(run.out, "Usage:")) << arguments;
    for (const std::string& word : words) {
      EXPECT_TRUE(contains(run.out, word)) << arguments << " lacks " << word;
    }
  }
  const ToolRun version = runTool(dir, "--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "vorn-payload 1.0.3\n");
}

TEST(CommandLine, UsageErrorsExitWithTwo) {
  TempDir dir;
  for (const char* arguments :
       {"", "frobnicate", "simulate", "estimate log.csv", "compensate --config c.json log.csv",
        "simulate -o x.csv --seconds soon", "demo --bogus"}) {
    const ToolRun run = runTool(dir, arguments);
    EXPECT_EQ(run.code, 2) << "'" << arguments << "': " << run.err;
    EXPECT_FALSE(run.err.empty()) << arguments;
  }
  ToolRun run = runTool(dir, "simulate -o x.csv --profile wobble");
  EXPECT_EQ(run.code, 2);
  EXPECT_TRUE(contains(run.err, "unknown motion profile 'wobble'")) << run.err;
  run = runTool(dir, "simulate -o x.csv --noise loud");
  EXPECT_EQ(run.code, 2);
  EXPECT_TRUE(contains(run.err, "--noise must be")) << run.err;
  run = runTool(dir, "compensate --config c.json --out o.csv --tare-at -1 log.csv");
  EXPECT_EQ(run.code, 2);
  EXPECT_TRUE(contains(run.err, "--tare-at")) << run.err;
  EXPECT_FALSE(fs::exists(dir.file("x.csv")));
}

TEST(CommandLine, MissingFilesAreNamed) {
  TempDir dir;
  dir.write("log.csv", kHeader + "0" + kSample);
  dir.write("payload.json", kCompensatorConfig);

  ToolRun run = runTool(dir, "estimate --config nowhere.json log.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err,
                       "vorn-payload: error: nowhere.json: Failed to open configuration "
                       "file: nowhere.json"))
      << run.err;

  run = runTool(dir, "estimate --config payload.json missing.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err, "cannot open missing.csv: No such file or directory")) << run.err;

  run = runTool(dir, "compensate --config nowhere.json --out out.csv log.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err, "Failed to open configuration file: nowhere.json")) << run.err;
  EXPECT_FALSE(fs::exists(dir.file("out.csv")));

  run = runTool(dir, "simulate --payload nothing.json -o sim.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err, "nothing.json: No such file or directory")) << run.err;
  EXPECT_FALSE(fs::exists(dir.file("sim.csv")));

  // An estimator configuration given to the compensator: the library's own message.
  run = runTool(dir, "estimate --config payload.json log.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err, "payload.json: Error parsing estimator configuration file:"))
      << run.err;
}

TEST(CommandLine, MalformedRecordingNamesTheLineAndWritesNothing) {
  TempDir dir;
  dir.write("payload.json", kCompensatorConfig);
  dir.write("bad.csv", kHeader + "0" + kSample + "0.001,0,0,-11.772,0,0,0,0,0,9.81,0.01,0\n");
  dir.write("out.csv", "previous result\n");

  ToolRun run = runTool(dir, "compensate --config payload.json --out out.csv bad.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err, "vorn-payload: error: bad.csv:3: expected 13 numbers, found 12"))
      << run.err;
  EXPECT_EQ(readFile(dir.file("out.csv")), "previous result\n");

  dir.write("text.csv", kHeader + "0" + kSample + "0.001,0,0,heavy,0,0,0,0,0,9.81,0.01,0,0\n");
  run = runTool(dir, "compensate --config payload.json --out fresh.csv text.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err, "text.csv:3: column 4 (fz) is 'heavy', not a number")) << run.err;
  EXPECT_FALSE(fs::exists(dir.file("fresh.csv")));

  // A recording with the IMU switched off: the library refuses the sample, the tool says which.
  dir.write("noimu.csv", kHeader + "0" + kSample + "0.001,0,0,-11.772,0,0,0,0,0,0,0,0,0\n");
  run = runTool(dir, "compensate --config payload.json --out fresh.csv noimu.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err,
                       "sample 2 (t = 0.001 s): the compensator failed: IMU data is not "
                       "available"))
      << run.err;
  EXPECT_FALSE(fs::exists(dir.file("fresh.csv")));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bad.csv", "noimu.csv", "out.csv",
                                                     "payload.json", "text.csv"}));
}

TEST(CommandLine, SimulateEstimateCompensateRoundTrip) {
  TempDir dir;
  ToolRun run = runTool(dir,
                        "simulate --profile tilt --seconds 40 --rate 250 --seed 3 -o tilt.csv "
                        "--estimator-config cfg.json");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(contains(run.out,
                       "Wrote 10000 samples (40.0 s at 250 Hz, tilt motion, noise x1, seed 3) "
                       "to tilt.csv"))
      << run.out;
  EXPECT_EQ(lineCount(dir.file("tilt.csv")), 10001u);

  run = runTool(dir, "estimate --config cfg.json tilt.csv");
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_TRUE(contains(run.out, "PAYLOAD ESTIMATION RESULTS"));  // the library's report
  EXPECT_TRUE(contains(run.out, "Compensator configuration written to payload.json")) << run.out;
  EXPECT_EQ(run.err.find('\r'), std::string::npos);  // no progress line when not on a terminal
  const nlohmann::json payload =
      nlohmann::json::parse(readFile(dir.file("payload.json")))["payload_compensator_config"];
  const nlohmann::json& properties = payload["payload_properties"];
  EXPECT_NEAR(properties["mass"].get<double>(), 1.2, 0.012);
  const double comError = std::hypot(properties["com"]["x"].get<double>() - 0.0159583,
                                     properties["com"]["y"].get<double>() - 0.0015,
                                     properties["com"]["z"].get<double>() - 0.0754167);
  EXPECT_LT(comError, 0.003);

  run = runTool(dir, "compensate --config payload.json --out plain.csv tilt.csv");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(contains(run.out,
                       "Compensated 10000 samples of tilt.csv (status 0: 10000, "
                       "1 (tare collecting): 0, 5 (rejected): 0)"))
      << run.out;
  run = runTool(dir, "compensate --config payload.json --out tared.csv --tare-at 2 tilt.csv");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(contains(run.out, "Wrote tared.csv")) << run.out;

  const std::vector<std::vector<double>> plain = readCompensated(dir.file("plain.csv"));
  const std::vector<std::vector<double>> tared = readCompensated(dir.file("tared.csv"));
  ASSERT_EQ(plain.size(), 10000u);
  ASSERT_EQ(tared.size(), 10000u);
  // Before the tare both runs agree; from it on they differ by one constant wrench, the mean
  // compensated wrench of the second before the tare.
  std::array<double, 6> windowMean{};
  std::size_t windowCount = 0;
  for (const auto& row : plain) {
    if (row[0] >= 1.0 && row[0] < 2.0) {
      for (std::size_t i = 0; i < 6; ++i) windowMean[i] += row[1 + i];
      ++windowCount;
    }
  }
  for (double& value : windowMean) value /= static_cast<double>(windowCount);
  double worstBefore = 0.0;
  double worstAfter = 0.0;
  for (std::size_t k = 0; k < plain.size(); ++k) {
    EXPECT_EQ(plain[k][7], 0.0);
    EXPECT_EQ(tared[k][7], 0.0);  // 2 s of samples were there: the tare completed at once
    for (std::size_t i = 0; i < 6; ++i) {
      const double difference = plain[k][1 + i] - tared[k][1 + i];
      if (plain[k][0] < 2.0) {
        worstBefore = std::max(worstBefore, std::abs(difference));
      } else {
        worstAfter = std::max(worstAfter, std::abs(difference - windowMean[i]));
      }
    }
  }
  EXPECT_EQ(worstBefore, 0.0);
  EXPECT_LT(worstAfter, 0.02);
  // Without the tare the compensated force sits on the sensor's offset (1.5, -0.8, 2) N.
  EXPECT_NEAR(windowMean[0], 1.5, 0.5);
  EXPECT_NEAR(windowMean[1], -0.8, 0.5);
  EXPECT_NEAR(windowMean[2], 2.0, 0.5);
}

TEST(CommandLine, EstimationThatDoesNotConvergeFailsAndWritesNoFile) {
  TempDir dir;
  ASSERT_EQ(runTool(dir,
                    "simulate --profile tilt --seconds 2 --rate 250 -o short.csv "
                    "--estimator-config cfg.json")
                .code,
            0);
  const ToolRun run = runTool(dir, "estimate --config cfg.json short.csv");
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(contains(run.err, "the estimation did not converge within the recording")) << run.err;
  EXPECT_TRUE(contains(run.err, "no compensator configuration was written")) << run.err;
  EXPECT_FALSE(fs::exists(dir.file("payload.json")));
  // It names the condition that held the run back, and the snapshots agree.
  EXPECT_TRUE(contains(run.err, "vorn-payload: held back by ")) << run.err;
  const ToolRun json = runTool(dir, "estimate --config cfg.json short.csv --json snap.json");
  EXPECT_EQ(json.code, 1);
  const nlohmann::json snapshots = nlohmann::json::parse(readFile(dir.file("snap.json")));
  EXPECT_NE(snapshots["final"]["blocking"], "none");
  EXPECT_EQ(snapshots["final"]["state"], "running");
  EXPECT_GE(snapshots["trajectory"].size(), 15U);  // 10 per second of data

  // With a min_time that the fast replay never reaches, the tool says why.
  nlohmann::json config = nlohmann::json::parse(readFile(dir.file("cfg.json")));
  config["payload_estimator_config"]["min_time"] = 1000.0;
  dir.write("slow.json", config.dump());
  const ToolRun slow = runTool(dir, "estimate --config slow.json short.csv");
  EXPECT_EQ(slow.code, 1);
  EXPECT_TRUE(contains(slow.err, "min_time of 1000 s counts run time on the wall clock"))
      << slow.err;
}

TEST(CommandLine, ConvergedRunWhoseFileCannotBeWrittenFails) {
  TempDir dir;
  ASSERT_EQ(runTool(dir,
                    "simulate --profile tilt --seconds 40 --rate 250 -o tilt.csv "
                    "--estimator-config cfg.json")
                .code,
            0);
  nlohmann::json config = nlohmann::json::parse(readFile(dir.file("cfg.json")));
  config["payload_estimator_config"]["output_config_file_name"] = "no-such-folder/payload.json";
  dir.write("cfg.json", config.dump());
  const ToolRun run = runTool(dir, "estimate --config cfg.json tilt.csv");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.out, "Failed to open file for writing")) << run.out;  // the library
  EXPECT_TRUE(contains(run.err,
                       "the estimation converged, but the estimator could not write "
                       "no-such-folder/payload.json"))
      << run.err;
}

TEST(CommandLine, SimulatedRecordingFollowsTheOptions) {
  TempDir dir;
  dir.write("light.json", R"({"mass": 0.5, "com": {"x": 0, "y": 0, "z": 0.1}})");
  const ToolRun run = runTool(dir,
                              "simulate --payload light.json --profile static --noise none "
                              "--seconds 0.1 --rate 100 -o still.csv");
  ASSERT_EQ(run.code, 0) << run.err;
  std::ifstream in(dir.file("still.csv"));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line + "\n", kHeader);
  std::vector<std::string> rows;
  while (std::getline(in, line)) rows.push_back(line);
  ASSERT_EQ(rows.size(), 10u);
  // At rest, sensor up, no noise, no offset: the 0.5 kg pulls straight down.
  std::vector<double> values;
  std::stringstream stream(rows[3]);
  std::string field;
  while (std::getline(stream, field, ',')) values.push_back(std::stod(field));
  ASSERT_EQ(values.size(), 13u);
  EXPECT_DOUBLE_EQ(values[0], 0.03);
  EXPECT_NEAR(values[3], -0.5 * 9.81, 1e-12);
  EXPECT_NEAR(values[9], 9.81, 1e-12);
  EXPECT_NEAR(values[1], 0.0, 1e-12);

  dir.write("odd.json", R"({"mass": 0.5, "com": {"x": 0, "y": 0}})");
  const ToolRun bad = runTool(dir, "simulate --payload odd.json -o odd.csv");
  EXPECT_EQ(bad.code, 3);
  EXPECT_TRUE(contains(bad.err, "odd.json: in \"com\": \"z\" is missing")) << bad.err;
}

TEST(Demo, QuickDemoMeetsItsTargetsAndLeavesItsFiles) {
  TempDir dir;
  const ToolRun run = runTool(dir, "demo --quick --workdir out");
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_TRUE(contains(run.out, "[ok]   mass within 1 %")) << run.out;
  EXPECT_TRUE(contains(run.out, "[ok]   centre of mass within 3 mm")) << run.out;
  EXPECT_TRUE(contains(run.out, "[ok]   dynamic compensation removes more than static")) << run.out;
  EXPECT_TRUE(contains(run.out, "PAYLOAD ESTIMATION RESULTS"));
  EXPECT_EQ(run.err.find('\r'), std::string::npos);
  for (const char* name : {"estimator.json", "payload.json", "payload-dynamic.json",
                           "true-payload.json", "estimation.csv", "motion.csv"}) {
    EXPECT_TRUE(fs::exists(dir.file(std::string("out/") + name))) << name;
  }
  const auto dynamic = nlohmann::json::parse(readFile(dir.file("out/payload-dynamic.json")));
  EXPECT_TRUE(dynamic["payload_compensator_config"]["enable_dynamic_compensation"].get<bool>());
  const auto identified = nlohmann::json::parse(readFile(dir.file("out/payload.json")));
  EXPECT_FALSE(identified["payload_compensator_config"]["enable_dynamic_compensation"].get<bool>());
  EXPECT_NEAR(identified["payload_compensator_config"]["payload_properties"]["mass"].get<double>(),
              1.2, 0.012);
  // Quick: no convergence study; the other two plots only when gnuplot is there.
  EXPECT_FALSE(fs::exists(dir.file("out/convergence.png")));
  if (contains(run.out, "gnuplot is not installed")) {
    EXPECT_FALSE(fs::exists(dir.file("out/compensation.png")));
  } else {
    EXPECT_GT(fs::file_size(dir.file("out/compensation.png")), 10000u);
    EXPECT_GT(fs::file_size(dir.file("out/payload.png")), 5000u);
  }
  // The recording written is what was fed, and it replays to the same result.
  const ToolRun replay = runTool(dir, "estimate --config out/estimator.json out/estimation.csv");
  EXPECT_EQ(replay.code, 0) << replay.err;
  EXPECT_TRUE(contains(replay.out, "written to out/payload.json")) << replay.out;
}

TEST(Demo, FullDemoPlotsTheConvergenceFromTheRunsSnapshots) {
  TempDir dir;
  const ToolRun run = runTool(dir, "demo --workdir out");
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  if (contains(run.out, "gnuplot is not installed")) {
    GTEST_SKIP() << "the convergence plot needs gnuplot";
  }
  // One run only: the plot comes from its snapshots (20 per second of data), not from re-runs.
  const auto at = run.out.find(
      "Convergence plot: the estimate and its standard deviation over "
      "the run, from ");
  ASSERT_NE(at, std::string::npos) << run.out;
  const auto converged = run.out.find("Converged after ");
  ASSERT_NE(converged, std::string::npos) << run.out;
  const double seconds = std::stod(run.out.substr(converged + 16));
  const int snapshots = std::stoi(run.out.substr(at + 77));
  EXPECT_NEAR(snapshots, 20.0 * seconds, 3.0) << run.out;
  EXPECT_EQ(run.out.find("thresholds x"), std::string::npos);
  EXPECT_GT(fs::file_size(dir.file("out/convergence.png")), 10000u);
  EXPECT_FALSE(fs::exists(dir.file("out/.convergence")));
}

TEST(Demo, WithoutPlotsAndWithoutGnuplot) {
  TempDir dir;
  ToolRun run = runTool(dir, "demo --quick --no-plots --workdir out");
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_FALSE(contains(run.out, "=== Plots ==="));
  EXPECT_FALSE(fs::exists(dir.file("out/payload.png")));

  // A PATH without gnuplot: the demo says so and still succeeds.
  const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", "/nonexistent", 1);
  run = runTool(dir, "demo --quick --workdir bare");
  ::setenv("PATH", saved.c_str(), 1);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(contains(run.out, "gnuplot is not installed")) << run.out;
  EXPECT_FALSE(fs::exists(dir.file("bare/payload.png")));
}

TEST(Demo, UnusableWorkFolderIsReported) {
  TempDir dir;
  dir.write("file", "not a folder\n");
  const ToolRun run = runTool(dir, "demo --quick --workdir file/sub");
  EXPECT_EQ(run.code, 3);
  EXPECT_TRUE(contains(run.err, "cannot create the work folder file/sub")) << run.err;
  const ToolRun cap = runTool(dir, "demo --max-seconds 0");
  EXPECT_EQ(cap.code, 2);
}

/// The commands the demo suggests at its end, one per line after "Replay it by hand:".
std::vector<std::string> suggestedCommands(const std::string& out) {
  std::vector<std::string> commands;
  const auto at = out.find("Replay it by hand:\n");
  if (at == std::string::npos) {
    return commands;
  }
  std::istringstream lines(out.substr(at + 19));
  std::string line;
  while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
    commands.push_back(line.substr(2));
  }
  return commands;
}

TEST(Demo, SuggestedCommandsWorkAsPastedAndWriteIntoTheWorkFolder) {
  // Started from some folder, with a work folder whose name the shell must get quoted.
  TempDir dir;
  const ToolRun run = runTool(dir, "demo --quick --no-plots --workdir \"Tom's demo\"");
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  const std::vector<std::string> commands = suggestedCommands(run.out);
  ASSERT_EQ(commands.size(), 2u) << run.out;
  const std::string tool = fs::canonical(VORN_PAYLOAD_TOOL).string();
  EXPECT_EQ(commands[0].rfind(tool + " estimate --config 'Tom'\\''s demo/estimator.json' ", 0),
            0u)
      << commands[0];
  EXPECT_TRUE(contains(commands[1], " --out 'Tom'\\''s demo/compensated.csv' ")) << commands[1];
  fs::remove(dir.file("Tom's demo/payload.json"));
  for (const std::string& command : commands) {
    const ToolRun pasted = runShell(dir.path(), command, dir);
    EXPECT_EQ(pasted.code, 0) << command << "\n" << pasted.err;
  }
  EXPECT_TRUE(fs::exists(dir.file("Tom's demo/payload.json")));
  EXPECT_GT(lineCount(dir.file("Tom's demo/compensated.csv")), 1000u);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"Tom's demo"});  // nothing lands beside it

  // Started from the build folder, where the program lies below: a path relative to it.
  const fs::path buildDir = fs::path(tool).parent_path().parent_path();
  const ToolRun fromBuild = runShell(
      buildDir.string(), "tools/vorn-payload demo --quick --no-plots --workdir '" +
                             dir.file("from-build") + "'", dir);
  ASSERT_EQ(fromBuild.code, 0) << fromBuild.err;
  const std::vector<std::string> relative = suggestedCommands(fromBuild.out);
  ASSERT_EQ(relative.size(), 2u) << fromBuild.out;
  EXPECT_EQ(relative[1].rfind("tools/vorn-payload compensate --config ", 0), 0u) << relative[1];
  const ToolRun pasted = runShell(buildDir.string(), relative[1], dir);
  EXPECT_EQ(pasted.code, 0) << relative[1] << "\n" << pasted.err;
  EXPECT_GT(lineCount(dir.file("from-build/compensated.csv")), 1000u);
  EXPECT_FALSE(fs::exists(buildDir / "compensated.csv"));
}

}  // namespace
}  // namespace vorn::tools

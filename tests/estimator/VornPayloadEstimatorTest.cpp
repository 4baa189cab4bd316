#include "vorn/VornPayloadEstimator.hpp"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <limits>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/EstimatorTestSupport.hpp"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::ConfigText;
using test::contains;
using test::CoutCapture;
using test::logLine;
using test::readFile;
using test::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kImuMessage =
    "IMU data is not available \u2014 make sure the IMU is enabled (Rev K: appmode should be 2)";
const std::string kStoppedLine =
    "[InertialWrenchCompensation] stopped estimator before convergence.\n";

// Thresholds that the prior alone can never meet (its standard deviations are about 1).
ConfigText tightConfig() { return ConfigText().setThresholds("0.001"); }

std::array<double, 12> restSample() {
  return test::staticSample(test::TestPayload{}, {0.0, 0.0, -1.0}, {0, 0, 0, 0, 0, 0});
}

// The file written for the default prior (mass 1.5, com (0.01, -0.02, 0.05), inertia
// (0.01, 0, 0, 0.02, 0, 0.03), zero bias) when the run converges before any sample was
// synchronised.
std::string priorFile(bool withBias) {
  std::string text =
      "{\n"
      "  \"payload_compensator_config\": {\n"
      "    \"payload_properties\": {\n"
      "      \"mass\": 1.5,\n"
      "      \"com\": {\n"
      "        \"x\": 0.01,\n"
      "        \"y\": -0.02,\n"
      "        \"z\": 0.05\n"
      "      },\n"
      "      \"inertia\": {\n"
      "        \"Ixx\": 0.01,\n"
      "        \"Ixy\": 0,\n"
      "        \"Ixz\": 0,\n"
      "        \"Iyy\": 0.02,\n"
      "        \"Iyz\": 0,\n"
      "        \"Izz\": 0.03\n";
  if (withBias) {
    text +=
        "      },\n"
        "      \"bias\": {\n"
        "        \"Fx\": 0,\n"
        "        \"Fy\": 0,\n"
        "        \"Fz\": 0,\n"
        "        \"Tx\": 0,\n"
        "        \"Ty\": 0,\n"
        "        \"Tz\": 0\n";
  }
  return text +
         "      }\n"
         "    },\n"
         "    \"enable_dynamic_compensation\": false \n"
         "  }\n"
         "}\n";
}

std::string constructionError(const std::string& path) {
  try {
    VornPayloadEstimator estimator(path);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST(VornPayloadEstimator, ConstructionPrintsVersionWarningsAndSuccessInOrder) {
  TempDir dir;
  const std::string path = ConfigText()
                               .erase("runtime_verbosity")
                               .erase("output_bias_estimate")
                               .writeTo(dir.file("estimator.json"));
  CoutCapture out;
  const VornPayloadEstimator estimator(path);
  EXPECT_EQ(out.text(),
            logLine("INFO", "VornPayloadEstimator version: V1.0.3") +
                logLine("WARN", "runtime_verbosity not found in config, defaulting to false") +
                logLine("WARN", "output_bias_estimate not found in config, defaulting to false") +
                logLine("INFO", "Estimator configuration file has been parsed successfully") +
                logLine("INFO", "Vorn Payload Estimator has been initialized successfully"));
  EXPECT_FALSE(estimator.isEstimatorRunning());
  EXPECT_FALSE(estimator.isEstimationSuccessful());
}

struct ConstructionCase {
  std::string name;
  ConfigText text;
  std::string message;
};

void PrintTo(const ConstructionCase& c, std::ostream* os) { *os << c.name; }

class FailedConstruction : public ::testing::TestWithParam<ConstructionCase> {};

TEST_P(FailedConstruction, ReachesTheHostAfterTheVersionLineOnly) {
  TempDir dir;
  const std::string path = GetParam().text.writeTo(dir.file("estimator.json"));
  CoutCapture out;
  EXPECT_EQ(constructionError(path), GetParam().message);
  EXPECT_EQ(out.text(), logLine("INFO", "VornPayloadEstimator version: V1.0.3"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedConstruction,
    ::testing::Values(
        ConstructionCase{"MissingKey", ConfigText().erase("max_time"),
                         "Error parsing estimator configuration file: "
                         "[json.exception.out_of_range.403] key 'max_time' not found"},
        ConstructionCase{"WrongType", ConfigText().set("runtime_verbosity", "\"yes\""),
                         "Error parsing estimator configuration file: "
                         "[json.exception.type_error.302] type must be boolean, but is string"},
        ConstructionCase{"ZeroVariance",
                         ConfigText().set("measurement_noise_covariance.linear_acc.y", "0"),
                         "Error parsing estimator configuration file: "
                         "measurement_noise_covariance.linear_acc.y must be a positive finite "
                         "variance, got 0.000000"}),
    [](const auto& info) { return info.param.name; });

TEST(VornPayloadEstimator, MissingConfigurationFile) {
  TempDir dir;
  CoutCapture quiet;
  EXPECT_EQ(constructionError(dir.file("nowhere.json")),
            "Failed to open configuration file: " + dir.file("nowhere.json"));
}

class Facade : public ::testing::Test {
 protected:
  void make(const ConfigText& text) {
    path = text.writeTo(dir.file("estimator.json"));
    CoutCapture quiet;
    estimator = std::make_unique<VornPayloadEstimator>(path);
  }
  void start() {
    CoutCapture quiet;
    ASSERT_TRUE(estimator->startPayloadEstimation());
  }

  TempDir dir;
  std::string path;
  std::unique_ptr<VornPayloadEstimator> estimator;
};

TEST_F(Facade, OutsideARunSamplesAreIgnoredButAnAbsentImuStillThrows) {
  make(ConfigText());
  CoutCapture out;
  EXPECT_EQ(estimator->update(1.0, restSample()), 0);
  std::array<double, 12> sample = restSample();
  sample[0] = kNaN;  // outside a run nothing is examined but the IMU block
  EXPECT_EQ(estimator->update(1.1, sample), 0);
  EXPECT_EQ(out.text(), "");

  std::array<double, 12> noImu = restSample();
  for (int i = 6; i < 12; ++i) {
    noImu[i] = (i % 2 == 0) ? 0.0 : -0.0;
  }
  try {
    estimator->update(1.2, noImu);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), kImuMessage);
  }
  EXPECT_FALSE(fs::exists(dir.file("payload.json")));
}

TEST_F(Facade, ImuCheckComesFirstDuringARunAndAcceptsAPartlyZeroImu) {
  make(tightConfig());
  start();
  std::array<double, 12> sample = restSample();
  for (int i = 6; i < 12; ++i) {
    sample[i] = 0.0;
  }
  sample[1] = kNaN;
  EXPECT_THROW(estimator->update(1.0, sample), std::runtime_error);
  EXPECT_TRUE(estimator->isEstimatorRunning());

  sample[1] = 0.0;
  sample[11] = 0.2;  // only the angular velocity is non-zero
  EXPECT_EQ(estimator->update(1.0, sample), 0);
  std::array<double, 12> onlyAcc = restSample();
  onlyAcc[9] = 0.0;
  onlyAcc[10] = 0.0;
  onlyAcc[11] = 0.0;
  EXPECT_EQ(estimator->update(1.001, onlyAcc), 0);
  EXPECT_TRUE(estimator->isEstimatorRunning());
}

TEST_F(Facade, StartLogsTheInitialisationAndRuns) {
  make(tightConfig());
  CoutCapture out;
  ASSERT_TRUE(estimator->startPayloadEstimation());
  const std::string text = out.text();
  const auto initializing = text.find(logLine("INFO", "Initializing estimator"));
  const auto initialized = text.find(logLine("INFO", "Estimator initialized"));
  const auto started = text.find(logLine("INFO", "Payload estimation has started successfully"));
  const auto contact =
      text.find(logLine("INFO", "Tool should not be in contact while estimator is running!"));
  ASSERT_NE(initializing, std::string::npos);
  EXPECT_TRUE(initializing < initialized && initialized < started && started < contact);
  EXPECT_EQ(initializing, 0u);
  EXPECT_EQ(
      contact + logLine("INFO", "Tool should not be in contact while estimator is running!").size(),
      text.size());
  EXPECT_TRUE(contains(text, logLine("INFO", "Estimation tool has been initialized")));
  EXPECT_TRUE(contains(text, logLine("INFO", "Estimator has been initialized")));
  EXPECT_TRUE(estimator->isEstimatorRunning());
  EXPECT_FALSE(estimator->isEstimationSuccessful());
}

TEST_F(Facade, SecondStartStopsBeforeConvergenceAndDiscardsTheRun) {
  make(tightConfig());
  start();
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(estimator->update(1.0 + 0.001 * i, restSample()), 0);
  }
  CoutCapture out;
  EXPECT_TRUE(estimator->startPayloadEstimation());
  const std::string text = out.text();
  EXPECT_TRUE(contains(text, logLine("INFO", "Initializing estimator")));
  ASSERT_GE(text.size(), kStoppedLine.size());
  EXPECT_EQ(text.substr(text.size() - kStoppedLine.size()), kStoppedLine);
  EXPECT_FALSE(contains(text, "has started successfully"));
  EXPECT_FALSE(estimator->isEstimatorRunning());
  EXPECT_FALSE(estimator->isEstimationSuccessful());
  EXPECT_FALSE(fs::exists(dir.file("payload.json")));

  out.clear();
  EXPECT_EQ(estimator->update(2.0, restSample()), 0);
  EXPECT_EQ(out.text(), "");
  // A third call starts again.
  start();
  EXPECT_TRUE(estimator->isEstimatorRunning());
}

TEST_F(Facade, StopTestsTheFreshEstimateNotTheRunsEstimate) {
  // Thresholds the run's estimate meets after a second of motion but the prior does not; the
  // run itself cannot end before min_time.
  make(ConfigText().setThresholds("0.5").set("min_time", "100"));
  start();
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(estimator->update(1.0 + 0.001 * i, test::swingSample(1.0 + 0.001 * i)), 0);
  }
  CoutCapture out;
  EXPECT_TRUE(estimator->startPayloadEstimation());
  EXPECT_TRUE(contains(out.text(), kStoppedLine));
  EXPECT_FALSE(estimator->isEstimationSuccessful());
}

TEST_F(Facade, StopAsksTheFreshEstimateWhichWithLooseThresholdsCountsAsConverged) {
  make(ConfigText().set("min_time", "100"));
  start();
  CoutCapture out;
  EXPECT_TRUE(estimator->startPayloadEstimation());
  EXPECT_FALSE(contains(out.text(), "stopped estimator before convergence"));
  EXPECT_FALSE(estimator->isEstimatorRunning());
  // Stopped, not converged: no file was written.
  EXPECT_FALSE(estimator->isEstimationSuccessful());
  EXPECT_FALSE(fs::exists(dir.file("payload.json")));
}

struct TimeLimitCase {
  std::string name;
  ConfigText text;
  std::string limit;
};

void PrintTo(const TimeLimitCase& c, std::ostream* os) { *os << c.name; }

class TimeLimit : public Facade, public ::testing::WithParamInterface<TimeLimitCase> {};

TEST_P(TimeLimit, EndsTheRunWithoutFileOrReport) {
  make(GetParam().text);
  start();
  CoutCapture out;
  EXPECT_EQ(estimator->update(1.0, restSample()), 0);
  EXPECT_EQ(out.text(), logLine("ERROR",
                                "Estimator did not converge within the maximum time "
                                "limit of " +
                                    GetParam().limit + " seconds."));
  EXPECT_FALSE(estimator->isEstimatorRunning());
  EXPECT_FALSE(estimator->isEstimationSuccessful());
  EXPECT_FALSE(fs::exists(dir.file("payload.json")));
  out.clear();
  EXPECT_EQ(estimator->update(1.001, restSample()), 0);
  EXPECT_EQ(out.text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeLimit,
    ::testing::Values(
        TimeLimitCase{"NotConverged", tightConfig().set("max_time", "0"), "0.000000"},
        // The prior passes these thresholds, but the time limit comes before min_time.
        TimeLimitCase{"MaxTimeBelowMinTime",
                      ConfigText().set("min_time", "5").set("max_time", "0.0000001"), "0.000000"}),
    [](const auto& info) { return info.param.name; });

TEST_F(Facade, ConvergenceWaitsForMinTime) {
  make(ConfigText().set("min_time", "0.2"));
  start();
  CoutCapture out;
  EXPECT_EQ(estimator->update(1.0, restSample()), 0);
  EXPECT_TRUE(estimator->isEstimatorRunning());
  EXPECT_FALSE(fs::exists(dir.file("payload.json")));
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  EXPECT_EQ(estimator->update(1.001, restSample()), 0);
  EXPECT_FALSE(estimator->isEstimatorRunning());
  EXPECT_TRUE(estimator->isEstimationSuccessful());
  std::smatch match;
  const std::string text = out.text();
  ASSERT_TRUE(std::regex_search(
      text, match, std::regex("Estimator converged in ([0-9]+\\.[0-9]{6}) seconds\\.\n")));
  EXPECT_GT(std::stod(match[1].str()), 0.2);
}

// The lines printed by the converging update, report included, for the default prior.
std::string expectedConvergenceOutput(const std::string& fileName) {
  const std::string grey = "\033[90m";
  const std::string reset = "\033[0m";
  const std::string heavy(100, '=');
  return logLine("INFO", "Writing estimated payload parameters to file...") +
         logLine("INFO", "Inertial parameters written to file: " + fileName) + "\n" + heavy +
         "\n"
         "PAYLOAD ESTIMATION RESULTS\n"
         "Time: 0.00s (CONVERGED)\n" +
         std::string(100, '-') +
         "\n"
         "Mass:  1.5000 kg\n" +
         grey + "       std: 1.0000e+00" + reset +
         "\n"
         "CoM:  [0.0100, -0.0200, 0.0500] m [cx, cy, cz]\n" +
         grey + "       std: [6.6000e-01, 6.8000e-01, 6.3333e-01]" + reset +
         "\n"
         "Inertia: [0.0100, 0.0000, 0.0000, 0.0200, 0.0000, 0.0300] kg*m\u00b2 [Ixx, Ixy, Ixz, "
         "Iyy, Iyz, Izz]\n" +
         grey +
         "          std: [1.0000e+00, 1.0000e+00, 1.0000e+00, 1.0000e+00, 1.0000e+00, "
         "1.0000e+00]" +
         reset +
         "\n"
         "Wrench Bias: [0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000] N, N*m [Fx, Fy, Fz, Mx, "
         "My, Mz]\n" +
         grey +
         "              std: [1.0000e+00, 1.0000e+00, 1.0000e+00, 1.0000e+00, 1.0000e+00, "
         "1.0000e+00]" +
         reset + "\n" + heavy + "\n\n";
}

TEST_F(Facade, ConvergedRunWritesTheFileThenPrintsTheReport) {
  make(ConfigText());
  start();
  CoutCapture out;
  std::cout << std::fixed << std::setprecision(2);  // the file must not follow std::cout
  EXPECT_EQ(estimator->update(1.0, restSample()), 0);

  // The converging update writes the file for the prior: nothing was synchronised yet.
  EXPECT_EQ(readFile(dir.file("payload.json")), priorFile(false));
  const std::string text =
      std::regex_replace(out.text(), std::regex("Time: [0-9]+\\.[0-9]{2}s"), "Time: 0.00s");
  const std::regex converged(
      "^\\[\\S+INFO\\S+ Estimator converged in [0-9]+\\.[0-9]{6} seconds\\.\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(text, match, converged)) << text;
  EXPECT_EQ(match.suffix().str(), expectedConvergenceOutput("payload.json"));
  // The report leaves std::cout in scientific notation with 4 decimals.
  EXPECT_EQ(std::cout.flags() & std::ios::floatfield, std::ios::scientific);
  EXPECT_EQ(std::cout.precision(), 4);

  EXPECT_FALSE(estimator->isEstimatorRunning());
  EXPECT_TRUE(estimator->isEstimationSuccessful());
  out.clear();
  EXPECT_EQ(estimator->update(1.001, restSample()), 0);
  EXPECT_EQ(out.text(), "");
  EXPECT_TRUE(estimator->isEstimationSuccessful());

  // A new start forgets the success.
  start();
  EXPECT_FALSE(estimator->isEstimationSuccessful());
}

TEST_F(Facade, BiasVariantHas29LinesAndOverwritesTheOldFile) {
  make(ConfigText().set("output_bias_estimate", "true"));
  test::writeFile(dir.file("payload.json"), std::string(4000, ' '));
  start();
  CoutCapture quiet;
  estimator->update(1.0, restSample());
  const std::string text = readFile(dir.file("payload.json"));
  EXPECT_EQ(text, priorFile(true));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 29);
  const std::string plain = priorFile(false);
  EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), 21);
}

struct PathCase {
  std::string name;
  std::string configPath;  // relative to the working directory (the test's folder)
  std::string fileName;    // "@" stands for the test's folder
  std::string written;     // relative to the test's folder
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class OutputLocation : public ::testing::TestWithParam<PathCase> {};

TEST_P(OutputLocation, FileGoesBesideTheConfigurationUnlessItsNameIsAbsolute) {
  TempDir dir;
  fs::create_directories(dir.path() / "cfg");
  fs::create_directories(dir.path() / "elsewhere");
  const test::WorkingDirectory cwd(dir.path());
  std::string fileName = GetParam().fileName;
  if (fileName[0] == '@') {
    fileName = dir.path().string() + fileName.substr(1);
  }
  ConfigText()
      .set("output_config_file_name", "\"" + fileName + "\"")
      .writeTo(GetParam().configPath);
  CoutCapture out;
  VornPayloadEstimator estimator(GetParam().configPath);
  ASSERT_TRUE(estimator.startPayloadEstimation());
  estimator.update(1.0, restSample());
  EXPECT_EQ(readFile(dir.file(GetParam().written)), priorFile(false));
  EXPECT_TRUE(
      contains(out.text(), logLine("INFO", "Inertial parameters written to file: " +
                                               fs::path(GetParam().written).filename().string())));
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputLocation,
                         ::testing::Values(PathCase{"ConfigurationInASubdirectory",
                                                    "cfg/estimator.json", "payload.json",
                                                    "cfg/payload.json"},
                                           PathCase{"ConfigurationWithoutDirectory",
                                                    "estimator.json", "tool.json", "tool.json"},
                                           PathCase{"AbsoluteFileName", "cfg/estimator.json",
                                                    "@/elsewhere/abs.json", "elsewhere/abs.json"}),
                         [](const auto& info) { return info.param.name; });

TEST_F(Facade, UnwritableTargetStillEndsTheRunAsConvergedWithTheReport) {
  make(ConfigText().set("output_config_file_name", "\"missing/payload.json\""));
  start();
  CoutCapture out;
  estimator->update(1.0, restSample());
  const std::string text = out.text();
  EXPECT_TRUE(contains(text, logLine("ERROR", "Failed to open file for writing: " +
                                                  dir.file("missing/payload.json"))));
  EXPECT_FALSE(contains(text, "written to file"));
  EXPECT_TRUE(contains(text, "PAYLOAD ESTIMATION RESULTS"));
  EXPECT_FALSE(estimator->isEstimatorRunning());
  EXPECT_TRUE(estimator->isEstimationSuccessful());
}

TEST_F(Facade, NeverOverwritesItsOwnConfiguration) {
  make(ConfigText().set("output_config_file_name", "\"estimator.json\""));
  const std::string before = readFile(path);
  start();
  CoutCapture out;
  estimator->update(1.0, restSample());
  EXPECT_TRUE(contains(out.text(), logLine("ERROR",
                                           "Failed to write inertial parameters to "
                                           "file: " +
                                               dir.file("estimator.json") +
                                               " is the estimator configuration file "
                                               "itself")));
  EXPECT_EQ(readFile(path), before);
}

struct RejectedSampleCase {
  std::string name;
  int index;  // -1: the stamp
  double value;
};

void PrintTo(const RejectedSampleCase& c, std::ostream* os) { *os << c.name; }

class NonFiniteSample : public Facade, public ::testing::WithParamInterface<RejectedSampleCase> {};

TEST_P(NonFiniteSample, IsRejectedWithStatusFiveAndTheRunGoesOn) {
  make(tightConfig());
  start();
  estimator->update(1.0, restSample());
  std::array<double, 12> sample = restSample();
  double stamp = 1.001;
  if (GetParam().index < 0) {
    stamp = GetParam().value;
  } else {
    sample[GetParam().index] = GetParam().value;
  }
  CoutCapture out;
  EXPECT_EQ(estimator->update(stamp, sample), 5);
  EXPECT_EQ(out.text(),
            logLine("ERROR", "Failed to process sample in estimator: non-finite value."));
  EXPECT_TRUE(estimator->isEstimatorRunning());
  // The rejected sample left no trace: the next one at the same stamp is accepted silently.
  out.clear();
  EXPECT_EQ(estimator->update(1.001, restSample()), 0);
  EXPECT_EQ(test::withoutProgress(out.text()), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NonFiniteSample,
    ::testing::Values(
        RejectedSampleCase{"NaNForce", 0, kNaN},
        RejectedSampleCase{"InfiniteTorque", 5, std::numeric_limits<double>::infinity()},
        RejectedSampleCase{"NaNAcceleration", 7, kNaN},
        RejectedSampleCase{"NegativeInfiniteGyro", 11, -std::numeric_limits<double>::infinity()},
        RejectedSampleCase{"NaNStamp", -1, kNaN},
        RejectedSampleCase{"InfiniteStamp", -1, std::numeric_limits<double>::infinity()}),
    [](const auto& info) { return info.param.name; });

TEST_F(Facade, OlderStampsAreDroppedSilentlyAndAClockResetRestartsWithAWarning) {
  make(tightConfig());
  start();
  for (int i = 0; i < 30; ++i) {
    ASSERT_EQ(estimator->update(100.0 + 0.001 * i, restSample()), 0);
  }
  CoutCapture out;
  EXPECT_EQ(estimator->update(100.0, restSample()), 0);
  EXPECT_EQ(estimator->update(99.5, restSample()), 0);
  EXPECT_EQ(out.text(), "");

  EXPECT_EQ(estimator->update(3.0, restSample()), 0);
  const std::string text = out.text();
  EXPECT_TRUE(contains(text,
                       "\033[38;2;255;255;0mWARN\033[0m] Sample time stamp jumped back by "
                       "97.029000 seconds"))
      << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_TRUE(estimator->isEstimatorRunning());
  for (int i = 1; i < 30; ++i) {
    ASSERT_EQ(estimator->update(3.0 + 0.001 * i, restSample()), 0);
  }
  EXPECT_TRUE(estimator->isEstimatorRunning());
}

TEST_F(Facade, EstimatorFailureEndsTheRunWithAnErrorAndReachesTheHost) {
  make(tightConfig());
  start();
  // Values this large overflow the estimator's products; its NaN guard stops it.
  std::array<double, 12> extreme;
  extreme.fill(1e200);
  CoutCapture out;
  std::string message;
  for (int i = 0; i < 20 && message.empty(); ++i) {
    try {
      estimator->update(1.0 + 0.001 * i, extreme);
    } catch (const std::runtime_error& e) {
      message = e.what();
    }
  }
  ASSERT_FALSE(message.empty()) << "the estimator never failed";
  EXPECT_TRUE(contains(out.text(), logLine("ERROR", "Payload estimation stopped: " + message)));
  EXPECT_FALSE(estimator->isEstimatorRunning());
  EXPECT_FALSE(estimator->isEstimationSuccessful());
  EXPECT_FALSE(fs::exists(dir.file("payload.json")));
  // A new run starts cleanly.
  start();
  EXPECT_EQ(estimator->update(5.0, restSample()), 0);
  EXPECT_TRUE(estimator->isEstimatorRunning());
}

}  // namespace
}  // namespace vorn

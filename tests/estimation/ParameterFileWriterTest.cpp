#include "estimation/ParameterFileWriter.hpp"

#include <cmath>
#include <filesystem>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/EstimatorTestSupport.hpp"
#include "support/FileSizeLimit.hpp"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::StdoutCapture;
using test::logLine;
using test::readFile;
using test::TempDir;

Eigen::VectorXd sampleSolution() {
  Eigen::VectorXd s(16);
  s << 1.5, 1.23456789, 0.0000123, -0.25, 0.0123, -1e-7, 0.0, 2.5e6, 1234567.0, 0.5,  //
      -3.25, 0.125, 100.0, 0.001, -0.002, 7.0;
  return s;
}

const std::string kHead =
    "{\n"
    "  \"payload_compensator_config\": {\n"
    "    \"payload_properties\": {\n"
    "      \"mass\": 1.5,\n"
    "      \"com\": {\n"
    "        \"x\": 1.23457,\n"
    "        \"y\": 1.23e-05,\n"
    "        \"z\": -0.25\n"
    "      },\n"
    "      \"inertia\": {\n"
    "        \"Ixx\": 0.0123,\n"
    "        \"Ixy\": -1e-07,\n"
    "        \"Ixz\": 0,\n"
    "        \"Iyy\": 2.5e+06,\n"
    "        \"Iyz\": 1.23457e+06,\n"
    "        \"Izz\": 0.5\n";
const std::string kTail =
    "    },\n"
    "    \"enable_dynamic_compensation\": false \n"
    "  }\n"
    "}\n";
const std::string kWithoutBias = kHead + "      }\n" + kTail;
const std::string kWithBias = kHead +
                              "      },\n"
                              "      \"bias\": {\n"
                              "        \"Fx\": -3.25,\n"
                              "        \"Fy\": 0.125,\n"
                              "        \"Fz\": 100,\n"
                              "        \"Tx\": 0.001,\n"
                              "        \"Ty\": -0.002,\n"
                              "        \"Tz\": 7\n"
                              "      }\n" +
                              kTail;

int lineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ParameterFileWriter, TextOfBothVariantsWithDefaultNumberFormatting) {
  std::ostringstream without;
  ParameterFileWriter::writeText(without, sampleSolution(), false);
  EXPECT_EQ(without.str(), kWithoutBias);
  EXPECT_EQ(lineCount(without.str()), 21);

  std::ostringstream with;
  ParameterFileWriter::writeText(with, sampleSolution(), true);
  EXPECT_EQ(with.str(), kWithBias);
  EXPECT_EQ(lineCount(with.str()), 29);
}

// Only the target itself may appear in the directory afterwards: no temporary leftovers.
std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ParameterFileWriter, ReplacesAnExistingLongerFileWholeAndLogsTheFileName) {
  TempDir dir;
  const std::string config = dir.file("estimator.json");
  test::writeFile(config, "{}");
  const fs::path target = dir.path() / "payload.json";
  test::writeFile(target.string(), std::string(5000, 'x'));

  StdoutCapture out;
  EXPECT_TRUE(ParameterFileWriter::write(target, config, sampleSolution(), true));
  EXPECT_EQ(readFile(target.string()), kWithBias);
  EXPECT_EQ(out.text(), logLine("INFO", "Inertial parameters written to file: payload.json"));
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"estimator.json", "payload.json"}));
}

TEST(ParameterFileWriter, WriteFailingPartWayLeavesThePreviousFileAndLogsTheError) {
  TempDir dir;
  const std::string config = dir.file("estimator.json");
  test::writeFile(config, "{}");
  const fs::path target = dir.path() / "payload.json";
  const std::string previous = "{\"previous\": true}\n";
  test::writeFile(target.string(), previous);

  StdoutCapture out;
  bool written = true;
  {
    // The new text is several hundred bytes: the disk fills after the first 64 of them.
    const test::FileSizeLimit fullDisk(64);
    if (!fullDisk.active()) {
      GTEST_SKIP() << "cannot limit the file size here";
    }
    written = ParameterFileWriter::write(target, config, sampleSolution(), true);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(readFile(target.string()), previous);
  const std::string text = out.text();
  EXPECT_TRUE(test::contains(
      text, "ERROR\033[0m] Failed to write inertial parameters to file: writing "))
      << text;
  EXPECT_FALSE(test::contains(text, "written to file")) << text;
  EXPECT_EQ(lineCount(text), 1) << text;
  // The partly written temporary file is gone.
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"estimator.json", "payload.json"}));
}

// A host that installs a locale with digit grouping must still get valid JSON numbers.
struct GroupingPunct : std::numpunct<char> {
  char do_thousands_sep() const override { return '\''; }
  std::string do_grouping() const override { return "\3"; }
  char do_decimal_point() const override { return ','; }
};

TEST(ParameterFileWriter, WritesClassicNumbersWhateverTheGlobalLocale) {
  TempDir dir;
  const fs::path target = dir.path() / "payload.json";
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new GroupingPunct));
  StdoutCapture quiet;
  const bool written =
      ParameterFileWriter::write(target, dir.file("estimator.json"), sampleSolution(), false);
  std::locale::global(previous);
  ASSERT_TRUE(written);
  EXPECT_EQ(readFile(target.string()), kWithoutBias);
}

struct NonFiniteCase {
  std::string name;
  int index;
  double value;
  bool withBias;
  std::string reason;
};

void PrintTo(const NonFiniteCase& c, std::ostream* os) { *os << c.name; }

class NonFiniteSolution : public ::testing::TestWithParam<NonFiniteCase> {};

TEST_P(NonFiniteSolution, IsNeverWrittenAndTheOldFileStays) {
  TempDir dir;
  const fs::path target = dir.path() / "payload.json";
  test::writeFile(target.string(), "previous");
  Eigen::VectorXd solution = sampleSolution();
  solution[GetParam().index] = GetParam().value;

  StdoutCapture out;
  EXPECT_FALSE(ParameterFileWriter::write(target, dir.file("estimator.json"), solution,
                                          GetParam().withBias));
  EXPECT_EQ(out.text(),
            logLine("ERROR", "Failed to write inertial parameters to file: " + GetParam().reason));
  EXPECT_EQ(readFile(target.string()), "previous");
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"payload.json"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NonFiniteSolution,
    ::testing::Values(NonFiniteCase{"NaNMass", 0, std::numeric_limits<double>::quiet_NaN(), false,
                                    "the estimated mass is not finite (nan)"},
                      NonFiniteCase{"InfiniteComY", 2, std::numeric_limits<double>::infinity(),
                                    false, "the estimated com.y is not finite (inf)"},
                      NonFiniteCase{"NegativeInfiniteIzz", 9,
                                    -std::numeric_limits<double>::infinity(), true,
                                    "the estimated Izz is not finite (-inf)"},
                      NonFiniteCase{"NaNTorqueBiasWritten", 15,
                                    std::numeric_limits<double>::quiet_NaN(), true,
                                    "the estimated Tz is not finite (nan)"}),
    [](const auto& info) { return info.param.name; });

TEST(ParameterFileWriter, NonFiniteBiasIsIrrelevantWhenTheBiasIsNotWritten) {
  TempDir dir;
  Eigen::VectorXd solution = sampleSolution();
  solution[11] = std::numeric_limits<double>::quiet_NaN();
  StdoutCapture quiet;
  EXPECT_TRUE(ParameterFileWriter::write(dir.path() / "payload.json", dir.file("estimator.json"),
                                         solution, false));
  EXPECT_EQ(readFile(dir.file("payload.json")), kWithoutBias);
}

class TargetIsTheConfiguration : public ::testing::TestWithParam<std::string> {};

TEST_P(TargetIsTheConfiguration, IsRefusedAndTheConfigurationStays) {
  TempDir dir;
  fs::create_directories(dir.path() / "cfg" / "sub");
  const std::string config = dir.file("cfg/estimator.json");
  test::writeFile(config, "{\"payload_estimator_config\": {}}");
  fs::create_symlink(config, dir.path() / "cfg" / "link.json");
  const fs::path target = ParameterFileWriter::outputPath(config, GetParam());

  StdoutCapture out;
  EXPECT_FALSE(ParameterFileWriter::write(target, config, sampleSolution(), false));
  EXPECT_EQ(out.text(),
            logLine("ERROR", "Failed to write inertial parameters to file: " + target.string() +
                                 " is the estimator configuration file itself"));
  EXPECT_EQ(readFile(config), "{\"payload_estimator_config\": {}}");
}

INSTANTIATE_TEST_SUITE_P(Spellings, TargetIsTheConfiguration,
                         ::testing::Values("estimator.json", "./estimator.json",
                                           "sub/../estimator.json", "link.json"));

TEST(ParameterFileWriter, MissingDirectoryIsAnOpenFailure) {
  TempDir dir;
  const fs::path target = dir.path() / "missing" / "payload.json";
  StdoutCapture out;
  EXPECT_FALSE(
      ParameterFileWriter::write(target, dir.file("estimator.json"), sampleSolution(), false));
  EXPECT_EQ(out.text(), logLine("ERROR", "Failed to open file for writing: " + target.string()));
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

TEST(ParameterFileWriter, ADirectoryInThePlaceOfTheTargetIsLeftAlone) {
  TempDir dir;
  const fs::path target = dir.path() / "payload.json";
  fs::create_directories(target / "inside");
  StdoutCapture out;
  EXPECT_FALSE(
      ParameterFileWriter::write(target, dir.file("estimator.json"), sampleSolution(), false));
  EXPECT_TRUE(test::contains(out.text(),
                             "Failed to write inertial parameters to file: cannot "
                             "replace " +
                                 target.string() + ": "));
  EXPECT_FALSE(test::contains(out.text(), "written to file"));
  EXPECT_TRUE(fs::is_directory(target / "inside"));
  EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"payload.json"}));
}

TEST(ParameterFileWriter, EmptyFileNameIsRefused) {
  TempDir dir;
  const fs::path target = ParameterFileWriter::outputPath(dir.file("estimator.json"), "");
  StdoutCapture out;
  EXPECT_FALSE(
      ParameterFileWriter::write(target, dir.file("estimator.json"), sampleSolution(), false));
  EXPECT_TRUE(test::contains(out.text(),
                             "Failed to write inertial parameters to file: the output "
                             "file name is empty"));
  EXPECT_TRUE(entries(dir.path()).empty());
}

}  // namespace
}  // namespace vorn

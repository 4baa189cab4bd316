#include "estimation/PayloadEstimatorConfig.hpp"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "support/EstimatorTestSupport.hpp"

namespace vorn {
namespace {

using test::ConfigText;
using test::StdoutCapture;
using test::logLine;
using test::TempDir;

const std::string kPrefix = "Error parsing estimator configuration file: ";

std::string loadError(const std::string& path) {
  return test::constructionError<PayloadEstimatorConfig>(path);
}

TEST(PayloadEstimatorConfig, ReadsEveryValueIntoItsField) {
  TempDir dir;
  ConfigText text;
  text.set("output_config_file_name", "\"tool.json\"")
      .set("min_time", "5")  // a JSON integer reads as a double
      .set("max_time", "60.5")
      .set("prior_payload_properties.inertia.Iyz", "-0.004")
      .setNoise("force", "1")
      .setNoise("torque", "2")
      .setNoise("linear_acc", "3")
      .setNoise("angular_vel", "4")
      .setNoise("angular_acc", "5")
      .set("measurement_noise_covariance.angular_acc.z", "5.5")
      .set("estimation_covariance_convergence_threshold.mass", "0.01")
      .set("estimation_covariance_convergence_threshold.com", "0.002")
      .set("estimation_covariance_convergence_threshold.inertia", "0.3")
      .set("estimation_covariance_convergence_threshold.wrench_bias", "0.04")
      .set("runtime_verbosity", "true")
      .set("output_bias_estimate", "true")
      .set("some_future_key", "{\"nested\": [1, 2]}");
  const std::string path = text.writeTo(dir.file("estimator.json"));
  StdoutCapture out;
  const PayloadEstimatorConfig config(path);

  EXPECT_EQ(out.text(),
            logLine("INFO", "Estimator configuration file has been parsed successfully"));
  EXPECT_EQ(config.getConfigPath(), path);
  EXPECT_EQ(config.output_config_file_name, "tool.json");
  EXPECT_EQ(config.min_time, 5.0);
  EXPECT_EQ(config.max_time, 60.5);
  EXPECT_EQ(config.prior_mass, 1.5);
  EXPECT_EQ(config.prior_com, Eigen::Vector3d(0.01, -0.02, 0.05));
  Eigen::Matrix<double, 6, 1> inertia;
  inertia << 0.01, 0.0, 0.0, 0.02, -0.004, 0.03;
  EXPECT_EQ(config.prior_inertia, inertia);
  EXPECT_EQ(config.force_noise, Eigen::Vector3d::Constant(1.0));
  EXPECT_EQ(config.torque_noise, Eigen::Vector3d::Constant(2.0));
  EXPECT_EQ(config.linear_acc_noise, Eigen::Vector3d::Constant(3.0));
  EXPECT_EQ(config.angular_vel_noise, Eigen::Vector3d::Constant(4.0));
  EXPECT_EQ(config.angular_acc_noise, Eigen::Vector3d(5.0, 5.0, 5.5));
  EXPECT_EQ(config.mass_threshold, 0.01);
  EXPECT_EQ(config.com_threshold, 0.002);
  EXPECT_EQ(config.inertia_threshold, 0.3);
  EXPECT_EQ(config.wrench_bias_threshold, 0.04);
  EXPECT_TRUE(config.runtime_verbosity);
  EXPECT_TRUE(config.output_bias_estimate);
}

TEST(PayloadEstimatorConfig, AbsentFlagsDefaultToFalseWithTwoWarningsBeforeTheSuccessLine) {
  TempDir dir;
  const std::string path = ConfigText()
                               .erase("runtime_verbosity")
                               .erase("output_bias_estimate")
                               .writeTo(dir.file("estimator.json"));
  StdoutCapture out;
  const PayloadEstimatorConfig config(path);
  EXPECT_EQ(out.text(),
            logLine("WARN", "runtime_verbosity not found in config, defaulting to false") +
                logLine("WARN", "output_bias_estimate not found in config, defaulting to false") +
                logLine("INFO", "Estimator configuration file has been parsed successfully"));
  EXPECT_FALSE(config.runtime_verbosity);
  EXPECT_FALSE(config.output_bias_estimate);
}

TEST(PayloadEstimatorConfig, MissingFileAndDirectoryFailToOpen) {
  TempDir dir;
  const std::string missing = dir.file("absent.json");
  EXPECT_EQ(loadError(missing), "Failed to open configuration file: " + missing);
  EXPECT_EQ(loadError(dir.path().string()),
            "Failed to open configuration file: " + dir.path().string());
}

TEST(PayloadEstimatorConfig, FailedReloadLeavesTheRecordUnchanged) {
  TempDir dir;
  const std::string good = ConfigText().set("max_time", "42").writeTo(dir.file("good.json"));
  const std::string bad =
      ConfigText().set("max_time", "7").setNoise("torque", "0").writeTo(dir.file("bad.json"));
  StdoutCapture out;
  PayloadEstimatorConfig config(good);
  EXPECT_THROW(config.loadConfigFromFile(bad), std::runtime_error);
  EXPECT_EQ(config.max_time, 42.0);
  EXPECT_EQ(config.torque_noise, Eigen::Vector3d::Constant(9e-06));
  EXPECT_EQ(config.getConfigPath(), good);
}

struct BadConfig {
  std::string name;
  std::string fileText;  // the whole file
  std::string message;   // expected exception text
};

void PrintTo(const BadConfig& c, std::ostream* os) { *os << c.name; }

std::string withValue(const std::string& key, const std::string& literal) {
  return ConfigText().set(key, literal).render();
}

std::string without(const std::string& key) { return ConfigText().erase(key).render(); }

class RejectedConfig : public ::testing::TestWithParam<BadConfig> {};

TEST_P(RejectedConfig, ThrowsThePrefixedReasonAndPrintsNothing) {
  TempDir dir;
  const std::string path = dir.file("estimator.json");
  test::writeFile(path, GetParam().fileText);
  StdoutCapture out;
  EXPECT_EQ(loadError(path), GetParam().message);
  EXPECT_EQ(out.text().find("parsed successfully"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    JsonLibraryErrors, RejectedConfig,
    ::testing::Values(
        BadConfig{"NoRootObject", "{\"payload_compensator_config\": {}}",
                  kPrefix + "[json.exception.out_of_range.403] key 'payload_estimator_config' "
                            "not found"},
        BadConfig{"MissingNoiseAxis", without("measurement_noise_covariance.angular_acc.z"),
                  kPrefix + "[json.exception.out_of_range.403] key 'z' not found"},
        BadConfig{"MissingThreshold",
                  without("estimation_covariance_convergence_threshold.wrench_bias"),
                  kPrefix + "[json.exception.out_of_range.403] key 'wrench_bias' not found"},
        BadConfig{"MinTimeAsString", withValue("min_time", "\"5\""),
                  kPrefix + "[json.exception.type_error.302] type must be number, but is string"},
        BadConfig{"MassAsNull", withValue("prior_payload_properties.mass", "null"),
                  kPrefix + "[json.exception.type_error.302] type must be number, but is null"},
        BadConfig{"FlagAsNumber", withValue("output_bias_estimate", "1"),
                  kPrefix + "[json.exception.type_error.302] type must be boolean, but is number"},
        BadConfig{"FileNameAsNumber", withValue("output_config_file_name", "3"),
                  kPrefix + "[json.exception.type_error.302] type must be string, but is number"},
        BadConfig{"NoiseGroupAsArray",
                  ConfigText()
                      .erase("measurement_noise_covariance.force.x")
                      .erase("measurement_noise_covariance.force.y")
                      .erase("measurement_noise_covariance.force.z")
                      .set("measurement_noise_covariance.force", "[1, 1, 1]")
                      .render(),
                  kPrefix + "[json.exception.type_error.304] cannot use at() with array"},
        BadConfig{"NumberOverflow", withValue("max_time", "1e999"),
                  kPrefix + "[json.exception.out_of_range.406] number overflow parsing '1e999'"},
        BadConfig{"Comment", "// estimator\n" + ConfigText().render(),
                  kPrefix + "[json.exception.parse_error.101] parse error at line 1, column 1: "
                            "syntax error while parsing value - invalid literal; last read: '/'"},
        BadConfig{"EmptyFile", "",
                  kPrefix + "[json.exception.parse_error.101] parse error at line 1, column 1: "
                            "syntax error while parsing value - unexpected end of input; expected "
                            "'[', '{', or a literal"}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    RangeErrors, RejectedConfig,
    ::testing::Values(
        BadConfig{"ZeroForceVariance", withValue("measurement_noise_covariance.force.x", "0"),
                  kPrefix + "measurement_noise_covariance.force.x must be a positive finite "
                            "variance, got 0.000000"},
        BadConfig{"NegativeTorqueVariance",
                  withValue("measurement_noise_covariance.torque.z", "-0.1"),
                  kPrefix + "measurement_noise_covariance.torque.z must be a positive finite "
                            "variance, got -0.100000"},
        BadConfig{"ZeroAngularAccelerationVariance",
                  withValue("measurement_noise_covariance.angular_acc.y", "0.0"),
                  kPrefix + "measurement_noise_covariance.angular_acc.y must be a positive finite "
                            "variance, got 0.000000"},
        BadConfig{"NegativeMinTime", withValue("min_time", "-1"),
                  kPrefix + "min_time must be a non-negative finite time, got -1.000000"},
        BadConfig{"NegativeMaxTime", withValue("max_time", "-0.5"),
                  kPrefix + "max_time must be a non-negative finite time, got -0.500000"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vorn

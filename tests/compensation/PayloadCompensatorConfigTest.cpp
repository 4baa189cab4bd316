// PayloadCompensatorConfig : the file format, the success line and the exact
// exception messages, with the JSON library's own what() texts.

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "compensation/PayloadCompensatorConfig.hpp"
#include "compensator/TestSupport.hpp"

namespace {

using vorn::PayloadCompensatorConfig;
using vorn::test::StdoutCapture;
using vorn::test::logLine;
using vorn::test::TempDir;
using vorn::test::readFile;

const std::string kOpen = "Failed to open configuration file: ";
const std::string kParse = "Error parsing configuration file: ";

const std::string kValid = R"({
  "payload_compensator_config": {
    "payload_properties": {
      "mass": 1.25,
      "com": { "x": 0.01, "y": -0.02, "z": 0.05 },
      "inertia": { "Ixx": 0.011, "Ixy": 0.001, "Ixz": -0.002, "Iyy": 0.012, "Iyz": 0.003,
                   "Izz": 0.02 }
    },
    "enable_dynamic_compensation": true
  }
})";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const auto pos = text.find(from);
  EXPECT_NE(pos, std::string::npos) << from;
  if (pos != std::string::npos) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

/// The message of the exception the loader throws for `path`, and what it printed.
std::string loadError(const std::string& path, std::string* printed = nullptr) {
  StdoutCapture capture;
  std::string message;
  try {
    PayloadCompensatorConfig config(path);
  } catch (const std::runtime_error& e) {
    message = e.what();
  }
  if (printed != nullptr) {
    *printed = capture.text();
  }
  return message;
}

std::string loadErrorForText(const std::string& text) {
  TempDir dir;
  std::string printed;
  const std::string message = loadError(dir.write("c.json", text), &printed);
  EXPECT_EQ(printed, "") << "nothing is logged on failure";
  return message;
}

/// What nlohmann::json's own operation throws.
template <typename F>
std::string jsonWhat(F&& f) {
  try {
    f();
  } catch (const nlohmann::json::exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "the JSON operation did not throw";
  return "";
}

TEST(PayloadCompensatorConfig, LoadsEveryValueAndPrintsTheSuccessLine) {
  TempDir dir;
  const std::string path = dir.write("c.json", kValid);
  StdoutCapture capture;
  const PayloadCompensatorConfig config(path);
  EXPECT_EQ(capture.text(), logLine("INFO", "Configuration file has been parsed successfully"));
  EXPECT_EQ(config.mass, 1.25);
  EXPECT_EQ(config.com, Eigen::Vector3d(0.01, -0.02, 0.05));
  Eigen::Matrix<double, 6, 1> inertia;
  inertia << 0.011, 0.001, -0.002, 0.012, 0.003, 0.02;
  EXPECT_EQ(config.inertia, inertia);
  EXPECT_EQ(config.enable_dynamic_compensation, 1.0);
  EXPECT_EQ(config.getConfigPath(), path);
}

TEST(PayloadCompensatorConfig, FalseBecomesZero) {
  const std::string text = replaced(kValid, "\"enable_dynamic_compensation\": true",
                                    "\"enable_dynamic_compensation\": false");
  TempDir dir;
  StdoutCapture silent;
  EXPECT_EQ(PayloadCompensatorConfig(dir.write("c.json", text)).enable_dynamic_compensation, 0.0);
}

TEST(PayloadCompensatorConfig, IntegerAndUnsignedNumbersAreAccepted) {
  std::string text = replaced(kValid, "\"mass\": 1.25", "\"mass\": 2");
  text = replaced(text, "\"x\": 0.01", "\"x\": -1");
  text = replaced(text, "\"Izz\": 0.02", "\"Izz\": 3e0");
  TempDir dir;
  StdoutCapture silent;
  const PayloadCompensatorConfig config(dir.write("c.json", text));
  EXPECT_EQ(config.mass, 2.0);
  EXPECT_EQ(config.com.x(), -1.0);
  EXPECT_EQ(config.inertia[5], 3.0);
}

TEST(PayloadCompensatorConfig, RelativePathIsKeptAsPassed) {
  TempDir dir;
  dir.write("relative.json", kValid);
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  {
    StdoutCapture silent;
    const PayloadCompensatorConfig config("./relative.json");
    EXPECT_EQ(config.getConfigPath(), "./relative.json");
  }
  std::filesystem::current_path(cwd);
}

TEST(PayloadCompensatorConfig, EstimatorFileLoadsWithOrWithoutBias) {
  TempDir dir;
  const vorn::test::Payload p = vorn::test::dyadicPayload();
  StdoutCapture silent;
  const PayloadCompensatorConfig without(
      dir.write("a.json", vorn::test::estimatorStyleConfig(p, false, false)));
  const PayloadCompensatorConfig with(
      dir.write("b.json", vorn::test::estimatorStyleConfig(p, false, true, {1, 2, 3, 4, 5, 6})));
  EXPECT_EQ(without.mass, with.mass);
  EXPECT_EQ(without.com, with.com);
  EXPECT_EQ(without.inertia, with.inertia);
  EXPECT_EQ(without.enable_dynamic_compensation, with.enable_dynamic_compensation);
  EXPECT_EQ(with.mass, 2.0);
}

TEST(PayloadCompensatorConfig, OpenFailures) {
  TempDir dir;
  const std::string missing = (dir.path() / "missing.json").string();
  EXPECT_EQ(loadError(missing), kOpen + missing);
  const std::string directory = dir.path().string();
  std::string printed;
  EXPECT_EQ(loadError(directory, &printed), kOpen + directory);
  EXPECT_EQ(printed, "");
}

TEST(PayloadCompensatorConfig, UnreadableFileFailsToOpen) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root reads files without read permission";
  }
  TempDir dir;
  const std::string path = dir.write("locked.json", kValid);
  std::filesystem::permissions(path, std::filesystem::perms::none);
  EXPECT_EQ(loadError(path), kOpen + path);
}

TEST(PayloadCompensatorConfig, SyntaxErrorsCarryTheParserText) {
  for (const std::string& text : {std::string(""), std::string("{"), std::string("not json"),
                                  std::string("{\"payload_compensator_config\": [1, 2,]}")}) {
    SCOPED_TRACE(text);
    const std::string expected = jsonWhat([&] {
      std::istringstream in(text);
      nlohmann::json j;
      in >> j;
    });
    EXPECT_EQ(expected.rfind("[json.exception.parse_error.", 0), 0U);
    EXPECT_EQ(loadErrorForText(text), kParse + expected);
  }
}

TEST(PayloadCompensatorConfig, TextAfterTheValueIsIgnored) {
  TempDir dir;
  StdoutCapture silent;
  EXPECT_NO_THROW(PayloadCompensatorConfig(dir.write("c.json", kValid + " trailing ] garbage")));
}

TEST(PayloadCompensatorConfig, MissingKeysCarryTheLibraryText) {
  const auto missing = [](const std::string& key) {
    return kParse + jsonWhat([&] { (void)nlohmann::json::object().at(key); });
  };
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"mass\": 1.25,", "")), missing("mass"));
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"y\": -0.02, ", "")), missing("y"));
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"Iyz\": 0.003,", "")), missing("Iyz"));
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"payload_properties\"", "\"props\"")),
            missing("payload_properties"));
  EXPECT_EQ(loadErrorForText("{}"), missing("payload_compensator_config"));
  EXPECT_EQ(missing("mass"), kParse + "[json.exception.out_of_range.403] key 'mass' not found");
}

TEST(PayloadCompensatorConfig, DynamicFlagInsidePayloadPropertiesIsMissing) {
  std::string text = replaced(kValid, ",\n    \"enable_dynamic_compensation\": true", "");
  text =
      replaced(text, "\"mass\": 1.25,", "\"mass\": 1.25, \"enable_dynamic_compensation\": true,");
  EXPECT_EQ(loadErrorForText(text),
            kParse +
                "[json.exception.out_of_range.403] key 'enable_dynamic_compensation' not "
                "found");
}

TEST(PayloadCompensatorConfig, WrongTypesCarryTheLibraryText) {
  const auto asDouble = [](const nlohmann::json& value) {
    return kParse + jsonWhat([&] { (void)value.get<double>(); });
  };
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"mass\": 1.25", "\"mass\": \"1.25\"")),
            asDouble("1.25"));
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"z\": 0.05", "\"z\": false")), asDouble(false));
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"Ixy\": 0.001", "\"Ixy\": null")),
            asDouble(nullptr));
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"Ixx\": 0.011", "\"Ixx\": [0.011]")),
            asDouble(nlohmann::json::array({0.011})));
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"Izz\": 0.02", "\"Izz\": {\"v\": 1}")),
            asDouble(nlohmann::json::object({{"v", 1}})));
  EXPECT_EQ(asDouble("1.25"),
            kParse + "[json.exception.type_error.302] type must be number, but is string");
}

TEST(PayloadCompensatorConfig, DynamicFlagZeroIsRejected) {
  EXPECT_EQ(loadErrorForText(replaced(kValid, "\"enable_dynamic_compensation\": true",
                                      "\"enable_dynamic_compensation\": 0")),
            kParse + "[json.exception.type_error.302] type must be boolean, but is number");
}

}  // namespace

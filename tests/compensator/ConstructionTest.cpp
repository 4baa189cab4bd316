// Construction of vorn::VornPayloadCompensator through its public header only: the lines it
// prints, the configuration file it accepts and the exceptions it throws .

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/VornPayloadCompensator.hpp>

#include "support/RigidBodySamples.hpp"
#include "compensator/TestSupport.hpp"

namespace {

using vorn::VornPayloadCompensator;
using vorn::test::StdoutCapture;
using vorn::test::info;
using vorn::test::plainLines;
using vorn::test::logLine;
using vorn::test::TempDir;
using vorn::test::readFile;

const char* const kBanner = "VornPayloadCompensator version: V1.0.3";
const char* const kParsed = "Configuration file has been parsed successfully";
const char* const kInertia = "Inertia Compensator intialized successfully";
const char* const kStatic =
    "Compensator initialized to compensate only for gravity (static compensation)";
const char* const kDynamic =
    "Compensator initialized to compensate for both gravity and inertia (static + dynamic "
    "compensation)";
const char* const kReady = "Vorn Payload Compensator has been initialized successfully";

const std::string kOpen = "Failed to open configuration file: ";
const std::string kParse = "Error parsing configuration file: ";

// A complete, valid file; tests replace one piece of it to build each failure case.
const std::string kValid = R"({
  "payload_compensator_config": {
    "payload_properties": {
      "mass": 1.5,
      "com": { "x": 0.01, "y": -0.02, "z": 0.05 },
      "inertia": { "Ixx": 0.01, "Ixy": 0.0, "Ixz": 0.0, "Iyy": 0.01, "Iyz": 0.0, "Izz": 0.02 }
    },
    "enable_dynamic_compensation": false
  }
})";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const auto pos = text.find(from);
  if (pos == std::string::npos) {
    ADD_FAILURE() << "fixture text not found: " << from;
    return text;
  }
  text.replace(pos, from.size(), to);
  return text;
}

struct Construction {
  std::string error;   // empty when the constructor succeeded
  std::string output;  // everything printed during construction
};

Construction construct(const std::string& path) {
  Construction result;
  StdoutCapture capture;
  try {
    VornPayloadCompensator compensator(path);
  } catch (const std::runtime_error& e) {
    result.error = e.what();
    if (result.error.empty()) {
      result.error = "<empty what()>";
    }
  }
  result.output = capture.text();
  return result;
}

/// Expects the constructor to fail with `message` after printing the banner only.
void expectFailure(const std::string& path, const std::string& message) {
  const Construction c = construct(path);
  EXPECT_EQ(c.error, message);
  EXPECT_EQ(c.output, logLine("INFO", kBanner)) << "nothing but the banner is printed on failure";
}

void expectFailureForText(const std::string& text, const std::string& message) {
  TempDir dir;
  expectFailure(dir.write("config.json", text), message);
}

TEST(CompensatorConstruction, StaticModePrintsTheFiveLinesInOrder) {
  TempDir dir;
  const Construction c = construct(dir.write("static.json", kValid));
  ASSERT_EQ(c.error, "");
  EXPECT_EQ(c.output, logLine("INFO", kBanner) + logLine("INFO", kParsed) + logLine("INFO", kInertia) +
                          logLine("INFO", kStatic) + logLine("INFO", kReady));
}

TEST(CompensatorConstruction, DynamicModePrintsTheFiveLinesInOrder) {
  TempDir dir;
  const std::string text = replaced(kValid, "\"enable_dynamic_compensation\": false",
                                    "\"enable_dynamic_compensation\": true");
  const Construction c = construct(dir.write("dynamic.json", text));
  ASSERT_EQ(c.error, "");
  EXPECT_EQ(plainLines(c.output),
            (std::vector<std::string>{info(kBanner), info(kParsed), info(kInertia), info(kDynamic),
                                      info(kReady)}));
  EXPECT_EQ(c.output, logLine("INFO", kBanner) + logLine("INFO", kParsed) + logLine("INFO", kInertia) +
                          logLine("INFO", kDynamic) + logLine("INFO", kReady));
}

TEST(CompensatorConstruction, TwoCompensatorsPrintTheLinesTwice) {
  TempDir dir;
  const std::string path = dir.write("twice.json", kValid);
  StdoutCapture capture;
  VornPayloadCompensator first(path);
  VornPayloadCompensator second(path);
  const std::string once = logLine("INFO", kBanner) + logLine("INFO", kParsed) + logLine("INFO", kInertia) +
                           logLine("INFO", kStatic) + logLine("INFO", kReady);
  EXPECT_EQ(capture.text(), once + once);
}

TEST(CompensatorConstruction, DestructionPrintsNothing) {
  TempDir dir;
  const std::string path = dir.write("quiet.json", kValid);
  auto compensator = [&] {
    StdoutCapture silent;
    return std::make_unique<VornPayloadCompensator>(path);
  }();
  StdoutCapture capture;
  compensator.reset();
  EXPECT_EQ(capture.text(), "");
}

// --- Configuration failure table -------------------------------------------------------------

TEST(CompensatorConstruction, MissingFileFailsWithTheOpenMessage) {
  TempDir dir;
  const std::string path = (dir.path() / "does_not_exist.json").string();
  expectFailure(path, kOpen + path);
}

TEST(CompensatorConstruction, RelativeMissingPathIsQuotedAsPassed) {
  expectFailure("no/such/dir/compensator.json", kOpen + "no/such/dir/compensator.json");
}

TEST(CompensatorConstruction, DirectoryFailsWithTheOpenMessage) {
  TempDir dir;
  const std::string path = dir.path().string();
  expectFailure(path, kOpen + path);
  expectFailure(path + "/", kOpen + path + "/");
}

TEST(CompensatorConstruction, UnreadableFileFailsWithTheOpenMessage) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root reads files without read permission";
  }
  TempDir dir;
  const std::string path = dir.write("locked.json", kValid);
  std::filesystem::permissions(path, std::filesystem::perms::none);
  expectFailure(path, kOpen + path);
}

TEST(CompensatorConstruction, EmptyFileIsAParseError) {
  // The text of nlohmann::json's stream extraction (operator>>) for an empty stream.
  expectFailureForText("", kParse +
                               "[json.exception.parse_error.101] parse error at line 1, column 1: "
                               "syntax error while parsing value - unexpected end of input; "
                               "expected '[', '{', or a literal");
}

TEST(CompensatorConstruction, InvalidJsonIsAParseError) {
  const Construction c = [] {
    TempDir dir;
    return construct(dir.write("broken.json", "{ \"payload_compensator_config\": { oops } }"));
  }();
  EXPECT_EQ(c.error.rfind(kParse + "[json.exception.parse_error.101] parse error at line 1", 0), 0U)
      << c.error;
}

TEST(CompensatorConstruction, EachMissingKeyIsNamed) {
  struct Case {
    std::string from;
    std::string to;
    std::string missingKey;
  };
  const std::vector<Case> cases = {
      {"\"payload_compensator_config\"", "\"payload_estimator_config\"",
       "payload_compensator_config"},
      {"\"payload_properties\"", "\"properties\"", "payload_properties"},
      {"\"mass\": 1.5,", "", "mass"},
      {"\"com\": { \"x\": 0.01, \"y\": -0.02, \"z\": 0.05 },", "", "com"},
      {"\"x\": 0.01, ", "", "x"},
      {"\"y\": -0.02, ", "", "y"},
      {", \"z\": 0.05", "", "z"},
      {"\"inertia\"", "\"inertia_tensor\"", "inertia"},
      {"\"Ixx\": 0.01, ", "", "Ixx"},
      {"\"Ixy\": 0.0, ", "", "Ixy"},
      {"\"Ixz\": 0.0, ", "", "Ixz"},
      {"\"Iyy\": 0.01, ", "", "Iyy"},
      {"\"Iyz\": 0.0, ", "", "Iyz"},
      {", \"Izz\": 0.02", "", "Izz"},
      {",\n    \"enable_dynamic_compensation\": false", "", "enable_dynamic_compensation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missingKey);
    expectFailureForText(
        replaced(kValid, c.from, c.to),
        kParse + "[json.exception.out_of_range.403] key '" + c.missingKey + "' not found");
  }
}

TEST(CompensatorConstruction, DynamicFlagInsidePayloadPropertiesIsMissing) {
  std::string text = replaced(kValid, ",\n    \"enable_dynamic_compensation\": false", "");
  text = replaced(text, "\"mass\": 1.5,", "\"mass\": 1.5, \"enable_dynamic_compensation\": true,");
  expectFailureForText(
      text,
      kParse + "[json.exception.out_of_range.403] key 'enable_dynamic_compensation' not found");
}

TEST(CompensatorConstruction, NumberKeysRejectEveryOtherJsonType) {
  const std::string prefix =
      kParse + "[json.exception.type_error.302] type must be number, but is ";
  expectFailureForText(replaced(kValid, "\"mass\": 1.5", "\"mass\": \"1.5\""), prefix + "string");
  expectFailureForText(replaced(kValid, "\"x\": 0.01", "\"x\": true"), prefix + "boolean");
  expectFailureForText(replaced(kValid, "\"z\": 0.05", "\"z\": [0.05]"), prefix + "array");
  expectFailureForText(replaced(kValid, "\"Ixx\": 0.01", "\"Ixx\": null"), prefix + "null");
  expectFailureForText(replaced(kValid, "\"Izz\": 0.02", "\"Izz\": {}"), prefix + "object");
}

TEST(CompensatorConstruction, DynamicFlagMustBeABoolean) {
  const std::string prefix =
      kParse + "[json.exception.type_error.302] type must be boolean, but is ";
  expectFailureForText(replaced(kValid, "\"enable_dynamic_compensation\": false",
                                "\"enable_dynamic_compensation\": 0"),
                       prefix + "number");
  expectFailureForText(replaced(kValid, "\"enable_dynamic_compensation\": false",
                                "\"enable_dynamic_compensation\": 1"),
                       prefix + "number");
  expectFailureForText(replaced(kValid, "\"enable_dynamic_compensation\": false",
                                "\"enable_dynamic_compensation\": \"true\""),
                       prefix + "string");
}

TEST(CompensatorConstruction, ObjectKeysHoldingOtherTypesFail) {
  expectFailureForText(
      replaced(kValid, "\"com\": { \"x\": 0.01, \"y\": -0.02, \"z\": 0.05 }", "\"com\": [1, 2, 3]"),
      kParse + "[json.exception.type_error.304] cannot use at() with array");
}

// --- Accepted variants -------------------------------------------------------------------------

/// Output of one static compensation of a fixed sample.
std::array<double, 12> compensateOnce(const std::string& path) {
  StdoutCapture silent;
  VornPayloadCompensator compensator(path);
  std::array<double, 12> in{1.0, -2.0, 3.0, 0.1, -0.2, 0.3, 0.5, -0.25, 9.5, 0.2, 0.1, -0.3};
  std::array<double, 12> out{};
  EXPECT_EQ(compensator.update(0.5, in, out), 0);
  return out;
}

TEST(CompensatorConstruction, EstimatorFileLoadsWithAndWithoutItsBiasObject) {
  TempDir dir;
  const vorn::test::Payload p = vorn::test::dyadicPayload();
  const std::string without =
      dir.write("without.json", vorn::test::estimatorStyleConfig(p, false, false));
  const std::string with = dir.write(
      "with.json",
      vorn::test::estimatorStyleConfig(p, false, true, {10.0, -20.0, 30.0, 1.0, -2.0, 3.0}));
  EXPECT_EQ(construct(without).error, "");
  EXPECT_EQ(construct(with).error, "");
  EXPECT_EQ(compensateOnce(without), compensateOnce(with)) << "the bias object has no effect";
}

TEST(CompensatorConstruction, IntegerMassIsAcceptedAsDouble) {
  TempDir dir;
  const std::string asInteger = dir.write("int.json", replaced(kValid, "1.5", "2"));
  const std::string asDouble = dir.write("double.json", replaced(kValid, "1.5", "2.0"));
  EXPECT_EQ(construct(asInteger).error, "");
  EXPECT_EQ(compensateOnce(asInteger), compensateOnce(asDouble));
}

TEST(CompensatorConstruction, UnknownKeysAndKeyOrderDoNotMatter) {
  TempDir dir;
  const std::string reordered = R"({ "comment": "hand-written",
    "payload_compensator_config": { "enable_dynamic_compensation": false, "extra": [1, 2],
      "payload_properties": {
        "inertia": { "Izz": 0.02, "Iyz": 0.0, "Iyy": 0.01, "Ixz": 0.0, "Ixy": 0.0, "Ixx": 0.01,
                     "note": null },
        "com": { "z": 0.05, "y": -0.02, "x": 0.01 }, "mass": 1.5 } } })";
  const std::string a = dir.write("reordered.json", reordered);
  const std::string b = dir.write("plain.json", kValid);
  EXPECT_EQ(compensateOnce(a), compensateOnce(b));
}

TEST(CompensatorConstruction, TextAfterTheJsonValueIsNotExamined) {
  TempDir dir;
  const std::string path = dir.write("trailing.json", kValid + "\n}}} not json at all {{{");
  const Construction c = construct(path);
  EXPECT_EQ(c.error, "");
  EXPECT_EQ(plainLines(c.output).size(), 5U);
}

}  // namespace

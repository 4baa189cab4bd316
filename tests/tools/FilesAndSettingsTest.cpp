// The tool's JSON files: payload descriptions, estimator configurations it writes, compensator
// files it reads back; and the small helpers of the commands.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>
#include <vorn/VornPayloadCompensator.hpp>
#include <vorn/VornPayloadEstimator.hpp>

#include "replay/CompensationReplay.hpp"
#include "files/CompensatorFile.hpp"
#include "commands/EstimateCommand.hpp"
#include "commands/EstimatorSettings.hpp"
#include "demo/GnuplotRunner.hpp"
#include "files/PayloadDescription.hpp"
#include "commands/SimulateCommand.hpp"
#include "demo/SimulatedSensor.hpp"
#include "support/StdoutCapture.hpp"
#include "support/TempDir.hpp"
#include "console/ToolError.hpp"
#include "filters/CentredDifferentiator.hpp"
#include "identification/InertialParameters.hpp"

namespace vorn::tools {
namespace {

using nlohmann::json;
using vorn::test::TempDir;
using vorn::test::readFile;

std::string payloadError(const std::string& text) {
  try {
    PayloadDescription::parseJson(text, "p.json");
  } catch (const ToolError& e) {
    return e.what();
  }
  return "";
}

TEST(PayloadFile, ReadsMassCentreInertiaAndBias) {
  const PayloadDescription p = PayloadDescription::parseJson(R"({
    "mass": 2, "com": {"x": 0.01, "y": -0.02, "z": 0.1},
    "inertia_about_com": {"Ixx": 1e-3, "Ixy": 1e-5, "Ixz": 0, "Iyy": 2e-3, "Iyz": 0, "Izz": 3e-3},
    "bias": {"Fx": 1, "Fy": 2, "Fz": 3, "Tx": 0.1, "Ty": 0.2, "Tz": 0.3}, "note": "ignored"})",
                                                             "p.json");
  EXPECT_EQ(p.mass, 2.0);
  EXPECT_EQ(p.com[1], -0.02);
  EXPECT_EQ(p.inertiaAboutCom[1], 1e-5);
  EXPECT_EQ(p.inertiaAboutCom[5], 3e-3);
  EXPECT_EQ(p.bias[2], 3.0);
  EXPECT_EQ(p.bias[5], 0.3);
}

TEST(PayloadFile, InertiaAndBiasAreOptional) {
  const PayloadDescription p = PayloadDescription::parseJson(
      R"({"mass": 0.5, "com": {"x": 0, "y": 0, "z": 0.05}})", "p.json");
  EXPECT_EQ(p.inertiaAboutCom, (std::array<double, 6>{}));
  EXPECT_EQ(p.bias, (std::array<double, 6>{}));
}

TEST(PayloadFile, ErrorsNameTheKey) {
  EXPECT_EQ(payloadError(R"({"com": {"x": 0, "y": 0, "z": 0}})"), "p.json: \"mass\" is missing");
  EXPECT_EQ(payloadError(R"({"mass": "heavy", "com": {"x": 0, "y": 0, "z": 0}})"),
            "p.json: \"mass\" must be a number, found string");
  EXPECT_EQ(payloadError(R"({"mass": -1, "com": {"x": 0, "y": 0, "z": 0}})"),
            "p.json: \"mass\" must be positive");
  EXPECT_EQ(payloadError(R"({"mass": 1, "com": {"x": 0, "z": 0}})"),
            "p.json: in \"com\": \"y\" is missing");
  EXPECT_EQ(payloadError(R"({"mass": 1, "com": [0, 0, 0]})"), "p.json: \"com\" must be an object");
  EXPECT_EQ(payloadError(R"({"mass": 1, "com": {"x": 0, "y": 0, "z": 0},
                             "bias": {"Fx": 1, "Fy": 2, "Fz": 3, "Tx": 0, "Ty": 0}})"),
            "p.json: in \"bias\": \"Tz\" is missing");
  EXPECT_EQ(payloadError("{\"mass\": 1,").rfind("p.json: not valid JSON: ", 0), 0u);
}

TEST(PayloadFile, WrittenFileReadsBackTheSame) {
  TempDir dir;
  const PayloadDescription original = PayloadDescription::demoGripper();
  original.writeJson(dir.file("p.json"));
  const PayloadDescription back = PayloadDescription::readJson(dir.file("p.json"));
  EXPECT_EQ(back.mass, original.mass);
  EXPECT_EQ(back.com, original.com);
  EXPECT_EQ(back.inertiaAboutCom, original.inertiaAboutCom);
  EXPECT_EQ(back.bias, original.bias);
}

TEST(PayloadFile, InertiaAboutTheOriginAddsTheParallelAxisTerm) {
  PayloadDescription pointMass;
  pointMass.mass = 2.0;
  pointMass.com = {1.0, 2.0, 3.0};
  // m (|c|² 1 - c cᵀ) = 2 * [[13, -2, -3], [-2, 10, -6], [-3, -6, 5]]
  const std::array<double, 6> expected{26.0, -4.0, -6.0, 20.0, -12.0, 10.0};
  EXPECT_EQ(pointMass.inertiaAboutOrigin(), expected);

  pointMass.inertiaAboutCom = {0.1, 0.01, 0.02, 0.2, 0.03, 0.3};
  const std::array<double, 6> shifted = pointMass.inertiaAboutOrigin();
  EXPECT_DOUBLE_EQ(shifted[0], 26.1);
  EXPECT_DOUBLE_EQ(shifted[1], -3.99);
  EXPECT_DOUBLE_EQ(shifted[4], -11.97);
}

TEST(PayloadFile, TheBodyPlacesEachInertiaEntryInTheSymmetricMatrix) {
  PayloadDescription p;
  p.mass = 1.5;
  p.com = {0.01, -0.02, 0.03};
  p.inertiaAboutCom = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  const InertialParameters body = p.inertialParameters();
  EXPECT_EQ(body.mass, 1.5);
  EXPECT_EQ(body.com, Eigen::Vector3d(0.01, -0.02, 0.03));
  EXPECT_EQ(body.inertiaAboutCom,
            (Eigen::Matrix3d() << 1.0, 2.0, 3.0, 2.0, 4.0, 5.0, 3.0, 5.0, 6.0).finished());
}

TEST(PayloadFile, DemoGripperIsTheAdvertisedPayload) {
  const PayloadDescription p = PayloadDescription::demoGripper();
  EXPECT_DOUBLE_EQ(p.mass, 1.2);
  EXPECT_NEAR(std::hypot(p.com[0], p.com[1]), 0.016, 0.001);  // off the sensor axis
  EXPECT_NEAR(p.com[2], 0.0754, 0.0005);
  // A real body: positive principal moments (the diagonal of this nearly aligned body).
  EXPECT_GT(p.inertiaAboutCom[0], 0.0);
  EXPECT_GT(p.inertiaAboutCom[3], 0.0);
  EXPECT_GT(p.inertiaAboutCom[5], 0.0);
}

TEST(SimulatedSensorSetup, RejectsWhatCannotBeSimulated) {
  SimulationSettings settings;
  settings.profile = "wobble";
  EXPECT_THROW(SimulatedSensor{settings}, ToolError);
  settings.profile = "tilt";
  settings.rateHz = 0.0;
  EXPECT_THROW(SimulatedSensor{settings}, ToolError);
  settings.rateHz = 100.0;
  settings.payload.inertiaAboutCom = {1.0, 0.0, 0.0, 0.1, 0.0, 0.1};  // Ixx > Iyy + Izz
  try {
    SimulatedSensor sensor(settings);
    FAIL() << "an impossible inertia was accepted";
  } catch (const ToolError& e) {
    EXPECT_NE(std::string(e.what()).find("not physically possible"), std::string::npos);
  }
}

TEST(SimulatedSensorSetup, RecordsTheRequestedSpanAndTheTruth) {
  SimulationSettings settings;
  settings.profile = "tilt";
  settings.rateHz = 200.0;
  settings.noiseScale = 0.0;
  SimulatedSensor sensor(settings);
  Recording recording;
  std::vector<std::array<double, 6>> truth;
  sensor.record(2.0, recording, &truth);
  ASSERT_EQ(recording.size(), 400u);
  ASSERT_EQ(truth.size(), 400u);
  EXPECT_EQ(recording.samples()[1].t, 0.005);
  // Without noise the sensor reads its offset plus the payload's wrench.
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(recording.samples()[17].values[i], settings.payload.bias[i] + truth[17][i], 1e-12);
  }
  // At rest in the first instant the payload pulls with about its weight.
  const auto& f = truth[0];
  EXPECT_NEAR(std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]), 1.2 * 9.81, 0.5);
}

TEST(EstimatorConfiguration, WrittenFileIsAcceptedByTheEstimator) {
  TempDir dir;
  const EstimatorSettings settings =
      EstimatorSettings::recommendedFor(SimulatedSensor::typicalNoise(), 500.0);
  settings.writeJson(dir.file("estimator.json"));
  vorn::test::StdoutCapture quiet;
  EXPECT_NO_THROW(VornPayloadEstimator estimator(dir.file("estimator.json")));
  EXPECT_EQ(quiet.text().find("WARN"), std::string::npos) << quiet.text();
}

TEST(EstimatorConfiguration, NoiseVariancesAreTheSquaredDeviations) {
  NoiseLevels noise{0.1, 0.004, 0.03, 0.002};
  const json config = json::parse(EstimatorSettings::recommendedFor(noise, 500.0).toJsonText())
                          .at("payload_estimator_config");
  const json& covariance = config.at("measurement_noise_covariance");
  EXPECT_DOUBLE_EQ(covariance.at("force").at("y").get<double>(), 0.01);
  EXPECT_DOUBLE_EQ(covariance.at("torque").at("z").get<double>(), 1.6e-5);
  EXPECT_DOUBLE_EQ(covariance.at("linear_acc").at("x").get<double>(), 9e-4);
  EXPECT_DOUBLE_EQ(covariance.at("angular_vel").at("x").get<double>(), 4e-6);
  // The derived angular acceleration: the gyro variance through the derivative at the centre of
  // the least-squares cubic over ±40 ms, the (t, t) entry of (XᵀX)⁻¹ for the columns 1, t, t², t³
  // over the 41 samples at 500 Hz (273.352 s⁻²).
  EXPECT_NEAR(covariance.at("angular_acc").at("z").get<double>(), 4e-6 * 273.3524158950319, 1e-9);
  EXPECT_EQ(config.at("min_time").get<double>(), 0.0);
  EXPECT_TRUE(config.at("output_bias_estimate").get<bool>());
  EXPECT_EQ(config.at("output_config_file_name").get<std::string>(), "payload.json");
}

TEST(EstimatorConfiguration, AngularAccelerationFigureIsTheLibrarysAtEveryRate) {
  // The demo and `simulate --estimator-config` configure the figure of the library's own
  // differentiator, the one the accuracy benchmark uses too; finite at slow rates.
  for (const double rate : {10.0, 20.0, 60.0, 100.0, 125.0, 250.0, 500.0, 1000.0}) {
    const double figure = EstimatorSettings::derivedAngularAccVariance(0.002, rate);
    ASSERT_TRUE(std::isfinite(figure)) << rate;
    EXPECT_DOUBLE_EQ(figure, CentredDifferentiator::slopeVariance(4e-6, rate)) << rate;
    const NoiseLevels noise{0.1, 0.004, 0.03, 0.002};
    EXPECT_DOUBLE_EQ(EstimatorSettings::recommendedFor(noise, rate).angularAccVariance[1], figure)
        << rate;
  }
}

TEST(EstimatorConfiguration, ThresholdsAreThePrecisionWantedWhateverRateAndNoise) {
  const NoiseLevels typical = SimulatedSensor::typicalNoise();
  const EstimatorSettings base = EstimatorSettings::recommendedFor(typical, 500.0);
  const EstimatorSettings faster = EstimatorSettings::recommendedFor(typical, 2000.0);
  EXPECT_DOUBLE_EQ(base.massThreshold, EstimatorSettings::kMassThreshold);
  EXPECT_DOUBLE_EQ(base.comThreshold, EstimatorSettings::kComThreshold);
  EXPECT_DOUBLE_EQ(base.inertiaThreshold, EstimatorSettings::kInertiaThreshold);
  EXPECT_DOUBLE_EQ(base.wrenchBiasThreshold, EstimatorSettings::kWrenchBiasThreshold);
  EXPECT_DOUBLE_EQ(faster.massThreshold, base.massThreshold);
  EXPECT_DOUBLE_EQ(faster.wrenchBiasThreshold, base.wrenchBiasThreshold);
  const NoiseLevels noisy{typical.force_std * 3, typical.torque_std * 3, typical.accel_std * 3,
                          typical.gyro_std * 3};
  const EstimatorSettings noisier = EstimatorSettings::recommendedFor(noisy, 500.0);
  EXPECT_DOUBLE_EQ(noisier.inertiaThreshold, base.inertiaThreshold);
  // The derived angular acceleration's variance follows the gyro's and falls with the rate
  // (more samples in the window, about 9.375 / (h³·rate) for the cubic over ±h).
  EXPECT_NEAR(noisier.angularAccVariance[0], 9.0 * base.angularAccVariance[0], 1e-12);
  EXPECT_NEAR(EstimatorSettings::derivedAngularAccVariance(1.0, 1000.0), 141.29805081027223, 1e-9);
  EXPECT_LT(faster.angularAccVariance[0], base.angularAccVariance[0] / 3.5);
  // A noise-free sensor is configured like a typical one (the estimator needs the ratios).
  const EstimatorSettings silent = EstimatorSettings::recommendedFor(NoiseLevels::none(), 500.0);
  EXPECT_EQ(silent.forceVariance, base.forceVariance);
  EXPECT_EQ(silent.angularAccVariance, base.angularAccVariance);
  EXPECT_EQ(silent.massThreshold, base.massThreshold);
}

const char* kEstimatorOutput = R"({
  "payload_compensator_config": {
    "payload_properties": {
      "mass": 1.5,
      "com": {
        "x": 0.01,
        "y": -0.02,
        "z": 0.08
      },
      "inertia": {
        "Ixx": 0.012,
        "Ixy": 1e-05,
        "Ixz": -0.0002,
        "Iyy": 0.013,
        "Iyz": 0,
        "Izz": 0.004
      },
      "bias": {
        "Fx": 1.5,
        "Fy": -0.8,
        "Fz": 2,
        "Tx": 0.05,
        "Ty": -0.03,
        "Tz": 0.02
      }
    },
    "enable_dynamic_compensation": false
  }
}
)";

TEST(CompensatorConfiguration, ReadsTheEstimatorsFile) {
  TempDir dir;
  const CompensatorFile file =
      CompensatorFile::readJson(dir.write("payload.json", kEstimatorOutput));
  EXPECT_EQ(file.mass, 1.5);
  EXPECT_EQ(file.com, (std::array<double, 3>{0.01, -0.02, 0.08}));
  EXPECT_EQ(file.inertia, (std::array<double, 6>{0.012, 1e-05, -0.0002, 0.013, 0, 0.004}));
  EXPECT_TRUE(file.hasBias);
  EXPECT_EQ(file.bias[5], 0.02);
  EXPECT_FALSE(file.dynamicCompensation);
}

TEST(CompensatorConfiguration, DynamicCopyChangesOnlyTheFlagAndLoadsInTheCompensator) {
  TempDir dir;
  const std::string source = dir.write("payload.json", kEstimatorOutput);
  CompensatorFile::writeCopy(source, dir.file("dynamic.json"), true);
  const CompensatorFile copy = CompensatorFile::readJson(dir.file("dynamic.json"));
  EXPECT_TRUE(copy.dynamicCompensation);
  EXPECT_EQ(copy.mass, 1.5);
  EXPECT_EQ(copy.inertia[1], 1e-05);
  EXPECT_EQ(readFile(source), kEstimatorOutput);

  vorn::test::StdoutCapture capture;
  VornPayloadCompensator compensator(dir.file("dynamic.json"));
  EXPECT_NE(capture.text().find("static + dynamic compensation"), std::string::npos);
}

TEST(CompensatorConfiguration, OtherFilesAreRejectedWithTheirName) {
  TempDir dir;
  const std::string wrong = dir.write("wrong.json", R"({"payload_estimator_config": {}})");
  try {
    CompensatorFile::readJson(wrong);
    FAIL() << "accepted";
  } catch (const ToolError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(wrong + ": not a compensator configuration: ", 0), 0u)
        << e.what();
  }
  EXPECT_THROW(CompensatorFile::writeCopy(wrong, dir.file("copy.json"), true), ToolError);
  EXPECT_FALSE(std::filesystem::exists(dir.file("copy.json")));
}

TEST(CompensationOutput, RejectedSamplesAreWrittenAsNanWithTheirStatus) {
  TempDir dir;
  const std::string config = dir.write("payload.json", kEstimatorOutput);
  Recording recording;
  StampedSample sample;
  sample.values = {0, 0, -14.715, 0, 0, 0, 0, 0, 9.81, 0.01, 0, 0};
  recording.append(sample);
  recording.append(sample);  // the same stamp again: the compensator rejects it
  sample.t = 0.001;
  recording.append(sample);
  std::vector<CompensatedSample> result;
  {
    vorn::test::StdoutCapture quiet;
    CompensationReplay replay(config);
    result = replay.run(recording, std::nullopt, "test", false);
  }
  ASSERT_EQ(result.size(), 3u);
  EXPECT_EQ(result[0].status, 0);
  EXPECT_EQ(result[1].status, 5);
  EXPECT_EQ(result[2].status, 0);
  // Weight of 1.5 kg at rest: -14.715 N measured, compensated to zero.
  EXPECT_NEAR(result[2].wrench[2], 0.0, 1e-9);
  CompensationReplay::writeCsv(result, dir.file("out.csv"));
  const std::string text = readFile(dir.file("out.csv"));
  EXPECT_EQ(text.substr(0, text.find('\n')), "t,fx,fy,fz,tx,ty,tz,status");
  EXPECT_NE(text.find("\n0,nan,nan,nan,nan,nan,nan,5\n"), std::string::npos) << text;
}

TEST(CommandHelpers, NoiseScale) {
  EXPECT_EQ(SimulateCommand::parseNoiseScale("none"), 0.0);
  EXPECT_EQ(SimulateCommand::parseNoiseScale("2.5"), 2.5);
  EXPECT_EQ(SimulateCommand::parseNoiseScale("0"), 0.0);
  for (const char* bad : {"-1", "abc", "", "1x", "inf", "None"}) {
    try {
      SimulateCommand::parseNoiseScale(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const ToolError& e) {
      EXPECT_EQ(e.exitCode(), kExitUsage);
    }
  }
}

TEST(CommandHelpers, CompensatorFileGoesNextToTheEstimatorConfiguration) {
  EXPECT_EQ(EstimateCommand::outputPathFor("cfg/estimator.json", "payload.json"),
            "cfg/payload.json");
  EXPECT_EQ(EstimateCommand::outputPathFor("estimator.json", "payload.json"), "payload.json");
  EXPECT_EQ(EstimateCommand::outputPathFor("cfg/estimator.json", "/abs/p.json"), "/abs/p.json");
}

TEST(CommandHelpers, GnuplotStringsAreQuoted) {
  EXPECT_EQ(GnuplotRunner::quote("plain/path.png"), "'plain/path.png'");
  EXPECT_EQ(GnuplotRunner::quote("it's.png"), "'it''s.png'");
}

}  // namespace
}  // namespace vorn::tools

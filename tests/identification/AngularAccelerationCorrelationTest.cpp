// The derived angular acceleration's noise shared between samples, in the estimate's covariance.
#include "identification/AngularAccelerationCorrelation.hpp"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "filters/CentredDifferentiator.hpp"

namespace vorn {
namespace {

using Correlation = AngularAccelerationCorrelation;

/// Tolerance on sums of a few hundred products of order one.
constexpr double kSumTolerance = 1e-9;

/// A sample's six unweighted rows with the model's zeros: a force row reaches the mass, the
/// first mass moments and its force bias; a torque row the first mass moments, the inertia and
/// its torque bias.
Correlation::Rows randomRows(std::mt19937& generator) {
  std::normal_distribution<double> n(0.0, 1.0);
  Correlation::Rows rows = Correlation::Rows::Zero();
  for (int r = 0; r < 6; ++r) {
    for (int p = 0; p < 10; ++p) {
      const bool reached = r < 3 ? p < 4 : (p >= 1);
      rows(r, p) = reached ? n(generator) : 0.0;
    }
    rows(r, 10 + r) = n(generator);
  }
  return rows;
}

std::array<Correlation::Response, 6> randomResponses(std::mt19937& generator) {
  std::normal_distribution<double> n(0.0, 1.0);
  std::array<Correlation::Response, 6> responses;
  for (auto& r : responses) {
    r = Correlation::Response::NullaryExpr([&]() { return n(generator); });
  }
  return responses;
}

/// Σ_k Σ_l ρ_{|k−l|}·B_k·B_lᵀ − Σ_k Σ_r ‖g_r‖²·h_krᵀ·h_kr, written out over all pairs.
Correlation::Square bruteForce(const std::vector<Correlation::Rows>& samples,
                               const std::vector<bool>& absorbed,
                               const std::array<Correlation::Response, 6>& responses,
                               const std::vector<double>& rho, const Eigen::VectorXd& theta) {
  Eigen::Matrix<double, 17, 1> z;
  z << theta, -1.0;
  std::vector<Correlation::Sensitivity> b(samples.size());
  Correlation::Square own = Correlation::Square::Zero();
  for (std::size_t k = 0; k < samples.size(); ++k) {
    b[k].setZero();
    for (int r = 0; r < 6; ++r) {
      const Eigen::RowVector3d g = (responses[static_cast<std::size_t>(r)] * z).transpose();
      if (absorbed[k]) {
        b[k] += samples[k].row(r).transpose() * g;
        own += g.squaredNorm() * samples[k].row(r).transpose() * samples[k].row(r);
      }
    }
  }
  Correlation::Square sum = -own;
  for (std::size_t k = 0; k < samples.size(); ++k) {
    for (std::size_t l = 0; l < samples.size(); ++l) {
      const std::size_t lag = k > l ? k - l : l - k;
      if (lag < rho.size()) {
        sum += rho[lag] * b[k] * b[l].transpose();
      }
    }
  }
  return sum;
}

TEST(AngularAccelerationCorrelation, UnweightedRowsGiveTheSumOverAllPairsOfSamplesAtTheEstimate) {
  // Random rows and responses, a window of two records a side (lags up to 4), a left-out sample
  // among them: the running sums, weighed at an estimate given only at the end, must equal the
  // sum over all pairs formed at that estimate.
  std::mt19937 generator(3);
  const std::vector<double> rho = CentredDifferentiator::noiseCorrelation(2, 3);
  Correlation c;
  c.setCorrelation(rho);
  const auto responses = randomResponses(generator);
  std::vector<Correlation::Rows> samples;
  std::vector<bool> absorbed;
  for (int k = 0; k < 30; ++k) {
    samples.push_back(randomRows(generator));
    absorbed.push_back(k != 17);
    if (absorbed.back()) {
      c.addUnweighted(samples.back(), responses);
    } else {
      c.addGap();
    }
  }
  std::normal_distribution<double> n(0.0, 1.0);
  const Eigen::VectorXd theta = Eigen::VectorXd::NullaryExpr(16, [&]() { return n(generator); });
  const Correlation::Square expected = bruteForce(samples, absorbed, responses, rho, theta);
  EXPECT_LT((c.correction(theta) - expected).cwiseAbs().maxCoeff(), kSumTolerance);

  // Rescaled equations: as if each had been multiplied by sqrt(f) from the start.
  const std::array<double, 6> factors{{0.5, 2.0, 1.5, 4.0, 0.25, 3.0}};
  c.rescale(factors);
  std::vector<Correlation::Rows> scaled = samples;
  std::array<Correlation::Response, 6> scaledResponses = responses;
  for (int r = 0; r < 6; ++r) {
    for (auto& s : scaled) {
      s.row(r) *= std::sqrt(factors[static_cast<std::size_t>(r)]);
    }
    scaledResponses[static_cast<std::size_t>(r)] *= std::sqrt(factors[static_cast<std::size_t>(r)]);
  }
  const Correlation::Square rescaled = bruteForce(scaled, absorbed, scaledResponses, rho, theta);
  EXPECT_LT((c.correction(theta) - rescaled).cwiseAbs().maxCoeff(), kSumTolerance);

  // A wider window later in the run (jittered stamps) keeps what has been counted.
  c.setCorrelation(CentredDifferentiator::noiseCorrelation(3, 3));
  EXPECT_LT((c.correction(theta) - rescaled).cwiseAbs().maxCoeff(), kSumTolerance);

  c.clear();
  EXPECT_EQ(c.correction(theta), Correlation::Square::Zero());
}

TEST(AngularAccelerationCorrelation, OverUnchangingRowsOnlyTheRecordsEndsRemain) {
  // The derivative's weights sum to zero: over samples with the same rows, the α noise of each
  // sample cancels that of its neighbours, and the shared noise's whole contribution is that of
  // the ends, the same for 200 samples as for 2000. Counted as independent it would grow with
  // the number of samples: the correction takes all of that back but the ends.
  std::mt19937 generator(5);
  const auto responses = randomResponses(generator);
  const Correlation::Rows rows = randomRows(generator);
  const std::vector<double> rho = CentredDifferentiator::noiseCorrelation(40, 3);
  const Eigen::VectorXd theta = Eigen::VectorXd::Constant(16, 0.3);
  Eigen::Matrix<double, 17, 1> z;
  z << theta, -1.0;
  Correlation::Square independent = Correlation::Square::Zero();
  for (int r = 0; r < 6; ++r) {
    independent += (responses[static_cast<std::size_t>(r)] * z).squaredNorm() *
                   rows.row(r).transpose() * rows.row(r);
  }
  Correlation::Sensitivity b = Correlation::Sensitivity::Zero();
  for (int r = 0; r < 6; ++r) {
    b += rows.row(r).transpose() * (responses[static_cast<std::size_t>(r)] * z).transpose();
  }
  const Correlation::Square sample = b * b.transpose();
  std::array<Correlation::Square, 2> total;
  const std::array<int, 2> lengths{{1000, 4000}};
  for (std::size_t i = 0; i < lengths.size(); ++i) {
    Correlation c;
    c.setCorrelation(rho);
    for (int k = 0; k < lengths[i]; ++k) {
      c.addUnweighted(rows, responses);
    }
    total[i] = c.correction(theta) + lengths[i] * independent;
  }
  EXPECT_LT((total[1] - total[0]).cwiseAbs().maxCoeff(), 1e-9 * 4000 * sample.cwiseAbs().maxCoeff());
  // The ends of the ±40 ms cubic at 1 kHz count as 0.44 s of independent samples: 44 % of a
  // second's.
  EXPECT_NEAR(total[0].trace() / (lengths[0] * sample.trace()), 0.44, 0.02);
}

TEST(AngularAccelerationCorrelation, WhitenedSamplesAndGapsKeepTheirDistance) {
  // Whitened rows bring their own responses; a left-out sample between two keeps them two
  // records apart, so the pair counts with ρ_2, not ρ_1.
  std::mt19937 generator(9);
  std::normal_distribution<double> n(0.0, 1.0);
  const std::vector<double> rho = CentredDifferentiator::noiseCorrelation(2, 3);
  using Responses = Eigen::Matrix<double, 6, 3>;
  const Correlation::Rows h0 = Correlation::Rows::NullaryExpr([&]() { return n(generator); });
  const Correlation::Rows h1 = Correlation::Rows::NullaryExpr([&]() { return n(generator); });
  const Responses r0 = Responses::NullaryExpr([&]() { return n(generator); });
  const Responses r1 = Responses::NullaryExpr([&]() { return n(generator); });
  Correlation c;
  c.setCorrelation(rho);
  c.addWhitened(h0, r0);
  c.addGap();
  c.addWhitened(h1, r1);
  auto own = [](const Correlation::Rows& h, const Responses& r) {
    Correlation::Square sum = Correlation::Square::Zero();
    for (int k = 0; k < 6; ++k) {
      sum += r.row(k).squaredNorm() * h.row(k).transpose() * h.row(k);
    }
    return sum;
  };
  const Correlation::Sensitivity b0 = h0.transpose() * r0;
  const Correlation::Sensitivity b1 = h1.transpose() * r1;
  const Correlation::Square expected = b0 * b0.transpose() - own(h0, r0) + b1 * b1.transpose() -
                                       own(h1, r1) +
                                       rho[2] * (b1 * b0.transpose() + b0 * b1.transpose());
  const Eigen::VectorXd theta = Eigen::VectorXd::Zero(16);
  EXPECT_LT((c.correction(theta) - expected).cwiseAbs().maxCoeff(), kSumTolerance);

  // Without a correlation the correction is off.
  Correlation off;
  off.setCorrelation({});
  off.addWhitened(h0, r0);
  EXPECT_FALSE(off.enabled());
  EXPECT_EQ(off.correction(theta), Correlation::Square::Zero());
}

}  // namespace
}  // namespace vorn

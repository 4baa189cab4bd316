// The derived angular acceleration's noise shared between samples, in the estimate's covariance.
#include "identification/AngularAccelerationCorrelation.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
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

/// One absorbed sample for the brute-force sum: its B and the part the independent model counts.
struct Brute {
  Correlation::Sensitivity b = Correlation::Sensitivity::Zero();
  Correlation::Square own = Correlation::Square::Zero();
};

/// An unweighted sample whose equation r is scaled by sqrt(scale[r]) in its row and its
/// response, at θ.
Brute unweighted(const Correlation::Rows& rows, const std::array<Correlation::Response, 6>& responses,
                 const Eigen::VectorXd& theta, const std::array<double, 6>& scale) {
  Eigen::Matrix<double, 17, 1> z;
  z << theta, -1.0;
  Brute s;
  for (int r = 0; r < 6; ++r) {
    const double f = std::sqrt(scale[static_cast<std::size_t>(r)]);
    const Eigen::RowVector3d g = f * (responses[static_cast<std::size_t>(r)] * z).transpose();
    const Eigen::Matrix<double, 16, 1> h = f * rows.row(r).transpose();
    s.b += h * g;
    s.own += g.squaredNorm() * h * h.transpose();
  }
  return s;
}

/// Σ_k Σ_l ρ_{|k−l|}·B_k·B_lᵀ − Σ_k own_k over the samples in order (a gap is an empty entry).
Correlation::Square bruteForce(const std::vector<Brute>& samples, const std::vector<double>& rho) {
  Correlation::Square sum = Correlation::Square::Zero();
  for (std::size_t k = 0; k < samples.size(); ++k) {
    sum -= samples[k].own;
    for (std::size_t l = 0; l < samples.size(); ++l) {
      const std::size_t lag = k > l ? k - l : l - k;
      if (lag < rho.size()) {
        sum += rho[lag] * samples[k].b * samples[l].b.transpose();
      }
    }
  }
  return sum;
}

TEST(AngularAccelerationCorrelation, UnweightedRowsGiveTheSumOverAllPairsOfSamplesAtTheEstimate) {
  // Random rows and responses, a window of two records a side (lags up to 4), a left-out sample
  // among them, equations rescaled after 30 samples and 10 more samples after that: the running
  // sums, weighed at an estimate given only at the end, must equal the sum over all pairs
  // formed at that estimate, the first 30 samples' equations scaled as if from the start.
  std::mt19937 generator(3);
  std::normal_distribution<double> n(0.0, 1.0);
  const std::vector<double> rho = CentredDifferentiator::noiseCorrelation(2, 3);
  const Eigen::VectorXd theta = Eigen::VectorXd::NullaryExpr(16, [&]() { return n(generator); });
  const std::array<double, 6> unit{{1.0, 1.0, 1.0, 1.0, 1.0, 1.0}};
  const std::array<double, 6> factors{{0.5, 2.0, 1.5, 4.0, 0.25, 3.0}};
  Correlation c;
  c.setCorrelation(rho);
  const auto responses = randomResponses(generator);
  c.setUnweightedResponses(responses);
  std::vector<Correlation::Rows> rows;
  std::vector<Brute> before;
  for (int k = 0; k < 40; ++k) {
    if (k == 30) {
      c.rescale(factors);
    }
    if (k == 17) {
      c.addGap();
      rows.push_back(Correlation::Rows::Zero());
      continue;
    }
    rows.push_back(randomRows(generator));
    c.addUnweighted(rows.back());
    if (k == 29) {
      for (int i = 0; i < 30; ++i) {
        before.push_back(unweighted(rows[static_cast<std::size_t>(i)], responses, theta, unit));
      }
      EXPECT_LT((c.correction(theta) - bruteForce(before, rho)).cwiseAbs().maxCoeff(),
                kSumTolerance);
    }
  }
  std::vector<Brute> all;
  for (int k = 0; k < 40; ++k) {
    all.push_back(unweighted(rows[static_cast<std::size_t>(k)], responses, theta,
                             k < 30 ? factors : unit));
  }
  const Correlation::Square expected = bruteForce(all, rho);
  EXPECT_LT((c.correction(theta) - expected).cwiseAbs().maxCoeff(), kSumTolerance);

  // A wider window later in the run (jittered stamps) keeps what has been counted.
  c.setCorrelation(CentredDifferentiator::noiseCorrelation(3, 3));
  EXPECT_LT((c.correction(theta) - expected).cwiseAbs().maxCoeff(), kSumTolerance);

  c.clear();
  EXPECT_EQ(c.correction(theta), Correlation::Square::Zero());
}

TEST(AngularAccelerationCorrelation, WhitenedSamplesPairWithTheUnweightedOnesBeforeTheSwitch) {
  // Ten unweighted samples, the switch (the held ones become B at the reference), a gap, ten
  // whitened samples: every pair within the reach counts, across the switch and the gap too.
  std::mt19937 generator(9);
  std::normal_distribution<double> n(0.0, 1.0);
  const std::vector<double> rho = CentredDifferentiator::noiseCorrelation(2, 3);
  const Eigen::VectorXd theta = Eigen::VectorXd::NullaryExpr(16, [&]() { return n(generator); });
  const std::array<double, 6> unit{{1.0, 1.0, 1.0, 1.0, 1.0, 1.0}};
  using Responses = Eigen::Matrix<double, 6, 3>;
  Correlation c;
  c.setCorrelation(rho);
  const auto responses = randomResponses(generator);
  c.setUnweightedResponses(responses);
  std::vector<Brute> all;
  for (int k = 0; k < 10; ++k) {
    const Correlation::Rows rows = randomRows(generator);
    c.addUnweighted(rows);
    all.push_back(unweighted(rows, responses, theta, unit));
  }
  c.holdUnweightedAsWhitened(theta);
  c.addGap();
  all.emplace_back();
  for (int k = 0; k < 10; ++k) {
    const Correlation::Rows h = Correlation::Rows::NullaryExpr([&]() { return n(generator); });
    const Responses r = Responses::NullaryExpr([&]() { return n(generator); });
    c.addWhitened(h, r);
    Brute s;
    s.b = h.transpose() * r;
    for (int i = 0; i < 6; ++i) {
      s.own += r.row(i).squaredNorm() * h.row(i).transpose() * h.row(i);
    }
    all.push_back(s);
  }
  EXPECT_LT((c.correction(theta) - bruteForce(all, rho)).cwiseAbs().maxCoeff(), kSumTolerance);

  // Without a correlation the correction is off.
  Correlation off;
  off.setCorrelation({});
  off.addWhitened(Correlation::Rows::Ones(), Responses::Ones());
  EXPECT_FALSE(off.enabled());
  EXPECT_EQ(off.correction(theta), Correlation::Square::Zero());
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
    c.setUnweightedResponses(responses);
    for (int k = 0; k < lengths[i]; ++k) {
      c.addUnweighted(rows);
    }
    total[i] = c.correction(theta) + lengths[i] * independent;
  }
  EXPECT_LT((total[1] - total[0]).cwiseAbs().maxCoeff(), 1e-9 * 4000 * sample.cwiseAbs().maxCoeff());
  // The ends of the ±40 ms cubic at 1 kHz count as 0.44 s of independent samples: 44 % of a
  // second's.
  EXPECT_NEAR(total[0].trace() / (lengths[0] * sample.trace()), 0.44, 0.02);
}

}  // namespace
}  // namespace vorn

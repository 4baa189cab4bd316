// Math helpers and normalisation constants.
#include <gtest/gtest.h>

#include <random>

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "identification/Math.hpp"
#include "identification/NormalizationConstants.hpp"

namespace vorn {
namespace {

using Eigen::Matrix3d;
using Eigen::Vector3d;
using Vector6d = Eigen::Matrix<double, 6, 1>;

constexpr int kRandomTrials = 1000;
constexpr unsigned kSeed = 0x5EEDU;
constexpr double kTol = 1e-12;

class MathRandom : public ::testing::Test {
protected:
  Vector3d randomVector3() { return Vector3d(value(rng_), value(rng_), value(rng_)); }
  Vector6d randomVector6() {
    Vector6d v;
    for (int i = 0; i < 6; ++i) {
      v[i] = value(rng_);
    }
    return v;
  }

  const Math math_{};
  std::mt19937 rng_{kSeed};
  std::uniform_real_distribution<double> value{-10.0, 10.0};
};

// ---------------------------------------------------------------------------------------------
// skew

TEST(MathSkew, TableForOneTwoThree) {
  Matrix3d expected;
  expected << 0, -3, 2,  //
      3, 0, -1,          //
      -2, 1, 0;
  EXPECT_EQ(Math().skew(Vector3d(1, 2, 3)), expected);
}

TEST_F(MathRandom, SkewTimesUEqualsTheCrossProduct) {
  for (int trial = 0; trial < kRandomTrials; ++trial) {
    const Vector3d v = randomVector3();
    const Vector3d u = randomVector3();
    const Vector3d cross = v.cross(u);
    EXPECT_LT((math_.skew(v) * u - cross).norm(), kTol * (1.0 + cross.norm())) << trial;
  }
}

TEST_F(MathRandom, SkewIsAntisymmetricWithZeroDiagonal) {
  for (int trial = 0; trial < kRandomTrials; ++trial) {
    const Matrix3d s = math_.skew(randomVector3());
    EXPECT_EQ(s + s.transpose(), Matrix3d::Zero()) << trial;
    EXPECT_EQ(s.diagonal(), Vector3d::Zero()) << trial;
  }
}

// ---------------------------------------------------------------------------------------------
// vechskew and unvech

TEST(MathUnvech, EntriesInVechOrder) {
  Vector6d q;
  q << 1, 2, 3, 4, 5, 6;  // xx, xy, xz, yy, yz, zz
  Matrix3d expected;
  expected << 1, 2, 3,  //
      2, 4, 5,          //
      3, 5, 6;
  EXPECT_EQ(Math().unvech(q), expected);
}

TEST(MathVechskew, TableForOneTwoThree) {
  Eigen::Matrix<double, 3, 6> expected;
  expected << 1, 2, 3, 0, 0, 0,  //
      0, 1, 0, 2, 3, 0,          //
      0, 0, 1, 0, 2, 3;
  EXPECT_EQ(Math().vechskew(Vector3d(1, 2, 3)), expected);
}

TEST_F(MathRandom, VechskewTimesVechEqualsTensorTimesVector) {
  for (int trial = 0; trial < kRandomTrials; ++trial) {
    const Vector3d w = randomVector3();
    const Vector6d q = randomVector6();
    // The symmetric tensor built here from its six entries, independently of unvech.
    Matrix3d inertia;
    inertia << q[0], q[1], q[2],  //
        q[1], q[3], q[4],         //
        q[2], q[4], q[5];
    const Vector3d expected = inertia * w;
    EXPECT_LT((math_.vechskew(w) * q - expected).norm(), kTol * (1.0 + expected.norm())) << trial;
    EXPECT_LT((math_.vechskew(w) * q - math_.unvech(q) * w).norm(), kTol * (1.0 + expected.norm()))
        << trial;
  }
}

TEST_F(MathRandom, UnvechIsSymmetricAndInvertsVech) {
  for (int trial = 0; trial < kRandomTrials; ++trial) {
    const Vector6d q = randomVector6();
    const Matrix3d m = math_.unvech(q);
    EXPECT_EQ(m, m.transpose()) << trial;
    const Vector6d back(m(0, 0), m(0, 1), m(0, 2), m(1, 1), m(1, 2), m(2, 2));
    EXPECT_EQ(back, q) << trial;
  }
}

// ---------------------------------------------------------------------------------------------
// outerProduct

TEST(MathOuterProduct, ShapeIsSizeOfBBySizeOfA) {
  Eigen::VectorXd a(2);
  a << 2, 3;
  Eigen::VectorXd b(3);
  b << 5, 7, 11;
  const Eigen::MatrixXd m = Math().outerProduct(a, b);
  ASSERT_EQ(m.rows(), 3);
  ASSERT_EQ(m.cols(), 2);
  Eigen::MatrixXd expected(3, 2);
  expected << 10, 15,  //
      14, 21,          //
      22, 33;
  EXPECT_EQ(m, expected);
}

TEST_F(MathRandom, OuterProductEntryJKIsBjTimesAk) {
  std::uniform_int_distribution<int> length(0, 17);
  for (int trial = 0; trial < kRandomTrials; ++trial) {
    const Eigen::VectorXd a = Eigen::VectorXd::NullaryExpr(length(rng_), [&]() { return value(rng_); });
    const Eigen::VectorXd b = Eigen::VectorXd::NullaryExpr(length(rng_), [&]() { return value(rng_); });
    const Eigen::MatrixXd m = math_.outerProduct(a, b);
    ASSERT_EQ(m.rows(), b.size());
    ASSERT_EQ(m.cols(), a.size());
    for (Eigen::Index j = 0; j < b.size(); ++j) {
      for (Eigen::Index k = 0; k < a.size(); ++k) {
        EXPECT_EQ(m(j, k), b[j] * a[k]);
      }
    }
  }
}

TEST_F(MathRandom, OneArgumentOuterProductIsTheSymmetricSquare) {
  for (int trial = 0; trial < 100; ++trial) {
    const Eigen::VectorXd a = Eigen::VectorXd::NullaryExpr(16, [&]() { return value(rng_); });
    const Eigen::MatrixXd m = math_.outerProduct(a);
    EXPECT_EQ(m, math_.outerProduct(a, a));
    EXPECT_EQ(m, m.transpose());
  }
}

struct EmptyCase {
  Eigen::Index sizeA;
  Eigen::Index sizeB;
};

class MathOuterProductEmpty : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(MathOuterProductEmpty, IsAnEmptyMatrixOfTheStatedShape) {
  const EmptyCase c = GetParam();
  const Eigen::MatrixXd m =
      Math().outerProduct(Eigen::VectorXd::Ones(c.sizeA), Eigen::VectorXd::Ones(c.sizeB));
  EXPECT_EQ(m.rows(), c.sizeB);
  EXPECT_EQ(m.cols(), c.sizeA);
  EXPECT_EQ(m.size(), 0);
}

INSTANTIATE_TEST_SUITE_P(Part3_1, MathOuterProductEmpty,
                         ::testing::Values(EmptyCase{0, 0}, EmptyCase{0, 3}, EmptyCase{2, 0},
                                           EmptyCase{17, 0}));

TEST(MathOuterProduct, OneArgumentOfAnEmptyVector) {
  const Eigen::MatrixXd m = Math().outerProduct(Eigen::VectorXd());
  EXPECT_EQ(m.rows(), 0);
  EXPECT_EQ(m.cols(), 0);
}

// ---------------------------------------------------------------------------------------------
// Normalisation constants

TEST(NormalizationConstants, EveryFactorIsOne) {
  EXPECT_EQ(NormalizationConstants::input_scale, (Eigen::Matrix<double, 16, 1>::Ones()));
  EXPECT_EQ(NormalizationConstants::inv_input_scale, (Eigen::Matrix<double, 16, 1>::Ones()));
  EXPECT_EQ(NormalizationConstants::output_scale, Vector6d::Ones());
  EXPECT_EQ(NormalizationConstants::inv_output_scale, Vector6d::Ones());
}

TEST(NormalizationConstants, InverseVectorsAreElementwiseReciprocals) {
  EXPECT_EQ(NormalizationConstants::input_scale.cwiseProduct(NormalizationConstants::inv_input_scale),
            (Eigen::Matrix<double, 16, 1>::Ones()));
  EXPECT_EQ(
      NormalizationConstants::output_scale.cwiseProduct(NormalizationConstants::inv_output_scale),
      Vector6d::Ones());
}

}  // namespace
}  // namespace vorn

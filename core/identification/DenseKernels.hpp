#pragma once

#include <cmath>
#include <utility>

#include <Eigen/Core>

/// Small dense kernels for the per-row work of the recursive estimator: LU factorisation with
/// partial pivoting, solves, inverse, and a product that skips unit columns. Column-major
/// throughout; `Dim` is the compile-time size (16 or 17 here, the steps then unroll and
/// vectorise) or Eigen::Dynamic. Zeros are only skipped where their terms are exact zeros.
namespace vorn {
namespace kernels {

template <int Dim>
using Square = Eigen::Matrix<double, Dim, Dim>;
template <int Dim>
using Column = Eigen::Matrix<double, Dim, 1>;
template <int Dim>
using Pivots = Eigen::Matrix<int, Dim, 1>;

/// Size of a square operand: the compile-time size where there is one.
template <int Dim>
inline Eigen::Index sizeOf(Eigen::Index runtime) {
  return Dim == Eigen::Dynamic ? runtime : Dim;
}

/// result = lhs·rhs for square matrices of one size, formed column by column. Where
/// unitColumn[j] is true, column j of lhs is the unit vector e_j: its term only adds rhs(j, c)
/// to result(j, c) (the products with its zeros add nothing for finite rhs), so it is applied
/// after the sum over the other columns. Pass nullptr when no column is known to be a unit
/// vector. `result` must not alias an operand.
template <int Dim>
void multiply(const double* lhs, const double* rhs, double* result, Eigen::Index runtimeSize,
              const bool* unitColumn) {
  const Eigen::Index n = sizeOf<Dim>(runtimeSize);
  using Col = Eigen::Matrix<double, Dim, 1>;
  Eigen::Matrix<int, Dim, 1> general(n);
  Eigen::Matrix<int, Dim, 1> unit(n);
  Eigen::Index generalCount = 0;
  Eigen::Index unitCount = 0;
  for (Eigen::Index j = 0; j < n; ++j) {
    if (unitColumn != nullptr && unitColumn[j]) {
      unit[unitCount++] = static_cast<int>(j);
    } else {
      general[generalCount++] = static_cast<int>(j);
    }
  }
  for (Eigen::Index c = 0; c < n; ++c) {
    const double* rhsColumn = rhs + c * n;
    Eigen::Map<Col> out(result + c * n, n);
    out.setZero();
    for (Eigen::Index t = 0; t < generalCount; ++t) {
      const Eigen::Index j = general[t];
      out += Eigen::Map<const Col>(lhs + j * n, n) * rhsColumn[j];
    }
    for (Eigen::Index t = 0; t < unitCount; ++t) {
      const Eigen::Index j = unit[t];
      out[j] += rhsColumn[j];
    }
  }
}

namespace detail {

/// Largest-magnitude entry of column k on or below the diagonal (the first one on ties).
inline Eigen::Index pivotRow(const double* colK, Eigen::Index k, Eigen::Index n) {
  Eigen::Index p = k;
  double largest = std::abs(colK[k]);
  for (Eigen::Index i = k + 1; i < n; ++i) {
    const double candidate = std::abs(colK[i]);
    if (candidate > largest) {
      largest = candidate;
      p = i;
    }
  }
  return p;
}

/// Step k of the factorisation: pivot, multipliers, update of the trailing block.
/// Written once for run-time sizes; `Fixed` steps below repeat it with compile-time bounds.
inline void luStep(double* d, int* pivots, Eigen::Index k, Eigen::Index n, bool zerosSkippable) {
  double* colK = d + k * n;
  const Eigen::Index p = pivotRow(colK, k, n);
  pivots[k] = static_cast<int>(p);
  if (p != k) {
    for (Eigen::Index j = 0; j < n; ++j) {
      std::swap(d[k + j * n], d[p + j * n]);
    }
  }
  const double pivot = colK[k];
  const double reciprocal = 1.0 / pivot;
  for (Eigen::Index i = k + 1; i < n; ++i) {
    colK[i] *= reciprocal;
  }
  const bool skipZeros = zerosSkippable && pivot != 0.0;
  for (Eigen::Index j = k + 1; j < n; ++j) {
    double* colJ = d + j * n;
    const double factor = colJ[k];
    if (skipZeros && factor == 0.0) {
      continue;
    }
    for (Eigen::Index i = k + 1; i < n; ++i) {
      colJ[i] -= colK[i] * factor;
    }
  }
}

template <int N, int K>
inline void luStepsFixed(double* d, int* pivots, bool zerosSkippable) {
  if constexpr (K < N) {
    double* colK = d + K * N;
    const Eigen::Index p = pivotRow(colK, K, N);
    pivots[K] = static_cast<int>(p);
    if (p != K) {
      for (int j = 0; j < N; ++j) {
        std::swap(d[K + j * N], d[p + j * N]);
      }
    }
    // Fixed-length segments below the diagonal, so that the updates vectorise.
    constexpr int kRest = N - K - 1;
    using Segment = Eigen::Map<Eigen::Matrix<double, kRest, 1>>;
    Segment multipliers(colK + K + 1);
    multipliers *= 1.0 / colK[K];
    // A column with a zero in the pivot row is left as it is: with finite multipliers its
    // update subtracts exact zeros.
    const bool skipZeros = zerosSkippable && colK[K] != 0.0;
    // A local copy cannot alias the columns, so it stays in registers across them.
    const Eigen::Matrix<double, kRest, 1> local = multipliers;
    for (int j = K + 1; j < N; ++j) {
      double* colJ = d + j * N;
      if (skipZeros && colJ[K] == 0.0) {
        continue;
      }
      Segment(colJ + K + 1) -= local * colJ[K];
    }
    luStepsFixed<N, K + 1>(d, pivots, zerosSkippable);
  }
}

/// Forward sweep with the unit lower factor, from row `first` on (entries above are zero).
template <int N, int K>
inline void forwardFixed(const double* lu, double* x, Eigen::Index first) {
  if constexpr (K < N) {
    if (K >= first) {
      constexpr int kRest = N - K - 1;
      Eigen::Map<Eigen::Matrix<double, kRest, 1>>(x + K + 1) -=
          Eigen::Map<const Eigen::Matrix<double, kRest, 1>>(lu + K * N + K + 1) * x[K];
    }
    forwardFixed<N, K + 1>(lu, x, first);
  }
}

/// Backward sweep with the upper factor, from the last row up.
template <int N, int K>
inline void backwardFixed(const double* lu, const double* reciprocals, double* x) {
  if constexpr (K >= 0) {
    const double* colK = lu + K * N;
    x[K] *= reciprocals[K];
    Eigen::Map<Eigen::Matrix<double, K, 1>>(x) -=
        Eigen::Map<const Eigen::Matrix<double, K, 1>>(colK) * x[K];
    backwardFixed<N, K - 1>(lu, reciprocals, x);
  }
}

}  // namespace detail

/// In-place LU factorisation with partial (row) pivoting, P·A = L·U: L unit lower triangular
/// below the diagonal, U upper triangular on and above it; at step k row k was swapped with row
/// pivots[k]. A zero pivot is not detected: the factors then hold infinite or NaN entries, and
/// so does everything solved with them.
///
/// With `exploitZeros`, a trailing column whose entry in the pivot row is zero is not updated.
/// That is exact when the multipliers are finite: partial pivoting keeps them within ±1 for a
/// non-zero pivot, and entries grow at most twofold per step, so finite input well below the
/// overflow threshold guarantees it. Worth it for matrices with zero blocks.
template <int Dim>
void luFactor(Square<Dim>& lu, Pivots<Dim>& pivots, bool exploitZeros = false) {
  // One vectorised pass: the sum is NaN or infinite, or at least the largest magnitude.
  const bool zerosSkippable = exploitZeros && lu.cwiseAbs().sum() < 1e300;
  if constexpr (Dim == Eigen::Dynamic) {
    const Eigen::Index n = lu.rows();
    for (Eigen::Index k = 0; k < n; ++k) {
      detail::luStep(lu.data(), pivots.data(), k, n, zerosSkippable);
    }
  } else {
    detail::luStepsFixed<Dim, 0>(lu.data(), pivots.data(), zerosSkippable);
  }
}

/// Solves L·U·x = y for one column in place (y already permuted); `first` is the index of the
/// first non-zero entry of y, so the forward sweep can start there. `reciprocals` holds the
/// reciprocals of U's diagonal: the backward sweep multiplies by them.
template <int Dim>
void luSubstitute(const double* lu, const double* reciprocals, double* x, Eigen::Index first,
                  Eigen::Index runtimeSize) {
  if constexpr (Dim != Eigen::Dynamic) {
    detail::forwardFixed<Dim, 0>(lu, x, first);
    detail::backwardFixed<Dim, Dim - 1>(lu, reciprocals, x);
  } else {
    const Eigen::Index n = runtimeSize;
    for (Eigen::Index k = first; k < n; ++k) {
      const double v = x[k];
      const double* colK = lu + k * n;
      for (Eigen::Index i = k + 1; i < n; ++i) {
        x[i] -= colK[i] * v;
      }
    }
    for (Eigen::Index k = n - 1; k >= 0; --k) {
      const double* colK = lu + k * n;
      x[k] *= reciprocals[k];
      const double v = x[k];
      for (Eigen::Index i = 0; i < k; ++i) {
        x[i] -= colK[i] * v;
      }
    }
  }
}

/// A⁻¹·b by LU with partial pivoting, without forming the inverse.
template <int Dim>
Column<Dim> luSolve(const Square<Dim>& a, const Column<Dim>& b, bool exploitZeros = false) {
  Square<Dim> lu = a;
  Pivots<Dim> pivots(a.rows());
  luFactor<Dim>(lu, pivots, exploitZeros);
  Column<Dim> x = b;
  for (Eigen::Index k = 0; k < x.size(); ++k) {
    std::swap(x[k], x[pivots[k]]);
  }
  const Column<Dim> reciprocals = lu.diagonal().cwiseInverse();
  luSubstitute<Dim>(lu.data(), reciprocals.data(), x.data(), 0, a.rows());
  return x;
}

/// A⁻¹ by LU with partial pivoting: column j of the inverse solves A·x = e_j.
template <int Dim>
Square<Dim> luInverse(const Square<Dim>& a) {
  const Eigen::Index n = a.rows();
  Square<Dim> lu = a;
  Pivots<Dim> pivots(n);
  luFactor<Dim>(lu, pivots);
  // Row k of P·A is row order[k] of A.
  Pivots<Dim> order(n);
  for (Eigen::Index k = 0; k < n; ++k) {
    order[k] = static_cast<int>(k);
  }
  for (Eigen::Index k = 0; k < n; ++k) {
    std::swap(order[k], order[pivots[k]]);
  }
  const Column<Dim> reciprocals = lu.diagonal().cwiseInverse();
  Square<Dim> inverse = Square<Dim>::Zero(n, n);
  for (Eigen::Index k = 0; k < n; ++k) {
    // P·e_j has its one in row k where order[k] = j.
    const Eigen::Index j = order[k];
    inverse(k, j) = 1.0;
    luSubstitute<Dim>(lu.data(), reciprocals.data(), inverse.data() + j * n, k, n);
  }
  return inverse;
}

}  // namespace kernels
}  // namespace vorn

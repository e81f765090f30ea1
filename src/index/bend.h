// Covariance matrices that must be positive definite: the test, the
// smallest eigenvalue that a report gives, and bending.
#pragma once

#include <Eigen/Dense>
#include <vector>

#include "index/index.h"

namespace kalp {

// The correlation matrix of a covariance matrix; a row of variance 0 keeps
// a 1 on the diagonal and 0 elsewhere.
Eigen::MatrixXd correlations(const Eigen::MatrixXd& cov);

// Whether the covariance matrix is positive definite well enough to solve
// with: the Cholesky factor of its correlation matrix has no pivot below
// 1e-10 (a matrix that singular loses every digit of the index's weights).
bool positivedefinite(const Eigen::MatrixXd& cov);

// The smallest eigenvalue of the correlation matrix of `cov`, and its
// eigenvector.
double smallesteigenvalue(const Eigen::MatrixXd& cov, Eigen::VectorXd* vector = nullptr);

// The eigenvalue below which bending raises the eigenvalues of a
// correlation matrix.
constexpr double bendfloor = 1e-4;

// Bends `cov`: the eigenvalues of its correlation matrix below bendfloor
// are raised to it, the matrix is rescaled to a correlation matrix and
// then to the variances of `cov` again. Returns the correlations that
// moved by more than 0.01.
std::vector<Moved> bend(Eigen::MatrixXd& cov);

} // namespace kalp

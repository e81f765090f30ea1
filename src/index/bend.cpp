#include "index/bend.h"

#include <cmath>

namespace kalp {

namespace {

Eigen::VectorXd deviations(const Eigen::MatrixXd& cov) {
    Eigen::VectorXd sd(cov.rows());
    for (Eigen::Index i = 0; i < cov.rows(); ++i)
        sd(i) = cov(i, i) > 0 ? std::sqrt(cov(i, i)) : 0;
    return sd;
}

} // namespace

Eigen::MatrixXd correlations(const Eigen::MatrixXd& cov) {
    const Eigen::VectorXd sd = deviations(cov);
    const Eigen::Index n = cov.rows();
    Eigen::MatrixXd r(n, n);
    for (Eigen::Index i = 0; i < n; ++i)
        for (Eigen::Index j = 0; j < n; ++j)
            r(i, j) = i == j ? 1.0 : sd(i) > 0 && sd(j) > 0 ? cov(i, j) / (sd(i) * sd(j)) : 0.0;
    return r;
}

bool positivedefinite(const Eigen::MatrixXd& cov) {
    for (Eigen::Index i = 0; i < cov.rows(); ++i)
        if (!(cov(i, i) > 0)) return false;
    const Eigen::LLT<Eigen::MatrixXd> llt(correlations(cov));
    if (llt.info() != Eigen::Success) return false;
    const Eigen::MatrixXd& l = llt.matrixLLT();
    for (Eigen::Index i = 0; i < l.rows(); ++i)
        if (!(l(i, i) * l(i, i) >= 1e-10)) return false;
    return true;
}

double smallesteigenvalue(const Eigen::MatrixXd& cov, Eigen::VectorXd* vector) {
    if (cov.rows() == 0) return 1;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> e(correlations(cov));
    if (vector) *vector = e.eigenvectors().col(0);
    return e.eigenvalues()(0);
}

std::vector<Moved> bend(Eigen::MatrixXd& cov) {
    const Eigen::VectorXd sd = deviations(cov);
    const Eigen::MatrixXd before = correlations(cov);
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> e(before);
    Eigen::VectorXd lambda = e.eigenvalues();
    for (Eigen::Index i = 0; i < lambda.size(); ++i)
        lambda(i) = std::max(lambda(i), bendfloor);
    Eigen::MatrixXd r = e.eigenvectors() * lambda.asDiagonal() * e.eigenvectors().transpose();
    const Eigen::Index n = cov.rows();
    Eigen::VectorXd scale(n);
    for (Eigen::Index i = 0; i < n; ++i)
        scale(i) = 1 / std::sqrt(r(i, i));
    std::vector<Moved> moved;
    for (Eigen::Index i = 0; i < n; ++i)
        for (Eigen::Index j = 0; j < n; ++j) {
            const double after = i == j ? 1.0 : r(i, j) * scale(i) * scale(j);
            if (j > i && std::fabs(after - before(i, j)) > 0.01)
                moved.push_back({static_cast<int>(i), static_cast<int>(j), before(i, j), after});
            cov(i, j) = sd(i) > 0 && sd(j) > 0 ? after * sd(i) * sd(j) : i == j ? cov(i, i) : 0.0;
        }
    return moved;
}

} // namespace kalp

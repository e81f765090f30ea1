#include "index/worth.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "index/covariance.h"

namespace kalp {

namespace {

// A variance that rounding left a little below 0.
double variance(double v, double scale) { return v < 0 && v > -1e-9 * scale ? 0 : v; }

// The response of the path's index of variance `var` in the unit that the
// values of its sources are given in: per year, the other paths' responses
// included, or per generation.
struct Unit {
    const IndexResult& r;
    double years() const { return r.interval[0] + r.interval[1]; }
    double of(const PathIndex& p, double var) const {
        const double response = p.intensity * std::sqrt(std::max(var, 0.0));
        if (!r.peryear) return response;
        const double others = std::accumulate(r.paths.begin(), r.paths.end(), 0.0,
                                              [&](double sum, const PathIndex& q) {
                                                  return &q == &p ? sum : sum + q.at.response;
                                              });
        return (response + others) / years();
    }
    double whole(const PathIndex& p) const { return r.peryear ? r.yearresponse : p.at.response; }
};

// The variance of the index with one more record of source j, from the
// inverse of P: the index without j, and j's new row by the partitioned
// inverse. Returns false when it cannot be valued.
bool onemore(const IndexData& d, const IndexResult& r, const PathIndex& p, const Eigen::MatrixXd& inverse,
             const Eigen::VectorXd& g, Eigen::Index j, double without, double& var) {
    const IndexSource& s = p.sources[static_cast<size_t>(j)];
    const IndexTrait& t = d.traits[static_cast<size_t>(s.trait)];
    const bool group = s.source == Source::fullsibs || s.source == Source::halfsibs || s.source == Source::progeny;
    if (!p.bent.empty() || (!group && t.repeatability < 0)) return false;
    std::vector<IndexSource> sources = p.sources;
    ++sources[static_cast<size_t>(j)].records;
    Eigen::VectorXd x = sourcecovariances(d, r.components, p.C, p.path, sources[static_cast<size_t>(j)], sources);
    if (!x.allFinite()) return false;
    const double own = x(j);
    x(j) = 0;
    // y = P_{-j}^-1 x_{-j}, with P_{-j}^-1 = (P^-1)_{-j,-j} - (P^-1)_{-j,j} (P^-1)_{j,-j} / (P^-1)_jj.
    Eigen::VectorXd y = inverse * x;
    y -= inverse.col(j) * (y(j) / inverse(j, j));
    y(j) = 0;
    Eigen::VectorXd rest = g;
    rest(j) = 0;
    const double h = g(j) - y.dot(rest), left = own - y.dot(x);
    if (!(left > 1e-12 * own)) return false;
    var = without + h * h / left;
    return true;
}

} // namespace

std::vector<SourceValue> sourcevalues(const IndexData& d, const IndexResult& r) {
    std::vector<SourceValue> out;
    const Unit unit{r};
    for (const PathIndex& p : r.paths) {
        const Eigen::Index n = p.P.rows();
        if (n == 0) continue;
        const Eigen::MatrixXd inverse = p.cholesky.solve(Eigen::MatrixXd::Identity(n, n));
        const Eigen::VectorXd g = p.G * p.v;
        const double var = p.at.sdindex * p.at.sdindex;
        const double whole = unit.whole(p);
        for (Eigen::Index j = 0; j < n; ++j) {
            SourceValue s{p.path, static_cast<size_t>(j)};
            const double without = variance(var - p.at.b(j) * p.at.b(j) / inverse(j, j), var);
            s.accuracy = p.at.sdobjective > 0 ? std::sqrt(without) / p.at.sdobjective : 0;
            s.response = unit.of(p, without);
            s.share = whole > 0 ? 100 * (whole - s.response) / whole : 0;
            double more = 0;
            s.more = onemore(d, r, p, inverse, g, j, without, more);
            if (s.more) s.gain = unit.of(p, more) - whole;
            out.push_back(s);
        }
    }
    return out;
}

Efficiency::Efficiency(const PathIndex& p, const Eigen::VectorXd& built)
    : p_(p), covariance_(p.GPG * built), variance_(built.dot(covariance_)) {}

std::optional<double> Efficiency::of(const Eigen::VectorXd& truth) const {
    const double best = truth.dot(p_.GPG * truth);
    if (!(best > 0)) return std::nullopt;
    if (!(variance_ > 0)) return 0.0;
    return std::clamp(truth.dot(covariance_) / std::sqrt(variance_ * best), -1.0, 1.0);
}

const char* changename(WeightChange c) {
    switch (c) {
    case WeightChange::zero: return "zero";
    case WeightChange::half: return "half";
    case WeightChange::twice: return "double";
    case WeightChange::sign: return "sign";
    }
    return "";
}

std::vector<Sensitivity> sensitivities(const IndexResult& r) {
    std::vector<Sensitivity> out;
    for (const PathIndex& p : r.paths)
        for (Eigen::Index j = 0; j < p.v.size(); ++j) {
            if (p.v(j) == 0) continue;
            Sensitivity s{p.path, static_cast<size_t>(j)};
            const double factor[weightchanges] = {0, 0.5, 2, -1};
            for (int c = 0; c < weightchanges; ++c) {
                Eigen::VectorXd built = p.v;
                built(j) *= factor[c];
                s.efficiency[c] = Efficiency(p, built).of(p.v).value_or(0);
            }
            out.push_back(s);
        }
    std::stable_sort(out.begin(), out.end(), [](const Sensitivity& a, const Sensitivity& b) {
        return *std::min_element(a.efficiency, a.efficiency + weightchanges) <
               *std::min_element(b.efficiency, b.efficiency + weightchanges);
    });
    return out;
}

} // namespace kalp

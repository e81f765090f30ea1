// What an index is worth, source by source, and how far it depends on each
// economic weight: from the computed index alone (index/index.h), nothing
// solved again but the row of a source with one more record.
#pragma once

#include <Eigen/Dense>
#include <optional>
#include <vector>

#include "core/indexdata.h"
#include "index/index.h"

namespace kalp {

// The value of a source (Cunningham 1969): the index without it has
// var(I) - b_j^2 / (P^-1)_jj, and the index with one more record of it (one
// more relative of a group, one more repeated record of an animal) its row
// of P for n + 1 records in place of n.
struct SourceValue {
    Path path;
    size_t source = 0;   // into the path's sources
    double accuracy = 0; // of the index without the source
    // The response without it: per year where the result has figures per
    // year (the other path's response included), else per generation of
    // its path, in the value of the objective.
    double response = 0;
    double share = 0;    // the share of the response lost without it (%)
    // Whether one more record is valued: not for a single record of a
    // trait without its repeatability, nor on a path whose matrix was bent.
    bool more = false;
    double gain = 0;     // the response gained by one more record, as `response`
};
std::vector<SourceValue> sourcevalues(const IndexData& d, const IndexResult& r);

// The response that the index built on the weights `built` brings in the
// objective `truth`, as a share of the response of the index built on
// `truth` itself: cov(I*, H) / (sd(I*) sd(H) r_IH), from G'P^-1G alone. 0
// when the index built on `built` has no variance (it selects nothing);
// none when no index of the path's sources tells anything of `truth`.
class Efficiency {
public:
    Efficiency(const PathIndex& p, const Eigen::VectorXd& built);
    std::optional<double> of(const Eigen::VectorXd& truth) const;

private:
    const PathIndex& p_;
    Eigen::VectorXd covariance_; // G'P^-1G built: the covariance of I* with each component
    double variance_;            // of I*
};

// The sensitivity of an index to one economic weight of its objective:
// the efficiency of the index built with that weight set to 0, halved,
// doubled and of the opposite sign, judged against the true objective.
enum class WeightChange { zero, half, twice, sign };
constexpr int weightchanges = 4;
const char* changename(WeightChange c); // "zero", "half", "double", "sign"
struct Sensitivity {
    Path path;
    size_t component = 0; // into the result's components
    double efficiency[weightchanges] = {};
};
// Every component of each path's objective that has an economic weight,
// the weights that need care first: by their lowest efficiency, rising.
std::vector<Sensitivity> sensitivities(const IndexResult& r);

} // namespace kalp

#include "index/constrain.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/stop.h"

namespace kalp {

namespace {

std::vector<Eigen::Index> columns(const IndexResult& r, const std::vector<Aim>& aims) {
    std::vector<Eigen::Index> v(aims.size());
    std::transform(aims.begin(), aims.end(), v.begin(),
                   [&](const Aim& a) { return findcomponent(r.components, a); });
    return v;
}

std::string named(const IndexData& d, const IndexResult& r, const std::vector<Eigen::Index>& at) {
    std::string s;
    for (size_t i = 0; i < at.size(); ++i)
        s += (i ? ", " : "") + componenttext(d, r.components[static_cast<size_t>(at[i])]);
    return s;
}

// (G'P^-1G) of the components `at`, factored; a component that the sources
// tell nothing of, or components that they cannot tell apart, end the run.
Eigen::LLT<Eigen::MatrixXd> factored(const IndexData& d, const IndexResult& r, const PathIndex& p,
                                     const std::vector<Eigen::Index>& at, const std::string& what,
                                     const std::string& fix) {
    const Eigen::Index k = static_cast<Eigen::Index>(at.size());
    Eigen::MatrixXd m(k, k), scaled(k, k);
    for (Eigen::Index i = 0; i < k; ++i)
        for (Eigen::Index j = 0; j < k; ++j)
            m(i, j) = p.GPG(at[static_cast<size_t>(i)], at[static_cast<size_t>(j)]);
    std::string blind;
    for (Eigen::Index i = 0; i < k; ++i) {
        const Eigen::Index c = at[static_cast<size_t>(i)];
        // The share of the component's genetic variance that the sources tell.
        if (!(m(i, i) > 1e-10 * p.C(c, c)))
            blind += (blind.empty() ? "" : ", ") + componenttext(d, r.components[static_cast<size_t>(c)]);
    }
    const std::string path = pathname(p.path);
    if (!blind.empty())
        halt(RunStop{StopKind::input, "", "", what + " cannot be met on the " + path + " path: its sources tell "
                     "nothing of " + blind + ".", fix, ""});
    for (Eigen::Index i = 0; i < k; ++i)
        for (Eigen::Index j = 0; j < k; ++j)
            scaled(i, j) = m(i, j) / std::sqrt(m(i, i) * m(j, j));
    const Eigen::LLT<Eigen::MatrixXd> check(scaled);
    bool singular = check.info() != Eigen::Success;
    for (Eigen::Index i = 0; !singular && i < k; ++i)
        singular = !(check.matrixLLT()(i, i) * check.matrixLLT()(i, i) >= 1e-10);
    if (singular)
        halt(RunStop{StopKind::input, "", "", what + " cannot be met on the " + path + " path: its sources cannot "
                     "tell the\n  responses of " + named(d, r, at) + " apart.", fix, ""});
    return Eigen::LLT<Eigen::MatrixXd>(m);
}

Constrained judged(const PathIndex& p, Eigen::VectorXd weights) {
    Constrained c{p.path, std::move(weights), {}, 0, 0};
    c.at = evaluate(p, c.weights);
    c.response = p.v.dot(c.at.gain);
    c.accuracy = c.at.sdindex > 0 && p.at.sdobjective > 0
                     ? p.v.dot(p.GPG * c.weights) / (c.at.sdindex * p.at.sdobjective)
                     : 0;
    return c;
}

} // namespace

int findcomponent(const std::vector<IndexComponent>& comps, const Aim& aim) {
    for (size_t j = 0; j < comps.size(); ++j)
        if (comps[j].trait == aim.trait && comps[j].effect == aim.effect) return static_cast<int>(j);
    return -1;
}

Constrained restrictedindex(const IndexData& d, const IndexResult& r, const PathIndex& p,
                            const std::vector<Aim>& held) {
    const std::vector<Eigen::Index> at = columns(r, held);
    const Eigen::LLT<Eigen::MatrixXd> m =
        factored(d, r, p, at, "The restriction",
                 "Hold fewer components with --restrict, or give the path sources that tell of them in "
                 "index-sources.csv.");
    const Eigen::VectorXd all = p.GPG * p.v;
    Eigen::VectorXd part(static_cast<Eigen::Index>(at.size()));
    for (size_t i = 0; i < at.size(); ++i)
        part(static_cast<Eigen::Index>(i)) = all(at[i]);
    const Eigen::VectorXd take = m.solve(part);
    Eigen::VectorXd weights = p.v;
    for (size_t i = 0; i < at.size(); ++i)
        weights(at[i]) -= take(static_cast<Eigen::Index>(i));
    return judged(p, weights);
}

Constrained desiredindex(const IndexData& d, const IndexResult& r, const PathIndex& p,
                         const std::vector<Aim>& desired) {
    const std::vector<Eigen::Index> at = columns(r, desired);
    const Eigen::LLT<Eigen::MatrixXd> m =
        factored(d, r, p, at, "The desired gains",
                 "Ask for gains in fewer components in index-desired.csv, or give the path sources that "
                 "tell of them in index-sources.csv.");
    Eigen::VectorXd gains(static_cast<Eigen::Index>(at.size()));
    for (size_t i = 0; i < at.size(); ++i)
        gains(static_cast<Eigen::Index>(i)) = desired[i].gain;
    const Eigen::VectorXd implied = m.solve(gains);
    Eigen::VectorXd weights = Eigen::VectorXd::Zero(p.v.size());
    for (size_t i = 0; i < at.size(); ++i)
        weights(at[i]) = implied(static_cast<Eigen::Index>(i));
    return judged(p, weights);
}

} // namespace kalp

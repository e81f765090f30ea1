#include "index/index.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/stop.h"
#include "index/bend.h"
#include "index/constrain.h"
#include "index/covariance.h"
#include "index/normal.h"

namespace kalp {

namespace {

// A number in a report: six significant digits.
std::string text(double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%.6g", v);
    return s;
}

std::string sourcetext(const IndexData& d, const IndexSource& s) {
    std::string t = std::string(sourcename(s.source)) + " " + d.traits[static_cast<size_t>(s.trait)].name;
    return t + " (" + std::to_string(s.records) + (s.records == 1 ? " record)" : " records)");
}

// The rows that weigh most in an eigenvector, named, for a report on the
// matrix whose smallest eigenvalue it belongs to.
template <class Name>
std::string heaviest(const Eigen::VectorXd& vec, Name name) {
    std::vector<Eigen::Index> order(static_cast<size_t>(vec.size()));
    for (Eigen::Index i = 0; i < vec.size(); ++i)
        order[static_cast<size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](Eigen::Index a, Eigen::Index b) {
        return std::fabs(vec(a)) > std::fabs(vec(b));
    });
    std::string s;
    for (size_t k = 0; k < order.size() && k < 3; ++k)
        s += (k ? "; " : "") + name(order[k]);
    return s;
}

[[noreturn]] void fault(const std::string& what, const std::string& fix) {
    halt(RunStop{StopKind::input, "", "", what, fix, ""});
}

std::vector<LeftOut> leftout(const IndexData& d, const std::vector<IndexComponent>& comps,
                             const ObjectiveWeights& w) {
    std::vector<LeftOut> out;
    for (int k = 1; k < NT; ++k)
        for (const Effect e : {Effect::direct, Effect::maternal}) {
            const double weight = e == Effect::direct ? w.direct[k] : w.maternal[k];
            if (std::fabs(weight) < 1e-6) continue;
            const bool given = std::any_of(comps.begin(), comps.end(), [&](const IndexComponent& c) {
                return c.effect == e && d.traits[static_cast<size_t>(c.trait)].number == k;
            });
            if (!given) out.push_back({k, e, weight});
        }
    return out;
}

void countnotgiven(const IndexData& d, const std::vector<IndexComponent>& comps, int out[3]) {
    const size_t nt = d.traits.size();
    long genetic = 0, phenotypic = 0, litter = 0;
    for (size_t i = 0; i < comps.size(); ++i)
        for (size_t j = i + 1; j < comps.size(); ++j)
            if (comps[i].trait != comps[j].trait) ++genetic;
    for (size_t a = 0; a < nt; ++a)
        for (size_t b = a + 1; b < nt; ++b) {
            ++phenotypic;
            if (d.traits[a].c2 > 0 && d.traits[b].c2 > 0) ++litter;
        }
    out[0] = static_cast<int>(genetic - static_cast<long>(d.genetic.size()));
    out[1] = static_cast<int>(phenotypic - static_cast<long>(d.phenotypic.size()));
    out[2] = static_cast<int>(litter - static_cast<long>(d.litter.size()));
}

// The genetic covariances of the components, checked: a set of genetic
// correlations that no population can have ends the run, or is bent.
Eigen::MatrixXd checkedgenetic(const IndexInputs& in, const std::vector<IndexComponent>& comps,
                               std::vector<Moved>& moved) {
    Eigen::MatrixXd C = geneticcovariances(in.data, comps);
    Eigen::VectorXd vec;
    const double lowest = smallesteigenvalue(C, &vec);
    if (lowest >= -1e-9) return C;
    if (in.bend) {
        moved = bend(C);
        return C;
    }
    fault("The genetic correlations of the trait components are not possible together: their "
          "correlation matrix\n  is not positive semidefinite (its smallest eigenvalue is " +
              text(lowest) + "). The components that weigh most in it:\n  " +
              heaviest(vec, [&](Eigen::Index j) {
                  return componenttext(in.data, comps[static_cast<size_t>(j)]);
              }) + ".",
          "Check the genetic correlations in index-correlations.csv and the correlations of "
          "direct and maternal\n  effects in index-traits.csv, or give --bend to bend them.");
}

// The joint covariance matrix of the sources and the candidate's
// components.
Eigen::MatrixXd joint(const PathIndex& p) {
    const Eigen::Index n = p.P.rows(), m = p.C.rows();
    Eigen::MatrixXd j(n + m, n + m);
    j << p.P, p.G, p.G.transpose(), p.C;
    return j;
}

// Whether the records tell no more of the breeding values than they vary:
// C - G' P^-1 G, the variance left in the components once the sources are
// known, is positive semidefinite (on the scale of C). Returns its smallest
// eigenvalue in `lowest`.
bool consistent(const PathIndex& p, double& lowest) {
    const Eigen::LLT<Eigen::MatrixXd> llt(p.P);
    Eigen::MatrixXd rest = p.C - p.G.transpose() * llt.solve(p.G);
    rest = (rest + rest.transpose()) / 2;
    const Eigen::Index m = rest.rows();
    for (Eigen::Index i = 0; i < m; ++i)
        for (Eigen::Index j = 0; j < m; ++j) {
            const double d = std::sqrt(p.C(i, i) * p.C(j, j));
            rest(i, j) = d > 0 ? rest(i, j) / d : i == j ? 1.0 : 0.0;
        }
    lowest = m ? Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd>(rest, Eigen::EigenvaluesOnly).eigenvalues()(0) : 1;
    return lowest >= -1e-9;
}

PathIndex computepath(const IndexInputs& in, const std::vector<IndexComponent>& comps,
                      const Eigen::MatrixXd& C, const Selection& sel) {
    PathIndex p;
    p.path = sel.path;
    for (const IndexSource& s : in.data.sources)
        if (s.path == sel.path) p.sources.push_back(s);
    p.v = objectivevector(in.data, comps, in.weights[pathindex(sel.path)]);
    p.intensity = sel.intensity >= 0 ? sel.intensity : intensity(sel.proportion);
    p.C = C;
    indexmatrices(in.data, comps, C, sel.path, p.sources, p.P, p.G);
    const std::string path = pathname(sel.path);
    double lowest = 0;
    const bool definite = positivedefinite(p.P);
    if (!definite || !consistent(p, lowest)) {
        if (in.bend) {
            Eigen::MatrixXd j = joint(p);
            p.bent = bend(j);
            const Eigen::Index n = p.P.rows(), m = p.C.rows();
            p.P = j.topLeftCorner(n, n);
            p.G = j.topRightCorner(n, m);
            p.C = j.bottomRightCorner(m, m);
        } else if (!definite) {
            Eigen::VectorXd vec;
            lowest = smallesteigenvalue(p.P, &vec);
            fault("The covariance matrix of the sources of the " + path +
                      " is not positive definite: the correlation\n  matrix of the sources has "
                      "the smallest eigenvalue " + text(lowest) +
                      ". The sources that weigh most in it:\n  " +
                      heaviest(vec, [&](Eigen::Index k) {
                          return sourcetext(in.data, p.sources[static_cast<size_t>(k)]);
                      }) + ".",
                  "Check the phenotypic and genetic correlations of these traits in "
                  "index-correlations.csv and\n  their parameters in index-traits.csv, or give "
                  "--bend to bend the matrix.");
        } else {
            fault("The sources of the " + path + " would tell more of the breeding values than "
                      "these vary: the\n  variance of the components left once the sources are "
                      "known has the smallest eigenvalue " + text(lowest) + "\n  (on the scale "
                      "of their genetic variances). The phenotypic correlations contradict the "
                      "genetic\n  parameters.",
                  "Check the phenotypic correlations in index-correlations.csv against the "
                  "heritabilities and\n  genetic correlations, or give --bend to bend the matrix.");
        }
    }
    p.sourcesd = p.P.diagonal().cwiseSqrt();
    p.cholesky.compute(p.P);
    p.PinvG = p.cholesky.solve(p.G);
    p.GPG = p.G.transpose() * p.PinvG;
    p.GPG = (p.GPG + p.GPG.transpose()) / 2;
    p.at = evaluate(p, p.v);
    if (!(p.at.sdobjective > 0))
        fault("The objective of the " + path +
                  " has no genetic variance: no component with an economic weight\n  has a "
                  "heritability above 0 in index-traits.csv.",
              "Give the traits of the objective their parameters in index-traits.csv, or "
              "check the\n  economic weights of the path's traced group.");
    if (p.at.accuracy > 1 + 1e-9)
        fault("The index of the " + path + " would be more accurate than possible (its accuracy "
                  "comes out at " + text(p.at.accuracy) + ").",
              "Check the phenotypic correlations in index-correlations.csv against the "
              "heritabilities and\n  genetic correlations.");
    p.at.accuracy = std::min(p.at.accuracy, 1.0);
    return p;
}

} // namespace

Eigen::VectorXd objectivevector(const IndexData& d, const std::vector<IndexComponent>& comps,
                                const ObjectiveWeights& w) {
    Eigen::VectorXd v(static_cast<Eigen::Index>(comps.size()));
    for (size_t j = 0; j < comps.size(); ++j) {
        const int k = d.traits[static_cast<size_t>(comps[j].trait)].number;
        v(static_cast<Eigen::Index>(j)) =
            k == 0 ? 0.0 : comps[j].effect == Effect::direct ? w.direct[k] : w.maternal[k];
    }
    return v;
}

ObjectiveWeights objectiveof(const Model& m) {
    ObjectiveWeights w;
    for (int k = 1; k < NT; ++k) {
        w.direct[k] = m.ew_d[k];
        w.maternal[k] = m.ew_m[k];
    }
    return w;
}

std::string componenttext(const IndexData& d, const IndexComponent& c) {
    return d.traits[static_cast<size_t>(c.trait)].name + " " + effectname(c.effect);
}

Evaluation evaluate(const PathIndex& p, const Eigen::VectorXd& v) {
    Evaluation e;
    e.b = p.PinvG * v;
    const Eigen::VectorXd cov = p.GPG * v; // the covariance of the index with each component
    const double var = v.dot(cov);
    e.sdindex = var > 0 ? std::sqrt(var) : 0;
    const double varh = v.dot(p.C * v);
    e.sdobjective = varh > 0 ? std::sqrt(varh) : 0;
    e.accuracy = e.sdobjective > 0 ? e.sdindex / e.sdobjective : 0;
    e.response = p.intensity * e.sdindex;
    e.gain = e.sdindex > 0 ? Eigen::VectorXd(cov * (p.intensity / e.sdindex))
                           : Eigen::VectorXd::Zero(v.size());
    return e;
}

IndexResult computeindex(const IndexInputs& in) {
    IndexResult r;
    r.components = indexcomponents(in.data);
    r.C = checkedgenetic(in, r.components, r.bentgenetic);
    for (const Path path : {Path::rams, Path::ewes}) {
        const int k = pathindex(path);
        r.interval[k] = in.interval[k];
        r.leftout[k] = leftout(in.data, r.components, in.weights[k]);
        for (const Selection& s : in.data.selection)
            if (s.path == path) r.paths.push_back(computepath(in, r.components, r.C, s));
    }
    countnotgiven(in.data, r.components, r.notgiven);
    r.peryear = r.interval[0] > 0 && r.interval[1] > 0;
    r.yeargain = Eigen::VectorXd::Zero(static_cast<Eigen::Index>(r.components.size()));
    if (r.peryear) {
        const double years = r.interval[0] + r.interval[1];
        for (const PathIndex& p : r.paths) {
            r.yeargain += p.at.gain / years;
            r.yearresponse += p.at.response / years;
        }
    }
    for (const PathIndex& p : r.paths) {
        if (!in.held.empty()) r.restricted.push_back(restrictedindex(in.data, r, p, in.held));
        if (!in.data.desired.empty()) r.desired.push_back(desiredindex(in.data, r, p, in.data.desired));
    }
    return r;
}

} // namespace kalp

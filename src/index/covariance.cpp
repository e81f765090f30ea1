#include "index/covariance.h"

#include <algorithm>
#include <cmath>

#include "index/pedigree.h"

namespace kalp {

namespace {

// A breeding value in a record: a component of the record's trait, of an
// animal of the pedigree.
struct Term {
    int comp;
    int animal;
};
struct Terms {
    Term t[2];
    int n = 0;
};

// Where the records of a source stand: one animal (repeated records), or
// two members of a group (one record each).
struct Unit {
    int first, second;
    bool repeated;
};

Unit unitof(Source s) {
    switch (s) {
    case Source::own: return {candidate, candidate, true};
    case Source::dam: return {dam, dam, true};
    case Source::sire: return {sire, sire, true};
    case Source::fullsibs: return {fullsib1, fullsib2, false};
    case Source::halfsibs: return {halfsib1, halfsib2, false};
    case Source::progeny: return {progeny1, progeny2, false};
    }
    return {candidate, candidate, true};
}

// The dam of an animal that bears a record: the candidate is the dam of
// its progeny on the ewes path, the mates are on the rams path.
int damof(int animal, Path path) {
    if (animal == progeny1 || animal == progeny2) {
        if (path == Path::ewes) return candidate;
        return animal == progeny1 ? mate1 : mate2;
    }
    return parentsof(static_cast<Animal>(animal)).dam;
}

bool littermates(int x, int y) {
    auto litter = [](int a) { return a == candidate || a == fullsib1 || a == fullsib2; };
    return x != y && litter(x) && litter(y);
}

class Builder {
public:
    Builder(const IndexData& d, const std::vector<IndexComponent>& comps, const Eigen::MatrixXd& C,
            Path path)
        : d_(d), C_(C), path_(path), nt_(static_cast<int>(d.traits.size())),
          comp_(static_cast<size_t>(nt_) * 2, -1), rp_(nt_, nt_), rc_(nt_, nt_) {
        for (size_t j = 0; j < comps.size(); ++j)
            comp_[static_cast<size_t>(comps[j].trait) * 2 + (comps[j].effect == Effect::maternal)] =
                static_cast<int>(j);
        rp_.setZero();
        rc_.setZero();
        for (const TraitCorrelation& c : d.phenotypic) {
            rp_(c.a, c.b) = c.r;
            rp_(c.b, c.a) = c.r;
        }
        for (const TraitCorrelation& c : d.litter) {
            rc_(c.a, c.b) = c.r;
            rc_(c.b, c.a) = c.r;
        }
    }

    Terms terms(int trait, int animal) const {
        Terms t;
        if (d_.traits[static_cast<size_t>(trait)].ewe) {
            t.t[t.n++] = {comp(trait, Effect::maternal), animal};
            return t;
        }
        t.t[t.n++] = {comp(trait, Effect::direct), animal};
        const int m = comp(trait, Effect::maternal);
        if (m >= 0) t.t[t.n++] = {m, damof(animal, path_)};
        return t;
    }

    // The covariance of records of two traits on two different animals.
    double between(int t1, int x1, int t2, int x2) const {
        const Relationships& a = relationships();
        const Terms r1 = terms(t1, x1), r2 = terms(t2, x2);
        double s = 0;
        for (int i = 0; i < r1.n; ++i)
            for (int j = 0; j < r2.n; ++j)
                s += a.a[r1.t[i].animal][r2.t[j].animal] * C_(r1.t[i].comp, r2.t[j].comp);
        if (littermates(x1, x2)) s += litter(t1, t2);
        return s;
    }

    // The covariance of two records of one animal taken together, and of
    // two taken at different times.
    double same(int t1, int t2) const {
        return t1 == t2 ? sd(t1) * sd(t1) : rp_(t1, t2) * sd(t1) * sd(t2);
    }
    double repeated(int t1, int t2) const {
        const double r1 = trait(t1).repeatability, r2 = trait(t2).repeatability;
        if (t1 == t2) return r1 * sd(t1) * sd(t1);
        return std::sqrt(r1 * r2) * rp_(t1, t2) * sd(t1) * sd(t2);
    }

    double covariance(const IndexSource& k, const IndexSource& l) const {
        const Unit uk = unitof(k.source), ul = unitof(l.source);
        if (k.source != l.source) return between(k.trait, uk.first, l.trait, ul.first);
        const int n = std::max(k.records, l.records);
        const double near = same(k.trait, l.trait);
        if (n == 1) return near;
        const double far =
            uk.repeated ? repeated(k.trait, l.trait) : between(k.trait, uk.first, l.trait, uk.second);
        return far + (near - far) / n;
    }

    double withcandidate(const IndexSource& k, int j) const {
        const Relationships& a = relationships();
        const Terms r = terms(k.trait, unitof(k.source).first);
        double s = 0;
        for (int i = 0; i < r.n; ++i)
            s += a.a[r.t[i].animal][candidate] * C_(r.t[i].comp, j);
        return s;
    }

private:
    const IndexData& d_;
    const Eigen::MatrixXd& C_;
    Path path_;
    int nt_;
    std::vector<int> comp_;
    Eigen::MatrixXd rp_, rc_;

    const IndexTrait& trait(int t) const { return d_.traits[static_cast<size_t>(t)]; }
    double sd(int t) const { return trait(t).sd; }
    int comp(int t, Effect e) const {
        return comp_[static_cast<size_t>(t) * 2 + (e == Effect::maternal)];
    }
    double litter(int t1, int t2) const {
        const double c1 = std::sqrt(trait(t1).c2) * sd(t1), c2 = std::sqrt(trait(t2).c2) * sd(t2);
        return t1 == t2 ? c1 * c1 : rc_(t1, t2) * c1 * c2;
    }
};

} // namespace

std::vector<IndexComponent> indexcomponents(const IndexData& d) {
    std::vector<IndexComponent> v;
    for (size_t t = 0; t < d.traits.size(); ++t) {
        const IndexTrait& tr = d.traits[t];
        const int i = static_cast<int>(t);
        if (tr.ewe) {
            v.push_back({i, Effect::maternal, std::sqrt(tr.h2) * tr.sd});
            continue;
        }
        v.push_back({i, Effect::direct, std::sqrt(tr.h2) * tr.sd});
        if (tr.h2m > 0) v.push_back({i, Effect::maternal, std::sqrt(tr.h2m) * tr.sd});
    }
    return v;
}

Eigen::MatrixXd geneticcovariances(const IndexData& d, const std::vector<IndexComponent>& comps) {
    const Eigen::Index m = static_cast<Eigen::Index>(comps.size());
    Eigen::MatrixXd r = Eigen::MatrixXd::Identity(m, m);
    auto find = [&](int trait, Effect e) {
        for (Eigen::Index j = 0; j < m; ++j)
            if (comps[static_cast<size_t>(j)].trait == trait && comps[static_cast<size_t>(j)].effect == e)
                return j;
        return Eigen::Index{-1};
    };
    for (size_t t = 0; t < d.traits.size(); ++t) {
        const Eigen::Index i = find(static_cast<int>(t), Effect::direct);
        const Eigen::Index j = find(static_cast<int>(t), Effect::maternal);
        if (i >= 0 && j >= 0) r(i, j) = r(j, i) = d.traits[t].rdm;
    }
    for (const GeneticCorrelation& g : d.genetic) {
        const Eigen::Index i = find(g.a, g.ea), j = find(g.b, g.eb);
        if (i >= 0 && j >= 0) r(i, j) = r(j, i) = g.r;
    }
    Eigen::MatrixXd C(m, m);
    for (Eigen::Index i = 0; i < m; ++i)
        for (Eigen::Index j = 0; j < m; ++j)
            C(i, j) = r(i, j) * comps[static_cast<size_t>(i)].sd * comps[static_cast<size_t>(j)].sd;
    return C;
}

void indexmatrices(const IndexData& d, const std::vector<IndexComponent>& comps,
                   const Eigen::MatrixXd& C, Path path, const std::vector<IndexSource>& sources,
                   Eigen::MatrixXd& P, Eigen::MatrixXd& G) {
    const Builder b(d, comps, C, path);
    const Eigen::Index n = static_cast<Eigen::Index>(sources.size());
    const Eigen::Index m = static_cast<Eigen::Index>(comps.size());
    P.resize(n, n);
    G.resize(n, m);
    for (Eigen::Index k = 0; k < n; ++k) {
        const IndexSource& sk = sources[static_cast<size_t>(k)];
        for (Eigen::Index l = 0; l <= k; ++l)
            P(k, l) = P(l, k) = b.covariance(sk, sources[static_cast<size_t>(l)]);
        for (Eigen::Index j = 0; j < m; ++j)
            G(k, j) = b.withcandidate(sk, static_cast<int>(j));
    }
}

Eigen::VectorXd sourcecovariances(const IndexData& d, const std::vector<IndexComponent>& comps,
                                  const Eigen::MatrixXd& C, Path path, const IndexSource& s,
                                  const std::vector<IndexSource>& sources) {
    const Builder b(d, comps, C, path);
    Eigen::VectorXd row(static_cast<Eigen::Index>(sources.size()));
    for (size_t k = 0; k < sources.size(); ++k)
        row(static_cast<Eigen::Index>(k)) = b.covariance(s, sources[k]);
    return row;
}

} // namespace kalp

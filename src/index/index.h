// The selection index of each path and the response it brings: from the
// index data (core/indexdata.h), the economic weights of each path's
// objective and the generation intervals, all in memory. Nothing here
// reads a file or prints; a fault of the data is a RunStop.
//
// The objective of a path is H = v'A over the components of the traits
// that have parameters (v = 0 for those without an economic weight, so
// that their correlated responses show). The index I = b'x over the
// sources x of the path has b = P^-1 G v, with P the covariances of the
// sources and G their covariances with the candidate's components, both
// from the additive relationships of the standard pedigree
// (index/pedigree.h). Computed in double precision throughout.
#pragma once

#include <Eigen/Dense>
#include <string>
#include <vector>

#include "core/indexdata.h"
#include "core/model.h"

namespace kalp {

struct IndexInputs {
    IndexData data;
    ObjectiveWeights weights[pathcount]; // rams, ewes
    // The generation intervals of the rams and of the ewes in years, each
    // -1 when unknown (then there are no figures per year).
    double interval[pathcount] = {-1, -1};
    // Bend a covariance matrix that is not positive definite instead of
    // stopping.
    bool bend = false;
    // The components that a restricted index holds where they are (none:
    // no restricted index).
    std::vector<Aim> held;
};

// A component of a trait with parameters: a column of G.
struct IndexComponent {
    int trait; // index into the traits
    Effect effect;
    double sd; // genetic standard deviation
};

// What an index on a path gives for objective weights v.
struct Evaluation {
    Eigen::VectorXd b;    // weight of each source, per unit of the source
    Eigen::VectorXd gain; // response of each component per generation
    double sdindex = 0, sdobjective = 0, accuracy = 0, response = 0;
};

// A correlation that bending moved: between rows i and j of its matrix.
struct Moved {
    int i, j;
    double before, after;
};

struct PathIndex {
    Path path;
    std::vector<IndexSource> sources; // the rows of P and G
    Eigen::MatrixXd P, G;
    Eigen::MatrixXd C;          // the genetic covariances of the components, as this path has them
    Eigen::VectorXd v;          // the economic weight of each component
    Eigen::LLT<Eigen::MatrixXd> cholesky; // of P
    Eigen::MatrixXd PinvG;      // P^-1 G: b = PinvG v
    Eigen::MatrixXd GPG;        // G' P^-1 G: var(I) = v' GPG v
    double intensity = 0;
    Evaluation at;              // for v
    Eigen::VectorXd sourcesd;   // the standard deviation of each source
    // Correlations that --bend moved in the joint matrix of the sources and
    // the components, [P G; G' C]: rows below the number of sources are
    // sources, the others components.
    std::vector<Moved> bent;
};

// An index whose response is bound (a restricted index, or one for
// desired gains): the Smith-Hazel index of the objective weights
// `weights`, judged against the path's own objective.
struct Constrained {
    Path path;
    Eigen::VectorXd weights; // held: v with the held part taken out; desired: the implied weights
    Evaluation at;           // the index of `weights`: b, the responses, sd(I)
    double accuracy = 0;     // r(I, H) with the path's objective
    double response = 0;     // in the path's objective, per generation
};

// A component with an economic weight that the objective leaves out, as
// no trait of index-traits.csv gives it parameters.
struct LeftOut {
    int number; // KALP's trait number
    Effect effect;
    double weight;
};

struct IndexResult {
    std::vector<IndexComponent> components;
    Eigen::MatrixXd C;                  // genetic covariances of the components
    std::vector<Moved> bentgenetic;     // genetic correlations that --bend moved
    std::vector<PathIndex> paths;       // the selected paths, rams first
    std::vector<LeftOut> leftout[pathcount];
    double interval[pathcount] = {-1, -1};
    bool peryear = false;               // both generation intervals are known
    Eigen::VectorXd yeargain;           // response of each component per year
    double yearresponse = 0;            // the paths' responses in their objectives' values per year
    // The pairs that index-correlations.csv does not give (taken as 0):
    // genetic between components of different traits, phenotypic between
    // traits, litter between traits with a litter effect.
    int notgiven[3] = {0, 0, 0};
    // The restricted index and the index of desired gains of each selected
    // path, when asked for.
    std::vector<Constrained> restricted, desired;
};

// The index and response of every selected path. Parameters that no
// population can have (genetic correlations that are not positive
// semidefinite, sources whose covariance matrix is not positive definite,
// or records that would tell more of the breeding values than these vary:
// the joint matrix [P G; G' C] not positive semidefinite) end the run
// unless `bend`; so does an objective without genetic variance.
IndexResult computeindex(const IndexInputs& in);

// The index of a computed path for other objective weights v (one per
// component): b, the standard deviations, the accuracy and the responses,
// with no factorisation: a few products of the size of G.
Evaluation evaluate(const PathIndex& p, const Eigen::VectorXd& v);

// The objective weights v of the components, from the economic weights of
// a path's objective (0 for a trait only recorded).
Eigen::VectorXd objectivevector(const IndexData& d, const std::vector<IndexComponent>& comps,
                                const ObjectiveWeights& w);
// The economic weights of a complete run.
ObjectiveWeights objectiveof(const Model& m);

// "3 direct", "fat_depth maternal": a component as the reports name it.
std::string componenttext(const IndexData& d, const IndexComponent& c);

} // namespace kalp

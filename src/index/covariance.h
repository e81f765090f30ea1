// The covariances of an index: of the components of the traits with one
// another (C), of the sources of a path with one another (P) and with the
// candidate's components (G).
//
// Every record is a sum of breeding values of named animals of the
// standard pedigree plus environment: a lamb trait's record of animal x is
// D(x) + M(dam of x), a record of a ewe trait her own M(x). Littermates
// share a litter effect; repeated records of one animal share everything
// permanent (the repeatability). Between different animals there are only
// the genetic covariances and, for littermates, the litter covariance.
// Records of two traits on one animal have the phenotypic covariance, of
// which sqrt(r_a r_b) is repeatable, the records of two traits counting as
// nested (the mean of n records of one and m of the other: the difference
// between the same record and another one divided by max(n, m)).
#pragma once

#include <Eigen/Dense>
#include <vector>

#include "core/indexdata.h"
#include "index/index.h"

namespace kalp {

// The components of the traits, trait by trait, direct before maternal: a
// trait of the ewe has her maternal component, a lamb trait its direct one
// and, with a maternal heritability above 0, the maternal one.
std::vector<IndexComponent> indexcomponents(const IndexData& d);

// The genetic covariances of the components.
Eigen::MatrixXd geneticcovariances(const IndexData& d, const std::vector<IndexComponent>& comps);

// P and G of the sources of a path, from the genetic covariances C of the
// components (perhaps bent).
void indexmatrices(const IndexData& d, const std::vector<IndexComponent>& comps,
                   const Eigen::MatrixXd& C, Path path, const std::vector<IndexSource>& sources,
                   Eigen::MatrixXd& P, Eigen::MatrixXd& G);

// The covariances of source `s` with each of `sources`, as a row of P
// would hold them: for a source whose number of records changes.
Eigen::VectorXd sourcecovariances(const IndexData& d, const std::vector<IndexComponent>& comps,
                                  const Eigen::MatrixXd& C, Path path, const IndexSource& s,
                                  const std::vector<IndexSource>& sources);

} // namespace kalp

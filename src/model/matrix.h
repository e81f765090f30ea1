// The gene transmission matrix P: P[i][j] is the share of the genes of
// class i in one year that comes from class j in the year before.
#pragma once

#include "core/model.h"

namespace kalp {

// One system: newborn rows, ageing rows and the progeny row.
void buildone(Model& m);
// Two systems: the rows of system A, the crossing sires, system B and the
// three progeny rows; B's progeny rows split the ewes by pcrossE.
void buildtwo(Model& m);
// Every row 1..acm must sum to 1 within 0.00001 (sums in single precision,
// in a2). Returns 0, or the first row that fails; a row whose sum is not a
// number fails.
int badrow(Model& m);
// Builds and validates the matrix of the run; a bad row ends the run.
void buildmatrix(Model& m);

} // namespace kalp

// The yearly gene flow of the traced class and its discounting.
#pragma once

#include "core/model.h"

namespace kalp {

// Follows the genes of class n_sac for l_inv years through P:
// m_gf is the share in each class in the current year, m_gft the next
// year's being accumulated, m_sum the sum over the years t = 1..l_inv of
// each year's share divided by (1 + u)^t.
void geneflow(Model& m);

} // namespace kalp

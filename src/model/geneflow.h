// The yearly gene flow of the traced class and its discounting.
#pragma once

#include <functional>

#include "core/model.h"

namespace kalp {

// Called for year 0, when m_gf holds 1 for the traced class, and after each
// year t = 1..l_inv, when m_gf holds the shares of year t and m_sum the
// discounted sum up to it.
using YearHook = std::function<void(const Model& m, int t)>;

// Follows the genes of class n_sac for l_inv years through P:
// m_gf is the share in each class in the current year, m_gft the next
// year's being accumulated, m_sum the sum over the years t = 1..l_inv of
// each year's share divided by (1 + u)^t.
void geneflow(Model& m, const YearHook& after = nullptr);

} // namespace kalp

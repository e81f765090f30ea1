// Indexes whose response is bound: a restricted index, under which some
// components do not change, and an index for desired gains, whose
// responses in some components stand in given proportions.
//
// Both are Smith-Hazel indexes of other objective weights. Held
// components R: b_R = [I - P^-1 G U (U'G'P^-1 G U)^-1 U'G'] b is the index of
// v_R = v - U (G'P^-1G)_RR^-1 (G'P^-1G v)_R. Desired gains d in components D:
// b = P^-1 G_D (G_D'P^-1 G_D)^-1 d is the index of the implied weights
// v_D = U (G'P^-1G)_DD^-1 d (0 for the other components); with as many own
// records as components this is Pesek and Baker's b = G^-1 d.
#pragma once

#include <vector>

#include "core/indexdata.h"
#include "index/index.h"

namespace kalp {

// The restricted index of a path. Components that its sources cannot hold
// together (G'P^-1G of them singular) end the run with a report.
Constrained restrictedindex(const IndexData& d, const IndexResult& r, const PathIndex& p,
                            const std::vector<Aim>& held);
// The index of a path for gains in the proportions of `desired`; a set of
// gains that its sources cannot reach together ends the run likewise.
Constrained desiredindex(const IndexData& d, const IndexResult& r, const PathIndex& p,
                         const std::vector<Aim>& desired);

// The component of `aim` among the result's, or -1.
int findcomponent(const std::vector<IndexComponent>& comps, const Aim& aim);

} // namespace kalp

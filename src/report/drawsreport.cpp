#include "report/drawsreport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "model/classes.h"
#include "report/chartkit.h"
#include "report/exports.h"
#include "report/indextable.h"
#include "textio/numbers.h"
#include "textio/utf8.h"

namespace kalp {

using namespace tables;

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A number of the summary as the model holds its weights: single precision.
Cell single(double v) { return {shortest(static_cast<float>(v == 0 ? 0.0 : v)), false}; }

std::string label(const DrawsView& v, const Component& c) {
    return std::to_string(c.trait) + " " + v.names[static_cast<size_t>(c.trait)] + ", " + componentname(c.direct);
}

std::string seedtext(const Draws& d) { return std::to_string(d.seed); }

// The components whose weight is not 0 in the scenario or in some draw.
bool varies(const DrawSummary& s, size_t c) {
    return s.spread.count(c) > 0 && (s.spread.mean(c) != 0 || s.spread.sd(c) != 0);
}

} // namespace

void drawnnumbers(const Model& m, std::vector<double>& out) {
    const std::vector<Component> comps = components(m, false);
    const size_t at = out.size();
    out.resize(at + drawcolumns, nan);
    for (size_t c = 0; c < comps.size() && c < drawcomponents; ++c) {
        out[at + c] = comps[c].ew;
        if (m.gstd == 2 && comps[c].included) {
            out[at + drawcomponents + c] = comps[c].total;
            out[at + 2 * drawcomponents + c] = std::fabs(comps[c].standardised);
        }
    }
}

void DrawSummary::add(const double* numbers) {
    spread.add(numbers);
    ++draws;
    // The five largest absolute standardised weights (above 0), the first
    // in the report's order among equals.
    std::vector<size_t> order;
    const double* standardised = numbers + 2 * drawcomponents;
    for (size_t c = 0; c < drawcomponents; ++c)
        if (standardised[c] > 0) order.push_back(c);
    const size_t n = std::min<size_t>(5, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<long>(n), order.end(), [&](size_t a, size_t b) {
        return std::make_pair(-standardised[a], a) < std::make_pair(-standardised[b], b);
    });
    for (size_t k = 0; k < n; ++k)
        ++top5[order[k]];
}

std::string drawscsv(const DrawsView& v) {
    Table t{{"system", "trait", "name", "component", "mean", "sd", "q05", "q50", "q95", "relative_mean",
             "relative_q05", "relative_q95", "top5_share", "draws", "seed"},
            {}};
    const DrawSummary& s = v.summary;
    const std::string system = describeclass(v.base, v.base.n_sac).block.system;
    const std::vector<Component> comps = components(v.base, false);
    const bool standardised = v.base.gstd == 2;
    for (size_t c = 0; c < comps.size(); ++c) {
        const size_t r = drawcomponents + c;
        const bool relative = s.spread.count(r) > 0;
        t.rows.push_back({text(system), whole(comps[c].trait), text(v.names[static_cast<size_t>(comps[c].trait)]),
                          text(componentname(comps[c].direct)), single(s.spread.mean(c)), single(s.spread.sd(c)),
                          single(s.spread.quantile(c, 0.05)), single(s.spread.quantile(c, 0.5)),
                          single(s.spread.quantile(c, 0.95)), relative ? single(s.spread.mean(r)) : none(),
                          relative ? single(s.spread.quantile(r, 0.05)) : none(),
                          relative ? single(s.spread.quantile(r, 0.95)) : none(),
                          standardised ? real(100.0 * static_cast<double>(s.top5[c]) / static_cast<double>(s.draws))
                                       : none(),
                          whole(s.draws), text(seedtext(v.draws))});
    }
    return csv(t);
}

std::string drawsreport(const DrawsView& v) {
    const DrawSummary& s = v.summary;
    const std::vector<Component> comps = components(v.base, false);
    const bool standardised = v.base.gstd == 2;
    std::string out = "\nEconomic weights over " + std::to_string(s.draws) + " drawn scenarios (seed " +
                      seedtext(v.draws) + "; " + std::to_string(v.draws.values.size()) +
                      (v.draws.values.size() == 1 ? " economic value" : " economic values") + " drawn):\n";
    std::vector<std::string> labels;
    std::vector<size_t> shown;
    size_t width = 9;
    for (size_t c = 0; c < comps.size(); ++c)
        if (varies(s, c)) {
            shown.push_back(c);
            labels.push_back(label(v, comps[c]));
            width = std::max(width, utf8length(labels.back()));
        }
    auto left = [&](const std::string& x) { return x + std::string(width - utf8length(x), ' '); };
    out += "  " + left("component") + "      mean        sd       5 %      50 %      95 %";
    if (standardised) out += "  relative, 5 to 95 %  top 5";
    out += "\n";
    for (size_t i = 0; i < shown.size(); ++i) {
        const size_t c = shown[i], r = drawcomponents + c;
        out += "  " + left(labels[i]) + pad(fixed(s.spread.mean(c)), 10) + pad(fixed(s.spread.sd(c)), 10) +
               pad(fixed(s.spread.quantile(c, 0.05)), 10) + pad(fixed(s.spread.quantile(c, 0.5)), 10) +
               pad(fixed(s.spread.quantile(c, 0.95)), 10);
        if (standardised) {
            const std::string range = s.spread.count(r) > 0 ? fixed(s.spread.quantile(r, 0.05), "%.1f") + " to " +
                                                                  fixed(s.spread.quantile(r, 0.95), "%.1f") + " %"
                                                            : "not included";
            out += pad(range, 21) +
                   pad(fixed(100.0 * static_cast<double>(s.top5[c]) / static_cast<double>(s.draws), "%.0f") + " %", 7);
        }
        out += "\n";
    }
    if (!s.spread.exact())
        out += "The quantiles come from histograms of the draws beyond the first 16384 (within 1/5800 of the "
               "range\nof those draws).\n";
    return out;
}

} // namespace kalp

#include "index/intervals.h"

#include <string>

#include "model/classes.h"

namespace kalp {

namespace {

// The weighted age at lambing of the reproductive classes of a block.
double interval(const Model& m, const Block& b, const double* weights) {
    double sum = 0;
    for (int i = 1; i <= b.reproductive; ++i) {
        const int c = b.first + b.size - b.reproductive + i - 1;
        sum += weights[i] * (describeclass(m, c).age + 1);
    }
    return sum;
}

} // namespace

Intervals generationintervals(const Model& m, int traced) {
    Block layout[8];
    const int n = layoutblocks(m, layout);
    const bool b = std::string(describeclass(m, traced).block.system) == "B";
    Intervals l;
    for (int k = 0; k < n; ++k) {
        const std::string name = layout[k].name;
        if (name == (b ? "rams of B" : "rams of A")) l.rams = interval(m, layout[k], b ? m.l4RB : m.l4RA);
        if (name == (b ? "ewes of B" : "ewes of A")) l.ewes = interval(m, layout[k], b ? m.l4EB : m.l4EA);
    }
    return l;
}

} // namespace kalp

#include "model/classes.h"

namespace kalp {

int layoutblocks(const Model& m, Block out[8]) {
    int n = 0;
    int next = 1;
    auto add = [&](const char* system, const char* sex, const char* name, int size,
                   int reproductive, bool progeny) {
        out[n++] = Block{system, sex, name, next, size, reproductive, progeny};
        next += size;
    };
    add("A", "rams", "rams of A", m.acsA, m.RRA, false);
    add("A", "ewes", "ewes of A", m.acdA, m.LLA, false);
    if (m.prods == 1) {
        add("A", "progeny", "progeny of A", 1, 0, true);
        return n;
    }
    // Rams of A used on ewes of B have the reproductive classes of system B.
    add("A", "rams", "crossing rams of A", m.acsAB, m.RRB, false);
    add("B", "rams", "rams of B", m.acsB, m.RRB, false);
    add("B", "ewes", "ewes of B", m.acdB, m.LLB, false);
    add("A", "progeny", "progeny of A", 1, 0, true);
    add("B", "progeny", "purebred progeny of B", 1, 0, true);
    add("A x B", "progeny", "crossbred progeny (A rams x B ewes)", 1, 0, true);
    return n;
}

ClassInfo describeclass(const Model& m, int c) {
    Block layout[8];
    const int n = layoutblocks(m, layout);
    ClassInfo info{layout[n - 1], 1, 0, 0, false};
    for (int k = 0; k < n; ++k) {
        const Block& b = layout[k];
        if (c < b.first || c >= b.first + b.size) continue;
        const int position = c - b.first + 1;
        const int fromlast = b.size - position; // 0 for the oldest class
        const int reproductive = fromlast < b.reproductive ? b.reproductive - fromlast : 0;
        info = ClassInfo{b, position, position - 1, reproductive, !b.progeny};
        break;
    }
    return info;
}

std::string groupname(const ClassInfo& c) {
    if (c.block.progeny) return c.block.name;
    std::string s = c.position == 1 ? std::string("newborn ") + c.block.name : c.block.name;
    if (c.reproductive > 0)
        s += " in reproductive class " + std::to_string(c.reproductive);
    else if (c.position > 1)
        s += " before first use";
    return s;
}

} // namespace kalp

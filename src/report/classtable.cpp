#include "report/classtable.h"

#include <cstdio>

#include "model/classes.h"

namespace kalp {

void printclasses(const Model& m) {
    const int bound = m.prods == 1 ? m.acm - 1 : m.acm - 3;
    std::printf("Sex and age groups of %s: %d in all.\n"
                "The traced group in %s may be any of 1 to %d.\n\n",
                m.prods == 1 ? "one production system" : "two production systems", m.acm,
                m.prods == 1 ? "INPUTVRD02.TXT" : "INPUTVRD03.TXT", bound);
    std::printf("class  system  age  traceable  group\n");
    for (int c = 1; c <= m.acm; ++c) {
        const ClassInfo info = describeclass(m, c);
        std::printf("%5d  %-6s  %3d  %-9s  %s\n", c, info.block.system, info.age,
                    info.traceable ? "yes" : "no", groupname(info).c_str());
    }
}

} // namespace kalp

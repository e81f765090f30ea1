#include "report/classtable.h"

#include "model/classes.h"
#include "textio/stream.h"

namespace kalp {

std::string classtable(const Model& m) {
    std::string out;
    const Sink s{&out};
    s.format("Sex and age groups of %s: %d in all.\n"
             "The traced group in %s may be any of 1 to %d.\n\n",
             m.prods == 1 ? "one production system" : "two production systems", m.acm,
             m.prods == 1 ? "INPUTVRD02.TXT" : "INPUTVRD03.TXT", tracedbound(m));
    s.put("class  system  age  traceable  group\n");
    for (int c = 1; c <= m.acm; ++c) {
        const ClassInfo info = describeclass(m, c);
        s.format("%5d  %-6s  %3d  %-9s  %s\n", c, info.block.system, info.age,
                 info.traceable ? "yes" : "no", groupname(info).c_str());
    }
    return out;
}

} // namespace kalp

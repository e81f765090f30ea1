#include "core/indexdata.h"

namespace kalp {

const char* effectname(Effect e) { return e == Effect::direct ? "direct" : "maternal"; }

const char* pathname(Path p) { return p == Path::rams ? "rams" : "ewes"; }

const char* sourcename(Source s) {
    switch (s) {
    case Source::own: return "own";
    case Source::dam: return "dam";
    case Source::sire: return "sire";
    case Source::fullsibs: return "fullsibs";
    case Source::halfsibs: return "halfsibs";
    case Source::progeny: return "progeny";
    }
    return "";
}

int pathindex(Path p) { return p == Path::rams ? 0 : 1; }

} // namespace kalp

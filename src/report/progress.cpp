#include "report/progress.h"

#include <unistd.h>

#include <cstdio>

namespace kalp {

namespace {
using steady = std::chrono::steady_clock;
constexpr auto quiet = std::chrono::seconds(1);         // nothing shown before
constexpr auto redraw = std::chrono::milliseconds(250); // between two drawings
constexpr unsigned every = 256;                         // calls between clock readings
} // namespace

Progress startprogress(const char* what, const char* unit) {
    Progress p;
    p.what = what;
    p.unit = unit;
    p.terminal = isatty(fileno(stderr)) != 0;
    p.start = p.drawn = steady::now();
    return p;
}

void showprogress(Progress& p, long done, long total) {
    if (!p.terminal || ++p.calls % every != 0) return;
    const auto now = steady::now();
    if (now - p.start < quiet || now - p.drawn < redraw) return;
    p.drawn = now;
    const double elapsed = std::chrono::duration<double>(now - p.start).count();
    const double left = done > 0 ? elapsed * static_cast<double>(total - done) / done : 0;
    const int n = std::fprintf(stderr, "\r%s: %ld of %ld %s (%ld%%), about %.0f s left   ", p.what,
                               done, total, p.unit, total > 0 ? done * 100 / total : 0L, left);
    if (n > p.width) p.width = n;
    std::fflush(stderr);
}

void endprogress(Progress& p) {
    if (p.width == 0) return;
    std::fprintf(stderr, "\r%*s\r", p.width, "");
    std::fflush(stderr);
    p.width = 0;
}

} // namespace kalp

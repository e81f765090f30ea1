#include "report/progress.h"

#include <unistd.h>

#include <cstdio>

namespace kalp {

namespace {
using steady = std::chrono::steady_clock;
constexpr auto quiet = std::chrono::seconds(1);         // nothing shown before
constexpr auto redraw = std::chrono::milliseconds(250); // between two drawings
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
    if (!p.terminal) return;
    // A steady clock costs some tens of nanoseconds; a unit of work more.
    const auto now = steady::now();
    if (now - p.start < quiet || now - p.drawn < redraw) return;
    p.drawn = now;
    const double elapsed = std::chrono::duration<double>(now - p.start).count();
    char left[48] = "";
    if (done > 0)
        std::snprintf(left, sizeof left, ", about %.0f s left",
                      elapsed * static_cast<double>(total - done) / static_cast<double>(done));
    const int n = std::fprintf(stderr, "\r%s: %ld of %ld %s (%ld%%)%s   ", p.what, done, total,
                               p.unit, total > 0 ? done * 100 / total : 0L, left);
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

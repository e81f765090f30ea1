#include "report/progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace kalp {

namespace {
using steady = std::chrono::steady_clock;
constexpr auto quiet = std::chrono::seconds(1);         // nothing shown before
constexpr auto redraw = std::chrono::milliseconds(250); // between two drawings
} // namespace

Progress startprogress(Console& console, const char* what, const char* unit) {
    Progress p;
    p.console = &console;
    p.what = what;
    p.unit = unit;
    p.terminal = console.terminal();
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
    char line[160];
    const int n = std::snprintf(line, sizeof line, "\r%s: %ld of %ld %s (%ld%%)%s   ", p.what, done,
                                total, p.unit, total > 0 ? done * 100 / total : 0L, left);
    if (n <= 0) return;
    p.console->progress(std::string_view(line, std::min<size_t>(static_cast<size_t>(n), sizeof line - 1)));
    if (n > p.width) p.width = n;
}

void endprogress(Progress& p) {
    if (p.width == 0) return;
    std::string blank(static_cast<size_t>(p.width) + 2, ' ');
    blank.front() = blank.back() = '\r';
    p.console->progress(blank);
    p.width = 0;
}

} // namespace kalp

// A progress line for long work: shown only when the console has a
// terminal for it and the work has taken more than about a second,
// redrawn a few times a second and erased when the work is done. Standard
// output never sees it.
#pragma once

#include <chrono>

#include "textio/console.h"

namespace kalp {

struct Progress {
    Console* console = nullptr;
    const char* what = ""; // "Gene flow"
    const char* unit = ""; // "years"
    bool terminal = false;
    int width = 0; // of the line on the terminal, 0 when none is shown
    std::chrono::steady_clock::time_point start, drawn;
};

Progress startprogress(Console& console, const char* what, const char* unit);
// `done` of `total` units are done; cheap enough to call for every unit.
// Whether the line is drawn depends on the time alone, not on the number
// of calls.
void showprogress(Progress& p, long done, long total);
// Erases the line, if it was shown.
void endprogress(Progress& p);

} // namespace kalp

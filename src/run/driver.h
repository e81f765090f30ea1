// One run of KALP in the current working directory.
#pragma once

namespace kalp {

// Runs every stage in order; returns the exit status: 0 for a complete run,
// 1 when the run ended early with a report on the console.
int run();

} // namespace kalp

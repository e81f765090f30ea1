// The console texts of a run: the banner, the farewell and the time line.
#pragma once

#include <ctime>

namespace kalp {

void banner();
void farewell(int prods);
void timeline(std::clock_t zac, std::clock_t kon);

} // namespace kalp

// The console texts of a run: the banner, the farewell and the time line.
#pragma once

#include <ctime>
#include <string>

namespace kalp {

std::string banner();
std::string farewell(int prods);
std::string timeline(std::clock_t zac, std::clock_t kon);

} // namespace kalp

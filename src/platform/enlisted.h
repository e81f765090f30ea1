// Inside the platform unit: the one call that the list of temporary files
// (enlisted.cpp) asks of each platform's own unit.
#pragma once

namespace kalp::platform {

// Removes the file at the UTF-8 `path`; safe to call from a signal handler
// or a console handler (it allocates nothing and takes no lock).
void removequietly(const char* path);

} // namespace kalp::platform

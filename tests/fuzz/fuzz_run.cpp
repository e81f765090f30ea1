#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "targets.h"

namespace {
std::string dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/kalp-fuzz-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    dir = tmpl;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    });
    // The console of a run is not what is being fuzzed.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kalp::fuzz::run(data, size, dir.c_str());
    return 0;
}

// Replays the seed corpus and every input that once broke a fuzz target.
#include <gtest/gtest.h>


#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/targets.h"
#include "workdir.h"

namespace fs = std::filesystem;

namespace {
std::vector<std::vector<std::uint8_t>> inputs(const char* target) {
    std::vector<std::vector<std::uint8_t>> v;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(KALP_SOURCE_DIR) / "tests" / "fuzz" / kind / target;
        if (!fs::exists(dir)) continue;
        std::vector<fs::path> files(fs::directory_iterator(dir), fs::directory_iterator{});
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream f(file, std::ios::binary);
            v.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        }
    }
    return v;
}
} // namespace

TEST(FuzzInputs, TextReaders) {
    const auto all = inputs("textio");
    EXPECT_FALSE(all.empty());
    for (const auto& in : all)
        kalp::fuzz::textio(in.data(), in.size());
}

TEST(FuzzInputs, Indexes) {
    const auto all = inputs("index");
    EXPECT_FALSE(all.empty());
    int status = -1;
    for (const auto& in : all)
        status = kalp::fuzz::index(in.data(), in.size());
    // The last seed is the worked example's index.
    EXPECT_EQ(status, 0);
}

TEST(FuzzInputs, WholeRuns) {
    const auto all = inputs("run");
    EXPECT_FALSE(all.empty());
    int status = -1;
    for (const auto& in : all)
        status = kalp::fuzz::run(in.data(), in.size());
    // The last seed is a complete example run.
    EXPECT_EQ(status, 0);
}

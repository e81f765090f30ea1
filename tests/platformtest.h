// The tests of the platform units alone, the same cases on Linux and on
// Windows (under Wine in CI): what they share. The program is its own
// helper process: with one of the options of helper() it does one thing in
// a second process and ends.
#pragma once

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace platformtest {

namespace fs = std::filesystem;

fs::path native(const std::string& utf8);
std::string utf8(const fs::path& p);
void spit(const std::string& path, const std::string& bytes);
std::string slurp(const std::string& path);

// Bytes that a text mode would change: line ends, a Ctrl-Z, a zero byte
// and a byte that is no UTF-8.
extern const std::string awkward;

#ifdef _WIN32
inline const char* const device = "NUL";
#else
inline const char* const device = "/dev/null";
#endif

// Runs this program with `args` in a second process: its exit status and
// what it wrote on standard output (and error, with `both`).
int child(const std::string& args, std::string& out, bool both = false);

// What the program does as its own helper process.
int helper(int argc, char** argv);

class Platform : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const fs::path dir = fs::temp_directory_path() / ("kalp-platform-" + std::string(test->name()) + "-" +
                                                          std::to_string(std::chrono::steady_clock::now()
                                                                             .time_since_epoch()
                                                                             .count()));
        fs::create_directories(dir);
        scratch = utf8(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(native(scratch), ignored);
    }
    std::string at(const std::string& name) const { return scratch + "/" + name; }

    std::string scratch;
};

} // namespace platformtest

// The delivered report template and the bundled examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "workdir.h"

using namespace kalp::test;
namespace fs = std::filesystem;

namespace {
const fs::path source = KALP_SOURCE_DIR;
} // namespace

TEST(Template, HoldsEverySegmentOfTheResultsFile) {
    const std::string t = slurp(source / "share" / "TEXTVRD_OUT.TXT");
    ASSERT_FALSE(t.empty());
    // 297 segments: two quotes each, no stray quote, nothing after the last.
    EXPECT_EQ(std::count(t.begin(), t.end(), '"'), 2 * 297);
    EXPECT_EQ(t.back(), '"');
}

// Each example runs end to end and writes exactly the checked-in outputs.
TEST(Examples, OutputsMatchTheCheckedInFiles) {
    for (const char* name : {"one-system", "one-system-standardised", "two-systems"}) {
        Workdir w;
        for (const auto& e : fs::directory_iterator(source / "examples" / name))
            w.write(e.path().filename().string(), slurp(e.path()));
        w.write("TEXTVRD_OUT.TXT", slurp(source / "share" / "TEXTVRD_OUT.TXT"));
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_TRUE(r.endswithtime()) << name;
        const fs::path expected = source / "tests" / "expected" / name;
        EXPECT_EQ(r.beforetime(), slurp(expected / "console.txt")) << name;
        EXPECT_EQ(w.read("CHECKVRD"), slurp(expected / "CHECKVRD")) << name;
        const std::string results = std::string(name) == "two-systems" ? "resgfps02" : "resgfps01";
        EXPECT_EQ(w.read(results), slurp(expected / results)) << name;
    }
}

TEST(CommandLine, HelpVersionAndUnknownArguments) {
    const std::string kalp = KALP_BINARY;
    Workdir w;
    auto status = [&](const std::string& args) {
        const std::string cmd =
            "'" + kalp + "' " + args + " > '" + w.path() + "/out' 2> '" + w.path() + "/err'";
        const int raw = std::system(cmd.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(status("--help"), 0);
    EXPECT_EQ(w.read("out").rfind("Usage: kalp\n", 0), 0u);
    EXPECT_EQ(status("--version"), 0);
    EXPECT_EQ(w.read("out"), "KALP Version 1.0.3, 2011\n");
    EXPECT_EQ(status("-x"), 2);
    EXPECT_EQ(w.read("out"), "");
    EXPECT_EQ(w.read("err").rfind("Usage: kalp\n", 0), 0u);
    EXPECT_EQ(status("a b"), 2);
    // Output that cannot be written is no success.
    for (const char* option : {"--help", "--version"}) {
        const int raw = std::system(
            ("'" + kalp + "' " + option + " > /dev/full 2> '" + w.path() + "/err'").c_str());
        EXPECT_EQ(WEXITSTATUS(raw), 1) << option;
        EXPECT_NE(w.read("err"), "") << option;
    }
}

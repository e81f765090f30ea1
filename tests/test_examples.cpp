// The delivered report template and the bundled examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "workdir.h"

using namespace kalp;
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
    for (const char* name :
         {"one-system", "one-system-standardised", "two-systems", "two-systems-dairy-rams"}) {
        Workdir w;
        copyexample(w, name);
        const Outcome r = w.run();
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_TRUE(r.endswithtime()) << name;
        const fs::path expected = source / "tests" / "expected" / name;
        EXPECT_EQ(r.beforetime(), slurp(expected / "console.txt")) << name;
        EXPECT_EQ(w.read("CHECKVRD"), slurp(expected / "CHECKVRD")) << name;
        const std::string results =
            std::string(name).rfind("two-systems", 0) == 0 ? "resgfps02" : "resgfps01";
        EXPECT_EQ(w.read(results), slurp(expected / results)) << name;
    }
}

// kalp init gives a scenario that runs as it is, in each of its four kinds,
// and never writes over a file of the user's; a run in a folder without
// any input file points to it.
TEST(Examples, InitWritesScenariosThatRun) {
    for (const char* kind : {"", "--two-systems", "--standardised", "--two-systems --standardised"}) {
        SCOPED_TRACE(kind);
        Workdir w;
        w.write("new/notes.txt", "mine\n");
        const Outcome empty = w.run("-C new");
        EXPECT_EQ(empty.status, 1);
        EXPECT_NE(empty.errors.find("kalp init writes a first scenario"), std::string::npos);
        const Outcome made = w.run(std::string("init new ") + kind);
        ASSERT_EQ(made.status, 0) << made.errors;
        EXPECT_EQ(w.run("-C new").status, 0);
        const std::string results = std::string(kind).find("two") != std::string::npos
                                        ? "new/resgfps02"
                                        : "new/resgfps01";
        EXPECT_TRUE(w.exists(results));
        const std::string before = w.read("new/INPUTVRD01A.TXT");
        const Outcome again = w.run(std::string("init new ") + kind);
        EXPECT_EQ(again.status, 2);
        EXPECT_NE(again.errors.find("already holds ERROR.TXT"), std::string::npos);
        EXPECT_EQ(w.read("new/INPUTVRD01A.TXT"), before);
        EXPECT_EQ(w.read("new/notes.txt"), "mine\n");
    }
    // A README.txt of the user's is no more written over than an input file.
    Workdir w;
    w.write("flock/README.txt", "my notes\n");
    const Outcome r = w.run("init flock");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("already holds README.txt"), std::string::npos);
    EXPECT_EQ(w.read("flock/README.txt"), "my notes\n");
    EXPECT_FALSE(w.exists("flock/ERROR.TXT"));
    // The command it shows can be typed as it stands, blanks and all.
    const Outcome named = w.run("init 'Schäferei Müller'");
    ASSERT_EQ(named.status, 0) << named.errors;
    EXPECT_NE(named.output.find("(kalp -C \"Schäferei Müller\")"), std::string::npos) << named.output;
    EXPECT_EQ(w.run("-C 'Schäferei Müller'").status, 0);
}

// kalp init LINK, where LINK is a symbolic link to a folder, writes the
// scenario into the folder it leads to; a link that leads nowhere is no
// folder to write into.
TEST(Examples, InitIntoALinkToAFolder) {
    if (!symlinksmade()) {
        skiprow("kalp init LINK", "this system makes no symbolic links");
        return;
    }
    Diskdir d;
    fs::create_directory(native(d.path() + "/flock"));
    fs::create_directory_symlink("flock", native(d.path() + "/link"));
    const Outcome made = d.run("init link");
    ASSERT_EQ(made.status, 0) << made.errors;
    EXPECT_EQ(made.errors, "");
    EXPECT_TRUE(fs::is_symlink(native(d.path() + "/link")));
    EXPECT_TRUE(d.exists("flock/INPUTVRD01A.TXT"));
    EXPECT_EQ(d.run("-C link").status, 0);
    EXPECT_TRUE(d.exists("flock/resgfps01"));
    // The folder it leads to holds the files now: kalp init writes none.
    const Outcome again = d.run("init link");
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.errors.find("already holds ERROR.TXT"), std::string::npos) << again.errors;
    fs::create_directory_symlink("missing", native(d.path() + "/nowhere"));
    const Outcome nowhere = d.run("init nowhere");
    EXPECT_EQ(nowhere.status, 2);
    EXPECT_NE(nowhere.errors.find("cannot make the folder nowhere"), std::string::npos);
    EXPECT_FALSE(d.exists("missing"));
}

TEST(CommandLine, HelpVersionAndUnknownArguments) {
    Workdir w;
    Outcome r = w.run("--help");
    EXPECT_EQ(r.status, 0);
    const std::string help = r.output;
    for (const char* option : {"--help", "--version", "--dir", "--classes", "--csv", "--json",
                               "--plot", "Usage: kalp [OPTIONS]"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    r = w.run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind(std::string("kalp ") + KALP_VERSION + "\n", 0), 0u) << r.output;
    // A usage error: its reason on one line and where to find the rest, not
    // the whole help.
    for (const char* wrong : {"-x", "a b", "--csv extra", "--csv --sweep u=0.1", "serve --port 70000"}) {
        r = w.run(wrong);
        EXPECT_EQ(r.status, 2) << wrong;
        EXPECT_EQ(r.output, "") << wrong;
        EXPECT_EQ(r.errors.rfind("kalp: ", 0), 0u) << r.errors;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 2) << r.errors;
        EXPECT_NE(r.errors.find("\nTry 'kalp --help' for more information.\n"), std::string::npos);
    }
    // No parser's wording in the help texts.
    for (const char* which : {"--help", "init --help", "serve --help"}) {
        const std::string text = w.run(which).output;
        for (const char* noise : {":INT", "in [", " TEXT ", "REQUIRED"})
            EXPECT_EQ(text.find(noise), std::string::npos) << which << ": " << noise;
    }
    // Output that cannot be written is no success.
    for (const char* option : {"--help", "--version"}) {
        MemoryConsole full;
        full.setfull(true);
        MemoryFolders folders;
        folders.at(".");
        EXPECT_EQ(command(arguments(option), full, folders), 1) << option;
        EXPECT_NE(full.err(), "") << option;
    }
}

// The program as a user starts it: the real kalp binary on folders on disk.
// Exit statuses, signals, the limits of the system, and the same bytes as
// the whole program called in process on folders in memory.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "scenario.h"
#include "workdir.h"

using namespace kalp;
using namespace kalp::test;
namespace fs = std::filesystem;

namespace {

std::string masked(const std::string& console) {
    static const std::regex time("The program needed +[0-9.]+ seconds\\.");
    return std::regex_replace(console, time, "The program needed <time> seconds.");
}

// The names of the files of a folder with their bytes, leftovers included.
std::map<std::string, std::string> contents(const Diskdir& d) {
    std::map<std::string, std::string> m;
    for (const std::string& f : d.files())
        m[f] = d.read(f);
    return m;
}

} // namespace

// The whole program twice in one process on two folders in memory gives the
// bytes of the binary on disk: every file and the console.
TEST(Main, SameBytesInProcessAndOnDisk) {
    const struct {
        const char* example;
        const char* args;
    } cases[] = {{"one-system", ""},
                 {"one-system-standardised", "--csv --json --plot"},
                 {"two-systems", "--csv --json"},
                 {"two-systems-dairy-rams", "--sweep u=0.02,0.03 --sweep evpA:8=1,2 --json --plot"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.example);
        Diskdir disk;
        copyexample(disk, c.example);
        const Outcome ondisk = disk.run(c.args);
        ASSERT_EQ(ondisk.status, 0) << ondisk.output;
        Workdir first, second;
        copyexample(first, c.example);
        copyexample(second, c.example);
        for (Workdir* w : {&first, &second}) {
            const Outcome inprocess = w->run(c.args);
            EXPECT_EQ(inprocess.status, 0);
            EXPECT_EQ(masked(inprocess.output), masked(ondisk.output));
            EXPECT_EQ(w->folder().files(), contents(disk));
        }
    }
}

// Exit statuses: 0 for a complete run, 1 for a report, 2 for arguments that
// cannot be used; a signal ends a run with its usual status and leaves no
// temporary file.
TEST(Main, ExitStatusesAndSignals) {
    Diskdir w;
    copyexample(w, "one-system");
    EXPECT_EQ(w.run().status, 0);
    EXPECT_EQ(w.run("--csv --sweep u=0.02").status, 2);
    EXPECT_EQ(w.run("-C none").status, 2);
    w.write("ERROR.TXT", "1\n");
    EXPECT_EQ(w.run().status, 1);
    w.write("ERROR.TXT", "0\n");
    for (const auto& [signal, says] : {std::pair{SIGINT, "interrupted (SIGINT)"},
                                       std::pair{SIGHUP, "hung up (SIGHUP)"}}) {
        SCOPED_TRACE(says);
        const auto before = contents(w);
        const Started k = w.start("--sweep u=0:0.999:0.001 --sweep l_inv=1:1000:1");
        while (!w.exists(".kalp-unfinished-kalp-sweep.csv"))
            usleep(1000);
        kill(k.pid, signal);
        EXPECT_EQ(k.wait(), 128 + signal);
        EXPECT_NE(slurp(w.beside("started.err")).find(says), std::string::npos);
        EXPECT_EQ(contents(w), before);
    }
}

// The system's limits: a file size limit and a full console are reported,
// and nothing earlier is replaced.
TEST(Main, WritesThatFailOnTheSystem) {
    // A checker writes files of its own, which a file size limit ends.
    const bool checked = std::getenv("KALP_WRAPPER") != nullptr;
    for (const auto& [file, bytes] : {std::pair{"resgfps01", "6144"}, std::pair{"CHECKVRD", "0"}}) {
        if (checked) break;
        SCOPED_TRACE(file);
        Diskdir w;
        copyexample(w, "one-system");
        w.write(file, "earlier\n");
        const Outcome r = w.run("", std::string("prlimit --fsize=") + bytes);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(std::string("The output file ") + file +
                                " could not be written completely."),
                  std::string::npos)
            << r.output;
        EXPECT_EQ(w.read(file), "earlier\n");
    }
    Diskdir w;
    copyexample(w, "one-system");
    for (const char* args : {"", "--help", "--version"}) {
        const Outcome r = w.run(args, "", "/dev/full");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.errors, "") << args;
    }
}

// A process starved of memory, from the smallest limit at which the binary
// loads its libraries up to 8 MB above it: every sweep ends complete or
// with a report, never with an abort.
TEST(Main, StarvedOfMemory) {
    if (std::getenv("KALP_WRAPPER")) GTEST_SKIP() << "a checker needs memory of its own";
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit here";
#endif
    Diskdir w;
    copyexample(w, "one-system");
    const auto limited = [&](long kb) {
        return w.run("--sweep u=0.02,0.03", "prlimit --as=" + std::to_string(kb * 1024));
    };
    // The loader's need: the smallest limit at which it starts kalp.
    long low = 1024, high = 262144;
    ASSERT_NE(limited(high).status, 127);
    while (high - low > 64) {
        const long mid = (low + high) / 2;
        (limited(mid).status == 127 ? low : high) = mid;
    }
    int complete = 0, reported = 0;
    for (long kb = high; kb <= high + 8192; kb += 128) {
        SCOPED_TRACE(kb);
        const Outcome r = limited(kb);
        if (r.status == 127) continue; // a library that did not map after all
        if (r.status == 0) {
            ++complete;
            continue;
        }
        ASSERT_EQ(r.status, 1) << r.output << r.errors;
        EXPECT_NE(r.output.find("\nError message:\n"), std::string::npos) << r.output;
        ++reported;
    }
    EXPECT_GT(complete + reported, 50);
}

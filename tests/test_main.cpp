// The program as a user starts it: the real kalp binary on folders on disk.
// Exit statuses, signals, the limits of the system, and the same bytes as
// the whole program called in process on folders in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

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

// Waits until `name` appears in `w` (a run has begun to write it), for up
// to a minute.
bool appears(const Diskdir& w, const std::string& name) {
    for (int i = 0; i < 60000 && !w.exists(name); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return w.exists(name);
}

// A sweep that runs for hours.
const char* const longsweep = "--sweep u=0:0.999:0.001 --sweep l_inv=1:1000:1";

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
#ifdef _WIN32
    const std::pair<int, const char*> signals[] = {{SIGINT, "interrupted (Ctrl-C)"}};
#else
    const std::pair<int, const char*> signals[] = {{SIGINT, "interrupted (SIGINT)"}, {SIGHUP, "hung up (SIGHUP)"}};
#endif
    for (const auto& [signal, says] : signals) {
        SCOPED_TRACE(says);
        const auto before = contents(w);
        shareconsole();
        Started k = w.start(std::string(longsweep) + " --plot");
        ASSERT_TRUE(appears(w, ".kalp-unfinished-kalp-sweep.csv"));
#ifdef _WIN32
        EXPECT_TRUE(k.interrupt());
#else
        kill(static_cast<pid_t>(k.pid), signal);
#endif
        EXPECT_EQ(k.wait(), 128 + signal);
        k.release();
        EXPECT_NE(slurp(w.beside("started.err")).find(says), std::string::npos);
        EXPECT_EQ(contents(w), before);
    }
}

// The system's limits: a file size limit and a full console are reported,
// and nothing earlier is replaced.
TEST(Main, WritesThatFailOnTheSystem) {
#ifdef _WIN32
    GTEST_SKIP() << "needs prlimit (a file size limit) and /dev/full";
#endif
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
    // What was done is said in words that fit it: kalp init wrote its
    // files, kalp --classes writes none.
    const Outcome init = w.run("init flock", "", "/dev/full");
    EXPECT_EQ(init.status, 1);
    EXPECT_EQ(init.errors, "kalp init: the console output could not be written; the scenario's "
                           "files are written, in flock\n");
    EXPECT_TRUE(w.exists("flock/INPUTVRD02.TXT"));
    const auto before = w.files();
    const Outcome classes = w.run("--classes", "", "/dev/full");
    EXPECT_EQ(classes.status, 1);
    EXPECT_EQ(classes.errors, "kalp --classes: the class table could not be written to the "
                              "console; kalp --classes writes no file\n");
    EXPECT_EQ(w.files(), before);
}

// A process starved of memory, from the smallest limit at which the binary
// loads its libraries up to 8 MB above it: every sweep ends complete or
// with a report, never with an abort.
TEST(Main, StarvedOfMemory) {
#ifdef _WIN32
    GTEST_SKIP() << "needs prlimit (a limit of the address space)";
#endif
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

// One run per folder, between processes: while a sweep works, a second kalp
// in the folder changes nothing and says what a second run in process says.
// A run that is killed lets go of the folder.
TEST(Main, ASecondRunInAHeldFolderIsRefused) {
    Diskdir w;
    copyexample(w, "one-system");
    Workdir held;
    copyexample(held, "one-system");
    bool other = false;
    int error = 0;
    const auto hold = held.folder().lock(other, error);
    const Outcome inprocess = held.run("--csv");
    ASSERT_EQ(inprocess.status, 1);

    Started k = w.start(longsweep);
    ASSERT_TRUE(appears(w, ".kalp-unfinished-kalp-sweep.csv"));
    const Outcome second = w.run("--csv");
    EXPECT_EQ(second.status, 1);
    const std::string where = "Another KALP run is working in this folder, ";
    ASSERT_NE(second.output.find(where), std::string::npos) << second.output;
    // The folder's name as each run gives it, and the time, apart.
    const auto named = [&](std::string text, const std::string& name) {
        for (size_t at; (at = text.find(name)) != std::string::npos;)
            text.replace(at, name.size(), "<folder>");
        return masked(text);
    };
    const size_t from = second.output.find(where) + where.size();
    const std::string ondisk = second.output.substr(from, second.output.find(".\n", from) - from);
    const size_t at = inprocess.output.find(where) + where.size();
    const std::string inmemory = inprocess.output.substr(at, inprocess.output.find(".\n", at) - at);
    EXPECT_EQ(named(second.output, ondisk), named(inprocess.output, inmemory));
    EXPECT_EQ(second.errors, inprocess.errors);
    EXPECT_FALSE(w.exists("kalp-weights.csv"));
    EXPECT_FALSE(w.exists("resgfps01"));

    k.kill();
    k.wait();
    k.release();
    const Outcome third = w.run("--csv");
    EXPECT_EQ(third.status, 0) << third.output;
    for (const std::string& f : w.files())
        EXPECT_NE(f.rfind(".kalp-unfinished-", 0), 0u) << f;
}

// A folder and a trait with letters beyond ASCII: the program takes the
// folder's name from its command line as it was given (wide on Windows), and
// its results, exports and console are those of a run in process.
TEST(Main, NamesBeyondAscii) {
    const std::string folder = "Sch\xC3\xA4" "ferei M\xC3\xBC" "ller";  // Schäferei Müller
    std::string layout = slurp(std::string(KALP_SOURCE_DIR) + "/share/TEXTVRD_OUT.TXT");
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"Birth weight", "Gewicht im M\xC3\xA4rz"},
                                   {"Dressing percentage", "R\xC3\xBC" "ckenmuskel"}}) {
        ASSERT_NE(layout.find(from), std::string::npos) << from;
        for (size_t at; (at = layout.find(from)) != std::string::npos;)
            layout.replace(at, from.size(), to);
    }
    Diskdir disk;
    Workdir memory;
    ASSERT_TRUE(fs::create_directory(native(disk.path() + "/" + folder)));
    Workdir example;
    copyexample(example, "one-system");
    for (const auto& [name, text] : example.folder().files()) {
        disk.write(folder + "/" + name, name == "TEXTVRD_OUT.TXT" ? layout : text);
        memory.write(folder + "/" + name, name == "TEXTVRD_OUT.TXT" ? layout : text);
    }
    const std::string args = "-C '" + folder + "' --csv --plot";
    const Outcome ondisk = disk.run(args);
    const Outcome inprocess = memory.run(args);
    ASSERT_EQ(ondisk.status, 0) << ondisk.output << ondisk.errors;
    EXPECT_EQ(masked(ondisk.output), masked(inprocess.output));
    EXPECT_EQ(ondisk.errors, inprocess.errors);
    const std::string results = disk.read(folder + "/resgfps01");
    EXPECT_NE(results.find("Gewicht im M\xC3\xA4rz"), std::string::npos);
    EXPECT_NE(disk.read(folder + "/kalp-weights.csv").find("R\xC3\xBC" "ckenmuskel"), std::string::npos);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(native(disk.path() + "/" + folder)))
        names.push_back(utf8(e.path().filename()));
    EXPECT_EQ(names.size(), example.folder().files().size() + 7) << ::testing::PrintToString(names);
    for (const std::string& name : names) {
        EXPECT_TRUE(memory.exists(folder + "/" + name)) << name;
        EXPECT_EQ(disk.read(folder + "/" + name), memory.read(folder + "/" + name)) << name;
    }
}

// Folder names that Windows would take for another folder, for a device or
// for none are refused before anything is made, with what is wrong with
// them; a path that begins with \\?\, which Windows takes as it is, works.
TEST(Main, WindowsNamesAndPaths) {
#ifndef _WIN32
    GTEST_SKIP() << "names that only Windows refuses (PlatformText.NamesThatWindowsTakesForOthers)";
#else
    Diskdir w;
    copyexample(w, "one-system");
    const std::vector<std::string> before = w.files();
    const struct {
        const char* args;
        const char* says;
    } rows[] = {
        {"-C CON", "kalp: cannot work in CON: CON is the name of a device of Windows (CON, PRN, AUX, NUL, "
                   "COM1 to COM9, LPT1 to LPT9, with or without an extension), which no folder can have; "
                   "choose another name\n"},
        {"init NUL.txt", "kalp init: cannot make the folder NUL.txt: NUL.txt is the name of a device"},
        {"init sheep/com3", "kalp init: cannot make the folder sheep/com3: com3 is the name of a device"},
        {"serve -C aux", "kalp: cannot work in aux: aux is the name of a device"},
        {"init 'flock.'", "kalp init: cannot make the folder flock.: the name \"flock.\" ends in a blank or "
                          "a dot, which Windows drops, so that it would be another folder; write the name "
                          "without it\n"},
        {"init 'new flock '", "the name \"new flock \" ends in a blank or a dot"},
        {"-C 'flock\" --csv'", "kalp: cannot work in flock\" --csv: the name holds a double quote, which no "
                               "name can hold. On the command line of Windows a backslash before a closing "
                               "quote puts the quote into the name, as in -C \"C:\\flock\\\": leave that "
                               "backslash out (-C \"C:\\flock\") or double it (-C \"C:\\flock\\\\\")\n"},
    };
    for (const auto& r : rows) {
        const Outcome o = w.run(r.args);
        EXPECT_EQ(o.status, 2) << r.args;
        EXPECT_EQ(o.output, "") << r.args;
        EXPECT_NE(o.errors.find(r.says), std::string::npos) << r.args << ": " << o.errors;
        EXPECT_EQ(w.files(), before) << r.args;
        EXPECT_EQ(w.outside(), std::vector<std::string>{}) << r.args;
    }
    // The folder by a path that Windows takes as it is, and a first
    // scenario made beside it the same way.
    std::string full = utf8(fs::absolute(native(w.path())));
    std::replace(full.begin(), full.end(), '/', '\\');
    const Outcome o = w.run("-C '\\\\?\\" + full + "' --csv");
    EXPECT_EQ(o.status, 0) << o.output << o.errors;
    EXPECT_TRUE(w.exists("kalp-weights.csv"));
    const Outcome made = w.run("init '\\\\?\\" + full + "\\new'");
    EXPECT_EQ(made.status, 0) << made.output << made.errors;
    EXPECT_TRUE(w.exists("new/P01.TXT"));
#endif
}

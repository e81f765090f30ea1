// Faults while a run works, in memory and on disk: the folder holds the
// files of one run.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "scenario.h"
#include "workdir.h"

using namespace kalp::test;
namespace fs = std::filesystem;

// Faults while a run works: the files of earlier runs stay byte for byte
// unless the run completes (a failed run puts its results file in place with
// the echo so far, as ever), a run's and a sweep's exports stand side by
// side, and no temporary file remains.
namespace {

const std::map<std::string, std::string> earlier = {{"resgfps01", "earlier results\n"},
                                                    {"CHECKVRD", "earlier dump\n"},
                                                    {"kalp-weights.csv", "earlier weights\n"},
                                                    {"kalp-results.json", "earlier json\n"},
                                                    {"kalp-sweep.csv", "earlier sweep\n"}};
// A run with --csv replaces the exports of a run: kalp-results.json goes.
const std::set<std::string> run3 = {"resgfps01", "CHECKVRD", "kalp-weights.csv",
                                    "kalp-results.json"};

template <class Dir> struct FaultRow {
    const char* name;
    std::function<void(Dir&, Scenario&)> prepare;
    std::function<int(Dir&, std::string&)> act;
    int status;
    const char* says;
    std::set<std::string> replaced; // the earlier files that the run replaced
    std::function<void(Dir&)> after = nullptr;
};

template <class Dir> std::function<int(Dir&, std::string&)> running(const char* args) {
    return [args](Dir& w, std::string& said) {
        const Outcome r = w.run(args);
        said = r.output + r.errors;
        return r.status;
    };
}

template <class Dir> void faults(const std::vector<FaultRow<Dir>>& rows) {
    Workdir reference;
    Scenario::one().write(reference);
    ASSERT_EQ(reference.run("--csv").status, 0);
    for (const FaultRow<Dir>& row : rows) {
        SCOPED_TRACE(row.name);
        Dir w;
        Scenario s = Scenario::one();
        for (const auto& [name, text] : earlier)
            w.write(name, text);
        w.write(".kalp-unfinished-kalp-classes.csv", "left by a killed run\n");
        if (row.prepare) row.prepare(w, s);
        s.write(w);
        std::string said;
        EXPECT_EQ(row.act(w, said), row.status);
        EXPECT_NE(said.find(row.says), std::string::npos) << said;
        const std::vector<std::string> files = w.files();
        for (const auto& [name, text] : earlier) {
            if (std::find(files.begin(), files.end(), name) == files.end()) continue;
            // A run that stops puts only its echo in place.
            const bool echo = row.status != 0 && row.replaced == std::set<std::string>{name};
            if (!row.replaced.count(name)) {
                EXPECT_EQ(w.read(name), text) << name;
            } else if (echo) {
                EXPECT_NE(w.read(name), text) << name;
            } else {
                EXPECT_EQ(w.read(name), reference.read(name)) << name;
            }
        }
        for (const std::string& f : files)
            EXPECT_NE(f.rfind(".kalp-unfinished-", 0), 0u) << f;
        if (row.after) row.after(w);
    }
}

} // namespace

TEST(Exports, FaultsLeaveTheFolderWhole) {
    using Row = FaultRow<Workdir>;
    const auto closed = [](Workdir& w, std::string& said) {
        // A console that nobody reads any more, as after `kalp | head -1`.
        kalp::MemoryConsole console;
        console.setfull(true);
        const int status = w.run("--csv", console).status;
        said = console.err();
        return status;
    };
    const auto second = [](Workdir& w, std::string& said) {
        // Another run holds the folder: this one changes nothing, and the
        // other one then completes.
        bool held = false;
        int error = 0;
        auto first = w.folder().lock(held, error);
        const Outcome r = w.run("--json");
        for (const auto& [name, text] : earlier)
            EXPECT_EQ(w.read(name), text) << name;
        first.reset();
        EXPECT_EQ(w.run("--csv").status, 0);
        said = r.output;
        return r.status;
    };
    faults<Workdir>({
        Row{"gate", [](Workdir&, Scenario& s) { s.error = "1"; }, running<Workdir>("--csv --json --plot"), 1,
            "preceding runs of TORM2", {}},
        Row{"matrix row",
            [](Workdir&, Scenario& s) { s.a.replace(s.a.find("0.5 0.3 0.2"), 11, "0.5 0.3 0.3"); },
            running<Workdir>("--csv --json --plot"), 1, "does not sum to 1", {"resgfps01"}},
        Row{"console closed", nullptr, closed, 1, "console output could not be written", run3},
        Row{"folder at an export's name",
            [](Workdir& w, Scenario&) { w.place("kalp-weights.csv", kalp::Entry::folder); },
            running<Workdir>("--csv"), 1, "cannot be written: kalp-weights.csv is a folder.", {}},
        Row{"folder at a temporary name",
            [](Workdir& w, Scenario&) { w.place(".kalp-unfinished-CHECKVRD", kalp::Entry::folder); },
            running<Workdir>(""), 1,
            "The output file CHECKVRD cannot be written: .kalp-unfinished-CHECKVRD, where KALP "
            "writes CHECKVRD until the run is complete, is a folder.\n  Remove or rename "
            ".kalp-unfinished-CHECKVRD and restart the program.",
            {}},
        Row{"second run while one works", nullptr, second, 1,
            "Another KALP run is working in this folder", run3},
    });
}

// The same on disk, where the system takes part: a signal during a sweep,
// a link at an output's name, permissions of the files replaced.
TEST(Exports, SystemFaultsLeaveTheFolderWhole) {
    using Row = FaultRow<Diskdir>;
    // On Windows a console event is the only signal: Ctrl-C.
    const auto ending = [](bool interrupt) {
        return [interrupt](Diskdir& w, std::string& said) {
            shareconsole();
            Started k = w.start("--sweep u=0:0.999:0.001 --sweep l_inv=1:1000:1 --json");
            while (!w.exists(".kalp-unfinished-kalp-sweep.csv"))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
#ifdef _WIN32
            (void)interrupt;
            EXPECT_TRUE(k.interrupt());
#else
            kill(static_cast<pid_t>(k.pid), interrupt ? SIGINT : SIGTERM);
#endif
            const int status = k.wait();
            k.release();
            said = slurp(w.beside("started.err"));
            return status;
        };
    };
    std::vector<Row> rows;
#ifdef _WIN32
    rows.push_back(Row{"Ctrl-C during a sweep", nullptr, ending(true), 128 + SIGINT, "interrupted (Ctrl-C)", {}});
    // Windows has only the read-only mark, which a new file does not take
    // over; Wine replaces a read-only file that Windows refuses to replace.
    skiprow("earlier files with their own permissions", "needs POSIX permission bits");
#else
    const auto mode = [](const Diskdir& w, const char* name) {
        struct stat st {};
        stat((w.path() + "/" + name).c_str(), &st);
        return st.st_mode & 0777;
    };
    rows.push_back(Row{"SIGTERM during a sweep", nullptr, ending(false), 128 + SIGTERM, "terminated (SIGTERM)", {}});
    rows.push_back(Row{"earlier files with their own permissions",
                       [](Diskdir& w, Scenario&) {
                           chmod((w.path() + "/resgfps01").c_str(), 0600);
                           chmod((w.path() + "/kalp-weights.csv").c_str(), 0444);
                       },
                       running<Diskdir>("--csv"), 0, "Thank you", run3,
                       [&](Diskdir& w) {
                           EXPECT_EQ(mode(w, "resgfps01"), 0600u);
                           EXPECT_EQ(mode(w, "kalp-weights.csv"), 0444u);
                       }});
#endif
    if (symlinksmade())
        rows.push_back(Row{"link at resgfps01",
                           [](Diskdir& w, Scenario&) {
                               w.remove("resgfps01");
                               std::ofstream(native(w.beside("outside"))) << "earlier results\n";
                               fs::create_symlink(native(w.beside("outside")), native(w.path() + "/resgfps01"));
                           },
                           running<Diskdir>(""), 0, "Thank you", {"resgfps01", "CHECKVRD"},
                           [](Diskdir& w) {
                               EXPECT_FALSE(fs::is_symlink(native(w.path() + "/resgfps01")));
                               EXPECT_EQ(slurp(w.beside("outside")), "earlier results\n");
                           }});
    else
        skiprow("link at resgfps01", "needs symbolic links, which this system does not make");
    faults<Diskdir>(rows);
}

// Pairs of runs started together in one folder: each published set of
// files is that of a single run.
TEST(Exports, RunsStartedTogetherPublishOneSet) {
    Diskdir w;
    Scenario::one().write(w);
    Workdir reference;
    Scenario::one().write(reference);
    ASSERT_EQ(reference.run().status, 0);
    const std::set<std::string> csv = {"kalp-scenarios.csv", "kalp-classes.csv", "kalp-geneflow.csv",
                                       "kalp-weights.csv"};
    for (int pair = 0; pair < 20; ++pair) {
        const Started a = w.start("--csv", "a"), b = w.start("--json", "b");
        const int sa = a.wait(), sb = b.wait();
        EXPECT_TRUE(sa == 0 || sb == 0);
        for (const auto& [status, console] : {std::pair{sa, "a"}, std::pair{sb, "b"}})
            if (status != 0) {
                const std::string said = slurp(w.beside(console));
                EXPECT_NE(said.find("Another KALP run"), std::string::npos) << status << ": " << said;
            }
        std::set<std::string> exports;
        for (const std::string& f : w.files()) {
            EXPECT_NE(f.rfind(".kalp-unfinished-", 0), 0u) << f;
            if (f.rfind("kalp-", 0) == 0) exports.insert(f);
        }
        EXPECT_TRUE(exports == csv || exports == std::set<std::string>{"kalp-results.json"})
            << pair;
        EXPECT_EQ(w.read("resgfps01"), reference.read("resgfps01"));
        EXPECT_EQ(w.read("CHECKVRD"), reference.read("CHECKVRD"));
    }
}


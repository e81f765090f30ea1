// Faults while a run works, in memory and on disk: the folder holds the
// files of one run.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
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
        for (const std::string& f : files) {
            EXPECT_NE(f.rfind(".kalp-unfinished-", 0), 0u) << f;
            EXPECT_NE(f.rfind(".kalp-previous-", 0), 0u) << f;
        }
        if (row.after) row.after(w);
    }
}

} // namespace

TEST(Exports, FaultsLeaveTheFolderWhole) {
    using Row = FaultRow<Workdir>;
    const auto holding = [](const char* name) {
        return [name](Workdir& w, Scenario&) { w.folder().holdopen(name); };
    };
    const auto guarding = [](const char* name) {
        return [name](Workdir& w, Scenario&) { w.folder().setprotected(name); };
    };
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
        // Files that may not be replaced, found before anything is: the
        // exports before the run computes, the results file at its end.
        Row{"export open in a spreadsheet", holding("kalp-weights.csv"), running<Workdir>("--csv"), 1,
            "The output file kalp-weights.csv cannot be written: kalp-weights.csv is open in another "
            "program, such as a spreadsheet.\n  Close it there and restart the program.",
            {}},
        Row{"earlier export that the run removes, open in a spreadsheet", holding("kalp-results.json"),
            running<Workdir>("--csv"), 1, "kalp-results.json is open in another program", {}},
        Row{"results file open in a spreadsheet", holding("resgfps01"), running<Workdir>(""), 1,
            "The output file resgfps01 cannot be written: resgfps01 is open in another program", {}},
        Row{"sweep's file open in a spreadsheet", holding("kalp-sweep.csv"),
            running<Workdir>("--sweep u=0.02,0.05"), 1, "kalp-sweep.csv is open in another program", {}},
        Row{"write-protected results file", guarding("resgfps01"), running<Workdir>(""), 1,
            "The output file resgfps01 cannot be written: resgfps01 is write-protected.\n  Allow "
            "writing to it (its permissions, or its read-only mark on Windows), or remove it, and "
            "restart the program.",
            {}},
        Row{"write-protected export that the run removes", guarding("kalp-results.json"),
            running<Workdir>("--csv"), 1, "kalp-results.json is write-protected", {}},
        // A program that takes hold of a file after it was checked: the
        // files already replaced go back, the new ones go.
        Row{"export taken by a spreadsheet while the set is put in place",
            [](Workdir& w, Scenario&) { w.folder().holdopen("kalp-weights.csv", true); }, running<Workdir>("--csv"), 1,
            "kalp-weights.csv is open in another program", {},
            [](Workdir& w) {
                for (const char* name : {"kalp-scenarios.csv", "kalp-classes.csv", "kalp-geneflow.csv"})
                    EXPECT_FALSE(w.exists(name)) << name;
            }},
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
    // Write-protected: the read-only mark on Windows, no write permission
    // on POSIX; given back afterwards, so that the folder can go.
    const auto protect = [](bool on) {
        return [on](Diskdir& w, Scenario&) {
            fs::permissions(native(w.path() + "/kalp-weights.csv"),
                            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            on ? fs::perm_options::remove : fs::perm_options::add);
        };
    };
    std::vector<Row> rows;
    rows.push_back(Row{"write-protected export", protect(true), running<Diskdir>("--csv"), 1,
                       "kalp-weights.csv is write-protected", {},
                       [&](Diskdir& w) {
                           Scenario unused;
                           protect(false)(w, unused);
                       }});
#ifdef _WIN32
    rows.push_back(Row{"Ctrl-C during a sweep", nullptr, ending(true), 128 + SIGINT, "interrupted (Ctrl-C)", {}});
    // As a spreadsheet holds the file it shows: others may read it, but not
    // replace or remove it. This test is the other program.
    static HANDLE held = INVALID_HANDLE_VALUE;
    rows.push_back(Row{"export open in a spreadsheet",
                       [](Diskdir& w, Scenario&) {
                           held = CreateFileW(native(w.path() + "/kalp-weights.csv").c_str(), GENERIC_READ,
                                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                              nullptr);
                           ASSERT_NE(held, INVALID_HANDLE_VALUE);
                       },
                       running<Diskdir>("--csv"), 1,
                       "The output file kalp-weights.csv cannot be written: kalp-weights.csv is open in "
                       "another program, such as a spreadsheet.\n  Close it there and restart the program.",
                       {}, [](Diskdir&) { CloseHandle(held); }});
    // Windows has only the read-only mark, which a new file does not take
    // over.
    skiprow("earlier files with their own permissions", "needs POSIX permission bits");
#else
    const auto mode = [](const Diskdir& w, const char* name) {
        struct stat st {};
        stat((w.path() + "/" + name).c_str(), &st);
        return st.st_mode & 0777;
    };
    rows.push_back(Row{"SIGTERM during a sweep", nullptr, ending(false), 128 + SIGTERM, "terminated (SIGTERM)", {}});
    rows.push_back(Row{"earlier files with their own permissions",
                       [](Diskdir& w, Scenario&) { chmod((w.path() + "/resgfps01").c_str(), 0600); },
                       running<Diskdir>("--csv"), 0, "Thank you", run3,
                       [&](Diskdir& w) { EXPECT_EQ(mode(w, "resgfps01"), 0600u); }});
    skiprow("export open in a spreadsheet", "POSIX lets a file be replaced whatever holds it open");
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


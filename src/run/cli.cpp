#include "run/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "platform/platform.h"
#include "program/kalp.h"
#include "run/indexargs.h"
#include "run/sweepargs.h"
#include "serve/server.h"

namespace kalp {

namespace {

using platform::errortext;

const char* const description =
    "KALP computes the economic weights of sheep traits by the gene flow method.\n"
    "Run without options it reads its input files from the working directory and\n"
    "writes the results file resgfps01 (one system) or resgfps02 (two systems), the\n"
    "variable dump CHECKVRD and messages on the console. The options add files for\n"
    "further work; they never change the results file or the dump.";

const char* const inputs =
    "Input files: ERROR.TXT, P01.TXT, PARAVRD.TXT, TEXTVRD_OUT.TXT, INPUTVRD01A.TXT,\n"
    "INPUTVRD01B.TXT (two systems), INPUTVRD02.TXT (one system) or INPUTVRD03.TXT\n"
    "(two systems), INPUTVRD04.TXT and INPUTVRD05.TXT (with standardisation).";

// Writes `text` on standard output; 0, or 1 when it could not be written.
int say(Console& console, const std::string& text) {
    console.print(text);
    if (console.flush()) return 0;
    console.warn("kalp: standard output could not be written\n");
    return 1;
}

std::string joined(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir == "." || name.empty() || name[0] == '/') return name;
    return platform::joinpath(dir, name);
}

bool has(const std::string& dir, const char* name) {
    return platform::kindof(platform::joinpath(dir, name)) != platform::Kind::missing;
}

// A folder name that the system would take for another folder or for none
// (on Windows): said on standard error, true. `cannot` begins the line.
bool misnamed(Console& console, const std::string& cannot, const std::string& path) {
    const platform::NameFault f = platform::namefault(path);
    switch (f.kind) {
    case platform::NameFault::none: return false;
    case platform::NameFault::quote:
        console.warn(cannot + ": the name holds a double quote, which no name can hold. On the command "
                              "line of Windows a backslash before a closing quote puts the quote into the "
                              "name, as in -C \"C:\\flock\\\": leave that backslash out (-C \"C:\\flock\") "
                              "or double it (-C \"C:\\flock\\\\\")\n");
        return true;
    case platform::NameFault::device:
        console.warn(cannot + ": " + f.part +
                     " is the name of a device of Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to "
                     "LPT9, with or without an extension), which no folder can have; choose another "
                     "name\n");
        return true;
    case platform::NameFault::trailing:
        console.warn(cannot + ": the name \"" + f.part +
                     "\" ends in a blank or a dot, which Windows drops, so that it would be another "
                     "folder; write the name without it\n");
        return true;
    }
    return false;
}

} // namespace

void DiskFolders::look() {
    if (looked_) return;
    looked_ = true;
    // Beside the program (the folder of a Windows archive), in the
    // installed PREFIX/share/kalp, or in the source tree of the build that
    // the program runs from.
    std::string bin = platform::programpath();
    const size_t slash = bin.find_last_of("/\\");
    bin = slash == std::string::npos ? "." : bin.substr(0, slash);
    const std::string places[] = {bin, bin + "/../share/kalp", KALP_DATADIR};
    const auto data = std::find_if(std::begin(places), std::end(places), [](const std::string& d) {
        return has(d, "TEXTVRD_OUT.TXT") && has(d, "examples");
    });
    if (data != std::end(places)) {
        share_ = std::make_unique<DiskFolder>(*data);
        examples_ = std::make_unique<DiskFolder>(*data + "/examples");
        return;
    }
    const std::string source = KALP_SOURCE_DIR;
    if (platform::fullpath(bin) == platform::fullpath(KALP_BUILD_DIR)) {
        share_ = std::make_unique<DiskFolder>(source + "/share");
        examples_ = std::make_unique<DiskFolder>(source + "/examples");
    }
}

Folder* DiskFolders::open(const std::string& dir, int& error) {
    if (!platform::isfolder(dir, error)) return nullptr;
    open_.push_back(std::make_unique<DiskFolder>(dir));
    return open_.back().get();
}

bool DiskFolders::make(const std::string& dir, int& error) { return platform::makefolder(dir, error); }

const Folder* DiskFolders::share() {
    look();
    return share_.get();
}

const Folder* DiskFolders::examples() {
    look();
    return examples_.get();
}

std::string DiskFolders::sharename() const { return KALP_DATADIR; }

bool DiskFolders::serving(std::string& share, std::string& examples) {
    look();
    share = share_ ? share_->dir() : "";
    examples = examples_ ? examples_->dir() : "";
    return true;
}

Folder* MemoryFolders::open(const std::string& dir, int& error) {
    const auto found = folders_.find(dir.empty() ? "." : dir);
    if (found != folders_.end()) return &found->second;
    error = ENOENT;
    return nullptr;
}

bool MemoryFolders::make(const std::string& dir, int&) {
    folders_[dir];
    return true;
}

int command(const std::vector<std::string>& args, Console& console, Folders& folders) {
    if (args.empty()) {
        int error = 0;
        Folder* here = folders.open(".", error);
        if (!here) {
            console.warn("kalp: cannot work in the current directory: " + errortext(error) + "\n");
            return 2;
        }
        return kalp(*here, console, Options{});
    }

    CLI::App app{description, "kalp"};
    app.footer(inputs);
    app.set_help_flag("-h,--help", "Print the options and the input files and exit");
    Options options;
    bool version = false, classes = false;
    std::string dir;
    app.add_flag("--version", version,
                 "Print the version of kalp, the version of KALP its results follow and the "
                 "licence, and exit");
    const CLI::Option* diropt =
        app.add_option("-C,--dir", dir,
                       "Work in DIR instead of the current directory (an empty DIR is refused)")
            ->type_name("DIR");
    app.add_flag("--classes", classes,
                 "Print the sex and age groups of the input files and exit (refused with "
                 "--csv, --json, --plot and --sweep)");
    app.add_flag("--csv", options.csv,
                 "Also write kalp-scenarios.csv, kalp-classes.csv, kalp-geneflow.csv, "
                 "kalp-weights.csv (refused with --sweep, which writes kalp-sweep.csv, "
                 "kalp-sweep-geneflow.csv and kalp-sweep-scenarios.csv)");
    app.add_flag("--json", options.json,
                 "Also write kalp-results.json (with --sweep, kalp-sweep.json instead)");
    app.add_flag("--plot", options.plot,
                 "Also draw kalp-geneflow.svg and, with standardisation, kalp-weights.svg (with "
                 "--sweep, kalp-sweep.svg instead)");
    std::vector<std::string> sweeps;
    app.add_option("--sweep", sweeps, sweephelp())
        ->type_name("NAME=VALUES")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    std::string draws, seed;
    const CLI::Option* drawsopt =
        app.add_option("--draws", draws,
                       "Draw N scenarios of the economic values that values-uncertainty.csv names, from "
                       "their distributions, and write the spread of every weight to kalp-draws.csv (with "
                       "--csv also the rows of every scenario in kalp-sweep.csv, kalp-sweep-geneflow.csv and "
                       "kalp-sweep-scenarios.csv, with --json in kalp-sweep.json, with --plot the chart "
                       "kalp-draws.svg); N from 1 to 10000000")
            ->type_name("N");
    const CLI::Option* seedopt =
        app.add_option("--seed", seed, "The seed of --draws, a whole number (default 1): the same seed gives "
                                       "the same draws on every system")
            ->type_name("S");
    auto* init = app.add_subcommand(
        "init", "Write a first scenario: every input file of a small flock and the template");
    std::string initdir = ".";
    init->add_option("DIR", initdir, "The folder to write it into (made when missing)")
        ->type_name("");
    init->add_flag("--two-systems", options.two, "Two linked systems: a dairy flock partly crossed with "
                                                 "rams of a meat breed");
    init->add_flag("--standardised", options.standardised, "Standardise the weights");
    ServeOptions serving;
    CLI::App* editor = app.add_subcommand(
        "serve", "Edit the input files in the browser, checked and computed as you type: prints "
                 "the address to open and serves it until Ctrl-C");
    editor->add_option("-C,--dir", serving.dir, "Edit the files of DIR instead of the current directory")
        ->type_name("DIR");
    editor->add_option("--port", serving.port,
                       "Listen on port N of 127.0.0.1, 1 to 65535 (default: a free one)")
        ->type_name("N");
    editor->add_flag("--open", serving.open, "Open the address in the default browser as well");
    IndexArgs indexing;
    addindex(app, indexing);
    // A usage error: its reason and where to find the rest.
    auto usage = [&](const std::string& problem) {
        console.warn("kalp: " + problem + "\nTry 'kalp --help' for more information.\n");
        return 2;
    };
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        // The way Windows programs are asked for their help.
        std::replace(reversed.begin(), reversed.end(), std::string("/?"), std::string("--help"));
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return say(console, app.help());
    } catch (const CLI::ParseError& e) {
        return usage(e.what());
    }
    try {
        options.sweeps = parsesweeps(sweeps);
        if (drawsopt->count() > 0) options.draws = parsedraws(draws);
        if (seedopt->count() > 0) options.seed = parseseed(seed);
    } catch (const BadSweep& e) {
        return usage(e.what());
    }
    if (seedopt->count() > 0 && drawsopt->count() == 0)
        return usage("--seed is the seed of --draws; give it with --draws N");
    if (options.draws > 0 && !options.sweeps.empty())
        return usage("--draws and --sweep cannot be given together; draw the values of one scenario, or sweep");
    // An empty name, such as an unset shell variable gives, names no directory.
    if ((diropt->count() > 0 && dir.empty()) ||
        (editor->get_option("--dir")->count() > 0 && serving.dir.empty()))
        return usage("-C (--dir) needs the name of a directory, not an empty text");
    if (*indexing.command) {
        if (options.exports() || classes || version)
            return usage("index takes only -C DIR, --csv, --json, --plot, --weights FILE and --bend");
        return runindex(indexing, dir, console, folders, usage);
    }
    if (*editor) {
        if (options.exports() || classes || version)
            return usage("serve takes only -C DIR, --port N and --open");
        if (serving.port < 0 || serving.port > 65535)
            return usage("--port needs a port number from 1 to 65535, or 0 for a free one");
        if (editor->get_option("--dir")->count() == 0 && !dir.empty()) serving.dir = dir;
        if (misnamed(console, "kalp: cannot work in " + serving.dir, serving.dir)) return 2;
        if (!folders.serving(serving.share, serving.examples)) {
            console.warn("kalp: the editor serves folders on disk only\n");
            return 2;
        }
        return kalp::serve(serving);
    }
    if (options.csv && !options.sweeps.empty())
        return usage("--csv writes the exports of a run; a sweep writes its own CSV files, "
                     "kalp-sweep.csv, kalp-sweep-geneflow.csv and kalp-sweep-scenarios.csv. Give "
                     "--csv without --sweep");
    if (classes && options.exports())
        return usage("--classes prints the class table only; give the other options without it");
    if (version)
        return say(console, std::string("kalp ") + KALP_VERSION +
                                "\n"
                                "Its results follow KALP Version 1.0.3, 2011, byte for byte.\n"
                                "Licence: GNU General Public License, version 3 (see LICENSE).\n"
                                "There is no warranty, to the extent permitted by law.\n");
    int error = 0;
    if (!dir.empty() && misnamed(console, "kalp: cannot work in " + dir, dir)) return 2;
    if (!dir.empty() && !folders.open(dir, error)) {
        console.warn("kalp: cannot work in " + dir + ": " + errortext(error) + "\n");
        return 2;
    }
    if (*init) {
        if (classes || options.exports())
            return usage("kalp init writes the input files only; give the other options without it");
        if (!folders.share() || !folders.examples()) {
            console.warn("kalp init: the report template TEXTVRD_OUT.TXT was not found beside the "
                         "program nor in " + folders.sharename() + "\n");
            return 2;
        }
        const std::string target = joined(dir, initdir);
        if (misnamed(console, "kalp init: cannot make the folder " + target, initdir)) return 2;
        Folder* folder = folders.make(target, error) ? folders.open(target, error) : nullptr;
        if (!folder) {
            console.warn("kalp init: cannot make the folder " + target + ": " + errortext(error) +
                         "\n");
            return 2;
        }
        options.command = Options::Command::init;
        options.share = folders.share();
        options.examples = folders.examples();
        // As the user can name it from where kalp was started.
        options.folder = target;
        return kalp(*folder, console, options);
    }
    if (classes) options.command = Options::Command::classes;
    Folder* folder = folders.open(dir.empty() ? "." : dir, error);
    if (!folder) {
        console.warn("kalp: cannot work in the current directory: " + errortext(error) + "\n");
        return 2;
    }
    return kalp(*folder, console, options);
}

} // namespace kalp

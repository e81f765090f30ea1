// KALP: economic weights of sheep traits by the gene flow method.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "run/driver.h"
#include "run/init.h"
#include "run/options.h"
#include "run/sweepargs.h"
#include "serve/server.h"
#include "textio/outfile.h"

namespace {

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
int say(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "kalp: standard output could not be written: %s\n", std::strerror(errno));
    return 1;
}

int start(int argc, char** argv) {
    if (argc == 1) return kalp::run();

    CLI::App app{description, "kalp"};
    app.footer(inputs);
    app.set_help_flag("-h,--help", "Print the options and the input files and exit");
    kalp::Options options;
    bool version = false, classes = false;
    std::string dir;
    app.add_flag("--version", version, "Print KALP Version 1.0.3, 2011 and exit");
    const CLI::Option* diropt =
        app.add_option("-C,--dir", dir,
                       "Work in DIR instead of the current directory (an empty DIR is refused)")
            ->type_name("DIR");
    app.add_flag("--classes", classes,
                 "Print the sex and age groups of the input files and exit (refused with "
                 "--csv, --json, --plot and --sweep)");
    app.add_flag("--csv", options.csv,
                 "Also write kalp-classes.csv, kalp-geneflow.csv, kalp-weights.csv (refused with "
                 "--sweep, which writes kalp-sweep.csv and kalp-sweep-geneflow.csv)");
    app.add_flag("--json", options.json,
                 "Also write kalp-results.json (with --sweep, kalp-sweep.json instead)");
    app.add_flag("--plot", options.plot,
                 "Also draw kalp-geneflow.svg and, with standardisation, kalp-weights.svg (with "
                 "--sweep, kalp-sweep.svg instead)");
    std::vector<std::string> sweeps;
    app.add_option("--sweep", sweeps, kalp::sweephelp())
        ->type_name("NAME=VALUES")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    auto* init = app.add_subcommand(
        "init", "Write a first scenario: every input file of a small flock and the template");
    std::string initdir = ".";
    bool two = false, standardised = false;
    init->add_option("DIR", initdir, "The folder to write it into (made when missing)");
    init->add_flag("--two-systems", two, "Two linked systems: a dairy flock partly crossed with "
                                         "rams of a meat breed");
    init->add_flag("--standardised", standardised, "Standardise the weights");
    kalp::ServeOptions serving;
    CLI::App* serve = app.add_subcommand(
        "serve", "Edit the input files in the browser, checked and computed as you type: prints "
                 "the address to open and serves it until Ctrl-C");
    serve->add_option("-C,--dir", serving.dir, "Edit the files of DIR instead of the current directory")
        ->type_name("DIR");
    serve->add_option("--port", serving.port, "Listen on port N of 127.0.0.1 (default: a free one)")
        ->type_name("N")
        ->check(CLI::Range(0, 65535));
    auto usage = [&](const std::string& problem) {
        std::fprintf(stderr, "kalp: %s\n\n%s", problem.c_str(), app.help().c_str());
        return 2;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return say(app.help());
    } catch (const CLI::ParseError& e) {
        return usage(e.what());
    }
    try {
        options.sweeps = kalp::parsesweeps(sweeps);
    } catch (const kalp::BadSweep& e) {
        return usage(e.what());
    }
    // An empty name, such as an unset shell variable gives, names no directory.
    if ((diropt->count() > 0 && dir.empty()) ||
        (serve->get_option("--dir")->count() > 0 && serving.dir.empty()))
        return usage("-C (--dir) needs the name of a directory, not an empty text");
    if (*serve) {
        if (options.exports() || classes || version)
            return usage("serve takes only -C DIR and --port N");
        if (serve->get_option("--dir")->count() == 0 && !dir.empty()) serving.dir = dir;
        return kalp::serve(serving);
    }
    if (options.csv && !options.sweeps.empty())
        return usage("--csv writes the exports of a run; a sweep writes its own CSV files, "
                     "kalp-sweep.csv and kalp-sweep-geneflow.csv. Give --csv without --sweep");
    if (classes && options.exports())
        return usage("--classes prints the class table only; give the other options without it");
    if (version) return say(std::string("KALP Version ") + KALP_VERSION + ", 2011\n");
    if (!dir.empty() && chdir(dir.c_str()) != 0) {
        std::fprintf(stderr, "kalp: cannot work in %s: %s\n", dir.c_str(), std::strerror(errno));
        return 2;
    }
    if (*init) {
        if (classes || options.exports())
            return usage("kalp init writes the input files only; give the other options without it");
        return kalp::init(initdir, two, standardised);
    }
    if (classes) return kalp::classtable();
    return kalp::run(options);
}

} // namespace

int main(int argc, char** argv) {
    // Each console line reaches a pipe or file as it is printed, so a run
    // that is killed keeps what it had said.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    kalp::handlesignals();
    try {
        return start(argc, argv);
    } catch (const std::exception& e) {
        // Only the system can cause this, for example by running out of memory.
        std::fprintf(stderr, "kalp: %s\n", e.what());
        return 1;
    }
}

#include "run/indexargs.h"

#include <algorithm>

#include "platform/platform.h"
#include "run/sweepargs.h"

namespace kalp {

void addindex(CLI::App& app, IndexArgs& args) {
    CLI::App* c = app.add_subcommand(
        "index", "Compute the selection index of each path on the economic weights of the "
                 "folder's scenario, from index-traits.csv, index-correlations.csv, "
                 "index-sources.csv and index-selection.csv, and the response it brings");
    args.command = c;
    Options& o = args.options;
    c->add_option("-C,--dir", args.dir, "Work in DIR instead of the current directory")->type_name("DIR");
    c->add_flag("--csv", o.csv,
                "Also write kalp-index.csv, kalp-index-weights.csv and kalp-index-response.csv");
    c->add_flag("--json", o.json, "Also write kalp-index.json");
    c->add_flag("--plot", o.plot, "Also draw kalp-index.svg, the response by trait component");
    c->add_option("--weights", args.weights,
                  "Take the economic weights from FILE, a CSV file in the columns of "
                  "kalp-weights.csv (trait, component, economic_weight), instead of computing the "
                  "folder's scenario; a relative FILE is taken from the working directory (-C)")
        ->type_name("FILE");
    c->add_option("--restrict", args.held,
                  "Also compute the restricted index, under which the trait component does not change "
                  "(TRAIT is its number or its name in index-traits.csv, COMPONENT direct or maternal); "
                  "give it again for more components")
        ->type_name("TRAIT:COMPONENT")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    c->add_option("--draws", args.draws,
                  "Also judge the index against N draws of the economic values that values-uncertainty.csv "
                  "names: the efficiency of the index on the given values when the truth is each draw, and "
                  "the expected loss (with --csv kalp-index-draws.csv)")
        ->type_name("N");
    c->add_option("--seed", args.seed, "The seed of --draws, a whole number (default 1)")->type_name("S");
    c->add_option("--sweep", args.sweeps,
                  "Also compute the index of every scenario of a sweep, as kalp --sweep gives them: "
                  "kalp-index-sweep.csv, kalp-index-sweep-response.csv and kalp-index-sweep-scenarios.csv, "
                  "with --plot kalp-index-sweep.svg")
        ->type_name("NAME=VALUES")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    c->add_flag("--bend", o.bend,
                "Bend a covariance matrix that is not positive definite instead of stopping, and "
                "list the correlations it moved");
}

int runindex(IndexArgs& args, const std::string& dir, Console& console, Folders& folders,
             const std::function<int(const std::string&)>& usage) {
    if (args.command->get_option("--dir")->count() > 0 && args.dir.empty())
        return usage("-C (--dir) needs the name of a directory, not an empty text");
    if (args.command->get_option("--weights")->count() > 0 && args.weights.empty())
        return usage("--weights needs the name of a file, not an empty text");
    const std::string here = args.dir.empty() ? (dir.empty() ? "." : dir) : args.dir;
    int error = 0;
    Folder* folder = folders.open(here, error);
    if (!folder) {
        console.warn("kalp: cannot work in " + here + ": " + platform::errortext(error) + "\n");
        return 2;
    }
    Options& o = args.options;
    o.command = Options::Command::index;
    try {
        o.sweeps = parsesweeps(args.sweeps);
        if (args.command->get_option("--draws")->count() > 0) o.draws = parsedraws(args.draws);
        if (args.command->get_option("--seed")->count() > 0) o.seed = parseseed(args.seed);
    } catch (const BadSweep& e) {
        return usage(e.what());
    }
    if (args.command->get_option("--seed")->count() > 0 && o.draws == 0)
        return usage("--seed is the seed of --draws; give it with --draws N");
    if ((o.draws > 0 || !o.sweeps.empty()) && !args.weights.empty())
        return usage(std::string(o.draws > 0 ? "--draws" : "--sweep") +
                     " draws or sweeps the values of the folder's scenario; --weights takes fixed weights "
                     "instead. Give one of them");
    for (const std::string& h : args.held) {
        const size_t colon = h.rfind(':');
        std::string comp = colon == std::string::npos ? "" : h.substr(colon + 1);
        std::transform(comp.begin(), comp.end(), comp.begin(),
                       [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; });
        if (colon == 0 || (comp != "direct" && comp != "maternal"))
            return usage("--restrict " + h + ": give a trait and its component, such as 24:direct or "
                         "fat_depth:direct");
        if (std::find(o.held.begin(), o.held.end(), h.substr(0, colon + 1) + comp) != o.held.end())
            return usage("--restrict " + h + " is given twice");
        o.held.push_back(h.substr(0, colon + 1) + comp);
    }
    if (!args.weights.empty()) {
        // FILE is named from the working folder, as every file of the run.
        const std::string& w = args.weights;
        const bool absolute = w[0] == '/' || w[0] == '\\' || (w.size() > 1 && w[1] == ':');
        const std::string path = absolute || here == "." ? w : here + "/" + w;
        const size_t slash = path.find_last_of("/\\");
        const std::string in = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        o.weightsfile = slash == std::string::npos ? path : path.substr(slash + 1);
        o.weightspath = w;
        o.weightsfolder = o.weightsfile.empty() ? nullptr : folders.open(in, error);
        if (!o.weightsfolder || o.weightsfolder->entry(o.weightsfile) == Entry::missing)
            return usage("--weights " + w + ": no such file");
    }
    return kalp(*folder, console, o);
}

} // namespace kalp

#include "program/init.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "core/stop.h"

namespace kalp {

namespace {

std::string paravrd(bool standardised) {
    return std::string("\"Parameters of the run\"\n") + (standardised ? "2" : "1") +
           "\n\"Standardise the economic weights by genetic standard deviations (2 = yes, 1 = "
           "no)\"\n";
}

// What each file of the scenario holds, for the user who edits it.
std::string readme(bool two, bool standardised) {
    std::string s =
        "A first KALP scenario, written by kalp init. Run kalp in this folder to compute the\n"
        "economic weights; kalp --classes lists the sex and age groups.\n\n"
        "ERROR.TXT        1 stops the run (written by TORM2); 0 lets it go on.\n"
        "P01.TXT          the number of production systems.\n"
        "PARAVRD.TXT      2 standardises the weights by genetic standard deviations, 1 does not.\n"
        "TEXTVRD_OUT.TXT  the wording of the results file; the trait names come from it.\n"
        "INPUTVRD01A.TXT  system A, bare numbers in this order: the discount rate per year; the\n"
        "                 number of reproductive ram classes and their age weights (summing to\n"
        "                 1); the number of reproductive ewe classes and their age weights; the\n"
        "                 economic values of the 35 traits; the age of the rams and of the ewes\n"
        "                 at first use in days.\n";
    if (two)
        s += "INPUTVRD01B.TXT  system B, bare numbers: ram classes and age weights, ewe classes and\n"
             "                 age weights, 35 economic values for purebred progeny of B, 35 for\n"
             "                 crossbred progeny, the ages at first use of the B rams, of the A rams\n"
             "                 used on B ewes and of the B ewes, and for each ewe class of B the\n"
             "                 share of its ewes mated to rams of A.\n"
             "INPUTVRD03.TXT   the gene flow: expression weights of A and B, the traced group, the\n"
             "                 number of years and how the newborn sires get their genes.\n";
    else
        s += "INPUTVRD02.TXT   the gene flow: the traced group, the number of years and how the\n"
             "                 newborn rams get their genes.\n";
    if (standardised)
        s += "INPUTVRD04.TXT   the genetic standard deviations of the traits.\n"
             "INPUTVRD05.TXT   the trait that counts in each pair of alternative traits.\n";
    s += "\nThe annotated files carry their own words: every value stands before its\n"
         "description and label in double quotes, and the comment between the two slashes at\n"
         "the start of the file is free text.\n";
    return s;
}

// The text of `name` in `from`; a file that is missing there ends the run.
std::string take(const Folder* from, const std::string& name) {
    std::string text;
    int error = 0;
    if (!from || !from->read(name, text, error) || text.empty())
        fail("The file " + name + " that kalp init copies is missing" +
                 (from ? " in " + from->where() : std::string()) + ".",
             "Reinstall KALP.");
    return text;
}

// The first index files: the traits, correlations and records of the
// worked example; both paths selected on the economic weights of the
// scenario's own traced group, which any scenario has.
const char* const firstindex[] = {"index-traits.csv", "index-correlations.csv", "index-sources.csv"};
const char* const firstselection = "path,proportion,intensity,generation_interval,traced_group\n"
                                   "rams,0.05,,,\newes,0.5,,,\n";

} // namespace

std::vector<std::string> initindex(Folder& folder, const Folder* examples) {
    std::vector<std::pair<std::string, std::string>> files;
    std::transform(std::begin(firstindex), std::end(firstindex), std::back_inserter(files), [&](const char* name) {
        return std::pair<std::string, std::string>(name, take(examples, std::string("index/") + name));
    });
    files.emplace_back("index-selection.csv", firstselection);
    for (const auto& f : files)
        if (folder.entry(f.first) != Entry::missing)
            fail("The folder holds " + f.first + " already; a first set of index files is written "
                 "only into a folder without any of them.",
                 "Edit the index files there, or remove them to begin anew.");
    const std::unique_ptr<Hold> lock = lockfolder(folder);
    std::vector<OutputFile> out;
    std::vector<std::string> names;
    for (const auto& [name, text] : files) {
        out.emplace_back(folder, name);
        out.back().write(text);
        names.push_back(name);
    }
    std::vector<OutputFile*> all(out.size());
    std::transform(out.begin(), out.end(), all.begin(), [](OutputFile& f) { return &f; });
    publish(all);
    return names;
}

int init(Folder& folder, Console& console, const Options& o) {
    // The examples: a flock of A alone, and a dairy flock B whose older
    // ewes are partly crossed with rams of A.
    const std::string example = o.two            ? "two-systems/"
                                : o.standardised ? "one-system-standardised/"
                                                 : "one-system/";
    std::vector<std::pair<std::string, std::string>> files = {
        {"ERROR.TXT", ""},       {"P01.TXT", ""},         {"PARAVRD.TXT", ""},
        {"TEXTVRD_OUT.TXT", ""}, {"INPUTVRD01A.TXT", ""}, {"README.txt", ""}};
    if (o.two) {
        files.emplace_back("INPUTVRD01B.TXT", "");
        files.emplace_back("INPUTVRD03.TXT", "");
    } else {
        files.emplace_back("INPUTVRD02.TXT", "");
    }
    if (o.standardised) {
        files.emplace_back("INPUTVRD04.TXT", "");
        files.emplace_back("INPUTVRD05.TXT", "");
    }
    // Nothing of the user's is written over.
    const auto held = std::find_if(files.begin(), files.end(), [&](const auto& f) {
        return folder.entry(f.first) != Entry::missing;
    });
    if (held != files.end()) {
        console.warn("kalp init: " + o.folder + " already holds " + held->first +
                     "; kalp init writes a scenario only into a folder without the files it "
                     "writes\n");
        return 2;
    }
    try {
        const std::unique_ptr<Hold> lock = lockfolder(folder);
        std::vector<OutputFile> out;
        for (auto& [name, text] : files) {
            if (name == "ERROR.TXT") text = "0\n";
            else if (name == "P01.TXT") text = o.two ? "2\n" : "1\n";
            else if (name == "PARAVRD.TXT") text = paravrd(o.standardised);
            else if (name == "README.txt") text = readme(o.two, o.standardised);
            else if (name == "TEXTVRD_OUT.TXT") text = take(o.share, name);
            else text = take(o.examples, example + name);
            out.emplace_back(folder, name);
            out.back().write(text);
        }
        std::vector<OutputFile*> all(out.size());
        std::transform(out.begin(), out.end(), all.begin(), [](OutputFile& f) { return &f; });
        publish(all);
    } catch (const RunStop& stop) {
        console.print(stop.report());
        return 1;
    }
    std::string said = std::string("kalp init wrote a scenario of ") +
                       (o.two ? "two production systems" : "one production system") + " " +
                       (o.standardised ? "with standardisation" : "without standardisation") +
                       " into " + o.folder + ":\n";
    for (const auto& f : files)
        said += "  " + f.first + "\n";
    // A name with blanks is quoted, so that the command can be typed as shown
    // (the same on a Windows command prompt and in a POSIX shell).
    const bool blank = o.folder.find_first_of(" \t") != std::string::npos;
    const std::string named = blank ? "\"" + o.folder + "\"" : o.folder;
    said += "Run kalp in that folder (kalp -C " + named + ") to compute the economic weights.\n";
    console.print(said);
    if (console.flush()) return 0;
    console.warn("kalp init: the console output could not be written; the scenario's files "
                 "are written, in " + o.folder + "\n");
    return 1;
}

} // namespace kalp

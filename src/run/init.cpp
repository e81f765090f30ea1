#include "run/init.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/stop.h"
#include "textio/lock.h"
#include "textio/outfile.h"

namespace kalp {

namespace {

const char* const inputs[] = {"ERROR.TXT",       "P01.TXT",         "PARAVRD.TXT",
                              "TEXTVRD_OUT.TXT", "INPUTVRD01A.TXT", "INPUTVRD01B.TXT",
                              "INPUTVRD02.TXT",  "INPUTVRD03.TXT",  "INPUTVRD04.TXT",
                              "INPUTVRD05.TXT"};

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string slurp(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "r")) {
        char buf[8192];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

// Where the template and the examples are: beside the installed program
// (PREFIX/share/kalp), or in the source tree of the build that the program
// runs from.
struct Data {
    std::string tpl, examples;
};
Data datadir() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    std::string bin(exe, static_cast<size_t>(n));
    bin.resize(bin.rfind('/'));
    const std::string share = bin + "/../share/kalp";
    if (exists(share + "/TEXTVRD_OUT.TXT") && exists(share + "/examples"))
        return {share + "/TEXTVRD_OUT.TXT", share + "/examples/"};
    char build[PATH_MAX];
    const std::string source = KALP_SOURCE_DIR;
    if (realpath(KALP_BUILD_DIR, build) && bin == build)
        return {source + "/share/TEXTVRD_OUT.TXT", source + "/examples/"};
    return {};
}

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

int refuse(const std::string& what) {
    std::fprintf(stderr, "kalp init: %s\n", what.c_str());
    return 2;
}

} // namespace

int init(const std::string& dir, bool two, bool standardised) {
    const Data data = datadir();
    if (data.tpl.empty())
        return refuse("the report template TEXTVRD_OUT.TXT was not found beside the program "
                      "(PREFIX/share/kalp) nor in its source tree");
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
        return refuse("cannot make the folder " + dir + ": " + std::strerror(errno));
    const auto held = std::find_if(std::begin(inputs), std::end(inputs),
                                   [&](const char* name) { return exists(dir + "/" + name); });
    if (held != std::end(inputs))
        return refuse(dir + " already holds " + *held +
                      "; kalp init writes a scenario only into a folder without input files");
    // The examples of the source tree: a flock of A alone, and a dairy flock
    // B whose older ewes are partly crossed with rams of A.
    const std::string example =
        data.examples + (two ? "two-systems" : standardised ? "one-system-standardised" : "one-system");
    std::vector<std::pair<std::string, std::string>> files = {
        {"ERROR.TXT", "0\n"},
        {"P01.TXT", two ? "2\n" : "1\n"},
        {"PARAVRD.TXT", paravrd(standardised)},
        {"TEXTVRD_OUT.TXT", slurp(data.tpl)},
        {"INPUTVRD01A.TXT", slurp(example + "/INPUTVRD01A.TXT")},
        {"README.txt", readme(two, standardised)}};
    if (two) {
        files.emplace_back("INPUTVRD01B.TXT", slurp(example + "/INPUTVRD01B.TXT"));
        files.emplace_back("INPUTVRD03.TXT", slurp(example + "/INPUTVRD03.TXT"));
    } else {
        files.emplace_back("INPUTVRD02.TXT", slurp(example + "/INPUTVRD02.TXT"));
    }
    if (standardised) {
        files.emplace_back("INPUTVRD04.TXT", slurp(example + "/INPUTVRD04.TXT"));
        files.emplace_back("INPUTVRD05.TXT", slurp(example + "/INPUTVRD05.TXT"));
    }
    if (chdir(dir.c_str()) != 0) return refuse("cannot work in " + dir + ": " + std::strerror(errno));
    try {
        const FolderLock lock;
        std::vector<OutputFile> out;
        for (const auto& [name, text] : files) {
            if (text.empty()) fail("The file " + name + " of the example is missing.", "Reinstall KALP.");
            out.emplace_back(name);
            out.back().write(text);
        }
        std::vector<OutputFile*> all(out.size());
        std::transform(out.begin(), out.end(), all.begin(), [](OutputFile& f) { return &f; });
        publish(all);
    } catch (const RunStop& stop) {
        std::fputs(stop.report().c_str(), stdout);
        return 1;
    }
    std::printf("kalp init wrote a scenario of %s %s into %s:\n",
                two ? "two production systems" : "one production system",
                standardised ? "with standardisation" : "without standardisation", dir.c_str());
    for (const auto& f : files)
        std::printf("  %s\n", f.first.c_str());
    std::printf("Run kalp in that folder (kalp -C %s) to compute the economic weights.\n",
                dir.c_str());
    return 0;
}

} // namespace kalp

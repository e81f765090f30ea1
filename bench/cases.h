// Working directories for the benchmarks: the bundled examples and the
// largest layout the model holds.
#pragma once


#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// The working directories are made by the functions below:
// scratchdir() makes a fresh one (removed by removedir), copyexample copies
// examples/NAME and the delivered template into it, write79 writes a two-
// system case with 79 classes (RRA 5, LLA 15, RRB 5, LLB 15, B ewes used for
// 26 years), no standardisation, traced group 1.

namespace kalp::bench {

#ifndef _WIN32  // the benchmarks run on Linux; the tests take write79 alone
inline std::string scratchdir() {
    std::string t = (std::filesystem::temp_directory_path() / "kalp-bench-XXXXXX").string();
    if (!mkdtemp(t.data())) std::abort();
    return t;
}
#endif

inline void removedir(const std::string& dir) { std::filesystem::remove_all(dir); }

inline void copyexample(const std::string& dir, const std::string& name) {
    const std::filesystem::path source = KALP_SOURCE_DIR;
    for (const auto& e : std::filesystem::directory_iterator(source / "examples" / name))
        std::filesystem::copy_file(e.path(), dir + "/" + e.path().filename().string(),
                                   std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(source / "share" / "TEXTVRD_OUT.TXT", dir + "/TEXTVRD_OUT.TXT",
                               std::filesystem::copy_options::overwrite_existing);
}

inline std::string values79() {
    std::string values;
    for (int k = 1; k <= 35; ++k)
        values += std::to_string(k % 7) + ".5 ";
    return values;
}

// Fifteen ewe classes of equal weight: they sum to 1 within the tolerance.
inline std::string ewes79() {
    std::string ewes;
    for (int i = 0; i < 15; ++i)
        ewes += "0.0666667 ";
    return ewes + "\n";
}

// The two files a user rewrites for each scenario of a sweep by hand.
inline void write79scenario(const std::string& dir, const std::string& u, int years) {
    auto put = [&](const char* name, const std::string& text) {
        std::ofstream(dir + "/" + name) << text;
    };
    const std::string values = values79(), ewes = ewes79();
    put("INPUTVRD01A.TXT", u + "\n5\n0.2 0.2 0.2 0.2 0.2\n15\n" + ewes + values + "\n730 365\n");
    put("INPUTVRD03.TXT",
        "/ 79 classes /\n0.3 \"pdA\" \"pdA\"\n0.7 \"pdB\" \"pdB\"\n"
        "1 \"Traced\" \"n_sac\"\n" +
            std::to_string(years) +
            " \"Years\" \"l_inv\"\n2 \"S\" \"S\"\n2 \"D\" \"D\"\n2 \"S\" \"S\"\n"
            "2 \"D\" \"D\"\n\"P\" \"P\"\n\"P\" \"P\"\n\"P\" \"P\"\n\"P\" \"P\"\n");
}

inline void write79(const std::string& dir, int years) {
    copyexample(dir, "two-systems");
    const std::string values = values79(), ewes = ewes79();
    std::string shares;
    for (int i = 0; i < 15; ++i)
        shares += "0.3 ";
    std::ofstream(dir + "/PARAVRD.TXT") << "\"KALP\"\n1 \"Standardisation (2 = yes)\"\n";
    std::ofstream(dir + "/INPUTVRD01B.TXT") << "5\n0.2 0.2 0.2 0.2 0.2\n15\n" + ewes + values +
                                                   "\n" + values + "\n365 365 9490\n" + shares +
                                                   "\n";
    write79scenario(dir, "0.03", years);
}

} // namespace kalp::bench

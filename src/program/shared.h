// What a run, a sweep and the draws share: a check about once a second,
// the exports put in place together and announced, and the texts of the
// input files in memory for the scenarios of a sweep.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "report/catalogue.h"
#include "textio/console.h"
#include "textio/folder.h"

namespace kalp {

// True about once a second: when the files being written are checked, so
// that a full disk ends a long run soon.
struct Every {
    std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();
    bool due();
};

// The exports of a run or of a sweep, in the order they are announced.
struct Exports {
    Folder& folder;
    bool sweep;
    std::vector<OutputFile> files;
    void add(OutputFile&& f);
    void add(const char* name, const std::string& text);
    std::vector<OutputFile*> all();
    // The new set replaces the earlier one: exports of the same kind that
    // this run does not write go with it, so that all of them describe one
    // run.
    std::vector<Removal> stale() const;
    std::string announce() const;
};

// A chunk of a sweep's rows written on to its file: the `first` without
// the separator that sets each chunk apart from the one before. Returns
// whether the next chunk is still the first (this one was too short to
// hold the separator).
bool writechunk(const OutputFile& file, const std::string& text, const char* separator, bool first);

// What the run read but doubts, on standard error beside its console.
void warn(Console& console, const std::vector<std::string>& warnings);

// The texts of the input files, for the scenarios of a sweep: they read
// the standard deviations and pair choices again and again.
std::unique_ptr<MemoryFolder> intomemory(const Folder& files);

} // namespace kalp

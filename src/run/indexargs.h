// The arguments of kalp index: its subcommand on the command line, and the
// folders it names opened before the program is called.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "program/kalp.h"
#include "run/cli.h"

namespace kalp {

struct IndexArgs {
    CLI::App* command = nullptr;
    std::string dir, weights;
    std::vector<std::string> held, sweeps;
    std::string draws, seed;
    Options options;
};

// Adds the subcommand `index` to `app`.
void addindex(CLI::App& app, IndexArgs& args);

// Runs kalp index as the arguments ask, in the folder `dir` that the
// command line gave before the subcommand unless it gives its own; a
// usage error goes to `usage`, which returns its exit status.
int runindex(IndexArgs& args, const std::string& dir, Console& console, Folders& folders,
             const std::function<int(const std::string&)>& usage);

} // namespace kalp

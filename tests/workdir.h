// Working folders for the tests: in memory, where the whole program runs in
// process (Workdir), or a temporary directory on disk where the real kalp
// binary runs (Diskdir).
#pragma once

#include <concepts>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "process.h"
#include "run/cli.h"
#include "textio/console.h"
#include "textio/folder.h"

namespace kalp::test {

struct Outcome {
    int status;         // exit status of kalp
    std::string output; // everything it printed on standard output
    std::string errors; // and on standard error
    // The output without its last line, the elapsed-time line.
    std::string beforetime() const;
    // Whether the last line is the elapsed-time line.
    bool endswithtime() const;
};

// A working folder in memory ("."), with folders beside it by name, on
// which kalp runs in process with a console in memory. A name with a slash
// ("new/resgfps02") is a file of the folder before the slash.
class Workdir {
public:
    Workdir();
    Workdir(const Workdir&) = delete;
    Workdir& operator=(const Workdir&) = delete;

    void write(const std::string& name, const std::string& text);
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    void remove(const std::string& name);
    // Puts a folder (or a special file) at `name`.
    void place(const std::string& name, Entry kind);
    // The names of the files in the working folder.
    std::vector<std::string> files() const;
    // Runs kalp with `args` (split at blanks, '' quoting), in process.
    Outcome run(const std::string& args = "");
    // The same with a console of the caller's.
    Outcome run(const std::string& args, Console& console);
    // The working folder itself, with its record of what was read, put in
    // place and removed.
    MemoryFolder& folder() { return folders_.at("."); }
    // The console of the last run.
    const MemoryConsole& console() const { return *console_; }

private:
    MemoryFolders folders_;
    std::unique_ptr<MemoryConsole> console_;
    MemoryFolder& folderof(const std::string& name, std::string& file);
    const MemoryFolder* folderof(const std::string& name, std::string& file) const;
};

// The arguments of a command line: split at blanks, '' quoting.
std::vector<std::string> arguments(const std::string& args);

// A temporary working directory on disk in which the real kalp binary
// runs.
class Diskdir {
public:
    Diskdir();
    ~Diskdir();
    Diskdir(const Diskdir&) = delete;
    Diskdir& operator=(const Diskdir&) = delete;

    void write(const std::string& name, const std::string& text) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    void remove(const std::string& name) const;
    const std::string& path() const { return dir_; }
    // Everything that appeared beside the working directory.
    std::vector<std::string> outside() const;
    // The names of the files in the working directory.
    std::vector<std::string> files() const;
    // Runs kalp with `args` (split at blanks, '' quoting), after the words
    // of `wrap` (a program that runs it, such as prlimit), its standard
    // output going to `out` when given.
    Outcome run(const std::string& args = "", const std::string& wrap = "",
                const std::string& out = "") const;
    // Starts kalp with `args`, its console going to `console` beside the
    // working directory.
    Started start(const std::string& args, const std::string& console = "started") const;
    // The path of a file beside the working directory.
    std::string beside(const std::string& name) const { return base_ + "/" + name; }

private:
    std::string base_, dir_;
};

// The bytes of a file, or "" when it cannot be read.
std::string slurp(const std::string& path);
template <class Path>
    requires std::same_as<Path, std::filesystem::path>
std::string slurp(const Path& path) {
    const std::u8string s = path.u8string();
    return slurp(std::string(s.begin(), s.end()));
}
// A path of UTF-8 text as the system takes it, and back.
std::filesystem::path native(const std::string& utf8);
std::string utf8(const std::filesystem::path& path);
// The kalp binary of this build.
std::string kalpbinary();

// A row of a test that this system cannot run, named in the test's output
// and its XML report rather than dropped silently.
void skiprow(const std::string& row, const std::string& why);
// Whether this system makes symbolic links (Windows only in developer
// mode or for an administrator, Wine not at all).
bool symlinksmade();

// Copies the bundled example `name` and the delivered report template into
// the working folder.
void copyexample(Workdir& w, const std::string& name);
void copyexample(const Diskdir& w, const std::string& name);

// A report template whose n-th segment reads "{n}", for n = 1..count.
std::string numberedtemplate(int count = 297);

} // namespace kalp::test

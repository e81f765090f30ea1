// A temporary working directory in which the real kalp binary runs.
#pragma once

#include <string>
#include <vector>

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

// A kalp started in the background.
struct Started {
    int pid;
    // Its exit status, or 128 + the number of the signal that ended it.
    int wait() const;
};

class Workdir {
public:
    Workdir();
    ~Workdir();
    Workdir(const Workdir&) = delete;
    Workdir& operator=(const Workdir&) = delete;

    void write(const std::string& name, const std::string& text) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;
    void remove(const std::string& name) const;
    const std::string& path() const { return dir_; }
    // Everything that appeared beside the working directory.
    std::vector<std::string> outside() const;
    // The names of the files in the working directory.
    std::vector<std::string> files() const;
    // Runs kalp with `args` (already quoted for the shell).
    Outcome run(const std::string& args = "") const;
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

// Copies the bundled example `name` and the delivered report template into
// the working directory.
void copyexample(const Workdir& w, const std::string& name);

// A report template whose n-th segment reads "{n}", for n = 1..count.
std::string numberedtemplate(int count = 297);

} // namespace kalp::test

// The files that a run writes are published whole.
//
// Each is written under a temporary name beside its final name
// (".kalp-unfinished-NAME") and renamed into place only when the run
// publishes it, after its last byte was written and synced; a file that is
// never published is removed when its owner goes, and by the handlers of
// the signals that end a run (SIGINT, SIGTERM, SIGHUP). A run that is killed
// otherwise leaves its temporary files, which the next run in the folder
// removes: nothing else has such names.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kalp {

// The temporary name of `name` (a file name, or a path whose last part is
// the file name).
std::string tempname(const std::string& name);

class OutputFile {
public:
    OutputFile() = default;
    // Creates the temporary file of `name`. A folder at `name`, or a file
    // that cannot be created, ends the run.
    explicit OutputFile(const std::string& name);
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* fp() const { return fp_; }
    const std::string& name() const { return name_; }
    bool open() const { return fp_ != nullptr; }
    void write(const std::string& text) const;
    // Hands the bytes written so far to the system; a write that failed (a
    // full disk) ends the run.
    void check() const;
    // Flushes, syncs and closes the file; a write that did not reach the
    // disk ends the run.
    void close();

private:
    friend void publish(const std::vector<OutputFile*>& files);
    std::string name_, temp_;
    std::FILE* fp_ = nullptr;
    int slot_ = -1; // in the list of temporary files that a signal removes
    void discard();
};

// Puts closed files in place together: first each name is checked (a file
// or a link there is replaced; anything else ends the run, nothing being
// replaced), then every file is renamed, then the folder is synced.
void publish(const std::vector<OutputFile*>& files);

// A folder, or anything else but a file or a link, at `name` ends the run
// with a report that names it; the run has replaced nothing then.
void requireplace(const std::string& name);
// Removes the temporary files that a killed run left for `names`. Anything
// else at such a name ends the run.
void removeunfinished(const std::vector<std::string>& names);

// SIGINT, SIGTERM and SIGHUP remove the temporary files and end the run
// with a line on standard error and the signal's usual status. A console
// that is closed (SIGPIPE) and a file size limit (SIGXFSZ) become write
// errors that the run reports.
void handlesignals();

} // namespace kalp

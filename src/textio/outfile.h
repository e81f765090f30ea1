// A file that a run writes: it is written under a temporary name beside
// its final name and put in place only when the run publishes it. A file
// that is never published is removed when its owner goes.
#pragma once

#include <cstdio>
#include <string>

namespace kalp {

class OutputFile {
public:
    OutputFile() = default;
    // Creates the temporary file of `name`; a file that cannot be created,
    // or a folder at `name`, ends the run. `inplace` writes `name` itself.
    explicit OutputFile(const std::string& name, bool inplace = false);
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* fp() const { return fp_; }
    const std::string& name() const { return name_; }
    bool open() const { return fp_ != nullptr; }
    // Writes `text`.
    void write(const std::string& text) const;
    // Closes the file; a write that did not reach it ends the run.
    void close();
    // Puts the closed file in place under its name.
    void publish();

private:
    void discard();
    std::string name_, temp_;
    std::FILE* fp_ = nullptr;
    bool published_ = false;
};

} // namespace kalp

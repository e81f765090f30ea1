// Where the input files of a run come from: a folder, or texts held in
// memory under the fixed file names. Every stage opens its file through a
// source, so that a scenario can be run without touching the disk.
#pragma once

#include <cstdio>
#include <map>
#include <string>

namespace kalp {

class FileSource {
public:
    virtual ~FileSource() = default;
    // Opens `name` for reading; nullptr with errno set when it cannot.
    virtual std::FILE* open(const char* name) const = 0;
};

// The files of a folder ("." for the working directory).
class FolderSource final : public FileSource {
public:
    explicit FolderSource(std::string dir = ".") : dir_(std::move(dir)) {}
    std::FILE* open(const char* name) const override;

private:
    std::string dir_;
};

// Texts held in memory; a name without a text is a missing file.
class TextSource final : public FileSource {
public:
    TextSource() = default;
    explicit TextSource(std::map<std::string, std::string> texts) : texts_(std::move(texts)) {}
    std::FILE* open(const char* name) const override;
    void set(const std::string& name, std::string text) { texts_[name] = std::move(text); }
    const std::map<std::string, std::string>& texts() const { return texts_; }

private:
    std::map<std::string, std::string> texts_;
};

} // namespace kalp

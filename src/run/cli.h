// The command line of kalp: its arguments read, the folder they name
// opened and the program called, on disk (main) or in memory (the tests).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "textio/console.h"
#include "textio/folder.h"

namespace kalp {

// The folders that a command line names.
class Folders {
public:
    virtual ~Folders() = default;
    // The folder `dir`; null with `error` when no folder stands there.
    virtual Folder* open(const std::string& dir, int& error) = 0;
    // Makes the folder `dir` when it is missing (kalp init); false with
    // `error` when it cannot.
    virtual bool make(const std::string& dir, int& error) = 0;
    // The folders of the report template and of the examples that kalp
    // init copies; null when there are none.
    virtual const Folder* share() = 0;
    virtual const Folder* examples() = 0;
    // How a message names the place where they were looked for.
    virtual std::string sharename() const = 0;
    // The folders of kalp serve on disk: its working folder, the template's
    // and the examples'. False where the editor cannot run.
    virtual bool serving(std::string& share, std::string& examples) = 0;
};

// The folders of the disk: the working directory and the folders below
// it, and the template and examples beside the program.
class DiskFolders final : public Folders {
public:
    Folder* open(const std::string& dir, int& error) override;
    bool make(const std::string& dir, int& error) override;
    const Folder* share() override;
    const Folder* examples() override;
    std::string sharename() const override;
    bool serving(std::string& share, std::string& examples) override;

private:
    std::vector<std::unique_ptr<DiskFolder>> open_;
    std::unique_ptr<DiskFolder> share_, examples_;
    bool looked_ = false;
    void look();
};

// Folders held in memory under their names ("." the working folder).
class MemoryFolders final : public Folders {
public:
    // The folder `dir`, made when missing.
    MemoryFolder& at(const std::string& dir) { return folders_[dir]; }
    // The folder `dir`, or null.
    const MemoryFolder* find(const std::string& dir) const {
        const auto f = folders_.find(dir);
        return f == folders_.end() ? nullptr : &f->second;
    }
    Folder* open(const std::string& dir, int& error) override;
    bool make(const std::string& dir, int& error) override;
    const Folder* share() override { return share_; }
    const Folder* examples() override { return examples_; }
    std::string sharename() const override { return "memory"; }
    bool serving(std::string&, std::string&) override { return false; }
    void setdata(const Folder* share, const Folder* examples) {
        share_ = share;
        examples_ = examples;
    }

private:
    std::map<std::string, MemoryFolder> folders_;
    const Folder* share_ = nullptr;
    const Folder* examples_ = nullptr;
};

// Reads the arguments (without the program's name), opens the folder they
// name and runs what they ask; returns the exit status.
int command(const std::vector<std::string>& args, Console& console, Folders& folders);

} // namespace kalp

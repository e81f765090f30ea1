#include "textio/folder.h"

#include <cerrno>
#include <utility>

#include "core/stop.h"
#include "platform/platform.h"

namespace kalp {

namespace {

[[noreturn]] void cannotcreate(const std::string& name) {
    failin(name, "", "The output file " + name + " cannot be created.",
           "Make sure that " + name +
               " can be written in the working directory and restart the program.",
           StopKind::output);
}

[[noreturn]] void notwritten(const std::string& name) {
    failin(name, "", "The output file " + name + " could not be written completely.",
           "Make room on the disk or check the permissions of " + name +
               " and restart the program.",
           StopKind::output);
}

// What stands at `name` when it is neither missing nor a file nor a link:
// "a folder", "a special file".
const char* obstacle(const Folder& folder, const std::string& name) {
    switch (folder.entry(name)) {
    case Entry::folder: return "a folder";
    case Entry::special: return "a special file (not a plain file)";
    default: return nullptr;
    }
}

[[noreturn]] void inway(const std::string& path, const std::string& name, const char* what) {
    const std::string role =
        path == name ? "" : ", where KALP writes " + name + " until the run is complete,";
    failin(name, "",
           "The output file " + name + " cannot be written: " + path + role + " is " + what + ".",
           "Remove or rename " + path + " and restart the program.", StopKind::output);
}

} // namespace

std::string tempname(const std::string& name) { return ".kalp-unfinished-" + name; }

// -- OutputFile --------------------------------------------------------

OutputFile::OutputFile(Folder& folder, const std::string& name) : folder_(&folder), name_(name) {
    if (folder.entry(name) == Entry::folder) cannotcreate(name);
    // A stale temporary file was removed when the run began; whatever
    // stands there now is not ours and stays.
    int error = 0;
    draft_ = folder.draft(name, error);
    if (draft_) return;
    if (const char* what = obstacle(folder, tempname(name))) inway(tempname(name), name, what);
    cannotcreate(name);
}

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : folder_(other.folder_), name_(std::move(other.name_)), draft_(std::move(other.draft_)),
      finished_(other.finished_) {
    other.finished_ = false;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        discard();
        folder_ = other.folder_;
        name_ = std::move(other.name_);
        draft_ = std::move(other.draft_);
        finished_ = other.finished_;
        other.finished_ = false;
    }
    return *this;
}

void OutputFile::write(std::string_view text) const {
    // A failed write shows at the next check or at close.
    if (draft_ && !finished_) draft_->write(text);
}

void OutputFile::check() const {
    if (draft_ && !finished_ && !draft_->flush()) notwritten(name_);
}

void OutputFile::close() {
    if (!draft_ || finished_) return;
    if (!draft_->finish()) {
        // An incomplete file is never put in place.
        discard();
        notwritten(name_);
    }
    finished_ = true;
}

void OutputFile::discard() {
    if (!draft_) return;
    draft_->abandon();
    draft_.reset();
    finished_ = false;
}

void publish(const std::vector<OutputFile*>& files) {
    for (OutputFile* f : files) {
        f->close();
        if (!f->draft_) notwritten(f->name_);
        requireplace(*f->folder_, f->name_);
    }
    std::vector<Folder*> folders;
    for (OutputFile* f : files) {
        int error = 0;
        if (!f->folder_->place(f->name_, error)) notwritten(f->name_);
        // Put in place: nothing is left to remove.
        f->draft_.reset();
        f->finished_ = false;
        bool known = false;
        for (const Folder* d : folders)
            known = known || d == f->folder_;
        if (!known) folders.push_back(f->folder_);
    }
    for (Folder* d : folders)
        d->settle();
}

void requireplace(const Folder& folder, const std::string& name) {
    if (const char* what = obstacle(folder, name)) inway(name, name, what);
}

void removeunfinished(Folder& folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const Entry e = folder.entry(tempname(name));
        if (e == Entry::file || e == Entry::link) folder.remove(tempname(name));
    }
    for (const std::string& name : names)
        if (const char* what = obstacle(folder, tempname(name))) inway(tempname(name), name, what);
}

std::unique_ptr<Hold> lockfolder(Folder& folder) {
    bool held = false;
    int error = 0;
    std::unique_ptr<Hold> hold = folder.lock(held, error);
    if (hold) return hold;
    const std::string where = folder.where();
    if (held)
        failin(where, "", "Another KALP run is working in this folder, " + where + ".",
               "Wait until it has ended, or work in another folder, and restart the program.",
               StopKind::output);
    failin(where, "",
           "The working folder " + where + " cannot be locked: " + platform::errortext(error) + ".",
           "Check the folder and restart the program.", StopKind::output);
}

} // namespace kalp

#include "textio/folder.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "core/stop.h"
#include "platform/platform.h"

namespace kalp {

namespace {

const char* noun(Role role) { return role == Role::input ? "input file" : "output file"; }

[[noreturn]] void cannotcreate(const std::string& name, Role role) {
    failin(name, "", std::string("The ") + noun(role) + " " + name + " cannot be created.",
           "Make sure that " + name +
               " can be written in the working directory and restart the program.",
           StopKind::output);
}

[[noreturn]] void notwritten(const std::string& name, Role role) {
    failin(name, "", std::string("The ") + noun(role) + " " + name + " could not be written completely.",
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

[[noreturn]] void inway(const std::string& path, const std::string& name, const char* what,
                        Role role = Role::output) {
    const std::string where =
        path == name ? "" : ", where KALP writes " + name + " until the run is complete,";
    failin(name, "",
           std::string("The ") + noun(role) + " " + name + " cannot be written: " + path + where + " is " +
               what + ".",
           "Remove or rename " + path + " and restart the program.", StopKind::output);
}

// The file at `name` cannot be replaced or removed, for `error`.
[[noreturn]] void unreplaceable(const std::string& name, Role role, int error) {
    const std::string head = std::string("The ") + noun(role) + " " + name + " cannot be written: " + name;
    if (error == platform::heldopen)
        failin(name, "", head + " is open in another program, such as a spreadsheet.",
               "Close it there and restart the program.", StopKind::output);
    if (error == EACCES || error == EPERM || error == EROFS)
        failin(name, "", head + " is write-protected.",
               "Allow writing to it (its permissions, or its read-only mark on Windows), or remove "
               "it, and restart the program.",
               StopKind::output);
    failin(name, "",
           std::string("The ") + noun(role) + " " + name + " cannot be put in place: " +
               platform::errortext(error) + ".",
           "Check " + name + " and the working directory and restart the program.", StopKind::output);
}

bool present(const Folder& folder, const std::string& name) {
    const Entry e = folder.entry(name);
    return e == Entry::file || e == Entry::link;
}

// A step of a set being put in place: `name` was kept (what stood there)
// and then replaced by its new file or removed.
struct Step {
    Folder* folder;
    std::string name;
    bool kept = false, done = false;
};

// Puts back what the steps of a set changed, the last first, and ends the
// run with the report on `name`, which could not be replaced.
[[noreturn]] void undo(const std::vector<Step>& steps, const std::string& name, Role role, int error) {
    for (auto s = steps.rbegin(); s != steps.rend(); ++s) {
        if (s->kept) {
            int ignored = 0;
            s->folder->restore(s->name, ignored);
        } else if (s->done) {
            s->folder->remove(s->name);
        }
        s->folder->forget(s->name);
    }
    platform::endset(false);
    unreplaceable(name, role, error);
}

} // namespace

std::string tempname(const std::string& name) { return ".kalp-unfinished-" + name; }
std::string keptname(const std::string& name) { return ".kalp-previous-" + name; }
const char* const lockname = ".kalp-lock";

// -- OutputFile --------------------------------------------------------

OutputFile::OutputFile(Folder& folder, const std::string& name, Role role)
    : folder_(&folder), name_(name), role_(role) {
    if (folder.entry(name) == Entry::folder) cannotcreate(name, role);
    // A stale temporary file was removed when the run began; whatever
    // stands there now is not ours and stays.
    int error = 0;
    draft_ = folder.draft(name, error);
    if (draft_) return;
    if (const char* what = obstacle(folder, tempname(name))) inway(tempname(name), name, what, role);
    cannotcreate(name, role);
}

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : folder_(other.folder_), name_(std::move(other.name_)), role_(other.role_),
      draft_(std::move(other.draft_)), finished_(other.finished_) {
    other.finished_ = false;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        discard();
        folder_ = other.folder_;
        name_ = std::move(other.name_);
        role_ = other.role_;
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
    if (draft_ && !finished_ && !draft_->flush()) notwritten(name_, role_);
}

void OutputFile::close() {
    if (!draft_ || finished_) return;
    if (!draft_->finish()) {
        // An incomplete file is never put in place.
        discard();
        notwritten(name_, role_);
    }
    finished_ = true;
}

void OutputFile::discard() {
    if (!draft_) return;
    draft_->abandon();
    draft_.reset();
    finished_ = false;
}

void publish(const std::vector<OutputFile*>& files, const std::vector<Removal>& removals) {
    // Every file whole, and every name free to be replaced, before any is.
    for (OutputFile* f : files) {
        f->close();
        if (!f->draft_) notwritten(f->name_, f->role_);
        requireplace(*f->folder_, f->name_, f->role_);
    }
    std::vector<Removal> gone;
    for (const Removal& r : removals)
        if (present(*r.folder, r.name)) {
            requireplace(*r.folder, r.name);
            gone.push_back(r);
        }
    // Then one by one, each keeping what it replaces; a signal waits until
    // the set is whole.
    platform::beginset();
    std::vector<Step> steps;
    for (OutputFile* f : files) {
        int error = 0;
        const bool kept = present(*f->folder_, f->name_);
        if (kept && !f->folder_->keep(f->name_, error)) undo(steps, f->name_, f->role_, error);
        steps.push_back({f->folder_, f->name_, kept, false});
        if (!f->folder_->place(f->name_, error)) undo(steps, f->name_, f->role_, error);
        steps.back().done = true;
        // Put in place: nothing is left to remove.
        f->draft_.reset();
        f->finished_ = false;
    }
    for (const Removal& r : gone) {
        int error = 0;
        if (!r.folder->keep(r.name, error)) undo(steps, r.name, Role::output, error);
        steps.push_back({r.folder, r.name, true, true});
        r.folder->remove(r.name);
    }
    std::vector<Folder*> folders;
    for (const Step& s : steps) {
        if (s.kept) s.folder->forget(s.name);
        if (std::find(folders.begin(), folders.end(), s.folder) == folders.end()) folders.push_back(s.folder);
    }
    for (Folder* d : folders)
        d->settle();
    platform::endset(true);
}

void requireplace(const Folder& folder, const std::string& name, Role role) {
    if (const char* what = obstacle(folder, name)) inway(name, name, what, role);
    if (!present(folder, name)) return;
    if (const int error = folder.replaceable(name)) unreplaceable(name, role, error);
}

void removeunfinished(Folder& folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const Entry e = folder.entry(tempname(name));
        if (e == Entry::file || e == Entry::link) folder.remove(tempname(name));
        // The earlier file of a set that was being put in place when its
        // run was killed: the set goes back to the earlier one.
        if (present(folder, keptname(name))) {
            int ignored = 0;
            folder.restore(name, ignored);
        }
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

#include "textio/folder.h"

#include <cerrno>
#include <functional>
#include <utility>

#include "core/stop.h"
#include "platform/platform.h"

namespace kalp {

namespace {

// No input file comes near this; a larger one is refused rather than read
// into memory.
constexpr long long largestfile = 256LL << 20;

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

// -- DiskFolder --------------------------------------------------------

namespace {

class DiskDraft final : public Draft {
public:
    DiskDraft(std::unique_ptr<platform::Writer> w, std::string temp, int slot)
        : w_(std::move(w)), temp_(std::move(temp)), slot_(slot) {}
    ~DiskDraft() override {
        w_.reset();
        platform::delist(slot_);
    }
    DiskDraft(const DiskDraft&) = delete;
    DiskDraft& operator=(const DiskDraft&) = delete;
    bool write(std::string_view text) override {
        return w_ && w_->write(text.data(), text.size());
    }
    bool flush() override { return w_ && w_->flush(); }
    bool finish() override { return w_ && w_->finish(); }
    void abandon() override {
        // Closed before its name goes, and known to the signal handlers
        // until then.
        w_.reset();
        platform::removefile(temp_);
    }

private:
    std::unique_ptr<platform::Writer> w_;
    std::string temp_;
    int slot_;
};

class DiskHold final : public Hold {
public:
    explicit DiskHold(std::unique_ptr<platform::Lock> l) : lock_(std::move(l)) {}

private:
    std::unique_ptr<platform::Lock> lock_;
};

} // namespace

DiskFolder::DiskFolder(std::string dir) : dir_(dir.empty() ? std::string(".") : std::move(dir)) {}

std::string DiskFolder::path(const std::string& name) const {
    return dir_ == "." ? name : dir_ + "/" + name;
}

bool DiskFolder::read(const std::string& name, std::string& text, int& error) const {
    const std::unique_ptr<platform::Reader> r = platform::openreader(path(name), error);
    if (!r) return false;
    if (r->size() > largestfile) {
        error = EFBIG;
        return false;
    }
    text.clear();
    char buf[1 << 16];
    for (long long at = 0;;) {
        const long long got = r->readat(at, buf, sizeof buf);
        if (got < 0) {
            error = errno ? errno : EIO;
            return false;
        }
        if (got == 0) return true;
        text.append(buf, static_cast<size_t>(got));
        at += got;
        if (at > largestfile) {
            error = EFBIG;
            return false;
        }
    }
}

Entry DiskFolder::entry(const std::string& name) const {
    switch (platform::kindof(path(name))) {
    case platform::Kind::missing: return Entry::missing;
    case platform::Kind::file: return Entry::file;
    case platform::Kind::link: return Entry::link;
    case platform::Kind::folder: return Entry::folder;
    case platform::Kind::other: break;
    }
    return Entry::special;
}

std::string DiskFolder::where() const { return platform::fullpath(dir_); }

std::unique_ptr<Draft> DiskFolder::draft(const std::string& name, int& error) {
    const std::string temp = path(tempname(name));
    // Known to the signal handlers before it exists, so that no signal
    // leaves it.
    const int slot = platform::enlist(temp);
    std::unique_ptr<platform::Writer> w = platform::createfile(temp, path(name), error);
    if (!w) {
        platform::delist(slot);
        return nullptr;
    }
    return std::make_unique<DiskDraft>(std::move(w), temp, slot);
}

bool DiskFolder::place(const std::string& name, int& error) {
    if (!platform::replacefile(path(tempname(name)), path(name), error)) return false;
    const std::lock_guard<std::mutex> hold(mu_);
    placed_.push_back(name);
    return true;
}

std::vector<std::string> DiskFolder::placed() const {
    const std::lock_guard<std::mutex> hold(mu_);
    return placed_;
}

void DiskFolder::remove(const std::string& name) { platform::removefile(path(name)); }

void DiskFolder::settle() { platform::syncfolder(dir_); }

std::unique_ptr<Hold> DiskFolder::lock(bool& held, int& error) {
    platform::Locked result = platform::Locked::failed;
    std::unique_ptr<platform::Lock> l = platform::lockfolder(dir_, result, error);
    held = result == platform::Locked::held;
    if (!l) return nullptr;
    return std::make_unique<DiskHold>(std::move(l));
}

// -- MemoryFolder ------------------------------------------------------

class MemoryDraft final : public Draft {
public:
    MemoryDraft(MemoryFolder& f, std::string temp) : f_(f), temp_(std::move(temp)) {}
    bool write(std::string_view text) override {
        const std::lock_guard<std::mutex> hold(f_.mu_);
        if (failed_) return false;
        std::string& file = f_.items_[temp_].text;
        if (f_.filelimit_ >= 0 &&
            static_cast<long long>(file.size()) + static_cast<long long>(text.size()) >
                f_.filelimit_) {
            failed_ = true;
            return false;
        }
        file.append(text);
        return true;
    }
    bool flush() override { return !failed_; }
    bool finish() override { return !failed_; }
    void abandon() override { f_.remove(temp_); }

private:
    MemoryFolder& f_;
    std::string temp_;
    bool failed_ = false;
};

namespace {

class MemoryHold final : public Hold {
public:
    explicit MemoryHold(std::function<void()> release) : release_(std::move(release)) {}
    ~MemoryHold() override { release_(); }
    MemoryHold(const MemoryHold&) = delete;
    MemoryHold& operator=(const MemoryHold&) = delete;

private:
    std::function<void()> release_;
};

} // namespace

MemoryFolder::MemoryFolder(const std::map<std::string, std::string>& files) {
    for (const auto& [name, bytes] : files)
        items_[name].text = bytes;
}

MemoryFolder::MemoryFolder(const MemoryFolder& other) : Folder() {
    const std::lock_guard<std::mutex> hold(other.mu_);
    items_ = other.items_;
    filelimit_ = other.filelimit_;
    recording_ = other.recording_;
}

bool MemoryFolder::read(const std::string& name, std::string& text, int& error) const {
    const std::lock_guard<std::mutex> hold(mu_);
    if (recording_) reads_.push_back(name);
    const auto found = items_.find(name);
    if (found == items_.end()) {
        error = ENOENT;
        return false;
    }
    const Item& item = found->second;
    if (item.kind == Entry::folder || item.kind == Entry::special) {
        error = item.kind == Entry::folder ? EISDIR : platform::notplain;
        return false;
    }
    if (item.error != 0) {
        error = item.error;
        return false;
    }
    text = item.text;
    return true;
}

Entry MemoryFolder::entry(const std::string& name) const {
    const std::lock_guard<std::mutex> hold(mu_);
    const auto found = items_.find(name);
    return found == items_.end() ? Entry::missing : found->second.kind;
}

std::unique_ptr<Draft> MemoryFolder::draft(const std::string& name, int& error) {
    const std::string temp = tempname(name);
    {
        const std::lock_guard<std::mutex> hold(mu_);
        if (items_.count(temp)) {
            error = EEXIST;
            return nullptr;
        }
        items_[temp] = Item{};
    }
    return std::make_unique<MemoryDraft>(*this, temp);
}

bool MemoryFolder::place(const std::string& name, int& error) {
    const std::lock_guard<std::mutex> hold(mu_);
    const auto temp = items_.find(tempname(name));
    if (temp == items_.end()) {
        error = ENOENT;
        return false;
    }
    items_[name] = std::move(temp->second);
    items_.erase(tempname(name));
    placed_.push_back(name);
    return true;
}

void MemoryFolder::remove(const std::string& name) {
    const std::lock_guard<std::mutex> hold(mu_);
    const auto found = items_.find(name);
    if (found == items_.end() || found->second.kind == Entry::folder) return;
    items_.erase(found);
    removed_.push_back(name);
}

std::unique_ptr<Hold> MemoryFolder::lock(bool& held, int&) {
    const std::lock_guard<std::mutex> hold(mu_);
    held = locked_;
    if (locked_) return nullptr;
    locked_ = true;
    return std::make_unique<MemoryHold>([this] { unlock(); });
}

void MemoryFolder::unlock() {
    const std::lock_guard<std::mutex> hold(mu_);
    locked_ = false;
}

void MemoryFolder::set(const std::string& name, std::string text) {
    const std::lock_guard<std::mutex> hold(mu_);
    items_[name] = Item{Entry::file, std::move(text), 0};
}

void MemoryFolder::setentry(const std::string& name, Entry kind) {
    const std::lock_guard<std::mutex> hold(mu_);
    if (kind == Entry::missing)
        items_.erase(name);
    else
        items_[name] = Item{kind, "", 0};
}

void MemoryFolder::setunreadable(const std::string& name, int error) {
    const std::lock_guard<std::mutex> hold(mu_);
    items_[name].error = error;
}

bool MemoryFolder::has(const std::string& name) const {
    const std::lock_guard<std::mutex> hold(mu_);
    return items_.count(name) != 0;
}

std::string MemoryFolder::text(const std::string& name) const {
    const std::lock_guard<std::mutex> hold(mu_);
    const auto found = items_.find(name);
    return found == items_.end() ? "" : found->second.text;
}

std::map<std::string, std::string> MemoryFolder::files() const {
    const std::lock_guard<std::mutex> hold(mu_);
    std::map<std::string, std::string> out;
    for (const auto& [name, item] : items_)
        if (item.kind == Entry::file) out[name] = item.text;
    return out;
}

std::vector<std::string> MemoryFolder::reads() const {
    const std::lock_guard<std::mutex> hold(mu_);
    return reads_;
}

std::vector<std::string> MemoryFolder::placed() const {
    const std::lock_guard<std::mutex> hold(mu_);
    return placed_;
}

std::vector<std::string> MemoryFolder::removed() const {
    const std::lock_guard<std::mutex> hold(mu_);
    return removed_;
}

} // namespace kalp

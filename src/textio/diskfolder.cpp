// A folder on disk, named by its path.
#include "textio/folder.h"

#include <cerrno>
#include <utility>

#include "platform/platform.h"

namespace kalp {

namespace {

// No input file comes near this; a larger one is refused rather than read
// into memory.
constexpr long long largestfile = 256LL << 20;

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
    return dir_ == "." ? name : platform::joinpath(dir_, name);
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

int DiskFolder::replaceable(const std::string& name) const { return platform::replaceable(path(name)); }

bool DiskFolder::keep(const std::string& name, int& error) {
    const std::string kept = path(keptname(name));
    platform::removefile(kept);
    // A second name where the file system has them: the file stays at its
    // name until the new one takes its place. Otherwise it moves aside.
    return platform::linkfile(path(name), kept, error) || platform::replacefile(path(name), kept, error);
}

bool DiskFolder::restore(const std::string& name, int& error) {
    if (!platform::replacefile(path(keptname(name)), path(name), error)) return false;
    // Two names of one file stay two after a rename on POSIX.
    platform::removefile(path(keptname(name)));
    return true;
}

void DiskFolder::forget(const std::string& name) { platform::removefile(path(keptname(name))); }

void DiskFolder::settle() { platform::syncfolder(dir_); }

std::unique_ptr<Hold> DiskFolder::lock(bool& held, int& error) {
    platform::Locked result = platform::Locked::failed;
    std::unique_ptr<platform::Lock> l = platform::lockfolder(dir_, path(lockname), result, error);
    held = result == platform::Locked::held;
    if (!l) return nullptr;
    return std::make_unique<DiskHold>(std::move(l));
}

} // namespace kalp

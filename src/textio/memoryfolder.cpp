// Files held in memory, with the record of what was done to them.
#include "textio/folder.h"

#include <cerrno>
#include <functional>
#include <utility>

#include "platform/platform.h"

namespace kalp {

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
    const auto there = items_.find(name);
    if (there != items_.end() && there->second.held) {
        error = platform::heldopen;
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
    if (found == items_.end() || found->second.kind == Entry::folder || found->second.held) return;
    items_.erase(found);
    removed_.push_back(name);
}

int MemoryFolder::replaceable(const std::string& name) const {
    const std::lock_guard<std::mutex> hold(mu_);
    const auto found = items_.find(name);
    if (found == items_.end()) return 0;
    if (found->second.readonly) return EACCES;
    return found->second.held == 1 ? platform::heldopen : 0;
}

bool MemoryFolder::keep(const std::string& name, int& error) {
    const std::lock_guard<std::mutex> hold(mu_);
    const auto found = items_.find(name);
    if (found == items_.end()) {
        error = ENOENT;
        return false;
    }
    if (found->second.held) {
        error = platform::heldopen;
        return false;
    }
    kept_[name] = found->second;
    return true;
}

bool MemoryFolder::restore(const std::string& name, int& error) {
    const std::lock_guard<std::mutex> hold(mu_);
    const auto found = kept_.find(name);
    if (found == kept_.end()) {
        error = ENOENT;
        return false;
    }
    items_[name] = std::move(found->second);
    kept_.erase(found);
    return true;
}

void MemoryFolder::forget(const std::string& name) {
    const std::lock_guard<std::mutex> hold(mu_);
    kept_.erase(name);
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

void MemoryFolder::setprotected(const std::string& name) {
    const std::lock_guard<std::mutex> hold(mu_);
    items_[name].readonly = true;
}

void MemoryFolder::holdopen(const std::string& name, bool late) {
    const std::lock_guard<std::mutex> hold(mu_);
    items_[name].held = late ? 2 : 1;
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

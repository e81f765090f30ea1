#include "textio/console.h"

#include <cstdio>

#include "platform/platform.h"

namespace kalp {

StdConsole::StdConsole() : terminal_(platform::isterminal(stderr)) {
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
}

void StdConsole::print(std::string_view text) {
    if (!platform::writestream(stdout, text)) failed_ = true;
}

void StdConsole::warn(std::string_view text) {
    std::fflush(stdout);
    platform::writestream(stderr, text);
}

void StdConsole::progress(std::string_view text) {
    platform::writestream(stderr, text);
    std::fflush(stderr);
}

bool StdConsole::flush() { return std::fflush(stdout) == 0 && !std::ferror(stdout) && !failed_; }

void MemoryConsole::print(std::string_view text) {
    {
        const std::lock_guard<std::mutex> hold(mu_);
        if (!full_) out_.append(text);
    }
    if (onprint) onprint(text);
}

void MemoryConsole::warn(std::string_view text) {
    const std::lock_guard<std::mutex> hold(mu_);
    err_.append(text);
}

void MemoryConsole::progress(std::string_view text) {
    const std::lock_guard<std::mutex> hold(mu_);
    progress_.append(text);
}

std::string MemoryConsole::progressed() const {
    const std::lock_guard<std::mutex> hold(mu_);
    return progress_;
}

std::string MemoryConsole::out() const {
    const std::lock_guard<std::mutex> hold(mu_);
    return out_;
}

std::string MemoryConsole::err() const {
    const std::lock_guard<std::mutex> hold(mu_);
    return err_;
}

std::string MemoryConsole::beforetime() const {
    const std::string text = out();
    const size_t cut = text.rfind('\n', text.size() >= 2 ? text.size() - 2 : 0);
    return cut == std::string::npos ? "" : text.substr(0, cut + 1);
}

} // namespace kalp

#include "serve/wire.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kalp {

namespace wire {

int until(Clock::time_point t) {
    const auto left = std::chrono::duration_cast<milliseconds>(t - Clock::now()).count();
    return left <= 0 ? 0 : left > 1000000 ? 1000000 : static_cast<int>(left);
}

std::string kb(std::size_t bytes) {
    if (bytes % (1 << 20) == 0) return std::to_string(bytes >> 20) + " MB";
    return bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KB" : std::to_string(bytes) + " bytes";
}

std::string seconds(milliseconds ms) {
    if (ms.count() == 1000) return "1 second";
    return ms.count() % 1000 == 0 ? std::to_string(ms.count() / 1000) + " seconds"
                                  : std::to_string(ms.count()) + " ms";
}

} // namespace wire

using namespace wire;

bool HttpServer::Wire::is_readable() const {
    return pos_ < buf_.size() || platform::waitsocket(s_, false, until(deadline_)) > 0;
}

bool HttpServer::Wire::is_writable() const {
    return platform::waitsocket(s_, true, static_cast<int>(limits_.stall.count())) > 0;
}

ssize_t HttpServer::Wire::read(char* out, std::size_t n) {
    if (pos_ == buf_.size() && !fill(deadline_)) return eof_ ? 0 : -1;
    // The request line and headers, then at most twice the body limit
    // (a chunked body's framing counts).
    const std::size_t most = head_ + 2 * limits_.body;
    if (given_ >= most) {
        overrun_ = true;
        return -1;
    }
    const std::size_t k = std::min({n, buf_.size() - pos_, most - given_});
    std::memcpy(out, buf_.data() + pos_, k);
    pos_ += k;
    given_ += k;
    return static_cast<ssize_t>(k);
}

ssize_t HttpServer::Wire::write(const char* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        if (!is_writable()) break;
        const long long sent = platform::sendsome(s_, data + done, n - done);
        if (sent <= 0) break;
        done += static_cast<std::size_t>(sent);
    }
    return done == 0 && n > 0 ? -1 : static_cast<ssize_t>(done);
}

void HttpServer::Wire::get_remote_ip_and_port(std::string& ip, int& port) const {
    platform::socketaddress(s_, false, ip, port);
}

void HttpServer::Wire::get_local_ip_and_port(std::string& ip, int& port) const {
    platform::socketaddress(s_, true, ip, port);
}

bool HttpServer::Wire::await(milliseconds wait) const {
    return pos_ < buf_.size() || platform::waitsocket(s_, false, static_cast<int>(wait.count())) > 0;
}

Refusal HttpServer::Wire::readhead() {
    const auto start = Clock::now();
    const auto by = start + limits_.head;
    deadline_ = start + limits_.whole;
    given_ = head_ = 0;
    late_ = overrun_ = false;
    std::size_t at = 0, line = 0, lines = 0;
    for (;;) {
        for (; pos_ + at < buf_.size(); ++at) {
            if (buf_[pos_ + at] != '\n') continue;
            const std::size_t length = at + 1 - line;
            if (lines > 0 && length == 2 && buf_[pos_ + at - 1] == '\r') {
                head_ = at + 1;
                takeranges();
                return {};
            }
            if (length > limits_.line) return toolong(lines);
            if (++lines > limits_.fields + 1)
                return {431, "The request has more than " + std::to_string(limits_.fields) +
                                 " header lines."};
            line = at + 1;
        }
        if (at - line > limits_.line) return toolong(lines);
        if (at > limits_.headbytes)
            return {431, "The request's line and headers are longer than " + kb(limits_.headbytes) + "."};
        if (!fill(by)) {
            if (!late_) return {-1, ""};
            return {408, "The request's line and headers did not arrive within " +
                             seconds(limits_.head) + " of its first byte."};
        }
    }
}

void HttpServer::Wire::takeranges() {
    ranges_.clear();
    static const char name[] = "range:";
    const std::size_t n = sizeof name - 1;
    // After the request line, up to the empty line that ends the head.
    std::size_t at = buf_.find('\n', pos_) + 1;
    while (at < pos_ + head_) {
        const std::size_t next = buf_.find('\n', at) + 1;
        bool range = next - at > n;
        for (std::size_t k = 0; range && k < n; ++k)
            range = std::tolower(static_cast<unsigned char>(buf_[at + k])) == name[k];
        if (!range) {
            at = next;
            continue;
        }
        std::string value = buf_.substr(at + n, next - at - n);
        const auto first = value.find_first_not_of(" \t"), last = value.find_last_not_of(" \t\r\n");
        ranges_.push_back(first == std::string::npos ? "" : value.substr(first, last - first + 1));
        buf_.erase(at, next - at);
        head_ -= next - at;
    }
}

void HttpServer::Wire::linger(bool ending) {
    platform::shutdownsocket(s_, false);
    if (ending) return;
    const auto end = Clock::now() + milliseconds(500);
    char sink[16384];
    for (std::size_t drained = 0; drained < (4u << 20);) {
        if (platform::waitsocket(s_, false, until(end)) <= 0) break;
        const long long got = platform::receive(s_, sink, sizeof sink);
        if (got <= 0) break;
        drained += static_cast<std::size_t>(got);
    }
}

Refusal HttpServer::Wire::toolong(std::size_t lines) const {
    if (lines == 0)
        return {414, "The request line (its method and address) is longer than " + kb(limits_.line) + "."};
    return {431, "A header line of the request is longer than " + kb(limits_.line) + "."};
}

bool HttpServer::Wire::fill(Clock::time_point by) {
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    const int r = platform::waitsocket(s_, false, until(by));
    if (r == 0) late_ = true;
    if (r <= 0) return false;
    const std::size_t had = buf_.size();
    buf_.resize(had + 16384);
    const long long got = platform::receive(s_, buf_.data() + had, 16384);
    buf_.resize(had + static_cast<std::size_t>(got > 0 ? got : 0));
    eof_ = got == 0;
    return got > 0;
}
} // namespace kalp

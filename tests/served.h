// The editor's server under test: in process on a free port (Served), or
// the real kalp serve as a user starts it (Editor), and a client on a
// socket of its own for what no well-behaved client sends (Conn).
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "serve/scenario.h"
#include "serve/server.h"
#include "workdir.h"

namespace kalp::test {

using json = nlohmann::json;

struct Served {
    Diskdir w;
    std::unique_ptr<Server> server;
    std::thread thread;
    explicit Served(const char* example, const Limits& limits = Limits(),
                    const std::function<void(Diskdir&)>& before = nullptr) {
        if (example) copyexample(w, example);
        if (before) before(w);
        ServeOptions o;
        o.dir = w.path();
        o.share = KALP_SOURCE_DIR "/share";
        o.examples = KALP_SOURCE_DIR "/examples";
        o.limits = limits;
        server = std::make_unique<Server>(o);
        thread = std::thread([this] { server->listen(); });
    }
    ~Served() {
        server->stop();
        thread.join();
    }
    Served(const Served&) = delete;
    Served& operator=(const Served&) = delete;

    std::unique_ptr<httplib::Client> client() const {
        auto c = std::make_unique<httplib::Client>("127.0.0.1", server->port());
        c->set_default_headers({{"X-KALP-Token", server->token()}});
        return c;
    }
    json get(const std::string& path) const {
        const auto r = client()->Get(path.c_str());
        EXPECT_TRUE(r && r->status == 200) << (r ? r->body : "no answer");
        return r ? json::parse(r->body) : json();
    }
    // The answer to a POST, with its status.
    std::pair<int, json> post(const std::string& path, const json& body) const {
        const auto r = client()->Post(path.c_str(), body.dump(), "application/json");
        if (!r) return {0, json()};
        return {r->status, json::parse(r->body)};
    }
    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> f;
        for (const std::string& name : w.files())
            f[name] = w.read(name);
        return f;
    }
};

inline json edits(long version, const Values& values) { return {{"version", version}, {"values", values}}; }

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// A client on a socket of its own, for what no well-behaved client sends.
class Conn {
public:
    explicit Conn(int port) : fd_(connectlocal(port)) {}
    ~Conn() {
        if (fd_ >= 0) closesock(fd_);
    }
    Conn(const Conn&) = delete;
    Conn& operator=(const Conn&) = delete;
    bool open() const { return fd_ >= 0; }

    // Sends all of `bytes`; false when the server stopped taking them.
    bool send(const std::string& bytes) {
        for (size_t done = 0; done < bytes.size();) {
            if (waitsock(fd_, true, 2000) <= 0) return false;
            const long long n = sendnow(fd_, bytes.data() + done, bytes.size() - done);
            if (n == 0) continue;
            if (n < 0) return false;
            done += static_cast<size_t>(n);
            sent += static_cast<size_t>(n);
        }
        return true;
    }
    // Whether the server sent something (or closed).
    bool answered(int ms = 0) const { return waitsock(fd_, false, ms) > 0; }
    // Sends `piece` again and again until `most` bytes are sent, the server
    // answers or it stops taking them.
    void pour(const std::string& piece, size_t most) {
        while (sent < most && !answered() && send(piece)) {
        }
    }
    // Sends `bytes` one by one, `gap` apart, until the server answers.
    void trickle(const std::string& bytes, milliseconds gap) {
        for (const char c : bytes)
            if (answered(static_cast<int>(gap.count())) || !send(std::string(1, c))) return;
    }
    // The answer as sent, up to the end of its body or of the connection;
    // "" when none came within `wait`, or when the connection was reset.
    std::string answer(milliseconds wait = milliseconds(10000)) {
        std::string got;
        const auto by = Clock::now() + wait;
        for (;;) {
            const size_t head = got.find("\r\n\r\n"), length = got.find("Content-Length: ");
            if (head != std::string::npos && length < head &&
                got.size() >= head + 4 + std::stoul(got.substr(length + 16)))
                return got;
            const auto left = std::chrono::duration_cast<milliseconds>(by - Clock::now()).count();
            if (left <= 0 || waitsock(fd_, false, static_cast<int>(left)) <= 0) return got;
            char buf[1 << 16];
            const long long n = recvnow(fd_, buf, sizeof buf);
            if (n < 0) return "";
            if (n == 0) return got;
            got.append(buf, static_cast<size_t>(n));
        }
    }

    size_t sent = 0;

private:
    Sock fd_ = -1;
};

struct Answer {
    int status = 0;  // 0: no answer
    std::string retry; // Retry-After
    std::string error; // the "error" of its JSON body
};

inline Answer parse(const std::string& raw) {
    Answer a;
    if (raw.rfind("HTTP/1.1 ", 0) != 0) return a;
    a.status = std::stoi(raw.substr(9, 3));
    const size_t head = raw.find("\r\n\r\n");
    const size_t retry = raw.find("\r\nRetry-After: ");
    if (retry < head) a.retry = raw.substr(retry + 15, raw.find("\r\n", retry + 2) - retry - 15);
    if (head != std::string::npos) {
        const json body = json::parse(raw.substr(head + 4), nullptr, false);
        if (body.is_object() && body.contains("error")) a.error = body["error"];
    }
    return a;
}

// kalp serve as a user starts it: the real binary on a folder on disk,
// with the address it printed.
class Editor {
public:
    explicit Editor(const Diskdir& w) {
        k_ = launch({kalpbinary(), "serve", "-C", w.path()}, "", "", w.beside("serve.err"));
        // The address: http://127.0.0.1:PORT/?token=TOKEN
        std::string line;
        const auto by = Clock::now() + milliseconds(20000);
        while (k_.pid > 0 && line.find('\n') == std::string::npos && Clock::now() < by) {
            char c[256];
            const long long n = k_.read(c, sizeof c, 100);
            if (n < 0) continue;
            if (n == 0) break;
            line.append(c, static_cast<size_t>(n));
        }
        const size_t colon = line.find(':', 7), token = line.find("token=");
        if (colon == std::string::npos || token == std::string::npos) return;
        port = std::stoi(line.substr(colon + 1));
        this->token = line.substr(token + 6, line.find('\r') < line.find('\n') ? line.find('\r') - token - 6
                                                                               : line.find('\n') - token - 6);
    }
    ~Editor() {
        if (k_.pid > 0) {
            k_.kill();
            k_.wait();
        }
        k_.release();
    }
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

    // Ends it at once, as SIGKILL does: its status, 137.
    int kill() {
        k_.kill();
        const int status = k_.wait(10000);
        if (status >= 0) k_.pid = -1;
        return status;
    }
#ifndef _WIN32
    // Sends `sig` and waits for the end: the exit status (128 + the number
    // of a signal that ended it), or -1 when it did not end within 10 s.
    int end(int sig, double& seconds) {
        const auto start = Clock::now();
        ::kill(static_cast<pid_t>(k_.pid), sig);
        const int status = k_.wait(10000);
        seconds = since(start);
        if (status >= 0) k_.pid = -1;
        return status;
    }
#endif
    // A line of /proc/PID/status in KB: VmRSS now, VmHWM at the peak.
    long memory(const std::string& field) const {
        std::ifstream status("/proc/" + std::to_string(k_.pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
        return -1;
    }
    std::unique_ptr<httplib::Client> client() const {
        auto c = std::make_unique<httplib::Client>("127.0.0.1", port);
        c->set_default_headers({{"X-KALP-Token", token}});
        c->set_read_timeout(20, 0);
        return c;
    }

    int port = 0;
    std::string token;

private:
    Started k_;
};

} // namespace kalp::test

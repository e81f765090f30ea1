#include "serve/http.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <list>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "serve/wire.h"

namespace kalp {

using namespace wire;

namespace {

static_assert(std::is_same_v<socket_t, platform::Socket>,
              "the library's sockets are the platform's");

// A thread for each connection, up to `most`; jobs beyond them wait for
// the first that is free. The library hands every accepted connection to
// enqueue() and calls shutdown() when it stops listening.
class Workers final : public httplib::TaskQueue {
public:
    explicit Workers(std::size_t most) : most_(most) {}
    ~Workers() override { shutdown(); }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void enqueue(std::function<void()> fn) override {
        {
            const std::lock_guard<std::mutex> hold(mu_);
            jobs_.push_back(std::move(fn));
            if (jobs_.size() > idle_ && threads_.size() < most_) {
                try {
                    threads_.emplace_back([this] { work(); });
                } catch (const std::system_error&) {
                    // The threads there are take the job in turn.
                }
            }
        }
        cv_.notify_one();
    }

    void shutdown() override {
        {
            const std::lock_guard<std::mutex> hold(mu_);
            down_ = true;
        }
        cv_.notify_all();
        for (std::thread& t : threads_)
            if (t.joinable()) t.join();
    }

private:
    void work() {
        std::unique_lock<std::mutex> lock(mu_);
        for (;;) {
            ++idle_;
            cv_.wait(lock, [&] { return !jobs_.empty() || down_; });
            --idle_;
            if (jobs_.empty()) return;
            std::function<void()> fn = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            fn();
            lock.lock();
        }
    }

    std::size_t most_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    std::size_t idle_ = 0;
    bool down_ = false;
};

const char* reason(int status) {
    switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

bool same(std::string a, const char* b) {
    std::transform(a.begin(), a.end(), a.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto first = a.find_first_not_of(" \t"), last = a.find_last_not_of(" \t");
    return (first == std::string::npos ? std::string() : a.substr(first, last - first + 1)) == b;
}

} // namespace

// The open connections: each is idle while it waits for a request and busy
// from the request's first byte to its answer.
class HttpServer::Gate {
public:
    struct Entry {
        platform::Socket s;
        bool idle = true, cut = false;
        bool over = false; // over the cap: answered 503, and not counted
        Clock::time_point since;
    };

    explicit Gate(const Limits& limits) : limits_(limits) {}

    // A new connection; over the cap when it is and none can make room.
    // Every connection is entered, so that endall() reaches it.
    Entry* enter(platform::Socket s) {
        const std::lock_guard<std::mutex> hold(mu_);
        const auto now = Clock::now();
        const auto open = static_cast<std::size_t>(
            std::count_if(open_.begin(), open_.end(), [](const Entry& e) { return !e.cut && !e.over; }));
        const bool over = ending_ || (open >= limits_.connections && !cutoldest(now));
        open_.push_back(Entry{s, true, ending_, over, now});
        return &open_.back();
    }
    // The first byte of a request came; false when the connection was cut.
    bool busy(Entry* e) {
        const std::lock_guard<std::mutex> hold(mu_);
        if (e->cut) return false;
        e->idle = false;
        return true;
    }
    void idle(Entry* e) {
        const std::lock_guard<std::mutex> hold(mu_);
        e->idle = true;
        e->since = Clock::now();
    }
    // Forgets the connection before its thread closes it, so that its
    // number is never cut once the system gives it to another.
    void leave(Entry* e) {
        const std::lock_guard<std::mutex> hold(mu_);
        open_.remove_if([e](const Entry& x) { return &x == e; });
    }
    void endall() {
        const std::lock_guard<std::mutex> hold(mu_);
        ending_ = true;
        for (Entry& e : open_) {
            e.cut = true;
            platform::shutdownsocket(e.s, true);
        }
    }

private:
    // Closes the connection that has waited longest for its next request,
    // past the grace and with nothing sent yet.
    bool cutoldest(Clock::time_point now) {
        std::vector<Entry*> waiting;
        for (Entry& e : open_)
            if (e.idle && !e.cut && !e.over && now - e.since >= limits_.grace) waiting.push_back(&e);
        std::sort(waiting.begin(), waiting.end(), [](const Entry* a, const Entry* b) { return a->since < b->since; });
        for (Entry* e : waiting) {
            if (platform::waitsocket(e->s, false, 0) != 0) continue; // its request is on its way
            e->cut = true;
            platform::shutdownsocket(e->s, true);
            return true;
        }
        return false;
    }

    const Limits& limits_;
    std::mutex mu_;
    std::list<Entry> open_;
    bool ending_ = false;
};

namespace {

// The request being answered on this thread.
struct Exchange {
    bool close = false;
    const void* wire = nullptr;
};
thread_local Exchange* current = nullptr;

} // namespace

Body::~Body() {
    if (held_) *held_ -= counted_;
}

HttpServer::HttpServer(const Limits& limits) : limits_(limits), gate_(std::make_unique<Gate>(limits_)) {
    new_task_queue = [this] { return new Workers(limits_.connections + 32); };
    set_keep_alive_max_count(static_cast<std::size_t>(limits_.requests));
    set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits_.idle).count());
    set_read_timeout(limits_.head);
    set_write_timeout(limits_.stall);
    set_payload_max_length(limits_.body);
    set_tcp_nodelay(true);
    // A connection that closes after its answer says so.
    set_post_routing_handler([this](const httplib::Request&, httplib::Response& res) {
        if ((current && current->close) || ending_) {
            res.headers.erase("Keep-Alive");
            res.set_header("Connection", "close");
        }
    });
}

HttpServer::~HttpServer() { end(); }

void HttpServer::setheaders(const httplib::Headers& headers) {
    headers_ = headers;
    set_default_headers(headers);
}

void HttpServer::setanswer(std::function<std::string(const std::string&)> answer) {
    answer_ = std::move(answer);
}

int HttpServer::bind(int port) {
    const int bound = port == 0 ? bind_to_any_port("127.0.0.1") : bind_to_port("127.0.0.1", port) ? port : -1;
    // Connections that come all at once wait to be accepted rather than
    // being turned away by the system.
    if (bound > 0) platform::setbacklog(svr_sock_, 256);
    return bound;
}

void HttpServer::serve() {
    {
        const std::lock_guard<std::mutex> hold(mu_);
        serving_ = true;
    }
    if (!ending_) listen_after_bind();
    {
        const std::lock_guard<std::mutex> hold(mu_);
        served_ = true;
    }
    done_.notify_all();
}

void HttpServer::end() {
    ending_ = true;
    const socket_t s = svr_sock_.exchange(INVALID_SOCKET);
    if (s != INVALID_SOCKET) {
        platform::shutdownsocket(s, true);
        platform::closesocket(s);
    }
    gate_->endall();
}

bool HttpServer::ended(milliseconds wait) {
    std::unique_lock<std::mutex> lock(mu_);
    return done_.wait_for(lock, wait, [&] { return !serving_ || served_; });
}

void HttpServer::closeafter() {
    if (current) current->close = true;
}

std::vector<std::string> HttpServer::ranges() {
    const auto* w = current ? static_cast<const Wire*>(current->wire) : nullptr;
    return w ? w->ranges() : std::vector<std::string>{};
}

Refusal HttpServer::checkhead(const httplib::Request& req) const {
    const std::string& m = req.method;
    if (m != "GET" && m != "HEAD" && m != "POST")
        return {405, "This server answers GET and POST requests, not " + m + "."};
    const bool chunked = req.has_header("Transfer-Encoding");
    const bool length = req.has_header("Content-Length");
    if (chunked && !same(req.get_header_value("Transfer-Encoding"), "chunked"))
        return {501, "The request's body is sent in the transfer coding \"" +
                         req.get_header_value("Transfer-Encoding").substr(0, 64) +
                         "\", which this server does not read; send it with a Content-Length or "
                         "chunked."};
    if (chunked && length)
        return {400, "The request gives both a Content-Length and a Transfer-Encoding."};
    if (req.get_header_value_count("Content-Length") > 1)
        return {400, "The request gives its Content-Length more than once."};
    unsigned long long size = 0;
    if (length) {
        const std::string n = req.get_header_value("Content-Length");
        if (n.empty() || n.size() > 18 || n.find_first_not_of("0123456789") != std::string::npos)
            return {400, "The request's Content-Length \"" + n.substr(0, 32) + "\" is not a number."};
        size = std::stoull(n);
    }
    if (req.has_header("Content-Encoding") && !same(req.get_header_value("Content-Encoding"), "identity") &&
        !same(req.get_header_value("Content-Encoding"), ""))
        return {415, "The request's body is compressed (Content-Encoding: " +
                         req.get_header_value("Content-Encoding").substr(0, 64) +
                         "); this server takes bodies uncompressed only."};
    if (m != "POST") {
        if (chunked || size > 0) return {400, "A " + m + " request carries no body here."};
        return {};
    }
    if (!chunked && !length)
        return {411, "A POST request must give the length of its body (Content-Length) or send it "
                     "chunked."};
    if (size > limits_.body)
        return {413, "The request's body is larger than " + kb(limits_.body) + " (it gives " +
                         std::to_string(size) + " bytes)."};
    return {};
}

Refusal HttpServer::readbody(const httplib::ContentReader& reader, Body& body) {
    body.held_ = &held_;
    bool large = false, crowded = false;
    const bool whole = reader([&](const char* data, std::size_t n) {
        if (body.text.size() + n > limits_.body) {
            large = true;
            return false;
        }
        if (held_.fetch_add(n) + n > limits_.bodies) {
            held_ -= n;
            crowded = true;
            return false;
        }
        body.counted_ += n;
        body.text.append(data, n);
        return true;
    });
    if (whole) return {};
    closeafter();
    const auto* w = current ? static_cast<const Wire*>(current->wire) : nullptr;
    if (large || (w && w->overrun()))
        return {413, "The request's body is larger than " + kb(limits_.body) + "."};
    if (crowded)
        return {503, "The server is receiving too many requests at once; the page asks again in a "
                     "moment."};
    if (w && w->late())
        return {408, "The request's body did not arrive whole within " + seconds(limits_.whole) +
                         " of the request's first byte."};
    return {400, "The request's body ended before its length, or its chunks are malformed."};
}

void HttpServer::refuse(Wire& w, int status, const std::string& why) {
    const std::string body = answer_ ? answer_(why) : why;
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
    for (const auto& [name, value] : headers_)
        head.append(name).append(": ").append(value).append("\r\n");
    head += "Content-Type: application/json; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n";
    if (status == 503) head += "Retry-After: 1\r\n";
    head += "\r\n";
    head += body;
    w.write(head.data(), head.size());
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    Wire w(sock, limits_);
    Gate::Entry* e = gate_->enter(sock);
    bool drain = false;
    if (e->over && !ending_) {
        refuse(w, 503, "The server has " + std::to_string(limits_.connections) +
                           " connections open and all of them busy; try again in a second.");
        drain = true;
    }
    for (int n = 0; n < limits_.requests && !e->over && !ending_; ++n) {
        if (!w.await(limits_.idle) || !gate_->busy(e)) break;
        const Refusal bad = w.readhead();
        if (bad.status > 0) {
            refuse(w, bad.status, bad.why);
            drain = true;
        }
        if (bad) break;
        Exchange x;
        x.wire = &w;
        current = &x;
        bool closed = false, ok = false;
        const bool last = n + 1 == limits_.requests;
        try {
            ok = process_request(w, last || ending_, closed, nullptr);
        } catch (...) {
            ok = false;
        }
        current = nullptr;
        if (!ok || closed || x.close || last) {
            drain = !ok || x.close;
            break;
        }
        gate_->idle(e);
    }
    if (drain)
        w.linger(ending_);
    else
        platform::shutdownsocket(sock, false);
    gate_->leave(e);
    platform::closesocket(sock);
    return true;
}

} // namespace kalp

// The HTTP server under the editor: cpp-httplib held to bounds that no
// client can push, however slow, idle, large or many its requests.
//
// The library reads a request line and header lines of any length and
// number into memory, a chunked or compressed body of any size, and gives
// each connection one of a fixed number of threads for as long as the
// client keeps it. So the connections are served here (the library's
// per-connection hook), and the library parses and routes each request
// from a stream that holds to the limits below:
//
// - a connection waits at most `idle` for its next request, then closes;
// - a request's line and headers must arrive within `head` of its first
//   byte and stay within `line`, `fields` and `headbytes` (else 408, 414 or
//   431); its body within `whole`, and at most twice `body` bytes are read
//   from the wire, framing included (a handler reads it through body(),
//   which holds it to `body` bytes);
// - at most `connections` are open: a new one closes the connection that
//   has waited longest for its next request, and when every one is busy it
//   is answered 503 with Retry-After;
// - each connection has a thread of its own while it is open, up to
//   `connections` threads and a few for the refusals;
// - bodies held by handlers add up to at most `bodies` bytes (else 503);
// - an answer that the client does not take for `stall` is dropped.
//
// end() stops listening and cuts every connection at once, from any thread
// and before listening began.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serve/limits.h"

namespace kalp {

// Why a request is refused before its handler runs: an HTTP status and
// the words for the page; status 0 when nothing is wrong.
struct Refusal {
    int status = 0;
    std::string why;
    explicit operator bool() const { return status != 0; }
};

// A request's body, counted against the bodies held at once until it goes.
class Body {
public:
    Body() = default;
    ~Body();
    Body(const Body&) = delete;
    Body& operator=(const Body&) = delete;
    std::string text;

private:
    friend class HttpServer;
    std::atomic<std::size_t>* held_ = nullptr;
    std::size_t counted_ = 0;
};

class HttpServer : public httplib::Server {
public:
    explicit HttpServer(const Limits& limits = Limits());
    ~HttpServer() override;
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    const Limits& limits() const { return limits_; }
    // The headers of every answer, those written here included.
    void setheaders(const httplib::Headers& headers);
    // `answer` forms the body of every answer written here (a refusal):
    // the words given, as the handlers' own refusals put them.
    void setanswer(std::function<std::string(const std::string& why)> answer);

    // Binds 127.0.0.1:`port` (0: a free port): the port, or -1.
    int bind(int port);
    // Serves until end().
    void serve();
    // Stops listening and cuts every connection; a later serve() returns
    // at once.
    void end();
    // After end(): waits up to `wait` until serve() has returned, every
    // connection's thread having ended; true when it has.
    bool ended(std::chrono::milliseconds wait);

    // What is wrong with a request whose line and headers were read, before
    // its body is: a method other than GET, HEAD and POST (405), a body
    // where none belongs (400), a POST without a length (411), a body
    // larger than the limit (413), compressed (415) or in a transfer coding
    // other than chunked (501).
    Refusal checkhead(const httplib::Request& req) const;
    // Reads the body of a POST into `body`: a refusal when it is larger
    // than the limit (413), too slow (408), incomplete (400), or when the
    // bodies held at once are too many (503).
    Refusal readbody(const httplib::ContentReader& reader, Body& body);
    // The connection of the request being answered on this thread closes
    // after its answer (a refusal that leaves its body unread).
    static void closeafter();
    // The values of the Range headers of the request being answered on
    // this thread. The library never sees them, so it never cuts an
    // answer to a range: a handler that serves ranges reads them here.
    static std::vector<std::string> ranges();

private:
    class Gate;
    class Wire;
    bool process_and_close_socket(socket_t sock) override;
    // Writes an answer of `status` on the wire itself and closes it.
    void refuse(Wire& w, int status, const std::string& why);

    Limits limits_;
    httplib::Headers headers_;
    std::function<std::string(const std::string&)> answer_;
    std::unique_ptr<Gate> gate_;
    std::atomic<bool> ending_{false};
    std::atomic<std::size_t> held_{0};
    std::mutex mu_;
    std::condition_variable done_;
    bool serving_ = false, served_ = false;
};

} // namespace kalp

// A connection of the editor's HTTP server as the library reads and writes
// it (serve/http.h), with the words its refusals give sizes and times in.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "serve/http.h"

namespace kalp {

namespace wire {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The milliseconds from now until `t`, at least 0.
int until(Clock::time_point t);
// A size as an answer gives it: 1 MB, 64 KB, 1000 bytes.
std::string kb(std::size_t bytes);
// A time as an answer gives it: 5 seconds, 1 second, 500 ms.
std::string seconds(milliseconds ms);

} // namespace wire

// A connection as the library reads and writes it: its bytes go through a
// buffer of this stream, which reads a request's line and headers itself
// first and then gives the library what it holds, holding every read to
// the request's deadline and size.
class HttpServer::Wire final : public httplib::Stream {
public:
    Wire(platform::Socket s, const Limits& limits) : s_(s), limits_(limits) {}

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* out, std::size_t n) override;
    ssize_t write(const char* data, std::size_t n) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return s_; }

    // Waits up to `wait` for the next request; false when none comes.
    bool await(wire::milliseconds wait) const;

    // Reads the request line and headers into the buffer, up to the empty
    // line that ends them (as the library reads them: lines that end
    // without a carriage return do not end them). A refusal when they break
    // a limit; status -1 when the client went.
    Refusal readhead();

    bool late() const { return late_; }
    bool overrun() const { return overrun_; }
    // The values of the request's Range headers.
    const std::vector<std::string>& ranges() const { return ranges_; }

    // Ends the connection's sending and, unless the server is ending, reads
    // what the client still sends for a moment, so that it reads the
    // answer before the connection closes rather than a reset.
    void linger(bool ending);

private:
    Refusal toolong(std::size_t lines) const;
    // Takes the Range headers out of the head that readhead() read, so
    // that the library never sees them: it would cut every answer to them
    // (a refusal too) and serve a range that starts past the end of a
    // file. The handler of the files reads them through ranges().
    void takeranges();

    // Reads what the client sent, waiting until `by` at most.
    bool fill(wire::Clock::time_point by);

    platform::Socket s_;
    const Limits& limits_;
    std::string buf_;
    std::size_t pos_ = 0;
    std::size_t head_ = 0, given_ = 0; // the head's bytes; the bytes given of this request
    wire::Clock::time_point deadline_ = wire::Clock::now();
    bool late_ = false, overrun_ = false, eof_ = false;
    std::vector<std::string> ranges_;
};

} // namespace kalp

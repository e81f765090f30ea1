// The limits of the editor's HTTP server (serve/http.h), with the values
// it serves with.
#pragma once

#include <chrono>
#include <cstddef>

namespace kalp {

struct Limits {
    std::size_t line = 8192;       // the request line, and each header line, with its line end
    std::size_t fields = 100;      // header lines
    std::size_t headbytes = 65536; // request line and headers together
    std::size_t body = 1 << 20;    // a request's body
    std::size_t bodies = 16 << 20; // the bodies that handlers hold at once
    std::size_t connections = 128;
    int requests = 100; // requests on one connection
    std::chrono::milliseconds idle{5000}, head{5000}, whole{10000}, stall{5000};
    // A connection is closed for a newer one only after waiting this long,
    // so that one whose request is on its way is not cut.
    std::chrono::milliseconds grace{250};
    // The rows of one index file that a request of the page may give: a
    // triangle of 70 components has 2415 pairs.
    std::size_t indexrows = 10000;
};

} // namespace kalp

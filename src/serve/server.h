// kalp serve: the scenario editor. One folder's input files in a browser
// form, checked and computed as the user types, saved value by value.
//
// The server listens on 127.0.0.1 only. Every request must carry the
// secret token of the address it prints (?token= or the X-KALP-Token
// header) and name the server's own address as its Host; it is held to the
// limits of serve/http.h (bodies of at most 1 MB, uncompressed, with a
// length or chunked; line and headers of at most 64 KB; at most 128
// connections; deadlines for every request). The page and its script and
// style are built into the program.
//
//   GET  /                  the page
//   GET  /api/scenario      the folder's files read afresh: the form and the result
//   POST /api/compute       {version, values}: the form and the result of the
//                           files with the values in place; nothing is written
//   POST /api/save          {version, values}: writes the files whose text changed
//   POST /api/init          {two, standardised}: kalp init in a folder without input files
//   POST /api/run           starts kalp --csv --json --plot on the saved folder
//   GET  /api/run           that run: its console so far, and when done its status and files
//   GET  /files/NAME        a file that a run writes, read-only
//
// Runs and kalp init are the program itself, called in process on a worker
// thread under the folder lock; no other program is started.
//
// values: {"INPUTVRD01A.TXT": {"u": "0.06", ...}, ...}, by file and model
// variable. version: the one of the last answer; a page with another one
// (the files were read afresh or saved since) is told to reload.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "serve/limits.h"

namespace kalp {

struct ServeOptions {
    std::string dir = ".";
    int port = 0; // 0: a free port that the system picks
    // The folders of the report template and of the examples, for the first
    // scenario of an empty folder; "" when there are none.
    std::string share, examples;
    Limits limits; // of the HTTP server
    bool open = false; // hand the address to the default browser
};

class Server {
public:
    // Reads the folder and binds 127.0.0.1; throws std::runtime_error when
    // the folder cannot be used or the port cannot be bound.
    explicit Server(const ServeOptions& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    int port() const;
    const std::string& token() const;
    // http://127.0.0.1:PORT/?token=TOKEN
    std::string address() const;
    // Serves until stop().
    void listen();
    // Stops listening and cuts every connection at once; from any thread,
    // also before listen() began.
    void stop();
    // After stop(): waits up to `wait` until listen() has returned and the
    // run started from the page has ended; true when both have.
    bool ended(std::chrono::milliseconds wait);
    // Whether a run started from the page is working.
    bool running() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Prints the address and serves until SIGINT or SIGTERM, then ends within a
// second; the exit status.
int serve(const ServeOptions& options);

} // namespace kalp

// What the tests ask of the operating system beyond files: programs
// started in the background, and a client socket of their own.
// process_posix.cpp answers on POSIX, process_windows.cpp on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kalp::test {

// A program started in the background.
struct Started {
    long long pid = -1;          // its process id; -1 when it did not start
    std::intptr_t handle = -1;   // on Windows, the handle of the process
    std::intptr_t out = -1;      // the reading end of its standard output, when piped
    // Its exit status, or 128 + the number of the signal that ended it; -1
    // when it did not end within `ms` milliseconds (-1: no limit).
    int wait(int ms = -1) const;
    // Up to `n` bytes of its piped output, waiting up to `ms` milliseconds:
    // their number, 0 at the end, -1 when none came in time.
    long long read(char* buf, std::size_t n, int ms = -1) const;
    // Ctrl-C as a user gives it: SIGINT on POSIX; on Windows the Ctrl-C
    // event of the console that the test shares with the programs it
    // started after shareconsole(), so start no other program meanwhile.
    // False when it could not be delivered.
    bool interrupt() const;
    // Ends it at once.
    void kill() const;
    // Lets go of the handles of an ended program.
    void release();
};

// Starts `argv` in `dir`, standard input empty, standard output going to
// the file `out` (or, with `out` empty, to a pipe that read() reads, or,
// with `outfd` >= 0 on POSIX, to that descriptor), standard error to the
// file `err`.
Started launch(const std::vector<std::string>& argv, const std::string& dir, const std::string& out,
               const std::string& err);

// On Windows, gives the test a console of its own, which the programs it
// starts afterwards share and interrupt() needs. Wine keeps such a test
// alive some 20 seconds after its end, so only tests that interrupt a
// program take one.
void shareconsole();

// A new empty folder in the system's temporary folder.
std::string scratchfolder(const std::string& prefix);

// The absolute path of the program `path`, as the system starts it.
std::string programat(const std::string& path);

// A client connection to 127.0.0.1:port that never blocks and never
// raises a signal. -1 when it could not connect.
using Sock = long long;
Sock connectlocal(int port);
// Whether `s` can be read (with `writing`: written) within `ms`
// milliseconds: 1 yes, 0 no, -1 error.
int waitsock(Sock s, bool writing, int ms);
// Sends what the socket takes now: the number sent, 0 when it takes
// nothing now, -1 on an error.
long long sendnow(Sock s, const char* buf, std::size_t n);
// The bytes that wait: their number, 0 at the end of the stream, -1 on an
// error (a reset) or when none wait.
long long recvnow(Sock s, char* buf, std::size_t n);
void closesock(Sock s);

} // namespace kalp::test

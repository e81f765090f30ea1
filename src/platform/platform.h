// Everything KALP asks of the operating system, in one place.
//
// posix.cpp and posixprocess.cpp answer on Linux and the other POSIX
// systems, windows.cpp and the win*.cpp units beside it on Windows; the
// rest of the program compiles unchanged on both. Paths are UTF-8 text.
// Errors are errno numbers (ENOENT, EACCES, ...), with `notplain` for
// something that is not a plain file, and errortext() gives the words for
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kalp::platform {

// The error of a file that exists but is not a plain file: a FIFO, a
// device, a socket. Reading one could wait forever, so it is never opened.
constexpr int notplain = -1;
// The error of a file that another program holds open without letting it
// be replaced or removed, as a spreadsheet holds the file it shows (on
// Windows; POSIX knows no such hold).
constexpr int heldopen = -2;

// The words for an error: "No such file or directory", "Permission
// denied"; for notplain "Not a plain file", for heldopen "Open in another
// program".
std::string errortext(int error);

// The path of `name` in the folder `dir`: with a slash, or on Windows with
// a backslash after a path that begins with \\?\ (which takes no slash).
std::string joinpath(const std::string& dir, const std::string& name);

// What keeps a path from naming, on this system, the folder or file that
// the user means, and the part of it at fault. On Windows: a part that is
// the name of a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9,
// with or without an extension), one that ends in a blank or a dot, which
// Windows drops, and a double quote, which no name holds. Nothing on POSIX.
struct NameFault {
    enum Kind { none, device, trailing, quote } kind = none;
    std::string part;
};
NameFault namefault(const std::string& path);

// What stands at a path itself (a link is not followed).
enum class Kind { missing, file, link, folder, other };
Kind kindof(const std::string& path);

// The path of the file a link points to, made absolute when the link is
// relative; `path` itself when it is no link.
std::string linktarget(const std::string& path);
// The absolute path of an existing file or folder, links resolved; the
// path as given when that fails.
std::string fullpath(const std::string& path);
// Whether the file at `path` may be written by this process. A file that
// nobody may write (no write permission at all, the read-only mark on
// Windows) counts as write-protected even for the superuser, as editors
// take it.
bool writable(const std::string& path);
// Whether a folder stands at `path` (a link to one counts); false with
// `error` when not.
bool isfolder(const std::string& path, int& error);

// A plain file open for reading: a link is followed, but a folder, a FIFO
// or a device is refused (EISDIR, notplain) without waiting on it.
class Reader {
public:
    virtual ~Reader() = default;
    virtual long long size() const = 0;
    // Up to `n` bytes from `offset`; the number read, 0 at the end, -1 on
    // an error.
    virtual long long readat(long long offset, char* buf, std::size_t n) = 0;
};
std::unique_ptr<Reader> openreader(const std::string& path, int& error);
// The whole of a plain file; false with `error` when it cannot be read.
bool readfile(const std::string& path, std::string& text, int& error);

// A file created new, never over anything that stands at its name (a link
// there is not followed). Bytes are buffered; finish() hands them to the
// disk and closes the file.
class Writer {
public:
    virtual ~Writer() = default;
    virtual bool write(const char* data, std::size_t n) = 0;
    // Hands the buffered bytes to the system; false when a write failed
    // (a full disk, a file size limit).
    virtual bool flush() = 0;
    // Flushes, syncs to the disk and closes; false when anything failed.
    virtual bool finish() = 0;
};
// Creates `path`; the file gets the permissions of the plain file at
// `like`, when there is one. Null with `error` when it cannot be created
// (EEXIST when anything stands at `path`).
std::unique_ptr<Writer> createfile(const std::string& path, const std::string& like, int& error);

// Puts the file `from` in the place of `to` in one step, replacing a file
// there (a file that another program holds open is retried briefly, then
// heldopen).
bool replacefile(const std::string& from, const std::string& to, int& error);
// Whether the file or link at `path` may be replaced or removed now: 0
// (also when nothing stands there), or why not: EACCES when the file is
// write-protected (as writable() tells; a link itself never is), heldopen
// when another program holds it open (tried again briefly first, as
// replacefile() does).
int replaceable(const std::string& path);
// Gives the file or link at `path` the second name `other` (a hard link),
// so that it stays when `path` is replaced; false with `error` where the
// file system has no such links.
bool linkfile(const std::string& path, const std::string& other, int& error);
// Removes a file or a link; true when nothing stands there afterwards.
bool removefile(const std::string& path);
// Makes the names of a folder's files durable after renames.
void syncfolder(const std::string& dir);
// Makes a folder; true when it was made or a folder (or a link to one)
// stands there already.
bool makefolder(const std::string& path, int& error);

// One run per folder: the file `file` in the folder `dir`, held open and
// locked while the lock lives and removed when it goes, so that a run on
// another machine that shares the folder meets it too. On Windows it is
// opened without sharing and goes with its last handle however the process
// ends. On POSIX it carries a lock of its own open file (which the system
// drops when the process ends), beside an advisory lock on the folder
// itself, which alone serves where the file cannot be made (a folder that
// may not be written); a process killed outright leaves the file, which
// the next lock takes over.
class Lock {
public:
    virtual ~Lock() = default;
};
enum class Locked { taken, held, failed };
// Takes the lock of `dir`: `held` when another process (or another lock of
// this one) holds it, `failed` with `error` when the folder cannot be
// opened or locked.
std::unique_ptr<Lock> lockfolder(const std::string& dir, const std::string& file, Locked& result,
                                 int& error);

// Temporary files that must go when the process is ended by a signal: a
// file is enlisted before it is created and delisted once it is renamed
// or removed. A slot number, or -1 when the list is full.
int enlist(const std::string& path);
void delist(int slot);
// Removes every enlisted file; safe to call from a signal handler.
void removeenlisted();

// For a run: Ctrl-C, SIGTERM and a closed terminal (SIGINT, SIGTERM,
// SIGHUP; on Windows Ctrl-C, Ctrl-Break and closing the console window)
// remove the enlisted files, write a line on standard error and end the
// process with the signal's usual status. A closed pipe and a file size
// limit become write errors that the run reports.
void handlesignals();

// While a set of files is put in place (on this thread): an ending signal
// waits until the set stands whole, the new one or the old, and then says
// which (`placed`: the new one). Sets of several threads may overlap.
void beginset();
void endset(bool placed);

// For a server: the ending signals are held for waitforend() instead.
// Call before any thread is started.
void holdendsignals();
// Waits for Ctrl-C or SIGTERM, or for wakeend(); returns the signal
// number, 0 for wakeend().
int waitforend();
void wakeend();
// The exit status of a process ended by `signal`: 130 for SIGINT.
int signalstatus(int signal);
// For a server whose work did not end in time after waitforend(): removes
// the enlisted files, writes "kalp: interrupted (SIGINT); " and `aftermath`
// on standard error and ends the process at once, as `signal` would have.
[[noreturn]] void endbysignal(int signal, const char* aftermath);

// The connections of a server, as its HTTP library hands them over: a file
// descriptor on POSIX, a SOCKET on Windows. Every call returns at once or
// after at most the time it is given.
#ifdef _WIN32
using Socket = std::uintptr_t;
#else
using Socket = int;
#endif
// Waits up to `ms` milliseconds (0: not at all) until `s` can be read
// (bytes, the end of the stream, or an error wait there) or, with
// `writing`, written: 1 when it can, 0 when the time passed, -1 on an error.
int waitsocket(Socket s, bool writing, int ms);
// Up to `n` bytes that wait on `s`: their number, 0 at the end of the
// stream, -1 on an error.
long long receive(Socket s, char* buf, std::size_t n);
// Sends up to `n` bytes: the number sent, -1 on an error (a closed
// connection is an error, never a signal).
long long sendsome(Socket s, const char* buf, std::size_t n);
// Ends sending on `s` (the peer reads the end of the stream), and with
// `reading` receiving too: a thread waiting on `s` wakes at once.
void shutdownsocket(Socket s, bool reading);
void closesocket(Socket s);
// The address and port of the peer of `s`, or with `local` of its own end.
bool socketaddress(Socket s, bool local, std::string& ip, int& port);
// Lets a listening socket hold up to `n` connections not yet accepted.
bool setbacklog(Socket s, int n);

// Whether a stream is a terminal (standard error shows a progress line
// only then).
bool isterminal(std::FILE* stream);
// The standard streams pass every byte as it is (no CRLF translation on
// Windows).
void binarystreams();
// Writes `text` on standard output or standard error: to a pipe or a file
// every byte as it is, each line handed on as it ends; to a console window
// on Windows as the letters of its UTF-8 text. False when it could not be
// written.
bool writestream(std::FILE* stream, std::string_view text);

// Whether the program has a console window of its own, which no other
// program shares and from which it reads: on Windows, started from Explorer
// by a double-click (not from a command prompt or a script, and not with
// its input redirected). Never on POSIX.
bool consoleofitsown();
// Shows `text` on standard output and waits until Enter is pressed in the
// console (keys pressed before do not count).
void waitforenter(std::string_view text);

// The arguments of the command line after the program's name, as UTF-8
// text: `argv` on POSIX; on Windows the command line as Windows holds it,
// since `argv` has its letters in the code page of the system.
std::vector<std::string> arguments(int argc, char** argv);

// x to the whole power n (n >= 0), as the yearly discount of the gene flow
// takes it: pow of the C library on POSIX. On Windows, whose C library
// rounds pow otherwise than the GNU C library in most cases, it is
// roundedpower(), which agrees with that one's in all but about 1 in 1000
// cases, and there by 1 unit in the last place.
double power(double x, int n);
// x (finite, > 0) to the power n >= 0, rounded once to nearest: only + - *
// / on doubles, so the same bits on every machine.
double roundedpower(double x, int n);

// The error of the last call on a socket, as an errno number.
int socketerror();

// The path of the running program.
std::string programpath();
// The processor time this process has used, in ticks of clock()
// (CLOCKS_PER_SEC a second): clock() on POSIX; on Windows, whose clock()
// counts the time since the start, the user and kernel time of the
// process.
std::clock_t processortime();
// Random bytes for a secret; false with `error` when there are none.
bool randombytes(unsigned char* out, std::size_t n, int& error);
// Opens `url` in the user's default browser; false when none could be
// started.
bool openbrowser(const std::string& url);

} // namespace kalp::platform

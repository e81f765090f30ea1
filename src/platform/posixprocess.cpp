// The process on Linux and the other POSIX systems: signals, the standard
// streams, sockets, the program's own path, random bytes, the browser.
#include "platform/platform.h"
#include "platform/enlisted.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace kalp::platform {

namespace {

void say(const char* text) {
    if (write(STDERR_FILENO, text, std::strlen(text)) < 0) {
        // Nothing more can be said.
    }
}

// The sets of files being put in place, and whether a set of this run
// stands in place.
std::atomic<int> sets{0};
std::atomic<bool> setplaced{false};
thread_local sigset_t beforeset;

void onsignal(int sig) {
    removeenlisted();
    say(sig == SIGINT    ? "kalp: interrupted (SIGINT)"
        : sig == SIGTERM ? "kalp: terminated (SIGTERM)"
                         : "kalp: hung up (SIGHUP)");
    say(setplaced.load() ? "; the files of this run are in place\n"
                         : "; the files of this run were not written, earlier ones are unchanged\n");
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

sigset_t ending() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

std::atomic<bool> woken{false};
pthread_t waiter;
std::atomic<bool> waiting{false};

} // namespace

void removequietly(const char* path) { unlink(path); }

void handlesignals() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, onsignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void holdendsignals() {
    const sigset_t set = ending();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void beginset() {
    ++sets;
    const sigset_t set = ending();
    pthread_sigmask(SIG_BLOCK, &set, &beforeset);
}

void endset(bool placed) {
    if (placed) setplaced = true;
    --sets;
    // A signal that came meanwhile is handled now.
    pthread_sigmask(SIG_SETMASK, &beforeset, nullptr);
}

int waitforend() {
    sigset_t set = ending();
    // wakeend() sends SIGUSR1 to this thread.
    sigaddset(&set, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    waiter = pthread_self();
    waiting = true;
    int sig = 0;
    while (!woken.load()) {
        if (sigwait(&set, &sig) != 0) continue;
        if (sig != SIGUSR1) break;
    }
    waiting = false;
    return woken.load() && sig == SIGUSR1 ? 0 : sig;
}

void wakeend() {
    woken = true;
    if (waiting.load()) pthread_kill(waiter, SIGUSR1);
}

int signalstatus(int signal) { return 128 + signal; }

void endbysignal(int sig, const char* aftermath) {
    // A set of files being put in place (a save of the editor) is let
    // finish, within reason.
    for (int waited = 0; waited < 500 && sets.load() > 0; ++waited)
        usleep(10000);
    removeenlisted();
    say(sig == SIGINT    ? "kalp: interrupted (SIGINT); "
        : sig == SIGTERM ? "kalp: terminated (SIGTERM); "
        : sig == SIGHUP  ? "kalp: hung up (SIGHUP); "
                         : "kalp: ended; ");
    say(aftermath);
    say("\n");
    if (sig <= 0) _exit(1);
    // The signal's own end, so that a parent sees what ended it.
    std::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    // Should the signal not end it after all.
    // cppcheck-suppress unreachableCode
    _exit(signalstatus(sig));
}

int waitsocket(Socket s, bool writing, int ms) {
    pollfd p{s, static_cast<short>(writing ? POLLOUT : POLLIN), 0};
    for (;;) {
        const int r = poll(&p, 1, ms < 0 ? 0 : ms);
        if (r < 0 && errno == EINTR) continue;
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
}

long long receive(Socket s, char* buf, std::size_t n) {
    for (;;) {
        const ssize_t got = recv(s, buf, n, 0);
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

long long sendsome(Socket s, const char* buf, std::size_t n) {
    for (;;) {
        const ssize_t sent = send(s, buf, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        return sent;
    }
}

void shutdownsocket(Socket s, bool reading) { shutdown(s, reading ? SHUT_RDWR : SHUT_WR); }

void closesocket(Socket s) { close(s); }

bool socketaddress(Socket s, bool local, std::string& ip, int& port) {
    sockaddr_storage at{};
    socklen_t size = sizeof at;
    auto* where = reinterpret_cast<sockaddr*>(&at);
    if ((local ? getsockname(s, where, &size) : getpeername(s, where, &size)) != 0) return false;
    char text[INET6_ADDRSTRLEN] = "";
    if (at.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&at);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (at.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&at);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    } else {
        return false;
    }
    ip = text;
    return true;
}

bool setbacklog(Socket s, int n) { return listen(s, n) == 0; }

bool isterminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void binarystreams() {}

bool writestream(std::FILE* stream, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

bool consoleofitsown() { return false; }

void waitforenter(std::string_view) {}

std::vector<std::string> arguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

double power(double x, int n) { return std::pow(x, static_cast<double>(n)); }

int socketerror() { return errno; }

std::clock_t processortime() { return std::clock(); }

std::string programpath() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    return std::string(path, static_cast<std::size_t>(n));
}

bool randombytes(unsigned char* out, std::size_t n, int& error) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = getrandom(out + got, n - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            error = errno;
            return false;
        }
        got += static_cast<std::size_t>(r);
    }
    return true;
}

bool openbrowser(const std::string& url) {
    // xdg-open hands the address to the desktop's browser and returns.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = "xdg-open", address = url;
    char* argv[] = {program.data(), address.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace kalp::platform

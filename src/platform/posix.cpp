// The operating system on Linux and the other POSIX systems.
#include "platform/platform.h"
#include "platform/enlisted.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

std::string errortext(int error) {
    if (error == notplain) return "Not a plain file";
    return std::strerror(error);
}

Kind kindof(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return Kind::missing;
    if (S_ISREG(st.st_mode)) return Kind::file;
    if (S_ISLNK(st.st_mode)) return Kind::link;
    if (S_ISDIR(st.st_mode)) return Kind::folder;
    return Kind::other;
}

std::string linktarget(const std::string& path) {
    std::string now = path;
    // A chain of links is followed to its end, within reason.
    for (int hops = 0; hops < 40 && kindof(now) == Kind::link; ++hops) {
        char buf[PATH_MAX];
        const ssize_t n = readlink(now.c_str(), buf, sizeof buf - 1);
        if (n <= 0) break;
        const std::string target(buf, static_cast<std::size_t>(n));
        if (target[0] == '/') {
            now = target;
            continue;
        }
        const std::size_t slash = now.rfind('/');
        now.erase(slash == std::string::npos ? 0 : slash + 1);
        now += target;
    }
    return now;
}

std::string fullpath(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

bool writable(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && (st.st_mode & 0222) == 0) return false;
    return access(path.c_str(), W_OK) == 0;
}

bool isfolder(const std::string& path, int& error) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        error = errno;
        return false;
    }
    if (S_ISDIR(st.st_mode)) return true;
    error = ENOTDIR;
    return false;
}

namespace {

class PosixReader final : public Reader {
public:
    PosixReader(int fd, long long size) : fd_(fd), size_(size) {}
    ~PosixReader() override { close(fd_); }
    PosixReader(const PosixReader&) = delete;
    PosixReader& operator=(const PosixReader&) = delete;
    long long size() const override { return size_; }
    long long readat(long long offset, char* buf, std::size_t n) override {
        for (;;) {
            const ssize_t got = pread(fd_, buf, n, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) continue;
            return got;
        }
    }

private:
    int fd_;
    long long size_;
};

} // namespace

std::unique_ptr<Reader> openreader(const std::string& path, int& error) {
    // Without waiting: a FIFO would block an open for reading until a
    // writer comes.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : notplain;
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixReader>(fd, static_cast<long long>(st.st_size));
}

bool readfile(const std::string& path, std::string& text, int& error) {
    const std::unique_ptr<Reader> r = openreader(path, error);
    if (!r) return false;
    text.clear();
    char buf[1 << 16];
    for (long long at = 0;;) {
        const long long got = r->readat(at, buf, sizeof buf);
        if (got < 0) {
            error = errno;
            return false;
        }
        if (got == 0) return true;
        text.append(buf, static_cast<std::size_t>(got));
        at += got;
    }
}

namespace {

class PosixWriter final : public Writer {
public:
    explicit PosixWriter(std::FILE* f) : f_(f) {}
    ~PosixWriter() override {
        if (f_) std::fclose(f_);
    }
    PosixWriter(const PosixWriter&) = delete;
    PosixWriter& operator=(const PosixWriter&) = delete;
    bool write(const char* data, std::size_t n) override {
        return std::fwrite(data, 1, n, f_) == n;
    }
    bool flush() override { return std::fflush(f_) == 0 && !std::ferror(f_); }
    bool finish() override {
        const bool ok = flush() && fsync(fileno(f_)) == 0;
        const bool closed = std::fclose(f_) == 0;
        f_ = nullptr;
        return ok && closed;
    }

private:
    std::FILE* f_;
};

} // namespace

std::unique_ptr<Writer> createfile(const std::string& path, const std::string& like, int& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // A file that is replaced keeps its permissions: a results file kept
    // private stays private.
    struct stat was {};
    if (!like.empty() && stat(like.c_str(), &was) == 0 && S_ISREG(was.st_mode))
        fchmod(fd, was.st_mode & 0777);
    std::FILE* f = fdopen(fd, "w");
    if (!f) {
        error = errno;
        close(fd);
        return nullptr;
    }
    return std::make_unique<PosixWriter>(f);
}

bool replacefile(const std::string& from, const std::string& to, int& error) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    error = errno;
    return false;
}

bool removefile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

void syncfolder(const std::string& dir) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

bool makefolder(const std::string& path, int& error) {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    error = errno;
    // A folder, or a link to one: its files go into the folder it leads to.
    int kind = 0;
    return error == EEXIST && isfolder(path, kind);
}

namespace {

class PosixLock final : public Lock {
public:
    explicit PosixLock(int fd) : fd_(fd) {}
    ~PosixLock() override { close(fd_); }
    PosixLock(const PosixLock&) = delete;
    PosixLock& operator=(const PosixLock&) = delete;

private:
    int fd_;
};

} // namespace

std::unique_ptr<Lock> lockfolder(const std::string& dir, Locked& result, int& error) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        result = Locked::failed;
        return nullptr;
    }
    // A lock of flock belongs to the open file: a second open of the same
    // folder in this process is refused like another process.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        result = Locked::taken;
        return std::make_unique<PosixLock>(fd);
    }
    error = errno;
    close(fd);
    result = error == EWOULDBLOCK ? Locked::held : Locked::failed;
    return nullptr;
}

namespace {

void say(const char* text) {
    if (write(STDERR_FILENO, text, std::strlen(text)) < 0) {
        // Nothing more can be said.
    }
}

void onsignal(int sig) {
    removeenlisted();
    say(sig == SIGINT    ? "kalp: interrupted (SIGINT)"
        : sig == SIGTERM ? "kalp: terminated (SIGTERM)"
                         : "kalp: hung up (SIGHUP)");
    say("; the files of this run were not written, earlier ones are unchanged\n");
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

std::vector<std::string> arguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

double power(double x, int n) { return std::pow(x, static_cast<double>(n)); }

int socketerror() { return errno; }

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

#include "process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace kalp::test {

Started launch(const std::vector<std::string>& argv, const std::string& dir, const std::string& out,
               const std::string& err) {
    std::vector<std::string> args = argv;
    std::vector<char*> ptrs;
    for (std::string& a : args)
        ptrs.push_back(a.data());
    ptrs.push_back(nullptr);
    int fds[2] = {-1, -1};
    if (out.empty() && pipe2(fds, O_CLOEXEC) != 0) return Started{};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (out.empty())
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = -1;
    if (posix_spawnp(&pid, ptrs[0], &actions, nullptr, ptrs.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    Started s;
    s.pid = pid;
    if (out.empty()) {
        close(fds[1]);
        s.out = fds[0];
    }
    return s;
}

int Started::wait(int ms) const {
    int raw = 0;
    const auto by = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const pid_t got = waitpid(static_cast<pid_t>(pid), &raw, ms < 0 ? 0 : WNOHANG);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || pid < 0) return -1;
        if (got == pid) break;
        if (std::chrono::steady_clock::now() > by) return -1;
        usleep(500);
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

long long Started::read(char* buf, std::size_t n, int ms) const {
    pollfd p{static_cast<int>(out), POLLIN, 0};
    for (;;) {
        const int r = poll(&p, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        const ssize_t got = ::read(static_cast<int>(out), buf, n);
        if (got < 0 && errno == EINTR) continue;
        return got < 0 ? 0 : got;
    }
}

bool Started::interrupt() const { return pid > 0 && ::kill(static_cast<pid_t>(pid), SIGINT) == 0; }

void Started::kill() const {
    if (pid > 0) ::kill(static_cast<pid_t>(pid), SIGKILL);
}

void Started::release() {
    if (out >= 0) close(static_cast<int>(out));
    out = -1;
}

std::string scratchfolder(const std::string& prefix) {
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) std::abort();
    return tmpl;
}

std::string programat(const std::string& path) { return path; }

void shareconsole() {}

Sock connectlocal(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        close(fd);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int waitsock(Sock s, bool writing, int ms) {
    pollfd p{static_cast<int>(s), static_cast<short>(writing ? POLLOUT : POLLIN), 0};
    const int r = poll(&p, 1, ms);
    return r < 0 ? -1 : r > 0;
}

long long sendnow(Sock s, const char* buf, std::size_t n) {
    const ssize_t sent = send(static_cast<int>(s), buf, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return sent;
}

long long recvnow(Sock s, char* buf, std::size_t n) { return recv(static_cast<int>(s), buf, n, 0); }

void closesock(Sock s) { close(static_cast<int>(s)); }

} // namespace kalp::test

// The sockets of the editor's server on Windows: Winsock.
#include "platform/platform.h"
#include "platform/wide.h"

#include <algorithm>
#include <cerrno>
#include <type_traits>
#include <vector>

namespace kalp::platform {

static_assert(std::is_same_v<Socket, SOCKET>, "a Socket is Winsock's SOCKET");

namespace {

// The sockets shut down for reading and not yet closed. A shutdown does not
// wake a WSAPoll that another thread waits in (not on every Windows, not
// under Wine): waits go in short slices and end at once for these.
SRWLOCK cutguard = SRWLOCK_INIT;
std::vector<Socket> cutsockets;

bool iscut(Socket s) {
    AcquireSRWLockShared(&cutguard);
    const bool cut = std::find(cutsockets.begin(), cutsockets.end(), s) != cutsockets.end();
    ReleaseSRWLockShared(&cutguard);
    return cut;
}

} // namespace

int waitsocket(Socket s, bool writing, int ms) {
    constexpr int slice = 50;
    for (int left = ms < 0 ? 0 : ms;;) {
        if (iscut(s)) return 1; // the next read sees the end
        WSAPOLLFD p{};
        p.fd = s;
        p.events = writing ? POLLWRNORM : POLLRDNORM;
        const int r = WSAPoll(&p, 1, std::min(left, slice));
        if (r != 0) return r == SOCKET_ERROR ? -1 : 1;
        if (left <= slice) return 0;
        left -= slice;
    }
}

long long receive(Socket s, char* buf, std::size_t n) {
    const int want = n > (1u << 30) ? (1 << 30) : static_cast<int>(n);
    const int got = recv(s, buf, want, 0);
    return got == SOCKET_ERROR ? -1 : got;
}

long long sendsome(Socket s, const char* buf, std::size_t n) {
    const int want = n > (1u << 30) ? (1 << 30) : static_cast<int>(n);
    const int sent = send(s, buf, want, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

void shutdownsocket(Socket s, bool reading) {
    if (reading) {
        AcquireSRWLockExclusive(&cutguard);
        if (std::find(cutsockets.begin(), cutsockets.end(), s) == cutsockets.end()) cutsockets.push_back(s);
        ReleaseSRWLockExclusive(&cutguard);
    }
    shutdown(s, reading ? SD_BOTH : SD_SEND);
}

void closesocket(Socket s) {
    // Forgotten before the system can give its number to another socket.
    AcquireSRWLockExclusive(&cutguard);
    cutsockets.erase(std::remove(cutsockets.begin(), cutsockets.end(), s), cutsockets.end());
    ReleaseSRWLockExclusive(&cutguard);
    ::closesocket(s);
}

bool socketaddress(Socket s, bool local, std::string& ip, int& port) {
    sockaddr_storage at{};
    int size = sizeof at;
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

// Winsock keeps the backlog of a socket's first listen(): a build for
// Windows sets it where the socket is made (CPPHTTPLIB_LISTEN_BACKLOG).
bool setbacklog(Socket s, int n) { return listen(s, n) == 0; }

int socketerror() {
    switch (WSAGetLastError()) {
    case WSAEADDRINUSE: return EADDRINUSE;
    case WSAEADDRNOTAVAIL: return EADDRNOTAVAIL;
    case WSAEACCES: return EACCES;
    case WSAEAFNOSUPPORT: return EAFNOSUPPORT;
    case WSAENETDOWN: return ENETDOWN;
    case WSAENOBUFS: return ENOBUFS;
    case WSAEMFILE: return EMFILE;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAECONNRESET: return ECONNRESET;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAEINVAL: return EINVAL;
    case WSANOTINITIALISED: return ENETDOWN;
    default: return EIO;
    }
}

} // namespace kalp::platform

#include "process.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace kalp::test {

namespace {

std::wstring wide(const std::string& utf8) {
    const fs::path p(reinterpret_cast<const char8_t*>(utf8.c_str()));
    return p.wstring();
}

// One argument as the C library of the started program splits them again.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring q = L"\"";
    std::size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        q.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        q += c;
    }
    q.append(2 * slashes, L'\\');
    return q + L"\"";
}

HANDLE inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The test's own console, shared by the programs it starts and by no one
// else, so that a Ctrl-C event for the whole console reaches them alone
// (Wine 8 delivers no event to a single process group, and no Ctrl-Break:
// GenerateConsoleCtrlEvent fails there with ERROR_INVALID_HANDLE). The
// test itself lets Ctrl-C pass.
} // namespace

void shareconsole() {
    static const bool once = [] {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE),
                     err = GetStdHandle(STD_ERROR_HANDLE);
        // Nor does the console's host keep them open after the test.
        for (const HANDLE h : {in, out, err})
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
        FreeConsole();
        const bool made = AllocConsole();
        if (const HWND w = GetConsoleWindow()) ShowWindow(w, SW_HIDE);
        // The test's own output stays where it went.
        SetStdHandle(STD_INPUT_HANDLE, in);
        SetStdHandle(STD_OUTPUT_HANDLE, out);
        SetStdHandle(STD_ERROR_HANDLE, err);
        SetConsoleCtrlHandler([](DWORD event) -> BOOL { return event == CTRL_C_EVENT; }, TRUE);
        return made;
    }();
    (void)once;
}

Started launch(const std::vector<std::string>& argv, const std::string& dir, const std::string& out,
               const std::string& err) {
    std::wstring line;
    for (const std::string& a : argv)
        line += (line.empty() ? L"" : L" ") + quoted(wide(a));
    HANDLE readend = nullptr, writeend = nullptr;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (out.empty()) {
        if (!CreatePipe(&readend, &writeend, &sa, 1 << 16)) return Started{};
        SetHandleInformation(readend, HANDLE_FLAG_INHERIT, 0);
    } else {
        writeend = inheritable(out, GENERIC_WRITE, CREATE_ALWAYS);
    }
    const HANDLE in = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE errh = inheritable(err, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = writeend;
    si.hStdError = errh;
    PROCESS_INFORMATION pi{};
    const std::wstring wdir = wide(dir);
    const bool started =
        CreateProcessW(wide(argv.at(0)).c_str(), line.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT, nullptr,
                       dir.empty() ? nullptr : wdir.c_str(), &si, &pi);
    for (const HANDLE h : {in, writeend, errh})
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    Started s;
    if (readend) s.out = reinterpret_cast<std::intptr_t>(readend);
    if (!started) return s;
    CloseHandle(pi.hThread);
    s.pid = pi.dwProcessId;
    s.handle = reinterpret_cast<std::intptr_t>(pi.hProcess);
    return s;
}

int Started::wait(int ms) const {
    const HANDLE h = reinterpret_cast<HANDLE>(handle);
    if (pid < 0 || WaitForSingleObject(h, ms < 0 ? INFINITE : static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    return GetExitCodeProcess(h, &code) ? static_cast<int>(code) : -1;
}

long long Started::read(char* buf, std::size_t n, int ms) const {
    const HANDLE h = reinterpret_cast<HANDLE>(out);
    const ULONGLONG by = GetTickCount64() + static_cast<ULONGLONG>(ms < 0 ? 0 : ms);
    for (;;) {
        DWORD ready = 0;
        if (!PeekNamedPipe(h, nullptr, 0, nullptr, &ready, nullptr)) return 0;  // the writer is gone
        if (ready > 0 || ms < 0) break;
        if (GetTickCount64() >= by) return -1;
        Sleep(5);
    }
    DWORD got = 0;
    if (!ReadFile(h, buf, static_cast<DWORD>(n), &got, nullptr)) return 0;
    return got;
}

bool Started::interrupt() const { return pid > 0 && GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0); }

void Started::kill() const {
    if (pid > 0) TerminateProcess(reinterpret_cast<HANDLE>(handle), 137);
}

void Started::release() {
    if (out != -1) CloseHandle(reinterpret_cast<HANDLE>(out));
    if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));
    out = handle = -1;
}

std::string scratchfolder(const std::string& prefix) {
    std::random_device seed;
    for (;;) {
        const fs::path p = fs::temp_directory_path() / (prefix + std::to_string(seed()));
        if (fs::create_directory(p)) {
            const std::u8string s = p.u8string();
            return std::string(s.begin(), s.end());
        }
    }
}

std::string programat(const std::string& path) {
    const std::u8string s = fs::absolute(wide(path)).u8string();
    return std::string(s.begin(), s.end());
}

Sock connectlocal(int port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return -1;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<u_short>(port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
        ::closesocket(s);
        return -1;
    }
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    u_long nonblocking = 1;
    ioctlsocket(s, FIONBIO, &nonblocking);
    return static_cast<Sock>(s);
}

int waitsock(Sock s, bool writing, int ms) {
    WSAPOLLFD p{};
    p.fd = static_cast<SOCKET>(s);
    p.events = writing ? POLLWRNORM : POLLRDNORM;
    const int r = WSAPoll(&p, 1, ms);
    return r == SOCKET_ERROR ? -1 : r > 0;
}

long long sendnow(Sock s, const char* buf, std::size_t n) {
    const int sent = send(static_cast<SOCKET>(s), buf, static_cast<int>(n > (1u << 30) ? (1u << 30) : n), 0);
    if (sent == SOCKET_ERROR) return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    return sent;
}

long long recvnow(Sock s, char* buf, std::size_t n) {
    const int got = recv(static_cast<SOCKET>(s), buf, static_cast<int>(n), 0);
    return got == SOCKET_ERROR ? -1 : got;
}

void closesock(Sock s) { ::closesocket(static_cast<SOCKET>(s)); }

} // namespace kalp::test

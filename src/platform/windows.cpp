// The operating system on Windows: the wide (UTF-16) calls of Win32, with
// the program's UTF-8 paths converted at this border. This unit holds what
// the others share and the process itself; winfiles.cpp the files and
// folders, winconsole.cpp the console and its events, winsockets.cpp the
// sockets.
#include "platform/platform.h"
#include "platform/wide.h"

#include <bcrypt.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cwchar>
#include <vector>

namespace kalp::platform {

bool widen(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    if (text.find('\0') != std::string::npos || text.size() > 0x7fffffff) return false;
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return false;
    wide.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n) == n;
}

std::string narrow(const wchar_t* wide, int length) {
    if (length <= 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), n, nullptr, nullptr);
    return text;
}

int errnoof(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    // A name Windows cannot hold (a colon, a question mark) names no file.
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return heldopen;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_TOO_LARGE: return EFBIG;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: return EPIPE;
    case ERROR_BUSY:
    case ERROR_PIPE_BUSY: return EBUSY;
    case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
    case ERROR_NO_UNICODE_TRANSLATION: return EILSEQ;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    default: return EIO;
    }
}

int lasterror() { return errnoof(GetLastError()); }

SRWLOCK filesguard = SRWLOCK_INIT;

std::string errortext(int error) {
    if (error == notplain) return "Not a plain file";
    if (error == heldopen) return "Open in another program";
    // The words of the GNU C library, so that a report reads the same on
    // every platform; Windows' own differ for some.
    switch (error) {
    case EPERM: return "Operation not permitted";
    case ENOENT: return "No such file or directory";
    case EINTR: return "Interrupted system call";
    case EIO: return "Input/output error";
    case EBADF: return "Bad file descriptor";
    case EAGAIN: return "Resource temporarily unavailable";
    case ENOMEM: return "Cannot allocate memory";
    case EACCES: return "Permission denied";
    case EBUSY: return "Device or resource busy";
    case EEXIST: return "File exists";
    case EXDEV: return "Invalid cross-device link";
    case ENOTDIR: return "Not a directory";
    case EISDIR: return "Is a directory";
    case EINVAL: return "Invalid argument";
    case EMFILE: return "Too many open files";
    case EFBIG: return "File too large";
    case ENOSPC: return "No space left on device";
    case EROFS: return "Read-only file system";
    case EPIPE: return "Broken pipe";
    case ENAMETOOLONG: return "File name too long";
    case ENOSYS: return "Function not implemented";
    case ENOTEMPTY: return "Directory not empty";
    case EILSEQ: return "Invalid or incomplete multibyte or wide character";
    case ELOOP: return "Too many levels of symbolic links";
    case EADDRINUSE: return "Address already in use";
    case EADDRNOTAVAIL: return "Cannot assign requested address";
    case EAFNOSUPPORT: return "Address family not supported by protocol";
    case ENETDOWN: return "Network is down";
    case ENOBUFS: return "No buffer space available";
    case ECONNREFUSED: return "Connection refused";
    case ECONNRESET: return "Connection reset by peer";
    case ETIMEDOUT: return "Connection timed out";
    default: return "Unknown error " + std::to_string(error);
    }
}

std::vector<std::string> arguments(int argc, char** argv) {
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
    std::vector<std::string> args;
    for (int i = 1; i < n; ++i)
        args.push_back(narrow(wide[i], static_cast<int>(std::wcslen(wide[i]))));
    LocalFree(wide);
    return args;
}

double power(double x, int n) {
    if (n == 0) return 1.0;
    // What pow gives for these in any C library: not a number stays one,
    // 0 and infinity are their own powers, and an odd power keeps the sign.
    if (std::isnan(x) || n < 0) return std::pow(x, static_cast<double>(n));
    const double a = std::fabs(x);
    const double r = a == 0 || std::isinf(a) ? a : roundedpower(a, n);
    return std::signbit(x) && (n & 1) ? -r : r;
}

std::string joinpath(const std::string& dir, const std::string& name) {
    if (dir.rfind("\\\\?\\", 0) != 0) return dir + "/" + name;
    return dir + (dir.back() == '\\' ? "" : "\\") + name;
}

NameFault namefault(const std::string& path) {
    if (path.find('"') != std::string::npos) return {NameFault::quote, path};
    // The parts between separators; the \\?\ and \\.\ of a path that
    // Windows takes as it is, and a drive, are no names.
    std::size_t from = path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\\\.\\", 0) == 0 ? 4 : 0;
    while (from <= path.size()) {
        const std::size_t end = std::min(path.find_first_of("/\\", from), path.size());
        const std::string part = path.substr(from, end - from);
        from = end + 1;
        if (part.empty() || part == "." || part == ".." || (part.size() == 2 && part[1] == ':')) continue;
        if (part.back() == ' ' || part.back() == '.') return {NameFault::trailing, part};
        // The name before its extension, as Windows compares it.
        std::string base = part.substr(0, part.find('.'));
        while (!base.empty() && base.back() == ' ')
            base.pop_back();
        std::transform(base.begin(), base.end(), base.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
        const bool numbered = base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
                              base[3] >= '1' && base[3] <= '9';
        if (numbered || base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
            return {NameFault::device, part};
    }
    return {};
}

std::clock_t processortime() {
    FILETIME created{}, ended{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    // In units of 100 nanoseconds.
    return static_cast<std::clock_t>((ticks(kernel) + ticks(user)) / (10000000ULL / CLOCKS_PER_SEC));
}

std::string programpath() {
    std::wstring buf(MAX_PATH, L'\0');
    while (buf.size() <= 32768) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return "";
        if (n < buf.size()) return narrow(buf.data(), static_cast<int>(n));
        buf.resize(buf.size() * 2);
    }
    return "";
}

bool randombytes(unsigned char* out, std::size_t n, int& error) {
    while (n > 0) {
        const ULONG chunk = n > (1u << 30) ? (1u << 30) : static_cast<ULONG>(n);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            error = EIO;
            return false;
        }
        out += chunk;
        n -= chunk;
    }
    return true;
}

bool openbrowser(const std::string& url) {
    // ShellExecute opens whatever it is given, programs included: only a
    // web address goes to it.
    std::wstring w;
    if ((url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) || !widen(url, w)) return false;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const auto done = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", w.c_str(), nullptr, nullptr,
                                                              SW_SHOWNORMAL));
    if (SUCCEEDED(com)) CoUninitialize();
    return done > 32;
}

} // namespace kalp::platform

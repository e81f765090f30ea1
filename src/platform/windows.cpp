// The operating system on Windows: the wide (UTF-16) calls of Win32, with
// the program's UTF-8 paths converted at this border.
#include "platform/platform.h"
#include "platform/enlisted.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <type_traits>
#include <vector>

namespace kalp::platform {

static_assert(std::is_same_v<Socket, SOCKET>, "a Socket is Winsock's SOCKET");

namespace {

// The UTF-16 form of a UTF-8 path; false when the text is no UTF-8 or
// holds a zero byte.
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

// The errno number for a Win32 error, as the C library of Windows maps
// them, with the cases it lumps together kept apart.
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
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
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

// Held while a file is created or put in its place, and taken for good by
// the console handler: a run ended by Ctrl-C creates no file after its
// enlisted ones are removed (the handler runs on a thread of its own while
// the program goes on).
SRWLOCK filesguard = SRWLOCK_INIT;

class Guard {
public:
    Guard() { AcquireSRWLockExclusive(&filesguard); }
    ~Guard() { ReleaseSRWLockExclusive(&filesguard); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

constexpr DWORD shareall = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What stands at a path itself, from a handle opened without any access
// to the contents: that never waits and no sharing refuses it.
struct Facts {
    bool exists = false;
    DWORD attributes = 0, tag = 0, type = FILE_TYPE_UNKNOWN;
};

Facts factsof(const std::wstring& path) {
    Facts f;
    const HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, shareall, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // Not even the attributes may be read: the folder's listing tells.
        const DWORD a = GetFileAttributesW(path.c_str());
        if (a == INVALID_FILE_ATTRIBUTES) return f;
        f.exists = true;
        f.attributes = a;
        f.type = FILE_TYPE_DISK;
        return f;
    }
    f.exists = true;
    f.type = GetFileType(h);
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info)) {
        f.attributes = info.FileAttributes;
        f.tag = info.ReparseTag;
    } else {
        BY_HANDLE_FILE_INFORMATION basic{};
        if (GetFileInformationByHandle(h, &basic)) f.attributes = basic.dwFileAttributes;
    }
    CloseHandle(h);
    return f;
}

// A symbolic link or a junction; other reparse points (files kept in the
// cloud, deduplicated files) are what they hold.
bool islink(const Facts& f) {
    return (f.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (f.tag == IO_REPARSE_TAG_SYMLINK || f.tag == IO_REPARSE_TAG_MOUNT_POINT);
}

// The path of the file a handle is open on, without the \\?\ prefix.
std::string finalpath(HANDLE h) {
    std::wstring buf(MAX_PATH, L'\0');
    for (int tries = 0; tries < 2; ++tries) {
        const DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            if (buf.rfind(L"\\\\?\\UNC\\", 0) == 0) buf = L"\\\\" + buf.substr(8);
            else if (buf.rfind(L"\\\\?\\", 0) == 0) buf = buf.substr(4);
            return narrow(buf.data(), static_cast<int>(buf.size()));
        }
        buf.resize(n);
    }
    return {};
}

// Where `path` leads, links followed; empty when it leads nowhere.
std::string resolved(const std::string& path) {
    std::wstring w;
    if (!widen(path, w)) return {};
    const HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, shareall, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string full = finalpath(h);
    CloseHandle(h);
    return full;
}

} // namespace

std::string errortext(int error) {
    if (error == notplain) return "Not a plain file";
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

Kind kindof(const std::string& path) {
    std::wstring w;
    if (!widen(path, w)) return Kind::missing;
    const Facts f = factsof(w);
    if (!f.exists) return Kind::missing;
    if (islink(f)) return Kind::link;
    if (f.attributes & FILE_ATTRIBUTE_DIRECTORY) return Kind::folder;
    if (f.type != FILE_TYPE_DISK) return Kind::other;
    return Kind::file;
}

std::string linktarget(const std::string& path) {
    // A link whose target is missing leads nowhere to write through: the
    // link itself is then the place.
    if (kindof(path) != Kind::link) return path;
    const std::string target = resolved(path);
    return target.empty() ? path : target;
}

std::string fullpath(const std::string& path) {
    const std::string full = resolved(path);
    return full.empty() ? path : full;
}

bool writable(const std::string& path) {
    std::wstring w;
    if (!widen(path, w)) return false;
    const DWORD a = GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    const bool folder = a & FILE_ATTRIBUTE_DIRECTORY;
    // The read-only mark of a folder means nothing to its files.
    if (!folder && (a & FILE_ATTRIBUTE_READONLY)) return false;
    // The right to write a file's data is, for a folder, the right to add
    // files to it.
    const HANDLE h = CreateFileW(w.c_str(), FILE_WRITE_DATA, shareall, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // Another program holding it open says nothing about the right to
        // write it.
        return GetLastError() == ERROR_SHARING_VIOLATION;
    }
    CloseHandle(h);
    return true;
}

namespace {

// What Windows knows of the folder at `path`, opened as the other calls
// open it, so that a link to a folder counts as the folder; false with the
// reason (ENOTDIR for anything else) when it is none.
bool folderinfo(const std::string& path, BY_HANDLE_FILE_INFORMATION& info, int& error) {
    std::wstring w;
    if (!widen(path, w)) {
        error = EILSEQ;
        return false;
    }
    if (w.empty()) {
        error = ENOENT;
        return false;
    }
    const HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, shareall, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = lasterror();
        return false;
    }
    const bool known = GetFileInformationByHandle(h, &info);
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (!known) {
        error = errnoof(code);
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    error = ENOTDIR;
    return false;
}

} // namespace

bool isfolder(const std::string& path, int& error) {
    BY_HANDLE_FILE_INFORMATION info{};
    return folderinfo(path, info, error);
}

namespace {

class WinReader final : public Reader {
public:
    WinReader(HANDLE h, long long size) : h_(h), size_(size) {}
    ~WinReader() override { CloseHandle(h_); }
    WinReader(const WinReader&) = delete;
    WinReader& operator=(const WinReader&) = delete;
    long long size() const override { return size_; }
    long long readat(long long offset, char* buf, std::size_t n) override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
        const DWORD want = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
        DWORD got = 0;
        if (ReadFile(h_, buf, want, &got, &at)) return got;
        if (GetLastError() == ERROR_HANDLE_EOF) return 0;
        errno = lasterror();
        return -1;
    }

private:
    HANDLE h_;
    long long size_;
};

} // namespace

std::unique_ptr<Reader> openreader(const std::string& path, int& error) {
    std::wstring w;
    if (!widen(path, w)) {
        error = EILSEQ;
        return nullptr;
    }
    // Backup semantics open a folder too, so that it is told apart; a pipe
    // or a device opens without waiting and is refused by its type before
    // anything is read. Others may go on reading, writing and replacing
    // the file meanwhile, as on POSIX.
    const HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, shareall, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = lasterror();
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)) {
        CloseHandle(h);
        error = notplain;
        return nullptr;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        CloseHandle(h);
        error = EISDIR;
        return nullptr;
    }
    const long long size = static_cast<long long>((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) |
                                                  info.nFileSizeLow);
    return std::make_unique<WinReader>(h, size);
}

bool readfile(const std::string& path, std::string& text, int& error) {
    const std::unique_ptr<Reader> r = openreader(path, error);
    if (!r) return false;
    text.clear();
    text.reserve(static_cast<std::size_t>(r->size()));
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

class WinWriter final : public Writer {
public:
    explicit WinWriter(HANDLE h) : h_(h) { buffer_.reserve(capacity); }
    ~WinWriter() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    WinWriter(const WinWriter&) = delete;
    WinWriter& operator=(const WinWriter&) = delete;
    bool write(const char* data, std::size_t n) override {
        if (buffer_.size() + n > capacity) {
            if (!flush()) return false;
            if (n >= capacity) return put(data, n);
        }
        buffer_.append(data, n);
        return !failed_;
    }
    bool flush() override {
        const bool ok = put(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok;
    }
    bool finish() override {
        bool ok = flush();
        if (ok && !FlushFileBuffers(h_)) {
            errno = lasterror();
            ok = false;
        }
        const bool closed = CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok && closed;
    }

private:
    static constexpr std::size_t capacity = 1 << 16;
    // A failed write (a full disk) fails every later one.
    bool put(const char* data, std::size_t n) {
        while (n > 0 && !failed_) {
            const DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
            DWORD done = 0;
            if (!WriteFile(h_, data, chunk, &done, nullptr)) {
                errno = lasterror();
                failed_ = true;
            } else if (done == 0) {
                errno = EIO;
                failed_ = true;
            }
            data += done;
            n -= done;
        }
        return !failed_;
    }

    HANDLE h_;
    std::string buffer_;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<Writer> createfile(const std::string& path, const std::string& like, int& error) {
    // A new file takes the permissions its folder hands down, which are
    // those of the file it replaces unless someone set that one's by hand;
    // those are not carried over.
    static_cast<void>(like);
    std::wstring w;
    if (!widen(path, w)) {
        error = EILSEQ;
        return nullptr;
    }
    HANDLE h = INVALID_HANDLE_VALUE;
    {
        const Guard guard;
        // A link at `path` is not followed: it stands there, so creation
        // fails. Sharing deletion lets the console handler remove the file
        // while it is open.
        h = CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) error = lasterror();
    }
    if (h == INVALID_HANDLE_VALUE) {
        // A folder in the way is refused as "access denied"; POSIX says it
        // exists.
        if (error != EEXIST && kindof(path) != Kind::missing) error = EEXIST;
        return nullptr;
    }
    return std::make_unique<WinWriter>(h);
}

bool replacefile(const std::string& from, const std::string& to, int& error) {
    std::wstring f, t;
    if (!widen(from, f) || !widen(to, t)) {
        error = EILSEQ;
        return false;
    }
    if (kindof(to) == Kind::folder) {
        error = EISDIR;
        return false;
    }
    // An editor, a virus scanner or the search indexer may hold `to` open
    // for a moment without letting it be replaced: the move is tried again
    // for up to 1.5 seconds before it is reported.
    const ULONGLONG until = GetTickCount64() + 1500;
    for (;;) {
        DWORD code = ERROR_SUCCESS;
        {
            const Guard guard;
            if (MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return true;
            code = GetLastError();
        }
        const bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ||
                          code == ERROR_LOCK_VIOLATION;
        if (!held || GetTickCount64() >= until) {
            error = errnoof(code);
            return false;
        }
        Sleep(50);
    }
}

bool removefile(const std::string& path) {
    std::wstring w;
    if (!widen(path, w)) return false;
    if (DeleteFileW(w.c_str())) return true;
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    // A link to a folder goes as a folder does; the folder it leads to
    // stays.
    return kindof(path) == Kind::link && RemoveDirectoryW(w.c_str());
}

// Windows has no call that makes the names in a folder durable: NTFS logs
// its changes of names itself, and replacefile moves with
// MOVEFILE_WRITE_THROUGH, which returns once the move is on the disk.
void syncfolder(const std::string&) {}

bool makefolder(const std::string& path, int& error) {
    std::wstring w;
    if (!widen(path, w)) {
        error = EILSEQ;
        return false;
    }
    if (CreateDirectoryW(w.c_str(), nullptr)) return true;
    error = lasterror();
    // A folder, or a link to one: its files go into the folder it leads to.
    int kind = 0;
    return error == EEXIST && isfolder(path, kind);
}

namespace {

class WinLock final : public Lock {
public:
    explicit WinLock(HANDLE h) : h_(h) {}
    ~WinLock() override { CloseHandle(h_); }
    WinLock(const WinLock&) = delete;
    WinLock& operator=(const WinLock&) = delete;

private:
    HANDLE h_;
};

} // namespace

// The lock is a named kernel object that exists while its holder lives:
// Windows removes it with the last handle, however the process ends.
// Locking the folder's own handle would not do: a handle that denies
// others' sharing refuses Explorer's view of the folder and the moves
// into it.
std::unique_ptr<Lock> lockfolder(const std::string& dir, Locked& result, int& error) {
    result = Locked::failed;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folderinfo(dir, info, error)) return nullptr;
    // Named by the folder's volume and file number, so that every path to
    // it (a short name, a mapped drive, a link) meets the same lock; in
    // the global namespace, so that other sessions meet it too.
    char name[80];
    std::snprintf(name, sizeof name, "Global\\kalp-folder-%08lx-%08lx%08lx",
                  static_cast<unsigned long>(info.dwVolumeSerialNumber),
                  static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    std::wstring wname;
    widen(name, wname);
    const HANDLE m = CreateMutexW(nullptr, FALSE, wname.c_str());
    const DWORD made = GetLastError();
    if (!m) {
        // Another user's run made it, and it is not ours to open.
        if (made == ERROR_ACCESS_DENIED) {
            result = Locked::held;
            return nullptr;
        }
        error = errnoof(made);
        return nullptr;
    }
    if (made == ERROR_ALREADY_EXISTS) {
        CloseHandle(m);
        result = Locked::held;
        return nullptr;
    }
    result = Locked::taken;
    return std::make_unique<WinLock>(m);
}

namespace {

void say(const char* text) {
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &done, nullptr);
}

// Console events arrive on a thread of their own while the program goes
// on. The handler takes the guard of file creation for good, removes the
// enlisted files and ends the process at once: no destructor or exit
// handler runs under the feet of the other threads.
BOOL WINAPI onconsole(DWORD event) {
    const char* what = nullptr;
    int sig = 0;
    switch (event) {
    case CTRL_C_EVENT:
        what = "kalp: interrupted (Ctrl-C)";
        sig = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
        what = "kalp: interrupted (Ctrl-Break)";
        sig = SIGBREAK;
        break;
    case CTRL_CLOSE_EVENT:
        what = "kalp: the console was closed";
        sig = SIGTERM;
        break;
    default: return FALSE;  // logging off and shutting down reach services only
    }
    AcquireSRWLockExclusive(&filesguard);
    removeenlisted();
    say(what);
    say("; the files of this run were not written, earlier ones are unchanged\n");
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(signalstatus(sig)));
    return TRUE;
}

std::atomic<int> endsignal{0};

HANDLE endevent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI onend(DWORD event) {
    const int sig = event == CTRL_C_EVENT       ? SIGINT
                    : event == CTRL_BREAK_EVENT ? SIGBREAK
                    : event == CTRL_CLOSE_EVENT ? SIGTERM
                                                : 0;
    if (sig == 0) return FALSE;
    endsignal = sig;
    SetEvent(endevent());
    // Windows ends the process as soon as the handler of a closed console
    // returns: waiting here leaves the server its few seconds to stop.
    if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
    return TRUE;
}

} // namespace

void removequietly(const char* path) {
    // No allocation: the handler may run while another thread holds the
    // heap.
    wchar_t wide[4096];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 4096) > 0) DeleteFileW(wide);
}

void handlesignals() { SetConsoleCtrlHandler(onconsole, TRUE); }

void holdendsignals() {
    endevent();
    SetConsoleCtrlHandler(onend, TRUE);
}

int waitforend() {
    WaitForSingleObject(endevent(), INFINITE);
    return endsignal.load();
}

void wakeend() { SetEvent(endevent()); }

// As a POSIX shell shows it: 130 for Ctrl-C.
int signalstatus(int signal) { return 128 + signal; }

void endbysignal(int sig, const char* aftermath) {
    AcquireSRWLockExclusive(&filesguard);
    removeenlisted();
    say(sig == SIGINT     ? "kalp: interrupted (Ctrl-C); "
        : sig == SIGBREAK ? "kalp: interrupted (Ctrl-Break); "
        : sig == SIGTERM  ? "kalp: the console was closed; "
                          : "kalp: ended; ");
    say(aftermath);
    say("\n");
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(sig > 0 ? signalstatus(sig) : 1));
    for (;;) Sleep(INFINITE);
}

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

bool isterminal(std::FILE* stream) {
    // Only a console: _isatty is true for the NUL device as well.
    const int fd = _fileno(stream);
    if (fd < 0) return false;
    // The C library hands the handle over as an integer.
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));  // NOLINT(performance-no-int-to-ptr)
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

void binarystreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

namespace {

// The bytes of an unfinished UTF-8 sequence at the end of the last text
// written on the console through standard output [0] or error [1].
struct Pending {
    char bytes[4];
    int count = 0;
};
Pending pending[2];

// Whether `text` ends within a UTF-8 sequence: the number of its last bytes
// that begin one and need more.
int unfinished(std::string_view text) {
    const int most = static_cast<int>(std::min<std::size_t>(text.size(), 3));
    for (int back = 1; back <= most; ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - static_cast<std::size_t>(back)]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// A console window shows the text by its letters: UTF-16 through
// WriteConsoleW, whatever the console's code page (a byte that is no UTF-8
// shows as a replacement character).
bool toconsole(HANDLE h, Pending& p, std::string_view text) {
    std::vector<char> whole(p.bytes, p.bytes + p.count);
    whole.insert(whole.end(), text.begin(), text.end());
    const int keep = unfinished(std::string_view(whole.data(), whole.size()));
    p.count = keep;
    std::copy(whole.end() - keep, whole.end(), p.bytes);
    whole.resize(whole.size() - static_cast<std::size_t>(keep));
    if (whole.empty()) return true;
    const int size = static_cast<int>(std::min<std::size_t>(whole.size(), 0x3fffffff));
    const int n = MultiByteToWideChar(CP_UTF8, 0, whole.data(), size, nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, whole.data(), size, wide.data(), n);
    for (std::size_t at = 0; at < wide.size();) {
        DWORD done = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
        if (!WriteConsoleW(h, wide.data() + at, chunk, &done, nullptr) || done == 0) return false;
        at += done;
    }
    return true;
}

} // namespace

bool writestream(std::FILE* stream, std::string_view text) {
    const int slot = stream == stdout ? 0 : stream == stderr ? 1 : -1;
    if (slot >= 0 && isterminal(stream)) {
        std::fflush(stream);
        const HANDLE h = GetStdHandle(slot == 0 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
        return toconsole(h, pending[slot], text);
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    // The C library of Windows buffers a line-buffered stream fully: each
    // line reaches a pipe or a file as it ends, as on POSIX.
    if (text.find('\n') != std::string_view::npos) ok = std::fflush(stream) == 0 && ok;
    return ok;
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

// The files and folders on Windows.
#include "platform/platform.h"
#include "platform/wide.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace kalp::platform {

namespace {

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

namespace {

// Whether the file at `w` may be replaced or removed: 0, EACCES, or
// heldopen when another program holds it, waited for `ms` at most.
int holdof(const std::wstring& w, ULONGLONG ms) {
    // The right to remove the name is what a replacement needs; another
    // program that holds the file open without sharing its removal (a
    // spreadsheet) refuses it.
    const ULONGLONG until = GetTickCount64() + ms;
    for (;;) {
        const HANDLE h = CreateFileW(w.c_str(), DELETE, shareall, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return 0;
        }
        const DWORD code = GetLastError();
        if (code == ERROR_ACCESS_DENIED) return EACCES;
        if (code != ERROR_SHARING_VIOLATION && code != ERROR_LOCK_VIOLATION) return 0;
        if (GetTickCount64() >= until) return heldopen;
        Sleep(50);
    }
}

} // namespace

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
            // A file in use refuses its replacement as "access denied" too:
            // whether another program holds it tells the two apart.
            const int why = held ? holdof(t, 0) : 0;
            error = why != 0 ? why : errnoof(code);
            return false;
        }
        Sleep(50);
    }
}

int replaceable(const std::string& path) {
    std::wstring w;
    if (!widen(path, w)) return 0;
    const Facts f = factsof(w);
    if (!f.exists) return 0;
    if (!islink(f) && !(f.attributes & FILE_ATTRIBUTE_DIRECTORY) && !writable(path)) return EACCES;
    // A moment's hold is waited for, as replacefile() waits.
    return holdof(w, 1500);
}

bool linkfile(const std::string& path, const std::string& other, int& error) {
    std::wstring p, o;
    if (!widen(path, p) || !widen(other, o)) {
        error = EILSEQ;
        return false;
    }
    if (CreateHardLinkW(o.c_str(), p.c_str(), nullptr)) return true;
    error = lasterror();
    return false;
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

// The lock is the file `file`, opened without sharing: every other opener
// is refused, on this machine and, through the server of a network
// folder, on the others. Windows removes it with its last handle, however
// the process ends. (Locking the folder's own handle would not do: a
// handle that denies others' sharing refuses Explorer's view of the folder
// and the moves into it.)
std::unique_ptr<Lock> lockfolder(const std::string& dir, const std::string& file, Locked& result,
                                 int& error) {
    result = Locked::failed;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folderinfo(dir, info, error)) return nullptr;
    std::wstring w;
    if (!widen(file, w)) {
        error = EILSEQ;
        return nullptr;
    }
    for (int tries = 0;; ++tries) {
        const HANDLE h = CreateFileW(w.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            // A lock on its first byte as well, which a network folder's
            // server and Wine pass on to other systems (POSIX's locks).
            OVERLAPPED first{};
            if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &first)) {
                result = Locked::taken;
                return std::make_unique<WinLock>(h);
            }
            const DWORD code = GetLastError();
            CloseHandle(h);
            if (code == ERROR_LOCK_VIOLATION || code == ERROR_SHARING_VIOLATION) {
                result = Locked::held;
                return nullptr;
            }
            error = errnoof(code);
            return nullptr;
        }
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
            result = Locked::held;
            return nullptr;
        }
        // The file of a run that has just ended may still be on its way
        // out for a moment (it refuses every opener then).
        if (code != ERROR_ACCESS_DENIED || tries == 20) {
            error = errnoof(code);
            return nullptr;
        }
        Sleep(25);
    }
}

} // namespace kalp::platform

// The files and folders on Linux and the other POSIX systems;
// posixprocess.cpp holds the rest: signals, streams, sockets, the process.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kalp::platform {

std::string errortext(int error) {
    if (error == notplain) return "Not a plain file";
    if (error == heldopen) return "Open in another program";
    return std::strerror(error);
}

std::string joinpath(const std::string& dir, const std::string& name) { return dir + "/" + name; }

NameFault namefault(const std::string&) { return {}; }

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

int replaceable(const std::string& path) {
    // No program holds a file against its replacement here.
    return kindof(path) == Kind::file && !writable(path) ? EACCES : 0;
}

bool linkfile(const std::string& path, const std::string& other, int& error) {
    // A link at `path` gets the second name itself, not the file it leads
    // to.
    if (linkat(AT_FDCWD, path.c_str(), AT_FDCWD, other.c_str(), 0) == 0) return true;
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

// The lock of a run: the folder's own lock, and the lock file in it, which
// goes first (still locked, so that a run that opened it meanwhile finds
// that it is no longer the file of that name).
class PosixLock final : public Lock {
public:
    PosixLock(int folder, int file, std::string path)
        : folder_(folder), file_(file), path_(std::move(path)), slot_(file >= 0 ? enlist(path_) : -1) {}
    ~PosixLock() override {
        if (file_ >= 0) {
            unlink(path_.c_str());
            close(file_);
        }
        delist(slot_);
        close(folder_);
    }
    PosixLock(const PosixLock&) = delete;
    PosixLock& operator=(const PosixLock&) = delete;

private:
    int folder_, file_;
    std::string path_;
    int slot_; // a signal that ends the run removes the file too
};

// An advisory lock on the folder itself: -1 when it is held or fails.
int lockdir(const std::string& dir, Locked& result, int& error) {
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        result = Locked::failed;
        return -1;
    }
    // A lock of flock belongs to the open file: a second open of the same
    // folder in this process is refused like another process.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    error = errno;
    close(fd);
    result = error == EWOULDBLOCK ? Locked::held : Locked::failed;
    return -1;
}

// A lock on the whole of an open file that belongs to the open file, not
// to the process, as flock's does; unlike flock's, it reaches the server
// of a network folder. Systems without it get flock.
int lockopen(int fd) {
#ifdef F_OFD_SETLK
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &whole) == 0) return 0;
    if (errno != EINVAL) return errno;
#endif
    return flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
}

} // namespace

std::unique_ptr<Lock> lockfolder(const std::string& dir, const std::string& file, Locked& result,
                                 int& error) {
    const int folder = lockdir(dir, result, error);
    if (folder < 0) return nullptr;
    // The run that holds the file may remove it at any moment and another
    // make it anew: the lock counts only on the file that bears the name.
    for (int tries = 0; tries < 20; ++tries) {
        const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            // A folder that may not be written (a run there writes nothing
            // either): the folder's own lock serves.
            result = Locked::taken;
            return std::make_unique<PosixLock>(folder, -1, "");
        }
        const int locked = lockopen(fd);
        if (locked != 0) {
            close(fd);
            close(folder);
            error = locked;
            result = locked == EAGAIN || locked == EACCES || locked == EWOULDBLOCK ? Locked::held
                                                                                   : Locked::failed;
            return nullptr;
        }
        struct stat open {}, named {};
        if (fstat(fd, &open) == 0 && lstat(file.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
            open.st_ino == named.st_ino) {
            result = Locked::taken;
            return std::make_unique<PosixLock>(folder, fd, file);
        }
        close(fd);
    }
    close(folder);
    error = EAGAIN;
    result = Locked::failed;
    return nullptr;
}

} // namespace kalp::platform

#include "textio/outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <utility>

#include "core/stop.h"

namespace kalp {

namespace {

// The temporary files of the run, for the signal handlers: a slot is in
// use while its flag is set, and its path is written before the flag.
constexpr int slots = 64;
constexpr size_t pathsize = 512;
char paths[slots][pathsize];
std::atomic<bool> used[slots];

int enlist(const std::string& path) {
    if (path.size() >= pathsize) return -1;
    for (int i = 0; i < slots; ++i) {
        if (used[i].load()) continue;
        std::memcpy(paths[i], path.c_str(), path.size() + 1);
        used[i].store(true);
        return i;
    }
    return -1;
}

void delist(int slot) {
    if (slot >= 0) used[slot].store(false);
}

void onsignal(int sig) {
    for (int i = 0; i < slots; ++i)
        if (used[i].load()) unlink(paths[i]);
    const char* text = sig == SIGINT    ? "kalp: interrupted (SIGINT)"
                       : sig == SIGTERM ? "kalp: terminated (SIGTERM)"
                                        : "kalp: hung up (SIGHUP)";
    const char* rest = "; the files of this run were not written, earlier ones are unchanged\n";
    if (write(STDERR_FILENO, text, std::strlen(text)) < 0 ||
        write(STDERR_FILENO, rest, std::strlen(rest)) < 0) {
        // Nothing more can be said.
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

[[noreturn]] void cannotcreate(const std::string& name) {
    failin(name, "", "The output file " + name + " cannot be created.",
           "Make sure that " + name +
               " can be written in the working directory and restart the program.",
           StopKind::output);
}

[[noreturn]] void notwritten(const std::string& name) {
    failin(name, "", "The output file " + name + " could not be written completely.",
           "Make room on the disk or check the permissions of " + name +
               " and restart the program.",
           StopKind::output);
}

// What stands at `path`, when it is neither missing nor a file nor a link:
// "a folder", "a special file".
const char* obstacle(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return nullptr;
    return S_ISDIR(st.st_mode) ? "a folder" : "a special file (not a plain file)";
}

[[noreturn]] void inway(const std::string& path, const std::string& name, const char* what) {
    const std::string role = path == name ? "" : ", where KALP writes " + name + " until the run is complete,";
    failin(name, "", "The output file " + name + " cannot be written: " + path + role + " is " +
                         what + ".",
           "Remove or rename " + path + " and restart the program.", StopKind::output);
}

// The folder of `path`.
std::string folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

void syncfolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    ::close(fd);
}

} // namespace

std::string tempname(const std::string& name) {
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos) return ".kalp-unfinished-" + name;
    return name.substr(0, slash + 1) + ".kalp-unfinished-" + name.substr(slash + 1);
}

OutputFile::OutputFile(const std::string& name) : name_(name), temp_(tempname(name)) {
    struct stat st {};
    if (stat(name_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) cannotcreate(name_);
    // A stale temporary file was removed when the run began; whatever
    // stands there now is not ours and stays. The name is known to the
    // signal handlers before the file exists, so that no signal leaves it.
    slot_ = enlist(temp_);
    const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        delist(slot_);
        slot_ = -1;
        const char* what = obstacle(temp_);
        temp_.clear();
        if (what) inway(tempname(name_), name_, what);
        cannotcreate(name_);
    }
    // A file that is replaced keeps its permissions, as it did when it was
    // rewritten in place: a results file kept private stays private.
    struct stat was {};
    if (lstat(name_.c_str(), &was) == 0 && S_ISREG(was.st_mode)) fchmod(fd, was.st_mode & 0777);
    fp_ = fdopen(fd, "w");
    if (!fp_) {
        ::close(fd);
        discard();
        cannotcreate(name_);
    }
}

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : name_(std::move(other.name_)), temp_(std::move(other.temp_)), fp_(other.fp_),
      slot_(other.slot_) {
    other.fp_ = nullptr;
    other.temp_.clear();
    other.slot_ = -1;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        discard();
        name_ = std::move(other.name_);
        temp_ = std::move(other.temp_);
        fp_ = other.fp_;
        slot_ = other.slot_;
        other.fp_ = nullptr;
        other.temp_.clear();
        other.slot_ = -1;
    }
    return *this;
}

void OutputFile::write(const std::string& text) const {
    std::fwrite(text.data(), 1, text.size(), fp_);
}

void OutputFile::check() const {
    if (fp_ && (std::fflush(fp_) != 0 || std::ferror(fp_))) notwritten(name_);
}

void OutputFile::close() {
    if (!fp_) return;
    const bool bad = std::fflush(fp_) != 0 || std::ferror(fp_) != 0 || fsync(fileno(fp_)) != 0;
    const bool closed = std::fclose(fp_) == 0;
    fp_ = nullptr;
    if (bad || !closed) {
        // An incomplete file is never put in place.
        discard();
        notwritten(name_);
    }
}

void OutputFile::discard() {
    if (fp_) std::fclose(fp_);
    fp_ = nullptr;
    if (!temp_.empty()) unlink(temp_.c_str());
    delist(slot_);
    slot_ = -1;
    temp_.clear();
}

void publish(const std::vector<OutputFile*>& files) {
    for (OutputFile* f : files) {
        f->close();
        if (f->temp_.empty()) notwritten(f->name_);
        requireplace(f->name_);
    }
    std::vector<std::string> folders;
    for (OutputFile* f : files) {
        if (std::rename(f->temp_.c_str(), f->name_.c_str()) != 0) notwritten(f->name_);
        f->temp_.clear();
        delist(f->slot_);
        f->slot_ = -1;
        if (std::find(folders.begin(), folders.end(), folder(f->name_)) == folders.end())
            folders.push_back(folder(f->name_));
    }
    for (const std::string& dir : folders)
        syncfolder(dir);
}

void requireplace(const std::string& name) {
    if (const char* what = obstacle(name)) inway(name, name, what);
}

void removeunfinished(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (!obstacle(tempname(name))) unlink(tempname(name).c_str());
    for (const std::string& name : names)
        if (const char* what = obstacle(tempname(name))) inway(tempname(name), name, what);
}

void handlesignals() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, onsignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace kalp

#include "textio/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/stop.h"

namespace kalp {

namespace {

std::string fullname(const std::string& dir) {
    char path[PATH_MAX];
    return realpath(dir.c_str(), path) ? std::string(path) : dir;
}

} // namespace

FolderLock::FolderLock(const std::string& dir) {
    fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0)
        failin(dir, "", "The working folder " + fullname(dir) + " cannot be opened: " +
                            std::strerror(errno) + ".",
               "Check the folder and restart the program.", StopKind::output);
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    const int error = errno;
    close(fd_);
    fd_ = -1;
    if (error == EWOULDBLOCK)
        failin(dir, "", "Another KALP run is working in this folder, " + fullname(dir) + ".",
               "Wait until it has ended, or work in another folder, and restart the program.",
               StopKind::output);
    failin(dir, "", "The working folder " + fullname(dir) + " cannot be locked: " +
                        std::strerror(error) + ".",
           "Check the folder and restart the program.", StopKind::output);
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) close(fd_);
}

} // namespace kalp

// One run per folder: a run holds an advisory lock on the folder itself
// while it works there. The lock creates no file, and the kernel releases
// it when the run ends, however it ends.
#pragma once

#include <string>

namespace kalp {

class FolderLock {
public:
    // Locks `dir`; when another run holds it, the run ends with a report
    // naming the folder.
    explicit FolderLock(const std::string& dir = ".");
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace kalp

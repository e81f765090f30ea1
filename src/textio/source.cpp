#include "textio/source.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace kalp {

std::FILE* FolderSource::open(const char* name) const {
    const std::string path = dir_ == "." ? std::string(name) : dir_ + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "r");
    struct stat st {};
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        errno = EISDIR;
        return nullptr;
    }
    return f;
}

std::FILE* TextSource::open(const char* name) const {
    const auto found = texts_.find(name);
    if (found == texts_.end()) {
        errno = ENOENT;
        return nullptr;
    }
    // The stream only reads: the text is not written through it.
    return fmemopen(const_cast<char*>(found->second.data()), found->second.size(), "r");
}

} // namespace kalp

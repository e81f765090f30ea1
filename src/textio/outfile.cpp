#include "textio/outfile.h"

#include <sys/stat.h>

#include <utility>

#include "core/stop.h"

namespace kalp {

namespace {

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

} // namespace

OutputFile::OutputFile(const std::string& name, bool inplace)
    : name_(name), temp_(inplace ? "" : name + ".part"), published_(inplace) {
    struct stat st {};
    if (stat(name_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) cannotcreate(name_);
    fp_ = std::fopen(inplace ? name_.c_str() : temp_.c_str(), "w");
    if (!fp_) cannotcreate(name_);
}

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : name_(std::move(other.name_)), temp_(std::move(other.temp_)), fp_(other.fp_),
      published_(other.published_) {
    other.fp_ = nullptr;
    other.temp_.clear();
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        discard();
        name_ = std::move(other.name_);
        temp_ = std::move(other.temp_);
        fp_ = other.fp_;
        published_ = other.published_;
        other.fp_ = nullptr;
        other.temp_.clear();
    }
    return *this;
}

void OutputFile::write(const std::string& text) const {
    std::fwrite(text.data(), 1, text.size(), fp_);
}

void OutputFile::close() {
    if (!fp_) return;
    const bool bad = std::ferror(fp_) != 0;
    const bool closed = std::fclose(fp_) == 0;
    fp_ = nullptr;
    if (bad || !closed) notwritten(name_);
}

void OutputFile::publish() {
    close();
    if (!temp_.empty() && std::rename(temp_.c_str(), name_.c_str()) != 0) notwritten(name_);
    published_ = true;
}

void OutputFile::discard() {
    if (fp_) std::fclose(fp_);
    fp_ = nullptr;
    if (!published_ && !temp_.empty()) std::remove(temp_.c_str());
    temp_.clear();
}

} // namespace kalp

#include "workdir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace fs = std::filesystem;

extern char** environ;

namespace kalp::test {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string Outcome::beforetime() const {
    const auto cut = output.rfind('\n', output.size() >= 2 ? output.size() - 2 : 0);
    return cut == std::string::npos ? "" : output.substr(0, cut + 1);
}

bool Outcome::endswithtime() const {
    const std::string last = output.substr(beforetime().size());
    return last.rfind("The program needed ", 0) == 0 && last.size() == 35 &&
           last.substr(25) == " seconds.\n";
}

Diskdir::Diskdir() {
    std::string tmpl = (fs::temp_directory_path() / "kalp-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    base_ = tmpl;
    dir_ = base_ + "/work";
    fs::create_directory(dir_);
}

Diskdir::~Diskdir() {
    std::error_code ec;
    fs::remove_all(base_, ec);
}

std::vector<std::string> Diskdir::outside() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(base_))
        if (e.path().filename() != "work") v.push_back(e.path().filename().string());
    return v;
}

std::vector<std::string> Diskdir::files() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir_))
        v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
}

void Diskdir::write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
}

std::string Diskdir::read(const std::string& name) const { return slurp(dir_ + "/" + name); }

bool Diskdir::exists(const std::string& name) const { return fs::exists(dir_ + "/" + name); }

void Diskdir::remove(const std::string& name) const { fs::remove_all(dir_ + "/" + name); }

namespace {

// Starts kalp (under KALP_WRAPPER, a checker such as valgrind, when set, or
// else under `wrap`) in `dir` with `args`, its console going to `out` and
// `err`.
pid_t spawn(const std::string& dir, const std::string& args, const std::string& out,
            const std::string& err, const std::string& wrap = "", int outfd = -1) {
    std::vector<std::string> argv = arguments(wrap);
    if (const char* wrapper = std::getenv("KALP_WRAPPER"))
        for (const std::string& w : arguments(wrapper))
            argv.push_back(w);
    argv.emplace_back(KALP_BINARY);
    for (const std::string& a : arguments(args))
        argv.push_back(a);
    std::vector<char*> ptrs;
    for (std::string& a : argv)
        ptrs.push_back(a.data());
    ptrs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outfd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outfd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = -1;
    if (posix_spawnp(&pid, ptrs[0], &actions, nullptr, ptrs.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace

Outcome Diskdir::run(const std::string& args, const std::string& wrap,
                     const std::string& to) const {
    // Standard output comes through a pipe (a file size limit of the run
    // leaves it alone), standard error goes beside the working directory.
    const std::string err = base_ + "/console.err";
    int fds[2] = {-1, -1};
    if (to.empty() && pipe2(fds, O_CLOEXEC) != 0) return Outcome{-1, "", "no pipe"};
    const pid_t pid = spawn(dir_, args, to, err, wrap, fds[1]);
    std::string out;
    if (to.empty()) {
        close(fds[1]);
        char buf[4096];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
            if (n > 0) out.append(buf, static_cast<size_t>(n));
        close(fds[0]);
    }
    Outcome r{Started{pid}.wait(), out, slurp(err)};
    fs::remove(err);
    return r;
}

Started Diskdir::start(const std::string& args, const std::string& console) const {
    return Started{spawn(dir_, args, beside(console), beside(console) + ".err")};
}

int Started::wait() const {
    int raw = 0;
    if (pid < 0 || waitpid(pid, &raw, 0) != pid) return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

namespace {
// The files of an example and the delivered template.
std::vector<std::pair<std::string, std::string>> example(const std::string& name) {
    const fs::path source = KALP_SOURCE_DIR;
    std::vector<std::pair<std::string, std::string>> v;
    for (const auto& e : fs::directory_iterator(source / "examples" / name))
        v.emplace_back(e.path().filename().string(), slurp(e.path()));
    v.emplace_back("TEXTVRD_OUT.TXT", slurp(source / "share" / "TEXTVRD_OUT.TXT"));
    return v;
}
} // namespace

void copyexample(Workdir& w, const std::string& name) {
    for (const auto& [file, text] : example(name))
        w.write(file, text);
}

void copyexample(const Diskdir& w, const std::string& name) {
    for (const auto& [file, text] : example(name))
        w.write(file, text);
}

std::string numberedtemplate(int count) {
    std::string t;
    for (int n = 1; n <= count; ++n)
        t += "\"{" + std::to_string(n) + "}\"";
    return t;
}

} // namespace kalp::test

namespace kalp::test {

namespace {

// The report template and the examples of the source tree, for kalp init.
struct Data {
    DiskFolder share{std::string(KALP_SOURCE_DIR) + "/share"};
    DiskFolder examples{std::string(KALP_SOURCE_DIR) + "/examples"};
};
const Data& data() {
    static const Data d;
    return d;
}

} // namespace

std::vector<std::string> arguments(const std::string& args) {
    std::vector<std::string> v;
    std::string word;
    bool in = false, quoted = false;
    for (const char c : args) {
        if (c == '\'') {
            quoted = !quoted;
            in = true;
        } else if (c == ' ' && !quoted) {
            if (in) v.push_back(word);
            word.clear();
            in = false;
        } else {
            word += c;
            in = true;
        }
    }
    if (in) v.push_back(word);
    return v;
}

Workdir::Workdir() : console_(std::make_unique<MemoryConsole>()) {
    folders_.at(".");
    folders_.setdata(&data().share, &data().examples);
}

MemoryFolder& Workdir::folderof(const std::string& name, std::string& file) {
    const size_t slash = name.rfind('/');
    file = slash == std::string::npos ? name : name.substr(slash + 1);
    return folders_.at(slash == std::string::npos ? "." : name.substr(0, slash));
}

const MemoryFolder* Workdir::folderof(const std::string& name, std::string& file) const {
    const size_t slash = name.rfind('/');
    file = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::string dir = slash == std::string::npos ? "." : name.substr(0, slash);
    return folders_.find(dir);
}

void Workdir::write(const std::string& name, const std::string& text) {
    std::string file;
    folderof(name, file).set(file, text);
}

std::string Workdir::read(const std::string& name) const {
    std::string file;
    const MemoryFolder* f = folderof(name, file);
    return f ? f->text(file) : "";
}

bool Workdir::exists(const std::string& name) const {
    std::string file;
    const MemoryFolder* f = folderof(name, file);
    return f && f->entry(file) != Entry::missing;
}

void Workdir::remove(const std::string& name) {
    std::string file;
    folderof(name, file).setentry(file, Entry::missing);
}

void Workdir::place(const std::string& name, Entry kind) {
    std::string file;
    folderof(name, file).setentry(file, kind);
}

std::vector<std::string> Workdir::files() const {
    std::vector<std::string> v;
    for (const auto& [name, text] : folders_.find(".")->files())
        v.push_back(name);
    return v;
}

Outcome Workdir::run(const std::string& args) {
    console_ = std::make_unique<MemoryConsole>();
    const int status = command(arguments(args), *console_, folders_);
    return Outcome{status, console_->out(), console_->err()};
}

Outcome Workdir::run(const std::string& args, Console& console) {
    return Outcome{command(arguments(args), console, folders_), "", ""};
}

} // namespace kalp::test

#include "workdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace fs = std::filesystem;

namespace kalp::test {

fs::path native(const std::string& text) { return fs::path(reinterpret_cast<const char8_t*>(text.c_str())); }

std::string utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::string kalpbinary() {
    static const std::string program = programat(KALP_BINARY);
    return program;
}

void skiprow(const std::string& row, const std::string& why) {
    std::printf("[  SKIPPED ROW ] %s: %s\n", row.c_str(), why.c_str());
    ::testing::Test::RecordProperty("skipped: " + row, why);
}

bool symlinksmade() {
    static const bool made = [] {
        const Diskdir d;
        std::error_code ec;
        fs::create_symlink("target", native(d.path() + "/link"), ec);
        return !ec && fs::is_symlink(native(d.path() + "/link"), ec);
    }();
    return made;
}

std::string slurp(const std::string& path) {
    std::ifstream f(native(path), std::ios::binary);
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
    base_ = scratchfolder("kalp-test-");
    dir_ = base_ + "/work";
    fs::create_directory(native(dir_));
}

Diskdir::~Diskdir() {
    std::error_code ec;
    fs::remove_all(native(base_), ec);
}

std::vector<std::string> Diskdir::outside() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(native(base_)))
        if (e.path().filename() != "work") v.push_back(utf8(e.path().filename()));
    return v;
}

std::vector<std::string> Diskdir::files() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(native(dir_)))
        v.push_back(utf8(e.path().filename()));
    std::sort(v.begin(), v.end());
    return v;
}

void Diskdir::write(const std::string& name, const std::string& text) const {
    std::ofstream(native(dir_ + "/" + name), std::ios::binary) << text;
}

std::string Diskdir::read(const std::string& name) const { return slurp(dir_ + "/" + name); }

bool Diskdir::exists(const std::string& name) const { return fs::exists(native(dir_ + "/" + name)); }

void Diskdir::remove(const std::string& name) const { fs::remove_all(native(dir_ + "/" + name)); }

namespace {

// Starts kalp (under KALP_WRAPPER, a checker such as valgrind, when set, or
// else under `wrap`) in `dir` with `args`, its console going to `out` (a
// pipe when empty) and `err`.
Started spawn(const std::string& dir, const std::string& args, const std::string& out,
              const std::string& err, const std::string& wrap = "") {
    std::vector<std::string> argv = arguments(wrap);
    if (const char* wrapper = std::getenv("KALP_WRAPPER"))
        for (const std::string& w : arguments(wrapper))
            argv.push_back(w);
    argv.push_back(kalpbinary());
    for (const std::string& a : arguments(args))
        argv.push_back(a);
    return launch(argv, dir, out, err);
}

} // namespace

Outcome Diskdir::run(const std::string& args, const std::string& wrap,
                     const std::string& to) const {
    // Standard output comes through a pipe (a file size limit of the run
    // leaves it alone), standard error goes beside the working directory.
    const std::string err = base_ + "/console.err";
    Started k = spawn(dir_, args, to, err, wrap);
    if (k.pid < 0 && to.empty() && k.out == -1) return Outcome{-1, "", "no pipe"};
    std::string out;
    if (to.empty()) {
        char buf[4096];
        for (long long n; (n = k.read(buf, sizeof buf)) > 0;)
            out.append(buf, static_cast<size_t>(n));
    }
    Outcome r{k.wait(), out, slurp(err)};
    k.release();
    fs::remove(native(err));
    return r;
}

Started Diskdir::start(const std::string& args, const std::string& console) const {
    return spawn(dir_, args, beside(console), beside(console) + ".err");
}

namespace {
// The files of an example and the delivered template.
std::vector<std::pair<std::string, std::string>> example(const std::string& name) {
    const fs::path source = KALP_SOURCE_DIR;
    std::vector<std::pair<std::string, std::string>> v;
    for (const auto& e : fs::directory_iterator(source / "examples" / name))
        v.emplace_back(utf8(e.path().filename()), slurp(utf8(e.path())));
    v.emplace_back("TEXTVRD_OUT.TXT", slurp(utf8(source / "share" / "TEXTVRD_OUT.TXT")));
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

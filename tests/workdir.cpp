#include "workdir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

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

Workdir::Workdir() {
    std::string tmpl = (fs::temp_directory_path() / "kalp-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    base_ = tmpl;
    dir_ = base_ + "/work";
    fs::create_directory(dir_);
}

Workdir::~Workdir() {
    std::error_code ec;
    fs::remove_all(base_, ec);
}

std::vector<std::string> Workdir::outside() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(base_))
        if (e.path().filename() != "work") v.push_back(e.path().filename().string());
    return v;
}

std::vector<std::string> Workdir::files() const {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir_))
        v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
}

void Workdir::write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
}

std::string Workdir::read(const std::string& name) const { return slurp(dir_ + "/" + name); }

bool Workdir::exists(const std::string& name) const { return fs::exists(dir_ + "/" + name); }

void Workdir::remove(const std::string& name) const { fs::remove_all(dir_ + "/" + name); }

Outcome Workdir::run(const std::string& args) const {
    // The console goes beside the working directory, not into it.
    const std::string out = base_ + "/console";
    // KALP_WRAPPER, when set, runs kalp under a checker such as valgrind.
    const char* wrapper = std::getenv("KALP_WRAPPER");
    const std::string cmd = "cd '" + dir_ + "' && " + (wrapper ? wrapper : "") +
                            " '" KALP_BINARY "' " + args + " > '" + out + "' 2> '" + out +
                            ".err' < /dev/null";
    const int raw = std::system(cmd.c_str());
    Outcome r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(out + ".err")};
    fs::remove(out);
    fs::remove(out + ".err");
    return r;
}

Started Workdir::start(const std::string& args, const std::string& console) const {
    const std::string cmd = "cd '" + dir_ + "' && exec '" KALP_BINARY "' " + args + " > '" +
                            beside(console) + "' 2> '" + beside(console) + ".err' < /dev/null";
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return Started{pid};
}

int Started::wait() const {
    int raw = 0;
    if (waitpid(pid, &raw, 0) != pid) return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

void copyexample(const Workdir& w, const std::string& name) {
    const fs::path source = KALP_SOURCE_DIR;
    for (const auto& e : fs::directory_iterator(source / "examples" / name))
        w.write(e.path().filename().string(), slurp(e.path()));
    w.write("TEXTVRD_OUT.TXT", slurp(source / "share" / "TEXTVRD_OUT.TXT"));
}

std::string numberedtemplate(int count) {
    std::string t;
    for (int n = 1; n <= count; ++n)
        t += "\"{" + std::to_string(n) + "}\"";
    return t;
}

} // namespace kalp::test

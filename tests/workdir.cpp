#include "workdir.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace kalp::test {

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
    dir_ = tmpl;
}

Workdir::~Workdir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void Workdir::write(const std::string &name, const std::string &text) const {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
}

std::string Workdir::read(const std::string &name) const {
    std::ifstream f(dir_ + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool Workdir::exists(const std::string &name) const { return fs::exists(dir_ + "/" + name); }

void Workdir::remove(const std::string &name) const { fs::remove_all(dir_ + "/" + name); }

Outcome Workdir::run() const {
    const std::string cmd = "cd '" + dir_ + "' && '" KALP_BINARY "' > .stdout 2>&1 < /dev/null";
    const int raw = std::system(cmd.c_str());
    Outcome r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read(".stdout")};
    remove(".stdout");
    return r;
}

std::string numberedtemplate(int count) {
    std::string t;
    for (int n = 1; n <= count; ++n)
        t += "\"{" + std::to_string(n) + "}\"";
    return t;
}

} // namespace kalp::test

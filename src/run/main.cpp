// KALP: economic weights of sheep traits by the gene flow method.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "run/driver.h"

namespace {

const char* const usage =
    "Usage: kalp\n"
    "\n"
    "KALP takes no arguments. It reads its input files from the working directory:\n"
    "  ERROR.TXT, P01.TXT, PARAVRD.TXT, TEXTVRD_OUT.TXT, INPUTVRD01A.TXT,\n"
    "  INPUTVRD01B.TXT (two systems), INPUTVRD02.TXT (one system) or\n"
    "  INPUTVRD03.TXT (two systems), INPUTVRD04.TXT and INPUTVRD05.TXT\n"
    "  (with standardisation).\n"
    "It writes the results file resgfps01 (one system) or resgfps02 (two\n"
    "systems), the variable dump CHECKVRD, and messages on the console.\n"
    "\n"
    "  kalp --help     show this text\n"
    "  kalp --version  show the version\n";

// Writes `text` on standard output; 0, or 1 when it could not be written.
int say(const char* text) {
    std::fputs(text, stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "kalp: standard output could not be written: %s\n", std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // Each console line reaches a pipe or file as it is printed, so a run
    // that is killed keeps what it had said.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    if (argc == 1) return kalp::run();
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return say(usage);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        return say("KALP Version 1.0.3, 2011\n");
    std::fputs(usage, stderr);
    return 2;
}

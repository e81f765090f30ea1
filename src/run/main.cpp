// KALP: economic weights of sheep traits by the gene flow method.
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

} // namespace

int main(int argc, char** argv) {
    if (argc == 1) return kalp::run();
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("KALP Version 1.0.3, 2011");
        return 0;
    }
    std::fputs(usage, stderr);
    return 2;
}

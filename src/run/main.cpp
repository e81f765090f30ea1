// KALP: economic weights of sheep traits by the gene flow method.
//
// main opens the console and the folders of the disk and hands them, with
// the arguments, to the command line; nothing it calls lets an exception
// out without a report.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/cli.h"
#include "textio/console.h"

namespace {

// A report in the form of every other, for a failure that only the system
// can cause; it asks for no memory.
int report(const char* what, std::clock_t zac) {
    std::fputs("\nError message:\n", stdout);
    std::fputs(what, stdout);
    std::fputs("\n  Close other programs and restart the program.\n\n", stdout);
    std::printf("The program needed %6.2f seconds.\n",
                static_cast<double>(static_cast<unsigned long>(kalp::platform::processortime() - zac)) /
                    static_cast<double>(CLOCKS_PER_SEC));
    std::fflush(stdout);
    return 1;
}

const char* const nomemory = "KALP needs more memory than the system gives.";

// What nothing else catches: an exception thrown while the program's
// static objects are built (the tables of the command-line library ask for
// memory before main), or on a thread; or an exception that could not even
// be thrown, for want of memory.
[[noreturn]] void uncaught() {
    const char* what = nomemory;
    try {
        if (const std::exception_ptr e = std::current_exception()) std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
        what = nomemory;
    } catch (...) {
        what = "KALP met a failure of the system that it cannot go on from.";
    }
    report(what, 0);
    std::_Exit(1);
}

// A console window of the program's own (a double-click on kalp.exe)
// would close with the report: it waits for Enter.
int closing(int status) {
    if (kalp::platform::consoleofitsown()) kalp::platform::waitforenter("\nPress Enter to close this window.\n");
    return status;
}

// Runs before every other static object of the program is built.
__attribute__((constructor(101))) void early() { std::set_terminate(uncaught); }

} // namespace

int main(int argc, char** argv) {
    const std::clock_t zac = kalp::platform::processortime();
    try {
        kalp::platform::binarystreams();
        kalp::platform::handlesignals();
        kalp::StdConsole console;
        kalp::DiskFolders folders;
        return closing(kalp::command(kalp::platform::arguments(argc, argv), console, folders));
    } catch (const std::bad_alloc&) {
        return closing(report(nomemory, zac));
    } catch (const std::exception& e) {
        // Only the system can cause this.
        std::fprintf(stderr, "kalp: %s\n", e.what());
        return closing(report("KALP met a failure of the system that it cannot go on from.", zac));
    } catch (...) {
        return closing(report("KALP met a failure of the system that it cannot go on from.", zac));
    }
}

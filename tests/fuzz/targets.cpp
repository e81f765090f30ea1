#include "targets.h"

#include <cstdlib>
#include <string>

#include "core/stop.h"
#include "program/kalp.h"
#include "textio/records.h"
#include "textio/segments.h"

namespace kalp::fuzz {

const char* const runfiles[10] = {
    "ERROR.TXT",       "P01.TXT",        "PARAVRD.TXT",    "TEXTVRD_OUT.TXT", "INPUTVRD01A.TXT",
    "INPUTVRD01B.TXT", "INPUTVRD02.TXT", "INPUTVRD03.TXT", "INPUTVRD04.TXT",  "INPUTVRD05.TXT",
};

void textio(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return;
    Stream in = textstream(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), "FUZZ.TXT");
    const Sink out;
    unsigned choice = data[0];
    try {
        // Every reader consumes input or ends the run at the end of it.
        for (int k = 0; k < 100000; ++k) {
            choice = choice * 1103515245u + 12345u;
            switch ((choice >> 16) % 12) {
            case 0: readint(out, in, "v"); break;
            case 1: readfloat(out, in, "v"); break;
            case 2: readdes(in); break;
            case 3: readcom(in); break;
            case 4: readsyva(in, "v"); break;
            case 5: sysvar(in, out, "v"); break;
            case 6: readdat(in, "v"); break;
            case 7: readdat1(in, "v"); break;
            case 8: outputrw(in, out); break;
            case 9: outputr(in); break;
            case 10: wrides(in, out); break;
            default:
                inp00(out, static_cast<int>(choice), static_cast<int>(choice >> 8) % 4 - 1,
                      static_cast<int>(choice >> 3));
                break;
            }
        }
    } catch (const RunStop&) {
    }
}

namespace {

// The bytes split at 0xFF into the files `names` of `folder`.
template <std::size_t N>
void split(const std::uint8_t* data, std::size_t size, const char* const (&names)[N], MemoryFolder& folder) {
    std::size_t start = 0;
    for (const char* name : names) {
        if (start > size) break;
        std::size_t end = start;
        while (end < size && data[end] != 0xFF)
            ++end;
        folder.set(name, std::string(reinterpret_cast<const char*>(data) + start, end - start));
        start = end + 1;
    }
}

// A run ends complete or with a report, never otherwise.
int ended(int status, const MemoryConsole& console) {
    if (status != 0 && console.out().find("\nError message:\n") == std::string::npos) std::abort();
    return status;
}

} // namespace

int run(const std::uint8_t* data, std::size_t size) {
    MemoryFolder folder;
    split(data, size, runfiles, folder);
    MemoryConsole console;
    return ended(kalp(folder, console, Options{}), console);
}

const char* const indexfiles[6] = {
    "weights.csv",       "index-traits.csv",    "index-correlations.csv",
    "index-sources.csv", "index-selection.csv", "index-desired.csv",
};

int index(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    MemoryFolder folder;
    split(data + 1, size - 1, indexfiles, folder);
    Options o;
    o.command = Options::Command::index;
    o.bend = data[0] & 1;
    o.csv = data[0] & 2;
    o.json = data[0] & 4;
    o.plot = data[0] & 8;
    o.weightsfolder = &folder;
    o.weightsfile = o.weightspath = indexfiles[0];
    MemoryConsole console;
    return ended(kalp(folder, console, o), console);
}

} // namespace kalp::fuzz

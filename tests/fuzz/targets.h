// Fuzz targets: arbitrary bytes through the annotated-text readers and
// template segments, and whole runs on a folder in memory built from bytes.
// The libFuzzer entry points and the regression test both call these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kalp::fuzz {

// The first byte chooses the sequence of readers, the rest is the input.
void textio(const std::uint8_t* data, std::size_t size);

// The bytes split at 0xFF into the input files of a run, in the order of
// `runfiles`; a missing part leaves its file absent. The run takes place in
// a folder in memory with a console in memory; returns its exit status.
int run(const std::uint8_t* data, std::size_t size);

extern const char* const runfiles[10];

// `kalp index` on economic weights from a file: the first byte chooses
// --bend, --csv, --json and --plot (bits 0 to 3), the rest splits at 0xFF
// into the weights file and the index files, in the order of `indexfiles`.
// The index is computed in a folder in memory; returns its exit status.
int index(const std::uint8_t* data, std::size_t size);

extern const char* const indexfiles[6];

} // namespace kalp::fuzz

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

} // namespace kalp::fuzz

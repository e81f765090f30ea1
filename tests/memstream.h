// In-memory streams for the reader tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/stop.h"
#include "textio/stream.h"

namespace kalp::test {

// An input Stream over a copy of `text`.
struct Input {
    std::string text;
    Stream s;
    explicit Input(std::string t, const char* name = "TEST.TXT") : text(std::move(t)) {
        s.fp = fmemopen(text.data(), text.size(), "r");
        s.name = name;
    }
    ~Input() {
        if (s.fp) std::fclose(s.fp);
    }
    // The bytes not read yet.
    std::string rest() {
        std::string r;
        for (int c; (c = std::getc(s.fp)) != EOF;)
            r += static_cast<char>(c);
        return r;
    }
};

// An output Stream collecting into a string.
struct Output {
    char* buf = nullptr;
    size_t size = 0;
    Stream s;
    Output() {
        s.fp = open_memstream(&buf, &size);
        s.name = "RESULTS";
    }
    ~Output() {
        if (s.fp) std::fclose(s.fp);
        std::free(buf);
    }
    std::string str() {
        std::fflush(s.fp);
        return std::string(buf, size);
    }
};

// The report of a run that `f` ended, or "" when it did not end one.
template <class F> std::string stopreport(F f) {
    try {
        f();
    } catch (const RunStop& stop) {
        return stop.report();
    }
    return "";
}

} // namespace kalp::test

// In-memory streams for the reader tests.
#pragma once

#include <string>

#include "core/stop.h"
#include "textio/stream.h"

namespace kalp::test {

// An input Stream over `text`.
struct Input {
    Stream s;
    explicit Input(std::string text, const char* name = "TEST.TXT")
        : s(textstream(std::move(text), name)) {}
    // The bytes not read yet.
    std::string rest() const { return s.text.substr(s.at); }
    // Skips bytes up to and including the n-th double quote.
    void skipquotes(int n) {
        for (int q = 0; q < n && s.at < s.text.size();)
            if (s.text[s.at++] == '"') ++q;
    }
};

// An output Sink collecting into a string.
struct Output {
    std::string text;
    Sink s{&text};
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    std::string str() const { return text; }
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

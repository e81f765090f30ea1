// Where a fault of an input file lies, and what is left in it after the
// values read: the parts of the stream that locate and count.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "textio/stream.h"

namespace kalp {

namespace {

std::string file(const Stream& s) { return std::string(s.name); }

// Ctrl-Z, which ends a text file for some Windows programs.
constexpr int ctrlz = 0x1A;

bool blank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

void quotedtext(Stream& in, size_t open, size_t close) {
    in.suspect = std::string::npos;
    // The lines of the text after its first: a line of numbers alone (the
    // value of the next record on its own line, as the files are laid
    // out), or a last line that begins with a number (the value in front
    // of the next record's words), was taken in by a quote left open.
    for (size_t lf = in.text.find('\n', open); lf < close; lf = in.text.find('\n', lf + 1)) {
        const size_t eol = std::min(in.text.find('\n', lf + 1), close);
        const std::string line = in.text.substr(lf + 1, eol - lf - 1);
        int words = 0, numeric = 0;
        for (size_t at = line.find_first_not_of(" \t\r"); at != std::string::npos;
             at = line.find_first_not_of(" \t\r", at)) {
            const size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
            const std::string w = line.substr(at, end - at);
            char* stop = nullptr;
            std::strtod(w.c_str(), &stop);
            ++words;
            if (stop != w.c_str() && *stop == '\0')
                ++numeric;
            else if (words == 1 && eol == close)
                break;
            at = end;
        }
        if (numeric > 0 && (numeric == words || eol == close)) {
            in.suspect = open;
            return;
        }
    }
}

int lineof(const Stream& in, size_t offset) {
    offset = std::min(offset, in.text.size());
    return 1 + static_cast<int>(std::count(in.text.begin(),
                                           in.text.begin() + static_cast<long>(offset), '\n'));
}

std::string whereabouts(const Stream& in) {
    const std::string f = file(in);
    if (in.suspect != std::string::npos)
        return f + ", line " + std::to_string(lineof(in, in.suspect)) +
               ": the text that begins with the double quote there runs on to the next line and "
               "takes in the number written there; its closing double quote is missing";
    if (in.wordat < in.text.size())
        return f + ", line " + std::to_string(lineof(in, in.wordat)) + " holds that value";
    // The value is missing at the end of the file: its last line, never
    // one beyond it.
    const size_t last = in.text.find_last_not_of(" \t\r\n\v\f\x1a");
    if (last == std::string::npos || (last < 3 && in.text.rfind("\xEF\xBB\xBF", 0) == 0))
        return f + " is empty: it holds no value";
    return f + " ends in line " + std::to_string(lineof(in, last)) + ", before that value";
}

std::string numbercount(int n) { return std::to_string(n) + (n == 1 ? " number" : " numbers"); }

void warn(const Stream& in, const std::string& text) {
    if (!in.warnings) return;
    if (std::find(in.warnings->begin(), in.warnings->end(), text) == in.warnings->end())
        in.warnings->push_back(text);
}

Leftover leftover(const Stream& in) {
    const std::string& t = in.text;
    // A Ctrl-Z that only line ends follow ends the file.
    size_t end = t.find_last_not_of("\r\n");
    end = end != std::string::npos && t[end] == ctrlz ? end : t.size();
    const auto stops = [&](size_t at) {
        return at >= end || blank(t[at]) || (!in.bare && t[at] == '"');
    };
    Leftover left;
    size_t at = std::min(in.at, end);
    while (!stops(at)) // text glued to the value
        ++at;
    for (;;) {
        while (at < end && blank(t[at]))
            ++at;
        if (at >= end || (!in.bare && t[at] == '"')) break;
        const size_t start = at;
        while (!stops(at))
            ++at;
        // A word that begins as a number does: a digit, or a sign or a
        // point before one.
        size_t d = start + (t[start] == '+' || t[start] == '-' ? 1 : 0);
        if (d < at && t[d] == '.') ++d;
        if (d < at && std::isdigit(static_cast<unsigned char>(t[d]))) {
            if (left.count++ == 0) left.first = start;
        }
    }
    return left;
}

} // namespace kalp

#include "textio/records.h"

namespace kalp {

namespace {
constexpr int quote = '"';
constexpr int slash = '/';

// Reads up to and including the n-th occurrence of `delimiter`; the texts
// between pairs of double quotes are checked for a quote left open.
void skipto(Stream& in, int delimiter, int n, Unit unit) {
    size_t open = 0;
    for (int count = 0; count < n;) {
        if (getch(in, unit) != delimiter) continue;
        ++count;
        if (delimiter != quote) continue;
        if (count % 2 == 1)
            open = in.at - 1;
        else
            quotedtext(in, open, in.at - 1);
    }
}
} // namespace

void copydescription(const Sink& out, Stream& in) {
    size_t open = 0;
    for (int count = 0; count < 2;) {
        const int c = getch(in, Unit::record);
        if (c == quote) {
            if (++count == 1) open = in.at - 1;
        } else {
            out.put(static_cast<char>(c));
        }
    }
    quotedtext(in, open, in.at - 1);
}

void copylabel(const Sink& out, Stream& in) {
    bool bracket = false;
    size_t open = 0;
    for (int count = 0; count < 2;) {
        const int c = getch(in, Unit::record);
        if (c == quote && ++count == 1) open = in.at - 1;
        if (count == 1 && !bracket) {
            out.put("   (");
            bracket = true;
        }
        if (c != quote) out.put(static_cast<char>(c));
    }
    quotedtext(in, open, in.at - 1);
}

int readint(const Sink& out, Stream& in, const Value& what) {
    const int v = scanint(in, what);
    copydescription(out, in);
    copylabel(out, in);
    out.format("):  %d ", v);
    return v;
}

float readfloat(const Sink& out, Stream& in, const Value& what) {
    const float v = scanfloat(in, what);
    copydescription(out, in);
    copylabel(out, in);
    out.format("):%12.4f ", static_cast<double>(v));
    return v;
}

void readdes(Stream& in) { skipto(in, quote, 4, Unit::record); }

void readcom(Stream& in) { skipto(in, slash, 2, Unit::comment); }

int readsyva(Stream& in, const Value& what) {
    const int v = scanint(in, what);
    skipto(in, quote, 2, Unit::record);
    return v;
}

void sysvar(Stream& in, const Sink& out, const Value& what) {
    const int v = scanint(in, what);
    copydescription(out, in);
    out.format(":  %d", v);
    out.put('\n');
}

float readdat(Stream& in, const Value& what) {
    const float v = scanfloat(in, what);
    readdes(in);
    return v;
}

int readdat1(Stream& in, const Value& what) {
    const int v = scanint(in, what);
    readdes(in);
    return v;
}

} // namespace kalp

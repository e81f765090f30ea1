#include "textio/segments.h"

#include "textio/records.h"

namespace kalp {

void outputrw(Stream& src, const Sink& dst) {
    for (int count = 0; count < 2;) {
        const int c = getch(src, Unit::segment);
        if (c == '"')
            ++count;
        else
            dst.put(static_cast<char>(c));
    }
}

std::string segmenttext(Stream& src) {
    std::string text;
    for (int count = 0; count < 2;) {
        const int c = getch(src, Unit::segment);
        if (c == '"')
            ++count;
        else
            text += static_cast<char>(c);
    }
    return text;
}

void outputr(Stream& src) {
    for (int count = 0; count < 2;)
        if (getch(src, Unit::segment) == '"') ++count;
}

TemplateScan scantemplate(Stream& src) {
    TemplateScan scan;
    long segment = 0;
    int byte = 0;
    for (int c; (c = readbyte(src)) != EOF;) {
        if (c == '"') {
            if (++scan.quotes % 2 == 0 && segment > 0 && scan.controlsegment == 0) {
                scan.controlsegment = segment;
                scan.control = byte;
            }
        } else if (segment == 0 &&
                   ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F)) {
            // A segment runs from the end of the one before to its second quote.
            segment = scan.quotes / 2 + 1;
            byte = c;
        }
    }
    return scan;
}

void wrides(Stream& in, const Sink& out) {
    out.put('\n');
    // Text between the last value and the description is dropped.
    for (int count = 0; count < 2;) {
        const int c = getch(in, Unit::record);
        if (c == '"')
            ++count;
        else if (count > 0)
            out.put(static_cast<char>(c));
    }
    copylabel(out, in);
    out.put("):");
}

void inp00(const Sink& out, int n2, int n3, int zz) {
    out.format(zz <= 9 ? "2.%1d Data from file " : "2.%2d Data from file ", zz);
    const bool wide = n2 > 9;
    switch (n3) {
    case 0: out.format(wide ? "INPUTVRD%d.TXT\n" : "INPUTVRD0%d.TXT\n", n2); break;
    case 1: out.format(wide ? "INPUTVRD%dA.TXT\n" : "INPUTVRD0%dA.TXT\n", n2); break;
    case 2: out.format(wide ? "INPUTVRD%dB.TXT\n" : "INPUTVRD0%dB.TXT\n", n2); break;
    default: break;
    }
    if (n3 < 0) return;
    int dashes = n3 == 0 ? 33 : 34;
    if (zz > 9) ++dashes;
    for (int i = 0; i < dashes; ++i)
        out.put('-');
}

} // namespace kalp

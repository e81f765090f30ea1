// The report template and the section headings of the results file.
//
// A template segment is everything up to and including the second double
// quote; copying it writes every byte but the two quotes. The stages consume
// segments in a fixed order, so the order of the template is the order of
// the results file.
#pragma once

#include "textio/stream.h"

namespace kalp {

// Copies one segment from `src` (the template, once the parameter file).
void outputrw(Stream& src, const Sink& dst);
// Reads one segment and returns its text.
std::string segmenttext(Stream& src);
// Reads one segment and drops it.
void outputr(Stream& src);
// Writes the words of a multi-value record whose values the caller has
// scanned: a line break, the description, separator, "   (", label, "):".
void wrides(Stream& in, const Sink& out);
// What a pass from the current position to the end of the input finds.
struct TemplateScan {
    long quotes = 0; // double quotes: twice the number of segments in a sound template
    // The first complete segment that holds a control byte other than a
    // tab, CR or LF, and that byte; 0 when there is none.
    long controlsegment = 0;
    int control = 0;
};
TemplateScan scantemplate(Stream& src);
// Section heading: "2.<zz> Data from file <name>" and an underline of dashes.
void inp00(const Sink& out, int n2, int n3, int zz);

} // namespace kalp

#include "input/control.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "core/stop.h"
#include "textio/records.h"
#include "textio/segments.h"
#include "textio/utf8.h"

namespace kalp {

namespace {

// The template caption of trait k: "   1 Birth weight (kg)\n" gives
// "Birth weight (kg)"; a caption without words gives "trait 1". The name is
// UTF-8 (see asutf8); the results file keeps the caption's own bytes.
std::string traitname(const std::string& caption, int k) {
    const char* blank = " \t\r\n";
    const std::string number = std::to_string(k);
    const size_t first = caption.find_first_not_of(blank);
    if (first == std::string::npos) return "trait " + number;
    std::string s = caption.substr(first, caption.find_last_not_of(blank) - first + 1);
    if (s == number) return "trait " + number;
    if (s.rfind(number, 0) == 0 && std::isspace(static_cast<unsigned char>(s[number.size()])))
        s = s.substr(s.find_first_not_of(blank, number.size()));
    return asutf8(s);
}

} // namespace

void readgate(Model& m, Streams& s) {
    s.in = openin(s, "ERROR.TXT");
    // A file without a number leaves the gate open.
    leadingint(s.in, m.errmess, {"the error flag of TORM2", "errmess"});
    closein(s.in);
    if (m.errmess == 1) gatestop();
}

// A template with a stray double quote, or with too few segments, would set
// the wording of the results file out of step with its values.
void opentemplate(Streams& s) {
    const char* name = "TEXTVRD_OUT.TXT";
    s.tpl = openin(s, name);
    const TemplateScan scan = scantemplate(s.tpl);
    const long quotes = scan.quotes;
    closein(s.tpl);
    const std::string use = "Use a complete TEXTVRD_OUT.TXT, such as the one delivered with KALP, "
                            "in which every text stands between two double quotes, and restart "
                            "the program.";
    if (quotes % 2 != 0)
        failin(name, "", "The report template TEXTVRD_OUT.TXT holds " + std::to_string(quotes) +
                 " double quotes, an odd number: a quote is missing or one too many.",
             use);
    if (quotes / 2 < templatesegments)
        failin(name, "", "The report template TEXTVRD_OUT.TXT holds " + std::to_string(quotes / 2) +
                 " text segments, fewer than the " + std::to_string(templatesegments) +
                 " that KALP needs.",
             use);
    if (scan.controlsegment > 0) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(scan.control));
        const std::string segment = std::to_string(scan.controlsegment);
        failin(name, "",
               "The report template TEXTVRD_OUT.TXT holds the control byte " + std::string(byte) +
                   " in its text segment " + segment + ".",
               "Remove that byte from segment " + segment +
                   " of TEXTVRD_OUT.TXT, or use the one delivered with KALP, and restart the "
                   "program.");
    }
    s.tpl = openin(s, name);
}

void readprods(Model& m, Streams& s) {
    s.in = openin(s, "P01.TXT");
    const Value v{"the number of production systems", "prods"};
    m.prods = scanint(s.in, v);
    if (m.prods != 1 && m.prods != 2)
        failat(s.in, v, "The file P01.TXT gives " + std::to_string(m.prods) +
                 " as the number of production systems.",
             "Write 1 (one production system) or 2 (two linked systems) in P01.TXT and restart "
             "the program.");
    const Leftover left = leftover(s.in);
    if (left.count > 0)
        warn(s.in, "P01.TXT, line " + std::to_string(lineof(s.in, left.first)) + ": " +
                       numbers(left.count) + " after the number of production systems " +
                       (left.count == 1 ? "is" : "are") + " not read; the file holds that one "
                       "number alone");
    closein(s.in);
}

void writepreamble(Model& m, Streams& s) {
    outputrw(s.tpl, s.res);
    s.res.format("%3d", m.prods);
    outputrw(s.tpl, s.res);

    const Value what{"the standardisation switch", "gstd"};
    s.in = openin(s, "PARAVRD.TXT");
    outputrw(s.in, s.res);
    sysvar(s.in, s.res, what);
    closein(s.in);

    s.in = openin(s, "PARAVRD.TXT");
    say(s, "\nI am working\n");
    reading(s, "PARAVRD.TXT");
    outputr(s.in);
    m.gstd = readsyva(s.in, what);
    closein(s.in);

    outputrw(s.tpl, s.res);
}

TraitNames readtraitnames(const Streams& s) {
    Stream t = openin(s, "TEXTVRD_OUT.TXT");
    TraitNames names;
    for (int i = 1; i < 148; ++i)
        outputr(t);
    for (int k = 1; k <= 35; ++k)
        names[k] = traitname(segmenttext(t), k);
    return names;
}

} // namespace kalp

// A scenario as the editor holds it: the texts of the input files, where
// each number stands in them, and texts with typed values put in place.
//
// The editor never writes a file of its own: it replaces the bytes of the
// numbers that a run reads (their spans) and keeps every other byte, so
// that descriptions, labels, comments, blanks and line ends stay.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "textio/stream.h"

namespace kalp {

// The texts of the input files under their fixed names; a name without a
// text is a missing file.
using Texts = std::map<std::string, std::string>;
// The input files that stand in the folder but cannot be read, with the
// error of each (a FIFO, a folder, a file without permission).
using Unreadable = std::map<std::string, int>;
// Typed values: file name, then model variable ("u", "l4RA[2]"), then text.
using Values = std::map<std::string, std::map<std::string, std::string>>;

// The spans of the numbers that a run of `texts` reads, in reading order,
// each once, as far as the run gets. The run is `request` with the texts as
// its files (and the files of `unreadable` as they are); its outcome goes to
// `outcome` when given.
std::vector<Span> record(const Texts& texts, Request request = {}, Outcome* outcome = nullptr,
                         const Unreadable* unreadable = nullptr);

// The text of a span.
std::string spantext(const Texts& texts, const Span& s);

// Why `text` cannot stand for one number in a file ("" when it can): it
// holds a blank, a double quote or a control character, or is longer than
// 64 characters. An empty text leaves a number as it is, and a missing one
// missing. Everything else goes into the file, for the run to judge.
std::string badvalue(const std::string& text);

// The first number of `spans` (one that stands in its file) whose value is
// an empty text: a field emptied on the page, which no file may hold.
// Null when there is none.
const Span* emptied(const Values& values, const std::vector<Span>& spans);

// Whether `var` names a number that `file` can hold: a model variable that
// its stage reads, with indices within the model's bounds ("evpA[8][1]").
bool knownvalue(const std::string& file, const std::string& var);

// The texts with every value in place of the number it names, and their
// spans. A value replaces the bytes of its number. A count of
// reproductive classes (RRA, LLA, RRB, LLB) that changes to a whole
// number the model holds rewrites the list it governs (the age weights,
// with LLB also the crossing shares) with that many values, in the
// separators of the list; items without a value keep theirs or get 0.
// Values for numbers that the file leaves out (a path share, a standard
// deviation) are inserted in front of the words of their record. Numbers
// that appear only once earlier values are in place (a path given after
// its option is set to 1) are taken in further passes.
// Each pass records the spans of its texts with `rec` (record when empty).
struct Composed {
    Texts texts;
    std::vector<Span> spans;
};
using Recorder = std::function<std::vector<Span>(const Texts& texts)>;
Composed compose(const Texts& base, const std::vector<Span>& basespans, const Values& values,
                 const Recorder& rec = nullptr);

} // namespace kalp

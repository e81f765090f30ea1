// Readers of the annotated input files.
//
// A quoted record is a value, a lead-in, a description in double quotes, a
// separator and a label in double quotes. A short record has no label. A
// comment is everything up to and including the second slash. Every reader
// consumes one unit and leaves the input directly behind its last delimiter;
// the echoing readers copy the words byte for byte into the results file.
#pragma once

#include "textio/stream.h"

namespace kalp {

// Integer record; echoes lead-in, description, separator, "   (", label and
// "):  %d ". `v` names the value in messages.
int readint(const Sink& out, Stream& in, const Value& v);
// Real record; the same echo ending in "):%12.4f ".
float readfloat(const Sink& out, Stream& in, const Value& v);
// Skips a record with any number of values: up to the fourth double quote.
void readdes(Stream& in);
// Skips a comment: up to the second slash.
void readcom(Stream& in);
// Short record with an integer, no echo.
int readsyva(Stream& in, const Value& v);
// Short record with an integer, echoing lead-in, description, ":  %d\n".
void sysvar(Stream& in, const Sink& out, const Value& v);
// A real (or integer) value followed by its words, no echo.
float readdat(Stream& in, const Value& v);
int readdat1(Stream& in, const Value& v);

// The two copying steps of the echoing readers; `wrides` uses the second.
// Copies the lead-in and the description, dropping the two quotes.
void copydescription(const Sink& out, Stream& in);
// Copies the separator, "   (" at the label's opening quote, and the label.
void copylabel(const Sink& out, Stream& in);

} // namespace kalp

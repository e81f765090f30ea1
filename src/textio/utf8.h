// Text of the input files for files that must hold UTF-8: the trait names
// of the report template in the exports and charts.
#pragma once

#include <string>

namespace kalp {

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isutf8(const std::string& text);
// `text` as UTF-8: unchanged when it is UTF-8 already, else read as
// Windows-1252, the "ANSI" of Windows editors in Western Europe.
std::string asutf8(const std::string& text);
// `text` read as Windows-1252, whatever it holds.
std::string from1252(const std::string& text);
// UTF-8 text in Windows-1252, for a file saved in it; false when `text` is
// not UTF-8 or holds a character that Windows-1252 lacks.
bool to1252(const std::string& text, std::string& out);
// The number of characters of UTF-8 text.
size_t utf8length(const std::string& text);
// UTF-8 text of at most `most` characters: longer text is cut at a
// character and ends in an ellipsis.
std::string shorten(const std::string& text, size_t most);

} // namespace kalp

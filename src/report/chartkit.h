// What the charts share: their fonts and margins, the title with the
// scenario under it, the notes under a chart, and labels moved apart where
// they would overlap.
#pragma once

#include <string>
#include <vector>

#include "report/svg.h"

namespace kalp::chartkit {

inline const svg::Font titlefont{18, true}, subfont{13}, panelfont{13, true}, tickfont{11},
    labelfont{12}, notefont{12}, legendfont{12}, endfont{11, true}, valuefont{11};
constexpr double margin = 20;
// The room at the left for the title of the y axis, turned upwards.
constexpr double ytitle = 26;
constexpr const char* grey = "#555";

double lineheight(const svg::Font& f);
// The baseline that centres a line of text on y.
double middle(double y, const svg::Font& f);
std::string capital(std::string s);
// The height of the title with the scenario under it, on a chart of
// `width`; each wraps, the title to at most two lines, the scenario three.
double headheight(double width, const std::string& title, const std::string& subtitle);
// The title and, under it, the scenario, both centred; the y below them.
double heading(svg::Document& d, const std::string& title, const std::string& subtitle);
// Paragraphs under a chart as lines of its width.
std::vector<std::string> notelines(const std::vector<std::string>& notes, double width);
double notesheight(const std::vector<std::string>& lines);
void drawnotes(svg::Document& d, const std::vector<std::string>& lines, double y);
// Centres for labels wished at `wish`, at least `gap` apart, between `top`
// and `bottom` (which leave room for all): labels that would overlap form
// a run centred on the mean of their wishes.
std::vector<double> spread(const std::vector<double>& wish, double gap, double top, double bottom);

// `s` ending in one full stop.
std::string sentence(std::string s);
// Sentences one after the other, each ending in one full stop.
std::string sentences(const std::vector<std::string>& parts);
// Values as a chart's marks carry them: the shortest text of each as the
// model holds it (single precision), blank between them.
std::string datalist(const std::vector<double>& v, const std::vector<size_t>& at);
std::string datum(double v);

} // namespace kalp::chartkit

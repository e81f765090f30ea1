// SVG written by KALP itself: a document builder, the width of text in the
// font of the charts, readable axis steps, and the pieces that the charts
// are made of (plot areas with their axes, lines, points, bars and text).
//
// Everything a document draws that a reader must be able to read, and
// everything that could hide it, is recorded in its layout: the box of
// every text, every gridline, tick and axis line, every bar. Tests check
// the charts on it.
//
// Nothing here keeps state between calls, so that several threads may draw
// at once, and every number is rounded before it is written, so that the
// same chart gives the same bytes on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kalp::svg {

// Coordinates are written with this many decimals.
constexpr int decimals = 1;

// `v` rounded to `places` decimals, in its shortest form: "12.5", "-3",
// "0". No "-0".
std::string number(double v, int places = decimals);

// Text as XML character data or as an attribute value in double quotes,
// well-formed whatever the bytes: control characters become blanks, and
// U+FFFE, U+FFFF and bytes that are not UTF-8, which XML cannot hold,
// become U+FFFD.
std::string escape(std::string_view text);

// A rectangle, x0 <= x1 and y0 <= y1, y downwards.
struct Box {
    double x0, y0, x1, y1;
};
// A straight line: a gridline, a tick or an axis line.
struct Segment {
    double x0, y0, x1, y1;
};
// A line of text and the room it takes.
struct Label {
    std::string text;
    Box box;
};
// What a document put where.
struct Layout {
    std::vector<Label> texts;
    std::vector<Segment> gridlines; // inside plot areas, behind the marks
    std::vector<Segment> ticks;     // ticks and axis lines
    std::vector<Box> bars;
};
// Whether two boxes share more than an edge.
bool overlap(const Box& a, const Box& b);
// Whether a segment passes through the inside of a box.
bool crosses(const Segment& s, const Box& b);

// The font of the charts at a size in pixels.
struct Font {
    double size = 12;
    bool bold = false;
};
// The width of UTF-8 text, from the advance widths of DejaVu Sans (Verdana,
// the fallback, is about as wide); characters beyond Latin-1 are taken as
// wide ones, so that the estimate errs on the wide side.
double textwidth(std::string_view text, const Font& f);
// Room above and below the baseline that a line of text takes.
double ascent(const Font& f);
double descent(const Font& f);
// `text` cut at a character to at most `width`, ending in an ellipsis;
// unchanged when it fits. With `words`, cut after a word when one ends in
// the second half.
std::string fit(std::string_view text, const Font& f, double width, bool words = false);
// `text` in lines of at most `width`, broken at blanks; the last of `most`
// lines is cut when the text needs more.
std::vector<std::string> wrap(std::string_view text, const Font& f, double width,
                              size_t most = 1000);

// The attributes of an element, in the order given.
class Attrs {
public:
    Attrs& operator()(std::string_view name, std::string_view value);
    Attrs& operator()(std::string_view name, const char* value) {
        return (*this)(name, std::string_view(value));
    }
    Attrs& operator()(std::string_view name, const std::string& value) {
        return (*this)(name, std::string_view(value));
    }
    // A number, rounded to `decimals`.
    Attrs& operator()(std::string_view name, double value);
    Attrs& operator()(std::string_view name, int value);
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

enum class Anchor { start, middle, end };

// An SVG document of a given size, with its title and description.
class Document {
public:
    Document(double width, double height, std::string_view title, std::string_view desc);
    double width() const { return width_; }
    double height() const { return height_; }

    void open(std::string_view tag, const Attrs& a = Attrs());
    void close();
    void empty(std::string_view tag, const Attrs& a);
    // A line of text with its baseline at y; returns its box.
    Box text(double x, double y, std::string_view s, const Font& f, Anchor anchor = Anchor::start,
             const Attrs& extra = Attrs());
    // A line of text turned to read upwards, its baseline at x.
    Box uptext(double x, double y, std::string_view s, const Font& f, Anchor anchor,
               const Attrs& extra = Attrs());
    void gridline(double x0, double y0, double x1, double y1);
    void tick(double x0, double y0, double x1, double y1, std::string_view colour = "#444");
    void bar(const Box& b, const Attrs& a);

    // The document, every element closed; its layout in `layout` if given.
    std::string finish(Layout* layout = nullptr);

private:
    double width_, height_;
    std::string out_;
    std::vector<std::string> open_;
    Layout layout_;
};

// A linear map from values to pixels.
struct Scale {
    double v0 = 0, v1 = 1, p0 = 0, p1 = 1;
    double operator()(double v) const { return p0 + (v - v0) * (p1 - p0) / (v1 - v0); }
};

// The ticks of an axis: steps of 1, 2, 2.5 or 5 times a power of ten, the
// axis running from the last tick at or below the data to the first at or
// above it, and the label of every tick as exact decimal text.
struct Ticks {
    double lo = 0, hi = 1;
    std::vector<double> at;
    std::vector<std::string> labels;
};
// The ticks of data from `lo` to `hi` with at most `most` steps (at least 1).
Ticks ticks(double lo, double hi, int most);
// Ticks for an axis `length` pixels long whose labels, in font `f`, stand
// side by side (`across`) or one above the other: as many as leave room
// between the labels.
Ticks axisticks(double lo, double hi, double length, const Font& f, bool across);
// Ticks as axisticks gives them, but the axis runs from `lo` to `hi`
// exactly, with the ticks between them.
Ticks spanticks(double lo, double hi, double length, const Font& f, bool across = true);
// Ticks for categories at 0, 1, ..., each labelled with its name; every
// second (third, ...) one when their labels need the room, side by side or
// one above the other.
Ticks categories(const std::vector<std::string>& names, double length, const Font& f,
                 bool across = true);

// A plot area with the scales of its axes.
struct Plot {
    Box area;
    Ticks xt, yt;
    Scale x, y;
};
Plot plot(const Box& area, const Ticks& xt, const Ticks& yt);

// The axis line at the bottom and, with `yaxis`, at the left, their ticks
// and labels (font `f`), and the gridlines of the axes that ask for them.
void axes(Document& d, const Plot& p, const Font& f, bool xgrid, bool ygrid, bool yaxis = true);
// The width that the labels of `t` take at the left of a plot.
double labelwidth(const Ticks& t, const Font& f);
// The room that the x axis takes below a plot: ticks and labels.
double xaxisheight(const Font& f);

// The points of a line in a plot, as the `points` attribute of a polyline:
// where several points fall into the same pair of pixel columns, only the
// lowest and the highest of them, so that a line of a million points is as
// long as the plot is wide, and looks the same.
std::string linepoints(const Plot& p, const std::vector<double>& x, const std::vector<double>& y);
// The same points with the indices of the values they show, one for each
// point of the line, so that the line can carry its values.
struct Polyline {
    std::string points;
    std::vector<size_t> at;
};
Polyline polyline(const Plot& p, const std::vector<double>& x, const std::vector<double>& y);

// Colours that tell lines apart, and dash patterns ("" for solid).
std::string_view hue(size_t i);
size_t hues();
std::string_view dash(size_t i);
size_t dashes();
// Eight colours of distinct hue, for the values of a series.
std::string_view serieshue(size_t i);
size_t serieshues();
// The colour of v on a scale from lo to hi: blue, white and red around 0
// when the scale holds both signs, else from dark violet (lo) to yellow.
std::string shade(double v, double lo, double hi);

} // namespace kalp::svg

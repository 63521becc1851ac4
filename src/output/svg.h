// SVG figures written as plain text: frames with axes at nice-number ticks, curves, markers,
// legends and the lattice bar. Every plot of the system is drawn with these few pieces.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorax {

// A range of data values.
struct Extent {
  double lo = 0.0, hi = 0.0;
};
// The range of the finite values among columns; {0, 1} when there is none.
Extent extent_of(std::initializer_list<std::span<const double>> columns);

// Ticks at multiples of a nice step (1, 2 or 5 times a power of ten) from first to last, which
// cover lo..hi with about `intervals` intervals.
struct Ticks {
  double first = 0.0, last = 1.0, step = 0.2;
};
Ticks nice_ticks(double lo, double hi, int intervals = 5);
// A tick value as its label: as many decimals as the step needs, or three significant digits
// in exponent form for very large or very small steps.
std::string tick_label(double value, const Ticks &ticks);

enum class Colour { blue, red, green, black, grey, orange };

// An element of the lattice bar: from s over its length, drawn by kind: a bend as a box on the
// axis, a focusing quadrupole above it, a defocusing one below it, a sextupole as a smaller box
// above and below it. Other elements are not drawn.
enum class BarKind { other, bend, focusing, defocusing, sextupole };
struct BarElement {
  double s = 0.0, length = 0.0;
  BarKind kind = BarKind::other;
};

class SvgFigure {
public:
  SvgFigure(int width, int height, std::string_view title);

  struct Box {
    double left = 0.0, top = 0.0, width = 0.0, height = 0.0;
  };
  // A frame with axes around box for data from x and y, widened to their nice ticks; with
  // equal_scale one metre is as long on both axes (the smaller range is widened). Returns the
  // frame's number for the calls below.
  int frame(Box box, Extent x, Extent y, std::string_view x_label, std::string_view y_label,
            bool equal_scale = false);
  // A polyline through the points (a point that is not finite breaks it), with its legend
  // entry when legend is not empty.
  void curve(int frame, std::span<const double> x, std::span<const double> y, Colour colour,
             std::string_view legend, double width = 1.5);
  // The same polyline with its points to a ten-millionth of a pixel and, as its attribute
  // data-transform, the map from the data to them, so that the values can be read back from the
  // document. Points that fall in one column of pixels are thinned to the first, lowest, highest
  // and last of them: a machine of thousands of elements stays a small document, drawn as it
  // would be with all its points, every extreme kept.
  void data_curve(int frame, std::span<const double> x, std::span<const double> y, Colour colour,
                  std::string_view legend, double width = 1.5);
  // A dot at every finite point.
  void markers(int frame, std::span<const double> x, std::span<const double> y, Colour colour,
               std::string_view legend);
  // A line of small text with its left end at (x, y) in the figure.
  void note(double x, double y, std::string_view text);
  // The lattice bar in a band of the figure (from top, of height), on the s axis of frame.
  void lattice_bar(int frame, double top, double height, std::span<const BarElement> elements);

  // The whole document.
  std::string text() const;

private:
  struct Frame {
    Box box;
    Ticks x, y;
    int legends = 0;
  };
  double px(const Frame &f, double x) const;
  double py(const Frame &f, double y) const;
  void legend(Frame &f, Colour colour, std::string_view text, bool dot);

  int width_, height_;
  std::string title_;
  std::vector<Frame> frames_;
  std::string body_;
};

// Text made safe for an XML document: markup characters as entities, bytes outside printable
// ASCII as "?".
std::string xml_text(std::string_view text);

} // namespace vorax

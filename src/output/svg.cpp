// The SVG plotting layer: frames, ticks, curves, markers, legends and the lattice bar.
#include "output/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vorax {

namespace {

// Coordinates in the document: two decimals of a pixel are more than a screen shows.
std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

std::string_view colour_name(Colour c) {
  switch (c) {
  case Colour::blue:
    return "#1f5fa8";
  case Colour::red:
    return "#c62828";
  case Colour::green:
    return "#2e7d32";
  case Colour::grey:
    return "#9e9e9e";
  case Colour::orange:
    return "#ef6c00";
  default:
    return "#000000";
  }
}

// 1, 2, 5 or 10 times the power of ten of x: the nearest when rounding, else the next above.
double nice_number(double x, bool round) {
  const double power = std::pow(10.0, std::floor(std::log10(x)));
  const double f = x / power;
  double nice;
  if (round)
    nice = f < 1.5 ? 1.0 : f < 3.0 ? 2.0 : f < 7.0 ? 5.0 : 10.0;
  else
    nice = f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0;
  return nice * power;
}

} // namespace

std::string xml_text(std::string_view text) {
  std::string s;
  for (char c : text) {
    switch (c) {
    case '&':
      s += "&amp;";
      break;
    case '<':
      s += "&lt;";
      break;
    case '>':
      s += "&gt;";
      break;
    case '"':
      s += "&quot;";
      break;
    default:
      s.push_back(c >= 32 && c < 127 ? c : '?');
    }
  }
  return s;
}

Extent extent_of(std::initializer_list<std::span<const double>> columns) {
  Extent e{HUGE_VAL, -HUGE_VAL};
  for (std::span<const double> c : columns)
    for (double v : c)
      if (std::isfinite(v)) {
        e.lo = std::min(e.lo, v);
        e.hi = std::max(e.hi, v);
      }
  if (e.lo > e.hi)
    return {0.0, 1.0};
  return e;
}

Ticks nice_ticks(double lo, double hi, int intervals) {
  if (!std::isfinite(lo) || !std::isfinite(hi))
    return {};
  if (lo > hi)
    std::swap(lo, hi);
  // A single value gets a range around it: a flat curve still sits inside its frame.
  if (hi - lo <= 1e-12 * std::max(std::fabs(lo), std::fabs(hi)) || hi == lo) {
    const double half = lo == 0.0 ? 1.0 : 0.1 * std::fabs(lo);
    lo -= half;
    hi += half;
  }
  const double step = nice_number(nice_number(hi - lo, false) / std::max(intervals, 1), true);
  if (!(step > 0.0) || !std::isfinite(step))
    return {};
  return {std::floor(lo / step) * step, std::ceil(hi / step) * step, step};
}

std::string tick_label(double value, const Ticks &ticks) {
  // A multiple of the step that rounding left near zero is zero.
  if (std::fabs(value) < 1e-9 * ticks.step)
    value = 0.0;
  const double largest = std::max(std::fabs(ticks.first), std::fabs(ticks.last));
  char buf[40];
  if (ticks.step >= 1e-4 && largest < 1e6) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(ticks.step) + 1e-9)));
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  } else {
    std::snprintf(buf, sizeof buf, "%.3g", value);
  }
  return buf;
}

SvgFigure::SvgFigure(int width, int height, std::string_view title)
    : width_(width), height_(height), title_(title) {}

double SvgFigure::px(const Frame &f, double x) const {
  return f.box.left + (x - f.x.first) / (f.x.last - f.x.first) * f.box.width;
}

double SvgFigure::py(const Frame &f, double y) const {
  return f.box.top + f.box.height - (y - f.y.first) / (f.y.last - f.y.first) * f.box.height;
}

int SvgFigure::frame(Box box, Extent x, Extent y, std::string_view x_label,
                     std::string_view y_label, bool equal_scale) {
  Frame f{box, nice_ticks(x.lo, x.hi), nice_ticks(y.lo, y.hi), 0};
  if (equal_scale) {
    // Metres per pixel alike on both axes: the axis with less to show gets the larger range.
    const double sx = (f.x.last - f.x.first) / box.width;
    const double sy = (f.y.last - f.y.first) / box.height;
    if (sx > sy) {
      const double mid = 0.5 * (f.y.first + f.y.last), half = 0.5 * sx * box.height;
      f.y = {mid - half, mid + half, nice_ticks(mid - half, mid + half).step};
    } else {
      const double mid = 0.5 * (f.x.first + f.x.last), half = 0.5 * sy * box.width;
      f.x = {mid - half, mid + half, nice_ticks(mid - half, mid + half).step};
    }
  }
  const double left = box.left, top = box.top, right = left + box.width;
  const double bottom = top + box.height;
  std::string &b = body_;
  b += "<g stroke=\"#e0e0e0\" stroke-width=\"1\">\n";
  const auto ticks_of = [](const Ticks &t, auto &&each) {
    for (int i = 0;; ++i) {
      const double v = std::ceil(t.first / t.step - 1e-9) * t.step + i * t.step;
      if (v > t.last + 1e-9 * t.step || i > 200)
        break;
      each(v);
    }
  };
  ticks_of(f.x, [&](double v) {
    b += "<line x1=\"" + num(px(f, v)) + "\" y1=\"" + num(top) + "\" x2=\"" + num(px(f, v)) +
         "\" y2=\"" + num(bottom) + "\"/>\n";
  });
  ticks_of(f.y, [&](double v) {
    b += "<line x1=\"" + num(left) + "\" y1=\"" + num(py(f, v)) + "\" x2=\"" + num(right) +
         "\" y2=\"" + num(py(f, v)) + "\"/>\n";
  });
  b += "</g>\n<rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(box.width) +
       "\" height=\"" + num(box.height) + "\" fill=\"none\" stroke=\"#000000\"/>\n";
  b += "<g font-size=\"11\" fill=\"#000000\">\n";
  ticks_of(f.x, [&](double v) {
    b += "<text x=\"" + num(px(f, v)) + "\" y=\"" + num(bottom + 14) +
         "\" text-anchor=\"middle\">" + xml_text(tick_label(v, f.x)) + "</text>\n";
  });
  ticks_of(f.y, [&](double v) {
    b += "<text x=\"" + num(left - 5) + "\" y=\"" + num(py(f, v) + 4) + "\" text-anchor=\"end\">" +
         xml_text(tick_label(v, f.y)) + "</text>\n";
  });
  b += "</g>\n";
  b += "<text x=\"" + num(left + 0.5 * box.width) + "\" y=\"" + num(bottom + 32) +
       "\" text-anchor=\"middle\">" + xml_text(x_label) + "</text>\n";
  const double ly = top + 0.5 * box.height;
  b += "<text x=\"" + num(left - 48) + "\" y=\"" + num(ly) + "\" text-anchor=\"middle\" " +
       "transform=\"rotate(-90 " + num(left - 48) + " " + num(ly) + ")\">" + xml_text(y_label) +
       "</text>\n";
  frames_.push_back(f);
  return static_cast<int>(frames_.size()) - 1;
}

// The key at the frame's top right corner, the text ending just before it, so that a legend of
// any length stays inside the frame.
void SvgFigure::legend(Frame &f, Colour colour, std::string_view text, bool dot) {
  if (text.empty())
    return;
  const double x = f.box.left + f.box.width - 32, y = f.box.top + 16 + 16 * f.legends++;
  const std::string c(colour_name(colour));
  if (dot)
    body_ += "<circle cx=\"" + num(x + 10) + "\" cy=\"" + num(y - 4) + "\" r=\"3\" fill=\"" + c +
             "\"/>\n";
  else
    body_ += "<line x1=\"" + num(x) + "\" y1=\"" + num(y - 4) + "\" x2=\"" + num(x + 20) +
             "\" y2=\"" + num(y - 4) + "\" stroke=\"" + c + "\" stroke-width=\"2\"/>\n";
  body_ += "<text x=\"" + num(x - 6) + "\" y=\"" + num(y) + "\" text-anchor=\"end\">" +
           xml_text(text) + "</text>\n";
}

void SvgFigure::note(double x, double y, std::string_view text) {
  body_ += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" font-size=\"10\" fill=\"#555555\">" +
           xml_text(text) + "</text>\n";
}

void SvgFigure::curve(int frame, std::span<const double> x, std::span<const double> y,
                      Colour colour, std::string_view legend_text, double width) {
  Frame &f = frames_.at(static_cast<std::size_t>(frame));
  const std::size_t n = std::min(x.size(), y.size());
  std::string points;
  const auto flush = [&] {
    if (!points.empty())
      body_ += "<polyline fill=\"none\" stroke=\"" + std::string(colour_name(colour)) +
               "\" stroke-width=\"" + num(width) + "\" points=\"" + points + "\"/>\n";
    points.clear();
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
      flush();
      continue;
    }
    if (!points.empty())
      points.push_back(' ');
    points += num(px(f, x[i])) + "," + num(py(f, y[i]));
  }
  flush();
  legend(f, colour, legend_text, false);
}

void SvgFigure::data_curve(int frame, std::span<const double> x, std::span<const double> y,
                           Colour colour, std::string_view legend_text, double width) {
  Frame &f = frames_.at(static_cast<std::size_t>(frame));
  // px and py as one affine map of the data.
  const double kx = f.box.width / (f.x.last - f.x.first);
  const double ky = -f.box.height / (f.y.last - f.y.first);
  const double ex = f.box.left - f.x.first * kx;
  const double ey = f.box.top + f.box.height - f.y.first * ky;
  char head[320];
  std::snprintf(head, sizeof head,
                "<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"%s\" "
                "data-transform=\"matrix(%.17g 0 0 %.17g %.17g %.17g)\" points=\"",
                std::string(colour_name(colour)).c_str(), num(width).c_str(), kx, ky, ex, ey);
  const std::size_t n = std::min(x.size(), y.size());
  std::vector<std::size_t> kept;
  const auto flush = [&] {
    if (!kept.empty()) {
      body_ += head;
      char point[64];
      for (std::size_t k = 0; k < kept.size(); ++k) {
        std::snprintf(point, sizeof point, "%s%.7f,%.7f", k == 0 ? "" : " ", ex + kx * x[kept[k]],
                      ey + ky * y[kept[k]]);
        body_ += point;
      }
      body_ += "\"/>\n";
    }
    kept.clear();
  };
  // The points of one pixel column, first to last; thinned when there are more than four.
  std::size_t first = 0;
  const auto close_column = [&](std::size_t end) {
    if (end - first <= 4) {
      for (std::size_t k = first; k < end; ++k)
        kept.push_back(k);
      return;
    }
    std::size_t low = first, high = first;
    for (std::size_t k = first; k < end; ++k) {
      low = y[k] < y[low] ? k : low;
      high = y[k] > y[high] ? k : high;
    }
    const std::size_t pick[4] = {first, std::min(low, high), std::max(low, high), end - 1};
    for (int k = 0; k < 4; ++k)
      if (k == 0 || pick[k] > pick[k - 1])
        kept.push_back(pick[k]);
  };
  double column = NAN;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
      if (i > first)
        close_column(i);
      flush();
      first = i + 1;
      column = NAN;
      continue;
    }
    const double c = std::floor(px(f, x[i]));
    if (c != column && i > first) {
      close_column(i);
      first = i;
    }
    column = c;
  }
  if (n > first)
    close_column(n);
  flush();
  legend(f, colour, legend_text, false);
}

void SvgFigure::markers(int frame, std::span<const double> x, std::span<const double> y,
                        Colour colour, std::string_view legend_text) {
  Frame &f = frames_.at(static_cast<std::size_t>(frame));
  const std::size_t n = std::min(x.size(), y.size());
  body_ += "<g fill=\"" + std::string(colour_name(colour)) + "\">\n";
  for (std::size_t i = 0; i < n; ++i)
    if (std::isfinite(x[i]) && std::isfinite(y[i]))
      body_ +=
          "<circle cx=\"" + num(px(f, x[i])) + "\" cy=\"" + num(py(f, y[i])) + "\" r=\"1.5\"/>\n";
  body_ += "</g>\n";
  legend(f, colour, legend_text, true);
}

void SvgFigure::lattice_bar(int frame, double top, double height,
                            std::span<const BarElement> elements) {
  const Frame &f = frames_.at(static_cast<std::size_t>(frame));
  const double axis = top + 0.5 * height, left = f.box.left, right = f.box.left + f.box.width;
  body_ += "<line x1=\"" + num(left) + "\" y1=\"" + num(axis) + "\" x2=\"" + num(right) +
           "\" y2=\"" + num(axis) + "\" stroke=\"#000000\"/>\n";
  for (const BarElement &e : elements) {
    double y0, y1;
    Colour colour;
    switch (e.kind) {
    case BarKind::bend:
      y0 = axis - 0.2 * height, y1 = axis + 0.2 * height, colour = Colour::blue;
      break;
    case BarKind::focusing:
      y0 = top, y1 = axis, colour = Colour::red;
      break;
    case BarKind::defocusing:
      y0 = axis, y1 = top + height, colour = Colour::red;
      break;
    case BarKind::sextupole:
      y0 = axis - 0.3 * height, y1 = axis + 0.3 * height, colour = Colour::green;
      break;
    default:
      continue;
    }
    const double x0 = std::clamp(px(f, e.s), left, right);
    const double x1 = std::clamp(px(f, e.s + e.length), left, right);
    body_ += "<rect x=\"" + num(std::min(x0, x1)) + "\" y=\"" + num(y0) + "\" width=\"" +
             num(std::max(std::fabs(x1 - x0), 1.0)) + "\" height=\"" + num(y1 - y0) + "\" fill=\"" +
             std::string(colour_name(colour)) + "\"/>\n";
  }
}

std::string SvgFigure::text() const {
  const std::string w = std::to_string(width_), h = std::to_string(height_);
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                  w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h +
                  "\" font-family=\"sans-serif\" font-size=\"12\">\n"
                  "<rect x=\"0\" y=\"0\" width=\"" +
                  w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
  s += "<text x=\"" + num(0.5 * width_) + "\" y=\"20\" text-anchor=\"middle\" font-size=\"14\">" +
       xml_text(title_) + "</text>\n";
  return s + body_ + "</svg>\n";
}

} // namespace vorax

// Test readers of TFS tables and SVG documents.
#include "support/result_files.h"

#include <expat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vorax::test {

namespace {

// Cells of a line: quoted texts (which may hold blanks) and bare words.
std::vector<std::string> cells_of(const std::string &line, std::size_t from, bool &quoted_ok) {
  std::vector<std::string> out;
  quoted_ok = true;
  std::size_t p = from;
  while (p < line.size()) {
    if (line[p] == ' ') {
      ++p;
      continue;
    }
    if (line[p] == '"') {
      const std::size_t q = line.find('"', p + 1);
      if (q == std::string::npos) {
        quoted_ok = false;
        return out;
      }
      out.push_back("\"" + line.substr(p + 1, q - p - 1));
      p = q + 1;
    } else {
      const std::size_t q = line.find(' ', p);
      out.push_back(line.substr(p, q == std::string::npos ? std::string::npos : q - p));
      p = q == std::string::npos ? line.size() : q;
    }
  }
  return out;
}

bool full_number(const std::string &s, double &v) {
  char *end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return !s.empty() && end == s.c_str() + s.size();
}

} // namespace

int ParsedTfs::column(const std::string &name) const {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i] == name)
      return static_cast<int>(i);
  return -1;
}

double ParsedTfs::real(std::size_t row, const std::string &name) const {
  const int c = column(name);
  if (c < 0 || row >= rows.size())
    return std::nan("");
  return std::strtod(rows[row][static_cast<std::size_t>(c)].c_str(), nullptr);
}

std::string ParsedTfs::text(std::size_t row, const std::string &name) const {
  const int c = column(name);
  if (c < 0 || row >= rows.size())
    return "<none>";
  return rows[row][static_cast<std::size_t>(c)];
}

double ParsedTfs::header_real(const std::string &name) const {
  const auto it = header.find(name);
  return it == header.end() ? std::nan("") : std::strtod(it->second.c_str(), nullptr);
}

std::string parse_tfs(const std::string &text, ParsedTfs &out) {
  out = ParsedTfs{};
  std::istringstream in(text);
  std::string line;
  int n = 0;
  bool ok = true;
  while (std::getline(in, line)) {
    ++n;
    const std::string where = "line " + std::to_string(n) + ": ";
    if (line.empty())
      return where + "empty line";
    if (line[0] == '@') {
      if (!out.columns.empty())
        return where + "header line after the column names";
      std::vector<std::string> c = cells_of(line, 1, ok);
      if (!ok || c.size() != 3)
        return where + "a header line is @ NAME FORMAT VALUE";
      double v;
      if (c[1] == "%s" ? c[2].empty() || c[2][0] != '"' : !full_number(c[2], v))
        return where + "header value does not fit its format";
      out.header[c[0]] = c[1] == "%s" ? c[2].substr(1) : c[2];
    } else if (line[0] == '*') {
      out.columns = cells_of(line, 1, ok);
    } else if (line[0] == '$') {
      out.formats = cells_of(line, 1, ok);
      if (out.formats.size() != out.columns.size())
        return where + "formats and column names differ in number";
    } else {
      if (out.formats.empty())
        return where + "row before the column lines";
      std::vector<std::string> c = cells_of(line, 0, ok);
      if (!ok || c.size() != out.columns.size())
        return where + "row of " + std::to_string(c.size()) + " cells";
      for (std::size_t i = 0; i < c.size(); ++i) {
        double v;
        const bool text_cell = !c[i].empty() && c[i][0] == '"';
        if (out.formats[i] == "%s" ? !text_cell : !full_number(c[i], v))
          return where + "cell " + std::to_string(i + 1) + " does not fit its format";
        if (text_cell)
          c[i] = c[i].substr(1);
      }
      out.rows.push_back(c);
    }
  }
  if (out.columns.empty())
    return "no column names";
  return {};
}

std::string svg_fault(const std::string &text) {
  struct Root {
    int depth = 0;
    std::string root;
  } state;
  XML_Parser p = XML_ParserCreate("UTF-8");
  XML_SetUserData(p, &state);
  XML_SetElementHandler(
      p,
      [](void *data, const XML_Char *name, const XML_Char **) {
        auto *s = static_cast<Root *>(data);
        if (s->depth++ == 0)
          s->root = name;
      },
      [](void *data, const XML_Char *) { --static_cast<Root *>(data)->depth; });
  std::string fault;
  if (XML_Parse(p, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_ERROR)
    fault = std::string(XML_ErrorString(XML_GetErrorCode(p))) + " at line " +
            std::to_string(XML_GetCurrentLineNumber(p));
  else if (state.root != "svg")
    fault = "the root element is " + state.root;
  XML_ParserFree(p);
  return fault;
}

std::vector<XmlElement> xml_elements(const std::string &text) {
  struct State {
    std::vector<XmlElement> all;
    std::vector<std::size_t> open;
  } state;
  XML_Parser p = XML_ParserCreate("UTF-8");
  XML_SetUserData(p, &state);
  XML_SetElementHandler(
      p,
      [](void *data, const XML_Char *name, const XML_Char **attributes) {
        auto *s = static_cast<State *>(data);
        XmlElement e{name, {}, {}};
        for (int i = 0; attributes[i] != nullptr; i += 2)
          e.attributes[attributes[i]] = attributes[i + 1];
        s->open.push_back(s->all.size());
        s->all.push_back(std::move(e));
      },
      [](void *data, const XML_Char *) { static_cast<State *>(data)->open.pop_back(); });
  XML_SetCharacterDataHandler(p, [](void *data, const XML_Char *chars, int length) {
    auto *s = static_cast<State *>(data);
    if (!s->open.empty())
      s->all[s->open.back()].text.append(chars, static_cast<std::size_t>(length));
  });
  const bool ok = XML_Parse(p, text.data(), static_cast<int>(text.size()), 1) != XML_STATUS_ERROR;
  XML_ParserFree(p);
  return ok ? state.all : std::vector<XmlElement>{};
}

std::vector<std::vector<std::pair<double, double>>> data_curves(const std::string &svg) {
  std::vector<std::vector<std::pair<double, double>>> out;
  for (const XmlElement &e : xml_elements(svg)) {
    if (e.name != "polyline" || e.attributes.count("data-transform") == 0)
      continue;
    // matrix(kx 0 0 ky ex ey): pixel = (ex + kx x, ey + ky y).
    const std::string &t = e.attributes.at("data-transform");
    double kx = 0, ky = 0, ex = 0, ey = 0, zero = 0;
    if (std::sscanf(t.c_str(), "matrix(%lf %lf %lf %lf %lf %lf)", &kx, &zero, &zero, &ky, &ex,
                    &ey) != 6)
      continue;
    std::vector<std::pair<double, double>> curve;
    std::istringstream points(e.attributes.at("points"));
    std::string pair;
    while (points >> pair) {
      const std::size_t comma = pair.find(',');
      curve.emplace_back((std::strtod(pair.substr(0, comma).c_str(), nullptr) - ex) / kx,
                         (std::strtod(pair.substr(comma + 1).c_str(), nullptr) - ey) / ky);
    }
    out.push_back(std::move(curve));
  }
  return out;
}

} // namespace vorax::test

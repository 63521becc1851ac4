// Readers of the result files for the tests: a TFS table parsed back by its own rules, and an
// XML check of SVG documents with an independent parser.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vorax::test {

struct ParsedTfs {
  std::map<std::string, std::string> header; // name -> value text (texts without quotes)
  std::vector<std::string> columns, formats;
  std::vector<std::vector<std::string>> rows; // cells as written (texts without quotes)

  int column(const std::string &name) const; // -1 when absent
  double real(std::size_t row, const std::string &name) const;
  std::string text(std::size_t row, const std::string &name) const;
  double header_real(const std::string &name) const;
};

// Parses a whole table; returns a description of the first fault, empty when it is valid:
// header lines first, then one "*" and one "$" line of equal length, then rows of that many
// cells whose numbers parse completely and whose texts are quoted.
std::string parse_tfs(const std::string &text, ParsedTfs &out);

// Empty when text is a well-formed XML document whose root element is svg; else the fault.
std::string svg_fault(const std::string &text);

// An element of an XML document: its name, attributes and the text directly inside it.
struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;
};
// The elements of a well-formed document in document order (empty when it is not well formed).
std::vector<XmlElement> xml_elements(const std::string &text);

// The curves of a plot that carry the map from their data to their points (data-transform), in
// document order: the points as (x, y) pairs of the data.
std::vector<std::vector<std::pair<double, double>>> data_curves(const std::string &svg);

} // namespace vorax::test

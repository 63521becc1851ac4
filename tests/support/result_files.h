// Readers of the result files for the tests: a TFS table parsed back by its own rules, and an
// XML check of SVG documents with an independent parser.
#pragma once

#include <map>
#include <string>
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

} // namespace vorax::test

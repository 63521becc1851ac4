// Messages of the lattice importer: warnings and errors naming the file and line they concern,
// in the form editors and build tools read ("FILE:LINE: error: TEXT").
#pragma once

#include <ostream>
#include <string>

namespace vorax::importer {

struct Location {
  std::string file;
  int line = 0;
};

class Diagnostics {
public:
  explicit Diagnostics(std::ostream &out) : out_(out) {}

  void warning(const Location &at, const std::string &text);
  void error(const Location &at, const std::string &text);
  // A fault with no place in an input file (a command-line file that cannot be read, no line
  // to use): the program's own name stands for the place.
  void error(const std::string &text);
  void note(const std::string &text); // a plain line on the terminal, counted as nothing

  int warnings() const { return warnings_; }
  int errors() const { return errors_; }
  // After this many errors the rest of the input is not worth reading.
  bool too_many() const { return errors_ >= 100; }

private:
  std::ostream &out_;
  int warnings_ = 0;
  int errors_ = 0;
};

} // namespace vorax::importer

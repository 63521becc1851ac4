// VORAX text: expressions rewritten in the lattice language's smaller set of operators and
// functions (+ - * /, SQRT LOG EXP SIN COS), numbers written so that they read back as the
// same double, and commands laid out in lines of at most 80 columns continued with "&".
#pragma once

#include "import/diagnostics.h"
#include "import/expression.h"
#include "import/lattice.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace vorax::importer {

// One token of an expression: a text, or a parameter still named by its MAD-X variable.
struct TextToken {
  std::string text;
  std::string parameter; // set: the token is this variable's VORAX name
  bool spaced = false;   // written with a blank on each side (+ and - between terms)
};
using Text = std::vector<TextToken>;

// The shortest decimal form that reads back as the same double ("0.1", "1E-05").
std::string number_text(double value);

class Translator {
public:
  Translator(Lattice &lattice, Diagnostics &diagnostics)
      : lattice_(lattice), diagnostics_(diagnostics) {}

  // The VORAX form of e; false (reported at `where`) when the deck cannot hold it. The
  // variables it names are added to the parameters.
  bool translate(const ExprPtr &e, const Location &where, Text &out);

  // The variables named so far, in the order they were first met.
  const std::vector<std::string> &parameters() const { return order_; }

private:
  struct Piece {
    Text text;
    int level = 3;     // 1 a sum, 2 a product, 3 an operand
    bool sign = false; // it begins with a sign (only allowed first or after "(")
  };
  bool piece(const ExprPtr &e, Piece &out);
  static void wrap(Piece &p);
  ExprPtr rewritten_call(const ExprPtr &e);
  ExprPtr rewritten_power(const ExprPtr &e);

  Lattice &lattice_;
  Diagnostics &diagnostics_;
  std::vector<std::string> order_;
  std::set<std::string> known_;
  std::set<const Definition *> inlining_;
  std::string fault_;
};

// The text of tokens with the VORAX names of their parameters.
std::string render(const Text &text, const std::map<std::string, std::string> &names);

// Lays out one command in lines of at most 80 columns: a piece is never split, and a line
// that goes on ends with " &"; continuation lines are indented.
class CommandWriter {
public:
  explicit CommandWriter(std::string &out) : out_(out) {}
  void add(const std::string &piece, bool blank_before = true);
  // "NAME = value" with the parameters' VORAX names, on one line when it fits, else broken
  // between tokens; `after` ends it (",").
  void assignment(const std::string &name, const Text &value,
                  const std::map<std::string, std::string> &names, const std::string &after);
  void end();

private:
  std::string &out_;
  std::string line_;
};

} // namespace vorax::importer

// Expressions of the MAD-X language as trees: numbers, variables, element attributes
// (ELEMENT->ATTRIBUTE), the operators + - * / ^ and the functions of the language. The
// parser keeps the tree exactly as written, so that an expression carried into the deck is
// evaluated in the same order and rounds alike.
#pragma once

#include "import/source.h"

#include <memory>
#include <string>
#include <vector>

namespace vorax::importer {

struct Expr;
using ExprPtr = std::shared_ptr<const Expr>;

struct Expr {
  enum class Kind { number, name, attribute, negate, binary, call, unavailable };
  Kind kind = Kind::number;
  double value = 0.0;        // number
  std::string name;          // name: the variable; attribute: the element; call: the function
  std::string attribute;     // attribute: its name
  char op = 0;               // binary: + - * / ^
  std::vector<ExprPtr> args; // negate: 1, binary: 2, call: its arguments
  std::string reason;        // unavailable: what it was (a table look-up, a random number)
};

ExprPtr number(double value);
ExprPtr variable(std::string name);
ExprPtr negate(ExprPtr e);
ExprPtr binary(char op, ExprPtr left, ExprPtr right);
ExprPtr call(std::string function, std::vector<ExprPtr> args);

// True when e is the number 0 as written (an attribute given as 0 is no attribute at all).
bool is_zero(const ExprPtr &e);
// True when e holds no variable, attribute or unavailable value: it can never change.
bool is_constant(const ExprPtr &e);
// The text of an unavailable part of e, empty when there is none.
std::string unavailable_part(const ExprPtr &e);

// Parses one expression from tokens[pos, end); pos ends after it. An empty error means
// success; the expression must then end at `end` unless `partial` is set.
ExprPtr parse_expression(const std::vector<Token> &tokens, std::size_t &pos, std::size_t end,
                         std::string &error, bool partial = false);

// The functions the language knows, with their number of arguments (-1: none is known).
int function_arity(const std::string &name);
double apply_function(const std::string &name, const std::vector<double> &args);

// The constants the language predefines (pi, twopi, clight, emass ...); false when `name`
// is none of them.
bool language_constant(const std::string &name, double &value);

} // namespace vorax::importer

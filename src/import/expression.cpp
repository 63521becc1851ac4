// The expression parser, the functions and the constants of the MAD-X language.
#include "import/expression.h"

#include <charconv>
#include <cmath>
#include <map>

namespace vorax::importer {

ExprPtr number(double value) {
  auto e = std::make_shared<Expr>();
  e->kind = Expr::Kind::number;
  e->value = value;
  return e;
}

ExprPtr variable(std::string name) {
  auto e = std::make_shared<Expr>();
  e->kind = Expr::Kind::name;
  e->name = std::move(name);
  return e;
}

ExprPtr negate(ExprPtr operand) {
  auto e = std::make_shared<Expr>();
  e->kind = Expr::Kind::negate;
  e->args = {std::move(operand)};
  return e;
}

ExprPtr binary(char op, ExprPtr left, ExprPtr right) {
  auto e = std::make_shared<Expr>();
  e->kind = Expr::Kind::binary;
  e->op = op;
  e->args = {std::move(left), std::move(right)};
  return e;
}

ExprPtr call(std::string function, std::vector<ExprPtr> args) {
  auto e = std::make_shared<Expr>();
  e->kind = Expr::Kind::call;
  e->name = std::move(function);
  e->args = std::move(args);
  return e;
}

bool is_zero(const ExprPtr &e) {
  return e && e->kind == Expr::Kind::number && e->value == 0.0;
}

bool is_constant(const ExprPtr &e) {
  if (!e)
    return true;
  if (e->kind == Expr::Kind::attribute || e->kind == Expr::Kind::unavailable)
    return false;
  if (e->kind == Expr::Kind::name) {
    double v = 0;
    return language_constant(e->name, v);
  }
  for (const ExprPtr &a : e->args)
    if (!is_constant(a))
      return false;
  return true;
}

std::string unavailable_part(const ExprPtr &e) {
  if (!e)
    return "";
  if (e->kind == Expr::Kind::unavailable)
    return e->reason;
  for (const ExprPtr &a : e->args)
    if (std::string r = unavailable_part(a); !r.empty())
      return r;
  return "";
}

int function_arity(const std::string &name) {
  static const std::map<std::string, int> arity = {
      {"sqrt", 1}, {"log", 1},     {"log10", 1}, {"exp", 1},   {"sin", 1},   {"cos", 1},
      {"tan", 1},  {"asin", 1},    {"acos", 1},  {"atan", 1},  {"atan2", 2}, {"sinh", 1},
      {"cosh", 1}, {"tanh", 1},    {"asinh", 1}, {"acosh", 1}, {"atanh", 1}, {"sinc", 1},
      {"abs", 1},  {"erf", 1},     {"erfc", 1},  {"floor", 1}, {"ceil", 1},  {"round", 1},
      {"frac", 1}, {"invsqrt", 1}, {"sign", 1},  {"max", 2},   {"min", 2}};
  const auto at = arity.find(name);
  return at == arity.end() ? -1 : at->second;
}

double apply_function(const std::string &f, const std::vector<double> &a) {
  const double x = a.empty() ? 0.0 : a[0];
  if (f == "sqrt")
    return std::sqrt(x);
  if (f == "log")
    return std::log(x);
  if (f == "log10")
    return std::log10(x);
  if (f == "exp")
    return std::exp(x);
  if (f == "sin")
    return std::sin(x);
  if (f == "cos")
    return std::cos(x);
  if (f == "tan")
    return std::tan(x);
  if (f == "asin")
    return std::asin(x);
  if (f == "acos")
    return std::acos(x);
  if (f == "atan")
    return std::atan(x);
  if (f == "atan2")
    return std::atan2(x, a[1]);
  if (f == "sinh")
    return std::sinh(x);
  if (f == "cosh")
    return std::cosh(x);
  if (f == "tanh")
    return std::tanh(x);
  if (f == "asinh")
    return std::asinh(x);
  if (f == "acosh")
    return std::acosh(x);
  if (f == "atanh")
    return std::atanh(x);
  if (f == "sinc")
    return x == 0.0 ? 1.0 : std::sin(x) / x;
  if (f == "abs")
    return std::fabs(x);
  if (f == "erf")
    return std::erf(x);
  if (f == "erfc")
    return std::erfc(x);
  if (f == "floor")
    return std::floor(x);
  if (f == "ceil")
    return std::ceil(x);
  if (f == "round")
    return std::round(x);
  if (f == "frac")
    return x - std::trunc(x);
  if (f == "invsqrt")
    return 1.0 / std::sqrt(x);
  if (f == "sign")
    return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0);
  if (f == "max")
    return std::fmax(x, a[1]);
  if (f == "min")
    return std::fmin(x, a[1]);
  return 0.0;
}

bool language_constant(const std::string &name, double &value) {
  // The values of the current release of the other code (CODATA 2018 masses and charges).
  static const std::map<std::string, double> constants = [] {
    const double pi = 3.141592653589793;
    const double emass = 0.51099895000e-3, pmass = 0.93827208816, erad = 2.8179403262e-15;
    return std::map<std::string, double>{{"pi", pi},
                                         {"twopi", 2 * pi},
                                         {"degrad", 180 / pi},
                                         {"raddeg", pi / 180},
                                         {"e", std::exp(1.0)},
                                         {"amu0", 4e-7 * pi},
                                         {"emass", emass},
                                         {"pmass", pmass},
                                         {"nmass", 0.93956542052},
                                         {"umass", 0.93149410242},
                                         {"mumass", 0.1056583755},
                                         {"clight", 299792458.0},
                                         {"qelect", 1.602176634e-19},
                                         {"hbar", 6.582119569e-25},
                                         {"erad", erad},
                                         {"prad", erad * emass / pmass}};
  }();
  const auto at = constants.find(name);
  if (at == constants.end())
    return false;
  value = at->second;
  return true;
}

namespace {

class Parser {
public:
  Parser(const std::vector<Token> &t, std::size_t pos, std::size_t end)
      : t_(t), pos_(pos), end_(end) {}

  ExprPtr sum() {
    ExprPtr left = product();
    while (ok() && (at("+") || at("-"))) {
      const char op = t_[pos_++].text[0];
      left = binary(op, left, product());
    }
    return left;
  }

  std::size_t pos() const { return pos_; }
  const std::string &error() const { return error_; }

private:
  bool ok() const { return error_.empty(); }
  bool more() const { return pos_ < end_; }
  bool at(std::string_view s) const { return more() && t_[pos_].is(s); }
  void fail(const std::string &what) {
    if (error_.empty())
      error_ = what;
  }

  ExprPtr product() {
    ExprPtr left = factor();
    while (ok() && (at("*") || at("/"))) {
      const char op = t_[pos_++].text[0];
      left = binary(op, left, factor());
    }
    return left;
  }

  ExprPtr factor() {
    if (at("+")) {
      ++pos_;
      return factor();
    }
    if (at("-")) {
      ++pos_;
      return negate(factor());
    }
    ExprPtr base = primary();
    if (ok() && at("^")) {
      ++pos_;
      return binary('^', base, factor());
    }
    return base;
  }

  ExprPtr primary() {
    if (!more()) {
      fail("an expression ends where a value is expected");
      return number(0);
    }
    const Token &tok = t_[pos_];
    if (tok.kind == Token::Kind::number) {
      ++pos_;
      double v = 0;
      // "5." is a number of the language; the reader of the library wants a digit after the point.
      const std::string digits = tok.text.back() == '.' ? tok.text + "0" : tok.text;
      const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
      if (ec != std::errc() || p != digits.data() + digits.size())
        fail("\"" + tok.text + "\" is not a number");
      return number(v);
    }
    if (tok.is("(")) {
      ++pos_;
      ExprPtr inner = sum();
      if (ok() && !at(")"))
        fail("\")\" expected");
      else if (ok())
        ++pos_;
      return inner;
    }
    if (tok.kind != Token::Kind::name) {
      fail("a value expected where \"" + tok.text + "\" stands");
      return number(0);
    }
    ++pos_;
    if (at("->")) {
      ++pos_;
      if (!more() || t_[pos_].kind != Token::Kind::name) {
        fail("an attribute name expected after \"->\"");
        return number(0);
      }
      auto e = std::make_shared<Expr>();
      e->kind = Expr::Kind::attribute;
      e->name = tok.text;
      e->attribute = t_[pos_++].text;
      if (at("["))
        fail("an attribute's component (\"[...]\") cannot be carried");
      return e;
    }
    if (at("[")) {
      fail("\"" + tok.text + "[...]\" cannot be carried");
      return number(0);
    }
    if (!at("("))
      return variable(tok.text);
    // A function call. Table look-ups and random numbers have no value before a run of the
    // other code; they are kept as unavailable and become an error only if the lattice needs
    // them.
    if (tok.text == "table" || tok.text == "ranf" || tok.text == "gauss" || tok.text == "tgauss" ||
        tok.text == "exist") {
      int depth = 0;
      do {
        if (t_[pos_].is("("))
          ++depth;
        else if (t_[pos_].is(")"))
          --depth;
        ++pos_;
      } while (more() && depth > 0);
      auto e = std::make_shared<Expr>();
      e->kind = Expr::Kind::unavailable;
      e->reason = tok.text == "table"   ? "a TABLE look-up"
                  : tok.text == "exist" ? "EXIST"
                                        : "a random number (" + tok.text + ")";
      return e;
    }
    const int arity = function_arity(tok.text);
    if (arity < 0) {
      fail("unknown function \"" + tok.text + "\"");
      return number(0);
    }
    ++pos_; // "("
    std::vector<ExprPtr> args;
    if (!at(")")) {
      for (;;) {
        args.push_back(sum());
        if (!ok() || !at(","))
          break;
        ++pos_;
      }
    }
    if (ok() && !at(")"))
      fail("\")\" expected after the arguments of " + tok.text);
    else if (ok())
      ++pos_;
    if (ok() && static_cast<int>(args.size()) != arity)
      fail("function " + tok.text + " takes " + std::to_string(arity) + " argument" +
           (arity == 1 ? "" : "s"));
    return call(tok.text, std::move(args));
  }

  const std::vector<Token> &t_;
  std::size_t pos_, end_;
  std::string error_;
};

} // namespace

ExprPtr parse_expression(const std::vector<Token> &tokens, std::size_t &pos, std::size_t end,
                         std::string &error, bool partial) {
  Parser p(tokens, pos, end);
  ExprPtr e = p.sum();
  error = p.error();
  pos = p.pos();
  if (error.empty() && !partial && pos < end)
    error = "unexpected \"" + tokens[pos].text + "\" in an expression";
  return e;
}

} // namespace vorax::importer

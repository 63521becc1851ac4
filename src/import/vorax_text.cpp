// Expressions and commands in VORAX's lattice language.
#include "import/vorax_text.h"

#include <charconv>
#include <cmath>

namespace vorax::importer {

std::string number_text(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string s(buffer, result.ptr);
  for (char &c : s)
    if (c == 'e')
      c = 'E';
  return s;
}

void Translator::wrap(Piece &p) {
  Text t;
  t.push_back({"(", "", false});
  t.insert(t.end(), p.text.begin(), p.text.end());
  t.push_back({")", "", false});
  p.text = std::move(t);
  p.level = 3;
  p.sign = false;
}

bool Translator::translate(const ExprPtr &e, const Location &where, Text &out) {
  fault_.clear();
  Piece p;
  if (!piece(e, p)) {
    diagnostics_.error(where, fault_);
    return false;
  }
  out = std::move(p.text);
  return true;
}

// Functions the language does not have, in terms of those it has; the rest are taken at
// their value today (their arguments rarely change).
ExprPtr Translator::rewritten_call(const ExprPtr &e) {
  const std::string &f = e->name;
  const ExprPtr x = e->args.empty() ? nullptr : e->args[0];
  if (f == "tan")
    return binary('/', call("sin", {x}), call("cos", {x}));
  if (f == "abs")
    return call("sqrt", {binary('*', x, x)});
  if (f == "cosh")
    return binary('/', binary('+', call("exp", {x}), call("exp", {negate(x)})), number(2));
  if (f == "log10")
    return binary('/', call("log", {x}), number(std::log(10.0)));
  if (f == "invsqrt")
    return binary('/', number(1), call("sqrt", {x}));
  return number(lattice_.evaluate(e));
}

// a^n for a whole n as the product, else exp(n log a) while a > 0, else the value today.
ExprPtr Translator::rewritten_power(const ExprPtr &e) {
  const ExprPtr &a = e->args[0];
  const ExprPtr &b = e->args[1];
  const bool whole = b->kind == Expr::Kind::number && b->value == std::floor(b->value) &&
                     std::fabs(b->value) <= 64;
  const bool negative_whole =
      b->kind == Expr::Kind::negate && b->args[0]->kind == Expr::Kind::number &&
      b->args[0]->value == std::floor(b->args[0]->value) && b->args[0]->value <= 64;
  if (whole || negative_whole) {
    const double n = whole ? b->value : -b->args[0]->value;
    if (n == 0)
      return number(1);
    ExprPtr product = a;
    for (int k = 1; k < static_cast<int>(std::fabs(n)); ++k)
      product = binary('*', product, a);
    return n > 0 ? product : binary('/', number(1), product);
  }
  if (lattice_.evaluate(a) > 0)
    return call("exp", {binary('*', b, call("log", {a}))});
  return number(lattice_.evaluate(e));
}

bool Translator::piece(const ExprPtr &e, Piece &out) {
  out = Piece{};
  switch (e->kind) {
  case Expr::Kind::number: {
    if (!std::isfinite(e->value)) {
      fault_ = "a value is not a finite number";
      return false;
    }
    if (std::signbit(e->value) && e->value != 0.0) {
      out.text = {{"-", "", false}, {number_text(-e->value), "", false}};
      out.sign = true;
    } else {
      out.text = {{number_text(e->value == 0.0 ? 0.0 : e->value), "", false}};
    }
    return true;
  }
  case Expr::Kind::name: {
    double v = 0;
    if (language_constant(e->name, v))
      return piece(number(v), out);
    if (known_.insert(e->name).second)
      order_.push_back(e->name);
    out.text = {{"", e->name, false}};
    return true;
  }
  case Expr::Kind::attribute: {
    // ELEMENT->ATTRIBUTE is replaced by what the attribute holds; BEAM->ATTRIBUTE by its
    // value.
    double beam = 0;
    if (e->name == "beam" && !lattice_.element("beam") && lattice_.beam_value(e->attribute, beam))
      return piece(number(beam), out);
    const Definition *d = lattice_.attribute(e->name, e->attribute);
    const auto seq = lattice_.sequences.find(e->name);
    if (!d && seq != lattice_.sequences.end() && e->attribute == "l")
      d = &seq->second.length;
    if (!d)
      return piece(number(0), out);
    if (d->is_array || d->is_text) {
      fault_ = e->name + "->" + e->attribute + " is not a number";
      return false;
    }
    if (!inlining_.insert(d).second) {
      fault_ = e->name + "->" + e->attribute + " depends on itself";
      return false;
    }
    const bool ok = piece(lattice_.carried(*d), out);
    inlining_.erase(d);
    if (ok && out.level < 3)
      wrap(out);
    return ok;
  }
  case Expr::Kind::negate: {
    Piece inner;
    if (!piece(e->args[0], inner))
      return false;
    if (inner.level < 3 || inner.sign)
      wrap(inner);
    out.text = {{"-", "", false}};
    out.text.insert(out.text.end(), inner.text.begin(), inner.text.end());
    out.sign = true;
    return true;
  }
  case Expr::Kind::binary: {
    if (e->op == '^')
      return piece(rewritten_power(e), out);
    const int level = e->op == '+' || e->op == '-' ? 1 : 2;
    Piece left, right;
    if (!piece(e->args[0], left) || !piece(e->args[1], right))
      return false;
    // Parentheses keep the tree as written: operators of equal rank group from the left, and
    // a right operand of the same rank keeps its own (a - (b - c), a / (b * c)).
    if (left.level < level)
      wrap(left);
    if (right.level <= level || right.sign)
      wrap(right);
    out.text = std::move(left.text);
    out.text.push_back({std::string(1, e->op), "", level == 1});
    out.text.insert(out.text.end(), right.text.begin(), right.text.end());
    out.level = level;
    out.sign = left.sign;
    return true;
  }
  case Expr::Kind::call: {
    const std::string &f = e->name;
    if (f != "sqrt" && f != "log" && f != "exp" && f != "sin" && f != "cos")
      return piece(rewritten_call(e), out);
    Piece arg;
    if (!piece(e->args[0], arg))
      return false;
    std::string name = f;
    for (char &c : name)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    out.text = {{name, "", false}, {"(", "", false}};
    out.text.insert(out.text.end(), arg.text.begin(), arg.text.end());
    out.text.push_back({")", "", false});
    return true;
  }
  case Expr::Kind::unavailable:
    fault_ = e->reason + " has no value outside a run of the other code: it cannot be carried";
    return false;
  }
  return false;
}

std::string render(const Text &text, const std::map<std::string, std::string> &names) {
  std::string s;
  for (const TextToken &t : text) {
    if (t.spaced)
      s += ' ';
    s += t.parameter.empty() ? t.text : names.at(t.parameter);
    if (t.spaced)
      s += ' ';
  }
  return s;
}

void CommandWriter::add(const std::string &piece, bool blank_before) {
  const std::string joined = line_.empty() ? piece : line_ + (blank_before ? " " : "") + piece;
  // 80 columns at most, two of them kept for the continuation mark " &".
  if (joined.size() <= 78 || line_.empty() || line_.size() <= 4) {
    line_ = joined;
    return;
  }
  out_ += line_ + " &\n";
  line_ = "    " + piece;
}

void CommandWriter::assignment(const std::string &name, const Text &value,
                               const std::map<std::string, std::string> &names,
                               const std::string &after) {
  if (value.empty()) {
    add(name + after);
    return;
  }
  const std::string whole = name + " = " + render(value, names) + after;
  if (line_.size() + 1 + whole.size() <= 78 || whole.size() <= 40) {
    add(whole);
    return;
  }
  add(name + " =");
  for (std::size_t i = 0; i < value.size(); ++i) {
    const TextToken &t = value[i];
    std::string piece = t.parameter.empty() ? t.text : names.at(t.parameter);
    if (i + 1 == value.size())
      piece += after;
    add(piece, i == 0 || t.spaced || value[i - 1].spaced);
  }
}

void CommandWriter::end() {
  if (!line_.empty())
    out_ += line_ + "\n";
  line_.clear();
}

} // namespace vorax::importer

// The statements of MAD-X input files that are commands: LINE definitions, BEAM, USE, OPTION
// and CALL.
#include "import/interpreter.h"

#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>

namespace vorax::importer {

namespace {

// One list of line members "(m, n*m, -m, (list), line(arguments))" from t[pos], which is "(".
bool line_members(const std::vector<Token> &t, std::size_t &pos, const std::string &file,
                  std::vector<LineMember> &out, std::string &error) {
  if (pos >= t.size() || !t[pos].is("(")) {
    error = "\"(\" expected";
    return false;
  }
  ++pos;
  while (pos < t.size()) {
    LineMember m;
    m.where = {file, t[pos].line};
    if (t[pos].is("-")) {
      m.reflect = true;
      ++pos;
    }
    if (pos < t.size() && t[pos].kind == Token::Kind::number) {
      double count = 0;
      std::istringstream(t[pos].text) >> count;
      if (count != std::floor(count) || count < 0 || count > 1e6) {
        error = "a repetition count is a whole number";
        return false;
      }
      m.repeat = static_cast<int>(count);
      if (pos + 1 >= t.size() || !t[pos + 1].is("*")) {
        error = "\"*\" expected after the repetition count";
        return false;
      }
      pos += 2;
      if (pos < t.size() && t[pos].is("-")) {
        m.reflect = !m.reflect;
        ++pos;
      }
    }
    if (pos < t.size() && t[pos].is("(")) {
      if (!line_members(t, pos, file, m.list, error))
        return false;
    } else if (pos < t.size() && t[pos].kind == Token::Kind::name) {
      m.name = t[pos++].text;
      if (pos < t.size() && t[pos].is("(")) {
        m.has_args = true;
        if (!line_members(t, pos, file, m.list, error))
          return false;
      }
    } else {
      error = "a line member (a name or a list in parentheses) expected";
      return false;
    }
    out.push_back(std::move(m));
    if (pos < t.size() && t[pos].is(",")) {
      ++pos;
      continue;
    }
    if (pos < t.size() && t[pos].is(")")) {
      ++pos;
      return true;
    }
    error = "\",\" or \")\" expected in the line";
    return false;
  }
  error = "\")\" missing at the end of the line";
  return false;
}

} // namespace

void Interpreter::define_line(const Statement &s, const std::string &label,
                              const std::vector<std::string> &formals, std::size_t after_line) {
  const std::vector<Token> &t = s.tokens;
  std::size_t pos = after_line;
  Line line;
  line.name = label;
  line.formals = formals;
  line.where = s.where;
  std::string error;
  if (pos >= t.size() || !t[pos].is("="))
    error = "\"=\" expected after LINE";
  else if (++pos, line_members(t, pos, s.where.file, line.body, error) && pos < t.size())
    error = "unexpected \"" + t[pos].text + "\" after the line";
  if (!error.empty()) {
    diagnostics_.error(s.where, "in LINE " + upper(label) + ": " + error);
    return;
  }
  lattice_.lines[label] = std::move(line);
}

void Interpreter::beam(const Statement &s) {
  const std::vector<Item> list = items(s, 1);
  std::string key;
  for (const Item &item : list)
    if (item.name == "sequence" && item.has_value)
      key = word_of(s.tokens, item.begin, item.end);
  Beam b = lattice_.beams.count(key) != 0 ? lattice_.beams[key] : Beam{};
  double energy = 0, pc = 0, gamma = 0, beta = 0, brho = 0;
  bool mass_given = false;
  std::string particle;
  for (const Item &item : list) {
    if (!item.has_value)
      continue;
    if (item.name == "particle") {
      particle = word_of(s.tokens, item.begin, item.end);
      continue;
    }
    static const std::set<std::string> numbers = {"mass",  "charge", "energy", "pc",
                                                  "gamma", "beta",   "brho",   "bv"};
    if (numbers.count(item.name) == 0)
      continue; // emittances, bunch data, radiation switches: not the lattice's
    Definition d;
    if (!definition_of(s, item, d))
      continue;
    const double v = lattice_.evaluate(d.expr);
    if (item.name == "mass") {
      b.mass = v;
      mass_given = true;
    } else if (item.name == "charge") {
      b.charge = v;
    } else if (item.name == "energy") {
      energy = v;
    } else if (item.name == "pc") {
      pc = v;
    } else if (item.name == "gamma") {
      gamma = v;
    } else if (item.name == "beta") {
      beta = v;
    } else if (item.name == "brho") {
      brho = v;
    } else {
      b.bv = v;
    }
  }
  if (!particle.empty()) {
    b.particle = particle;
    double mass = 0;
    double charge = 1.0;
    if (particle == "electron" || particle == "positron")
      language_constant("emass", mass);
    else if (particle == "proton" || particle == "antiproton")
      language_constant("pmass", mass);
    else if (particle == "posmuon" || particle == "negmuon")
      language_constant("mumass", mass);
    if (particle == "electron" || particle == "antiproton" || particle == "negmuon")
      charge = -1.0;
    if (!mass_given && mass > 0)
      b.mass = mass;
    if (mass > 0)
      b.charge = charge;
    if (!mass_given && mass == 0)
      diagnostics_.warning(s.where, "the mass of particle " + upper(particle) +
                                        " is not known: MASS should be given");
  }
  if (energy > 0)
    b.energy = energy;
  else if (pc > 0)
    b.energy = std::sqrt(pc * pc + b.mass * b.mass);
  else if (gamma > 0)
    b.energy = gamma * b.mass;
  else if (beta > 0 && beta < 1)
    b.energy = b.mass / std::sqrt(1 - beta * beta);
  else if (brho > 0) {
    const double p = brho * 299792458.0 * 1e-9 * std::fabs(b.charge);
    b.energy = std::sqrt(p * p + b.mass * b.mass);
  }
  if (b.energy <= b.mass)
    diagnostics_.error(s.where, "the beam's energy is not above its rest mass");
  b.where = s.where;
  lattice_.beams[key] = b;
}

void Interpreter::use(const Statement &s) {
  std::string name;
  for (const Item &item : items(s, 1)) {
    if ((item.name == "sequence" || item.name == "period") && item.has_value)
      name = word_of(s.tokens, item.begin, item.end);
    else if (!item.has_value && name.empty())
      name = item.name;
    else
      diagnostics_.warning(item.where, "USE " + upper(item.name) +
                                           " is not carried: the whole "
                                           "line is imported");
  }
  if (name.empty()) {
    diagnostics_.error(s.where, "USE names no sequence");
  } else if (lattice_.sequences.count(name) == 0 && lattice_.lines.count(name) == 0) {
    diagnostics_.error(s.where, "undefined sequence or line " + upper(name));
  } else {
    lattice_.used = name;
    lattice_.used_where = s.where;
  }
}

void Interpreter::option(const Statement &s) {
  std::string others;
  for (const Item &item : items(s, 1)) {
    if (item.name == "rbarc") {
      Definition d;
      if (definition_of(s, item, d))
        lattice_.rbarc = lattice_.evaluate(d.expr) != 0.0;
    } else {
      others += (others.empty() ? "" : ", ") + upper(item.name);
    }
  }
  if (!others.empty())
    diagnostics_.warning(s.where, "OPTION " + others + " skipped (not part of the lattice)");
}

void Interpreter::call_file(const Statement &s) {
  // The file name is taken as written: it may hold characters that are no tokens ("../a.seq").
  std::string name = s.raw.substr(4);
  const std::size_t eq = name.find('=');
  if (eq != std::string::npos)
    name = name.substr(eq + 1);
  else if (const std::size_t comma = name.find(','); comma != std::string::npos)
    name = name.substr(comma + 1);
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!name.empty() && blank(name.front()))
    name.erase(name.begin());
  while (!name.empty() && blank(name.back()))
    name.pop_back();
  if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') &&
      name.back() == name.front())
    name = name.substr(1, name.size() - 2);
  if (name.empty()) {
    diagnostics_.error(s.where, "CALL names no file");
    return;
  }
  // As the other code does, a name is taken from the working directory; a file beside the
  // calling one is found as well, so that a machine's files can be imported from anywhere.
  std::filesystem::path path(name);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && path.is_relative()) {
    const std::filesystem::path beside = std::filesystem::path(s.where.file).parent_path() / path;
    if (std::filesystem::exists(beside, ec))
      path = beside;
  }
  read_file(path.string(), &s.where);
}

} // namespace vorax::importer

// The statements of MAD-X input files, carried into the lattice or skipped with a warning.
#include "import/interpreter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace vorax::importer {

namespace {

// Commands of the other code that compute, print or change settings but do not describe the
// lattice: each is skipped with a warning.
bool skipped_command(const std::string &w) {
  static const std::set<std::string> commands = {"aperture",    "assign",     "beam",
                                                 "beta0",       "call",       "channel",
                                                 "chdir",       "coguess",    "constraint",
                                                 "copyfile",    "correct",    "coupling",
                                                 "create",      "csave",      "cycle",
                                                 "delete",      "deselect",   "dumpsequ",
                                                 "dynap",       "ealign",     "efcomp",
                                                 "emit",        "endedit",    "endmatch",
                                                 "endsequence", "endtrack",   "eoption",
                                                 "eprint",      "esave",      "exec",
                                                 "exit",        "extract",    "fill",
                                                 "fill_knob",   "flatten",    "global",
                                                 "help",        "ibs",        "install",
                                                 "jacobian",    "lmdif",      "makethin",
                                                 "match",       "migrad",     "move",
                                                 "observe",     "option",     "plot",
                                                 "print",       "printf",     "ptc_create_universe",
                                                 "ptc_end",     "quit",       "readmytable",
                                                 "readtable",   "reflect",    "remove",
                                                 "removefile",  "renamefile", "replace",
                                                 "resbeam",     "resplot",    "return",
                                                 "run",         "save",       "savebeta",
                                                 "select",      "seqedit",    "set",
                                                 "setplot",     "setvars",    "setvars_const",
                                                 "setvars_lin", "show",       "simplex",
                                                 "sixtrack",    "sodd",       "start",
                                                 "stop",        "survey",     "sxfread",
                                                 "sxfwrite",    "system",     "title",
                                                 "touschek",    "track",      "twiss",
                                                 "use",         "use_macro",  "usekick",
                                                 "usemonitor",  "value",      "vary",
                                                 "weight",      "write"};
  return commands.count(w) != 0 || w.rfind("ptc_", 0) == 0;
}

} // namespace

// The word a value names (REFER = entry), or "" when it is not a single word.
std::string word_of(const std::vector<Token> &t, std::size_t begin, std::size_t end) {
  if (end == begin + 1 && t[begin].kind == Token::Kind::name)
    return t[begin].text;
  if (end == begin + 1 && t[begin].kind == Token::Kind::text) {
    std::string s = t[begin].text;
    for (char &c : s)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  // "#s" and "#e", the start and the end of a sequence
  if (end == begin + 2 && t[begin].is("#") && t[begin + 1].kind == Token::Kind::name)
    return "#" + t[begin + 1].text;
  return "";
}

void Interpreter::read_file(const std::string &path, const Location *called_from) {
  const Location place = called_from ? *called_from : Location{path, 0};
  if (depth_ >= 50) {
    diagnostics_.error(place, "CALLs nested more than 50 deep (a file that calls itself?)");
    return;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    diagnostics_.error(place, "cannot read " + path + ": it is a directory");
    return;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    diagnostics_.error(place, "cannot read " + path + ": " + std::strerror(errno));
    return;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string content = text.str();
  if (content.rfind("\xEF\xBB\xBF", 0) == 0)
    content.erase(0, 3); // the byte-order mark some editors write
  files_.push_back(path);
  ++depth_;
  StatementReader reader(path, std::move(content), diagnostics_);
  Statement s;
  while (!stopped_ && !returned_ && !diagnostics_.too_many() && reader.next(s))
    statement(s);
  returned_ = false;
  --depth_;
}

void Interpreter::finish() {
  if (!sequence_.empty()) {
    diagnostics_.error(lattice_.sequences[sequence_].where,
                       "SEQUENCE " + upper(sequence_) + " is not ended by ENDSEQUENCE");
    sequence_.clear();
  }
}

void Interpreter::skipped(const Statement &s, const std::string &what) {
  diagnostics_.warning(s.where, what + " skipped (not part of the lattice)");
}

void Interpreter::statement(const Statement &s) {
  const std::vector<Token> &t = s.tokens;
  const std::size_t n = t.size();
  if (!block_end_.empty()) {
    if (t[0].kind == Token::Kind::name && t[0].text == block_end_)
      block_end_.clear();
    return;
  }
  if (t[0].kind != Token::Kind::name) {
    diagnostics_.error(s.where, "a statement begins with a name, not with \"" + t[0].text + "\"");
    return;
  }
  const std::string &w = t[0].text;
  if (w == "if" || w == "while") {
    skipped(s, upper(w) + " block");
    if_chain_ = w == "if";
    return;
  }
  if (w == "elseif" || w == "else") {
    if (!if_chain_)
      skipped(s, upper(w) + " block");
    return;
  }
  if_chain_ = false;
  if (n >= 2 && t[1].is(":")) {
    labelled(s, 1, {});
    return;
  }
  if (n >= 3 && t[1].is("(")) {
    // NAME(ARGUMENTS): LINE = (...) or a macro with arguments
    std::size_t k = 2;
    std::vector<std::string> formals;
    while (k < n && !t[k].is(")")) {
      if (t[k].kind == Token::Kind::name)
        formals.push_back(t[k].text);
      else if (!t[k].is(",")) {
        break;
      }
      ++k;
    }
    if (k + 1 < n && t[k].is(")") && t[k + 1].is(":")) {
      labelled(s, k + 1, formals);
      return;
    }
  }
  std::size_t i = 0;
  bool constant = false, integer = false;
  while (i < n && t[i].kind == Token::Kind::name &&
         (t[i].text == "const" || t[i].text == "real" || t[i].text == "int" ||
          t[i].text == "shared")) {
    constant = constant || t[i].text == "const";
    integer = integer || t[i].text == "int";
    ++i;
  }
  if (i + 1 < n && t[i].kind == Token::Kind::name &&
      (t[i + 1].is("=") || t[i + 1].is(":=") || t[i + 1].is("->"))) {
    assignment(s, i, constant, integer);
    return;
  }
  if (i > 0) {
    diagnostics_.error(s.where, "a name and \"=\" or \":=\" expected after " + upper(w));
    return;
  }
  command(s);
}

void Interpreter::labelled(const Statement &s, std::size_t colon,
                           const std::vector<std::string> &formals) {
  const std::vector<Token> &t = s.tokens;
  const std::string &label = t[0].text;
  if (colon + 1 >= t.size() || t[colon + 1].kind != Token::Kind::name) {
    diagnostics_.error(s.where, "a class or keyword expected after \"" + label + ":\"");
    return;
  }
  const std::string &keyword = t[colon + 1].text;
  if (keyword == "macro") {
    skipped(s, "macro " + upper(label));
    return;
  }
  if (keyword == "line") {
    define_line(s, label, formals, colon + 2);
    return;
  }
  if (t[1].is("(")) {
    diagnostics_.error(s.where, "only LINE and MACRO definitions take arguments");
    return;
  }
  if (keyword == "sequence") {
    begin_sequence(s, label, colon + 2);
    return;
  }
  define_element(s, label, keyword, colon + 2);
}

std::vector<Interpreter::Item> Interpreter::items(const Statement &s, std::size_t from) {
  const std::vector<Token> &t = s.tokens;
  const std::size_t n = t.size();
  std::vector<Item> out;
  std::size_t i = from;
  bool first = true;
  while (i < n) {
    if (t[i].is(",")) {
      ++i;
    } else if (!first) {
      diagnostics_.error({s.where.file, t[i].line}, "\",\" expected before \"" + t[i].text + "\"");
      return {};
    }
    first = false;
    if (i >= n)
      break;
    std::size_t j = i;
    int depth = 0;
    while (j < n && !(depth == 0 && t[j].is(","))) {
      if (t[j].is("(") || t[j].is("{") || t[j].is("["))
        ++depth;
      else if (t[j].is(")") || t[j].is("}") || t[j].is("]"))
        --depth;
      ++j;
    }
    Item item;
    std::size_t k = i;
    if (t[k].is("-")) {
      item.negated = true;
      ++k;
    }
    if (k >= j || t[k].kind != Token::Kind::name) {
      diagnostics_.error({s.where.file, t[std::min(k, n - 1)].line},
                         "an attribute name expected where \"" + t[std::min(k, n - 1)].text +
                             "\" stands");
      return {};
    }
    item.name = t[k].text;
    item.where = {s.where.file, t[k].line};
    if (k + 1 < j) {
      if (!(t[k + 1].is("=") || t[k + 1].is(":="))) {
        diagnostics_.error(item.where, "\"=\" expected after " + upper(item.name));
        return {};
      }
      item.has_value = true;
      item.deferred = t[k + 1].is(":=");
      item.begin = k + 2;
      item.end = j;
      if (item.begin >= item.end) {
        diagnostics_.error(item.where, "a value expected after " + upper(item.name) + " =");
        return {};
      }
    }
    out.push_back(item);
    i = j;
  }
  return out;
}

bool Interpreter::definition_of(const Statement &s, const Item &item, Definition &d) {
  const std::vector<Token> &t = s.tokens;
  d = Definition{};
  d.where = item.where;
  d.deferred = item.deferred;
  if (!item.has_value) {
    d.expr = number(item.negated ? 0.0 : 1.0); // a logical written alone
    return true;
  }
  if (item.end == item.begin + 1 && t[item.begin].kind == Token::Kind::text) {
    d.is_text = true;
    d.text = t[item.begin].text;
    return true;
  }
  std::string error;
  if (t[item.begin].is("{")) {
    if (!t[item.end - 1].is("}")) {
      error = "\"}\" expected at the end of the list";
    } else {
      d.is_array = true;
      std::size_t pos = item.begin + 1;
      while (error.empty() && pos < item.end - 1) {
        d.array.push_back(parse_expression(t, pos, item.end - 1, error, true));
        if (error.empty() && pos < item.end - 1) {
          if (!t[pos].is(","))
            error = "\",\" expected between the values in braces";
          ++pos;
        }
      }
    }
  } else {
    std::size_t pos = item.begin;
    d.expr = parse_expression(t, pos, item.end, error);
    // A single word (REFER = entry, APERTYPE = circle) is read as a name; true and false are
    // the logicals of the language.
    if (error.empty() && d.expr->kind == Expr::Kind::name) {
      if (d.expr->name == "true")
        d.expr = number(1.0);
      else if (d.expr->name == "false")
        d.expr = number(0.0);
    }
  }
  if (!error.empty()) {
    if (!ignored_attribute(item.name))
      diagnostics_.error(item.where, "in the value of " + upper(item.name) + ": " + error);
    return false;
  }
  return true;
}

void Interpreter::set_attribute(Element &e, const std::string &attr, Definition d) {
  d.tick = lattice_.next_tick();
  lattice_.settle(d);
  e.attributes[attr] = std::move(d);
}

void Interpreter::assignment(const Statement &s, std::size_t at, bool constant, bool integer) {
  const std::vector<Token> &t = s.tokens;
  const std::size_t n = t.size();
  const std::string &name = t[at].text;
  if (t[at + 1].is("->")) {
    if (at + 3 >= n || t[at + 2].kind != Token::Kind::name ||
        !(t[at + 3].is("=") || t[at + 3].is(":="))) {
      diagnostics_.error(s.where, "ELEMENT->ATTRIBUTE = value expected");
      return;
    }
    const auto e = lattice_.elements.find(name);
    if (e == lattice_.elements.end()) {
      diagnostics_.error(s.where, "undefined element " + upper(name));
      return;
    }
    Item item;
    item.name = t[at + 2].text;
    item.has_value = true;
    item.deferred = t[at + 3].is(":=");
    item.begin = at + 4;
    item.end = n;
    item.where = s.where;
    if (item.begin >= n) {
      diagnostics_.error(s.where, "a value expected after " + upper(item.name) + " =");
      return;
    }
    Definition d;
    if (definition_of(s, item, d))
      set_attribute(e->second, item.name, std::move(d));
    return;
  }
  double ignored = 0;
  if (language_constant(name, ignored)) {
    diagnostics_.warning(s.where, upper(name) + " is a constant of the language and is not set");
    return;
  }
  const auto existing = lattice_.variables.find(name);
  if (existing != lattice_.variables.end() && existing->second.constant) {
    diagnostics_.warning(s.where, "the constant " + upper(name) + " is not set again");
    return;
  }
  if (at + 2 >= n) {
    diagnostics_.error(s.where, "a value expected after " + upper(name) + " =");
    return;
  }
  Item item;
  item.name = name;
  item.has_value = true;
  item.deferred = t[at + 1].is(":=");
  item.begin = at + 2;
  item.end = n;
  item.where = s.where;
  Definition d;
  if (!definition_of(s, item, d))
    return;
  if (d.is_array || d.is_text) {
    diagnostics_.error(s.where, "a variable takes one number, not a list or a text");
    return;
  }
  d.tick = lattice_.next_tick();
  lattice_.settle(d);
  if (integer) {
    // An INT keeps the whole part of its value, fixed when it is set.
    d.value = d.deferred ? std::trunc(lattice_.evaluate(d.expr)) : std::trunc(d.value);
    d.expr = number(d.value);
    d.deferred = false;
  }
  if (existing == lattice_.variables.end())
    lattice_.variable_order.push_back(name);
  lattice_.variables[name] = Variable{std::move(d), constant};
}

void Interpreter::command(const Statement &s) {
  const std::string &w = s.tokens[0].text;
  if (!sequence_.empty()) {
    if (w == "endsequence") {
      sequence_.clear();
      return;
    }
    if (lattice_.element(w) || lattice_.sequences.count(w) != 0) {
      place(s, w, 1);
      return;
    }
  }
  if (w == "endsequence") {
    diagnostics_.error(s.where, "ENDSEQUENCE without a SEQUENCE");
  } else if (w == "beam") {
    beam(s);
  } else if (w == "use") {
    use(s);
  } else if (w == "option") {
    option(s);
  } else if (w == "call") {
    call_file(s);
  } else if (w == "return") {
    returned_ = true;
  } else if (w == "stop" || w == "exit" || w == "quit") {
    stopped_ = true;
  } else if (w == "seqedit" || w == "match" || w == "track" || w == "ptc_create_universe") {
    block_end_ = w == "seqedit" ? "endedit"
                 : w == "match" ? "endmatch"
                 : w == "track" ? "endtrack"
                                : "ptc_end";
    if (w == "seqedit")
      diagnostics_.warning(s.where, "SEQEDIT ... ENDEDIT skipped: the sequences are imported as "
                                    "they were defined");
    else
      skipped(s, upper(w) + " ... " + upper(block_end_));
  } else if (skipped_command(w)) {
    skipped(s, upper(w));
  } else if (lattice_.element(w)) {
    change_element(s, w, 1);
  } else {
    diagnostics_.error(s.where, "\"" + w + "\" is neither a command nor a defined element");
  }
}

void Interpreter::define_element(const Statement &s, const std::string &label,
                                 const std::string &parent, std::size_t items_from) {
  if (!is_kind(parent) && !lattice_.element(parent)) {
    if (lattice_.sequences.count(parent) != 0)
      diagnostics_.error(s.where, "the sequence " + upper(parent) + " is not an element class");
    else if (skipped_command(parent))
      skipped(s, upper(parent));
    else
      diagnostics_.error(s.where, "undefined element class " + upper(parent));
    return;
  }
  if (parent == label || (!is_kind(parent) && lattice_.kind_of(parent).empty())) {
    diagnostics_.error(s.where, "the classes of " + upper(label) + " lead round in a circle");
    return;
  }
  const std::vector<Item> list = items(s, items_from);
  const bool existed = lattice_.elements.count(label) != 0;
  Element &e = lattice_.elements[label];
  e = Element{};
  e.name = label;
  e.parent = parent;
  e.where = s.where;
  if (!existed)
    lattice_.element_order.push_back(label);
  SequenceItem placed;
  bool has_at = false;
  for (const Item &item : list) {
    if (item.name == "at" || item.name == "from") {
      if (sequence_.empty()) {
        diagnostics_.warning(item.where, upper(item.name) + " outside a sequence is ignored");
        continue;
      }
      if (item.name == "from") {
        placed.from = word_of(s.tokens, item.begin, item.end);
        continue;
      }
      has_at = definition_of(s, item, placed.at);
      if (has_at) {
        placed.at.tick = lattice_.next_tick();
        lattice_.settle(placed.at);
      }
      continue;
    }
    Definition d;
    if (definition_of(s, item, d))
      set_attribute(e, item.name, std::move(d));
  }
  if (!sequence_.empty()) {
    if (!has_at) {
      diagnostics_.error(s.where, "AT missing: where does " + upper(label) + " stand?");
      return;
    }
    placed.name = label;
    placed.where = s.where;
    lattice_.sequences[sequence_].items.push_back(std::move(placed));
  }
}

void Interpreter::change_element(const Statement &s, const std::string &name,
                                 std::size_t items_from) {
  Element &e = lattice_.elements[name];
  for (const Item &item : items(s, items_from)) {
    if (item.name == "at" || item.name == "from") {
      diagnostics_.warning(item.where, upper(item.name) + " outside a sequence is ignored");
      continue;
    }
    Definition d;
    if (definition_of(s, item, d))
      set_attribute(e, item.name, std::move(d));
  }
}

void Interpreter::place(const Statement &s, const std::string &name, std::size_t items_from) {
  SequenceItem placed;
  placed.name = name;
  placed.where = s.where;
  bool has_at = false;
  for (const Item &item : items(s, items_from)) {
    if (item.name == "at") {
      has_at = definition_of(s, item, placed.at);
      if (has_at) {
        placed.at.tick = lattice_.next_tick();
        lattice_.settle(placed.at);
      }
    } else if (item.name == "from") {
      placed.from = word_of(s.tokens, item.begin, item.end);
    } else if (Element *e = lattice_.elements.count(name) ? &lattice_.elements[name] : nullptr) {
      // An attribute given where an element is placed changes the element itself.
      Definition d;
      if (definition_of(s, item, d))
        set_attribute(*e, item.name, std::move(d));
    } else {
      diagnostics_.warning(item.where, upper(item.name) + " of a placed sequence is ignored");
    }
  }
  if (!has_at) {
    diagnostics_.error(s.where, "AT missing: where does " + upper(name) + " stand?");
    return;
  }
  lattice_.sequences[sequence_].items.push_back(std::move(placed));
}

void Interpreter::begin_sequence(const Statement &s, const std::string &label,
                                 std::size_t items_from) {
  if (!sequence_.empty()) {
    diagnostics_.error(s.where, "SEQUENCE " + upper(label) + " begins inside SEQUENCE " +
                                    upper(sequence_) + " (ENDSEQUENCE missing?)");
    return;
  }
  Sequence q;
  q.name = label;
  q.where = s.where;
  bool has_length = false;
  for (const Item &item : items(s, items_from)) {
    if (item.name == "l") {
      has_length = definition_of(s, item, q.length);
      q.length.tick = lattice_.next_tick();
      lattice_.settle(q.length);
    } else if (item.name == "refer") {
      const std::string w = word_of(s.tokens, item.begin, item.end);
      if (w == "entry")
        q.refer = 1;
      else if (w == "centre" || w == "center")
        q.refer = 0;
      else if (w == "exit")
        q.refer = -1;
      else
        diagnostics_.error(item.where, "REFER is ENTRY, CENTRE or EXIT");
    } else if (item.name == "refpos") {
      q.refpos = word_of(s.tokens, item.begin, item.end);
    } else {
      diagnostics_.warning(item.where, "SEQUENCE attribute " + upper(item.name) + " ignored");
    }
  }
  if (!has_length)
    diagnostics_.error(s.where, "SEQUENCE " + upper(label) + " needs its length L");
  lattice_.sequences[label] = std::move(q);
  sequence_ = label;
}

} // namespace vorax::importer

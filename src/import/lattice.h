// The lattice as the MAD-X input describes it: variables, elements with their classes,
// sequences, beam lines and beams. Every value is kept as its expression together with the
// moment it was set, so that a value set with "=" (evaluated at once) keeps its formula in the
// deck only while nothing it depends on changes afterwards.
#pragma once

#include "import/diagnostics.h"
#include "import/expression.h"

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vorax::importer {

struct Definition {
  ExprPtr expr;               // a single value
  std::vector<ExprPtr> array; // a value in braces (KNL := {0, k1l})
  bool is_array = false;
  std::string text; // a word or a quoted text (APERTYPE = circle)
  bool is_text = false;
  bool deferred = false;      // set with ":="
  double value = 0.0;         // set with "=": the value at that moment
  std::vector<double> values; // the same for an array
  long tick = 0;              // when it was set
  Location where;
};

struct Variable {
  Definition def;
  bool constant = false; // CONST: never set again
};

struct Element {
  std::string name;
  std::string parent; // the class it is defined from: a kind or another element
  std::map<std::string, Definition> attributes;
  Location where;
};

struct SequenceItem {
  std::string name; // an element or a sequence
  Definition at;
  std::string from; // "" or the element AT counts from
  Location where;
};

struct Sequence {
  std::string name;
  Definition length;
  int refer = 0;      // where AT places an element: +1 its entry, 0 its centre, -1 its exit
  std::string refpos; // the element that places this sequence inside another
  std::vector<SequenceItem> items;
  Location where;
};

struct LineMember {
  std::string name;             // empty for a list in parentheses
  std::vector<LineMember> list; // the list, or the actual arguments of a line
  bool has_args = false;
  int repeat = 1;
  bool reflect = false;
  Location where;
};

struct Line {
  std::string name;
  std::vector<std::string> formals;
  std::vector<LineMember> body;
  Location where;
};

struct Beam {
  std::string particle = "positron";
  double mass = 0.51099895000e-3; // GeV
  double charge = 1.0;
  double energy = 1.0; // total energy, GeV
  double bv = 1.0;     // +1: the beam runs along the sequence
  Location where;
};

// The element kinds of the language, as written in a definition.
bool is_kind(const std::string &name);
// Attributes with no optics meaning (apertures, slot and assembly numbers, limits of power
// supplies, comments ...): real machine files carry them; the deck needs none of them.
bool ignored_attribute(const std::string &attr);

class Lattice {
public:
  explicit Lattice(Diagnostics &diagnostics) : diagnostics_(diagnostics) {}

  std::unordered_map<std::string, Variable> variables;
  std::vector<std::string> variable_order;
  std::unordered_map<std::string, Element> elements;
  std::vector<std::string> element_order;
  std::unordered_map<std::string, Sequence> sequences;
  std::unordered_map<std::string, Line> lines;
  std::map<std::string, Beam> beams; // by sequence name; "" is the beam of every other one
  bool rbarc = true;                 // an RBEND's L is its chord (OPTION, RBARC)
  std::string used;                  // the line of the latest USE
  Location used_where;

  long next_tick() { return ++tick_; }

  const Element *element(const std::string &name) const;
  // The kind at the root of an element's classes; "" when the chain is broken.
  std::string kind_of(const std::string &name) const;
  // The attribute as the element or the nearest of its classes sets it; null when none does.
  const Definition *attribute(const std::string &element, const std::string &attr) const;
  // The class of `name` nearest to it (itself included) that sets the attribute.
  const Element *owner(const std::string &element, const std::string &attr) const;
  const Beam &beam_of(const std::string &sequence) const;

  double evaluate(const ExprPtr &e);
  double value(const Definition &d); // its value now (0 for a text or an array)
  double item_value(const Definition &d, std::size_t i);
  double variable_value(const std::string &name);
  double attribute_value(const std::string &element, const std::string &attr, double fallback = 0);
  // BEAM->ENERGY, BEAM->PC, BEAM->BRHO ... of the beam of every sequence; false when `attr`
  // is not one of them.
  bool beam_value(const std::string &attr, double &value) const;

  // Sets d's value from its expression now, as "=" does.
  void settle(Definition &d);

  // True when the formula of d gives its value: it was set with ":=", or nothing it depends
  // on has been set since it was.
  bool keeps_formula(const Definition &d);
  // What the deck carries for d (or its item i): the formula, or the number it was given.
  ExprPtr carried(const Definition &d);
  ExprPtr carried_item(const Definition &d, std::size_t i);

private:
  bool unchanged_since(const ExprPtr &e, long tick, std::set<const Definition *> &seen);
  bool definition_unchanged(const Definition &d, long tick, std::set<const Definition *> &seen);

  Diagnostics &diagnostics_;
  long tick_ = 0;
  std::set<const Definition *> evaluating_;
  std::set<const Definition *> reported_;
};

} // namespace vorax::importer

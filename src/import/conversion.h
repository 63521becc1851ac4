// Each MAD-X element as the VORAX element (or elements) with the same map: the conventions of
// the two languages differ in the sense of TILT, the solenoid strength, an RBEND's length and
// faces, the units of LAG and the frequency of a cavity; docs/import.md derives each rule.
#pragma once

#include "import/diagnostics.h"
#include "import/expression.h"
#include "import/lattice.h"
#include "import/layout.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vorax::importer {

struct VoraxAttribute {
  std::string name;
  ExprPtr value;  // null for a flag written alone (a multipole term's skew angle T1)
  Location where; // where the value was given
};

struct VoraxElement {
  std::string keyword;
  std::vector<VoraxAttribute> attributes;
  bool named_place = false; // markers, monitors, kickers: kept apart under their own names
  std::string madx_name;    // the MAD-X element it comes from; "" for one made here
};

class Converter {
public:
  Converter(Lattice &lattice, Diagnostics &diagnostics, const Layout &layout);

  // The VORAX elements standing for the element at position p, in beam order (usually one; a
  // turned edge is ROLL, MATRIX, ROLL). Each element is converted once, its messages with it,
  // and the same list is returned for each of its positions; `ok` is false after errors.
  const std::vector<VoraxElement> &convert(std::size_t p, bool &ok);

private:
  bool convert_element(const std::string &name, bool exit_edge, std::vector<VoraxElement> &out);
  bool magnet(const std::string &name, const std::string &kind, VoraxElement &v);
  bool bend(const std::string &name, const std::string &kind, VoraxElement &v);
  bool edge(const std::string &name, bool exit, std::vector<VoraxElement> &out);
  void multipole(const std::string &name, VoraxElement &v);
  bool cavity(const std::string &name, VoraxElement &v);
  void kicker(const std::string &name, const std::string &kind, VoraxElement &v);
  void collimator(const std::string &name, const std::string &kind, VoraxElement &v);
  void check_attributes(const std::string &name, const std::string &kind);

  // The carried value of an attribute; null when it is not set or set to 0 as written.
  ExprPtr given(const std::string &name, const std::string &attr);
  double value(const std::string &name, const std::string &attr);
  Location where(const std::string &name, const std::string &attr);
  void put(VoraxElement &v, const std::string &attr, ExprPtr value, const Location &at);
  bool is_exit_edge(std::size_t p) const;

  Lattice &lattice_;
  Diagnostics &diagnostics_;
  const Layout &layout_;
  std::map<std::pair<std::string, bool>, std::pair<bool, std::vector<VoraxElement>>> done_;
};

} // namespace vorax::importer

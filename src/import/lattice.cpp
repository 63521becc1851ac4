// Look-ups and values of the lattice read from the input.
#include "import/lattice.h"

#include <cmath>

namespace vorax::importer {

bool is_kind(const std::string &name) {
  static const std::set<std::string> kinds = {
      "marker",      "drift",       "sbend",       "rbend",      "dipedge",     "quadrupole",
      "sextupole",   "octupole",    "multipole",   "solenoid",   "hkicker",     "vkicker",
      "kicker",      "tkicker",     "rfcavity",    "crabcavity", "rfmultipole", "twcavity",
      "elseparator", "hmonitor",    "vmonitor",    "monitor",    "instrument",  "placeholder",
      "collimator",  "ecollimator", "rcollimator", "beambeam",   "matrix",      "srotation",
      "xrotation",   "yrotation",   "translation", "changeref",  "nllens",      "wiggler"};
  return kinds.count(name) != 0;
}

bool ignored_attribute(const std::string &a) {
  static const std::set<std::string> ignored = {"type",        "apertype",
                                                "aperture",    "aper_offset",
                                                "aper_tol",    "aper_vx",
                                                "aper_vy",     "slot_id",
                                                "assembly_id", "mech_sep",
                                                "v_pos",       "kmax",
                                                "kmin",        "calib",
                                                "polarity",    "comments",
                                                "magnet",      "model",
                                                "method",      "exact",
                                                "nst",         "thick",
                                                "lrad",        "fringe",
                                                "bend_fringe", "mrex",
                                                "mrey",        "mredx",
                                                "mredy",       "arex",
                                                "arey",        "mscalx",
                                                "mscaly",      "sinkick",
                                                "sinpeak",     "sintune",
                                                "sinphase",    "no_cavity_totalpath",
                                                "n_bessel",    "lagf",
                                                "add_angle",   "apertype",
                                                "pos",         "occ_cnt",
                                                "selected"};
  return ignored.count(a) != 0;
}

const Element *Lattice::element(const std::string &name) const {
  const auto at = elements.find(name);
  return at == elements.end() ? nullptr : &at->second;
}

std::string Lattice::kind_of(const std::string &name) const {
  std::string at = name;
  for (int depth = 0; depth < 100; ++depth) {
    const Element *e = element(at);
    if (!e)
      return is_kind(at) ? at : "";
    at = e->parent;
  }
  return ""; // classes that lead round in a circle
}

const Element *Lattice::owner(const std::string &name, const std::string &attr) const {
  const Element *e = element(name);
  for (int depth = 0; e && depth < 100; ++depth) {
    if (e->attributes.count(attr) != 0)
      return e;
    e = element(e->parent);
  }
  return nullptr;
}

const Definition *Lattice::attribute(const std::string &name, const std::string &attr) const {
  const Element *e = owner(name, attr);
  return e ? &e->attributes.at(attr) : nullptr;
}

const Beam &Lattice::beam_of(const std::string &sequence) const {
  static const Beam standard;
  if (const auto at = beams.find(sequence); at != beams.end())
    return at->second;
  if (const auto at = beams.find(""); at != beams.end())
    return at->second;
  return standard;
}

double Lattice::variable_value(const std::string &name) {
  double v = 0;
  if (language_constant(name, v))
    return v;
  const auto at = variables.find(name);
  return at == variables.end() ? 0.0 : value(at->second.def);
}

bool Lattice::beam_value(const std::string &attr, double &value) const {
  const Beam &b = beam_of("");
  const double pc = std::sqrt(b.energy * b.energy - b.mass * b.mass);
  if (attr == "energy")
    value = b.energy;
  else if (attr == "pc")
    value = pc;
  else if (attr == "mass")
    value = b.mass;
  else if (attr == "charge")
    value = b.charge;
  else if (attr == "gamma")
    value = b.energy / b.mass;
  else if (attr == "beta")
    value = pc / b.energy;
  else if (attr == "brho")
    value = pc / (299792458.0 * 1e-9 * std::fabs(b.charge));
  else
    return false;
  return true;
}

double Lattice::attribute_value(const std::string &name, const std::string &attr, double fallback) {
  double v = 0;
  if (name == "beam" && !element(name) && beam_value(attr, v))
    return v;
  if (const Definition *d = attribute(name, attr))
    return value(*d);
  if (attr == "l")
    if (const auto at = sequences.find(name); at != sequences.end())
      return value(at->second.length);
  return fallback;
}

double Lattice::evaluate(const ExprPtr &e) {
  if (!e)
    return 0.0;
  switch (e->kind) {
  case Expr::Kind::number:
    return e->value;
  case Expr::Kind::name:
    return variable_value(e->name);
  case Expr::Kind::attribute:
    return attribute_value(e->name, e->attribute);
  case Expr::Kind::negate:
    return -evaluate(e->args[0]);
  case Expr::Kind::binary: {
    const double a = evaluate(e->args[0]);
    const double b = evaluate(e->args[1]);
    switch (e->op) {
    case '+':
      return a + b;
    case '-':
      return a - b;
    case '*':
      return a * b;
    case '/':
      return a / b;
    default:
      return std::pow(a, b);
    }
  }
  case Expr::Kind::call: {
    std::vector<double> args;
    for (const ExprPtr &a : e->args)
      args.push_back(evaluate(a));
    return apply_function(e->name, args);
  }
  case Expr::Kind::unavailable:
    return 0.0;
  }
  return 0.0;
}

double Lattice::value(const Definition &d) {
  if (d.is_text || d.is_array)
    return 0.0;
  if (!d.deferred)
    return d.value;
  if (evaluating_.count(&d) != 0) {
    if (reported_.insert(&d).second)
      diagnostics_.error(d.where, "this definition depends on itself");
    return 0.0;
  }
  evaluating_.insert(&d);
  const double v = evaluate(d.expr);
  evaluating_.erase(&d);
  return v;
}

double Lattice::item_value(const Definition &d, std::size_t i) {
  if (!d.is_array)
    return i == 0 ? value(d) : 0.0;
  if (i >= d.array.size())
    return 0.0;
  if (!d.deferred)
    return d.values[i];
  if (evaluating_.count(&d) != 0) {
    if (reported_.insert(&d).second)
      diagnostics_.error(d.where, "this definition depends on itself");
    return 0.0;
  }
  evaluating_.insert(&d);
  const double v = evaluate(d.array[i]);
  evaluating_.erase(&d);
  return v;
}

void Lattice::settle(Definition &d) {
  if (d.deferred || d.is_text)
    return;
  if (d.is_array) {
    d.values.clear();
    for (const ExprPtr &e : d.array)
      d.values.push_back(evaluate(e));
  } else {
    d.value = evaluate(d.expr);
  }
}

bool Lattice::definition_unchanged(const Definition &d, long tick,
                                   std::set<const Definition *> &seen) {
  if (d.tick > tick)
    return false;
  if (!d.deferred || !seen.insert(&d).second)
    return true;
  if (!unchanged_since(d.expr, tick, seen))
    return false;
  for (const ExprPtr &e : d.array)
    if (!unchanged_since(e, tick, seen))
      return false;
  return true;
}

bool Lattice::unchanged_since(const ExprPtr &e, long tick, std::set<const Definition *> &seen) {
  if (!e)
    return true;
  if (e->kind == Expr::Kind::name) {
    double v = 0;
    if (language_constant(e->name, v))
      return true;
    const auto at = variables.find(e->name);
    return at == variables.end() || definition_unchanged(at->second.def, tick, seen);
  }
  if (e->kind == Expr::Kind::attribute) {
    if (const Definition *d = attribute(e->name, e->attribute))
      return definition_unchanged(*d, tick, seen);
    if (const auto at = sequences.find(e->name); at != sequences.end() && e->attribute == "l")
      return definition_unchanged(at->second.length, tick, seen);
    return true;
  }
  for (const ExprPtr &a : e->args)
    if (!unchanged_since(a, tick, seen))
      return false;
  return true;
}

bool Lattice::keeps_formula(const Definition &d) {
  if (d.deferred || d.is_text)
    return true;
  std::set<const Definition *> seen{&d};
  if (!unchanged_since(d.expr, d.tick, seen))
    return false;
  for (const ExprPtr &e : d.array)
    if (!unchanged_since(e, d.tick, seen))
      return false;
  return true;
}

ExprPtr Lattice::carried(const Definition &d) {
  return keeps_formula(d) ? d.expr : number(d.value);
}

ExprPtr Lattice::carried_item(const Definition &d, std::size_t i) {
  if (!d.is_array)
    return i == 0 ? carried(d) : number(0);
  if (i >= d.array.size())
    return number(0);
  return keeps_formula(d) ? d.array[i] : number(d.values[i]);
}

} // namespace vorax::importer

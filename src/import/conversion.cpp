// The MAD-X elements as VORAX elements.
#include "import/conversion.h"

#include "common/cavity_masses.h"

#include <cmath>
#include <set>

namespace vorax::importer {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double CLIGHT = 299792458.0;

// The attributes each kind carries into the deck (or checks to be zero); any other attribute
// that is neither of them nor of the ignored ones is reported when it is set.
const std::set<std::string> &handled(const std::string &kind) {
  static const std::map<std::string, std::set<std::string>> table = {
      {"drift", {"l"}},
      {"marker", {}},
      {"sbend",
       {"l",
        "angle",
        "k0",
        "k1",
        "k2",
        "e1",
        "e2",
        "h1",
        "h2",
        "hgap",
        "hgapx",
        "fint",
        "fintx",
        "tilt",
        "k0s",
        "k1s",
        "k2s",
        "ktap",
        "kill_ent_fringe",
        "kill_exi_fringe"}},
      {"dipedge", {"h", "e1", "fint", "hgap", "tilt", "l"}},
      {"quadrupole", {"l", "k1", "k1s", "tilt", "ktap"}},
      {"sextupole", {"l", "k2", "k2s", "tilt", "ktap"}},
      {"octupole", {"l", "k3", "k3s", "tilt", "ktap"}},
      {"multipole", {"knl", "ksl", "tilt", "l"}},
      {"solenoid", {"l", "ks", "ksi", "tilt"}},
      {"hkicker", {"l", "kick", "chkick", "tilt"}},
      {"vkicker", {"l", "kick", "cvkick", "tilt"}},
      {"kicker", {"l", "hkick", "vkick", "chkick", "cvkick", "tilt"}},
      {"rfcavity", {"l", "volt", "lag", "freq", "harmon"}},
      {"collimator", {"l", "xsize", "ysize"}},
      {"monitor", {"l"}},
      {"srotation", {"angle"}},
      {"elseparator", {"l", "ex", "ey", "ex_l", "ey_l", "tilt"}},
      {"xrotation", {"angle"}},
      {"translation", {"dx", "dy", "ds"}},
      {"crabcavity", {"l", "volt", "lag", "freq", "harmon", "tilt"}},
      {"rfmultipole", {"l", "volt", "lag", "freq", "harmon", "knl", "ksl", "pnl", "psl", "tilt"}},
      {"beambeam", {"l"}},
      {"wiggler", {"l"}},
      {"placeholder", {"l"}},
      {"nllens", {"knll", "cnll"}},
      {"changeref", {"patch_ang", "patch_trans"}},
  };
  static const std::map<std::string, std::string> same = {{"rbend", "sbend"},
                                                          {"tkicker", "kicker"},
                                                          {"hmonitor", "monitor"},
                                                          {"vmonitor", "monitor"},
                                                          {"instrument", "placeholder"},
                                                          {"ecollimator", "collimator"},
                                                          {"rcollimator", "collimator"},
                                                          {"yrotation", "xrotation"},
                                                          {"twcavity", "crabcavity"}};
  static const std::set<std::string> none;
  const auto alias = same.find(kind);
  const auto at = table.find(alias == same.end() ? kind : alias->second);
  return at == table.end() ? none : at->second;
}

bool nonzero(Lattice &lattice, const Definition &d) {
  if (d.is_text)
    return !d.text.empty();
  if (d.is_array) {
    for (std::size_t i = 0; i < d.array.size(); ++i)
      if (lattice.item_value(d, i) != 0.0)
        return true;
    return false;
  }
  return lattice.value(d) != 0.0;
}

ExprPtr sum(ExprPtr a, ExprPtr b) {
  return a && b ? binary('+', a, b) : (a ? a : b);
}

} // namespace

Converter::Converter(Lattice &lattice, Diagnostics &diagnostics, const Layout &layout)
    : lattice_(lattice), diagnostics_(diagnostics), layout_(layout) {}

ExprPtr Converter::given(const std::string &name, const std::string &attr) {
  const Definition *d = lattice_.attribute(name, attr);
  if (!d || d->is_text)
    return nullptr;
  const ExprPtr e = lattice_.carried_item(*d, 0);
  return is_zero(e) ? nullptr : e;
}

double Converter::value(const std::string &name, const std::string &attr) {
  const Definition *d = lattice_.attribute(name, attr);
  return d ? lattice_.item_value(*d, 0) : 0.0;
}

Location Converter::where(const std::string &name, const std::string &attr) {
  const Definition *d = lattice_.attribute(name, attr);
  return d ? d->where : lattice_.element(name)->where;
}

void Converter::put(VoraxElement &v, const std::string &attr, ExprPtr e, const Location &at) {
  if (e)
    v.attributes.push_back({attr, std::move(e), at});
}

bool Converter::is_exit_edge(std::size_t p) const {
  // An edge closes the bend before it; markers between them do not count.
  while (p > 0) {
    --p;
    const Position &q = layout_.positions[p];
    const std::string kind = q.element.empty() ? "" : lattice_.kind_of(q.element);
    if (kind == "marker")
      continue;
    return kind == "sbend" || kind == "rbend";
  }
  return false;
}

const std::vector<VoraxElement> &Converter::convert(std::size_t p, bool &ok) {
  const std::string &name = layout_.positions[p].element;
  const bool exit = lattice_.kind_of(name) == "dipedge" && is_exit_edge(p);
  const auto key = std::make_pair(name, exit);
  auto at = done_.find(key);
  if (at == done_.end()) {
    std::vector<VoraxElement> parts;
    const bool converted = convert_element(name, exit, parts);
    at = done_.emplace(key, std::make_pair(converted, std::move(parts))).first;
  }
  ok = at->second.first;
  return at->second.second;
}

void Converter::check_attributes(const std::string &name, const std::string &kind) {
  std::set<std::string> seen;
  const std::set<std::string> &known = handled(kind);
  for (const Element *e = lattice_.element(name); e && seen.size() < 10000;
       e = lattice_.element(e->parent)) {
    for (const auto &[attr, d] : e->attributes) {
      if (!seen.insert(attr).second || known.count(attr) != 0 || ignored_attribute(attr))
        continue;
      if (nonzero(lattice_, d))
        diagnostics_.warning(d.where, upper(attr) + " of " + upper(kind) + " " + upper(name) +
                                          " is not carried (VORAX has no such attribute)");
    }
    if (e->parent == e->name)
      break;
  }
}

bool Converter::convert_element(const std::string &name, bool exit_edge,
                                std::vector<VoraxElement> &out) {
  const std::string kind = lattice_.kind_of(name);
  const Location at = lattice_.element(name)->where;
  if (kind.empty()) {
    diagnostics_.error(at, "the classes of " + upper(name) + " lead to no element kind");
    return false;
  }
  check_attributes(name, kind);
  VoraxElement v;
  v.madx_name = name;
  const ExprPtr length = given(name, "l");
  bool ok = true;
  if (kind == "drift") {
    v.keyword = "DRIFT";
    put(v, "L", length, where(name, "l"));
  } else if (kind == "marker") {
    v.keyword = "MARKER";
    v.named_place = true;
  } else if (kind == "sbend" || kind == "rbend") {
    ok = bend(name, kind, v);
  } else if (kind == "dipedge") {
    return edge(name, exit_edge, out);
  } else if (kind == "quadrupole" || kind == "sextupole" || kind == "octupole") {
    ok = magnet(name, kind, v);
  } else if (kind == "multipole") {
    multipole(name, v);
  } else if (kind == "solenoid") {
    // KS of the other code is Bs/(B rho); VORAX's solenoid turns the plane at half that rate.
    v.keyword = "SOLENOID";
    put(v, "L", length, where(name, "l"));
    if (const ExprPtr ks = given(name, "ks"))
      put(v, "KS", binary('/', ks, number(2)), where(name, "ks"));
    if (!length && given(name, "ksi")) {
      diagnostics_.error(where(name, "ksi"), "the thin solenoid " + upper(name) +
                                                 " (KSI, no length) cannot be expressed in VORAX");
      ok = false;
    }
  } else if (kind == "hkicker" || kind == "vkicker" || kind == "kicker" || kind == "tkicker") {
    kicker(name, kind, v);
  } else if (kind == "rfcavity") {
    ok = cavity(name, v);
  } else if (kind == "ecollimator" || kind == "rcollimator" || kind == "collimator") {
    collimator(name, kind, v);
  } else if (kind == "hmonitor" || kind == "vmonitor" || kind == "monitor") {
    v.keyword = upper(kind);
    v.named_place = true;
    put(v, "L", length, where(name, "l"));
  } else if (kind == "instrument" || kind == "placeholder") {
    // No field: its drift, or a marker when it has no length.
    v.keyword = length ? "DRIFT" : "MARKER";
    v.named_place = true;
    put(v, "L", length, where(name, "l"));
  } else if (kind == "srotation") {
    // Both languages turn the axes alike: x <- cos a x + sin a y, y <- cos a y - sin a x.
    v.keyword = "ROLL";
    put(v, "ANGLE", given(name, "angle"), where(name, "angle"));
  } else if (kind == "elseparator" || kind == "wiggler") {
    v.keyword = "DRIFT";
    put(v, "L", length, where(name, "l"));
    const bool field = kind == "wiggler" || given(name, "ex") || given(name, "ey") ||
                       given(name, "ex_l") || given(name, "ey_l");
    if (field)
      diagnostics_.warning(at, upper(kind) + " " + upper(name) +
                                   " is approximated by a drift: VORAX has no field of its kind");
  } else if (kind == "crabcavity" || kind == "rfmultipole" || kind == "twcavity" ||
             kind == "beambeam") {
    v.keyword = length ? "DRIFT" : "MARKER";
    v.named_place = !length;
    put(v, "L", length, where(name, "l"));
    const bool field = kind == "beambeam" || given(name, "volt") ||
                       (kind == "rfmultipole" &&
                        (lattice_.attribute(name, "knl") || lattice_.attribute(name, "ksl")));
    if (field)
      diagnostics_.warning(at, upper(kind) + " " + upper(name) + " is approximated by a " +
                                   (length ? "drift" : "marker") +
                                   ": VORAX has no field of its kind");
  } else {
    // Changes of the reference frame and fields VORAX has no element for: only their neutral
    // settings can be carried.
    bool active = false;
    for (const char *a : {"angle", "dx", "dy", "ds", "knll", "cnll"})
      active = active || given(name, a) != nullptr;
    for (const Element *e = lattice_.element(name); e; e = lattice_.element(e->parent)) {
      for (const auto &[attr, d] : e->attributes)
        if ((kind == "matrix" || kind == "changeref") && nonzero(lattice_, d))
          active = true;
      if (e->parent == e->name)
        break;
    }
    if (active) {
      diagnostics_.error(at, upper(kind) + " " + upper(name) + " cannot be expressed in VORAX");
      return false;
    }
    v.keyword = length ? "DRIFT" : "MARKER";
    v.named_place = true;
    put(v, "L", length, where(name, "l"));
  }
  out.push_back(std::move(v));
  return ok;
}

bool Converter::bend(const std::string &name, const std::string &kind, VoraxElement &v) {
  ExprPtr length = given(name, "l");
  const ExprPtr angle = given(name, "angle");
  bool ok = true;
  if (angle && !length) {
    diagnostics_.error(where(name, "angle"),
                       "the bend " + upper(name) + " has an angle but no length");
    return false;
  }
  for (const char *skew : {"k0s", "k1s", "k2s"})
    if (given(name, skew)) {
      diagnostics_.error(where(name, skew),
                         upper(skew) + " of " + upper(name) + ": VORAX's bends have no skew field");
      ok = false;
    }
  if (given(name, "k0") && !angle) {
    diagnostics_.error(where(name, "k0"),
                       "K0 without ANGLE in " + upper(name) + " cannot be expressed in VORAX");
    ok = false;
  }
  ExprPtr e1 = given(name, "e1"), e2 = given(name, "e2");
  v.keyword = "SBEND";
  const double arc = element_length(lattice_, name);
  if (kind == "rbend" && angle) {
    // The other code's RBEND: L is the chord under OPTION, RBARC (the default), and each face
    // turns by half the angle beyond the E1, E2 given.
    const ExprPtr half = binary('/', angle, number(2));
    if (lattice_.rbarc && value(name, "angle") != 0.0)
      length = binary('/', binary('*', length, half), call("sin", {half}));
    if (!e1 && !e2) {
      v.keyword = "RBEND"; // VORAX's RBEND turns each face by half the angle itself
    } else {
      e1 = e1 ? binary('+', e1, half) : half;
      e2 = e2 ? binary('+', e2, half) : half;
    }
  }
  if (const ExprPtr k0 = given(name, "k0"); k0 && angle && arc != 0.0) {
    const double a = value(name, "angle");
    if (std::fabs(value(name, "k0") * arc - a) > 1e-12 * std::fabs(a))
      diagnostics_.warning(
          where(name, "k0"),
          "K0 of " + upper(name) +
              " differs from ANGLE/L: the difference "
              "only moves the orbit, which VORAX's maps about the reference leave out");
  }
  if (given(name, "ktap"))
    diagnostics_.warning(where(name, "ktap"), "KTAP of the bend " + upper(name) +
                                                  " is not carried (approximated by no taper)");
  for (const char *kill : {"kill_ent_fringe", "kill_exi_fringe"})
    if (given(name, kill))
      diagnostics_.warning(where(name, kill), upper(kill) + " of " + upper(name) +
                                                  " is not carried: VORAX keeps the edge");
  put(v, "L", length, where(name, "l"));
  put(v, "ANGLE", angle, where(name, "angle"));
  put(v, "K1", given(name, "k1"), where(name, "k1"));
  put(v, "K2", given(name, "k2"), where(name, "k2"));
  put(v, "E1", e1, where(name, "e1"));
  put(v, "E2", e2, where(name, "e2"));
  put(v, "H1", given(name, "h1"), where(name, "h1"));
  put(v, "H2", given(name, "h2"), where(name, "h2"));
  const ExprPtr hgap = given(name, "hgap"), hgapx = given(name, "hgapx");
  if (hgap || hgapx) {
    // VORAX's FINT is 0.5 unless given, the other code's 0; a negative FINTX (its default)
    // means "as FINT".
    ExprPtr fint = given(name, "fint");
    if (!fint)
      fint = number(0);
    const Definition *fx = lattice_.attribute(name, "fintx");
    const ExprPtr fintx = fx && lattice_.item_value(*fx, 0) >= 0.0 ? lattice_.carried(*fx) : fint;
    put(v, "HGAP", hgap, where(name, "hgap"));
    put(v, "FINT", fint, where(name, "fint"));
    put(v, "HGAPX", hgapx ? hgapx : (hgap ? hgap : number(0)), where(name, "hgapx"));
    put(v, "FINTX", fintx, where(name, "fintx"));
  }
  if (const ExprPtr tilt = given(name, "tilt"))
    put(v, "TILT", negate(tilt), where(name, "tilt"));
  return ok;
}

bool Converter::magnet(const std::string &name, const std::string &kind, VoraxElement &v) {
  const int order = kind == "quadrupole" ? 1 : (kind == "sextupole" ? 2 : 3);
  const std::string k = "k" + std::to_string(order);
  v.keyword = upper(kind);
  ExprPtr kn = given(name, k), ks = given(name, k + "s");
  if (const ExprPtr taper = given(name, "ktap")) {
    const ExprPtr factor = binary('+', number(1), taper);
    kn = kn ? binary('*', kn, factor) : nullptr;
    ks = ks ? binary('*', ks, factor) : nullptr;
  }
  // The skew field (K1S, K2S, K3S) is the upright one turned by pi/(2(n+1)) the VORAX way; the
  // other code's TILT turns the opposite way.
  ExprPtr strength = kn, angle;
  if (ks && kn) {
    strength = call("sqrt", {binary('+', binary('*', kn, kn), binary('*', ks, ks))});
    angle = number(std::atan2(value(name, k + "s"), value(name, k)) / (order + 1));
    if (!is_constant(kn) || !is_constant(ks))
      diagnostics_.warning(where(name, k + "s"),
                           upper(k) + " and " + upper(k) + "S of " + upper(name) +
                               " both set: the angle of their sum is fixed at today's values");
  } else if (ks) {
    strength = ks;
    angle = number(PI / (2 * (order + 1)));
  }
  const ExprPtr tilt = given(name, "tilt");
  const ExprPtr turn =
      angle && tilt ? binary('-', angle, tilt) : (angle ? angle : (tilt ? negate(tilt) : nullptr));
  put(v, "L", given(name, "l"), where(name, "l"));
  put(v, upper(k), strength, where(name, ks && !kn ? k + "s" : k));
  put(v, "TILT", turn, where(name, "tilt"));
  return true;
}

void Converter::multipole(const std::string &name, VoraxElement &v) {
  v.keyword = "MULTIPOLE";
  const Definition *knl = lattice_.attribute(name, "knl");
  const Definition *ksl = lattice_.attribute(name, "ksl");
  const auto size = [](const Definition *d) { return d ? (d->is_array ? d->array.size() : 1) : 0; };
  const std::size_t orders = std::max(size(knl), size(ksl));
  const auto item = [&](const Definition *d, std::size_t n) -> ExprPtr {
    if (!d || d->is_text)
      return nullptr;
    const ExprPtr e = lattice_.carried_item(*d, n);
    return is_zero(e) ? nullptr : e;
  };
  for (std::size_t n = 0; n < orders; ++n) {
    const ExprPtr kn = item(knl, n), ks = item(ksl, n);
    if (!kn && !ks)
      continue;
    const Location at = (ks ? ksl : knl)->where;
    if (n > 20) {
      diagnostics_.error(at, "order " + std::to_string(n) + " of MULTIPOLE " + upper(name) +
                                 ": VORAX's multipoles end at order 20");
      continue;
    }
    const std::string index = std::to_string(n);
    if (kn && ks) {
      put(v, "K" + index, call("sqrt", {binary('+', binary('*', kn, kn), binary('*', ks, ks))}),
          at);
      put(v, "T" + index,
          number(std::atan2(lattice_.item_value(*ksl, n), lattice_.item_value(*knl, n)) /
                 static_cast<double>(n + 1)),
          at);
      if (!is_constant(kn) || !is_constant(ks))
        diagnostics_.warning(at,
                             "KNL and KSL of order " + index + " of " + upper(name) +
                                 " both set: the angle of their sum is fixed at today's values");
    } else if (ks) {
      put(v, "K" + index, ks, at);
      v.attributes.push_back({"T" + index, nullptr, at}); // the skew angle pi/(2(n+1))
    } else {
      put(v, "K" + index, kn, at);
    }
    if (n == 0)
      diagnostics_.warning(at, "the dipole term of MULTIPOLE " + upper(name) +
                                   " only kicks the orbit in VORAX: its dispersion is left out "
                                   "of the maps");
  }
  if (given(name, "l"))
    diagnostics_.warning(where(name, "l"),
                         "L of MULTIPOLE " + upper(name) + " is ignored: a multipole is thin");
  if (const ExprPtr tilt = given(name, "tilt"))
    put(v, "TILT", negate(tilt), where(name, "tilt"));
}

bool Converter::cavity(const std::string &name, VoraxElement &v) {
  v.keyword = "RFCAVITY";
  put(v, "L", given(name, "l"), where(name, "l"));
  put(v, "VOLT", given(name, "volt"), where(name, "volt"));
  // LAG is in turns (units of 2 pi) there, in radians here.
  if (const ExprPtr lag = given(name, "lag"))
    put(v, "LAG", binary('*', number(2 * PI), lag), where(name, "lag"));
  const Beam &beam = lattice_.beam_of(layout_.name);
  const double electron = std::fabs(beam.mass - CAVITY_ELECTRON_MASS);
  const double proton = std::fabs(beam.mass - CAVITY_PROTON_MASS);
  const double mass = electron <= proton ? CAVITY_ELECTRON_MASS : CAVITY_PROTON_MASS;
  const bool known = beam.particle == "electron" || beam.particle == "positron" ||
                     beam.particle == "proton" || beam.particle == "antiproton";
  if (!known)
    diagnostics_.warning(lattice_.element(name)->where,
                         "VORAX's cavities know the electron and the proton: the RF of " +
                             upper(name) + " is computed for the " +
                             (mass == CAVITY_ELECTRON_MASS ? "electron" : "proton") + "'s mass");
  // ENERGY is the kinetic energy: VORAX adds its own rest mass to it.
  put(v, "ENERGY", number(beam.energy - mass), beam.where);
  // FREQ is the harmonic number: VORAX makes the frequency from it and the machine's length.
  if (const ExprPtr harmon = given(name, "harmon")) {
    put(v, "FREQ", harmon, where(name, "harmon"));
  } else if (const ExprPtr freq = given(name, "freq")) {
    const double beta = std::sqrt(1.0 - (mass / beam.energy) * (mass / beam.energy));
    if (layout_.length <= 0.0) {
      diagnostics_.error(where(name, "freq"),
                         "the frequency of " + upper(name) + " needs a machine of some length");
      return false;
    }
    put(v, "FREQ", binary('*', freq, number(1e6 * layout_.length / (beta * CLIGHT))),
        where(name, "freq"));
  }
  return true;
}

void Converter::kicker(const std::string &name, const std::string &kind, VoraxElement &v) {
  v.named_place = true;
  const ExprPtr tilt = given(name, "tilt");
  ExprPtr horizontal, vertical;
  if (kind == "hkicker")
    horizontal = sum(given(name, "kick"), given(name, "chkick"));
  else if (kind == "vkicker")
    vertical = sum(given(name, "kick"), given(name, "cvkick"));
  else {
    horizontal = sum(given(name, "hkick"), given(name, "chkick"));
    vertical = sum(given(name, "vkick"), given(name, "cvkick"));
  }
  const Location at = lattice_.element(name)->where;
  if (kind == "vkicker" || (kind != "hkicker" && vertical && !horizontal)) {
    v.keyword = "VKICK";
    put(v, "L", given(name, "l"), where(name, "l"));
    put(v, "KICK", vertical, at);
  } else if (kind == "hkicker" || !vertical) {
    v.keyword = "HKICK";
    put(v, "L", given(name, "l"), where(name, "l"));
    put(v, "KICK", horizontal, at);
  } else {
    // Both planes: the kick (h, v) of the element's frame turned into the reference frame
    // by the other code's TILT t: (h cos t - v sin t, h sin t + v cos t).
    v.keyword = "GKICK";
    put(v, "L", given(name, "l"), where(name, "l"));
    if (tilt) {
      const ExprPtr c = call("cos", {tilt}), s = call("sin", {tilt});
      put(v, "DXP", binary('-', binary('*', horizontal, c), binary('*', vertical, s)), at);
      put(v, "DYP", binary('+', binary('*', horizontal, s), binary('*', vertical, c)), at);
    } else {
      put(v, "DXP", horizontal, at);
      put(v, "DYP", vertical, at);
    }
    return;
  }
  if (tilt)
    put(v, "TILT", negate(tilt), where(name, "tilt"));
}

void Converter::collimator(const std::string &name, const std::string &kind, VoraxElement &v) {
  put(v, "L", given(name, "l"), where(name, "l"));
  const ExprPtr xsize = given(name, "xsize"), ysize = given(name, "ysize");
  std::string type;
  if (const Definition *d = lattice_.attribute(name, "apertype"))
    type = d->is_text ? d->text : d->expr && d->expr->kind == Expr::Kind::name ? d->expr->name : "";
  for (char &c : type)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const Definition *aperture = lattice_.attribute(name, "aperture");
  if (kind == "collimator" && !xsize && !ysize) {
    if (type == "circle" || type == "ellipse")
      v.keyword = "ECOLLIMATOR";
    else if (type == "rectangle")
      v.keyword = "RCOLLIMATOR";
    else {
      v.keyword = "DRIFT";
      if (!type.empty())
        diagnostics_.warning(lattice_.element(name)->where, "the aperture " + upper(type) +
                                                                " of COLLIMATOR " + upper(name) +
                                                                " is not carried: it is a drift");
      return;
    }
  } else {
    v.keyword = kind == "rcollimator" || (kind == "collimator" && type == "rectangle")
                    ? "RCOLLIMATOR"
                    : "ECOLLIMATOR";
  }
  if (xsize || ysize || !aperture) {
    put(v, "XSIZE", xsize, where(name, "xsize"));
    put(v, "YSIZE", ysize, where(name, "ysize"));
    return;
  }
  // The half-apertures of APERTURE: one radius for a circle, two half-axes otherwise.
  const ExprPtr a = lattice_.carried_item(*aperture, 0);
  const ExprPtr b = type == "circle" ? a : lattice_.carried_item(*aperture, 1);
  put(v, "XSIZE", is_zero(a) ? nullptr : a, aperture->where);
  put(v, "YSIZE", is_zero(b) ? nullptr : b, aperture->where);
}

namespace {

// A map to second order, 1-based: v'(i) = R(i,j) v(j) + T(i,j,k) v(j) v(k), j <= k.
struct Map2 {
  double r[7][7] = {};
  double t[7][7][7] = {};
  static Map2 identity() {
    Map2 m;
    for (int i = 1; i <= 6; ++i)
      m.r[i][i] = 1.0;
    return m;
  }
};

// `second` after `first`, to second order.
Map2 compose(const Map2 &second, const Map2 &first) {
  Map2 out;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      for (int l = 1; l <= 6; ++l)
        out.r[i][j] += second.r[i][l] * first.r[l][j];
  for (int i = 1; i <= 6; ++i) {
    for (int l = 1; l <= 6; ++l)
      for (int j = 1; j <= 6; ++j)
        for (int k = j; k <= 6; ++k)
          out.t[i][j][k] += second.r[i][l] * first.t[l][j][k];
    // T2(i,l,m) (R1 v)_l (R1 v)_m, gathered by monomials v_j v_k, j <= k.
    for (int l = 1; l <= 6; ++l)
      for (int m = l; m <= 6; ++m) {
        const double c = second.t[i][l][m];
        if (c == 0.0)
          continue;
        for (int j = 1; j <= 6; ++j)
          for (int k = 1; k <= 6; ++k) {
            const double p = c * first.r[l][j] * first.r[m][k];
            if (j <= k)
              out.t[i][j][k] += p;
            else
              out.t[i][k][j] += p;
          }
      }
  }
  return out;
}

// The face of a bend as VORAX's bend builds it: curvature h, face angle e, fringe
// correction psi, no gradient and a straight face; the exit form when `exit`.
Map2 face(double h, double e, double psi, bool exit) {
  Map2 m = Map2::identity();
  const double tau = std::tan(e);
  const double tan_eff = std::tan(e - psi);
  const double s2 = 1.0 + tau * tau;
  const double fringe = tan_eff - tau;
  const double sec_eff = 1.0 + tan_eff * tan_eff;
  m.r[2][1] = h * tau;
  m.r[4][3] = -h * tan_eff;
  m.t[2][1][6] = -h * tau;
  m.t[4][3][6] = h * tan_eff - h * psi * sec_eff;
  m.t[5][3][3] = -0.5 * h * psi * sec_eff;
  const double side = exit ? -1.0 : 1.0;
  m.t[1][1][1] = -side * 0.5 * h * tau * tau;
  m.t[1][3][3] = side * 0.5 * h * s2;
  m.t[2][1][2] = side * h * s2;
  m.t[2][3][4] = -side * h * tau * tau;
  m.t[3][1][3] = side * h * tau * tau;
  m.t[4][2][3] = -side * h * s2;
  if (!exit) {
    m.t[2][1][1] = h * h * tau;
    m.t[2][3][3] = 0.5 * h * h * tau * (tau * tau + s2);
    m.t[4][1][3] = -h * h * tau - h * h * fringe * (1.0 + tau * tau);
    m.t[4][1][4] = h * (1.0 - tau * tau);
  } else {
    m.t[2][1][1] = -0.5 * h * h * tau * tau * tau;
    m.t[2][3][3] = -0.5 * h * h * tau * tau * tau - h * h * tau * tau * fringe;
    m.t[4][1][3] = h * h * tau * s2 - h * h * fringe * tau * tau;
    m.t[4][1][4] = h * (tau * tau - 1.0);
  }
  return m;
}

} // namespace

bool Converter::edge(const std::string &name, bool exit, std::vector<VoraxElement> &out) {
  // A thin edge turns the face of the bend beside it and adds its fringe field. VORAX's bend
  // has faces of its own even at angle 0 (the change between the straight and the curved
  // frame); the edge is the map that, next to a bend without faces, makes the bend with these
  // faces: the face with angle e after the inverse of the plain face (entrance), or before it
  // (exit). It is written as the MATRIX of its terms; a bend stands right before an exit edge.
  const double h = value(name, "h");
  const double e = value(name, "e1");
  VoraxElement m;
  m.madx_name = name;
  if (h == 0.0) {
    m.keyword = "MARKER";
    m.named_place = true;
    out.push_back(std::move(m));
    return true;
  }
  m.keyword = "MATRIX";
  const double psi = 2.0 * value(name, "fint") * value(name, "hgap") * h *
                     (1.0 + std::sin(e) * std::sin(e)) / std::cos(e);
  // The plain face is the identity to first order: its inverse is minus its second order.
  Map2 undo = face(h, 0.0, 0.0, exit);
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      for (int k = j; k <= 6; ++k)
        undo.t[i][j][k] = -undo.t[i][j][k];
  const Map2 turned = face(h, e, psi, exit);
  const Map2 edge = exit ? compose(turned, undo) : compose(undo, turned);
  const Location at = lattice_.element(name)->where;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      if (edge.r[i][j] != 0.0)
        put(m, "R" + std::to_string(10 * i + j), number(edge.r[i][j]), at);
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      for (int k = j; k <= 6; ++k)
        if (std::fabs(edge.t[i][j][k]) > 1e-15 * std::fabs(h))
          put(m, "T" + std::to_string(100 * i + 10 * j + k), number(edge.t[i][j][k]), at);
  const ExprPtr tilt = given(name, "tilt");
  if (!tilt) {
    out.push_back(std::move(m));
    return true;
  }
  // Turned by the other code's TILT t: ROLL t, the edge, ROLL -t (docs/import.md).
  VoraxElement in, back;
  in.keyword = back.keyword = "ROLL";
  put(in, "ANGLE", tilt, where(name, "tilt"));
  put(back, "ANGLE", negate(tilt), where(name, "tilt"));
  out.push_back(std::move(in));
  out.push_back(std::move(m));
  out.push_back(std::move(back));
  return true;
}

} // namespace vorax::importer

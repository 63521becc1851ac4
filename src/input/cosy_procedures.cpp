// The element procedures of a COSY script: each element kind's procedure written from its data
// slots, with the unit conventions turned into COSY's (degrees, strengths, field indices).
#include "input/cosy_procedures.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/slots.h"
#include "common/units.h"
#include "input/elements.h"

#include <cmath>
#include <string>

namespace vorax {

namespace {

constexpr double DEGREES = 57.29577951308232;            // degrees per radian
constexpr double RADIANS = 0.017453292519943295;         // radians per degree
constexpr double NEGLIGIBLE_TILT = 1e-6;                 // degrees; a smaller tilt is not written
constexpr double SIXTH = 1.0 / 6.0;                      // the octupole's 1/3!
constexpr double THIN_LENGTH = 1e-6;                     // a thin multipole's length in COSY
constexpr double DEFAULT_GAP = static_cast<float>(0.05); // COSY needs a gap; held in single

// The error variables of the lengths and angles that field errors may change; each kind's are
// apart from those of its field values.
constexpr int BEND_LENGTH_ERV = 7, BEND_ANGLE_ERV = 8;
constexpr int LENS_LENGTH_ERV = 2;
constexpr int QUADSEXT_LENGTH_ERV = 3;
constexpr int KICK_BEFORE_ERV = 8, KICK_AFTER_ERV = 9; // the drifts around a kick
constexpr int MULTIPOLE_LENGTH_ERV = 23;               // the body, or the drifts without terms

// A number as the script writes most of them: 24 columns, 16 decimals.
std::string num(double v) {
  return fE(v, 24, 16);
}
// A number written with its error variable: 23 columns, 16 decimals, then "+erv(k)".
std::string with_erv(double v, int k) {
  return fE(v, 23, 16) + "+erv(" + std::to_string(k) + ")";
}
// A value of a multipole, a quadsext tilt or a kick (14 columns, 6 decimals), with its error
// variable when k > 0.
std::string short_num(double v, int k = 0) {
  return fE(v, 14, 6) + (k > 0 ? "+erv(" + std::to_string(k) + ")" : std::string());
}

std::string name_of(const CosyElement &e) {
  return std::string(e.name.view());
}

// A tilt in COSY's degrees with the sense of the standard convention.
double tilt_degrees(double tilt, int units) {
  if (units == 2)
    return tilt;
  return units == 1 ? -tilt * DEGREES : tilt * DEGREES;
}

// The bend in COSY's terms: angles in degrees, radius, strengths, edge tangents and curvature
// terms.
struct Bend {
  double length = 0, angle = 0, rho = 0, gap = 0, e1 = 0, e2 = 0, h1 = 0, h2 = 0;
  double k1 = 0, k2 = 0, t1 = 0, c1 = 0, t2 = 0, c2 = 0;
  double tilt = 0; // degrees, in the sense of the standard convention
  bool gap_was_zero = false;
  // A bend without length or angle has no radius: COSY's dipole cannot take it.
  bool straight = false;
  // A straight bend with a gradient or sextupole term is the straight magnet the maps build:
  // k1 and k2 are then its quadrupole and sextupole strengths as a QUADSEXT has them.
  bool straight_magnet = false;
};

Bend bend_of(const CosyElement &e, int units) {
  namespace b = slot::bend;
  Bend d;
  d.length = e.slot(b::L);
  d.angle = e.slot(b::ANGLE);
  d.e1 = e.slot(b::E1); // a rectangular bend holds ANGLE/2 in both edges
  d.e2 = e.slot(b::E2);
  d.k1 = e.slot(b::K1);
  d.k2 = e.slot(b::K2);
  d.h1 = e.slot(b::H1);
  d.h2 = e.slot(b::H2);
  d.gap = e.slot(b::HGAP);
  if (units != 2) {
    d.angle *= DEGREES;
    d.e1 *= DEGREES;
    d.e2 *= DEGREES;
  }
  d.tilt = tilt_degrees(e.slot(b::TILT), units);
  d.straight = d.length == 0.0 || d.angle == 0.0;
  if (d.straight) {
    // Field indices mean nothing without a curvature: under MERIDOXAN it stays a drift.
    d.straight_magnet = d.angle == 0.0 && units != 2 && (d.k1 != 0.0 || d.k2 != 0.0);
    if (units == 1) {
      d.k1 = -d.k1;
      d.k2 = -0.5 * d.k2;
    } else {
      d.k2 = 0.5 * d.k2;
    }
    return d;
  }
  const double h = d.angle * RADIANS / d.length;
  d.rho = 1.0 / h;
  if (units == 0) {
    d.k2 = 0.5 * d.k2;
  } else if (units == 1) {
    // LDF reverses the sign of both field terms, as the bend's map reads them.
    d.k1 = -d.k1;
    d.k2 = -0.5 * d.k2;
  } else {
    // Field indices become gradients.
    d.k1 = -h * h * d.k1;
    d.k2 = h * h * h * d.k2;
  }
  if (d.gap == 0.0) {
    d.gap = DEFAULT_GAP;
    d.gap_was_zero = true;
  }
  d.t1 = std::tan(d.e1 * RADIANS);
  d.t2 = std::tan(d.e2 * RADIANS);
  d.c1 = std::pow(1.0 + d.t1 * d.t1, 1.5) * d.h1;
  d.c2 = std::pow(1.0 + d.t2 * d.t2, 1.5) * d.h2;
  return d;
}

// An angle in radians with the sense of the standard convention.
double standard_angle(double angle, int units) {
  return units == 2 ? angle * RADIANS : units == 1 ? -angle : angle;
}

// Quadrupole, sextupole and octupole: strength G, tilt, length and aperture.
struct Lens {
  const char *word = "quad";
  double length = 0, strength = 0, aperture = 0, tilt = 0;
  bool octupole = false;
};

Lens lens_of(const CosyElement &e, int units) {
  Lens d;
  switch (e.keyword) {
  case KW_QUADRUPO:
    d.strength = units == 1 ? -e.slot(slot::quad::K1) : e.slot(slot::quad::K1);
    d.aperture = e.slot(slot::quad::APERTURE);
    d.tilt = e.slot(slot::quad::TILT);
    break;
  case KW_SEXTUPOL: {
    d.word = "sext";
    const double k2 = e.slot(slot::sext::K2);
    d.strength = units == 0 ? 0.5 * k2 : units == 1 ? -0.5 * k2 : k2;
    d.aperture = e.slot(slot::sext::APERTURE);
    d.tilt = e.slot(slot::sext::TILT);
    break;
  }
  default: { // OCTUPOLE: one multipole term
    namespace mp = slot::multipole;
    d.word = "octu";
    d.octupole = true;
    const double k3 = e.slot(mp::term_strength(1));
    // As a one-term multipole in the maps and tracking: K3/3! in both the standard and the LDF
    // convention, where the odd orders change sign.
    d.strength = units == 0 ? k3 * SIXTH : units == 1 ? -k3 * SIXTH : k3;
    d.aperture = e.slot(mp::aperture(1));
    d.tilt = e.slot(mp::tilt(1));
    break;
  }
  }
  d.length = e.slot(slot::L);
  d.tilt = tilt_degrees(d.tilt, units);
  return d;
}

// The terms of a multipole: order n, strength a (scaled and divided by n! where COSY wants
// it), angle b in degrees. The dipole term has no place among COSY's multipole terms, which
// begin with the quadrupole: it is the thin kick tracking gives it, in the middle of the
// element.
struct Multipole {
  double length = 0, aperture = 0;
  int terms = 0;
  int highest = 0;
  int order[slot::multipole::MAX_TERMS] = {};
  double a[slot::multipole::MAX_TERMS] = {};
  double b[slot::multipole::MAX_TERMS] = {};
  bool dipole = false;
  double dipole_dxp = 0, dipole_dyp = 0;
};

Multipole multipole_of(const CosyElement &e, int units) {
  namespace mp = slot::multipole;
  Multipole d;
  const int room = mp::room(e.count);
  const double stored = e.slot(mp::COUNT);
  const int count = stored >= room ? room : (stored >= 1.0 ? static_cast<int>(stored) : 0);
  d.length = e.slot(mp::L);
  const double given_length = d.length;
  // COSY's multipole needs a length: a thin one becomes short and correspondingly strong.
  double factor = 1.0;
  if (d.length == 0.0) {
    d.length = THIN_LENGTH;
    factor = 1.0 / THIN_LENGTH;
  }
  // The engine multiplies every strength by the scale factor, and so does the script, so that
  // both describe the same magnet.
  const double scale = e.slot(mp::SCALE);
  const double tilt = e.slot(mp::tilt(count));
  d.aperture = e.slot(mp::aperture(count));
  for (int j = 1; j <= count; ++j) {
    const int n = static_cast<int>(e.slot(mp::term_order(j))) - 1;
    if (n < 0 || n >= mp::MAX_TERMS)
      continue;
    if (n == 0) {
      // The dipole kick: K0 integrated over the element, its field turned by T0 and the
      // element by TILT, each in the sense of the standard convention.
      const double k = e.slot(mp::term_strength(j)) * (given_length != 0.0 ? given_length : 1.0);
      const double theta = standard_angle(e.slot(mp::term_angle(j)), units);
      const double psi = standard_angle(tilt, units);
      const double kx = -scale * (k * std::cos(theta)), ky = scale * (k * std::sin(theta));
      d.dipole = true;
      d.dipole_dxp = std::cos(psi) * kx + std::sin(psi) * ky;
      d.dipole_dyp = -std::sin(psi) * kx + std::cos(psi) * ky;
      continue;
    }
    double a = e.slot(mp::term_strength(j)) * factor * scale;
    if (units != 2)
      for (int f = 2; f <= n; ++f)
        a /= f;
    // LDF reverses the odd orders (K1, K3, ...), as the maps and tracking read them.
    if (units == 1 && n % 2 == 1)
      a = -a;
    d.order[d.terms] = n;
    d.a[d.terms] = a;
    d.b[d.terms] = tilt_degrees(e.slot(mp::term_angle(j)) + tilt, units);
    ++d.terms;
    if (n > d.highest)
      d.highest = n;
  }
  return d;
}

struct QuadSext {
  double length = 0, k1 = 0, k2 = 0, tilt = 0, aperture = 0;
};

QuadSext quadsext_of(const CosyElement &e, int units) {
  namespace qs = slot::quadsext;
  QuadSext d;
  d.length = e.slot(qs::L);
  d.k1 = units == 1 ? -e.slot(qs::K1) : e.slot(qs::K1);
  const double k2 = e.slot(qs::K2);
  d.k2 = units == 0 ? 0.5 * k2 : units == 1 ? -0.5 * k2 : k2;
  d.tilt = tilt_degrees(e.slot(qs::TILT), units);
  d.aperture = e.slot(qs::APERTURE);
  return d;
}

// The kick layout of ROLL, ZROT, HKICK, VKICK and GKICK: the conversion has already turned
// every keyword into it, and a GKICK's V of 0 into 1, which tracking kicks with, so the script
// kicks too.
struct Kick {
  double before = 0, after = 0; // the drifts around the kick
  // Their error variables (0: none); a drift with one is written even when it is empty, so
  // that an error can lengthen it.
  int before_erv = 0, after_erv = 0;
  CosyKick values;
  int direction = 1; // V rounded: 1 gkin, -1 gkout, anything else no kick
};

// The kick as tracking applies it: under LDF the slope kick DXP changes sign as the rotation
// does (so does a ZROT, whose ANGLE is its DXP), and the drift after the kick takes the
// longitudinal shift DZ, so that the script's element spans the length the maps and the path
// lengths give it.
Kick kick_of(const CosyElement &e, int units) {
  namespace g = slot::gkick;
  Kick d;
  d.before = e.slot(g::L) / 2;
  d.after = e.slot(g::L) / 2 + e.slot(g::DZ);
  double angle = e.slot(g::ANGLE);
  double dxp = e.slot(g::DXP);
  if (units == 2) {
    angle *= RADIANS;
  } else if (units == 1) {
    angle = -angle;
    dxp = -dxp;
  }
  const double v[7] = {e.slot(g::DX), dxp,   e.slot(g::DY), e.slot(g::DYP),
                       e.slot(g::DL), angle, e.slot(g::DP)};
  for (int i = 0; i < 7; ++i)
    d.values.value[i] = v[i];
  const double direction = std::round(e.slot(g::V));
  d.direction = direction == 1.0 ? 1 : direction == -1.0 ? -1 : 0;
  return d;
}

bool is_kick(int keyword) {
  return keyword == KW_ROLL || keyword == KW_ZROT || keyword == KW_HKICK || keyword == KW_VKICK ||
         keyword == KW_GKICK;
}

// The comment of a kind the operation's script replaces by a drift.
const char *untranslated(int keyword) {
  switch (keyword) {
  case KW_SOLENOID:
    return "{ solenoid ";
  case KW_RFCAVITY:
    return "{ cavity ";
  case KW_HMONITOR:
  case KW_VMONITOR:
  case KW_MONITOR:
    return "{ monitors ";
  case KW_ECOLLIMA:
  case KW_RCOLLIMA:
    return "{ collimators ";
  case KW_ARBITELM:
    return "{ abitrary element ";
  case KW_MTWISS:
    return "{ twiss element ";
  case KW_MATRIX:
    return "{ matrix ";
  case KW_LCAVITY:
    return "{ linac cavity ";
  case KW_HCOLLIMA:
    return "{ HV collimators ";
  case KW_QUADAC:
    return "{ quadac ";
  case KW_TARVOCAV:
    return "{ tarvocav ";
  default:
    return nullptr;
  }
}

constexpr const char *NOT_TRANSLATED = "not translated in COSY input, replaced by drift}";

void write_drift(int unit, const CosyElement &e, double length) {
  write_record(unit, " procedure  " + name_of(e) + " ; dl " + num(length) + " ; endprocedure ;");
}

void write_quadsext_values(int unit, const CosyElement &e, const QuadSext &d, bool erv,
                           int length_erv);

void write_bend(int unit, const CosyElement &e, int units, bool erv) {
  const Bend d = bend_of(e, units);
  if (d.straight_magnet) {
    // The bend's pole gap stands for the aperture, which it has no other.
    QuadSext q;
    q.length = d.length;
    q.k1 = d.k1;
    q.k2 = d.k2;
    q.tilt = d.tilt;
    q.aperture = d.gap != 0.0 ? d.gap : DEFAULT_GAP;
    write_quadsext_values(unit, e, q, erv, erv && e.has_error(slot::bend::L) ? BEND_LENGTH_ERV : 0);
    return;
  }
  if (d.straight) {
    // Written as what tracking sees of it at first sight: a drift of its length.
    write_record(unit, " { bend without curvature " + std::string(NOT_TRANSLATED));
    write_drift(unit, e, d.length);
    return;
  }
  if (d.gap_was_zero) {
    write_record(unit, " {**********************}");
    write_record(unit, " {WARNING : gap was zero, it is set to 0.05 ");
    write_record(unit, " to avoid errors in COSY . WARNING}");
    write_record(unit, " {**********************}");
  }
  const std::string name = name_of(e);
  auto field = [&](double v, int k) { return erv ? with_erv(v, k) : num(v); };
  // Only the general dipole carries the gradients, edge tangents and curvature terms with their
  // error variables; the homogeneous dipole is the active one unless errors must reach the beam
  // or the bend has a gradient or sextupole component, which the homogeneous one would drop.
  const bool general = (erv && e.general_dipole) || d.k1 != 0.0 || d.k2 != 0.0;
  // A tilted bend is turned about the beam axis as a tilted quadrupole is; in the general
  // dipole the rotation follows the variable declarations, which must come first.
  const bool tilted = std::fabs(d.tilt) >= NEGLIGIBLE_TILT;
  const std::string turn_in = "   ra " + fE(-d.tilt, 15, 8) + " ;";
  const std::string turn_out = "      ra " + fE(d.tilt, 15, 8) + " ; endprocedure ;";
  write_record(unit, general ? " procedure " + name + " ; " : " { ");
  if (!general)
    write_record(unit, " procedure " + name + " ; ");
  write_record(unit, "  variable nt 1 ; variable kn 1 2 ; variable s1 1 2 ;");
  write_record(unit, "  variable s2 1 2 ; ");
  write_record(unit, "  nt:=2 ; kn(1):=" + field(d.k1, 1) + " ; kn(2):=" + field(d.k2, 2) + " ;");
  write_record(unit, "   s1(1):=" + field(d.t1, 3) + " ; s1(2):=" + field(d.c1, 4) + " ; ");
  write_record(unit, "   s2(1):=" + field(d.t2, 5) + " ; s2(2):=" + field(d.c2, 6) + " ;");
  if (tilted)
    write_record(unit, turn_in);
  const bool length_error = erv && e.has_error(slot::bend::L);
  const bool angle_error = erv && e.has_error(slot::bend::ANGLE);
  write_record(unit, "   dip " +
                         (length_error ? with_erv(d.length, BEND_LENGTH_ERV) : num(d.length)) +
                         (angle_error ? with_erv(d.angle, BEND_ANGLE_ERV) : num(d.angle)));
  if (tilted) {
    write_record(unit, num(d.gap) + " kn s1 s2 nt ;");
    write_record(unit, turn_out);
  } else {
    write_record(unit, num(d.gap) + " kn s1 s2 nt ; endprocedure ;");
  }
  write_record(unit, general ? " { " : " } ");
  if (tilted) {
    write_record(unit, " procedure " + name + " ; ");
    write_record(unit, turn_in);
    write_record(unit, "    di " + num(d.rho));
  } else {
    write_record(unit, " procedure " + name + " ;  di " + num(d.rho));
  }
  write_record(unit, num(d.angle) + num(d.gap) + num(d.e1));
  write_record(unit, num(d.h1) + num(d.e2) + num(d.h2) + " ; ");
  write_record(unit, tilted ? turn_out : " endprocedure ;");
  if (general)
    write_record(unit, " } ");
}

void write_lens(int unit, const CosyElement &e, int units, bool erv) {
  const Lens d = lens_of(e, units);
  const std::string name = name_of(e);
  // G begins its line: its 24 columns keep the carriage-control column blank.
  const std::string g = num(d.strength) + (erv ? "+erv(1)" : "");
  const std::string g8 = erv ? fE(d.strength, 16, 8) + "+erv(1)" : fE(d.strength, 16, 8);
  const bool tilted = std::fabs(d.tilt) >= NEGLIGIBLE_TILT;
  const std::string head =
      tilted ? "     " + std::string(d.word) + " " : " procedure  " + name + " ; " + d.word + " ";
  if (tilted)
    write_record(unit, " procedure  " + name + " ; ra " + fE(-d.tilt, 15, 8) + " ;");
  const std::string length_erv =
      erv && e.has_error(slot::L) ? "+erv(" + std::to_string(LENS_LENGTH_ERV) + ")" : "";
  if (d.octupole) {
    write_record(unit, head + fE(d.length, 16, 8) + length_erv + g8 + fE(d.aperture, 16, 8) + " ;");
    if (!tilted)
      write_record(unit, blanks(20) + " endprocedure ;");
  } else {
    write_record(unit,
                 head + (length_erv.empty() ? num(d.length) : fE(d.length, 23, 16)) + length_erv);
    write_record(unit, g + num(d.aperture) + " ;" + (tilted ? "" : " endprocedure ;"));
  }
  if (tilted)
    write_record(unit, "      ra " + fE(d.tilt, 15, 8) + " ; endprocedure ;");
}

// The two-term gmult of a quadrupole-sextupole; length_erv > 0 when its length carries one.
void write_quadsext_values(int unit, const CosyElement &e, const QuadSext &d, bool erv,
                           int length_erv) {
  auto field = [&](double v, int k) { return erv ? with_erv(v, k) : num(v); };
  write_record(unit, " procedure " + name_of(e) + " ; ");
  write_record(unit, "   variable na 1 ; variable i 1 ; ");
  write_record(unit, "   variable ka 1 2 ; variable ta 1 2 ; ");
  write_record(unit, "   na := 2 ;");
  write_record(unit, "   loop i 1 na ; ka(i) := 0 ; ta(i) := 0 ; endloop ;");
  write_record(unit, "  ka(1):=" + field(d.k1, 1) + " ; ta(1):=" + num(d.tilt) + " ; ");
  write_record(unit, "  ka(2):=" + field(d.k2, 2) + " ; ta(2):=" + num(d.tilt) + " ; ");
  const std::string length = length_erv > 0 ? with_erv(d.length, length_erv) : num(d.length);
  write_record(unit, "   gmult " + length + " ka ta na " + num(d.aperture) + " ;");
  write_record(unit, blanks(20) + " endprocedure ;");
}

void write_quadsext(int unit, const CosyElement &e, int units, bool erv) {
  write_quadsext_values(unit, e, quadsext_of(e, units), erv,
                        erv && e.has_error(slot::L) ? QUADSEXT_LENGTH_ERV : 0);
}

// The error variables of a kick's seven values (0: none).
constexpr int KICK_ERV[7] = {1, 2, 3, 4, 5, 6, 7};
constexpr int NO_ERV[7] = {};

void write_kick_records(int unit, const char *word, const CosyKick &kick, const int (&erv)[7],
                        const char *end) {
  std::string first = word, second = " ";
  for (int i = 0; i < 7; ++i)
    (i < 4 ? first : second) += short_num(kick.value[i], erv[i]);
  write_record(unit, first);
  write_record(unit, second + end);
}

// A kick between its two drifts, each written when it has a length.
void write_kick_body(int unit, const Kick &d, const int (&erv)[7]) {
  if (d.before != 0.0 || d.before_erv > 0)
    write_record(unit, " dl" + short_num(d.before, d.before_erv) + " ;");
  if (d.direction != 0)
    write_kick_records(unit, d.direction == 1 ? " gkin" : " gkout", d.values, erv, " ;");
  if (d.after != 0.0 || d.after_erv > 0)
    write_record(unit, " dl" + short_num(d.after, d.after_erv) + " ;");
}

void write_kick(int unit, const CosyElement &e, int units, bool erv) {
  write_record(unit, " procedure " + name_of(e) + " ; ");
  Kick d = kick_of(e, units);
  if (erv) {
    const bool length = e.has_error(slot::gkick::L);
    d.before_erv = length ? KICK_BEFORE_ERV : 0;
    d.after_erv = length || e.has_error(slot::gkick::DZ) ? KICK_AFTER_ERV : 0;
  }
  write_kick_body(unit, d, erv ? KICK_ERV : NO_ERV);
  write_record(unit, " endprocedure ;");
}

// erv(n) goes with ka(n); the dipole kick takes erv(21) and erv(22), which no term uses.
constexpr int DIPOLE_ERV[7] = {0, 21, 0, 22, 0, 0, 0};

void write_multipole(int unit, const CosyElement &e, int units, bool erv) {
  const Multipole d = multipole_of(e, units);
  Kick dipole;
  dipole.values.value[1] = d.dipole_dxp;
  dipole.values.value[3] = d.dipole_dyp;
  dipole.direction = d.dipole ? 1 : 0;
  const int(&dipole_erv)[7] = erv ? DIPOLE_ERV : NO_ERV;
  if (d.terms == 0) {
    // No term for gmult, whose arrays cannot be empty: the dipole kick, if any, between two
    // half drifts, as tracking has it.
    dipole.before = dipole.after = e.slot(slot::multipole::L) / 2;
    if (erv && e.has_error(slot::multipole::L))
      dipole.before_erv = dipole.after_erv = MULTIPOLE_LENGTH_ERV;
    write_record(unit, " procedure " + name_of(e) + " ; ");
    write_kick_body(unit, dipole, dipole_erv);
    write_record(unit, " endprocedure ;");
    return;
  }
  write_record(unit, " procedure " + name_of(e) + " ; ");
  write_record(unit, "      variable na 1 ; variable i 1 ; ");
  write_record(unit, "      variable ka 1" + fI(d.highest, 3) + " ; variable ta 1" +
                         fI(d.highest, 3) + " ; ");
  write_record(unit, "      na := " + fI(d.highest, 3) + " ;");
  write_record(unit, "      loop i 1 na ; ka(i) := 0 ; ta(i) := 0 ; endloop ;");
  for (int j = 0; j < d.terms; ++j) {
    const int n = d.order[j];
    write_record(unit, "     ka(" + fI(n, 2) + "):=" + short_num(d.a[j], erv ? n : 0) + " ; ta(" +
                           fI(n, 2) + "):=" + short_num(d.b[j]) + " ;");
  }
  // With a dipole term the body is cut in two halves around its kick.
  const double body = d.dipole ? d.length / 2 : d.length;
  const std::string gmult =
      "      gmult " +
      short_num(body, erv && e.has_error(slot::multipole::L) ? MULTIPOLE_LENGTH_ERV : 0) +
      " ka ta na " + short_num(d.aperture) + " ;";
  write_record(unit, gmult);
  if (d.dipole) {
    write_kick_body(unit, dipole, dipole_erv);
    write_record(unit, gmult);
  }
  write_record(unit, blanks(20) + " endprocedure ;");
}

} // namespace

void write_cosy_procedure(int unit, const CosyElement &e, int units, bool error_variables) {
  switch (e.keyword) {
  case KW_RBEND:
  case KW_SBEND:
    write_bend(unit, e, units, error_variables);
    return;
  case KW_QUADRUPO:
  case KW_SEXTUPOL:
  case KW_OCTUPOLE:
    write_lens(unit, e, units, error_variables);
    return;
  case KW_MULTIPOL:
    write_multipole(unit, e, units, error_variables);
    return;
  case KW_QUADSEXT:
    write_quadsext(unit, e, units, error_variables);
    return;
  case KW_MARKER:
    write_record(unit, " procedure  " + name_of(e) + " ; drift " + num(0.0) + " ; endprocedure ;");
    return;
  default:
    break;
  }
  if (is_kick(e.keyword)) {
    write_kick(unit, e, units, error_variables);
    return;
  }
  if (error_variables)
    if (const char *comment = untranslated(e.keyword))
      write_record(unit, " " + std::string(comment) + NOT_TRANSLATED);
  write_drift(unit, e, e.slot(slot::L));
}

CosyFields cosy_fields(const CosyElement &e, int units) {
  CosyFields f;
  auto set = [&f](int k, double v) {
    f.value(k) = v;
    f.used(k) = true;
  };
  switch (e.keyword) {
  case KW_RBEND:
  case KW_SBEND: {
    const Bend d = bend_of(e, units);
    if (!d.straight) {
      set(1, d.k1);
      set(2, d.k2);
      set(3, d.t1);
      set(4, d.c1);
      set(5, d.t2);
      set(6, d.c2);
      set(BEND_LENGTH_ERV, d.length);
      set(BEND_ANGLE_ERV, d.angle);
    } else if (d.straight_magnet) {
      set(1, d.k1);
      set(2, d.k2);
      set(BEND_LENGTH_ERV, d.length);
    }
    break;
  }
  case KW_QUADRUPO:
  case KW_SEXTUPOL:
  case KW_OCTUPOLE: {
    const Lens d = lens_of(e, units);
    set(1, d.strength);
    set(LENS_LENGTH_ERV, d.length);
    break;
  }
  case KW_MULTIPOL: {
    const Multipole d = multipole_of(e, units);
    for (int j = 0; j < d.terms; ++j)
      set(d.order[j], d.a[j]);
    if (d.dipole) {
      set(DIPOLE_ERV[1], d.dipole_dxp);
      set(DIPOLE_ERV[3], d.dipole_dyp);
    }
    // The length written: the body (halved around a dipole kick), or each drift without terms.
    const double given = e.slot(slot::multipole::L);
    set(MULTIPOLE_LENGTH_ERV, d.terms == 0 ? given / 2 : d.dipole ? d.length / 2 : d.length);
    break;
  }
  case KW_QUADSEXT: {
    const QuadSext d = quadsext_of(e, units);
    set(1, d.k1);
    set(2, d.k2);
    set(QUADSEXT_LENGTH_ERV, d.length);
    break;
  }
  default:
    if (is_kick(e.keyword)) {
      const Kick d = kick_of(e, units);
      if (d.direction != 0)
        for (int i = 0; i < 7; ++i)
          set(i + 1, d.values.value[i]);
      set(KICK_BEFORE_ERV, d.before);
      set(KICK_AFTER_ERV, d.after);
    }
    break;
  }
  return f;
}

void write_cosy_kick(int unit, const char *word, const CosyKick &kick, const char *end) {
  write_kick_records(unit, word, kick, NO_ERV, end);
}

int cosy_keyword_of_kind(int kode) {
  switch (kode) {
  case KODE_BEND:
    return KW_SBEND; // the edges are already those of the bend's own faces
  case KODE_QUAD:
    return KW_QUADRUPO;
  case KODE_SEXT:
    return KW_SEXTUPOL;
  case KODE_QUADSEXT:
    return KW_QUADSEXT;
  case KODE_MULTIPOL:
    return KW_MULTIPOL; // an octupole is its one-term multipole
  case KODE_COLLIMAT:
    return KW_RCOLLIMA;
  case KODE_RFCAVITY:
    return KW_RFCAVITY;
  case KODE_GKICK:
    return KW_GKICK;
  case KODE_MTWISS:
    return KW_MTWISS;
  case KODE_MATRIX:
    return KW_MATRIX;
  case KODE_ARBITRAR:
    return KW_ARBITELM;
  case KODE_MONITOR:
    return KW_MONITOR;
  case KODE_SOLENOID:
    return KW_SOLENOID;
  case KODE_LCAVITY:
    return KW_LCAVITY;
  case KODE_HCOLLIMA:
    return KW_HCOLLIMA;
  case KODE_QUADAC:
    return KW_QUADAC;
  case KODE_TARVOCAV:
    return KW_TARVOCAV;
  default:
    return KW_DRIFT;
  }
}

} // namespace vorax

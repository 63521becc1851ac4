// Conversion of the used machine into the engine tables: element numbering, the engine machine
// sequence, and every element's kind code and data slots in the engine's fixed slot order.
#include "input/conversion.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "input/beam_lines.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <array>
#include <cmath>

namespace vorax {

namespace {

constexpr double PI = 3.141592653589793;
constexpr int MATRIX_TERMS = 6 * 27; // R and T attributes of MATRIX, after L
constexpr int MAX_SLOTS = 1 + 2 * MATRIX_TERMS;

// Engine element number of every front-end entry (0: not a defined element).
Table<int, 1, MAXELM> element_number;

struct Slots {
  std::array<double, MAX_SLOTS> v{};
  int n = 0;
  void put(double x) { v[static_cast<std::size_t>(n++)] = x; }
};

// Parameter node of attribute k (1-based, in the keyword's attribute order) of element entry e.
int attribute_node(int e, int k) {
  const int node = elmdat.first(e) + k - 1;
  return elmdat.first(e) > 0 && node <= elmdat.last(e) ? node : 0;
}
// Whether attribute k was written in the definition.
bool given(int e, int k) {
  const int node = attribute_node(e, k);
  return node != 0 && pardat.kind(node) != PAR_UNDEFINED;
}
// Its value: an attribute not written keeps its built-in default (0 for most).
double attr(int e, int k) {
  const int node = attribute_node(e, k);
  return node != 0 ? parval.value(node) : 0.0;
}

void put_attributes(Slots &s, int e, std::initializer_list<int> order) {
  for (int k : order)
    s.put(attr(e, k));
}
// Attributes 1..n in their own order.
void put_first(Slots &s, int e, int n) {
  for (int k = 1; k <= n; ++k)
    s.put(attr(e, k));
}

// GKICK layout (L DX DXP DY DYP DL DP ANGLE DZ V T) with the given nonzero entries.
void put_kick(Slots &s, double l, double dxp, double dyp, double angle) {
  const double row[11] = {l, 0.0, dxp, 0.0, dyp, 0.0, 0.0, angle, 0.0, 1.0, 0.0};
  for (double x : row)
    s.put(x);
}

// The slots and the engine kind code of element entry e.
int build_slots(int e, Slots &s) {
  switch (elmdat.kind(e)) {
  case KW_DRIFT:
  case KW_WIGGLER:
  case KW_SEPARATO:
    s.put(attr(e, 1));
    return KODE_DRIFT;
  case KW_MARKER:
    s.put(0.0);
    return KODE_DRIFT;
  case KW_SBEND:
  case KW_RBEND: {
    // Attributes: L ANGLE K1 E1 E2 TILT K2 H1 H2 HGAP FINT HGAPX FINTX.
    put_attributes(s, e, {1, 2, 3, 7, 4, 8, 10, 11, 5, 9, 12, 13, 6});
    if (elmdat.kind(e) == KW_RBEND) {
      // A rectangular bend has parallel faces: each edge turns by half the bend angle.
      s.v[4] = attr(e, 2) / 2;
      s.v[8] = attr(e, 2) / 2;
    }
    return KODE_BEND;
  }
  case KW_QUADRUPO:
    put_attributes(s, e, {1, 2, 4, 3});
    return KODE_QUAD;
  case KW_SEXTUPOL:
    put_attributes(s, e, {1, 2, 4, 3});
    return KODE_SEXT;
  case KW_OCTUPOLE:
    // One multipole term of order 4 with no own tilt: L, scale, count, (order, K3, tilt).
    s.put(attr(e, 1));
    s.put(1.0);
    s.put(1.0);
    s.put(4.0);
    s.put(attr(e, 2));
    s.put(0.0);
    s.put(attr(e, 4));
    s.put(attr(e, 3));
    return KODE_MULTIPOL;
  case KW_MULTIPOL: {
    // Attributes: L, K0 T0 ... K20 T20 (Kn = 2 + 2n, Tn = 3 + 2n), SCALEFAC, APERTURE, TILT.
    s.put(attr(e, 1));
    s.put(attr(e, 44));
    const int count_slot = s.n;
    s.put(0.0);
    int terms = 0;
    for (int n = 0; n <= 20; ++n) {
      if (!given(e, 2 + 2 * n))
        continue;
      s.put(n + 1);
      s.put(attr(e, 2 + 2 * n));
      s.put(attr(e, 3 + 2 * n));
      ++terms;
    }
    s.v[static_cast<std::size_t>(count_slot)] = terms;
    s.put(attr(e, 45));
    s.put(attr(e, 46));
    return KODE_MULTIPOL;
  }
  case KW_SOLENOID:
    put_attributes(s, e, {1, 3, 2, 5, 4});
    return KODE_SOLENOID;
  case KW_RFCAVITY:
    put_attributes(s, e, {1, 5, 2, 4, 3});
    return KODE_RFCAVITY;
  case KW_ROLL:
    put_kick(s, 0.0, 0.0, 0.0, attr(e, 1));
    return KODE_GKICK;
  case KW_ZROT:
    put_kick(s, 0.0, attr(e, 1), 0.0, 0.0);
    return KODE_GKICK;
  case KW_HKICK:
  case KW_VKICK: {
    // The tilt is folded in here, so it is taken as every tilt is: radians, the opposite
    // sense in the LDF convention, degrees in the MERIDOXAN one. A kicker turned by TILT t
    // turns its kick as a quadrupole turned by t turns its field (docs/coordinates.md):
    // HKICK along (cos t, -sin t), VKICK along (sin t, cos t).
    const double tilt = units.value == 2   ? attr(e, 3) * (PI / 180)
                        : units.value == 1 ? -attr(e, 3)
                                           : attr(e, 3);
    const double kick = attr(e, 2);
    if (elmdat.kind(e) == KW_HKICK)
      put_kick(s, attr(e, 1), kick * std::cos(tilt), -kick * std::sin(tilt), 0.0);
    else
      put_kick(s, attr(e, 1), kick * std::sin(tilt), kick * std::cos(tilt), 0.0);
    return KODE_GKICK;
  }
  case KW_HMONITOR:
  case KW_VMONITOR:
  case KW_MONITOR:
    put_attributes(s, e, {1, 2, 3, 4, 5});
    s.put(elmdat.kind(e) - KW_HMONITOR + 1);
    return KODE_MONITOR;
  case KW_ECOLLIMA:
  case KW_RCOLLIMA:
    put_attributes(s, e, {1, 2, 3});
    s.put(elmdat.kind(e) == KW_ECOLLIMA ? 2.0 : 1.0);
    return KODE_COLLIMAT;
  case KW_QUADSEXT:
    put_attributes(s, e, {1, 2, 3, 5, 4});
    return KODE_QUADSEXT;
  case KW_GKICK:
    put_first(s, e, 11);
    if (s.v[9] == 0.0)
      s.v[9] = 1.0; // V scales the kick: 0 would switch the element off silently
    return KODE_GKICK;
  case KW_ARBITELM:
    put_first(s, e, 21);
    return KODE_ARBITRAR;
  case KW_MTWISS:
    put_first(s, e, 7);
    return KODE_MTWISS;
  case KW_MATRIX: {
    // Only the nonzero terms are stored, each as (code, value): Rij 100i+10j, Tijk 100i+10j+k.
    s.put(attr(e, 1));
    int k = 2;
    for (int i = 1; i <= 6; ++i) {
      for (int j = 1; j <= 6; ++j, ++k)
        if (attr(e, k) != 0.0) {
          s.put(100 * i + 10 * j);
          s.put(attr(e, k));
        }
      for (int j = 1; j <= 6; ++j)
        for (int l = j; l <= 6; ++l, ++k)
          if (attr(e, k) != 0.0) {
            s.put(100 * i + 10 * j + l);
            s.put(attr(e, k));
          }
    }
    return KODE_MATRIX;
  }
  case KW_LCAVITY:
    put_first(s, e, 7);
    return KODE_LCAVITY;
  case KW_HCOLLIMA:
    put_first(s, e, 15);
    return KODE_HCOLLIMA;
  case KW_QUADAC:
    put_attributes(s, e, {1, 2, 3, 4, 5, 6, 8, 7});
    return KODE_QUADAC;
  case KW_TARVOCAV:
    put_attributes(s, e, {1, 2, 3, 4});
    return KODE_TARVOCAV;
  default:
    s.put(attr(e, 1));
    return KODE_DRIFT;
  }
}

// Element length: ROLL, ZROT and MARKER have none.
double element_length(int e) {
  const int kw = elmdat.kind(e);
  return kw == KW_ROLL || kw == KW_ZROT || kw == KW_MARKER ? 0.0 : attr(e, 1);
}

// Converts entry e as element number k into the next free slots.
void convert_element(int e, int k, int &next_free) {
  if (inputt.nelm >= MXELMD) {
    write_record(iodata.listing_unit, " TOO MANY DISTINCT ELEMENT TYPES FOR VORAX,>MXELMD QUIT");
    halt(7);
    return;
  }
  chinp.elname(k) = elmnam.name(e);
  chinp.ellabel(k) = elmnam.label(e);
  inputt.iadr(k) = next_free;
  ++inputt.nelm;
  static Slots s; // MATRIX needs 325 slots: kept off the stack
  s.n = 0;
  const int kode = build_slots(e, s);
  if (next_free + s.n - 1 > MAXDAT) {
    write_record(iodata.listing_unit, " NOT ENOUGH PARAMETER SPACE FOR VORAX,>MAXDAT QUIT");
    halt(6);
    return;
  }
  for (int j = 0; j < s.n; ++j)
    inputt.eldata(next_free + j) = s.v[static_cast<std::size_t>(j)];
  inputt.kode(k) = kode;
  lngth.ellen(k) = element_length(e);
  next_free += s.n;
  if (elmdat.kind(e) == KW_WIGGLER)
    write_record(iodata.listing_unit,
                 " NO WIGGLER IN VORAX, TREATED LIKE A DRIFT OF LENGTH " + fF(attr(e, 1), 10, 4));
  else if (elmdat.kind(e) == KW_SEPARATO)
    write_record(iodata.listing_unit,
                 " NO SEPARATOR IN VORAX, TREATED LIKE A DRIFT OF LENGTH " + fF(attr(e, 1), 10, 4));
}

} // namespace

void vxmatd() {
  period.value(5) = 0;

  int defined = 0;
  for (int i = 1; i <= elmdat.low_count; ++i)
    element_number(i) = elmdat.kind(i) >= 1 ? ++defined : 0;

  // The used line runs from its start marker to its end marker; only elements are kept.
  const int first = period.value(6);
  const int last = period.value(7) - 1;
  int positions = 0;
  int lost = 0; // a position whose element was redefined as a beam line after USE
  for (int p = first; p >= 1 && p <= last; ++p)
    if (seqnum.value(p) <= LINE_START_MARK) {
      ++positions;
      if (lost == 0 && element_number(seqnum.value(p)) == 0)
        lost = seqnum.value(p);
    }
  if (positions > MAXPOS_ELEMENTS) {
    write_record(iodata.listing_unit,
                 fI(positions, 5) + " ELEMENTS, TOO MANY FOR VORAX (>MAXPOS),QUIT");
    halt(4);
    return;
  }

  // The engine machine is replaced only once every position has an element and the parameters
  // can be evaluated: after a failure the engine keeps running on the previous machine and
  // tables, which still agree with each other.
  if (lost != 0) {
    write_record(iodata.listing_unit, " " + quoted(name_text(elmnam.name(lost))) +
                                          " IN THE USED LINE IS NO LONGER AN ELEMENT, RETURNING "
                                          "FROM VXMATD");
    ++iodata.error_count;
    ioflag.command_error = 1;
    return;
  }
  parord(ioflag.command_error);
  if (ioflag.command_error != 0) {
    write_record(iodata.listing_unit, " ERROR FROM PARORD, RETURNING FROM VXMATD");
    return;
  }
  int n = 0;
  for (int p = first; p >= 1 && p <= last; ++p)
    if (seqnum.value(p) <= LINE_START_MARK)
      blank.mseq(++n) = element_number(seqnum.value(p));
  mat.npos = n; // the element count of the last USE
  parevl();
  inputt.eunits = units.value;

  // After NEWBEAMO the converted elements keep their data (the engine may have changed them);
  // elements numbered beyond the kept tables are still converted, so that every position of the
  // new machine refers to an element the engine knows.
  int next_free = 1;
  if (newbm.value == 1)
    next_free = inputt.nelm > 0 ? inputt.iadr(inputt.nelm + 1) : 1;
  else
    inputt.nelm = 0;
  for (int i = 1; i <= elmdat.low_count; ++i) {
    const int k = element_number(i);
    if (k == 0 || k <= inputt.nelm)
      continue;
    convert_element(i, k, next_free);
  }
  inputt.iadr(inputt.nelm + 1) = next_free;
}

} // namespace vorax

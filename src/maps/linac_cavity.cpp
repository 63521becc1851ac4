// The linac cavity: its first-order map with adiabatic damping for a given entry energy
// (lcavity_map), the record wrapper lcav with the bookkeeping of the current energies along
// the machine when its gain changes, and the rebuild after a change of a cavity's design.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "common/units.h"
#include "engine/engine_start.h"
#include "engine/lookup.h"
#include "maps/builders.h"
#include "maps/element_maps.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace vorax {

namespace {

// The positions are listed in machine order: a binary search, since tracking asks at every
// cavity position of every turn.
int linac_index_of(int position) {
  int lo = 1, hi = std::min(lincav.count, lincav.positions.hi());
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int p = lincav.positions(mid);
    if (p == position)
      return mid;
    if (p < position)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return 0;
}

// Entry energy of the linac position q (position p): the initial energy at the first, else the
// current energy after the position before it.
double entry_energy(int q, int p) {
  return q == 1 ? lincav.initial_energy : lincav.ereal(p - 1);
}

bool above_mass(double e_in, double gain) {
  const double m = const_.emass;
  return e_in >= m && e_in + gain > m;
}

// The momentum grows from P_in to P_out at a uniform energy gain, so the slopes and delta
// shrink by P_in / P_out (the transverse determinant is (P_in / P_out)^2), and a slope at
// entry carries the particle over L P_in / DELTAE * ln((E_out + P_out) / (E_in + P_in)).
// Without a gain, or when the entry or exit energy is not above the mass, the map is a drift.
void cavity_map(double length, double gain, double e_in, TransferMap &map, int ncol) {
  map.set_identity(ncol);
  if (std::fabs(gain) <= 1e-9 || !above_mass(e_in, gain)) {
    drift_entries(map, length, ncol);
    return;
  }
  const double m = const_.emass;
  const double e_out = e_in + gain;
  const double p_in = std::sqrt(e_in * e_in - m * m);
  const double p_out = std::sqrt(e_out * e_out - m * m);
  const double focal = (length * p_in / gain) * std::log((e_out + p_out) / (e_in + p_in));
  const double damping = p_in / p_out;
  map.R(1, 2) = focal;
  map.R(3, 4) = focal;
  map.R(2, 2) = damping;
  map.R(4, 4) = damping;
  map.R(6, 6) = damping;
}

} // namespace

std::optional<double> linac_entry_energy(int position) {
  const int q = linac_index_of(position);
  if (q == 0 || inputt.kode(blank.mseq(position)) != KODE_LCAVITY)
    return std::nullopt;
  return entry_energy(q, position);
}

void lcavity_map(const ElementValues &e, const MapContext &ctx, TransferMap &map) {
  const double e_in = ctx.entry_energy ? *ctx.entry_energy : e(slot::lcavity::E0);
  cavity_map(e(slot::lcavity::L), e(slot::lcavity::DELTAE), e_in, map, ctx.ncol);
}

namespace {

// The record holds the map at the element's first position. A cavity that stands at several
// positions has one DELTAE, so every one of its positions gains it (only the position `from`
// when it is given): the current energies are corrected position by position in machine
// order, and each position's map is built for its own entry energy when the machine is composed
// (compose_position). An element that stands at no position of the used line (defined but not
// used) has no place in the energy table: its map is built from its own E0 as entry energy and
// the table is left alone.
void build_cavity(int element, int matnum, int from) {
  TransferMap &map = blank.maps(matnum);
  MapContext ctx = map_context();
  ctx.ncol = prodct.ncol;
  map.set_identity(ctx.ncol);
  const ElementValues values = element_values(element);
  const double gain = values(slot::lcavity::DELTAE);
  const std::string name(values.name.view());
  const int out = control.output_unit;
  if (ctx.symplectic) {
    write_record(out, " *****WARNING: SYMPLECTIC OPTION IS ON !!!!*****");
    write_record(out, " SYMPLECTIC OPTION IS ACTIVATED IN PRESENCE OF LINAC");
    write_record(out, " CAVITIES.  THIS IS ILL-ADVISED.");
  }

  double e_in = values(slot::lcavity::E0);
  const int p = first_position(element);
  bool massive = true;
  if (p > 0) {
    const int q = linac_index_of(p);
    if (q == 0) {
      write_record(out, " LCAVITY " + name + " AT POSITION " + fI(p, position_width(5)) +
                            " IS NOT IN THE LIST OF LINAC CAVITIES");
      halt(246);
      return;
    }
    e_in = entry_energy(q, p);
    const int npos = std::min(mat.npos, machine_limits().maxpos);
    const int count = std::min(lincav.count, lincav.positions.hi());
    for (int r = q; r <= count; ++r) {
      const int d = lincav.positions(r);
      if (d < 1 || d > npos || blank.mseq(d) != element)
        continue;
      const double change = gain - (lincav.ereal(d) - entry_energy(r, d));
      if ((from == 0 || d == from) && std::fabs(change) > 1e-9)
        for (int t = d; t <= npos; ++t)
          lincav.ereal(t) += change;
      massive = massive && above_mass(entry_energy(r, d), gain);
    }
  } else {
    massive = above_mass(e_in, gain);
  }
  ctx.entry_energy = e_in;
  lcavity_map(values, ctx, map);
  if (std::fabs(gain) > 1e-9 && !massive)
    write_record(out, " ***WARNING: LCAVITY " + name +
                          " ENTRY OR EXIT ENERGY NOT ABOVE THE PARTICLE MASS, MAP IS A DRIFT");
}

} // namespace

void lcav(int element, int matnum) {
  build_cavity(element, matnum, 0);
}

// Values changed for one visit (field errors) change what the beam gains there alone: the
// positions of the same cavity before it were passed with their own gains, and those after it
// gain what their own visits give them.
void matgen_at(int element, int position) {
  const int matnum = element >= 1 && element <= inputt.nelm ? blank.matrix_number(element) : 0;
  if (matnum < 1 || matnum > machine_limits().maxmat || inputt.kode(element) != KODE_LCAVITY) {
    matgen(element);
    return;
  }
  prodct.ncol = map_columns();
  build_cavity(element, matnum, position);
}

// A cavity's design change moves the energies of the positions after it, and with them the
// entrance energy of every cavity there: both tables are the lattice's again (an error's change
// of the current energies is never pending between operations or turns), and the cavities whose
// entrance energy moved at any of their positions are rebuilt once each, so that their records
// and their warnings are those of the engine's start.
void rebuild_design_map(int element) {
  if (element < 1 || element > inputt.nelm)
    return;
  if (inputt.kode(element) != KODE_LCAVITY || lincav.linac == 0) {
    matgen(element);
    return;
  }
  const int count = std::min(lincav.count, lincav.positions.hi());
  const int npos = std::min(mat.npos, machine_limits().maxpos);
  MachineTable<double> &before = lincav.entry_before;
  for (int q = 1; q <= count; ++q) {
    const int p = lincav.positions(q);
    before(q) = p >= 1 && p <= npos ? entry_energy(q, p) : 0.0;
  }
  fill_energies();
  matgen(element);
  for (int q = 1; q <= count; ++q) {
    const int p = lincav.positions(q);
    if (p < 1 || p > npos)
      continue;
    const int e = blank.mseq(p);
    if (e == element || entry_energy(q, p) == before(q))
      continue;
    bool built = false;
    for (int r = 1; r < q && !built; ++r) {
      const int d = lincav.positions(r);
      built = d >= 1 && d <= npos && blank.mseq(d) == e && entry_energy(r, d) != before(r);
    }
    if (!built)
      matgen(e);
  }
}

} // namespace vorax

// The preparation side of the tracking loop: the tracking mode the symplectic option asks for,
// the maps and kicks prepared once per run from the design element data, and the step of each
// position of a turn.
#include "common/cavity_masses.h"
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/messages.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "engine/operation_data.h"
#include "maps/element_maps.h"
#include "track/radiation.h"
#include "track/tracking_areas.h"
#include "track/tracking_effects.h"
#include "track/tracking_loop.h"
#include "track/tracking_steps.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <thread>

namespace vorax {

namespace {

int thread_setting = 0;
int chunk_setting = CHUNK;

// The run's scratch: sized when a run starts, never while particles move.
TrackingWork &work_storage() {
  static TrackingWork work;
  return work;
}

// The plan describes one machine: with the other areas it goes back to nothing, so that no plan
// of an earlier machine can outlive a reset (the scratch itself keeps its size).
void forget_plan() {
  work_storage().plan.clear();
}
const AreaRegistration plan_registration{forget_plan};

// The non-zero coefficients of the first ncol columns: at map order 1 a record may still hold
// the second-order entries of an earlier build, which tracking at that order leaves out.
void sparse_of(const TransferMap &m, int ncol, SparseMap &s) {
  for (int i = 1; i <= 6; ++i) {
    int t = 0;
    for (int k = 1; k <= ncol; ++k)
      if (m(i, k) != 0.0) {
        ++t;
        s.column(i, t) = k;
        s.coefficient(i, t) = m(i, k);
      }
    s.count(i) = t;
  }
}

double rest_mass() {
  return const_.particle_kind == 1 ? CAVITY_PROTON_MASS : CAVITY_ELECTRON_MASS;
}

// A cavity follows the phase of the reference particle, whose velocity its ENERGY (kinetic,
// GeV) gives: without a positive one beta is 0 (or imaginary) and every phase constant is 0/0.
bool cavity_has_energy(const ElementValues &v) {
  const double m = rest_mass();
  return v(slot::rfcavity::ENERGY) + m > m;
}

// A cavity without energy is tracked only while it is switched off (VOLT 0), as converted
// lattices keep the cavities they do not use: it is then the drift of its length.
bool cavity_switched_off(const ElementValues &v) {
  return v(slot::rfcavity::VOLT) == 0.0 && !cavity_has_energy(v);
}

// The wake of an ARBITELM (P1 above 0) is divided by P5. With P5 at its default 0 it has no
// value unless its strength P2 * P4 is 0, when it gives no kick.
bool wake_without_p5(const ElementValues &v) {
  using slot::arbitrary::P;
  return v(P(1)) > 0.0 && v(P(5)) == 0.0 && v(P(2)) != 0.0 && v(P(4)) != 0.0;
}

// An element tracking cannot pass as it stands; the run stops with 306 ("TRACK:BAD ELEM PAR").
constexpr int BAD_ELEMENT = 306;

// The linac energy tables: the actual energy after a position, and before it.
double energy_after(int p) {
  return lincav.ereal(p);
}
double energy_before(int p) {
  return p <= 1 ? lincav.initial_energy : lincav.ereal(p - 1);
}

// The map of every cavity position for its entrance energy as the energy tables give it now.
void prepare_linac_maps() {
  TrackingWork &w = tracking_work();
  for (int p = 1; p <= mat.npos; ++p) {
    const int q = w.linac_index[static_cast<std::size_t>(p)];
    if (q == 0)
      continue;
    MapContext ctx = map_context();
    ctx.symplectic = false;
    ctx.entry_energy = linac_entry_energy(p);
    w.linac_entry[static_cast<std::size_t>(q)] = *ctx.entry_energy;
    TransferMap m;
    m = element_map(element_values(blank.mseq(p)), ctx);
    sparse_of(m, ctx.ncol, w.linac[static_cast<std::size_t>(q)]);
  }
}

} // namespace

void set_tracking_threads(int threads) {
  thread_setting = threads > 0 ? threads : 0;
}

int tracking_threads() {
  if (thread_setting > 0)
    return thread_setting;
  // Asked once: the count is read from the system's files.
  static const int processors = [] {
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
  }();
  return processors;
}

void set_tracking_chunk(int particles) {
  chunk_setting = std::clamp(particles, 1, CHUNK);
}

int tracking_chunk() {
  return chunk_setting;
}

int chunk_count() {
  return (trace.npart + chunk_setting - 1) / chunk_setting;
}

TrackingWork &tracking_work() {
  return work_storage();
}

// The SETS mode chooses the variables of the store and the solver of the implicit step:
//   option off         geometric variables, maps applied as polynomials
//   mode 0             canonical variables, the symplectified maps applied as polynomials
//   mode 1             geometric variables, symplectic step by fixed-point iteration (symrtx)
//   mode 2             canonical variables, symplectic step by fixed-point iteration (symrtx)
//   mode 3             geometric variables, symplectic step by Newton iteration (symrat)
//   mode 4             canonical variables, symplectic step by Newton iteration (symrat)
// The mode flag of the option (set for 0, 2 and 4) is the canonical switch; any other mode
// number tracks like 3 or 4 by its flag. In geometric variables a symplectic step converts to
// canonical ones and back around the map.
TrackingMode tracking_mode() {
  TrackingMode mode;
  if (sym.option != 1)
    return mode;
  mode.canonical = sym.mode_flag == 1;
  mode.symplectic = sym.mode != 0;
  mode.newton = !(sym.mode == 1 || sym.mode == 2);
  mode.b0 = sym.scale(1) != 0.0 ? sym.scale(1) : 1.0;
  return mode;
}

void prepare_run() {
  TrackingWork &w = tracking_work();
  const int chunks = chunk_count();
  if (static_cast<int>(w.events.size()) < chunks)
    w.events.resize(static_cast<std::size_t>(chunks));
  const std::size_t npos = static_cast<std::size_t>(std::max(mat.npos, 0));
  if (w.visits.size() < SEGMENT_STEPS)
    w.visits.resize(SEGMENT_STEPS);
  w.steps.resize(w.visits.size());
  w.effects.resize(w.visits.size());
  w.arbitrary.resize(w.visits.size());
  // The plan is the run's own: the machine, its settings and the effects switched on may have
  // changed since the last run.
  w.plan.resize(npos + 1);
  for (PlannedPosition &planned : w.plan)
    planned.known = false;
  w.changed.resize(CHANGED_MAPS);
  w.changed_used = 0;
  // The records in use, not the table's room: a large machine has room for a map per distinct
  // element, and clearing sparse copies for all of them would cost more than the turns.
  const std::size_t records =
      static_cast<std::size_t>(std::clamp(sym.matrix_count, 0, machine_limits().maxmat)) + 1;
  w.sparse.resize(records);
  w.gf.resize(records);
  w.sparse_ready.assign(records, 0);
  const std::size_t nelm = static_cast<std::size_t>(std::max(inputt.nelm, 0)) + 1;
  w.kicks.resize(nelm);
  w.halves.resize(nelm);
  w.half_gf.resize(nelm);
  w.element_ready.assign(nelm, 0);
  w.linac_index.assign(npos + 1, 0);
  int linacs = 0;
  for (int p = 1; p <= mat.npos; ++p)
    if (inputt.kode(blank.mseq(p)) == KODE_LCAVITY && linac_entry_energy(p))
      w.linac_index[static_cast<std::size_t>(p)] = ++linacs;
  w.linac.resize(static_cast<std::size_t>(linacs) + 1);
  w.linac_entry.assign(static_cast<std::size_t>(linacs) + 1, 0.0);
  prepare_linac_maps();
  w.bend_piece_index.assign(nelm, 0);
  int bends = 0;
  if (synch.option != 0)
    for (int e = 1; e <= inputt.nelm; ++e)
      if (inputt.kode(e) == KODE_BEND)
        w.bend_piece_index[static_cast<std::size_t>(e)] = ++bends;
  w.bend_pieces.resize(static_cast<std::size_t>(bends) + 1);
  w.bend_pieces_ready.assign(static_cast<std::size_t>(bends) + 1, 0);
}

// A slow change of a cavity moves the entrance energies of the cavities after it: their maps
// are made again with the others.
void forget_prepared_maps() {
  TrackingWork &w = tracking_work();
  std::fill(w.sparse_ready.begin(), w.sparse_ready.end(), 0);
  std::fill(w.element_ready.begin(), w.element_ready.end(), 0);
  std::fill(w.bend_pieces_ready.begin(), w.bend_pieces_ready.end(), 0);
  prepare_linac_maps();
}

bool trackable(int p) {
  const int e = blank.mseq(p);
  const int kind = inputt.kode(e);
  if (kind == KODE_RFCAVITY) {
    const ElementValues v = element_values(e);
    return cavity_has_energy(v) || cavity_switched_off(v);
  }
  return kind != KODE_ARBITRAR || !wake_without_p5(element_values(e));
}

void refuse_element(int p) {
  const int e = blank.mseq(p);
  const ElementValues v = element_values(e);
  const std::string where = std::string(chinp.elname(e).trimmed()) + " AT POSITION" + fI(p, 6);
  if (inputt.kode(e) == KODE_RFCAVITY)
    engine_message(" **** RF CAVITY " + where + " HAS VOLT =" + fE(v(slot::rfcavity::VOLT), 15, 7) +
                   " AND NO ENERGY: A CAVITY THAT KICKS NEEDS AN ENERGY ABOVE 0");
  else
    engine_message(" **** ARBITELM " + where +
                   " HAS A WAKE (P1 ABOVE 0) WITH P5 = 0: ITS KICK IS DIVIDED BY P5");
  engine_stop(BAD_ELEMENT);
}

void check_tracked_elements() {
  for (int p = 1; p <= mat.npos; ++p)
    if (!trackable(p))
      refuse_element(p);
}

const BendPieces *bend_pieces(int element, bool changed) {
  TrackingWork &w = tracking_work();
  const auto e = static_cast<std::size_t>(element);
  const int entry = e < w.bend_piece_index.size() ? w.bend_piece_index[e] : 0;
  if (entry == 0 && !changed)
    return nullptr;
  const auto k = static_cast<std::size_t>(changed ? 0 : entry);
  BendPieces &b = w.bend_pieces[k];
  if (w.bend_pieces_ready[k] != 0)
    return &b;
  const MapContext ctx = map_context();
  TransferMap maps[BEND_RADIATION_POINTS + 1];
  for (SymmapEntry &gf : b.gf)
    gf = SymmapEntry{};
  if (!bend_piece_maps(element_values(element), ctx, bend_points.piece, BEND_RADIATION_POINTS + 1,
                       maps, b.gf))
    return nullptr;
  for (int j = 0; j <= BEND_RADIATION_POINTS; ++j)
    sparse_of(maps[j], ctx.ncol, b.sparse[j]);
  w.bend_pieces_ready[k] = changed ? 0 : 1;
  return &b;
}

namespace {

// The design map of a slot, prepared at its first use in the run; or, at a position where field
// errors changed it, the changed map for that one visit, into changed_map (null: the special map
// of a step that runs alone, which alone may be symplectic).
MapUse slot_map(int slot, bool changed, SparseMap *changed_map) {
  TrackingWork &w = tracking_work();
  MapUse use;
  const int ncol = map_columns();
  if (changed) {
    if (changed_map != nullptr) {
      sparse_of(blank.maps(slot), ncol, *changed_map);
      use.sparse = changed_map;
      return use;
    }
    sparse_of(blank.maps(slot), ncol, w.special);
    w.special_gf = symmap.entry(slot);
    use.sparse = &w.special;
    use.gf = &w.special_gf;
    return use;
  }
  const auto k = static_cast<std::size_t>(slot);
  if (k >= w.sparse_ready.size()) { // a record numbered after the run was prepared
    w.sparse.resize(k + 1);
    w.gf.resize(k + 1);
    w.sparse_ready.resize(k + 1, 0);
  }
  if (w.sparse_ready[k] == 0) {
    sparse_of(blank.maps(slot), ncol, w.sparse[k]);
    w.gf[k] = symmap.entry(slot);
    w.sparse_ready[k] = 1;
  }
  use.sparse = &w.sparse[k];
  use.gf = &w.gf[k];
  return use;
}

// The thin kick and, for a thick multipole, the half-length map of its quadrupole and sextupole
// terms turned by the element's tilt (so that half map, kick and half map are the element's map
// to second order), made symplectic under the option like every other map.
void prepare_multipole(int element, MultipoleKick &kick, SparseMap &half, SymmapEntry &gf) {
  kick = multit(element);
  if (kick.half_length == 0.0)
    return;
  const ElementValues e = element_values(element);
  MapContext ctx = map_context();
  TransferMap m = multipole_body_map(e, kick.half_length, ctx);
  tilt_element_map(e, ctx, m);
  gf = SymmapEntry{};
  if (ctx.symplectic)
    cmap(m, ctx.ncol, e.name, gf);
  sparse_of(m, ctx.ncol, half);
}

} // namespace

void build_step(int p, int turn, bool changed, Step &s, SparseMap *changed_map,
                ArbitraryElement *arbitrary) {
  TrackingWork &w = tracking_work();
  const int e = blank.mseq(p);
  const int kind = inputt.kode(e);
  const ElementValues v = element_values(e);
  s = Step{};
  s.position = p;
  s.element = e;
  const double length = v(slot::L);
  switch (kind) {
  case KODE_BEND:
  case KODE_QUAD:
  case KODE_SEXT:
  case KODE_QUADSEXT:
  case KODE_MTWISS:
  case KODE_MATRIX:
  case KODE_SOLENOID:
  case KODE_QUADAC:
  case KODE_LCAVITY: {
    const int slot = blank.matrix_number(e);
    const int q = w.linac_index.empty() ? 0 : w.linac_index[static_cast<std::size_t>(p)];
    const std::optional<double> entry =
        kind == KODE_LCAVITY && q > 0 ? linac_entry_energy(p) : std::nullopt;
    if (entry) {
      // A cavity changed by errors has its map made for this one step. One entered at an energy
      // that errors before it in the pass moved has its position's map made again for that
      // energy: the energies move only while imperfections are on, and then every cavity
      // position runs the steps waiting before it is prepared, so none waits on the old map.
      const auto k = static_cast<std::size_t>(q);
      SparseMap &map = changed ? w.special : w.linac[k];
      if (changed || *entry != w.linac_entry[k]) {
        MapContext ctx = map_context();
        ctx.symplectic = false;
        ctx.entry_energy = entry;
        TransferMap m;
        m = element_map(v, ctx);
        sparse_of(m, ctx.ncol, map);
        if (!changed)
          w.linac_entry[k] = *entry;
      }
      s.map.sparse = &map;
      s.map.geometric = sym.option == 1;
    } else if (slot >= 1 && slot <= machine_limits().maxmat) {
      s.map = slot_map(slot, changed, changed_map);
      s.map.geometric = kind == KODE_LCAVITY && sym.option == 1;
    } else {
      // No stored map: the element acts as the drift of its length, as in the map products.
      s.action = Action::DRIFT;
      s.length = length;
      s.half = length / 2;
      return;
    }
    s.action = Action::MAP;
    s.loss_test = true;
    if (kind == KODE_LCAVITY) {
      using namespace slot::lcavity;
      s.coupler = truncated(v(T));
      if (s.coupler != 0) {
        const double m = 0.00051099906;
        const double energy = s.coupler > 0 ? energy_after(p) : energy_before(p);
        const double phi = v(PHI0) * const_.raddeg;
        const double momentum = std::sqrt(std::fabs(energy * energy - m * m));
        s.coupler_kick = momentum > 0.0 ? std::cos(phi) * v(DELTAE) * v(KICKCOEF) / momentum : 0.0;
      }
    }
    return;
  }
  case KODE_MULTIPOL: {
    s.action = Action::MULTIPOLE;
    s.loss_test = true;
    const auto k = static_cast<std::size_t>(e);
    if (changed) {
      prepare_multipole(e, w.special_kick, w.special_half, w.special_half_gf);
      s.kick = &w.special_kick;
      s.map.sparse = &w.special_half;
      s.map.gf = &w.special_half_gf;
    } else {
      if (w.element_ready[k] == 0) {
        prepare_multipole(e, w.kicks[k], w.halves[k], w.half_gf[k]);
        w.element_ready[k] = 1;
      }
      s.kick = &w.kicks[k];
      s.map.sparse = &w.halves[k];
      s.map.gf = &w.half_gf[k];
    }
    s.thick = s.kick->half_length != 0.0;
    return;
  }
  case KODE_COLLIMAT:
    s.action = Action::COLLIMATOR;
    s.length = length;
    s.half = length / 2;
    s.aperture.ax = v(slot::collimator::XSIZE);
    s.aperture.ay = v(slot::collimator::YSIZE);
    s.aperture.shape = truncated(v(slot::collimator::SHAPE));
    return;
  case KODE_RFCAVITY:
    if (cavity_switched_off(v)) {
      // Its phase constants do not exist: it leaves the phases of the cavities that kick, and
      // the distance between them, alone.
      s.action = Action::DRIFT;
      s.length = length;
      s.half = length / 2;
      return;
    }
    s.action = Action::CAVITY;
    s.cavity = cavpre(p, e, turn);
    return;
  case KODE_GKICK:
    s.action = Action::KICK;
    s.gkick = kick_step(p, e, turn, length);
    return;
  case KODE_ARBITRAR:
    s.action = Action::ARBITRARY;
    for (int j = 1; j <= slot::arbitrary::PARAMETERS; ++j)
      arbitrary->p(j) = v(slot::arbitrary::P(j));
    arbitrary->count = std::min(v.count() - 1, slot::arbitrary::PARAMETERS);
    s.arbitrary = arbitrary;
    return;
  case KODE_MONITOR:
  case KODE_DRIFT:
  default:
    s.action = Action::DRIFT;
    s.length = length;
    s.half = length / 2;
    return;
  case KODE_HCOLLIMA:
  case 11:
  case 14:
  case KODE_TARVOCAV:
    s.action = Action::NOTHING;
    return;
  }
}

CavityStep cavpre(int p, int e, int turn) {
  using namespace slot::rfcavity;
  const ElementValues v = element_values(e);
  const double m = rest_mass();
  const double energy = v(ENERGY) + m;
  cav.inverse_gamma = m / energy;
  cav.beta = std::sqrt(1.0 - (m / energy) * (m / energy));
  const double s = blank.path_length(p);
  const double total = blank.machine_length;
  double ds = s - cav.previous_s;
  if (!(cav.previous_s < s || turn == 1))
    ds = ds + total;
  cav.previous_s = s;
  const double bc = cav.beta * const_.clight;
  // A machine without length has no revolution frequency: the cavity then kicks with a fixed
  // phase.
  const double f = total > 0.0 ? bc * v(FREQ) / total : 0.0;
  if (cav.frequency_printed == 0) {
    cav.frequency_printed = 1;
    engine_message("  FREQUENCY IS : " + fE(f, 15, 7));
  }
  cavity_in_slow_changes(e);
  CavityStep step;
  step.length = v(L);
  cav.k1 = 2.0 * const_.pi * f / bc;
  step.k1 = cav.k1;
  step.k2 = ds * cav.k1 * (cav.inverse_gamma * cav.inverse_gamma);
  const double h = std::trunc(v(FREQ));
  step.c0 = total > 0.0 ? (f / bc - h / total) * ds * 2.0 * const_.pi : 0.0;
  step.lag = inputt.eunits == 2 ? v(LAG) * const_.raddeg : v(LAG);
  step.voltage = 1e-6 * v(VOLT) / (energy * cav.beta * cav.beta);
  if (inputt.eunits != 2)
    step.voltage = step.voltage * 1000.0;
  // Without the mean radiation loss the kick stays as it always was, so that tracking without
  // radiation is unchanged.
  step.adiabatic = synch.option == 1 || synch.option == 3;
  return step;
}

int kick_period(double v) {
  const double p = std::fabs(v) + 0.01;
  return p < 2147483647.0 ? static_cast<int>(p) : 2147483647;
}

// The kick's roll turns the reference axes as ROLL does in the maps; its second half drift
// takes DZ as the map's does, so that tracking spans the length the map and the path lengths
// give the element. The slope and momentum kicks scale with the ratio of the design to the actual
// momentum after the position while the linac energy tables are in use (exactly 1 where the
// energies are the design ones).
KickStep kick_step(int p, int e, int turn, double length) {
  using namespace slot::gkick;
  const ElementValues v = element_values(e);
  KickStep k;
  k.half = length / 2;
  k.rest = length / 2 + v(DZ);
  rotation_cos_sin(convention_angle(v(ANGLE), inputt.eunits), k.c, k.s);
  const int period = kick_period(v(V));
  k.acts = period >= 1 && turn % period == 0;
  const int option = truncated(v(T));
  k.scaled = option == 1;
  k.dx = v(DX);
  k.dxp = inputt.eunits == 1 ? -v(DXP) : v(DXP);
  k.dy = v(DY);
  k.dyp = v(DYP);
  k.dl = v(DL);
  k.ddelta = v(DP);
  if (lincav.linac != 0) {
    const double m = const_.emass;
    const double ed = lincav.eideal(p), ea = lincav.ereal(p);
    const double actual = std::sqrt(ea * ea - m * m);
    if (actual > 0.0) {
      const double ratio = std::sqrt(ed * ed - m * m) / actual;
      k.dxp = k.dxp * ratio;
      k.dyp = k.dyp * ratio;
      k.ddelta = k.ddelta * ratio;
    }
  }
  if (option < 0 && k.acts) {
    const double n = -static_cast<double>(option);
    const double step = 2.0 * const_.pi / n;
    if (kickph.set == 0) {
      kickph.base = -step;
      kickph.set = 1;
    }
    if (kickph.first_kick == 1) {
      kickph.current = kickph.base + step;
      kickph.first_kick = 0;
    }
    const double total = blank.machine_length;
    const double s = blank.path_length(p);
    k.oscillation = true;
    k.oscillation_factor =
        std::cos(2.0 * const_.pi * (total > 0.0 ? s / total : 0.0) / n + kickph.current);
  }
  return k;
}

} // namespace vorax

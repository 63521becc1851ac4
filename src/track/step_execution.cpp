// The particle side of the tracking loop: every live particle of a chunk through the steps of a
// segment, chunks shared among the threads. Losses and the other events are kept per chunk in
// the order a particle loop meets them; the loop tells them afterwards.
#include "common/control.h"
#include "track/element_frames.h"
#include "track/radiation.h"
#include "track/tracking_areas.h"
#include "track/tracking_effects.h"
#include "track/tracking_steps.h"

#include <algorithm>
#include <cmath>
#include <limits>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace vorax {

namespace {

struct ChunkContext {
  const TrackingMode &mode;
  ChunkEvents &events;
  double aplim;
  int first, last; // 1-based particle range
  // The radiation draws of the step (radiation_draws per particle from particle 1), or null.
  const double *draws = nullptr;
  int per = 0;
};

// Chunk passes below which a segment is not shared among threads (16384 particle passes with
// the usual chunks).
constexpr long long PARALLEL_CHUNK_PASSES = 64;

double random_of(const ChunkContext &cx, int i, int k) {
  return cx.draws != nullptr ? cx.draws[cx.per * (i - 1) + k] : 0.0;
}

void record(ChunkContext &cx, int step, int particle, EventType type, int data = -1) {
  ChunkEvents &e = cx.events;
  if (e.count < CHUNK_EVENTS)
    e.event[e.count++] = Event{step, particle, type, data};
}

void load(int i, Coordinates z) {
  for (int k = 0; k < 6; ++k)
    z[k] = trace.pcoord(i, k + 1);
}

constexpr double LARGEST = std::numeric_limits<double>::max();

// Neither infinite nor NaN (which fails the comparison).
inline bool finite(double v) {
  return std::fabs(v) <= LARGEST;
}

void lose(ChunkContext &cx, int step, int i, EventType type);

// The particle's coordinates after a step. A coordinate that is not a finite number is no
// result: the particle is lost there instead and keeps the coordinates it entered the step with,
// so that nothing after it (a print, a table, another particle's statistics) sees the number.
// Returns whether it was stored.
bool store(ChunkContext &cx, int step, int i, const Coordinates z) {
  if (!(finite(z[0]) && finite(z[1]) && finite(z[2]) && finite(z[3]) && finite(z[4]) &&
        finite(z[5]))) {
    lose(cx, step, i, EventType::NON_FINITE);
    return false;
  }
  for (int k = 0; k < 6; ++k)
    trace.pcoord(i, k + 1) = z[k];
  return true;
}

// The loss test of the map kinds: lost unless x^2 + y^2 is below the limit (a coordinate that
// is not a number is lost too).
bool outside_limit(const Coordinates z, double aplim) {
  return !(z[0] * z[0] + z[2] * z[2] < aplim);
}

void lose(ChunkContext &cx, int step, int i, EventType type) {
  alive.flag(i) = 0;
  record(cx, step, i, type);
}

// Canonical to geometric with the warning recorded (the first two of the chunk are kept: only
// the first two of the program are printed).
void to_geometric(ChunkContext &cx, int step, int i, const Coordinates in, Coordinates out) {
  if (ncvar(in, out, cx.mode.b0) && cx.events.negative_roots < 2) {
    ++cx.events.negative_roots;
    record(cx, step, i, EventType::NEGATIVE_ROOT);
  }
}

void drift_one(ChunkContext &cx, int step, int i, Coordinates z, double length, double half) {
  if (!cx.mode.canonical) {
    trdrif(z, length, half);
    return;
  }
  Coordinates g;
  to_geometric(cx, step, i, z, g);
  trdrif(g, length, half);
  cvar(g, z, cx.mode.b0);
}

// A map on one particle in the variables the store holds.
void map_one(ChunkContext &cx, int step, int i, const MapUse &m, Coordinates z) {
  const TrackingMode &mode = cx.mode;
  if (m.geometric && mode.canonical) {
    Coordinates g;
    to_geometric(cx, step, i, z, g);
    apply_map_one(*m.sparse, g);
    cvar(g, z, mode.b0);
    return;
  }
  if (m.geometric || !mode.symplectic || m.gf == nullptr || m.gf->valid == 0) {
    apply_map_one(*m.sparse, z);
    return;
  }
  Coordinates c;
  if (mode.canonical)
    std::copy_n(z, 6, c);
  else
    cvar(z, c, mode.b0);
  ChunkEvents &e = cx.events;
  double start[6];
  std::copy_n(c, 6, start);
  const bool ok = mode.newton ? symrat(*m.gf, c) : symrtx(*m.gf, c);
  if (!ok && e.starts < 2 * CHUNK) {
    std::copy_n(start, 6, e.start[e.starts]);
    record(cx, step, i, EventType::NO_CONVERGENCE, e.starts++);
  }
  if (mode.canonical)
    std::copy_n(c, 6, z);
  else
    to_geometric(cx, step, i, c, z);
}

// The LCAVITY coupler kick, before (K < 0) or after (K > 0) the map.
void coupler(const Step &s, Coordinates z, bool before) {
  if (s.coupler == 0 || (s.coupler < 0) != before)
    return;
  const int which = s.coupler < 0 ? -s.coupler : s.coupler;
  if (which == 1)
    z[1] = z[1] + s.coupler_kick;
  else if (which == 2)
    z[3] = z[3] + s.coupler_kick;
}

// Radiation is emitted along the particle's direction: it lowers the momentum and keeps the
// slopes. In canonical variables it is therefore applied to the geometric ones, so that the
// transverse momenta fall with the total.
template <class Radiate>
void in_geometric(ChunkContext &cx, int step, int i, Coordinates z, Radiate radiate) {
  if (!cx.mode.canonical) {
    radiate(z);
    return;
  }
  Coordinates g;
  to_geometric(cx, step, i, z, g);
  radiate(g);
  cvar(g, z, cx.mode.b0);
}

// A radiating bend: the faces' share of the loss, and the pieces of its map with the radiation
// of the body between them.
void bend_body(ChunkContext &cx, int step, int i, const StepEffects &f, Coordinates z) {
  const BendPieces &b = *f.pieces;
  auto face = [&](bool exit) {
    in_geometric(cx, step, i, z,
                 [&](double *g) { g[5] = radiate_bend_face(f, g[0], g[2], g[5], exit); });
  };
  if (f.radiation != 2)
    face(false);
  for (int k = 0; k < BEND_RADIATION_POINTS; ++k) {
    map_one(cx, step, i, b.piece(k), z);
    const double random = random_of(cx, i, k);
    in_geometric(cx, step, i, z,
                 [&](double *g) { g[5] = radiate_bend_point(f, g[0], g[2], g[5], k, random); });
  }
  map_one(cx, step, i, b.piece(BEND_RADIATION_POINTS), z);
  if (f.radiation != 2)
    face(true);
}

// The same on the columns of the chunk's live particles: each piece of the map goes through the
// kernel of the other maps (the arithmetic of map_one, particle by particle). A particle whose
// coordinates stop being finite anywhere inside the bend is lost there with the coordinates it
// entered the step with (entered), as on every other step.
void bend_columns(ChunkContext &cx, int step, const StepEffects &f, const Columns &z,
                  const std::int32_t *live, int n, const double (*entered)[CHUNK]) {
  const int first = cx.first;
  const auto lose_inside = [&](int p) {
    for (int k = 0; k < 6; ++k)
      z[k][p] = entered[k][p];
    lose(cx, step, first + p, EventType::NON_FINITE);
  };
  const auto pass = [&](const SparseMap &piece) {
    int failed[CHUNK];
    const int count = apply_map_live(piece, z, live, n, failed);
    for (int k = 0; k < count; ++k)
      lose_inside(failed[k]);
  };
  auto face = [&](bool exit) {
    if (f.radiation == 2)
      return;
    for (int p = 0; p < n; ++p)
      if (live[p] != 0)
        z[5][p] = radiate_bend_face(f, z[0][p], z[2][p], z[5][p], exit);
  };
  face(false);
  for (int k = 0; k < BEND_RADIATION_POINTS; ++k) {
    pass(f.pieces->sparse[k]);
    for (int p = 0; p < n; ++p)
      if (live[p] != 0)
        z[5][p] = radiate_bend_point(f, z[0][p], z[2][p], z[5][p], k, random_of(cx, first + p, k));
  }
  pass(f.pieces->sparse[BEND_RADIATION_POINTS]);
  face(true);
  for (int p = 0; p < n; ++p)
    if (live[p] != 0 && !std::isfinite(z[5][p]))
      lose_inside(p);
}

// xp1, yp1: the slopes before the map.
void quadrupole_radiation(ChunkContext &cx, int step, int i, const StepEffects &f, double xp1,
                          double yp1, Coordinates z) {
  const double random = random_of(cx, i, 0);
  in_geometric(cx, step, i, z, [&](double *g) { radiate_quadrupole(f, xp1, yp1, g, random); });
}

// A map on the columns of the chunk's live particles: the loss test, then, inside the
// corrector's entrance and exit and the displaced frame, the map (or the radiating bend's pieces),
// with each particle's arithmetic that of the particle loop. A particle whose coordinates stop
// being finite is lost with those it entered the step with.
void map_columns(ChunkContext &cx, int index, const Step &s, const StepEffects &f) {
  const int losses = cx.events.count;
  for (int i = cx.first; i <= cx.last; ++i) {
    if (alive.flag(i) == 0)
      continue;
    const double x = trace.pcoord(i, 1), y = trace.pcoord(i, 3);
    if (!(x * x + y * y < cx.aplim))
      lose(cx, index, i, EventType::LOSS);
  }
  Columns z;
  for (int k = 0; k < 6; ++k)
    z[k] = trace.column(k + 1) + (cx.first - 1);
  const std::int32_t *live = alive.flag.data() + (cx.first - 1);
  const int n = cx.last - cx.first + 1;
  const Displacements *frame = s.misaligned ? &s.frame : nullptr;
  const Corset *corrector = s.corrected ? &s.corrector : nullptr;
  int failed[CHUNK];
  int count = 0;
  if (f.pieces == nullptr) {
    // The kernel keeps the coordinates a particle entered with when it fails.
    count = apply_map_live(*s.map.sparse, z, live, n, failed, frame, corrector);
    for (int k = 0; k < count; ++k)
      lose(cx, index, cx.first + failed[k], EventType::NON_FINITE);
  } else {
    double entered[6][CHUNK];
    for (int k = 0; k < 6; ++k)
      std::copy(z[k], z[k] + n, entered[k]);
    if (corrector != nullptr)
      enter_corrector(*corrector, z, live, n);
    if (frame != nullptr)
      enter_displaced_frame(*frame, z, live, n);
    bend_columns(cx, index, f, z, live, n, entered);
    // The pieces have checked every coordinate they gave; the frames change all but l, and what
    // the last of them leaves is checked: a coordinate that is not finite stays so through them.
    if (frame != nullptr)
      count = leave_displaced_frame(*frame, z, live, n, corrector != nullptr ? nullptr : failed);
    if (corrector != nullptr)
      count = leave_corrector(*corrector, z, live, n, failed);
    for (int k = 0; k < count; ++k) {
      const int p = failed[k];
      for (int c = 0; c < 6; ++c)
        z[c][p] = entered[c][p];
      lose(cx, index, cx.first + p, EventType::NON_FINITE);
    }
  }
  // Told in particle order, as one particle loop would meet the losses of every kind.
  if (cx.events.count - losses > 1)
    std::stable_sort(cx.events.event + losses, cx.events.event + cx.events.count,
                     [](const Event &a, const Event &b) { return a.particle < b.particle; });
}

void map_particles(ChunkContext &cx, int index, const Step &s, const StepEffects &f) {
  const bool radiates = f.radiation != 0 || f.quad_radiation || f.offset != 0;
  const bool plain =
      s.coupler == 0 && !cx.mode.symplectic && !cx.mode.canonical && !s.map.geometric;
  // A radiating bend's pieces are maps like the others: it keeps the kernels over columns.
  if (plain && (!radiates || f.pieces != nullptr)) {
    map_columns(cx, index, s, f);
    return;
  }
  for (int i = cx.first; i <= cx.last; ++i) {
    if (alive.flag(i) == 0)
      continue;
    Coordinates z;
    load(i, z);
    // The momentum offset is seen by the quadrupole's map only.
    const double offset = f.offset == 0 ? 0.0 : f.offset == 1 ? cspch.o1(i) : cspch.o2(i);
    z[5] = z[5] + offset;
    if (outside_limit(z, cx.aplim)) {
      lose(cx, index, i, EventType::LOSS);
      continue;
    }
    if (s.corrected)
      enter_corrector(s.corrector, z);
    if (s.misaligned)
      enter_displaced_frame(s.frame, z);
    double xp1 = z[1], yp1 = z[3];
    if (f.quad_radiation && cx.mode.canonical) {
      Coordinates g;
      to_geometric(cx, index, i, z, g);
      xp1 = g[1];
      yp1 = g[3];
    }
    if (s.coupler != 0 && cx.mode.canonical) {
      // The coupler kicks slopes: in canonical variables the whole cavity is taken in
      // geometric ones.
      Coordinates g;
      to_geometric(cx, index, i, z, g);
      coupler(s, g, true);
      apply_map_one(*s.map.sparse, g);
      coupler(s, g, false);
      cvar(g, z, cx.mode.b0);
    } else if (f.pieces != nullptr) {
      // The field, and so the radiation, is the bend's own: inside its displaced frame.
      bend_body(cx, index, i, f, z);
    } else {
      coupler(s, z, true);
      map_one(cx, index, i, s.map, z);
      coupler(s, z, false);
    }
    if (f.quad_radiation)
      quadrupole_radiation(cx, index, i, f, xp1, yp1, z);
    if (s.misaligned)
      leave_displaced_frame(s.frame, z);
    if (s.corrected)
      leave_corrector(s.corrector, z);
    z[5] = z[5] - offset;
    store(cx, index, i, z);
  }
}

void multipole_particles(ChunkContext &cx, int index, const Step &s) {
  for (int i = cx.first; i <= cx.last; ++i) {
    if (alive.flag(i) == 0)
      continue;
    Coordinates z;
    load(i, z);
    if (outside_limit(z, cx.aplim)) {
      lose(cx, index, i, EventType::LOSS);
      continue;
    }
    if (s.misaligned)
      enter_displaced_frame(s.frame, z);
    // The path length of the first half map is kept: the kick and the second half start from
    // everything the first half produced.
    if (s.thick)
      map_one(cx, index, i, s.map, z);
    multtr(*s.kick, z, cx.mode.canonical);
    if (s.thick)
      map_one(cx, index, i, s.map, z);
    if (s.misaligned)
      leave_displaced_frame(s.frame, z);
    store(cx, index, i, z);
  }
}

void collimator_particles(ChunkContext &cx, int index, const Step &s) {
  for (int i = cx.first; i <= cx.last; ++i) {
    if (alive.flag(i) == 0)
      continue;
    Coordinates z;
    load(i, z);
    if (!inside(s.aperture, z[0], z[2])) {
      lose(cx, index, i, EventType::APERTURE_LOSS);
      continue;
    }
    if (s.length == 0.0)
      continue;
    drift_one(cx, index, i, z, s.length, s.half);
    if (store(cx, index, i, z) && !inside(s.aperture, z[0], z[2]))
      lose(cx, index, i, EventType::APERTURE_LOSS);
  }
}

void drift_particles(ChunkContext &cx, int index, const Step &s) {
  if (s.length == 0.0)
    return;
  if (cx.mode.canonical) {
    for (int i = cx.first; i <= cx.last; ++i) {
      if (alive.flag(i) == 0)
        continue;
      Coordinates z;
      load(i, z);
      drift_one(cx, index, i, z, s.length, s.half);
      store(cx, index, i, z);
    }
    return;
  }
  Columns z;
  for (int k = 0; k < 6; ++k)
    z[k] = trace.column(k + 1) + (cx.first - 1);
  int failed[CHUNK];
  const int count = drift_live(z, alive.flag.data() + (cx.first - 1), cx.last - cx.first + 1,
                               s.length, s.half, failed);
  for (int k = 0; k < count; ++k)
    lose(cx, index, cx.first + failed[k], EventType::NON_FINITE);
}

void cavity_particles(ChunkContext &cx, int index, const Step &s) {
  for (int i = cx.first; i <= cx.last; ++i) {
    if (alive.flag(i) == 0)
      continue;
    Coordinates z;
    load(i, z);
    if (cx.mode.canonical) {
      Coordinates g;
      to_geometric(cx, index, i, z, g);
      cavity(s.cavity, g, cav.phase(i), cav.previous_l(i));
      cvar(g, z, cx.mode.b0);
    } else {
      cavity(s.cavity, z, cav.phase(i), cav.previous_l(i));
    }
    store(cx, index, i, z);
  }
}

// A corrector on the kick (its effect given) acts at its centre, around the kick.
void kick_one(const KickStep &k, Coordinates z, double initial_delta, const Corset *corrector) {
  if (k.half != 0.0)
    trdrif(z, k.half, k.half / 2);
  if (corrector != nullptr)
    enter_corrector(*corrector, z);
  if (k.acts) {
    const double g = k.scaled ? 1.0 / (1.0 + z[5]) : 1.0;
    const double x1 = k.c * z[0] + k.s * z[2];
    const double y1 = k.c * z[2] - k.s * z[0];
    const double xp1 = k.c * z[1] + k.s * z[3];
    const double yp1 = k.c * z[3] - k.s * z[1];
    z[0] = x1 + k.dx;
    z[1] = xp1 + g * k.dxp;
    z[2] = y1 + k.dy;
    z[3] = yp1 + g * k.dyp;
    z[4] = z[4] + k.dl;
    z[5] = k.oscillation ? k.oscillation_factor * initial_delta : z[5] + k.ddelta;
  }
  if (corrector != nullptr)
    leave_corrector(*corrector, z);
  if (k.rest != 0.0)
    trdrif(z, k.rest, k.rest / 2);
}

void kick_particles(ChunkContext &cx, int index, const Step &s) {
  const Corset *corrector = s.corrected ? &s.corrector : nullptr;
  for (int i = cx.first; i <= cx.last; ++i) {
    if (alive.flag(i) == 0)
      continue;
    Coordinates z;
    load(i, z);
    if (cx.mode.canonical) {
      Coordinates g;
      to_geometric(cx, index, i, z, g);
      kick_one(s.gkick, g, trace.pcoord(i, 7), corrector);
      cvar(g, z, cx.mode.b0);
    } else {
      kick_one(s.gkick, z, trace.pcoord(i, 7), corrector);
    }
    store(cx, index, i, z);
  }
}

void arbitrary_particles(ChunkContext &cx, int index, const Step &s) {
  for (int i = cx.first; i <= cx.last; ++i) {
    if (alive.flag(i) == 0)
      continue;
    Coordinates z;
    load(i, z);
    if (s.corrected)
      enter_corrector(s.corrector, z);
    if (s.misaligned)
      enter_displaced_frame(s.frame, z);
    if (cx.mode.canonical) {
      // The wake reads l and changes delta: geometric variables.
      Coordinates g;
      to_geometric(cx, index, i, z, g);
      trafct(*s.arbitrary, s.sigma, g);
      cvar(g, z, cx.mode.b0);
    } else {
      trafct(*s.arbitrary, s.sigma, z);
    }
    if (s.misaligned)
      leave_displaced_frame(s.frame, z);
    if (s.corrected)
      leave_corrector(s.corrector, z);
    store(cx, index, i, z);
  }
}

// Ground motion and a block entry before the element, a block exit after it, on every live
// particle of the chunk.
void effects_particles(ChunkContext &cx, int index, const StepEffects &f, bool before) {
  if (before ? !(f.ground || f.block_in) : !f.block_out)
    return;
  for (int i = cx.first; i <= cx.last; ++i) {
    if (alive.flag(i) == 0)
      continue;
    Coordinates z;
    load(i, z);
    // A block turns and shifts slopes: in canonical variables it acts on the geometric ones.
    // The ground motion moves positions only, which both sets of variables share.
    const bool convert = cx.mode.canonical && (before ? f.block_in : f.block_out);
    Coordinates g;
    if (convert) {
      to_geometric(cx, index, i, z, g);
      std::copy_n(g, 6, z);
    }
    if (before)
      effects_before(f, z);
    else
      effects_after(f, z);
    if (convert) {
      std::copy_n(z, 6, g);
      cvar(g, z, cx.mode.b0);
    }
    store(cx, index, i, z);
  }
}

void run_chunk(ChunkContext &cx, const Visit *visits, int count) {
  static const StepEffects none;
  for (int index = 0; index < count; ++index) {
    const Step &s = *visits[index].step;
    const StepEffects *effects = visits[index].effects;
    if (effects != nullptr)
      effects_particles(cx, index, *effects, true);
    switch (s.action) {
    case Action::DRIFT:
      drift_particles(cx, index, s);
      break;
    case Action::MAP:
      map_particles(cx, index, s, effects != nullptr ? *effects : none);
      break;
    case Action::MULTIPOLE:
      multipole_particles(cx, index, s);
      break;
    case Action::COLLIMATOR:
      collimator_particles(cx, index, s);
      break;
    case Action::CAVITY:
      cavity_particles(cx, index, s);
      break;
    case Action::KICK:
      kick_particles(cx, index, s);
      break;
    case Action::ARBITRARY:
      arbitrary_particles(cx, index, s);
      break;
    case Action::NOTHING:
      break;
    }
    if (effects != nullptr)
      effects_particles(cx, index, *effects, false);
  }
}

// Which particles reach the radiation of the step (alive, and inside the limit once the
// ground motion and a block entry have moved them), and their draws in particle order.
void prepare_draws(TrackingWork &work, const StepEffects &f, const TrackingMode &mode,
                   double aplim) {
  const auto n = static_cast<std::size_t>(trace.npart);
  work.radiating.assign(n, 0);
  for (int i = 1; i <= trace.npart; ++i) {
    if (alive.flag(i) == 0)
      continue;
    Coordinates z;
    load(i, z);
    if (f.ground || f.block_in) {
      if (mode.canonical && f.block_in) {
        Coordinates g;
        ncvar(z, g, mode.b0);
        std::copy_n(g, 6, z);
      }
      effects_before(f, z);
    }
    work.radiating[static_cast<std::size_t>(i - 1)] = outside_limit(z, aplim) ? 0 : 1;
  }
  work.draws.resize(n * static_cast<std::size_t>(radiation_draws(f)));
  draw_radiation(f, work.radiating.data(), trace.npart, work.draws.data());
}

} // namespace

void run_segment(const Visit *visits, int count, const TrackingMode &mode) {
  TrackingWork &work = tracking_work();
  const int chunks = chunk_count();
  const int size = tracking_chunk();
  const double aplim = const_.expulsion_factor;
  for (int c = 0; c < chunks; ++c) {
    ChunkEvents &e = work.events[static_cast<std::size_t>(c)];
    e.count = 0;
    e.negative_roots = 0;
    e.starts = 0;
  }
  // Random draws go in particle order: such a step runs alone, and its draws are made first.
  const StepEffects *drawing =
      count == 1 && visits[0].effects != nullptr && visits[0].effects->draws ? visits[0].effects
                                                                             : nullptr;
  if (drawing != nullptr)
    prepare_draws(work, *drawing, mode, aplim);
  // A team of threads costs its start and its barrier, which, on a machine whose cores are
  // busy, is a wait for the other threads to be scheduled: a segment of little work (a short
  // run of positions between two radiating bends, a few particles) runs on this thread.
  const long long passes = static_cast<long long>(count) * trace.npart;
  const int threads =
      passes < PARALLEL_CHUNK_PASSES * size ? 1 : std::max(1, std::min(tracking_threads(), chunks));
  auto chunk = [&](int c) {
    ChunkContext cx{mode, work.events[static_cast<std::size_t>(c)], aplim, c * size + 1,
                    std::min(trace.npart, (c + 1) * size)};
    if (drawing != nullptr) {
      cx.draws = work.draws.data();
      cx.per = radiation_draws(*drawing);
    }
    run_chunk(cx, visits, count);
  };
  // One chunk (or one thread) needs no team of threads, whose start costs more than a small
  // segment of a few particles.
  if (threads == 1) {
    for (int c = 0; c < chunks; ++c)
      chunk(c);
    return;
  }
  // Every chunk's particles are its own: the threads share nothing they write. Each thread takes
  // one contiguous run of chunks: handing out chunks one by one interleaves the threads in
  // memory, and their neighbouring chunks then cost more than the balance gains.
#pragma omp parallel for schedule(static) num_threads(threads)
  for (int c = 0; c < chunks; ++c)
    chunk(c);
}

} // namespace vorax

// The tracking loop's unit of work: one position of one turn, prepared once (the element's map
// or kick, its aperture, the turn's kick and cavity values) and then applied to every live
// particle. Steps of consecutive positions run as a segment: each thread takes whole chunks of
// particles through all the segment's steps, and what the particles met on the way (losses,
// unconverged symplectic steps, negative roots) is kept per chunk in particle order and told on
// the listing afterwards, position by position, exactly as a single particle loop would tell it.
#pragma once

#include "common/limits.h"
#include "common/transfer_map.h"
#include "maps/symmap.h"
#include "track/element_frames.h"
#include "track/map_kernels.h"
#include "track/particle_kernels.h"

#include <cstdint>
#include <vector>

namespace vorax {

// How a step moves its particles.
enum class Action : std::uint8_t {
  DRIFT,      // field-free drift (no loss test)
  MAP,        // loss test, the element's map
  MULTIPOLE,  // loss test, half map, thin kick, half map
  COLLIMATOR, // aperture at entry, drift, aperture at exit
  CAVITY,     // RF cavity kick
  KICK,       // half drift, general kick, half drift
  ARBITRARY,  // the wake of the arbitrary element
  NOTHING,    // particles pass unchanged
};

// A map as a step applies it. sparse: the polynomial; gf: the generating function of the
// symplectic step (null: the polynomial is applied). geometric: the map is in geometric
// variables although the option's maps are canonical (the linac cavity, which is never made
// symplectic).
struct MapUse {
  const SparseMap *sparse = nullptr;
  const SymmapEntry *gf = nullptr;
  bool geometric = false;
};

// The general kick of one position in one turn.
struct KickStep {
  double half = 0.0, rest = 0.0; // drift before and after the kick (the second with DZ)
  double c = 1.0, s = 0.0;       // the roll of the reference axes
  bool acts = false;             // the turn is a multiple of the kick period
  bool scaled = false;           // k = 1: the slope kicks are divided by 1 + delta
  bool oscillation = false;      // k < 0: delta becomes c_s times the initial delta
  double oscillation_factor = 0.0;
  double dx = 0, dxp = 0, dy = 0, dyp = 0, dl = 0, ddelta = 0;
};

// The points of a radiating bend's body where its radiation is applied, and the bend's map cut
// into the pieces between them (the first with the entrance edge, the last with the exit edge).
inline constexpr int BEND_RADIATION_POINTS = 3;
struct BendPieces {
  SparseMap sparse[BEND_RADIATION_POINTS + 1];
  SymmapEntry gf[BEND_RADIATION_POINTS + 1];
  MapUse piece(int k) const { return MapUse{&sparse[k], &gf[k], false}; }
};

// What the effects switched on by other operations add to a step: the ground-motion shift and a
// block entry before the element's action, a block exit after it, the radiation of a bend or
// quadrupole and the momentum offset a quadrupole sees. any: something here is on.
struct StepEffects {
  bool any = false;
  bool ground = false;
  double ground_dx = 0.0, ground_dy = 0.0;
  bool block_in = false, block_out = false;
  double block_entry[7] = {};
  double block_exit[8] = {}; // with the path term
  int radiation = 0;         // bend: 1 mean loss, 2 random part, 3 both
  bool quad_radiation = false;
  bool draws = false; // random draws in particle order: the step runs alone on one thread
  double u0 = 0.0, sigma = 0.0, cq = 0.0, cl = 0.0;
  // The bend's shape for the loss of a particle off the axis: signed curvature h, field index
  // n, the roll (cos, sin) that makes x, y the radial coordinate of the bending plane, and
  // tan(e)/L of the entrance and exit faces.
  double bend_h = 0.0, bend_n = 0.0, bend_c = 1.0, bend_s = 0.0;
  double edge_in = 0.0, edge_out = 0.0;
  // A bend that bends radiates between these pieces of its map (null: it does not bend).
  const BendPieces *pieces = nullptr;
  int distribution = 0;
  int offset = 0; // SPAC: 1 the offsets O1 (K1 = 0), 2 the offsets O2
};

struct Step {
  Action action = Action::NOTHING;
  int position = 0;
  int element = 0;
  bool loss_test = false;
  bool misaligned = false;         // the particles go through the displaced frame
  bool corrected = false;          // the corrector's entrance and exit parts wrap the element
  double length = 0.0, half = 0.0; // drift (vlen, vhalf)
  MapUse map;
  const MultipoleKick *kick = nullptr;
  bool thick = false; // a multipole with a half map on each side
  int coupler = 0;    // LCAVITY: the coupler option K
  double coupler_kick = 0.0;
  Aperture aperture;
  CavityStep cavity;
  KickStep gkick;
  double sigma = 0.0; // the wake's spread of l at the entry
  const ArbitraryElement *arbitrary = nullptr;
  Displacements frame; // misaligned: the entry and exit displacements
  Corset corrector;    // corrected: the corrector's effect
};

// One position of one turn in the pending segment: its step (prepared for the whole run, or for
// this visit alone), the effects switched on there (null: none), and the turn it belongs to.
struct Visit {
  const Step *step = nullptr;
  const StepEffects *effects = nullptr;
  int turn = 0;           // the turn it was prepared for
  int pass = 0;           // the walk's count of turns, which the turn may jump from
  bool turn_last = false; // the last visit of its turn
};

// What a particle met in a step, in the order it met it. NON_FINITE: the step gave it a
// coordinate that is not a finite number; it is lost there, keeping the coordinates it entered
// the step with.
enum class EventType : std::uint8_t {
  LOSS,
  APERTURE_LOSS,
  NON_FINITE,
  NO_CONVERGENCE,
  NEGATIVE_ROOT
};
struct Event {
  std::int32_t step; // index of the step in its segment
  std::int32_t particle;
  EventType type;
  std::int32_t data = -1; // NO_CONVERGENCE: index of the coordinates it started from
};

// Particles per chunk: the chunk's coordinates stay in the first- and second-level caches
// through all the steps of a segment.
inline constexpr int CHUNK = 256;
// Steps a segment may hold: a short machine's turns go on in one segment, so that the threads
// meet seldom.
inline constexpr std::size_t SEGMENT_STEPS = 8192;
// Maps changed by field errors a segment may hold (2 kB each): a ring whose every magnet has
// errors still runs in long segments.
inline constexpr int CHANGED_MAPS = 512;

// The chunks of the present store at the chunk size in force.
int chunk_count();

// Per chunk, the events of the current segment. A particle is lost once; the other events are
// only possible in single-step segments, at most two unconverged steps a particle (the two halves
// of a multipole) and the first two negative roots of the chunk.
inline constexpr int CHUNK_EVENTS = 3 * CHUNK + 2;
struct ChunkEvents {
  int count = 0;
  int negative_roots = 0;
  Event event[CHUNK_EVENTS];
  double start[2 * CHUNK][6]; // the coordinates an unconverged step started from
  int starts = 0;
};

// What the walk keeps of a position for the whole run: what it asks there, and the step when it
// is the same at every visit (the design element's map, drift, collimator, multipole, and the
// kicks that act every turn). Positions whose step changes from visit to visit (cavities with
// their phases, kicks with a period or a phase, wakes, and any visit where imperfections or
// effects act) are prepared at each visit.
struct PlannedPosition {
  bool known = false;       // the facts below and the step (unless every_visit) are prepared
  bool skip = false;        // kind 16: nothing happens there, not even output
  bool every_visit = false; // the step is prepared at each visit
  bool imperfect = false;   // misalignments or field errors are asked for there
  bool corrector = false;   // a corrector may act there
  bool monitor = false;
  bool alone = false; // runs in a segment of its own
  Step step;
};

// The scratch of the loop: the plan, the visits of the pending segment with the steps and effects
// prepared for them alone, the prepared maps and kicks, and the events. Sized once when a run
// starts; nothing is allocated while particles move.
struct TrackingWork {
  std::vector<PlannedPosition> plan; // by position
  std::vector<Visit> visits;
  std::vector<Step> steps;          // beside visits: the steps prepared for one visit
  std::vector<StepEffects> effects; // beside visits
  StepEffects position_effects;     // those of the position being prepared
  // The parameters of an ARBITELM step, beside the visits as the effects are.
  std::vector<ArbitraryElement> arbitrary;
  std::vector<ChunkEvents> events;
  std::vector<SparseMap> sparse;          // per map slot, the design map
  std::vector<std::uint8_t> sparse_ready; // per map slot
  std::vector<SymmapEntry> gf;            // per map slot, the design generating function
  std::vector<MultipoleKick> kicks;       // per element (multipoles)
  std::vector<SparseMap> halves;          // per element, the multipole's half map
  std::vector<SymmapEntry> half_gf;       // per element
  std::vector<std::uint8_t> element_ready;
  std::vector<SparseMap> linac; // per position holding an LCAVITY
  std::vector<int> linac_index; // position -> entry of linac, 0 none
  // The maps field errors changed, one per visit of the pending segment that needs one; when
  // they are all taken the segment runs first.
  std::vector<SparseMap> changed;
  int changed_used = 0;
  // A map, kick and half map changed by field errors for a step that runs alone.
  SparseMap special;
  MultipoleKick special_kick;
  SparseMap special_half;
  SymmapEntry special_gf, special_half_gf;
  // The radiation draws of a radiating step, per particle (see draw_radiation), and which
  // particles reach its radiation.
  std::vector<double> draws;
  std::vector<std::uint8_t> radiating;
  // Per entry of linac: the entrance energy its map was made for.
  std::vector<double> linac_entry;
  // While bends radiate: the pieces of each bend element, prepared at its first radiating step
  // (entry 0: those of a bend changed by errors, for its one step).
  std::vector<BendPieces> bend_pieces;
  std::vector<int> bend_piece_index; // element -> entry, 0 none
  std::vector<std::uint8_t> bend_pieces_ready;
};
TrackingWork &tracking_work();

// Which tracking the symplectic option and its SETS mode ask for.
struct TrackingMode {
  bool symplectic = false; // maps go through their generating functions
  bool canonical = false;  // the store holds canonical variables
  bool newton = true;      // symrat (Newton) rather than symrtx (fixed point)
  double b0 = 1.0;         // reference velocity of the conversions
};
TrackingMode tracking_mode();

// Runs the visits' steps on every live particle, chunks shared among the threads, and fills the
// events (their step is the index of the visit). Each particle goes through the steps in order
// with the arithmetic of the single particle loop, so the coordinates do not depend on the
// number of threads.
void run_segment(const Visit *visits, int count, const TrackingMode &mode);

} // namespace vorax

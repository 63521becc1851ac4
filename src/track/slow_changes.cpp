// Ground motion (SEIS) and slow parameter changes (ADIA), and what the effects of the tracking
// operations add to the tracking loop at the start of a turn and at each position.
#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "engine/deferred_data.h"
#include "engine/engine_start.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "maps/element_maps.h"
#include "track/radiation.h"
#include "track/tracked_matrix.h"
#include "track/tracking_areas.h"
#include "track/tracking_effects.h"

#include <cmath>
#include <string>

namespace vorax {

// SEIS: wavelength, amplitude and phase (degrees) in x and in y, then the first and the last
// element of the range (all positions until they are read). A wavelength of 0 has no wave: that
// plane stays still, and the listing says so.
void seism(int, int &end_flag) {
  cseis.first = 1;
  cseis.last = mat.npos;
  read_seis_data(end_flag, [](const DataRecord &r) {
    if (r.role == std::string_view("WAVES")) {
      cseis.wavelength_x = r.value(1);
      cseis.amplitude_x = r.value(2);
      cseis.phase_x = r.value(3) * const_.raddeg;
      cseis.wavelength_y = r.value(4);
      cseis.amplitude_y = r.value(5);
      cseis.phase_y = r.value(6) * const_.raddeg;
      cseis.previous_dx = 0.0;
      cseis.previous_dy = 0.0;
      cseis.on = 1;
      if (cseis.wavelength_x == 0.0)
        engine_message(" SEIS: WAVELENGTH 0 IN X, NO GROUND MOTION IN X");
      if (cseis.wavelength_y == 0.0)
        engine_message(" SEIS: WAVELENGTH 0 IN Y, NO GROUND MOTION IN Y");
      return;
    }
    cseis.first = elpos(Name8(r.name));
    cseis.last = elpos(Name8(r.second_name));
  });
}

namespace {

double wave(double amplitude, double wavelength, double phase, double s) {
  if (wavelength == 0.0)
    return 0.0;
  return amplitude * std::sin(2.0 * const_.pi * s / wavelength + phase);
}

} // namespace

// ADIA: per entry the element, the parameter and the type with its data, up to a name beginning
// with "99".
void setadi(int, int &end_flag) {
  adia.count = 0;
  adia.frequency = 0;
  adia.on = 1;
  read_adia_data(end_flag, [](const DataRecord &r) {
    const std::string_view role = r.role;
    if (role == "CHANGE") {
      if (adia.count == MAX_ADIA) {
        engine_message(" TOO MANY PARAMETERS TO BE VARIED ADIABATICALLY MAX is : " +
                       fI(MAX_ADIA, 5));
        engine_stop(13);
      }
      AdiaEntry &a = adia.entry[++adia.count];
      a = AdiaEntry{};
      a.element = elid(Name8(r.name));
      a.slot = vxpar(a.element, Name8(r.second_name));
      a.type = truncated(r.value(1));
      if (inputt.kode(a.element) == KODE_RFCAVITY && a.slot == slot::rfcavity::FREQ)
        adia.frequency = 1;
      return;
    }
    if (role == "COUNT")
      return;
    AdiaEntry &a = adia.entry[adia.count];
    if (role == "POINTS")
      a.points = r.count / 2;
    for (int k = 1; k <= r.count && k <= 2 * MAX_ADIA_POINTS; ++k)
      a.data(k) = r.value(k);
  });
  if (adia.count == 0)
    adia.on = 0;
}

namespace {

// The value of an entry at turn t; false when t lies before its window (the check ends there)
// or after it (the parameter keeps its last value).
enum class Window { BEFORE, INSIDE, AFTER };

Window entry_value(const AdiaEntry &a, int t, double &value) {
  const auto turn = [&](int k) { return truncated(a.data(k)); };
  switch (a.type) {
  case 1:
  case 2: {
    const int first = turn(1), last = turn(2);
    if (t < first)
      return Window::BEFORE;
    if (t > last)
      return Window::AFTER;
    if (a.type == 1) {
      // A ramp of one turn is a step to its last value.
      value = last == first ? a.data(4)
                            : a.data(3) + (a.data(4) - a.data(3)) * (t - first) / (last - first);
    } else {
      // A period of 0 turns has no oscillation: the offset plus the amplitude at the phase.
      const double period = a.data(5);
      value =
          a.data(3) +
          a.data(4) * std::sin((period != 0.0 ? 2.0 * const_.pi * t / period : 0.0) + a.data(6));
    }
    return Window::INSIDE;
  }
  case 3: {
    const int m = a.points;
    if (m < 1 || t < turn(1))
      return Window::BEFORE;
    if (t > turn(2 * m - 1))
      return Window::AFTER;
    for (int k = 1; k < m; ++k) {
      const int t0 = turn(2 * k - 1), t1 = turn(2 * k + 1);
      if (t >= t0 && t <= t1) {
        value = t1 == t0
                    ? a.data(2 * k + 2)
                    : a.data(2 * k) + (a.data(2 * k + 2) - a.data(2 * k)) * (t - t0) / (t1 - t0);
        return Window::INSIDE;
      }
    }
    value = a.data(2);
    return Window::INSIDE;
  }
  default:
    engine_message(" ERROR IN OPTION NUMBER FOR ADIABATIC CHANGE ");
    engine_stop(200);
  }
}

} // namespace

// A turn before an entry's window ends the check for that turn, so that later entries wait for
// the earlier ones; an entry whose window has passed keeps its last value and lets the later
// entries go on (a finished ramp must not freeze the changes after it).
bool adichk(int turn) {
  bool changed = false;
  for (int j = 1; j <= adia.count; ++j) {
    const AdiaEntry &a = adia.entry[j];
    double value = 0.0;
    const Window w = entry_value(a, turn, value);
    if (w == Window::BEFORE)
      break;
    if (w == Window::AFTER)
      continue;
    inputt.slot(a.element, a.slot) = value;
    rebuild_design_map(a.element);
    // A changed length (or a kick's DZ) moves every position after the element: the path
    // lengths follow, silently, turn after turn.
    if (a.slot == slot::L || (inputt.kode(a.element) == KODE_GKICK && a.slot == slot::gkick::DZ)) {
      if (a.slot == slot::L)
        lngth.ellen(a.element) = value;
      leng(false);
    }
    changed = true;
  }
  return changed;
}

bool turn_start_reads_particles() {
  return cspch.on != 0 || adia.on != 0;
}

bool start_turn_effects(int turn) {
  if (cblock.on != 0) {
    if (cblock.mode == 0)
      cblock.index = cseeds.master_seed;
    else
      cblock.index = cblock.mode = 1;
  }
  if (cspch.on != 0)
    momentum_offsets();
  return adia.on != 0 && adichk(turn);
}

bool effects_alone(int element) {
  if (crmat.collecting != 0)
    return true;
  if (cblock.on != 0)
    for (int j = 1; j <= cblock.count; ++j)
      if (cblock.block[j].start == element || cblock.block[j].end == element)
        return true;
  const int kind = inputt.kode(element);
  if (adia.frequency != 0 && kind == KODE_RFCAVITY)
    return true;
  return (kind == KODE_BEND && synch.option >= 2) ||
         (synch.quadrupoles != 0 &&
          (kind == KODE_QUAD || kind == KODE_SEXT || kind == KODE_QUADSEXT));
}

void cavity_in_slow_changes(int element) {
  if (adia.frequency == 0)
    return;
  for (int j = 1; j <= adia.count; ++j)
    if (adia.entry[j].element == element)
      return;
  engine_message(" NO MATCH WAS FOUND FOR CAVITY ID IN CAVPRE ");
  engine_stop(215);
}

bool effects_on() {
  return cblock.on != 0 || cseis.on != 0 || synch.option != 0 || synch.quadrupoles != 0 ||
         cspch.on != 0;
}

void position_effects(int p, const Step &s, StepEffects &f) {
  const int e = s.element;
  if (cblock.on != 0) {
    blockchk(p, e);
    const int state = cblock.position_state;
    if (state == 1 || state == 3) {
      f.block_in = true;
      for (int k = 0; k < 7; ++k)
        f.block_entry[k] = cblock.entry[k];
    }
    if (state == 2 || state == 3) {
      f.block_out = true;
      for (int k = 0; k < 8; ++k)
        f.block_exit[k] = cblock.exit[k];
    }
  }
  if (cseis.on != 0 && p >= cseis.first && p <= cseis.last) {
    const double s_p = blank.path_length(p);
    const double dx = wave(cseis.amplitude_x, cseis.wavelength_x, cseis.phase_x, s_p);
    const double dy = wave(cseis.amplitude_y, cseis.wavelength_y, cseis.phase_y, s_p);
    f.ground = true;
    f.ground_dx = dx - cseis.previous_dx;
    f.ground_dy = dy - cseis.previous_dy;
    cseis.previous_dx = dx;
    cseis.previous_dy = dy;
  }
  const int kind = inputt.kode(e);
  if (s.action == Action::MAP) {
    const bool quadrupole = kind == KODE_QUAD || kind == KODE_SEXT || kind == KODE_QUADSEXT;
    if ((kind == KODE_BEND && synch.option != 0) || (quadrupole && synch.quadrupoles != 0)) {
      synpre(e, inputt.slot(e, slot::L));
      f.radiation = kind == KODE_BEND ? synch.option : 0;
      f.quad_radiation = quadrupole;
      f.u0 = synch.u0;
      f.sigma = synch.sigma;
      f.cq = synch.cq;
      f.cl = synch.cl;
      f.distribution = synch.distribution;
      f.draws = quadrupole || f.radiation >= 2;
      if (kind == KODE_BEND)
        bend_loss_shape(e, f);
    }
    if (kind == KODE_QUAD && cspch.on != 0)
      f.offset = inputt.slot(e, slot::quad::K1) == 0.0 ? 1 : 2;
  }
  f.any = f.ground || f.block_in || f.block_out || f.radiation != 0 || f.quad_radiation ||
          f.offset != 0;
}

void effects_before(const StepEffects &f, double z[6]) {
  if (f.ground) {
    z[0] = z[0] + f.ground_dx;
    z[2] = z[2] + f.ground_dy;
  }
  if (f.block_in)
    blin(f.block_entry, z);
}

void effects_after(const StepEffects &f, double z[6]) {
  if (f.block_out)
    blout(f.block_exit, z);
}

} // namespace vorax

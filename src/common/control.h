// Engine-wide control words read by every subsystem: file units, echo, print level, map order,
// the recoverable-error mode of the error stop, and the physical constants.
#pragma once

#include "common/reset.h"
#include "common/units.h"

namespace vorax {

// Control words of the operation loop.
struct Control {
  int input_unit = DECK_UNIT;    // where operation lines and data are read
  int output_unit = LISTING_UNIT;
  int echo_unit = LOG_UNIT;
  int echo_flag = 0;             // 1 when the echo unit differs from the output unit
  int print_level = 3;           // 0..9
  int map_order = 2;             // 2: second-order terms carried; 1: first order only
  int page_eject = 0;            // next operation heading starts a new page
  int alig_echo = 1;             // 0: the next ALIG line is not echoed
};
inline Control control;
inline const AreaRegistration control_registration{reset_area<control>};

// Recoverable-error mode of the error stop (used by orbit alignment).
struct Cinter {
  int mode = 0;     // 1: halt records the first error and returns
  int recorded = 0; // error number recorded in that mode, 0 when none
};
inline Cinter cinter;
inline const AreaRegistration cinter_registration{reset_area<cinter>};

// Physical and numerical constants; changed by CONS, shown by SHOV.
struct Const {
  double pi = 3.141592653589793;
  double twopi = 6.283185307179586;
  double raddeg = 0.017453292519943295;   // radians per degree
  double brho_factor = 33.35640951981521; // kG m per GeV/c; also the lattice-plot rigidity
  double clight = 299792458.0;            // m/s
  double emass = 0.00051099906;           // particle mass, GeV
  double erad = 2.817938e-15;             // classical particle radius, m
  double echarge = 1.6021892e-19;         // coulomb
  double lsq_tolerance = 1e-07;
  int max_call_factor = 10;
  double expulsion_factor = 1.0;
  double eta_scaling = 1.0;
  double sigma_scaling = 1.0;
  int particle_kind = 0; // 0 electron, 1 proton
};
inline Const const_;
inline const AreaRegistration const_registration{reset_area<const_>};

// Reference momentum deviation dp/p (the single-precision value of 0.005).
struct Condef {
  double dpp_ref = 0.004999999888241291;
};
inline Condef condef;
inline const AreaRegistration condef_registration{reset_area<condef>};

// A fresh engine entry starts from the control words and constants of a new run; the units it
// reads and writes are bound afresh by the engine start itself.
inline void control_defaults() {
  control.print_level = 3;
  control.map_order = 2;
  control.page_eject = 0;
  control.alig_echo = 1;
  reset_in_place(cinter);
  reset_in_place(const_);
  reset_in_place(condef);
}
inline const EngineDefaultsRegistration control_defaults_registration{control_defaults};

} // namespace vorax

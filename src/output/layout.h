// The machine layout: the magnet listing in practical units (HARD), the global geometry of the
// reference orbit position by position (LAYO, HARD with layout data, and the geometry
// conditions of the fits), and the drawing records that place a symbol for each magnet (CADO).
#pragma once

#include "common/reset.h"
#include "common/slots.h"

#include <array>

namespace vorax {

// A vector in the global frame, components in the order (Z, X, Y).
using Vec3 = std::array<double, 3>;

// Position (metres) and orientation of the reference orbit: axis[0] along the orbit, axis[1]
// the local horizontal x, axis[2] the local vertical y, each in global components. Both frames
// are right-handed: along x horizontal = vertical, as Z x X = Y.
struct Frame {
  Vec3 point{};
  std::array<Vec3, 3> axis{{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};
};

// The angles of an orientation in degrees: azimuth THETA, elevation PHI and roll PSI.
struct Orientation {
  double theta = 0.0, phi = 0.0, psi = 0.0;
};

// The start values of the geometry as the last LAYO or HARD with layout data gave them: the
// start frame in metres, the path length at the start and the length unit the rows use.
struct GeometryStart {
  Frame frame;
  double s0 = 0.0;
  double unit = 1.0;                // metres per printed length unit, always positive
  bool unit_given = true;           // false when the data gave no positive unit (metres are used)
  std::array<double, 6> previous{}; // X0, Y0, Z0, THETA0, PHI0, PSI0 as given
};

// Layout data and results: lengths in the user's unit, angles in degrees.
struct Layout {
  double s0 = 0.0, x0 = 0.0, y0 = 0.0, z0 = 0.0;
  double theta0 = 0.0, phi0 = 0.0, psi0 = 0.0;
  double unit = 0.0; // metres in one user length unit
  // Results at the last position computed (the end of the machine after a full pass).
  double s = 0.0, x = 0.0, y = 0.0, z = 0.0;
  double theta = 0.0, phi = 0.0, psi = 0.0;
  int suppressed = 0;    // 1: compute without printing (the fits); each operation starts at 0
  int geometry_mode = 0; // 0 magnet listing only, 1 geometry only, 2 listing then geometry
  int nprint = 0;        // row selection: 0 every position, <= -2 none, else the ranges
  double energy = 0.0;   // GeV, for the inductions of the magnet listing
  GeometryStart start;   // kept from the last call that had layout data
};
inline Layout layout;
inline const AreaRegistration layout_registration{reset_area<layout>};

// Drawing state: the previous and the current printed point, X, Y, Z, THETA, PHI, PSI.
struct Hpdat {
  double focal = 0.0; // focal length of the quadrupole being drawn
  std::array<double, 6> previous{};
  std::array<double, 6> current{};
  int position = 0; // machine position of the current point
  int drawing = 0;  // 1: write drawing records
  int view = 1;     // 1 plan view (Z, X, THETA), 2 elevation view (Z, Y, PHI)
};
inline Hpdat hpdat;
inline const AreaRegistration hpdat_registration{reset_area<hpdat>};

// Frame steps (pure). The start frame from a point (metres) and THETA, PHI, PSI (radians).
Frame start_frame(double z, double x, double y, double theta, double phi, double psi);
// Turns the local axes about the orbit by angle, as ROLL turns the reference axes: the new
// local x is cos a x + sin a y.
void roll_axes(Frame &frame, double angle);
// A bend of arc length and angle (radians) whose own +x axis stands at tilt from the local
// x (towards -y for a positive tilt, as the maps tilt it); a positive angle bends towards the
// magnet's -x.
void bend_step(Frame &frame, double length, double angle, double tilt);
void straight_step(Frame &frame, double length);
// The frame advanced through one element of the engine tables in the given unit convention.
void advance_frame(Frame &frame, const ElementValues &element, int eunits);
Orientation orientation_of(const Frame &frame);

// Focal length 1/(k sin kL) of a quadrupole of strength K (k = sqrt|K|, negative for K < 0);
// 0 where it has none: no gradient, no length, or no net focusing (kL a multiple of pi).
double quadrupole_focal_length(double strength, double length);

// Stores layout values from HARD (after its energy) or LAYO: S0, X0, Y0, Z0, THETA0, PHI0,
// PSI0, unit, range count n and the 2n range bounds; count, the number of values the reader
// delivered, is kept with the ranges.
// More than MXLIST ranges stop the run (false in recoverable mode: nothing is computed).
bool take_layout_values(const double *values, int count);
// The whole number nearest to a data value, kept inside +-1e9 (0 for NaN).
int nearest_whole(double value);

void hwpnt();                       // the magnet listing and/or the geometry, by layout
void magnet_listing();              // the listing part of hwpnt
void lay(int code, int &end_flag);  // LAYO
void hpon(int code, int &end_flag); // CADO
void hpdraw();                      // the drawing record of the current point
// The geometry of the whole machine without printing (the fits' geometry conditions); the
// result k = 1..7 is S, X, Y, Z, THETA, PHI, PSI at the end of the machine.
void geometry_quiet();
double geometry_result(int k);

} // namespace vorax

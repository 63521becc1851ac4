// The global geometry of the reference orbit: start frame, the frame carried through every
// element position, the rows of the layout, and LAYO with the layout data it shares with HARD.
#include "output/layout.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/limits.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "maps/element_maps.h"
#include "output/result_elements.h"
#include "output/result_files.h"
#include "output/tracking_layout_results.h"

#include <cmath>
#include <string>
#include <vector>

namespace vorax {

namespace {

constexpr int Z = 0, X = 1, Y = 2;

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

Vec3 combine(double a, const Vec3 &u, double b, const Vec3 &v) {
  return {a * u[0] + b * v[0], a * u[1] + b * v[1], a * u[2] + b * v[2]};
}

// The local axes turned about the orbit: x <- c x + s y, y <- c y - s x.
void turn_axes(Frame &frame, double c, double s) {
  const Vec3 x = frame.axis[1], y = frame.axis[2];
  frame.axis[1] = combine(c, x, s, y);
  frame.axis[2] = combine(c, y, -s, x);
}

// The bend in its own frame: the orbit turns by angle towards -x.
void plane_bend(Frame &frame, double length, double angle) {
  double a = length, b = 0.0;
  if (angle != 0.0) {
    const double half = std::sin(0.5 * angle);
    a = length * std::sin(angle) / angle;
    // 1 - cos written as 2 sin^2(angle/2): exact to rounding also for tiny angles.
    b = length * 2.0 * half * half / angle;
  }
  const Vec3 along = frame.axis[0], x = frame.axis[1];
  for (int k = 0; k < 3; ++k)
    frame.point[k] += a * along[k] - b * x[k];
  const double c = std::cos(angle), s = std::sin(angle);
  frame.axis[0] = combine(c, along, -s, x);
  frame.axis[1] = combine(s, along, c, x);
}

// The unit's name, matched loosely; later matches replace earlier ones. Empty: no name.
std::string unit_name(double u) {
  std::string name;
  if (std::fabs(u - 1.0) < 0.001)
    name = "METERS";
  if (std::fabs(u - 0.01) < 1e-5)
    name = "CM";
  if (std::fabs(u - 0.001) < 1e-6)
    name = "MM";
  if (std::fabs(u - 1e-6) < 1e-9)
    name = "MICRON";
  if (std::fabs(u - 0.9144) < 0.001)
    name = "YARDS";
  if (std::fabs(u - 0.3048) < 0.001)
    name = "FEET";
  if (std::fabs(u - 0.0254) < 1e-5)
    name = "INCHES";
  return name;
}

std::string right_aligned(std::string_view title, int width) {
  return blanks(width - static_cast<int>(title.size())) + std::string(title);
}

void print_header(const GeometryStart &start) {
  if (control.print_level < 1)
    return;
  if (!start.unit_given)
    // A unit of zero would divide every length by zero; the rows are then in metres.
    say(" **** THE LENGTH UNIT IS NOT POSITIVE: METERS ARE USED");
  const std::string name = unit_name(start.unit);
  if (name.empty())
    say(" ***SPECIAL UNITS ARE USED FOR THE LENGTHS!!!!****");
  else
    say(" THE LENGTHS ARE MEASURED IN " + name + blanks(6 - static_cast<int>(name.size())) +
        " ,THE ANGLES IN DEGREES");
  say(" THE SXYZ COORDINATES,AZIMUTH,ELEVATION AND ROLL ANGLES ARE :");
  std::string titles = blanks(position_width(5) - 5) + "  #   NAME      ";
  for (const char *t : {"S", "X", "Y", "Z", "THETA", "PHI", "PSI", "ALPHA"})
    titles += right_aligned(t, 14);
  say(titles);
}

// Whether the row of position p is printed (and drawn): nprint 0 every position, <= -2 none,
// otherwise the ranges or the print selection, and always the last position.
bool row_selected(int p, int &cursor) {
  if (layout.nprint <= -2)
    return false;
  if (layout.nprint == 0)
    return true;
  int result = 0;
  prttst(p, cursor, result);
  return result == 1 || p == mat.npos;
}

void store_results(const Frame &frame, const GeometryStart &start, int p) {
  const Orientation o = orientation_of(frame);
  layout.s = start.s0 + blank.path_length(p) / start.unit;
  layout.x = frame.point[X] / start.unit;
  layout.y = frame.point[Y] / start.unit;
  layout.z = frame.point[Z] / start.unit;
  layout.theta = o.theta;
  layout.phi = o.phi;
  layout.psi = o.psi;
}

void print_row(int p) {
  double alpha = layout.psi;
  char side = 'R';
  if (layout.psi >= -180.0 && layout.psi < -90.0) {
    alpha = layout.psi + 180.0;
    side = 'L';
  } else if (layout.psi > 90.0 && layout.psi <= 180.0) {
    alpha = layout.psi - 180.0;
    side = 'L';
  }
  std::string row = " " + fI(p, position_width(5)) + " " + chinp.elname(blank.mseq(p)).str() + " ";
  for (double v :
       {layout.s, layout.x, layout.y, layout.z, layout.theta, layout.phi, layout.psi, alpha})
    row += fF(v, 14, 7);
  say(row + " " + side);
}

// A point of the result files at position p (0: the start), in the units of the rows.
LayoutPoint result_point(const Frame &frame, const GeometryStart &start, int p, bool printed) {
  LayoutPoint point;
  const Orientation o = orientation_of(frame);
  point.number = p;
  if (p > 0) {
    const int e = blank.mseq(p);
    point.name = chinp.elname(e).trimmed();
    point.keyword = keyword_of_element(e);
    point.kind = bar_kind(e);
  }
  point.s = start.s0 + (p > 0 ? blank.path_length(p) : 0.0) / start.unit;
  point.x = frame.point[X] / start.unit;
  point.y = frame.point[Y] / start.unit;
  point.z = frame.point[Z] / start.unit;
  point.theta = o.theta;
  point.phi = o.phi;
  point.psi = o.psi;
  point.printed = printed;
  return point;
}

void geometry_pass() {
  const GeometryStart &start = layout.start;
  const bool quiet = layout.suppressed != 0;
  if (!quiet)
    print_header(start);
  hpdat.previous = start.previous;
  Frame frame = start.frame;
  // The table holds the printed rows; the floor plot is drawn through every position.
  const bool results = !quiet && (tables_wanted() || plots_wanted());
  std::vector<LayoutPoint> points;
  if (results)
    points.push_back(result_point(frame, start, 0, false));
  int cursor = 1;
  for (int p = 1; p <= mat.npos; ++p) {
    advance_frame(frame, element_values(blank.mseq(p)), inputt.eunits);
    const bool selected = row_selected(p, cursor);
    if (results)
      points.push_back(result_point(frame, start, p, selected && control.print_level >= 1));
    if (!selected && p != mat.npos)
      continue;
    store_results(frame, start, p);
    if (!selected)
      continue;
    if (!quiet && control.print_level >= 1)
      print_row(p);
    hpdat.current = {layout.x, layout.y, layout.z, layout.theta, layout.phi, layout.psi};
    hpdat.position = p;
    // The fits evaluate the geometry many times over; only a printed layout is drawn.
    if (hpdat.drawing == 1 && !quiet)
      hpdraw();
  }
  if (results)
    write_layout_results(layout.geometry_mode == 1 ? "layo" : "hard", points, start.unit);
}

// The start values of the layout data, kept for later calls without them.
void keep_start() {
  GeometryStart &start = layout.start;
  const double u = layout.unit;
  start.unit_given = u > 0.0 && std::isfinite(u);
  start.unit = start.unit_given ? u : 1.0;
  start.s0 = layout.s0;
  const double d = const_.raddeg;
  start.frame = start_frame(layout.z0 * start.unit, layout.x0 * start.unit, layout.y0 * start.unit,
                            layout.theta0 * d, layout.phi0 * d, layout.psi0 * d);
  start.previous = {layout.x0, layout.y0, layout.z0, layout.theta0, layout.phi0, layout.psi0};
}

} // namespace

Frame start_frame(double z, double x, double y, double theta, double phi, double psi) {
  const double c1 = std::cos(theta), s1 = std::sin(theta);
  const double c2 = std::cos(phi), s2 = std::sin(phi);
  const double c3 = std::cos(psi), s3 = std::sin(psi);
  Frame f;
  f.point = {z, x, y};
  f.axis[0] = {c1 * c2, s1 * c2, s2};
  f.axis[1] = {-c1 * s2 * s3 - s1 * c3, c1 * c3 - s1 * s2 * s3, c2 * s3};
  f.axis[2] = {s1 * s3 - c1 * s2 * c3, -s1 * s2 * c3 - c1 * s3, c2 * c3};
  return f;
}

void roll_axes(Frame &frame, double angle) {
  double c, s;
  rotation_cos_sin(angle, c, s);
  turn_axes(frame, c, s);
}

// The magnet's own axes are the local axes turned by -tilt (its +x along cos t x - sin t y),
// the frame a ROLL of -tilt makes; the bend acts in them and the axes turn back by +tilt. So
// TILT t equals ROLL(-t), bend, ROLL(t), as for the maps, and a positive angle with a tilt of
// +pi/2 bends up.
void bend_step(Frame &frame, double length, double angle, double tilt) {
  if (tilt == 0.0) {
    plane_bend(frame, length, angle);
    return;
  }
  double c, s;
  rotation_cos_sin(tilt, c, s);
  turn_axes(frame, c, -s);
  plane_bend(frame, length, angle);
  turn_axes(frame, c, s);
}

void straight_step(Frame &frame, double length) {
  for (int k = 0; k < 3; ++k)
    frame.point[k] += length * frame.axis[0][k];
}

// A general kick (and ROLL) turns the axes by its ANGLE and spans L + DZ; its kicks move the
// orbit about the reference, not the reference itself. ZROT's angle is such a kick.
void advance_frame(Frame &frame, const ElementValues &e, int eunits) {
  switch (e.kind) {
  case KODE_GKICK: {
    const bool full = e.count() >= slot::gkick::DZ;
    const double angle = full ? convention_angle(e(slot::gkick::ANGLE), eunits) : 0.0;
    if (angle != 0.0)
      roll_axes(frame, angle);
    straight_step(frame, e(slot::gkick::L) + (full ? e(slot::gkick::DZ) : 0.0));
    break;
  }
  case KODE_BEND: {
    const double angle = e(slot::bend::ANGLE) * (eunits == 2 ? const_.raddeg : 1.0);
    const double tilt = convention_angle(e(slot::tilt_of(e.count())), eunits);
    bend_step(frame, e(slot::bend::L), angle, tilt);
    break;
  }
  default:
    straight_step(frame, e(slot::L));
    break;
  }
}

Orientation orientation_of(const Frame &f) {
  const Vec3 &along = f.axis[0];
  const double d = const_.raddeg;
  Orientation o;
  o.theta = std::atan2(along[X], along[Z]) / d;
  o.phi = std::atan2(along[Y], std::sqrt(along[Z] * along[Z] + along[X] * along[X])) / d;
  o.psi = std::atan2(f.axis[1][Y], f.axis[2][Y]) / d;
  return o;
}

bool take_layout_values(const double *v, int count) {
  const int ranges = nearest_whole(v[8]);
  if (ranges > MXLIST) {
    say(" **** TOO MANY INTERVALS " + fI(ranges, 5) + " CHANGE MXLIST PARAMETER TO VALUE NEEDED");
    halt(2);
    return false; // recoverable-error mode: nothing is stored or computed
  }
  layout.s0 = v[0];
  layout.x0 = v[1];
  layout.y0 = v[2];
  layout.z0 = v[3];
  layout.theta0 = v[4];
  layout.phi0 = v[5];
  layout.psi0 = v[6];
  layout.unit = v[7];
  layout.nprint = ranges;
  // The ranges go where the print test reads them, unless a PRIN selection decides instead;
  // without ranges only the last position passes that test.
  mat.nint = ranges;
  if (!cprt.selection && ranges > 0) {
    mat.intervals(0) = count;
    for (int j = 1; j <= 2 * ranges; ++j)
      mat.intervals(j) = nearest_whole(v[8 + j]);
  }
  return true;
}

void hwpnt() {
  if (layout.geometry_mode != 0)
    keep_start();
  if (layout.suppressed == 0 && layout.geometry_mode != 1) {
    magnet_listing();
    if (layout.geometry_mode == 0)
      return;
  }
  geometry_pass();
}

void lay(int, int &end_flag) {
  cintak.values.fill(0.0);
  const int count = input_record(end_flag);
  if (!take_layout_values(cintak.values.data(), count))
    return;
  layout.geometry_mode = 1;
  hwpnt();
}

void geometry_quiet() {
  layout.suppressed = 1;
  hwpnt();
}

int nearest_whole(double v) {
  if (!(v > -1e9))
    return std::isnan(v) ? 0 : -1000000000;
  if (v > 1e9)
    return 1000000000;
  return static_cast<int>(std::lround(v));
}

double geometry_result(int k) {
  switch (k) {
  case 1:
    return layout.s;
  case 2:
    return layout.x;
  case 3:
    return layout.y;
  case 4:
    return layout.z;
  case 5:
    return layout.theta;
  case 6:
    return layout.phi;
  case 7:
    return layout.psi;
  default:
    return 0.0;
  }
}

} // namespace vorax

// MOVE's resonance study (res): the fixed points of the map of two or three turns near the
// closed orbit of a deviation, found by tracking, the points that start the tracing of the
// separatrices, and the stable area the separatrices enclose.
#include "optics/energy_scan.h"

#include "common/control.h"
#include "common/format.h"
#include "common/units.h"
#include "optics/matrix_operation.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vorax {

namespace {

void say(const std::string &text) {
  write_record(control.output_unit, text);
}

// The search for a fixed point starts at amplitudes growing by this factor from the pentagon
// amplitude up to SEARCH_LIMIT (m), in SEARCH_DIRECTIONS directions at each.
constexpr double SEARCH_GROWTH = 2.0;
constexpr double SEARCH_LIMIT = 1.0;
constexpr int SEARCH_DIRECTIONS = 8;

// Separatrix tracing: points per growth factor of the starting segment, and the most steps
// (more for a slow growth near the edge of a stop band, up to the second limit).
constexpr int TRACE_POINTS = 32;
constexpr int TRACE_STEPS = 400;
constexpr int TRACE_STEPS_MOST = 4000;

// The study of one plane of one deviation.
struct Study {
  int e = 0, plane = 0, order = 0;
  int i = 0;                   // index of the plane's position coordinate (1 or 3)
  double d = 0.0;              // the size of the pentagon amplitude as given
  double co[4] = {};           // closed orbit
  double u[2] = {}, w[2] = {}; // the directions the search starts along
};

double distance_in_plane(const Study &s, const double a[4], const double b[4]) {
  return std::hypot(a[s.i - 1] - b[s.i - 1], a[s.i] - b[s.i]);
}

// How close a fixed point must come back onto itself after `order` turns, relative to its
// distance from the closed orbit. The search's own test looks at its steps only, and a step can
// stall where the map is not yet fixed; a point that fails this test is never printed.
constexpr double RETURN_TOLERANCE = 1e-9;

// z is a fixed point of the map of `order` turns, away from the closed orbit: tracked that many
// turns it comes back onto itself to RETURN_TOLERANCE of that distance, in all four coordinates.
bool comes_back(const Study &s, const double z[4]) {
  const double r = distance_in_plane(s, z, s.co);
  double t[1][4] = {{z[0], z[1], z[2], z[3]}};
  if (!(r > 0.0) || !track_points(s.e, s.order, t, 1))
    return false;
  for (int c = 0; c < 4; ++c)
    if (!(std::fabs(t[0][c] - z[c]) <= RETURN_TOLERANCE * r))
      return false;
  return true;
}

// z is of a smaller period than the order when one turn brings it back onto itself.
bool of_period_one(const Study &s, const double z[4]) {
  double t[1][4] = {{z[0], z[1], z[2], z[3]}};
  if (!track_points(s.e, 1, t, 1))
    return false;
  return distance_in_plane(s, t[0], z) <= 1e-6 * distance_in_plane(s, z, s.co);
}

// The closed orbit MOVE leaves is the fixed point of the affine map its last pentagon measured,
// which misses the true one by terms of the orbit's own nonlinearity; searches that end on the
// true closed orbit would then find a "fixed point" that far from it. The estimate is settled by
// the same iteration over one turn first, and kept when that does not settle.
void settle_closed_orbit(Study &s) {
  double co[4];
  std::copy(s.co, s.co + 4, co);
  Matrix<double, 4, 4> m;
  if (fixed_point(s.e, 1, co, m))
    std::copy(co, co + 4, s.co);
}

// The closed orbit is itself a fixed point of every number of turns, and a search started close
// to it ends there: the starts move out from the pentagon amplitude until searches end on
// fixed points of the full period away from the closed orbit; of those of that distance the
// one nearest the closed orbit is taken. `any` tells whether any search settled.
bool find_first_point(const Study &s, double z[4], Matrix<double, 4, 4> &m, bool &any) {
  any = false;
  if (!(s.d > 0.0))
    return false;
  double nearest = 0.0;
  int step = 0;
  for (double a = s.d; a <= std::max(SEARCH_LIMIT, s.d) && nearest == 0.0;
       a *= SEARCH_GROWTH, ++step) {
    for (int k = 0; k < SEARCH_DIRECTIONS; ++k) {
      // Alternate amplitudes take the directions halfway between those of the previous one.
      const double t = const_.twopi * (k + 0.5 * (step % 2)) / SEARCH_DIRECTIONS;
      double p[4];
      std::copy(s.co, s.co + 4, p);
      for (int c = 0; c < 2; ++c)
        p[s.i - 1 + c] += a * (std::cos(t) * s.u[c] + std::sin(t) * s.w[c]);
      Matrix<double, 4, 4> at;
      if (!fixed_point(s.e, s.order, p, at))
        continue;
      any = true;
      const double r = distance_in_plane(s, p, s.co);
      if (r > 1e-3 * s.d && (nearest == 0.0 || r < nearest) && comes_back(s, p) &&
          !of_period_one(s, p)) {
        nearest = r;
        std::copy(p, p + 4, z);
        m = at;
      }
    }
  }
  return nearest > 0.0;
}

// The half-trace of the plane's block of m.
double half_trace(const Matrix<double, 4, 4> &m, int i) {
  return 0.5 * (m(i, i) + m(i + 1, i + 1));
}

// Directions of the point pairs at the first fixed point: the eigenvectors of its matrix when it
// is unstable (the separatrices leave and enter it along them); when it is stable no separatrix
// passes through it, and the pairs lie along the axes of the ellipses the motion traces around
// it, from which its own tune (the pitch of that motion) is found.
void pair_directions(const Study &s, const Matrix<double, 4, 4> &m, double dirs[2][2]) {
  const int i = s.i;
  const double b11 = m(i, i), b12 = m(i, i + 1), b21 = m(i + 1, i), b22 = m(i + 1, i + 1);
  const double c = half_trace(m, i);
  if (std::fabs(c) < 1.0) {
    const double sn = std::copysign(std::sqrt(1.0 - c * c), b12);
    const double beta = b12 / sn, alpha = (b11 - b22) / (2.0 * sn), gamma = -b21 / sn;
    // The ellipse gamma x^2 + 2 alpha x x' + beta x'^2: its axes are the eigenvectors of the
    // symmetric matrix of that form.
    const double theta = 0.5 * std::atan2(2.0 * alpha, gamma - beta);
    dirs[0][0] = std::cos(theta);
    dirs[0][1] = std::sin(theta);
    dirs[1][0] = -std::sin(theta);
    dirs[1][1] = std::cos(theta);
    return;
  }
  Analc at_point;
  block_eigen_solution(m, s.plane, at_point);
  for (int w = 0; w < 2; ++w)
    for (int c2 = 0; c2 < 2; ++c2)
      dirs[w][c2] = at_point.eigenvector(s.plane)(c2 + 1, w + 1);
}

// The area enclosed by one branch of the separatrix through the closed orbit: the branch leaves
// it along the growing eigenvector u (growth g per `order` turns) and comes back along the
// other. Points spread over one growth factor of the first segment are tracked together, so
// that the curve is sampled densely; the curve is closed where it comes back nearest the
// closed orbit. -1 when it is lost or does not come back.
double lobe_area(const Study &s, const double u[2], double g, double eps) {
  double z[TRACE_POINTS][4];
  for (int j = 0; j < TRACE_POINTS; ++j) {
    const double r = eps * std::pow(g, static_cast<double>(j) / TRACE_POINTS);
    for (int c = 0; c < 4; ++c)
      z[j][c] = s.co[c];
    z[j][s.i - 1] += r * u[0];
    z[j][s.i] += r * u[1];
  }
  const double x0 = s.co[s.i - 1], p0 = s.co[s.i];
  double twice = 0.0, last_x = 0.0, last_p = 0.0; // shoelace sum, relative to the closed orbit
  double farthest = 0.0, previous = 0.0;
  // Out from eps to the islands, some 1e4 times farther, and back, with a margin.
  const double slow = TRACE_STEPS + 8.0 * std::log(1e4) / std::log(g);
  const int steps = slow < TRACE_STEPS_MOST ? static_cast<int>(slow) : TRACE_STEPS_MOST;
  for (int step = 0; step < steps; ++step) {
    for (int j = 0; j < TRACE_POINTS; ++j) {
      const double x = z[j][s.i - 1] - x0, p = z[j][s.i] - p0;
      const double r = std::hypot(x, p);
      farthest = std::max(farthest, r);
      if (r < 0.2 * farthest && r > previous)
        return 0.5 * std::fabs(twice);
      twice += last_x * p - x * last_p;
      last_x = x;
      last_p = p;
      previous = r;
    }
    if (!track_points(s.e, s.order, z, TRACE_POINTS))
      return -1.0;
  }
  return -1.0;
}

// The stable area when the first fixed point is stable (order two in a stop band): the
// separatrices are the two branches through the closed orbit between the two points, each
// enclosing one of them; the area is that of both lobes.
double lobes_area(const Study &s, const double x1[4]) {
  const int i = s.i;
  const Matrix<double, 4, 4> &m = cmove.m(s.e);
  // The order-turn block of the closed orbit, the square of the one-turn block.
  Matrix<double, 4, 4> two;
  for (int r = 1; r <= 4; ++r)
    for (int c = 1; c <= 4; ++c)
      two(r, c) = 0.0;
  for (int r = i; r <= i + 1; ++r)
    for (int c = i; c <= i + 1; ++c)
      two(r, c) = m(r, i) * m(i, c) + m(r, i + 1) * m(i + 1, c);
  if (std::fabs(half_trace(two, i)) <= 1.0)
    return 0.0;
  Analc eigen;
  block_eigen_solution(two, s.plane, eigen);
  const int grow =
      std::fabs(eigen.eigenvalue(s.plane, 1)) >= std::fabs(eigen.eigenvalue(s.plane, 2)) ? 1 : 2;
  const double g = std::fabs(eigen.eigenvalue(s.plane, grow));
  const double eps = 1e-4 * distance_in_plane(s, x1, s.co);
  double area = 0.0;
  for (const double side : {1.0, -1.0}) {
    const double u[2] = {side * eigen.eigenvector(s.plane)(1, grow),
                         side * eigen.eigenvector(s.plane)(2, grow)};
    const double lobe = lobe_area(s, u, g, eps);
    if (lobe < 0.0) {
      say(" SEPARATRIX THROUGH THE CLOSED ORBIT NOT CLOSED BY TRACKING: NO AREA IS GIVEN");
      return 0.0;
    }
    area += lobe;
  }
  return area;
}

// The plane studied at deviation e: an unstable one, the horizontal first. A third-order
// resonance never makes the linear motion unstable (its fixed points surround a stable closed
// orbit), so order three, when both planes are stable, studies the plane whose tune is
// nearest a third of an integer. 0: nothing to study.
int studied_plane(int e, int order) {
  for (int p = 1; p <= 2; ++p)
    if (cmove.stable(e, p) == 0)
      return p;
  if (order != 3)
    return 0;
  const auto off = [e](int p) {
    const double t = 3.0 * cmove.nu(e, p);
    return std::fabs(t - std::nearbyint(t));
  };
  return off(1) <= off(2) ? 1 : 2;
}

} // namespace

// The resonance study of each surviving deviation. The fixed points of the map of `order`
// turns are sought by the pentagon iteration of the closed orbit, started ever farther out
// from the closed orbit (settled first) along the eigenvectors of the one-turn block of an
// unstable plane, or round the ellipse of a stable one, until one settles on a point of the
// full period that comes back onto itself after `order` turns; the others are its images after
// one and two turns, each settled again and held to the same test. Order two prints the two
// points and the point midway between them, order three the three points. The point pairs at
// d/100 (at least a hundredth of its amplitude) either side of the first fixed point start
// the tracing of the separatrices. The stable
// area: for an unstable first point, the area between the separatrix tangents (the
// parallelogram with the two fixed points at opposite corners and sides along its
// eigenvectors, or the triangle of the three points); for a stable one (the islands of a
// stop band) the two lobes of the separatrix through the closed orbit, traced. A machine with
// no fixed point but its closed orbit (a linear one) prints the closed orbit and area 0, and
// at order three on stable planes says that the motion is stable.
void res() {
  for (int e = 1; e <= cmove.ne; ++e) {
    if (cmove.alive(e) == 0)
      continue;
    Study s;
    s.e = e;
    s.order = cmove.order == 2 ? 2 : 3;
    s.plane = studied_plane(e, s.order);
    s.i = 2 * s.plane - 1;
    s.d = std::fabs(cmove.first_amplitude);
    for (int c = 0; c < 4; ++c)
      s.co[c] = cmove.orbit(e, c + 1);
    if (s.plane != 0)
      settle_closed_orbit(s);
    const bool stable = s.plane != 0 && cmove.stable(e, s.plane) != 0;
    if (s.plane != 0 && stable) {
      // Round the ellipse of the linear motion: x = a cos t, x' = -a (alpha cos t + sin t) / beta.
      const double b = cmove.beta(e, s.plane), a = cmove.alpha(e, s.plane);
      s.u[0] = 1.0;
      s.u[1] = -a / b;
      s.w[0] = 0.0;
      s.w[1] = -1.0 / b;
    } else if (s.plane != 0) {
      Analc eigen;
      block_eigen_solution(cmove.m(e), s.plane, eigen);
      const int grow =
          std::fabs(eigen.eigenvalue(s.plane, 1)) >= std::fabs(eigen.eigenvalue(s.plane, 2)) ? 1
                                                                                             : 2;
      for (int c = 0; c < 2; ++c) {
        s.u[c] = eigen.eigenvector(s.plane)(c + 1, grow);
        s.w[c] = eigen.eigenvector(s.plane)(c + 1, 3 - grow);
      }
    }
    double z[3][4];
    Matrix<double, 4, 4> first_map = cmove.m(e);
    bool any = false;
    const bool found = s.plane != 0 && find_first_point(s, z[0], first_map, any);
    if (s.plane == 0 || (stable && !found)) {
      say(" *** ANALYSIS FOR ENERGY " + fE(cmove.delta(e), 15, 7) + " NOT DONE :");
      say(" MOVEMENT IS STABLE ");
      continue;
    }
    if (!found) {
      // Only the closed orbit: a linear machine, or every search lost or unsettled.
      if (!any)
        say(" FIXED POINT 1 NOT FOUND BY TRACKING: THE CLOSED ORBIT IS USED");
      for (int k = 0; k < s.order; ++k)
        std::copy(s.co, s.co + 4, z[k]);
      // The separatrix directions are those of the closed orbit's own map of `order` turns.
      double at[4];
      std::copy(s.co, s.co + 4, at);
      Matrix<double, 4, 4> m;
      first_map = fixed_point(e, s.order, at, m) ? m : cmove.m(e);
    }
    for (int k = 1; found && k < s.order; ++k) {
      std::copy(z[k - 1], z[k - 1] + 4, z[k]);
      double image[1][4] = {{z[k][0], z[k][1], z[k][2], z[k][3]}};
      Matrix<double, 4, 4> m;
      if (!track_points(e, 1, image, 1)) {
        say(" FIXED POINT" + fI(k + 1, 2) + " NOT FOUND BY TRACKING: THE PREVIOUS ONE IS USED");
        continue;
      }
      double settled[4] = {image[0][0], image[0][1], image[0][2], image[0][3]};
      // The image is a fixed point to the accuracy of the first; settling it again must not
      // carry it to another.
      if (fixed_point(e, s.order, settled, m) &&
          distance_in_plane(s, settled, image[0]) <= 1e-6 * distance_in_plane(s, image[0], s.co))
        std::copy(settled, settled + 4, z[k]);
      else
        std::copy(image[0], image[0] + 4, z[k]);
      if (!comes_back(s, z[k])) {
        say(" FIXED POINT" + fI(k + 1, 2) + " NOT FOUND BY TRACKING: THE PREVIOUS ONE IS USED");
        std::copy(z[k - 1], z[k - 1] + 4, z[k]);
      }
    }
    const int i = s.i;
    double fx[3], fp[3];
    for (int k = 0; k < s.order; ++k) {
      fx[k] = z[k][i - 1];
      fp[k] = z[k][i];
      for (int c = 0; c < 4; ++c)
        cmove.fixed(e)(k + 1, c + 1) = z[k][c];
    }
    if (s.order == 2) {
      say("ORDER TWO RESONANCE STUDY : C.O. ASSUMED  CENTERED BETWEEN BOTH UNSTABLE ORBITS");
      say("   X1 = " + fE(fx[0], 15, 7) + "   XP1 = " + fE(fp[0], 15, 7));
      say("   X2 = " + fE(fx[1], 15, 7) + "   XP2 = " + fE(fp[1], 15, 7));
      say(" STABLE ORBIT IS : ");
      say("   X0 = " + fE(0.5 * (fx[0] + fx[1]), 15, 7) +
          "   XP0 = " + fE(0.5 * (fp[0] + fp[1]), 15, 7));
    } else {
      say(" ORDER THREE RESONANCE STUDY ");
      for (int k = 0; k < 3; ++k)
        say("    X" + std::to_string(k + 1) + " = " + fE(fx[k], 15, 7) + "    XP" +
            std::to_string(k + 1) + " = " + fE(fp[k], 15, 7));
    }
    double dirs[2][2];
    pair_directions(s, first_map, dirs);
    say("  THE COORDINATES OF PAIRS OF TWO POINTS ADJACENT TO  THE FIRST FIXED POINT");
    say("  TO BE USED IN SEPARATRIX TRACING  AND PITCH DETERMINATION ARE : ");
    // A pair must differ from the point within the seven digits printed: at a finite amplitude
    // the offset is at least a hundredth of the point's distance from the closed orbit.
    const double eps = std::max(0.01 * s.d, 0.01 * distance_in_plane(s, z[0], s.co));
    for (const auto &dir : dirs)
      say(" " + fE(fx[0] + eps * dir[0], 15, 7) + fE(fp[0] + eps * dir[1], 15, 7) + "    " +
          fE(fx[0] - eps * dir[0], 15, 7) + fE(fp[0] - eps * dir[1], 15, 7));
    double area = 0.0;
    if (s.order == 3) {
      area = 0.5 * std::fabs((fx[1] - fx[0]) * (fp[2] - fp[0]) - (fx[2] - fx[0]) * (fp[1] - fp[0]));
    } else if (found && std::fabs(half_trace(first_map, i)) < 1.0) {
      area = lobes_area(s, z[0]);
    } else {
      // X2 - X1 = alpha u + beta w; the parallelogram has sides alpha u and beta w.
      const double ux = dirs[0][0], up = dirs[0][1], wx = dirs[1][0], wp = dirs[1][1];
      const double cross = ux * wp - up * wx;
      if (cross != 0.0) {
        const double dx = fx[1] - fx[0], dp = fp[1] - fp[0];
        const double alpha = (dx * wp - dp * wx) / cross, beta = (ux * dp - up * dx) / cross;
        area = std::fabs(alpha * beta * cross);
      }
    }
    say("   THE STABLE AREA ENCLOSED BY THE SEPARATRICES IS " + fE(area, 12, 4));
  }
}

} // namespace vorax

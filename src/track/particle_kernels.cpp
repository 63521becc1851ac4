// Single-particle kernels of tracking: canonical conversions, the symplectic step, the map
// formula, the thin multipole kick, the cavity kick and the collimator aperture.
#include "track/particle_kernels.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/slots.h"
#include "maps/element_maps.h"
#include "maps/symmap.h"
#include "track/map_kernels.h"

#include <cmath>

namespace vorax {

void cvar(const Coordinates in, Coordinates out, double b0) {
  const double xp = in[1], yp = in[3], p = 1.0 + in[5];
  const double root = std::sqrt(1.0 + xp * xp + yp * yp);
  out[0] = in[0];
  out[1] = xp * p / root;
  out[2] = in[2];
  out[3] = yp * p / root;
  out[4] = -in[4];
  out[5] = std::sqrt(p * p + (1.0 - b0 * b0) / (b0 * b0)) - 1.0 / b0;
}

bool ncvar(const Coordinates in, Coordinates out, double b0) {
  const double px = in[1], py = in[3], pt = in[5];
  const double a = 1.0 / b0 + pt;
  double d = a * a - px * px - py * py - (1.0 - b0 * b0) / (b0 * b0);
  // The energy argument is a square, (1 + pt)^2 at b0 = 1; away from it a large negative pt
  // could make it negative, which is taken by its magnitude like d.
  double e = 2.0 * pt / b0 + pt * pt + 1.0;
  const bool negative = d < 0.0 || e < 0.0;
  d = std::fabs(d);
  e = std::fabs(e);
  const double root = std::sqrt(d);
  out[0] = in[0];
  out[1] = px / root;
  out[2] = in[2];
  out[3] = py / root;
  out[4] = -in[4];
  out[5] = std::sqrt(e) - 1.0;
  return negative;
}

namespace {

// u = (q1, P1, q2, P2, q3, P3) from the old positions and the new momenta.
void mixed(const Coordinates z, const double momenta[3], Table<double, 1, 6> &u) {
  for (int i = 0; i < 3; ++i) {
    u(2 * i + 1) = z[2 * i];
    u(2 * i + 2) = momenta[i];
  }
}

// The iteration stops when the summed change of the three momenta is within the tolerance of
// their summed size. The floor keeps a particle with vanishing momenta (where the relative test
// asks for an exact zero change) from iterating on rounding noise.
constexpr double CHANGE_FLOOR = 1e-30;

bool converged(const double change[3], const double momenta[3], double tolerance) {
  const double moved = std::fabs(change[0]) + std::fabs(change[1]) + std::fabs(change[2]);
  const double size = std::fabs(momenta[0]) + std::fabs(momenta[1]) + std::fabs(momenta[2]);
  return moved <= tolerance * size || moved <= CHANGE_FLOOR;
}

// The end of the step once the new momenta are known: Q = q + dG/dP, then z = L (Q, P).
void finish_step(const SymmapEntry &entry, Coordinates z, const double momenta[3]) {
  Table<double, 1, 6> u, grad;
  mixed(z, momenta, u);
  gf_gradient(entry, u, grad);
  double n[6];
  for (int i = 0; i < 3; ++i) {
    n[2 * i] = z[2 * i] + grad(2 * i + 2);
    n[2 * i + 1] = momenta[i];
  }
  for (int i = 1; i <= 6; ++i) {
    double s = 0.0;
    for (int j = 1; j <= 6; ++j)
      s += entry.linear(i, j) * n[j - 1];
    z[i - 1] = s;
  }
}

} // namespace

bool symrat(const SymmapEntry &entry, Coordinates z) {
  const double p[3] = {z[1], z[3], z[5]};
  double momenta[3] = {p[0], p[1], p[2]};
  bool done = false;
  for (int it = 0; it < SYMPLECTIC_ITERATIONS && !done; ++it) {
    Table<double, 1, 6> u, grad;
    mixed(z, momenta, u);
    gf_gradient(entry, u, grad);
    double f[3];
    for (int i = 0; i < 3; ++i)
      f[i] = momenta[i] + grad(2 * i + 1) - p[i];
    Matrix<double, 3, 3> j;
    gf_jacobian(entry, u, j);
    // The 3 x 3 system solved through the determinant and the cofactors.
    const double c11 = j(2, 2) * j(3, 3) - j(2, 3) * j(3, 2);
    const double c12 = j(2, 3) * j(3, 1) - j(2, 1) * j(3, 3);
    const double c13 = j(2, 1) * j(3, 2) - j(2, 2) * j(3, 1);
    const double det = j(1, 1) * c11 + j(1, 2) * c12 + j(1, 3) * c13;
    if (!(std::fabs(det) > 0.0))
      return false;
    const double c21 = j(1, 3) * j(3, 2) - j(1, 2) * j(3, 3);
    const double c22 = j(1, 1) * j(3, 3) - j(1, 3) * j(3, 1);
    const double c23 = j(1, 2) * j(3, 1) - j(1, 1) * j(3, 2);
    const double c31 = j(1, 2) * j(2, 3) - j(1, 3) * j(2, 2);
    const double c32 = j(1, 3) * j(2, 1) - j(1, 1) * j(2, 3);
    const double c33 = j(1, 1) * j(2, 2) - j(1, 2) * j(2, 1);
    double change[3];
    change[0] = -(c11 * f[0] + c21 * f[1] + c31 * f[2]) / det;
    change[1] = -(c12 * f[0] + c22 * f[1] + c32 * f[2]) / det;
    change[2] = -(c13 * f[0] + c23 * f[1] + c33 * f[2]) / det;
    for (int i = 0; i < 3; ++i)
      momenta[i] += change[i];
    done = converged(change, momenta, 1e-11);
  }
  finish_step(entry, z, momenta);
  return done;
}

bool symrtx(const SymmapEntry &entry, Coordinates z) {
  const double p[3] = {z[1], z[3], z[5]};
  double momenta[3] = {p[0], p[1], p[2]};
  bool done = false;
  for (int it = 0; it < SYMPLECTIC_ITERATIONS && !done; ++it) {
    Table<double, 1, 6> u, grad;
    mixed(z, momenta, u);
    gf_gradient(entry, u, grad);
    double change[3];
    for (int i = 0; i < 3; ++i) {
      const double next = p[i] - grad(2 * i + 1);
      change[i] = next - momenta[i];
      momenta[i] = next;
    }
    done = converged(change, momenta, 1e-10);
  }
  finish_step(entry, z, momenta);
  return done;
}

void trmat_dense(const TransferMap &map, Coordinates z) {
  double mono[27];
  for (int c = 0; c < 6; ++c)
    mono[c] = std::fabs(z[c]) < TINY_COORDINATE ? 0.0 : z[c];
  int k = 6;
  for (int a = 0; a < 6; ++a)
    for (int b = a; b < 6; ++b)
      mono[k++] = mono[a] * mono[b];
  for (int i = 1; i <= 6; ++i) {
    double sum = 0.0;
    for (int c = 1; c <= 27; ++c)
      if (map(i, c) != 0.0)
        sum += map(i, c) * mono[c - 1];
    z[i - 1] = sum;
  }
}

double bang(int n) {
  double f = 1.0;
  for (int i = 2; i <= n; ++i)
    f *= i;
  return f;
}

// The strengths and angles per unit convention are those of the multipole's map (see
// maps/multipole.cpp), and the kick turns into the element frame by the same rotation as the
// element's tilted map, X = c x - s y, Y = s x + c y: tracking a multipole and applying its map
// are one magnet. A term's complex coefficient is k exp(i n theta) (n the order word), so b
// takes k cos(n theta) and a takes k sin(n theta). Every order with a non-zero coefficient,
// the dipole term K0 included, is in the kick.
MultipoleKick multit(int element) {
  using namespace slot::multipole;
  const ElementValues e = element_values(element);
  const int units = inputt.eunits;
  MultipoleKick kick;
  kick.half_length = e(L) / 2;
  kick.scale = e(SCALE);
  const int most = room(e.count());
  const double stored = e(COUNT);
  const int count = stored >= most ? most : (stored >= 1.0 ? static_cast<int>(stored) : 0);
  const double psi = convention_angle(e(tilt(count)), units);
  kick.cos_tilt = std::cos(psi);
  kick.sin_tilt = std::sin(psi);
  kick.rotated = std::fabs(kick.sin_tilt) > 1e-12;
  bool set[21] = {};
  for (int j = 1; j <= count; ++j) {
    const double word = e(term_order(j));
    if (!(word >= 1.0 && word < 22.0))
      continue;
    const int n = static_cast<int>(word);
    double k = e(term_strength(j));
    double theta = e(term_angle(j));
    if (units == 0)
      k = k / bang(n - 1);
    else if (units == 1)
      k = ((n - 1) % 2 == 1 ? -k : k) / bang(n - 1);
    if (units == 1)
      theta = -theta;
    else if (units == 2)
      theta = theta * const_.raddeg;
    if (kick.half_length != 0.0) {
      if (n == 2 || n == 3)
        continue;
      k = 2.0 * k * kick.half_length;
    }
    kick.b(n - 1) = k * std::cos(n * theta);
    kick.a(n - 1) = k * std::sin(n * theta);
    set[n - 1] = true;
  }
  for (int j = 20; j >= 0 && kick.top < 0; --j)
    if (set[j] && (kick.b(j) != 0.0 || kick.a(j) != 0.0))
      kick.top = j;
  return kick;
}

void multtr(const MultipoleKick &kick, Coordinates z, bool canonical) {
  if (kick.top < 0)
    return;
  const double c = kick.cos_tilt, s = kick.sin_tilt;
  double x = z[0], xp = z[1], y = z[2], yp = z[3];
  if (kick.rotated) {
    x = c * z[0] - s * z[2];
    y = s * z[0] + c * z[2];
    xp = c * z[1] - s * z[3];
    yp = s * z[1] + c * z[3];
  }
  double re = kick.b(kick.top), im = kick.a(kick.top);
  for (int j = kick.top - 1; j >= 0; --j) {
    const double r = re * x - im * y + kick.b(j);
    im = re * y + im * x + kick.a(j);
    re = r;
  }
  const double g = canonical ? 1.0 : 1.0 / (1.0 + z[5]);
  xp = xp - kick.scale * g * re;
  yp = yp + kick.scale * g * im;
  if (kick.rotated) {
    z[1] = c * xp + s * yp;
    z[3] = -s * xp + c * yp;
  } else {
    z[1] = xp;
    z[3] = yp;
  }
}

void cavity(const CavityStep &step, Coordinates z, double &phase, double &previous_l) {
  const double l = z[4], xp = z[1], yp = z[3];
  z[0] = z[0] + step.length * xp;
  z[2] = z[2] + step.length * yp;
  phase = phase + (l - previous_l) * step.k1 + step.c0 - step.k2 * z[5];
  const double before = 1.0 + z[5];
  z[5] = z[5] + step.voltage * std::sin(phase + step.lag);
  if (step.adiabatic) {
    const double f = before / (1.0 + z[5]);
    z[1] = z[1] * f;
    z[3] = z[3] * f;
  }
  z[4] = l + (xp * xp + yp * yp) * step.length / 2;
  previous_l = l;
}

// A zero half-aperture closes the aperture along its axis: only a particle exactly on the
// other axis passes (the ellipse's quotient would divide by 0). A coordinate that is not a
// number is never inside.
bool inside(const Aperture &aperture, double x, double y) {
  const double ax = std::fabs(aperture.ax), ay = std::fabs(aperture.ay);
  if (aperture.shape == slot::collimator::ELLIPTIC) {
    const double u = ax > 0.0 ? (x / ax) * (x / ax) : (x == 0.0 ? 0.0 : INFINITY);
    const double v = ay > 0.0 ? (y / ay) * (y / ay) : (y == 0.0 ? 0.0 : INFINITY);
    return u + v <= 1.0;
  }
  return std::fabs(x) <= ax && std::fabs(y) <= ay;
}

} // namespace vorax

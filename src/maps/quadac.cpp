// The map of a quadrupole inside an accelerating section (QUADAC), in Bessel functions.
#include <algorithm>
#include <cmath>
#include <complex>
#include <string>

#include "common/control.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/slots.h"
#include "maps/builders.h"
#include "maps/element_maps.h"
#include "maps/second_order_body.h"

namespace vorax {

namespace {

// Arguments at or above this use the asymptotic (Hankel) forms, written as amplitudes times
// the phase or growth between entrance and exit, so that neither the cancellation of large
// phases nor the overflow of I(x) for large x spoils the matrix.
constexpr double ASYMPTOTIC = 25.0;

// Sums of the Hankel series of order nu at x, t_k = a_k(nu)/x^k with a_0 = 1 and
// a_k = a_{k-1} (4 nu^2 - (2k-1)^2)/(8k), taken up to its smallest term:
// p = t0 - t2 + t4 ..., q = t1 - t3 + ..., alt = sum (-1)^k t_k, all = sum t_k.
struct HankelSums {
  double p = 0, q = 0, alt = 0, all = 0;
};
HankelSums hankel_sums(int nu, double x) {
  HankelSums h;
  double t = 1.0, mu = 4.0 * nu * nu;
  for (int k = 0; k <= 60; ++k) {
    if (k > 0) {
      double next = t * (mu - (2.0 * k - 1.0) * (2.0 * k - 1.0)) / (8.0 * k * x);
      if (std::abs(next) >= std::abs(t) || next == 0.0)
        break;
      t = next;
    }
    double quarter = (k % 4 < 2) ? 1.0 : -1.0; // (-1)^floor(k/2)
    if (k % 2 == 0)
      h.p += quarter * t;
    else
      h.q += quarter * t;
    h.alt += (k % 2 == 0) ? t : -t;
    h.all += t;
  }
  return h;
}

// J_nu(a) Y_mu(b) - Y_nu(a) J_mu(b), with delta = b - a computed by the caller without
// cancellation.
double cross_jy(int nu, int mu, double a, double b, double delta) {
  if (a < ASYMPTOTIC || b < ASYMPTOTIC)
    return std::cyl_bessel_j(nu, a) * std::cyl_neumann(mu, b) -
           std::cyl_neumann(nu, a) * std::cyl_bessel_j(mu, b);
  // H = J + iY = sqrt(2/(pi x)) (P + iQ) exp(i(x - nu pi/2 - pi/4)); the cross product is
  // Im(conj(H_nu(a)) H_mu(b)).
  HankelSums sa = hankel_sums(nu, a), sb = hankel_sums(mu, b);
  const double pi = 3.141592653589793;
  std::complex<double> ha(sa.p, -sa.q), hb(sb.p, sb.q);
  std::complex<double> phase = std::polar(1.0, delta + (nu - mu) * 0.5 * pi);
  return (2.0 / pi) / std::sqrt(a * b) * std::imag(ha * hb * phase);
}

// exp(-x) I_nu(x) and exp(x) K_nu(x).
void scaled_ik(int nu, double x, double &i_scaled, double &k_scaled) {
  if (x < ASYMPTOTIC) {
    i_scaled = std::cyl_bessel_i(nu, x) * std::exp(-x);
    k_scaled = std::cyl_bessel_k(nu, x) * std::exp(x);
    return;
  }
  const double pi = 3.141592653589793;
  HankelSums h = hankel_sums(nu, x);
  i_scaled = h.alt / std::sqrt(2.0 * pi * x);
  k_scaled = h.all * std::sqrt(pi / (2.0 * x));
}

// The particle's momentum rises as E(s) = E_a + G (s - a) (ultra-relativistic, energies in
// eV), and the quadrupole's gradient is given as K1 at the entry energy E_in, so
//   d/ds (E x') = -K1 E_in x.
// With u = E and kappa = K1 E_in / G^2 this is u x_uu + x_u + kappa x = 0, Bessel's
// equation of order 0 in xi = 2 sqrt(|kappa| E): x = A J0(xi) + B Y0(xi) when kappa > 0,
// x = A I0(xi) + B K0(xi) when kappa < 0, with x' = -c (A J1 + B Y1), resp. c (A I1 - B K1),
// c = G xi / (2E). Fitting A, B to the entrance (argument xa) with the Wronskians
// J1 Y0 - J0 Y1 = 2/(pi xi) and I0 K1 + I1 K0 = 1/xi gives, with cb = G xb/(2 E_b):
//   focusing:   m11 = (pi xa/2) [J1(a)Y0(b) - Y1(a)J0(b)],  m12 = (pi E_a/G) [J0(a)Y0(b) -
//   Y0(a)J0(b)]
//               m21 = -cb (pi xa/2) [J1(a)Y1(b) - Y1(a)J1(b)],
//               m22 = -cb (pi E_a/G) [J0(a)Y1(b) - Y0(a)J1(b)]
//   defocusing: m11 = xa [I0(b)K1(a) + K0(b)I1(a)],  m12 = (2 E_a/G) [I0(b)K0(a) - K0(b)I0(a)]
//               m21 = cb xa [I1(b)K1(a) - K1(b)I1(a)],  m22 = cb (2 E_a/G) [I1(b)K0(a) +
//               K1(b)I0(a)]
// and det = E_a/E_b: the slopes are damped by the energy ratio. Without gradient the plane
// is the damped drift m12 = L ln(1 + r)/r, m22 = E_a/E_b, r = G L/E_a.
void plane_matrix(double k1e, double g, double ea, double eb, double length, double m[4]) {
  if (k1e == 0.0) {
    double r = g * length / ea;
    double f = std::abs(r) >= 1e-08 ? std::log1p(r) / r : 1.0 - r / 2.0 + r * r / 3.0;
    m[0] = 1.0;
    m[1] = length * f;
    m[2] = 0.0;
    m[3] = ea / eb;
    return;
  }
  double root = std::sqrt(std::abs(k1e)) / std::abs(g); // sqrt(|kappa|)
  double xa = 2.0 * root * std::sqrt(ea), xb = 2.0 * root * std::sqrt(eb);
  double delta = 2.0 * root * g * length / (std::sqrt(eb) + std::sqrt(ea)); // xb - xa
  double cb = g * xb / (2.0 * eb);
  const double pi = 3.141592653589793;
  if (k1e > 0.0) {
    m[0] = 0.5 * pi * xa * cross_jy(1, 0, xa, xb, delta);
    m[1] = pi * ea / g * cross_jy(0, 0, xa, xb, delta);
    m[2] = -cb * 0.5 * pi * xa * cross_jy(1, 1, xa, xb, delta);
    m[3] = -cb * pi * ea / g * cross_jy(0, 1, xa, xb, delta);
    return;
  }
  double i0a, k0a, i1a, k1a, i0b, k0b, i1b, k1b;
  scaled_ik(0, xa, i0a, k0a);
  scaled_ik(1, xa, i1a, k1a);
  scaled_ik(0, xb, i0b, k0b);
  scaled_ik(1, xb, i1b, k1b);
  double up = std::exp(delta), down = std::exp(-delta);
  m[0] = xa * (i0b * k1a * up + k0b * i1a * down);
  m[1] = 2.0 * ea / g * (i0b * k0a * up - k0b * i0a * down);
  m[2] = cb * xa * (i1b * k1a * up - k1b * i1a * down);
  m[3] = cb * 2.0 * ea / g * (i1b * k0a * up + k1b * i0a * down);
}

// The section with its longitudinal motion. The energy gain depends on the phase,
// dE/ds = g cos(phi0 - k l) with k = 2 pi/lambda, so for delta = (p - p_ref)/p_ref
//   E delta' = g [cos(phi0 - k l) - cos phi0] - G delta,
// which gives R(6,6) = E_a/E_b and R(6,5) = g k sin(phi0) (b - a)/E_b. At second order the
// transverse equation E (1 + delta) x'' + (G (1 + delta) + E delta') x' = -K1 E_in x adds
//   x'' += (K1 E_in/E) x delta + (G/E) x' delta - (g k sin(phi0)/E) l x'
// (y alike with -K1), the path length grows by (x'^2 + y'^2)/2 and
//   delta' += -(g k^2 cos(phi0)/(2E)) l^2.
class QuadacBody : public BodyModel {
public:
  QuadacBody(double k1, double e_in, double g_eff, double g_sin_k, double g_cos_k2)
      : k1e_(k1 * e_in), e_in_(e_in), g_(g_eff), gsk_(g_sin_k), gck2_(g_cos_k2) {}

  void transfer(double a, double b, Map6 &m) const override {
    set_unit(m);
    double ea = e_in_ + g_ * a, eb = e_in_ + g_ * b, length = b - a;
    double px[4], py[4];
    plane_matrix(k1e_, g_, ea, eb, length, px);
    plane_matrix(-k1e_, g_, ea, eb, length, py);
    m(1, 1) = px[0];
    m(1, 2) = px[1];
    m(2, 1) = px[2];
    m(2, 2) = px[3];
    m(3, 3) = py[0];
    m(3, 4) = py[1];
    m(4, 3) = py[2];
    m(4, 4) = py[3];
    m(6, 6) = ea / eb;
    m(6, 5) = gsk_ * length / eb;
  }
  void driving(double s, DrivingTerms &terms) const override {
    double e = e_in_ + g_ * s;
    terms = DrivingTerms{};
    terms.add(2, 1, 6, k1e_ / e);
    terms.add(2, 2, 6, g_ / e);
    terms.add(2, 2, 5, -gsk_ / e);
    terms.add(4, 3, 6, -k1e_ / e);
    terms.add(4, 4, 6, g_ / e);
    terms.add(4, 4, 5, -gsk_ / e);
    terms.add(5, 2, 2, 0.5);
    terms.add(5, 4, 4, 0.5);
    terms.add(6, 5, 5, -0.5 * gck2_ / e);
  }
  double rate() const override {
    double e_min = std::min(e_in_, e_in_ + g_ * length_);
    return std::sqrt(std::abs(k1e_) / e_min) + std::abs(g_) / e_min;
  }
  void set_length(double length) { length_ = length; }

private:
  double k1e_, e_in_, g_, gsk_, gck2_;
  double length_ = 0.0;
};

void write_drift(TransferMap &m, double length, int ncol) {
  m.set_identity(ncol);
  drift_entries(m, length, ncol);
}

} // namespace

void quadac_map(const ElementValues &e, const MapContext &ctx, TransferMap &m) {
  int ncol = ctx.ncol;
  double length = e(slot::quadac::L);
  double k1 = e(slot::quadac::K1);
  double gain = 1e9 * e(slot::quadac::DELTAE); // eV over the section
  double phi0 = e(slot::quadac::PHI0);
  double freq = e(slot::quadac::FREQ);
  double e_in = 1e9 * e(slot::quadac::E0);
  // K1 keeps the quadrupole's sign convention, so that switching the gain on or off never
  // turns a focusing quadrupole into a defocusing one.
  if (ctx.eunits == 1)
    k1 = -k1;
  if (ctx.eunits == 2)
    phi0 *= const_.raddeg;
  double gain_eff = gain * std::cos(phi0);
  if (gain == 0.0 || gain_eff == 0.0) {
    if (k1 == 0.0)
      write_drift(m, length, ncol);
    else
      quad_body_map(length, k1, ncol, m);
    return;
  }
  double e_out = e_in + gain_eff;
  if (!(e_in > 0.0) || !(e_out > 0.0)) {
    write_record(control.output_unit,
                 " QUADAC " + std::string(e.name.view()) +
                     ": ENERGY AT ENTRANCE OR EXIT NOT POSITIVE, E0 =" + fE(e_in * 1e-9, 15, 7) +
                     " GEV, EXIT =" + fE(e_out * 1e-9, 15, 7) + " GEV");
    halt(NO_ELEMENT_MAP);
    write_drift(m, length, ncol);
    return;
  }
  double wave = const_.twopi * 1e6 * freq / const_.clight; // 2 pi / lambda
  m.set_identity(ncol);
  if (length == 0.0) {
    // A thin accelerating gap: the transverse momentum is kept, so the slopes scale with
    // P_in/P_out, P_out = E_in (1 + delta) + gain cos(phi0 - k l).
    double ratio = e_in / e_out;
    double gsk = gain * wave * std::sin(phi0);
    m.R(2, 2) = ratio;
    m.R(4, 4) = ratio;
    m.R(6, 6) = ratio;
    m.R(6, 5) = gsk / e_out;
    if (ncol == 27) {
      m.T(2, 2, 6) = ratio * (1.0 - ratio);
      m.T(4, 4, 6) = ratio * (1.0 - ratio);
      m.T(2, 2, 5) = -ratio * gsk / e_out;
      m.T(4, 4, 5) = -ratio * gsk / e_out;
      m.T(6, 5, 5) = -0.5 * gain * wave * wave * std::cos(phi0) / e_out;
    }
    return;
  }
  double g = gain / length;
  QuadacBody body(k1, e_in, g * std::cos(phi0), g * wave * std::sin(phi0),
                  g * wave * wave * std::cos(phi0));
  body.set_length(length);
  Map6 r;
  body.transfer(0.0, length, r);
  copy_first_order(r, m);
  if (ncol == 27)
    second_order_terms(body, length, m);
}

} // namespace vorax

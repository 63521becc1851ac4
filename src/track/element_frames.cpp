// The displaced-element and corrector frames of one particle and of coordinate columns. The
// columns are taken four particles at a time with the operations of the one-particle forms in
// their order (frame_lanes.h; no contraction into fused multiply-adds), and the particles after
// the last whole group by the one-particle forms themselves: every particle gets the same bits
// either way.
#include "track/element_frames.h"

#include "track/frame_lanes.h"
#include "track/map_kernels.h"

#include <cmath>
#include <limits>

namespace vorax {

void enter_displaced_frame(const Displacements &d, double z[6]) {
  const double xp = z[1] - d.dxp_in;
  const double yp = z[3] - d.dyp_in;
  z[5] -= d.ddelta;
  const double x = z[0] - d.dx_in - d.ds_in * xp;
  const double y = z[2] - d.dy_in - d.ds_in * yp;
  const double c = d.cos_in, s = d.sin_in;
  z[0] = c * x - s * y;
  z[2] = c * y + s * x;
  z[1] = c * xp - s * yp;
  z[3] = c * yp + s * xp;
}

void leave_displaced_frame(const Displacements &d, double z[6]) {
  const double c = d.cos_out, s = d.sin_out;
  const double xpr = c * z[1] - s * z[3];
  const double ypr = c * z[3] + s * z[1];
  const double x = c * z[0] - s * z[2] - d.ds_out * xpr - d.dx_out;
  const double y = c * z[2] + s * z[0] - d.ds_out * ypr - d.dy_out;
  z[0] = x;
  z[2] = y;
  z[1] = xpr - d.dxp_out;
  z[3] = ypr - d.dyp_out;
  z[5] += d.ddelta;
}

void enter_corrector(const Corset &c, double z[6]) {
  z[0] += c.x_in;
  z[1] += c.xp_in + c.kick_x / (1.0 + z[5]);
  z[2] += c.y_in;
  z[3] += c.yp_in + c.kick_y / (1.0 + z[5]);
  z[5] += c.ddelta;
}

void leave_corrector(const Corset &c, double z[6]) {
  z[0] += c.x_out;
  z[1] += c.xp_out;
  z[2] += c.y_out;
  z[3] += c.yp_out;
  z[5] -= c.ddelta;
}

namespace {

using namespace lanes;

constexpr double BIG = std::numeric_limits<double>::max();

// The live particles of the columns through transform, which takes the coordinates the frames
// change (x, x', y, y', delta) of four particles as lanes; the particles after the last group
// one by one through one. With failed given, the live particles whose changed coordinates are
// not all finite are listed there (a NaN fails both comparisons) and counted.
template <class Transform, class One>
[[gnu::always_inline]] inline int on_columns(const Columns &z, const std::int32_t *alive, int n,
                                             int *failed, Transform transform, One one) {
  const Lanes big = {BIG, BIG, BIG, BIG};
  int failures = 0;
  int first = 0;
  for (; first + LANES <= n; first += LANES) {
    Flags flags;
    __builtin_memcpy(&flags, alive + first, sizeof flags);
    const LaneMask live = __builtin_convertvector(flags != 0, LaneMask);
    Lanes x, xp, y, yp, d;
    __builtin_memcpy(&x, z[0] + first, sizeof x);
    __builtin_memcpy(&xp, z[1] + first, sizeof xp);
    __builtin_memcpy(&y, z[2] + first, sizeof y);
    __builtin_memcpy(&yp, z[3] + first, sizeof yp);
    __builtin_memcpy(&d, z[5] + first, sizeof d);
    Lanes nx = x, nxp = xp, ny = y, nyp = yp, nd = d;
    transform(nx, nxp, ny, nyp, nd);
    const Lanes ox = live ? nx : x, oxp = live ? nxp : xp, oy = live ? ny : y;
    const Lanes oyp = live ? nyp : yp, od = live ? nd : d;
    __builtin_memcpy(z[0] + first, &ox, sizeof ox);
    __builtin_memcpy(z[1] + first, &oxp, sizeof oxp);
    __builtin_memcpy(z[2] + first, &oy, sizeof oy);
    __builtin_memcpy(z[3] + first, &oyp, sizeof oyp);
    __builtin_memcpy(z[5] + first, &od, sizeof od);
    if (failed == nullptr)
      continue;
    const LaneMask ok = (nx <= big) & (nx >= -big) & (nxp <= big) & (nxp >= -big) & (ny <= big) &
                        (ny >= -big) & (nyp <= big) & (nyp >= -big) & (nd <= big) & (nd >= -big);
    const LaneMask lost = live & ~ok;
    if ((lost[0] | lost[1] | lost[2] | lost[3]) != 0)
      for (int p = 0; p < LANES; ++p)
        if (lost[p] != 0)
          failed[failures++] = first + p;
  }
  for (int p = first; p < n; ++p) {
    if (alive[p] == 0)
      continue;
    double v[6];
    for (int k = 0; k < 6; ++k)
      v[k] = z[k][p];
    one(v);
    for (int k = 0; k < 6; ++k)
      z[k][p] = v[k];
    if (failed != nullptr &&
        !(std::fabs(v[0]) <= BIG && std::fabs(v[1]) <= BIG && std::fabs(v[2]) <= BIG &&
          std::fabs(v[3]) <= BIG && std::fabs(v[5]) <= BIG))
      failed[failures++] = p;
  }
  return failures;
}

[[gnu::always_inline]] inline int enter_frame_body(const Displacements &d, const Columns &z,
                                                   const std::int32_t *alive, int n) {
  return on_columns(
      z, alive, n, nullptr,
      [&](Lanes &x, Lanes &xp, Lanes &y, Lanes &yp, Lanes &delta) {
        lanes::enter_frame(d, x, xp, y, yp, delta);
      },
      [&](double *one) { enter_displaced_frame(d, one); });
}

[[gnu::always_inline]] inline int leave_frame_body(const Displacements &d, const Columns &z,
                                                   const std::int32_t *alive, int n, int *failed) {
  return on_columns(
      z, alive, n, failed,
      [&](Lanes &x, Lanes &xp, Lanes &y, Lanes &yp, Lanes &delta) {
        lanes::leave_frame(d, x, xp, y, yp, delta);
      },
      [&](double *one) { leave_displaced_frame(d, one); });
}

[[gnu::always_inline]] inline int enter_corrector_body(const Corset &c, const Columns &z,
                                                       const std::int32_t *alive, int n) {
  return on_columns(
      z, alive, n, nullptr,
      [&](Lanes &x, Lanes &xp, Lanes &y, Lanes &yp, Lanes &delta) {
        lanes::enter_corrector(c, x, xp, y, yp, delta);
      },
      [&](double *one) { enter_corrector(c, one); });
}

[[gnu::always_inline]] inline int leave_corrector_body(const Corset &c, const Columns &z,
                                                       const std::int32_t *alive, int n,
                                                       int *failed) {
  return on_columns(
      z, alive, n, failed,
      [&](Lanes &x, Lanes &xp, Lanes &y, Lanes &yp, Lanes &delta) {
        lanes::leave_corrector(c, x, xp, y, yp, delta);
      },
      [&](double *one) { leave_corrector(c, one); });
}

[[gnu::target("avx2")]] void enter_frame_avx2(const Displacements &d, const Columns &z,
                                              const std::int32_t *alive, int n) {
  enter_frame_body(d, z, alive, n);
}
void enter_frame_portable(const Displacements &d, const Columns &z, const std::int32_t *alive,
                          int n) {
  enter_frame_body(d, z, alive, n);
}
[[gnu::target("avx2")]] int leave_frame_avx2(const Displacements &d, const Columns &z,
                                             const std::int32_t *alive, int n, int *failed) {
  return leave_frame_body(d, z, alive, n, failed);
}
int leave_frame_portable(const Displacements &d, const Columns &z, const std::int32_t *alive, int n,
                         int *failed) {
  return leave_frame_body(d, z, alive, n, failed);
}
[[gnu::target("avx2")]] void enter_corrector_avx2(const Corset &c, const Columns &z,
                                                  const std::int32_t *alive, int n) {
  enter_corrector_body(c, z, alive, n);
}
void enter_corrector_portable(const Corset &c, const Columns &z, const std::int32_t *alive, int n) {
  enter_corrector_body(c, z, alive, n);
}
[[gnu::target("avx2")]] int leave_corrector_avx2(const Corset &c, const Columns &z,
                                                 const std::int32_t *alive, int n, int *failed) {
  return leave_corrector_body(c, z, alive, n, failed);
}
int leave_corrector_portable(const Corset &c, const Columns &z, const std::int32_t *alive, int n,
                             int *failed) {
  return leave_corrector_body(c, z, alive, n, failed);
}

} // namespace

void enter_displaced_frame(const Displacements &d, const Columns &z, const std::int32_t *alive,
                           int n) {
  avx2_available() ? enter_frame_avx2(d, z, alive, n) : enter_frame_portable(d, z, alive, n);
}

int leave_displaced_frame(const Displacements &d, const Columns &z, const std::int32_t *alive,
                          int n, int *failed) {
  return avx2_available() ? leave_frame_avx2(d, z, alive, n, failed)
                          : leave_frame_portable(d, z, alive, n, failed);
}

void enter_corrector(const Corset &c, const Columns &z, const std::int32_t *alive, int n) {
  avx2_available() ? enter_corrector_avx2(c, z, alive, n)
                   : enter_corrector_portable(c, z, alive, n);
}

int leave_corrector(const Corset &c, const Columns &z, const std::int32_t *alive, int n,
                    int *failed) {
  return avx2_available() ? leave_corrector_avx2(c, z, alive, n, failed)
                          : leave_corrector_portable(c, z, alive, n, failed);
}

} // namespace vorax

// GENE: diagonalises the beam matrix, draws truncated Gaussian amplitudes along its
// eigen-directions (or points on the surface of its ellipsoid) and leaves the particle store
// ready for a TRAC that continues with the stored set.
#include "optics/beam_generation.h"

#include "common/control.h"
#include "common/format.h"
#include "common/limits.h"
#include "common/messages.h"
#include "common/random_numbers.h"
#include "common/result_table.h"
#include "engine/deferred_data.h"
#include "engine/operation_data.h"
#include "optics/optics_areas.h"
#include "optics/symmetric_eigen.h"
#include "track/particle_kernels.h"
#include "track/tracking_areas.h"
#include "track/tracking_steps.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

namespace vorax {

namespace {

// A limit this small would make the rejection of the truncated draws run practically forever.
constexpr double SMALLEST_TRUNCATION = 0.1;

void read_generation_data(int &end_flag) {
  read_gene_data(end_flag, [](const DataRecord &r) {
    auto value = [&](int k) { return k <= r.count ? r.value(k) : 0.0; };
    cgener.option = truncated(value(1));
    for (int i = 1; i <= 6; ++i)
      cgener.truncation(i) = value(1 + i);
    cgener.scale = value(8);
    cgener.count = truncated(value(9));
    for (int i = 1; i <= 6; ++i)
      cgener.centroid(i) = value(9 + i);
  });
}

void stop_with(std::initializer_list<std::string> lines, int code) {
  for (const std::string &l : lines)
    engine_message(l);
  engine_stop(code);
}

// The coordinates of particle i in the geometric variables, whichever the store holds.
void geometric(int i, double z[6]) {
  double held[6];
  for (int k = 0; k < 6; ++k)
    held[k] = trace.pcoord(i, k + 1);
  if (trace.canonical == 0)
    std::copy_n(held, 6, z);
  else
    ncvar(held, z, tracking_mode().b0);
}

// The centroid and second moments about it of the live particles of the store.
bool live_beam(Table<double, 1, 6> &centroid, EigenMatrix &sigma) {
  int n = 0;
  double z[6];
  centroid.fill(0.0);
  for (int i = 1; i <= trace.npart; ++i)
    if (alive.flag(i) != 0) {
      ++n;
      geometric(i, z);
      for (int k = 1; k <= 6; ++k)
        centroid(k) += z[k - 1];
    }
  if (n < 2)
    return false;
  for (int k = 1; k <= 6; ++k)
    centroid(k) /= n;
  sigma.fill(0.0);
  for (int i = 1; i <= trace.npart; ++i)
    if (alive.flag(i) != 0) {
      geometric(i, z);
      for (int j = 1; j <= 6; ++j)
        for (int k = 1; k <= j; ++k)
          sigma(j, k) += (z[j - 1] - centroid(j)) * (z[k - 1] - centroid(k));
    }
  for (int j = 1; j <= 6; ++j)
    for (int k = 1; k <= j; ++k) {
      sigma(j, k) /= n;
      sigma(k, j) = sigma(j, k);
    }
  return true;
}

// The eigen-directions of sigma: unit vectors in the columns of v, standard deviations in sd.
void diagonalise(const EigenMatrix &sigma, EigenMatrix &v, EigenVector &sd) {
  EigenVector lambda, e;
  bandr(6, sigma, lambda, e, v);
  if (tql2(6, lambda, e, v) != 0)
    stop_with({" BEAM MATRIX DIAGONALIZATION FAILED:CHECK FOR ERROR",
               " IN BEAM MATRIX OR FIND A POINT WHERE BEAM IS LESS ", "ELONGATED"},
              262);
  for (int i = 1; i <= 6; ++i) {
    if (lambda(i) <= 0.0)
      stop_with({" NUMBER" + fI(i, 3) + " EIGENVALUE" + fE(lambda(i), 15, 7) + " IS NON POSITIVE",
                 " BEAM ELLIPSE PROBABLY TOO ELONGATED, DIAGONALIZATION FAILED",
                 " FIND ANOTHER POINT AT WHICH TO GENERATE THE BEAM"},
                262);
    sd(i) = std::sqrt(lambda(i));
  }
}

// The coordinate in which eigenvector i is largest (the first on ties): its limit truncates
// the amplitudes along that direction.
int main_coordinate(const EigenMatrix &v, int i) {
  int k = 1;
  for (int j = 2; j <= 6; ++j)
    if (std::fabs(v(j, i)) > std::fabs(v(k, i)))
      k = j;
  return k;
}

} // namespace

void gener(int, int &end_flag) {
  if (end_flag >= 0)
    read_generation_data(end_flag);
  // Options 11 and 13 take the beam from the store and need no BEAM.
  if (cbeam.defined == 0 && cgener.option < 10)
    stop_with({"    A BEAM MATRIX WAS NOT DEFINED RUN IS STOPPED  "}, 260);

  const int option = cgener.option % 10;
  if (option != 1 && option != 3)
    stop_with({"   ERROR IN OPTION NUMBER " + fI(cgener.option, 5)}, 261);
  const int count = std::max(cgener.count, 1);
  if (cgener.count > MAXPART)
    stop_with({" **** TOO MANY PARTICLES: " + fI(cgener.count, 10) +
               " ARE ASKED FOR, THE PARTICLE STORE HOLDS " + fI(MAXPART, 7)},
              8);
  for (int i = 1; i <= 6; ++i)
    if (cgener.truncation(i) > 0.0 && cgener.truncation(i) < SMALLEST_TRUNCATION)
      stop_with({" TRUNCATION LIMIT" + fI(i, 2) + " OF" + fE(cgener.truncation(i), 12, 4) +
                 " SIGMA IS BELOW" + fF(SMALLEST_TRUNCATION, 4, 1) + ": RUN IS STOPPED"},
                261);

  // Options 11 and 13 regenerate the beam the store now holds: the centroid and the second
  // moments of its live particles replace the given centroid and the beam matrix.
  Table<double, 1, 6> centroid = cgener.centroid;
  EigenMatrix sigma;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      sigma(i, j) = cbeam.sigma(i, j);
  if (cgener.option >= 10 && !live_beam(centroid, sigma))
    stop_with({" NO TRACKED BEAM OF AT LEAST TWO LIVE PARTICLES TO GENERATE FROM"}, 260);

  trace.pcoord.fill(0.0);
  alive.flag.fill(1);
  cav.phase.fill(0.0);
  cav.previous_l.fill(0.0);

  EigenMatrix v;
  EigenVector sd;
  v.fill(0.0);
  sd.fill(0.0);
  if (count > 1)
    diagonalise(sigma, v, sd);
  // A limit of 0 (also an omitted one) means no truncation: the Gaussian draw is bounded at
  // 6 standard deviations by construction.
  Table<double, 1, 6> limit;
  for (int i = 1; i <= 6; ++i) {
    const double c = count > 1 ? cgener.truncation(main_coordinate(v, i)) : 0.0;
    limit(i) = c > 0.0 ? c : 6.0;
  }

  const double s = cgener.scale;
  std::int32_t state = cseeds.master_seed;
  for (int p = 1; p <= count; ++p) {
    double a[7] = {};
    if (count > 1) {
      double g[7], norm2;
      do {
        norm2 = 0.0;
        for (int i = 1; i <= 6; ++i) {
          do
            g[i] = gauss(state);
          while (std::fabs(g[i]) > limit(i));
          norm2 += g[i] * g[i];
        }
        // On the ellipsoid the amplitudes are divided by the radius: a draw of all zeros has
        // no direction and is drawn again.
      } while (option == 1 && norm2 == 0.0);
      for (int i = 1; i <= 6; ++i)
        a[i] = option == 1 ? g[i] * sd(i) * s / std::sqrt(norm2) : g[i] * sd(i) * s;
    }
    for (int k = 1; k <= 6; ++k) {
      double z = centroid(k);
      for (int i = 1; i <= 6; ++i)
        z += v(k, i) * a[i];
      trace.pcoord(p, k) = z;
    }
    trace.pcoord(p, 7) = trace.pcoord(p, 6);
  }

  // The store holds a fresh set in the geometric variables, not yet tracked: a TRAC that
  // continues the stored set (particle count 0) tracks it from its first turn.
  trace.npart = count;
  trace.nlive = count;
  trace.iturn = 0;
  trace.nturn = 0;
  trace.canonical = 0;
  if (control.print_level >= 1)
    engine_message(" " + fI(count, 7) + " PARTICLES GENERATED FROM THE BEAM MATRIX");
  if (result_tables_wanted()) {
    ResultTable t("gene", "PARTICLES");
    t.integer("PARTICLES", count).real("SCALE", s);
    t.text("UNITS", "X Y L in m; PX PY in rad (x', y'); DELTA relative: the store's variables");
    const char *names[6] = {"X", "PX", "Y", "PY", "L", "DELTA"};
    t.column("NUMBER", TfsType::integer);
    for (const char *name : names)
      t.column(name);
    for (int p = 1; p <= count; ++p) {
      t.cell(p);
      for (int k = 1; k <= 6; ++k)
        t.cell(trace.pcoord(p, k));
    }
    write_result_table(t);
  }
}

} // namespace vorax

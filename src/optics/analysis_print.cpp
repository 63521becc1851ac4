// Printout of the periodic analysis: one block per plane, with the chromatic derivatives when
// the second-order terms were carried.
#include "common/control.h"
#include "common/format.h"
#include "common/units.h"
#include "engine/operation_data.h"
#include "optics/matrix_operation.h"

#include <cmath>

namespace vorax {

namespace {

void say(std::string_view text) {
  write_record(control.output_unit, text);
}

std::string e21(double v) {
  return fE(v, 21, 14);
}

// Two labelled values on one record.
void pair(std::string_view l1, double v1, std::string_view l2, double v2) {
  say(" " + std::string(l1) + e21(v1) + "   " + std::string(l2) + e21(v2));
}

void stable_plane(const Analc &a, int p, int print_option) {
  if (p == 1)
    pair("COMPACTION FACTOR =", a.compaction, "GAMMA TR =", gamma_transition(a.compaction));
  pair("COS(MU)=", a.cosmu(p), "NU =", a.nu(p));
  pair("ETA =", a.eta(p), "ETAP =", a.etap(p));
  pair("ALPHA =", a.alpha(p), "BETA =", a.beta(p));
  if (print_option == 1)
    return;
  pair("DMU /DELTA=", a.dmu(p), "CHROMATICITY   =", a.chrom(p));
  pair("DALPHA /DDELTA=", a.dalpha(p), "DBETA/DDELTA=", a.dbeta(p));
  pair("DETA/DDELTA=", a.deta(p), "DETAP/DDELTA=", a.detap(p));
}

} // namespace

double gamma_transition(double compaction) {
  if (compaction > 0.0)
    return 1.0 / std::sqrt(compaction);
  if (compaction < 0.0)
    return -1.0 / std::sqrt(-compaction);
  return 0.0;
}

void print_unstable_plane(const Analc &a, int p) {
  const char *x = (p == 1) ? "  X =  " : "  Y =  ";
  const char *xp = (p == 1) ? "  XP =  " : "  YP =  ";
  say("  HALF-TRACE =   " + e21(a.cosmu(p)));
  for (int w = 1; w <= 2; ++w) {
    say(std::string(w == 1 ? " EIGENVALUE1 =  " : " EIGENVALUE2 =  ") + e21(a.eigenvalue(p, w)) +
        "  WITH EIGENVECTOR : " + x + e21(a.eigenvector(p)(1, w)) + xp +
        e21(a.eigenvector(p)(2, w)));
  }
}

void pranal(int print_option) {
  const Analc &a = analc;
  if (a.coupled)
    say("  **** WARNING : X-Y COUPLING NOT NEGLIGIBLE FOLLOWING ANALYSIS MAY BE MEANINGLESS ****");
  for (int p = 1; p <= 2; ++p) {
    say(" ");
    say(p == 1 ? "    HORIZONTAL MOVEMENT ANALYSIS" : "    VERTICAL MOVEMENT ANALYSIS");
    if (a.unstable(p) == 2) {
      // Half-trace exactly 1 (a drift-like plane): the eigen-solution still says what the
      // plane does, and the warning says not to trust it as a periodic solution.
      say(" ******** WARNING : NEAR +-UNIT MATRIX FOLLOWING ANALYSIS MAY BE MEANINGLESS!!!*******");
      print_unstable_plane(a, p);
    } else if (a.unstable(p) == 1) {
      say("   MOVEMENT IS UNSTABLE  ");
      print_unstable_plane(a, p);
    } else if (a.singular) {
      say("    MOVEMENT ANALYSIS NOT PERFORMED  ");
      report_operation_warning(std::string(p == 1 ? "horizontal" : "vertical") +
                               " movement analysis not performed: the matrix is singular");
    } else {
      stable_plane(a, p, print_option);
    }
  }
}

} // namespace vorax

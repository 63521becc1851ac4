// Lattices several test files run their decks on.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace vorax::test {

// Eight FODO cells of 5 m with thick quadrupoles, titled: the ring the fits start from.
inline const std::string FIT_FODO_RING = R"(TITLE
FIT FODO
QF: QUADRUPOLE, L=0.5, K1=0.9
QD: QUADRUPOLE, L=0.5, K1=-0.9
D: DRIFT, L=2.0
CELL: LINE=(QF,D,QD,D)
RING: LINE=(8*CELL)
USE, RING
VORAX
)";

// Eight FODO cells with combined-function sector bends whose faces are turned, rolled by tilt:
// every term of the radiation integral I4 is there. The quadrupoles' K1 is kf and -kf.
inline std::string combined_function_ring(const std::string &kf, const std::string &tilt) {
  return "PI = 3.141592653589793\n"
         "QF: QUADRUPOLE, L = 0.5, K1 = " +
         kf + "\nQD: QUADRUPOLE, L = 0.5, K1 = -(" + kf +
         ")\n"
         "B:  SBEND, L = 2.0, ANGLE = 2*PI/16, K1 = -0.01, &\n"
         "    E1 = 0.12, E2 = -0.05, TILT = " +
         tilt +
         "\n"
         "D:  DRIFT, L = 0.5\n"
         "RING: LINE = (8*(QF, D, B, D, QD, D, B, D))\n"
         "USE, RING\nVORAX\n";
}

// A light source of eight double-bend achromats at energy e (GeV): combined-function sector
// bends with a defocusing gradient, the achromat's quadrupoles between them and a doublet on
// either side, and an RF cavity in every straight, where the dispersion is 0. Along each bend the
// dispersion invariant H grows from 0 at the end nearer the straight, so that the faces see 1.23
// times its mean. The horizontal tune, 5.175, keeps clear of the third integer over the chromatic
// spread of the beam. The cavities have 3.4 times the voltage the loss per turn needs, and give
// a particle at their phase 0 exactly that loss (of tracking's constant). Line RING has the
// cavities, ARCS has none.
inline std::string light_source_ring(double e) {
  const double pi = 3.141592653589793;
  const double loss = 16 * (pi / 8) * (pi / 8) * 1.408e-5 * e * e * e * e / 1.2; // GeV a turn
  char rf[160];
  std::snprintf(rf, sizeof rf, "RF: RFCAVITY, L = 0, VOLT = %.17g, LAG = %.17g, &\n    FREQ = 40",
                1000 * 3.4 * loss / 8, pi - std::asin(1 / 3.4));
  return "PI = 3.141592653589793\n"
         "DS: DRIFT, L = 2.0\n"
         "D1: DRIFT, L = 0.3\n"
         "D2: DRIFT, L = 0.4\n"
         "Q1: QUADRUPOLE, L = 0.3, K1 = 2.3\n"
         "Q2: QUADRUPOLE, L = 0.3, K1 = -2.1\n"
         "QD: QUADRUPOLE, L = 0.3, K1 = -0.5\n"
         "QF: QUADRUPOLE, L = 0.4, K1 = 3.5270783085140103\n"
         "B:  SBEND, L = 1.2, ANGLE = PI/8, K1 = -0.2\n" +
         std::string(rf) + ", ENERGY = " + std::to_string(e) +
         "\n"
         "ARC: LINE = (Q1, D1, Q2, D2, B, D1, QD, D1, QF, D1, QD, D1, B, D2, Q2, D1, Q1)\n"
         "RING: LINE = (8*(RF, DS, ARC, DS))\n"
         "ARCS: LINE = (8*(DS, ARC, DS))\n";
}

} // namespace vorax::test

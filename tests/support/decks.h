// Lattices several test files run their decks on.
#pragma once

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

} // namespace vorax::test

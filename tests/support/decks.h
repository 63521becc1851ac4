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

} // namespace vorax::test

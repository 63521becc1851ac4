// The rest masses (GeV) of the reference particle of the RF cavities, chosen by the particle
// switch of the constants (CONS 12): the classic single-precision constants widened. The
// lattice importer writes cavity energies with the same numbers.
#pragma once

namespace vorax {

inline constexpr double CAVITY_ELECTRON_MASS = 0.000511005986481905;
inline constexpr double CAVITY_PROTON_MASS = 0.938256025314331;

} // namespace vorax

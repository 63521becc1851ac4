// MOVE: the linear motion of the machine at several momentum deviations, found by tracking a
// pentagon of particles one turn around an iterated closed orbit; the polynomial fits of the
// results against the momentum deviation, the resonance study of unstable planes and the plots.
#pragma once

#include "common/reset.h"
#include "common/table.h"

namespace vorax {

inline constexpr int MAX_ENERGIES = 15;
inline constexpr int MAX_COEFFICIENTS = 9;

// The state of the latest MOVE, energy by energy.
struct Cmove {
  int ne = 0;                   // momentum deviations analysed
  int coefficients = 0;         // polynomial coefficients asked for
  int order = 0;                // resonance order studied (2 or 3; below 2 none)
  double amplitude = 0.0;       // pentagon amplitude, reduced by 0.3 per iteration
  double first_amplitude = 0.0; // the amplitude as given
  Table<double, 1, MAX_ENERGIES> delta;
  Matrix<double, MAX_ENERGIES, 5> orbit;          // closed-orbit estimate x, x', y, y', l
  Table<int, 1, MAX_ENERGIES> alive;              // 0 once a particle of the energy is lost
  Table<Matrix<double, 4, 4>, 1, MAX_ENERGIES> m; // one-turn matrix
  Matrix<double, MAX_ENERGIES, 4> column;         // its constant column
  // Per energy and plane (1 x, 2 y): 1 when the plane is stable, and its tune, beta, alpha.
  Matrix<int, MAX_ENERGIES, 2> stable;
  Matrix<double, MAX_ENERGIES, 2> nu, beta, alpha;
  // The resonance study per energy: the fixed points found (x, x', y, y', one row each).
  Table<Matrix<double, 3, 4>, 1, MAX_ENERGIES> fixed;
  // Plots: switch, limits of the tune and the beta axes (top, bottom), two options.
  int plot = 0;
  Table<double, 1, 4> plot_limits;
  int plot_option1 = 0, plot_option2 = 0;
};
inline Cmove cmove;
inline const AreaRegistration cmove_registration{reset_area<cmove>};

// Expansion coefficients (power k - 1 of delta) of the fits: NUX, NUY, BETAX, BETAY, XCO, YCO,
// XPCO, YPCO, and the largest absolute error of each fit.
struct Clsq {
  int count = 0; // coefficients fitted; 0 when no fit was done
  Matrix<double, MAX_COEFFICIENTS, 8> coefficient;
  Table<double, 1, 8> max_error;
};
inline Clsq clsq;
inline const AreaRegistration clsq_registration{reset_area<clsq>};

struct Analc;

void twan(int code, int &end_flag); // MOVE

// Eigenvalues and unit eigenvectors of the 2x2 block of plane (1 x, 2 y) of a one-turn matrix
// whose half-trace is at least 1 in magnitude, into out as the periodic analysis files them.
void block_eigen_solution(const Matrix<double, 4, 4> &m, int plane, Analc &out);

// Moves z (x, x', y, y') to the fixed point of the map of `turns` turns of energy e nearby, by
// the pentagon iteration MOVE uses for the closed orbit (five particles at the present pentagon
// amplitude around z, tracked, the affine map fitted about z and its fixed point taken: a
// Newton step); a step that leaves a larger residual is halved. m receives the matrix of that
// map at the last point. False when a particle is lost, I - M is singular or 20 steps do not
// settle the point to 1e-12 of its size (or to the rounding floor, below 1e-9 of it); z then
// holds the last step.
bool fixed_point(int e, int turns, double z[4], Matrix<double, 4, 4> &m);

// Tracks the n points z (x, x', y, y') of energy e `turns` turns, in place. False when a particle
// is lost or a coordinate leaves the finite numbers.
bool track_points(int e, int turns, double (*z)[4], int n);

// The stages of MOVE, on cmove.
void enanal(int iterations, bool last_only);
void movmt(int energy, int plane);
void res();
void lsq();
void ploten();

} // namespace vorax

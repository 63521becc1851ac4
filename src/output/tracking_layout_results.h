// The result files of tracking and of the machine layout: TRAC's table of printed particle
// coordinates with its phase-space plot (reached from the tracking loop through the tracking
// seam's result hooks below), and the layout's table of floor coordinates with the machine seen
// from above (written by the geometry pass of LAYO and HARD).
#pragma once

#include "output/plots.h"
#include "output/tfs.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorax {

// TRAC: one row per particle and printed position: NUMBER, TURN, S (m), X (m), PX (x', rad),
// Y (m), PY (y', rad), L (m, path-length difference), DELTA (dp/p): VORAX's own variables,
// as the header says; canonical: the store holds the canonical variables of symplectic
// tracking (x, px, y, py, -l, pt), which the listing prints and the table then holds. The
// table is written row by row (a run that stops keeps the rows so far); the plot of x-x' and
// y-y' is drawn at finish() from the rows kept for it. The header ends with the call's
// summary: PARTICLES tracked, LOST, SURVIVING and TURNS done; the losses go into their own
// table, NAME_losses.tfs: NUMBER, TURN, POSITION, NAME (the element), S and the coordinates.
class TrackingResults {
public:
  explicit TrackingResults(std::string_view operation, bool canonical = false);
  void add(int number, int turn, double s, const std::array<double, 6> &coordinates);
  void lose(int number, int turn, int position, const std::array<double, 6> &coordinates);
  void finish();

private:
  void write_losses();
  struct Loss {
    int number, turn, position;
    std::array<double, 6> z;
  };
  std::string stem_;
  std::unique_ptr<TfsWriter> table_;
  int tracked_ = 0, first_turn_ = 0; // live particles and the turn reached at the start
  std::vector<Loss> losses_;
  std::vector<double> x_, xp_, y_, yp_;
};

// The tracking seam's result hooks: one TrackingResults for each tracking run, opened,
// filled with every printed particle line and completed.
void begin_tracking_results(bool canonical);
void tracking_results_row(int particle, int turn, double s, const double z[6]);
void end_tracking_results();
void tracking_results_loss(int particle, int position, const double z[6]);

// LAYO: one row per printed position: NUMBER, NAME, KEYWORD, S, X, Y, Z, THETA, PHI, PSI, the
// numbers of the listing's row (lengths in the layout's length unit, length_unit metres each,
// angles in degrees); the floor plot (z across, x up, in metres) is drawn through every
// position, printed or not, so that the machine is seen whole whatever rows were asked for.
struct LayoutPoint {
  int number = 0;
  std::string name, keyword;
  double s = 0.0, x = 0.0, y = 0.0, z = 0.0, theta = 0.0, phi = 0.0, psi = 0.0;
  BarKind kind = BarKind::other;
  bool printed = true;
};
void write_layout_results(std::string_view operation, const std::vector<LayoutPoint> &points,
                          double length_unit = 1.0);

} // namespace vorax

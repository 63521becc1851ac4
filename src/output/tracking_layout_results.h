// The result files that tracking and the machine layout will write, ready for their callers:
// TRAC's table of printed particle coordinates with its phase-space plot, and LAYO's table of
// floor coordinates with the machine seen from above. Each caller needs a few lines:
//
//   TrackingResults results("trac");           // once per call of TRAC
//   results.add(number, turn, s, coordinates);  // at every printed position
//   results.finish();                           // writes the plot; the table is complete
//
//   write_layout_results("layo", points);      // once per call of LAYO
//
// Tracking sits below output: it reaches these through a hook that a higher folder installs.
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
// as the header says. The table is written row by row (a run that stops keeps the rows so
// far); the plot of x-x' and y-y' is drawn at finish() from the rows kept for it.
class TrackingResults {
public:
  explicit TrackingResults(std::string_view operation);
  void add(int number, int turn, double s, const std::array<double, 6> &coordinates);
  void finish();

private:
  std::string stem_;
  std::unique_ptr<TfsWriter> table_;
  std::vector<double> x_, xp_, y_, yp_;
};

// LAYO: one row per position: NAME, KEYWORD, S (m), X, Y, Z (m, floor coordinates), THETA,
// PHI, PSI (rad), and the floor plot (z across, x up) drawn from the same points.
struct LayoutPoint {
  std::string name, keyword;
  double s = 0.0, x = 0.0, y = 0.0, z = 0.0, theta = 0.0, phi = 0.0, psi = 0.0;
  BarKind kind = BarKind::other;
};
void write_layout_results(std::string_view operation, const std::vector<LayoutPoint> &points);

} // namespace vorax

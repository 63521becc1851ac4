// The character plot of an orbit along the machine, which the program installs for the orbit
// operations.
#pragma once

namespace vorax {

// x (symbol X) and y (symbol Y) of n positions against their path lengths s, on one frame whose
// vertical range is symmetric about the design orbit.
void plot_orbit_displacements(const double *s, const double *x, const double *y, int n,
                              const char *title);

} // namespace vorax

// SETF: the (at most two) fit points, positions at which least-squares conditions look at
// lattice functions and beam matrices.
#include "fit/fitting.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/shared_areas.h"
#include "engine/lookup.h"
#include "fit/fit_support.h"

namespace vorax {

void fitpt(int, int &end_flag) {
  read_data_numbers(1, end_flag);
  const int n = data_integer(cintak.values(1));
  if (n <= 0)
    return;
  // The value table has room for the lattice functions and beam matrices of two points only.
  if (n > 2)
    fit_stop({"  TOO MANY FITPOINTS :" + fI(n, 6) + " , AT MOST 2 CAN BE DEFINED"}, 256);
  // A new definition replaces both points, so that a second point of an earlier SETF cannot
  // silently stay in use.
  mat.fit_position(1) = 0;
  mat.fit_position(2) = 0;
  for (int k = 1; k <= n; ++k) {
    const Name8 name = read_data_name(end_flag);
    const int element = element_named(name);
    if (element == 0)
      fit_stop({"  FITNAME IS NOT IN NAMELIST :" + name.str()}, 256);
    const int position = first_position(element);
    if (position == 0)
      fit_stop({"  FITNAME IS NOT IN MACHINE LIST :" + name.str()}, 256);
    mat.fit_position(k) = position;
  }
}

} // namespace vorax

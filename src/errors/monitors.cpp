// Monitors: READ names the monitors whose centroid is shown while tracking, and ALIG the
// monitors it fits; the tracking stops at the centre of such a monitor and the reading is taken
// there, in the monitor's own frame when it is misaligned.
#include "errors/correctors.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/units.h"
#include "engine/deferred_data.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "errors/misalignments.h"
#include "track/tracking_areas.h"

#include <cmath>
#include <string>

namespace vorax {

void rdmon(int, int &end_flag) {
  read_read_data(end_flag, [&](const DataRecord &record) {
    const std::string role = record.role;
    if (role == "SWITCH") {
      crdmon.reading = truncated(record.value(1)) != 0;
    } else if (role == "PATTERN") {
      crdmon.pattern = Name8(record.name);
    } else if (role == "RANGE") {
      crdmon.first = elpos(Name8(record.name));
      crdmon.last = elpos(Name8(record.second_name));
    }
  });
}

bool rmochk(int position) {
  return crdmon.reading && position >= crdmon.first && position <= crdmon.last &&
         iequal(crdmon.pattern, chinp.elname(blank.mseq(position))) == 1;
}

// The last fitted monitor is the one furthest along the machine: the pass can end after it.
int monchk(int position) {
  int last = 0;
  bool fitted = false;
  for (int k = 1; k <= monfit.count; ++k) {
    last = std::max(last, monfit.position(k));
    fitted = fitted || monfit.position(k) == position;
  }
  monfit.state = !fitted ? 0 : position == last ? 2 : 1;
  return monfit.state;
}

int monitor_state(int position, int) {
  crdmon.read_here = crdmon.reading && rmochk(position);
  const int fitted = monfit.fitting ? monchk(position) : 0;
  return fitted != 0 ? fitted : crdmon.read_here ? 1 : 0;
}

bool live_centroid(double mean[4]) {
  double sum[4] = {};
  int n = 0;
  for (int i = 1; i <= trace.npart; ++i) {
    if (alive.flag(i) == 0)
      continue;
    for (int k = 0; k < 4; ++k)
      sum[k] += trace.pcoord(i, k + 1);
    ++n;
  }
  for (int k = 0; k < 4; ++k)
    mean[k] = n > 0 ? sum[k] / n : 0.0;
  return n > 0;
}

// A misaligned monitor reads the beam relative to its own displaced centre.
void read_monitor(int position, bool misaligned) {
  double mean[4];
  bool live;
  if (!misaligned) {
    live = live_centroid(mean);
  } else {
    double sum[4] = {};
    int n = 0;
    for (int i = 1; i <= trace.npart; ++i) {
      if (alive.flag(i) == 0)
        continue;
      double z[6];
      for (int k = 0; k < 6; ++k)
        z[k] = trace.pcoord(i, k + 1);
      mset(z);
      for (int k = 0; k < 4; ++k)
        sum[k] += z[k];
      ++n;
    }
    for (int k = 0; k < 4; ++k)
      mean[k] = n > 0 ? sum[k] / n : 0.0;
    live = n > 0;
  }
  if (crdmon.read_here) {
    std::string line = " MONITOR AT" + fI(position, 6);
    for (double m : mean)
      line += fE(m, 15, 7);
    terminal(line);
  }
  if (!monfit.fitting || !live)
    return;
  for (int k = 1; k <= monfit.count; ++k)
    if (monfit.position(k) == position) {
      monfit.reading(k) = monfit.plane(k) == 1 ? mean[0] : mean[2];
      monfit.seen(k) = true;
    }
}

// Like the tracked transfer matrix: one turn from turn 0, nothing printed or plotted.
void start_probe(const double (*particles)[6], int count) {
  trace.npart = trace.nlive = count;
  trace.nturn = 1;
  trace.iturn = 0;
  trace.nprint = -2;
  trace.canonical = 0;
  plt.nplot = -1;
  plt.orbit = 0;
  for (int i = 1; i <= count; ++i) {
    alive.flag(i) = 1;
    for (int k = 1; k <= 6; ++k)
      trace.pcoord(i, k) = particles[i - 1][k - 1];
    trace.pcoord(i, 7) = particles[i - 1][5];
  }
}

} // namespace vorax

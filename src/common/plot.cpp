// Start and end of the plot output: the plot unit and the report of the frames written.
#include "common/plot.h"

#include "common/format.h"
#include "common/units.h"

namespace vorax {

// There is no terminal-graphics device, so starting and ending the plot output only keeps
// the unit and the frame count.
void plinit(int unit) {
  plotio.unit = unit;
  plotio.frames = 0;
}

void plend(int log_unit) {
  if (plotio.frames > 0)
    write_record(log_unit, "0... " + fI(plotio.frames, 5) +
                               " PLOT FRAMES WRITTEN ON LOGICAL UNIT " + fI(plotio.unit, 5));
  plotio.frames = 0;
  plotio.unit = 0;
}

void count_plot_frame() {
  ++plotio.frames;
}

} // namespace vorax

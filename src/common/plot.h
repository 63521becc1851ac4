// Plot output of the run: the plot unit and the count of plot frames written on it.
#pragma once

#include "common/reset.h"

namespace vorax {

struct Plotio {
  int unit = 0;   // plot unit recorded at program start, 0 when closed
  int frames = 0; // plot frames written since then
};
inline Plotio plotio;
inline const AreaRegistration plotio_registration{reset_area<plotio>};

// Program start: records the plot unit and starts the frame count at 0.
void plinit(int unit);
// End of the run (and before an abnormal end): reports the frames written on the message log,
// then closes.
void plend(int log_unit);
// Called by whoever completes a plot frame on the plot unit.
void count_plot_frame();

} // namespace vorax

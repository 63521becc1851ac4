// Start and end of the plot output: the frame report appears only when frames were written.
#include "common/plot.h"
#include "common/units.h"
#include "harness.h"

#include <gtest/gtest.h>

using namespace vorax;
using namespace vorax::test;

TEST(PlotOutput, FramesAreReportedOnceAtTheEnd) {
  start_in_memory();
  plinit(16);
  plend(LOG_UNIT);
  EXPECT_EQ(log_text(), ""); // no frames, no message
  plinit(16);
  count_plot_frame();
  count_plot_frame();
  plend(LOG_UNIT);
  EXPECT_EQ(log_text(), "0...     2 PLOT FRAMES WRITTEN ON LOGICAL UNIT    16\n");
  EXPECT_EQ(plotio.unit, 0);
  plend(LOG_UNIT); // a second end (after an error stop) repeats nothing
  EXPECT_EQ(count_of(log_text(), "PLOT FRAMES"), 1);
}

// The loop's corrector, monitor and orbit hooks: a monitor that is read stops the particles at
// its centre and the last one a pass needs ends the pass; the orbit is seen after every position;
// the corrector's entrance and exit wrap the element and its displaced frame, in that order.
#include "tracking_support.h"

#include "track/tracking_hooks.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorax::test {
namespace {

std::vector<int> seen_positions;
std::vector<double> read_x;

int monitor_2_read_4_last(int position, int) {
  return position == 2 ? 1 : position == 4 ? 2 : 0;
}
void read_centre(int position, bool) {
  seen_positions.push_back(-position);
  read_x.push_back(trace.pcoord(1, 1));
}
bool observing() {
  return true;
}
void observe(int position) {
  seen_positions.push_back(position);
}

TEST(MonitorHooks, ReadAtTheCentreAndThePassEndsAfterTheLastMonitor) {
  TrackingHooks hooks;
  hooks.monitor = monitor_2_read_4_last;
  hooks.read_monitor = read_centre;
  hooks.observing = observing;
  hooks.observe = observe;
  Seam<TrackingHooks>::Scope scope(tracking_seam, hooks);
  seen_positions.clear();
  read_x.clear();
  run_deck("D: DRIFT, L = 1\nM: MONITOR, L = 2\nL1: LINE = (D, M, D, M, D, M)\nUSE, L1\nVORAX\n" +
           trac(-1, -2, {Vector6{0, 1e-3, 0, 0, 0, 0}}, 1) + "STOP\n");
  EXPECT_EQ(seen_positions, (std::vector<int>{1, -2, 2, 3, -4, 4}));
  ASSERT_EQ(read_x.size(), 2u);
  EXPECT_DOUBLE_EQ(read_x[0], 2e-3);
  EXPECT_DOUBLE_EQ(read_x[1], 5e-3);
  // The pass ended after position 4: the particle stands at its end.
  EXPECT_DOUBLE_EQ(particle(1)[0], 6e-3);
}

// A corrector that kicks x' at its entrance and moves x back at its exit, around an element
// rolled by a quarter turn: its entrance acts before the particles enter the rolled frame and its
// exit after they leave it.
bool corrected_at_2(int position, int, Corset &effect) {
  effect = Corset{};
  effect.xp_in = 1e-3;
  effect.x_out = -5e-4;
  return position == 2;
}
bool rolled_at_2(int position, int, Displacements &at) {
  at = Displacements{};
  at.cos_in = 0.0;
  at.sin_in = 1.0;
  at.cos_out = 0.0;
  at.sin_out = -1.0;
  return position == 2;
}
bool on() {
  return true;
}

TEST(CorrectorHooks, WrapTheElementAndItsDisplacedFrameForEveryParticle) {
  TrackingHooks hooks;
  hooks.corrector = corrected_at_2;
  hooks.active = on;
  hooks.misaligned = rolled_at_2;
  Seam<TrackingHooks>::Scope scope(tracking_seam, hooks);
  // A quadrupole of no gradient: a drift of 1 m between the two parts. Inside the rolled frame
  // the kick is a vertical slope, which the frame turns back into x'.
  run_deck("D: DRIFT, L = 1\nQ: QUADRUPOLE, L = 1, K1 = 0\nL1: LINE = (D, Q, D)\nUSE, L1\n"
           "VORAX\n" +
           trac(-1, -2, {Vector6{}, Vector6{}}, 1) + "STOP\n");
  for (int i = 1; i <= 2; ++i) {
    EXPECT_DOUBLE_EQ(particle(i)[1], 1e-3);
    EXPECT_DOUBLE_EQ(particle(i)[0], 1e-3 - 5e-4 + 1e-3);
    EXPECT_EQ(particle(i)[2], 0.0);
    EXPECT_EQ(particle(i)[3], 0.0);
  }
}

} // namespace
} // namespace vorax::test

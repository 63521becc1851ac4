// Tracking with synchrotron radiation on the light source of the tests (eight double-bend
// achromats, RF in every straight): its speed in particle-position passes per second, and the
// full-size equilibrium, 1000 particles over tens of damping times, against MACH's emittance and
// energy spread (counters emittance_ratio and spread_ratio, with their standard errors). The
// equilibrium runs take about 30 s and 100 s of one core's time; run one with
//   build/bench_radiation --benchmark_filter=Equilibrium/4
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "optics/optics_areas.h"
#include "program/program.h"
#include "track/tracking_areas.h"
#include "track/tracking_loop.h"
#include "track/tracking_steps.h"

#include "support/decks.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

using namespace vorax;

namespace {

// The ring at e GeV with MACH's radiation table, SYNC with both parts and Gaussian draws, and a
// set of particles on the axis tracked for the given turns (none: the set is only loaded).
std::string radiating_trac(double e, int particles, int turns) {
  const std::string energy = std::to_string(e);
  std::string deck = test::light_source_ring(e) + "USE, RING\nVORAX\nMATRIX\n 1 -1,\nMACHINE\n " +
                     energy + " " + energy + " 1 1 0 1 0 0 0 0 0 0 0 0 0 -1,\nSYNC\n " + energy +
                     " 3 3,\nTRAC\n -1 -2 " + std::to_string(particles) + " " +
                     std::to_string(turns) + "\n";
  for (int i = 0; i < particles; ++i)
    deck += " 0 0 0 0 0 0\n";
  return deck + " 0;\nSTOP\n";
}

constexpr int POSITIONS = 160;

void BM_TracLightSourceRadiating(benchmark::State &state) {
  set_tracking_threads(static_cast<int>(state.range(0)));
  const int particles = 256, turns = 200;
  const std::string deck = radiating_trac(7, particles, turns);
  for (auto _ : state) {
    reset_all_areas();
    bind_units_in_memory(deck, "", UnitFiles::sandbox);
    benchmark::DoNotOptimize(run_program());
  }
  state.counters["passes_per_second"] = benchmark::Counter(
      static_cast<double>(POSITIONS) * particles * turns * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
  set_tracking_threads(0);
}

// The mean and the standard error of a series of samples from 20 blocks of it: neighbouring
// samples are correlated over a damping time, blocks many damping times long are not.
void block_mean(const std::vector<double> &v, double &mean, double &error) {
  const int blocks = 20;
  const std::size_t size = v.size() / blocks;
  std::vector<double> m(blocks, 0.0);
  mean = 0.0;
  for (int b = 0; b < blocks; ++b) {
    for (std::size_t k = 0; k < size; ++k)
      m[static_cast<std::size_t>(b)] += v[b * size + k] / static_cast<double>(size);
    mean += m[static_cast<std::size_t>(b)] / blocks;
  }
  double squares = 0.0;
  for (const double x : m)
    squares += (x - mean) * (x - mean);
  error = std::sqrt(squares / (blocks - 1) / blocks);
}

// Energy (GeV) and the sampled span in damping times of the emittance's amplitude: after six
// damping times from the axis, 1000 particles are sampled every 5 turns at the end of the turn,
// the middle of a straight (no dispersion, alpha 0), about the mean orbit and energy there.
void BM_LightSourceEquilibrium(benchmark::State &state) {
  const double e = static_cast<double>(state.range(0));
  const int span = static_cast<int>(state.range(1));
  const int particles = 1000;
  for (auto _ : state) {
    reset_all_areas();
    bind_units_in_memory(radiating_trac(e, particles, 0), "", UnitFiles::sandbox);
    run_program();
    const double damping = lum.taux / lum.taurev; // turns
    const double beta = analc.beta(1);
    trace.nturn = static_cast<int>(6 * damping);
    trackt();
    const int samples = static_cast<int>(span * damping / 5);
    std::vector<double> x2, xp2, d2;
    double x = 0, xp = 0, d = 0;
    for (int k = 0; k < samples; ++k) {
      trace.nturn = trace.iturn + 5;
      trackt();
      double a = 0, b = 0, c = 0;
      for (int i = 1; i <= particles; ++i) {
        x += trace.pcoord(i, 1);
        xp += trace.pcoord(i, 2);
        d += trace.pcoord(i, 6);
        a += trace.pcoord(i, 1) * trace.pcoord(i, 1);
        b += trace.pcoord(i, 2) * trace.pcoord(i, 2);
        c += trace.pcoord(i, 6) * trace.pcoord(i, 6);
      }
      x2.push_back(a / particles);
      xp2.push_back(b / particles);
      d2.push_back(c / particles);
    }
    const double n = static_cast<double>(samples) * particles;
    std::vector<double> emittance, spread2;
    for (int k = 0; k < samples; ++k) {
      const auto s = static_cast<std::size_t>(k);
      emittance.push_back(
          ((x2[s] - (x / n) * (x / n)) / beta + beta * (xp2[s] - (xp / n) * (xp / n))) / 2 /
          lum.epsx);
      spread2.push_back((d2[s] - (d / n) * (d / n)) / (lum.sige * lum.sige));
    }
    double m = 0, error = 0;
    block_mean(emittance, m, error);
    state.counters["emittance_ratio"] = m;
    state.counters["emittance_error"] = error;
    block_mean(spread2, m, error);
    state.counters["spread_ratio"] = std::sqrt(m);
    state.counters["spread_error"] = error / (2 * std::sqrt(m));
    state.counters["lost"] = particles - trace.nlive;
    state.counters["turns"] = trace.iturn;
  }
}

} // namespace

BENCHMARK(BM_TracLightSourceRadiating)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// 7 GeV: 1.0 % of the energy lost a turn, the emittance damps in 94 turns; 4 GeV: 0.19 %, 504.
BENCHMARK(BM_LightSourceEquilibrium)
    ->Args({7, 60})
    ->Args({4, 30})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

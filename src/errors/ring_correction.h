// COCO: the closed orbit of a ring corrected at its monitors with the correctors of the
// corrector list, by least squares on the orbit's response (all correctors, with a cut on the
// singular values, or the best ones chosen one at a time), iterated on the true closed orbit.
#pragma once

#include "common/hooks.h"

#include <string>
#include <vector>

namespace vorax {

void correct_closed_orbit(int code, int &end_flag); // COCO

// What one correction did, for the result tables. Planes are bit sets: 1 x, 2 y.
struct RingCorrectionResult {
  struct Monitor {
    std::string name;
    int position = 0;
    double s = 0.0; // of the monitor's centre
    int planes = 0; // read for the correction
    double x_before = 0.0, y_before = 0.0, x_after = 0.0, y_after = 0.0;
  };
  struct Corrector {
    std::string name;
    int position = 0;
    double s = 0.0; // of the element's end
    int type = 0;
    int planes = 0; // varied
    double value1_before = 0.0, value2_before = 0.0, value1_after = 0.0, value2_after = 0.0;
  };
  int planes = 0;     // corrected
  int best = 0;       // correctors per plane chosen one at a time; 0: all
  double cut = 0.0;   // singular values below cut times the largest are left out
  int kept = 0;       // singular values kept
  int iterations = 0; // made and kept
  double rms_before[2] = {}, peak_before[2] = {}, rms_after[2] = {}, peak_after[2] = {};
  double rms_value[2] = {}, peak_value[2] = {}; // of values 1 and 2 of the varied correctors
  std::vector<Monitor> monitors;
  std::vector<Corrector> correctors;
};

// What COCO asks of the folders above: its result tables. Empty: none.
struct RingCorrectionHooks {
  void (*tables)(const RingCorrectionResult &result) = nullptr;
};
inline Seam<RingCorrectionHooks> ring_correction_seam;

} // namespace vorax

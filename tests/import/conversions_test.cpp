// Every conversion rule of docs/import.md, element kind by kind: the element imported from
// MAD-X has the map (or, for kicks and cavities, the data) of the VORAX element written
// directly by the rule; where the other code's documentation fixes a map outright (a turned
// quadrupole is a skew one, a thin skew term kicks x' by k y, a solenoid turns by KS L/2), the
// imported map is checked against that too.
#include "import_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vorax::test;

namespace {

constexpr double PI = 3.141592653589793;

// The deck of MAD-X definitions whose line L is used.
std::string imported(const std::string &madx) {
  const Import run = import_text(madx + "\nuse, period = l;\n");
  EXPECT_EQ(run.status, 0) << run.terminal;
  return run.deck;
}

std::vector<double> imported_map(const std::string &madx) {
  return map_of(imported(madx));
}

// A MAD-X element E on its own, and the VORAX element written directly.
struct Case {
  std::string madx, vorax;
};

void expect_same_maps(const std::vector<Case> &cases, double tolerance = 1e-14) {
  for (const Case &c : cases) {
    SCOPED_TRACE(c.madx);
    const std::vector<double> a = imported_map(c.madx + "\nl: line = (e);");
    const std::vector<double> b = map_of(c.vorax + "\nL: LINE = (E)\nUSE, L\n");
    EXPECT_LT(largest_difference(a, b), tolerance);
  }
}

// A number as VORAX reads it back exactly.
std::string exact(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

// R(i,j) and T(i,j,k) in the order of MATR's table.
double R(const std::vector<double> &m, int i, int j) {
  return m.at(static_cast<std::size_t>(6 * (i - 1) + j - 1));
}

} // namespace

TEST(ImportedElements, BendsKeepTheirFacesAndFringesAndTurnTheOtherWay) {
  expect_same_maps({
      {"e: sbend, l = 1.2, angle = 0.15, k1 = -0.05, k2 = 0.3, e1 = 0.05, e2 = -0.03, h1 = 0.1,"
       " h2 = -0.2, hgap = 0.03, fint = 0.6, tilt = 0.3;",
       "E: SBEND, L = 1.2, ANGLE = 0.15, K1 = -0.05, K2 = 0.3, E1 = 0.05, &\n"
       "  E2 = -0.03, H1 = 0.1, H2 = -0.2, HGAP = 0.03, FINT = 0.6, HGAPX = 0.03, &\n"
       "  FINTX = 0.6, TILT = -0.3"},
      // Their FINT is 0 unless given (VORAX's is 0.5): a gap alone is no fringe field.
      {"e: sbend, l = 1, angle = 0.2, e1 = 0.1, hgap = 0.05;",
       "E: SBEND, L = 1, ANGLE = 0.2, E1 = 0.1"},
      {"e: sbend, l = 1, angle = 0.2, e2 = 0.1, hgap = 0.04, fint = 0.5, fintx = 0.2;",
       "E: SBEND, L = 1, ANGLE = 0.2, E2 = 0.1, HGAP = 0.04, FINT = 0.5, FINTX = 0.2"},
      // An RBEND's L is its chord, and the angles given add to the half angle of its faces.
      {"e: rbend, l = 2, angle = 0.3, k1 = 0.02;",
       "E: RBEND, L = 2*0.15/SIN(0.15), ANGLE = 0.3, K1 = 0.02"},
      {"option, rbarc = false; e: rbend, l = 2, angle = 0.3;", "E: RBEND, L = 2, ANGLE = 0.3"},
      {"e: rbend, l = 2, angle = 0.3, e1 = 0.05;",
       "E: SBEND, L = 2*0.15/SIN(0.15), ANGLE = 0.3, E1 = 0.05 + 0.15, E2 = 0.15"},
  });
  // Thin edges around a bend without faces are the bend with faces, turned or not: the
  // second-order terms of an entrance and of an exit edge differ, and a marker between the
  // bend and its exit edge does not part them.
  for (const char *tilt : {"0", "0.4"}) {
    SCOPED_TRACE(tilt);
    const std::string t = tilt;
    const std::vector<double> edges = imported_map(
        "in: dipedge, h = 0.1, e1 = 0.2, hgap = 0.03, fint = 0.5, tilt = " + t +
        ";\nbody: sbend, l = 2, angle = 0.2, tilt = " + t +
        ";\nout: dipedge, h = 0.1, e1 = -0.1, hgap = 0.03, fint = 0.5, tilt = " + t +
        ";\nmk: marker;\nl: line = (in, body, mk, out);"); // a marker does not part them
    const std::vector<double> bend = map_of("E: SBEND, L = 2, ANGLE = 0.2, E1 = 0.2, E2 = -0.1, &\n"
                                            " HGAP = 0.03, FINT = 0.5, TILT = -" +
                                            t + "\nL: LINE = (E)\nUSE, L\n");
    EXPECT_LT(largest_difference(edges, bend), 1e-14);
    EXPECT_GT(std::fabs(bend.at(36 + 21 + 5)), 1e-3); // T(2,1,6): the edge's chromatic term
  }
}

TEST(ImportedElements, MagnetsTurnTheOtherWayAndSkewFieldsAreTurnedUprightOnes) {
  expect_same_maps({
      {"e: quadrupole, l = 0.5, k1 = 0.3, tilt = 0.2;",
       "E: QUADRUPOLE, L = 0.5, K1 = 0.3, TILT = -0.2"},
      {"e: quadrupole, l = 0.5, k1s = 0.3;", "E: QUADRUPOLE, L = 0.5, K1 = 0.3, TILT"},
      {"e: quadrupole, l = 0.5, k1 = 0.3, k1s = -0.1;",
       "E: QUADRUPOLE, L = 0.5, K1 = SQRT(0.1), TILT = " + exact(std::atan2(-0.1, 0.3) / 2)},
      {"e: quadrupole, l = 0.5, k1 = 0.3, ktap = 0.01;", "E: QUADRUPOLE, L = 0.5, K1 = 0.303"},
      {"e: sextupole, l = 0.3, k2s = 2, tilt = 0.1;",
       "E: SEXTUPOLE, L = 0.3, K2 = 2, TILT = 3.141592653589793/6 - 0.1"},
      {"e: octupole, l = 0.3, k3 = 20, tilt = 0.1;", "E: OCTUPOLE, L = 0.3, K3 = 20, TILT = -0.1"},
      // KS is Bs/(B rho) there, Bs/(2 B rho) here.
      {"e: solenoid, l = 2, ks = 0.4;", "E: SOLENOID, L = 2, KS = 0.2"},
      {"e: multipole, knl = {0, 0.02, 1.5, 4}, ksl = {0, 0, 0.3}, tilt = 0.1;",
       "E: MULTIPOLE, K1 = 0.02, K2 = SQRT(1.5*1.5 + 0.3*0.3), &\n  T2 = " +
           exact(std::atan2(0.3, 1.5) / 3) + ", K3 = 4, TILT = -0.1"},
      // A turn of the axes is the same in both languages.
      {"e: srotation, angle = 0.2;", "E: ROLL, ANGLE = 0.2"},
  });
  // The other code's own statements of its conventions, checked on the imported maps: TILT
  // pi/4 turns a focusing quadrupole into a negative skew one; a turn of the axes around an
  // element is its TILT; a thin skew quadrupole KSL kicks x' by +KSL y and y' by +KSL x; a
  // solenoid turns the plane by KS L / 2.
  EXPECT_LT(largest_difference(
                imported_map("e: quadrupole, l = 0.5, k1 = 0.3, tilt = pi/4; l: line = (e);"),
                imported_map("e: quadrupole, l = 0.5, k1s = -0.3; l: line = (e);")),
            1e-15);
  EXPECT_LT(largest_difference(
                imported_map("q: quadrupole, l = 0.5, k1 = 0.3, tilt = 0.2;\nl: line = (q);"),
                imported_map("q: quadrupole, l = 0.5, k1 = 0.3; in: srotation, angle = 0.2;"
                             "out: srotation, angle = -0.2;\nl: line = (in, q, out);")),
            1e-15);
  const std::vector<double> skew = imported_map("e: multipole, ksl = {0, 0.7}; l: line = (e);");
  EXPECT_NEAR(R(skew, 2, 3), 0.7, 1e-15);
  EXPECT_NEAR(R(skew, 4, 1), 0.7, 1e-15);
  const std::vector<double> solenoid = imported_map("e: solenoid, l = 2, ks = 0.3; l: line = (e);");
  EXPECT_NEAR(R(solenoid, 1, 1), std::pow(std::cos(0.3), 2), 1e-15);
  EXPECT_NEAR(R(solenoid, 1, 3), std::sin(0.3) * std::cos(0.3), 1e-15);
}

TEST(ImportedElements, KickersCavitiesAndCollimatorsCarryTheirData) {
  // A kick of the other code's element frame, turned by its TILT t, points along (cos t, sin t)
  // (horizontal) and (-sin t, cos t) (vertical); VORAX's GKICK slots hold the kicks of x', y'.
  const auto kicks = [](const std::string &madx) {
    const std::vector<double> s = slots_of(imported(madx + "\nl: line = (e);"), 1);
    return std::vector<double>{s.at(2), s.at(4)}; // DXP, DYP
  };
  const double c = std::cos(0.3), s = std::sin(0.3);
  for (const auto &[madx, want] : std::vector<std::pair<std::string, std::vector<double>>>{
           {"e: hkicker, l = 0.2, kick = 1e-3, tilt = 0.3;", {1e-3 * c, 1e-3 * s}},
           {"e: vkicker, kick = 2e-3, tilt = 0.3;", {-2e-3 * s, 2e-3 * c}},
           {"e: kicker, hkick = 1e-3, vkick = 2e-3, tilt = 0.3;",
            {1e-3 * c - 2e-3 * s, 1e-3 * s + 2e-3 * c}},
           {"e: tkicker, vkick = 2e-3;", {0, 2e-3}}}) {
    SCOPED_TRACE(madx);
    const std::vector<double> got = kicks(madx);
    EXPECT_NEAR(got[0], want[0], 1e-18);
    EXPECT_NEAR(got[1], want[1], 1e-18);
  }

  // LAG in turns becomes radians; HARMON, or FREQ with the ring's length and the beam's speed,
  // the harmonic number; ENERGY the kinetic energy with VORAX's own electron mass.
  const std::vector<double> harmon =
      slots_of(imported("beam, particle = positron, energy = 2;\n"
                        "e: rfcavity, l = 0.5, volt = 1.5, lag = 0.25, harmon = 4;\n"
                        "d: drift, l = 9.5; l: line = (e, d);"),
               1);
  EXPECT_EQ(harmon, (std::vector<double>{0.5, 2 - 0.000511005986481905, 1.5, 4, PI / 2}));
  const std::vector<double> freq = slots_of(imported("beam, particle = proton, pc = 19.97797499;\n"
                                                     "e: rfcavity, volt = 1.5, freq = 100;\n"
                                                     "d: drift, l = 12; l: line = (e, d);"),
                                            1);
  const double energy = std::sqrt(19.97797499 * 19.97797499 + 0.93827208816 * 0.93827208816);
  EXPECT_NEAR(freq.at(1), energy - 0.938256025314331, 1e-12);
  EXPECT_NEAR(freq.at(3),
              100e6 * 12 / (std::sqrt(1 - std::pow(0.938256025314331 / energy, 2)) * 299792458.0),
              1e-9);

  // Collimators: the half-apertures as given, or from APERTURE by its type.
  EXPECT_EQ(slots_of(imported("e: ecollimator, l = 0.3, xsize = 0.01, ysize = 0.02;"
                              "l: line = (e);"),
                     1),
            (std::vector<double>{0.3, 0.01, 0.02, 2}));
  EXPECT_EQ(slots_of(imported("e: collimator, l = 0.3, apertype = rectangle, aperture = {0.01, "
                              "0.03}; l: line = (e);"),
                     1),
            (std::vector<double>{0.3, 0.01, 0.03, 1}));
  EXPECT_EQ(slots_of(imported("e: rcollimator, apertype = circle, aperture = {0.01};"
                              "l: line = (e);"),
                     1),
            (std::vector<double>{0, 0.01, 0.01, 1}));
}

// What VORAX has no element for: a zero-strength thick element is its drift, a documented
// approximation is carried with a warning at the element, what cannot be expressed is an error.
TEST(ImportedElements, WhatVoraxCannotHoldIsApproximatedWithAWarningOrRefused) {
  struct Kind {
    std::string madx, vorax_definition, warning;
  };
  const std::vector<Kind> kinds = {
      {"e: placeholder, l = 2;", "E: DRIFT, L = 2", ""},
      {"e: instrument;", "E: MARKER", ""},
      {"e: collimator, l = 1;", "E: DRIFT, L = 1", ""},
      {"e: elseparator, l = 3, ex = 2;", "E: DRIFT, L = 3", "approximated by a drift"},
      {"e: beambeam;", "E: MARKER", "approximated by a marker"},
      {"e: crabcavity, l = 1, volt = 2;", "E: DRIFT, L = 1", "approximated by a drift"},
      {"e: multipole, knl = {1e-3, 0.1};", "E: MULTIPOLE, K0 = 0.001, K1 = 0.1",
       "the dipole term of MULTIPOLE E only kicks the orbit"},
      {"e: sbend, l = 2, angle = 0.1, k0 = 0.06;", "E: SBEND, L = 2, ANGLE = 0.1",
       "K0 of E differs from ANGLE/L"},
      {"e: quadrupole, l = 1, k1 = 0.2, k5 = 3;", "E: QUADRUPOLE, L = 1, K1 = 0.2",
       "K5 of QUADRUPOLE E is not carried"},
  };
  for (const Kind &k : kinds) {
    SCOPED_TRACE(k.madx);
    const Import run = import_text(k.madx + "\nl: line = (e);\nuse, period = l;\n");
    EXPECT_EQ(run.status, k.warning.empty() ? 0 : 1) << run.terminal;
    if (!k.warning.empty()) {
      EXPECT_TRUE(contains(run.terminal, "lattice.madx:1: warning: ")) << run.terminal;
    }
    EXPECT_TRUE(contains(run.terminal, k.warning)) << run.terminal;
    EXPECT_TRUE(contains(run.deck, "\n" + k.vorax_definition + "\n")) << run.deck;
  }
  for (const char *refused : {"e: xrotation, angle = 0.1;", "e: solenoid, ksi = 0.1;",
                              "e: sbend, l = 1, angle = 0.1, k1s = 0.2;",
                              "e: multipole, knl = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "
                              "0, 0, 0, 0, 0, 0, 1};"}) {
    SCOPED_TRACE(refused);
    const Import run = import_text(std::string(refused) + "\nl: line = (e);\nuse, period = l;\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.terminal, "lattice.madx:1: error: ")) << run.terminal;
  }
}

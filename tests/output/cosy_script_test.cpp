// COSY scripts from whole decks: the command's procedures read back to the element data within
// one unit of their last printed digit, the machine lines, the limits and the two ways the
// command writes nothing; the operation's error variables and misalignment kicks.
#include "harness.h"

#include "common/control.h"
#include "common/halt.h"
#include "engine/lookup.h"
#include "errors/misalignments.h"
#include "input/beam_lines.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "maps/bend_shape.h"
#include "maps/element_maps.h"
#include "output/cosy_script.h"
#include "track/particle_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

using namespace vorax;
using namespace vorax::test;

namespace {

constexpr double DEG = 57.29577951308232;
constexpr double PI = 3.141592653589793;

// A printed number with the size of one unit in its last digit.
struct Printed {
  double value;
  double unit;
};

std::vector<Printed> printed_numbers(const std::string &line) {
  static const std::regex number(R"(-?0?\.(\d+)E([+-]\d+))");
  std::vector<Printed> out;
  for (std::sregex_iterator it(line.begin(), line.end(), number), end; it != end; ++it) {
    const int decimals = static_cast<int>((*it)[1].length());
    out.push_back({std::stod(it->str()), std::pow(10.0, std::stoi((*it)[2]) - decimals)});
  }
  return out;
}

// The line after the first one that contains the text (0: that line itself).
std::string line_with(const std::string &text, const std::string &what, int after = 0) {
  const auto lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find(what) != std::string::npos && i + after < lines.size())
      return lines[i + static_cast<std::size_t>(after)];
  return {};
}

// Every number of the line reads back to the expected values within one unit of its last digit.
void reads_back(const std::string &line, const std::vector<double> &expected) {
  const auto got = printed_numbers(line);
  ASSERT_EQ(got.size(), expected.size()) << line;
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_LE(std::fabs(got[i].value - expected[i]), got[i].unit) << line << " #" << i;
}

const std::string every_kind = "D: DRIFT, L=0.75\n"
                               "Q: QUADRUPO, L=0.5, K1=1.2\n"
                               "QT: QUADRUPO, L=0.5, K1=-0.8, TILT=0.1\n"
                               "B: RBEND, L=1.5, ANGLE=0.2, E1=0.05\n"
                               "S: SBEND,L=2,ANGLE=0.3,E1=0.1,E2=-0.05,K1=0.2,K2=0.6,H1=0.5,"
                               "H2=0.25,HGAP=0.03\n"
                               "M: MULTIPOL, L=0, K2=3\n"
                               "MS: MULTIPOL, L=0.5, K3=12, T3=0.1, SCALEFAC=0.5, TILT=0.2\n"
                               "O: OCTUPOLE, L=0.3, K3=12, APERTURE=0.05\n"
                               "QS: QUADSEXT, L=0.4, K1=0.7, K2=-2, TILT=0.2\n"
                               "H: HKICK, L=1, KICK=0.001\n"
                               "R: ROLL, ANGLE=0.25\n"
                               "G0: GKICK, DX=0.001, V=0\n"
                               "GM: GKICK, DXP=0.002, V=-1\n"
                               "G2: GKICK, DY=1, V=2\n"
                               "MK: MARKER\n"
                               "SO: SOLENOID, L=0.2, KS=1\n";

TEST(CosyCommand, EveryProcedureReadsBackToItsElement) {
  const DeckRun r =
      run_deck(every_kind + "L: LINE=(D, Q, QT, B, S, M, O, QS)\nUSE, L\nCOSY\nSTOP\n");
  ASSERT_EQ(r.status, 0) << r.log;
  const std::string &s = r.listing;
  // Quadrupoles: untilted in two lines, tilted wrapped in rotations by -t and t degrees.
  EXPECT_EQ(line_with(s, "procedure  Q "), " procedure  Q        ; quad   0.5000000000000000E+00");
  reads_back(line_with(s, "procedure  Q ", 1), {1.2, 1.0});
  EXPECT_TRUE(contains(line_with(s, "procedure  Q ", 1), " ; endprocedure ;"));
  reads_back(line_with(s, "procedure  QT "), {-0.1 * DEG});
  reads_back(line_with(s, "procedure  QT ", 3), {0.1 * DEG});
  EXPECT_TRUE(contains(line_with(s, "procedure  QT ", 3), "      ra "));
  // Bends: radius times angle is the length; a rectangular bend's edges are half its angle.
  const auto rho = printed_numbers(line_with(s, "procedure B        ;  di "));
  const auto b = printed_numbers(line_with(s, "procedure B        ;  di ", 1));
  ASSERT_EQ(rho.size(), 1u);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_NEAR(rho[0].value * b[0].value * PI / 180, 1.5, 1e-14);
  reads_back(line_with(s, "procedure B        ;  di ", 1), {0.2 * DEG, 0.05f, 0.1 * DEG});
  const double t1 = std::tan(0.1), t2 = std::tan(-0.05);
  reads_back(line_with(s, "procedure S ", 3), {0.2, 0.3});
  reads_back(line_with(s, "procedure S ", 4), {t1, std::pow(1 + t1 * t1, 1.5) * 0.5});
  reads_back(line_with(s, "procedure S ", 5), {t2, std::pow(1 + t2 * t2, 1.5) * 0.25});
  reads_back(line_with(s, "procedure S ", 7), {0.03});
  reads_back(line_with(s, "procedure S        ;  di ", 2), {0.5, -0.05 * DEG, 0.25});
  // Only the bend without a gap is warned about, and its gap is the single-precision 0.05.
  EXPECT_EQ(count_of(s, "{WARNING : gap was zero, it is set to 0.05"), 1);
  EXPECT_EQ(count_of(s, "0.5000000074505806E-01"), 2);
  // A thin multipole becomes 1e-6 long and a million times stronger; K2 is divided by 2!.
  EXPECT_TRUE(contains(s, "      na :=   2 ;\n"));
  reads_back(line_with(s, "ka( 2):="), {1.5e6, 0.0});
  reads_back(line_with(s, " gmult "), {1e-6, 1.0});
  reads_back(line_with(s, "procedure  O "), {0.3, 2.0, 0.05});
  // The scale factor scales the strength as it does in the maps; term and element tilts add.
  reads_back(line_with(s, "ka( 3):="), {12 * 0.5 / 6, 0.3 * DEG});
  reads_back(line_with(s, "  ka(1):="), {0.7, 0.2 * DEG});
  reads_back(line_with(s, "  ka(2):="), {-1.0, 0.2 * DEG});
  // The machine: seven calls to a line.
  EXPECT_TRUE(contains(s, "\n procedure mach ;\n D        ; Q        ; QT       ; B        ; "
                          "S        ; M        ; O        ;\n QS       ;\n endprocedure ;\n"));
}

TEST(CosyCommand, KicksAndDriftLikeKinds) {
  const DeckRun r = run_deck(every_kind + "L: LINE=(H, R, G0, GM, G2, MK, SO)\nUSE, L\nCOSY\n");
  ASSERT_EQ(r.status, 0) << r.log;
  const std::string &s = r.listing;
  // A kicker of length 1 sits between two half drifts.
  EXPECT_EQ(count_of(s, " dl  0.500000E+00 ;"), 2);
  reads_back(line_with(s, "procedure H ", 2), {0, 0.001, 0, 0});
  reads_back(line_with(s, "procedure R ", 2), {0, 0.25, 0});
  // A GKICK with V = 0 kicks in tracking, so the script kicks too; V = -1 kicks out; V = 2 is
  // not written.
  EXPECT_EQ(line_with(s, "procedure G0 ", 1).substr(0, 6), " gkin ");
  reads_back(line_with(s, "procedure G0 ", 1), {0.001, 0, 0, 0});
  EXPECT_EQ(line_with(s, "procedure GM ", 1).substr(0, 7), " gkout ");
  EXPECT_EQ(line_with(s, "procedure G2 ", 1), " endprocedure ;");
  EXPECT_TRUE(
      contains(s, " procedure  MK       ; drift   0.0000000000000000E+00 ; endprocedure ;"));
  EXPECT_TRUE(contains(s, " procedure  SO       ; dl   0.2000000000000000E+00 ; endprocedure ;"));
  EXPECT_FALSE(contains(s, "not translated in COSY")); // the command writes no comments
}

TEST(CosyCommand, ABendWithoutRadiusBecomesADrift) {
  // Neither a bend without length nor one without angle has a radius: no infinite or undefined
  // number reaches the script. A field index without a curvature is no gradient either.
  const DeckRun r =
      run_deck("UMERIDOX\nB0: SBEND, L=0, ANGLE=0.1\nBS: SBEND, L=2, ANGLE=0, K1=0.3\n"
               "L: LINE=(B0, BS)\nUSE, L\nCOSY\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count_of(r.listing, " { bend without curvature not translated in COSY input, "
                                "replaced by drift}"),
            2);
  EXPECT_TRUE(contains(r.listing, " procedure  BS       ; dl   0.2000000000000000E+01 ;"));
  EXPECT_FALSE(contains(r.listing, "di "));
  EXPECT_FALSE(contains(r.listing, "*****"));
  EXPECT_FALSE(contains(r.listing, "NAN"));
}

TEST(CosyCommand, UnitConventions) {
  // LDF: focusing strengths and rotations change sign.
  DeckRun r = run_deck("ULDF\nQT: QUADRUPO, L=0.5, K1=1.2, TILT=0.1\nL: LINE=(QT)\nUSE, L\nCOSY\n");
  reads_back(line_with(r.listing, "procedure  QT "), {0.1 * DEG});
  reads_back(line_with(r.listing, "procedure  QT ", 2), {-1.2, 1.0});
  // MERIDOXAN: angles in degrees, bend gradients as field indices.
  r = run_deck("UMERIDOX\nB: SBEND, L=1, ANGLE=10, K1=0.5, HGAP=0.01\n"
               "R: ROLL, ANGLE=30\nL: LINE=(B, R)\nUSE, L\nCOSY\n");
  const double h = 10 * PI / 180;
  reads_back(line_with(r.listing, "procedure B ", 3), {-h * h * 0.5, 0.0});
  reads_back(line_with(r.listing, "procedure B ", 6), {1.0, 10.0});
  reads_back(line_with(r.listing, "procedure R ", 2), {0, PI / 6, 0});
}

// The kicks move the beam as tracking does: under LDF the slope kick changes sign with the
// rotation (tracking negates DXP), and a GKICK's DZ lengthens the drift after its kick.
TEST(CosyCommand, KicksAsTrackingAppliesThem) {
  const DeckRun r = run_deck("ULDF\nH: HKICK, KICK=1E-3\nZ: ZROT, ANGLE=2E-3\n"
                             "G: GKICK, L=1, DXP=3E-3, DYP=4E-4, DZ=0.5\nGZ: GKICK, DZ=-0.25, V=2\n"
                             "L: LINE=(H, Z, G, GZ)\nUSE, L\nCOSY\n");
  ASSERT_EQ(r.status, 0) << r.log;
  reads_back(line_with(r.listing, "procedure H ", 1), {0, -1e-3, 0, 0});
  reads_back(line_with(r.listing, "procedure Z ", 1), {0, -2e-3, 0, 0});
  reads_back(line_with(r.listing, "procedure G ", 1), {0.5});
  reads_back(line_with(r.listing, "procedure G ", 2), {0, -3e-3, 0, 4e-4});
  reads_back(line_with(r.listing, "procedure G ", 4), {1.0});
  reads_back(line_with(r.listing, "procedure GZ ", 1), {-0.25}); // no length, no kick
}

// COSY's multipole terms begin with the quadrupole: the dipole term is its thin kick in the
// middle of the element, integrated over the length and turned by T0 and TILT.
TEST(CosyCommand, ADipoleTermIsAKick) {
  const DeckRun r = run_deck("M0: MULTIPOL, K0=1E-3\n"
                             "MD: MULTIPOL, L=0.5, K0=2E-3, T0=0.3, K2=4, TILT=0.2, SCALEFAC=2\n"
                             "ME: MULTIPOL, L=0.4\nL: LINE=(M0, MD, ME)\nUSE, L\nCOSY\n");
  ASSERT_EQ(r.status, 0) << r.log;
  const std::string &s = r.listing;
  EXPECT_FALSE(contains(s, "ka( 0)"));
  EXPECT_FALSE(contains(s, "ka 1  0")); // no empty arrays: a multipole without terms is a drift
  EXPECT_EQ(count_of(s, " dl  0.200000E+00 ;"), 2);
  // A thin pure dipole term is only the kick; with other terms the kick is between two halves.
  reads_back(line_with(s, "procedure M0 ", 1), {0, -1e-3, 0, 0});
  const std::string half = line_with(s, " gmult ");
  reads_back(half, {0.25, 1.0});
  const double k = 2 * 2e-3 * 0.5, phi = 0.3 + 0.2;
  reads_back(line_with(s, " gmult ", 1), {0, -k * std::cos(phi), 0, k * std::sin(phi)});
  EXPECT_EQ(line_with(s, " gmult ", 3), half);
}

TEST(CosyCommand, WritesNothingAfterNewbeamoOrACircularParameter) {
  const std::string lattice = "D: DRIFT, L=1\nL: LINE=(D)\nUSE, L\n";
  DeckRun r = run_deck(lattice + "NEWBEAMO\n OUTP\n 3;\nCOSY\n");
  EXPECT_FALSE(contains(r.listing, "procedure"));
  r = run_deck("A = B + 1\nB = A\n" + lattice + "COSY\n");
  EXPECT_TRUE(contains(r.listing, " ERROR FROM PARORD, RETURNING FROM VXMATD"));
  EXPECT_FALSE(contains(r.listing, "procedure"));
  // After an erroneous command the deck is only parsed: no script that looks complete.
  r = run_deck(lattice + "Q: QUADRUPO, L=\nCOSY\n");
  EXPECT_TRUE(contains(r.log, "ENTER SCANNING MODE"));
  EXPECT_FALSE(contains(r.listing, "procedure"));
  EXPECT_EQ(r.status, 1);
}

TEST(CosyCommand, LimitsStopTheRun) {
  std::string deck;
  for (int i = 1; i <= 3001; ++i)
    deck += "D" + std::to_string(i) + ": DRIFT, L=1\n";
  DeckRun r = run_deck(deck + "COSY\n");
  EXPECT_TRUE(contains(r.listing, " TOO MANY DISTINCT ELEMENT TYPES FOR VORAX,>MXELMD QUIT"));
  EXPECT_TRUE(contains(r.listing, "ARRSIZE MXELMD"));
  EXPECT_EQ(r.status, 1);
  // USE cannot give more than 9998 element positions (the two markers overflow the sequence
  // first), so the sequence is written directly.
  start_in_memory();
  elmdat.low_count = 1;
  elmdat.kind(1) = KW_DRIFT;
  elmnam.name(1) = Name8("A");
  for (int p = 1; p <= MAXPOS - 1; ++p)
    seqnum.value(p) = 1;
  seqnum.value(MAXPOS) = line_end_mark() + 2;
  period.value(6) = 1;
  period.value(7) = MAXPOS;
  try {
    cosy();
    FAIL() << "no stop";
  } catch (const RunEnd &end) {
    EXPECT_EQ(end.code, 4);
  }
  EXPECT_TRUE(contains(listing_text(), " 9999 ELEMENTS, TOO MANY FOR VORAX (>MAXPOS),QUIT\n"));
  EXPECT_FALSE(contains(listing_text(), "procedure mach"));
}

const std::string cell = "QF: QUADRUPO, L=0.5, K1=1.2\n"
                         "QD: QUADRUPO, L=0.5, K1=-1.2\n"
                         "D: DRIFT, L=1\n"
                         "B: SBEND, L=1, ANGLE=0.1, K1=0.05\n"
                         "MO: MONITOR\n"
                         "G: GKICK, DX=0.001, V=0\n"
                         "CELL: LINE=(QF, D, B, D, QD, D, MO, G)\n"
                         "USE, CELL\nVORAX\n";

TEST(CosyOperation, ScriptOfTheMachineEndsTheRun) {
  // A changed pi does not reach the script's degrees, and the degree factor is the true one
  // again.
  const DeckRun r = run_deck(cell + "CONS\n 1 3,\nCOSY\nTHIS IS NOT READ\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string &s = r.listing;
  reads_back(line_with(s, "   dip "), {1.0, 0.1 * DEG});
  EXPECT_EQ(const_.raddeg, PI / 180);
  // All thirty error variables are cleared.
  EXPECT_TRUE(contains(s, "\n procedure mach ;\n variable erv 1 30 ;\n procedure zeroerr ;\n"
                          " variable i 1 ; loop i 1 30 ; erv(i):=0 ; endloop ;\n"
                          " endprocedure ;\n"));
  reads_back(line_with(s, "  nt:=2 ; kn(1):="), {0.05, 0.0});
  EXPECT_TRUE(contains(line_with(s, "  nt:=2 ; kn(1):="), "+erv(1) ; kn(2):="));
  EXPECT_TRUE(contains(line_with(s, "   s2(1):="), "+erv(6) ;"));
  reads_back(line_with(s, "procedure  QF ", 1), {1.2, 1.0});
  EXPECT_TRUE(contains(s, "\n { monitors not translated in COSY input, replaced by drift}\n"));
  EXPECT_EQ(line_with(s, "procedure G ", 1).substr(0, 6), " gkin ");
  // Six positions to a line, then the end of mach; nothing after it is read.
  EXPECT_TRUE(contains(s,
                       "\n QF       ;  D        ;  B        ;  D        ;  QD       ;  D        ;\n"
                       " MO       ;  G        ;\n endprocedure ;\n"));
  EXPECT_FALSE(contains(r.log, "THIS IS NOT READ"));
}

TEST(CosyOperation, FieldErrorsAndMisalignmentsOfEachPosition) {
  const DeckRun r = run_deck(cell + "ERRO\n QF K1 0.01,\n 99\nSETE\n 0 1\n QF 0\n"
                                    "MISA\n QD 1E-3 0 2E-3 0 0 0.1 0 4,\n 99\nSETM\n 0 1\n QD 0\n"
                                    "COSY\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string &s = r.listing;
  // The field error is the change of the value that carries erv(1), cleared after the position.
  EXPECT_TRUE(contains(s, "\n zeroerr ;\n erv(1):= "));
  reads_back(line_with(s, " erv(1):= "), {(1.2 + 0.01) - 1.2});
  EXPECT_EQ(line_with(s, " erv(1):= ", 1), " QF       ;");
  EXPECT_EQ(line_with(s, " erv(1):= ", 2), " zeroerr ;");
  // The misaligned quadrupole is entered and left through kicks.
  EXPECT_EQ(line_with(s, " gkin  -", 2), " QD       ;");
  EXPECT_EQ(line_with(s, " gkin  -", 3).substr(0, 7), " gkout ");
  EXPECT_EQ(count_of(s, "\n zeroerr ;\n"), 3);
}

// A set corrector is written around its position as tracking applies it: corrector kicks
// outside, and without any misalignment or field error in the machine.
TEST(CosyOperation, CorrectorsAreEnteredAndLeftThroughTheirKicks) {
  const DeckRun r = run_deck(cell + "CORR\n QF 1 1,\n 99\nSETC\n QF 1 0 1E-3 2E-3 1E-4 5E-4,\n"
                                    " 99\nCOSY\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::string &s = r.listing;
  // Type 0: displaced by (p1, p2), p3 a vertical kick and p4 a momentum change at the entrance,
  // both offsets and the momentum change taken off at the exit.
  reads_back(line_with(s, " ckin "), {1e-3, 0.0, 2e-3, 1e-4});
  reads_back(line_with(s, " ckin ", 1), {0.0, 0.0, 5e-4});
  EXPECT_EQ(line_with(s, " ckin ", 2), " QF       ;");
  reads_back(line_with(s, " ckout "), {-1e-3, 0.0, -2e-3, 0.0});
  reads_back(line_with(s, " ckout ", 1), {0.0, 0.0, -5e-4});
  EXPECT_EQ(count_of(s, " ckin "), 1);
}

TEST(CosyOperation, AKickErrorMovesItsKickVariable) {
  // The kick's DX carries erv(1); its V of 0 kicks, so its errors are written too.
  const DeckRun r = run_deck(cell + "ERRO\n G DX 5E-4 DP 1E-3,\n 99\nSETE\n 0 1\n G 0\nCOSY\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  reads_back(line_with(r.listing, " erv(1):= "), {(0.001 + 5e-4) - 0.001});
  reads_back(line_with(r.listing, " erv(7):= "), {1e-3});
  EXPECT_EQ(line_with(r.listing, " erv(7):= ", 1), " G        ;");
}

// The procedure COSY runs for the element: the script without its brace comments, from the
// element's procedure head to its end.
std::string active_procedure(const std::string &script, std::string name) {
  std::string active;
  int depth = 0;
  for (const char c : script)
    if (c == '{' || c == '}')
      depth += c == '{' ? 1 : -1;
    else if (depth == 0)
      active += c;
  name.resize(8, ' ');
  std::size_t from = active.find(" procedure " + name + " ;");
  if (from == std::string::npos)
    from = active.find(" procedure  " + name + " ;");
  return from == std::string::npos ? ""
                                   : active.substr(from, active.find("endprocedure", from) - from);
}

// Every error variable set at a position acts in the procedure COSY runs for its element, for
// bends (whose homogeneous dipole has no place for them), dipole terms and lenses alike; a bend
// without errors keeps its homogeneous dipole.
TEST(CosyOperation, EveryErrorSetReachesTheBeam) {
  const DeckRun r = run_deck("BB: SBEND, L=1, ANGLE=0.1\nMD: MULTIPOL, L=0.5, K0=1E-3, K2=4\n" +
                             cell.substr(0, cell.find("CELL:")) +
                             "CELL: LINE=(QF, D, B, D, QD, BB, MD, G)\nUSE, CELL\nVORAX\n"
                             "ERRO\n B K1 0.02 E2 0.1 H1 0.5,\n MD K0 1E-4 K2 0.4,\n"
                             " QF K1 0.01,\n G DXP 1E-4,\n 99\n"
                             "SETE\n 0 4\n B 0\n MD 0\n QF 0\n G 0\nCOSY\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const auto lines = lines_of(r.listing);
  int checked = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(" erv(", 0) != 0)
      continue;
    const std::string erv = "+" + lines[i].substr(1, lines[i].find(':') - 1);
    std::size_t j = i;
    while (j < lines.size() && lines[j].rfind(" erv(", 0) == 0)
      ++j;
    ASSERT_LT(j, lines.size());
    const std::string name = lines[j].substr(1, lines[j].find(' ', 1) - 1);
    EXPECT_TRUE(contains(active_procedure(r.listing, name), erv)) << name << erv;
    ++checked;
  }
  EXPECT_EQ(checked, 3 + 2 + 1 + 1); // B: kn(1), s1(2), s2(1); MD: ka(2), the kick
  EXPECT_TRUE(contains(active_procedure(r.listing, "BB"), ";  di "));
}

TEST(CosyOperation, ABendErrorMovesItsGradientVariable) {
  const DeckRun r = run_deck(cell + "ERRO\n B K1 0.02 E1 0.1,\n 99\nSETE\n 0 1\n B 0\nCOSY\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  reads_back(line_with(r.listing, " erv(1):= "), {(0.05 + 0.02) - 0.05});
  // The entrance edge of 0.1 radians gives s1(1) = tan(0.1) and no curvature term.
  reads_back(line_with(r.listing, " erv(3):= "), {std::tan(0.1)});
  EXPECT_FALSE(contains(r.listing, " erv(4):= "));
  EXPECT_EQ(line_with(r.listing, " erv(3):= ", 1), " B        ;");
}

// The entry and exit kicks, applied as a GKICK applies its values (rotation by ANGLE first,
// then the offsets), move a particle as the tracking's transforms do when there is no
// longitudinal shift.
TEST(CosyOperation, MisalignmentKicksAreTheTrackingTransforms) {
  auto kick = [](const CosyKick &k, double z[6]) {
    const double c = std::cos(k.value[5]), s = std::sin(k.value[5]);
    const double x = c * z[0] + s * z[2], y = c * z[2] - s * z[0];
    const double xp = c * z[1] + s * z[3], yp = c * z[3] - s * z[1];
    z[0] = x + k.value[0];
    z[1] = xp + k.value[1];
    z[2] = y + k.value[2];
    z[3] = yp + k.value[3];
    z[5] += k.value[6];
  };
  Table<double, 1, MISALIGNMENT_AMPLITUDES> a;
  for (int type = 1; type <= 4; ++type) {
    const double amp[7] = {1e-3, -2e-3, 3e-4, 5e-4, 0.0, 0.3, 1e-4};
    for (int i = 1; i <= 7; ++i)
      a(i) = amp[i - 1];
    Displacements d = displacements(type, 0.7, a, BendTerms{});
    d.cos_in = std::cos(0.3);
    d.sin_in = std::sin(0.3);
    d.cos_out = std::cos(-0.3);
    d.sin_out = std::sin(-0.3);
    misset.current.at = d;
    double z1[6] = {1e-3, -2e-4, 4e-4, 3e-4, 0.0, 2e-3}, z2[6];
    std::copy(z1, z1 + 6, z2);
    mset(z1);
    kick(misalignment_entry_kick(d), z2);
    for (int i = 0; i < 6; ++i)
      EXPECT_NEAR(z1[i], z2[i], 1e-17) << "entry, type " << type << " coordinate " << i;
    mreset(z1);
    kick(misalignment_exit_kick(d), z2);
    for (int i = 0; i < 6; ++i)
      EXPECT_NEAR(z1[i], z2[i], 1e-17) << "exit, type " << type << " coordinate " << i;
  }
}

// One magnet in the standard convention and mirrored into LDF (odd gradient orders, bend
// sextupole terms, tilts and term angles reversed): the engine's maps and kicks agree that it is
// one machine, and so must the two scripts, character for character.
TEST(CosyOperation, TheStandardAndTheLdfFormOfOneMachineWriteOneScript) {
  std::string script[2];
  TransferMap maps[2][2];
  MultipoleKick kicks[2][2];
  const char *decks[2] = {
      "B: SBEND, L=2, ANGLE=0.3, E1=0.1, K1=0.2, K2=0.6, H1=0.5, HGAP=0.03, TILT=0.1\n"
      "M: MULTIPOL, L=0.5, K1=0.4, K2=3, K3=12, T3=0.1, TILT=0.2\nO: OCTUPOLE, L=0.3, K3=12\n",
      "ULDF\nB: SBEND, L=2, ANGLE=0.3, E1=0.1, K1=-0.2, K2=-0.6, H1=0.5, HGAP=0.03, TILT=-0.1\n"
      "M: MULTIPOL, L=0.5, K1=-0.4, K2=3, K3=-12, T3=-0.1, TILT=-0.2\n"
      "O: OCTUPOLE, L=0.3, K3=-12\n"};
  for (int u = 0; u < 2; ++u) {
    const DeckRun r = run_deck(std::string(decks[u]) + "L: LINE=(B, M, O)\nUSE, L\nVORAX\nCOSY\n");
    ASSERT_EQ(r.status, 0) << r.terminal;
    script[u] = r.listing.substr(r.listing.find(" procedure mach ;"));
    maps[u][0] = element_map(elid(Name8("B")), map_context());
    maps[u][1] = element_map(elid(Name8("M")), map_context());
    kicks[u][0] = multit(elid(Name8("M")));
    kicks[u][1] = multit(elid(Name8("O")));
  }
  for (int k = 0; k < 2; ++k) {
    for (int c = 1; c <= 27; ++c)
      for (int i = 1; i <= 6; ++i)
        EXPECT_NEAR(maps[0][k](i, c), maps[1][k](i, c), 1e-14) << k << " " << i << " " << c;
    for (int n = 0; n <= 20; ++n)
      EXPECT_TRUE(kicks[0][k].b(n) == kicks[1][k].b(n) && kicks[0][k].a(n) == kicks[1][k].a(n));
  }
  EXPECT_EQ(script[0], script[1]);
}

// A bend's gradient reaches the beam through the general dipole, the engine's field index as
// its gradient, and a tilted bend is turned, in both forms, as the engine rolls its map and as a
// quadrupole of the same TILT is turned; a bend without gradient keeps the homogeneous dipole.
// Without angle, a bend with a gradient is the straight magnet of the maps: the same map, and
// the same procedure, as the quadrupole-sextupole of its values (not so under MERIDOXAN, whose
// field index needs a curvature).
TEST(CosyOperation, BendsWithGradientsAndTilts) {
  const char *conventions[3][2] = {{"", "0.1"}, {"ULDF\n", "0.1"}, {"UMERIDOX\n", "6"}};
  for (const auto &[units, tilt] : conventions) {
    const std::string t = tilt;
    const DeckRun r =
        run_deck(std::string(units) + "B: SBEND, L=2, ANGLE=0.3, K1=0.2, TILT=" + t +
                 "\nBP: SBEND, L=2, ANGLE=0.3\nQ: QUADRUPO, L=0.5, K1=1, TILT=" + t +
                 "\nBS: SBEND, L=2, ANGLE=0, K1=0.3, K2=0.4, TILT=" + t +
                 ", HGAP=0.02\nQS: QUADSEXT, L=2, K1=0.3, K2=0.4, APERTURE=0.02, TILT=" + t +
                 "\nL: LINE=(B, BP, Q, BS, QS)\nUSE, L\nVORAX\nCOSY\n");
    ASSERT_EQ(r.status, 0) << r.terminal;
    BendShape shape;
    double roll = 0;
    ASSERT_TRUE(bend_shape(elid(Name8("B")), shape, roll));
    const double h = shape.angle / shape.length;
    const std::string b = active_procedure(r.listing, "B");
    reads_back(line_with(b, "kn(1):="), {-shape.n * h * h, 0.0});
    reads_back(line_with(b, "   ra "), {-roll * DEG});
    reads_back(line_with(b, "      ra "), {roll * DEG});
    EXPECT_EQ(line_with(b, "   ra ").substr(6), line_with(r.listing, "procedure  Q ").substr(26));
    EXPECT_TRUE(contains(active_procedure(r.listing, "BP"), ";  di ")) << units;
    if (t == "6")
      continue;
    const TransferMap straight = element_map(elid(Name8("BS")), map_context());
    const TransferMap quadsext = element_map(elid(Name8("QS")), map_context());
    for (int c = 1; c <= 27; ++c)
      for (int i = 1; i <= 6; ++i)
        EXPECT_NEAR(straight(i, c), quadsext(i, c), 1e-15) << units << i << " " << c;
    std::string procedure = active_procedure(r.listing, "BS");
    procedure.replace(procedure.find("BS"), 2, "QS");
    EXPECT_EQ(procedure, active_procedure(r.listing, "QS")) << units;
  }
}

// Errors on a length, a bend angle or a kick's DZ change numbers without a field variable: in
// the procedures of the elements with such errors those carry one too, and the number written
// plus the change set at the position is what tracking uses there.
TEST(CosyOperation, LengthAngleAndShiftErrorsReachTheBeam) {
  const DeckRun r = run_deck("B: SBEND, L=1, ANGLE=0.1, HGAP=0.01\nQ: QUADRUPO, L=0.5, K1=1.2\n"
                             "G: GKICK, DX=1E-3, V=0\nM: MULTIPOL, L=0.4, K2=3\n"
                             "CELL: LINE=(B, Q, G, M)\nUSE, CELL\nVORAX\n"
                             "ERRO\n B L 0.1 ANGLE 0.01,\n Q L 0.05,\n G DZ 0.2,\n M L 0.1,\n 99\n"
                             "SETE\n 0 4\n B 0\n Q 0\n G 0\n M 0\nCOSY\n");
  ASSERT_EQ(r.status, 0) << r.terminal;
  const std::vector<std::tuple<std::string, int, double>> expected = {
      {"B", 7, 1.1}, {"B", 8, 0.11 * DEG}, {"Q", 2, 0.55}, {"G", 9, 0.2}, {"M", 23, 0.5}};
  for (const auto &[name, k, value] : expected) {
    const std::string erv = "erv(" + std::to_string(k) + ")";
    const std::regex written(R"((-?0?\.\d+E[+-]\d+)\+erv\()" + std::to_string(k) + R"(\))");
    std::smatch m;
    const std::string procedure = active_procedure(r.listing, name);
    ASSERT_TRUE(std::regex_search(procedure, m, written)) << name << erv;
    const Printed design = printed_numbers(m.str(1)).at(0);
    const Printed change = printed_numbers(line_with(r.listing, " " + erv + ":= ")).at(0);
    EXPECT_LE(std::fabs(design.value + change.value - value), design.unit + change.unit)
        << name << erv;
    EXPECT_EQ(line_with(r.listing, " " + erv + ":= ", k == 7 ? 2 : 1).substr(0, 3),
              " " + name + " ");
  }
  EXPECT_FALSE(contains(active_procedure(r.listing, "G"), "+erv(8)")); // no drift before it
}

} // namespace

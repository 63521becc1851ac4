// A ring written in MAD-X, imported, has the optics of the same ring written directly in
// VORAX's language: tunes, chromaticity, momentum compaction and the lattice functions at every
// position, to 1e-12. The ring is read both as sequences (classes, REFER, FROM, a sequence
// placed in another, a strength file CALLed that changes values afterwards) and as beam lines
// (repetition, reflection, arguments).
#include "import_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vorax::test;

namespace {

// Eight cells of 11 m: rectangular bends given by their chord, quadrupoles, sextupoles, a thin
// sextupole, a cavity, a corrector and a monitor. Strengths come from strengths.madx.
const std::string SEQUENCES = R"(! the ring of eight cells
lq = 0.4;                      // quadrupole length
real const l.mb = 1.8;         /* the bends' chord */
ncell = 8;
ab := twopi/(2*ncell);
mq: quadrupole, l = lq, slot_id = 12, aperture = {0.02, 0.02};
mb: rbend, l := l.mb, angle := ab, mech_sep = 0.194;
ms: sextupole, l = 0.2;
bpm: monitor;
mcb: hkicker, l = 0.1, kmax = 1e-3, calib = 0.1;
cav: rfcavity, l = 0.5, volt = 0.2, lag = 0.4, harmon = 8;
cell: sequence, l = 11.0, refer = entry;
  qf: mq, k1 := kqf, at = 0.0;
  sf: ms, k2 := ksf, at = 0.6;
  b1: mb, at = 1.0;
  c1: cav, at = 3.0;
  bpm, at = 4.5;
  qd: mq, k1 := kqd, at = 5.3, from = qf;
  sd: ms, k2 := ksd, at = 6.1;
  b2: mb, at = 6.5;
  m1: multipole, knl := {0, 0, k2lm}, at = 9.5;
  cor: mcb, at = 10.0;
endsequence;
ring: sequence, l = 88.0, refer = exit;
  ip: marker, at = 0;
  cell, at = 11; cell, at = 22; cell, at = 33; cell, at = 44;
  cell, at = 55; cell, at = 66; cell, at = 77; cell, at = 88;
endsequence;
beam, particle = electron, energy = 3.0;
call, file = "strengths.madx";
use, sequence = ring;
)";

const std::string STRENGTHS = R"(kqf = 0.55;
kqd := -kqf*1.02;
ksf = 0.8; ksd = -1.3;
qf, k1 := kqf;
sd->k2 := ksd;
k2lm = 0.05;
return;
this line is never read;
)";

// The same ring in VORAX's language, as its user would write it.
const std::string VORAX_RING = R"(AB = 6.283185307179586/16
BARC = 1.8*(AB/2)/SIN(AB/2)
QF: QUADRUPOLE, L = 0.4, K1 = 0.55
QD: QUADRUPOLE, L = 0.4, K1 = -0.55*1.02
SF: SEXTUPOLE, L = 0.2, K2 = 0.8
SD: SEXTUPOLE, L = 0.2, K2 = -1.3
B: RBEND, L = BARC, ANGLE = AB
CAV: RFCAVITY, L = 0.5, VOLT = 0.2, LAG = 0.4*2*3.141592653589793, FREQ = 8
BPM: MONITOR
M1: MULTIPOLE, K2 = 0.05
COR: HKICK, L = 0.1
IP: MARKER
D1: DRIFT, L = 0.2
D2: DRIFT, L = 0.2
D3: DRIFT, L = 2.0 - BARC
D4: DRIFT, L = 1.0
D5: DRIFT, L = 1.0
D6: DRIFT, L = 0.2
D7: DRIFT, L = 0.2
D8: DRIFT, L = 3.0 - BARC
D9: DRIFT, L = 0.5
D10: DRIFT, L = 0.9
CELL: LINE = (QF, D1, SF, D2, B, D3, CAV, D4, BPM, D5, QD, D6, SD, D7, B, D8, &
    M1, D9, COR, D10)
RING: LINE = (IP, 8*CELL)
USE, RING
)";

// The ring as beam lines: a half cell with arguments, a reflected pair of drifts, a repeat.
const std::string LINES = R"(ab = twopi/16;
lb = 1.8*(ab/2)/sin(ab/2);
qf: quadrupole, l = 0.4, k1 = 0.55;
qd: quadrupole, l = 0.4, k1 = -0.55*1.02;
sf: sextupole, l = 0.2, k2 = 0.8;
sd: sextupole, l = 0.2, k2 = -1.3;
b: sbend, l = lb, angle = ab, e1 = ab/2, e2 = ab/2;
cav: rfcavity, l = 0.5, volt = 0.2, lag = 0.4, harmon = 8;
bpm: monitor;
m1: multipole, knl = {0, 0, 0.05};
cor: hkicker, l = 0.1;
ip: marker;
d02: drift, l = 0.2;
half(q, s, d): line = (q, d02, s, d02, b);
cell: line = (half(qf, sf, d02), drift3, cav, -(bpm, d1), d1, half(qd, sd, d02), drift8,
              m1, d05, cor, d09);
d1: drift, l = 1.0;
drift3: drift, l = 2.0 - lb;  drift8: drift, l = 3.0 - lb;
d05: drift, l = 0.5;  d09: drift, l = 0.9;
ring: line = (ip, 8*cell);
beam, particle = electron, energy = 3.0;
use, period = ring;
)";

struct Optics {
  ParsedTfs matr, mach;
};

Optics optics_of(const std::string &lattice) {
  const DeckRun run = run_deck_with_results(lattice + "VORAX\nMATRIX\n 2 -2,\nMACHINE\n"
                                                      " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 -1;\nSTOP\n",
                                            {true, false});
  EXPECT_EQ(run.status, 0) << run.terminal << run.log;
  Optics o;
  for (auto [name, table] :
       {std::pair{"tables/matr_1.tfs", &o.matr}, std::pair{"tables/mach_1.tfs", &o.mach}}) {
    const auto f = run.files.find(name);
    EXPECT_TRUE(f != run.files.end()) << name;
    if (f != run.files.end()) {
      EXPECT_EQ(parse_tfs(f->second, *table), "");
    }
  }
  return o;
}

void expect_same_optics(const Optics &imported, const Optics &direct) {
  for (const char *h : {"Q1", "Q2", "DQ1", "DQ2", "ALFA", "BETX", "BETY", "DX", "DPX"}) {
    const double a = imported.matr.header_real(h), b = direct.matr.header_real(h);
    EXPECT_NEAR(a, b, 1e-12 * std::fmax(1.0, std::fabs(b))) << h;
  }
  ASSERT_EQ(imported.mach.rows.size(), direct.mach.rows.size());
  ASSERT_GT(direct.mach.rows.size(), 100u);
  for (std::size_t r = 0; r < direct.mach.rows.size(); ++r)
    for (const char *c : {"S", "BETX", "ALFX", "MUX", "DX", "DPX", "BETY", "ALFY", "MUY"}) {
      const double a = imported.mach.real(r, c), b = direct.mach.real(r, c);
      EXPECT_NEAR(a, b, 1e-12 * std::fmax(1.0, std::fabs(b))) << "row " << r << " " << c;
    }
}

} // namespace

TEST(ImportedRing, SequencesGiveTheOpticsOfTheRingWrittenDirectly) {
  const Import run = import_files({{"ring.madx", SEQUENCES}, {"strengths.madx", STRENGTHS}},
                                  {"ring.madx", "--names", "names.tfs"});
  ASSERT_EQ(run.status, 0) << run.terminal;
  const Optics imported = optics_of(run.deck);
  expect_same_optics(imported, optics_of(VORAX_RING));
  // The chromaticity is the sextupoles' own: they are in the deck with their strengths.
  EXPECT_GT(std::fabs(imported.matr.header_real("DQ1")), 0.1);

  // The names table has one row per position, each name 8 characters at most.
  ParsedTfs names;
  ASSERT_EQ(parse_tfs(run.files.at("names.tfs"), names), "");
  EXPECT_EQ(names.rows.size(), 1u + 8 * 20);
  EXPECT_EQ(names.text(1, "MADX_NAME"), "QF");
  EXPECT_EQ(names.text(9, "MADX_NAME"), "BPM");
  EXPECT_EQ(names.text(2, "MADX_NAME"), ""); // a drift made between elements
  for (std::size_t r = 0; r < names.rows.size(); ++r)
    EXPECT_LE(names.text(r, "NAME").size(), 8u);
}

TEST(ImportedRing, LinesGiveTheSameOptics) {
  const Import run = import_text(LINES);
  ASSERT_EQ(run.status, 0) << run.terminal;
  expect_same_optics(optics_of(run.deck), optics_of(VORAX_RING));
}

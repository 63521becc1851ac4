// The tables of an error study's operations, read back and held against the physics and against
// the listing: a closed orbit that closes, misalignments that are the ones tracking applies,
// corrections that zero their readings, tunes, a symplectic tracked matrix, a conserved
// emittance, and generated particles that are those tracked.
#include "harness.h"
#include "support/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace vorax::test;

namespace {

// A FODO ring of 4 cells with a corrector before and a monitor after each quadrupole: COR at
// positions 1, 5, 9 ..., BPM at 3, 7, 11 ...
const char *const DECK = R"(TITLE
TABLES
QF: QUADRUPOLE, L = 0.5, K1 = 0.9
QD: QUADRUPOLE, L = 0.5, K1 = -0.9
D:  DRIFT, L = 2.5
COR: GKICK, L = 0
BPM: MONITOR, L = 0
RING: LINE = (4*(COR, QF, BPM, D, COR, QD, BPM, D))
USE, RING
VORAX
MATRIX
 1 -2,
SEED
 12345
MISA
 QF 1E-4 0 1E-4 0 0 0 0 1,
 99
SETM
 3 1
 QF 0
SHOM
 1
REFE
 11 0 0 0 0 0 0,
CORR
 COR 1 32,
 99
ALIG
 1 1 4 4 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0
 COR 1 1,
 COR 9 1,
 COR 17 1,
 COR 25 1,
 BPM 7 1 0 1,
 BPM 15 1 0 1,
 BPM 23 1 0 1,
 BPM 31 1 0 1,
 99
SHOC
 1,
MOVE
 0 0 0 -3 3 3 1E-6 0 0 0 0 0
 -1E-3 0 1E-3
 0 0 0 0 0 0 0,
RMAT
 0 0 0 0 0 0 1E-8 1E-8 1E-8 1E-8 1E-8 1E-8 11 -1 1 0 0 0 0 0 0 0 0,
BEAM
 0 0 0 0 0 1E-6 0 0 0 0 1E-6 0.01 0.001 999,
GENE
 3 3 3 3 3 3 3 1 20 0 0 0 0 0 0,
TRAC
 -1 -1 0 2
 0;
STOP
)";

ParsedTfs table(const DeckRun &run, const std::string &name) {
  ParsedTfs t;
  const auto it = run.files.find("tables/" + name);
  EXPECT_NE(it, run.files.end()) << name;
  if (it != run.files.end()) {
    EXPECT_EQ(parse_tfs(it->second, t), "") << name;
  }
  return t;
}

class OperationTables : public ::testing::Test {
protected:
  static void SetUpTestSuite() { run_ = new DeckRun(run_deck_with_results(DECK, {true, false})); }
  static void TearDownTestSuite() { delete run_; }
  static DeckRun *run_;
};
DeckRun *OperationTables::run_ = nullptr;

TEST_F(OperationTables, EveryTableIsCompleteAndNamesItsRun) {
  ASSERT_EQ(run_->status, 0) << run_->terminal;
  for (const char *name : {"shom_1.tfs", "refe_1.tfs", "corr_1.tfs", "alig_1.tfs",
                           "alig_1_correctors.tfs", "shoc_1.tfs", "move_1.tfs", "rmat_1.tfs",
                           "beam_1.tfs", "gene_1.tfs", "trac_1.tfs", "trac_1_losses.tfs"}) {
    const ParsedTfs t = table(*run_, name);
    EXPECT_EQ(t.header.at("STATUS"), "COMPLETE") << name;
    EXPECT_EQ(t.header.count("RUN_DECK"), 1u) << name;
  }
  // Without --tables the listing is the same: the tables never change what is printed.
  const DeckRun plain = run_deck_with_results(DECK, {false, false});
  EXPECT_EQ(plain.listing, run_->listing);
}

TEST_F(OperationTables, OrbitAndMisalignmentsAreThoseTrackingSees) {
  const ParsedTfs refe = table(*run_, "refe_1.tfs");
  ASSERT_EQ(refe.rows.size(), 32u);
  // The fitted closed orbit comes back to its start after the last position.
  const char *start[4] = {"X0", "PX0", "Y0", "PY0"}, *end[4] = {"X", "PX", "Y", "PY"};
  for (int k = 0; k < 4; ++k)
    EXPECT_NEAR(refe.real(31, end[k]), refe.header_real(start[k]), 1e-9) << end[k];
  double sum = 0.0;
  for (std::size_t r = 0; r < refe.rows.size(); ++r)
    sum += refe.real(r, "X") * refe.real(r, "X");
  EXPECT_NEAR(refe.header_real("RMS_X"), std::sqrt(sum / 32), 1e-15);
  EXPECT_NEAR(refe.header_real("RMS_X"),
              number_after(run_->listing, "THE RMS X ORBIT DISPLACEMENT IS :"), 1e-10);
  // Every misaligned quadrupole, with the 17 digits the listing prints: the values read back are
  // those tracking applies.
  const ParsedTfs shom = table(*run_, "shom_1.tfs");
  ASSERT_EQ(shom.rows.size(), 4u);
  for (std::size_t r = 0; r < 4; ++r) {
    EXPECT_EQ(shom.text(r, "NAME"), "QF");
    EXPECT_EQ(shom.real(r, "NUMBER"), 2.0 + 8.0 * static_cast<double>(r));
    char label[16];
    std::snprintf(label, sizeof label, "%10zu QF", 2 + 8 * r);
    const std::vector<double> listed = numbers_after(run_->listing, label); // TYPE, A1 .. A4
    ASSERT_GE(listed.size(), 5u);
    EXPECT_EQ(shom.real(r, "A1"), listed[1]);
    EXPECT_EQ(shom.real(r, "A3"), listed[3]);
  }
}

TEST_F(OperationTables, CorrectionZeroesTheReadingsWithTheCorrectorsShown) {
  const ParsedTfs defined = table(*run_, "corr_1.tfs");
  ASSERT_EQ(defined.rows.size(), 8u);
  EXPECT_EQ(defined.header_real("SET"), 0.0);
  const ParsedTfs alig = table(*run_, "alig_1.tfs");
  ASSERT_EQ(alig.rows.size(), 4u);
  double before = 0.0;
  for (std::size_t r = 0; r < 4; ++r) {
    before += std::fabs(alig.real(r, "BEFORE"));
    EXPECT_NEAR(alig.real(r, "AFTER"), 0.0, 1e-10) << "4 correctors for 4 readings";
  }
  EXPECT_GT(before, 1e-6);
  const ParsedTfs varied = table(*run_, "alig_1_correctors.tfs");
  const ParsedTfs shown = table(*run_, "shoc_1.tfs");
  ASSERT_EQ(varied.rows.size(), 4u);
  ASSERT_EQ(shown.rows.size(), 8u);
  for (std::size_t r = 0; r < 8; ++r) {
    EXPECT_EQ(shown.real(r, "SET"), r % 2 == 0 ? 1.0 : 0.0) << "the correctors varied are set";
    if (r % 2 == 0) {
      EXPECT_EQ(shown.real(r, "NUMBER"), varied.real(r / 2, "NUMBER"));
      EXPECT_EQ(shown.real(r, "VALUE1"), varied.real(r / 2, "VALUE"));
    }
  }
}

TEST_F(OperationTables, TunesMatrixEnvelopesAndParticlesHoldTheirPhysics) {
  // Offsets in quadrupoles move the orbit, not the linear optics: MOVE's tunes on momentum are
  // the periodic tunes of the matrix.
  const ParsedTfs matr = table(*run_, "matr_1.tfs");
  const ParsedTfs move = table(*run_, "move_1.tfs");
  ASSERT_EQ(move.rows.size(), 3u);
  EXPECT_EQ(move.real(1, "DELTA"), 0.0);
  EXPECT_NEAR(move.real(1, "Q1"), matr.header_real("Q1"), 1e-6);
  EXPECT_NEAR(move.real(1, "Q2"), matr.header_real("Q2"), 1e-6);
  // The tracked one-turn matrix is symplectic in each plane.
  const ParsedTfs rmat = table(*run_, "rmat_1.tfs");
  ASSERT_EQ(rmat.rows.size(), 1u);
  EXPECT_NEAR(rmat.real(0, "R11") * rmat.real(0, "R22") - rmat.real(0, "R12") * rmat.real(0, "R21"),
              1.0, 1e-6);
  EXPECT_NEAR(rmat.real(0, "R33") * rmat.real(0, "R44") - rmat.real(0, "R34") * rmat.real(0, "R43"),
              1.0, 1e-6);
  // Linear transport of an uncoupled beam keeps its projected emittances.
  const ParsedTfs beam = table(*run_, "beam_1.tfs");
  ASSERT_EQ(beam.rows.size(), 32u);
  for (std::size_t r = 0; r < beam.rows.size(); ++r) {
    EXPECT_NEAR(beam.real(r, "EPSX"), 1e-6, 1e-15) << r;
    EXPECT_NEAR(beam.real(r, "EPSY"), 1e-6, 1e-15) << r;
  }
  // The particles generated are those the next TRAC starts from.
  const ParsedTfs gene = table(*run_, "gene_1.tfs");
  const ParsedTfs trac = table(*run_, "trac_1.tfs");
  ASSERT_EQ(gene.rows.size(), 20u);
  ASSERT_GE(trac.rows.size(), 20u);
  for (std::size_t r = 0; r < 20; ++r)
    for (const char *c : {"X", "PX", "Y", "PY", "L", "DELTA"})
      EXPECT_EQ(gene.real(r, c), trac.real(r, c)) << r << c;
  EXPECT_EQ(trac.header_real("PARTICLES"), 20.0);
  EXPECT_EQ(trac.header_real("SURVIVING") + trac.header_real("LOST"), 20.0);
  EXPECT_EQ(trac.header_real("TURNS"), 2.0);
}

} // namespace

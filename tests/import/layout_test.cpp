// Where the imported elements stand: sequences placed by REFER, FROM and REFPOS with the drifts
// between their elements, beam lines expanded with arguments, repetitions and reflections, and
// classes whose later changes reach the elements made from them.
#include "import_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vorax::test;

namespace {

// The MAD-X name and the end position S of every position of an imported line, from VORAX's
// lattice functions (MACH from given values) and the names table.
struct Placed {
  std::string madx;
  double s = 0;
};

std::vector<Placed> placed(const std::string &madx) {
  const Import run = import_text(madx, {"--names", "names.tfs"});
  EXPECT_EQ(run.status, 0) << run.terminal;
  ParsedTfs names, mach;
  if (!run.files.count("names.tfs") || !parse_tfs(run.files.at("names.tfs"), names).empty())
    return {};
  const DeckRun deck = run_deck_with_results(
      run.deck + "VORAX\nMACHINE\n 0 0 0 0 0 0 0 1 0 0 0 1 0 0 0 0;\nSTOP\n", {true, false});
  EXPECT_EQ(deck.status, 0) << deck.log;
  const auto table = deck.files.find("tables/mach_1.tfs");
  if (table == deck.files.end() || !parse_tfs(table->second, mach).empty())
    return {};
  // The rows of MACH's table after its start row are the positions, in the table's order.
  EXPECT_EQ(mach.rows.size(), names.rows.size() + 1);
  std::vector<Placed> out;
  for (std::size_t r = 0; r < names.rows.size() && r + 1 < mach.rows.size(); ++r) {
    EXPECT_EQ(mach.text(r + 1, "NAME"), names.text(r, "NAME"));
    out.push_back({names.text(r, "MADX_NAME"), mach.real(r + 1, "S")});
  }
  return out;
}

double end_of(const std::vector<Placed> &p, const std::string &madx) {
  for (const Placed &e : p)
    if (e.madx == madx)
      return e.s;
  ADD_FAILURE() << madx << " not placed";
  return NAN;
}

} // namespace

TEST(ImportedLayout, SequencesPlaceByReferFromAndRefpos) {
  const std::vector<Placed> p = placed(R"(q: quadrupole, l = 2;  m: marker;
inner: sequence, l = 4, refer = entry, refpos = mid;
  q1: q, at = 0;
  mid: m, at = 3;
endsequence;
outer: sequence, l = 30, refer = exit;
  s0: m, at = 0;
  q2: q, at = 6;
  inner, at = 10;          ! its MID at 10: it starts at 7
  q3: q, at = 8, from = q2;
  e0: m, at = -1, from = #e;
endsequence;
use, sequence = outer;
)");
  EXPECT_EQ(end_of(p, "S0"), 0);
  EXPECT_EQ(end_of(p, "Q2"), 6);
  EXPECT_EQ(end_of(p, "Q1"), 9);
  EXPECT_EQ(end_of(p, "MID"), 10);
  EXPECT_EQ(end_of(p, "Q3"), 13);
  EXPECT_EQ(end_of(p, "E0"), 29);
  EXPECT_NEAR(p.back().s, 30, 1e-12);

  // Gaps and overlaps within 1 micrometre are the rounding of positions: no drift, no error.
  const std::vector<Placed> close = placed(R"(q: quadrupole, l = 1;
s: sequence, l = 3.0000005, refer = entry;
  a: q, at = 0;
  b: q, at = 1.0000005;
  c: q, at = 1.9999999;
endsequence;
)");
  EXPECT_EQ(close.size(), 3u);
}

TEST(ImportedLayout, LinesExpandArgumentsRepetitionsAndReflections) {
  const std::vector<Placed> p = placed(R"(a: marker;  b: marker;  c: marker;  d: drift, l = 1;
pair(x, y): line = (x, d, y);
nested(z): line = (pair(z, 2*c), -(a, b));
top: line = (nested(-(a, b)), 2*pair(c, a));
use, period = top;
)");
  std::string order;
  for (const Placed &e : p)
    order += e.madx;
  EXPECT_EQ(order, "BADCCBACDACDA");
  for (const char *bad : {"a: marker; pair(x, y): line = (x, y); top: line = (pair(a));",
                          "a: marker; top: line = (a, top);"}) {
    SCOPED_TRACE(bad);
    const Import run = import_text(std::string(bad) + "\nuse, period = top;\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.terminal, "lattice.madx:1: error: ")) << run.terminal;
  }
}

TEST(ImportedLayout, ClassChangesReachTheElementsThatDoNotSetTheirOwn) {
  const Import run = import_text("mq: quadrupole, l = 1, k1 = 0.1;\n"
                                 "qa: mq;\n"
                                 "qb: mq, k1 = 0.3;\n"
                                 "mq, k1 = 0.2;\n"
                                 "mq->l = 2;\n"
                                 "l: line = (qa, qb);\n");
  ASSERT_EQ(run.status, 0) << run.terminal;
  EXPECT_EQ(slots_of(run.deck, 1), (std::vector<double>{2, 0.2, 1, 0}));
  EXPECT_EQ(slots_of(run.deck, 2), (std::vector<double>{2, 0.3, 1, 0}));
}

TEST(ImportInput, CallReturnAndStopReadTheFilesAsTheOtherCodeDoes) {
  // A CALLed name is found beside the calling file; RETURN ends that file only; STOP ends all
  // input, and a file named after it is not read (with a warning).
  const Import run =
      import_files({{"main.madx", "call, file = \"sub/a.madx\";\nuse, period = l;\n"},
                    {"sub/a.madx", "call, file = b.madx;\nq: quadrupole, l = 1, k1 := kq;\n"
                                   "l: line = (q);\nstop;\nthis would be an error;\n"},
                    {"sub/b.madx", "kq = 0.5;\nreturn;\nkq = 9;\n"},
                    {"more.madx", "this would be an error too;\n"}},
                   {"main.madx", "more.madx"});
  EXPECT_EQ(run.status, 1) << run.terminal;
  EXPECT_TRUE(contains(run.terminal, "more.madx:0: warning: not read")) << run.terminal;
  EXPECT_TRUE(contains(run.deck, "\nKQ = 0.5\n")) << run.deck;
  EXPECT_TRUE(contains(run.deck, "!  main.madx sub/a.madx sub/b.madx\n")) << run.deck;
}

TEST(ImportInput, TheBeamOfTheLineGivesTheCavitiesTheirEnergy) {
  // ENERGY is the total energy less VORAX's own rest mass of the nearer particle.
  for (const auto &[beam, energy] : std::vector<std::pair<std::string, double>>{
           {"beam, particle = electron, gamma = 1000;", 1000 * 0.51099895000e-3},
           {"beam, particle = proton, pc = 7;", std::sqrt(49 + 0.93827208816 * 0.93827208816)},
           {"beam, particle = proton, brho = 10;", std::hypot(10 * 0.299792458, 0.93827208816)},
           {"beam, particle = proton, energy = 3; beam, sequence = other, energy = 9;", 3}}) {
    SCOPED_TRACE(beam);
    const double mass =
        energy > 1 && !contains(beam, "electron") ? 0.938256025314331 : 0.000511005986481905;
    const Import run =
        import_text(beam + "\nc: rfcavity, l = 1, volt = 1, harmon = 2;\nl: line = (c);\n");
    ASSERT_LE(run.status, 1) << run.terminal;
    EXPECT_NEAR(slots_of(run.deck, 1).at(1), energy - mass, 1e-12);
  }
}

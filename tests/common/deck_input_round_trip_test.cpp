// The one-text form of a run's input (deck, standard input, files) that the harness writes as
// fuzz seeds and the fuzz target reads: what is written must come back unchanged.
#include "deck_input.h"

#include <gtest/gtest.h>

namespace {

using vorax::fuzz::DeckInput;
using vorax::fuzz::join_deck_input;
using vorax::fuzz::split_deck_input;

void expect_same(const DeckInput &want, const DeckInput &got) {
  EXPECT_EQ(want.deck, got.deck);
  EXPECT_EQ(want.standard_input, got.standard_input);
  EXPECT_EQ(want.files, got.files);
}

TEST(DeckInputRoundTrip, DeckStandardInputAndFilesComeBackUnchanged) {
  const DeckInput inputs[] = {
      {"", "", {}},
      {"D: DRIFT, L = 1\nSTOP\n", "", {}},
      {"", "CALL, 20\nD5: DRIFT\n", {}},
      {"CALL, 20\n", "", {{"FOR020.DAT", "D4: DRIFT\nRETURN\n"}}},
      {"OPEN, 3\nA B.DAT\n", "STOP\n", {{"A B.DAT", ""}, {"FOR003.DAT", "1 2 3\n"}}},
      // A mark that does not start a line is text.
      {"X = 1 ! %%% STDIN\n", " %%% FOR020.DAT\n", {}},
  };
  for (const DeckInput &in : inputs)
    expect_same(in, split_deck_input(join_deck_input(in)));
}

TEST(DeckInputRoundTrip, AnyTextIsADeckAndLastSectionsNeedNoLineEnd) {
  const DeckInput plain = split_deck_input("STOP");
  EXPECT_EQ("STOP", plain.deck);
  EXPECT_TRUE(plain.standard_input.empty());
  const DeckInput ends = split_deck_input("%%% STDIN\nSTOP\n%%% F.DAT\n%%% F.DAT");
  EXPECT_EQ("", ends.deck);
  EXPECT_EQ("STOP\n", ends.standard_input);
  ASSERT_EQ(1u, ends.files.size());
  EXPECT_EQ("", ends.files.at("F.DAT"));
}

} // namespace

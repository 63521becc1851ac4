// Every example deck runs to a normal end; its listing is guarded by its golden text.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

TEST(Examples, EveryExampleDeckEndsNormally) {
  std::vector<fs::path> decks;
  for (const auto &entry : fs::directory_iterator(fs::path(VORAX_SOURCE_DIR) / "examples"))
    if (entry.path().extension() == ".vx")
      decks.push_back(entry.path());
  std::sort(decks.begin(), decks.end());
  ASSERT_FALSE(decks.empty());
  for (const auto &deck : decks) {
    std::ifstream f(deck, std::ios::binary);
    std::ostringstream text;
    text << f.rdbuf();
    const auto run = vorax::test::run_deck(text.str());
    EXPECT_EQ(run.status, 0) << deck.filename() << "\n" << run.terminal;
  }
}

// Every deck of the operation reference (the ```vorax blocks of docs/operations.md) runs to a
// normal end.
TEST(Examples, EveryDeckOfTheOperationReferenceEndsNormally) {
  std::ifstream f(fs::path(VORAX_SOURCE_DIR) / "docs" / "operations.md", std::ios::binary);
  std::string line, deck;
  bool inside = false;
  int decks = 0;
  while (std::getline(f, line)) {
    if (!inside && line == "```vorax") {
      inside = true;
      deck.clear();
    } else if (inside && line == "```") {
      inside = false;
      ++decks;
      const auto run = vorax::test::run_deck(deck);
      EXPECT_EQ(run.status, 0) << deck << "\n" << run.terminal;
      EXPECT_FALSE(vorax::test::contains(run.listing, "IS NOT AVAILABLE")) << deck;
    } else if (inside) {
      deck += line + "\n";
    }
  }
  EXPECT_GT(decks, 0);
}

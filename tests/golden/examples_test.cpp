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

// Every deck of the user's manual runs: each ```vorax block of docs/*.md ends normally with no
// error in the log or on the terminal, so that the manual cannot drift from the program.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace vorax::test;

namespace {

struct DocDeck {
  std::string file;
  int line = 0;        // of the opening fence
  std::string section; // the heading it stands under, up to a ":"
  std::string text;
};

// The heading's first words, as a golden text's name takes them: "MATR: transfer maps" is MATR.
std::string section_of(const std::string &heading) {
  std::string s = heading.substr(heading.find_first_not_of("# "));
  s = s.substr(0, s.find(':'));
  for (char &c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)))
      c = '_';
  return s.substr(0, 40);
}

std::vector<DocDeck> documented_decks() {
  const std::string dir = std::string(VORAX_SOURCE_DIR) + "/docs";
  std::vector<std::string> files;
  if (DIR *d = ::opendir(dir.c_str())) {
    while (dirent *e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() > 3 && name.substr(name.size() - 3) == ".md")
        files.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(files.begin(), files.end());
  std::vector<DocDeck> decks;
  for (const std::string &name : files) {
    std::ifstream f(dir + "/" + name);
    std::string line;
    int n = 0;
    DocDeck *open = nullptr;
    std::string section = "top";
    while (std::getline(f, line)) {
      ++n;
      if (!open && line.rfind("#", 0) == 0) {
        section = section_of(line);
      } else if (!open && line == "```vorax") {
        decks.push_back({name, n, section, ""});
        open = &decks.back();
      } else if (open && line == "```") {
        open = nullptr;
      } else if (open) {
        open->text += line + "\n";
      }
    }
    EXPECT_EQ(open, nullptr) << name << ": a deck without its closing fence";
  }
  return decks;
}

} // namespace

TEST(DocsDecks, EveryDeckOfTheManualRunsWithoutError) {
  const std::vector<DocDeck> decks = documented_decks();
  int operations = 0, language = 0;
  for (const DocDeck &d : decks) {
    SCOPED_TRACE(d.file + ":" + std::to_string(d.line));
    // Each deck's golden text is named for its page and section.
    const GoldenName golden("DocsDecks." + d.file.substr(0, d.file.size() - 3) + "." + d.section);
    const DeckRun run = run_deck(d.text);
    EXPECT_EQ(run.status, 0) << run.terminal;
    EXPECT_FALSE(contains(run.log + run.listing, "*** ERROR")) << run.log;
    EXPECT_FALSE(contains(run.listing, "HALTING")) << run.listing;
    // No error and no warning on the terminal (the lines of the deck's input errors and
    // warnings name it and the line); READ's monitor lines are the only output a deck may show.
    EXPECT_FALSE(contains(run.terminal, ": error:")) << run.terminal;
    EXPECT_FALSE(contains(run.terminal, ": warning:")) << run.terminal;
    EXPECT_FALSE(contains(run.terminal, "run stopped")) << run.terminal;
    EXPECT_FALSE(contains(run.listing, "IS NOT AVAILABLE"))
        << "a deck of an operation not computed";
    operations += d.file == "operations.md";
    language += d.file == "language.md";
  }
  // Every computed operation has its deck, and so has every part of the language.
  EXPECT_GE(operations, 32);
  EXPECT_GE(language, 4);
}

// One text that holds a whole run's input: the deck, then optionally the standard input and
// named files, each after a marker line "%%% STDIN" or "%%% NAME". The fuzz target reads its
// inputs in this form and the test harness writes the decks it runs in it as seeds.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace vorax::fuzz {

struct DeckInput {
  std::string deck;
  std::string standard_input;
  std::map<std::string, std::string> files; // by file name, as a deck names them
};

inline constexpr std::string_view SECTION_MARK = "%%% ";
inline constexpr std::string_view STDIN_SECTION = "STDIN";

// Splits at every line that starts with the mark; the line end before a mark belongs to the
// section it ends. A name seen twice keeps the later text.
inline DeckInput split_deck_input(std::string_view text) {
  DeckInput in;
  std::string *section = &in.deck;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t mark = start;
    for (;;) {
      mark = text.find(SECTION_MARK, mark);
      if (mark == std::string_view::npos || mark == 0 || text[mark - 1] == '\n')
        break;
      ++mark;
    }
    if (mark == std::string_view::npos) {
      section->assign(text.substr(start));
      break;
    }
    section->assign(text.substr(start, mark - start));
    std::size_t end = text.find('\n', mark);
    if (end == std::string_view::npos)
      end = text.size();
    std::string_view name =
        text.substr(mark + SECTION_MARK.size(), end - mark - SECTION_MARK.size());
    while (!name.empty() && (name.back() == ' ' || name.back() == '\r'))
      name.remove_suffix(1);
    section = name == STDIN_SECTION ? &in.standard_input : &in.files[std::string(name)];
    section->clear();
    start = end + 1;
  }
  return in;
}

inline std::string join_deck_input(const DeckInput &in) {
  std::string text = in.deck;
  const auto add = [&text](std::string_view name, const std::string &content) {
    if (!text.empty() && text.back() != '\n')
      text.push_back('\n');
    text.append(SECTION_MARK);
    text.append(name);
    text.push_back('\n');
    text.append(content);
  };
  if (!in.standard_input.empty())
    add(STDIN_SECTION, in.standard_input);
  for (const auto &[name, content] : in.files)
    add(name, content);
  return text;
}

} // namespace vorax::fuzz

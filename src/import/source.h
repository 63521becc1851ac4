// The text of a MAD-X input file as tokens, and its division into statements: comments
// ("!", "//", "/* */") are dropped, names are lower-cased (the language ignores case), and a
// statement ends at ";", or at the closing brace of a block (IF, WHILE, a macro body).
#pragma once

#include "import/diagnostics.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vorax::importer {

struct Token {
  enum class Kind { name, number, text, symbol };
  Kind kind = Kind::symbol;
  std::string text; // names lower-cased, texts without their quotes, symbols as written
  int line = 0;
  std::size_t begin = 0, end = 0; // offsets of the token in the file's text

  bool is(std::string_view symbol_or_name) const {
    return kind != Kind::text && kind != Kind::number && text == symbol_or_name;
  }
};

struct Statement {
  std::vector<Token> tokens;
  Location where;  // the line of its first token
  std::string raw; // its text as written, without the closing ";"
};

// Names in upper case, as messages and VORAX write them, and in lower case, as they are kept.
std::string upper(std::string text);
std::string lower(std::string text);

// Reads one statement after the other from a file's text.
class StatementReader {
public:
  StatementReader(std::string file, std::string text, Diagnostics &diagnostics);

  // The next non-empty statement; false at the end of the text.
  bool next(Statement &statement);

private:
  bool next_token(Token &token);
  void skip_blanks_and_comments();

  std::string file_;
  std::string text_;
  Diagnostics &diagnostics_;
  std::size_t at_ = 0;
  int line_ = 1;
};

} // namespace vorax::importer

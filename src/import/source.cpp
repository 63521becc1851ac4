// Tokens and statements of a MAD-X input file.
#include "import/source.h"

#include <cctype>

namespace vorax::importer {

namespace {

bool name_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}
bool name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
}
bool digit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string lower(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

StatementReader::StatementReader(std::string file, std::string text, Diagnostics &diagnostics)
    : file_(std::move(file)), text_(std::move(text)), diagnostics_(diagnostics) {}

void StatementReader::skip_blanks_and_comments() {
  while (at_ < text_.size()) {
    const char c = text_[at_];
    if (c == '\n') {
      ++line_;
      ++at_;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++at_;
    } else if (c == '!' || (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/')) {
      while (at_ < text_.size() && text_[at_] != '\n')
        ++at_;
    } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '*') {
      const int opened = line_;
      at_ += 2;
      while (at_ < text_.size() &&
             !(text_[at_] == '*' && at_ + 1 < text_.size() && text_[at_ + 1] == '/')) {
        if (text_[at_] == '\n')
          ++line_;
        ++at_;
      }
      if (at_ >= text_.size())
        diagnostics_.error({file_, opened}, "comment opened with /* is not closed");
      else
        at_ += 2;
    } else {
      return;
    }
  }
}

bool StatementReader::next_token(Token &t) {
  skip_blanks_and_comments();
  if (at_ >= text_.size())
    return false;
  t = Token{};
  t.line = line_;
  t.begin = at_;
  const char c = text_[at_];
  if (name_start(c)) {
    t.kind = Token::Kind::name;
    while (at_ < text_.size() && name_char(text_[at_]))
      t.text.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(text_[at_++]))));
  } else if (digit(c) || (c == '.' && at_ + 1 < text_.size() && digit(text_[at_ + 1]))) {
    t.kind = Token::Kind::number;
    while (at_ < text_.size() && (digit(text_[at_]) || text_[at_] == '.'))
      t.text.push_back(text_[at_++]);
    // An exponent only when digits follow it: "2e" alone leaves the "e" to the next token.
    if (at_ < text_.size() && std::string_view("eEdD").find(text_[at_]) != std::string::npos) {
      std::size_t k = at_ + 1;
      if (k < text_.size() && (text_[k] == '+' || text_[k] == '-'))
        ++k;
      if (k < text_.size() && digit(text_[k])) {
        t.text.push_back('e');
        t.text.append(text_, at_ + 1, k - at_ - 1);
        at_ = k;
        while (at_ < text_.size() && digit(text_[at_]))
          t.text.push_back(text_[at_++]);
      }
    }
  } else if (c == '"' || c == '\'') {
    t.kind = Token::Kind::text;
    ++at_;
    while (at_ < text_.size() && text_[at_] != c && text_[at_] != '\n')
      t.text.push_back(text_[at_++]);
    if (at_ < text_.size() && text_[at_] == c)
      ++at_;
    else
      diagnostics_.error({file_, t.line},
                         "text opened with " + std::string(1, c) + " is not closed on its line");
  } else {
    t.kind = Token::Kind::symbol;
    static const char *const pairs[] = {":=", "->", "==", "<>", ">=", "<=", "&&", "||"};
    for (const char *p : pairs)
      if (text_.compare(at_, 2, p) == 0) {
        t.text = p;
        break;
      }
    if (t.text.empty())
      t.text = std::string(1, c);
    at_ += t.text.size();
  }
  t.end = at_;
  return true;
}

bool StatementReader::next(Statement &s) {
  s = Statement{};
  int parens = 0, braces = 0;
  bool block = false; // a braced body ends the statement (IF, WHILE, macros)
  Token t;
  while (next_token(t)) {
    if (t.is(";") && parens <= 0 && braces <= 0) {
      if (s.tokens.empty())
        continue;
      break;
    }
    if (t.is("(") || t.is("["))
      ++parens;
    else if (t.is(")") || t.is("]"))
      --parens;
    else if (t.is("{")) {
      if (braces == 0 && !s.tokens.empty()) {
        const std::string &first = s.tokens.front().text;
        if (first == "if" || first == "elseif" || first == "else" || first == "while")
          block = true;
        for (const Token &u : s.tokens)
          if (u.kind == Token::Kind::name && u.text == "macro")
            block = true;
      }
      ++braces;
    } else if (t.is("}")) {
      --braces;
    }
    s.tokens.push_back(t);
    if (block && braces == 0 && t.is("}"))
      break;
  }
  if (s.tokens.empty())
    return false;
  s.where = {file_, s.tokens.front().line};
  s.raw = text_.substr(s.tokens.front().begin, s.tokens.back().end - s.tokens.front().begin);
  return true;
}

} // namespace vorax::importer

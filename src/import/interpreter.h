// Reads MAD-X input files statement by statement into the lattice: definitions, sequences,
// lines, attribute changes, BEAM, USE, OPTION, CALL and RETURN are carried out; every other
// statement is skipped with one warning naming its file and line.
#pragma once

#include "import/diagnostics.h"
#include "import/lattice.h"
#include "import/source.h"

#include <string>
#include <vector>

namespace vorax::importer {

// The word a value names (REFER = entry, APERTYPE = "circle", FROM = #s), or "" when it is
// not one word.
std::string word_of(const std::vector<Token> &tokens, std::size_t begin, std::size_t end);

class Interpreter {
public:
  Interpreter(Lattice &lattice, Diagnostics &diagnostics)
      : lattice_(lattice), diagnostics_(diagnostics) {}

  // Reads a file as the other code reads the files given to it, or a file CALLed from
  // `called_from`. A file that cannot be read is an error at that place.
  void read_file(const std::string &path, const Location *called_from);
  // After the last file: a SEQUENCE left open is an error.
  void finish();

  // STOP, EXIT or QUIT was read: nothing after it is read.
  bool stopped() const { return stopped_; }
  // The files read, in order (CALLed ones included).
  const std::vector<std::string> &files() const { return files_; }

private:
  // One ", NAME = value" of a statement.
  struct Item {
    std::string name;
    bool negated = false;   // "-NAME": a logical set false
    bool has_value = false; // "NAME = value" or "NAME := value"
    bool deferred = false;
    std::size_t begin = 0, end = 0; // the value's tokens
    Location where;
  };

  void statement(const Statement &s);
  void labelled(const Statement &s, std::size_t colon, const std::vector<std::string> &formals);
  void assignment(const Statement &s, std::size_t at, bool constant, bool integer);
  void command(const Statement &s);
  void define_element(const Statement &s, const std::string &label, const std::string &parent,
                      std::size_t items_from);
  void change_element(const Statement &s, const std::string &name, std::size_t items_from);
  void place(const Statement &s, const std::string &name, std::size_t items_from);
  void begin_sequence(const Statement &s, const std::string &label, std::size_t items_from);
  void define_line(const Statement &s, const std::string &label,
                   const std::vector<std::string> &formals, std::size_t after_line);
  void beam(const Statement &s);
  void use(const Statement &s);
  void option(const Statement &s);
  void call_file(const Statement &s);

  std::vector<Item> items(const Statement &s, std::size_t from);
  bool definition_of(const Statement &s, const Item &item, Definition &d);
  void set_attribute(Element &e, const std::string &attr, Definition d);
  void skipped(const Statement &s, const std::string &what);

  Lattice &lattice_;
  Diagnostics &diagnostics_;
  std::vector<std::string> files_;
  std::string sequence_;  // the sequence being defined, "" outside one
  std::string block_end_; // inside a skipped block: the word that ends it
  bool if_chain_ = false; // the latest statement was a skipped IF (ELSE goes with it)
  bool returned_ = false; // RETURN: the rest of the file is not read
  bool stopped_ = false;
  int depth_ = 0; // of CALLs
};

} // namespace vorax::importer

// The importer's messages on the terminal.
#include "import/diagnostics.h"

namespace vorax::importer {

void Diagnostics::warning(const Location &at, const std::string &text) {
  ++warnings_;
  out_ << at.file << ':' << at.line << ": warning: " << text << '\n';
}

void Diagnostics::error(const Location &at, const std::string &text) {
  ++errors_;
  if (errors_ <= 100)
    out_ << at.file << ':' << at.line << ": error: " << text << '\n';
}

void Diagnostics::error(const std::string &text) {
  ++errors_;
  out_ << "vorax-import: error: " << text << '\n';
}

void Diagnostics::note(const std::string &text) {
  out_ << "vorax-import: " << text << '\n';
}

} // namespace vorax::importer

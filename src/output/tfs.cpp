// The TFS table writer.
#include "output/tfs.h"

#include "common/run_identity.h"
#include "common/shared_areas.h"
#include "common/units.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vorax {

TfsHeader &TfsHeader::text(std::string_view name, std::string_view value) {
  lines_ += tfs_header_line(name, "%s", tfs_text(value));
  return *this;
}

TfsHeader &TfsHeader::integer(std::string_view name, long long value) {
  lines_ += tfs_header_line(name, "%d", std::to_string(value));
  return *this;
}

TfsHeader &TfsHeader::real(std::string_view name, double value) {
  lines_ += tfs_header_line(name, "%le", tfs_real(value));
  return *this;
}

namespace {

// The run's identity, for every table it writes: the deck ("-": the standard input), and the seed
// and overrides given on the command line. It stands right after the ORIGIN line (at the end of a
// header without one), so that tables of many runs can be collected with the run named in each row.
std::string with_run_identity(const std::string &lines) {
  std::string identity =
      tfs_header_line("RUN_DECK", "%s", tfs_text(runid.deck.empty() ? "-" : runid.deck));
  if (runid.seeded)
    identity += tfs_header_line("RUN_SEED", "%d", std::to_string(runid.seed));
  if (!runid.overrides.empty())
    identity += tfs_header_line("RUN_SET", "%s", tfs_text(override_list()));
  // Found in "\n" + lines, the newline's place is the line's own place in lines.
  const std::size_t origin = ("\n" + lines).find("\n@ ORIGIN ");
  const std::size_t at = origin == std::string::npos ? lines.size() : lines.find('\n', origin) + 1;
  return lines.substr(0, at) + identity + lines.substr(at);
}

} // namespace

// A late integer's field: 20 characters, the value left-aligned and blanks after it.
constexpr std::size_t LATE_FIELD = 20;

std::string late_field(long long value) {
  std::string text = std::to_string(value);
  text.resize(LATE_FIELD, ' ');
  return text;
}

TfsHeader &TfsHeader::integer_later(std::string_view name, long long value) {
  lines_ += tfs_header_line(name, "%d", late_field(value));
  late_.emplace_back(name);
  return *this;
}

TfsHeader program_table_header(const std::string &stem, std::string_view type) {
  std::string name = stem;
  for (char &c : name)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  TfsHeader h;
  h.text("NAME", name).text("TYPE", type).text("TITLE", pagtit.title.trimmed());
  h.text("ORIGIN", "VORAX 1.01");
  return h;
}

// The two values have the same length (the shorter padded outside its quotes), so that one
// can be written over the other.
constexpr std::string_view STATUS_INCOMPLETE = "\"INCOMPLETE\"";
constexpr std::string_view STATUS_COMPLETE = "\"COMPLETE\"  ";
static_assert(STATUS_INCOMPLETE.size() == STATUS_COMPLETE.size());

TfsWriter::TfsWriter(const std::string &path, const TfsHeader &header,
                     std::span<const TfsColumn> columns)
    : path_(path), file_(path, "table"), columns_(columns.begin(), columns.end()) {
  std::string names = "*", formats = "$";
  for (const TfsColumn &c : columns_) {
    names += tfs_cell(c.name);
    formats += tfs_cell(tfs_format(c.type));
  }
  const std::string status = tfs_header_line("STATUS", "%s", std::string(STATUS_INCOMPLETE));
  const std::string lines = with_run_identity(header.lines());
  // A late line's field ends its line; found by name, after the identity has moved the lines.
  for (const std::string &name : header.late()) {
    std::string start = "\n" + tfs_header_line(name, "%d", "");
    start.pop_back(); // the line up to its value
    const std::size_t at = ("\n" + lines).find(start);
    if (at != std::string::npos)
      later_.emplace_back(name, static_cast<long>(lines.find('\n', at) - LATE_FIELD));
  }
  status_at_ = static_cast<long>(lines.size() + status.size()) - 1 -
               static_cast<long>(STATUS_INCOMPLETE.size());
  put(lines + status + names + "\n" + formats + "\n");
}

TfsWriter::~TfsWriter() noexcept(false) {
  close();
}

void TfsWriter::close() {
  if (!file_.open())
    return;
  const bool complete = results_complete();
  if (complete)
    file_.rewrite(status_at_, STATUS_COMPLETE);
  file_.commit(!complete);
}

void TfsWriter::update(std::string_view name, long long value) {
  for (const auto &[late, offset] : later_)
    if (late == name)
      file_.rewrite(offset, late_field(value));
}

void TfsWriter::put(const std::string &text) {
  file_.write(text);
}

void TfsWriter::cell(TfsType type, const std::string &formatted) {
  // A row that does not follow its columns is a fault of the caller, never of the data.
  if (cells_ >= columns_.size() || columns_[cells_].type != type) {
    std::fprintf(stderr, "vorax: table %s: cell %zu does not fit its column\n", path_.c_str(),
                 cells_ + 1);
    std::abort();
  }
  row_ += tfs_cell(formatted);
  ++cells_;
}

TfsWriter &TfsWriter::text(std::string_view value) {
  cell(TfsType::text, tfs_text(value));
  return *this;
}

TfsWriter &TfsWriter::integer(long long value) {
  cell(TfsType::integer, std::to_string(value));
  return *this;
}

TfsWriter &TfsWriter::real(double value) {
  cell(TfsType::real, tfs_real(value));
  return *this;
}

void TfsWriter::end_row() {
  if (cells_ != columns_.size()) {
    std::fprintf(stderr, "vorax: table %s: a row of %zu cells for %zu columns\n", path_.c_str(),
                 cells_, columns_.size());
    std::abort();
  }
  put(row_ + "\n");
  row_.clear();
  cells_ = 0;
}

} // namespace vorax

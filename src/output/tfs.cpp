// The TFS table writer.
#include "output/tfs.h"

#include "common/units.h"

#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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
  status_at_ = static_cast<long>(header.lines().size() + status.size()) - 1 -
               static_cast<long>(STATUS_INCOMPLETE.size());
  put(header.lines() + status + names + "\n" + formats + "\n");
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

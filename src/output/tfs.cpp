// The TFS table writer.
#include "output/tfs.h"

#include "common/units.h"

#include <cerrno>
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

TfsWriter::TfsWriter(const std::string &path, const TfsHeader &header,
                     std::span<const TfsColumn> columns)
    : path_(path), columns_(columns.begin(), columns.end()) {
  file_ = std::fopen(path.c_str(), "w");
  if (!file_)
    end_on_output_failure("the table " + path + ": " + std::strerror(errno));
  std::string names = "*", formats = "$";
  for (const TfsColumn &c : columns_) {
    names += tfs_cell(c.name);
    formats += tfs_cell(tfs_format(c.type));
  }
  put(header.lines() + names + "\n" + formats + "\n");
}

TfsWriter::~TfsWriter() {
  if (file_)
    std::fclose(file_);
}

void TfsWriter::put(const std::string &text) {
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::ferror(file_)) {
    const int error = errno;
    std::fclose(file_);
    file_ = nullptr;
    end_on_output_failure("the table " + path_ + ": " + std::strerror(error));
  }
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

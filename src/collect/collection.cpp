// The tables of many runs as one.
#include "collect/collection.h"

#include "common/tfs_format.h"

namespace vorax::collect {

namespace {

std::string header_text(const TfsTable &t, std::string_view name) {
  const TfsEntry *e = t.find(name);
  return e ? e->value : "";
}

std::string kind_of(const TfsTable &t) {
  return header_text(t, "NAME") + " of type " + header_text(t, "TYPE");
}

std::string column_text(const std::string &name, const std::string &format) {
  return name + " " + format;
}

// Why table b's columns differ from the pattern a's, or an empty text.
std::string columns_differ(const TfsTable &a, const TfsTable &b) {
  if (a.columns.size() != b.columns.size())
    return std::to_string(b.columns.size()) + " columns, not " + std::to_string(a.columns.size());
  for (std::size_t c = 0; c < a.columns.size(); ++c)
    if (a.columns[c] != b.columns[c] || a.formats[c] != b.formats[c])
      return "column " + std::to_string(c + 1) + " " + column_text(b.columns[c], b.formats[c]) +
             ", not " + column_text(a.columns[c], a.formats[c]);
  return "";
}

bool numeric_header(const TfsEntry &e) {
  return e.type != TfsType::text && !is_identity_header(e.name);
}

// Why table b's numeric headers differ from the pattern a's, or an empty text.
std::string headers_differ(const TfsTable &a, const TfsTable &b) {
  for (const TfsEntry &e : a.header)
    if (numeric_header(e)) {
      const TfsEntry *other = b.find(e.name);
      if (!other || !numeric_header(*other))
        return "no number " + e.name;
      if (other->type != e.type)
        return e.name + " of format " + other->format + ", not " + e.format;
    }
  for (const TfsEntry &e : b.header)
    if (numeric_header(e) && !a.find(e.name))
      return "a number " + e.name + " that the others lack";
  return "";
}

// Header lines the collected table writes itself, never copied from a run.
bool own_header(std::string_view name) {
  return name == "NAME" || name == "TYPE" || name == "ORIGIN" || name == "RUNS" ||
         name == "RUNS_LEFT_OUT" || name == "COLLECTED" || is_identity_header(name);
}

} // namespace

std::string collect_runs(std::vector<RunTable> runs, Mode mode, Collection &out) {
  out = Collection{};
  out.mode = mode;
  if (runs.empty())
    return "no table to collect";
  const RunTable &first = runs.front();
  for (const RunTable &r : runs) {
    if (kind_of(r.table) != kind_of(first.table))
      return r.file + ": a table " + kind_of(r.table) + ", not " + kind_of(first.table) + " as " +
             first.file;
    const std::string why = mode == Mode::rows ? columns_differ(first.table, r.table)
                                               : headers_differ(first.table, r.table);
    if (!why.empty())
      return r.file + ": " + why + " as in " + first.file;
  }
  out.kind_name = header_text(first.table, "NAME");
  out.kind_type = header_text(first.table, "TYPE");

  std::vector<std::vector<IdentityValue>> identities;
  for (const RunTable &r : runs)
    identities.push_back(r.identity);
  const std::vector<IdentityColumn> identity = identity_columns(identities);
  for (const IdentityColumn &c : identity) {
    out.columns.push_back(c.name);
    out.types.push_back(c.type);
  }
  out.identity_count = identity.size();
  if (mode == Mode::rows) {
    out.columns.insert(out.columns.end(), first.table.columns.begin(), first.table.columns.end());
    out.types.insert(out.types.end(), first.table.types.begin(), first.table.types.end());
  } else {
    for (const TfsEntry &e : first.table.header)
      if (numeric_header(e)) {
        out.columns.push_back(e.name);
        out.types.push_back(e.type);
      }
  }
  // A table that already holds a column of the identity (a collected table collected again)
  // would leave two columns of one name.
  for (std::size_t c = out.identity_count; c < out.columns.size(); ++c)
    for (std::size_t i = 0; i < out.identity_count; ++i)
      if (out.columns[c] == out.columns[i])
        return first.file + ": its column " + out.columns[c] +
               " has the name of an identity column";

  for (const RunTable &r : runs) {
    out.identity_cells_.push_back(identity_cells(identity, r.file, r.identity));
    std::vector<std::size_t> entries;
    if (mode == Mode::headers)
      for (std::size_t c = out.identity_count; c < out.columns.size(); ++c)
        entries.push_back(
            static_cast<std::size_t>(r.table.find(out.columns[c]) - r.table.header.data()));
    out.header_entries_.push_back(std::move(entries));
  }
  // Header lines alike in every run describe the collection as a whole (the title, a length);
  // those that differ are results of the runs, which the headers mode collects.
  for (const TfsEntry &e : first.table.header) {
    if (own_header(e.name) || (mode == Mode::headers && numeric_header(e)))
      continue;
    bool alike = true;
    for (const RunTable &r : runs) {
      const TfsEntry *other = r.table.find(e.name);
      alike = alike && other && other->format == e.format && other->value == e.value;
    }
    if (alike)
      out.shared_header.push_back(e);
  }
  out.runs = std::move(runs);
  return "";
}

std::size_t Collection::rows() const {
  if (mode == Mode::headers)
    return runs.size();
  std::size_t n = 0;
  for (const RunTable &r : runs)
    n += r.table.rows;
  return n;
}

std::string_view Collection::cell(std::size_t run, std::size_t row, std::size_t column) const {
  if (column < identity_count)
    return identity_cells_[run][column];
  if (mode == Mode::headers)
    return runs[run].table.header[header_entries_[run][column - identity_count]].value;
  return runs[run].table.cell(row, column - identity_count);
}

std::vector<double> Collection::values(std::size_t column) const {
  std::vector<double> out;
  for (std::size_t run = 0; run < runs.size(); ++run) {
    const std::size_t n = mode == Mode::headers ? 1 : runs[run].table.rows;
    for (std::size_t row = 0; row < n; ++row)
      out.push_back(number_of(cell(run, row, column)));
  }
  return out;
}

std::string Collection::tfs(std::size_t left_out) const {
  std::string text = tfs_header_line("NAME", "%s", tfs_text(kind_name));
  text += tfs_header_line("TYPE", "%s", tfs_text(kind_type));
  text += tfs_header_line("ORIGIN", "%s", tfs_text("VORAX-COLLECT 1.01"));
  text += tfs_header_line("COLLECTED", "%s", tfs_text(mode == Mode::rows ? "ROWS" : "HEADERS"));
  text += tfs_header_line("RUNS", "%d", std::to_string(runs.size()));
  text += tfs_header_line("RUNS_LEFT_OUT", "%d", std::to_string(left_out));
  for (const TfsEntry &e : shared_header)
    text +=
        tfs_header_line(e.name, e.format, e.type == TfsType::text ? tfs_text(e.value) : e.value);
  text += '*';
  for (const std::string &c : columns)
    text += tfs_cell(c);
  text += "\n$";
  for (TfsType t : types)
    text += tfs_cell(tfs_format(t));
  text += '\n';
  for (std::size_t run = 0; run < runs.size(); ++run) {
    const std::size_t n = mode == Mode::headers ? 1 : runs[run].table.rows;
    for (std::size_t row = 0; row < n; ++row) {
      for (std::size_t c = 0; c < columns.size(); ++c)
        text += tfs_cell(cell(run, row, c));
      text += '\n';
    }
  }
  return text;
}

} // namespace vorax::collect

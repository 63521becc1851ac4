// The identity of a run in its tables.
#include "collect/run_identity.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vorax::collect {

namespace {

constexpr std::string_view OVERRIDES = "RUN_SET";

void set_value(std::vector<IdentityValue> &out, IdentityValue v) {
  for (IdentityValue &old : out)
    if (old.name == v.name) {
      old = std::move(v);
      return;
    }
  out.push_back(std::move(v));
}

int rank(TfsType type) {
  return type == TfsType::integer ? 0 : type == TfsType::real ? 1 : 2;
}

} // namespace

bool is_identity_header(std::string_view name) {
  return name.starts_with("RUN_");
}

TfsType kind_of_value(std::string_view text) {
  const std::string s(text);
  // Only what reads as a number in a deck counts: no "nan", "inf" or hexadecimal.
  if (s.empty() || s.find_first_not_of("+-.0123456789Ee") != std::string::npos)
    return TfsType::text;
  char *end = nullptr;
  errno = 0;
  (void)std::strtoll(s.c_str(), &end, 10);
  if (end == s.c_str() + s.size() && errno == 0)
    return TfsType::integer;
  const double x = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && std::isfinite(x) ? TfsType::real : TfsType::text;
}

std::string identity_of(const TfsTable &table, std::vector<IdentityValue> &out) {
  out.clear();
  for (const TfsEntry &e : table.header) {
    if (!is_identity_header(e.name))
      continue;
    if (e.name != OVERRIDES) {
      set_value(out, {e.name, e.value, e.type});
      continue;
    }
    // The overrides in the order the run applied them: a NAME given twice took the later value.
    std::size_t p = 0;
    const std::string &v = e.value;
    while (p < v.size()) {
      if (v[p] == ' ') {
        ++p;
        continue;
      }
      std::size_t q = v.find(' ', p);
      if (q == std::string::npos)
        q = v.size();
      const std::string item = v.substr(p, q - p);
      const std::size_t equals = item.find('=');
      if (equals == 0 || equals == std::string::npos)
        return "its " + std::string(OVERRIDES) + " holds \"" + item + "\", not NAME=VALUE";
      const std::string value = item.substr(equals + 1);
      set_value(out, {"SET_" + item.substr(0, equals), value, kind_of_value(value)});
      p = q;
    }
  }
  return "";
}

std::vector<IdentityColumn> identity_columns(const std::vector<std::vector<IdentityValue>> &runs) {
  std::vector<IdentityColumn> columns{{"FILE", TfsType::text}};
  std::vector<std::size_t> given(1, runs.size()); // FILE, given by every run
  for (const std::vector<IdentityValue> &run : runs)
    for (const IdentityValue &v : run) {
      std::size_t c = 1;
      while (c < columns.size() && columns[c].name != v.name)
        ++c;
      if (c == columns.size()) {
        columns.push_back({v.name, v.type});
        given.push_back(0);
      } else if (rank(v.type) > rank(columns[c].type)) {
        columns[c].type = v.type;
      }
      ++given[c];
    }
  for (std::size_t c = 1; c < columns.size(); ++c)
    if (given[c] < runs.size() && columns[c].type == TfsType::integer)
      columns[c].type = TfsType::real; // an integer column has no way to say "not given"
  return columns;
}

std::vector<std::string> identity_cells(const std::vector<IdentityColumn> &columns,
                                        const std::string &file,
                                        const std::vector<IdentityValue> &identity) {
  std::vector<std::string> cells{tfs_text(file)};
  for (std::size_t c = 1; c < columns.size(); ++c) {
    const IdentityValue *v = nullptr;
    for (const IdentityValue &candidate : identity)
      if (candidate.name == columns[c].name)
        v = &candidate;
    switch (columns[c].type) {
    case TfsType::text:
      cells.push_back(tfs_text(v ? v->value : ""));
      break;
    case TfsType::integer:
      cells.push_back(std::to_string(std::strtoll(v->value.c_str(), nullptr, 10)));
      break;
    case TfsType::real:
      cells.push_back(v ? tfs_real(std::strtod(v->value.c_str(), nullptr)) : "nan");
      break;
    }
  }
  return cells;
}

} // namespace vorax::collect

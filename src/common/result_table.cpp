// A table of results as the operations fill it.
#include "common/result_table.h"

namespace vorax {

ResultTable::ResultTable(std::string_view operation, std::string_view type, std::string_view part)
    : operation_(operation), type_(type), part_(part) {}

ResultTable &ResultTable::text(std::string_view name, std::string_view value) {
  header_.push_back({std::string(name), {TfsType::text, std::string(value), 0.0}});
  return *this;
}

ResultTable &ResultTable::integer(std::string_view name, long long value) {
  header_.push_back({std::string(name), {TfsType::integer, {}, static_cast<double>(value)}});
  return *this;
}

ResultTable &ResultTable::real(std::string_view name, double value) {
  header_.push_back({std::string(name), {TfsType::real, {}, value}});
  return *this;
}

ResultTable &ResultTable::column(std::string_view name, TfsType type) {
  columns_.push_back({std::string(name), {type, {}, 0.0}});
  return *this;
}

ResultTable &ResultTable::cell(std::string_view text) {
  cells_.push_back({TfsType::text, std::string(text), 0.0});
  return *this;
}

ResultTable &ResultTable::cell(int value) {
  cells_.push_back({TfsType::integer, {}, static_cast<double>(value)});
  return *this;
}

ResultTable &ResultTable::cell(double value) {
  cells_.push_back({TfsType::real, {}, value});
  return *this;
}

} // namespace vorax

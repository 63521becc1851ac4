// Conversion of the used beam line into the engine tables.
#pragma once

#include <array>
#include <cstddef>

namespace vorax {

// The data slots of one element in the engine's layout, written by slot name.
struct ElementSlots {
  static constexpr int MATRIX_TERMS = 6 * 27; // R and T attributes of MATRIX, after L
  static constexpr int MAX_SLOTS = 1 + 2 * MATRIX_TERMS;
  std::array<double, MAX_SLOTS> v{};
  int n = 0;
  // Slots 1..count, all 0.
  void start(int count) {
    n = count;
    for (int j = 0; j < count; ++j)
      v[static_cast<std::size_t>(j)] = 0.0;
  }
  double &operator()(int j) { return v[static_cast<std::size_t>(j - 1)]; }
  // Appends one slot (MULTIPOL and MATRIX grow term by term).
  void put(double x) { v[static_cast<std::size_t>(n++)] = x; }
};

// The slots and the engine kind code of front-end element entry e from the present attribute
// values (the parameters evaluated), as the conversion writes them.
int element_slots(int entry, ElementSlots &slots);

void vxmatd();

} // namespace vorax

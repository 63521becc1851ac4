// The area registry: every global area registers itself once, on the line after its
// declaration, and reset_all_areas() puts each back to its program-start values in place. The
// engine defaults that a fresh engine entry sets are registered the same way, by the folder
// whose area they set.
#pragma once

#include <memory>
#include <type_traits>

namespace vorax {

// Puts an area back to its program-start values where it lives: it is destroyed and built
// afresh by its default constructor in the same storage, so that no copy of it, however large,
// is ever made on the stack.
template <class Area> void reset_in_place(Area &area) {
  std::destroy_at(&area);
  std::construct_at(&area);
}

// The reset of one area, and whether the area holds tables sized by the machine limits: an area
// says so with a member "static constexpr bool machine_sized = true;".
struct AreaReset {
  void (*reset)();
  bool machine_sized;
};
template <class Area> inline constexpr bool holds_machine_tables = requires {
  requires Area::machine_sized;
};

template <auto &area>
inline constexpr AreaReset reset_area{[] { reset_in_place(area); },
                                      holds_machine_tables<std::remove_cvref_t<decltype(area)>>};

// A registration made during static initialisation: the line after an area's declaration,
//   inline Control control;
//   inline const AreaRegistration control_registration{reset_area<control>};
// so that no reset can miss an area that any part of the program uses.
class AreaRegistration {
public:
  explicit AreaRegistration(AreaReset reset);
  explicit AreaRegistration(void (*reset)()) : AreaRegistration(AreaReset{reset, false}) {}
};

// Every area back to its program-start values, the units closed and unbound (used by the
// tests before each run).
void reset_all_areas();

// Sets the machine limits of the run for max_positions element positions
// (limits_for_positions, common/limits.h) and builds every area that holds tables sized by them
// afresh at those sizes. The program calls it once, before anything is read; the areas keep
// their size through every later reset.
void size_machine_tables(int max_positions);

// The defaults of a fresh engine entry: settings that the operations change and that a new
// run starts from. Each function sets its own areas only, so their order does not matter.
class EngineDefaultsRegistration {
public:
  explicit EngineDefaultsRegistration(void (*set_defaults)());
};

// Sets every registered engine default (the engine start at a fresh entry).
void set_engine_defaults();

} // namespace vorax

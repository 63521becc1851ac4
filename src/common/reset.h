// The area registry: every global area registers itself once, on the line after its
// declaration, and reset_all_areas() puts each back to its program-start values in place. The
// engine defaults that a fresh engine entry sets are registered the same way, by the folder
// whose area they set.
#pragma once

#include <memory>

namespace vorax {

// Puts an area back to its program-start values where it lives: it is destroyed and built
// afresh by its default constructor in the same storage, so that no copy of it, however large,
// is ever made on the stack.
template <class Area> void reset_in_place(Area &area) {
  std::destroy_at(&area);
  std::construct_at(&area);
}

template <auto &area> void reset_area() {
  reset_in_place(area);
}

// A registration made during static initialisation: the line after an area's declaration,
//   inline Control control;
//   inline const AreaRegistration control_registration{reset_area<control>};
// so that no reset can miss an area that any part of the program uses.
class AreaRegistration {
public:
  explicit AreaRegistration(void (*reset)());
};

// Every area back to its program-start values, the units closed and unbound (used by the
// tests before each run).
void reset_all_areas();

// The defaults of a fresh engine entry: settings that the operations change and that a new
// run starts from. Each function sets its own areas only, so their order does not matter.
class EngineDefaultsRegistration {
public:
  explicit EngineDefaultsRegistration(void (*set_defaults)());
};

// Sets every registered engine default (the engine start at a fresh entry).
void set_engine_defaults();

} // namespace vorax

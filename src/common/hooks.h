// The one shape of a call from a lower folder into a higher one. The lower folder declares its
// seam, a struct of plain function pointers, each with the documented behaviour when it is left
// empty, and calls through whatever is installed; the higher folder installs its functions. No
// virtual call and no std::function: a seam may be consulted inside a particle loop.
#pragma once

namespace vorax {

template <class Hooks> class Seam {
public:
  // The hooks in force: all empty until a higher folder installs its own.
  const Hooks &hooks() const { return installed_; }

  // Installs hooks for the rest of the run: the program's wiring at its start.
  void install(const Hooks &hooks) { installed_ = hooks; }

  // Installs hooks for a scope and puts the previous ones back at its end, also when the run
  // ends through the error stop inside it: a fit watching the machine pass while it evaluates.
  class Scope {
  public:
    Scope(Seam &seam, const Hooks &hooks) : seam_(seam), previous_(seam.installed_) {
      seam.installed_ = hooks;
    }
    ~Scope() { seam_.installed_ = previous_; }
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

  private:
    Seam &seam_;
    Hooks previous_;
  };

private:
  Hooks installed_{};
};

} // namespace vorax

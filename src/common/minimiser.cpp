// The minimiser's precision constants (dpmpar, exported from the program so that the shared
// minimiser library binds to it) and the report of its termination code.
#include "common/minimiser.h"

#include "common/control.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/units.h"

#include <cminpack.h>

#include <array>
#include <string>

// The shared library reaches dpmpar through its procedure linkage table; the program's own
// definition, exported with --export-dynamic-symbol, takes precedence over the library's.
// It shares this object with lmdmes, so every program that runs a minimisation carries it.
extern "C" double dpmpar(int i) {
  switch (i) {
  case 1:
    return vorax::MINIMISER_EPSMCH;
  case 2:
    return vorax::MINIMISER_DWARF;
  case 3:
    return vorax::MINIMISER_GIANT;
  default:
    return 0.0;
  }
}

namespace vorax {

namespace {

void say(const std::string &text) {
  write_record(control.output_unit, text);
}

void calls(int nfev) {
  say(" THE NUMBER OF FUNCTION CALLS WAS : " + fI(nfev, 6));
}

// Texts of termination codes 1..8.
constexpr std::array<const char *, 8> endings{{
    " LMDIF: ACTUAL AND PREDICTED REDUCTIONS IN THE SUM OF SQUARES ARE AT MOST FTOL",
    " LMDIF: RELATIVE ERROR BETWEEN TWO CONSECUTIVE ITERATES IS AT MOST XTOL",
    " LMDIF: THIS IS YOUR LUCKY DAY!",
    " LMDIF: THE COSINE OF THE ANGLE BETWEEN FVEC AND ANY      COLUMN OF THE JACOBIAN IS AT "
    "MOST GTOL IN ABSOLUTE VALUE",
    " LMDIF: NUMBER OF CALLS TO FUNCTION HAS MET OR EXCEEDED MAXFEV",
    " LMDIF: FTOL IS TOO SMALL, NO FURTHER REDUCTION IN THE SUM OF SQUARES IS POSSIBLE",
    " LMDIF: XTOL IS TOO SMALL, NO FURTHER REDUCTION IN THE SUM OF SQUARES IS POSSIBLE",
    " LMDIF: GTOL IS TOO SMALL. FVEC IS ORTHOGONAL TO THE COLUMNS OF THE JACOBIAN TO MACHINE "
    "PRECISION",
}};

} // namespace

void lmdmes(int info, int nfev) {
  if (info == 0) {
    say(" LMDIF: IMPROPER INPUT PARAMETERS: ");
    calls(nfev);
    halt(310);
    throw RunEnd{310};
  }
  if (control.print_level <= 2)
    return;
  if (info >= 1 && info <= 8)
    say(endings[static_cast<std::size_t>(info - 1)]);
  else // the residual function never asks to stop, so this is a library fault
    say(" LMDIF: UNEXPECTED TERMINATION CODE " + fI(info, 6));
  calls(nfev);
}

} // namespace vorax

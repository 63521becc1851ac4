// The element procedures of a COSY script, written from an element's data slots: the COSY
// command writes them from the lattice tables, the COSY operation from the engine tables with
// an error variable after every field value.
#pragma once

#include "common/table.h"

#include <string>

namespace vorax {

inline constexpr int COSY_ERROR_VARIABLES = 30; // erv(1..30) of the operation's script

// One element as the script sees it: its keyword (the element-table code 1..30), its name and
// its data slots in the engine's layout.
struct CosyElement {
  int keyword = 0;
  Name8 name;
  const double *slots = nullptr; // slot j is slots[j - 1]
  int count = 0;
  // A bend with field errors: with error variables its general dipole is the active procedure
  // and the homogeneous one is kept in comment braces.
  bool general_dipole = false;
  // The data slots that field errors change (bit j for slot j): the lengths, angles and shifts
  // among them, which carry no error variable otherwise, then carry one in the procedure.
  unsigned error_slots = 0;
  double slot(int j) const { return j >= 1 && j <= count ? slots[j - 1] : 0.0; }
  bool has_error(int j) const { return j >= 1 && j < 32 && (error_slots >> j & 1u) != 0; }
};

// The values of an element's procedure that carry an error variable in the operation's
// script: value(k) is written followed by "+erv(k)" where used(k).
struct CosyFields {
  Table<double, 1, COSY_ERROR_VARIABLES> value;
  Table<bool, 1, COSY_ERROR_VARIABLES> used;
};

// The seven values of a kick in the order the script writes them: DX, DXP, DY, DYP, DL,
// ANGLE (radians, in the sense of the standard convention), DP.
struct CosyKick {
  double value[7] = {};
};

// Writes the element's procedure on the unit. units is the convention of its data (0, 1, 2);
// with error variables (the operation's form) every field value is followed by its erv and
// kinds without a COSY form say so in a comment.
void write_cosy_procedure(int unit, const CosyElement &element, int units, bool error_variables);

// The values that carry error variables (none for most kinds).
CosyFields cosy_fields(const CosyElement &element, int units);

// The kick piece " gkin " (or " gkout ") with its four values, a line break and its three
// values: the two records.
void write_cosy_kick(int unit, const char *word, const CosyKick &kick, const char *end);

// The element-table keyword whose procedure the operation writes for an engine kind.
int cosy_keyword_of_kind(int kode);

} // namespace vorax

// Misalignments: the list of elements that may be misaligned (MISA), the selection of elements
// and position ranges (SETM), the displacements of a misaligned position (mischk), the
// transforms of a particle into and out of the displaced element (mset, mreset), and the
// report and saved set of SHOM.
#pragma once

#include "common/limits.h"
#include "common/reset.h"
#include "common/table.h"
#include "track/element_frames.h"

namespace vorax {

inline constexpr int MISALIGNMENT_VALUES = 8; // m1..m8 of one element; m8 is the type
inline constexpr int MISALIGNMENT_AMPLITUDES = 7;
// Position ranges of one selected element: as many (first, last) pairs as one record of
// operation data carries, so that no range count the reader accepts is cut.
inline constexpr int MAX_RANGES = NINPUT / 2;

// The positions an element is selected at: count 0 every position, -1 none, n >= 1 the n
// ranges first(i) <= p <= last(i).
struct PositionRanges {
  int count = 0;
  Table<int, 1, MAX_RANGES> first;
  Table<int, 1, MAX_RANGES> last;
  bool covers(int position) const;
};

// The MISA list, the SETM selection and the switches.
struct Mis {
  int list_count = 0;
  Table<int, 1, MXMIS> list_element;
  Matrix<double, MISALIGNMENT_VALUES, MXMIS> list_values; // (value, entry)
  int random_option = 0; // r of SETM, 0..4 once a table-mode 10 is taken off
  // The selection holds element numbers; the amplitudes are taken from the element's first
  // entry in the MISA list when they are drawn, so that a new MISA list serves the selection.
  int selected_count = 0;
  Table<int, 1, MXMIS> selected_element;
  Table<PositionRanges, 1, MXMIS> selected_ranges;
  bool active = false; // SETM has switched misalignments on
  bool here = false;   // the position last checked is misaligned
};
inline Mis mis;
inline const AreaRegistration mis_registration{reset_area<mis>};

// One misaligned position as it was drawn: type, amplitudes a1..a7 and displacements.
struct MisalignedPosition {
  int position = 0;
  int element = 0;
  int type = 0;
  Table<double, 1, MISALIGNMENT_AMPLITUDES> amplitude;
  Displacements at;
};

// The position being tracked and its displacements, read by mset and mreset.
struct Misset {
  MisalignedPosition current;
};
inline Misset misset;
inline const AreaRegistration misset_registration{reset_area<misset>};

// A set saved by SHOM -1, held by position: while it holds positions, tracking replays their
// saved values instead of the drawn ones.
struct Missav {
  static constexpr bool machine_sized = true;
  int count = 0;
  MachineTable<bool> saved{machine_limits().maxpos};
  MachineTable<MisalignedPosition> entry{machine_limits().maxpos, WrittenBeforeRead{}}; // if saved
  bool extend = false; // a SETM has come since the save
};
inline Missav missav;
inline const AreaRegistration missav_registration{reset_area<missav>};

// The bend terms of a misaligned bend: the orbit of the bend rolled by psi differs from the
// design orbit by (bx, by) in position and (ax, ay) in angle at the reference point of the
// misalignment type.
struct BendTerms {
  double ax = 0.0, ay = 0.0, bx = 0.0, by = 0.0;
};

void misdat(int code, int &end_flag); // MISA
void setmis(int code, int &end_flag); // SETM
void shomis(int code, int &end_flag); // SHOM

// Is the position (holding the element) misaligned? Draws its amplitudes on the misalignment
// stream when it is selected, replays the saved values when a saved set holds it, and keeps
// the result in misset for mset and mreset.
bool mischk(int position, int element);
// The six coordinates into the displaced element's frame, and back out of it.
void mset(double z[6]);
void mreset(double z[6]);

// The bend terms of a bend of the given length, angle and tilt (radians, the tilt as the maps
// take it) rolled by psi, for misalignment type 1 (about the entry) or 2 and 3 (about the
// middle). Finite and continuous at angle 0 and at length 0.
BendTerms bend_terms(int type, double length, double angle, double tilt, double psi);
// The displacements of type 1..4 over an element of the given length.
Displacements displacements(int type, double length,
                            const Table<double, 1, MISALIGNMENT_AMPLITUDES> &a,
                            const BendTerms &bend);

// Draws the misalignment of the position from the SETM selection (false when it is not
// selected there); the stream and the stops as mischk. SHOM walks the machine with it.
bool draw_misalignment(int position, int element, MisalignedPosition &drawn);
// The saved values of the position, or nullptr.
const MisalignedPosition *saved_misalignment(int position);

// A fresh engine entry: lists, selections and saved set belong to the machine they were given
// for, and are cleared.
void clear_misalignments();
inline const EngineDefaultsRegistration misalignment_defaults_registration{clear_misalignments};

} // namespace vorax

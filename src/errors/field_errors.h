// Field errors: the list of elements with errors on named parameters (ERRO), the selection of
// elements and ranges with the random option (SETE) and its factor file, and the application of
// the errors at a tracked position (eset) with the exact restoration of the design (ereset).
#pragma once

#include "common/limits.h"
#include "common/reset.h"
#include "common/table.h"
#include "common/transfer_map.h"
#include "errors/misalignments.h"

namespace vorax {

inline constexpr int ERROR_ELEMENTS = 50; // elements of the ERRO list
inline constexpr int ERROR_PAIRS = 25;    // (parameter, error) pairs of one element
inline constexpr int FACTOR_FILE_UNIT = 7;

// The ERRO list, the SETE selection and the switch.
struct Cerr {
  int list_count = 0;
  Table<int, 1, ERROR_ELEMENTS> list_element;
  Table<int, 1, ERROR_ELEMENTS> pair_count;
  Matrix<int, ERROR_PAIRS, ERROR_ELEMENTS> slot;       // (pair, entry): the element's slot
  Matrix<double, ERROR_PAIRS, ERROR_ELEMENTS> value;   // the error value given
  Matrix<double, ERROR_PAIRS, ERROR_ELEMENTS> applied; // its factor times it, last applied
  int random_option = 0; // r of SETE, 0..5 once a table-mode 10 is taken off
  // The selection holds element numbers; the pairs are those of the element's first entry in
  // the ERRO list when they are applied.
  int selected_count = 0;
  Table<int, 1, ERROR_ELEMENTS> selected_element;
  Table<PositionRanges, 1, ERROR_ELEMENTS> selected_ranges;
  bool active = false; // SETE has switched field errors on
};
inline Cerr cerr;
inline const AreaRegistration cerr_registration{reset_area<cerr>};

// The error factors of random option 5, read from the factor file by SETE.
struct Errsrt {
  Table<double, 1, MAXERR> factor;
  int count = 0;
  int next = 1;       // the next factor to use; 1 at the start of every tracked turn
  int saved_next = 1; // kept between partial tracking passes
};
inline Errsrt errsrt;
inline const AreaRegistration errsrt_registration{reset_area<errsrt>};

// What eset changed at the present position, for ereset to put back bit for bit: the data slots
// in the order they were changed (each with its value before) and the map record.
struct Ersav {
  int changes = 0;
  Table<int, 1, ERROR_PAIRS + 1> address; // index into the element data
  Table<double, 1, ERROR_PAIRS + 1> before;
  TransferMap map;
  int map_slot = 0;
  bool applied_here = false;
  bool map_saved = false;
};
inline Ersav ersav;
inline const AreaRegistration ersav_registration{reset_area<ersav>};

// The current linac energies as they were before a cavity with errors changed them in the
// present pass.
struct Linsav {
  static constexpr bool machine_sized = true;
  bool saved = false;
  MachineTable<double> ereal{machine_limits().maxpos};
};
inline Linsav linsav;
inline const AreaRegistration linsav_registration{reset_area<linsav>};

void errdat(int code, int &end_flag); // ERRO
void seterr(int code, int &end_flag); // SETE
void shoerr(int code, int &end_flag); // SHOE: no effect

// Applies the field errors of the element at the position and, for a quadrupole in a linac, the
// scaling of K1 to the actual momentum; rebuilds the element's map where its tracking reads
// one. True when anything was changed: ereset then restores it.
bool eset(int position, int element, int map_slot);
void ereset(int element, int map_slot);

// Reads the factor file (unit 7, FOR007.DAT unless the deck opened another file on it).
void read_factor_file();

// A fresh engine entry clears the lists, selections and switches: they name elements and
// positions of the machine they were given for.
void clear_field_errors();
inline const EngineDefaultsRegistration field_error_defaults_registration{clear_field_errors};

} // namespace vorax

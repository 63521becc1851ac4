// The engine tables that the conversion of the used beam line fills and every engine operation
// reads: the machine sequence, the distinct elements with their data slots, names and lengths,
// and the per-element and per-position tables the engine derives at entry.
#pragma once

#include "common/limits.h"
#include "common/name_index.h"
#include "common/reset.h"
#include "common/table.h"
#include "common/transfer_map.h"

namespace vorax {

// Engine kind codes.
enum Kode : int {
  KODE_DRIFT = 0,
  KODE_BEND = 1,
  KODE_QUAD = 2,
  KODE_SEXT = 3,
  KODE_QUADSEXT = 4,
  KODE_MULTIPOL = 5,
  KODE_COLLIMAT = 6,
  KODE_RFCAVITY = 7,
  KODE_GKICK = 8,
  KODE_MTWISS = 9,
  KODE_MATRIX = 10,
  KODE_ARBITRAR = 12,
  KODE_MONITOR = 13,
  KODE_SOLENOID = 15,
  KODE_LCAVITY = 17,
  KODE_HCOLLIMA = 18,
  KODE_QUADAC = 19,
  KODE_TARVOCAV = 20,
};

// Distinct elements: kind, first data slot, data slots.
struct Inputt {
  static constexpr bool machine_sized = true;
  MachineTable<int> kode{machine_limits().mxelmd};
  MachineTable<int> iadr{machine_limits().mxelmd + 1};
  MachineTable<double> eldata{machine_limits().maxdat};
  int nelm = 0;
  int eunits = 0;          // unit convention of the data: 0 standard, 1 LDF, 2 MERIDOXAN
  int real_kick_count = 0; // kicks whose matrices are computed as real kicks

  // Slot j (1-based) of element k.
  double &slot(int k, int j) { return eldata(iadr(k) + j - 1); }
  double slot(int k, int j) const { return eldata(iadr(k) + j - 1); }
};
inline Inputt inputt;
inline const AreaRegistration inputt_registration{reset_area<inputt>};

// Names and labels of the distinct elements, and the index of the names (elid and its kin).
struct Chinp {
  static constexpr bool machine_sized = true;
  MachineTable<Name8> elname{machine_limits().mxelmd};
  MachineTable<Label14> ellabel{machine_limits().mxelmd};
  NameIndex index{machine_limits().mxelmd}; // cleared when the conversion numbers the elements
};
inline Chinp chinp;
inline const AreaRegistration chinp_registration{reset_area<chinp>};

// Length L of every distinct element (0 for ROLL, ZROT and MARKER).
struct Lngth {
  static constexpr bool machine_sized = true;
  MachineTable<double> ellen{machine_limits().mxelmd};
};
inline Lngth lngth;
inline const AreaRegistration lngth_registration{reset_area<lngth>};

// The unnamed global area: the engine machine sequence, the stored element maps and the
// per-element and per-position tables derived at engine entry.
struct Blank {
  static constexpr bool machine_sized = true;
  MachineTable<int> mseq{machine_limits().maxpos};              // element number at each position
  MachineTable<TransferMap> maps{machine_limits().maxmat};      // map record of each matrix number
  MachineTable<int> matrix_number{machine_limits().mxelmd};     // 0: no stored map
  MachineTable<int> matrix_element{machine_limits().maxmat};    // the element of each record
  MachineTable<double> element_length{machine_limits().mxelmd}; // L (L + DZ for GKICK)
  MachineTable<double> path_length{machine_limits().maxpos};    // cumulative s after each position
  double machine_length = 0.0;
  // The first position of every element, found by the lookups when first asked; whoever writes
  // mseq sets first_positions_known to false.
  MachineTable<int> first_position{machine_limits().mxelmd};
  bool first_positions_known = false;
};
inline Blank blank;
inline const AreaRegistration blank_registration{reset_area<blank>};

} // namespace vorax

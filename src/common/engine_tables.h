// The engine tables that the conversion of the used beam line fills and every engine operation
// reads: the machine sequence, the distinct elements with their data slots, names and lengths,
// and the per-element and per-position tables the engine derives at entry.
#pragma once

#include "common/limits.h"
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
  Table<int, 1, MXELMD> kode;
  Table<int, 1, MXELMD + 1> iadr;
  Table<double, 1, MAXDAT> eldata;
  int nelm = 0;
  int eunits = 0;          // unit convention of the data: 0 standard, 1 LDF, 2 MERIDOXAN
  int real_kick_count = 0; // kicks whose matrices are computed as real kicks

  // Slot j (1-based) of element k.
  double &slot(int k, int j) { return eldata(iadr(k) + j - 1); }
  double slot(int k, int j) const { return eldata(iadr(k) + j - 1); }
};
inline Inputt inputt;
inline const AreaRegistration inputt_registration{reset_area<inputt>};

// Names and labels of the distinct elements.
struct Chinp {
  Table<Name8, 1, MXELMD> elname;
  Table<Label14, 1, MXELMD> ellabel;
};
inline Chinp chinp;
inline const AreaRegistration chinp_registration{reset_area<chinp>};

// Length L of every distinct element (0 for ROLL, ZROT and MARKER).
struct Lngth {
  Table<double, 1, MXELMD> ellen;
};
inline Lngth lngth;
inline const AreaRegistration lngth_registration{reset_area<lngth>};

// The unnamed global area: the engine machine sequence, the stored element maps and the
// per-element and per-position tables derived at engine entry.
struct Blank {
  Table<int, 1, MAXPOS> mseq;               // element number at each position
  Table<TransferMap, 1, MAXMAT> maps;       // map record of each matrix number
  Table<int, 1, MXELMD> matrix_number;      // 0: no stored map
  Table<double, 1, MXELMD> element_length;  // L (L + DZ for GKICK)
  Table<double, 1, MAXPOS> path_length;     // cumulative s after each position
  double machine_length = 0.0;
};
inline Blank blank;
inline const AreaRegistration blank_registration{reset_area<blank>};

} // namespace vorax

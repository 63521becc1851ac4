// The element table (elements, beam lines, formal arguments) and element definitions.
#pragma once

#include "common/limits.h"
#include "common/name_index.h"
#include "common/reset.h"
#include "common/table.h"

namespace vorax {

// Element keyword indices (the element table's kind; beam lines and formals use 0).
enum ElementKeyword : int {
  KW_DRIFT = 1,
  KW_RBEND,
  KW_SBEND,
  KW_WIGGLER,
  KW_QUADRUPO,
  KW_SEXTUPOL,
  KW_OCTUPOLE,
  KW_MULTIPOL,
  KW_SOLENOID,
  KW_RFCAVITY,
  KW_SEPARATO,
  KW_ROLL,
  KW_ZROT,
  KW_HKICK,
  KW_VKICK,
  KW_HMONITOR,
  KW_VMONITOR,
  KW_MONITOR,
  KW_MARKER,
  KW_ECOLLIMA,
  KW_RCOLLIMA,
  KW_QUADSEXT,
  KW_GKICK,
  KW_ARBITELM,
  KW_MTWISS,
  KW_MATRIX,
  KW_LCAVITY,
  KW_HCOLLIMA,
  KW_QUADAC,
  KW_TARVOCAV,
};
inline constexpr int ELEMENT_KEYWORDS = 30;

struct Elmdat {
  static constexpr bool machine_sized = true;
  int low_count = 0;
  int high_mark = machine_limits().maxelm + 1;
  MachineTable<int> kind{machine_limits().maxelm};  // keyword 1..30; 0 line or formal; -1 undefined
  MachineTable<int> first{machine_limits().maxelm}; // attribute nodes (beam lines: formal range)
  MachineTable<int> last{machine_limits().maxelm};
  MachineTable<int> list{machine_limits().maxelm}; // beam lines and formals: head cell of the body
  MachineTable<int> def_line{machine_limits().maxelm};
};
inline Elmdat elmdat;
inline const AreaRegistration elmdat_registration{reset_area<elmdat>};

struct Elmnam {
  static constexpr bool machine_sized = true;
  MachineTable<Name8> name{machine_limits().maxelm};
  MachineTable<Chars<4>> type{machine_limits().maxelm};
  MachineTable<Label14> label{machine_limits().maxelm};
  NameIndex index{machine_limits().maxelm}; // of the names 1..low_count
};
inline Elmnam elmnam;
inline const AreaRegistration elmnam_registration{reset_area<elmnam>};

// The 30 element keywords, in table order (index 1..30).
const Name8 &element_keyword(int index);
// The attribute list of a keyword: count, and name k = 1..count (attribute k of an element
// is its parameter node first + k - 1).
int attribute_count(int keyword);
const Name8 &attribute_name(int keyword, int k);

void elmdef(const Name8 &keyword, int keyword_length, const Name8 &name, int name_length);
void defpar(int count, const Name8 *names, int &first, int &last, int line);
void decpar(int first, int last, Chars<4> &type, Label14 &label, int &error);
int fndelm(int line, const Name8 &name);
// The named entry 1..low_count of the name, 0 when there is none (fndelm without the append).
int named_entry(const Name8 &name);

} // namespace vorax

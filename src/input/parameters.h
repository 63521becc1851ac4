// The parameter table: named parameters, element attributes, constants and intermediate
// results, stored as expression nodes and evaluated at conversion time.
#pragma once

#include "common/limits.h"
#include "common/name_index.h"
#include "common/reset.h"
#include "common/table.h"

#include <map>
#include <set>

namespace vorax {

// Node kinds.
enum ParKind : int {
  PAR_DEFAULT = -2, // element attribute still at its built-in flag default
  PAR_UNDEFINED = -1,
  PAR_CONSTANT = 0,
  PAR_ADD = 1,
  PAR_SUBTRACT = 2,
  PAR_MULTIPLY = 3,
  PAR_DIVIDE = 4,
  PAR_EQUALS = 11,
  PAR_NEGATE = 12,
  PAR_SQRT = 13,
  PAR_LOG = 14,
  PAR_EXP = 15,
  PAR_SIN = 16,
  PAR_COS = 17,
};

struct Pardat {
  static constexpr bool machine_sized = true;
  int low_count = 0;
  int high_mark = machine_limits().maxpar + 1;
  MachineTable<int> kind{machine_limits().maxpar};
  MachineTable<int> left{machine_limits().maxpar};
  MachineTable<int> right{machine_limits().maxpar};
  MachineTable<int> def_line{machine_limits().maxpar};
};
inline Pardat pardat;
inline const AreaRegistration pardat_registration{reset_area<pardat>};

struct Parnam {
  static constexpr bool machine_sized = true;
  MachineTable<Name8> name{machine_limits().maxpar};
  NameIndex index{machine_limits().maxpar}; // of the named parameters 1..low_count
};
inline Parnam parnam;
inline const AreaRegistration parnam_registration{reset_area<parnam>};

struct Parval {
  static constexpr bool machine_sized = true;
  MachineTable<double> value{machine_limits().maxpar};
};
inline Parval parval;
inline const AreaRegistration parval_registration{reset_area<parval>};

// Evaluation list: head, and link(i) = next node (0 ends).
struct Parlst {
  static constexpr bool machine_sized = true;
  int head = 0;
  MachineTable<int> link{machine_limits().maxpar};
};
inline Parlst parlst;
inline const AreaRegistration parlst_registration{reset_area<parlst>};

// Working stacks of the expression parser.
inline constexpr int STACK_DEPTH = 50;
struct Stack {
  int depth = 0;
  int operand_depth = 0;
  Table<int, 1, STACK_DEPTH> op;
  Table<int, 1, STACK_DEPTH> operand;
};
inline Stack stack;
inline const AreaRegistration stack_registration{reset_area<stack>};

// Parameters used in expressions before any definition: the line of the first use of each, and
// whether the terminal has told that it was never defined (once a run).
struct Paruse {
  std::map<int, int> first_use; // node -> line of the run
  std::set<int> told;
};
inline Paruse paruse;
inline const AreaRegistration paruse_registration{reset_area<paruse>};

// Notes a use of the parameter node on the line; then, after the evaluation, tells each used
// parameter that is still undefined (its value is 0).
void note_parameter_use(int node, int line);
void warn_undefined_parameters();

void param(const Name8 &label, int label_length, int form_flag);
void decexp(int target, int &error);
int fndpar(int line, const Name8 &name);
int parcon(int line, double value);
void opdef(int line);
// Puts the run's --set values in place of the deck's definitions (parord does it first).
void apply_parameter_overrides();
void parord(int &error);
void parevl();
void parprt(int node);

} // namespace vorax

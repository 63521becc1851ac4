// Helpers shared by SIMP and LEAS: reading element parameters from the operation data, writing
// varied values through their coupled lists and rebuilding the maps, the limit transformation,
// the classification of conditions, and the fit printout.
#pragma once

#include "common/table.h"
#include "fit/fit_areas.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace vorax {

// A count or code given as an operation-data value: truncated toward zero and kept within
// +-1e9, so that absurd data cannot overflow an integer.
int data_integer(double value);

// Operation data (echo mode 1): one name of up to 8 characters; exactly n numbers (n >= 1)
// into cintak.values.
Name8 read_data_name(int &end_flag);
void read_data_numbers(int n, int &end_flag);

// Reads an element name and a parameter name and resolves them (elid, vxpar).
ParameterRef read_parameter(int &end_flag, Name8 &element_name, Name8 &parameter_name);
// The parameter of the element at slot; stops with error 240 when the slot is not the
// element's.
ParameterRef parameter_ref(int element, int slot);
// L of any element, and DZ of a GKICK, enter the path lengths.
bool is_length_parameter(const ParameterRef &p);

// Elements whose parameters changed since their maps were last built.
struct ChangedElements {
  int count = 0;
  bool length = false;
  Table<int, 1, MXLVAR * MXDRIV> element;
  void add(int e);
};

// Writes value to the parameter when it differs from the stored one and notes the element.
void write_parameter(const ParameterRef &p, double value, ChangedElements &changed);
// Writes the varied value v through its list: each entry becomes coefficient * v + offset.
void write_coupled(const CoupledList &list, double v, ChangedElements &changed);
// Rebuilds the maps of the changed elements and, after a length change, the length tables.
void rebuild(ChangedElements &changed);
// Appends an entry to a coupled list; false when the list is full.
bool add_coupling(CoupledList &list, const Coupling &c);

// Varied value v with SETL limits lower < upper and margin s: unchanged inside the limits,
// and beyond them squeezed smoothly into the margin, so that the parameter stays within
// lower - s .. upper + s whatever the minimiser tries.
double limited_value(double v, double lower, double upper, double margin);

// What a condition code addresses.
enum class Source {
  periodic,           // 1..20, the periodic analysis
  lattice_end,        // 21..30
  lattice_fp1,        // 31..40
  beam_end,           // 41..61
  beam_fp1,           // 71..91
  map,                // R and T coefficients of the machine map
  lattice_difference, // 1031..1040
  beam_difference,    // 1071..1091
  tracking,           // 93..98, 271..278: detailed tracking
  geometry,           // 281..287: machine geometry at the end
  invalid,
};

struct Condition {
  Source source = Source::invalid;
  int index = 0;             // value index in fout
  bool second_order = false; // needs the second-order terms of the map
};

Condition classify_condition(int code);
// Value index of an R (k = 0) or T code ijk; 0 when the code names no coefficient.
int map_value_index(int code);
// Quantities 1..20 of the periodic analysis (analc), numbered as the condition codes.
double periodic_quantity(int code);
// Whether either plane failed the periodic analysis (unstable, half-trace 1, or no dispersion).
bool periodic_analysis_failed();

// Target schedules. SIMP step k of ns approach steps aims at 1/w of the remaining distance;
// LEAS iteration k aims at 1/d of it: a third at the first, half at the following ones, and
// the final targets from iteration n1 on.
inline int approach_divisor(int k, int ns) {
  return ns + 1 - k > 1 ? ns + 1 - k : 1;
}
inline int lsq_divisor(int k, int n1) {
  if (k >= n1)
    return 1;
  return k == 1 ? 3 : 2;
}

// The residual function of LEAS as the minimiser calls it (iflag is not used).
int fffct(void *data, int m, int n, const double *x, double *fvec, int iflag);

// Printing: a line on the listing; a line on the listing at print level >= 1 and on the echo
// file when it is open; the "  PARAMETER # " lines of every entry of a list likewise; values
// five to a line (E15.7).
void fit_say(const std::string &text);
void fit_report(const std::string &text);
void print_coupled(const CoupledList &list);
void print_values(const double *values, int n);

// Message lines on the listing, then the error stop.
[[noreturn]] void fit_stop(std::initializer_list<std::string> lines, int code);

// Terminal warnings of the fits: a tune target (codes 2, 12) of 1 or more, which the fractional
// tunes of the periodic analysis never reach; and targets left unmet when the fit ended (codes,
// values, targets and weights of `count` conditions; no weights: every condition counts).
void warn_total_tune_target(std::string_view fit, int code, double target);
bool target_met(double value, double target);
void warn_targets_unmet(std::string_view fit, std::string_view ending, int count, const int *codes,
                        const double *values, const double *targets, const double *weights);

} // namespace vorax

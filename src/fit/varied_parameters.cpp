// Varied element parameters of the fits: reading them from the operation data, writing values
// through coupled lists, rebuilding the affected maps, the limit transformation and the
// printout of fitted values.
#include "fit/fit_support.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/halt.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "common/terminal_report.h"
#include "common/units.h"
#include "engine/engine_start.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "maps/element_maps.h"

#include <cmath>

namespace vorax {

int data_integer(double value) {
  if (std::isnan(value))
    return 0;
  if (value <= -1e9)
    return -1000000000;
  if (value >= 1e9)
    return 1000000000;
  return static_cast<int>(value);
}

Name8 read_data_name(int &end_flag) {
  std::string name;
  int width = 8, count = 0;
  input(name, width, cintak.values.data(), 0, end_flag, count, 1);
  return Name8(name);
}

void read_data_numbers(int n, int &end_flag) {
  std::string name;
  int width = 0, count = n;
  input(name, width, cintak.values.data(), NINPUT, end_flag, count, 1);
}

ParameterRef parameter_ref(int element, int slot) {
  const int first = inputt.iadr(element);
  const int address = first + slot - 1;
  if (slot < 1 || address >= inputt.iadr(element + 1))
    fit_stop(
        {" PARAMETER #" + fI(slot, 4) + " IS NOT A PARAMETER OF " + chinp.elname(element).str()},
        240);
  return ParameterRef{element, slot, address};
}

ParameterRef read_parameter(int &end_flag, Name8 &element_name, Name8 &parameter_name) {
  element_name = read_data_name(end_flag);
  const int element = elid(element_name);
  parameter_name = read_data_name(end_flag);
  return parameter_ref(element, vxpar(element, parameter_name));
}

bool is_length_parameter(const ParameterRef &p) {
  return p.slot == slot::L || (inputt.kode(p.element) == KODE_GKICK && p.slot == slot::gkick::DZ);
}

void ChangedElements::add(int e) {
  for (int i = 1; i <= count; ++i)
    if (element(i) == e)
      return;
  element(++count) = e;
}

void write_parameter(const ParameterRef &p, double value, ChangedElements &changed) {
  double &slot = inputt.eldata(p.address);
  if (slot == value)
    return;
  slot = value;
  changed.add(p.element);
  if (is_length_parameter(p)) {
    changed.length = true;
    if (p.slot == slot::L)
      lngth.ellen(p.element) = value;
  }
}

void write_coupled(const CoupledList &list, double v, ChangedElements &changed) {
  for (int e = 1; e <= list.count; ++e) {
    const Coupling &c = list.entry(e);
    write_parameter(c.target, c.coefficient * v + c.offset, changed);
  }
}

void rebuild(ChangedElements &changed) {
  for (int i = 1; i <= changed.count; ++i) {
    const int e = changed.element(i);
    // Kinds without a stored map are composed from their data directly.
    if (blank.matrix_number(e) > 0)
      rebuild_design_map(e);
  }
  if (changed.length) {
    // leng reports the machine length at print level 2; a fit changes it at every
    // evaluation, and the listing should not carry a line for each.
    const int level = control.print_level;
    control.print_level = 0;
    leng();
    control.print_level = level;
  }
  changed.count = 0;
  changed.length = false;
}

bool add_coupling(CoupledList &list, const Coupling &c) {
  if (list.count == MXDRIV)
    return false;
  list.entry(++list.count) = c;
  return true;
}

double limited_value(double v, double lower, double upper, double margin) {
  // At a distance d past a limit the parameter is (limit -+ s) +- 2 s / (s^2 d + 2): the limit
  // itself at d = 0, tending to the outer edge of the margin as d grows. Both sides measure d
  // outward, so the denominator is never below 2 and the parameter moves outward monotonically.
  const double s2 = margin * margin;
  if (v <= lower) {
    const double d = lower - v;
    return (2.0 * lower + (lower - margin) * s2 * d) / (s2 * d + 2.0);
  }
  if (v >= upper) {
    const double d = v - upper;
    return (2.0 * upper + (upper + margin) * s2 * d) / (s2 * d + 2.0);
  }
  return v;
}

void fit_say(const std::string &text) {
  write_record(control.output_unit, text);
}

void fit_report(const std::string &text) {
  if (control.print_level >= 1)
    write_record(control.output_unit, text);
  if (control.echo_flag)
    write_record(control.echo_unit, text);
}

void print_coupled(const CoupledList &list) {
  for (int e = 1; e <= list.count; ++e) {
    const ParameterRef &p = list.entry(e).target;
    fit_report("  PARAMETER # " + fI(p.slot, 3) + " OF " + fA(chinp.elname(p.element).view(), 8) +
               " = " + fE(inputt.eldata(p.address), 22, 14));
  }
}

void print_values(const double *values, int n) {
  std::string line;
  for (int j = 0; j < n; ++j) {
    line += fE(values[j], 15, 7);
    if ((j + 1) % 5 == 0 || j + 1 == n) {
      fit_say(" " + line);
      line.clear();
    }
  }
}

void fit_stop(std::initializer_list<std::string> lines, int code) {
  for (const std::string &text : lines) {
    fit_say(text);
    note_operation_message(text);
  }
  halt(code);
  // The recoverable-error mode of orbit alignment lets halt return; a fit cannot go on.
  throw RunEnd{code};
}

} // namespace vorax

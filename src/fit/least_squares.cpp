// LEAS: least-squares fit of up to 50 element parameters to up to 100 weighted conditions with
// the Levenberg-Marquardt minimiser, approaching the targets over the first iterations.
#include "fit/fitting.h"

#include "common/control.h"
#include "common/engine_tables.h"
#include "common/format.h"
#include "common/minimiser.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "common/units.h"
#include "engine/engine_start.h"
#include "fit/fit_results.h"
#include "fit/fit_support.h"
#include "optics/lattice_functions.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"
#include "output/layout.h"

#include <cminpack.h>

#include <climits>
#include <cmath>
#include <string>

namespace vorax {

namespace {

double current_value(int j) {
  return fout.value(fitl.index(j));
}

// Fit function: rms of the weighted residuals relative to the rms weight.
double fit_function(const double *fvec) {
  if (fitl.weight_sum <= 0.0)
    return 0.0;
  double s = 0.0;
  for (int j = 0; j < fitl.nc; ++j)
    s += fvec[j] * fvec[j];
  return std::sqrt(s / fitl.weight_sum);
}

// The limit entry of SETL for the parameter, 0 when it has none; a later entry for the same
// parameter overrides an earlier one.
int limit_entry_of(const ParameterRef &p) {
  int found = 0;
  if (limit.flag)
    for (int e = 1; e <= limit.count; ++e)
      if (limit.element(e) == p.element && limit.slot(e) == p.slot)
        found = e;
  return found;
}

// SETL's lower limit, upper limit and margin; its fourth value has no use in the fit.
double limited(int i, double x) {
  const int e = fitl.limit_entry(i);
  if (e == 0)
    return x;
  return limited_value(x, limit.value(e, 1), limit.value(e, 2), limit.value(e, 3));
}

// Conditions whose values this system cannot produce would be fitted as zeros: they stop the
// run, with error 0 (a fit description outside the fit's tables), and beam conditions without
// a beam with error 260 (no beam definition).
void check_condition(int code, const Condition &c) {
  const std::string what = "  CONDITION CODE" + fI(code, 6);
  switch (c.source) {
  case Source::invalid:
    fit_stop({what + " IS NOT A LEAST-SQUARES CONDITION"}, 0);
  case Source::tracking:
    fit_stop({what + " NEEDS RESULTS OF THE DETAILED TRACKING, WHICH THE FIT CANNOT EVALUATE"}, 0);
  default:
    break;
  }
  const bool fp1 = c.source == Source::lattice_fp1 || c.source == Source::beam_fp1;
  const bool difference =
      c.source == Source::lattice_difference || c.source == Source::beam_difference;
  const auto defined = [](int k) {
    return mat.fit_position(k) >= 1 && mat.fit_position(k) <= mat.npos;
  };
  if (difference && !defined(2))
    fit_stop({"  NO SECOND FITPOINT WAS DEFINED, JOB STOPPED"}, 255);
  // Without a first fit point these values would never be collected.
  if ((fp1 || difference) && !defined(1))
    fit_stop({"  NO FIRST FITPOINT WAS DEFINED, JOB STOPPED"}, 255);
  const bool beam = c.source == Source::beam_end || c.source == Source::beam_fp1 ||
                    c.source == Source::beam_difference;
  if (beam && !cbeam.defined)
    fit_stop({what + " NEEDS A BEAM MATRIX, BUT NO BEAM WAS DEFINED"}, 260);
}

void read_data(int &end_flag) {
  read_data_numbers(12, end_flag);
  reset_in_place(fitl);
  fitl.n1 = data_integer(cintak.values(1));
  fitl.n2 = data_integer(cintak.values(2));
  const int nv = data_integer(cintak.values(3));
  const int nc = data_integer(cintak.values(4));
  for (int k = 1; k <= 8; ++k)
    fitl.start(k) = cintak.values(4 + k);
  fitl.periodic_start = cintak.values(5) == 0.0;
  if (nv > MXLVAR)
    fit_stop({"  TOO MANY VARIABLES, MAXIMUM IS : " + fI(MXLVAR, 5) + " CHANGE PARAMETER MXLVAR "},
             0);
  if (nc > MXLCND)
    fit_stop({"  TOO MANY VARIABLES, MAXIMUM IS : " + fI(MXLCND, 5) + " CHANGE PARAMETER MXLCND "},
             0);
  fitl.nv = std::max(nv, 0);
  fitl.nc = std::max(nc, 0);

  Name8 element_name, parameter_name;
  for (int i = 1; i <= fitl.nv; ++i) {
    const ParameterRef p = read_parameter(end_flag, element_name, parameter_name);
    read_data_numbers(1, end_flag);
    fitl.datum(i) = cintak.values(1);
    add_coupling(fitl.var(i), Coupling{p, 1.0, 0.0});
    fitl.limit_entry(i) = limit_entry_of(p);
    fitl.x(i) = inputt.eldata(p.address);
  }
  for (int j = 1; j <= fitl.nc; ++j) {
    read_data_numbers(3, end_flag);
    const int code = data_integer(cintak.values(1));
    const Condition c = classify_condition(code);
    check_condition(code, c);
    fitl.code(j) = code;
    fitl.index(j) = c.index;
    fitl.target(j) = cintak.values(2);
    fitl.weight(j) = cintak.values(3);
    warn_total_tune_target("LEAS", code, fitl.target(j));
    fitl.weight_sum += fitl.weight(j) * fitl.weight(j);
    if (c.source == Source::periodic)
      fitl.need_analysis = 1;
    if (c.source == Source::lattice_end || c.source == Source::lattice_fp1 ||
        c.source == Source::lattice_difference)
      fitl.need_lattice = 1;
    if (c.source == Source::beam_end || c.source == Source::beam_fp1 ||
        c.source == Source::beam_difference)
      fitl.need_beam = 1;
    if (c.source == Source::geometry)
      fitl.need_geometry = 1;
    if (c.second_order)
      fitl.second_order = 1;
  }
  read_data_numbers(1, end_flag);
  const int nk = data_integer(cintak.values(1));
  for (int b = 1; b <= nk; ++b) {
    element_name = read_data_name(end_flag);
    // Driven lists belong to the first variable of the named element.
    int i = 1;
    while (i <= fitl.nv && !(chinp.elname(fitl.var(i).entry(1).target.element) == element_name))
      ++i;
    if (i > fitl.nv)
      fit_stop({"  ELEMENT NAME " + element_name.str() + " NOT IN BASE ELEMENT LIST "}, 259);
    read_data_numbers(1, end_flag);
    const int m = data_integer(cintak.values(1));
    for (int r = 1; r <= m; ++r) {
      const ParameterRef q = read_parameter(end_flag, element_name, parameter_name);
      read_data_numbers(1, end_flag);
      if (!add_coupling(fitl.var(i), Coupling{q, cintak.values(1), 0.0}))
        fit_stop({"  MORE THAN 5 DRIVEN PARAMETERS FOR ONE VARIABLE"}, 0);
    }
  }
}

// The machine pass hands over its values at the fit points and at its last position; the beam
// matrix only when beam conditions need it.
void collect_at_position(int position) {
  if (position != mat.npos && position != mat.fit_position(1) && position != mat.fit_position(2))
    return;
  if (fitl.need_beam)
    beam();
  setout();
}

// Map, periodic analysis, lattice functions and beam as the conditions need them, collected
// into the value table.
void evaluate() {
  const int order = fitl.second_order ? 2 : 1;
  if (fitl.periodic_start && fitl.need_lattice) {
    // The start values follow the periodic solution of the lattice being fitted, which the
    // pass that collects the values cannot know before its end.
    machine_quiet(order);
    start_from_analysis(func.start);
  }
  {
    const Seam<MachinePassHooks>::Scope collecting(machine_pass_seam, {collect_at_position});
    machine_quiet(order);
  }
  setout();
  if (fitl.need_geometry) {
    geometry_quiet();
    for (int k = 1; k <= 7; ++k)
      fout.value(GEOMETRY_VALUES + k) = geometry_result(k);
  }
}

// A heading and one value per condition: the final targets, the current targets or the
// values achieved.
enum class Column { final_target, current_target, achieved };

void print_conditions(const std::string &heading, Column column) {
  Table<double, 1, MXLCND> v;
  for (int j = 1; j <= fitl.nc; ++j)
    v(j) = column == Column::final_target     ? fitl.target(j)
           : column == Column::current_target ? fitl.current_target(j)
                                              : current_value(j);
  fit_say(heading);
  print_values(v.data(), fitl.nc);
}

// A fit whose conditions read the periodic solution (its quantities, or the lattice functions
// started from it) has failed when the fitted machine has none, however small the fit function:
// an unstable analysis leaves its quantities at 0 and a target of 0 then looks reached. Said
// on the listing whatever the print level, and beside the fitted values on the echo file.
void warn_without_periodic_solution() {
  const bool uses_periodic = fitl.need_analysis || (fitl.periodic_start && fitl.need_lattice);
  if (!uses_periodic || !periodic_analysis_failed())
    return;
  const auto warn = [](const std::string &text) {
    fit_say(text);
    if (control.echo_flag)
      write_record(control.echo_unit, text);
  };
  warn("  **** WARNING : THE FITTED MACHINE HAS NO PERIODIC SOLUTION, THE FIT HAS FAILED ****");
  for (int p = 1; p <= 2; ++p)
    if (analc.unstable(p) != 0)
      warn(std::string(p == 1 ? "  HORIZONTAL" : "  VERTICAL") +
           " MOVEMENT IS UNSTABLE, HALF-TRACE =" + fE(analc.cosmu(p), 21, 14));
  if (analc.unstable(1) == 0 && analc.unstable(2) == 0)
    warn("  THE DISPERSION EQUATIONS ARE SINGULAR");
}

} // namespace

int fffct(void *, int m, int n, const double *x, double *fvec, int) {
  ChangedElements changed;
  for (int i = 1; i <= n; ++i)
    write_coupled(fitl.var(i), limited(i, x[i - 1]), changed);
  rebuild(changed);
  evaluate();
  for (int j = 1; j <= m; ++j)
    fvec[j - 1] = (current_value(j) - fitl.current_target(j)) * fitl.weight(j);
  return 0;
}

void fitlsq(int, int &end_flag) {
  read_data(end_flag);
  if (!fitl.periodic_start)
    for (int k = 1; k <= 8; ++k)
      func.start(k) = fitl.start(k);
  else
    start_from_analysis(func.start);

  // The first evaluation writes the (limited) variables and their driven parameters and
  // measures the distance to the final targets.
  fitl.divisor = 3;
  for (int j = 1; j <= fitl.nc; ++j)
    fitl.current_target(j) = fitl.target(j);
  Table<double, 1, MXLVAR> x;
  for (int i = 1; i <= fitl.nv; ++i)
    x(i) = fitl.x(i);
  fffct(nullptr, fitl.nc, fitl.nv, x.data(), lmwork.fvec.data(), 1);
  if (control.print_level >= 1)
    print_conditions(" THE REQUESTED FINAL VALUES ARE : ", Column::final_target);
  if (control.print_level > 2) {
    print_conditions("  THE INITIAL VALUES ARE : ", Column::achieved);
    fit_say(" THE INITIAL VALUE OF FIT FUNCTION IS " + fE(fit_function(lmwork.fvec.data()), 15, 7));
  }

  double tolerance = const_.lsq_tolerance;
  double f = fit_function(lmwork.fvec.data());
  const int last = fitl.n1 + fitl.n2;
  int last_info = 0, last_calls = 0;
  for (int k = 1; k <= last; ++k) {
    const int d = lsq_divisor(k, fitl.n1);
    fitl.divisor = d;
    for (int j = 1; j <= fitl.nc; ++j)
      fitl.current_target(j) = current_value(j) - (current_value(j) - fitl.target(j)) / d;
    tolerance *= 0.03333333333333333;
    const long long budget = static_cast<long long>(fitl.nv) * k * fitl.n2 * const_.max_call_factor;
    const int maxfev = budget > INT_MAX   ? INT_MAX
                       : budget < INT_MIN ? INT_MIN
                                          : static_cast<int>(budget);
    int nfev = 0;
    const int info =
        lmdif(fffct, nullptr, fitl.nc, fitl.nv, x.data(), lmwork.fvec.data(), tolerance, tolerance,
              tolerance, maxfev, tolerance, lmwork.diag.data(), 1, 100.0, 100, &nfev,
              lmwork.fjac.data(), fitl.nc, lmwork.ipvt.data(), lmwork.qtf.data(), lmwork.wa1.data(),
              lmwork.wa2.data(), lmwork.wa3.data(), lmwork.wa4.data());
    lmdmes(info, nfev);
    last_info = info;
    last_calls = nfev;
    f = fit_function(lmwork.fvec.data());
    for (int i = 1; i <= fitl.nv; ++i)
      fitl.x(i) = x(i);
    if (k == last)
      fitl.second_order = 1;
    // The tables and the value table are brought to the solution itself: the minimiser's last
    // call may have been a rejected trial point.
    Table<double, 1, MXLCND> fvec;
    fffct(nullptr, fitl.nc, fitl.nv, x.data(), fvec.data(), 1);
    if (control.print_level > 2) {
      print_conditions(" REQUESTED VALUES AT STEP :" + fI(k, 4), Column::current_target);
      print_conditions(" ACHIEVED VALUES ", Column::achieved);
    }
    fit_report("  FITTED PARAMETERS VALUES ");
    for (int i = 1; i <= fitl.nv; ++i)
      print_coupled(fitl.var(i));
    fit_report("  THE FIT FUNCTION VALUE IS :" + fE(f, 15, 7));
  }
  warn_without_periodic_solution();
  // Info 5: the minimiser used up its calls in the last iteration, wherever it stood.
  if (last_info == 5) {
    Table<double, 1, MXLCND> achieved;
    for (int j = 1; j <= fitl.nc; ++j)
      achieved(j) = current_value(j);
    warn_targets_unmet(
        "LEAS",
        "on its call limit (" + std::to_string(last_calls) + " calls in its last iteration)",
        fitl.nc, fitl.code.data(), achieved.data(), fitl.target.data(), fitl.weight.data());
  }
  write_fit_results("leas", fitl.var.data(), fitl.nv, f);
  fitl.need_analysis = fitl.need_lattice = fitl.need_beam = fitl.need_geometry = 0;
  leng();
}

} // namespace vorax

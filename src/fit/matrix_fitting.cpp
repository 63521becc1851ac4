// SIMP: Newton iteration of up to ten element parameters onto as many quantities of the
// periodic analysis, with a finite-difference Jacobian, a gradual approach of the targets and
// coupled parameters that follow each varied one linearly.
#include "fit/fitting.h"

#include "common/engine_tables.h"
#include "common/format.h"
#include "common/linear_algebra.h"
#include "common/shared_areas.h"
#include "common/terminal_report.h"
#include "fit/fit_results.h"
#include "fit/fit_support.h"
#include "optics/matrix_operation.h"
#include "output/layout.h"

#include <cmath>

namespace vorax {

namespace {

double &jacobian(int i, int j) {
  return fitm.jacobian((i - 1) + fitm.nv * (j - 1) + 1);
}

double varied_value(int i) {
  return inputt.eldata(fitm.var(i).entry(1).target.address);
}

// Codes 21..27 are the geometry at the end of the machine: S, X, Y, Z, THETA, PHI, PSI.
bool is_geometry_code(int code) {
  return code >= 21 && code <= 27;
}

// The machine map and its periodic analysis when a condition reads them (the fit cannot go on
// from an unstable machine), the geometry when one reads that; a fit of the geometry alone
// also works on a line that has no periodic solution.
void evaluate() {
  if (fitm.periodic) {
    machine_quiet(fitm.second_order ? 2 : 1);
    if (periodic_analysis_failed())
      fit_stop({"   UNSTABLE MOTION ENCOUNTERED DURING FIT COMPUTATION   JOB HALTED "}, 258);
  }
  if (fitm.geometry)
    geometry_quiet();
}

double condition_value(int code) {
  return is_geometry_code(code) ? geometry_result(code - 20) : periodic_quantity(code);
}

void record_values() {
  for (int j = 1; j <= fitm.nv; ++j)
    fitm.value(j) = condition_value(fitm.code(j));
}

void set_varied(int i, double v, ChangedElements &changed) {
  write_coupled(fitm.var(i), v, changed);
  rebuild(changed);
}

void check_code(int code) {
  if (code >= 1 && code <= 27)
    return;
  fit_stop({" SIMP: CONDITION CODE" + fI(code, 5) + " IS NOT A CODE OF 1 TO 27"}, 0);
}

// The varied parameter whose element and slot are those of p, 0 when none is.
int varied_index(const ParameterRef &p) {
  for (int i = 1; i <= fitm.nv; ++i)
    if (fitm.var(i).entry(1).target.address == p.address)
      return i;
  return 0;
}

void read_data(int &end_flag) {
  read_data_numbers(3, end_flag);
  fitm.ns = data_integer(cintak.values(1));
  fitm.ne = data_integer(cintak.values(2));
  const int nv = data_integer(cintak.values(3));
  // The Jacobian and the condition tables hold ten; a fit without variables has nothing to do.
  if (nv < 1 || nv > MXSVAR)
    fit_stop({" SIMP: NUMBER OF VARIED PARAMETERS" + fI(nv, 11) + " IS NOT BETWEEN 1 AND 10"}, 0);
  fitm.nv = nv;
  Name8 element_name, parameter_name;
  for (int i = 1; i <= nv; ++i) {
    const ParameterRef p = read_parameter(end_flag, element_name, parameter_name);
    read_data_numbers(1, end_flag);
    fitm.step(i) = cintak.values(1);
    fitm.var(i) = CoupledList{};
    add_coupling(fitm.var(i), Coupling{p, 1.0, 0.0});
  }
  read_data_numbers(2 * nv, end_flag);
  for (int j = 1; j <= nv; ++j) {
    fitm.code(j) = data_integer(cintak.values(2 * j - 1));
    fitm.target(j) = cintak.values(2 * j);
    check_code(fitm.code(j));
    warn_total_tune_target("SIMP", fitm.code(j), fitm.target(j));
  }
  read_data_numbers(1, end_flag);
  const int nc = data_integer(cintak.values(1));
  for (int c = 1; c <= nc; ++c) {
    const ParameterRef p = read_parameter(end_flag, element_name, parameter_name);
    read_data_numbers(1, end_flag);
    const int m = data_integer(cintak.values(1));
    const int i = varied_index(p);
    if (i == 0)
      fit_stop({" ELEMENT NAME AND PARAMETER # IS NOT IN BASE LIST OF VARIED ELEMENTS",
                " " + element_name.str() + " " + parameter_name.str() + fI(p.slot, 4)},
               257);
    for (int r = 1; r <= m; ++r) {
      const ParameterRef q = read_parameter(end_flag, element_name, parameter_name);
      read_data_numbers(2, end_flag);
      if (!add_coupling(fitm.var(i), Coupling{q, cintak.values(1), cintak.values(2)}))
        fit_stop({" SIMP: MORE THAN 5 COUPLED PARAMETERS FOR ONE VARIED PARAMETER"}, 0);
    }
  }
  fitm.second_order = 0;
  fitm.periodic = fitm.geometry = 0;
  for (int j = 1; j <= nv; ++j) {
    if (is_geometry_code(fitm.code(j))) {
      fitm.geometry = 1;
      continue;
    }
    fitm.periodic = 1;
    if (classify_condition(fitm.code(j)).second_order)
      fitm.second_order = 1;
  }
}

// One Newton step towards the intermediate targets; the Jacobian is rebuilt each step.
void newton_step(int k, int last) {
  const int nv = fitm.nv;
  const int w = approach_divisor(k, fitm.ns);
  for (int j = 1; j <= nv; ++j)
    fitm.intermediate(j) = fitm.value(j) - (fitm.value(j) - fitm.target(j)) / w;
  if (k > fitm.ns)
    for (int i = 1; i <= nv; ++i)
      fitm.step(i) *= 0.2;

  ChangedElements changed;
  for (int i = 1; i <= nv; ++i) {
    const double p = varied_value(i);
    set_varied(i, p + fitm.step(i), changed);
    evaluate();
    for (int j = 1; j <= nv; ++j)
      jacobian(i, j) = (condition_value(fitm.code(j)) - fitm.value(j)) / fitm.step(i);
    set_varied(i, p, changed);
  }

  double det = 0.0;
  Table<int, 1, MXSVAR> l, m;
  dminv(fitm.jacobian.data(), nv, det, l.data(), m.data());
  // A zero (or undefined) determinant leaves the inverse partly formed; a step from it would
  // throw the parameters anywhere.
  if (det == 0.0 || !std::isfinite(det))
    fit_stop({" SIMP: SINGULAR JACOBIAN AT STEP" + fI(k, 5) +
              ", THE CONDITIONS DO NOT DEPEND INDEPENDENTLY ON THE VARIED PARAMETERS"},
             320);
  if (k == last)
    fitm.second_order = 1;

  Table<double, 1, MXSVAR> dp;
  for (int i = 1; i <= nv; ++i) {
    double s = 0.0;
    for (int j = 1; j <= nv; ++j)
      s += jacobian(j, i) * (fitm.intermediate(j) - fitm.value(j));
    dp(i) = s;
  }
  for (int i = 1; i <= nv; ++i)
    write_coupled(fitm.var(i), varied_value(i) + dp(i), changed);
  rebuild(changed);
  evaluate();
  record_values();
}

} // namespace

void fitmat(int, int &end_flag) {
  read_data(end_flag);
  evaluate();
  record_values();
  // Coupled parameters take their places before the first Jacobian; when that moves any of
  // them the starting values are taken again, so that the differences measure the varied
  // parameters alone.
  ChangedElements changed;
  for (int i = 1; i <= fitm.nv; ++i)
    write_coupled(fitm.var(i), varied_value(i), changed);
  if (changed.count > 0) {
    rebuild(changed);
    evaluate();
    record_values();
  }
  const int last = fitm.ns + fitm.ne;
  for (int k = 1; k <= last; ++k)
    newton_step(k, last);
  // The iterations are a fixed number: whatever they reached is what the fit gives.
  warn_targets_unmet("SIMP", "after " + count_text(last, "iteration"), fitm.nv, fitm.code.data(),
                     fitm.value.data(), fitm.target.data(), nullptr);

  fit_report(" THE FITTED PARAMETERS ARE : ");
  for (int i = 1; i <= fitm.nv; ++i)
    print_coupled(fitm.var(i));
  write_fit_results("simp", fitm.var.data(), fitm.nv, std::nan(""));
  fitm.second_order = 1;
  machine_quiet(2);
  pranal(2);
}

} // namespace vorax

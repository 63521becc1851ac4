// Result files of MATR and MACH: the TFS tables of maps and lattice functions, and the plot of
// the lattice functions under the lattice bar.
#include "optics/optics_results.h"

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "input/elements.h"
#include "optics/lattice_functions.h"
#include "optics/matrix_operation.h"
#include "optics/optics_areas.h"
#include "output/plots.h"
#include "output/result_elements.h"
#include "output/result_files.h"
#include "output/tfs.h"

#include <array>
#include <cctype>
#include <cmath>
#include <string_view>
#include <vector>

namespace vorax {

namespace {

OpticsResults &collection = optics_results;

std::string title_text() {
  return std::string(pagtit.title.trimmed());
}

std::string element_name(int position) {
  return position == 0 ? "$START" : std::string(chinp.elname(blank.mseq(position)).trimmed());
}

std::string keyword_at(int position) {
  return position == 0 ? "MARKER" : keyword_of_element(blank.mseq(position));
}

TfsHeader common_header(std::string_view stem, std::string_view type) {
  std::string name(stem);
  for (char &c : name)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  TfsHeader h;
  h.text("NAME", name).text("TYPE", type).text("TITLE", title_text()).text("ORIGIN", "VORAX 1.01");
  h.real("LENGTH", blank.machine_length);
  return h;
}

void periodic_header(TfsHeader &h) {
  h.real("ALFA", analc.compaction).real("GAMMATR", gamma_transition(analc.compaction));
  if (analc.second_order)
    h.real("DQ1", analc.chrom(1)).real("DQ2", analc.chrom(2));
}

bool analysis_valid() {
  return analc.unstable(1) == 0 && analc.unstable(2) == 0 && analc.singular == 0;
}

void write_lattice_files() {
  const std::string stem = next_result_stem("mach");
  const OpticsResults &c = collection;
  const std::size_t rows = c.position.size();
  if (tables_wanted()) {
    // Lattice functions from the periodic solution: the header carries the periodic results,
    // with the tunes counted in whole turns (their fractions are the NU of the analysis).
    const bool periodic = c.periodic_start;
    TfsHeader h = common_header(stem, "TWISS");
    h.text("START", periodic ? "PERIODIC SOLUTION" : "GIVEN VALUES");
    h.real("Q1", rows > 0 ? c.lattice.back()[2] : 0.0);
    h.real("Q2", rows > 0 ? c.lattice.back()[7] : 0.0);
    if (periodic && analysis_valid())
      periodic_header(h);
    h.real("ENERGY", func.energy_start != 0.0 ? func.energy_start : lincav.initial_energy);
    h.text("UNITS", "S L BETX BETY DX DY in m; DPX DPY in rad; MUX MUY in units of 2 pi; "
                    "ALFA compaction; ENERGY in GeV");
    h.text("VARIABLES", "DX DPX DY DPY are the dispersion of x, x', y, y' with respect to "
                        "dp/p; S at the end of each element; first row the start values");
    constexpr TfsColumn columns[] = {{"NAME", TfsType::text},
                                     {"KEYWORD", TfsType::text},
                                     {"S"},
                                     {"L"},
                                     {"BETX"},
                                     {"ALFX"},
                                     {"MUX"},
                                     {"DX"},
                                     {"DPX"},
                                     {"BETY"},
                                     {"ALFY"},
                                     {"MUY"},
                                     {"DY"},
                                     {"DPY"}};
    TfsWriter table(table_path(stem), h, columns);
    for (std::size_t r = 0; r < rows; ++r) {
      const auto &v = c.lattice[r];
      table.text(element_name(c.position[r])).text(keyword_at(c.position[r]));
      table.real(c.s[r]).real(c.length[r]);
      // Stored by plane as beta, alpha, mu, eta, eta'.
      for (int k = 0; k < 10; ++k)
        table.real(v[static_cast<std::size_t>(k)]);
      table.end_row();
    }
  }
  if (plots_wanted()) {
    const std::size_t points = c.curve.size();
    std::vector<double> s(points), betx(points), bety(points), dx(points), dy(points);
    for (std::size_t k = 0; k < points; ++k) {
      const CurvePoint &p = c.curve[k];
      s[k] = p.s;
      betx[k] = p.beta_x;
      bety[k] = p.beta_y;
      dx[k] = p.eta_x;
      dy[k] = p.eta_y;
    }
    std::vector<BarElement> bar;
    for (std::size_t r = 0; r < rows; ++r)
      if (c.position[r] > 0)
        bar.push_back({c.s[r] - c.length[r], c.length[r], bar_kind(blank.mseq(c.position[r]))});
    const std::string title = title_text().empty() ? "MACH" : title_text();
    write_result_file(plot_path(stem), lattice_functions_plot(title, {s, betx, bety, dx, dy, bar}));
  }
}

void write_map_table() {
  const std::string stem = next_result_stem("matr");
  if (!tables_wanted())
    return;
  const OpticsResults &c = collection;
  TfsHeader h = common_header(stem, "MAP");
  h.integer("ORDER", c.columns == 27 ? 2 : 1);
  // The analysis of the whole machine's map, when the call made one.
  bool analysed = mat.npos >= 1 && (mat.interval_mode == 0 || mat.nint <= 0);
  if (!analysed)
    for (int k = 1; k <= mat.nint; ++k)
      analysed = analysed || (mat.intervals(2 * k) == mat.npos && mat.intervals(2 * k - 1) >= 1 &&
                              mat.intervals(2 * k - 1) <= mat.npos);
  if (analysed && analysis_valid()) {
    h.real("Q1", analc.nu(1)).real("Q2", analc.nu(2));
    h.real("BETX", analc.beta(1)).real("ALFX", analc.alpha(1));
    h.real("DX", analc.eta(1)).real("DPX", analc.etap(1));
    h.real("BETY", analc.beta(2)).real("ALFY", analc.alpha(2));
    h.real("DY", analc.eta(2)).real("DPY", analc.etap(2));
    periodic_header(h);
  }
  h.text("UNITS", "S L in m; Rij, Tijk in the units of x [m], x' [rad], y [m], y' [rad], "
                  "l [m], delta [1]");
  h.text("VARIABLES", "map after each printed position: v(i) = sum R(i,j) v(j) + sum over "
                      "j <= k of T(i,j,k) v(j) v(k); S at its end, L the length it covers; "
                      "Q1 Q2 the fractional tunes of the analysis");
  std::vector<std::string> names;
  std::vector<TfsColumn> columns{{"NAME", TfsType::text}, {"KEYWORD", TfsType::text}, {"S"}, {"L"}};
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      names.push_back("R" + std::to_string(10 * i + j));
  if (c.columns == 27)
    for (int i = 1; i <= 6; ++i)
      for (int j = 1; j <= 6; ++j)
        for (int k = j; k <= 6; ++k)
          names.push_back("T" + std::to_string(100 * i + 10 * j + k));
  for (const std::string &n : names)
    columns.push_back({n, TfsType::real});
  TfsWriter table(table_path(stem), h, columns);
  for (std::size_t r = 0; r < c.position.size(); ++r) {
    table.text(element_name(c.position[r])).text(keyword_at(c.position[r]));
    table.real(c.s[r]).real(c.length[r]);
    for (double v : c.map[r])
      table.real(v);
    table.end_row();
  }
}

} // namespace

void open_optics_results(int operation, bool periodic_start) {
  reset_in_place(collection);
  collection.periodic_start = periodic_start;
  if (!tables_wanted() && !(plots_wanted() && operation == 510))
    return;
  collection.operation = operation;
  collection.columns = mat.print_option != 1 ? 27 : 6;
  if (operation == 510) {
    // The first row holds the starting values at s = 0.
    const Optics o = optics_from_start(func.start);
    collection.position.push_back(0);
    collection.s.push_back(0.0);
    collection.length.push_back(0.0);
    collection.lattice.push_back({o.beta(1), o.alpha(1), 0.0, o.eta(1), o.etap(1), o.beta(2),
                                  o.alpha(2), 0.0, o.eta(2), o.etap(2)});
    if (plots_wanted()) {
      collection.curve.push_back({0.0, o.beta(1), o.beta(2), o.eta(1), o.eta(2)});
      collection.before.set_identity(27);
      // MACH composes the machine at first order (matrix()).
      collection.context = map_context();
      collection.context.ncol = 6;
    }
  }
}

void note_lattice_position(int position) {
  if (collection.operation != 510)
    return;
  const int k = blank.mseq(position);
  if (plots_wanted()) {
    // The points inside the element, from the map to its entrance, then its end as listed.
    const auto &entry = collection.lattice.back();
    const ElementSpan span{position, collection.s.back(), twf.nu(1) - entry[2],
                           twf.nu(2) - entry[7], blank.machine_length};
    points_inside(span, collection.before, optics_from_start(func.start), collection.context,
                  collection.curve);
    collection.curve.push_back({func.map_length, twf.beta(1), twf.beta(2), twf.eta(1), twf.eta(2)});
    collection.before = mat.amap;
  }
  collection.position.push_back(position);
  collection.s.push_back(func.map_length);
  collection.length.push_back(blank.element_length(k));
  collection.lattice.push_back({twf.beta(1), twf.alpha(1), twf.nu(1), twf.eta(1), twf.etap(1),
                                twf.beta(2), twf.alpha(2), twf.nu(2), twf.eta(2), twf.etap(2)});
}

void note_map_position(int position) {
  if (collection.operation != 500)
    return;
  collection.position.push_back(position);
  collection.s.push_back(blank.path_length(position));
  collection.length.push_back(func.map_length);
  std::vector<double> row;
  for (int i = 1; i <= 6; ++i)
    for (int j = 1; j <= 6; ++j)
      row.push_back(mat.amap.R(i, j));
  if (collection.columns == 27)
    for (int i = 1; i <= 6; ++i)
      for (int j = 1; j <= 6; ++j)
        for (int k = j; k <= 6; ++k)
          row.push_back(mat.amap.T(i, j, k));
  collection.map.push_back(std::move(row));
}

void close_optics_results() {
  const int operation = collection.operation;
  if (operation == 510)
    write_lattice_files();
  else if (operation == 500)
    write_map_table();
  reset_in_place(collection);
}

} // namespace vorax

// The result table of SIMP and LEAS.
#include "fit/fit_results.h"

#include "common/engine_tables.h"
#include "common/shared_areas.h"
#include "common/slots.h"
#include "output/result_files.h"
#include "output/tfs.h"

#include <cctype>
#include <cmath>

namespace vorax {

std::string slot_attribute_name(int element, int slot) {
  const ElementValues v = element_values(element);
  if (v.kind == KODE_MULTIPOL) {
    namespace mp = slot::multipole;
    const int terms = std::max(0, std::min(mp::room(v.count()), static_cast<int>(v(mp::COUNT))));
    if (slot == mp::L)
      return "L";
    if (slot == mp::SCALE)
      return "SCALEFAC";
    if (slot == mp::aperture(terms))
      return "APERTURE";
    if (slot == mp::tilt(terms))
      return "TILT";
    for (int t = 1; t <= terms; ++t) {
      const std::string order = std::to_string(std::lround(v(mp::term_order(t))) - 1);
      if (slot == mp::term_strength(t))
        return "K" + order;
      if (slot == mp::term_angle(t))
        return "T" + order;
    }
    return "";
  }
  if (v.kind == KODE_MATRIX) {
    if (slot == slot::matrix::L)
      return "L";
    if (slot >= 3 && slot % 2 == 1) {
      const long code = std::lround(v(slot - 1));
      return (code % 10 == 0 ? "R" + std::to_string(code / 10) : "T" + std::to_string(code));
    }
    return "";
  }
  for (const slot::SlotName &n : slot::names_of(v.kind))
    if (n.slot == slot && n.use != slot::Use::LOOKUP)
      return std::string(n.name);
  return "";
}

void write_fit_results(std::string_view operation, const CoupledList *lists, int count,
                       double fit_function) {
  if (!tables_wanted())
    return;
  const std::string stem = next_result_stem(operation);
  std::string name = stem;
  for (char &c : name)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  TfsHeader h;
  h.text("NAME", name).text("TYPE", "FIT").text("TITLE", pagtit.title.trimmed());
  h.text("ORIGIN", "VORAX 1.01").integer("VARIED", count);
  if (std::isfinite(fit_function))
    h.real("FITFUNCTION", fit_function);
  h.text("VARIABLES", "one row per varied parameter (ROLE VARIED) and per parameter that "
                      "follows it as COEFFICIENT * value + OFFSET (ROLE COUPLED); NUMBER is "
                      "the parameter number the listing prints; VALUE in the units of the "
                      "attribute");
  constexpr TfsColumn columns[] = {{"NAME", TfsType::text},
                                   {"PARAMETER", TfsType::text},
                                   {"NUMBER", TfsType::integer},
                                   {"ROLE", TfsType::text},
                                   {"VALUE"},
                                   {"COEFFICIENT"},
                                   {"OFFSET"}};
  TfsWriter table(table_path(stem), h, columns);
  for (int i = 0; i < count; ++i)
    for (int e = 1; e <= lists[i].count; ++e) {
      const Coupling &c = lists[i].entry(e);
      const ParameterRef &p = c.target;
      table.text(chinp.elname(p.element).trimmed()).text(slot_attribute_name(p.element, p.slot));
      table.integer(p.slot).text(e == 1 ? "VARIED" : "COUPLED");
      table.real(inputt.eldata(p.address)).real(c.coefficient).real(c.offset).end_row();
    }
}

} // namespace vorax

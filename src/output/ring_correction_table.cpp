// The result tables of COCO, through the TFS writer beside the listing.
#include "output/ring_correction_table.h"

#include "output/result_files.h"
#include "output/tfs.h"

namespace vorax {

namespace {

// What both tables say of the correction.
void correction_header(TfsHeader &h, const RingCorrectionResult &r) {
  h.integer("PLANES", r.planes).integer("BEST", r.best).real("CUT", r.cut);
  h.integer("SINGULAR_KEPT", r.kept).integer("ITERATIONS", r.iterations);
  const char *plane[2] = {"X", "Y"};
  for (int c = 0; c < 2; ++c) {
    const std::string p = plane[c];
    h.real("RMS_" + p + "_BEFORE", r.rms_before[c]).real("PEAK_" + p + "_BEFORE", r.peak_before[c]);
    h.real("RMS_" + p + "_AFTER", r.rms_after[c]).real("PEAK_" + p + "_AFTER", r.peak_after[c]);
  }
  h.real("RMS_VALUE1", r.rms_value[0]).real("PEAK_VALUE1", r.peak_value[0]);
  h.real("RMS_VALUE2", r.rms_value[1]).real("PEAK_VALUE2", r.peak_value[1]);
}

} // namespace

void write_ring_correction_tables(const RingCorrectionResult &r) {
  if (!tables_wanted())
    return;
  const std::string stem = next_result_stem("coco");
  {
    TfsHeader h = program_table_header(stem, "ORBIT");
    correction_header(h, r);
    h.text("UNITS", "S and the readings in m");
    h.text("VARIABLES", "the closed orbit at the centre of each monitor, in its own frame when "
                        "it is misaligned; PLANES 1 x, 2 y, 3 both: the planes it reads; rms and "
                        "peak over the monitors that read the plane");
    constexpr TfsColumn columns[] = {{"NAME", TfsType::text},
                                     {"NUMBER", TfsType::integer},
                                     {"S"},
                                     {"PLANES", TfsType::integer},
                                     {"X_BEFORE"},
                                     {"Y_BEFORE"},
                                     {"X_AFTER"},
                                     {"Y_AFTER"}};
    TfsWriter table(table_path(stem), h, columns);
    for (const RingCorrectionResult::Monitor &m : r.monitors) {
      table.text(m.name).integer(m.position).real(m.s).integer(m.planes);
      table.real(m.x_before).real(m.y_before).real(m.x_after).real(m.y_after);
      table.end_row();
    }
  }
  TfsHeader h = program_table_header(stem + "_correctors", "CORRECTORS");
  correction_header(h, r);
  h.text("UNITS", "S in m; values 1 and 2 in rad for thin kicks (TYPE 3 and above), in m for "
                  "displaced elements (TYPE 0 to 2)");
  h.text("VARIABLES", "values 1 (x) and 2 (y) of each corrector varied; PLANES 1 x, 2 y, 3 "
                      "both: the values varied; S at the end of its element");
  constexpr TfsColumn columns[] = {{"NAME", TfsType::text},
                                   {"NUMBER", TfsType::integer},
                                   {"S"},
                                   {"TYPE", TfsType::integer},
                                   {"PLANES", TfsType::integer},
                                   {"VALUE1_BEFORE"},
                                   {"VALUE2_BEFORE"},
                                   {"VALUE1_AFTER"},
                                   {"VALUE2_AFTER"}};
  TfsWriter table(table_path(stem + "_correctors"), h, columns);
  for (const RingCorrectionResult::Corrector &c : r.correctors) {
    table.text(c.name).integer(c.position).real(c.s).integer(c.type).integer(c.planes);
    table.real(c.value1_before).real(c.value2_before).real(c.value1_after).real(c.value2_after);
    table.end_row();
  }
}

} // namespace vorax

// Result files of tracking and of the machine layout.
#include "output/tracking_layout_results.h"

#include "common/engine_tables.h"
#include "common/reset.h"
#include "common/shared_areas.h"
#include "output/result_files.h"
#include "track/tracking_areas.h"

#include <algorithm>

namespace vorax {

namespace {

std::string title_or(std::string_view fallback) {
  const std::string_view t = pagtit.title.trimmed();
  return std::string(t.empty() ? fallback : t);
}

// The result files of the tracking run in progress, if any.
struct Trares {
  std::unique_ptr<TrackingResults> run;
};
inline Trares trares;
inline const AreaRegistration trares_registration{reset_area<trares>};

} // namespace

constexpr TfsColumn COLUMNS[] = {{"NUMBER", TfsType::integer},
                                 {"TURN", TfsType::integer},
                                 {"S"},
                                 {"X"},
                                 {"PX"},
                                 {"Y"},
                                 {"PY"},
                                 {"L"},
                                 {"DELTA"}};

TrackingResults::TrackingResults(std::string_view operation, bool canonical) {
  if (!tables_wanted() && !plots_wanted())
    return;
  stem_ = next_result_stem(operation);
  if (!tables_wanted())
    return;
  TfsHeader h = program_table_header(stem_, "TRACKONE");
  if (canonical) {
    h.text("UNITS", "S X Y in m; PX PY relative to the design momentum; L in m; DELTA relative");
    h.text("VARIABLES", "the canonical variables of symplectic tracking, as the listing prints "
                        "them: X, PX = px/p0, Y, PY = py/p0, L = -l, DELTA = pt");
  } else {
    h.text("UNITS", "S X Y L in m; PX PY in rad; DELTA relative");
    h.text("VARIABLES", "VORAX's own coordinates: PX PY are the slopes x', y' (not canonical "
                        "momenta), L the path-length difference, DELTA dp/p");
  }
  tracked_ = trace.nlive;
  first_turn_ = trace.iturn;
  h.integer_later("PARTICLES", tracked_).integer_later("LOST", 0);
  h.integer_later("SURVIVING", tracked_).integer_later("TURNS", 0);
  table_ = std::make_unique<TfsWriter>(table_path(stem_), h, COLUMNS);
}

// The losses of the call, after its table: a table that cannot be written ends the run first.
void TrackingResults::write_losses() {
  TfsHeader h = program_table_header(stem_ + "_losses", "LOSSES");
  h.integer("PARTICLES", tracked_).integer("LOST", static_cast<long long>(losses_.size()));
  h.text("UNITS", "S in m: the entrance of the element before or in which it is lost; the "
                  "coordinates as the listing prints them with the loss");
  constexpr TfsColumn columns[] = {{"NUMBER", TfsType::integer},
                                   {"TURN", TfsType::integer},
                                   {"POSITION", TfsType::integer},
                                   {"NAME", TfsType::text},
                                   {"S"},
                                   {"X"},
                                   {"PX"},
                                   {"Y"},
                                   {"PY"},
                                   {"L"},
                                   {"DELTA"}};
  TfsWriter losses(table_path(stem_ + "_losses"), h, columns);
  for (const Loss &l : losses_) {
    losses.integer(l.number).integer(l.turn).integer(l.position);
    losses.text(chinp.elname(blank.mseq(l.position)).trimmed());
    losses.real(l.position > 1 ? blank.path_length(l.position - 1) : 0.0);
    for (double c : l.z)
      losses.real(c);
    losses.end_row();
  }
  losses.close();
}

void TrackingResults::lose(int number, int turn, int position, const std::array<double, 6> &z) {
  if (table_)
    losses_.push_back({number, turn, position, z});
}

void TrackingResults::add(int number, int turn, double s, const std::array<double, 6> &v) {
  if (stem_.empty())
    return;
  if (table_) {
    table_->integer(number).integer(turn).real(s);
    for (double c : v)
      table_->real(c);
    table_->end_row();
  }
  if (plots_wanted()) {
    x_.push_back(v[0]);
    xp_.push_back(v[1]);
    y_.push_back(v[2]);
    yp_.push_back(v[3]);
  }
}

void TrackingResults::finish() {
  // A table that could not be written has ended the run: its losses are not written either.
  if (table_ && table_->writing()) {
    table_->update("PARTICLES", tracked_);
    table_->update("LOST", static_cast<long long>(losses_.size()));
    table_->update("SURVIVING", trace.nlive);
    table_->update("TURNS", std::max(trace.iturn - first_turn_, 0));
    table_->close(); // may end the run: not inside the pointer's reset, which cannot throw
    table_.reset();
    write_losses();
  }
  table_.reset();
  if (!stem_.empty() && plots_wanted())
    write_result_file(plot_path(stem_), phase_space_plot(title_or("TRAC"), x_, xp_, y_, yp_));
  stem_.clear();
}

void begin_tracking_results(bool canonical) {
  trares.run.reset();
  if (tables_wanted() || plots_wanted())
    trares.run = std::make_unique<TrackingResults>("trac", canonical);
}

void tracking_results_row(int particle, int turn, double s, const double z[6]) {
  if (trares.run)
    trares.run->add(particle, turn, s, {z[0], z[1], z[2], z[3], z[4], z[5]});
}

void tracking_results_loss(int particle, int position, const double z[6]) {
  if (trares.run)
    trares.run->lose(particle, trace.iturn, position, {z[0], z[1], z[2], z[3], z[4], z[5]});
}

void end_tracking_results() {
  if (!trares.run)
    return;
  // Released first: a plot that cannot be written ends the run with the table already closed.
  const std::unique_ptr<TrackingResults> run = std::move(trares.run);
  run->finish();
}

void write_layout_results(std::string_view operation, const std::vector<LayoutPoint> &points,
                          double length_unit) {
  if (!tables_wanted() && !plots_wanted())
    return;
  const std::string stem = next_result_stem(operation);
  if (tables_wanted()) {
    TfsHeader h = program_table_header(stem, "SURVEY");
    h.real("LENGTHUNIT", length_unit);
    h.text("UNITS", "S X Y Z in the length unit of the layout (LENGTHUNIT m each); THETA PHI "
                    "PSI in degrees");
    h.text("VARIABLES", "the rows of the listing: THETA the azimuth from +Z towards +X, PHI "
                        "the elevation, PSI the roll of the local axes");
    constexpr TfsColumn columns[] = {{"NUMBER", TfsType::integer},
                                     {"NAME", TfsType::text},
                                     {"KEYWORD", TfsType::text},
                                     {"S"},
                                     {"X"},
                                     {"Y"},
                                     {"Z"},
                                     {"THETA"},
                                     {"PHI"},
                                     {"PSI"}};
    TfsWriter table(table_path(stem), h, columns);
    for (const LayoutPoint &p : points) {
      if (!p.printed)
        continue;
      table.integer(p.number)
          .text(p.name)
          .text(p.keyword)
          .real(p.s)
          .real(p.x)
          .real(p.y)
          .real(p.z)
          .real(p.theta)
          .real(p.phi)
          .real(p.psi)
          .end_row();
    }
  }
  if (plots_wanted()) {
    std::vector<FloorPoint> floor;
    for (const LayoutPoint &p : points)
      floor.push_back({p.z * length_unit, p.x * length_unit, p.kind});
    write_result_file(plot_path(stem), floor_plot(title_or("LAYO"), floor));
  }
}

} // namespace vorax

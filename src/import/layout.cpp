// Positions of a sequence or a beam line.
#include "import/layout.h"

#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace vorax::importer {

namespace {

std::string metres(double v) {
  std::ostringstream o;
  o.precision(10);
  o << v << " m";
  return o.str();
}

// The other code makes no drift shorter than this and accepts overlaps up to it: the rounding
// of positions written with few digits.
constexpr double DRIFT_TOLERANCE = 1e-6;
constexpr std::size_t MOST_POSITIONS = 10'000'000;

bool thin_kind(const std::string &kind) {
  static const std::set<std::string> thin = {"marker",      "multipole", "dipedge",
                                             "srotation",   "xrotation", "yrotation",
                                             "translation", "changeref", "beambeam"};
  return thin.count(kind) != 0;
}

struct Placed {
  std::string element;
  double centre = 0, length = 0;
  Location where;
};

class SequenceLayout {
public:
  SequenceLayout(Lattice &lattice, Diagnostics &diagnostics)
      : lattice_(lattice), diagnostics_(diagnostics) {}

  // The elements of sequence `name`, its start at `offset`, in the order they were placed.
  bool flatten(const std::string &name, double offset, std::vector<Placed> &out) {
    if (!active_.insert(name).second) {
      diagnostics_.error(lattice_.sequences[name].where,
                         "the sequence " + upper(name) + " contains itself");
      return false;
    }
    const Sequence &q = lattice_.sequences[name];
    std::vector<std::optional<double>> centres(q.items.size());
    index_ = first_places(q);
    bool ok = true;
    for (std::size_t i = 0; i < q.items.size() && ok; ++i)
      ok = centre(q, i, centres, 0).has_value();
    // Sub-sequences are laid out after all centres of this one are known: they use index_.
    for (std::size_t i = 0; i < q.items.size() && ok; ++i) {
      const SequenceItem &item = q.items[i];
      const double c = *centres[i];
      if (lattice_.sequences.count(item.name) != 0 && !lattice_.element(item.name)) {
        const double sub_length = lattice_.value(lattice_.sequences[item.name].length);
        ok = flatten(item.name, offset + c - sub_length / 2, out);
      } else {
        out.push_back({item.name, offset + c, element_length(lattice_, item.name), item.where});
      }
    }
    active_.erase(name);
    return ok;
  }

  // The centre of a sequence's element named `name`, from the sequence's start.
  std::optional<double> centre_of(const Sequence &q, const std::string &name) {
    std::vector<std::optional<double>> centres(q.items.size());
    const std::map<std::string, std::size_t> saved = std::move(index_);
    index_ = first_places(q);
    std::optional<double> c;
    if (const auto at = index_.find(name); at != index_.end())
      c = centre(q, at->second, centres, 0);
    index_ = saved;
    return c;
  }

private:
  // The first place of each name in a sequence: FROM counts from it.
  static std::map<std::string, std::size_t> first_places(const Sequence &q) {
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < q.items.size(); ++i)
      index.emplace(q.items[i].name, i);
    return index;
  }

  std::optional<double> centre(const Sequence &q, std::size_t i,
                               std::vector<std::optional<double>> &centres, int depth) {
    if (centres[i])
      return centres[i];
    const SequenceItem &item = q.items[i];
    if (depth > 1000) {
      diagnostics_.error(item.where,
                         "the FROM references of " + upper(item.name) + " lead round in a circle");
      return std::nullopt;
    }
    double length = 0.0, offset = 0.0;
    if (!lattice_.element(item.name) && lattice_.sequences.count(item.name) != 0) {
      const Sequence &sub = lattice_.sequences[item.name];
      length = lattice_.value(sub.length);
      offset = q.refer * length / 2;
      if (!sub.refpos.empty()) {
        const std::optional<double> r = centre_of(sub, sub.refpos);
        if (!r) {
          diagnostics_.error(sub.where,
                             "REFPOS " + upper(sub.refpos) + " is not in " + upper(sub.name));
          return std::nullopt;
        }
        offset = length / 2 - *r;
      }
    } else {
      length = element_length(lattice_, item.name);
      offset = q.refer * length / 2;
    }
    double from = 0.0;
    if (item.from == "#e") {
      from = lattice_.value(q.length);
    } else if (!item.from.empty() && item.from != "#s") {
      const auto j = index_.find(item.from);
      if (j == index_.end()) {
        diagnostics_.error(item.where,
                           "FROM " + upper(item.from) + ": no such element in " + upper(q.name));
        return std::nullopt;
      }
      const std::optional<double> f = centre(q, j->second, centres, depth + 1);
      if (!f)
        return std::nullopt;
      from = *f;
    }
    centres[i] = lattice_.value(item.at) + offset + from;
    return centres[i];
  }

  Lattice &lattice_;
  Diagnostics &diagnostics_;
  std::set<std::string> active_;
  std::map<std::string, std::size_t> index_; // of the sequence being laid out
};

bool lay_out_sequence(Lattice &lattice, const std::string &name, Diagnostics &diagnostics,
                      Layout &out) {
  SequenceLayout layout(lattice, diagnostics);
  std::vector<Placed> placed;
  if (!layout.flatten(name, 0.0, placed))
    return false;
  const Sequence &q = lattice.sequences[name];
  double at = 0.0;
  std::string previous = "the start of " + upper(name);
  bool ok = true;
  const auto gap = [&](double end, const Location &where, const std::string &next) {
    const double dl = end - at;
    if (dl + DRIFT_TOLERANCE < 0) {
      diagnostics.error(where, upper(next) + " overlaps " + previous + " by " + metres(-dl));
      ok = false;
    } else if (dl > DRIFT_TOLERANCE) {
      out.positions.push_back({"", dl, where});
    }
  };
  for (const Placed &p : placed) {
    const double half = p.length / 2;
    gap(p.centre - half, p.where, p.element);
    out.positions.push_back({p.element, 0.0, p.where});
    at = p.centre + half;
    previous = upper(p.element);
  }
  gap(lattice.value(q.length), q.where, "the end of " + upper(name));
  return ok;
}

// Formal arguments of the lines being expanded, bound to the actual members they stand for.
struct Bindings {
  std::map<std::string, std::pair<const LineMember *, const Bindings *>> formals;
  const Bindings *outer = nullptr;
};

class LineLayout {
public:
  LineLayout(Lattice &lattice, Diagnostics &diagnostics, Layout &out)
      : lattice_(lattice), diagnostics_(diagnostics), out_(out) {}

  bool line(const std::string &name, const LineMember *call, bool reflect, const Bindings *caller) {
    const Line &l = lattice_.lines[name];
    const std::size_t given = call && call->has_args ? call->list.size() : 0;
    const Location where = call ? call->where : l.where;
    if (given != l.formals.size()) {
      diagnostics_.error(where, "LINE " + upper(name) + " takes " +
                                    std::to_string(l.formals.size()) + " arguments, " +
                                    std::to_string(given) + " given");
      return false;
    }
    if (depth_ > 200) {
      diagnostics_.error(where, "LINE " + upper(name) + " contains itself");
      return false;
    }
    Bindings b;
    b.outer = caller;
    for (std::size_t i = 0; i < given; ++i)
      b.formals[l.formals[i]] = {&call->list[i], caller};
    ++depth_;
    const bool ok = members(l.body, reflect, &b);
    --depth_;
    return ok;
  }

private:
  bool members(const std::vector<LineMember> &list, bool reflect, const Bindings *b) {
    for (std::size_t k = 0; k < list.size(); ++k) {
      const LineMember &m = reflect ? list[list.size() - 1 - k] : list[k];
      for (int r = 0; r < m.repeat; ++r)
        if (!member(m, reflect != m.reflect, b))
          return false;
    }
    return true;
  }

  // One pass over a member whose own repetition and reflection are applied.
  bool member(const LineMember &m, bool reflect, const Bindings *b) {
    if (out_.positions.size() > MOST_POSITIONS) {
      diagnostics_.error(m.where, "the line expands to more than 10 million positions");
      return false;
    }
    if (m.name.empty())
      return members(m.list, reflect, b);
    if (b) {
      const auto f = b->formals.find(m.name);
      if (f != b->formals.end()) {
        // The actual argument, with its own repetition and reflection, in the caller's frame
        // (where it may be a formal argument in its turn).
        const LineMember &actual = *f->second.first;
        for (int r = 0; r < actual.repeat; ++r)
          if (!member(actual, reflect != actual.reflect, f->second.second))
            return false;
        return true;
      }
    }
    if (lattice_.lines.count(m.name) != 0)
      return line(m.name, &m, reflect, b);
    if (lattice_.element(m.name)) {
      if (m.has_args) {
        diagnostics_.error(m.where, "the element " + upper(m.name) + " takes no arguments");
        return false;
      }
      out_.positions.push_back({m.name, 0.0, m.where});
      return true;
    }
    if (lattice_.sequences.count(m.name) != 0) {
      // A sequence in a line stands for its positions, drifts included.
      Layout inner;
      if (!lay_out_sequence(lattice_, m.name, diagnostics_, inner))
        return false;
      if (reflect)
        out_.positions.insert(out_.positions.end(), inner.positions.rbegin(),
                              inner.positions.rend());
      else
        out_.positions.insert(out_.positions.end(), inner.positions.begin(), inner.positions.end());
      return true;
    }
    diagnostics_.error(m.where, "undefined element or line " + upper(m.name));
    return false;
  }

  Lattice &lattice_;
  Diagnostics &diagnostics_;
  Layout &out_;
  int depth_ = 0;
};

} // namespace

double element_length(Lattice &lattice, const std::string &element) {
  const std::string kind = lattice.kind_of(element);
  if (thin_kind(kind))
    return 0.0;
  const double l = lattice.attribute_value(element, "l");
  if (kind == "rbend" && lattice.rbarc) {
    // The chord given becomes the arc the reference orbit follows.
    const double angle = lattice.attribute_value(element, "angle");
    if (angle != 0.0)
      return l * (angle / 2) / std::sin(angle / 2);
  }
  return l;
}

bool lay_out(Lattice &lattice, const std::string &name, Diagnostics &diagnostics, Layout &out) {
  out = Layout{};
  out.name = name;
  bool ok = false;
  if (lattice.sequences.count(name) != 0) {
    out.sequence = true;
    ok = lay_out_sequence(lattice, name, diagnostics, out);
  } else {
    LineLayout lines(lattice, diagnostics, out);
    ok = lines.line(name, nullptr, false, nullptr);
  }
  for (const Position &p : out.positions)
    out.length += p.element.empty() ? p.drift : element_length(lattice, p.element);
  return ok;
}

} // namespace vorax::importer

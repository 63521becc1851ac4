// The deck and the names table.
#include "import/deck.h"

#include "import/conversion.h"
#include "import/names.h"
#include "import/vorax_text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace vorax::importer {

namespace {

// One distinct element of the deck.
struct Emitted {
  std::string keyword;
  std::vector<std::pair<std::string, Text>> attributes; // an empty text: a flag alone
  bool named_place = false;
  std::vector<std::string> members; // the MAD-X elements it stands for, in order
  std::set<std::string> member_set;
  std::string vorax_name;
};

// The text by which equal elements are found: keyword and attributes, parameters by their
// MAD-X names.
std::string key_of(const Emitted &e) {
  std::string key = e.keyword;
  for (const auto &[name, text] : e.attributes) {
    key += '|' + name + '=';
    for (const TextToken &t : text)
      key += t.parameter.empty() ? t.text : "{" + t.parameter + "}";
  }
  return key;
}

void comment_lines(std::string &out, const std::string &lead,
                   const std::vector<std::string> &words) {
  std::string line = lead;
  for (const std::string &w : words) {
    const std::string piece = w.size() > 70 ? "..." + w.substr(w.size() - 67) : w;
    if (line.size() + 1 + piece.size() > 80 && line.size() > 2) {
      out += line + "\n";
      line = "!  ";
    }
    line += (line.back() == ' ' ? "" : " ") + piece;
  }
  out += line + "\n";
}

// Ten digits for the comments of the deck.
std::string rounded(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.10g", v);
  return buffer;
}

} // namespace

bool make_deck(Lattice &lattice, const Layout &layout, const std::vector<std::string> &files,
               Diagnostics &diagnostics, DeckText &out) {
  Converter converter(lattice, diagnostics, layout);
  Translator translator(lattice, diagnostics);
  std::vector<Emitted> emitted;
  std::map<std::string, std::size_t> by_key;
  std::map<const void *, std::vector<std::size_t>> converted; // a conversion's elements
  std::map<double, std::size_t> drifts;
  std::vector<std::size_t> at;      // the distinct element of every position
  std::vector<std::string> madx_at; // and its MAD-X name
  bool ok = true;

  const auto add = [&](const VoraxElement &v) -> std::size_t {
    Emitted e;
    e.keyword = v.keyword;
    e.named_place = v.named_place;
    for (const VoraxAttribute &a : v.attributes) {
      Text text;
      if (a.value && !translator.translate(a.value, a.where, text))
        ok = false;
      e.attributes.emplace_back(a.name, std::move(text));
    }
    const std::string key = (v.named_place ? "@" + v.madx_name + "@" : "") + key_of(e);
    auto found = by_key.find(key);
    if (found == by_key.end()) {
      found = by_key.emplace(key, emitted.size()).first;
      emitted.push_back(std::move(e));
    }
    Emitted &into = emitted[found->second];
    if (!v.madx_name.empty() && into.member_set.insert(v.madx_name).second)
      into.members.push_back(v.madx_name);
    return found->second;
  };

  for (std::size_t p = 0; p < layout.positions.size(); ++p) {
    const Position &position = layout.positions[p];
    if (position.element.empty()) {
      auto d = drifts.find(position.drift);
      if (d == drifts.end()) {
        VoraxElement v;
        v.keyword = "DRIFT";
        v.attributes.push_back({"L", number(position.drift), position.where});
        d = drifts.emplace(position.drift, add(v)).first;
      }
      at.push_back(d->second);
      madx_at.emplace_back();
      continue;
    }
    bool converted_ok = true;
    const std::vector<VoraxElement> &parts = converter.convert(p, converted_ok);
    ok = ok && converted_ok;
    auto c = converted.find(&parts);
    if (c == converted.end()) {
      std::vector<std::size_t> ids;
      for (const VoraxElement &v : parts)
        ids.push_back(add(v));
      c = converted.emplace(&parts, std::move(ids)).first;
    }
    for (std::size_t j = 0; j < parts.size(); ++j) {
      at.push_back(c->second[j]);
      madx_at.push_back(parts[j].madx_name);
    }
  }
  if (at.empty()) {
    diagnostics.error(lattice.used_where, upper(layout.name) + " holds no element");
    ok = false;
  }

  // The parameters: the variables the elements name, and those their definitions name.
  std::map<std::string, Text> parameter_text;
  for (std::size_t i = 0; i < translator.parameters().size(); ++i) {
    const std::string name = translator.parameters()[i];
    const auto v = lattice.variables.find(name);
    Text text;
    if (v == lattice.variables.end())
      text = {{"0", "", false}}; // never set: 0, as the other code takes it
    else if (!translator.translate(lattice.carried(v->second.def), v->second.def.where, text))
      ok = false;
    parameter_text[name] = std::move(text);
  }
  if (!ok)
    return false;

  // Names. An element merged from several takes the name of their common class when it is the
  // only one to do so, else that of the first; one made here (a drift) gets a number.
  std::vector<std::string> wanted = {layout.name};
  std::set<std::string> claimed = {layout.name};
  std::vector<std::string> candidate(emitted.size());
  for (std::size_t k = 0; k < emitted.size(); ++k) {
    const Emitted &e = emitted[k];
    if (e.members.empty())
      continue;
    std::string parent = lattice.element(e.members[0])->parent;
    for (const std::string &m : e.members)
      if (lattice.element(m)->parent != parent)
        parent.clear();
    std::string c = !e.named_place && !parent.empty() && !is_kind(parent) && e.members.size() > 1
                        ? parent
                        : e.members[0];
    if (claimed.count(c) != 0)
      c = e.members[0];
    for (int n = 2; claimed.count(c) != 0; ++n)
      c = e.members[0] + "#" + std::to_string(n);
    claimed.insert(c);
    candidate[k] = c;
    wanted.push_back(c);
  }
  std::set<std::string> taken;
  const std::map<std::string, std::string> element_names = vorax_names(wanted, taken);
  int drift_count = 0, other_count = 0;
  for (std::size_t k = 0; k < emitted.size(); ++k)
    emitted[k].vorax_name = !candidate[k].empty() ? element_names.at(candidate[k])
                            : emitted[k].keyword == "DRIFT"
                                ? fresh_name("DR", drift_count, taken)
                                : fresh_name(emitted[k].keyword.substr(0, 2), other_count, taken);
  std::set<std::string> parameter_taken;
  const std::map<std::string, std::string> parameter_names =
      vorax_names(translator.parameters(), parameter_taken);
  const std::string line_name = element_names.at(layout.name);

  // The deck.
  std::string &d = out.deck;
  d = "! Lattice imported by vorax-import from the MAD-X files\n";
  comment_lines(d, "!  ", files);
  const Beam &beam = lattice.beam_of(layout.name);
  d += "! " + std::string(layout.sequence ? "Sequence " : "Line ") + upper(layout.name) + ": " +
       std::to_string(at.size()) + " positions, " + rounded(layout.length) + " m\n";
  d += "! Beam: " + upper(beam.particle) + ", mass " + rounded(beam.mass) + " GeV, energy " +
       rounded(beam.energy) + " GeV\n";
  if (!parameter_text.empty()) {
    // In the order the files define them; those never defined (0) at the end.
    std::map<std::string, std::size_t> defined;
    for (std::size_t i = 0; i < lattice.variable_order.size(); ++i)
      defined.emplace(lattice.variable_order[i], i);
    std::vector<std::string> order = translator.parameters();
    std::stable_sort(order.begin(), order.end(), [&](const std::string &a, const std::string &b) {
      const auto ia = defined.find(a), ib = defined.find(b);
      const std::size_t ka = ia == defined.end() ? defined.size() : ia->second;
      const std::size_t kb = ib == defined.end() ? defined.size() : ib->second;
      return ka < kb;
    });
    d += "! Parameters\n";
    for (const std::string &name : order) {
      CommandWriter w(d);
      w.assignment(parameter_names.at(name), parameter_text[name], parameter_names, "");
      w.end();
    }
  }
  d += "! Elements\n";
  for (const Emitted &e : emitted) {
    CommandWriter w(d);
    w.add(e.vorax_name + ": " + e.keyword + (e.attributes.empty() ? "" : ","));
    for (std::size_t a = 0; a < e.attributes.size(); ++a)
      w.assignment(e.attributes[a].first, e.attributes[a].second, parameter_names,
                   a + 1 < e.attributes.size() ? "," : "");
    w.end();
  }
  d += "! The machine\n";
  {
    CommandWriter w(d);
    w.add(line_name + ": LINE = (");
    for (std::size_t p = 0; p < at.size();) {
      std::size_t q = p;
      while (q < at.size() && at[q] == at[p])
        ++q;
      const std::string &name = emitted[at[p]].vorax_name;
      std::string piece = q - p > 1 ? std::to_string(q - p) + "*" + name : name;
      piece += q < at.size() ? "," : ")";
      w.add(piece, p > 0);
      p = q;
    }
    w.end();
  }
  d += "USE, " + line_name + "\n";

  // The names table.
  std::string &t = out.names;
  const auto header = [&](const std::string &name, const std::string &value) {
    std::string n = name;
    n.resize(16, ' ');
    t += "@ " + n + " %s   \"" + value + "\"\n";
  };
  header("NAME", "NAMES");
  header("TYPE", "NAMES");
  header("ORIGIN", "vorax-import");
  header("SEQUENCE", upper(layout.name));
  header("LINE", line_name);
  t += "* NAME                     MADX_NAME\n";
  t += "$ %s                       %s\n";
  for (std::size_t p = 0; p < at.size(); ++p) {
    std::string cell = "\"" + emitted[at[p]].vorax_name + "\"";
    cell.resize(std::max<std::size_t>(cell.size(), 24), ' ');
    t += "  " + cell + " \"" + upper(madx_at[p]) + "\"\n";
  }
  out.positions = at.size();
  out.elements = emitted.size();
  out.parameters = translator.parameters().size();
  return true;
}

} // namespace vorax::importer

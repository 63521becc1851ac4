// Element definitions: the 30 element keywords with their attribute lists and built-in
// defaults, the element table, and the reading of an element's attribute list.
#include "input/elements.h"

#include "common/format.h"
#include "input/command_loop.h"
#include "input/parameters.h"
#include "input/reader.h"

#include <array>
#include <initializer_list>
#include <string>

namespace vorax {

namespace {

constexpr double PI = 3.141592653589793;
constexpr int MAX_ATTRIBUTES = 163; // MATRIX

struct KeywordTable {
  std::array<Name8, ELEMENT_KEYWORDS> keyword;
  std::array<std::array<Name8, MAX_ATTRIBUTES>, ELEMENT_KEYWORDS> attribute;
  std::array<int, ELEMENT_KEYWORDS> count{};

  void set(int kw, const char *name, std::initializer_list<const char *> attributes) {
    keyword[static_cast<std::size_t>(kw - 1)] = Name8(name);
    for (const char *a : attributes)
      add(kw, a);
  }
  void add(int kw, std::string_view a) {
    int &n = count[static_cast<std::size_t>(kw - 1)];
    attribute[static_cast<std::size_t>(kw - 1)][static_cast<std::size_t>(n++)] = Name8(a);
  }
};

const KeywordTable &keyword_table() {
  static const KeywordTable table = [] {
    KeywordTable t;
    for (int kw : {KW_RBEND, KW_SBEND, KW_WIGGLER}) {
      const char *name = kw == KW_RBEND ? "RBEND" : kw == KW_SBEND ? "SBEND" : "WIGGLER";
      t.set(kw, name,
            {"L", "ANGLE", "K1", "E1", "E2", "TILT", "K2", "H1", "H2", "HGAP", "FINT", "HGAPX",
             "FINTX"});
    }
    t.set(KW_DRIFT, "DRIFT", {"L"});
    t.set(KW_QUADRUPO, "QUADRUPO", {"L", "K1", "TILT", "APERTURE"});
    t.set(KW_SEXTUPOL, "SEXTUPOL", {"L", "K2", "TILT", "APERTURE"});
    t.set(KW_OCTUPOLE, "OCTUPOLE", {"L", "K3", "TILT", "APERTURE"});
    t.set(KW_MULTIPOL, "MULTIPOL", {"L"});
    for (int n = 0; n <= 20; ++n) {
      t.add(KW_MULTIPOL, "K" + std::to_string(n));
      t.add(KW_MULTIPOL, "T" + std::to_string(n));
    }
    for (const char *a : {"SCALEFAC", "APERTURE", "TILT"})
      t.add(KW_MULTIPOL, a);
    t.set(KW_SOLENOID, "SOLENOID", {"L", "KS", "K1", "TILT", "APERTURE"});
    t.set(KW_RFCAVITY, "RFCAVITY", {"L", "VOLT", "LAG", "FREQ", "ENERGY"});
    t.set(KW_SEPARATO, "SEPARATO", {"L", "E", "TILT"});
    t.set(KW_ROLL, "ROLL", {"ANGLE"});
    t.set(KW_ZROT, "ZROT", {"ANGLE"});
    t.set(KW_HKICK, "HKICK", {"L", "KICK", "TILT"});
    t.set(KW_VKICK, "VKICK", {"L", "KICK", "TILT"});
    t.set(KW_HMONITOR, "HMONITOR", {"L", "XSERR", "YSERR", "XRERR", "YRERR"});
    t.set(KW_VMONITOR, "VMONITOR", {"L", "XSERR", "YSERR", "XRERR", "YRERR"});
    t.set(KW_MONITOR, "MONITOR", {"L", "XSERR", "YSERR", "XRERR", "YRERR"});
    t.set(KW_MARKER, "MARKER", {});
    t.set(KW_ECOLLIMA, "ECOLLIMA", {"L", "XSIZE", "YSIZE"});
    t.set(KW_RCOLLIMA, "RCOLLIMA", {"L", "XSIZE", "YSIZE"});
    t.set(KW_QUADSEXT, "QUADSEXT", {"L", "K1", "K2", "TILT", "APERTURE"});
    t.set(KW_GKICK, "GKICK", {"L", "DX", "DXP", "DY", "DYP", "DL", "DP", "ANGLE", "DZ", "V", "T"});
    t.set(KW_ARBITELM, "ARBITELM", {"L"});
    for (int n = 1; n <= 20; ++n)
      t.add(KW_ARBITELM, "P" + std::to_string(n));
    t.set(KW_MTWISS, "MTWISS", {"L", "MUX", "BETAX", "ALPHAX", "MUY", "BETAY", "ALPHAY"});
    // MATRIX: L, then per row i the six Rij and the 21 Tijk with j <= k.
    t.set(KW_MATRIX, "MATRIX", {"L"});
    for (int i = 1; i <= 6; ++i) {
      for (int j = 1; j <= 6; ++j)
        t.add(KW_MATRIX, "R" + std::to_string(10 * i + j));
      for (int j = 1; j <= 6; ++j)
        for (int k = j; k <= 6; ++k)
          t.add(KW_MATRIX, "T" + std::to_string(100 * i + 10 * j + k));
    }
    t.set(KW_LCAVITY, "LCAVITY", {"L", "E0", "DELTAE", "PHI0", "FREQ", "KICKCOEF", "T"});
    t.set(KW_HCOLLIMA, "HCOLLIMA",
          {"L", "LCOORD", "RCOORD", "LSLOPE", "RSLOPE", "XMAX", "A", "Z", "DENSITY", "IONIZATI",
           "ENERGY", "DENERGY", "MU", "DISTRIBU", "INELASTI"});
    t.set(KW_QUADAC, "QUADAC", {"L", "K1", "DELTAE", "PHI0", "FREQ", "E0", "TILT", "APERTURE"});
    t.set(KW_TARVOCAV, "TARVOCAV", {"L", "EN0", "DELTAE", "PHI0"});
    return t;
  }();
  return table;
}

// Built-in defaults of a freshly allocated attribute list.
class Defaults {
public:
  Defaults(int first, int last) : first_(first), last_(last) {}
  // A value the attribute holds until it is given (kind stays undefined).
  void value(std::string_view name, double v) {
    if (const int node = find(name))
      parval.value(node) = v;
  }
  // A value used only when the keyword is written alone, without "=".
  void flag(std::string_view name, double v) {
    if (const int node = find(name)) {
      pardat.kind(node) = PAR_DEFAULT;
      parval.value(node) = v;
    }
  }
  // Flag default of a tilt of pi/(2n), in degrees under the MERIDOXAN convention.
  void tilt_flag(std::string_view name, int n) {
    flag(name, units.value == 2 ? 180.0 / (2.0 * n) : PI / (2.0 * n));
  }

private:
  int find(std::string_view name) const {
    return rdlook(Name8(name), parnam.name.data(), first_, last_);
  }
  int first_, last_;
};

void store_defaults(int keyword, int first, int last) {
  Defaults d(first, last);
  switch (keyword) {
  case KW_RBEND:
  case KW_SBEND:
  case KW_WIGGLER:
    d.tilt_flag("TILT", 1);
    d.value("FINT", 0.5);
    break;
  case KW_QUADRUPO:
    d.tilt_flag("TILT", 2);
    d.value("APERTURE", 1.0);
    break;
  case KW_SEXTUPOL:
    d.tilt_flag("TILT", 3);
    d.value("APERTURE", 1.0);
    break;
  case KW_OCTUPOLE:
    d.tilt_flag("TILT", 4);
    d.value("APERTURE", 1.0);
    break;
  case KW_MULTIPOL:
    for (int n = 0; n <= 20; ++n)
      d.tilt_flag("T" + std::to_string(n), n + 1);
    d.value("SCALEFAC", 1.0);
    d.value("APERTURE", 1.0);
    break;
  case KW_SOLENOID:
  case KW_QUADSEXT:
  case KW_QUADAC:
    d.tilt_flag("TILT", 2);
    d.value("APERTURE", 1.0);
    break;
  case KW_ECOLLIMA:
  case KW_RCOLLIMA:
    d.value("XSIZE", 1.0);
    d.value("YSIZE", 1.0);
    break;
  case KW_GKICK:
    d.value("V", 1.0);
    break;
  case KW_MTWISS:
    d.value("BETAX", 1.0);
    d.value("BETAY", 1.0);
    break;
  case KW_HCOLLIMA:
    d.value("MU", static_cast<double>(1.4f)); // held in single precision: 1.399999976158142
    d.value("INELASTI", 2.0);
    break;
  default:
    break;
  }
}

// HGAPX and FINTX not given take HGAP and FINT. A value that is still an unevaluated
// expression is linked instead of copied, so HGAP = G gives HGAPX the value of G, not 0.
void vertical_from_horizontal(int source, int target) {
  if (pardat.kind(target) != PAR_UNDEFINED)
    return;
  if (pardat.kind(source) >= 1) {
    pardat.kind(target) = PAR_EQUALS;
    pardat.left(target) = 0;
    pardat.right(target) = source;
  } else {
    parval.value(target) = parval.value(source);
  }
}

} // namespace

const Name8 &element_keyword(int index) {
  static const Name8 none;
  if (index < 1 || index > ELEMENT_KEYWORDS)
    return none;
  return keyword_table().keyword[static_cast<std::size_t>(index - 1)];
}

int attribute_count(int keyword) {
  if (keyword < 1 || keyword > ELEMENT_KEYWORDS)
    return 0;
  return keyword_table().count[static_cast<std::size_t>(keyword - 1)];
}

const Name8 &attribute_name(int keyword, int k) {
  static const Name8 none;
  if (k < 1 || k > attribute_count(keyword))
    return none;
  return keyword_table()
      .attribute[static_cast<std::size_t>(keyword - 1)][static_cast<std::size_t>(k - 1)];
}

int named_entry(const Name8 &name) {
  return elmnam.index.find(name, elmnam.name, elmdat.low_count);
}

int fndelm(int line, const Name8 &name) {
  if (const int found = named_entry(name); found != 0)
    return found;
  const int index = elmdat.low_count + 1;
  if (index >= elmdat.high_mark)
    ovflow(1, machine_limits().maxelm);
  elmdat.low_count = index;
  elmdat.kind(index) = -1;
  elmdat.first(index) = 0;
  elmdat.last(index) = 0;
  elmdat.list(index) = 0;
  elmdat.def_line(index) = line;
  elmnam.name(index) = name;
  elmnam.type(index) = Chars<4>{};
  elmnam.label(index) = Label14{};
  return index;
}

void defpar(int count, const Name8 *names, int &first, int &last, int line) {
  if (count <= 0) {
    first = 0;
    last = 0;
    return;
  }
  if (pardat.high_mark - count <= pardat.low_count)
    ovflow(2, machine_limits().maxpar);
  first = pardat.high_mark - count;
  last = pardat.high_mark - 1;
  pardat.high_mark = first;
  for (int k = 0; k < count; ++k) {
    const int node = first + k;
    pardat.kind(node) = PAR_UNDEFINED;
    pardat.left(node) = 0;
    pardat.right(node) = 0;
    pardat.def_line(node) = line;
    parval.value(node) = 0.0;
    parnam.name(node) = names[k];
  }
}

void decpar(int first, int last, Chars<4> &type, Label14 &label, int &error) {
  type = Chars<4>{};
  label = Label14{};
  error = 0;
  while (current_char() == ',' && ioflag.end_of_file == 0) {
    rdnext();
    Name8 key;
    int length = 0;
    rdword(key, length);
    int status = 0;
    if (length == 0) {
      rdfail("*** ERROR *** PARAMETER KEYWORD EXPECTED");
      status = 1;
    } else if (key == "TYPE") {
      rdtest("=", status);
      if (status == 0) {
        rdnext();
        Name8 word;
        int word_length = 0;
        rdword(word, word_length);
        if (word_length == 0) {
          rdfail("*** ERROR *** TYPE IDENTIFIER EXPECTED");
          status = 1;
        } else {
          type = Chars<4>(word.view().substr(0, 4));
        }
      }
    } else if (key == "LABEL") {
      rdtest("=", status);
      if (status == 0) {
        rdnext();
        Label14 text;
        int text_length = 0;
        rdlabl(text, text_length);
        if (text_length == 0) {
          rdfail("*** ERROR *** LABEL IDENTIFIER EXPECTED");
          status = 1;
        } else {
          label = text;
        }
      }
    } else {
      const int node = rdlook(key, parnam.name.data(), first, last);
      if (node == 0) {
        rdwarn("** WARNING ** UNKNOWN PARAMETER KEYWORD " + quoted(key.trimmed()) +
               " --- PARAMETER IGNORED");
        rdfind(",;");
        continue;
      }
      if (pardat.kind(node) >= 0) {
        rdwarn("** WARNING ** MULTIPLE DEFINITION OF PARAMETER " + quoted(key.trimmed()) +
               " --- PREVIOUS VALUE USED");
        rdfind(",;");
        continue;
      }
      rdtest("=,;", status);
      if (status == 0) {
        if (current_char() == '=') {
          rdnext();
          decexp(node, status);
        } else if (pardat.kind(node) == PAR_DEFAULT) {
          pardat.kind(node) = PAR_CONSTANT;
        } else {
          rdwarn("** WARNING ** \"=\" EXPECTED --- DEFAULT VALUE USED");
        }
      }
    }
    if (status != 0) {
      rdfind(",;");
      error = 1;
    }
  }
  int status = 0;
  rdtest(",;", status);
  if (status != 0)
    error = 1;
  if (error == 0) {
    // A flag default that was not requested is 0.
    for (int node = first; node >= 1 && node <= last; ++node)
      if (pardat.kind(node) == PAR_DEFAULT) {
        pardat.kind(node) = PAR_UNDEFINED;
        parval.value(node) = 0.0;
      }
  }
}

// The keyword's length is not needed: keywords are compared as blank-padded names.
void elmdef(const Name8 &keyword, int, const Name8 &name, int name_length) {
  Name8 element = name;
  int length = name_length;
  if (length == 0 && !read_named_operand(element, length, "*** ERROR *** ELEMENT NAME EXPECTED"))
    return;
  const KeywordTable &table = keyword_table();
  int kw = rdlook(keyword, table.keyword.data(), 1, ELEMENT_KEYWORDS);
  if (kw == 0) {
    rdwarn("** WARNING ** UNKNOWN ELEMENT KEYWORD " + quoted(keyword.trimmed()) +
           " --- \"DRIFT\" ASSUMED");
    kw = KW_DRIFT;
  }
  const int index = fndelm(iodata.command_line, element);
  if (elmdat.kind(index) >= 0) {
    warn_redefinition(elmdat.def_line(index));
    elmdat.kind(index) = -1;
  }
  int first = 0, last = 0;
  defpar(attribute_count(kw), table.attribute[static_cast<std::size_t>(kw - 1)].data(), first, last,
         iodata.command_line);
  store_defaults(kw, first, last);
  Chars<4> type;
  Label14 label;
  int error = 0;
  decpar(first, last, type, label, error);
  if (kw == KW_RBEND || kw == KW_SBEND || kw == KW_WIGGLER) {
    vertical_from_horizontal(first + 9, first + 11);  // HGAP -> HGAPX
    vertical_from_horizontal(first + 10, first + 12); // FINT -> FINTX
  }
  if (error != 0) {
    ioflag.command_error = 1;
    return;
  }
  elmnam.type(index) = type;
  elmnam.label(index) = label;
  elmdat.kind(index) = kw;
  elmdat.first(index) = first;
  elmdat.last(index) = last;
}

} // namespace vorax

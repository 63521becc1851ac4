// Placeholders: program start, reader, command loop, parameters and elements.
#include "common/reset.h"
#include "input/command_loop.h"
#include "input/elements.h"
#include "input/parameters.h"
#include "input/program.h"
#include "input/reader.h"
namespace vorax {
int run_program() { return 0; }
void reset_input_areas() {}
void rdinit(int, int, int) {}
void rdline() {}
void rdnext() {}
void rdword(Name8 &, int &) {}
void rdlabl(Label14 &, int &) {}
void rdint(int &, int &) {}
void rdnumb(double &, int &) {}
void rdtest(std::string_view, int &) {}
void rdskip(std::string_view) {}
void rdfind(std::string_view) {}
int rdlook(const Name8 &, const Name8 *, int, int) { return 0; }
void rdfail() {}
void rdwarn() {}
void rdend(int) {}
void rdfile(int &, int &) {}
void rdpara(int, const Name8 *, const int *, int *, int *, double *, int &) {}
void log_message(std::string_view) {}
void param(const Name8 &, int, int) {}
void decexp(int, int &) {}
int fndpar(int, const Name8 &) { return 0; }
int parcon(int, double) { return 0; }
void opdef(int) {}
void parord(int &) {}
void parevl() {}
void parprt(int) {}
const Name8 &element_keyword(int) {
  static const Name8 blank_name;
  return blank_name;
}
void elmdef(const Name8 &, int, const Name8 &, int) {}
void defpar(int, const Name8 *, int &, int &, int) {}
void decpar(int, int, Chars<4> &, Label14 &, int &) {}
int fndelm(int, const Name8 &) { return 0; }
void clear() {}
void cntrol() {}
int intrac() { return 0; }
void ovflow(int, int) {}
} // namespace vorax

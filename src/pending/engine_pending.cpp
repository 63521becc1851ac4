// Placeholders: operation loop, operation data, lookup, constants.
#include "common/reset.h"
#include "engine/lookup.h"
#include "engine/operation_data.h"
#include "engine/operation_loop.h"
#include "optics/constants.h"
namespace vorax {
int vxmain() { return 0; }
void setup() {}
void cinitg() {}
void leng() {}
void input(std::string &, int &, double *, int, int &, int &, int) {}
void outcon(int &) {}
int elid(const Name8 &) { return 0; }
int elpos(const Name8 &) { return 0; }
int poschk(int) { return 0; }
int vxpar(int, const Name8 &) { return 0; }
int iequal(const Name8 &, const Name8 &) { return 0; }
void limits(int &) {}
void prtdef(int &) {}
void prttst(int, int &, int &) {}
void condf(int &) {}
void shocon() {}
void reset_engine_areas() {}
} // namespace vorax
